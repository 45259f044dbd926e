// The parameterised maps on the map loops, categorical sampling over the host's
// uniforms, the selected-box list and the small direct-call utilities.
#include "tensor/param_maps.h"

#include <string.h>

#include "frame/batch_loop.h"
#include "frame/services.h"
#include "tensor/activation_ops.h"
#include "tensor/map_loops.h"

namespace vorta {
using InfinityTestJob = ::VortaInfinityTestJob;
using DequantizeJob = ::VortaDequantizeJob;
using CategoricalSampleJob = ::VortaCategoricalSampleJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

constexpr float kInf = __builtin_inff();

// The Gaussian error linear unit in the error-function form, with erf from the
// Abramowitz-Stegun 7.1.26 polynomial, rounded in the order written:
// (x·((1 − E·poly)·sgn + 1))·0.5. Two places where that order breaks are
// taken by their limits instead: at −inf the factor is 0 and the product
// −inf·0 (NaN), where every large negative x gives −0; and where x·factor
// overflows (x above about 1.7e38, the factor near 2) the halving comes first.
struct GeluErf : FloatMap {
  using FloatMap::FloatMap;
  template <class L> L operator()(L x) const {
    const L z = x / Splat<L>(1.4142135f);
    const L a = Abs(z);
    const L t = Splat<L>(1.0f) / (a * Splat<L>(0.3275911f) + Splat<L>(1.0f));
    const L t2 = t * t, t3 = t * t2, t4 = t * t3;
    const L poly = (t * t4) * Splat<L>(1.0614054f) +
                   (t4 * Splat<L>(-1.4531521f) +
                    (t3 * Splat<L>(1.4214138f) + (t2 * Splat<L>(-0.28449672f) + t * Splat<L>(0.2548296f))));
    const L e = ExpKernel(a * -a);
    const auto signedZ = MaskAnd(z != Splat<L>(0.0f), MaskNot(IsNan(z)));
    const L sgn = Select(signedZ, CopySign(Splat<L>(1.0f), z), Splat<L>(0.0f));
    const L factor = (Splat<L>(1.0f) - e * poly) * sgn + Splat<L>(1.0f);
    const L r = (x * factor) * Splat<L>(0.5f);
    const L halvedFirst = x * (factor * Splat<L>(0.5f));
    const L finite = Select(MaskAnd(Abs(r) == Splat<L>(kInf), Abs(x) < Splat<L>(kInf)), halvedFirst, r);
    return Select(x == Splat<L>(-kInf), Splat<L>(-0.0f), finite);
  }
};

// λ = param1, bias = param0: x < −λ gives x + bias, else x > λ gives x − bias,
// else 0 (NaN too). The tests are taken in that order, which also decides a
// negative λ, where both hold between λ and −λ: there x + bias.
struct Shrink : FloatMap {
  float bias, lambda;
  explicit Shrink(const UnaryMapJob* job) : bias(Param<float>(job->param0)), lambda(Param<float>(job->param1)) {}
  template <class L> L operator()(L x) const {
    const L b = Splat<L>(bias), l = Splat<L>(lambda);
    return Select(x < -l, x + b, Select(x > l, x - b, Splat<L>(0.0f)));
  }
};

struct IsInfinity : Map<float, int32_t> {
  bool negative, positive;
  explicit IsInfinity(const InfinityTestJob* job) : negative(job->detectNegative != 0), positive(job->detectPositive != 0) {}
  template <class L> IntOf<L> operator()(L x) const {
    const auto neg = MaskAnd(Splat<IntOf<L>>(negative ? -1 : 0) != Splat<IntOf<L>>(0), x == Splat<L>(-kInf));
    const auto pos = MaskAnd(Splat<IntOf<L>>(positive ? -1 : 0) != Splat<IntOf<L>>(0), x == Splat<L>(kInf));
    return MaskToOne(MaskOr(neg, pos));
  }
};

// float(int(x) − int(zeroPoint)) · scale, exact up to the one rounding.
struct DequantizeUint8 : Map<uint8_t, float> {
  int32_t zeroPoint;
  float scale;
  explicit DequantizeUint8(const DequantizeJob* job) : zeroPoint(job->zeroPoint), scale(job->scale) {}
  float operator()(uint8_t x) const { return float(int32_t(x) - zeroPoint) * scale; }
  VFloat operator()(VUint8 x) const {
    return ToFloat(__builtin_convertvector(x, VInt) - Splat<VInt>(zeroPoint)) * Splat<VFloat>(scale);
  }
};

// The class of sample i: the first class whose running probability sum reaches
// u, the last class when none does; -1 for u <= 0.
static inline int32_t Category(const CategoricalSampleJob* job, int64_t i) {
  const int32_t classes = job->classCount;
  const float u = job->uniforms[i];
  if (!(u > 0.0f) && u == u) return -1;
  const int64_t row = job->samplesPerRow > 0 ? i / job->samplesPerRow : 0;
  const float* p = job->probabilities + row * classes;
  float sum = 0.0f;
  int32_t j = 0;
  for (; j + 1 < classes; ++j) {
    sum += p[j];
    if (u <= sum) break;
  }
  return j;
}

}  // namespace

