#!/usr/bin/env bash
# Installs the Debian packages that ixadapter builds, tests and benchmarks with.
# Idempotent: installs only what is missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  cmake ninja-build g++ binutils
  clang libclang-rt-14-dev          # libFuzzer and the sanitizer runtimes
  libgtest-dev libbenchmark-dev
  libspng-dev libturbojpeg0-dev libjpeg62-turbo-dev libtiff-dev
  libsimdjson-dev libtinyobjloader-dev
  python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
