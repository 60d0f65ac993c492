"""The bench the SCPI serve tests drive: kpx-sim on a pseudo-terminal with its request trace, and
kelvora-cli serve on a free loopback port."""

import json
import os
import re
import socket
import subprocess
import tempfile

from serve_harness import BIN_DIR, wait_for


class Bench:
    def __init__(self, *sim_args, serve_args=(), before_serve=()):
        """before_serve: kelvora-cli commands (argument lists) run on the link first."""
        self.dir = tempfile.TemporaryDirectory(prefix="kelvora-scpi-")
        env = dict(os.environ, KELVORA_PORTS_DIR=self.dir.name)
        self.trace = os.path.join(self.dir.name, "trace.jsonl")
        self.link = link = os.path.join(self.dir.name, "kpx")
        self.sim = subprocess.Popen(
            [os.path.join(BIN_DIR, "kpx-sim"), "--rtu", link, "--trace", self.trace, *sim_args],
            stdout=subprocess.PIPE, env=env, text=True)
        ready = self.sim.stdout.readline()
        assert ready.startswith("READY"), ready
        cli = os.path.join(BIN_DIR, "kelvora-cli")
        for command in before_serve:
            subprocess.run([cli, "--port", link, *command], env=env, check=True, timeout=30,
                           stdout=subprocess.DEVNULL)
        self.serve = subprocess.Popen(
            [cli, "--port", link, "serve",
             "--listen", "127.0.0.1:0", *serve_args],
            stderr=subprocess.PIPE, env=env, text=True)
        self.port = None
        while self.port is None:
            line = self.serve.stderr.readline()
            assert line, "serve ended before listening"
            found = re.search(r"SCPI on 127\.0\.0\.1:(\d+)", line)
            if found:
                self.port = int(found.group(1))

    def close(self):
        for p in (self.serve, self.sim):
            if p.poll() is None:
                p.terminate()
                p.wait(10)
        self.serve.stderr.close()
        self.sim.stdout.close()
        self.dir.cleanup()

    def records(self):
        with open(self.trace) as f:
            return [json.loads(line) for line in f if line.strip()]

    def requests(self):
        return [r for r in self.records() if r["dir"] == "req"]

    def writes(self):
        return [r for r in self.requests() if r["fc"] in (6, 16)]

    def written(self, addr):
        """The values written to one register, in order."""
        return [w["values"] for w in self.writes() if w["addr"] == addr]

    def instrument(self, rm):
        inst = rm.open_resource("TCPIP::127.0.0.1::%d::SOCKET" % self.port)
        inst.read_termination = "\n"
        inst.write_termination = "\n"
        inst.timeout = 5000
        return inst

    def raw(self):
        return socket.create_connection(("127.0.0.1", self.port), timeout=5)

    def resident_kib(self):
        with open("/proc/%d/status" % self.serve.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise AssertionError("no VmRSS for serve")


def read_line(sock):
    data = b""
    while not data.endswith(b"\n"):
        try:
            chunk = sock.recv(4096)
        except ConnectionResetError:  # a refused client is reset
            break
        if not chunk:
            break
        data += chunk
    return data.decode()


def query(sock, line):
    sock.sendall(line.encode() + b"\n")
    return read_line(sock).rstrip("\n")
