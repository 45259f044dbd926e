// The one-input element-wise maps and casts. Each operation is written once over
// a lane type (a scalar or a vector of kLanes), so the blocked path and the tail
// give identical results.
#include "tensor/maps.h"

#include "frame/services.h"
#include "tensor/activation_ops.h"
#include "tensor/map_loops.h"
#include "tensor/rounding.h"

namespace vorta::VORTA_NS {
namespace {

constexpr float kInf = __builtin_inff();

// ---- casts and int32 arithmetic ----

struct CastInt32ToFloat : Map<int32_t, float> {
  using Map::Map;
  template <class L> FloatOf<L> operator()(L x) const { return ToFloat(x); }
};

// NaN and values outside the int32 range give INT32_MIN.
struct CastFloatToInt32 : Map<float, int32_t> {
  using Map::Map;
  template <class L> IntOf<L> operator()(L x) const { return TruncToInt(x); }
};

struct NegateInt32 : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const { return WrapNeg(x); }
};

struct AbsInt32 : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const { return Select(x < Splat<L>(0), WrapNeg(x), x); }
};

struct SignInt32 : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const {
    const L zero = Splat<L>(0);
    return Select(x > zero, Splat<L>(1), Select(x < zero, Splat<L>(-1), zero));
  }
};

// offset + scale * x, wrapping.
struct AffineInt32 : Map<int32_t, int32_t> {
  int32_t scale, offset;
  explicit AffineInt32(const AffineInt32Job* job) : scale(job->scale), offset(job->offset) {}
  template <class L> L operator()(L x) const {
    using U = std::conditional_t<sizeof(L) == 4, uint32_t, VUint>;
    return Bits<L>(Bits<U>(WrapMul(x, Splat<L>(scale))) + Splat<U>(uint32_t(offset)));
  }
};

struct LogicalNotInt32 : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const { return MaskToOne(x == Splat<L>(0)); }
};

struct SquareInt32 : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const { return WrapMul(x, x); }
};

struct ClipInt32 : Map<int32_t, int32_t> {
  int32_t lo, hi;
  explicit ClipInt32(const ClipInt32Job* job) : lo(job->lo), hi(job->hi) {}
  template <class L> L operator()(L x) const {
    L v = Select(x > Splat<L>(lo), x, Splat<L>(lo));
    return Select(v < Splat<L>(hi), v, Splat<L>(hi));
  }
};

// v = clamp(x, -2^30, 2^30 - 1); bit 30 of the result is the inverse of bit 29.
struct BitRemapInt32 : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const {
    L v = Select(x < Splat<L>(-1073741824), Splat<L>(-1073741824), x);
    v = Select(v > Splat<L>(1073741823), Splat<L>(1073741823), v);
    L kept = v & Splat<L>(int32_t(0xbfffffffu));
    L moved = (v & Splat<L>(0x20000000)) + (v & Splat<L>(0x20000000));  // no overflow: bit 29 -> 30
    return (kept + moved) ^ Splat<L>(0x40000000);
  }
};

// Bit 30 takes the value of bit 31 (undoing BitRemapInt32 on its clamped range):
// an arithmetic shift by one puts bit 31 at bit 30.
struct BitDecodeInt32 : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const {
    return (x & Splat<L>(int32_t(0xbfffffffu))) | ((x >> 1) & Splat<L>(0x40000000));
  }
};

struct IsNanTest : Map<float, int32_t> {
  using Map::Map;
  template <class L> IntOf<L> operator()(L x) const {
    using I = IntOf<L>;
    return MaskToOne((Bits<I>(x) & Splat<I>(0x7fffffff)) > Splat<I>(0x7f800000));
  }
};

// ---- float arithmetic and rounding ----

// Negation and absolute value on the bits alone: zeros and NaN (payload
// included) change in the sign bit only.
struct NegateFloatBits : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const { return x ^ Splat<L>(INT32_MIN); }
};

struct AbsFloatBits : Map<int32_t, int32_t> {
  using Map::Map;
  template <class L> L operator()(L x) const { return x & Splat<L>(INT32_MAX); }
};

