#!/bin/sh
# The library exports the ix_ functions and nothing else.
lib="$1"
extra=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | grep -v '^ix_' |
        grep -vE '^(_init|_fini|_edata|_end|__bss_start)$')
if [ -n "$extra" ]; then
  echo "$lib exports symbols besides ix_*:"
  echo "$extra" | head -n 20
  exit 1
fi
count=$(nm -D --defined-only "$lib" | awk '$3 ~ /^ix_/' | wc -l)
if [ "$count" -eq 0 ]; then
  echo "$lib exports no ix_ function"
  exit 1
fi
echo "$lib exports $count ix_ functions and nothing else"
