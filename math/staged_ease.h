// The staged easing of the follow steps (and its own export): scalar code in
// the stated order.
#pragma once
#include "math/vector.h"

namespace vorta::VORTA_NS {

// The float nearest 1/90 that turns a smoothing value into the stage selector.
constexpr float kSmoothingUnit = 0.011111111f;

// The minimum step with 1, then the maximum step with 0: a NaN becomes 1.
VORTA_MATH float UnitClamp(float x) { return MaxStep(MinStep(x, 1.0f), 0.0f); }

// 1 at t >= 1, 0 at t <= 0, else three overlapping stages selected by q.
VORTA_MATH float StagedEase(float t, float q) {
  if (t >= 1.0f) return 1.0f;
  if (t <= 0.0f) return 0.0f;
  const float u = t - t * t;
  return (u * UnitClamp(q - 1.0f) + t * UnitClamp(q)) + u * u * UnitClamp(q - 2.0f);
}

}  // namespace vorta::VORTA_NS
