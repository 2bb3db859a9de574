"""Python binding of ixadapter: open machine-vision data files and browse them as a tree.

    import ixadapter
    with ixadapter.Reader() as reader:
        root = reader.parse_object_file("scene.hobj")
        for child in root.children:
            print(child.label, child.type_label, child.value_summary)

The binding uses ctypes and the standard library; NumPy, when it is installed, gives
image values, domain runs and 3D model data as arrays (one copy of the library's
buffer each). It finds the shared library through the argument of `load_library`,
the environment variable IXADAPTER_LIBRARY, the build trees next to this package,
the install prefix this package was installed under (as `cmake --install` and
`pip install ./python` with one prefix lay them out), or the system's library
path, in that order.

Nodes belong to the reader whose load produced them and are valid until its next
load; a stale node raises StaleNodeError instead of reading freed memory.

A failed load raises IxError with the reader's message. A path that holds a NUL
character raises ValueError, as `open` does: the library would read only the
part before it, which names another file. Texts of the library that hold code
units which are no Unicode character read with U+FFFD in their place.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import enum
import os
import sys
from pathlib import Path
from typing import Any, Iterable, Iterator, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

try:
    import numpy as _np
except ImportError:  # the binding works without it
    _np = None

__all__ = [
    "IxError", "StaleNodeError", "NodeKind", "PathSegmentKind", "ValueType", "JsonParamKey", "PixelFormat",
    "LoadKind", "PixelType", "ImageInfo", "IxJsonParam", "IxImageInfo", "load_library", "version", "Reader", "Node",
]

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Options = Union[Mapping[Any, Union[str, int, float]], Iterable[Tuple[Any, Union[str, int, float]]]]


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


class LoadKind(enum.IntEnum):
    """Which load read a file (IxLoadKind, Reader.last_load_kind)."""
    NONE = 0
    OBJECT = 1
    DICT = 2
    DLMODEL = 3
    OM3D = 4


class PixelType(enum.IntEnum):
    """An image's own pixel type (IxPixelType)."""
    NONE = 0
    BYTE = 1
    INT1 = 2
    UINT2 = 3
    INT2 = 4
    INT4 = 5
    INT8 = 6
    REAL = 7
    COMPLEX = 8
    DIRECTION = 9
    CYCLIC = 10
    VECTOR_FIELD = 11


# The NumPy type and the struct/memoryview format of one value of each pixel
# type; a complex value is two floats.
_VALUE_FORMATS = {
    PixelType.BYTE: ("u1", "B"), PixelType.INT1: ("i1", "b"), PixelType.UINT2: ("=u2", "H"),
    PixelType.INT2: ("=i2", "h"), PixelType.INT4: ("=i4", "i"), PixelType.INT8: ("=i8", "q"),
    PixelType.REAL: ("=f4", "f"), PixelType.COMPLEX: ("=c8", "f"), PixelType.DIRECTION: ("u1", "B"),
    PixelType.CYCLIC: ("u1", "B"),
}


class ImageInfo(NamedTuple):
    """What an image is in its own pixel type (Node.image_info)."""
    pixel_type: PixelType
    width: int
    height: int
    channels: int
    bytes_per_value: int
    domain_is_full: bool


class IxImageInfo(ctypes.Structure):
    """The library's image description: 24 bytes."""
    _fields_ = [(name, ctypes.c_int32) for name in
                ("pixel_type", "width", "height", "channels", "bytes_per_value", "domain_is_full")]


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
    "ix_node_path_segment": (_TEXT, [_c_node]),
    "ix_node_at_path": (_c_node, [_c_node, ctypes.c_wchar_p]),
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
    "ix_reader_parse_any_file": (
        _c_node, [_c_reader, ctypes.c_wchar_p, ctypes.POINTER(IxJsonParam), ctypes.c_int32]),
    "ix_reader_last_load_kind": (ctypes.c_int32, [_c_reader]),
    "ix_image_info": (ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32, ctypes.POINTER(IxImageInfo)]),
    "ix_extract_image_values": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32, ctypes.POINTER(IxImageInfo),
                         ctypes.POINTER(ctypes.POINTER(ctypes.c_uint8))]),
    "ix_extract_image_domain_runs": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.c_int32] + [ctypes.POINTER(ctypes.POINTER(ctypes.c_int32))] * 3
        + [ctypes.POINTER(ctypes.c_int32)]),
    "ix_free_float_buffer": (None, [ctypes.POINTER(ctypes.c_float)]),
    "ix_extract_model_points": (
        ctypes.c_int32, [_c_reader, _c_node] + [ctypes.POINTER(ctypes.POINTER(ctypes.c_float))] * 2
        + [ctypes.POINTER(ctypes.c_int32)]),
    "ix_extract_model_faces": (
        ctypes.c_int32, [_c_reader, _c_node, ctypes.POINTER(ctypes.POINTER(ctypes.c_int32)),
                         ctypes.POINTER(ctypes.c_int32)] + [ctypes.POINTER(ctypes.POINTER(ctypes.c_int32))] * 2
        + [ctypes.POINTER(ctypes.c_int32)]),
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


