// The matrix product and the convolution against OpenBLAS, single-threaded, in
// the same run.
//
// Run (from the repository root, after building):
//   build/bench/matmul_bench                                  # everything, a few minutes
//   build/bench/matmul_bench --benchmark_filter=square/512    # one shape, every engine
//   build/bench/matmul_bench --benchmark_filter=scaling       # 1 and 2 workers on 512
//   build/bench/matmul_bench --benchmark_repetitions=5        # steadier ratios
//
// Names read  matmul/<shape>/<engine>,  conv/<shape>/<engine>,
//             scaling/square/512/<variant>/workers:<n>  and, for the host's calling
//             pattern (batch size 1, a record copy per worker: a = kept, b = fresh
//             every run), host/<shape>/<tiles>/<a|b>/<variant>/workers:<n> against
//             host/<shape>/openblas/threads:<n>:
//   build/bench/matmul_bench --benchmark_filter=host/ --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true    (one line)
//   OPENBLAS_CORETYPE=Nehalem build/bench/matmul_bench --benchmark_filter='host/square/1024/'
//       (the SSE2 variant against OpenBLAS restricted to an SSE kernel)
//   OPENBLAS_CORETYPE=Haswell build/bench/matmul_bench --benchmark_filter=host/
//       (where OpenBLAS detects an older kernel than the processor runs, as it
//       may on a virtual machine: compare the AVX2 variant with its AVX2 kernel)
// Engines: vorta_sse2 and vorta_avx2 (the job through the reference host, one
// worker), openblas (cblas_sgemm on one thread; for a convolution, an im2col of
// the whole image followed by cblas_sgemm of the same product, both timed).
//
// Every benchmark reports `flops`, the floating-point operations per second
// (2 M N K for a product; "85.0G/s" reads 85 GFLOP/s). The table printed after
// the runs gives each engine's rate over OpenBLAS's, and the 2-worker rate over
// the 1-worker rate. On a shared machine, compare ratios from one run, not
// absolute figures across runs.
//
// The benchmark plays the host: it picks the tile sizes (row bands of 64,
// column bands of 256), leaves the batch size to the job system, and keeps the
// job's scratch in the record between iterations. The scaling runs give every
// worker its own copy of the record, kept across iterations, as a host must
// once the record holds scratch.
#include <cblas.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "tensor/matmul_records.h"

