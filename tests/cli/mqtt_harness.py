"""What the kelvora-cli serve --mqtt tests share: a real mosquitto broker on a free loopback port
with a configuration of its own, kpx-sim on a pseudo-terminal with its request trace, bridges
serving it, and mosquitto_sub and mosquitto_pub as the dashboard."""

import json
import re
import os
import pwd
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from serve_harness import BIN_DIR, wait_for


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Broker:
    """mosquitto with its own configuration; its log says each connection it sees."""

    def __init__(self, folder, name="broker", port=None, persistence=False, tls=None, extra=""):
        self.port = port or free_port()
        self.conf = os.path.join(folder, name + ".conf")
        self.log_path = os.path.join(folder, name + ".log")
        lines = ["listener %d 127.0.0.1" % self.port, "allow_anonymous true",
                 # mosquitto started as root would drop to its own user and lose the folder
                 "user " + pwd.getpwuid(os.getuid()).pw_name,
                 "log_dest file " + self.log_path, "log_type all"]
        if persistence:
            lines += ["persistence true", "persistence_location %s/" % folder,
                      "persistence_file %s.db" % name]
        else:
            lines.append("persistence false")
        if tls:
            lines += ["cafile " + tls.ca, "certfile " + tls.cert, "keyfile " + tls.key]
        with open(self.conf, "w") as f:
            f.write("\n".join(lines) + "\n" + extra)
        self.process = None

    def start(self):
        self.process = subprocess.Popen(["mosquitto", "-c", self.conf],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(self.accepts, what="the broker to listen")
        return self

    def accepts(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def connections(self):
        if not os.path.exists(self.log_path):
            return 0
        with open(self.log_path) as f:
            return len(re.findall(r"(New|Client) connection from", f.read()))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class Certificates:
    """A test authority, a broker certificate for 127.0.0.1 signed by it, and a second authority
    that signed nothing, made with openssl at test time."""

    def __init__(self, folder):
        def path(name):
            return os.path.join(folder, name)

        def openssl(*args):
            subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

        for ca in ("ca", "other-ca"):
            openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=kelvora test " + ca, "-keyout", path(ca + ".key"),
                    "-out", path(ca + ".pem"))
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                "-keyout", path("broker.key"), "-out", path("broker.csr"))
        with open(path("san.cnf"), "w") as f:
            f.write("subjectAltName=IP:127.0.0.1\n")
        openssl("x509", "-req", "-in", path("broker.csr"), "-CA", path("ca.pem"),
                "-CAkey", path("ca.key"), "-CAcreateserial", "-days", "2",
                "-extfile", path("san.cnf"), "-out", path("broker.pem"))
        self.ca, self.other_ca = path("ca.pem"), path("other-ca.pem")
        self.cert, self.key = path("broker.pem"), path("broker.key")


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


class Sim:
    """kpx-sim on a pseudo-terminal; its trace is the oracle."""

    def __init__(self, folder, name, *args):
        self.trace = os.path.join(folder, name + ".jsonl")
        self.link = os.path.join(folder, name)
        self.process = subprocess.Popen(
            [os.path.join(BIN_DIR, "kpx-sim"), "--rtu", self.link, "--trace", self.trace, *args],
            stdout=subprocess.PIPE, text=True)
        assert self.process.stdout.readline().startswith("READY")

    def records(self):
        with open(self.trace) as f:
            return [json.loads(line) for line in f if line.endswith("\n") and line.strip()]

    def requests(self):
        return [r for r in self.records() if r["dir"] == "req"]

    def writes(self, addr):
        return [r["values"] for r in self.requests()
                if r["fc"] in (6, 16) and r["addr"] == addr]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process.stdout.close()


class Bridge:
    """kelvora-cli serve --mqtt on a simulator, with its stderr collected line by line."""

    def __init__(self, sim, where, *args):
        self.process = subprocess.Popen(
            [os.path.join(BIN_DIR, "kelvora-cli"), "--port", sim.link, "serve",
             "--mqtt", where, "--interval", "300", *args],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.log = []
        self.out = []
        self.readers = [threading.Thread(target=self.collect, args=(stream, lines), daemon=True)
                        for stream, lines in ((self.process.stderr, self.log),
                                              (self.process.stdout, self.out))]
        for reader in self.readers:
            reader.start()

    @staticmethod
    def collect(stream, lines):
        for line in stream:
            lines.append(line.rstrip("\n"))

    def said(self, text):
        return [line for line in self.log if text in line]

    def stop(self, sig=signal.SIGTERM):
        """Ends the bridge; how long it took, in seconds."""
        start = time.monotonic()
        if self.process.poll() is None:
            self.process.send_signal(sig)
            self.process.wait(10)
        took = time.monotonic() - start
        for reader in self.readers:
            reader.join(5)
        self.process.stdout.close()
        self.process.stderr.close()
        return took


def publish(broker, topic, payload, *options):
    subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port), "-t", topic,
                    "-m", payload, *options], check=True)


class MqttCase(unittest.TestCase):
    """A temporary folder, and everything started in it stopped at the end."""

    def setUp(self):
        folder = tempfile.TemporaryDirectory(prefix="kelvora-mqtt-")
        self.addCleanup(folder.cleanup)
        self.folder = folder.name

    def broker(self, start=True, **options):
        b = Broker(self.folder, **options)
        self.addCleanup(b.stop)
        return b.start() if start else b

    def subscriber(self, broker, topic="#"):
        s = Subscriber(broker, topic)
        self.addCleanup(s.stop)
        return s

    def sim(self, name="kpx", *args):
        s = Sim(self.folder, name, *args)
        self.addCleanup(s.stop)
        return s

    def bridge(self, sim, broker_or_where, *args):
        where = (broker_or_where if isinstance(broker_or_where, str)
                 else "127.0.0.1:%d" % broker_or_where.port)
        b = Bridge(sim, where, *args)
        self.addCleanup(b.stop)
        return b

