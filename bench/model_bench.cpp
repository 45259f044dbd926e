// The model-level kernels against the baselines their cost is judged by.
//
// Run (from the repository root, after building):
//   build/bench/model_bench                                  # everything
//   build/bench/model_bench --benchmark_filter=random/       # one group
//   build/bench/model_bench --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
//
// Groups and baselines (each measured in the same run, same worker count):
//   random/{uniform,normal}     16 Mi floats        memcpy of the same 64 MiB
//   topk/k100                   one line of 10^6    one vectorised read of the line
//   topk/k5_rows                4096 rows of 1000   one read of the same data
//   nms/overlap                 5000 boxes          a plain double loop over the pairs
//   nms/select                  one row of 5000     (time only)
//   lstm/step                   batch 32, Hs 512    memcpy of the gate projections it reads,
//                                                   and the two gate products (cblas_sgemm)
//   pmaps/<member>              16 Mi elements      memcpy of the same input bytes
// The rate counter is elements per second, except for pmaps and their memcpy
// baselines, where it is bytes read plus bytes written. "time over" lines are
// time ratios (goal: at most N), the others rate ratios (goal: at least N).
// Jobs run with a private record copy per worker, as a host schedules them.
#include <cblas.h>
#include <emmintrin.h>
#include <stdint.h>
#include <string.h>

#include <cmath>
#include <string>
#include <vector>

#include <vorta/vorta.h>

#include "bench/bench_util.h"
#include "tensor/map_records.h"

namespace {

using vorta::BatchRanges;
using vorta::CpuVariant;

constexpr int32_t kDram = 16 << 20;

vorta::host::JobOptions Options(int workers, int32_t batch = 0) {
  vorta::host::JobOptions o = bench::Workers(workers);
  o.privateRecords = true;
  o.batchSize = batch;
  return o;
}

void SetRate(benchmark::State& state, double perIteration) {
  state.counters["rate"] = benchmark::Counter(double(state.iterations()) * perIteration, benchmark::Counter::kIsRate);
}

// Runs a job (an export name, or a baseline entry) over `length` indices per iteration.
template <class Record>
void RunEntry(benchmark::State& state, vorta::JobEntry entry, Record& rec, int32_t length,
              const vorta::host::JobOptions& o, double perIteration) {
  for (auto _ : state) {
    vorta::host::RunJob(entry, &rec, sizeof rec, length, o);
    benchmark::ClobberMemory();
  }
  SetRate(state, perIteration);
}

// ---- baselines run as jobs ----

using bench::CopyBatches;
using bench::CopyJob;

// One read of rows of `n` floats per index, kept alive through a max.
struct ReadJob {
  const float* data;
  int32_t n;
  float* sink;
};
VORTA_MSABI void ReadBatches(void* job, void*, void*, BatchRanges* ranges, uint32_t jobIndex) {
  const auto* j = static_cast<const ReadJob*>(job);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff) {
    for (int32_t r = begin; r < end; ++r) {
      const float* x = j->data + size_t(r) * j->n;
      __m128 a = _mm_set1_ps(-INFINITY), b = a, c = a, d = a;
      int32_t i = 0;
      for (; i + 16 <= j->n; i += 16) {
        a = _mm_max_ps(a, _mm_loadu_ps(x + i));
        b = _mm_max_ps(b, _mm_loadu_ps(x + i + 4));
        c = _mm_max_ps(c, _mm_loadu_ps(x + i + 8));
        d = _mm_max_ps(d, _mm_loadu_ps(x + i + 12));
      }
      float m = _mm_cvtss_f32(_mm_max_ps(_mm_max_ps(a, b), _mm_max_ps(c, d)));
      for (; i < j->n; ++i) m = m > x[i] ? m : x[i];
      j->sink[r & 15] = m;
    }
  }
}

std::vector<uint8_t>& Bytes(int which) {  // two 64 MiB buffers
  static std::vector<uint8_t> b[2] = {std::vector<uint8_t>(size_t(kDram) * 4, 1), std::vector<uint8_t>(size_t(kDram) * 4, 0)};
  return b[which];
}

void BM_Copy(benchmark::State& state, int elementBytes, int32_t elements, int workers, bool countBytes) {
  CopyJob job{Bytes(0).data(), Bytes(1).data(), elementBytes};
  RunEntry(state, &CopyBatches, job, elements, Options(workers), countBytes ? 2.0 * elements * elementBytes : elements);
}

