// The transcendental element-wise maps, on the span loop. Each operation is
// written once over a lane type; the elementary functions go through the vector
// forms even for a single element, so the blocked path and the tail agree
// exactly within a variant.
#include "tensor/transcendental.h"

#include "tensor/activation_ops.h"
#include "tensor/elementary.h"
#include "tensor/map_loops.h"

namespace vorta::VORTA_NS {
namespace {

constexpr float kInf = __builtin_inff();
constexpr float kLn2 = __builtin_bit_cast(float, 0x3f317218u);

// The exponential linear units read alpha as the float at offset 20.
struct AlphaMap : FloatMap {
  float alpha;
  explicit AlphaMap(const UnaryMapJob* job) : alpha(Bits<float>(job->param0)) {}
};

// The scaled exponential linear unit reads alpha at 20 and gamma at 28.
struct SeluMap : FloatMap {
  float alpha, gamma;
  explicit SeluMap(const SeluJob* job) : alpha(job->alpha), gamma(job->gamma) {}
};

// ln(a + sqrt(a·a + c)) for a >= 0, c = ±1. From 2^64 on a·a overflows, while
// the root equals a to float precision: the value there is ln(a) + ln 2.
template <class L>
static inline __attribute__((always_inline)) L LogOfRootSum(L a, float c) {
  const auto huge = a >= Splat<L>(18446744073709551616.0f);
  const L y = LogKernel(Select(huge, a, a + Sqrt(a * a + Splat<L>(c))));
  return Select(huge, y + Splat<L>(kLn2), y);
}

// Abramowitz-Stegun 7.1.26, every product and sum rounded in the order written.
constexpr float kErfP = __builtin_bit_cast(float, 0x3ea7ba05u);   // 0.3275911
constexpr float kErfA1 = __builtin_bit_cast(float, 0x3e827906u);  // 0.2548296
constexpr float kErfA2 = __builtin_bit_cast(float, 0xbe91a98eu);  // -0.28449672
constexpr float kErfA3 = __builtin_bit_cast(float, 0x3fb5f0e3u);  // 1.4214138
constexpr float kErfA4 = __builtin_bit_cast(float, 0xbfba00e3u);  // -1.4531521
constexpr float kErfA5 = __builtin_bit_cast(float, 0x3f87dc22u);  // 1.0614054

template <class L>
static inline __attribute__((always_inline)) L Erf(L x) {
  const L one = Splat<L>(1.0f);
  const L t = one / (one + Splat<L>(kErfP) * Abs(x));
  const L poly =
      Splat<L>(kErfA1) +
      t * (Splat<L>(kErfA2) + t * (Splat<L>(kErfA3) + t * (Splat<L>(kErfA4) + t * Splat<L>(kErfA5))));
  const L y = one - t * poly * ExpKernel(-(x * x));
  // erf(±0) = +0 and erf(NaN) = NaN both come from multiplying by 0.
  const auto signed_ = MaskAnd(x != Splat<L>(0.0f), MaskNot(IsNan(x)));
  return y * Select(signed_, CopySign(one, x), Splat<L>(0.0f));
}

#define VORTA_FLOAT_MAP(Name, Base, ...)                        \
  struct Name : Base {                                          \
    using Base::Base;                                           \
    template <class L> L operator()(L x) const { __VA_ARGS__ }  \
  };

VORTA_FLOAT_MAP(ExpOp, FloatMap, return ExpKernel(x);)
VORTA_FLOAT_MAP(LogOp, FloatMap, return LogKernel(x);)
// Both keep the plain formula, which overflows to inf once e^|x| does
// (|x| > 88.72), a little before the true values do.
VORTA_FLOAT_MAP(SinhOp, FloatMap, return (ExpKernel(x) - ExpKernel(-x)) * Splat<L>(0.5f);)
VORTA_FLOAT_MAP(CoshOp, FloatMap, return (ExpKernel(x) + ExpKernel(-x)) * Splat<L>(0.5f);)
VORTA_FLOAT_MAP(TanhOp, FloatMap, return ClampedTanh(x);)
// asinh is odd: taken on |x| with the sign of x put back. The formula on a
// negative x subtracts nearly equal terms (-inf from -4096 on, NaN at -inf).
VORTA_FLOAT_MAP(AsinhOp, FloatMap, return CopySign(LogOfRootSum(Abs(x), 1.0f), x);)
// NaN for every x < 1, also where the formula would give -inf or +inf (x <= -4096).
VORTA_FLOAT_MAP(AcoshOp, FloatMap,
                return Select(x < Splat<L>(1.0f), Splat<L>(__builtin_nanf("")), LogOfRootSum(x, -1.0f));)
VORTA_FLOAT_MAP(AtanhOp, FloatMap,
                return LogKernel((x + Splat<L>(1.0f)) / (Splat<L>(1.0f) - x)) * Splat<L>(0.5f);)
// At -inf the quotient is inf/inf; the limit, -0, is what every x below -88.7 gives.
VORTA_FLOAT_MAP(SwishOp, FloatMap,
                const L r = x / (ExpKernel(-x) + Splat<L>(1.0f));
                return Select(x == Splat<L>(-kInf), Splat<L>(-0.0f), r);)
// The plain formula takes a NaN input to 0 through both branches; NaN passes unchanged instead.
// NaN fails x <= 0 and gives gamma * NaN.
VORTA_FLOAT_MAP(SeluOp, SeluMap,
                const L a = Splat<L>(alpha), g = Splat<L>(gamma);
                return Select(x <= Splat<L>(0.0f), g * (ExpKernel(x) * a - a), g * x);)
VORTA_FLOAT_MAP(CeluOp, AlphaMap,
                const L a = Splat<L>(alpha), zero = Splat<L>(0.0f);
                const L v = (ExpKernel(x / a) - Splat<L>(1.0f)) * a;
                const L r = Select(v < zero, v, zero) + Select(x > zero, x, zero);
                return Select(IsNan(x), x, r);)
VORTA_FLOAT_MAP(ErfOp, FloatMap, return Erf(x);)
// At -inf the formula is -inf·0; the limit, -0, is what large negative x give.
VORTA_FLOAT_MAP(GeluTanhOp, FloatMap,
                const L cube = PowKernel(x, Splat<L>(3.0f));
                const L inner = (x + Splat<L>(__builtin_bit_cast(float, 0x3d372713u)) * cube) *
                                Splat<L>(__builtin_bit_cast(float, 0x3f4c422au));
                const L r = x * Splat<L>(0.5f) * (Splat<L>(1.0f) + ClampedTanh(inner));
                return Select(x == Splat<L>(-kInf), Splat<L>(-0.0f), r);)
VORTA_FLOAT_MAP(AsinOp, FloatMap, return AsinKernel(x);)
VORTA_FLOAT_MAP(AcosOp, FloatMap, return AcosKernel(x);)
VORTA_FLOAT_MAP(AtanOp, FloatMap, return AtanKernel(x);)
VORTA_FLOAT_MAP(CosOp, FloatMap, return CosKernel(x);)
VORTA_FLOAT_MAP(SinOp, FloatMap, return SinKernel(x);)
VORTA_FLOAT_MAP(TanOp, FloatMap, return TanKernel(x);)

#undef VORTA_FLOAT_MAP

}  // namespace

#define VORTA_SPAN_MAP(name, Op) VORTA_JOB_RUNNING(name, UnaryMapJob, RunSpanMap<Op>)

VORTA_SPAN_MAP(MapExp, ExpOp)
VORTA_SPAN_MAP(MapLog, LogOp)
VORTA_SPAN_MAP(MapSinh, SinhOp)
VORTA_SPAN_MAP(MapCosh, CoshOp)
VORTA_SPAN_MAP(MapTanh, TanhOp)
VORTA_SPAN_MAP(MapAsinh, AsinhOp)
VORTA_SPAN_MAP(MapAcosh, AcoshOp)
VORTA_SPAN_MAP(MapAtanh, AtanhOp)
VORTA_SPAN_MAP(MapSigmoid, SigmoidOp)
VORTA_SPAN_MAP(MapSwish, SwishOp)
VORTA_SPAN_MAP(MapSoftplus, SoftplusOp)
VORTA_SPAN_MAP(MapElu, EluOp)
VORTA_SPAN_MAP(MapCelu, CeluOp)
VORTA_JOB_RUNNING(MapSelu, SeluJob, RunSpanMap<SeluOp>)
VORTA_SPAN_MAP(MapErf, ErfOp)
VORTA_SPAN_MAP(MapGeluTanh, GeluTanhOp)
VORTA_SPAN_MAP(MapAsin, AsinOp)
VORTA_SPAN_MAP(MapAcos, AcosOp)
VORTA_SPAN_MAP(MapAtan, AtanOp)
VORTA_SPAN_MAP(MapCos, CosOp)
VORTA_SPAN_MAP(MapSin, SinOp)
VORTA_SPAN_MAP(MapTan, TanOp)

#undef VORTA_SPAN_MAP

}  // namespace vorta::VORTA_NS
