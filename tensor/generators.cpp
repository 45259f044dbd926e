// Constant fill, ranges and random tensors. Each element is a function of its
// index (and the job's seed) alone, so every member is written once over a lane
// type: kLanes consecutive indices at a time, the rest of a batch one by one,
// with the same results.
#include "tensor/generators.h"

#include <vorta/vorta.h>

#include "frame/batch_loop.h"
#include "frame/simd.h"
#include "tensor/elementary.h"
#include "tensor/index_random.h"

namespace vorta {
using FillJob = ::VortaFillJob;
using FloatRangeJob = ::VortaFloatRangeJob;
using IntRangeJob = ::VortaIntRangeJob;
using RandomFillJob = ::VortaRandomFillJob;
using BernoulliJob = ::VortaBernoulliJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// The index lanes first, first + 1, ...
template <class U>
static inline __attribute__((always_inline)) U Iota(uint32_t first) {
  if constexpr (sizeof(U) == 4) {
    return first;
  } else {
#if defined(VORTA_VARIANT_AVX2)
    return Splat<U>(first) + U{0, 1, 2, 3, 4, 5, 6, 7};
#else
    return Splat<U>(first) + U{0, 1, 2, 3};
#endif
  }
}

// A store that bypasses the caches (no read for ownership of the line).
template <class V>
static inline __attribute__((always_inline)) void StreamStore(void* p, V v) {
#if defined(VORTA_VARIANT_AVX2)
  _mm256_stream_si256(static_cast<__m256i*>(p), Bits<__m256i>(v));
#else
  _mm_stream_si128(static_cast<__m128i*>(p), Bits<__m128i>(v));
#endif
}

// Batches from this many elements on (1 MiB of output) stream their aligned
// blocks past the caches: far more than a cache keeps, and the writes then
// cost no reads. The values are the same either way.
constexpr int64_t kStreamFrom = 1 << 18;

// Writes gen(i) for every i of [begin, end): kLanes at a time, then one by one.
// gen takes the index lanes (uint32_t or VUint) and returns the element lanes.
template <class T, class Gen>
static inline __attribute__((always_inline)) void Generate(T* out, int64_t begin, int64_t end,
                                                           const Gen& gen) {
  int64_t i = begin;
  if (end - begin >= kStreamFrom) {
    for (int head = 0; head < kLanes && (reinterpret_cast<uintptr_t>(out + i) % sizeof(VUint)) != 0; ++head, ++i)
      Store(out + i, gen(uint32_t(i)));
    if (reinterpret_cast<uintptr_t>(out + i) % sizeof(VUint) == 0) {
      for (; i + kLanes <= end; i += kLanes) StreamStore(out + i, gen(Iota<VUint>(uint32_t(i))));
      _mm_sfence();
    }
  }
  for (; i + kLanes <= end; i += kLanes) Store(out + i, gen(Iota<VUint>(uint32_t(i))));
  for (; i < end; ++i) Store(out + i, gen(uint32_t(i)));
}

// The lanes of float type for index lanes U.
template <class U> using FloatLanes = typename IndexRandomFloat<U>::type;

// ---- the normal generator ----

template <class L> struct DoubleOf { typedef double type; };
template <> struct DoubleOf<VFloat> { typedef double type __attribute__((vector_size(kLanes * 8))); };

template <class D, class L>
static inline __attribute__((always_inline)) D ToDouble(L x) {
  if constexpr (sizeof(L) == 4) return double(x);
  else return __builtin_convertvector(x, D);
}
template <class L, class D>
static inline __attribute__((always_inline)) L ToSingle(D x) {
  if constexpr (sizeof(D) == 8) return float(x);
  else return __builtin_convertvector(x, L);
}

// ln(r) in double precision for 0 < r < 1: r = m · 2^k with m in [0.75, 1.5),
// a = (m − 1)/(m + 1), ln r = 2a + a·t·P(t) + k·ln 2 with t = a². The exponent
// split is exact on the float r (which u² + v² of 22-bit lanes keeps far above
// the subnormal range), and m converts to double exactly.
template <class L>
static inline __attribute__((always_inline)) typename DoubleOf<L>::type LogDouble(L r) {
  typedef typename DoubleOf<L>::type D;
  using I = IntOf<L>;
  const I bits = Bits<I>(r);
  // k: the exponent of r·4/3, one more than r's own once its mantissa reaches 1.5.
  const I k = ((bits >> 23) & Splat<I>(0xff)) - Splat<I>(127) +
              MaskToOne((bits & Splat<I>(0x7fffff)) >= Splat<I>(0x400000));
  const L m = Bits<L>(bits - WrapMul(k, Splat<I>(1 << 23)));
  const D md = ToDouble<D>(m);
  const D a = (md - 1.0) / (md + 1.0), t = a * a;
  const D p = Bits<double>(0x3fe555555555593full) +
              t * (Bits<double>(0x3fd99999998c136eull) +
                   t * (Bits<double>(0x3fd249249bfbe987ull) +
                        t * (Bits<double>(0x3fcc71bfeed5d419ull) +
                             t * (Bits<double>(0x3fc7474ba672b05full) +
                                  t * (Bits<double>(0x3fc385c5cbc3f50dull) + t * Bits<double>(0x3fc3a5791d95db39ull))))));
  D kd;
  if constexpr (sizeof(L) == 4) kd = double(k);
  else kd = __builtin_convertvector(k, D);
  return (a * 2.0 + a * t * p) + kd * Bits<double>(0x3fe62e42fefa39efull);
}

static inline bool AllSet(bool m) { return m; }
static inline bool AllSet(VInt m) { return LaneBits(m) == (1 << kLanes) - 1; }

// The Marsaglia polar method on the generator of each index: the first
// coordinate of the first accepted pair. Vector lanes keep drawing until every
// lane has accepted; a lane keeps its first accepted pair.
template <class U>
static inline __attribute__((always_inline)) FloatLanes<U> Normal(uint32_t seed, U index, float mean,
                                                                  float scale) {
  typedef FloatLanes<U> L;
  using M = MaskOf<L>;
  U s = IndexRandomNext(IndexRandomState(seed, index));
  L uKept = Splat<L>(0.0f), rKept = Splat<L>(0.5f);
  M done = M{};
  for (;;) {
    const U t = IndexRandomNext(s);
    const L u = IndexRandomUniform(s) * Splat<L>(2.0f) - Splat<L>(1.0f);
    const L v = IndexRandomUniform(t) * Splat<L>(2.0f) - Splat<L>(1.0f);
    const L r = u * u + v * v;
    s = IndexRandomNext(t);
    const M accept = MaskAnd(MaskNot(done), MaskAnd(r < Splat<L>(1.0f), r != Splat<L>(0.0f)));
    uKept = Select(accept, u, uKept);
    rKept = Select(accept, r, rKept);
    done = MaskOr(done, accept);
    if (AllSet(done)) break;
  }
  const L logR = ToSingle<L>(LogDouble(rKept));
  return uKept * Splat<L>(scale) * Sqrt(logR * Splat<L>(-2.0f) / rKept) + Splat<L>(mean);
}

}  // namespace

