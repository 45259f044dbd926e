// Arg-min, arg-max and hardmax: a fold along the axis that carries the position
// of the running extreme beside it, on the axis walk.
//
// A NaN element never becomes the extreme, and the first element that is not
// NaN always does (whatever it is, +inf and -inf included), so the result is the
// position of the smallest or largest of the elements that are not NaN, 0 when
// every element is NaN. Ties follow the member: the first or the last position
// of the extreme value; the float first-occurrence members also move to a zero
// of the other sign (the running minimum or maximum changes its bit pattern),
// so arg-min of [0, -0] and of [-0, 0] are both 1.
#include "tensor/argreduce.h"

#include "frame/batch_loop.h"
#include "tensor/axis_folds.h"
#include "tensor/axis_records.h"
#include "tensor/axis_walk.h"

namespace vorta::VORTA_NS {
namespace {

// Which element replaces the running extreme `acc` (lane masks over L).
template <class T_, bool kMax_, bool kLast_, bool kSignedZeros_>
struct ArgFold {
  typedef T_ T;
  static constexpr bool kMax = kMax_, kLast = kLast_, kSignedZeros = kSignedZeros_;

  template <class L> static L Start() {
    if constexpr (kFloatLanes<L>) return Splat<L>(kMax ? -__builtin_inff() : __builtin_inff());
    else return Splat<L>(kMax ? INT32_MIN : INT32_MAX);
  }
  // Strictly beyond acc; the last-occurrence members also take equal values.
  template <class L> static MaskOf<L> Beats(L x, L acc) {
    if constexpr (kLast) return kMax ? x >= acc : x <= acc;
    else {
      const MaskOf<L> beyond = kMax ? x > acc : x < acc;
      if constexpr (kSignedZeros)
        return MaskOr(beyond, MaskAnd(x == acc, Bits<IntOf<L>>(x) != Bits<IntOf<L>>(acc)));
      else return beyond;
    }
  }
  // acc moved to x where x is further out; a NaN x leaves acc.
  template <class L> static L Toward(L acc, L x) {
    if constexpr (kFloatLanes<L>) return kMax ? MaxStep(x, acc) : MinStep(x, acc);
    else return Select(kMax ? x > acc : x < acc, x, acc);
  }
  // The in-order step; idx < 0 until an element that is not NaN was seen.
  template <class L> static void Step(L x, IntOf<L> k, L& acc, IntOf<L>& idx) {
    const MaskOf<L> taken = MaskOr(Beats(x, acc), MaskAnd(idx < Splat<IntOf<L>>(0), x == x));
    acc = Select(taken, x, acc);
    idx = Select(taken, k, idx);
  }
};

using MinFirstFloat = ArgFold<float, false, false, true>;
using MinLastFloat = ArgFold<float, false, true, false>;
using MaxFirstFloat = ArgFold<float, true, false, true>;
using MaxLastFloat = ArgFold<float, true, true, false>;
using MinFirstInt = ArgFold<int32_t, false, false, false>;
using MinLastInt = ArgFold<int32_t, false, true, false>;
using MaxFirstInt = ArgFold<int32_t, true, false, false>;
using MaxLastInt = ArgFold<int32_t, true, true, false>;
// Hardmax marks the first position of the largest value.
using HardmaxFold = ArgFold<float, true, false, false>;

template <class Op>
static int32_t ArgRowInOrder(const typename Op::T* x, int32_t n) {
  typename Op::T acc = Op::template Start<typename Op::T>();
  int32_t idx = -1;
  for (int32_t k = 0; k < n; ++k) Op::Step(x[k], k, acc, idx);
  return idx < 0 ? 0 : idx;
}

// A contiguous row: the extreme value m of the elements that are not NaN (the
// processor's min and max keep the accumulator against a NaN), then the first
// or last position holding m. That is the in-order result except where m does
// not tell: it is the start value itself (every element NaN, or the extreme is
// the start value), or a zero of a member that follows the zero's sign. Those
// rows go in order.
template <class Op>
static int32_t ArgRow(const typename Op::T* x, int32_t n) {
  using T = typename Op::T;
  using V = typename VecOf<T>::type;
  if (n < 4 * kLanes) return ArgRowInOrder<Op>(x, n);
  V a0 = Op::template Start<V>(), a1 = a0;
  int32_t k = 0;
  for (; k + 2 * kLanes <= n; k += 2 * kLanes) {
    a0 = Op::Toward(a0, Load<V>(x + k));
    a1 = Op::Toward(a1, Load<V>(x + k + kLanes));
  }
  T lanes[kLanes];
  Store(lanes, Op::Toward(a0, a1));
  T m = lanes[0];
  for (int32_t l = 1; l < kLanes; ++l) m = Op::Toward(m, lanes[l]);
  for (; k < n; ++k) m = Op::Toward(m, x[k]);
  if (m == Op::template Start<T>() || (Op::kSignedZeros && m == T(0))) return ArgRowInOrder<Op>(x, n);
  const auto equal = [m](auto e) { return e == Splat<decltype(e)>(m); };
  return Op::kLast ? LastWhere(x, n, equal) : FirstWhere(x, n, equal);
}

// m neighbouring inner positions, one lane each, every lane in order.
template <class Op>
static void ArgColumns(const typename Op::T* x, int64_t S, int32_t N, int32_t m, int32_t* out) {
  using T = typename Op::T;
  T acc[kLineChunk];
  int32_t idx[kLineChunk];
  EachLane<T>(m, [&]<class L>(int32_t j) {
    Store(acc + j, Op::template Start<L>());
    Store(idx + j, Splat<IntOf<L>>(-1));
  });
  for (int32_t k = 0; k < N; ++k, x += S) {
    EachLane<T>(m, [&]<class L>(int32_t j) {
      L a = Load<L>(acc + j);
      IntOf<L> i = Load<IntOf<L>>(idx + j);
      Op::Step(Load<L>(x + j), Splat<IntOf<L>>(k), a, i);
      Store(acc + j, a);
      Store(idx + j, i);
    });
  }
  for (int32_t j = 0; j < m; ++j) out[j] = idx[j] < 0 ? 0 : idx[j];
}

// Runs the fold over a batch and hands the positions, a chunk at a time, to
// put.Rows(first line, count, positions) or put.Columns(element offset of the
// first line, first line, count, positions).
template <class Op, class Put>
static inline __attribute__((always_inline)) void RunArg(const AxisReduceJob* j, BatchRanges* ranges,
                                                         uint32_t jobIndex, const Put& put) {
  using T = typename Op::T;
  const T* in = static_cast<const T*>(j->input);
  const int32_t N = j->N, S = j->S;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkAxis(
        N, S, begin, end,
        [&](int64_t first, int32_t count) {
          for (int32_t c = 0; c < count; c += kLineChunk) {
            const int32_t w = count - c < kLineChunk ? count - c : kLineChunk;
            int32_t idx[kLineChunk];
            for (int32_t i = 0; i < w; ++i) idx[i] = ArgRow<Op>(in + (first + c + i) * N, N);
            put.Rows(first + c, w, idx);
          }
        },
        [&](int64_t offset, int32_t m, int64_t first) {
          for (int32_t c = 0; c < m; c += kLineChunk) {
            const int32_t w = m - c < kLineChunk ? m - c : kLineChunk;
            int32_t idx[kLineChunk];
            ArgColumns<Op>(in + offset + c, S, N, w, idx);
            put.Columns(offset + c, first + c, w, idx);
          }
        });
  });
}

