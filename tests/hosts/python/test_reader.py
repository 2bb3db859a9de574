"""The reader handle and node functions as a foreign host sees them through ctypes."""

import contextlib
import io
import os
import re
import shutil
import tempfile
import unittest
from pathlib import Path

import ixadapter


class RawLibrary(unittest.TestCase):
    """Calls the exported functions directly, with the argument kinds a C host passes."""

    @classmethod
    def setUpClass(cls):
        cls.lib = ixadapter.load_library()

    def test_version_names_the_embedded_library(self):
        # Read as NUL-terminated UTF-32 text; the C host checks that its address is stable.
        text = self.lib.ix_adapter_halcon_version()
        self.assertTrue(text.startswith("20.11 (embedded "), text)

    def test_null_arguments_give_neutral_results(self):
        lib = self.lib
        # [the result, functions of a null node (or reader); those ending in _at also take index 0]
        neutral = [("", ("ix_reader_last_error", "ix_node_label", "ix_node_type_label", "ix_node_value_summary",
                         "ix_node_object_class", "ix_node_value_string_at", "ix_node_detail_line_at")),
                   (0, ("ix_node_kind", "ix_node_path_segment_kind", "ix_node_path_index", "ix_node_child_count",
                        "ix_node_value_count", "ix_node_total_count", "ix_node_truncated", "ix_node_is_image",
                        "ix_node_detail_line_count", "ix_node_detail_entry_count", "ix_node_value_type_at",
                        "ix_node_value_int_at", "ix_node_value_real_at")),
                   (1, ("ix_node_object_count",)), (None, ("ix_node_child_at",))]
        for result, names in neutral:
            for name in names:
                self.assertEqual(getattr(lib, name)(*((None, 0) if name.endswith("_at") else (None,))), result, name)
        lib.ix_reader_destroy(None)
        handle = lib.ix_reader_create()
        try:
            self.assertEqual([lib.ix_reader_parse_object_file(handle, None), lib.ix_reader_parse_object_file(None, "x"),
                              lib.ix_node_full_value_text(handle, None), lib.ix_node_full_value_text(None, None)],
                             [None, None, "", ""])
        finally:
            lib.ix_reader_destroy(handle)


class Binding(unittest.TestCase):
    """The Reader class of the Python binding."""

    def test_reader_life_cycle(self):
        with ixadapter.Reader() as reader:
            self.assertEqual(reader.last_error, "")
        with self.assertRaises(ixadapter.IxError):
            reader.last_error
        reader.close()  # closing twice is harmless

    def test_the_readme_example_runs_as_written_on_the_samples(self):
        root = Path(__file__).resolve().parents[3]
        code = re.search(r"## Using it from Python\n\n```python\n(.*?)```", (root / "README.md").read_text(), re.S)[1]
        with tempfile.TemporaryDirectory() as d, contextlib.redirect_stdout(io.StringIO()) as out:
            shutil.copytree(root / "samples", d, dirs_exist_ok=True)
            cwd = os.getcwd()
            os.chdir(d)
            try:
                exec(code, {})
            finally:
                os.chdir(cwd)
        self.assertIn("OBJECT\n/[0] Object 1 image", out.getvalue())


if __name__ == "__main__":
    unittest.main()
