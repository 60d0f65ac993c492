#!/usr/bin/python3
"""What a client reads and sets through kelvora-cli serve beyond set points: booleans and
numbers as the standards read them, the status registers, presets, and which registers each
query reads. The simulator's request trace is the oracle.

usage: scpi_status_test.py BIN_DIR
"""

import os
import unittest

from scpi_harness import Bench, query
from serve_harness import wait_for


def refusal(sock, line):
    """The error a line leaves; a failing command ends its line without an answer."""
    sock.sendall(line.encode() + b"\n")
    return query(sock, "SYST:ERR?")


class StatusAndValues(unittest.TestCase):
    def bench(self, *sim_args):
        b = Bench(*sim_args)
        self.addCleanup(b.close)
        s = b.raw()
        self.addCleanup(s.close)
        return b, s

    def test_outp_takes_only_what_means_on_or_off(self):
        b, s = self.bench()
        for word in ("nan", "NAN", "inf", "-inf", "2", "1.5", "-1", "ONN"):
            self.assertEqual(refusal(s, "OUTP " + word), '-224,"Illegal parameter value"', word)
        self.assertEqual(b.written(9), [], "a refused value switched the output")
        self.assertEqual(query(s, "OUTP 0.6;OUTP?"), "1")
        self.assertEqual(query(s, "OUTP 0.4;OUTP?"), "0")
        self.assertEqual(b.written(9), [[1], [0]])

    def test_suffixes_rounding_and_line_ends(self):
        b, s = self.bench()
        self.assertEqual(query(s, "CURR 250MA;CURR?"), "0.250")   # milliamperes, not mega
        self.assertEqual(query(s, "VOLT 1500 mV;VOLT?"), "1.50")
        self.assertEqual(query(s, "VOLT 0.002KV;VOLT?"), "2.00")
        self.assertEqual(refusal(s, "VOLT 1MAV"), '-222,"Data out of range"')
        self.assertEqual(query(s, "*ESE 1.5;*ESE?"), "2")
        self.assertEqual(query(s, "*SRE 255;*SRE?;"), "191")       # a trailing ';' is fine
        self.assertEqual(query(s, "SYST:ERR:COUN?"), "0")
        # 4096 bytes without the CR LF are a line; one more is an overrun.
        longest = "VOLT 3" + " " * (4096 - len("VOLT 3"))
        s.sendall((longest + "\r\n" + longest + " \n").encode())
        self.assertEqual(query(s, "VOLT?"), "3.00")
        self.assertEqual(query(s, "SYST:ERR:COUN?;:SYST:ERR:ALL?"),
                         '1;-363,"Input buffer overrun"')
        self.assertEqual(query(s, "SYST:ERR:ALL?"), '0,"No error"')

    def test_a_trip_that_clears_before_the_status_byte_is_seen_once(self):
        # Over-voltage trips 2.5 s after the simulator starts and stands until the output is
        # switched on again.
        b, s = self.bench("--fault", "protect=1@2500")
        logger = b.raw()
        self.addCleanup(logger.close)
        self.assertEqual(query(s, "*STB?"), "0")
        self.assertEqual(query(s, "OUTP ON;STAT:OPER:ENAB 1280;:STAT:OPER:COND?"), "256")  # CV
        # Another client's readings are where the server sees the trip.
        wait_for(lambda: query(logger, "MEAS?") and any(
            r["dir"] == "ans" and r["addr"] == 0 and r.get("values", [0] * 8)[7] == 1
            for r in b.records()), what="the trip")
        self.assertEqual(query(logger, "OUTP ON;OUTP?"), "1")  # clears the protection
        self.assertEqual(query(s, "STAT:QUES:COND?"), "0")
        # QUES (bit 3) and OPER (bit 7: CV went away and came back, the event stays).
        self.assertEqual(query(s, "*STB?"), str(8 | 128))
        self.assertEqual(query(s, "STAT:QUES?;:STAT:QUES?"), "1;0")
        self.assertEqual(query(s, "*STB?"), "128")
        self.assertEqual(query(s, "STAT:PRES;*STB?"), "0")
        self.assertEqual(query(s, "*SRE 8;*STB?"), "0")

    def test_message_available_and_the_master_summary(self):
        b, s = self.bench()
        self.assertEqual(query(s, "*SRE 16;*OPC?;*STB?"), "1;80")  # MAV and MSS
        self.assertEqual(query(s, "*STB?"), "0")
        self.assertEqual(refusal(s, "FOO"), '-113,"Undefined header"')
        s.sendall(b"FOO\n")
        self.assertEqual(query(s, "*SRE 4;*STB?"), "68")    # EAV and MSS

    def test_presets_and_protection_clear(self):
        b, s = self.bench("--firmware", "43")
        self.assertEqual(query(s, "VOLT 7.5;CURR 1.25;*SAV 3;*OPC?"), "1")
        block = [w for w in b.writes() if w["addr"] == 80 + 16 * 3]
        self.assertEqual(block[-1]["values"][:2], [750, 1250])
        self.assertEqual(query(s, "*RCL 4;*OPC?"), "1")
        self.assertEqual(b.written(35), [[4]])
        self.assertEqual(refusal(s, "*RCL 10"), '-222,"Data out of range"')
        self.assertEqual(query(s, "OUTP:PROT:CLE;*OPC?"), "1")
        self.assertEqual(b.written(9), [], "nothing had tripped")

    def test_each_query_reads_only_its_registers(self):
        b, s = self.bench()
        for q, addr, count in (("MEAS:VOLT?", 2, 1), ("MEAS:CURR?", 3, 1), ("OUTP?", 9, 1),
                               ("MEAS:POW?", 2, 2), ("MEAS?", 0, 10), ("READ?", 0, 10)):
            before = len(b.requests())
            query(s, q)
            reads = [(r["addr"], r["count"]) for r in b.requests()[before:]]
            self.assertEqual(reads, [(addr, count)], q)

    def test_a_supply_that_vanishes_answers_as_soon_as_it_is_back(self):
        b, s = self.bench("--fault", "vanish@2000-4000")
        self.assertEqual(query(s, "*OPC?"), "1")
        wait_for(lambda: not os.path.lexists(b.link), what="the supply to vanish")
        # A failed query sends no answer line; the error queue says why.
        error = refusal(s, "MEAS:VOLT?")
        self.assertTrue(error.startswith('-240,"Hardware error;'), error)
        self.assertIn("connector code", error)
        wait_for(lambda: os.path.lexists(b.link), what="the supply to come back")
        self.assertEqual(query(s, "MEAS:VOLT?"), "0.00")
        self.assertEqual(query(s, "SYST:ERR?"), '0,"No error"')


if __name__ == "__main__":
    unittest.main(verbosity=2)
