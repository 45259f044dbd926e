// The recurrent cell step. The host's matrix products have produced the input
// and recurrent projections of the four gates (input, output, forget, cell);
// per batch element this job adds the biases and peepholes, clips, applies the
// configured activations and updates the cell and hidden states, in chunks of
// 256 hidden units whose gates live in a local buffer (5 KiB of stack; long
// chunks keep the per-activation call cost small). The activations are the
// shared element operations of the map jobs, run over a chunk by the map loop.
#include "tensor/recurrent.h"

#include <vorta/vorta.h>

#include "frame/batch_loop.h"
#include "tensor/activation_ops.h"
#include "tensor/map_loops.h"

namespace vorta {
using RecurrentStepJob = ::VortaRecurrentStepJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

constexpr int kChunk = 256;

// tanh on x clamped to [-16, 16], with a NaN input kept NaN (the map's clamp
// would take it to 16).
struct GateTanh : FloatMap {
  using FloatMap::FloatMap;
  template <class L> L operator()(L x) const { return Select(IsNan(x), x, ClampedTanh(x)); }
};

// alpha · tanh(beta · x).
struct ScaledTanh : FloatMap {
  float alpha, beta;
  ScaledTanh(float a, float b) : alpha(a), beta(b) {}
  template <class L> L operator()(L x) const { return Splat<L>(alpha) * GateTanh()(Splat<L>(beta) * x); }
};

// x for x >= 0 (signed zeros kept), the exponential linear unit below.
struct GateElu : EluOp {
  using EluOp::EluOp;
  template <class L> L operator()(L x) const { return Select(x == Splat<L>(0.0f), x, EluOp::operator()(x)); }
};

// 1 / (|x| + 1): a true division element by element; blocks take the
// processor's reciprocal estimate r of b = |x| + 1 and refine it once,
// (1 − b·r)·r + r.
struct ReciprocalAbsPlusOne : FloatMap {
  using FloatMap::FloatMap;
  float operator()(float x) const { return 1.0f / (Abs(x) + 1.0f); }
  VFloat operator()(VFloat x) const {
    const VFloat b = Abs(x) + Splat<VFloat>(1.0f);
#if defined(VORTA_VARIANT_AVX2)
    const VFloat r = reinterpret_cast<VFloat>(_mm256_rcp_ps(reinterpret_cast<__m256>(b)));
#else
    const VFloat r = reinterpret_cast<VFloat>(_mm_rcp_ps(reinterpret_cast<__m128>(b)));
#endif
    return (Splat<VFloat>(1.0f) - b * r) * r + r;
  }
};

// v clamped to [-60, 60], where the step's exponentials stay finite; a NaN
// stays NaN.
template <class L>
static inline __attribute__((always_inline)) L ClampSixty(L v) {
  const L lo = Splat<L>(-60.0f), hi = Splat<L>(60.0f);
  const L m = Select(v < lo, lo, v);
  return Select(m > hi, hi, m);
}

// 1 / (e^v + 1) with v = -x clamped (so the far tails give 8.8e-27 and 1, not
// the unclamped logistic's values).
struct GateSigmoid : FloatMap {
  using FloatMap::FloatMap;
  template <class L> L operator()(L x) const {
    return Splat<L>(1.0f) / (ExpKernel(ClampSixty(-x)) + Splat<L>(1.0f));
  }
};

// ln(e^v + 1) with v = x clamped, the formula the cell step states; above 60
// x itself, where the clamp would cap every result at 60.
struct GateSoftplus : FloatMap {
  using FloatMap::FloatMap;
  template <class L> L operator()(L x) const {
    return Select(x > Splat<L>(60.0f), x, LogKernel(ExpKernel(ClampSixty(x)) + Splat<L>(1.0f)));
  }
};

struct Activation {
  int32_t kind;
  float alpha, beta;
};

// Applies an activation kind in place to n values; unknown kinds leave them.
static void Activate(const Activation& a, float* v, int n) {
  switch (a.kind) {
    case 0: return MapElements(v, v, n, Relu());
    case 1: return MapElements(v, v, n, GateTanh());
    case 2: return MapElements(v, v, n, GateSigmoid());
    case 3: return MapElements(v, v, n, Affine(a.alpha, a.beta));
    // (|x|·(1 − α) + x·(1 + α))·0.5 as the two-slope map's x·(1 + α)/2 + |x|·(1 − α)/2.
    case 4: return MapElements(v, v, n, TwoSlope((1.0f + a.alpha) * 0.5f, (1.0f - a.alpha) * 0.5f));
    case 5: return MapElements(v, v, n, ThresholdRelu<true>(a.alpha));
    case 6: return MapElements(v, v, n, ScaledTanh(a.alpha, a.beta));
    case 7: return MapElements(v, v, n, HardSigmoid(a.alpha, a.beta));
    case 8: return MapElements(v, v, n, GateElu(a.alpha));
    case 9: return MapElements(v, v, n, ReciprocalAbsPlusOne());
    case 10: return MapElements(v, v, n, GateSoftplus());
    default: return;
  }
}

// max(−clip, min(clip, v)), the steps taken so that a NaN stays NaN.
template <class L>
static inline __attribute__((always_inline)) L Clip(L v, float clip) {
  const L hi = Splat<L>(clip), lo = Splat<L>(-clip);
  const L m = Select(hi < v, hi, v);
  return Select(lo > m, lo, m);
}

// The rows of one batch element and the shared per-unit arrays.
struct Step {
  const float *pi, *po, *pf;
  const float *x, *hr, *wb, *rb;
  float *cs, *hidden, *out;
  int64_t Hs;
  float clip;
};

// Runs f(lanes, u) for every unit u of [0, n): kLanes at a time, then one by one.
template <class F>
static inline __attribute__((always_inline)) void ForUnits(int n, const F& f) {
  int u = 0;
  for (; u + kLanes <= n; u += kLanes) f(VFloat{}, u);
  for (; u < n; ++u) f(0.0f, u);
}

static void StepChunk(const RecurrentStepJob* job, const Step& s, int64_t j0, int n) {
  float gi[kChunk], go[kChunk], gf[kChunk], gc[kChunk], hc[kChunk];
  const int64_t Hs = s.Hs;
  const Activation actF{job->kindF, job->alphaF, job->betaF};
  const Activation actG{job->kindG, job->alphaG, job->betaG};
  const Activation actH{job->kindH, job->alphaH, job->betaH};
  // (((Hr + X) + Wb) + Rb) of gate `gate` at units j0 + u.
  auto gateSum = [&](auto lane, int gate, int u) {
    typedef decltype(lane) L;
    const int64_t at = gate * Hs + j0 + u;
    return ((Load<L>(s.hr + at) + Load<L>(s.x + at)) + Load<L>(s.wb + at)) + Load<L>(s.rb + at);
  };
  ForUnits(n, [&](auto lane, int u) {
    typedef decltype(lane) L;
    const L cs = Load<L>(s.cs + j0 + u);
    Store(gi + u, Clip(Load<L>(s.pi + j0 + u) * cs + gateSum(lane, 0, u), s.clip));
    if (!job->inputForget) Store(gf + u, Clip(Load<L>(s.pf + j0 + u) * cs + gateSum(lane, 2, u), s.clip));
    const int64_t c = 3 * Hs + j0 + u;
    const L cand = (Load<L>(s.rb + c) + Load<L>(s.wb + c)) + (Load<L>(s.hr + c) + Load<L>(s.x + c));
    Store(gc + u, Clip(cand, s.clip));
  });
  Activate(actF, gi, n);
  if (job->inputForget) {
    ForUnits(n, [&](auto lane, int u) {
      typedef decltype(lane) L;
      Store(gf + u, Splat<L>(1.0f) - Load<L>(gi + u));
    });
  } else {
    Activate(actF, gf, n);
  }
  Activate(actG, gc, n);
  ForUnits(n, [&](auto lane, int u) {
    typedef decltype(lane) L;
    const L cs = Load<L>(gc + u) * Load<L>(gi + u) + Load<L>(s.cs + j0 + u) * Load<L>(gf + u);
    Store(s.cs + j0 + u, cs);
    Store(hc + u, cs);
    Store(go + u, Clip(cs * Load<L>(s.po + j0 + u) + gateSum(lane, 1, u), s.clip));
  });
  Activate(actF, go, n);
  Activate(actH, hc, n);
  ForUnits(n, [&](auto lane, int u) {
    typedef decltype(lane) L;
    const L h = Load<L>(hc + u) * Load<L>(go + u);
    Store(s.hidden + j0 + u, h);
    Store(s.out + j0 + u, h);
  });
}

static void StepElement(const RecurrentStepJob* job, int64_t b) {
  const int64_t Hs = job->Hs;
  float* out = job->output + b * job->outputStride;
  if (job->t >= job->seqLength[b]) {
    for (int64_t j = 0; j < Hs; ++j) out[j] = 0.0f;
    return;
  }
  const Step s{job->peephole,     job->peephole + Hs,       job->peephole + 2 * Hs,
               job->inputGates + b * job->inputStride,      job->recurrentGates + b * 4 * Hs,
               job->bias,         job->bias + 4 * Hs,       job->cell + b * Hs,
               job->hidden + b * Hs, out,                   Hs,
               job->clip};
  for (int64_t j0 = 0; j0 < Hs; j0 += kChunk)
    StepChunk(job, s, j0, int(Hs - j0 < kChunk ? Hs - j0 : kChunk));
}

}  // namespace

VORTA_JOB_BODY(RecurrentStep) {
  const auto* j = static_cast<const RecurrentStepJob*>(job);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int32_t b = begin; b < end; ++b) StepElement(j, b);
  });
}

}  // namespace vorta::VORTA_NS
