#!/usr/bin/env bash
# Installs what is missing, builds the library and the demo in build/, and runs
# the demo against build/libvorta.so (a network on the handwritten digits and
# one scene frame, whose heat map goes to build/light_heat_map.png). Extra
# arguments go to the demo (--variant, --workers, --json, --help). Works from
# any directory.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/deps.sh
bash scripts/configure.sh
cmake --build build -j "${VORTA_JOBS:-2}" --target vorta vorta_demo
build/tools/vorta_demo --library "$root/build/libvorta.so" \
  --heat-map "$root/build/light_heat_map.png" "$@"
