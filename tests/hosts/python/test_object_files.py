"""Object and sequence files loaded by a foreign host through ctypes.

The object files here are written by this test from the published layout of the
format (docs/formats.md), as an outside program would write them.
"""

import os
import unittest

import ixadapter

from host_samples import ReaderCase, samples


def one_pixel_image(value):
    return samples.object_file([samples.image_record(0, 1, 1, [bytes([value])])])


class ObjectFiles(ReaderCase):
    def write(self, name, data):
        path = self.dir / name
        path.write_bytes(data) if isinstance(data, bytes) else path.write_text(data)
        return path

    def test_nodes_of_a_file_named_beyond_the_basic_plane(self):
        # A single object carries the file's base name: the name goes in and comes back as UTF-32.
        root = self.reader.parse_object_file(self.write("sc\u00e8ne \U0001F600.hobj", one_pixel_image(9)))
        self.assertEqual((root.kind, root.type_label, root.value_summary),
                         (ixadapter.NodeKind.CONTAINER, "file", "1 object"))
        [image] = root.children
        self.assertEqual((image.path_segment, image.label, image.value_summary, image.kind, image.is_image, image.object_class),
                         ("[0]", "sc\u00e8ne \U0001F600", "1x1, 1ch, byte", ixadapter.NodeKind.OBJECT, True, "image"))
        self.assertEqual((image.full_value_text, image.detail_lines, image.values), ("", [], []))
        with self.assertRaises(IndexError):
            root.child(1)

    def test_a_new_load_or_closing_makes_old_nodes_stale(self):
        path = self.write("one.hobj", one_pixel_image(1))
        child = self.reader.parse_object_file(path).child(0)
        with self.assertRaisesRegex(ixadapter.IxError, "^File not found$"):
            self.reader.parse_object_file(self.dir / "nothing.hobj")
        with self.assertRaises(ixadapter.StaleNodeError):
            child.label
        child = self.reader.parse_object_file(path).child(0)  # the last error itself is the reader handle's test
        self.reader.close()
        with self.assertRaises(ixadapter.StaleNodeError):
            child.label

    def test_paths_the_library_would_misread_and_texts_python_cannot_decode(self):
        # Before a NUL the path names another file, which would load silently.
        self.write("a", one_pixel_image(1))
        with self.assertRaises(ValueError):
            self.reader.parse_object_file(str(self.dir / "a") + "\0b.hobj")
        self.assertEqual(self.reader.parse_object_file(os.fsencode(self.dir / "a")).value_summary, "1 object")
        # An entry whose bytes decode to a code unit above U+10FFFF: still an IxError.
        self.write("odd.seq", b"\xf4\x90\x80\x80x\n")
        with self.assertRaises(ixadapter.IxError) as caught:
            self.reader.parse_object_file(self.dir / "odd.seq")
        self.assertEqual(str(caught.exception), "Sequence entry not found: \ufffdx")


if __name__ == "__main__":
    unittest.main()
