#!/usr/bin/env python3
"""What a tree costs: loads each file through ix_reader_parse_file and asks for
every node, as a host showing the whole tree does; prints the load's time and
the bytes it holds in malloc's heap, then the nodes and the heap's growth per
node of the walk (glibc's mallinfo2: in use, mapped blocks included).

    python3 bench/tree_memory.py [--library PATH] FILE.json...
"""
import ctypes
import pathlib
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


LIBC = ctypes.CDLL("libc.so.6")
LIBC.mallinfo2.restype = MallInfo2


def in_use():
    info = LIBC.mallinfo2()
    return info.uordblks + info.hblkhd


def main(args):
    library = ROOT / "build/release/libixadapter.so"
    if args[:1] == ["--library"]:
        library, args = pathlib.Path(args[1]), args[2:]
    ix = ctypes.CDLL(str(library))
    ix.ix_reader_create.restype = ctypes.c_void_p
    ix.ix_reader_destroy.argtypes = [ctypes.c_void_p]
    ix.ix_reader_parse_file.restype = ctypes.c_void_p
    ix.ix_reader_parse_file.argtypes = [ctypes.c_void_p, ctypes.c_wchar_p]
    ix.ix_reader_last_error.restype = ctypes.c_wchar_p
    ix.ix_reader_last_error.argtypes = [ctypes.c_void_p]
    ix.ix_node_child_count.argtypes = [ctypes.c_void_p]
    ix.ix_node_child_at.restype = ctypes.c_void_p
    ix.ix_node_child_at.argtypes = [ctypes.c_void_p, ctypes.c_int32]
    for path in args:
        reader = ix.ix_reader_create()
        before, started = in_use(), time.perf_counter()
        root = ix.ix_reader_parse_file(reader, path)
        seconds = time.perf_counter() - started
        print(f"{path}: load {seconds:.3f} s, heap +{(in_use() - before) / 1e6:.1f} MB"
              + ("" if root else f", refused: {ix.ix_reader_last_error(reader)}"))
        if root:
            before, nodes, open_nodes = in_use(), 0, [root]
            while open_nodes:
                node = open_nodes.pop()
                nodes += 1
                open_nodes.extend(ix.ix_node_child_at(node, i) for i in range(ix.ix_node_child_count(node)))
            grown = in_use() - before
            print(f"  {nodes} nodes, heap +{grown / 1e6:.1f} MB, {grown / nodes:.0f} bytes per node")
        ix.ix_reader_destroy(reader)


if __name__ == "__main__":
    main(sys.argv[1:])
