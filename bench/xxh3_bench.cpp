// XXH3 long-input hashing with copy against Debian's libxxhash and memcpy.
//
// Run (from the repository root, after building):
//   build/bench/xxh3_bench                               # everything, under a minute
//   build/bench/xxh3_bench --benchmark_filter=64MiB      # main-memory size only
//   build/bench/xxh3_bench --benchmark_repetitions=5     # steadier medians
//
// Names read  xxh3/vorta/<variant>/<size>            hash only (no destination)
//             xxh3/libxxhash/<size>                  XXH3_64bits_withSecret
//             xxh3/libxxhash_dispatch/<size>         the library's AVX2-dispatching entry
//             copy/vorta/<variant>/<size>            hash and copy to a destination
//             copy/memcpy/<size>                     memcpy of the same bytes alone
// Sizes: 4KiB (L1), 1MiB (L2/L3), 64MiB (main memory). bytes_per_second counts
// the input bytes.
//
// The table after the runs gives, in one run on the same machine:
//   hash: our throughput over XXH3_64bits_withSecret's (1.0 or more is the goal
//         on the AVX2 variant);
//   copy: our time over memcpy's time for the same bytes (memcpy alone is the
//         physical limit of a one-pass copy; 1.1 or less is the goal).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xxh_x86dispatch.h>
#include <xxhash.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "host/host.h"
#include "host/linked_module.h"

namespace {

using vorta::CpuVariant;

typedef uint64_t(VORTA_MSABI* Hash64Fn)(const uint8_t* input, uint8_t* destination,
                                        int64_t length, const uint8_t* secret);

struct SizeClass {
  const char* name;
  size_t bytes;
};
const SizeClass kSizes[] = {{"4KiB", size_t(4) << 10},
                            {"1MiB", size_t(1) << 20},
                            {"64MiB", size_t(64) << 20}};

struct Buffers {
  uint8_t* input;
  uint8_t* output;
  uint8_t secret[192];
};

uint8_t* Allocate(size_t bytes) {
  void* p = aligned_alloc(64, (bytes + 63) & ~size_t(63));
  if (!p) {
    fprintf(stderr, "xxh3_bench: cannot allocate %zu bytes\n", bytes);
    exit(1);
  }
  return static_cast<uint8_t*>(p);
}

// One input and one destination of the largest size, shared by every run; the
// pages are touched before any timing.
Buffers& Data() {
  static Buffers* b = [] {
    auto* d = new Buffers;
    const size_t n = kSizes[2].bytes;
    d->input = Allocate(n);
    d->output = Allocate(n);
    std::mt19937_64 rng(42);
    for (size_t i = 0; i < n; i += 8) {
      uint64_t v = rng();
      memcpy(d->input + i, &v, 8);
    }
    memset(d->output, 0, n);
    for (uint8_t& s : d->secret) s = static_cast<uint8_t>(rng());
    return d;
  }();
  return *b;
}

void UseVariant(CpuVariant variant) {
  static bool initialised = false;
  static CpuVariant current = CpuVariant::Sse2;
  if (initialised && current == variant) return;
  vorta::host::InitializeLinked(variant);
  initialised = true;
  current = variant;
}

void BM_Vorta(benchmark::State& state, CpuVariant variant, size_t bytes, bool copy) {
  UseVariant(variant);
  Buffers& d = Data();
  auto hash = reinterpret_cast<Hash64Fn>(
      vorta::host::LinkedKernel("93df17b7366cd622dfa5ea2d3c75cf0b"));
  uint8_t* destination = copy ? d.output : nullptr;
  for (auto _ : state) {
    benchmark::DoNotOptimize(hash(d.input, destination, static_cast<int64_t>(bytes), d.secret));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_Libxxhash(benchmark::State& state, size_t bytes, bool dispatch) {
  Buffers& d = Data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        dispatch ? XXH3_64bits_withSecret_dispatch(d.input, bytes, d.secret, sizeof d.secret)
                 : XXH3_64bits_withSecret(d.input, bytes, d.secret, sizeof d.secret));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_Memcpy(benchmark::State& state, size_t bytes) {
  Buffers& d = Data();
  for (auto _ : state) {
    memcpy(d.output, d.input, bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// (measured, baseline, what the ratio means)
std::vector<bench::RatioPair> g_pairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("xxh3_bench");

  auto add = [](const std::string& name, auto&&... args) {
    benchmark::RegisterBenchmark(name.c_str(), args...)->Unit(benchmark::kMicrosecond);
  };
  for (const SizeClass& s : kSizes) {
    const std::string lib = std::string("xxh3/libxxhash/") + s.name;
    const std::string libDispatch = std::string("xxh3/libxxhash_dispatch/") + s.name;
    const std::string copy = std::string("copy/memcpy/") + s.name;
    add(lib, BM_Libxxhash, s.bytes, false);
    add(libDispatch, BM_Libxxhash, s.bytes, true);
    add(copy, BM_Memcpy, s.bytes);
    for (CpuVariant v : variants) {
      const std::string variant = vorta::host::VariantName(v);
      const std::string hash = "xxh3/vorta/" + variant + "/" + s.name;
      const std::string hashCopy = "copy/vorta/" + variant + "/" + s.name;
      add(hash, BM_Vorta, v, s.bytes, false);
      add(hashCopy, BM_Vorta, v, s.bytes, true);
      g_pairs.push_back({hash, lib, false});
      g_pairs.push_back({hash, libDispatch, false});
      g_pairs.push_back({hashCopy, copy, true});
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "XXH3 against libxxhash and memcpy",
                              "bytes_per_second", g_pairs);
}
