// The axis walk of every job over an [outer][N][S] view (reductions, arg
// reductions, the softmax family) and the fixed orders in which it folds float
// elements along the axis.
//
// A fold operation Op names its element type Op::T and provides, over a lane
// type L (a scalar T or a vector of them):
//   Identity<L>()   the starting value of every accumulator;
//   Map(x, j)       the value an element contributes; j is the element's inner
//                   position within a columns run (for operations that treat
//                   each position differently), 0 on rows;
//   Combine(a, v)   folds v into a; it also joins two partial accumulators.
// Op::kCostlyMap (optional, true) asks for the in-order tail of a row to be
// mapped a block at a time before it is folded.
#pragma once
#include <stdint.h>

#include "frame/simd.h"
#include "tensor/elementary.h"

namespace vorta::VORTA_NS {

// Splits the output indices [begin, end) of one batch into runs. With S == 1
// every output's elements form a contiguous row (row o starts at element o·N)
// and rows(first, count) gets the whole batch. Otherwise columns(offset, m,
// first) gets each part of one outer block: m neighbouring inner positions,
// the element k of position j at offset + k·S + j, written to outputs first
// .. first + m − 1. A batch that starts inside an outer block finishes that
// block first and goes on at inner position 0 of the next one.
template <class Rows, class Columns>
static inline __attribute__((always_inline)) void WalkAxis(int32_t N, int32_t S, int32_t begin,
                                                           int32_t end, Rows&& rows,
                                                           Columns&& columns) {
  if (S == 1) {
    rows(int64_t(begin), end - begin);
    return;
  }
  const int64_t block = int64_t(N) * S;
  int32_t r = begin % S;
  int64_t offset = int64_t(begin / S) * block + r;
  int64_t first = begin;
  int32_t n = end - begin;
  while (n > 0) {
    const int32_t m = S - r < n ? S - r : n;
    columns(offset, m, first);
    first += m;
    n -= m;
    offset += block - r;
    r = 0;
  }
}

// Lines of one columns run handled together, one lane each: their state stays in L1.
constexpr int32_t kLineChunk = 256;

// Calls body.template operator()<L>(j) for the positions j = 0 .. m − 1, a vector
// of kLanes positions at a time (L = VecOf<T>) and the rest one by one (L = T).
template <class T, class Body>
static inline __attribute__((always_inline)) void EachLane(int32_t m, Body&& body) {
  int32_t j = 0;
  for (; j + kLanes <= m; j += kLanes) body.template operator()<typename VecOf<T>::type>(j);
  for (; j < m; ++j) body.template operator()<T>(j);
}

// Whether neighbouring lines of a block of `bytes` may run side by side and still
// give what one line after another gives: when the output is the input itself
// (each line touches only its own elements) or lies wholly apart from it.
static inline bool LinesApart(const void* in, const void* out, int64_t bytes) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(in), b = reinterpret_cast<uintptr_t>(out);
  return a == b || (b > a ? b - a : a - b) >= uint64_t(bytes);
}

// ---- rows: the partial-sum order ---------------------------------------------

// Joins eight partials as ((P0∘P4)∘(P2∘P6))∘((P1∘P5)∘(P3∘P7)): halving down.
template <class Op, class T>
static inline __attribute__((always_inline)) T JoinEight(const T* p, const Op& op) {
  return op.Combine(op.Combine(op.Combine(p[0], p[4]), op.Combine(p[2], p[6])),
                    op.Combine(op.Combine(p[1], p[5]), op.Combine(p[3], p[7])));
}

// Folds the elements of a contiguous row in the fixed order. A row of eight or
// more goes first into eight partial accumulators, partial j taking elements
// 8t + j in increasing t, joined by JoinEight; the AVX2 variant folds rows of
// 32 or more into 32 partials (four registers of eight) joined pairwise and then
// halved down the same way. The rest of the row is folded in order. An Op with
// Keep(at, values, count) is shown every mapped block of that rest as soon as it
// is mapped, in increasing order (softmax stores its exponentials there).
//
// An Op with Stage(at, count) maps the partials' part itself, kStageChunk
// elements at a time in increasing order, and returns where the mapped values
// lie; they are folded from there as they are. A costly map (a SLEEF call) then
// runs in a bare loop, and the partial accumulators stay in registers for the
// fold of each chunk instead of being spilled around every call.
constexpr int32_t kStageChunk = 512;

