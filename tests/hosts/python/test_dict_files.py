"""Dictionary files loaded and converted by a foreign host: reading options as
IxJsonParam records built with ctypes, conversion between JSON and the binary
format, and ixdump's --option and --convert."""

import ctypes
import json
import unittest

import ixadapter
from ixadapter import IxJsonParam, NodeKind, PathSegmentKind, ValueType

from host_samples import ReaderCase, needs_ixdump, run_ixdump, samples

DOCUMENT = {"flag": True, "none": None, "list": [1, 2.5, "x"], "inner": {"k": "v\u00e9"}}


def outline(node):
    """Every node's path, type and summary, depth first."""
    lines = []

    def walk(n):
        lines.append((n.path, n.type_label, n.value_summary))
        for child in n.children:
            walk(child)

    walk(node)
    return lines


class DictFiles(ReaderCase):
    def setUp(self):
        super().setUp()
        self.root, self.lib = self.dir, self.reader._lib
        self.json_path = self.root / "doc.json"
        self.json_path.write_text(json.dumps(DOCUMENT), encoding="utf-8")

    def raw_load(self, params, count):
        """ix_reader_parse_file_with_options called as a C host would; the root or the error."""
        self.reader._generation += 1
        root = self.lib.ix_reader_parse_file_with_options(self.reader._handle, str(self.json_path), params, count)
        return ixadapter.Node(self.reader, root) if root else "error: " + self.reader.last_error

    def test_default_reading_and_options_from_mappings_and_pairs(self):
        root = self.reader.parse_file(self.json_path)
        self.assertEqual((root.kind, root.type_label, root.value_summary, root.label),
                         (NodeKind.CONTAINER, "dict", "4 keys", ""))
        self.assertEqual((root.path_segment_kind, root.path_index), (PathSegmentKind.NAME, 0))
        self.assertEqual((root.child(0).values, root.child(2).type_label), ([1], "dict"))  # an array by default

        root = self.reader.parse_file(self.json_path, {"json_value_true": "yes", "json_value_null": 0.25,
                                                       "convert_json_arrays_to": "tuple"})
        flag, none, array, _ = root.children
        self.assertEqual((flag.values, none.values), (["yes"], [0.25]))
        self.assertEqual((array.kind, array.type_label, array.value_summary),
                         (NodeKind.VALUE, "tuple[3]", "[1, 2.5, 'x']"))
        root = self.reader.parse_file(self.json_path, [(ixadapter.JsonParamKey.JSON_VALUE_FALSE, 0),
                                                       (int(ixadapter.JsonParamKey.JSON_VALUE_TRUE), 7)])
        self.assertEqual(root.child(0).values, [7])
        with self.assertRaises(TypeError):
            self.reader.parse_file(self.json_path, {"json_value_true": [1]})
        # An unknown name; nothing is cut to fit a record's field.
        for options in ({"json_value_maybe": 1}, {"json_value_true": 2**64 + 5}, {"json_value_true": -2**63 - 1},
                        {2**32: 1}, {1.7: 1}, {-1: 1}):
            with self.assertRaises(ValueError):
                self.reader.parse_file(self.json_path, options)

    def test_hostile_keys_give_every_node_one_path_that_names_it(self):
        one, path = samples.integers([1]), self.root / "keys.hdict"
        keys = [7, "7", "a\0b", "a\0c", b"x\xffy", b"x\xfey", b"\xc0\xaf", "%", "/", "", "%i7", 8, "\u00e9"]
        inner = samples.mixed([samples.nested_dict([(3, one), ("3", one), ("a/b", one)])])
        path.write_bytes(samples.dict_file([(k, one) for k in keys] + [("in", inner)]))
        nodes = outline(self.reader.parse_file(path))
        self.assertEqual([p for p, _, _ in nodes], [
            "/", "/%i7", "/7", "/a%00b", "/a%00c", "/x%FFy", "/x%FEy", "/%C0%AF", "/%25", "/%2F", "/%", "/%25i7",
            "/8", "/\u00e9", "/in", "/in/%i3", "/in/3", "/in/a%2Fb"])
        for p, _, _ in nodes:
            self.assertEqual(self.reader.node_at(p).path_segment, p.rsplit("/", 1)[1])
        self.assertEqual(self.reader.node_at("/%i7").type_label, "integer")
        for missing in ("/%i8", "/a", "/%7", "/in/", "//", "7", "/%41", "/x\xffy", "/in/3/[0]"):
            with self.assertRaises(KeyError, msg=missing):
                self.reader.node_at(missing)

    def test_raw_records_null_text_unknown_type_and_empty_lists(self):
        self.assertEqual((ctypes.sizeof(IxJsonParam), IxJsonParam.real_value.offset), (32, 24))
        plain = self.reader.parse_file(self.json_path).value_summary
        # No records, a null array or a count below 1: the default reading.
        records = (IxJsonParam * 1)()
        records[0].key, records[0].type, records[0].text = 0, ValueType.STRING, "ignored"
        for params, count in ((None, 0), (None, 3), (records, 0), (records, -1)):
            self.assertEqual(self.raw_load(params, count).value_summary, plain)

        # A String record with a null text passes the empty string.
        records[0].text = None
        root = self.raw_load(records, 1)
        self.assertEqual((root.value_summary, root.child(0).values), (plain, [""]))

        # A type that is none of the three passes a name without a value, an
        # unknown key the empty name: the reading refuses both with its message,
        # and a value never goes to the option of another record.
        pair = (IxJsonParam * 2)()
        pair[0].key, pair[0].type = 0, 9
        pair[1].key, pair[1].type, pair[1].int_value = 2, ValueType.INTEGER, 5
        self.assertIn("2 parameter names but 1 values", self.raw_load(pair, 2))
        records[0].key, records[0].type, records[0].int_value = 77, ValueType.INTEGER, 1
        self.assertIn("unknown parameter ''", self.raw_load(records, 1))

    def test_a_rejected_file_leaves_the_librarys_message(self):
        # Stale nodes after a failed load are the object files' test.
        broken = self.root / "broken.json"
        broken.write_text('{"a": [1, 2,')
        for options in (None, []):
            with self.assertRaisesRegex(ixadapter.IxError, "^Invalid JSON: ") as caught:
                self.reader.parse_file(broken, options)
            self.assertEqual(self.reader.last_error, str(caught.exception))

    def test_conversion_round_trips_and_leaves_the_tree_alone(self):
        before = outline(self.reader.parse_file(self.json_path))
        node = self.reader.parse_file(self.json_path).child(3)
        binary, again = self.root / "doc.hdict", self.root / "again.JSON"
        self.reader.convert_dict_file(self.json_path, binary)
        self.reader.convert_dict_file(binary, again, ignore_non_serializable=True)
        self.assertEqual(node.child(0).values, ["v\u00e9"])  # still valid after converting
        self.assertEqual(json.loads(again.read_text(encoding="utf-8")), DOCUMENT)
        self.assertEqual(outline(self.reader.parse_file(binary)), before)

        with self.assertRaisesRegex(ixadapter.IxError, "^File not found$"):
            self.reader.convert_dict_file(self.root / "missing.json", self.root / "out.json")
        self.assertFalse((self.root / "out.json").exists())
        # Null arguments return 0 and leave the last error as it was.
        self.assertEqual(self.lib.ix_reader_convert_dict_file(self.reader._handle, str(binary), None, 0), 0)
        self.assertEqual(self.lib.ix_reader_convert_dict_file(None, str(binary), str(again), 0), 0)
        self.assertEqual(self.reader.last_error, "File not found")


