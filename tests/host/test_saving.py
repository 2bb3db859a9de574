"""Objects saved by a foreign host and loaded again."""

import os
import tempfile
import unittest
from pathlib import Path

import ixadapter

SAMPLES = Path(os.environ.get("IX_SAMPLES", Path(__file__).resolve().parents[2] / "samples"))


def dxf_entities(path):
    """The values of the entity pairs (group code 0) of a DXF file, and its vertices as (x, y)."""
    lines = Path(path).read_text().splitlines()
    pairs = [(int(lines[i]), lines[i + 1]) for i in range(0, len(lines) - 1, 2)]
    entities = [value for code, value in pairs if code == 0]
    vertices, current = [], None
    for code, value in pairs:
        if code == 0:
            current = [None, None] if value == "VERTEX" else None
            if current is not None:
                vertices.append(current)
        elif current is not None and code in (10, 20):
            current[code // 10 - 1] = float(value)
    return entities, [tuple(v) for v in vertices]


class Saving(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.reader = ixadapter.Reader()
        self.scene = self.reader.parse_object_file(SAMPLES / "scene.hobj")

    def tearDown(self):
        self.reader.close()
        self.dir.cleanup()

    def path(self, name):
        return Path(self.dir.name) / name

    def test_several_nodes_reload_as_the_same_objects(self):
        children = self.scene.children
        before = [(c.type_label, c.value_summary) for c in children]
        self.reader.save_objects_as(children, self.path("all.png"))  # always an object file
        self.reader.save_object_as(children[1], self.path("Region.HOBJ"))
        # Loading goes by the suffix too: the object file is loaded under its usual one.
        self.path("all.png").rename(self.path("all.hobj"))
        with ixadapter.Reader() as other:
            again = other.parse_object_file(self.path("all.hobj")).children
            self.assertEqual([(c.type_label, c.value_summary) for c in again], before)
            region = other.parse_object_file(self.path("Region.HOBJ"))
            self.assertEqual([(c.type_label, c.value_summary) for c in region.children], before[1:2])

    def test_contours_and_polygons_as_dxf(self):
        contour, polygon = self.scene.child(3), self.scene.child(4)
        rows, cols = contour.contour_points()
        self.reader.save_object_as(contour, self.path("contour.dxf"))
        entities, vertices = dxf_entities(self.path("contour.dxf"))
        self.assertEqual(entities.count("POLYLINE"), 1)
        self.assertEqual(vertices, list(zip(cols, rows)))
        rows, cols = polygon.polygon_points()
        self.reader.save_object_as(polygon, self.path("polygon.DXF"))
        self.assertEqual(dxf_entities(self.path("polygon.DXF"))[1], list(zip(cols, rows)))

    def test_failures_raise_with_the_library_message(self):
        with self.assertRaisesRegex(ixadapter.IxError, "Unexpected object detected"):
            self.reader.save_object_as(self.scene.child(1), self.path("region.dxf"))
        with self.assertRaisesRegex(ixadapter.IxError, "No such file or directory"):
            self.reader.save_object_as(self.scene.child(1), self.path("missing/region.hobj"))
        with self.assertRaisesRegex(ixadapter.IxError, "no iconic objects"):
            self.reader.save_object_as(self.scene, self.path("root.hobj"))
        with self.assertRaises(ixadapter.IxError):
            self.reader.save_objects_as([], self.path("none.hobj"))
        with ixadapter.Reader() as other, self.assertRaises(ValueError):
            other.save_object_as(self.scene.child(1), self.path("foreign.hobj"))
        self.assertFalse(self.path("root.hobj").exists() or self.path("foreign.hobj").exists())


if __name__ == "__main__":
    unittest.main()