// ---- random fill ----

void BM_Random(benchmark::State& state, const char* name, CpuVariant v, int workers) {
  bench::UseVariant(v);
  VortaRandomFillJob job{reinterpret_cast<float*>(Bytes(1).data()), 7, 0.0f, 1.0f};
  RunEntry(state, vorta::host::LinkedJob(name), job, kDram, Options(workers), kDram);
}

// ---- top-k ----

void BM_TopK(benchmark::State& state, CpuVariant v, int32_t rows, int32_t n, int32_t k, int workers) {
  bench::UseVariant(v);
  bench::InOut& a = bench::InOutFor(rows * n, -1.0f, 1.0f);
  static std::vector<int32_t> idx(size_t(1) << 20);
  VortaTopKJob job{a.input.get(), a.output.get(), idx.data(), n, 1, k, 1};
  RunEntry(state, vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_TOPK), job, rows, Options(workers), double(rows) * n);
}

void BM_Read(benchmark::State& state, int32_t rows, int32_t n, int workers) {
  bench::InOut& a = bench::InOutFor(rows * n, -1.0f, 1.0f);
  ReadJob job{a.input.get(), n, a.output.get()};
  RunEntry(state, &ReadBatches, job, rows, Options(workers), double(rows) * n);
}

// ---- non-maximum suppression ----

constexpr int kBoxes = 5000;

struct BoxSet {
  std::vector<float> boxes, scores;
  std::vector<uint8_t> flags;
  std::vector<int32_t> order, selected;
};
BoxSet& Boxes() {
  static BoxSet s = [] {
    BoxSet b;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> pos(0.0f, 1000.0f), size(5.0f, 60.0f), score(0.0f, 1.0f);
    for (int i = 0; i < kBoxes; ++i) {
      b.boxes.insert(b.boxes.end(), {pos(rng), pos(rng), size(rng), size(rng)});
      b.scores.push_back(score(rng));
    }
    b.flags.resize(size_t(kBoxes) * kBoxes);
    b.order.resize(kBoxes);
    b.selected.resize(kBoxes);
    return b;
  }();
  return s;
}

void BM_Overlap(benchmark::State& state, CpuVariant v, int workers) {
  bench::UseVariant(v);
  BoxSet& b = Boxes();
  VortaOverlapJob job{b.boxes.data(), b.flags.data(), kBoxes, 0.5f, 1, 0};
  RunEntry(state, vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_OVERLAP), job, kBoxes * kBoxes, Options(workers),
           double(kBoxes) * kBoxes);
}

// The plain loop: IoU of every pair in double, centre boxes.
void BM_OverlapDoubleLoop(benchmark::State& state) {
  BoxSet& b = Boxes();
  for (auto _ : state) {
    for (int i = 0; i < kBoxes; ++i) {
      const float* p = &b.boxes[4 * i];
      for (int j = 0; j < kBoxes; ++j) {
        const float* q = &b.boxes[4 * j];
        const double l = std::max(p[0] - 0.5 * p[2], q[0] - 0.5 * q[2]), r = std::min(p[0] + 0.5 * p[2], q[0] + 0.5 * q[2]);
        const double t = std::max(p[1] - 0.5 * p[3], q[1] - 0.5 * q[3]), o = std::min(p[1] + 0.5 * p[3], q[1] + 0.5 * q[3]);
        const double inter = l > r || t > o ? 0 : (r - l) * (o - t);
        b.flags[size_t(i) * kBoxes + j] = inter / (double(p[2]) * p[3] + double(q[2]) * q[3] - inter) > 0.5;
      }
    }
    benchmark::ClobberMemory();
  }
  SetRate(state, double(kBoxes) * kBoxes);
}

void BM_Select(benchmark::State& state, CpuVariant v) {
  bench::UseVariant(v);
  BoxSet& b = Boxes();
  VortaOverlapJob ov{b.boxes.data(), b.flags.data(), kBoxes, 0.5f, 1, 0};
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_OVERLAP), &ov, sizeof ov, kBoxes * kBoxes);
  VortaSelectJob job{b.flags.data(), b.scores.data(), b.order.data(), b.selected.data(), 1, kBoxes, kBoxes, 0.0f};
  RunEntry(state, vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_SELECT), job, 1, Options(1), kBoxes);
}

