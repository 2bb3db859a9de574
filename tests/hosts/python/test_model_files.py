"""Deep-learning models and 3D object models opened by a foreign host: the
files are written by this test (ONNX through the sample writer's protobuf
encoding, PLY as text), the trees read through ctypes."""

import unittest

import ixadapter
from ixadapter import LoadKind, NodeKind

from host_samples import ReaderCase, needs_ixdump, run_ixdump, samples


def onnx_model():
    # "w" is an initializer, listed among the inputs as older exporters do.
    return samples.onnx_model("tiny", ["Conv", "Relu"], [("w", [3, 4])], [("x", 1, ["N", 3, 224, 224])],
                              [("y", 7, ["N", 1000])], meta=[("author", "me")])


PLY = b"""ply
format ascii 1.0
element vertex 3
property float x
property float y
property float z
property uchar red
element face 1
property list uchar int vertex_indices
end_header
0 0 0 255
2 0 0 0
0 4 6 9
3 0 1 2
"""

# A quad and a triangle, with normals: polygons rather than triangles.
NOFF = b"NOFF\n4 2 0\n0 0 0 0 0 1\n1 0 0 0 0 1\n1 1 0 0 1 0\n0 1 0 0 1 0\n4 0 1 2 3\n3 3 2 1\n"


class ModelFiles(ReaderCase):
    def keys(self, root):
        return {child.label: child for child in root.children}

    def test_an_onnx_model_shows_its_keys(self):
        path = self.dir / "tiny.onnx"
        path.write_bytes(onnx_model())
        root = self.reader.parse_dl_model_file(path)
        self.assertEqual((root.kind, root.label), (NodeKind.CONTAINER, ""))
        keys = self.keys(root)  # each key's value is the ONNX reader's test
        self.assertEqual((keys["type"].values, keys["graph_name"].values, keys["batch_size"].values),
                         (["onnx"], ["tiny"], [-1]))
        # One input (the initializer "w" is none): its dictionary is the key's node.
        tensor = self.keys(keys["inputs"])
        self.assertEqual((tensor["name"].values, tensor["elem_type"].values, tensor["shape"].values),
                         (["x"], ["float"], [-1, 3, 224, 224]))

    def test_a_ply_model_is_read_in_metres(self):
        path = self.dir / "tri.ply"
        path.write_bytes(PLY)
        root = self.reader.parse_object_model_3d_file(path)
        keys = self.keys(root)
        self.assertEqual((keys["num_points"].values, keys["center"].values), ([3], [2 / 3, 4 / 3, 2]))
        points, normals = root.model_points()
        self.assertEqual(([list(p) for p in points], normals), ([[0, 0, 0], [2, 0, 0], [0, 4, 6]], None))
        triangles, polygons = root.model_faces()
        self.assertEqual(([list(t) for t in triangles], polygons), ([[0, 1, 2]], []))
        path.write_bytes(NOFF)
        root = self.reader.parse_object_model_3d_file(path)
        self.assertEqual([list(n) for n in root.model_points()[1]], [[0, 0, 1]] * 2 + [[0, 1, 0]] * 2)
        triangles, polygons = root.model_faces()
        self.assertEqual((len(triangles), [list(p) for p in polygons]), (0, [[0, 1, 2, 3], [3, 2, 1]]))
        for node in (root.child(0), ixadapter.Node(self.reader, None)):  # a plain key, a null node
            with self.assertRaisesRegex(ixadapter.IxError, "no 3D object model"):
                node.model_faces()

    def test_any_file_takes_the_load_its_content_calls_for(self):
        (self.dir / "one.png").write_bytes(samples.png(1, 1, [b"\x07"], 0))
        files = {"tri.data": (PLY, LoadKind.OM3D), "tiny.bin": (onnx_model(), LoadKind.DLMODEL),
                 "quad": (NOFF, LoadKind.OM3D), "set.cfg": (b' \n{"a": [1, 2]}', LoadKind.DICT),
                 "objects.bak": (samples.object_file([samples.record(2, samples.runs([]))] * 2), LoadKind.OBJECT),
                 "depth.img": (samples.tiff16(2, 1, [1, 2]), LoadKind.OBJECT),
                 "frames.seq": (b"one.png\n", LoadKind.OBJECT), "set.HDICT": (b"", LoadKind.DICT),
                 "mesh.OBJ": (b"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", LoadKind.OM3D),
                 "model.hdl": (b"HDL\x00" + bytes(60), LoadKind.DLMODEL)}
        for name, (data, kind) in files.items():
            (self.dir / name).write_bytes(data)
            try:
                root = self.reader.parse_any_file(self.dir / name, {"convert_json_arrays_to": "tuple"})
            except ixadapter.IxError:
                root = None
            self.assertEqual((name, self.reader.last_load_kind, root is None),
                             (name, kind, name.startswith(("model", "set.H"))))
        self.assertEqual(self.reader.parse_any_file(self.dir / "set.cfg").child(0).kind, NodeKind.CONTAINER)
        self.assertEqual(self.reader.parse_any_file(self.dir / "objects.bak").value_summary, "2 objects")
        lib = ixadapter.load_library()
        self.assertEqual((lib.ix_reader_last_load_kind(None),
                          lib.ix_reader_parse_any_file(self.reader._handle, None, None, 0)), (LoadKind.NONE, None))

    @needs_ixdump
    def test_ixdump_chooses_the_reader_by_content(self):
        # Which content calls for which load is the library's (the test above).
        (self.dir / "tri.data").write_bytes(PLY)
        for args in ([self.dir / "tri.data"], ["--as", "om3d", self.dir / "tri.data"]):
            result = run_ixdump(*args)
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertIn("  /num_points  ", result.stdout)


if __name__ == "__main__":
    unittest.main()
