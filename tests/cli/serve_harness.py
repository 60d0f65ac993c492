"""What the kelvora-cli serve tests share: the folder of the programs under test, given as the
first argument, and waiting for a condition instead of sleeping."""

import os
import sys
import time

BIN_DIR = sys.argv.pop(1) if len(sys.argv) > 1 else os.environ.get("KELVORA_BIN_DIR", "")


def wait_for(condition, timeout=15.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)
