"""Object, image and sequence files loaded by a foreign host through ctypes.

The object files here are written by this test from the published layout of the
format (docs/formats.md), as an outside program would write them.
"""

import ctypes
import importlib.util
import os
import struct
import tempfile
import unittest
from pathlib import Path

import ixadapter

_spec = importlib.util.spec_from_file_location(
    "make_samples", Path(__file__).resolve().parents[2] / "scripts" / "make_samples.py")
samples = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(samples)


def one_pixel_image(value):
    return samples.object_file([samples.image_record(0, 1, 1, [bytes([value])])])


class ObjectFiles(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = Path(self.dir.name)
        self.reader = ixadapter.Reader()

    def tearDown(self):
        self.reader.close()
        self.dir.cleanup()

    def write(self, name, data):
        path = self.root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data) if isinstance(data, bytes) else path.write_text(data)
        return path

    def test_object_file_written_from_the_documented_layout(self):
        gray = bytes(range(12))
        circle = [(1, 1, 2), (2, 0, 3)]
        path = self.write("scene \u00e9.hobj", samples.object_file([
            samples.image_record(0, 4, 3, [gray], domain=circle),
            samples.image_record(2, 2, 1, [struct.pack("<HH", 0x1234, 7)] * 3),
            samples.record(2, samples.runs([(0, 0, 9), (1, 0, 9)])),
            samples.record(3, samples.line([(0.0, 0.0), (3.0, 4.0)])),
            samples.record(4, samples.line([(0.0, 0.0), (0.0, 5.0), (5.0, 5.0)])),
        ]))
        root = self.reader.parse_object_file(path)
        self.assertEqual(root.type_label, "file")
        self.assertEqual(root.value_summary, "5 objects")
        self.assertEqual(root.kind, ixadapter.NodeKind.CONTAINER)
        rows = [(c.path_segment, c.label, c.type_label, c.value_summary) for c in root.children]
        self.assertEqual(rows, [
            ("/[0]", "Object 1", "image", "4x3, 1ch, byte, domain: area: 6; center: 1.7, 1.5"),
            ("/[1]", "Object 2", "image", "2x1, 3ch, uint2"),
            ("/[2]", "Object 3", "region", "area: 20; center: 0.5, 4.5"),
            ("/[3]", "Object 4", "xld_cont", "contour points: 2; length: 5.00"),
            ("/[4]", "Object 5", "xld_poly", "points: 3; length: 10.00"),
        ])
        first = root.child(0)
        self.assertEqual(first.kind, ixadapter.NodeKind.OBJECT)
        self.assertTrue(first.is_image)
        self.assertEqual(first.object_class, "image")
        self.assertEqual(first.object_count, 1)
        self.assertEqual(first.full_value_text, "")

    def test_errors_reach_the_host_as_text(self):
        with self.assertRaisesRegex(ixadapter.IxError, "^File not found$"):
            self.reader.parse_object_file(self.root / "missing.png")
        self.write("cut.hobj", one_pixel_image(3)[:-1])
        with self.assertRaisesRegex(ixadapter.IxError, "^Invalid object file"):
            self.reader.parse_object_file(self.root / "cut.hobj")
        self.write("list.seq", "\n \n")
        with self.assertRaises(ixadapter.IxError) as caught:
            self.reader.parse_object_file(self.root / "list.seq")
        self.assertEqual(str(caught.exception),
                         "Sequence file is empty or could not be read: " + str(self.root / "list.seq"))

    def test_sequence_of_images_in_entry_order(self):
        for name, value in (("a.png", 10), ("b.tif", 20), ("c.jpg", 30)):
            self.write("frames/" + name, one_pixel_image(value))
        path = self.write("frames/run.seq", "c\r\na\n\t b \n")
        root = self.reader.parse_object_file(path)
        self.assertEqual(root.value_summary, "3 objects")
        self.assertEqual([c.label for c in root.children], ["Object 1", "Object 2", "Object 3"])

    def test_a_new_load_makes_old_nodes_stale_and_failure_empties_the_tree(self):
        path = self.write("one.hobj", one_pixel_image(1))
        root = self.reader.parse_object_file(path)
        child = root.child(0)
        self.assertEqual(child.label, "one")
        with self.assertRaises(ixadapter.IxError):
            self.reader.parse_object_file(self.root / "nothing.hobj")
        with self.assertRaises(ixadapter.StaleNodeError):
            child.label
        self.assertEqual(self.reader.last_error, "File not found")
        self.reader.parse_object_file(path)
        self.assertEqual(self.reader.last_error, "")

    def test_null_arguments_leave_the_tree_alone(self):
        lib = ixadapter.load_library()
        handle = lib.ix_reader_create()
        try:
            path = str(self.write("one.hobj", one_pixel_image(1)))
            root = lib.ix_reader_parse_object_file(handle, path)
            self.assertTrue(root)
            self.assertIsNone(lib.ix_reader_parse_object_file(handle, None))
            self.assertIsNone(lib.ix_reader_parse_object_file(None, path))
            self.assertEqual(lib.ix_node_child_count(root), 1)  # still the same, valid tree
        finally:
            lib.ix_reader_destroy(handle)


    def test_paths_the_library_would_misread_and_texts_python_cannot_decode(self):
        # Before a NUL the path names another file, which would load silently.
        self.write("a", one_pixel_image(1))
        with self.assertRaises(ValueError):
            self.reader.parse_object_file(str(self.root / "a") + "\0b.hobj")
        self.assertEqual(self.reader.parse_object_file(os.fsencode(self.root / "a")).value_summary, "1 object")
        # An entry whose bytes decode to a code unit above U+10FFFF: still an IxError.
        self.write("odd.seq", b"\xf4\x90\x80\x80x\n")
        with self.assertRaises(ixadapter.IxError) as caught:
            self.reader.parse_object_file(self.root / "odd.seq")
        self.assertEqual(str(caught.exception), "Sequence entry not found: \ufffdx")

    def test_texts_ignore_the_locale_the_host_sets(self):
        # Qt applications call setlocale(LC_ALL, "") at start; with a German
        # locale printf would write "12,5".
        libc = ctypes.CDLL(None)
        libc.setlocale.restype = ctypes.c_char_p
        libc.setlocale.argtypes = [ctypes.c_int, ctypes.c_char_p]
        lc_all = 6
        previous = libc.setlocale(lc_all, None)
        if not libc.setlocale(lc_all, b"de_DE.UTF-8"):
            self.skipTest("locale de_DE.UTF-8 is not installed")
        try:
            path = self.write("shapes.hobj", samples.object_file([
                samples.record(2, samples.runs([(row, 19, 20) for row in range(10, 16)])),
                samples.record(3, samples.line([(0.0, 0.0), (0.0, 2.5)])),
            ]))
            root = self.reader.parse_object_file(path)
            self.assertEqual([c.value_summary for c in root.children],
                             ["area: 12; center: 12.5, 19.5", "contour points: 2; length: 2.50"])
        finally:
            libc.setlocale(lc_all, previous)


if __name__ == "__main__":
    unittest.main()
