#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs the test suite
# (without the tests labelled "long"). Exits nonzero when anything fails.
# Works from any directory.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/deps.sh
bash scripts/configure.sh
cmake --build build -j "${VORTA_JOBS:-2}"
cd build
ctest --output-on-failure -j "${VORTA_JOBS:-2}" -LE long
