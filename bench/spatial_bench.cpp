// The spatial jobs against the memory traffic they cannot avoid, through the
// same job system and worker count:
//   pad (constant, reflect) 64 × 56 × 56 → 64 × 58 × 58   vs memcpy of the output bytes
//   max pool 3 × 3, stride 2, padding 1, 64 × 112 × 112    vs reading the input once
//   bilinear resize 2× of 64 × 56 × 56                    vs writing the output once
//   bilinear grid sampling of 64 × 56 × 56, 56 × 56 grid  vs writing the output once
//
// Run (from the repository root, after building):
//   build/bench/spatial_bench --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
//
// Names read  <job>/<variant>/workers:<n>  and  <baseline>/<job>/workers:<n>. Every
// worker gets its own copy of the record, as a host's job system gives it. The
// table after the runs gives each job's time over its baseline's (pad: rate
// over memcpy's rate, so higher is better there; lower elsewhere).
#include <immintrin.h>
#include <stdint.h>
#include <string.h>

#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "frame/abi.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "vorta/vorta.h"

namespace {

using vorta::CpuVariant;

constexpr int kC = 64;

vorta::host::JobOptions Options(int workers) {
  vorta::host::JobOptions o = bench::Workers(workers);
  o.privateRecords = true;
  return o;
}

// A buffer of count floats kept under its name and size.
float* Buffer(const char* name, size_t count) {
  static std::vector<std::pair<std::string, bench::FloatBuffer>> kept;
  const std::string key = std::string(name) + "/" + std::to_string(count);
  for (auto& k : kept)
    if (k.first == key) return k.second.get();
  kept.emplace_back(key, bench::AllocateFloats(count));
  float* p = kept.back().second.get();
  for (size_t i = 0; i < count; ++i) p[i] = std::sin(float(i) * 0.37f);
  return p;
}

// ---- baselines ----

struct SpanJob {
  const float* source;
  float* destination;
};

VORTA_MSABI void CopyBatches(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t jobIndex) {
  const auto* j = static_cast<const SpanJob*>(job);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)
    if (begin < end) memcpy(j->destination + begin, j->source + begin, size_t(end - begin) * 4);
}

VORTA_MSABI void WriteBatches(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t jobIndex) {
  const auto* j = static_cast<const SpanJob*>(job);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)
    if (begin < end) memset(j->destination + begin, 0, size_t(end - begin) * 4);
}

// Reads its range once: a running maximum in four registers of four lanes.
VORTA_MSABI void ReadBatches(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t jobIndex) {
  const auto* j = static_cast<const SpanJob*>(job);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff) {
    __m128 m0 = _mm_set1_ps(-1e30f), m1 = m0, m2 = m0, m3 = m0;
    const float* p = j->source;
    int32_t i = begin;
    for (; i + 16 <= end; i += 16) {
      m0 = _mm_max_ps(m0, _mm_loadu_ps(p + i));
      m1 = _mm_max_ps(m1, _mm_loadu_ps(p + i + 4));
      m2 = _mm_max_ps(m2, _mm_loadu_ps(p + i + 8));
      m3 = _mm_max_ps(m3, _mm_loadu_ps(p + i + 12));
    }
    for (; i < end; ++i) m0 = _mm_max_ss(m0, _mm_load_ss(p + i));
    benchmark::DoNotOptimize(_mm_max_ps(_mm_max_ps(m0, m1), _mm_max_ps(m2, m3)));
  }
}

void BM_Baseline(benchmark::State& state, vorta::JobEntry entry, int32_t count, int workers) {
  SpanJob job{Buffer("baseline.source", size_t(count)), Buffer("baseline.destination", size_t(count))};
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, count, Options(workers));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * count * 4);
}

// ---- the jobs ----

template <class Job>
void RunTimed(benchmark::State& state, const char* exportName, Job& job, int32_t count, int workers,
              int64_t bytes) {
  const vorta::JobEntry entry = vorta::host::LinkedJob(exportName);
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, count, Options(workers));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_Pad(benchmark::State& state, CpuVariant v, uint32_t mode, int workers) {
  bench::UseVariant(v);
  VortaPadJob job{};
  job.input = Buffer("pad.in", kC * 56 * 56);
  job.output = Buffer("pad.out", kC * 58 * 58);
  job.mode = mode;
  job.rank = 3;
  const int32_t in[3] = {56, 56, kC}, out[3] = {58, 58, kC}, stride[3] = {1, 56, 56 * 56};
  for (int k = 0; k < 3; ++k) {
    job.inSize[k] = in[k];
    job.outSize[k] = out[k];
    job.inStride[k] = stride[k];
    job.padBefore[k] = k < 2 ? 1 : 0;
  }
  RunTimed(state, VORTA_EXPORT_PAD, job, kC * 58 * 58, workers, int64_t(kC) * 58 * 58 * 4);
}

