// Rotation and angle kernels, on the shared primitives of math/quaternion.h and
// math/angles.h; inputs are read before any output is written.
#include "math/rotation.h"

#include "math/angles.h"

namespace vorta::VORTA_NS {
VORTA_MSABI void VectorAngle(const Vec3* a, const Vec3* b, float* out) {
  *out = VectorAngleDegrees(*a, *b);
}

VORTA_MSABI void RotationAngle(const Quat* q1, const Quat* q2, float* out) {
  *out = RotationAngleDegrees(*q1, *q2);
}

VORTA_MSABI float JointAngle(const Vec3* a, const Vec3* pivot, const Quat* frame, const Vec3* tip) {
  return JointAngleDegrees(*a, *pivot, *frame, *tip);
}

// 1 - clamp01((angle - low) / (high - low)).
VORTA_MSABI float JointOpenness(const Vec3* a, const Vec3* pivot, const Quat* frame,
                                const Vec3* tip, float low, float high) {
  const float angle = JointAngleDegrees(*a, *pivot, *frame, *tip);
  return 1.0f - Clamp01((angle - low) / (high - low));
}

VORTA_MSABI void RotateAbout(Vec3* out, const Vec3* origin, const Quat* rotation,
                             const Vec3* point) {
  *out = Rotate(*rotation, Sub(*point, *origin));
}

// Selector 2: the rotated forward axis; 1: the rotated (s, 0, 0); 0: the
// rotated down axis; any other: (0, 0, 1) unrotated.
VORTA_MSABI void AxisRotation(Vec3* out, int32_t selector, const Quat* rotation, float s) {
  Vec3 v;
  switch (selector) {
    case 2: v = MakeVec3(0.0f, 0.0f, 1.0f); break;
    case 1: v = MakeVec3(s, 0.0f, 0.0f); break;
    case 0: v = MakeVec3(0.0f, -1.0f, 0.0f); break;
    default: *out = MakeVec3(0.0f, 0.0f, 1.0f); return;
  }
  *out = Rotate(*rotation, v);
}

// Forward projected onto the plane of up; right = normalize(cross(up, forward)).
// Also the body of the twin entry.
VORTA_MSABI uint32_t LookRotationProjected(const Vec3* forward, const Vec3* up, Quat* out) {
  const Vec3 u = *up;
  const Vec3 f = ProjectOntoPlane(*forward, u);
  *out = LookRotationOf(f, NormalizeOrZero(Cross(u, f)));
  return 0;
}

// right = normalize(cross(cross(cross(f, up), f), f)). Also the body of the twin entry.
VORTA_MSABI uint32_t LookRotation(const Vec3* forward, const Vec3* up, Quat* out) {
  const Vec3 f = *forward;
  *out = LookRotationOf(f, NormalizeOrZero(Cross(Cross(Cross(f, *up), f), f)));
  return 0;
}

}  // namespace vorta::VORTA_NS
