// Read throughput of the axis reductions against a memcpy of the same input.
//
// Run (from the repository root, after building):
//   build/bench/reductions_bench                            # everything
//   build/bench/reductions_bench --benchmark_filter=/DRAM/  # main-memory sizes only
//
// Names read  reduce/<member>/<layout>/<variant>/<size>/workers:<n>  and
//             memcpy/<size>/workers:<n>.
// Layouts: rows = contiguous rows (S = 1) of N = 4096; strided = S = 64, N = 256.
// Sizes: L2 = 64 Ki float inputs (256 KiB), DRAM = 16 Mi (64 MiB).
// One worker is timed on the CPU clock of the calling thread (which runs the
// job), more on the wall clock.
//
// bytes_per_second counts the input bytes, which is what a reduction reads; the
// memcpy baseline copies the same input through the same job system and worker
// count (it reads those bytes and writes them once more). The table after the
// runs divides each reduction's read rate by memcpy's, and the AVX2 variant's
// rate by the SSE2 variant's.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "frame/abi.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/axis_records.h"

namespace {

using vorta::CpuVariant;

using bench::SizeClass;
const SizeClass kSizes[] = {{"L2", 64 << 10}, {"DRAM", 16 << 20}};

struct Layout {
  const char* name;
  int32_t N, S;
};
const Layout kLayouts[] = {{"rows", 4096, 1}, {"strided", 256, 64}};

struct Member {
  const char* name;
  const char* exportName;
};
const Member kMembers[] = {
    {"sum", "5901fd9e1f406d5759027d92b5dc8990"},
    {"max", "8bc7898e8c55f1392509b19b7a4bf42c"},
    {"logsumexp", "5be07dec52598d8743f7bd4390735645"},
};

void BM_Reduce(benchmark::State& state, const Member& m, const Layout& l, CpuVariant v,
               int32_t elements, int workers) {
  bench::UseVariant(v);
  bench::InOut& a = bench::InOutFor(elements, -8.0f, 8.0f);
  const int32_t outputs = elements / l.N;
  vorta::AxisReduceJob job{a.input.get(), a.output.get(), l.N, l.S};
  const vorta::JobEntry entry = vorta::host::LinkedJob(m.exportName);
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, outputs, bench::Workers(workers));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * elements * 4);
}

using bench::CopyBatches;
using bench::CopyJob;

void BM_Memcpy(benchmark::State& state, int32_t elements, int workers) {
  bench::InOut& a = bench::InOutFor(elements, -8.0f, 8.0f);
  CopyJob job{reinterpret_cast<const uint8_t*>(a.input.get()),
              reinterpret_cast<uint8_t*>(a.output.get()), 4};
  for (auto _ : state) {
    vorta::host::RunJob(&CopyBatches, &job, sizeof job, elements, bench::Workers(workers));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * elements * 4);
}

std::vector<bench::RatioPair> g_pairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("reductions_bench");
  for (const SizeClass& s : kSizes) {
    for (int workers : {1, 2}) {
      const std::string suffix = std::string("/") + s.name + "/workers:" + std::to_string(workers);
      const std::string copy = "memcpy" + suffix;
      auto* b = benchmark::RegisterBenchmark(copy.c_str(), BM_Memcpy, s.elements, workers);
      bench::Timing(b, workers);
      for (const Member& m : kMembers) {
        for (const Layout& l : kLayouts) {
          std::string sse2;
          for (CpuVariant v : variants) {
            const std::string name = std::string("reduce/") + m.name + "/" + l.name + "/" +
                                     vorta::host::VariantName(v) + suffix;
            b = benchmark::RegisterBenchmark(name.c_str(), BM_Reduce, m, l, v, s.elements, workers);
            bench::Timing(b, workers);
            g_pairs.push_back({name, copy});
            if (v == CpuVariant::Sse2) sse2 = name;
            else g_pairs.push_back({name, sse2});
          }
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Read rate relative to the baseline",
                              "bytes_per_second", g_pairs);
}
