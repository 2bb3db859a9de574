"""What glibc holds after a reader is destroyed, and what destroying it costs (run by hand):

    python3 bench/reader_memory.py [--library PATH] [--runs N] FILE.json...

Loads each file N times (5 by default) with ix_reader_parse_file into a reader of its
own, asks for the first 500 children of each child of the root (what the viewer
shows first), destroys the reader, and prints per load, as medians:
- the resident size (VmRSS) and glibc's view of the heap (mallinfo2: the bytes in
  use and the free bytes it keeps) while the tree is held and after the destroy;
- the time of the load and of ix_reader_destroy;
and, last, the time of ix_reader_destroy of 1000 readers that never loaded a file.
"""

import argparse
import ctypes
import os
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]


def resident_mb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--library")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    import ixadapter
    lib = ixadapter.load_library(args.library)
    libc = ctypes.CDLL("libc.so.6")
    libc.mallinfo2.restype = MallInfo2

    def heap():
        info = libc.mallinfo2()
        return resident_mb(), info.uordblks / 1e6, info.fordblks / 1e6

    print(f"| file | MB | load (ms) | RSS held (MB) | in use | free in the heap "
          f"| destroy (ms) | RSS after (MB) | in use | free in the heap |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for file in args.files:
        rows = []
        for _ in range(args.runs):
            reader = ixadapter.Reader()
            started = time.perf_counter()
            root = reader.parse_file(file)
            load = time.perf_counter() - started
            for child in root.children:
                for i, grandchild in enumerate(child.children):
                    if i == 500:
                        break
                    grandchild.child_count
            held = heap()
            del root, child
            handle, reader._handle = reader._handle, None
            started = time.perf_counter()
            lib.ix_reader_destroy(handle)
            destroy = time.perf_counter() - started
            rows.append((load * 1e3, *held, destroy * 1e3, *heap()))
        m = [statistics.median(column) for column in zip(*rows)]
        print(f"| {Path(file).name} | {os.path.getsize(file) / 1e6:.1f} | {m[0]:.0f} | {m[1]:.0f} | {m[2]:.1f} | {m[3]:.1f} "
              f"| {m[4]:.2f} | {m[5]:.0f} | {m[6]:.1f} | {m[7]:.1f} |")

    handles = [lib.ix_reader_create() for _ in range(1000)]
    started = time.perf_counter()
    for handle in handles:
        lib.ix_reader_destroy(handle)
    print(f"\nix_reader_destroy of a reader that loaded nothing: "
          f"{(time.perf_counter() - started) * 1e6 / len(handles):.1f} µs")


main()
