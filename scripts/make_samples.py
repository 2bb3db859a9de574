#!/usr/bin/env python3
"""Writes the small sample files of samples/ with nothing but Python's standard library.

The ONNX model is written in protobuf's wire format by the few functions below.

The object file and the dictionary file are written from the layouts in
docs/formats.md alone, as any outside program would write them.

    scripts/make_samples.py [DIRECTORY]     (default: samples/ of this checkout)
"""

import math
import struct
import sys
import zlib
from pathlib import Path


def png(width, height, rows, color_type, bit_depth=8):
    """A PNG of the given rows (bytes per row, without filter bytes)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth, color_type, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def tiff16(width, height, pixels):
    """An uncompressed little-endian 16-bit gray TIFF of one strip."""
    data = struct.pack("<%dH" % len(pixels), *pixels)
    entries = [(256, 3, 1, width), (257, 3, 1, height), (258, 3, 1, 16), (259, 3, 1, 1), (262, 3, 1, 1),
               (273, 4, 1, 0), (277, 3, 1, 1), (278, 3, 1, height), (279, 4, 1, len(data))]
    ifd_offset = 8
    data_offset = ifd_offset + 2 + 12 * len(entries) + 4
    out = b"II*\x00" + struct.pack("<I", ifd_offset) + struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = data_offset
        out += struct.pack("<HHI", tag, kind, count)
        out += struct.pack("<HH", value, 0) if kind == 3 else struct.pack("<I", value)
    return out + struct.pack("<I", 0) + data


# --- the object file -------------------------------------------------------------

def runs(runs_list):
    return struct.pack("<Q", len(runs_list)) + b"".join(struct.pack("<iii", *r) for r in runs_list)


def record(tag, payload):
    return struct.pack("<IIQ", tag, 0, len(payload)) + payload


def image_record(pixel_type, width, height, channels, domain=None):
    payload = struct.pack("<IIIIII", pixel_type, len(channels), width, height, 1 if domain else 0, 0)
    if domain:
        payload += runs(domain)
    return record(1, payload + b"".join(channels))


def line(points):
    rows = [p[0] for p in points]
    cols = [p[1] for p in points]
    return struct.pack("<Q", len(points)) + struct.pack("<%dd" % len(rows), *rows) + struct.pack("<%dd" % len(cols), *cols)


def object_file(records):
    return b"\x89IXOBJ\r\n" + struct.pack("<II", 1, len(records)) + b"".join(records)


# --- the dictionary file ---------------------------------------------------------

def text(value):
    data = value if isinstance(value, bytes) else value.encode("utf-8")
    return struct.pack("<I", len(data)) + data


def dict_body(entries):
    """entries: (key, value) pairs; a key is a str, bytes or an int, a value bytes made by the helpers below."""
    out = struct.pack("<Q", len(entries))
    for key, value in entries:
        out += (b"\x02" + struct.pack("<q", key)) if isinstance(key, int) else (b"\x01" + text(key))
        out += value
    return out


def integers(values):
    return b"\x01" + struct.pack("<Q", len(values)) + struct.pack("<%dq" % len(values), *values)


def reals(values):
    return b"\x02" + struct.pack("<Q", len(values)) + struct.pack("<%dd" % len(values), *values)


def mixed(elements):
    """elements: int, float, str, None (a null handle) or bytes (an element already tagged)."""
    out = b"\x03" + struct.pack("<Q", len(elements))
    for e in elements:
        if isinstance(e, bool) or isinstance(e, int):
            out += b"\x01" + struct.pack("<q", int(e))
        elif isinstance(e, float):
            out += b"\x02" + struct.pack("<d", e)
        elif isinstance(e, str):
            out += b"\x03" + text(e)
        elif e is None:
            out += b"\x10"
        else:
            out += e
    return out


def nested_dict(entries):
    return b"\x11" + dict_body(entries)


def matrix(rows, columns, values):
    return b"\x12" + struct.pack("<QQ", rows, columns) + struct.pack("<%dd" % len(values), *values)


def model_3d(points):
    n = len(points)
    out = b"\x13" + struct.pack("<Q", n)
    for axis in range(3):
        out += struct.pack("<%df" % n, *[p[axis] for p in points])
    out += b"\x00"                                    # no normals
    out += struct.pack("<Q", 0)                       # no triangles
    out += struct.pack("<QQ", 0, 0)                   # no polygons
    out += struct.pack("<I", 0)                       # no attributes
    return out + text("")                             # no primitive


def objects(object_file_bytes):
    return b"\x04" + struct.pack("<Q", len(object_file_bytes)) + object_file_bytes


def dict_file(entries):
    return b"\x89IXDIC\r\n" + struct.pack("<II", 1, 0) + dict_body(entries)


# --- ONNX models: protobuf's wire format ------------------------------------------

def varint(n):
    out = bytearray()
    n &= (1 << 64) - 1
    while True:
        byte, n = n & 0x7F, n >> 7
        out.append(byte | (0x80 if n else 0))
        if not n:
            return bytes(out)


def pb_number(field, value):
    return varint(field << 3) + varint(value)


def pb_bytes(field, payload):
    if isinstance(payload, str):
        payload = payload.encode()
    return varint(field << 3 | 2) + varint(len(payload)) + payload


def value_info(name, elem_type, dims):
    """A tensor's ValueInfoProto; a str dimension is symbolic."""
    shape = b"".join(pb_bytes(1, pb_bytes(2, d) if isinstance(d, str) else pb_number(1, d)) for d in dims)
    return pb_bytes(1, name) + pb_bytes(2, pb_bytes(1, pb_number(1, elem_type) + pb_bytes(2, shape)))


