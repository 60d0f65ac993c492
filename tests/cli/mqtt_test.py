#!/usr/bin/python3
"""kelvora-cli serve --mqtt end to end: a real mosquitto broker on a free loopback port,
kpx-sim on a pseudo-terminal, mosquitto_sub and mosquitto_pub as the dashboard; the simulator's
request trace is the oracle. Grouped by what happens to the bench.

usage: mqtt_test.py BIN_DIR [TestClass ...]
"""

import json
import os
import re
import signal
import socket
import subprocess
import threading
import time
import unittest

from mqtt_harness import Certificates, MqttCase, free_port, publish
from serve_harness import BIN_DIR, wait_for

BASE = "kelvora/KPX5005-1/"
RETAINED = "retained commands are not carried out; send it without retain"


def empty(payloads):
    """mosquitto_sub prints an empty payload as (null)."""
    return [p for p in payloads if p in ("", "(null)")]


class StateAndDiscovery(MqttCase):
    def test_state_commands_limits(self):
        broker = self.broker()
        sub = self.subscriber(broker)
        sim = self.sim("kpx", "--model", "5005")
        self.bridge(sim, broker)
        wait_for(lambda: sub.on(BASE + "availability") == ["online"], what="online")
        state = json.loads(wait_for(lambda: sub.on(BASE + "state"), what="a state")[-1])
        polls = [r["values"] for r in sim.records()
                 if r["dir"] == "ans" and r["fc"] == 3 and r["addr"] == 0 and r["count"] == 10]
        self.assertIn([round(state[k] * f) for k, f in (
            ("set_voltage", 100), ("set_current", 1000), ("voltage", 100), ("current", 1000))] +
            [round(state["input_voltage"] * 100), int(state["lock"]), int(state["output"])],
            [v[0:4] + [v[5], v[6], v[9]] for v in polls])
        self.assertRegex(state["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$")
        self.assertEqual(state["mode"], "CV")

        publish(broker, BASE + "set/voltage", "12.5")
        wait_for(lambda: sub.on(BASE + "result") == ["ok"], what="ok")
        self.assertEqual(sim.writes(0)[-1][0], 1250)
        wait_for(lambda: json.loads(sub.on(BASE + "state")[-1])["set_voltage"] == 12.5,
                 what="the new set point in the state")
        writes = len(sim.writes(0))
        for payload in ("51.01", "-1", "lots", "1e308"):
            publish(broker, BASE + "set/voltage", payload)
        publish(broker, BASE + "set/current", "5.2")
        refusals = wait_for(lambda: sub.on(BASE + "result")[1:] if len(
            sub.on(BASE + "result")) == 6 else None, what="five refusals")
        self.assertIn("51.01 V is above the KPX5005 limit of 51.00 V; nothing was written",
                      refusals)
        self.assertTrue(all("nothing was written" in r for r in refusals), refusals)
        self.assertEqual(len(sim.writes(0)), writes, "a refused value was written")
        publish(broker, BASE + "set/output", "ON")
        wait_for(lambda: sim.writes(9) == [[1]], what="the output write")
        publish(broker, BASE + "set/lock", "ON")
        wait_for(lambda: json.loads(sub.on(BASE + "state")[-1])["lock"] is True,
                 what="the lock in the state")
        # The over-voltage limit of the active preset (M0, from register 80; SOVP is its third).
        publish(broker, BASE + "set/ovp", "0.05")
        wait_for(lambda: "set/ovp takes 0.10 to 51.00 V, not \"0.05\"; nothing was written" in
                 sub.on(BASE + "result"), what="the low limit refused")
        publish(broker, BASE + "set/ovp", "12")
        wait_for(lambda: json.loads(sub.on(BASE + "state")[-1])["ovp"] == 12,
                 what="the new limit in the state")
        self.assertEqual(sim.writes(80)[-1][2], 1200)

    def test_every_discovery_config_templates_a_field_of_the_state(self):
        broker = self.broker()
        sub = self.subscriber(broker)
        sim = self.sim("kpx", "--model", "5005")
        prefix = "lab/bench1"
        self.bridge(sim, broker, "--mqtt-prefix", prefix, "--mqtt-name", "Bench one",
                    "--discovery-prefix", "ha")
        state = json.loads(wait_for(lambda: sub.on(prefix + "/state"), what="a state")[-1])
        wait_for(lambda: sum(t.startswith("ha/") for t, _ in sub.messages) >= 13,
                 what="the configurations")
        configs = {t: json.loads(p) for t, p in sub.messages if t.startswith("ha/")}
        kinds = {}
        for topic, c in configs.items():
            with self.subTest(topic=topic):
                component, node, obj = re.fullmatch(r"ha/(\w+)/([\w-]+)/(\w+)/config",
                                                    topic).groups()
                kinds[obj] = component
                self.assertEqual(node, "kelvora_lab_bench1")
                self.assertEqual(c["unique_id"], node + "_" + obj)
                self.assertEqual(c["object_id"], c["unique_id"])
                self.assertEqual(c["default_entity_id"], component + "." + c["unique_id"])
                self.assertEqual(c["device"]["identifiers"], [node])
                self.assertEqual(c["device"]["name"], "Bench one")
                self.assertEqual(c["device"]["model"], "KPX5005")
                self.assertEqual(c["origin"]["name"], "kelvora-cli")
                self.assertEqual(c["availability_topic"], prefix + "/availability")
                if obj == "result":
                    self.assertEqual(c["state_topic"], prefix + "/result")
                    self.assertNotIn("value_template", c)
                    continue
                self.assertEqual(c["state_topic"], prefix + "/state")
                value = self.render(c["value_template"], state)
                if component == "switch":
                    self.assertEqual(c["command_topic"], prefix + "/set/" + obj)
                    self.assertEqual(value, "ON" if state[obj] else "OFF")
                    self.assertEqual((c["payload_on"], c["payload_off"]), ("ON", "OFF"))
                elif component == "number":
                    self.assertEqual(c["command_topic"],
                                     prefix + "/set/" + obj.replace("set_", ""))
                    self.assertIn(c["device_class"], ("voltage", "current"))
                    self.assertTrue(c["min"] <= value <= c["max"], (value, c))
                elif c.get("device_class") == "enum":
                    self.assertIn(value, c["options"])
                else:
                    self.assertIsNotNone(value)
        self.assertEqual(kinds, {
            "voltage": "sensor", "current": "sensor", "power": "sensor",
            "input_voltage": "sensor", "mode": "sensor", "protection": "sensor",
            "result": "sensor", "output": "switch", "lock": "switch",
            "set_voltage": "number", "set_current": "number", "ovp": "number", "ocp": "number"})
        self.assertEqual(configs["ha/number/kelvora_lab_bench1/set_voltage/config"]["max"], 51.0)

    def render(self, template, state):
        """The two forms the configurations use; a field missing from the state fails."""
        m = re.fullmatch(r"\{\{ value_json\.(\w+) \}\}", template)
        if m:
            self.assertIn(m.group(1), state, template)
            return state[m.group(1)]
        m = re.fullmatch(r"\{\{ 'ON' if value_json\.(\w+) else 'OFF' \}\}", template)
        self.assertIsNotNone(m, template)
        self.assertIn(m.group(1), state, template)
        return "ON" if state[m.group(1)] else "OFF"

    def test_remove_discovery_deletes_the_benchs_configs_only(self):
        broker = self.broker()
        sim = self.sim("kpx")
        other = self.sim("other")
        self.bridge(sim, broker, "--mqtt-prefix", "lab/b1")
        self.bridge(other, broker, "--mqtt-prefix", "lab/b2")
        sub = self.subscriber(broker, "homeassistant/#")
        wait_for(lambda: len(sub.messages) >= 26, what="both benches' configurations")
        remover = subprocess.run(
            [os.path.join(BIN_DIR, "kelvora-cli"), "--port", self.sim("third").link, "serve", "--mqtt", "127.0.0.1:%d" % broker.port,
             "--mqtt-prefix", "lab/b1", "--remove-discovery"],
            capture_output=True, text=True, timeout=30)
        self.assertEqual(remover.returncode, 0, remover.stderr)
        self.assertIn("removed the discovery configurations of lab/b1", remover.stdout)
        wait_for(lambda: len(empty(p for t, p in sub.messages if "kelvora_lab_b1" in t)) >= 13,
                 what="the configurations removed")
        self.assertFalse(empty(p for t, p in sub.messages if "kelvora_lab_b2" in t))


class RetainedCommands(MqttCase):
    """A retained ON and 24 V, then a live OFF and 3.3 V: whatever happens to the connection
    afterwards, the supply is not switched on at 24 V again."""

    def serve_and_command(self, broker_port):
        self.sim_ = self.sim("kpx")
        self.bridge_ = self.bridge(self.sim_, "127.0.0.1:%d" % broker_port)
        wait_for(lambda: self.bridge_.said("publishing under"), what="connected")
        # A command published before the bridge has subscribed would reach it as retained, and
        # rightly be refused: a live one carried out shows the subscription is in place.
        for _ in range(60):
            publish(self.broker_, BASE + "set/voltage", "1")
            try:
                wait_for(lambda: any(v[0] == 100 for v in self.sim_.writes(0)), timeout=0.5,
                         what="a live command")
                break
            except AssertionError:
                pass
        else:
            self.fail("the bridge never took a live command")
        publish(self.broker_, BASE + "set/output", "ON", "-r")
        publish(self.broker_, BASE + "set/voltage", "24", "-r")
        wait_for(lambda: [1] in self.sim_.writes(9) and
                 any(v[0] == 2400 for v in self.sim_.writes(0)), what="ON at 24 V")
        publish(self.broker_, BASE + "set/output", "OFF")
        publish(self.broker_, BASE + "set/voltage", "3.3")
        wait_for(lambda: self.sim_.writes(9)[-1:] == [[0]] and self.sim_.writes(0)[-1][0] == 330,
                 what="OFF at 3.3 V")
        self.mark = len(self.sim_.requests())

    def assert_nothing_replayed(self, sub):
        wait_for(lambda: sub.on(BASE + "result").count(RETAINED) >= 2,
                 what="the retained commands refused")
        writes = [r for r in self.sim_.requests()[self.mark:] if r["fc"] in (6, 16)]
        self.assertEqual([w for w in writes if w["addr"] != 6], [], "a command was replayed")
        # They were cleared: nothing retained is left under set/.
        left = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.broker_.port),
                               "-t", BASE + "set/#", "--retained-only", "-W", "1", "-v"],
                              capture_output=True, text=True)
        self.assertEqual(left.stdout, "")

    def test_bridge_restart(self):
        self.broker_ = self.broker()
        self.serve_and_command(self.broker_.port)
        self.bridge_.stop()
        sub = self.subscriber(self.broker_)
        self.bridge_ = self.bridge(self.sim_, self.broker_)
        self.assert_nothing_replayed(sub)
        self.assertTrue(empty(sub.on(BASE + "set/output")), "ON not cleared")

    def test_broker_restart_with_persistence(self):
        self.broker_ = self.broker(persistence=True)
        self.serve_and_command(self.broker_.port)
        self.broker_.stop()
        wait_for(lambda: self.bridge_.said("connection lost"), what="the loss said")
        self.broker_.start()
        sub = self.subscriber(self.broker_)
        self.assert_nothing_replayed(sub)

    def test_connection_cut(self):
        self.broker_ = self.broker()
        proxy = Proxy(self.broker_.port)
        self.addCleanup(proxy.close)
        self.serve_and_command(proxy.port)
        sub = self.subscriber(self.broker_)
        proxy.cut()
        wait_for(lambda: len(self.bridge_.said("publishing under")) == 2, what="reconnected")
        self.assert_nothing_replayed(sub)


