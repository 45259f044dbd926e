// Curve primitives shared by the easing kernels and the kernels built on them:
// the bounce ease, the cubic Bezier point in its fixed term order, and the
// elevation of a quadratic control point to cubic ones.
#pragma once
#include "math/vector.h"

namespace vorta::VORTA_NS {

// The bounce ease of time * rate: u at most 1, then 0 below 0 (NaN stays NaN),
// then one of three parabolas (Kind3) or four (Kind4).
enum BounceKind { Kind3, Kind4 };

template <BounceKind kKind>
VORTA_MATH float BounceEase(float time, float rate) {
  constexpr float k = 7.5625f;
  const float p = time * rate;
  float u = (p > 1.0f) ? 1.0f : p;
  if (p < 0.0f) u = 0.0f;
  // The segment picked by selects, not branches (t is often random per call).
  // Segment 1 is k * u * u + 0, the same bits as k * u * u (never -0).
  const bool first = u < 0.36363637f, second = u < 0.72727275f;
  const bool third = kKind == Kind3 || static_cast<double>(u) < 0.9090909090909091;
  const float later = Pick(third, 0.8181818f, 0.95454544f);
  const float laterTop = Pick(third, 0.9375f, 0.984375f);
  const float w = Pick(first, u, u - Pick(second, 0.54545456f, later));
  const float top = Pick(first, 0.0f, Pick(second, 0.75f, laterTop));
  return k * w * w + top;
}

// c3 * p3 + (c2 * p2 + (c1 * p1 + c0 * p0)) with s = 1 - t, c3 = (t * t) * t,
// c2 = s * 3 * (t * t), c1 = s * s * 3 * t, c0 = s * (s * s).
VORTA_MATH Vec3 Cubic(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, float t) {
  const float s = 1.0f - t;
  const float tt = t * t;
  const float c3 = tt * t, c2 = s * 3.0f * tt, c1 = s * s * 3.0f * t, c0 = s * (s * s);
  return Add(Scale(c3, p3), Add(Scale(c2, p2), Add(Scale(c1, p1), Scale(c0, p0))));
}

// The cubic control points of the quadratic start, q, end.
struct CubicControls {
  Vec3 c1, c2;
};
VORTA_MATH CubicControls Elevate(Vec3 start, Vec3 q, Vec3 end) {
  constexpr float kTwoThirds = 0.6666667f;
  return {Add(Scale(kTwoThirds, Sub(q, start)), start), Add(Scale(kTwoThirds, Sub(q, end)), end)};
}

// The control point reach times the chord length along direction (not normalised).
VORTA_MATH Vec3 ReachControl(float reach, float chord, Vec3 direction) {
  return Scale(reach, Scale(chord, direction));
}

}  // namespace vorta::VORTA_NS
