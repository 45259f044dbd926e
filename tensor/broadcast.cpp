// The two-input broadcast jobs. Each operation is written once over lane types
// (scalars or vectors of kLanes), so the blocked path and the tail give the same
// results; the odometer walk they all share is in broadcast_layout.h.
#include "tensor/broadcast.h"

#include "tensor/broadcast_layout.h"
#include "tensor/elementary.h"

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

// The truncated remainder of two finite floats with |a| >= |b| > 0, exactly:
// long division of the integer significands, 40 bits of the exponent
// difference at a time. The remainder is a multiple of b's unit below |b|, so
// scaling it back is exact. A zero remainder is +0, as the double formula
// gives it.
__attribute__((noinline, cold)) float ExactRemainder(float a, float b) {
  uint32_t ua = Bits<uint32_t>(a) & 0x7fffffffu, ub = Bits<uint32_t>(b) & 0x7fffffffu;
  int32_t ea = static_cast<int32_t>(ua >> 23), eb = static_cast<int32_t>(ub >> 23);
  uint64_t ma = ua & 0x7fffffu, mb = ub & 0x7fffffu;
  if (ea != 0) ma |= 0x800000u; else ea = 1;
  if (eb != 0) mb |= 0x800000u; else eb = 1;
  uint64_t r = ma % mb;
  for (int32_t d = ea - eb; d > 0 && r != 0;) {
    int32_t s = d < 40 ? d : 40;
    r = (r << s) % mb;
    d -= s;
  }
  if (r == 0) return 0.0f;
  // b's unit is 2^(eb - 150), at least 2^-149.
  double unit = Bits<double>(static_cast<uint64_t>(eb - 150 + 1023) << 52);
  return CopySign(static_cast<float>(static_cast<double>(r) * unit), a);
}

// The lanes the double formula cannot take: NaN operands (the first NaN,
// quieted), infinite a or zero b (the default NaN, as the formula's inf - inf
// or 0 * inf gives it), and quotients of 2^29 or more.
static inline float RemainderSlowLane(float a, float b) {
  if (IsNan(a) || IsNan(b)) return Bits<float>(Bits<uint32_t>(IsNan(a) ? a : b) | 0x00400000u);
  if (b == 0.0f || Abs(a) == kInf) return Bits<float>(0xffc00000u);
  return ExactRemainder(a, b);
}

// The double-precision side of the remainder, for a scalar and for kLanes lanes.
typedef double VDouble __attribute__((vector_size(kLanes * 8)));
template <class L> using WideOf = std::conditional_t<sizeof(L) == 4, double, VDouble>;

static inline __attribute__((always_inline)) double Widen(float x) { return x; }
static inline __attribute__((always_inline)) VDouble Widen(VFloat x) {
  return __builtin_convertvector(x, VDouble);
}
static inline __attribute__((always_inline)) float Narrow(double x) { return static_cast<float>(x); }
static inline __attribute__((always_inline)) VFloat Narrow(VDouble x) {
  return __builtin_convertvector(x, VFloat);
}

// Below 2^29 the quotient's truncation is exact (the correctly rounded a / b
// never reaches the next integer) and trunc(q) * b fits the 53 bits of a
// double, so the formula rounds nothing. Returns the mask of those lanes and
// replaces q by 0 elsewhere, so that only int32-sized values are converted.
static inline __attribute__((always_inline)) bool KeepExactQuotient(double& q) {
  const bool exact = __builtin_fabs(q) < 536870912.0;
  if (!exact) q = 0.0;
  return exact;
}
static inline __attribute__((always_inline)) VInt KeepExactQuotient(VDouble& q) {
  const VInt64 exact = Bits<VDouble>(Bits<VInt64>(q) & 0x7fffffffffffffffll) < 536870912.0;
  q = Bits<VDouble>(Bits<VInt64>(q) & exact);
  return __builtin_convertvector(exact, VInt);
}
static inline __attribute__((always_inline)) double TruncSmall(double q) {
  return static_cast<double>(static_cast<int32_t>(q));
}
static inline __attribute__((always_inline)) VDouble TruncSmall(VDouble q) {
  return __builtin_convertvector(__builtin_convertvector(q, VInt), VDouble);
}

static inline __attribute__((always_inline)) float PatchSlowLanes(float r, float a, float b, bool slow) {
  return __builtin_expect(slow, 0) ? RemainderSlowLane(a, b) : r;
}
static inline __attribute__((always_inline)) VFloat PatchSlowLanes(VFloat r, VFloat a, VFloat b, VInt slow) {
  uint64_t words[sizeof(VInt) / 8];
  __builtin_memcpy(words, &slow, sizeof words);
  uint64_t any = 0;
  for (uint64_t w : words) any |= w;
  if (__builtin_expect(any != 0, 0)) {
    for (int i = 0; i < kLanes; ++i)
      if (slow[i]) r[i] = RemainderSlowLane(a[i], b[i]);
  }
  return r;
}

// fm(a, b): a where |a| < |b|; otherwise a - trunc(a / b) * b in double
// precision. Beyond a quotient of 2^29 that formula stops being the remainder
// (3e38 rem 7 would give -3.78e22), so those lanes take the exact remainder;
// everywhere the formula is right the result is the same, zero results (+0)
// included.
template <class L>
static inline __attribute__((always_inline)) L Remainder(L a, L b) {
  const auto small = Abs(a) < Abs(b);
  const WideOf<L> A = Widen(a), B = Widen(b);
  WideOf<L> q = A / B;
  const auto exact = KeepExactQuotient(q);
  const L r = Select(small, a, Narrow(A - TruncSmall(q) * B));
  return PatchSlowLanes(r, a, b, MaskAnd(MaskNot(small), MaskNot(exact)));
}

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
