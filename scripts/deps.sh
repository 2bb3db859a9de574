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
  python3-numpy                     # image values, runs and points as arrays in Python
  python3-venv                      # the binding's pip install is checked in a venv
  pkgconf                           # the installed ixadapter.pc is checked with it
  locales                           # a comma locale for the locale-independence tests
  chromium                          # the viewer's browser tests
)
# The viewer runs on Node.js; a node installed otherwise (with its own npm) is kept.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal mark is a comma, as a host application may set it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the locale de_DE.UTF-8"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# The viewer's npm packages, pinned by viewer/package-lock.json: installed when
# node_modules is missing or the lock changed since the last install.
viewer="$(dirname "$0")/../viewer"
lock_sum=$(sha256sum "$viewer/package-lock.json" | cut -d' ' -f1)
if [ "$(cat "$viewer/node_modules/.lock-sha256" 2>/dev/null)" != "$lock_sum" ]; then
  echo "Installing the viewer's npm packages"
  (cd "$viewer" && npm ci --no-audit --no-fund --loglevel=error)
  echo "$lock_sum" > "$viewer/node_modules/.lock-sha256"
fi
