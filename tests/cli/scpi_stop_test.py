#!/usr/bin/python3
"""Stopping kelvora-cli serve while clients are busy: SIGTERM (a service manager) and SIGINT
(Ctrl-C) with two clients polling every 20 ms. The trace shows what reached the supply after
the signal: only the unlock, and that last.

usage: scpi_stop_test.py BIN_DIR
"""

import signal
import socket
import threading
import time
import unittest

from scpi_harness import Bench, query
from serve_harness import wait_for


class Poller(threading.Thread):
    """A logger: MEAS? every 20 ms until the server goes."""

    def __init__(self, bench):
        super().__init__(daemon=True)
        self.sock = bench.raw()
        self.answers = 0

    def run(self):
        try:
            while query(self.sock, "MEAS?"):
                self.answers += 1
                time.sleep(0.02)
        except OSError:
            pass


def refuses_connections(bench):
    try:
        socket.create_connection(("127.0.0.1", bench.port), timeout=1).close()
        return False
    except OSError:
        return True


class StopWhileBusy(unittest.TestCase):
    def stop_while_polled(self, signals):
        b = Bench("--baud", "9600")
        self.addCleanup(b.close)
        driver = b.raw()
        self.assertEqual(query(driver, "SYST:RWL;*OPC?"), "1")
        pollers = [Poller(b), Poller(b)]
        for p in pollers:
            p.start()
        wait_for(lambda: all(p.answers >= 5 for p in pollers), what="the pollers to run")
        sent = time.monotonic()
        for sig in signals:
            b.serve.send_signal(sig)
        wait_for(lambda: b.serve.poll() is not None or refuses_connections(b),
                 what="serve to stop listening")
        # A command after the stop began is not read, let alone carried out.
        try:
            driver.sendall(b"OUTP ON\n")
        except OSError:
            pass
        self.assertEqual(b.serve.wait(10), 0)
        took = time.monotonic() - sent
        print("\nserve exited %.3f s after %s" % (took, "+".join(s.name for s in signals)))
        # One second plus one exchange; on a loaded machine the exchange may take its time-out.
        self.assertLess(took, 2.5)
        writes = b.writes()
        self.assertEqual([(w["addr"], w["values"]) for w in writes], [(6, [1]), (6, [0])])
        self.assertEqual(b.requests()[-1]["fc"], 6, "the unlock was not the last request")
        for p in pollers:
            p.join(5)
            p.sock.close()
        driver.close()

    def test_sigterm(self):
        self.stop_while_polled([signal.SIGTERM])

    def test_sigint(self):
        self.stop_while_polled([signal.SIGINT])

    def test_a_second_signal(self):
        self.stop_while_polled([signal.SIGINT, signal.SIGTERM])

    def test_the_keys_are_unlocked_only_when_serve_locked_them(self):
        for before, lock in (((), None), ((["lock", "on"],), "SYST:RWL")):
            b = Bench(before_serve=before)
            self.addCleanup(b.close)
            s = b.raw()
            if lock:
                s.sendall(lock.encode() + b"\n")
            self.assertEqual(query(s, "*OPC?"), "1")
            locks = b.written(6)
            b.serve.send_signal(signal.SIGTERM)
            self.assertEqual(b.serve.wait(10), 0)
            self.assertEqual(b.written(6), locks, "serve unlocked keys it had not locked")
            s.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
