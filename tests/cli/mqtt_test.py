#!/usr/bin/python3
"""kelvora-cli serve --mqtt end to end: a real mosquitto broker on a free loopback port,
kpx-sim on a pseudo-terminal, mosquitto_sub and mosquitto_pub as the dashboard; the simulator's
request trace is the oracle.

usage: mqtt_test.py BIN_DIR
"""

import json
import os
import signal
import socket
import subprocess
import tempfile
import threading
import unittest

from serve_harness import BIN_DIR, wait_for


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Broker:
    def __init__(self, folder):
        self.port = free_port()
        self.conf = os.path.join(folder, "mosquitto.conf")
        with open(self.conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n" % self.port)
        self.process = None
        self.start()

    def start(self):
        self.process = subprocess.Popen(["mosquitto", "-c", self.conf],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(self.accepts, what="the broker to listen")

    def accepts(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class Subscriber:
    """mosquitto_sub -v on a topic filter; every message it prints, in order."""

    def __init__(self, broker, topic):
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-v", "-t", topic],
            stdout=subprocess.PIPE, text=True)
        self.messages = []
        self.lock = threading.Lock()
        threading.Thread(target=self.collect, daemon=True).start()

    def collect(self):
        for line in self.process.stdout:
            topic, _, payload = line.rstrip("\n").partition(" ")
            with self.lock:
                self.messages.append((topic, payload))

    def on(self, topic):
        with self.lock:
            return [p for t, p in self.messages if t == topic]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process.stdout.close()


class Supply:
    """kpx-sim and the bridge serving it."""

    def __init__(self, folder, broker, name, *sim_args, serve_args=()):
        self.trace = os.path.join(folder, name + ".jsonl")
        link = os.path.join(folder, name)
        self.sim = subprocess.Popen(
            [os.path.join(BIN_DIR, "kpx-sim"), "--rtu", link, "--trace", self.trace, *sim_args],
            stdout=subprocess.PIPE, text=True)
        assert self.sim.stdout.readline().startswith("READY")
        self.bridge = subprocess.Popen(
            [os.path.join(BIN_DIR, "kelvora-cli"), "--port", link, "serve",
             "--mqtt", "127.0.0.1:%d" % broker.port, "--interval", "300", *serve_args],
            stderr=subprocess.PIPE, text=True)
        self.log = []
        threading.Thread(target=self.collect, daemon=True).start()

    def collect(self):
        for line in self.bridge.stderr:
            self.log.append(line.rstrip("\n"))

    def records(self):
        with open(self.trace) as f:
            return [json.loads(line) for line in f if line.strip()]

    def writes(self, addr):
        return [r["values"] for r in self.records()
                if r["dir"] == "req" and r["fc"] in (6, 16) and r["addr"] == addr]

    def stop(self):
        for p in (self.bridge, self.sim):
            if p.poll() is None:
                p.terminate()
                p.wait(10)
        self.sim.stdout.close()
        self.bridge.stderr.close()


def publish(broker, topic, payload):
    subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port), "-t", topic,
                    "-m", payload], check=True)