namespace {

using vorta::ConvJob;
using vorta::CpuVariant;
using vorta::MatMulJob;

constexpr const char* kMatMulExport = "ccbcd27cf5481b58f6b454456e31db3d";
constexpr const char* kConvExport = "8d344fc206a3deec43add40022db37ce";

// ---- buffers ------------------------------------------------------------------

std::vector<float> RandomFloats(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (float& x : v) x = dist(rng);
  return v;
}

void FreeScratch(void* p) {
  if (p) vorta::host::service::Free(p, 2);
}

// ---- matrix product -----------------------------------------------------------

struct Shape {
  const char* name;
  int M, N, K;
};

const Shape kShapes[] = {
    {"square/64", 64, 64, 64},      {"square/128", 128, 128, 128},
    {"square/256", 256, 256, 256},  {"square/512", 512, 512, 512},
    {"square/1024", 1024, 1024, 1024}, {"M1_N768_K768", 1, 768, 768},
    {"M16_N768_K768", 16, 768, 768}, {"M128_N768_K768", 128, 768, 768},
};

struct Operands {
  std::vector<float> a, b, c;
  explicit Operands(const Shape& s)
      : a(RandomFloats(size_t(s.M) * s.K, 1)),
        b(RandomFloats(size_t(s.K) * s.N, 2)),
        c(size_t(s.M) * s.N, 0.0f) {}
};

// One untransposed product in one batch, tiled as a host would.
MatMulJob ProductRecord(const Shape& s, Operands& o) {
  MatMulJob job;
  memset(&job, 0, sizeof job);
  job.aMatrices = o.a.data();
  job.bMatrices = o.b.data();
  job.outMatrices = o.c.data();
  job.M = s.M, job.N = s.N, job.K = s.K;
  job.lda = s.K, job.ldb = s.N, job.ldc = s.N;
  job.tileM = 64, job.tileN = 256, job.tileK = 256;
  job.tilesPerMatrix = s.M < s.N ? (s.N + job.tileN - 1) / job.tileN
                                 : (s.M + job.tileM - 1) / job.tileM;
  return job;
}

void SetFlops(benchmark::State& state, double perIteration) {
  state.counters["flops"] =
      benchmark::Counter(perIteration, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_VortaMatMul(benchmark::State& state, Shape s, CpuVariant variant) {
  bench::UseVariant(variant);
  Operands o(s);
  MatMulJob job = ProductRecord(s, o);
  vorta::JobEntry entry = vorta::host::LinkedJob(kMatMulExport);
  vorta::host::JobOptions options;
  options.workers = 1;
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, job.tilesPerMatrix, options);
    benchmark::ClobberMemory();
  }
  SetFlops(state, 2.0 * s.M * s.N * s.K);
  FreeScratch(job.aPanel);
  FreeScratch(job.bPanel);
  FreeScratch(job.cTile);
}

void BM_OpenBlasMatMul(benchmark::State& state, Shape s) {
  Operands o(s);
  for (auto _ : state) {
    cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, s.M, s.N, s.K, 1.0f, o.a.data(), s.K,
                o.b.data(), s.N, 0.0f, o.c.data(), s.N);
    benchmark::ClobberMemory();
  }
  SetFlops(state, 2.0 * s.M * s.N * s.K);
}

// A host that keeps one copy of the record per worker across runs: each job
// call runs on its worker's copy, whose scratch is taken on the first run and
// reused after.
struct PerWorkerRecords {
  vorta::JobEntry entry;
  MatMulJob records[2];
};

VORTA_MSABI void RunOnWorkerRecord(void* job, void* additional, void* patch,
                                   vorta::BatchRanges* ranges, uint32_t jobIndex) {
  auto* w = static_cast<PerWorkerRecords*>(job);
  w->entry(&w->records[jobIndex], additional, patch, ranges, jobIndex);
}

// 1 or 2 workers, each on its own copy of the record.
void BM_Scaling(benchmark::State& state, Shape s, CpuVariant variant, int workers) {
  bench::UseVariant(variant);
  Operands o(s);
  PerWorkerRecords w;
  w.entry = vorta::host::LinkedJob(kMatMulExport);
  w.records[0] = w.records[1] = ProductRecord(s, o);
  vorta::host::JobOptions options;
  options.workers = workers;
  for (auto _ : state) {
    vorta::host::RunJob(RunOnWorkerRecord, &w, sizeof w, w.records[0].tilesPerMatrix, options);
    benchmark::ClobberMemory();
  }
  SetFlops(state, 2.0 * s.M * s.N * s.K);
  for (const MatMulJob& used : w.records) {
    FreeScratch(used.aPanel);
    FreeScratch(used.bPanel);
    FreeScratch(used.cTile);
  }
}

// ---- the host's calling pattern ------------------------------------------------
//
// A job-system host hands out one job index at a time (batch size 1) with work
// stealing and gives every worker its own copy of the record: (a) kept across
// runs, so scratch is taken once; (b) fresh for every run, so scratch is
// allocated, first touched and released each time (inside the timing).
// Timed by the CPU time of the whole process (every worker and OpenBLAS
// thread), which holds up on a machine shared with other work: a rate is then
// flops per CPU second, and 2 workers over 1 is the per-core efficiency of the
// split (1.0 would be a 2x wall-clock speed-up on two free cores).

struct Tiles {
  const char* name;
  int tileM, tileN, tileK;
};

static int RoundUpTo(int n, int to) { return (n + to - 1) / to * to; }

