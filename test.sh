#!/usr/bin/env bash
# Sets up, builds Release and ASan+UBSan (with the fuzzers), and runs every suite
# through ctest on both: unit, host, fuzz smoke runs. The tests of one tree read
# by many threads also run under ThreadSanitizer. The last line is ctest's summary.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release

CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIX_SANITIZE=address,undefined -DIX_FUZZ=ON >/dev/null
cmake --build build/asan

CC=clang CXX=clang++ cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIX_SANITIZE=thread -DIX_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan --target ix_thread_tests

echo "== ThreadSanitizer"
(cd build/tsan && ctest --output-on-failure -R '^threads$')
echo "== Release"
(cd build/release && ctest -j2 --output-on-failure)
echo "== ASan+UBSan"
(cd build/asan && ctest -j2 --output-on-failure)
