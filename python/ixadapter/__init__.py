"""Python binding of ixadapter: open machine-vision data files and browse them as a tree.

    import ixadapter
    with ixadapter.Reader() as reader:
        root = reader.parse_object_file("scene.hobj")
        for child in root.children:
            print(child.label, child.type_label, child.value_summary)

The binding uses ctypes and the standard library only. It finds the shared library
through the argument of `load_library`, the environment variable IXADAPTER_LIBRARY,
the build trees next to this package, or the system's library path, in that order.

Nodes belong to the reader whose load produced them and are valid until its next
load; a stale node raises StaleNodeError instead of reading freed memory.

A failed load raises IxError with the reader's message. A path that holds a NUL
character raises ValueError, as `open` does: the library would read only the
part before it, which names another file. Texts of the library that hold code
units which are no Unicode character read with U+FFFD in their place.
"""

import ctypes
import ctypes.util
import enum
import os
import sys
from pathlib import Path

__all__ = [
    "IxError", "StaleNodeError", "NodeKind", "PathSegmentKind", "ValueType", "JsonParamKey",
    "IxJsonParam", "load_library", "version", "Reader", "Node",
]


class IxError(Exception):
    """A load or operation failed; the message is the reader's last error."""


class StaleNodeError(IxError):
    """The node's tree was replaced by a later load, or its reader was closed."""


class NodeKind(enum.IntEnum):
    CONTAINER = 0
    ARRAY = 1
    VALUE = 2
    OBJECT = 3


class PathSegmentKind(enum.IntEnum):
    NAME = 0
    INDEX = 1


class ValueType(enum.IntEnum):
    STRING = 0
    INTEGER = 1
    REAL = 2


class PixelFormat(enum.IntEnum):
    """The layout of extracted pixels (IxPixelFormat)."""
    GRAY = 0
    BGR = 1
    BGRA = 2


class JsonParamKey(enum.IntEnum):
    """The reading options of dictionary files (IxJsonParamKey)."""
    JSON_VALUE_TRUE = 0
    JSON_VALUE_FALSE = 1
    JSON_VALUE_NULL = 2
    CONVERT_JSON_ARRAYS_TO = 3


class IxJsonParam(ctypes.Structure):
    """One reading option as the library takes it: 32 bytes, only the field
    that `type` names is read. A str assigned to `text` is kept alive by the
    record itself."""
    _fields_ = [
        ("key", ctypes.c_uint32),
        ("type", ctypes.c_int32),
        ("text", ctypes.c_wchar_p),
        ("int_value", ctypes.c_int64),
        ("real_value", ctypes.c_double),
    ]


_OPTION_NAMES = {key.name.lower(): key for key in JsonParamKey}


def _json_params(options):
    """An IxJsonParam array of a mapping or a sequence of (key, value) pairs.

    Keys are option names ("json_value_null") or JsonParamKey values (any int
    that fits in 32 bits is passed on as it is); values are str, int (64-bit)
    or float."""
    pairs = list(options.items()) if hasattr(options, "items") else list(options)
    records = (IxJsonParam * len(pairs))()
    for record, (key, value) in zip(records, pairs):
        if isinstance(key, str):
            if key not in _OPTION_NAMES:
                raise ValueError(f"unknown reading option {key!r}; expected one of {', '.join(_OPTION_NAMES)}")
            key = _OPTION_NAMES[key]
        elif not isinstance(key, int) or isinstance(key, bool) or not 0 <= key <= 0xFFFFFFFF:
            raise ValueError(f"reading option key {key!r}: a name or an integer from 0 to 2**32-1")
        record.key = int(key)
        if isinstance(value, str):
            if "\0" in value:
                raise ValueError("embedded null character in option value")
            record.type, record.text = ValueType.STRING, value
        elif isinstance(value, int):
            if not -2**63 <= value < 2**63:
                raise ValueError(f"option {key!r}: {value} does not fit in 64 bits")
            record.type, record.int_value = ValueType.INTEGER, value
        elif isinstance(value, float):
            record.type, record.real_value = ValueType.REAL, value
        else:
            raise TypeError(f"option {key!r}: value must be str, int or float, not {type(value).__name__}")
    return records


_lib = None