@needs_ixdump
class IxdumpDictFiles(ReaderCase):
    def test_options_full_text_and_conversion(self):
        source = self.dir / "doc.json"
        source.write_text(json.dumps(DOCUMENT))
        result = run_ixdump("--option", "convert_json_arrays_to=tuple", "--option", "json_value_true=7",
                            "--option", "json_value_null=1e-3", source)
        self.assertEqual(result.returncode, 0, result.stderr)
        for line in ("  /flag  integer  7", "  /none  real  0.001", "  /list  tuple[3]  [1, 2.5, 'x']"):
            self.assertIn(line, result.stdout.splitlines())
        full = run_ixdump("--option", "convert_json_arrays_to=tuple", "--full", "/list", source)
        self.assertEqual(full.stdout, "[1, 2.5, 'x']\n")
        self.assertEqual(run_ixdump("--option", "json_value_maybe=1", source).returncode, 2)

        converted = self.dir / "doc.hdict"
        result = run_ixdump("--convert", source, converted)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        result = run_ixdump("--convert", converted, self.dir / "back.json", "--ignore-non-serializable")
        self.assertEqual(json.loads((self.dir / "back.json").read_text()), DOCUMENT)
        # A reading option is not silently dropped from a conversion.
        result = run_ixdump("--option", "convert_json_arrays_to=tuple", "--convert", source, self.dir / "t.json")
        self.assertEqual((result.returncode, (self.dir / "t.json").exists()), (2, False))
        result = run_ixdump("--convert", self.dir / "missing.json", self.dir / "x.json")
        self.assertEqual((result.returncode, result.stderr.rstrip().endswith("missing.json: File not found")),
                         (1, True), result.stderr)

if __name__ == "__main__":
    unittest.main()
