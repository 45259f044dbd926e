// Rotation and angle kernels, on the shared primitives of math/quaternion.h and
// math/angles.h; inputs are read before any output is written.
#include "math/rotation.h"

#include "math/angles.h"

namespace vorta::VORTA_NS {
namespace {

// The unit quaternion of the rotation whose matrix has the columns x, y and z,
// by the trace-based conversion with the branch chosen from the diagonal, then
// divided by its length. A degenerate basis (x of zero length: forward zero or
// parallel to up) gives the identity.
inline Quat BasisToQuat(Vec3 x, Vec3 y, Vec3 z) {
  if (x.x == 0.0f && x.y == 0.0f && x.z == 0.0f) return IdentityQuat();
  // m<row><column>
  const float m00 = x.x, m10 = x.y, m20 = x.z;
  const float m01 = y.x, m11 = y.y, m21 = y.z;
  const float m02 = z.x, m12 = z.y, m22 = z.z;
  Quat q;
  if (m22 < 0.0f) {
    if (m00 > m11)
      q = Quat{1.0f + m00 - m11 - m22, m01 + m10, m02 + m20, m21 - m12};
    else
      q = Quat{m01 + m10, 1.0f - m00 + m11 - m22, m12 + m21, m02 - m20};
  } else {
    if (m00 < -m11)
      q = Quat{m02 + m20, m12 + m21, 1.0f - m00 - m11 + m22, m10 - m01};
    else
      q = Quat{m21 - m12, m02 - m20, m10 - m01, 1.0f + m00 + m11 + m22};
  }
  const float len = Sqrt(Dot4(q, q));
  return Quat{q.x / len, q.y / len, q.z / len, q.w / len};
}

// The look rotation of forward f with right already chosen: the basis right,
// up2 = cross(f, right), f, built on the unit forward. (With a forward of any
// other length the columns would not be orthonormal and the conversion would
// not give the rotation that looks along it.)
inline uint32_t WriteLook(Vec3 f, Vec3 right, Quat* out) {
  const Vec3 z = NormalizeOrZero(f);
  *out = BasisToQuat(right, Cross(z, right), z);
  return 0;
}

}  // namespace

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
  return WriteLook(f, NormalizeOrZero(Cross(u, f)), out);
}

// right = normalize(cross(cross(cross(f, up), f), f)). Also the body of the twin entry.
VORTA_MSABI uint32_t LookRotation(const Vec3* forward, const Vec3* up, Quat* out) {
  const Vec3 f = *forward;
  return WriteLook(f, NormalizeOrZero(Cross(Cross(Cross(f, *up), f), f)), out);
}

}  // namespace vorta::VORTA_NS
