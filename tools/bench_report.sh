#!/usr/bin/env bash
# One benchmark report: builds the benchmark programs, runs each briefly and
# prints one table (family, case, figure, baseline, ratio, goal); writes the
# same as build/bench_report.json and a bar chart of the ratios against their
# goals as build/bench_report.png. Works from any directory.
#   VORTA_BENCH_MIN_TIME  seconds per benchmark (default 0.05; more is steadier)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/deps.sh report
bash scripts/configure.sh >/dev/null
cmake --build build -j "${VORTA_JOBS:-2}"

raw="build/bench_report.tsv"
: >"$raw"
for program in build/bench/*_bench; do
  name="$(basename "$program")"
  echo "bench_report: running $name" >&2
  VORTA_BENCH_REPORT="$root/$raw" "$program" \
    --benchmark_min_time="${VORTA_BENCH_MIN_TIME:-0.05}" >"build/$name.log" 2>&1 ||
    echo "bench_report: $name failed, see build/$name.log" >&2
done
/usr/bin/python3 tools/bench_report.py "$raw" build/bench_report.json build/bench_report.png
