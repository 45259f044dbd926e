// The two-input broadcast jobs. Each operation is written once over lane types
// (scalars or vectors of kLanes), so the blocked path and the tail give the same
// results; the odometer walk they all share is in broadcast_layout.h.
#include "tensor/broadcast.h"

#include "tensor/broadcast_layout.h"
#include "tensor/elementary.h"
#include "tensor/float_remainder.h"

namespace vorta::VORTA_NS {
namespace {

constexpr float kInf = __builtin_inff();

template <class A, class B, class O, bool kBlocked_ = true>
struct Binary {
  typedef A InA;
  typedef B InB;
  typedef O Out;
  static constexpr bool kBlocked = kBlocked_;
  Binary() = default;
  template <class Job>
  explicit Binary(const Job*) {}
};

// ---- int32 ----

struct AddInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return WrapAdd(a, b); }
};
struct SubtractInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return WrapSub(a, b); }
};
struct MultiplyInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return WrapMul(a, b); }
};
struct MinInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return Select(a < b, a, b); }
};
struct MaxInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return Select(a > b, a, b); }
};
struct AndInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return a & b; }
};
struct OrInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return a | b; }
};
struct XorInt32 : Binary<int32_t, int32_t, int32_t> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return a ^ b; }
};

// Truncating division, one element at a time. The processor faults on a zero
// divisor and on INT32_MIN / -1, which the host never passes; rather than
// crash, those give the wrapped quotient and a remainder that keeps
// a = (a div b) * b + (a rem b):
//   a div 0 = 0,         a rem 0 = a,
//   INT32_MIN div -1 = INT32_MIN (the negation wraps), INT32_MIN rem -1 = 0.
static inline int32_t DivInt32(int32_t a, int32_t b) {
  if (b == 0) return 0;
  if (b == -1) return WrapNeg(a);
  return a / b;
}
static inline int32_t RemInt32(int32_t a, int32_t b) {
  if (b == 0) return a;
  if (b == -1) return 0;
  return a % b;
}

struct DivideInt32 : Binary<int32_t, int32_t, int32_t, false> {
  using Binary::Binary;
  int32_t operator()(int32_t a, int32_t b) const { return DivInt32(a, b); }
};
struct RemainderInt32 : Binary<int32_t, int32_t, int32_t, false> {
  using Binary::Binary;
  int32_t operator()(int32_t a, int32_t b) const { return RemInt32(a, b); }
};

// The remainder moved into the divisor's sign. The textbook ((a rem b) + b) rem b
// wraps in the inner sum when |b| is large (5 mod 2147483647 would give
// -2147483644); adding b only where the signs differ cannot overflow and gives
// the same result wherever that sum does not wrap. a mod 0 = a.
struct ModuloInt32 : Binary<int32_t, int32_t, int32_t, false> {
  using Binary::Binary;
  int32_t operator()(int32_t a, int32_t b) const {
    int32_t r = RemInt32(a, b);
    return (r != 0 && (r ^ b) < 0) ? r + b : r;
  }
};

// ---- comparisons: int32 1 or 0, false for a NaN operand ----

struct Equal {
  template <class L> auto operator()(L a, L b) const { return a == b; }
};
struct Less {
  template <class L> auto operator()(L a, L b) const { return a < b; }
};
struct LessEqual {
  template <class L> auto operator()(L a, L b) const { return a <= b; }
};
struct Greater {
  template <class L> auto operator()(L a, L b) const { return a > b; }
};
struct GreaterEqual {
  template <class L> auto operator()(L a, L b) const { return a >= b; }
};

template <class T, class Pred>
struct Compare : Binary<T, T, int32_t> {
  using Binary<T, T, int32_t>::Binary;
  template <class L> IntOf<L> operator()(L a, L b) const { return MaskToOne(Pred{}(a, b)); }
};
using EqualInt32 = Compare<int32_t, Equal>;
using LessInt32 = Compare<int32_t, Less>;
using LessEqualInt32 = Compare<int32_t, LessEqual>;
using GreaterInt32 = Compare<int32_t, Greater>;
using GreaterEqualInt32 = Compare<int32_t, GreaterEqual>;
using EqualFloat = Compare<float, Equal>;
using LessFloat = Compare<float, Less>;
using LessEqualFloat = Compare<float, LessEqual>;
using GreaterFloat = Compare<float, Greater>;
using GreaterEqualFloat = Compare<float, GreaterEqual>;