_c_node = ctypes.c_void_p
_c_reader = ctypes.c_void_p
_TEXT = ctypes.c_wchar_p  # marks the functions that return a library text

# name: (result type, argument types)
_SIGNATURES = {
    "ix_reader_create": (_c_reader, []),
    "ix_reader_destroy": (None, [_c_reader]),
    "ix_reader_last_error": (_TEXT, [_c_reader]),
    "ix_adapter_halcon_version": (_TEXT, []),
    "ix_node_label": (_TEXT, [_c_node]),
    "ix_node_kind": (ctypes.c_int32, [_c_node]),
    "ix_node_type_label": (_TEXT, [_c_node]),
    "ix_node_value_summary": (_TEXT, [_c_node]),
    "ix_node_path_segment_kind": (ctypes.c_int32, [_c_node]),
    "ix_node_path_index": (ctypes.c_int32, [_c_node]),
    "ix_node_child_count": (ctypes.c_int32, [_c_node]),
    "ix_node_child_at": (_c_node, [_c_node, ctypes.c_int32]),
    "ix_node_value_count": (ctypes.c_int32, [_c_node]),
    "ix_node_total_count": (ctypes.c_int32, [_c_node]),
    "ix_node_truncated": (ctypes.c_int32, [_c_node]),
    "ix_node_value_type_at": (ctypes.c_int32, [_c_node, ctypes.c_int32]),
    "ix_node_value_string_at": (_TEXT, [_c_node, ctypes.c_int32]),
    "ix_node_value_int_at": (ctypes.c_int64, [_c_node, ctypes.c_int32]),
    "ix_node_value_real_at": (ctypes.c_double, [_c_node, ctypes.c_int32]),
    "ix_node_full_value_text": (_TEXT, [_c_reader, _c_node]),
    "ix_node_object_class": (_TEXT, [_c_node]),
    "ix_node_is_image": (ctypes.c_int32, [_c_node]),
    "ix_node_object_count": (ctypes.c_int32, [_c_node]),
    "ix_node_detail_line_count": (ctypes.c_int32, [_c_node]),
    "ix_node_detail_line_at": (_TEXT, [_c_node, ctypes.c_int32]),
    "ix_node_detail_entry_count": (ctypes.c_int32, [_c_node]),
}

# Functions a library of this version may lack; bound when it has them.
_OPTIONAL_SIGNATURES = {
    "ix_reader_parse_file_with_options": (
        _c_node, [_c_reader, ctypes.c_wchar_p, ctypes.POINTER(IxJsonParam), ctypes.c_int32]),
    "ix_reader_convert_dict_file": (
        ctypes.c_int32, [_c_reader, ctypes.c_wchar_p, ctypes.c_wchar_p, ctypes.c_int32]),
    "ix_extract_image": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32] + [ctypes.POINTER(ctypes.c_int32)] * 4
        + [ctypes.POINTER(ctypes.POINTER(ctypes.c_uint8))]),
    "ix_node_image_channel_count": (ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32]),
    "ix_free_buffer": (None, [ctypes.POINTER(ctypes.c_uint8)]),
    "ix_free_int_buffer": (None, [ctypes.POINTER(ctypes.c_int32)]),
    "ix_free_double_buffer": (None, [ctypes.POINTER(ctypes.c_double)]),
    "ix_extract_region_runs": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32] + [ctypes.POINTER(ctypes.POINTER(ctypes.c_int32))] * 3
        + [ctypes.POINTER(ctypes.c_int32)]),
    "ix_extract_contour_points": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32] + [ctypes.POINTER(ctypes.POINTER(ctypes.c_double))] * 2
        + [ctypes.POINTER(ctypes.c_int32)]),
    "ix_extract_polygon_points": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32] + [ctypes.POINTER(ctypes.POINTER(ctypes.c_double))] * 2
        + [ctypes.POINTER(ctypes.c_int32)]),
    "ix_extract_parallel_lines": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32]
        + ([ctypes.POINTER(ctypes.POINTER(ctypes.c_double))] * 2 + [ctypes.POINTER(ctypes.c_int32)]) * 2),
    "ix_save_object_as": (ctypes.c_int32, [_c_reader, _c_node, ctypes.c_wchar_p]),
    "ix_save_objects_as": (ctypes.c_int32, [_c_reader, ctypes.POINTER(_c_node), ctypes.c_int32, ctypes.c_wchar_p]),
}

