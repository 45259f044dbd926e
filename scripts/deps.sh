#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need,
# when they are missing. Safe to run again: it does nothing when everything is
# installed. Runs as root, or through sudo when there is one.
#   deps.sh          what building, testing, benchmarking and the demo need
#   deps.sh report   also what the benchmark report's chart needs
set -euo pipefail

packages=(
  cmake
  ninja-build
  g++
  make
  pkg-config
  googletest
  libgtest-dev
  libbenchmark-dev
  libsleef-dev
  libxxhash-dev
  libopenblas-dev
  libpng-dev
)
if [ "${1:-}" = report ]; then
  packages+=(python3-matplotlib)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "deps.sh: missing packages: ${missing[*]}; run as root or install sudo" >&2
  exit 1
fi

echo "deps.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
