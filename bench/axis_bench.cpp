// Softmax, layer normalisation, arg-max and cumulative sums against memcpy and
// against a bare SLEEF exponential loop over the same elements.
//
// Run (from the repository root, after building):
//   build/bench/axis_bench --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
//
// Names read  <job>/<layout>/<variant>/workers:<n>[/batch1]  and  <baseline>/<layout>/workers:<n>.
// Every figure counts the bytes of its input tensor, so the table's time ratios
// (softmax, layer norm, cumulative sum: "time over the baseline's") and read-rate
// ratios (arg-max) compare the same data. Baselines: memcpy of the input through
// the same job system, once, twice or three times per batch; the exponential
// floor is the four-lane (SSE2) or eight-lane (AVX2) SLEEF exponential in a bare
// loop. Each worker has its own record copy; /batch1 hands out one line per batch.
#include <immintrin.h>
#include <sleef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <vorta/vorta.h>

#include "bench/bench_util.h"
#include "frame/abi.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/axis_records.h"

namespace {

using vorta::CpuVariant;

struct CopyJob {
  const float* source;
  float* destination;
  int passes;
};

VORTA_MSABI void CopyBatches(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t jobIndex) {
  const auto* j = static_cast<const CopyJob*>(job);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)
    for (int p = 0; p < j->passes; ++p)
      if (begin < end) memcpy(j->destination + begin, j->source + begin, size_t(end - begin) * 4);
}

extern "C" __m256 Sleef_expf8_u10avx2(__m256);

// A bare loop of the SLEEF exponential over whole blocks of each batch.
#define VORTA_EXP_FLOOR(name, kWidth, load, store, exp)                                         \
  VORTA_MSABI void name(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t jobIndex) { \
    const auto* j = static_cast<const CopyJob*>(job);                                           \
    int32_t begin, end;                                                                         \
    while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)   \
      for (int32_t i = begin; i + kWidth <= end; i += kWidth)                                   \
        store(j->destination + i, exp(load(j->source + i)));                                    \
  }
VORTA_EXP_FLOOR(ExpFloorSse2, 4, _mm_loadu_ps, _mm_storeu_ps, Sleef_expf4_u10sse2)
#pragma GCC push_options
#pragma GCC target("avx2,fma")
VORTA_EXP_FLOOR(ExpFloorAvx2, 8, _mm256_loadu_ps, _mm256_storeu_ps, Sleef_expf8_u10avx2)
#pragma GCC pop_options
#undef VORTA_EXP_FLOOR

vorta::host::JobOptions Options(int workers, bool batch1) {
  vorta::host::JobOptions o = bench::Workers(workers);
  o.privateRecords = true;
  if (batch1) o.batchSize = 1;
  return o;
}

void BM_Copy(benchmark::State& state, vorta::JobEntry entry, int passes, int32_t elements, int workers) {
  bench::InOut& a = bench::InOutFor(elements, -8.0f, 8.0f);
  CopyJob job{a.input.get(), a.output.get(), passes};
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, elements, Options(workers, false));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * elements * 4);
}

// An axis job over [elements / (N·S)][N][S], run over its lines.
void BM_Axis(benchmark::State& state, const char* exportName, CpuVariant v, int32_t N, int32_t S,
             int32_t elements, int workers, bool batch1, bool inPlace) {
  bench::UseVariant(v);
  bench::InOut& a = bench::InOutFor(elements, -8.0f, 8.0f);
  const int32_t lines = elements / N;
  const vorta::JobEntry entry = vorta::host::LinkedJob(exportName);
  if (strcmp(exportName, VORTA_EXPORT_CUMSUM_FLOAT) == 0) {
    VortaCumulativeSumJob job{a.input.get(), a.output.get(), N, S, 0, 0, {}};
    for (auto _ : state) vorta::host::RunJob(entry, &job, sizeof job, lines, Options(workers, batch1));
  } else {
    vorta::AxisReduceJob job{a.input.get(), inPlace ? a.input.get() : a.output.get(), N, S};
    for (auto _ : state) vorta::host::RunJob(entry, &job, sizeof job, lines, Options(workers, batch1));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * elements * 4);
}