// ---- the recurrent cell step ----

constexpr int kBatch = 32, kHidden = 512, kGates = 4 * kHidden;

struct LstmData {
  std::vector<float> peep, bias, x, r, out, cell, hidden, input, w, rw;
  std::vector<int32_t> seq;
};
LstmData& Lstm() {
  static LstmData d = [] {
    LstmData l;
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    auto fill = [&](std::vector<float>& v, size_t n) {
      v.resize(n);
      for (auto& e : v) e = u(rng);
    };
    fill(l.peep, 3 * kHidden);
    fill(l.bias, 8 * kHidden);
    fill(l.x, size_t(kBatch) * kGates);
    fill(l.r, size_t(kBatch) * kGates);
    fill(l.out, size_t(kBatch) * kHidden);
    fill(l.cell, size_t(kBatch) * kHidden);
    fill(l.hidden, size_t(kBatch) * kHidden);
    fill(l.input, size_t(kBatch) * kHidden);
    fill(l.w, size_t(kHidden) * kGates);
    fill(l.rw, size_t(kHidden) * kGates);
    l.seq.assign(kBatch, 1 << 30);
    return l;
  }();
  return d;
}

void BM_LstmStep(benchmark::State& state, CpuVariant v, int workers, int32_t batch) {
  bench::UseVariant(v);
  LstmData& d = Lstm();
  VortaRecurrentStepJob job{d.peep.data(), d.bias.data(), d.x.data(), d.r.data(), d.out.data(), d.cell.data(),
                            d.hidden.data(), d.seq.data(), 0, kGates, kHidden, kHidden, 0, {}, 3.4028235e38f,
                            2, 0, 0, 1, 0, 0, 1, 0, 0, {}};
  RunEntry(state, vorta::host::LinkedJob(VORTA_EXPORT_LSTM_STEP), job, kBatch, Options(workers, batch), kBatch);
}

// One pass over the two gate projections the step reads.
void BM_LstmGateCopy(benchmark::State& state) {
  LstmData& d = Lstm();
  std::vector<float> dst(2 * d.x.size());
  for (auto _ : state) {
    memcpy(dst.data(), d.x.data(), d.x.size() * 4);
    memcpy(dst.data() + d.x.size(), d.r.data(), d.r.size() * 4);
    benchmark::ClobberMemory();
  }
  SetRate(state, kBatch);
}

// The host's two products before the step: input × W and hidden × R, one thread.
void BM_LstmGemms(benchmark::State& state) {
  LstmData& d = Lstm();
  openblas_set_num_threads(1);
  for (auto _ : state) {
    cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, kBatch, kGates, kHidden, 1.0f, d.input.data(), kHidden,
                d.w.data(), kGates, 0.0f, d.x.data(), kGates);
    cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, kBatch, kGates, kHidden, 1.0f, d.hidden.data(), kHidden,
                d.rw.data(), kGates, 0.0f, d.r.data(), kGates);
    benchmark::ClobberMemory();
  }
  SetRate(state, kBatch);
}

// ---- parameterised maps ----

struct PMap {
  const char* name;
  const char* exportName;
  int inBytes, outBytes;
  int record;  // 0 span (UnaryMapJob), 1 infinity test, 2 dequantize
};
const PMap kPMaps[] = {
    {"hard_sigmoid", VORTA_EXPORT_PARAM_MAPS_HARD_SIGMOID, 4, 4, 0},
    {"gelu_erf", VORTA_EXPORT_PARAM_MAPS_GELU_ERF, 4, 4, 0},
    {"shrink", VORTA_EXPORT_PARAM_MAPS_SHRINK, 4, 4, 0},
    {"infinity_test", VORTA_EXPORT_PARAM_MAPS_INFINITY_TEST, 4, 4, 1},
    {"dequantize", VORTA_EXPORT_PARAM_MAPS_DEQUANTIZE, 1, 4, 2},
};

