// The axis reductions: every member is a fold along the axis (its identity, the
// value each element contributes and how values combine) followed by a final
// step, run on the axis walk. Outputs are folded a chunk at a time into a local
// buffer and then finished a block at a time, so the final step (a root or a
// logarithm) runs on vectors wherever there are enough outputs.
#include "tensor/reductions.h"

#include <type_traits>

#include "frame/batch_loop.h"
#include "tensor/axis_folds.h"
#include "tensor/axis_records.h"
#include "tensor/axis_walk.h"
#include "tensor/elementary.h"

namespace vorta::VORTA_NS {
namespace {

// Outputs folded per chunk: the accumulators of one chunk stay in L1.
constexpr int32_t kChunk = 256;

using ProductFloat = Fold<float, Same, Multiply, 1>;
using AbsSumFloat = Fold<float, Magnitude, Add, 0>;
using SumInt = Fold<int32_t, Same, Add, 0>;
using ProductInt = Fold<int32_t, Same, Multiply, 1>;
using SquareSumInt = Fold<int32_t, Square, Add, 0>;
using AbsSumInt = Fold<int32_t, Magnitude, Add, 0>;
using MinInt = Fold<int32_t, Same, Smaller, INT32_MAX>;
using MaxInt = Fold<int32_t, Same, Larger, INT32_MIN>;

// ---- final steps ----

struct Keep {
  template <class L> L operator()(L x, int32_t) const { return x; }
};
// The mean multiplies by the stored reciprocal rather than dividing by N.
struct Scale {
  float reciprocal;
  template <class L> L operator()(L x, int32_t) const { return x * Splat<L>(reciprocal); }
};
struct Root {
  template <class L> L operator()(L x, int32_t) const { return SqrtKernel(x); }
};
struct Logarithm {
  template <class L> L operator()(L x, int32_t) const { return LogKernel(x); }
};

// ---- chunks ----

template <class Body>
static inline __attribute__((always_inline)) void ForChunks(int64_t count, Body&& body) {
  for (int64_t c = 0; c < count; c += kChunk) body(c, int32_t(count - c < kChunk ? count - c : kChunk));
}

template <class T, class Finish>
static inline void FinishChunk(const T* acc, int32_t count, T* out, const Finish& finish) {
  using V = typename VecOf<T>::type;
  int32_t i = 0;
  for (; i + kLanes <= count; i += kLanes) Store(out + i, finish(Load<V>(acc + i), i));
  for (; i < count; ++i) out[i] = finish(acc[i], i);
}

template <class T>
static inline void FillChunk(T* acc, int32_t count, T value) {
  for (int32_t i = 0; i < count; ++i) acc[i] = value;
}

// ---- one-pass members ----

template <class FoldOp, class Finish>
struct Reduce {
  typedef typename FoldOp::T T;
  FoldOp fold;
  Finish finish;

  void Rows(const T* in, int32_t N, int64_t first, int32_t count, T* out) const {
    ForChunks(count, [&](int64_t c, int32_t w) {
      T acc[kChunk];
      for (int32_t i = 0; i < w; ++i) acc[i] = FoldAxisRow(in + (first + c + i) * N, N, fold);
      FinishChunk(acc, w, out + first + c, finish);
    });
  }

  void Columns(const T* in, int64_t S, int32_t N, int32_t m, T* out) const {
    ForChunks(m, [&](int64_t c, int32_t w) {
      T acc[kChunk];
      FillChunk(acc, w, fold.template Identity<T>());
      FoldColumns(in + c, S, N, w, acc, fold);
      FinishChunk(acc, w, out + c, finish);
    });
  }
};

// ---- log-sum-exp: the in-order maximum, then the sum of ExpKernel(x − max) ----

// x − m is taken as 0 where x equals m: for a maximum of +inf it would be
// inf − inf, NaN, where the sum must come out +inf.
template <class L>
static inline __attribute__((always_inline)) L ExpBelow(L x, L m) {
  return ExpKernel(Select(x == m, Splat<L>(0.0f), x - m));
}

struct ExpSum {
  typedef float T;
  static constexpr bool kCostlyMap = true;
  template <class L> L Identity() const { return Splat<L>(0.0f); }
  template <class L> L Combine(L a, L b) const { return a + b; }
};
struct RowExpSum : ExpSum {
  float max;
  template <class L> L Map(L x, int32_t) const { return ExpBelow(x, Splat<L>(max)); }
};
struct ColumnsExpSum : ExpSum {
  const float* max;  // one per position of the run
  template <class L> L Map(L x, int32_t j) const { return ExpBelow(x, Load<L>(max + j)); }
};

struct LogSumExp {
  typedef float T;