class Proxy:
    """A TCP relay to the broker whose connections can be cut."""

    def __init__(self, target):
        self.target = target
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.sockets = []
        self.lock = threading.Lock()
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            upstream = socket.create_connection(("127.0.0.1", self.target))
            with self.lock:
                self.sockets += [client, upstream]
            for a, b in ((client, upstream), (upstream, client)):
                threading.Thread(target=self.pump, args=(a, b), daemon=True).start()

    @staticmethod
    def pump(a, b):
        try:
            while True:
                data = a.recv(65536)
                if not data:
                    break
                b.sendall(data)
        except OSError:
            pass
        for s in (a, b):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def cut(self):
        with self.lock:
            for s in self.sockets:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                s.close()
            self.sockets = []

    def close(self):
        self.cut()
        self.server.close()


class Connecting(MqttCase):
    def test_broker_started_after_the_bridge(self):
        broker = self.broker(start=False)
        sim = self.sim("kpx")
        bridge = self.bridge(sim, broker)
        wait_for(lambda: bridge.said("refuses the connection"), what="why it waits")
        started = time.monotonic()
        while time.monotonic() - started < 3:
            time.sleep(0.1)  # the broker comes three seconds later, as in a lab after a reboot
        broker.start()
        sub = self.subscriber(broker)
        wait_for(lambda: sub.on(BASE + "state"), timeout=45, what="a state once the broker is up")
        self.assertEqual(len(bridge.said("refuses the connection")), 1, bridge.log)
        self.assertIn("trying again with back-off (1 s doubling to 30 s)",
                      bridge.said("refuses")[0])

    def test_tls_failures_are_said_once_and_retried(self):
        certs = Certificates(self.folder)
        tls = self.broker(name="tls", tls=certs)
        plain = self.broker(name="plain")
        sim = self.sim("kpx")
        good = self.bridge(sim, tls, "--mqtt-tls", certs.ca)
        wait_for(lambda: good.said("publishing under"), what="TLS with the right authority")
        good.stop()
        cases = ((tls, certs.other_ca, "is not signed by the authority in " + certs.other_ca),
                 (plain, certs.ca, "is it a TLS port?"))
        for broker, ca, line in cases:
            with self.subTest(line=line):
                before = broker.connections()
                bridge = self.bridge(sim, broker, "--mqtt-tls", ca)
                wait_for(lambda: broker.connections() >= before + 3, timeout=30,
                         what="attempts again")
                self.assertEqual(len(bridge.said(line)), 1, bridge.log)
                self.assertEqual(len(bridge.said("MQTT broker")), 1, bridge.log)
                bridge.stop()

    def test_settings_that_cannot_work_are_refused_at_start(self):
        sim = self.sim("kpx")
        not_a_cert = os.path.join(self.folder, "ca.pem")
        with open(not_a_cert, "w") as f:
            f.write("this is not a certificate\n")
        empty_password = os.path.join(self.folder, "empty")
        open(empty_password, "w").close()
        for args, text in (
                (["--mqtt-tls", not_a_cert], "holds no PEM certificate"),
                (["--mqtt-user", "u", "--mqtt-password-file", empty_password], "is empty"),
                (["--mqtt-prefix", "$SYS/x"], "broker's own"),
                (["--mqtt-prefix", "lab/\x01"], "control characters")):
            with self.subTest(args=args):
                bridge = self.bridge(sim, "127.0.0.1:%d" % free_port(), *args)
                self.assertEqual(bridge.process.wait(15), 2)
                wait_for(lambda: bridge.said(text), what=text)

    def test_login_ipv6_and_the_password_file(self):
        users = os.path.join(self.folder, "users")
        subprocess.run(["mosquitto_passwd", "-c", "-b", users, "bench", "s3cret "], check=True)
        os.chmod(users, 0o644)
        port6 = free_port()
        broker = self.broker(start=False,
                             extra="listener %d ::1\npassword_file %s\n" % (port6, users))
        with open(broker.conf) as f:
            conf = f.read().replace("allow_anonymous true", "allow_anonymous false")
        with open(broker.conf, "w") as f:
            f.write(conf)
        broker.start()
        sim = self.sim("kpx")
        wrong = os.path.join(self.folder, "wrong")
        with open(wrong, "w") as f:
            f.write("s3cret\n")  # the space is part of the password
        os.chmod(wrong, 0o600)
        before = broker.connections()
        bridge = self.bridge(sim, broker, "--mqtt-user", "bench", "--mqtt-password-file", wrong)
        wait_for(lambda: broker.connections() >= before + 3, timeout=30, what="attempts again")
        self.assertEqual(len(bridge.said("refused the login")), 1, bridge.log)
        bridge.stop()
        right = os.path.join(self.folder, "right")
        with open(right, "w") as f:
            f.write("s3cret \n")
        os.chmod(right, 0o644)
        for where in ("[::1]:%d" % port6,):
            with self.subTest(where=where):
                bridge = self.bridge(sim, where, "--mqtt-user", "bench", "--mqtt-password-file", right)
                wait_for(lambda: bridge.said("publishing under"), what="logged in over IPv6")
                self.assertTrue(bridge.said("other users can read"), bridge.log)
                bridge.stop()