// Row statistics, then the tail, on rows × d.
void BM_LayerNorm(benchmark::State& state, CpuVariant v, int32_t rows, int32_t d, int workers) {
  bench::UseVariant(v);
  const int32_t elements = rows * d;
  bench::InOut& a = bench::InOutFor(elements, -8.0f, 8.0f);
  std::vector<float> stats(2 * rows), scale(d, 1.25f), bias(d, 0.5f);
  VortaRowStatsJob sj{a.input.get(), stats.data(), d, 0};
  VortaLayerNormJob lj{1e-5f, d, 0, a.input.get(), scale.data(), bias.data(), stats.data(), a.output.get()};
  const vorta::JobEntry statsEntry = vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_ROW_STATS);
  const vorta::JobEntry tailEntry = vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_LAYER_NORM);
  for (auto _ : state) {
    vorta::host::RunJob(statsEntry, &sj, sizeof sj, rows, Options(workers, false));
    vorta::host::RunJob(tailEntry, &lj, sizeof lj, rows, Options(workers, false));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * elements * 4);
}

std::vector<bench::RatioPair> g_pairs;

struct Layout {
  const char* name;
  int32_t N, S, elements;
  bool inPlace;
};

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("axis_bench");
  auto reg = [](const std::string& name, auto&&... args) {
    return benchmark::RegisterBenchmark(name.c_str(), args...);
  };
  for (int workers : {1, 2}) {
    const std::string w = "/workers:" + std::to_string(workers);
    auto copies = [&](const char* layout, int32_t elements, int passes, bool exp) {
        bench::Timing(reg("memcpy" + std::to_string(passes) + "/" + layout + w, BM_Copy, &CopyBatches, passes,
                          elements, workers),
                      workers);
      if (!exp) return;
      bench::Timing(reg(std::string("expfloor/sse2/") + layout + w, BM_Copy, &ExpFloorSse2, 1, elements, workers),
                    workers);
      if (variants.size() > 1)
        bench::Timing(reg(std::string("expfloor/avx2/") + layout + w, BM_Copy, &ExpFloorAvx2, 1, elements, workers),
                      workers);
    };
    // In place, the values converge to 1/N over the repetitions, which costs the
    // exponential no more than any other input.
    const Layout softmax[] = {{"rows1000", 1000, 1, 1000 * 1024, false},   {"rows1000L2", 1000, 1, 1000 * 48, false},
                              {"rows1000inplace", 1000, 1, 1000 * 1024, true}, {"rows32000", 32000, 1, 32000 * 32, false},
                              {"strided64", 250, 64, 250 * 64 * 64, false}};
    for (const Layout& l : softmax) {
      copies(l.name, l.elements, 2, true);
      for (CpuVariant v : variants) {
        const std::string vn = vorta::host::VariantName(v);
        for (bool batch1 : {false, true}) {
          if (batch1 && l.S != 1) continue;
          const std::string name = "softmax/" + std::string(l.name) + "/" + vn + w + (batch1 ? "/batch1" : "");
          bench::Timing(reg(name, BM_Axis, VORTA_EXPORT_SOFTMAX_SOFTMAX, v, l.N, l.S, l.elements, workers, batch1,
                            l.inPlace),
                        workers);
          g_pairs.push_back({name, "memcpy2/" + std::string(l.name) + w, true});
          g_pairs.push_back({name, "expfloor/" + std::string(v == CpuVariant::Avx2 ? "avx2/" : "sse2/") + l.name + w,
                             true});
        }
      }
    }
    copies("ln4096x768", 4096 * 768, 3, false);
    copies("rows4096", 4096 * 4096, 1, false);
    copies("cumsum16Mi", 16 << 20, 1, false);
    for (CpuVariant v : variants) {
      const std::string vn = vorta::host::VariantName(v);
      std::string name = "layernorm/4096x768/" + vn + w;
      bench::Timing(reg(name, BM_LayerNorm, v, 4096, 768, workers), workers);
      g_pairs.push_back({name, "memcpy3/ln4096x768" + w, true});
      for (bool batch1 : {false, true}) {
        name = "argmax/rows4096/" + vn + w + (batch1 ? "/batch1" : "");
        bench::Timing(reg(name, BM_Axis, VORTA_EXPORT_ARGREDUCE_ARGMAX_FIRST_FLOAT, v, 4096, 1, 4096 * 4096, workers,
                          batch1, false),
                      workers);
        g_pairs.push_back({name, "memcpy1/rows4096" + w});
      }
      const Layout cumsum[] = {{"rows4096", 4096, 1, 16 << 20, false}, {"strided64", 256, 64, 16 << 20, false},
                               {"oneline", 16 << 20, 1, 16 << 20, false}};
      for (const Layout& l : cumsum) {
        name = "cumsum/" + std::string(l.name) + "/" + vn + w;
        bench::Timing(reg(name, BM_Axis, VORTA_EXPORT_CUMSUM_FLOAT, v, l.N, l.S, l.elements, workers, false, false),
                      workers);
        g_pairs.push_back({name, "memcpy1/cumsum16Mi" + w, true});
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Axis jobs relative to their baselines", "bytes_per_second",
                              g_pairs);
}