VORTA_JOB_BODY(FillConstant) {
  const auto* j = static_cast<const FillJob*>(job);
  auto* out = static_cast<uint32_t*>(j->output);
  const uint32_t value = j->value;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    Generate(out, begin, end, [&](auto i) {
      if constexpr (sizeof(i) == 4) return value;
      else return Splat<VUint>(value);
    });
  });
}

// float(i)·delta + start, two roundings. Where the product is zero the result
// is start itself: a start of −0 stays −0 (0 + −0 would give +0).
VORTA_JOB_BODY(FillFloatRange) {
  const auto* j = static_cast<const FloatRangeJob*>(job);
  float* out = j->output;
  const float start = j->start, delta = j->delta;
  const int32_t length = j->length;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    const int32_t stop = end < length ? end : length;
    Generate(out, begin, stop, [&](auto i) {
      typedef FloatLanes<decltype(i)> L;
      const L product = ToFloat(Bits<IntOf<L>>(i)) * Splat<L>(delta);
      return Select(product == Splat<L>(0.0f), Splat<L>(start), product + Splat<L>(start));
    });
  });
}

VORTA_JOB_BODY(FillIntRange) {
  const auto* j = static_cast<const IntRangeJob*>(job);
  int32_t* out = j->output;
  const uint32_t start = uint32_t(j->start), delta = uint32_t(j->delta);
  const int32_t length = j->length;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    const int32_t stop = end < length ? end : length;
    Generate(out, begin, stop, [&](auto i) {
      typedef IntOf<FloatLanes<decltype(i)>> I;
      return Bits<I>(i * delta + start);
    });
  });
}

// U1·(high − low) + low. Where high − low overflows (both finite, the span
// above the float range) the product would be ±inf (or 0·inf = NaN); the
// weighted form (1 − U1)·low + U1·high stays inside [low, high] instead.
VORTA_JOB_BODY(RandomUniform) {
  const auto* j = static_cast<const RandomFillJob*>(job);
  float* out = j->output;
  const uint32_t seed = j->seed;
  const float low = j->param0, high = j->param1, span = high - low;
  const bool overflow = Abs(span) == __builtin_inff() && Abs(low) < __builtin_inff() &&
                        Abs(high) < __builtin_inff();
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    Generate(out, begin, end, [&](auto i) {
      typedef FloatLanes<decltype(i)> L;
      const L u = IndexRandomU1(seed, i);
      if (overflow) return (Splat<L>(1.0f) - u) * Splat<L>(low) + u * Splat<L>(high);
      return u * Splat<L>(span) + Splat<L>(low);
    });
  });
}

VORTA_JOB_BODY(RandomNormal) {
  const auto* j = static_cast<const RandomFillJob*>(job);
  float* out = j->output;
  const uint32_t seed = j->seed;
  const float mean = j->param0, scale = j->param1;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    Generate(out, begin, end, [&](auto i) { return Normal(seed, i, mean, scale); });
  });
}

// 1 where U1 < p (never for a NaN p), as float or int32; other kinds write nothing.
VORTA_JOB_BODY(RandomBernoulli) {
  const auto* j = static_cast<const BernoulliJob*>(job);
  const float* p = j->probabilities;
  const uint32_t seed = j->seed;
  const int32_t kind = j->outputKind;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    auto sample = [&](auto index, int64_t at) {
      typedef FloatLanes<decltype(index)> L;
      const auto hit = IndexRandomU1(seed, index) < Load<L>(p + at);
      if (kind == 0) Store(static_cast<float*>(j->output) + at, Select(hit, Splat<L>(1.0f), Splat<L>(0.0f)));
      else Store(static_cast<int32_t*>(j->output) + at, MaskToOne(hit));
    };
    if (kind != 0 && kind != 1) return;
    int64_t i = begin;
    for (; i + kLanes <= end; i += kLanes) sample(Iota<VUint>(uint32_t(i)), i);
    for (; i < end; ++i) sample(uint32_t(i), i);
  });
}

}  // namespace vorta::VORTA_NS
