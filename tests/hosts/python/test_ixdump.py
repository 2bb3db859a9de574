"""ixdump, the command-line host, on the sample files."""

import json
import re
import unittest

from host_samples import SAMPLES, ReaderCase, needs_ixdump, run_ixdump


@needs_ixdump
class Ixdump(ReaderCase):
    def test_prints_the_tree_as_text_and_as_json(self):
        result = run_ixdump(SAMPLES / "scene.hobj")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        lines = result.stdout.splitlines()
        self.assertTrue(lines[0].endswith("scene.hobj  file  5 objects"), lines[0])
        self.assertEqual(lines[1], "  /[0] Object 1  image  64x48, 1ch, byte, domain: area: 797; center: 24.0, 32.0")
        tree = json.loads(run_ixdump("--json", SAMPLES / "scene.hobj").stdout)["root"]
        image = tree["children"][0]
        self.assertEqual((tree["type"], [c["type"] for c in tree["children"]], image["path"], image["isImage"]),
                         ("file", ["image", "region", "region", "xld_cont", "xld_poly"], "/[0]", True))

    def test_depth_and_full_value_text(self):
        result = run_ixdump("--depth", "0", SAMPLES / "scene.hobj")
        self.assertEqual(result.stdout.splitlines()[1:], ["  ..."])
        # A path as the tree gives it (the paths of keys are the library's); controls and a NUL
        # are escaped: no key or value can clear the screen or forge a line.
        keys = self.dir / "keys.json"
        keys.write_text('{"": {"x": 1}, "a/b": 2, "a": {"b": 3}, "50%": 4, "e\\u001b[2J\\n": "x\\r\\u0000\\u009b"}')
        for path, value in (("/a%2Fb", "2"), ("/a/b", "3"), ("/e%1B[2J%0A", r"'x\r\u0000\u009B'")):
            self.assertEqual(run_ixdump("--full", path, keys).stdout, value + "\n", path)
            self.assertEqual(json.loads(run_ixdump("--json", "--full", path, keys).stdout)["text"], value)
        dump = run_ixdump(keys).stdout
        self.assertEqual((len(dump.splitlines()), re.search("[\0-\x09\x0b-\x1f\x7f-\x9f]", dump)), (8, None))

    def test_every_sample_opens(self):
        files = sorted(p for p in SAMPLES.iterdir() if p.is_file())
        self.assertGreaterEqual(len(files), 4)
        result = run_ixdump(*files)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_save_writes_a_node_or_every_object_of_the_file(self):
        everything, contour = self.dir / "all.hobj", self.dir / "contour.dxf"
        result = run_ixdump("--save", "/", "--to", everything, SAMPLES / "scene.hobj")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.assertEqual(run_ixdump(everything).stdout.splitlines()[1:],
                         run_ixdump(SAMPLES / "scene.hobj").stdout.splitlines()[1:])
        result = run_ixdump("--save", "/[3]", "--to", contour, SAMPLES / "scene.hobj")
        self.assertEqual((result.returncode, result.stdout), (0, ""))
        self.assertIn("POLYLINE", contour.read_text())

    def test_errors_go_to_stderr_with_status_1_and_misuse_with_status_2(self):
        scene = SAMPLES / "scene.hobj"
        broken = self.dir / "broken.png"
        broken.write_bytes(b"\x89PNG\r\n\x1a\n" + b"\x00" * 40)
        for args, status, error in [
                ((self.dir / "missing.png", broken), 1, "missing.png: File not found\n"),
                (("--full", "/[1]", scene), 1, "/[1] (region) has no value text"),
                (("--full", "/[9]", scene), 1, "no node at /[9]"),
                (("--save", "/[1]", "--to", self.dir / "region.dxf", scene), 1, "Unexpected object detected"),
                (("--save", "/[9]", "--to", self.dir / "all.hobj", scene), 1, "no node at /[9]"),
                (("--save", "/", scene), 2, ""), ((), 2, ""),
                (("--bogus", "x"), 2, "ixdump: unknown option --bogus; ixdump --help lists the options\n")]:
            result = run_ixdump(*args)
            self.assertEqual((result.returncode, result.stdout), (status, ""), args)
            self.assertIn(error, result.stderr, args)
        self.assertIn("Invalid PNG file", run_ixdump(self.dir / "missing.png", broken).stderr.splitlines()[1])
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["broken.png"])


if __name__ == "__main__":
    unittest.main()