_libc = ctypes.CDLL(None)
_libc.wcslen.restype = ctypes.c_size_t
_libc.wcslen.argtypes = [ctypes.c_void_p]
_UTF32 = "utf-32-le" if sys.byteorder == "little" else "utf-32-be"


def _text(result, func=None, args=None):
    """A NUL-terminated wide text of the library as str, whatever code units it holds."""
    if not result:
        return ""
    return ctypes.string_at(result, 4 * _libc.wcslen(result)).decode(_UTF32, errors="replace")


# Load functions: (handle, path) -> root node or null. Bound when the library has them.
_LOADERS = {
    "object": "ix_reader_parse_object_file",
    "dict": "ix_reader_parse_file",
    "dlmodel": "ix_reader_parse_dl_model_file",
    "om3d": "ix_reader_parse_object_model_3d_file",
}


def _candidates():
    env = os.environ.get("IXADAPTER_LIBRARY")
    if env:
        yield env
        return
    root = Path(__file__).resolve().parent.parent.parent
    for tree in ("build/release", "build/asan", "build"):
        yield str(root / tree / "libixadapter.so")
    found = ctypes.util.find_library("ixadapter")
    if found:
        yield found


def load_library(path=None):
    """Loads the shared library once per process and returns it."""
    global _lib
    if _lib is not None:
        return _lib
    paths = [path] if path else list(_candidates())
    errors = []
    for candidate in paths:
        if not candidate:
            continue
        try:
            lib = ctypes.CDLL(candidate)
            break
        except OSError as e:
            errors.append(f"{candidate}: {e}")
    else:
        raise IxError("libixadapter.so not found; set IXADAPTER_LIBRARY (" + "; ".join(errors) + ")")
    for name, (restype, argtypes) in _SIGNATURES.items():
        fn = getattr(lib, name)
        fn.argtypes = argtypes
        if restype is _TEXT:
            # ctypes' own conversion raises ValueError on a code unit above U+10FFFF.
            fn.restype = ctypes.c_void_p
            fn.errcheck = _text
        else:
            fn.restype = restype
    for name in _LOADERS.values():
        if hasattr(lib, name):
            fn = getattr(lib, name)
            fn.restype = _c_node
            fn.argtypes = [_c_reader, ctypes.c_wchar_p]
    for name, (restype, argtypes) in _OPTIONAL_SIGNATURES.items():
        if hasattr(lib, name):
            fn = getattr(lib, name)
            fn.restype, fn.argtypes = restype, argtypes
    _lib = lib
    return lib


def version():
    """The version text of the vision library behind ixadapter."""
    return load_library().ix_adapter_halcon_version()


