// Curve-driven tween steps, the position and rotation followers, the speed
// drive, the squared-length test, the floating-point control setter and the
// probe. Scalar code in the stated operation order: the same bits in both
// variants.
#include "math/tweens.h"

#include <sleef.h>

#include "frame/simd.h"
#include "math/angles.h"
#include "math/quat_blend.h"
#include "math/staged_ease.h"
#include "math/tween_step.h"

namespace vorta::VORTA_NS {
namespace {

constexpr BlendRule kFollowBlend = {DotOrder::XyZw, false, true};

Quat LoadQuat(const float* q) { return Quat{q[0], q[1], q[2], q[3]}; }
void StoreQuat(float* out, Quat q) {
  out[0] = q.x;
  out[1] = q.y;
  out[2] = q.z;
  out[3] = q.w;
}
float Length3(const float* v) { return Length(LoadVec3(v)); }

void FollowPosition(const float* a, const float* b, float smoothing, float snapDistance,
                    float* out) {
  float r[3];
  if (!(snapDistance > 0.0f)) {
    for (int i = 0; i < 3; ++i) r[i] = b[i];
  } else {
    const float d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float f = StagedEase(Length3(d) / snapDistance, smoothing / kSmoothingUnit);
    for (int i = 0; i < 3; ++i) r[i] = a[i] + d[i] * f;
  }
  for (int i = 0; i < 3; ++i) out[i] = r[i];
}

// -1, 0 or +1; a NaN counts as 0.
float Sign(float x) { return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f); }

// max(x, 0) then min(., 1): a NaN ratio (0 / 0) becomes 0, no effect.
float ClampRatio(float x) { return MinStep(MaxStep(x, 0.0f), 1.0f); }

}  // namespace

VORTA_MSABI void Tween4Step(const VortaTween4Step* s) {
  TweenStep<4>(s, 0, 0.0f);
}

VORTA_MSABI uint32_t Tween4ModeStep(const VortaTween4Step* s) {
  const uint8_t mode = s->mode;
  TweenStep<4>(s, mode, s->modeFactor);
  return mode;
}

VORTA_MSABI void Tween1Step(const VortaTween1Step* s) {
  TweenStep<1>(s, 0, 0.0f);
}

VORTA_MSABI void PositionFollow(const float* current, const float* target, float smoothing,
                                float snapDistance, float* out) {
  FollowPosition(current, target, smoothing, snapDistance, out);
}

VORTA_MSABI void RotationFollowTwoBases(const float* baseA, const float* target,
                                        const float* baseB, float blendRate, float angleLimitA,
                                        float angleLimitB, float blendScale, float* out) {
  const Quat t = LoadQuat(target);
  Quat r = t;
  if (angleLimitA > 0.0f) {
    const Quat a = LoadQuat(baseA), b = LoadQuat(baseB);
    const float tA = RotationAngleDegrees(t, a) / angleLimitA;
    const float tB = RotationAngleDegrees(t, b) / angleLimitB;
    const float q = blendRate * blendScale / kSmoothingUnit;
    r = tA > tB ? Blend<kFollowBlend>(b, t, StagedEase(tB, q))
                : Blend<kFollowBlend>(a, t, StagedEase(tA, q));
  }
  StoreQuat(out, r);
}

VORTA_MSABI float* PoseFollow(const float* current, const float* currentRotation,
                              const float* target, const float* targetRotation, float smoothing,
                              float snapDistance, float snapAngle, float* outPosition,
                              float* outRotation) {
  const Quat from = LoadQuat(currentRotation), to = LoadQuat(targetRotation);
  FollowPosition(current, target, smoothing, snapDistance, outPosition);
  Quat r = to;
  if (snapAngle > 0.0f) {
    const float f = StagedEase(RotationAngleDegrees(from, to) / snapAngle, smoothing / kSmoothingUnit);
    r = Blend<kFollowBlend>(from, to, f);
  }
  StoreQuat(outRotation, r);
  return outPosition;
}

VORTA_MSABI void SpeedDrive(const float* velocity, const float* direction, float speedCap,
                            const float* axis, const float* push, float lowScale,
                            float highScale, float gainAlong, float gainAgainst,
                            float fullEffectAt, uint32_t carryEnabled, float carryDamping,
                            float* carry, float* speed, float deltaTime, float* result) {
  const float s = *speed;
  const float lo = lowScale * s, hi = highScale * s;
  const float L = Length3(push);

  // Motion along the axis and its sense relative to the direction. A zero (or
  // unusable) projection has no sense and no magnitude.
  const float va = (velocity[0] * axis[0] + velocity[1] * axis[1]) + velocity[2] * axis[2];
  const float aa = (axis[0] * axis[0] + axis[1] * axis[1]) + axis[2] * axis[2];
  const float c = va / aa;
  const float P[3] = {c * axis[0], c * axis[1], c * axis[2]};
  const float m = Length3(P);
  float g = 0.0f, v = 0.0f;
  if (m > 0.0f) {
    const float n[3] = {P[0] / m, P[1] / m, P[2] / m};
    g = Sign((n[0] * direction[0] + n[1] * direction[1]) + n[2] * direction[2]);
    v = m * g;
  }

  const float r = ClampRatio(Abs(L) / s * (g > 0.0f ? gainAlong : gainAgainst));
  const float mid = (hi - lo) * 0.5f + (lo + hi) * 0.5f;
  const float B = (hi * r + (1.0f - r) * mid) * r + (mid * r + lo * (1.0f - r)) * (1.0f - r);
  float e = 1.0f;
  if (fullEffectAt > 0.0f) e = ClampRatio(Abs(v) / fullEffectAt);
  const float F = (B + 1.0f) * v * e * deltaTime;

  float k = 0.0f;
  if (carryEnabled & 1) {
    const float p = *carry;
    if (Sign(p) == Sign(F) || Abs(Abs(p) - Abs(F)) <= 0.001f) {
      if (e >= 1.0f) {
        const float half = Abs(F) * 0.5f;
        k = Sign(F) * (half > Abs(p) ? half : Abs(p));
      } else {
        k = p;
      }
    } else if (e >= 1.0f) {
      k = F * 0.5f;
    } else if (e > 0.25f) {
      k = 0.0f;
    } else {
      k = p;
    }
    k = Abs(k) >= 0.001f ? (1.0f - carryDamping * deltaTime) * k : 0.0f;
  }
  *carry = k;

  float T = L + F + k;
  const float d[3] = {direction[0], direction[1], direction[2]};
  for (int i = 0; i < 3; ++i) result[i] = T * d[i];
  if (T <= speedCap) T = s + ((T + speedCap) * 0.5f - s) * B * deltaTime;
  *speed = T;
}

VORTA_MSABI int32_t LongerThan(const float* v, float limit) {
  return limit < v[0] * v[0] + v[1] * v[1] + v[2] * v[2] ? 1 : 0;
}

// The reserved upper half of the register faults when set: only the low 16
// bits (flags, masks, rounding, flush-to-zero, denormals-are-zero) are loaded.
VORTA_MSABI void SetFloatControl(uint32_t value) { _mm_setcsr(value & 0xffffu); }

VORTA_MSABI int32_t Probe() { return 1; }

}  // namespace vorta::VORTA_NS