class Outages(MqttCase):
    def test_broker_and_supply_come_back_and_the_will_reports_a_dead_bridge(self):
        broker = self.broker()
        sub = self.subscriber(broker)
        sim = self.sim("kpx", "--fault", "vanish@4000-6000")
        bridge = self.bridge(sim, broker)
        wait_for(lambda: "online" in sub.on(BASE + "availability"), what="online")
        # The supply's link vanishes for two seconds.
        wait_for(lambda: "offline" in sub.on(BASE + "availability"), what="offline")
        wait_for(lambda: sub.on(BASE + "availability")[-1] == "online", what="online again")
        self.assertIsNone(bridge.process.poll())
        # The broker goes away and comes back: the bridge publishes again, the state at once
        # although it did not change.
        sub.stop()
        broker.stop()
        wait_for(lambda: bridge.said("connection lost"), what="the loss said")
        broker.start()
        again = self.subscriber(broker)
        wait_for(lambda: again.on(BASE + "state"), what="a state after the restart")
        self.assertEqual(again.on(BASE + "availability")[-1], "online")
        # A bridge that dies leaves its last will.
        bridge.stop(signal.SIGKILL)
        wait_for(lambda: again.on(BASE + "availability")[-1:] == ["offline"], timeout=30,
                 what="the last will")


