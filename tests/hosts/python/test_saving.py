"""Objects saved by a foreign host and loaded again."""

import os
import tempfile
import unittest
from pathlib import Path

import ixadapter

SAMPLES = Path(os.environ.get("IX_SAMPLES", Path(__file__).resolve().parents[3] / "samples"))


class Saving(unittest.TestCase):
    def test_saved_objects_load_again_and_failures_raise(self):
        with tempfile.TemporaryDirectory() as d, ixadapter.Reader() as reader, ixadapter.Reader() as other:
            scene = reader.parse_object_file(SAMPLES / "scene.hobj")
            children = scene.children
            before = [(c.type_label, c.value_summary) for c in children]
            reader.save_objects_as(children, Path(d) / "all.hobj")
            reader.save_object_as(children[3], Path(d) / "contour.dxf")
            again = other.parse_object_file(Path(d) / "all.hobj").children
            self.assertEqual([(c.type_label, c.value_summary) for c in again], before)
            self.assertIn("POLYLINE", (Path(d) / "contour.dxf").read_text())  # the DXF itself is the writers' test
            with self.assertRaisesRegex(ixadapter.IxError, "no iconic objects"):
                reader.save_object_as(scene, Path(d) / "root.hobj")
            with self.assertRaises(ValueError):
                other.save_object_as(children[1], Path(d) / "foreign.hobj")


if __name__ == "__main__":
    unittest.main()