// The tiles README recommends: about four bands of the long side (two per
// worker of a two-worker host, so stealing evens them out). With batch size 1
// every band packs the other operand whole for itself, so the fewer and larger
// the bands, the fewer copies of it. The cross tile sizes the panels: A's must
// hold a band's rows (up to the job's 144-row block, rounded to the 6-row
// register tile) at a pass depth of 256; B's 64 columns when one A block
// covers the band, else up to 512, so that the job can keep B packed while the
// band's A blocks go past.
Tiles RecommendedTiles(const Shape& s) {
  if (s.M >= s.N) {
    const int band = RoundUpTo((s.M + 3) / 4, 6);
    return {"recommended", band, band <= 144 ? 64 : std::min(512, RoundUpTo(s.N, 16)), 256};
  }
  return {"recommended", std::min(144, RoundUpTo(s.M, 6)), std::min(512, RoundUpTo((s.N + 3) / 4, 16)),
          256};
}
const Tiles kPlainTiles = {"64x64x256", 64, 64, 256};

struct HostRecords {
  vorta::JobEntry entry;
  MatMulJob records[2];  // one per worker
  bool fresh;            // (b): each call runs on a fresh copy, released after
};

VORTA_MSABI void RunAsHost(void* job, void* additional, void* patch, vorta::BatchRanges* ranges,
                           uint32_t jobIndex) {
  auto* h = static_cast<HostRecords*>(job);
  if (!h->fresh) return h->entry(&h->records[jobIndex], additional, patch, ranges, jobIndex);
  MatMulJob copy = h->records[jobIndex];
  h->entry(&copy, additional, patch, ranges, jobIndex);
  FreeScratch(copy.aPanel);
  FreeScratch(copy.bPanel);
}

void BM_HostPattern(benchmark::State& state, Shape s, Tiles t, CpuVariant variant, int workers,
                    bool fresh) {
  bench::UseVariant(variant);
  Operands o(s);
  HostRecords h;
  h.entry = vorta::host::LinkedJob(kMatMulExport);
  h.fresh = fresh;
  MatMulJob job = ProductRecord(s, o);
  job.tileM = t.tileM, job.tileN = t.tileN, job.tileK = t.tileK;
  job.tilesPerMatrix = s.M < s.N ? (s.N + t.tileN - 1) / t.tileN : (s.M + t.tileM - 1) / t.tileM;
  h.records[0] = h.records[1] = job;
  vorta::host::JobOptions options;
  options.workers = workers;
  options.batchSize = 1;
  for (auto _ : state) {
    vorta::host::RunJob(RunAsHost, &h, sizeof h, job.tilesPerMatrix, options);
    benchmark::ClobberMemory();
  }
  SetFlops(state, 2.0 * s.M * s.N * s.K);
  for (const MatMulJob& used : h.records) {
    FreeScratch(used.aPanel);
    FreeScratch(used.bPanel);
  }
}

// OpenBLAS on 1 or 2 threads; each benchmark is its own block of iterations,
// so its threads' spinning after a call only meets its own next call.
void BM_OpenBlasThreads(benchmark::State& state, Shape s, int threads) {
  openblas_set_num_threads(threads);
  BM_OpenBlasMatMul(state, s);
  openblas_set_num_threads(1);
}

// ---- convolution --------------------------------------------------------------

struct ConvShape {
  const char* name;
  int inChannels, outChannels, height, width, kernel, pad;
};

const ConvShape kConvShapes[] = {
    {"3x3_64to64_56x56", 64, 64, 56, 56, 3, 1},
    {"1x1_256to256_56x56", 256, 256, 56, 56, 1, 0},
};

struct ConvData {
  std::vector<float> input, weights, bias, output, columns;
  int depth, positions;
  explicit ConvData(const ConvShape& s)
      : input(RandomFloats(size_t(s.inChannels) * s.height * s.width, 3)),
        weights(RandomFloats(size_t(s.outChannels) * s.inChannels * s.kernel * s.kernel, 4)),
        bias(RandomFloats(size_t(s.outChannels), 5)),
        output(size_t(s.outChannels) * s.height * s.width),
        depth(s.inChannels * s.kernel * s.kernel),
        positions(s.height * s.width) {}
};