// ±1 with the sign of x; ±0 and NaN give +0.
struct SignFloat : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const {
    const L zero = Splat<L>(0.0f);
    return Select(MaskOr(x < zero, x > zero), CopySign(Splat<L>(1.0f), x), zero);
  }
};

struct SquareFloat : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const { return x * x; }
};

struct SqrtFloat : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const { return Sqrt(x); }
};

struct ReciprocalFloat : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const { return Splat<L>(1.0f) / x; }
};

struct CeilFloat : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const { return Ceil(x); }
};

struct FloorFloat : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const { return Floor(x); }
};

struct RoundFloat : Map<float, float> {
  bool nearest = ThreadRoundsToNearest();
  using Map::Map;
  template <class L> L operator()(L x) const { return RoundHalfEven(x, nearest); }
};

// ---- activations ----

// (|x| - |x - 6| + 6) / 2, which is exact below 2^25; beyond that (and at the
// infinities) the rounding of x - 6 breaks it, so the clamp is taken directly.
struct Relu6 : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const {
    const L six = Splat<L>(6.0f), zero = Splat<L>(0.0f);
    L formula = (Abs(x) - Abs(x - six) + six) * Splat<L>(0.5f);
    L clamped = Select(x > zero, six, Select(x < zero, zero, x));
    return Select(Abs(x) < Splat<L>(33554432.0f), formula, clamped);
  }
};

// x / (|x| + 1), and ±1 at ±inf rather than inf/inf.
struct SoftSign : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const {
    L r = x / (Abs(x) + Splat<L>(1.0f));
    return Select(Abs(x) == Splat<L>(kInf), CopySign(Splat<L>(1.0f), x), r);
  }
};

// max(min(x/6 + 1/2, 1), 0) * x; at -inf the gate is 0 and the result -0, not 0 * -inf.
struct HardSwish : Map<float, float> {
  using Map::Map;
  template <class L> L operator()(L x) const {
    L t = x * Splat<L>(0.16666667f) + Splat<L>(0.5f);
    L h = MaxStep(MinStep(t, Splat<L>(1.0f)), Splat<L>(0.0f));
    return Select(x == Splat<L>(-kInf), Splat<L>(-0.0f), h * x);
  }
};

// v = (p0 is NaN or x > p0) ? x : p0, then (p1 < v or v is NaN) ? p1 : v: a NaN
// lower bound is ignored, a NaN upper bound is ignored unless v is NaN. With
// the NaN bounds decided once per job, the steps are one max and one compare.
struct ClipFloat : Map<float, float> {
  float lo, hi;
  bool loIsNan, hiIsNan;
  explicit ClipFloat(const UnaryMapJob* job)
      : lo(Param<float>(job->param0)), hi(Param<float>(job->param1)), loIsNan(lo != lo),
        hiIsNan(hi != hi) {}
  template <class L> L operator()(L x) const {
    const L p0 = Splat<L>(lo), p1 = Splat<L>(hi);
    L v = loIsNan ? x : MaxStep(x, p0);
    return hiIsNan ? Select(IsNan(v), p1, v) : Select(v <= p1, v, p1);
  }
};

// ---- direct-loop casts ----

// Saturates to the int32 range.
struct CastInt64ToInt32 : Map<int64_t, int32_t> {
  using Map::Map;
  int32_t operator()(int64_t x) const {
    return x > INT32_MAX ? INT32_MAX : x < INT32_MIN ? INT32_MIN : int32_t(x);
  }
  VInt operator()(VInt64 x) const {
    const VInt64 hi = VInt64{} + INT32_MAX, lo = VInt64{} + INT32_MIN;
    VInt64 above = x > hi, below = x < lo;
    x = (x & ~above) | (hi & above);
    x = (x & ~below) | (lo & below);
    return __builtin_convertvector(x, VInt);
  }
};

struct CastUint8ToInt32 : Map<uint8_t, int32_t> {
  using Map::Map;
  int32_t operator()(uint8_t x) const { return x; }
  VInt operator()(VUint8 x) const { return __builtin_convertvector(x, VInt); }
};