def _candidates() -> Iterator[str]:
    env = os.environ.get("IXADAPTER_LIBRARY")
    if env:
        yield env
        return
    package = Path(__file__).resolve().parent
    for tree in ("build/release", "build/asan", "build"):
        yield str(package.parent.parent / tree / "libixadapter.so")
    # Installed: the package in PREFIX/lib/pythonX.Y/site-packages, the library
    # in PREFIX's library folder (lib, lib64 or lib/<multiarch>).
    multiarch = getattr(sys.implementation, "_multiarch", "")
    prefixes = list(package.parents[3:4]) + [Path(sys.prefix), Path(sys.base_prefix), Path("/usr/local")]
    for prefix in dict.fromkeys(prefixes):
        for libdir in ("lib", "lib64", f"lib/{multiarch}" if multiarch else "lib"):
            yield str(prefix / libdir / "libixadapter.so")
    found = ctypes.util.find_library("ixadapter")
    if found:
        yield found


def load_library(path: Optional[PathLike] = None) -> ctypes.CDLL:
    """Loads the shared library once per process and returns it."""
    global _lib
    if _lib is not None:
        return _lib
    paths = [os.fsdecode(path)] if path else list(dict.fromkeys(_candidates()))
    errors = []
    for candidate in paths:
        if not candidate:
            continue
        if os.sep in candidate and not os.path.exists(candidate):
            errors.append(f"{candidate}: no such file")
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


def version() -> str:
    """The version text of the vision library behind ixadapter."""
    return load_library().ix_adapter_halcon_version()


def _buffer(pointer, size: int):
    """The `size` bytes at a library pointer, as a ctypes array (no copy)."""
    return (ctypes.c_uint8 * size).from_address(ctypes.addressof(pointer.contents)) if size else b""


def _float_triples(pointer, count: int):
    if _np is not None:
        return _np.frombuffer(_buffer(pointer, 12 * count), dtype="=f4").reshape(count, 3).copy()
    flat = pointer[:3 * count]
    return tuple(tuple(flat[i:i + 3]) for i in range(0, len(flat), 3))


def _image_info(info: IxImageInfo) -> ImageInfo:
    return ImageInfo(PixelType(info.pixel_type), info.width, info.height, info.channels, info.bytes_per_value,
                     bool(info.domain_is_full))


