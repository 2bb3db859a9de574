"""The sample writers of scripts/make_samples.py, loaded once for the host tests."""
import importlib.util
from pathlib import Path

_spec = importlib.util.spec_from_file_location(
    "make_samples", Path(__file__).resolve().parents[3] / "scripts" / "make_samples.py")
samples = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(samples)
