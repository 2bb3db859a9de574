#!/usr/bin/env bash
# Sets up, builds (Release) and prints the tree of each FILE with ixdump; with no
# FILE, the files in samples/.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release

ixdump=build/release/tools/ixdump/ixdump
"$ixdump" --version
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  shopt -s nullglob
  files=("$root"/samples/*)
  [ ${#files[@]} -eq 0 ] && exit 0
fi
"$ixdump" "${files[@]}"
