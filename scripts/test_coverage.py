#!/usr/bin/env python3
"""Which library lines each GoogleTest test covers, and which tests cover nothing alone.

    scripts/test_coverage.py BUILD_DIR [PROGRAM...]

BUILD_DIR is a tree built with clang's source-based coverage, e.g.

    CC=clang CXX=clang++ cmake -S . -B build/cov -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_FLAGS_RELEASE=-O1 -DCMAKE_C_FLAGS_RELEASE=-O1 -DIX_BUILD_BENCH=OFF \
      -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
      -DCMAKE_C_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
      -DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate -DCMAKE_SHARED_LINKER_FLAGS=-fprofile-instr-generate
    cmake --build build/cov --target ix_vision_tests ix_adapter_tests

Each test of each program (default
ix_vision_tests, ix_adapter_tests) runs in a process of its own; for each test the
script prints the lines of src/ it covers, and how many of them no other test covers.
A test with none of its own is a candidate for merging or cutting: read its assertions
before doing either, a value it checks may be checked nowhere else.
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent


def tests_of(program):
    out = subprocess.run([program, "--gtest_list_tests"], capture_output=True, text=True, check=True,
                         env=dict(os.environ, LLVM_PROFILE_FILE=os.devnull)).stdout
    suite, names = None, []
    for line in out.splitlines():
        if not line.startswith(" "):
            suite = line.split()[0] if line.strip() else None
        elif suite:
            names.append(suite + line.split()[0])
    return names


def covered_lines(program, profraw, work):
    profdata = work / "one.profdata"
    subprocess.run(["llvm-profdata-14", "merge", "-sparse", str(profraw), "-o", str(profdata)], check=True)
    out = subprocess.run(["llvm-cov-14", "export", "-format=lcov", "-skip-functions", f"-instr-profile={profdata}",
                          str(program)], capture_output=True, text=True, check=True).stdout
    lines, source = set(), None
    for line in out.splitlines():
        if line.startswith("SF:"):
            path = pathlib.Path(line[3:]).resolve()
            source = str(path.relative_to(ROOT)) if path.is_relative_to(ROOT / "src") else None
        elif line.startswith("DA:") and source:
            number, hits = line[3:].split(",")[:2]
            if int(hits):
                lines.add(f"{source}:{number}")
    return lines


def main():
    build = pathlib.Path(sys.argv[1]).resolve()
    programs = sys.argv[2:] or ["ix_vision_tests", "ix_adapter_tests"]
    coverage = {}
    with tempfile.TemporaryDirectory() as temp:
        work = pathlib.Path(temp)
        for name in programs:
            program = build / "tests" / name
            for test in tests_of(program):
                profraw = work / "one.profraw"
                env = dict(os.environ, LLVM_PROFILE_FILE=str(profraw))
                if subprocess.run([program, f"--gtest_filter={test}"], env=env, capture_output=True, cwd=work).returncode:
                    print(f"{test} FAILED: its lines are those of a failing run", file=sys.stderr)
                coverage[test] = covered_lines(program, profraw, work)
                profraw.unlink()
    count = {}
    for lines in coverage.values():
        for line in lines:
            count[line] = count.get(line, 0) + 1
    json.dump({test: sorted(lines) for test, lines in coverage.items()}, open(build / "test_coverage.json", "w"))
    rows = sorted(((sum(count[l] == 1 for l in lines), len(lines), test) for test, lines in coverage.items()))
    for own, total, test in rows:
        print(f"{own:6d} own {total:6d} lines  {test}")
    print(f"{len(count)} lines of src/ covered by {len(coverage)} tests; {build / 'test_coverage.json'} has them per test")


if __name__ == "__main__":
    main()