#define VORTA_SPAN_MAP(name, Op) VORTA_JOB_RUNNING(name, UnaryMapJob, RunSpanMap<Op>)
#define VORTA_DIRECT_MAP(name, Op, Job) VORTA_JOB_RUNNING(name, Job, RunDirectMap<Op>)

VORTA_SPAN_MAP(MapHardSigmoid, HardSigmoid)
VORTA_SPAN_MAP(MapGeluErf, GeluErf)
VORTA_SPAN_MAP(MapShrink, Shrink)
VORTA_DIRECT_MAP(MapIsInfinity, IsInfinity, InfinityTestJob)
VORTA_DIRECT_MAP(MapDequantizeUint8, DequantizeUint8, DequantizeJob)

#undef VORTA_SPAN_MAP
#undef VORTA_DIRECT_MAP

// The host converts each half; a subnormal float result (which a correct
// conversion never gives) becomes +0.
VORTA_JOB_BODY(MapHalfToFloatFlushed) {
  const auto* j = static_cast<const DirectMapJob*>(job);
  const auto* in = static_cast<const uint16_t*>(j->input);
  auto* out = static_cast<float*>(j->output);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) {
      const uint32_t bits = Bits<uint32_t>(HostHalfToFloat(in[i]));
      const bool subnormal = (bits & 0x7f800000u) == 0 && (bits & 0x007fffffu) != 0;
      out[i] = subnormal ? 0.0f : Bits<float>(bits);
    }
  });
}

VORTA_JOB_BODY(SampleCategorical) {
  const auto* j = static_cast<const CategoricalSampleJob*>(job);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) j->output[i] = j->classCount < 1 ? -1 : Category(j, i);
  });
}

// Each (batch, class) row contributes its entries up to the first negative one
// while the running total is below maxTotal before the row. A row is scanned
// for at most maxPerRow entries and never past its own rowStride entries, so a
// maxPerRow above rowStride does not read the next row's boxes as this row's.
VORTA_MSABI void ListSelectedBoxes(::VortaSelectedBoxList* list) {
  const int32_t perRow = list->maxPerRow < list->rowStride ? list->maxPerRow : list->rowStride;
  int64_t total = 0;
  for (int32_t b = 0; b < list->batches; ++b) {
    for (int32_t k = 0; k < list->classes; ++k) {
      if (total >= list->maxTotal) continue;
      const int32_t* row = list->selected + (int64_t(b) * list->classes + k) * list->rowStride;
      int64_t m = 0;
      for (; m < perRow && row[m] >= 0; ++m) {
        int32_t* triple = list->triples + 3 * (total + m);
        triple[0] = b;
        triple[1] = k;
        triple[2] = row[m];
        *list->countOut = int32_t(total + m + 1);
      }
      total += m;
    }
  }
}

VORTA_MSABI void ZeroFill(::VortaZeroFillArgs* args) {
  if (args->count > 0) memset(args->target, 0, size_t(args->count) * sizeof(float));
}

VORTA_MSABI int32_t ReadControlState() { return int32_t(_mm_getcsr()); }

VORTA_MSABI int32_t ReturnZero() { return 0; }

}  // namespace vorta::VORTA_NS