void BM_PMap(benchmark::State& state, const PMap& m, CpuVariant v, int workers) {
  bench::UseVariant(v);
  bench::InOut& a = bench::InOutFor(kDram, -4.0f, 4.0f);
  const double bytes = double(kDram) * (m.inBytes + m.outBytes);
  vorta::JobEntry e = vorta::host::LinkedJob(m.exportName);
  if (m.record == 0) {
    vorta::UnaryMapJob job{a.input.get(), a.output.get(), kDram, 0x3e4ccccdu, 0x3f000000u};
    RunEntry(state, e, job, kDram, Options(workers), bytes);
  } else if (m.record == 1) {
    VortaInfinityTestJob job{a.input.get(), reinterpret_cast<int32_t*>(a.output.get()), 1, 1};
    RunEntry(state, e, job, kDram, Options(workers), bytes);
  } else {
    VortaDequantizeJob job{reinterpret_cast<const uint8_t*>(a.input.get()), a.output.get(), 0.5f, 128};
    RunEntry(state, e, job, kDram, Options(workers), bytes);
  }
}

// ---- registration ----

std::vector<bench::RatioPair> g_pairs;

template <class... Args>
void Add(const std::string& name, int workers, Args&&... args) {
  auto* b = benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...);
  bench::Timing(b, workers);
}

void RegisterAll() {
  const auto variants = bench::AvailableVariants("model_bench");
  for (int w : {1, 2}) {
    const std::string ws = "/workers:" + std::to_string(w);
    Add("memcpy/4B" + ws, w, BM_Copy, 4, kDram, w, false);
    Add("memcpy_bytes/4B" + ws, w, BM_Copy, 4, kDram, w, true);
    Add("memcpy_bytes/1B" + ws, w, BM_Copy, 1, kDram, w, true);
    for (CpuVariant v : variants) {
      const std::string vs = std::string("/") + vorta::host::VariantName(v);
      for (auto [n, e] : {std::pair{"uniform", VORTA_EXPORT_RANDOM_UNIFORM}, {"normal", VORTA_EXPORT_RANDOM_NORMAL}}) {
        Add(std::string("random/") + n + vs + ws, w, BM_Random, e, v, w);
        g_pairs.push_back({std::string("random/") + n + vs + ws, "memcpy/4B" + ws, false,
                           std::string(n) == "uniform" ? 0.8 : 0.4});
      }
      for (const PMap& m : kPMaps) {
        const std::string name = std::string("pmaps/") + m.name + vs + ws;
        Add(name, w, BM_PMap, m, v, w);
        g_pairs.push_back({name, std::string("memcpy_bytes/") + (m.inBytes == 1 ? "1B" : "4B") + ws});
      }
      Add("lstm/step" + vs + "/batch:1" + ws, w, BM_LstmStep, v, w, 1);
      Add("lstm/step" + vs + "/batch:32" + ws, w, BM_LstmStep, v, w, 32);
      for (const char* batch : {"/batch:1", "/batch:32"}) {
        g_pairs.push_back({"lstm/step" + vs + batch + ws, "lstm/gate_copy", true,
                           std::string(batch) == "/batch:32" ? 3.0 : 0.0});
        g_pairs.push_back({"lstm/step" + vs + batch + ws, "lstm/gate_products", true});
      }
    }
  }
  for (CpuVariant v : variants) {
    const std::string vs = std::string("/") + vorta::host::VariantName(v);
    Add("topk/k100" + vs, 1, BM_TopK, v, 1, 1000000, 100, 1);
    g_pairs.push_back({"topk/k100" + vs, "read/1x1000000", true, 2.0});
    Add("topk/k5_rows" + vs + "/workers:1", 1, BM_TopK, v, 4096, 1000, 5, 1);
    g_pairs.push_back({"topk/k5_rows" + vs + "/workers:1", "read/4096x1000", true});
    Add("nms/overlap" + vs + "/workers:1", 1, BM_Overlap, v, 1);
    Add("nms/overlap" + vs + "/workers:2", 2, BM_Overlap, v, 2);
    g_pairs.push_back({"nms/overlap" + vs + "/workers:1", "nms/double_loop", true});
    Add("nms/select" + vs, 1, BM_Select, v);
  }
  Add("read/1x1000000", 1, BM_Read, 1, 1000000, 1);
  Add("read/4096x1000", 1, BM_Read, 4096, 1000, 1);
  Add("nms/double_loop", 1, BM_OverlapDoubleLoop);
  Add("lstm/gate_copy", 1, BM_LstmGateCopy);
  Add("lstm/gate_products", 1, BM_LstmGemms);
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Model-level kernels against their baselines", "rate", g_pairs);
}