double ConvFlops(const ConvShape& s) {
  return 2.0 * s.outChannels * s.inChannels * s.kernel * s.kernel * s.height * s.width;
}

void BM_VortaConv(benchmark::State& state, ConvShape s, CpuVariant variant) {
  bench::UseVariant(variant);
  ConvData d(s);
  ConvJob job;
  memset(&job, 0, sizeof job);
  job.input = d.input.data();
  job.output = d.output.data();
  job.bias = d.bias.data();
  job.weights = d.weights.data();
  job.hasBias = 1;
  job.groups = 1;
  job.inChannels = s.inChannels;
  job.outChannels = s.outChannels;
  job.spatialRank = 2;
  job.inPlane = s.height * s.width;
  job.kernelSize = s.kernel * s.kernel;
  job.outSpatial = d.positions;
  job.inSize[0] = s.height, job.inSize[1] = s.width;
  job.kernel[0] = job.kernel[1] = s.kernel;
  job.outSize[0] = s.height, job.outSize[1] = s.width;
  job.stride[0] = job.stride[1] = 1;
  job.padBegin[0] = job.padBegin[1] = s.pad;
  job.dilation[0] = job.dilation[1] = 1;
  job.minValue = 0.0f;
  job.tilesPerImage = s.outChannels < d.positions
                          ? (d.positions + vorta::kConvTilePositions - 1) / vorta::kConvTilePositions
                          : (s.outChannels + vorta::kConvTileChannels - 1) / vorta::kConvTileChannels;
  vorta::JobEntry entry = vorta::host::LinkedJob(kConvExport);
  vorta::host::JobOptions options;
  options.workers = 1;
  options.batchSize = 1;
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, job.tilesPerImage, options);
    benchmark::ClobberMemory();
  }
  SetFlops(state, ConvFlops(s));
  FreeScratch(job.columns);
}

// The baseline: the whole im2col matrix ([inChannels * k * k][positions], stride
// 1), then one sgemm of the weights with it, then the bias and the rectifier.
void BM_OpenBlasConv(benchmark::State& state, ConvShape s) {
  ConvData d(s);
  d.columns.resize(size_t(d.depth) * d.positions);
  const int H = s.height, W = s.width, k = s.kernel;
  for (auto _ : state) {
    // Row (ic, ky, kx) of the column matrix: for each output row, the valid
    // input run copied, zeros where the window leaves the input.
    float* col = d.columns.data();
    for (int ic = 0; ic < s.inChannels; ++ic)
      for (int ky = 0; ky < k; ++ky)
        for (int kx = 0; kx < k; ++kx)
          for (int oy = 0; oy < H; ++oy, col += W) {
            const int y = oy + ky - s.pad;
            const int lo = std::max(0, s.pad - kx), hi = std::min(W, W + s.pad - kx);
            if (y < 0 || y >= H) {
              std::fill(col, col + W, 0.0f);
              continue;
            }
            std::fill(col, col + lo, 0.0f);
            memcpy(col + lo, &d.input[(size_t(ic) * H + y) * W + lo + kx - s.pad],
                   size_t(hi - lo) * sizeof(float));
            std::fill(col + hi, col + W, 0.0f);
          }
    cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, s.outChannels, d.positions, d.depth,
                1.0f, d.weights.data(), d.depth, d.columns.data(), d.positions, 0.0f,
                d.output.data(), d.positions);
    for (int oc = 0; oc < s.outChannels; ++oc) {
      float* o = d.output.data() + size_t(oc) * d.positions;
      for (int p = 0; p < d.positions; ++p) o[p] = std::max(o[p] + d.bias[oc], 0.0f);
    }
    benchmark::ClobberMemory();
  }
  SetFlops(state, ConvFlops(s));
}

// ---- registration -------------------------------------------------------------

