// Vector geometry and range-test kernels. Every result follows one fixed
// evaluation order (see math/vector.h for the shared rules); inputs are read
// before any output is written, so outputs may alias inputs.
#include "math/geometry.h"

#include "math/vector.h"

namespace vorta::VORTA_NS {
namespace {

// (low if low > r or r is NaN, else r) * scale, with r = (1 - t) * high kept
// at most high; t is the distance measure over range, clamped to [0, 1].
inline float Falloff(float measure, float range, float scale, float low, float high) {
  const float t = Clamp01(measure / range);
  float r = (1.0f - t) * high;
  if (high < r || IsNan(r)) r = high;
  return (low > r || IsNan(r) ? low : r) * scale;
}

// a.i / b.i where a.i and b.i are more than eps apart, else 0.
inline float DivideIfApart(float a, float b, float eps) { return eps < Abs(a - b) ? a / b : 0.0f; }

}  // namespace

// Also the body of the twin entry.
VORTA_MSABI void PlaneProject(const Vec3* v, const Vec3* n, Vec3* out) {
  *out = ProjectOntoPlane(*v, *n);
}

VORTA_MSABI void SubScaled(const Vec3* a, const Vec3* b, float s, Vec3* out) {
  *out = Sub(*a, Scale(s, *b));
}

// dot(p - origin, dir) * dir + origin; dir is not normalised.
VORTA_MSABI void ProjectOnLine(const Vec3* origin, const Vec3* dir, const Vec3* p, Vec3* out) {
  const Vec3 o = *origin, d = *dir;
  *out = Add(Scale(Dot(Sub(*p, o), d), d), o);
}

// The distance of p's projection on the line from origin, carried from origin
// toward target. Target at origin leaves out at origin (zero direction).
VORTA_MSABI Vec3* ProjectReaim(const Vec3* origin, const Vec3* dir, const Vec3* p,
                               const Vec3* target, float* distance, Vec3* out) {
  const Vec3 o = *origin, d = *dir;
  const Vec3 q = Sub(Add(Scale(Dot(Sub(*p, o), d), d), o), o);
  const float len = Length(q);
  const Vec3 aim = NormalizeOrZero(Sub(*target, o));
  *distance = len;
  *out = Add(Scale(len, aim), o);
  return out;
}

// length(d - dot(d, dir) * dir) with d = p - origin.
VORTA_MSABI void LineDistance(const Vec3* origin, const Vec3* p, const Vec3* dir, float* out) {
  const Vec3 d = Sub(*p, *origin), n = *dir;
  *out = Length(Sub(d, Scale(Dot(d, n), n)));
}

VORTA_MSABI float* ProjectedLength(const Vec3* a, const Vec3* b, const Vec3* dir, float* out1,
                                   float* out2) {
  const Vec3 e = Sub(*a, *b), n = *dir;
  const float along = Length(Scale(Dot(e, n) / Dot(n, n), n));
  const Vec3 u = Dot(e, e) > 1.1754944e-38f ? Normalize(e) : Vec3{0.0f, 0.0f, 0.0f};
  const float align = Dot(n, u);
  *out1 = along;
  *out2 = align;
  return out2;
}

// d = b - a: squared length summed z first, its root, and d over the root
// (the zero vector when a equals b); returns the direction's z.
VORTA_MSABI float DirectionTo(const Vec3* a, const Vec3* b, Vec3* dirOut, float* sqrOut,
                              float* lenOut) {
  const Vec3 d = Sub(*b, *a);
  const float sq = d.z * d.z + (d.y * d.y + d.x * d.x);
  const float len = Sqrt(sq);
  const Vec3 dir = len == 0.0f ? Vec3{0.0f, 0.0f, 0.0f} : Div(d, len);
  *sqrOut = sq;
  *lenOut = len;
  *dirOut = dir;
  return dir.z;
}

VORTA_MSABI float DistanceSq(const Vec3* a, const Vec3* b) { return LengthSq(Sub(*a, *b)); }

VORTA_MSABI bool WithinRange(const Vec3* a, const Vec3* b, float r) {
  return r * r > LengthSq(Sub(*a, *b));
}

// Also the body of the twin entry.
VORTA_MSABI bool ApproxEqual(const Vec3* a, const Vec3* b, float eps) {
  const Vec3 x = *a, y = *b;
  return eps > Abs(x.x - y.x) && eps > Abs(x.y - y.y) && eps > Abs(x.z - y.z);
}

VORTA_MSABI void MultiplyComponents(const Vec3* a, const Vec3* b, Vec3* out) {
  *out = Mul(*a, *b);
}

VORTA_MSABI float MultiplyComponentsZ(const Vec3* a, const Vec3* b, Vec3* out) {
  const Vec3 m = Mul(*a, *b);
  *out = m;
  return m.z;
}

// Also the body of the twin entry (which clears out first: every component is
// written either way).
VORTA_MSABI void DivideApart(const Vec3* a, const Vec3* b, Vec3* out, float eps) {
  const Vec3 x = *a, y = *b;
  *out = Vec3{DivideIfApart(x.x, y.x, eps), DivideIfApart(x.y, y.y, eps),
              DivideIfApart(x.z, y.z, eps)};
}

// v over the largest of a.i / (b.i + eps), NaN ratios skipped.
VORTA_MSABI Vec3* FitRatio(const Vec3* a, const Vec3* b, const Vec3* v, float eps, Vec3* out) {
  const Vec3 x = *a, y = *b;
  float m = x.x / (y.x + eps);
  m = MaxSkippingNan(m, x.y / (y.y + eps));
  m = MaxSkippingNan(m, x.z / (y.z + eps));
  *out = Div(*v, m);
  return out;
}

VORTA_MSABI float ScaledHalfExtent(const Vec3* size, const Vec3* target, const Vec3* extent,
                                   float margin) {
  const Vec3 s = *size, t = *target, e = *extent;
  const Vec3 f{Abs(t.x - s.x) > 1e-6f ? t.x / s.x : 0.0f, Abs(t.y - s.y) > 1e-6f ? t.y / s.y : 0.0f,
               Abs(t.z - s.z) > 1e-6f ? t.z / s.z : 0.0f};
  const Vec3 ef = Mul(e, f);
  const float m0 = MaxSkippingNan(MaxSkippingNan(e.x, e.y), e.z);
  const float m1 = MaxSkippingNan(MaxSkippingNan(ef.x, ef.y), ef.z);
  return MaxSkippingNan(m0, m1) * 0.5f + margin;
}

// cross(cross(a, b), a). Also the body of the twin entry.
VORTA_MSABI void DoubleCross(const Vec3* a, const Vec3* b, Vec3* out) {
  const Vec3 x = *a;
  *out = Cross(Cross(x, *b), x);
}

// cross(v, axis) for the axis v leans on least; not normalised.
VORTA_MSABI void Perpendicular(const Vec3* v, Vec3* out) {
  const Vec3 p = *v;
  const float ax = Abs(p.x), ay = Abs(p.y), az = Abs(p.z);
  if (ay > ax && az > ax)
    *out = Vec3{0.0f, p.z, -p.y};
  else if (ay < az)
    *out = Vec3{-p.z, 0.0f, p.x};
  else
    *out = Vec3{p.y, -p.x, 0.0f};
}

// step * normalize(to - from) + from, no clamping at to; from when to equals from.
VORTA_MSABI void MoveToward(const Vec3* from, const Vec3* to, float step, Vec3* out) {
  const Vec3 a = *from;
  *out = Add(Scale(step, NormalizeOrZero(Sub(*to, a))), a);
}

// Moves a forward by trimA and b back by trimB along the segment. False, with
// nothing written, for a segment shorter than 0.01 or when the trimmed segment
// points against the original one (the trims overlap).
VORTA_MSABI bool ShortenSegment(const Vec3* a, const Vec3* b, float trimA, float trimB,
                                VortaSegment** segment) {
  const Vec3 pa = *a, pb = *b;
  const Vec3 d = Sub(pb, pa);
  if (LengthSq(d) < 0.0001f) return false;
  const Vec3 n = Normalize(d);
  const Vec3 e = Sub(pb, Scale(trimB, n));
  const Vec3 s = Add(pa, Scale(trimA, n));
  if (Dot(Sub(e, s), n) < 0.0f) return false;
  VortaSegment* out = *segment;
  out->start = s;
  out->middle = Add(Scale(0.5f, Sub(e, s)), s);
  out->end = e;
  return true;
}

// 0 beyond outer, 1 inside inner, else 1 - (distance - inner) / (outer - inner).
VORTA_MSABI float RadialFalloff(const Vec3* a, const Vec3* b, float inner, float outer) {
  const float f = LengthSq(Sub(*b, *a));
  if (f > outer * outer) return 0.0f;
  if (f < inner * inner) return 1.0f;
  return 1.0f - (Sqrt(f) - inner) / (outer - inner);
}

// Farther than r = (far - near) * clamp01(num / den) + near (strict).
VORTA_MSABI bool OutsideRange(const Vec3* a, const Vec3* b, float nearRadius, float farRadius,
                              float num, float den) {
  const float r = (farRadius - nearRadius) * Clamp01(num / den) + nearRadius;
  return LengthSq(Sub(*b, *a)) > r * r;
}

VORTA_MSABI void ClampedFalloff(const Vec3* a, const Vec3* b, float range, float scale, float low,
                                float high, float* out) {
  *out = Falloff(LengthSq(Sub(*b, *a)), range, scale, low, high);
}

VORTA_MSABI void ScalarFalloff(float scale, float dist, float range, float low, float high,
                               float* out) {
  *out = Falloff(dist, range, scale, low, high);
}

}  // namespace vorta::VORTA_NS