template <class Op>
static inline typename Op::T FoldRow(const typename Op::T* x, int32_t n, const Op& op) {
  using T = typename Op::T;
  using V = typename VecOf<T>::type;
  constexpr bool kKeeps = requires(const T* p) { op.Keep(int32_t(0), p, int32_t(0)); };
  constexpr bool kStages = requires { op.Stage(int32_t(0), int32_t(0)); };
  const T* src = x;  // where element `at` of the current chunk lies, at src + at
  auto take = [&](int32_t at) {
    if constexpr (kStages) return Load<V>(src + at);
    else return op.Map(Load<V>(x + at), 0);
  };
  // Calls fold(from, to) over [0, whole) in chunks, each staged first.
  auto chunks = [&](int32_t whole, auto&& fold) {
    for (int32_t c = 0; c < whole;) {
      const int32_t e = kStages && whole - c > kStageChunk ? c + kStageChunk : whole;
      if constexpr (kStages) src = op.Stage(c, e - c) - c;
      fold(c, e);
      c = e;
    }
  };
  T acc = op.template Identity<T>();
  int32_t k = 0;
  if (n >= 8) {
    const V id = op.template Identity<V>();
    T partials[8];
#if defined(VORTA_VARIANT_AVX2)
    V a = id;
    if (n >= 32) {
      V b = id, c = id, d = id;
      chunks(n / 32 * 32, [&](int32_t from, int32_t to) {
        for (k = from; k < to; k += 32) {
          a = op.Combine(a, take(k));
          b = op.Combine(b, take(k + 8));
          c = op.Combine(c, take(k + 16));
          d = op.Combine(d, take(k + 24));
        }
      });
      a = op.Combine(op.Combine(a, b), op.Combine(c, d));
    } else {
      chunks(n / 8 * 8, [&](int32_t from, int32_t to) {
        for (k = from; k < to; k += 8) a = op.Combine(a, take(k));
      });
    }
    Store(partials, a);
#else
    V a = id, b = id;
    chunks(n / 8 * 8, [&](int32_t from, int32_t to) {
      for (k = from; k < to; k += 8) {
        a = op.Combine(a, take(k));
        b = op.Combine(b, take(k + 4));
      }
    });
    Store(partials, a);
    Store(partials + 4, b);
#endif
    acc = JoinEight(partials, op);
  }
  if constexpr (requires { requires Op::kCostlyMap; }) {
    // Map the tail a block at a time (through a copy: the row may end at the
    // end of the buffer), then fold it in order.
    for (; k < n; k += kLanes) {
      const int32_t count = n - k < kLanes ? n - k : kLanes;
      T block[kLanes];
      Store(block, op.template Identity<V>());
      for (int32_t i = 0; i < count; ++i) block[i] = x[k + i];
      Store(block, op.Map(Load<V>(block), 0));
      if constexpr (kKeeps) op.Keep(k, block, count);
      for (int32_t i = 0; i < count; ++i) acc = op.Combine(acc, block[i]);
    }
  } else {
    for (; k < n; ++k) {
      const T v = op.Map(x[k], 0);
      if constexpr (kKeeps) op.Keep(k, &v, 1);
      acc = op.Combine(acc, v);
    }
  }
  return acc;
}

// ---- columns: strictly in order per position -----------------------------------

