"""ixdump --render: pictures drawn through the extraction functions, read back
pixel by pixel through the library."""

import resource
import signal
import unittest

import ixadapter
from ixadapter import PixelFormat

from host_samples import ReaderCase, needs_ixdump, run_ixdump, samples

W, H = 8, 6
GRAY = bytes(10 * r + c for r in range(H) for c in range(W))
BACKDROP = (40, 40, 40)
RED, GREEN, BLUE, YELLOW = (255, 64, 64), (64, 220, 64), (64, 140, 255), (255, 200, 0)


def blend(colour, under, alpha=128):
    return tuple((c * alpha + u * (255 - alpha) + 127) // 255 for c, u in zip(colour, under))


@needs_ixdump
class Render(ReaderCase):
    def render(self, records, path="/", out=None, file_size_limit=None):
        source, out = self.dir / "scene.hobj", out or self.dir / "out.png"
        source.write_bytes(samples.object_file(records))
        def limit():  # a full disk, as far as the writer can tell
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
        result = run_ixdump("--render", path, "--out", out, source, preexec_fn=limit if file_size_limit else None)
        if result.returncode != 0:
            return None, result.stderr
        width, height, row_bytes, fmt, pixels = self.reader.parse_object_file(out).children[0].extract_image()
        self.assertEqual(fmt, PixelFormat.BGR)

        def at(r, c):
            b, g, red = pixels[r * row_bytes + 3 * c:r * row_bytes + 3 * c + 3]
            return red, g, b
        return (width, height, at), result.stderr

    def test_every_object_of_a_file_over_its_first_image(self):
        # The image's domain leaves out row 0; a region fills rows 2-3, columns 1-2;
        # a contour runs along row 4, a polygon down column 6.
        records = [
            samples.image_record(0, W, H, [GRAY], domain=[(r, 0, W - 1) for r in range(1, H)]),
            samples.record(2, samples.runs([(2, 1, 2), (3, 1, 2)])),
            samples.record(3, samples.line([(4.0, 0.0), (4.0, 3.0)])),
            samples.record(4, samples.line([(1.0, 6.0), (5.0, 6.0)])),
        ]
        (width, height, at), _ = self.render(records)
        self.assertEqual((width, height), (W, H))
        self.assertEqual(at(0, 3), BACKDROP)                      # outside the domain
        self.assertEqual(at(5, 0), (50, 50, 50))                  # the image itself
        # Each object in the colour of its position, as when it is drawn alone.
        self.assertEqual(at(2, 1), blend(GREEN, (21, 21, 21)))    # the region, translucent
        self.assertEqual(at(2, 3), (23, 23, 23))                  # beside it
        self.assertEqual([at(4, c) for c in range(4)], [BLUE] * 4)
        self.assertEqual(at(4, 4), (44, 44, 44))
        self.assertEqual([at(r, 6) for r in range(1, 6)], [YELLOW] * 5)
        self.assertEqual(self.render(records, path="/[2]")[0][2](4, 1), BLUE)

    def test_geometry_alone_gets_a_canvas_of_its_extent(self):
        # Points 10..13 rows and 20..30 columns, with a margin of two pixels.
        (width, height, at), _ = self.render([
            samples.record(5, samples.line([(10.0, 20.0), (10.0, 30.0)]) + samples.line([(13.0, 20.0), (13.0, 30.0)])),
        ], path="/[0]")
        self.assertEqual((width, height), (15, 8))
        self.assertEqual([at(2, 2), at(5, 12), at(3, 5)], [RED, RED, (0, 0, 0)])  # (10, 20), (13, 30), between

    def test_a_jpg_name_gets_a_jpeg(self):
        out = self.dir / "out.JPG"
        (width, height, at), _ = self.render([samples.image_record(0, W, H, [GRAY])], out=out)
        self.assertEqual((out.read_bytes()[:2], width, height), (b"\xff\xd8", W, H))
        self.assertTrue(all(abs(v - 23) <= 2 for v in at(2, 3)), at(2, 3))

    def test_a_line_longer_than_a_double_holds_is_drawn_where_it_crosses(self):
        (width, height, at), _ = self.render([
            samples.image_record(0, W, H, [GRAY]),
            samples.record(3, samples.line([(-1.7e308, 3.0), (1.7e308, 3.0)])),
        ])
        self.assertEqual([at(r, 3) for r in range(H)], [GREEN] * H)

    def test_what_cannot_be_drawn_or_written_is_an_error_and_leaves_no_file(self):
        # Links, permissions and FIFOs are the replacing file's, tested through the library's writers.
        empty, gray = samples.record(2, samples.runs([])), samples.image_record(0, W, H, [GRAY])
        line = samples.record(3, samples.line([(1.0, 1.0), (2.0, 2.0)]))
        far = samples.record(3, samples.line([(1e300, 1e300), (1e300, 1e300)]))
        # records, path, output name, file size limit, the message
        for records, path, out, size, message in [
                ([empty], "/", "out.png", None, "nothing to draw"), ([empty], "/[7]", "out.png", None, "no node at /[7]"),
                ([samples.image_record(0, W, H, [GRAY, GRAY])], "/", "out.png", None, "cannot be drawn"),
                ([gray], "/", "out.bmp", None, "a .png or .jpg/.jpeg file"),
                ([far], "/", "out.png", None, "too far from the origin"),
                ([line], "/", "full.png", 64, "full.png: File too large")]:
            picture, error = self.render(records, path=path, out=self.dir / out, file_size_limit=size)
            self.assertIsNone(picture, message)
            self.assertIn(message, error)
            self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["scene.hobj"], message)


if __name__ == "__main__":
    unittest.main()
