// Tracking kernels: the planar spread and bend measures, curl and openness over
// joint angles, poses relative to a frame (one pose, or the 26 hand joints),
// the two-stage smoothing of a pose and a point, and the throw assist. Scalar
// code in the stated order: the same bits in both variants.
#include <sleef.h>

#include "math/pose.h"
#include "math/pose_math.h"
#include "math/quat_blend.h"
#include "math/staged_ease.h"

namespace vorta {
using HandJoint = ::VortaHandJoint;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// The measure of the angle between the folded projections (a, |az|) and
// (b, |bz|), mapped through [low, high]. Rounding can take the cosine of
// (anti)parallel projections just past 1 in magnitude: it is clamped first to
// at most 1 and then to at least -1, a NaN (a zero projection) becoming 1.
float PlanarMeasure(float ka, float kz, float ea, float ez, float low, float high) {
  const Vec3 k{ka, 0.0f, Abs(kz)}, e{ea, 0.0f, Abs(ez)};
  float c = Dot(k, e) / (Length(e) * Length(k));
  c = c < 1.0f ? c : 1.0f;
  c = c > -1.0f ? c : -1.0f;
  return UnitClamp((Acos(c) * kDegreesPerRadian - low) / (high - low));
}

struct Spans {
  Vec3 k, e;  // p2 - p1 and p4 - p3 in the root's frame
};

Spans LocalSpans(const Vec3* rootPosition, const Quat* rootRotation, const Vec3* p1,
                 const Vec3* p2, const Vec3* p3, const Vec3* p4) {
  const Vec3 origin = *rootPosition;
  const Quat inv = Inverse(*rootRotation);
  auto local = [&](const Vec3* p) { return Rotate(inv, Sub(*p, origin)); };
  return {Sub(local(p2), local(p1)), Sub(local(p4), local(p3))};
}

VORTA_MATH float Ratio(float t, float low, float high) { return (t - low) / (high - low); }

// The first joint of each finger; the lookup guards the finger number.
int32_t FingerFirstJoint(int32_t finger) {
  static const int32_t kFirst[5] = {2, 6, 11, 16, 21};
  if (static_cast<uint32_t>(finger) > 4u)
    Abort("System.ArgumentException", "fingerId must be a valid value!");
  return kFirst[finger];
}

VORTA_MATH bool Valid(const HandJoint& j) { return (j.flags & VORTA_HAND_JOINT_VALID) != 0; }

// x + (target - x) * f, twice: by rate * dt, then by the fixed factor.
VORTA_MATH Vec3 TwoStages(Vec3 x, Vec3 target, float first, float second) {
  x = Lerp(x, target, first);
  return Lerp(x, target, second);
}

constexpr BlendRule kSmoothingBlend = {DotOrder::YxWz, true, false};

}  // namespace

VORTA_MSABI float PlanarSpread(int32_t side, const void*, const Vec3* rootPosition,
                               const Quat* rootRotation, const Vec3* p1, const Vec3* p2,
                               const Vec3* p3, const Vec3* p4, float low, float high) {
  const Spans s = LocalSpans(rootPosition, rootRotation, p1, p2, p3, p4);
  if (side == 1 ? s.e.x > s.k.x : s.e.x < s.k.x) return 0.0f;
  return PlanarMeasure(s.k.x, s.k.z, s.e.x, s.e.z, low, high);
}

VORTA_MSABI float PlanarBend(const Vec3* rootPosition, const Quat* rootRotation, const Vec3* p1,
                             const Vec3* p2, const Vec3* p3, const Vec3* p4, float low,
                             float high) {
  const Spans s = LocalSpans(rootPosition, rootRotation, p1, p2, p3, p4);
  if (s.k.y > s.e.y) return 0.0f;
  return PlanarMeasure(s.k.y, s.k.z, s.e.y, s.e.z, low, high);
}

VORTA_MSABI float Curl(int32_t threeJoints, const Vec3* p0, const Vec3* p1, const Quat* frame1,
                       const Vec3* p2, const Quat* frame2, const Vec3* p3, const Quat* frame3,
                       const Vec3* p4, float low1, float high1, float low2, float high2,
                       float low3, float high3) {
  const float t1 = JointAngleDegrees(*p0, *p1, *frame1, *p2);
  const float t2 = JointAngleDegrees(*p1, *p2, *frame2, *p3);
  float sum = Ratio(t1, low1, high1) + Ratio(t2, low2, high2);
  float n = 2.0f;
  if (threeJoints != 0 && low3 > 0.0f && high3 > 0.0f) {
    sum += Ratio(JointAngleDegrees(*p2, *p3, *frame3, *p4), low3, high3);
    n = 3.0f;
  }
  return 1.0f - UnitClamp(sum / n);
}

VORTA_MSABI float Openness(const Vec3* p0, const Vec3* p1, const Quat* frame1, const Vec3* p2,
                           const Quat* frame2, const Vec3* p3, float low1, float high1,
                           float low2, float high2) {
  const float o1 = 1.0f - UnitClamp(Ratio(JointAngleDegrees(*p0, *p1, *frame1, *p2), low1, high1));
  const float o2 = 1.0f - UnitClamp(Ratio(JointAngleDegrees(*p1, *p2, *frame2, *p3), low2, high2));
  return (o2 + o1) * 0.5f;
}

