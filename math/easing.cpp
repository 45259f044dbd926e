// Easing and curve kernels. Every result follows one fixed evaluation order
// (see math/vector.h for the shared rules); inputs are read before any output
// is written, so outputs may alias inputs.
#include "math/easing.h"

#include "math/curves.h"

namespace vorta::VORTA_NS {
namespace {

template <BounceKind kKind>
inline float BounceScalar(float from, float to, float time, float rate) {
  return (to - from) * BounceEase<kKind>(time, rate) + from;
}

template <BounceKind kKind>
inline void BounceVec3(const Vec3* from, const Vec3* to, float time, Vec3* out, float rate) {
  *out = Lerp(*from, *to, BounceEase<kKind>(time, rate));
}

// Samples the cubic start, c1, c2, end between t0 and t1 into count >= 1
// points, t = (t1 - t0) / (count - 1) * i + t0. One point is the curve at t0
// (the step would be 0 / 0).
inline void SampleBetween(Vec3 start, CubicControls c, Vec3 end, float t0, float t1,
                          int32_t count, Vec3* points) {
  const float step = count > 1 ? (t1 - t0) / static_cast<float>(count - 1) : 0.0f;
  for (int32_t i = 0; i < count; ++i)
    points[i] = Cubic(start, c.c1, c.c2, end, step * static_cast<float>(i) + t0);
}

// The trims must leave at least minimumLength of the straight distance d.
inline bool TrimsFit(float d, float minimumLength, float trimStart, float trimEnd) {
  const float g = trimStart + trimEnd;
  return !(g > d || minimumLength > d - g);
}

// The trimmed sampling shared by both entries once the quadratic control q is
// known and the trims fit the straight distance.
inline bool TrimmedSample(int32_t count, Vec3 start, Vec3 q, Vec3 end, Vec3** points,
                          float minimumLength, float trimStart, float trimEnd) {
  const CubicControls c = Elevate(start, q, end);
  float t0 = 0.0f, t1 = 1.0f;
  if (trimStart > 0.0f || trimEnd > 0.0f) {
    int32_t n = count / 2;
    if (n < 5) n = 4;
    float arc = 0.0f;
    Vec3 prev = Cubic(start, c.c1, c.c2, end, 0.0f / static_cast<float>(n));
    for (int32_t i = 1; i <= n; ++i) {
      const Vec3 p = Cubic(start, c.c1, c.c2, end, static_cast<float>(i) / static_cast<float>(n));
      arc += Length(Sub(p, prev));
      prev = p;
    }
    if (!TrimsFit(arc, minimumLength, trimStart, trimEnd)) return false;
    if (trimStart > 0.0f) t0 = trimStart / arc;
    if (trimEnd > 0.0f) t1 = (arc - trimEnd) / arc;
  }
  if (count <= 0) return true;
  SampleBetween(start, c, end, t0, t1, count, *points);
  return true;
}

}  // namespace

VORTA_MSABI float EaseBounce3(float from, float to, float time, float rate) {
  return BounceScalar<Kind3>(from, to, time, rate);
}
VORTA_MSABI float EaseBounce4(float from, float to, float time, float rate) {
  return BounceScalar<Kind4>(from, to, time, rate);
}
VORTA_MSABI void EaseBounce3Vec3(const Vec3* from, const Vec3* to, float time, Vec3* out,
                                 float rate) {
  BounceVec3<Kind3>(from, to, time, out, rate);
}
VORTA_MSABI void EaseBounce4Vec3(const Vec3* from, const Vec3* to, float time, Vec3* out,
                                 float rate) {
  BounceVec3<Kind4>(from, to, time, out, rate);
}

// f = ((1 - t) * e + t) * t + (e * t + 0 * (1 - t)) * (1 - t) with e = bend + 0.5:
// the quadratic Bezier 0, e, 1 at t.
VORTA_MSABI void EaseBentLerp(const Vec3* from, const Vec3* to, float t, Vec3* out, float bend) {
  const float e = bend + 0.5f;
  const float s = 1.0f - t;
  const float f = (s * e + t) * t + (e * t + 0.0f * s) * s;
  *out = Lerp(*from, *to, f);
}

VORTA_MSABI float EaseShiftedQuadratic(float from, float to, float t, float offset) {
  const float s = 1.0f - t;
  const float m = (to - from) * offset + (from + to) * 0.5f;
  return (from * s + m * t) * s + (s * m + to * t) * t;
}

// (t * t) * p2 + (((1 - t) * 2 * t) * p1 + ((1 - t) * (1 - t)) * p0)
VORTA_MSABI Vec3* QuadraticBezierPoint(const Vec3* p0, const Vec3* p1, const Vec3* p2, float t,
                                       Vec3* out) {
  const float s = 1.0f - t;
  *out = Add(Scale(t * t, *p2), Add(Scale(s * 2.0f * t, *p1), Scale(s * s, *p0)));
  return out;
}

VORTA_MSABI Vec3* CubicBezierPoint(const Vec3* p0, const Vec3* p1, const Vec3* p2, const Vec3* p3,
                                   float t, Vec3* out) {
  *out = Cubic(*p0, *p1, *p2, *p3, t);
  return out;
}

// Point 0 is the start; points 1 .. count - 1 lie on the cubic through the
// control point at reach times the chord along direction, at t = i * step.
VORTA_MSABI void SampleCurve(int32_t count, float reach, const Vec3* start, const Vec3* direction,
                             const Vec3* end, Vec3** points) {
  const Vec3 a = *start, b = *end, dir = *direction;
  Vec3* out = *points;
  out[0] = a;
  if (count < 2) return;
  const Vec3 q = Add(ReachControl(reach, Length(Sub(b, a)), dir), a);
  const CubicControls c = Elevate(a, q, b);
  const float step = 1.0f / static_cast<float>(count - 1);
  for (int32_t i = 1; i < count; ++i) out[i] = Cubic(a, c.c1, c.c2, b, static_cast<float>(i) * step);
}

VORTA_MSABI bool SampleTrimmedCurve(int32_t count, float reach, const Vec3* start,
                                    const Vec3* direction, const Vec3* end, Vec3** points,
                                    float minimumLength, float trimStart, float trimEnd) {
  const Vec3 a = *start, b = *end;
  const float d = Length(Sub(b, a));
  if (!TrimsFit(d, minimumLength, trimStart, trimEnd)) return false;
  const Vec3 r = reach > 0.0f ? ReachControl(reach, d, *direction) : Scale(0.5f, Sub(b, a));
  return TrimmedSample(count, a, Add(a, r), b, points, minimumLength, trimStart, trimEnd);
}

VORTA_MSABI bool SampleTrimmedQuadratic(int32_t count, const Vec3* start, const Vec3* control,
                                        const Vec3* end, Vec3** points, float minimumLength,
                                        float trimStart, float trimEnd) {
  const Vec3 a = *start, b = *end;
  const float d = Length(Sub(b, a));
  if (!TrimsFit(d, minimumLength, trimStart, trimEnd)) return false;
  return TrimmedSample(count, a, *control, b, points, minimumLength, trimStart, trimEnd);
}

VORTA_MSABI void QuadraticToCubic(const Vec3* first, const Vec3* control, const Vec3* last,
                                  Vec3* out0, Vec3* out1, Vec3* out2, Vec3* out3) {
  const Vec3 a = *first, q = *control, b = *last;
  const CubicControls c = Elevate(a, q, b);
  *out0 = a;
  *out1 = c.c1;
  *out2 = c.c2;
  *out3 = b;
}

// The sum of count chords of the cubic, at t = i / count; 0 for count <= 0.
VORTA_MSABI float CubicChordLength(const Vec3* p0, const Vec3* p1, const Vec3* p2, const Vec3* p3,
                                   int32_t count) {
  const Vec3 a = *p0, b = *p1, c = *p2, d = *p3;
  float sum = 0.0f;
  Vec3 prev = a;
  for (int32_t i = 1; i <= count; ++i) {
    const Vec3 p = Cubic(a, b, c, d, static_cast<float>(i) / static_cast<float>(count));
    sum += Length(Sub(prev, p));
    prev = p;
  }
  return sum;
}

// (0.5 * t * t) * acceleration + (t * velocity + position)
VORTA_MSABI Vec3* ConstantAcceleration(const Vec3* position, const Vec3* velocity,
                                       const Vec3* acceleration, float t, Vec3* out) {
  *out = Add(Scale(0.5f * t * t, *acceleration), Add(Scale(t, *velocity), *position));
  return out;
}

}  // namespace vorta::VORTA_NS