class MqttBridge(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory(prefix="kelvora-mqtt-")
        self.addCleanup(folder.cleanup)
        self.folder = folder.name
        self.broker = Broker(self.folder)
        self.addCleanup(self.broker.stop)

    def subscriber(self, topic="kelvora/#"):
        s = Subscriber(self.broker, topic)
        self.addCleanup(s.stop)
        return s

    def supply(self, name, *sim_args, serve_args=()):
        s = Supply(self.folder, self.broker, name, *sim_args, serve_args=serve_args)
        self.addCleanup(s.stop)
        return s

    def test_state_commands_limits_and_discovery(self):
        sub = self.subscriber("#")
        psu = self.supply("kpx", "--model", "5005")
        base = "kelvora/KPX5005-1/"
        wait_for(lambda: sub.on(base + "availability") == ["online"], what="online")
        state = json.loads(wait_for(lambda: sub.on(base + "state"), what="a state")[-1])
        polls = [r["values"] for r in psu.records()
                 if r["dir"] == "ans" and r["fc"] == 3 and r["addr"] == 0 and r["count"] == 10]
        self.assertIn([round(state[k] * f) for k, f in (
            ("set_voltage", 100), ("set_current", 1000), ("voltage", 100), ("current", 1000))] +
            [round(state["input_voltage"] * 100), int(state["output"])],
            [v[0:4] + [v[5], v[9]] for v in polls])
        self.assertRegex(state["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$")
        self.assertEqual(state["mode"], "CV")

        publish(self.broker, base + "set/voltage", "12.5")
        wait_for(lambda: sub.on(base + "result") == ["ok"], what="ok")
        self.assertEqual(psu.writes(0)[-1][0], 1250)
        wait_for(lambda: json.loads(sub.on(base + "state")[-1])["set_voltage"] == 12.5,
                 what="the new set point in the state")
        writes = len(psu.writes(0))
        for payload in ("51.01", "-1", "lots", "1e308"):
            publish(self.broker, base + "set/voltage", payload)
        publish(self.broker, base + "set/current", "5.2")
        refusals = wait_for(lambda: sub.on(base + "result")[1:] if len(
            sub.on(base + "result")) == 6 else None, what="five refusals")
        self.assertEqual(refusals[0], "51.01 V is above the KPX5005 limit of 51.00 V; "
                         "nothing was written")
        self.assertTrue(all("nothing was written" in r for r in refusals), refusals)
        self.assertEqual(len(psu.writes(0)), writes, "a refused value was written")
        publish(self.broker, base + "set/output", "ON")
        wait_for(lambda: psu.writes(9) == [[1]], what="the output write")

        configs = {t: json.loads(p) for t, p in sub.messages if t.startswith("homeassistant/")}
        node = "homeassistant/%s/kelvora_kpx5005_1/%s/config"
        for kind, obj in (("sensor", "voltage"), ("sensor", "current"), ("sensor", "power"),
                          ("sensor", "input_voltage"), ("switch", "output"),
                          ("number", "set_voltage"), ("number", "set_current")):
            self.assertIn(node % (kind, obj), configs)
        self.assertEqual(configs[node % ("switch", "output")]["command_topic"], base + "set/output")
        self.assertEqual(configs[node % ("number", "set_voltage")]["max"], 51.0)

    def test_broker_and_supply_come_back_and_the_will_reports_a_dead_bridge(self):
        psu = self.supply("kpx", "--fault", "vanish@4000-6000")
        base = "kelvora/KPX5005-1/"
        sub = self.subscriber()
        wait_for(lambda: "online" in sub.on(base + "availability"), what="online")
        # The supply's link vanishes for two seconds.
        wait_for(lambda: "offline" in sub.on(base + "availability"), what="offline")
        wait_for(lambda: sub.on(base + "availability")[-1] == "online", what="online again")
        self.assertTrue(psu.bridge.poll() is None)
        # The broker goes away and comes back: the bridge publishes again.
        sub.stop()
        self.broker.stop()
        wait_for(lambda: any("connecting again" in l for l in psu.log), what="the loss said")
        self.broker.start()
        again = self.subscriber()
        wait_for(lambda: len(again.on(base + "state")) >= 2, what="states after the restart")
        self.assertEqual(again.on(base + "availability")[-1], "online")
        # A bridge that dies leaves its last will.
        psu.bridge.send_signal(signal.SIGKILL)
        wait_for(lambda: again.on(base + "availability")[-1:] == ["offline"], timeout=30,
                 what="the last will")

    def test_two_bridges_on_one_broker(self):
        sub = self.subscriber()
        self.supply("a", "--model", "5005", serve_args=("--no-discovery",))
        self.supply("b", "--model", "3005", "--slave", "2",
                    serve_args=("--no-discovery", "--slave", "2"))
        wait_for(lambda: sub.on("kelvora/KPX5005-1/state") and sub.on("kelvora/KPX3005-2/state"),
                 what="both supplies' states")


if __name__ == "__main__":
    unittest.main(verbosity=2)