// Folds m neighbouring inner positions along the axis, each in order: acc[j],
// which holds its starting value, takes x[k·S + j] for k = 0 .. n − 1. The walk
// goes one row segment after another, so reads are contiguous whatever S is,
// and the accumulators stay in L1.
template <class Op>
static inline void FoldColumns(const typename Op::T* x, int64_t S, int32_t n, int32_t m,
                               typename Op::T* acc, const Op& op) {
  using V = typename VecOf<typename Op::T>::type;
  for (int32_t k = 0; k < n; ++k, x += S) {
    int32_t j = 0;
    for (; j + 2 * kLanes <= m; j += 2 * kLanes) {
      const V a = op.Combine(Load<V>(acc + j), op.Map(Load<V>(x + j), j));
      const V b = op.Combine(Load<V>(acc + j + kLanes), op.Map(Load<V>(x + j + kLanes), j + kLanes));
      Store(acc + j, a);
      Store(acc + j + kLanes, b);
    }
    for (; j + kLanes <= m; j += kLanes)
      Store(acc + j, op.Combine(Load<V>(acc + j), op.Map(Load<V>(x + j), j)));
    for (; j < m; ++j) acc[j] = op.Combine(acc[j], op.Map(x[j], j));
  }
}

// ---- float minimum and maximum: in order --------------------------------------

