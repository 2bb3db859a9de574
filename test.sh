#!/usr/bin/env bash
# Sets up, builds Release and ASan+UBSan (with the fuzzers), and runs every suite
# through ctest on both: unit, host, fuzz smoke runs. The last line is ctest's summary.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release

CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIX_SANITIZE=address,undefined -DIX_FUZZ=ON >/dev/null
cmake --build build/asan

echo "== Release"
(cd build/release && ctest -j2 --output-on-failure)
echo "== ASan+UBSan"
(cd build/asan && ctest -j2 --output-on-failure)