class Reader:
    """One reader handle: loads files and owns the tree of its last load."""

    def __init__(self):
        self._lib = load_library()
        self._handle = self._lib.ix_reader_create()
        if not self._handle:
            raise MemoryError("ix_reader_create failed")
        self._generation = 0

    def close(self):
        if self._handle:
            self._lib.ix_reader_destroy(self._handle)
            self._handle = None
            self._generation += 1

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    @property
    def last_error(self):
        return self._lib.ix_reader_last_error(self._require())

    def _require(self):
        if not self._handle:
            raise IxError("the reader is closed")
        return self._handle

    def _function(self, name):
        if not hasattr(self._lib, name):
            raise IxError(f"this library has no {name}")
        return getattr(self._lib, name)

    @staticmethod
    def _path(path):
        path = os.fsdecode(path)
        if "\0" in path:
            raise ValueError("embedded null character in path")
        return path

    def _load(self, kind, path, *extra, name=None):
        fn = self._function(name or _LOADERS[kind])
        path = self._path(path)
        handle = self._require()
        self._generation += 1  # the previous tree is gone whatever the outcome
        root = fn(handle, path, *extra)
        if not root:
            raise IxError(self._lib.ix_reader_last_error(handle))
        return Node(self, root)

    def parse_object_file(self, path):
        """Loads an object, image or sequence file; returns the root node."""
        return self._load("object", path)

    def parse_file(self, path, options=None):
        """Loads a dictionary file; returns the root node.

        `options` sets reading options: a mapping or a sequence of (key, value)
        pairs, keys as names ("json_value_null", "convert_json_arrays_to", ...)
        or JsonParamKey values, values str, int or float."""
        if options is None:
            return self._load("dict", path)
        records = _json_params(options)
        return self._load("dict", path, records, len(records), name="ix_reader_parse_file_with_options")

    def convert_dict_file(self, input, output, ignore_non_serializable=False):
        """Converts the dictionary file `input` into `output` (JSON when it ends
        in .json, else the binary format). Raises IxError on failure; the
        reader's tree is not touched."""
        fn = self._function("ix_reader_convert_dict_file")
        input, output = self._path(input), self._path(output)
        handle = self._require()
        if not fn(handle, input, output, 1 if ignore_non_serializable else 0):
            raise IxError(self._lib.ix_reader_last_error(handle))

    def _own(self, node):
        if not isinstance(node, Node) or node._reader is not self:
            raise ValueError("the node does not belong to this reader")
        return node._p()

    def save_object_as(self, node, path):
        """Writes all objects of an Object node to `path`, the writer chosen by
        its suffix: .hobj an object file, .dxf a DXF file of the contours or
        polygons, any other suffix an image file of that format. Raises IxError
        with the library's message on failure, or when the node holds no
        iconic objects."""
        fn = self._function("ix_save_object_as")
        node_ptr, path = self._own(node), self._path(path)
        handle = self._require()
        if not fn(handle, node_ptr, path):
            raise IxError(self._lib.ix_reader_last_error(handle) or "the node holds no iconic objects")

    def save_objects_as(self, nodes, path):
        """Writes the objects of `nodes`, in order, to one object file at
        `path`, whatever its suffix. Nodes after the first that hold no iconic
        objects are skipped; raises IxError when there is no node or the first
        holds none, and with the library's message when writing fails."""
        fn = self._function("ix_save_objects_as")
        pointers = [self._own(node) for node in nodes]
        path = self._path(path)
        handle = self._require()
        if not pointers:
            raise IxError("no nodes to save")
        array = (_c_node * len(pointers))(*pointers)
        if not fn(handle, array, len(pointers), path):
            raise IxError(self._lib.ix_reader_last_error(handle) or "the first node holds no iconic objects")

    def parse_dl_model_file(self, path):
        """Loads a deep-learning model file; returns the root node."""
        return self._load("dlmodel", path)

    def parse_object_model_3d_file(self, path):
        """Loads a 3D object model file; returns the root node."""
        return self._load("om3d", path)


