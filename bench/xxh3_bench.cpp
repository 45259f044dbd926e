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
struct Pair {
  std::string measured, baseline;
  bool timeRatio;  // baseline rate / measured rate (time over baseline's time)
};
std::vector<Pair> g_pairs;

void RegisterAll() {
  std::vector<CpuVariant> variants{CpuVariant::Sse2};
  if (vorta::host::CanRunAvx2())
    variants.push_back(CpuVariant::Avx2);
  else
    fprintf(stderr, "xxh3_bench: this processor cannot run the AVX2 variant; SSE2 only\n");

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

// The usual console output, then the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  using ConsoleReporter::ConsoleReporter;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      auto c = r.counters.find("bytes_per_second");
      if (c == r.counters.end()) continue;
      const std::string& name = r.run_name.function_name;
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name == "median") median_[name] = c->second.value;
      } else {
        samples_[name].push_back(c->second.value);
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::ostream& out = GetOutputStream();
    char line[200];
    snprintf(line, sizeof line, "\n%-28s %-30s %9s %9s %7s\n", "measured", "baseline", "GB/s",
             "base GB/s", "ratio");
    out << line;
    for (const Pair& p : g_pairs) {
      const double m = Rate(p.measured), b = Rate(p.baseline);
      if (m <= 0 || b <= 0) continue;
      snprintf(line, sizeof line, "%-28s %-30s %9.2f %9.2f %7.2f %s\n", p.measured.c_str(),
               p.baseline.c_str(), m / 1e9, b / 1e9, p.timeRatio ? b / m : m / b,
               p.timeRatio ? "(time / baseline time)" : "(throughput / baseline)");
      out << line;
    }
    out.flush();
  }

 private:
  double Rate(const std::string& name) const {
    if (auto m = median_.find(name); m != median_.end()) return m->second;
    auto s = samples_.find(name);
    if (s == samples_.end() || s->second.empty()) return 0;
    std::vector<double> v = s->second;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }

  std::map<std::string, std::vector<double>> samples_;
  std::map<std::string, double> median_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  bool minTimeGiven = false, otherFormat = false;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--benchmark_min_time", 20) == 0) minTimeGiven = true;
    if (strncmp(argv[i], "--benchmark_format=", 19) == 0 &&
        strcmp(argv[i] + 19, "console") != 0)
      otherFormat = true;
  }
  static char defaultMinTime[] = "--benchmark_min_time=0.2";
  if (!minTimeGiven) args.insert(args.begin() + 1, defaultMinTime);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);

  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RegisterAll();
  if (otherFormat) {
    benchmark::RunSpecifiedBenchmarks();
  } else {
    RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                 : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  benchmark::Shutdown();
  return 0;
}