class Stopping(MqttCase):
    def test_sigterm_with_a_broker_that_never_answers(self):
        silent = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(silent.close)
        accepted = []
        threading.Thread(target=lambda: accepted.append(silent.accept()[0]), daemon=True).start()
        self.addCleanup(lambda: [s.close() for s in accepted])
        sim = self.sim("kpx")
        bridge = self.bridge(sim, "127.0.0.1:%d" % silent.getsockname()[1])
        wait_for(lambda: accepted and sim.requests(), what="a connection and a reading")
        took = bridge.stop()
        self.assertLess(took, 2.0)
        self.assertEqual(bridge.process.returncode, 0, bridge.log)
        # Nothing from here locked the keys, so nothing is undone: the front panel is as it was.
        self.assertEqual(sim.writes(6), [], "a key-lock write nobody asked for")

    def test_sigterm_unlocks_then_says_offline(self):
        broker = self.broker()
        sub = self.subscriber(broker)
        sim = self.sim("kpx")
        bridge = self.bridge(sim, broker)
        wait_for(lambda: sub.on(BASE + "availability") == ["online"], what="online")
        publish(broker, BASE + "set/lock", "ON")
        wait_for(lambda: sim.writes(6) == [[1]], what="locked")
        self.assertLess(bridge.stop(), 2.0)
        self.assertEqual(sim.writes(6), [[1], [0]])
        wait_for(lambda: sub.on(BASE + "availability")[-1:] == ["offline"], what="offline")