def initializer(name, dims):
    """A float TensorProto of zeros."""
    count = 1
    for d in dims:
        count *= d
    return b"".join(pb_number(1, d) for d in dims) + pb_number(2, 1) + pb_bytes(8, name) + pb_bytes(9, bytes(4 * count))


def onnx_model(graph_name, ops, weights, inputs, outputs, opset=17, meta=()):
    """A ModelProto: `weights` (name, dims) are initializers and listed as inputs too."""
    graph = (b"".join(pb_bytes(1, pb_bytes(4, op)) for op in ops) + pb_bytes(2, graph_name)
             + b"".join(pb_bytes(5, initializer(n, d)) for n, d in weights)
             + b"".join(pb_bytes(11, value_info(*i)) for i in inputs)
             + b"".join(pb_bytes(11, value_info(n, 1, d)) for n, d in weights)
             + b"".join(pb_bytes(12, value_info(*o)) for o in outputs))
    return (pb_number(1, 8) + pb_bytes(2, "make_samples") + pb_bytes(3, "1.0") + pb_bytes(7, graph)
            + pb_bytes(8, pb_bytes(1, "") + pb_number(2, opset))
            + b"".join(pb_bytes(14, pb_bytes(1, k) + pb_bytes(2, v)) for k, v in meta))


# --- the dataset with its images -------------------------------------------------

