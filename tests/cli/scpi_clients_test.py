#!/usr/bin/python3
"""kelvora-cli serve as clients come and go: PyVISA scripts that write and close, socat pipes,
clients that flood or never read, clients that hold half a line. The simulator's request trace
is the oracle for what reached the supply.

usage: scpi_clients_test.py BIN_DIR [TEST...]
"""

import os
import socket
import subprocess
import threading
import unittest

import pyvisa

from scpi_harness import Bench, query, read_line
from serve_harness import wait_for

FULL = '-321,"Out of memory; too many clients"\n'


class ClientsComeAndGo(unittest.TestCase):
    def bench(self, *sim_args, serve_args=()):
        b = Bench(*sim_args, serve_args=serve_args)
        self.addCleanup(b.close)
        return b

    def test_pyvisa_write_write_close_reaches_the_supply_every_time(self):
        b = self.bench()
        rm = pyvisa.ResourceManager("@py")
        self.addCleanup(rm.close)
        keeper = b.instrument(rm)
        for i in range(5):
            keeper.write("OUTP ON")
            self.assertEqual(keeper.query("OUTP?"), "1")
            psu = b.instrument(rm)
            psu.write("VOLT %d.5" % (i + 1))
            psu.write("OUTP OFF")
            psu.close()  # at once, before the lines have run
            wait_for(lambda: b.written(9)[-1:] == [[0]], what="OUTP OFF of script %d" % i)
            self.assertEqual(keeper.query("VOLT?"), "%d.50" % (i + 1))
        self.assertEqual(b.written(9), [[1], [0]] * 5)
        keeper.close()

    def test_socat_pipe_of_five_commands_and_a_query_with_half_close(self):
        b = self.bench()
        target = "TCP:127.0.0.1:%d" % b.port
        five = b"VOLT 1\nCURR 0.5\nOUTP ON\nVOLT 2\nOUTP OFF\n"
        # -t: how long socat waits for answers after its input ended.
        subprocess.run(["socat", "-t", "10", "-", target], input=five, check=True, timeout=20)
        wait_for(lambda: b.written(9) == [[1], [0]], what="the five lines")
        setpoints = b.written(0)
        self.assertEqual(setpoints, [[100, 1000], [100, 500], [200, 500]])
        kinds = [(w["addr"], w["values"]) for w in b.writes()]
        self.assertEqual(kinds, [(0, [100, 1000]), (0, [100, 500]), (9, [1]), (0, [200, 500]),
                                 (9, [0])])
        answer = subprocess.run(["socat", "-t", "10", "-", target], input=b"*IDN?\n",
                                capture_output=True, check=True, timeout=20)
        self.assertEqual(answer.stdout, b"ARDENTIX,KPX5005,0,4.3\n")
        # Several queries and then the end of input: every answer comes, then the close.
        s = b.raw()
        s.sendall(b"*OPC?\nVOLT?\nSYST:ERR?\n")
        s.shutdown(socket.SHUT_WR)
        got = b""
        while True:
            chunk = s.recv(4096)
            if not chunk:
                break
            got += chunk
        self.assertEqual(got, b'1\n2.00\n0,"No error"\n')
        s.close()

    def test_flooding_and_never_reading_clients_stay_bounded(self):
        b = self.bench()
        base = b.resident_kib()
        stop = threading.Event()
        socks = []

        def flood(s, line, reads):
            chunk = line * 4096
            try:
                while not stop.is_set():
                    s.sendall(chunk)
                    if reads:
                        s.recv(1 << 16)
            except OSError:
                pass

        threads = []
        for i in range(15):
            s = b.raw()
            s.settimeout(1.0)
            socks.append(s)
            line = b"MEAS:VOLT?\n" if i % 3 == 0 else b"*OPC?;*ESE?\n"
            t = threading.Thread(target=flood, args=(s, line, i % 2 == 0), daemon=True)
            t.start()
            threads.append(t)
        # The last place: a client that still gets its answers while the others flood.
        polite = b.raw()
        polite.settimeout(20)
        peak = 0
        for _ in range(20):
            self.assertTrue(query(polite, "*IDN?").startswith("ARDENTIX,"))
            peak = max(peak, b.resident_kib())
        stop.set()
        for s in socks:
            s.close()
        for t in threads:
            t.join(10)
        print("\nserve VmRSS: %d KiB at start, %d KiB at most under flood" % (base, peak))
        # The sanitizers' shadow memory alone is near 50 MB, so there only the growth counts.
        if "ASAN_OPTIONS" not in os.environ:
            self.assertLess(peak, 50 * 1024)
        self.assertLess(peak - base, 30 * 1024)
        polite.close()

    def test_idle_clients_are_closed_only_when_asked(self):
        b = self.bench(serve_args=("--idle-timeout", "1"))
        silent = b.raw()
        silent.settimeout(0.2)
        busy = b.raw()

        def silent_closed():
            self.assertEqual(query(busy, "*OPC?"), "1")  # a client that talks stays
            try:
                return silent.recv(100) == b""
            except socket.timeout:
                return False
        wait_for(silent_closed, timeout=20, what="the silent client to be closed")
        busy.close()


class HalfLines(unittest.TestCase):
    """Takes a little over the 30 s an incomplete line may stand."""

    def test_sixteen_half_line_clients_then_a_good_one(self):
        b = Bench()
        self.addCleanup(b.close)
        stalled = []
        for _ in range(16):
            s = b.raw()
            s.settimeout(60)
            s.sendall(b"OUTP O")
            stalled.append(s)
        extra = b.raw()
        self.assertEqual(read_line(extra), FULL)
        extra.close()
        for s in stalled:
            self.assertEqual(s.recv(100), b"")  # closed once its line is 30 s old
        good = wait_for(lambda: (lambda s: s if query(s, "*OPC?") == "1" else s.close())(b.raw()),
                        timeout=10, what="a place for a good client")
        self.assertEqual(query(good, "SYST:ERR?"), '0,"No error"')
        self.assertEqual(b.written(9), [], "half a line was carried out")
        good.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
