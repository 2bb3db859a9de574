"""An install under another prefix than the configured one, as a packager does it."""

import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

BUILD_DIR = os.environ.get("IX_BUILD_DIR")


@unittest.skipUnless(BUILD_DIR and shutil.which("cmake"), "IX_BUILD_DIR names a build tree to install")
@unittest.skipUnless(shutil.which("pkg-config"), "pkg-config is not installed")
class Install(unittest.TestCase):
    def test_pkg_config_points_inside_the_prefix_it_was_installed_to(self):
        with tempfile.TemporaryDirectory() as d:
            prefix = Path(d, "staged").resolve()
            subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", str(prefix)], check=True,
                           capture_output=True, timeout=120)
            pc = next(prefix.rglob("ixadapter.pc"))
            env = dict(os.environ, PKG_CONFIG_PATH=str(pc.parent))

            def ask(*args):
                return subprocess.run(["pkg-config", *args, "ixadapter"], check=True, capture_output=True,
                                      text=True, env=env).stdout.split()

            libdir = Path(ask("--variable=libdir")[0]).resolve()
            self.assertEqual(libdir, pc.parent.parent)
            self.assertTrue((libdir / "libixadapter.so").exists())
            includes = [Path(f[2:]).resolve() for f in ask("--cflags") if f.startswith("-I")]
            self.assertEqual(includes, [prefix / "include"])
            self.assertTrue((prefix / "include" / "ix_adapter.h").exists())
            self.assertIn("-L" + ask("--variable=libdir")[0], ask("--libs"))

            # The binding installed by pip into the same prefix finds that library
            # (where venv can install pip: Debian's python3-venv).
            if importlib.util.find_spec("ensurepip") is None:
                return
            subprocess.run([sys.executable, "-m", "venv", str(prefix)], check=True, capture_output=True, timeout=120)
            source = Path(__file__).resolve().parents[3] / "python"
            subprocess.run([str(prefix / "bin" / "pip"), "install", "--no-index", str(source)], check=True,
                           capture_output=True, timeout=120)
            env = {k: v for k, v in os.environ.items() if k not in ("IXADAPTER_LIBRARY", "PYTHONPATH")}
            found = subprocess.run([str(prefix / "bin" / "python"), "-c", "import ixadapter; print("
                                    "ixadapter.load_library()._name, ixadapter.version())"], check=True,
                                   capture_output=True, text=True, env=env, cwd=d).stdout.split()
            self.assertEqual((Path(found[0]).resolve().parent, found[1]), (libdir, "20.11"))


if __name__ == "__main__":
    unittest.main()