class Node:
    """A node of a reader's tree, valid until the reader's next load."""

    __slots__ = ("_reader", "_ptr", "_generation")

    def __init__(self, reader, ptr):
        self._reader = reader
        self._ptr = ptr
        self._generation = reader._generation

    def _p(self):
        if self._generation != self._reader._generation or not self._reader._handle:
            raise StaleNodeError("the node's tree was replaced or its reader closed")
        return self._ptr

    @property
    def _lib(self):
        return self._reader._lib

    @property
    def label(self):
        return self._lib.ix_node_label(self._p())

    @property
    def kind(self):
        return NodeKind(self._lib.ix_node_kind(self._p()))

    @property
    def type_label(self):
        return self._lib.ix_node_type_label(self._p())

    @property
    def value_summary(self):
        return self._lib.ix_node_value_summary(self._p())

    @property
    def path_segment_kind(self):
        return PathSegmentKind(self._lib.ix_node_path_segment_kind(self._p()))

    @property
    def path_index(self):
        return self._lib.ix_node_path_index(self._p())

    @property
    def path_segment(self):
        """'/label' or '/[index]', the way ixdump addresses the node in its parent."""
        if self.path_segment_kind == PathSegmentKind.INDEX:
            return f"/[{self.path_index}]"
        return "/" + self.label

    @property
    def child_count(self):
        return self._lib.ix_node_child_count(self._p())

    def child(self, index):
        ptr = self._lib.ix_node_child_at(self._p(), index)
        if not ptr:
            raise IndexError(index)
        return Node(self._reader, ptr)

    @property
    def children(self):
        return [self.child(i) for i in range(self.child_count)]

    @property
    def value_count(self):
        return self._lib.ix_node_value_count(self._p())

    @property
    def total_count(self):
        return self._lib.ix_node_total_count(self._p())

    @property
    def truncated(self):
        return bool(self._lib.ix_node_truncated(self._p()))

    def value(self, index):
        """The value at `index` as str, int or float."""
        p = self._p()
        kind = self._lib.ix_node_value_type_at(p, index)
        if kind == ValueType.INTEGER:
            return self._lib.ix_node_value_int_at(p, index)
        if kind == ValueType.REAL:
            return self._lib.ix_node_value_real_at(p, index)
        return self._lib.ix_node_value_string_at(p, index)

    @property
    def values(self):
        return [self.value(i) for i in range(self.value_count)]

    @property
    def full_value_text(self):
        return self._lib.ix_node_full_value_text(self._reader._require(), self._p())

    def extract_image(self, index=0):
        """(width, height, row_bytes, PixelFormat, bytes) of image `index` of
        this node; the library's buffer is copied and released at once. Raises
        IxError when there is no image to extract."""
        lib, reader = self._lib, self._reader._require()
        width, height, row_bytes, pixel_format = (ctypes.c_int32() for _ in range(4))
        pixels = ctypes.POINTER(ctypes.c_uint8)()
        if not lib.ix_extract_image(reader, self._p(), index, ctypes.byref(width), ctypes.byref(height),
                                    ctypes.byref(row_bytes), ctypes.byref(pixel_format), ctypes.byref(pixels)):
            raise IxError(self._reader.last_error or f"no image to extract at index {index}")
        try:
            data = ctypes.string_at(pixels, height.value * row_bytes.value)
        finally:
            lib.ix_free_buffer(pixels)
        return width.value, height.value, row_bytes.value, PixelFormat(pixel_format.value), data

    def _geometry(self, name, element, groups, index):
        """Calls an ix_extract_ function whose outputs are `groups` of arrays,
        each group followed by its count; returns one tuple of lists per group
        and releases every array."""
        lib, reader = self._lib, self._reader._require()
        free = lib.ix_free_int_buffer if element is ctypes.c_int32 else lib.ix_free_double_buffer
        arrays = [[ctypes.POINTER(element)() for _ in range(size)] for size in groups]
        counts = [ctypes.c_int32() for _ in groups]
        args = []
        for group, count in zip(arrays, counts):
            args += [ctypes.byref(a) for a in group] + [ctypes.byref(count)]
        ok = getattr(lib, name)(reader, self._p(), index, *args)
        try:
            if not ok:
                raise IxError(self._reader.last_error or f"no geometry to extract at index {index}")
            return [tuple(a[:c.value] for a in group) for group, c in zip(arrays, counts)]
        finally:
            for group in arrays:
                for a in group:
                    free(a)

    def region_runs(self, index=0):
        """(rows, first columns, last columns) of region `index`."""
        return self._geometry("ix_extract_region_runs", ctypes.c_int32, [3], index)[0]

    def contour_points(self, index=0):
        """(rows, columns) of contour `index`."""
        return self._geometry("ix_extract_contour_points", ctypes.c_double, [2], index)[0]

    def polygon_points(self, index=0):
        """(rows, columns) of polygon `index`."""
        return self._geometry("ix_extract_polygon_points", ctypes.c_double, [2], index)[0]

    def parallel_lines(self, index=0):
        """((rows, columns), (rows, columns)): the two lines of parallel `index`."""
        first, second = self._geometry("ix_extract_parallel_lines", ctypes.c_double, [2, 2], index)
        return first, second

    def image_channel_count(self, index=0):
        """The channel count of image `index`, or -1."""
        return self._lib.ix_node_image_channel_count(self._reader._require(), self._p(), index)

    @property
    def object_class(self):
        return self._lib.ix_node_object_class(self._p())

    @property
    def is_image(self):
        return bool(self._lib.ix_node_is_image(self._p()))

    @property
    def object_count(self):
        return self._lib.ix_node_object_count(self._p())

    @property
    def detail_lines(self):
        p = self._p()
        return [self._lib.ix_node_detail_line_at(p, i) for i in range(self._lib.ix_node_detail_line_count(p))]

    @property
    def detail_entry_count(self):
        return self._lib.ix_node_detail_entry_count(self._p())

    def __repr__(self):
        return f"<Node {self.label!r} {self.type_label} {self.value_summary!r}>"
