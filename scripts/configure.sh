#!/usr/bin/env bash
# Configures the build directory build/ at the repository root (Release, Ninja
# when available). An existing build/ keeps the generator it was made with.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

args=(-S . -B build -DCMAKE_BUILD_TYPE=Release)
if [ ! -f build/CMakeCache.txt ] && command -v ninja >/dev/null 2>&1; then
  args+=(-G Ninja)
fi
cmake "${args[@]}"