struct PutIndices {
  int32_t* out;
  void Rows(int64_t first, int32_t w, const int32_t* idx) const {
    __builtin_memcpy(out + first, idx, size_t(w) * 4);
  }
  void Columns(int64_t, int64_t first, int32_t w, const int32_t* idx) const { Rows(first, w, idx); }
};

// Zeros over each whole line, then 1 at its winner (after the fold, so the
// output may be the input).
struct PutOneHot {
  float* out;
  int32_t N;
  int64_t S;
  void Rows(int64_t first, int32_t w, const int32_t* idx) const {
    for (int32_t i = 0; i < w; ++i) {
      float* line = out + (first + i) * N;
      __builtin_memset(line, 0, size_t(N) * 4);
      line[idx[i]] = 1.0f;
    }
  }
  void Columns(int64_t offset, int64_t, int32_t w, const int32_t* idx) const {
    float* base = out + offset;
    for (int32_t k = 0; k < N; ++k) __builtin_memset(base + k * S, 0, size_t(w) * 4);
    for (int32_t i = 0; i < w; ++i) base[idx[i] * S + i] = 1.0f;
  }
};

template <class Op>
static inline void RunArgIndices(const AxisReduceJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  RunArg<Op>(j, ranges, jobIndex, PutIndices{static_cast<int32_t*>(j->output)});
}

static inline void RunHardmax(const AxisReduceJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  RunArg<HardmaxFold>(j, ranges, jobIndex, PutOneHot{static_cast<float*>(j->output), j->N, j->S});
}

}  // namespace

VORTA_JOB_RUNNING(ArgMinFirstFloat, AxisReduceJob, RunArgIndices<MinFirstFloat>)
VORTA_JOB_RUNNING(ArgMinLastFloat, AxisReduceJob, RunArgIndices<MinLastFloat>)
VORTA_JOB_RUNNING(ArgMaxFirstFloat, AxisReduceJob, RunArgIndices<MaxFirstFloat>)
VORTA_JOB_RUNNING(ArgMaxLastFloat, AxisReduceJob, RunArgIndices<MaxLastFloat>)
VORTA_JOB_RUNNING(ArgMinFirstInt32, AxisReduceJob, RunArgIndices<MinFirstInt>)
VORTA_JOB_RUNNING(ArgMinLastInt32, AxisReduceJob, RunArgIndices<MinLastInt>)
VORTA_JOB_RUNNING(ArgMaxFirstInt32, AxisReduceJob, RunArgIndices<MaxFirstInt>)
VORTA_JOB_RUNNING(ArgMaxLastInt32, AxisReduceJob, RunArgIndices<MaxLastInt>)
VORTA_JOB_RUNNING(HardmaxFloat, AxisReduceJob, RunHardmax)

}  // namespace vorta::VORTA_NS
