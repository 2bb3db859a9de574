#!/usr/bin/env python3
"""Times Python's json.load on the files bench_json writes, for comparison.

    build/release/bench/bench_json --keep      (prints the paths of the files it kept)
    python3 bench/json_python.py FILE...
    python3 bench/json_python.py --mbps FILE   (just the figure, for bench_json)

Prints the median of 5 loads of each file in MB/s of the file, to set beside
bench_json's ReadDict figures (the target is 5x Python's json.load)."""
import json
import os
import statistics
import sys
import time


def median_seconds(path, runs=5):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        with open(path, "rb") as f:
            json.load(f)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main(paths):
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    if paths[0] == "--mbps" and len(paths) == 2:
        print(f"{os.path.getsize(paths[1]) / 1e6 / median_seconds(paths[1]):.2f}")
        return 0
    print(f"{'file':40} {'MB':>8} {'json.load MB/s':>16}")
    for path in paths:
        mb = os.path.getsize(path) / 1e6
        print(f"{os.path.basename(path):40} {mb:8.1f} {mb / median_seconds(path):16.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
