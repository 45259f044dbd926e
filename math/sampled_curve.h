// Evaluation of a SampledCurve (evenly spaced float samples over [0, 1]) with
// its wrap modes, shared by the tween kernels.
#pragma once
#include "math/vector.h"
#include "tensor/rounding.h"

namespace vorta {
using SampledCurve = ::VortaSampledCurve;
}  // namespace vorta

namespace vorta::VORTA_NS {

// Ping-pong: x - 2 * floor(0.5 * x), within [0, 2], folded back at 1.
VORTA_MATH float PingPong(float x) {
  x = Clamp(x - 2.0f * Floor(0.5f * x), 0.0f, 2.0f);
  return 1.0f - Abs(x - 1.0f);
}

// The curve at x. Before 0 and after 1 the wrap modes apply (loop, ping-pong,
// or the first / last sample); inside, the two neighbouring samples are
// interpolated linearly. A NaN (or infinite, when wrapped) x gives NaN: the
// sample index is kept inside the array whatever x is.
static inline float Sample(const SampledCurve& curve, float x) {
  const float* s = curve.samples;
  const int32_t last = curve.sampleCount - 1;
  if (last <= 0) return s[0];
  if (x < 0.0f) {
    if (curve.preWrap == VORTA_WRAP_PING_PONG) {
      x = PingPong(x);
    } else if (curve.preWrap == VORTA_WRAP_LOOP) {
      const float a = Abs(x);
      x = 1.0f - (a < 1.0f ? a : a - Trunc(a));
    } else {
      return s[0];
    }
  }
  if (x > 1.0f) {
    if (curve.postWrap == VORTA_WRAP_PING_PONG)
      x = PingPong(x);
    else if (curve.postWrap == VORTA_WRAP_LOOP)
      x = Abs(x) < 1.0f ? x : x - Trunc(x);
    else
      return s[last];
  }
  const float b = static_cast<float>(last) * x;
  int32_t j = b >= 0.0f ? TruncToInt(b) : 0;
  j = j < last ? j : last;
  const int32_t k = j + 1 < last ? j + 1 : last;
  return s[j] + (s[k] - s[j]) * (b - static_cast<float>(j));
}

}  // namespace vorta::VORTA_NS
