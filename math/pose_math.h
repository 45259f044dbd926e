// Pieces shared by the pose, motion and tracking kernels: flag arguments, the
// Hamilton product, the relative pose through the host's inverse, the mode
// tables of the local-direction kernels and the cone comparison.
#pragma once
#include <sleef.h>

#include "math/angles.h"
#include "math/quaternion.h"

namespace vorta {
using Frame = ::VortaFrame;
using Pose = ::VortaPose;
}  // namespace vorta

namespace vorta::VORTA_NS {

// A bool argument: its low byte; a flag documented as a low bit: bit 0 only.
// (The bits above are whatever the caller left in the register.)
VORTA_MATH bool ByteFlag(uint32_t b) { return (b & 0xffu) != 0; }
VORTA_MATH bool BitFlag(uint32_t b) { return (b & 1u) != 0; }

constexpr float kRadiansPerDegree = 0.017453292f;
VORTA_MATH float CosDegrees(float degrees) { return Sleef_cosf_u35(degrees * kRadiansPerDegree); }

// a * b with a on the left; x = ((w*b.x + x*b.w) + y*b.z) - z*b.y and the others
// in the same pattern, w = ((w*b.w - x*b.x) - y*b.y) - z*b.z.
VORTA_MATH Quat Hamilton(Quat a, Quat b) {
  return Quat{((a.w * b.x + a.x * b.w) + a.y * b.z) - a.z * b.y,
              ((a.w * b.y + a.y * b.w) + a.z * b.x) - a.x * b.z,
              ((a.w * b.z + a.z * b.w) + a.x * b.y) - a.y * b.x,
              ((a.w * b.w - a.x * b.x) - a.y * b.y) - a.z * b.z};
}

// M(q) v with M built from the doubled products of q's components.
VORTA_MATH Vec3 MatrixRotate(Quat q, Vec3 v) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  const Vec3 r0{1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y - w * z), 2.0f * (x * z + w * y)};
  const Vec3 r1{2.0f * (x * y + w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z - w * x)};
  const Vec3 r2{2.0f * (x * z - w * y), 2.0f * (y * z + w * x), 1.0f - 2.0f * (x * x + y * y)};
  return Vec3{Dot(r0, v), Dot(r1, v), Dot(r2, v)};
}

// B expressed in A's frame, with the inverse of A's rotation from the host.
static inline Pose RelativePose(Vec3 aPosition, Quat aRotation, Vec3 bPosition, Quat bRotation) {
  const Quat inv = HostInverse(aRotation);
  return Pose{MatrixRotate(inv, Sub(bPosition, aPosition)), Hamilton(inv, bRotation)};
}

// The first mode table of the local directions (s scales the mode-4 axis).
static inline Vec3 FirstTableDirection(int32_t mode, const Vec3& offset, const Frame& frame,
                                       const Frame& target, float s) {
  switch (mode) {
    case 0: return Rotate(frame.rotation, MakeVec3(0.0f, 1.0f, 0.0f));
    case 1: return Sub(target.position, Add(frame.position, Rotate(frame.rotation, offset)));
    case 2: return Rotate(target.rotation, MakeVec3(0.0f, 0.0f, 1.0f));
    case 3: return Rotate(target.rotation, MakeVec3(0.0f, -1.0f, 0.0f));
    case 4: return Rotate(target.rotation, MakeVec3(-s, 0.0f, 0.0f));
    default: return MakeVec3(0.0f, 1.0f, 0.0f);
  }
}

// The second mode table.
static inline Vec3 SecondTableDirection(int32_t mode, const Vec3& offset, const Frame& frame,
                                        const Frame& target) {
  switch (mode) {
    case 0: return Sub(target.position, Add(frame.position, Rotate(frame.rotation, offset)));
    case 1: return Rotate(target.rotation, MakeVec3(0.0f, 0.0f, 1.0f));
    case 2: return Rotate(target.rotation, MakeVec3(0.0f, 1.0f, 0.0f));
    case 3: return Rotate(target.rotation, MakeVec3(1.0f, 0.0f, 0.0f));
    default: return MakeVec3(0.0f, 1.0f, 0.0f);
  }
}

// A direction expressed in the frame's local space (the local inverse formula).
VORTA_MATH Vec3 ToLocal(const Frame& frame, Vec3 g) { return Rotate(Inverse(frame.rotation), g); }

// The cone comparisons on h, the cosine between two unit directions. Mode 1
// (within angle of the plane perpendicular to the axis) compares with the
// cosine of 90 - angle, which for angle 0 is cos(pi/2 in float) = -4.37e-8:
// that rounding is taken as the 0 it stands for, and an exactly perpendicular
// direction passes at angle 0.
static inline bool ConeCompare(int32_t mode, float angleDeg, float h) {
  switch (mode) {
    case 0: return h > CosDegrees(angleDeg);
    case 1: {
      const float a = MaxStep(MinStep(90.0f - angleDeg, 90.0f), 0.0f);
      return MaxStep(CosDegrees(a), 0.0f) >= Abs(h);
    }
    case 2: return h < -CosDegrees(angleDeg);
    default: return false;
  }
}

}  // namespace vorta::VORTA_NS