VORTA_MSABI void PoseInFrame(const Pose* a, const Pose* b, float* out) {
  const Pose r = RelativePose(a->position, a->rotation, b->position, b->rotation);
  const float v[7] = {r.position.x, r.position.y, r.position.z, r.rotation.x,
                      r.rotation.y, r.rotation.z, r.rotation.w};
  for (int i = 0; i < 7; ++i) out[i] = v[i];
}

VORTA_MSABI void HandJoints(HandJoint* const* source, Pose* const* output, void*, void*) {
  const HandJoint* joints = *source;
  Pose* poses = *output;
  const HandJoint& root = joints[0];
  if (!Valid(root)) return;
  poses[0] = Pose{root.position, root.rotation};
  if (Valid(joints[1]))
    poses[1] = RelativePose(root.position, root.rotation, joints[1].position, joints[1].rotation);
  for (int32_t finger = 0; finger < 5; ++finger) {
    const int32_t first = FingerFirstJoint(finger), end = first + (finger == 0 ? 4 : 5);
    const HandJoint* reference = &root;
    for (int32_t j = first; j < end; ++j) {
      if (!Valid(joints[j])) continue;
      poses[j] = RelativePose(reference->position, reference->rotation, joints[j].position,
                              joints[j].rotation);
      reference = &joints[j];
    }
  }
}

VORTA_MSABI void TwoStageSmooth(Pose* a, Vec3* p, const Pose* target, const Vec3* targetPoint,
                                float dt, uint32_t movePosition, float positionRate,
                                float positionFactor, uint32_t moveRotation, float rotationRate,
                                float rotationFactor, uint32_t movePoint, float pointRate,
                                float pointFactor) {
  const Pose goal = *target;
  const Vec3 goalPoint = *targetPoint;
  Pose pose = *a;
  pose.position = BitFlag(movePosition)
                      ? TwoStages(pose.position, goal.position, positionRate * dt, positionFactor)
                      : goal.position;
  if (BitFlag(moveRotation)) {
    const Quat once = Blend<kSmoothingBlend>(pose.rotation, goal.rotation, rotationRate * dt);
    pose.rotation = Blend<kSmoothingBlend>(once, goal.rotation, rotationFactor);
  } else {
    pose.rotation = goal.rotation;
  }
  const Vec3 point =
      BitFlag(movePoint) ? TwoStages(*p, goalPoint, pointRate * dt, pointFactor) : goalPoint;
  *a = pose;
  *p = point;
}

// Bends the thrown velocity toward the 45-degree or the flat ballistic throw
// that reaches the target. Where no such throw exists the velocity is returned
// unchanged: a target straight above or below (no horizontal distance), one at
// or above 45 degrees of elevation (the 45-degree speed has no real root), and
// no downward gravity.
VORTA_MSABI void ThrowAssist(const Vec3* fromIn, const Vec3* toIn, const Vec3* velocity,
                             float g, float maxAngleDeg, float minSpeed, float speedCapFactor,
                             float blend, float threshold, Vec3* out) {
  const Vec3 v = *velocity;
  const float o = Length(v);
  const Vec3 u = Sub(*toIn, *fromIn);
  const Vec3 uHat = NormalizeOrZero(u), n = NormalizeOrZero(v);
  float k, angle = 0.0f;
  if (VectorAngleCosine(uHat, n, &k))
    angle = static_cast<float>(Sleef_acos_u35(static_cast<double>(k))) * kDegreesPerRadian;
  Vec3 r = v;
  if (angle > maxAngleDeg) {
    r = v;
  } else if (threshold > g) {
    r = Scale(o, uHat);
  } else if (minSpeed > o) {
    r = v;
  } else {
    const float F = Sqrt(u.x * u.x + u.z * u.z), dy = u.y, h = g * 0.5f;
    if (!(threshold > F) && F > 0.0f && F - dy > 0.0f && h > 0.0f) {
      const float H = Sqrt(F * F * h / (F - dy));
      float J, I;
      if (dy < 0.0f) {
        J = Sqrt(h * F * F / -dy);
        I = 0.0f;
      } else {
        J = 2.0f * H;
        const float L = F / J;
        I = (h * L * L + dy) * J / F;
      }
      const float e45 = Abs(Sqrt(2.0f * H * H) - o);
      const float eFlat = Abs(Sqrt(J * J + I * I) - o);
      const float compared = (v.y > 0.0f || IsNan(v.y)) ? eFlat : eFlat * 0.25f;
      if (compared > e45) J = I = H;
      const float N = Sqrt(J * J + I * I);
      const float cJ = J * (1.0f / N), cI = I * (1.0f / N);
      const float cap = speedCapFactor * o;
      const float s = IsNan(cap) ? N : (N < cap ? N : cap);
      const float horizontal = cJ * s, inverseF = 1.0f / F;
      const Vec3 w{u.x * inverseF * horizontal, cI * s, u.z * inverseF * horizontal};
      const float wLength = Length(w);
      const Vec3 d = HostSlerp(n, Scale(1.0f / wLength, w), blend);
      r = Scale((wLength - o) * blend + o, d);
    }
  }
  *out = r;
}

}  // namespace vorta::VORTA_NS
