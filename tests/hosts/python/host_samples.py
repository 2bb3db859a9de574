"""The sample writers of scripts/make_samples.py, loaded once for the host tests."""
import importlib.util
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

import ixadapter

_spec = importlib.util.spec_from_file_location(
    "make_samples", Path(__file__).resolve().parents[3] / "scripts" / "make_samples.py")
samples = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(samples)
SAMPLES = Path(os.environ.get("IX_SAMPLES", Path(__file__).resolve().parents[3] / "samples"))
needs_ixdump = unittest.skipUnless(os.environ.get("IXDUMP"), "IXDUMP names the ixdump to test")


class ReaderCase(unittest.TestCase):
    """A test with a reader and a temporary folder `self.dir`, both gone after it (a test of ixdump alone
    uses the folder)."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = Path(self.tmp.name)
        self.reader = ixadapter.Reader()

    def tearDown(self):
        self.reader.close()
        self.tmp.cleanup()


def run_ixdump(*args, **options):
    """ixdump (named by IXDUMP) with `args`; it brings its own sanitizer runtime, so the interpreter's preload goes."""
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    return subprocess.run([os.environ["IXDUMP"], *map(str, args)], capture_output=True, text=True, timeout=60, env=env,
                          **options)