class Reader:
    """One reader handle: loads files and owns the tree of its last load."""

    def __init__(self):
        self._lib = load_library()
        self._handle = self._lib.ix_reader_create()
        if not self._handle:
            raise MemoryError("ix_reader_create failed")
        self._generation = 0
        self._root: Optional[Node] = None

    def close(self) -> None:
        if self._handle:
            self._lib.ix_reader_destroy(self._handle)
            self._handle = None
            self._generation += 1

    def __enter__(self) -> Reader:
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    @property
    def last_error(self) -> str:
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
        self._root = None
        root = fn(handle, path, *extra)
        if not root:
            raise IxError(self._lib.ix_reader_last_error(handle))
        self._root = Node(self, root, "/")
        return self._root

    def node_at(self, path: str) -> Node:
        """The node of the last load's tree at `path` ("/", "/key/[3]", as
        Node.path gives it); KeyError when no node has that path."""
        found = None
        if self._root is not None and "\0" not in path:
            found = self._lib.ix_node_at_path(self._root._p(), path)
        if not found:
            raise KeyError(path)
        return Node(self, found, path if path.startswith("/") else "/")

    def parse_object_file(self, path: PathLike) -> Node:
        """Loads an object, image or sequence file; returns the root node."""
        return self._load("object", path)

    def parse_any_file(self, path: PathLike, options: Optional[Options] = None) -> Node:
        """Loads any file the library reads with the load its content calls
        for (the suffix only where the content cannot tell); `options` are
        passed to a dictionary file's reading as in parse_file. The load it
        chose is `last_load_kind` afterwards."""
        records = _json_params(options or ())
        return self._load(None, path, records, len(records), name="ix_reader_parse_any_file")

    @property
    def last_load_kind(self) -> LoadKind:
        """Which load the last load ran (for parse_any_file: the one it chose), failed or not."""
        return LoadKind(self._function("ix_reader_last_load_kind")(self._require()))

    def parse_file(self, path: PathLike, options: Optional[Options] = None) -> Node:
        """Loads a dictionary file; returns the root node.

        `options` sets reading options: a mapping or a sequence of (key, value)
        pairs, keys as names ("json_value_null", "convert_json_arrays_to", ...)
        or JsonParamKey values, values str, int or float."""
        if options is None:
            return self._load("dict", path)
        records = _json_params(options)
        return self._load("dict", path, records, len(records), name="ix_reader_parse_file_with_options")

    def convert_dict_file(self, input: PathLike, output: PathLike, ignore_non_serializable: bool = False) -> None:
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

    def save_object_as(self, node: Node, path: PathLike) -> None:
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

    def save_objects_as(self, nodes: Sequence[Node], path: PathLike) -> None:
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

    def parse_dl_model_file(self, path: PathLike) -> Node:
        """Loads a deep-learning model file; returns the root node."""
        return self._load("dlmodel", path)

    def parse_object_model_3d_file(self, path: PathLike) -> Node:
        """Loads a 3D object model file; returns the root node."""
        return self._load("om3d", path)


