"""Pixels and geometry extracted by a foreign host, checked value by value.

The images are written by this test as object files from their published
layout (docs/formats.md), then extracted through ctypes and released with the
library's ix_free_buffer.
"""

import ctypes
import struct
import unittest
from pathlib import Path
from unittest import mock

import ixadapter
from ixadapter import PixelFormat, PixelType

from host_samples import ReaderCase, samples

# A 3 x 2 image: channel c holds 10 * (c + 1) + the pixel's position 0..5.
W, H = 3, 2
CHANNEL = [bytes(10 * (c + 1) + i for i in range(W * H)) for c in range(4)]
DOMAIN = [(0, 0, 1), (1, 2, 2)]  # inside: positions 0, 1 and 5
MASK = bytes(255 if i in (0, 1, 5) else 0 for i in range(W * H))


def interleaved(*planes):
    return bytes(plane[i] for i in range(W * H) for plane in planes)


class Pixels(ReaderCase):
    def objects(self, *records):
        path = self.dir / "images.hobj"
        path.write_bytes(samples.object_file(list(records)))
        return self.reader.parse_object_file(path)

    def test_gray_bgr_and_bgra_bytes(self):
        red, green, blue, fourth = CHANNEL
        # [channels, domain, row bytes, format, the bytes]; four channels: blue, green, red, the fourth, whatever the domain
        cases = [([red], None, W, PixelFormat.GRAY, red),
                 ([red], DOMAIN, 4 * W, PixelFormat.BGRA, interleaved(red, red, red, MASK)),
                 (CHANNEL[:3], None, 3 * W, PixelFormat.BGR, interleaved(blue, green, red)),
                 (CHANNEL[:3], DOMAIN, 4 * W, PixelFormat.BGRA, interleaved(blue, green, red, MASK)),
                 (CHANNEL, DOMAIN, 4 * W, PixelFormat.BGRA, interleaved(blue, green, red, fourth))]
        root = self.objects(*(samples.image_record(0, W, H, planes, domain=domain) for planes, domain, *_ in cases))
        for node, (_, _, *expected) in zip(root.children, cases):
            self.assertEqual(node.extract_image(), (W, H, *expected))
        self.assertEqual(root.child(4).image_channel_count(), 4)

    def test_other_types_are_scaled_and_what_is_no_image_fails_cleanly(self):
        values = [1000, 1500, 2000, 1000, 3000, 1000]
        root = self.objects(
            samples.image_record(2, W, H, [struct.pack("<6H", *values)]),
            samples.image_record(0, W, H, CHANNEL[:2]),
            samples.record(2, samples.runs([(0, 0, 1)])))
        wide, two, region = root.children
        pixel_format, data = wide.extract_image()[3:]
        self.assertEqual((pixel_format, data[0], data[4]), (PixelFormat.GRAY, 0, 255))
        self.assertEqual((two.image_channel_count(), region.image_channel_count()), (2, -1))
        # Two channels (no image to draw) and an object beyond the node's: no error; a region: the library's message.
        for extract, message in ((two.extract_image, False), (lambda: wide.extract_image(1), False),
                                 (region.extract_image, True)):
            with self.assertRaises(ixadapter.IxError):
                extract()
            self.assertEqual(self.reader.last_error != "", message)
        ixadapter.load_library().ix_free_buffer(None)

    def test_values_in_their_own_pixel_type(self):
        # file code, struct format, type, NumPy dtype name, two values at the extremes of the type
        table = [(0, "B", PixelType.BYTE, "uint8", (0, 255)), (1, "b", PixelType.INT1, "int8", (-128, 127)),
                 (2, "H", PixelType.UINT2, "uint16", (0, 65535)), (3, "h", PixelType.INT2, "int16", (-32768, 7)),
                 (4, "i", PixelType.INT4, "int32", (-2**31, 2**31 - 1)),
                 (5, "q", PixelType.INT8, "int64", (-2**63, 2**63 - 1)), (6, "f", PixelType.REAL, "float32", (-1.5, 3e38))]
        cases = [(row, [struct.pack("<6" + row[1], *(row[4] * 4)[c:c + 6]) for c in range(channels)])
                 for row in table for channels in (1, 3)]
        root = self.objects(*(samples.image_record(row[0], W, H, planes, domain=DOMAIN if len(planes) == 3 else None)
                              for row, planes in cases))
        numpy = ixadapter._np
        for node, ((code, fmt, pixel_type, dtype, extremes), planes) in zip(root.children, cases):
            channels = len(planes)
            expected = [[list(struct.unpack("<6" + fmt, p)[y * W:(y + 1) * W]) for y in range(H)] for p in planes]
            info = (pixel_type, W, H, channels, struct.calcsize(fmt), channels == 1)
            self.assertEqual(node.image_info(), info)
            for with_numpy in ([numpy, None] if numpy else [None]):
                with mock.patch.object(ixadapter, "_np", with_numpy):
                    values = node.image_values()
                    self.assertEqual(values.tolist(), expected[0] if channels == 1 else expected)
                    if with_numpy:
                        self.assertEqual(values.dtype.name, dtype)
            self.assertEqual([list(c) for c in node.image_domain_runs()],
                             [list(c) for c in zip(*DOMAIN)] if channels == 3 else [[0, 1], [0, 0], [W - 1, W - 1]])

        two = self.objects(samples.image_record(0, W, H, CHANNEL[:2]), samples.record(2, samples.runs([])))
        self.assertEqual(two.child(0).image_info().channels, 2)
        lib, handle, node = ixadapter.load_library(), self.reader._handle, two.child(0)._p()
        info, out = ixadapter.IxImageInfo(), ctypes.POINTER(ctypes.c_uint8)()
        for args in ((None, node, 0), (handle, None, 0), (handle, node, 1), (handle, node, -1),
                     (handle, two.child(1)._p(), 0), (handle, two._p(), 0)):  # region, file node
            info.width = 7
            self.assertEqual((lib.ix_image_info(*args, ctypes.byref(info)), info.width), (0, 0))
            self.assertEqual(lib.ix_extract_image_values(*args, ctypes.byref(info), ctypes.byref(out)), 0)
            self.assertFalse(out)
            self.assertEqual(self.reader.last_error, "")
        with self.assertRaisesRegex(ixadapter.IxError, "2 channels"):
            two.child(0).image_values()

    def test_runs_points_and_parallel_lines(self):
        contour = [(1.5, 2.25), (3.0, 4.0), (5.5, 0.5)]
        root = self.objects(
            samples.record(2, samples.runs([(0, 1, 3), (2, -4, 7)])),
            samples.record(2, samples.runs([])),
            samples.record(3, samples.line(contour)),
            samples.record(4, samples.line(contour[:2])),
            samples.record(5, samples.line(contour) + samples.line(contour[:2])))
        region, empty, cont, poly, parallel = root.children
        self.assertEqual(region.region_runs(), ([0, 2], [1, -4], [3, 7]))
        self.assertEqual(empty.region_runs(), ([], [], []))  # empty arrays, still released
        rows, cols = zip(*contour)
        self.assertEqual(cont.contour_points(), (list(rows), list(cols)))
        self.assertEqual(poly.polygon_points(), (list(rows[:2]), list(cols[:2])))
        self.assertEqual(parallel.parallel_lines(), ((list(rows), list(cols)), (list(rows[:2]), list(cols[:2]))))

        # Another class: the library's message; an index before the first object: none.
        for runs, message in ((cont.region_runs, True), (lambda: region.region_runs(-1), False)):
            with self.assertRaises(ixadapter.IxError):
                runs()
            self.assertEqual(self.reader.last_error != "", message)


if __name__ == "__main__":
    unittest.main()
