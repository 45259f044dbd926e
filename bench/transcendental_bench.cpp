// The exponential and GELU maps against a bare loop over the same array that
// calls the SLEEF functions they are built on (eight-lane forms for the AVX2
// variant, four-lane SSE2 forms for the SSE2 variant): the floor of their cost.
//
// Run (from the repository root, after building):
//   build/bench/transcendental_bench
//   build/bench/transcendental_bench --benchmark_filter=gelu
//
// Names read  map/<member>/<variant>/<size>/workers:<n>  and
//             floor/<member>/<variant>/<size>/workers:<n>.
// Sizes: L2 = 64 Ki floats (256 KiB in, as much out), DRAM = 16 Mi (64 MiB).
// The floor runs through the same job system, worker count and batches. One
// worker is timed on the CPU clock of the calling thread, more on the wall clock. The
// table after the runs divides each map's elements per second by its floor's,
// and the AVX2 map's by the SSE2 map's.
#include <immintrin.h>
#include <sleef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "frame/abi.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/map_records.h"

namespace {

using vorta::CpuVariant;

using bench::SizeClass;
const SizeClass kSizes[] = {{"L2", 64 << 10}, {"DRAM", 16 << 20}};

// ---- the floors: the SLEEF calls alone ----

struct FloorJob {
  const float* in;
  float* out;
};

// The batch loop of a floor: whole blocks through the SLEEF calls, the tail
// through a padded block. Written as a macro so that the AVX2 floors are
// compiled for AVX2 throughout, with the calls inlined into the loop as in
// the library.
#define VORTA_FLOOR(name, Vec, kWidth, load, store, ...)                                      \
  VORTA_MSABI void name(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t index) { \
    const auto* j = static_cast<const FloorJob*>(job);                                        \
    auto block = [](const float* x, float* y) {                                               \
      const Vec v = load(x);                                                                  \
      store(y, __VA_ARGS__);                                                                  \
    };                                                                                        \
    int32_t begin, end;                                                                       \
    while (vorta::host::service::GetWorkStealingRange(ranges, index, &begin, &end) & 0xff) {  \
      int32_t i = begin;                                                                      \
      for (; i + kWidth <= end; i += kWidth) block(j->in + i, j->out + i);                    \
      for (; i < end; ++i) {                                                                  \
        float x[kWidth] = {}, y[kWidth];                                                      \
        x[0] = j->in[i];                                                                      \
        block(x, y);                                                                          \
        j->out[i] = y[0];                                                                     \
      }                                                                                       \
    }                                                                                         \
  }

VORTA_FLOOR(ExpFloorSse2, __m128, 4, _mm_loadu_ps, _mm_storeu_ps, Sleef_expf4_u10sse2(v))
VORTA_FLOOR(GeluFloorSse2, __m128, 4, _mm_loadu_ps, _mm_storeu_ps,
            Sleef_tanhf4_u35sse2(Sleef_powf4_u10sse2(v, _mm_set1_ps(3.0f))))

// sleef.h declares the eight-lane forms only when the compiler targets AVX;
// this program is built for the baseline processor.
extern "C" {
__m256 Sleef_expf8_u10avx2(__m256);
__m256 Sleef_powf8_u10avx2(__m256, __m256);
__m256 Sleef_tanhf8_u35avx2(__m256);
}

#pragma GCC push_options
#pragma GCC target("avx2,fma")
VORTA_FLOOR(ExpFloorAvx2, __m256, 8, _mm256_loadu_ps, _mm256_storeu_ps, Sleef_expf8_u10avx2(v))
VORTA_FLOOR(GeluFloorAvx2, __m256, 8, _mm256_loadu_ps, _mm256_storeu_ps,
            Sleef_tanhf8_u35avx2(Sleef_powf8_u10avx2(v, _mm256_set1_ps(3.0f))))
#pragma GCC pop_options

#undef VORTA_FLOOR

struct Member {
  const char* name;
  const char* exportName;
  vorta::JobEntry floorSse2, floorAvx2;
};
const Member kMembers[] = {
    {"exp", "cedd2e3f2b630df26122234f45d119f2", ExpFloorSse2, ExpFloorAvx2},
    {"gelu", "c302c26a0e34eb765a4fb73cc154a5c3", GeluFloorSse2, GeluFloorAvx2},
};

void BM_Map(benchmark::State& state, const Member& m, CpuVariant v, int32_t elements, int workers) {
  bench::UseVariant(v);
  bench::InOut& a = bench::InOutFor(elements, -8.0f, 8.0f);
  vorta::UnaryMapJob job{a.input.get(), a.output.get(), elements, 0, 0};
  const vorta::JobEntry entry = vorta::host::LinkedJob(m.exportName);
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, elements, bench::Workers(workers));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * elements);
}

void BM_Floor(benchmark::State& state, vorta::JobEntry floor, int32_t elements, int workers) {
  bench::InOut& a = bench::InOutFor(elements, -8.0f, 8.0f);
  FloorJob job{a.input.get(), a.output.get()};
  for (auto _ : state) {
    vorta::host::RunJob(floor, &job, sizeof job, elements, bench::Workers(workers));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * elements);
}

std::vector<bench::RatioPair> g_pairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("transcendental_bench");
  for (const SizeClass& s : kSizes) {
    for (int workers : {1, 2}) {
      for (const Member& m : kMembers) {
        std::string sse2;
        for (CpuVariant v : variants) {
          const std::string tail = std::string("/") + m.name + "/" + vorta::host::VariantName(v) + "/" +
                                   s.name + "/workers:" + std::to_string(workers);
          const vorta::JobEntry floor = v == CpuVariant::Avx2 ? m.floorAvx2 : m.floorSse2;
          bench::Timing(benchmark::RegisterBenchmark(("floor" + tail).c_str(), BM_Floor, floor,
                                                     s.elements, workers),
                        workers);
          bench::Timing(
              benchmark::RegisterBenchmark(("map" + tail).c_str(), BM_Map, m, v, s.elements, workers),
              workers);
          g_pairs.push_back({"map" + tail, "floor" + tail});
          if (v == CpuVariant::Sse2) sse2 = "map" + tail;
          else g_pairs.push_back({"map" + tail, sse2});
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Elements per second relative to the baseline",
                              "items_per_second", g_pairs);
}