  // LogKernel(sum) + max, a block of outputs at a time.
  static void Finish(const float* sums, const float* max, int32_t count, float* out) {
    FinishChunk(sums, count, out,
                [max](auto s, int32_t i) { return LogKernel(s) + Load<decltype(s)>(max + i); });
  }

  void Rows(const float* in, int32_t N, int64_t first, int32_t count, float* out) const {
    ForChunks(count, [&](int64_t c, int32_t w) {
      float max[kChunk], sums[kChunk];
      for (int32_t i = 0; i < w; ++i) {
        const float* row = in + (first + c + i) * N;
        max[i] = FoldRowOrdered(row, N, MaxFloatFold());
        sums[i] = FoldRow(row, N, RowExpSum{{}, max[i]});
      }
      Finish(sums, max, w, out + first + c);
    });
  }

  void Columns(const float* in, int64_t S, int32_t N, int32_t m, float* out) const {
    ForChunks(m, [&](int64_t c, int32_t w) {
      float max[kChunk], sums[kChunk];
      FillChunk(max, w, MaxFloatFold().Identity<float>());
      FoldColumns(in + c, S, N, w, max, MaxFloatFold());
      FillChunk(sums, w, 0.0f);
      FoldColumns(in + c, S, N, w, sums, ColumnsExpSum{{}, max});
      Finish(sums, max, w, out + c);
    });
  }
};

// ---- the job ----

template <class Job, class Member, class OnBatch>
static inline __attribute__((always_inline)) void RunAxisReduce(void* job, BatchRanges* ranges,
                                                                uint32_t jobIndex,
                                                                const Member& member,
                                                                OnBatch&& onBatch) {
  using T = typename Member::T;
  Job* j = static_cast<Job*>(job);
  const T* in = static_cast<const T*>(j->input);
  T* out = static_cast<T*>(j->output);
  const int32_t N = j->N, S = j->S;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    onBatch(j);
    WalkAxis(
        N, S, begin, end,
        [&](int64_t first, int32_t count) { member.Rows(in, N, first, count, out); },
        [&](int64_t offset, int32_t m, int64_t first) {
          member.Columns(in + offset, S, N, m, out + first);
        });
  });
}

template <class Member>
static inline void RunReduce(void* job, BatchRanges* ranges, uint32_t jobIndex) {
  RunAxisReduce<AxisReduceJob>(job, ranges, jobIndex, Member(), [](AxisReduceJob*) {});
}

// The mean members store 1/N into the record on every batch, then scale by it.
template <class FoldOp>
static inline void RunMean(void* job, BatchRanges* ranges, uint32_t jobIndex) {
  const float reciprocal = 1.0f / float(static_cast<AxisMeanJob*>(job)->N);
  RunAxisReduce<AxisMeanJob>(job, ranges, jobIndex, Reduce<FoldOp, Scale>{{}, {reciprocal}},
                             [reciprocal](AxisMeanJob* j) { j->reciprocal = reciprocal; });
}

}  // namespace

#define VORTA_REDUCE(name, FoldOp, Finish) \
  VORTA_JOB_BODY(name) { RunReduce<Reduce<FoldOp, Finish>>(job, ranges, jobIndex); }

VORTA_REDUCE(ReduceSumFloat, SumFloat, Keep)
VORTA_REDUCE(ReduceSumInt32, SumInt, Keep)
VORTA_REDUCE(ReduceProductFloat, ProductFloat, Keep)
VORTA_REDUCE(ReduceProductInt32, ProductInt, Keep)
VORTA_REDUCE(ReduceMinFloat, MinFloatFold, Keep)
VORTA_REDUCE(ReduceMaxFloat, MaxFloatFold, Keep)
VORTA_REDUCE(ReduceMinInt32, MinInt, Keep)
VORTA_REDUCE(ReduceMaxInt32, MaxInt, Keep)
VORTA_REDUCE(ReduceSumSquareFloat, SquareSumFloat, Keep)
VORTA_REDUCE(ReduceSumSquareInt32, SquareSumInt, Keep)
VORTA_REDUCE(ReduceL1Float, AbsSumFloat, Keep)
VORTA_REDUCE(ReduceL1Int32, AbsSumInt, Keep)
VORTA_REDUCE(ReduceL2Float, SquareSumFloat, Root)
VORTA_REDUCE(ReduceSqrtSumFloat, SumFloat, Root)
VORTA_REDUCE(ReduceLogSumFloat, SumFloat, Logarithm)

#undef VORTA_REDUCE

VORTA_JOB_BODY(ReduceMeanFloat) { RunMean<SumFloat>(job, ranges, jobIndex); }
VORTA_JOB_BODY(ReduceMeanSquareFloat) { RunMean<SquareSumFloat>(job, ranges, jobIndex); }
VORTA_JOB_BODY(ReduceLogSumExpFloat) { RunReduce<LogSumExp>(job, ranges, jobIndex); }

}  // namespace vorta::VORTA_NS
