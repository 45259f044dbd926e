// The curve tween step on one to four components: a target placed between
// `from` and `to` by the sampled curve at phase / 255, optionally moved by a
// mode relative to a base, then the current value eased toward it. Each width
// sums its squared lengths in its own fixed order.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "math/sampled_curve.h"

namespace vorta::VORTA_NS {

// Squares of the components of 0.0005 apart, the snap distance of every tween.
constexpr float kSnapDistanceSq = 2.5000003e-7f;

template <int N>
static inline float TweenSquaredLength(const float* d) {
  if constexpr (N == 4) return (d[0] * d[0] + d[1] * d[1]) + (d[2] * d[2] + d[3] * d[3]);
  if constexpr (N == 3) return d[2] * d[2] + (d[1] * d[1] + d[0] * d[0]);
  if constexpr (N == 2) return d[1] * d[1] + d[0] * d[0];
  return d[0] * d[0];
}

// A NaN squared length takes the interpolating branch.
template <int N>
static inline bool WithinSnap(const float* a, const float* b) {
  float d[N];
  for (int i = 0; i < N; ++i) d[i] = a[i] - b[i];
  return TweenSquaredLength<N>(d) < kSnapDistanceSq;
}

// `base` is read only by mode 1 and 2 (the moded four-float step).
// One step of the tween record R (packed: its float fields are copied out by
// offset). `mode` and `modeFactor` move the target relative to the record's
// `base` (modes 1 and 2; the plain steps pass mode 0 and never read it).
#define VORTA_TWEEN_FIELD(dst, field) \
  __builtin_memcpy(dst, reinterpret_cast<const uint8_t*>(s) + offsetof(R, field), sizeof dst)

template <int N, class R>
static inline void TweenStep(const R* s, uint8_t mode, float modeFactor) {
  float from[N], to[N], current[N], target[N], out[N];
  VORTA_TWEEN_FIELD(from, from);
  VORTA_TWEEN_FIELD(to, to);
  VORTA_TWEEN_FIELD(current, current);
  const SampledCurve curve = s->curve;
  const float x = Sample(curve, static_cast<float>(s->phase) / 255.0f);
  const bool snapTo = WithinSnap<N>(to, from);
  for (int i = 0; i < N; ++i) target[i] = snapTo ? to[i] : from[i] + (to[i] - from[i]) * x;
  if (mode == 1 || mode == 2) {
    float base[N];
    if constexpr (requires { s->base; }) {
      VORTA_TWEEN_FIELD(base, base);
    } else {
      for (float& b : base) b = 0.0f;
    }
    if (mode == 1) {
      for (int i = 0; i < N; ++i) target[i] = target[i] * modeFactor + base[i];
    } else if (!WithinSnap<N>(target, base)) {
      for (int i = 0; i < N; ++i) target[i] = base[i] + (target[i] - base[i]) * modeFactor;
    }
  }
  const float rate = s->rate;
  const bool snapCurrent = WithinSnap<N>(target, current);
  for (int i = 0; i < N; ++i)
    out[i] = snapCurrent ? target[i] : current[i] + rate * (target[i] - current[i]);
  float* result = s->result;
  for (int i = 0; i < N; ++i) result[i] = out[i];
}

#undef VORTA_TWEEN_FIELD

}  // namespace vorta::VORTA_NS
