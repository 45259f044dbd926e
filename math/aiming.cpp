// The float3 and float2 curve tweens, the staged easing export and the aiming
// function. Scalar code in the stated order: the same bits in both variants.
#include "math/aiming.h"

#include <sleef.h>

#include "math/quaternion.h"
#include "math/staged_ease.h"
#include "math/tween_step.h"

namespace vorta::VORTA_NS {
namespace {

// z*z + (y*y + x*x), the aiming function's squared length.
VORTA_MATH float AimLengthSq(Vec3 v) { return v.z * v.z + (v.y * v.y + v.x * v.x); }

// Below this squared sine of the angle between the unit forward and up
// directions they count as parallel: the cross product of two parallel unit
// vectors rounds to about 1e-14, never to exactly zero, and a right axis taken
// from that noise would turn the view arbitrarily.
constexpr float kParallelSineSq = 0x1p-40f;

VORTA_MATH bool UsableLengthSq(float v) { return v > 1e-35f && v < 1e35f; }

}  // namespace

VORTA_MSABI void Tween3Step(const VortaTween3Step* s) {
  TweenStep<3>(s, 0, 0.0f);
}

VORTA_MSABI void Tween2Step(const VortaTween2Step* s) {
  TweenStep<2>(s, 0, 0.0f);
}

VORTA_MSABI float StagedEaseEntry(float t, float p) { return StagedEase(t, p / kSmoothingUnit); }

// The roots are true square roots and divisions, not the processor's
// reciprocal-root estimate, whose bits differ between processor makers.
VORTA_MSABI void Aim(const float* anchorIn, const float* eyeIn, const float* aimIn,
                     const float* upIn, const float* targetIn, float distanceScale,
                     float zoomScale, float* rotationOut, float* factorOut, float* zoomOut) {
  const Vec3 anchor = LoadVec3(anchorIn), eye = LoadVec3(eyeIn), aim = LoadVec3(aimIn),
             up = LoadVec3(upIn), target = LoadVec3(targetIn);
  const float dist = Sqrt(AimLengthSq(Sub(target, anchor)));
  const Vec3 forward = Sub(Add(Scale(dist, aim), anchor), eye);
  const float fLen2 = AimLengthSq(forward), uLen2 = AimLengthSq(up);
  const Vec3 f = Scale(1.0f / Sqrt(fLen2), forward);
  const Vec3 u = Scale(1.0f / Sqrt(uLen2), up);
  const Vec3 t = Cross(u, f);
  const float tLen2 = AimLengthSq(t);
  Quat q = IdentityQuat();
  if (UsableLengthSq(fLen2) && UsableLengthSq(uLen2) && tLen2 > kParallelSineSq &&
      tLen2 < 1e35f) {
    const Vec3 right = Div(t, Sqrt(tLen2));
    q = QuatFromBasis(right, Cross(f, right), f);
  }
  const float product = dist * distanceScale;
  const float r = product > 1.0f ? product : 1.0f;
  const float k = 1.0f + Sleef_logf_u35(r);
  const float zoom = MaxStep(MinStep(k, 3.0f), 1.0f) * zoomScale;
  rotationOut[0] = q.x;
  rotationOut[1] = q.y;
  rotationOut[2] = q.z;
  rotationOut[3] = q.w;
  *factorOut = k;
  *zoomOut = zoom;
}

}  // namespace vorta::VORTA_NS