class Benches(MqttCase):
    def test_two_benches_of_one_model_and_slave(self):
        broker = self.broker()
        sub = self.subscriber(broker)
        one, two = self.sim("one"), self.sim("two")
        self.bridge(one, broker, "--mqtt-prefix", "lab/bench1")
        self.bridge(two, broker, "--mqtt-prefix", "lab/bench2")
        wait_for(lambda: sub.on("lab/bench1/state") and sub.on("lab/bench2/state"),
                 what="both states")
        wait_for(lambda: sum(t.startswith("homeassistant/") for t, _ in sub.messages) >= 26,
                 what="both sets of configurations")
        configs = [json.loads(p) for t, p in sub.messages if t.startswith("homeassistant/")]
        devices = {c["device"]["identifiers"][0]: c["device"]["name"] for c in configs}
        self.assertEqual(devices, {"kelvora_lab_bench1": "bench1",
                                   "kelvora_lab_bench2": "bench2"})
        self.assertEqual(len({c["unique_id"] for c in configs}), len(configs))
        publish(broker, "lab/bench2/set/voltage", "9")
        wait_for(lambda: two.writes(0), what="bench 2 written")
        self.assertEqual(two.writes(0)[-1][0], 900)
        self.assertEqual(one.writes(0), [])

    def test_a_second_bridge_on_one_prefix_refuses(self):
        broker = self.broker()
        sub = self.subscriber(broker)
        first = self.bridge(self.sim("one"), broker)
        wait_for(lambda: sub.on(BASE + "availability") == ["online"], what="online")
        second = self.bridge(self.sim("two"), broker)
        self.assertEqual(second.process.wait(15), 2)
        self.assertTrue(second.said("another bridge serves kelvora/KPX5005-1"), second.log)
        self.assertEqual(sub.on(BASE + "availability"), ["online"])
        self.assertIsNone(first.process.poll())
        third = self.bridge(self.sim("three"), broker, "--mqtt-takeover")
        wait_for(lambda: third.said("publishing under"), what="taken over")