class Node:
    """A node of a reader's tree, valid until the reader's next load."""

    __slots__ = ("_reader", "_ptr", "_generation", "_path")

    def __init__(self, reader, ptr, path=None):
        self._reader = reader
        self._ptr = ptr
        self._generation = reader._generation
        self._path = path

    def _p(self):
        if self._generation != self._reader._generation or not self._reader._handle:
            raise StaleNodeError("the node's tree was replaced or its reader closed")
        return self._ptr

    @property
    def _lib(self):
        return self._reader._lib

    @property
    def label(self) -> str:
        return self._lib.ix_node_label(self._p())

    @property
    def kind(self) -> NodeKind:
        return NodeKind(self._lib.ix_node_kind(self._p()))

    @property
    def type_label(self) -> str:
        return self._lib.ix_node_type_label(self._p())

    @property
    def value_summary(self) -> str:
        return self._lib.ix_node_value_summary(self._p())

    @property
    def path_segment_kind(self) -> PathSegmentKind:
        return PathSegmentKind(self._lib.ix_node_path_segment_kind(self._p()))

    @property
    def path_index(self) -> int:
        return self._lib.ix_node_path_index(self._p())

    @property
    def path_segment(self) -> str:
        """The node's escaped segment inside its parent ("[3]", "key", "a%2Fb"); '' on roots."""
        return self._lib.ix_node_path_segment(self._p())

    @property
    def path(self) -> Optional[str]:
        """The node's path from the root ("/", "/key/[3]") when it was reached
        from a root (children, child, Reader.node_at), else None."""
        return self._path

    @property
    def child_count(self) -> int:
        return self._lib.ix_node_child_count(self._p())

    def child(self, index: int) -> "Node":
        ptr = self._lib.ix_node_child_at(self._p(), index)
        if not ptr:
            raise IndexError(index)
        path = None
        if self._path is not None:
            path = (self._path if self._path == "/" else self._path + "/") + self._lib.ix_node_path_segment(ptr)
        return Node(self._reader, ptr, path)

    @property
    def children(self) -> list[Node]:
        return [self.child(i) for i in range(self.child_count)]

    @property
    def value_count(self) -> int:
        return self._lib.ix_node_value_count(self._p())

    @property
    def total_count(self) -> int:
        return self._lib.ix_node_total_count(self._p())

    @property
    def truncated(self) -> bool:
        return bool(self._lib.ix_node_truncated(self._p()))

    def value_type(self, index: int) -> ValueType:
        """Which field carries the value at `index` (STRING for a bad index)."""
        return ValueType(self._lib.ix_node_value_type_at(self._p(), index))

    def value(self, index: int) -> Union[str, int, float]:
        """The value at `index` as str, int or float."""
        p = self._p()
        kind = self._lib.ix_node_value_type_at(p, index)
        if kind == ValueType.INTEGER:
            return self._lib.ix_node_value_int_at(p, index)
        if kind == ValueType.REAL:
            return self._lib.ix_node_value_real_at(p, index)
        return self._lib.ix_node_value_string_at(p, index)

    @property
    def values(self) -> list:
        return [self.value(i) for i in range(self.value_count)]

    @property
    def full_value_text(self) -> str:
        return self._lib.ix_node_full_value_text(self._reader._require(), self._p())

    def extract_image(self, index: int = 0) -> Tuple[int, int, int, PixelFormat, bytes]:
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

    def _geometry(self, name, element, groups, index, as_arrays=False):
        """Calls an ix_extract_ function whose outputs are `groups` of arrays,
        each group followed by its count; returns one tuple of lists per group
        (of NumPy arrays when `arrays` and NumPy is there) and releases every
        array."""
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
            if as_arrays and _np is not None:
                dtype = "=i4" if element is ctypes.c_int32 else "=f8"
                return [tuple(_np.frombuffer(_buffer(a, ctypes.sizeof(element) * c.value), dtype=dtype).copy()
                              for a in group) for group, c in zip(arrays, counts)]
            return [tuple(a[:c.value] for a in group) for group, c in zip(arrays, counts)]
        finally:
            for group in arrays:
                for a in group:
                    free(a)

    def region_runs(self, index: int = 0) -> Tuple[list, list, list]:
        """(rows, first columns, last columns) of region `index`."""
        return self._geometry("ix_extract_region_runs", ctypes.c_int32, [3], index)[0]

    def contour_points(self, index: int = 0) -> Tuple[list, list]:
        """(rows, columns) of contour `index`."""
        return self._geometry("ix_extract_contour_points", ctypes.c_double, [2], index)[0]

    def polygon_points(self, index: int = 0) -> Tuple[list, list]:
        """(rows, columns) of polygon `index`."""
        return self._geometry("ix_extract_polygon_points", ctypes.c_double, [2], index)[0]

    def parallel_lines(self, index: int = 0) -> Tuple[Tuple[list, list], Tuple[list, list]]:
        """((rows, columns), (rows, columns)): the two lines of parallel `index`."""
        first, second = self._geometry("ix_extract_parallel_lines", ctypes.c_double, [2, 2], index)
        return first, second

    def image_channel_count(self, index: int = 0) -> int:
        """The channel count of image `index`, or -1."""
        return self._lib.ix_node_image_channel_count(self._reader._require(), self._p(), index)

    def _failed(self, what: str) -> IxError:
        return IxError(self._reader.last_error or what)

    def image_info(self, index: int = 0) -> ImageInfo:
        """Image `index` in its own pixel type: type, size, channels, bytes per
        value, whether its domain is the whole image."""
        info = IxImageInfo()
        if not self._reader._function("ix_image_info")(self._reader._require(), self._p(), index,
                                                        ctypes.byref(info)):
            raise self._failed(f"no image at index {index}")
        return _image_info(info)

    def image_values(self, index: int = 0) -> Any:
        """Every pixel of image `index` in its own pixel type, whatever its
        domain. With NumPy: an array of shape (height, width), or (channels,
        height, width), of the matching dtype (uint2 as uint16, int4 as int32,
        real as float32, complex as complex64, ...). Without: a memoryview of
        that shape and format over bytes (a complex value as two floats, in a
        last axis of 2). Raises IxError when there are no values to hand out."""
        lib, reader = self._lib, self._reader._require()
        info, values = IxImageInfo(), ctypes.POINTER(ctypes.c_uint8)()
        if not self._reader._function("ix_extract_image_values")(reader, self._p(), index, ctypes.byref(info),
                                                                  ctypes.byref(values)):
            raise self._failed(f"no image values at index {index}")
        try:
            described = _image_info(info)
            dtype, fmt = _VALUE_FORMATS[described.pixel_type]
            size = described.channels * described.height * described.width * described.bytes_per_value
            shape = (described.height, described.width)
            if described.channels != 1:
                shape = (described.channels,) + shape
            if _np is not None:
                return _np.frombuffer(_buffer(values, size), dtype=dtype).reshape(shape).copy()
            if described.pixel_type == PixelType.COMPLEX:
                shape += (2,)
            return memoryview(ctypes.string_at(values, size)).cast(fmt, shape)
        finally:
            lib.ix_free_buffer(values)

    def image_domain_runs(self, index: int = 0) -> Tuple[Any, Any, Any]:
        """(rows, first columns, last columns) of the domain of image `index`:
        int32 arrays with NumPy, lists without."""
        return self._geometry("ix_extract_image_domain_runs", ctypes.c_int32, [3], index, as_arrays=True)[0]

    def model_points(self) -> Tuple[Any, Any]:
        """(points, normals) of the 3D object model this node holds, in metres:
        with NumPy float32 arrays of shape (n, 3), normals None when the model
        has none; without, tuples of (x, y, z) tuples."""
        lib, reader = self._lib, self._reader._require()
        points, normals = ctypes.POINTER(ctypes.c_float)(), ctypes.POINTER(ctypes.c_float)()
        count = ctypes.c_int32()
        ok = self._reader._function("ix_extract_model_points")(reader, self._p(), ctypes.byref(points),
                                                                ctypes.byref(normals), ctypes.byref(count))
        try:
            if not ok:
                raise self._failed("the node holds no 3D object model")
            return (_float_triples(points, count.value),
                    _float_triples(normals, count.value) if normals else None)
        finally:
            lib.ix_free_float_buffer(points)
            lib.ix_free_float_buffer(normals)

    def model_faces(self) -> Tuple[Any, list]:
        """(triangles, polygons) of the 3D object model this node holds, as
        point indices: triangles an int32 array of shape (n, 3) with NumPy,
        a tuple of 3-tuples without; polygons a list of one index array (or
        tuple) per polygon."""
        lib, reader = self._lib, self._reader._require()
        triangles, indices, starts = (ctypes.POINTER(ctypes.c_int32)() for _ in range(3))
        triangle_count, polygon_count = ctypes.c_int32(), ctypes.c_int32()
        ok = self._reader._function("ix_extract_model_faces")(
            reader, self._p(), ctypes.byref(triangles), ctypes.byref(triangle_count), ctypes.byref(indices),
            ctypes.byref(starts), ctypes.byref(polygon_count))
        try:
            if not ok:
                raise self._failed("the node holds no 3D object model")
            bounds = starts[:polygon_count.value + 1]
            if _np is not None:
                flat = _np.frombuffer(_buffer(triangles, 12 * triangle_count.value), dtype="=i4").reshape(-1, 3)
                every = _np.frombuffer(_buffer(indices, 4 * bounds[-1]), dtype="=i4").copy()
                return flat.copy(), [every[a:b] for a, b in zip(bounds, bounds[1:])]
            flat = triangles[:3 * triangle_count.value]
            every = indices[:bounds[-1]]
            return (tuple(tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)),
                    [tuple(every[a:b]) for a, b in zip(bounds, bounds[1:])])
        finally:
            for array in (triangles, indices, starts):
                lib.ix_free_int_buffer(array)

    @property
    def object_class(self) -> str:
        return self._lib.ix_node_object_class(self._p())

    @property
    def is_image(self) -> bool:
        return bool(self._lib.ix_node_is_image(self._p()))

    @property
    def object_count(self) -> int:
        return self._lib.ix_node_object_count(self._p())

    @property
    def detail_lines(self) -> list[str]:
        p = self._p()
        return [self._lib.ix_node_detail_line_at(p, i) for i in range(self._lib.ix_node_detail_line_count(p))]

    @property
    def detail_entry_count(self) -> int:
        return self._lib.ix_node_detail_entry_count(self._p())

    def __repr__(self):
        return f"<Node {self.label!r} {self.type_label} {self.value_summary!r}>"
