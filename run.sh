#!/usr/bin/env bash
# Sets up, builds (Release) and prints the tree of each FILE with ixdump; with no
# FILE, the files in samples/. With --viewer: starts the viewer on 127.0.0.1 on a
# free port and prints its URL, with the token of this launch.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release

if [ "${1:-}" = "--viewer" ]; then
  # The server's loads run on helper threads, whose malloc arenas glibc shrinks at the
  # top only above a trim threshold it raises up to 64 MB; at 0, a closed file's memory
  # goes back to the system whole (docs/performance.md, "Viewer memory").
  export GLIBC_TUNABLES="${GLIBC_TUNABLES:+$GLIBC_TUNABLES:}glibc.malloc.trim_threshold=0"
  exec node viewer/server.mjs
fi

ixdump=build/release/tools/ixdump/ixdump
"$ixdump" --version
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  shopt -s nullglob
  for file in "$root"/samples/* "$root"/samples/*/*.json; do
    if [ -f "$file" ]; then files+=("$file"); fi
  done
  [ ${#files[@]} -eq 0 ] && exit 0
fi
"$ixdump" "${files[@]}"