// ---- float arithmetic ----

struct AddFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return a + b; }
};
struct SubtractFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return a - b; }
};
struct MultiplyFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return a * b; }
};
struct DivideFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return a / b; }
};

struct RemainderFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return Remainder(a, b); }
};

// The remainder moved into the divisor's sign. Written as fm(fm(a, b) + b, b)
// the extra sum would lose the dividend where |b| is much larger (1e-3 mod 3
// would give 9.9993e-4, 5 mod 2^31 would give 0) and make a finite a mod ±inf
// NaN. Here a remainder that already has b's sign is the result; where the
// signs differ the result is r + b rounded once, which lies within b's range
// unless it rounds to b itself, and that the outer fm folds to +0 (an infinite
// b stays b); a zero remainder gives +0.
struct ModuloFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const {
    const L zero = Splat<L>(0.0f);
    const L r = Remainder(a, b);
    const auto differ = MaskOr(MaskAnd(r < zero, b > zero), MaskAnd(r > zero, b < zero));
    const L s = r + b;
    const L moved = Select(MaskAnd(s == b, Abs(b) < Splat<L>(kInf)), zero, s);
    return Select(r == zero, zero, Select(differ, moved, r));
  }
};

// b is NaN ? a : (a < b ? a : b): the other operand when exactly one is NaN,
// a when both are, b when they compare equal (+0 against -0 included).
struct MinFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return Select(IsNan(b), a, Select(a < b, a, b)); }
};
struct MaxFloat : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return Select(IsNan(b), a, Select(a > b, a, b)); }
};

// A multiplied by 1 or by its slope, never passed through: -0 stays -0 and
// -inf with slope 0 gives NaN.
struct PRelu : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const {
    return Select(a >= Splat<L>(0.0f), Splat<L>(1.0f), b) * a;
  }
};

// Each product rounded, then the sum: the same in both variants.
struct WeightedSum : Binary<float, float, float> {
  float alpha, beta;
  explicit WeightedSum(const BroadcastWeightedSumJob* job) : alpha(job->alpha), beta(job->beta) {}
  template <class L> L operator()(L a, L b) const { return Splat<L>(alpha) * a + Splat<L>(beta) * b; }
};

struct Pow : Binary<float, float, float> {
  using Binary::Binary;
  template <class L> L operator()(L a, L b) const { return PowKernel(a, b); }
};

// The exponent rounded to the nearest float first.
struct PowInt : Binary<float, int32_t, float> {
  using Binary::Binary;
  template <class LA, class LB> LA operator()(LA a, LB b) const { return PowKernel(a, ToFloat(b)); }
};

}  // namespace

#define VORTA_BROADCAST(name, Op, Job) VORTA_JOB_RUNNING(name, Job, RunBroadcast<Op>)

VORTA_BROADCAST(BroadcastAddInt32, AddInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastSubtractInt32, SubtractInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastMultiplyInt32, MultiplyInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastDivideInt32, DivideInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastRemainderInt32, RemainderInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastModuloInt32, ModuloInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastMinInt32, MinInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastMaxInt32, MaxInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastAndInt32, AndInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastOrInt32, OrInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastXorInt32, XorInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastEqualInt32, EqualInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastLessInt32, LessInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastLessEqualInt32, LessEqualInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastGreaterInt32, GreaterInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastGreaterEqualInt32, GreaterEqualInt32, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastAddFloat, AddFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastSubtractFloat, SubtractFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastMultiplyFloat, MultiplyFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastDivideFloat, DivideFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastRemainderFloat, RemainderFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastModuloFloat, ModuloFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastMinFloat, MinFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastMaxFloat, MaxFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastPRelu, PRelu, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastWeightedSum, WeightedSum, BroadcastWeightedSumJob)
VORTA_BROADCAST(BroadcastPow, Pow, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastPowInt, PowInt, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastEqualFloat, EqualFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastLessFloat, LessFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastLessEqualFloat, LessEqualFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastGreaterFloat, GreaterFloat, BroadcastBinaryJob)
VORTA_BROADCAST(BroadcastGreaterEqualFloat, GreaterEqualFloat, BroadcastBinaryJob)

}  // namespace vorta::VORTA_NS
