// Shared by the benchmark programs: prefaulted aligned float arrays, job
// options, and a console reporter that, after all runs, prints each
// benchmark's rate over the rate of its baseline (both measured in the same run
// of the program; a run's rate is the median of its repetitions, or its single
// sample), with the main() that uses it.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "host/host.h"
#include "host/linked_module.h"

namespace bench {

struct SizeClass {
  const char* name;
  int32_t elements;
};

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
using FloatBuffer = std::unique_ptr<float, FreeDeleter>;

// 64-byte aligned, every page touched before timing.
inline FloatBuffer AllocateFloats(size_t count) {
  const size_t bytes = (count * 4 + 63) & ~size_t(63);
  void* p = aligned_alloc(64, bytes);
  if (!p) {
    fprintf(stderr, "benchmark: cannot allocate %zu bytes\n", bytes);
    exit(1);
  }
  memset(p, 0, bytes);
  return FloatBuffer(static_cast<float*>(p));
}

// An input array of uniform values in [lo, hi) and an output array of the same
// length, made on first use for each length and kept.
struct InOut {
  FloatBuffer input, output;
};
inline InOut& InOutFor(int32_t count, float lo, float hi) {
  static std::map<int32_t, InOut> cache;
  if (auto it = cache.find(count); it != cache.end()) return it->second;
  InOut a{AllocateFloats(count), AllocateFloats(count)};
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> dist(lo, hi);
  for (int32_t i = 0; i < count; ++i) a.input.get()[i] = dist(rng);
  return cache.emplace(count, std::move(a)).first->second;
}

// The variants this processor can run: SSE2, and AVX2 where it can (said on
// stderr when it cannot, so a missing column is explained).
inline std::vector<vorta::CpuVariant> AvailableVariants(const char* program) {
  std::vector<vorta::CpuVariant> variants{vorta::CpuVariant::Sse2};
  if (vorta::host::CanRunAvx2())
    variants.push_back(vorta::CpuVariant::Avx2);
  else
    fprintf(stderr, "%s: this processor cannot run the AVX2 variant; SSE2 only\n", program);
  return variants;
}

// Binds the linked library to a variant when it is not bound to it already.
inline void UseVariant(vorta::CpuVariant v) {
  static int current = -1;
  if (current != int(v)) vorta::host::InitializeLinked(v);
  current = int(v);
}

// Microseconds; the wall clock when several workers share the job (the CPU
// clock would see only the calling thread), the CPU clock otherwise, which
// holds up better on a busy machine.
inline void Timing(benchmark::internal::Benchmark* b, int workers) {
  b->Unit(benchmark::kMicrosecond);
  if (workers > 1) b->UseRealTime();
}

inline vorta::host::JobOptions Workers(int workers) {
  vorta::host::JobOptions o;
  o.workers = workers;
  return o;
}

// The memcpy baseline as a job: takes batches from the host like a kernel and
// copies each batch's elements of elementBytes from source to destination.
struct CopyJob {
  const uint8_t* source;
  uint8_t* destination;
  int32_t elementBytes;
};
inline VORTA_MSABI void CopyBatches(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t jobIndex) {
  const auto* j = static_cast<const CopyJob*>(job);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff) {
    if (begin >= end) continue;
    const size_t w = size_t(j->elementBytes);
    memcpy(j->destination + size_t(begin) * w, j->source + size_t(begin) * w, size_t(end - begin) * w);
  }
}

// name's rate over baseline's; with inverse, the time ratio (baseline's rate
// over name's), for "at most N times the baseline's time" goals. A goal (0:
// none) is a lower bound on the ratio, or with inverse an upper bound.
struct RatioPair {
  std::string name, baseline;
  bool inverse = false;
  double goal = 0;
};

// Where the benchmark report collects every program's ratios: the file named
// by VORTA_BENCH_REPORT, one tab-separated line per ratio (program, case,
// baseline, ratio, "time" or "rate", goal), appended; nothing when unset.
inline void AppendToReport(const char* program, const RatioPair& p, double ratio) {
  const char* path = getenv("VORTA_BENCH_REPORT");
  if (!path || !*path) return;
  FILE* f = fopen(path, "a");
  if (!f) return;
  fprintf(f, "%s\t%s\t%s\t%.6g\t%s\t%.6g\n", program, p.name.c_str(), p.baseline.c_str(), ratio,
          p.inverse ? "time" : "rate", p.goal);
  fclose(f);
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(const char* program, const char* title, const char* counter,
                const std::vector<RatioPair>* pairs)
      : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular),
        program_(program), title_(title), counter_(counter), pairs_(pairs) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      auto c = r.counters.find(counter_);
      if (r.error_occurred || c == r.counters.end()) continue;
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
    out << "\n" << title_ << " (" << counter_ << " over the baseline's):\n";
    for (const RatioPair& p : *pairs_) {
      const double rate = Rate(p.name), base = Rate(p.baseline);
      if (rate <= 0 || base <= 0) continue;
      const double ratio = p.inverse ? base / rate : rate / base;
      char goal[32] = "";
      if (p.goal > 0) snprintf(goal, sizeof goal, "  goal %s %.2f", p.inverse ? "<=" : ">=", p.goal);
      snprintf(line, sizeof line, "%-58s %-44s %6.2f%s%s\n", p.name.c_str(), p.baseline.c_str(),
               ratio, p.inverse ? "  (time over the baseline's)" : "", goal);
      out << line;
      AppendToReport(program_, p, ratio);
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

  const char* program_;
  const char* title_;
  const char* counter_;
  const std::vector<RatioPair>* pairs_;
  std::map<std::string, std::vector<double>> samples_;
  std::map<std::string, double> median_;
};

// Runs the registered benchmarks with a short default minimum time (unless
// one is given) and the ratio table, or with the library's reporter when
// another output format is asked for.
inline int RunWithRatios(int argc, char** argv, void (*registerAll)(), const char* title,
                         const char* counter, const std::vector<RatioPair>& pairs) {
  std::vector<char*> args(argv, argv + argc);
  bool minTimeGiven = false, otherFormat = false;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--benchmark_min_time", 20) == 0) minTimeGiven = true;
    if (strncmp(argv[i], "--benchmark_format=", 19) == 0 && strcmp(argv[i] + 19, "console") != 0)
      otherFormat = true;
  }
  static char defaultMinTime[] = "--benchmark_min_time=0.2";
  if (!minTimeGiven) args.insert(args.begin() + 1, defaultMinTime);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  registerAll();
  if (otherFormat) {
    benchmark::RunSpecifiedBenchmarks();
  } else {
    const char* slash = strrchr(argv[0], '/');
    RatioReporter reporter(slash ? slash + 1 : argv[0], title, counter, &pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