class Flood(MqttCase):
    def test_off_overtakes_3000_set_points_at_9600_baud(self):
        broker = self.broker()
        sub = self.subscriber(broker, BASE + "result")
        sim = self.sim("kpx", "--baud", "9600")
        bridge = self.bridge(sim, broker, "--baud", "9600")
        wait_for(lambda: bridge.said("publishing under"), what="connected")
        publish(broker, BASE + "set/output", "ON")
        wait_for(lambda: sim.writes(9) == [[1]], what="ON")
        lines = "".join("%.2f\n" % (i / 100) for i in range(1, 3001))
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port),
                        "-t", BASE + "set/voltage", "-l"], input=lines, text=True, check=True)
        sent = time.monotonic()
        before = len(sim.requests())
        publish(broker, BASE + "set/output", "OFF")
        wait_for(lambda: sim.writes(9)[-1:] == [[0]], what="OFF")
        took = time.monotonic() - sent
        requests = sim.requests()
        off = next(i for i, r in enumerate(requests)
                   if r["fc"] == 6 and r["addr"] == 9 and r["values"] == [0])
        # Behind the OFF: what was on the link when it came and one reading, not the set points
        # waiting (a few exchanges may pass while mosquitto_pub starts).
        self.assertLessEqual(off - before, 10, requests[before:off + 1])
        self.assertLess(took, 1.0)
        print("OFF reached the supply %.0f ms after it was published" % (took * 1000))
        wait_for(lambda: sim.writes(0)[-1][0] == 3000, what="the newest set point")
        self.assertLess(len(sim.writes(0)), 300, "the set points were not merged")
        self.assertIsNone(bridge.process.poll())
        wait_for(lambda: sub.on(BASE + "result"), what="results")


if __name__ == "__main__":
    unittest.main(verbosity=2)