void BM_MaxPool(benchmark::State& state, CpuVariant v, int workers) {
  bench::UseVariant(v);
  VortaPool2dJob job{Buffer("pool.in", kC * 112 * 112), Buffer("pool.out", kC * 56 * 56),
                     112, 112, 56, 56, 3, 3, 2, 2, 1, 1};
  RunTimed(state, VORTA_EXPORT_POOLING_MAX, job, kC * 56 * 56, workers, int64_t(kC) * 112 * 112 * 4);
}

void BM_Resize(benchmark::State& state, CpuVariant v, int workers) {
  bench::UseVariant(v);
  static std::vector<int32_t> tables(3 * (112 + 112));
  VortaResizeTableArgs args{tables.data(), 2, {56, 56, 0}, {112, 112, 0}, {0.5f, 0.5f, 0},
                            {-0.25f, -0.25f, 0}, 0};
  reinterpret_cast<VortaResizeTableFn>(vorta::host::LinkedKernel(VORTA_EXPORT_RESIZE_LINEAR_TABLES))(&args);
  VortaResizeJob job{Buffer("resize.in", kC * 56 * 56), tables.data(), Buffer("resize.out", kC * 112 * 112),
                     2, 56 * 56, 112, 112, 0, 0};
  RunTimed(state, VORTA_EXPORT_RESIZE_LINEAR, job, kC * 112 * 112, workers, int64_t(kC) * 112 * 112 * 4);
}

// A gentle rotation and zoom: every point inside, none on a pixel centre.
void BM_GridSample(benchmark::State& state, CpuVariant v, int workers) {
  bench::UseVariant(v);
  static std::vector<float> grid;
  if (grid.empty()) {
    for (int y = 0; y < 56; ++y)
      for (int x = 0; x < 56; ++x) {
        const float gx = (2 * x + 1) / 56.0f - 1, gy = (2 * y + 1) / 56.0f - 1;
        grid.push_back(0.9f * (0.99f * gx - 0.14f * gy));
        grid.push_back(0.9f * (0.14f * gx + 0.99f * gy));
      }
  }
  VortaGridSample2DJob job{Buffer("grid.in", kC * 56 * 56), grid.data(), Buffer("grid.out", kC * 56 * 56),
                           0, 0, 1, 0, {}, 56, 56, 56 * 56, 0, kC, 56 * 56};
  RunTimed(state, VORTA_EXPORT_GRIDSAMPLE_2D, job, kC * 56 * 56, workers, int64_t(kC) * 56 * 56 * 4);
}

std::vector<bench::RatioPair> g_pairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("spatial_bench");
  for (int workers : {1, 2}) {
    const std::string w = "/workers:" + std::to_string(workers);
    auto base = [&](const char* name, vorta::JobEntry e, int32_t count) {
      const std::string n = std::string(name) + w;
      bench::Timing(benchmark::RegisterBenchmark(n.c_str(), BM_Baseline, e, count, workers), workers);
      return n;
    };
    const std::string copy = base("memcpy/pad", &CopyBatches, kC * 58 * 58);
    const std::string read = base("read/pool", &ReadBatches, kC * 112 * 112);
    const std::string writeResize = base("write/resize", &WriteBatches, kC * 112 * 112);
    const std::string writeGrid = base("write/gridsample", &WriteBatches, kC * 56 * 56);
    for (CpuVariant v : variants) {
      const std::string vn = std::string("/") + vorta::host::VariantName(v) + w;
      auto add = [&](const std::string& name, auto* fn, const std::string& baseline, bool inverse,
                     auto... args) {
        bench::Timing(benchmark::RegisterBenchmark(name.c_str(), fn, v, args..., workers), workers);
        g_pairs.push_back({name, baseline, inverse});
      };
      add("pad/constant" + vn, BM_Pad, copy, false, 0u);
      add("pad/reflect" + vn, BM_Pad, copy, false, 1u);
      add("maxpool/3x3s2" + vn, BM_MaxPool, read, true);
      add("resize/bilinear2x" + vn, BM_Resize, writeResize, true);
      add("gridsample/bilinear" + vn, BM_GridSample, writeGrid, true);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Spatial jobs against their memory traffic",
                              "bytes_per_second", g_pairs);
}
