// Softmax and log-softmax: the in-order maximum m of each line, the sum s of
// ExpKernel(x − m), then y = e·(1/s) (softmax, which stores the exponentials
// and scales them in place) or y = (x − m) − LogKernel(s). The log form
// subtracts m first: x − (m + log s) would round m + log s to the precision of
// m, which for all-equal lines of 1000 is already 50 units in the last place of
// −log N, and for larger m loses the result entirely.
//
// Contiguous lines (S = 1) run one after another through the element loop; s
// takes the partial-sum order of the axis sums on rows of eight or more, except
// for a softmax whose output starts 0 to 31 bytes after its input (in place
// included), which sums in order. Strided lines of one outer block run side by
// side, one lane each, every lane in order, which gives what one line after
// another gives unless the output overlaps the input without being it; then
// they do go one at a time.
#include "tensor/softmax.h"

#include "frame/batch_loop.h"
#include "tensor/axis_folds.h"
#include "tensor/axis_records.h"
#include "tensor/axis_walk.h"
#include "tensor/elementary.h"
#include "tensor/map_loops.h"

namespace vorta::VORTA_NS {
namespace {

// x − m, with no guard: a line holding +inf gives NaN throughout.
struct ShiftedExp {
  typedef float In;
  typedef float Out;
  float max;
  template <class L> L operator()(L x) const { return ExpKernel(x - Splat<L>(max)); }
};
struct Times {
  typedef float In;
  typedef float Out;
  float factor;
  template <class L> L operator()(L x) const { return x * Splat<L>(factor); }
};
struct LogRatio {
  typedef float In;
  typedef float Out;
  float max, logSum;
  template <class L> L operator()(L x) const { return (x - Splat<L>(max)) - Splat<L>(logSum); }
};

// While a row's exponentials are computed, the next row (whose maximum pass
// would otherwise wait on memory) is fetched into the cache, a line at a time;
// a prefetch never faults, so the last row may point past the tensor. The
// exponentials of each chunk go into `staged` (one chunk of scratch, or the
// output itself) before they are summed.
struct ShiftedExpSum : SumFloat {
  static constexpr bool kCostlyMap = true;
  float max;
  const float* x;
  const float* next;
  float* staged;
  template <class L> L Map(L v, int32_t) const { return ExpKernel(v - Splat<L>(max)); }
  void Fetch(int32_t at, int32_t count) const {
    for (int32_t i = 0; i < count; i += 16) __builtin_prefetch(next + at + i, 0, 3);
  }
  // A whole number of vectors, each stored before the next is read (what the
  // element order gives for an output 32 bytes or more after the input).
  void Exponentials(const float* from, float* to, int32_t count) const {
    for (int32_t i = 0; i < count; i += kLanes) Store(to + i, Map(Load<VFloat>(from + i), 0));
  }
  const float* Stage(int32_t at, int32_t count) const {
    Exponentials(x + at, staged, count);
    Fetch(at, count);
    return staged;
  }
  void Keep(int32_t at, const float*, int32_t count) const { Fetch(at, count); }
};

// The exponentials stored in the output as they are computed, a chunk before
// it is summed; the tail as each block is mapped.
struct StoredExpSum : ShiftedExpSum {
  float* y;
  const float* Stage(int32_t at, int32_t count) const {
    Exponentials(x + at, y + at, count);
    Fetch(at, count);
    return y + at;
  }
  void Keep(int32_t at, const float* e, int32_t count) const {
    Fetch(at, count);
    __builtin_memcpy(y + at, e, size_t(count) * 4);
  }
};

// The exponentials stored and summed in order. That sum is a chain of dependent
// additions; in place, each vector of exponentials joins it as soon as it is
// stored, so the chain runs under the following exponentials instead of after
// them. An output 1 to 31 bytes after the input goes element by element.
static inline float StoredExpSumInOrder(const float* x, float* y, int32_t N, float m) {
  float s = 0.0f;
  int32_t k = 0;
  if (x == y)
    for (; k + kLanes <= N; k += kLanes) {
      const VFloat e = ExpKernel(Load<VFloat>(x + k) - Splat<VFloat>(m));
      Store(y + k, e);
      for (int32_t i = 0; i < kLanes; ++i) s += e[i];
    }
  MapElements(x + k, y + k, N - k, ShiftedExp{m});
  for (; k < N; ++k) s += y[k];
  return s;
}

template <bool kLog>
static void Row(const float* x, float* y, int32_t N) {
  const float m = FoldRowOrdered(x, N, MaxFloatFold());
  if constexpr (kLog) {
    float staged[kStageChunk];
    const float s = FoldRow(x, N, ShiftedExpSum{{}, m, x, x + N, staged});
    MapElements(x, y, N, LogRatio{m, LogKernel(s)});
  } else {
    // The partial sums store each block of exponentials before the next block is
    // read: what the element order gives when the output starts 32 bytes or
    // more after the input (or anywhere before it).
    const uintptr_t gap = reinterpret_cast<uintptr_t>(y) - reinterpret_cast<uintptr_t>(x);
    float s;
    if (gap >= 32) {
      s = FoldRow(x, N, StoredExpSum{{{}, m, x, x + N, nullptr}, y});
    } else {
      s = StoredExpSumInOrder(x, y, N, m);
    }
    MapElements(y, y, N, Times{1.0f / s});
  }
}

// m ≤ kLineChunk neighbouring lines, element k of line j at k·S + j.
template <bool kLog>
static void Lines(const float* x, float* y, int64_t S, int32_t N, int32_t m) {
  float max[kLineChunk], sum[kLineChunk];
  EachLane<float>(m, [&]<class L>(int32_t j) {
    Store(max + j, MaxFloatFold().Identity<L>());
    Store(sum + j, Splat<L>(0.0f));
  });
  FoldColumns(x, S, N, m, max, MaxFloatFold());
  // While the exponentials are computed, the same lines of the next outer block
  // are fetched for its maximum pass (a prefetch never faults).
  const float* next = x + int64_t(N) * S;
  auto fetch = [&](int32_t k) {
    for (int32_t j = 0; j < m; j += 16) __builtin_prefetch(next + k * S + j, 0, 3);
  };
  if constexpr (kLog) {
    for (int32_t k = 0; k < N; fetch(k++))
      EachLane<float>(m, [&]<class L>(int32_t j) {
        Store(sum + j, Load<L>(sum + j) + ExpKernel(Load<L>(x + k * S + j) - Load<L>(max + j)));
      });
    EachLane<float>(m, [&]<class L>(int32_t j) { Store(sum + j, LogKernel(Load<L>(sum + j))); });
    for (int32_t k = 0; k < N; ++k)
      EachLane<float>(m, [&]<class L>(int32_t j) {
        Store(y + k * S + j, (Load<L>(x + k * S + j) - Load<L>(max + j)) - Load<L>(sum + j));
      });
  } else {
    for (int32_t k = 0; k < N; fetch(k++))
      EachLane<float>(m, [&]<class L>(int32_t j) {
        const L e = ExpKernel(Load<L>(x + k * S + j) - Load<L>(max + j));
        Store(y + k * S + j, e);
        Store(sum + j, Load<L>(sum + j) + e);
      });
    EachLane<float>(m, [&]<class L>(int32_t j) { Store(sum + j, Splat<L>(1.0f) / Load<L>(sum + j)); });
    for (int32_t k = 0; k < N; ++k)
      EachLane<float>(m, [&]<class L>(int32_t j) {
        Store(y + k * S + j, Load<L>(y + k * S + j) * Load<L>(sum + j));
      });
  }
}

template <bool kLog>
static void RunSoftmax(const AxisReduceJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  const float* in = static_cast<const float*>(j->input);
  float* out = static_cast<float*>(j->output);
  const int32_t N = j->N, S = j->S;
  const int32_t together = LinesApart(in, out, int64_t(N) * S * 4) ? kLineChunk : 1;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkAxis(
        N, S, begin, end,
        [&](int64_t first, int32_t count) {
          for (int64_t o = first; o < first + count; ++o) Row<kLog>(in + o * N, out + o * N, N);
        },
        [&](int64_t offset, int32_t m, int64_t) {
          for (int32_t c = 0; c < m; c += together)
            Lines<kLog>(in + offset + c, out + offset + c, S, N, m - c < together ? m - c : together);
        });
  });
}

}  // namespace

VORTA_JOB_RUNNING(SoftmaxFloat, AxisReduceJob, RunSoftmax<false>)
VORTA_JOB_RUNNING(LogSoftmaxFloat, AxisReduceJob, RunSoftmax<true>)

}  // namespace vorta::VORTA_NS