// The steps (acc < x) ? acc : x and (acc > x) ? acc : x are exactly what the
// processor's min and max do with acc as the first operand.
static inline __attribute__((always_inline)) float StepMin(float a, float b) {
  return _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
static inline __attribute__((always_inline)) float StepMax(float a, float b) {
  return _mm_cvtss_f32(_mm_max_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
#if defined(VORTA_VARIANT_AVX2)
static inline __attribute__((always_inline)) VFloat StepMin(VFloat a, VFloat b) {
  return reinterpret_cast<VFloat>(_mm256_min_ps(reinterpret_cast<__m256>(a), reinterpret_cast<__m256>(b)));
}
static inline __attribute__((always_inline)) VFloat StepMax(VFloat a, VFloat b) {
  return reinterpret_cast<VFloat>(_mm256_max_ps(reinterpret_cast<__m256>(a), reinterpret_cast<__m256>(b)));
}
#else
static inline __attribute__((always_inline)) VFloat StepMin(VFloat a, VFloat b) {
  return reinterpret_cast<VFloat>(_mm_min_ps(reinterpret_cast<__m128>(a), reinterpret_cast<__m128>(b)));
}
static inline __attribute__((always_inline)) VFloat StepMax(VFloat a, VFloat b) {
  return reinterpret_cast<VFloat>(_mm_max_ps(reinterpret_cast<__m128>(a), reinterpret_cast<__m128>(b)));
}
#endif

// Restart<L>() is what the accumulator may be taken to hold right after a NaN:
// a value that the next element always replaces.
struct MinFloatFold {
  typedef float T;
  static constexpr bool kInOrder = true;
  template <class L> L Identity() const { return Splat<L>(3.4028235e38f); }
  template <class L> L Restart() const { return Splat<L>(__builtin_inff()); }
  template <class L> L Map(L x, int32_t) const { return x; }
  template <class L> L Combine(L a, L b) const { return StepMin(a, b); }
};

struct MaxFloatFold {
  typedef float T;
  static constexpr bool kInOrder = true;
  template <class L> L Identity() const { return Splat<L>(-3.4028235e38f); }
  template <class L> L Restart() const { return Splat<L>(-__builtin_inff()); }
  template <class L> L Map(L x, int32_t) const { return x; }
  template <class L> L Combine(L a, L b) const { return StepMax(a, b); }
};

// The index of the last element of x[0 .. n) where pred holds, or -1.
template <class T, class Pred>
static inline int32_t LastWhere(const T* x, int32_t n, Pred pred) {
  using V = typename VecOf<T>::type;
  int32_t i = n;
  for (; i >= kLanes; i -= kLanes) {
    const int bits = LaneBits(pred(Load<V>(x + i - kLanes)));
    if (bits != 0) return i - kLanes + 31 - __builtin_clz(unsigned(bits));
  }
  while (i > 0)
    if (pred(x[--i])) return i;
  return -1;
}

// The index of the first element of x[0 .. n) where pred holds, or -1.
template <class T, class Pred>
static inline int32_t FirstWhere(const T* x, int32_t n, Pred pred) {
  using V = typename VecOf<T>::type;
  int32_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    const int bits = LaneBits(pred(Load<V>(x + i)));
    if (bits != 0) return i + __builtin_ctz(unsigned(bits));
  }
  for (; i < n; ++i)
    if (pred(x[i])) return i;
  return -1;
}

// A lane mask, set where u or w is NaN: one compare for two vectors.
static inline __attribute__((always_inline)) VInt EitherNan(VFloat u, VFloat w) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VInt>(
      _mm256_cmp_ps(reinterpret_cast<__m256>(u), reinterpret_cast<__m256>(w), _CMP_UNORD_Q));
#else
  return reinterpret_cast<VInt>(_mm_cmpunord_ps(reinterpret_cast<__m128>(u), reinterpret_cast<__m128>(w)));
#endif
}

// Folds x[0 .. n) from `start` with every lane on its own, and tells whether a
// NaN was among the elements. The value is exact only without NaN and when not
// zero. Four accumulators keep the min/max latency off the critical path.
template <class Op>
static inline float FoldLanes(const float* x, int32_t n, float start, const Op& op, bool* sawNan) {
  VFloat a = Splat<VFloat>(start), b = a, c = a, d = a;
  VInt nan = VInt{};
  int32_t k = 0;
  for (; k + 4 * kLanes <= n; k += 4 * kLanes) {
    const VFloat u = Load<VFloat>(x + k), v = Load<VFloat>(x + k + kLanes);
    const VFloat w = Load<VFloat>(x + k + 2 * kLanes), z = Load<VFloat>(x + k + 3 * kLanes);
    a = op.Combine(a, u);
    b = op.Combine(b, v);
    c = op.Combine(c, w);
    d = op.Combine(d, z);
    nan = nan | EitherNan(u, v) | EitherNan(w, z);
  }
  for (; k + kLanes <= n; k += kLanes) {
    const VFloat u = Load<VFloat>(x + k);
    a = op.Combine(a, u);
    nan = nan | EitherNan(u, u);
  }
  float acc = start;
  bool tailNan = false;
  for (; k < n; ++k) {
    acc = op.Combine(acc, x[k]);
    tailNan |= IsNan(x[k]);
  }
  float lanes[kLanes];
  Store(lanes, op.Combine(op.Combine(a, b), op.Combine(c, d)));
  for (int i = 0; i < kLanes; ++i) acc = op.Combine(acc, lanes[i]);
  *sawNan = tailNan || LaneBits(nan) != 0;
  return acc;
}

// Folds a contiguous row with the float minimum or maximum step, giving exactly
// the in-order result. In order, a NaN replaces the accumulator, the next element
// replaces the NaN, and of equal values the later one stays (this decides the
// sign of a zero result). Folding lanes apart gives that result whenever the row
// has no NaN and the result is not zero, since the extreme value then has one
// bit pattern. Otherwise only the elements after the last NaN count (a NaN in
// the last place is the result), and a zero result is the last zero.
template <class Op>
static inline float FoldRowOrdered(const float* x, int32_t n, const Op& op) {
  if (n < 4 * kLanes) {
    float acc = op.template Identity<float>();
    for (int32_t k = 0; k < n; ++k) acc = op.Combine(acc, x[k]);
    return acc;
  }
  bool nan;
  float value = FoldLanes(x, n, op.template Identity<float>(), op, &nan);
  if (nan) {
    const int32_t last = LastWhere(x, n, [](auto e) { return IsNan(e); });
    if (last == n - 1) return x[last];
    x += last + 1;
    n -= last + 1;
    value = FoldLanes(x, n, op.template Restart<float>(), op, &nan);
  }
  if (value == 0.0f) return x[LastWhere(x, n, [](auto e) { return e == decltype(e){}; })];
  return value;
}

// A row with the fold's own order: in order for the float minimum and maximum,
// partial sums for everything else.
template <class Op>
static inline typename Op::T FoldAxisRow(const typename Op::T* x, int32_t n, const Op& op) {
  if constexpr (requires { requires Op::kInOrder; })
    return FoldRowOrdered(x, n, op);
  else
    return FoldRow(x, n, op);
}

}  // namespace vorta::VORTA_NS