def dataset_folder(out):
    """dataset/: a detection dataset of four 96 x 64 part images, its boxes around the drawn parts."""
    w, h = 96, 64
    # Each part: (class id, top, left, size); a box is the part's pixels' outline.
    nut, washer, scratch = 1, 2, 3

    def shade(kind, r, c, top, left, size):
        y, x = r - top, c - left
        if not (0 <= y < size and 0 <= x < size):
            return None
        centre = (size - 1) / 2
        d = math.hypot(y - centre, x - centre)
        if kind == nut:
            return 40 if d < size / 5 else 200
        if kind == washer:
            return 230 if size / 4 <= d <= size / 2 else None
        return 20 if abs(y - x) <= 1 else None

    parts = [
        ("part_01.png", "train", 1, [(nut, 10, 8, 24), (washer, 24, 56, 32)]),
        ("part_02.png", "train", 3, [(scratch, 6, 30, 40), (nut, 36, 66, 20)]),
        ("part_03.png", "validation", 1, [(washer, 14, 30, 36)]),
        ("part_04.png", "test", 3, []),
    ]
    images = out / "dataset" / "images"
    images.mkdir(parents=True, exist_ok=True)
    samples = []
    for number, (name, split, channels, drawn) in enumerate(parts, 1):
        rows = []
        for r in range(h):
            row = bytearray()
            for c in range(w):
                value = 90 + (r + c) // 8
                for kind, top, left, size in drawn:
                    value = shade(kind, r, c, top, left, size) or value
                row += bytes([value] * channels) if channels == 1 else bytes((value, value, min(255, value + 30)))
            rows.append(bytes(row))
        (images / name).write_bytes(png(w, h, rows, 0 if channels == 1 else 2))
        edges = [(top - 0.5, left - 0.5, top + size - 0.5, left + size - 0.5) for _, top, left, size in drawn]
        samples.append(
            '    {"image_id": %d, "image_file_name": "%s", "split": "%s",\n' % (number, name, split)
            + '     "bbox_label_id": %s,\n' % [kind for kind, *_ in drawn]
            + "".join('     "bbox_%s": %s%s\n' % (key, [e[k] for e in edges], "," if k < 3 else "")
                      for k, key in enumerate(["row1", "col1", "row2", "col2"]))
            + "    }")
    (out / "dataset" / "parts.json").write_text(
        '{\n  "dataset_name": "parts on the belt",\n  "image_dir": "images",\n'
        '  "class_names": ["nut", "washer", "scratch"],\n  "class_ids": [1, 2, 3],\n'
        '  "samples": [\n' + ",\n".join(samples) + "\n  ]\n}\n")


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "samples"
    out.mkdir(parents=True, exist_ok=True)

    w, h = 64, 48
    rgb = [bytes(v for x in range(w) for v in (x * 4, y * 5, 128)) for y in range(h)]
    (out / "gradient.png").write_bytes(png(w, h, rgb, 2))

    depth = [int(1000 + 400 * math.sin(x / 6.0) * math.cos(y / 5.0)) for y in range(h) for x in range(w)]
    (out / "depth16.tif").write_bytes(tiff16(w, h, depth))

    gray = bytes((x * 3 + y * 2) % 256 for y in range(h) for x in range(w))
    circle = []
    for r in range(8, 41):
        half = int(math.sqrt(max(0.0, 16 * 16 - (r - 24) ** 2)))
        circle.append((r, 32 - half, 32 + half))
    contour = [(10 + 8 * math.sin(t / 5.0), 5 + t * 2.0) for t in range(20)]
    polygon = [(5.0, 5.0), (5.0, 55.0), (40.0, 55.0), (40.0, 5.0), (5.0, 5.0)]
    records = [
        image_record(0, w, h, [gray], domain=circle),
        record(2, runs([(r, 10, 20) for r in range(5, 15)])),
        record(2, runs(circle)),
        record(3, line(contour)),
        record(4, line(polygon)),
    ]
    (out / "scene.hobj").write_bytes(object_file(records))

    (out / "frames.seq").write_text("gradient.png\n  depth16\n")

    # An inspection result as a vision program keeps it: integer keys, a
    # calibration matrix, the defect regions, a point cloud, nested settings.
    cube = [(x * 0.01, y * 0.01, z * 0.005) for x in (0, 1) for y in (0, 1) for z in (0, 1)]
    (out / "inspection.hdict").write_bytes(dict_file([
        ("part_id", mixed(["A-1042"])),
        ("passed", integers([0])),
        ("scores", reals([0.97, 0.42, 0.88])),
        ("camera", mixed([matrix(3, 3, [1200.0, 0.0, 320.0, 0.0, 1200.0, 240.0, 0.0, 0.0, 1.0])])),
        ("defects", objects(object_file([record(2, runs([(r, 10, 20) for r in range(5, 15)])),
                                          record(2, runs(circle))]))),
        ("surface", mixed([model_3d(cube)])),
        ("stations", mixed([nested_dict([(1, mixed(["load"])), (2, mixed(["measure"])), (3, mixed([None]))])])),
    ]))

    # A small classifier of 3-channel 32 x 32 images into 3 classes.
    (out / "classifier.onnx").write_bytes(onnx_model(
        "defect_classifier", ["Conv", "Relu", "GlobalAveragePool", "Flatten", "Gemm", "Softmax"],
        [("conv.weight", [8, 3, 3, 3]), ("conv.bias", [8]), ("fc.weight", [3, 8]), ("fc.bias", [3])],
        [("image", 1, ["batch", 3, 32, 32])], [("scores", 1, ["batch", 3])],
        meta=[("classes", "scratch,dent,ok"), ("author", "line 4")]))

    # A bracket of two faces, with a colour per point.
    (out / "bracket.ply").write_text("""ply
format ascii 1.0
element vertex 6
property float x
property float y
property float z
property uchar red
property uchar green
property uchar blue
element face 2
property list uchar int vertex_indices
end_header
0 0 0 200 0 0
40 0 0 200 0 0
40 30 0 0 200 0
0 30 0 0 200 0
0 0 25 0 0 200
40 0 25 0 0 200
4 0 1 2 3
4 0 1 5 4
""")

    (out / "dataset.json").write_text("""{
  "dataset_name": "inspection line 4",
  "class_names": ["scratch", "dent", "ok"],
  "image_dir": "/data/line4/images",
  "samples": [
    {"image_file_name": "cam0/part_100001.png", "image_id": 1, "split": "train",
     "bbox_label_id": [0, 1], "bbox_row1": [12.5, 40.0], "bbox_col1": [3.0, 18.25],
     "bbox_row2": [30.0, 52.5], "bbox_col2": [21.0, 60.0], "reviewed": true, "note": null},
    {"image_file_name": "cam1/part_100002.png", "image_id": 2, "split": "validation",
     "bbox_label_id": [], "bbox_row1": [], "bbox_col1": [], "bbox_row2": [], "bbox_col2": [],
     "reviewed": false, "note": "re-check \\"edge\\" region"}
  ]
}
""")

    dataset_folder(out)


if __name__ == "__main__":
    main()