struct CastInt8ToInt32 : Map<int8_t, int32_t> {
  using Map::Map;
  int32_t operator()(int8_t x) const { return x; }
  VInt operator()(VInt8 x) const { return __builtin_convertvector(x, VInt); }
};

struct CastBoolToInt32 : Map<uint8_t, int32_t> {
  using Map::Map;
  int32_t operator()(uint8_t x) const { return x != 0; }
  VInt operator()(VUint8 x) const { return __builtin_convertvector(x != 0, VInt) & 1; }
};

// Below -2^31 gives -2^31, above 2^31 - 1 gives 2^31 (the float nearest to
// it); the rest, NaN included, rounds to float. The vector form works on the
// two halves of the lanes: the maximum with -2^31 keeps a NaN (its second
// operand), the selection of 2^31 does not depend on the rounding mode.
struct CastDoubleClamped : Map<double, float> {
  using Map::Map;
  float operator()(double x) const {
    return float(x < -2147483648.0 ? -2147483648.0 : x > 2147483647.0 ? 2147483648.0 : x);
  }
  VFloat operator()(VDouble x) const {
#if defined(VORTA_VARIANT_AVX2)
    __m256d half[2];
    __m128 f[2];
    __builtin_memcpy(half, &x, sizeof half);
    for (int i = 0; i < 2; ++i) {
      const __m256d v = _mm256_max_pd(_mm256_set1_pd(-2147483648.0), half[i]);
      const __m256d above = _mm256_cmp_pd(half[i], _mm256_set1_pd(2147483647.0), _CMP_GT_OQ);
      f[i] = _mm256_cvtpd_ps(_mm256_blendv_pd(v, _mm256_set1_pd(2147483648.0), above));
    }
    return reinterpret_cast<VFloat>(_mm256_set_m128(f[1], f[0]));
#else
    __m128d half[2];
    __m128 f[2];
    __builtin_memcpy(half, &x, sizeof half);
    for (int i = 0; i < 2; ++i) {
      const __m128d v = _mm_max_pd(_mm_set1_pd(-2147483648.0), half[i]);
      const __m128d above = _mm_cmpgt_pd(half[i], _mm_set1_pd(2147483647.0));
      f[i] = _mm_cvtpd_ps(_mm_or_pd(_mm_andnot_pd(above, v),
                                    _mm_and_pd(above, _mm_set1_pd(2147483648.0))));
    }
    return reinterpret_cast<VFloat>(_mm_movelh_ps(f[0], f[1]));
#endif
  }
};

// roundHalfEven(x / scale) + zeroPoint, clamped to 0..255 and truncated. A NaN
// survives both clamps and truncates to the integer indefinite, whose low byte is 0.
struct QuantizeUint8 : Map<float, uint8_t> {
  float scale, zeroPoint;
  bool nearest = ThreadRoundsToNearest();
  explicit QuantizeUint8(const QuantizeJob* job) : scale(job->scale), zeroPoint(float(job->zeroPoint)) {}
  template <class L> IntOf<L> Quantize(L x) const {
    using I = IntOf<L>;
    L v = RoundHalfEven(x / Splat<L>(scale), nearest) + Splat<L>(zeroPoint);
    return Select(v < Splat<L>(0.0f), Splat<I>(0), Select(v > Splat<L>(255.0f), Splat<I>(255), TruncToInt(v)));
  }
  uint8_t operator()(float x) const { return uint8_t(Quantize(x)); }
  VUint8 operator()(VFloat x) const { return __builtin_convertvector(Quantize(x), VUint8); }
};

}  // namespace

#define VORTA_SPAN_MAP(name, Op, Job) VORTA_JOB_RUNNING(name, Job, RunSpanMap<Op>)
#define VORTA_DIRECT_MAP(name, Op, Job) VORTA_JOB_RUNNING(name, Job, RunDirectMap<Op>)

