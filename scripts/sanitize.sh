#!/usr/bin/env bash
# Builds and runs the tests under sanitizers, each in its own build folder:
#   sanitize.sh address   AddressSanitizer + UndefinedBehaviorSanitizer (leaks
#                         checked), every test but the long sweeps, benchmark
#                         smoke runs and the install check: build-asan/
#   sanitize.sh thread    ThreadSanitizer over the concurrency tests (job system,
#                         allocators, containers, stress, split invariance): build-tsan/
# Works from any directory; VORTA_JOBS=N sets the parallelism (default 2).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="${VORTA_JOBS:-2}"

case "${1:-}" in
  address)
    dir=build-asan
    flags=address,undefined
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    select=(-LE 'long|bench|install|tsan')
    ;;
  thread)
    dir=build-tsan
    flags=thread
    export TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1
    select=(-LE 'long|bench|install|tsan|demo' -R '(^|/)(JobSystem|Dispenser|Allocat|Arena|Disposal|Stress|Split|SharedMemory|Memory)')
    ;;
  *)
    echo "usage: sanitize.sh address|thread" >&2
    exit 2
    ;;
esac

bash scripts/deps.sh
args=(-S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORTA_SANITIZE="$flags"
      -DVORTA_BUILD_BENCHMARKS=OFF)
if [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null 2>&1; then
  args+=(-G Ninja)
fi
cmake "${args[@]}" >/dev/null
cmake --build "$dir" -j "$jobs"
cd "$dir"
ctest --output-on-failure -j "$jobs" "${select[@]}"
