#!/bin/sh
# Compiles the adapter's sources against the declarations-only vendor header:
# any use of something the vendor's HalconCpp does not declare fails here.
# usage: check.sh CXX SOURCE_DIR
set -u
cxx=$1
root=$2
status=0
for source in "$root"/src/AdapterCore/*.cpp "$root"/src/AdapterApi.cpp; do
  if ! "$cxx" -std=c++17 -fsyntax-only -DIX_VISION_HALCON=1 -I"$root/tests/interface" -I"$root/include" \
       -I"$root/src" "$source"; then
    echo "does not compile against the vendor interface: $source"
    status=1
  fi
done
exit $status