VORTA_SPAN_MAP(MapCastInt32ToFloat, CastInt32ToFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapCastFloatToInt32, CastFloatToInt32, UnaryMapJob)
VORTA_SPAN_MAP(MapNegateInt32, NegateInt32, UnaryMapJob)
VORTA_SPAN_MAP(MapAbsInt32, AbsInt32, UnaryMapJob)
VORTA_SPAN_MAP(MapSignInt32, SignInt32, UnaryMapJob)
VORTA_SPAN_MAP(MapAffineInt32, AffineInt32, AffineInt32Job)
VORTA_SPAN_MAP(MapLogicalNotInt32, LogicalNotInt32, UnaryMapJob)
VORTA_SPAN_MAP(MapSquareInt32, SquareInt32, UnaryMapJob)
VORTA_SPAN_MAP(MapNegateFloat, NegateFloatBits, UnaryMapJob)
VORTA_SPAN_MAP(MapAbsFloat, AbsFloatBits, UnaryMapJob)
VORTA_SPAN_MAP(MapSignFloat, SignFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapSquareFloat, SquareFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapSqrtFloat, SqrtFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapReciprocalFloat, ReciprocalFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapCeilFloat, CeilFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapFloorFloat, FloorFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapRoundFloat, RoundFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapRelu, Relu, UnaryMapJob)
VORTA_SPAN_MAP(MapRelu6, Relu6, UnaryMapJob)
VORTA_SPAN_MAP(MapSoftSign, SoftSign, UnaryMapJob)
VORTA_SPAN_MAP(MapHardSwish, HardSwish, UnaryMapJob)
VORTA_SPAN_MAP(MapTwoSlope, TwoSlope, UnaryMapJob)
VORTA_SPAN_MAP(MapThresholdedRelu, ThresholdedRelu, UnaryMapJob)
VORTA_SPAN_MAP(MapAffine, Affine, UnaryMapJob)
VORTA_SPAN_MAP(MapClipFloat, ClipFloat, UnaryMapJob)
VORTA_SPAN_MAP(MapClipInt32, ClipInt32, ClipInt32Job)
VORTA_SPAN_MAP(MapIsNan, IsNanTest, UnaryMapJob)
VORTA_DIRECT_MAP(MapCastInt64ToInt32, CastInt64ToInt32, DirectMapJob)
VORTA_DIRECT_MAP(MapCastUint8ToInt32, CastUint8ToInt32, DirectMapJob)
VORTA_DIRECT_MAP(MapCastInt8ToInt32, CastInt8ToInt32, DirectMapJob)
VORTA_DIRECT_MAP(MapCastBoolToInt32, CastBoolToInt32, DirectMapJob)
VORTA_DIRECT_MAP(MapQuantizeUint8, QuantizeUint8, QuantizeJob)
VORTA_DIRECT_MAP(MapBitRemapInt32, BitRemapInt32, DirectMapJob)
VORTA_DIRECT_MAP(MapBitDecodeInt32, BitDecodeInt32, BitDecodeJob)
VORTA_DIRECT_MAP(MapCastDoubleToFloat, CastDoubleClamped, DirectMapJob)

// The half casts go element by element through the host's conversions.
VORTA_JOB_BODY(MapCastHalfToFloat) {
  const auto* j = static_cast<const DirectMapJob*>(job);
  const auto* in = static_cast<const uint16_t*>(j->input);
  auto* out = static_cast<float*>(j->output);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) out[i] = HostHalfToFloat(in[i]);
  });
}

// Subnormal floats flush to half zero without a host call; everything else,
// zeros, normals, infinities and NaN, goes through the host.
VORTA_JOB_BODY(MapCastFloatToHalf) {
  const auto* j = static_cast<const DirectMapJob*>(job);
  const auto* in = static_cast<const uint32_t*>(j->input);
  auto* out = static_cast<uint16_t*>(j->output);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) {
      uint32_t bits = in[i];
      bool subnormal = (bits & 0x7f800000u) == 0 && (bits & 0x007fffffu) != 0;
      out[i] = subnormal ? uint16_t(0) : HostFloatToHalf(Bits<float>(bits));
    }
  });
}

// Reads each element as an unsigned integer converted to float and would zero
// the ones that convert to a subnormal; no integer does, so nothing is written.
VORTA_JOB_BODY(MapInPlacePass) {
  (void)job;
  RunBatchLoop(ranges, jobIndex, [](int32_t, int32_t) {});
}

}  // namespace vorta::VORTA_NS
