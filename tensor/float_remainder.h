// The float remainder fm(a, b) with the sign of the dividend, over lane types:
// a where |a| < |b|, otherwise a - trunc(a / b) * b in double precision, the
// exact remainder where that formula stops being one. Shared by the broadcast
// remainder and modulo and by the reflection of grid sampling.
#pragma once
#include <type_traits>

#include "frame/simd.h"

namespace vorta::VORTA_NS {
namespace remainder_detail {
constexpr float kInf = __builtin_inff();

// The truncated remainder of two finite floats with |a| >= |b| > 0, exactly:
// long division of the integer significands, 40 bits of the exponent
// difference at a time. The remainder is a multiple of b's unit below |b|, so
// scaling it back is exact. A zero remainder is +0, as the double formula
// gives it.
static inline __attribute__((noinline, cold)) float ExactRemainder(float a, float b) {
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

}  // namespace remainder_detail

// fm(a, b): a where |a| < |b|; otherwise a - trunc(a / b) * b in double
// precision. Beyond a quotient of 2^29 that formula stops being the remainder
// (3e38 rem 7 would give -3.78e22), so those lanes take the exact remainder;
// everywhere the formula is right the result is the same, zero results (+0)
// included.
template <class L>
static inline __attribute__((always_inline)) L Remainder(L a, L b) {
  using namespace remainder_detail;
  const auto small = Abs(a) < Abs(b);
  const WideOf<L> A = Widen(a), B = Widen(b);
  WideOf<L> q = A / B;
  const auto exact = KeepExactQuotient(q);
  const L r = Select(small, a, Narrow(A - TruncSmall(q) * B));
  return PatchSlowLanes(r, a, b, MaskAnd(MaskNot(small), MaskNot(exact)));
}

}  // namespace vorta::VORTA_NS
