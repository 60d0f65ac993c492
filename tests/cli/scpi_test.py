#!/usr/bin/python3
"""kelvora-cli serve end to end: PyVISA (pure-Python backend) and raw sockets against kpx-sim,
with the simulator's request trace as the oracle.

usage: scpi_test.py BIN_DIR
"""

import signal
import unittest

import pyvisa

from scpi_harness import Bench, read_line
from serve_harness import wait_for


class ScpiServe(unittest.TestCase):
    def setUp(self):
        self.rm = pyvisa.ResourceManager("@py")

    def tearDown(self):
        self.rm.close()

    def bench(self, *sim_args):
        b = Bench(*sim_args)
        self.addCleanup(b.close)
        return b

    def test_pyvisa_sets_switches_and_measures(self):
        b = self.bench("--model", "5005", "--firmware", "43", "--load", "10")
        psu = b.instrument(self.rm)
        self.assertEqual(psu.query("*IDN?"), "ARDENTIX,KPX5005,0,4.3")
        psu.write("VOLT 12.5")
        psu.write("SOUR:CURR 1500 mA")
        psu.write("OUTP ON")
        self.assertEqual(psu.query("VOLT?"), "12.50")
        self.assertEqual(psu.query("CURRent:LEVel:IMMediate:AMPLitude?"), "1.500")
        self.assertEqual(psu.query("OUTP?"), "1")
        writes = b.writes()
        self.assertEqual([w["values"] for w in writes if w["addr"] == 0],
                         [[1250, 1000], [1250, 1500]])
        self.assertIn({"fc": 6, "addr": 9, "values": [1]},
                      [{k: w.get(k) for k in ("fc", "addr", "values")} for w in writes])
        # The readings are those of the supply's registers at that moment.
        volts, amps, watts = wait_for(
            lambda: (lambda v: v if float(v[0]) > 12 else None)(psu.query("MEAS?").split(",")),
            what="the output to rise")
        answer = [r for r in b.records() if r["dir"] == "ans" and r["fc"] == 3
                  and r["addr"] == 0 and r["count"] == 10][-1]["values"]
        self.assertEqual(volts, "%d.%02d" % divmod(answer[2], 100))
        self.assertEqual(amps, "%d.%03d" % divmod(answer[3], 1000))
        self.assertAlmostEqual(float(watts), answer[2] * answer[3] / 100000.0, delta=0.01)
        self.assertAlmostEqual(float(psu.query("MEAS:VOLT?")), 12.5, delta=0.05)
        self.assertAlmostEqual(float(psu.query("MEAS:CURR:DC?")), 1.25, delta=0.01)
        self.assertEqual(psu.query("MEAS:VOLT?;:MEAS:CURR?").count(";"), 1)
        psu.write("*RST")
        self.assertEqual(psu.query("OUTP?"), "0")
        self.assertEqual(psu.query("VOLT?"), "12.50")  # *RST leaves the set point
        self.assertEqual(psu.query("SYST:ERR?"), '0,"No error"')
        psu.close()

    def test_limits_protection_and_the_error_queue(self):
        b = self.bench("--model", "3005", "--firmware", "43")
        psu = b.instrument(self.rm)
        vmax = psu.query("VOLT? MAX")
        imax = psu.query("CURR? MAX")
        before = len(b.writes())
        for command in ("VOLT 99", "VOLT %.2f" % (float(vmax) + 0.01), "CURR 1E3",
                        "CURR %.3f" % (float(imax) + 0.001), "VOLT -1", "VOLT:PROT 1000"):
            psu.write(command)
            self.assertEqual(psu.query("SYST:ERR?"), '-222,"Data out of range"', command)
        self.assertEqual(len(b.writes()), before, "a refused value was written")
        psu.write("VOLT MAX")
        self.assertEqual(psu.query("VOLT?"), vmax)
        psu.write("VOLT:PROT 12.34;:CURR:PROT 2.5")
        self.assertEqual(psu.query("VOLT:PROT?;:CURR:PROT?"), "12.34;2.500")
        block = [w for w in b.writes() if w["addr"] == 80]
        self.assertEqual(block[-1]["values"][2:4], [1234, 2500])
        for command, code in (("FOO:BAR 1", -113), ("VOLT five", -104), ("VOLT 5 A", -131),
                              ("OUTP MAYBE", -224), ("MEAS:VOLT? 3", -108), ("VOLT", -109),
                              ("VOLT 1,,2", -102)):
            psu.write(command)
            self.assertTrue(psu.query("SYST:ERR?").startswith("%d," % code), command)
        for _ in range(20):
            psu.write("NOPE")
        errors = [psu.query("SYST:ERR?") for _ in range(17)]
        self.assertEqual(errors[14], '-113,"Undefined header"')
        self.assertEqual(errors[15], '-350,"Queue overflow"')
        self.assertEqual(errors[16], '0,"No error"')
        self.assertEqual(psu.query("*ESR?"), "56")  # device, execution and command errors
        self.assertEqual(psu.query("SYST:VERS?"), "1999.0")
        psu.close()

    def test_clients_keep_their_own_errors_and_bad_input_stops_nobody(self):
        b = self.bench()
        first, second = b.instrument(self.rm), b.instrument(self.rm)
        first.write("VOLT 999")
        self.assertEqual(second.query("SYST:ERR?"), '0,"No error"')
        second.write("VOLT 7")
        self.assertEqual(second.query("*OPC?"), "1")  # lines of two clients have no order
        self.assertEqual(first.query("VOLT?"), "7.00")
        self.assertEqual(first.query("SYST:ERR?"), '-222,"Data out of range"')

        junk = b.raw()
        junk.sendall(bytes(b for b in range(256) if b != 10) + b"\n")
        junk.sendall(b"VOLT " + b"9" * 5000 + b"\r\n")
        junk.sendall(b"*IDN?\r\n")
        self.assertTrue(read_line(junk).startswith("ARDENTIX,KPX5005"))
        junk.sendall(b"SYST:ERR?;ERR?;:SYSTEM:ERROR:NEXT?\n")
        self.assertEqual(read_line(junk), '-101,"Invalid character";'
                         '-363,"Input buffer overrun";0,"No error"\n')
        # A client that leaves mid-command, and one that sends half a line and leaves.
        for text in (b"MEAS:VOLT?\n" * 5, b"VOLT 3"):
            gone = b.raw()
            gone.sendall(text)
            gone.close()
        self.assertEqual(second.query("VOLT?"), "7.00")
        # Sixteen clients at most: the seventeenth is told why and closed. The clients that left
        # may take a moment to be noticed, so each of the crowd is taken once it is served.
        def served_client():
            s = b.raw()
            s.sendall(b"*OPC?\n")
            if read_line(s) == "1\n":
                return s
            s.close()
            return None
        crowd = [wait_for(served_client, what="a free client place") for _ in range(13)]
        extra = b.raw()
        extra.sendall(b"*OPC?\n")
        self.assertEqual(read_line(extra), '-321,"Out of memory; too many clients"\n')
        self.assertEqual(read_line(extra), "")
        for s in crowd + [junk, extra]:
            s.close()
        self.assertEqual(first.query("*OPC?"), "1")
        first.close()
        second.close()

    def test_sigterm_unlocks_the_keys(self):
        b = self.bench()
        psu = b.instrument(self.rm)
        psu.write("SYST:RWL")
        self.assertEqual(psu.query("*OPC?"), "1")
        self.assertEqual([w["values"] for w in b.writes() if w["addr"] == 6], [[1]])
        b.serve.send_signal(signal.SIGTERM)
        self.assertEqual(b.serve.wait(10), 0)
        self.assertEqual([w["values"] for w in b.writes() if w["addr"] == 6], [[1], [0]])
        psu.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
