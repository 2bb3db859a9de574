"""Objects saved by a foreign host and loaded again."""

import ixadapter

from host_samples import SAMPLES, ReaderCase


class Saving(ReaderCase):
    def test_saved_objects_load_again_and_failures_raise(self):
        reader = self.reader
        scene = reader.parse_object_file(SAMPLES / "scene.hobj")
        children = scene.children
        before = [(c.type_label, c.value_summary) for c in children]
        reader.save_objects_as(children, self.dir / "all.hobj")
        reader.save_object_as(children[3], self.dir / "contour.dxf")
        with ixadapter.Reader() as other:
            again = other.parse_object_file(self.dir / "all.hobj").children
            self.assertEqual([(c.type_label, c.value_summary) for c in again], before)
            self.assertIn("POLYLINE", (self.dir / "contour.dxf").read_text())  # the DXF itself is the writers' test
            with self.assertRaisesRegex(ixadapter.IxError, "no iconic objects"):
                reader.save_object_as(scene, self.dir / "root.hobj")
            with self.assertRaises(ValueError):
                other.save_object_as(children[1], self.dir / "foreign.hobj")


if __name__ == "__main__":
    unittest.main()
