// Motion and placement kernels: flight time, boom steps, advance and clamp,
// cone tests, trimming to a length budget, local directions, attachment
// points, pose composition and the interpolation step, the axis-constrained
// point, ratio-driven scaling and the path refresh. Scalar code in the stated
// order (no fused multiply-add): the same bits in both variants.
#include "math/pose.h"

#include "math/pose_math.h"
#include "math/quat_blend.h"

namespace vorta::VORTA_NS {
namespace {

// The larger of x and 0.125, a NaN giving 0.125.
VORTA_MATH float AtLeastEighth(float x) { return x > 0.125f ? x : 0.125f; }

VORTA_MATH float BoomFinish(float step, float sumBase, float distance, float factor,
                            const Vec3* direction, Vec3* out, float* outSum, float* outStep) {
  const Vec3 dir = *direction;
  const float sum = (sumBase + step) * factor;
  *outStep = step;
  *outSum = sum;
  *out = Scale(distance - sum, dir);
  return out->z;
}

VORTA_MATH bool AnyAbove(Vec3 a, Vec3 b) {
  return Abs(a.x) > Abs(b.x) || Abs(a.y) > Abs(b.y) || Abs(a.z) > Abs(b.z);
}

// v / |v| with the length summed as z*z + (y*y + x*x); zero stays zero.
VORTA_MATH Vec3 NormalizeZyx(Vec3 v) {
  const float len = Sqrt(v.z * v.z + (v.y * v.y + v.x * v.x));
  return len == 0.0f ? Vec3{0.0f, 0.0f, 0.0f} : Scale(1.0f / len, v);
}

// The axis of the directional cone tests, by axis mode.
static inline Vec3 ConeAxis(int32_t mode, Quat rotation, float side) {
  switch (mode) {
    case 0: return Rotate(rotation, MakeVec3(0.0f, -1.0f, 0.0f));
    case 1: return Rotate(rotation, MakeVec3(side, 0.0f, 0.0f));
    case 2: return Rotate(rotation, MakeVec3(0.0f, 0.0f, 1.0f));
    default: return MakeVec3(0.0f, 0.0f, 1.0f);
  }
}

static inline bool DirectionalTest(int32_t testMode, float angleDeg, bool flatten, Vec3 j,
                                   Vec3 p) {
  if (flatten) {
    j.y = 0.0f;
    p.y = 0.0f;
  }
  return ConeCompare(testMode, angleDeg, Dot(NormalizeZyx(j), NormalizeZyx(p)));
}

VORTA_MATH Vec3 Projected(bool keep, Vec3 r, Vec3 axis) {
  return keep ? Scale(Dot(r, axis) / Dot(axis, axis), axis) : Vec3{0.0f, 0.0f, 0.0f};
}

// The point a fraction of the way back from e toward d that leaves `over` of
// the length len unused: (1 - over / len) * (e - d) + d. A segment of zero
// length has nothing to trim: its end is its start.
VORTA_MATH Vec3 TrimmedEnd(Vec3 d, Vec3 e, float over, float len) {
  if (len == 0.0f) return d;
  return Add(Scale(1.0f - over / len, Sub(e, d)), d);
}

constexpr BlendRule kInterpolationBlend = {DotOrder::ZwXy, true, false};

}  // namespace

VORTA_MSABI float* FlightTime(float speed, float gravity, float factor, float height,
                              float extraTime, float* out) {
  float t = 0.0f;
  if (!(height < 0.0f)) {
    const float v = speed * factor;
    t = (Abs(height) < 9.536743e-7f ? 2.0f * v : Sqrt((gravity + gravity) * height + v * v) + v) /
        gravity;
  }
  t += extraTime;
  *out = t > 0.0f ? t : 0.0f;
  return out;
}

VORTA_MSABI float BoomStep(float factor, float distance, float limit, const Vec3* direction,
                           Vec3* out, float* outSum, float* outStep) {
  float s = limit;
  if (!IsNan(distance) && !(limit < distance)) s = distance;
  s = AtLeastEighth(s);
  return BoomFinish(s, distance, distance, factor, direction, out, outSum, outStep);
}

VORTA_MSABI float BoomReachStep(float factor, float distance, float base, float limit,
                                const Vec3* direction, Vec3* out, float* outSum,
                                float* outStep) {
  float f = AtLeastEighth(IsNan(distance) || limit < distance ? limit : distance);
  if (limit < f + distance) {
    float d = limit - distance;
    if (f < d || IsNan(d)) d = f;
    f = AtLeastEighth(d);
  }
  return BoomFinish(f, base, distance, factor, direction, out, outSum, outStep);
}

VORTA_MSABI Vec3* AdvanceClamp(const Vec3* value, const Vec3* rate, uint32_t bounded,
                               const Vec3* lower, const Vec3* upper, float dt1, float dt2,
                               float dt3, Vec3* out) {
  const Vec3 v = *value;
  const float h = dt1 * dt2 * dt3;
  const Vec3 n = Add(v, Scale(h, *rate));
  Vec3 r;
  if (!ByteFlag(bounded)) {
    r = Vec3{MaxStep(n.x, 0.0f), MaxStep(n.y, 0.0f), MaxStep(n.z, 0.0f)};
  } else if (h > 0.0f && AnyAbove(n, *upper)) {
    r = *upper;
  } else if (h < 0.0f && AnyAbove(*lower, n)) {
    r = *lower;
  } else {
    r = h == 0.0f ? v : n;
  }
  *out = r;
  return out;
}

VORTA_MSABI bool ConeTest(int32_t mode, float angleDeg, uint32_t flatten, const Vec3* a,
                          const Vec3* b) {
  Vec3 x = *a, y = *b;
  if (ByteFlag(flatten)) {
    x.y = 0.0f;
    y.y = 0.0f;
  }
  return ConeCompare(mode, angleDeg, Dot(NormalizeOrZero(x), NormalizeOrZero(y)));
}

VORTA_MSABI bool TrimToBudget(float budget, uint32_t clamp, const Vec3* point, const Vec3* start,
                              Vec3* end, float* total) {
  const Vec3 s = *start;
  Vec3 e = *end;
  const Vec3 d = Sub(e, s);
  const float g = Length(d);
  float l = g;
  if (ByteFlag(clamp)) {
    const float p = Length(Sub(*point, s));
    if (p < g) {
      l = p;
      e = Add(s, Scale(l, Scale(1.0f / g, d)));
      *end = e;
    }
  }
  const float sum = *total + l;
  *total = sum;
  if (budget >= sum) return false;
  *end = TrimmedEnd(s, e, sum - budget, l);
  return true;
}

VORTA_MSABI void LocalDirection(Vec3* out, const Vec3* offset, int32_t mode, const Frame* frame,
                                const Frame* target, float s) {
  *out = ToLocal(*frame, FirstTableDirection(mode, *offset, *frame, *target, s));
}

VORTA_MSABI void LocalDirectionByRef(Vec3* out, const Vec3* offset, const int32_t* mode,
                                     const Frame* frame, const Frame* target) {
  *out = ToLocal(*frame, SecondTableDirection(*mode, *offset, *frame, *target));
}

VORTA_MSABI Vec3* AttachmentPoint(const Vec3* origin, const Quat* r1, const Quat* r2,
                                  const Vec3* scale, uint32_t flag, const Vec3* v, const Vec3* b,
                                  const Vec3* point, Vec3* out) {
  const Vec3 sv = Mul(*scale, *v);
  const Vec3 w = ByteFlag(flag) ? Rotate(*r1, sv) : sv;
  *out = Add(Sub(Rotate(*r1, *point), Rotate(*r2, Mul(*scale, *b))), Add(*origin, w));
  return out;
}

VORTA_MSABI Quat* ComposePose(const Vec3* origin, const Quat* r, const Vec3* v, const Quat* qa,
                              const Quat* qb, Vec3* outPosition, Quat* outRotation) {
  const Vec3 p = Add(*origin, Rotate(*r, *v));
  const Quat q = Hamilton(*r, Inverse(Hamilton(Inverse(*qa), *qb)));
  *outPosition = p;
  *outRotation = q;
  return outRotation;
}

VORTA_MSABI void InterpolationStep(Pose* a, Vec3* s, const Pose* b, const Vec3* t, float dt,
                                   float duration, float* elapsed) {
  const float f = *elapsed / duration;
  const Pose from = *a, to = *b;
  a->position = Lerp(from.position, to.position, f);
  a->rotation = Blend<kInterpolationBlend>(from.rotation, to.rotation, f);
  *s = Lerp(*s, *t, f);
  *elapsed = *elapsed + dt;
}

VORTA_MSABI Vec3* AxisConstrain(const float* point, const Pose* frame, int32_t mode,
                                uint32_t keepX, uint32_t keepY, uint32_t keepZ, Vec3* out) {
  const Vec3 origin = frame->position;
  const Quat q = frame->rotation;
  const Vec3 r = Sub(LoadVec3(point), origin);
  const bool kx = BitFlag(keepX), ky = BitFlag(keepY), kz = BitFlag(keepZ);
  Vec3 d{0.0f, 0.0f, 0.0f};
  if (mode == 0 || mode == 1) {
    const Vec3 P = Add(Add(Projected(kx, r, Rotate(q, MakeVec3(1.0f, 0.0f, 0.0f))),
                           Projected(ky, r, Rotate(q, MakeVec3(0.0f, 1.0f, 0.0f)))),
                       Projected(kz, r, Rotate(q, MakeVec3(0.0f, 0.0f, 1.0f))));
    if (mode == 0)
      d = P;
    else if (kx && kz)
      d = Vec3{r.x, 0.0f, r.z};
    else
      d = Vec3{P.x, ky ? r.y : 0.0f, P.z};
  } else if (mode == 2) {
    d = Vec3{kx ? r.x : 0.0f, ky ? r.y : 0.0f, kz ? r.z : 0.0f};
  }
  *out = Add(origin, d);
  return out;
}

VORTA_MSABI void RatioScale(const Vec3* v, const Vec3* current, const Vec3* a, const Vec3* b,
                            uint32_t clamp, float gain, float deadZone, const Vec3* lower,
                            const Vec3* upper, Vec3* out) {
  const float rho = Length(*b) / Length(*a);
  Vec3 r = *current;
  if (rho > 1.0f) {
    const float e = (rho - 1.0f) * gain - deadZone;
    if (!(e < 0.0f)) {
      const Vec3 n = Scale(e + 1.0f, *v);
      r = BitFlag(clamp) && AnyAbove(n, *upper) ? *upper : n;
    }
  } else if (rho < 1.0f) {
    const float e = (1.0f / rho - 1.0f) * gain - deadZone;
    if (!(e < 0.0f)) {
      const Vec3 n = Scale(1.0f / (e + 1.0f), *v);
      r = BitFlag(clamp) && AnyAbove(*lower, n) ? *lower : n;
    }
  }
  *out = r;
}

VORTA_MSABI int32_t PathRefresh(int32_t start, int32_t n, float budget, uint32_t blend,
                                uint32_t useBudget, float f, Vec3* const* source,
                                Vec3* const* previous, VortaPointList* destination) {
  const int32_t count = destination->count;
  // A start before the first point has no destination to write (the walk
  // would begin before the array): nothing is written, as for n <= 0.
  if (n <= 0 || start < 0 || start >= count) return start;
  const bool blended = BitFlag(blend), budgeted = BitFlag(useBudget);
  const Vec3* src = *source;
  const Vec3* prev = blended ? *previous : nullptr;
  Vec3* dst = destination->points;
  float sum = 0.0f;
  int32_t i = start;
  for (int32_t k = 0; k < n && i < count; ++k, ++i) {
    Vec3 e = blended ? Lerp(prev[k], src[k], f) : src[k];
    if (budgeted && i > 0) {
      const Vec3 d = dst[i - 1];
      float len = Length(Sub(e, d));
      if (blended) {
        const float o = Length(Sub(src[k], d));
        if (len > o) {
          e = Add(Scale(o, Scale(1.0f / len, Sub(e, d))), d);
          len = o;
        }
      }
      sum += len;
      if (!(budget >= sum)) {
        dst[i] = TrimmedEnd(d, e, sum - budget, len);
        return i + 1;
      }
    }
    dst[i] = e;
  }
  return i;
}

VORTA_MSABI bool DirectionalCone(int32_t axisMode, int32_t testMode, int32_t targetMode,
                                 float angleDeg, uint32_t flatten, const Vec3* offset,
                                 const Quat* axisRotation, const Frame* frame,
                                 const Frame* target, float side) {
  const Vec3 p = ToLocal(*frame, SecondTableDirection(targetMode, *offset, *frame, *target));
  return DirectionalTest(testMode, angleDeg, BitFlag(flatten),
                         ConeAxis(axisMode, *axisRotation, side), p);
}

VORTA_MSABI bool DirectionalConeFirstTable(int32_t axisMode, int32_t testMode, int32_t targetMode,
                                           float angleDeg, const Vec3* offset,
                                           const Quat* axisRotation, const Frame* frame,
                                           const Frame* target, uint32_t flatten, float side) {
  const Vec3 p =
      ToLocal(*frame, FirstTableDirection(targetMode, *offset, *frame, *target, side));
  return DirectionalTest(testMode, angleDeg, BitFlag(flatten),
                         ConeAxis(axisMode, *axisRotation, side), p);
}

}  // namespace vorta::VORTA_NS