std::vector<bench::RatioPair> g_ratios;

const char* EngineName(CpuVariant v) {
  return v == CpuVariant::Avx2 ? "vorta_avx2" : "vorta_sse2";
}

// Registers the OpenBLAS baseline and each variant of one shape, each variant
// paired with the baseline in the ratio table.
template <class S, class Baseline, class Vorta>
void RegisterShape(const std::string& base, const S& s, Baseline baseline, Vorta vorta,
                   const std::vector<CpuVariant>& variants) {
  benchmark::RegisterBenchmark((base + "openblas").c_str(), baseline, s)
      ->Unit(benchmark::kMicrosecond);
  for (CpuVariant v : variants) {
    benchmark::RegisterBenchmark((base + EngineName(v)).c_str(), vorta, s, v)
        ->Unit(benchmark::kMicrosecond);
    g_ratios.push_back({base + EngineName(v), base + "openblas"});
  }
}

void RegisterHostPattern(const std::vector<CpuVariant>& variants) {
  const Shape shapes[] = {kShapes[2], kShapes[3], kShapes[4], kShapes[7]};
  for (const Shape& s : shapes) {
    const std::string base = std::string("host/") + s.name + "/";
    for (int threads : {1, 2})
      benchmark::RegisterBenchmark((base + "openblas/threads:" + std::to_string(threads)).c_str(),
                                   BM_OpenBlasThreads, s, threads)
          ->Unit(benchmark::kMicrosecond)
          ->MeasureProcessCPUTime();
    for (const Tiles& t : {RecommendedTiles(s), kPlainTiles})
      for (CpuVariant v : variants) {
        if (v == CpuVariant::Sse2 && s.M != 1024) continue;  // SSE2 at 1024 only
        for (bool fresh : {false, true}) {
          const std::string name = base + t.name + (fresh ? "/b/" : "/a/") + EngineName(v);
          for (int workers : {1, 2}) {
            const std::string full = name + "/workers:" + std::to_string(workers);
            benchmark::RegisterBenchmark(full.c_str(), BM_HostPattern, s, t, v, workers, fresh)
                ->Unit(benchmark::kMicrosecond)
                ->MeasureProcessCPUTime();
            // 1 worker at least OpenBLAS on 1 thread with kept records, 0.9 with fresh
            // ones; 2 workers 0.95 of OpenBLAS on 2; the plain tiles 0.85.
            const bool plain = std::string(t.name) == kPlainTiles.name;
            g_ratios.push_back({full, base + "openblas/threads:" + std::to_string(workers), false,
                                plain ? 0.85 : workers == 2 ? 0.95 : fresh ? 0.9 : 1.0});
          }
          g_ratios.push_back({name + "/workers:2", name + "/workers:1", false,
                              s.M == 1024 && !fresh ? 1.85 : 0.0});
        }
      }
  }
}

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("matmul_bench");
  RegisterHostPattern(variants);

  for (const Shape& s : kShapes)
    RegisterShape(std::string("matmul/") + s.name + "/", s, BM_OpenBlasMatMul, BM_VortaMatMul,
                  variants);
  for (const ConvShape& s : kConvShapes)
    RegisterShape(std::string("conv/") + s.name + "/", s, BM_OpenBlasConv, BM_VortaConv,
                  variants);
  const Shape& s512 = kShapes[3];
  for (CpuVariant v : variants) {
    const std::string base = std::string("scaling/square/512/") + EngineName(v) + "/workers:";
    for (int workers : {1, 2})
      bench::Timing(benchmark::RegisterBenchmark((base + std::to_string(workers)).c_str(),
                                                 BM_Scaling, s512, v, workers),
                    2);
    g_ratios.push_back({base + "2", base + "1"});
  }
}

}  // namespace

int main(int argc, char** argv) {
  openblas_set_num_threads(1);
  return bench::RunWithRatios(argc, argv, RegisterAll, "GFLOP/s over OpenBLAS's, 2 workers over 1",
                              "flops", g_ratios);
}
