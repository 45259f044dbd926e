// Angle measures shared by the rotation and tracking kernels, in degrees, all
// on one arc cosine (SLEEF's scalar single-precision form of the 3.5-ULP
// class, the same in both variants).
#pragma once
#include <sleef.h>

#include "math/quaternion.h"

namespace vorta::VORTA_NS {

constexpr float kDegreesPerRadian = 57.29578f;

VORTA_MATH float Acos(float k) { return Sleef_acosf_u35(k); }

// v scaled by a power of two so that its largest component lies in [1, 4):
// exact, so the direction and every ratio of products are kept.
static inline Vec3 ScaleToUnitRange(Vec3 v) {
  const float m = MaxStep(MaxStep(Abs(v.x), Abs(v.y)), Abs(v.z));
  int32_t field = 254 - static_cast<int32_t>(Bits<uint32_t>(m) >> 23);
  field = field < 1 ? 1 : field;
  return Scale(Bits<float>(static_cast<uint32_t>(field) << 23), v);
}

// The cosine of the angle between a and b: dot(a, b) / sqrt(dot(a, a) * dot(b, b)),
// at most 1 then at least -1 with a NaN quotient becoming 1. False when the
// root is below 1e-15 (the angle is then 0). When |a|·|b| overflows the float
// range for finite inputs the same arithmetic runs on a and b rescaled by powers
// of two, instead of dividing by an infinite root and reporting 90 degrees.
static inline bool VectorAngleCosine(Vec3 a, Vec3 b, float* cosine) {
  float h = Sqrt(Dot(a, a) * Dot(b, b));
  if (h == __builtin_inff()) {
    if (IsFinite(a) && IsFinite(b)) {
      a = ScaleToUnitRange(a);
      b = ScaleToUnitRange(b);
      h = Sqrt(Dot(a, a) * Dot(b, b));
    }
  }
  if (h < 1e-15f) return false;
  float k = Dot(a, b) / h;
  k = (k < 1.0f) ? k : 1.0f;
  k = (k > -1.0f) ? k : -1.0f;
  *cosine = k;
  return true;
}

// The angle between two vectors; 0 when either is (nearly) zero.
static inline float VectorAngleDegrees(Vec3 a, Vec3 b) {
  float k;
  return VectorAngleCosine(a, b, &k) ? Acos(k) * kDegreesPerRadian : 0.0f;
}

// The angle between two rotations: twice the arc cosine of |q1·q2| (at most 1,
// NaN taken as 1); 0 above 0.999999, so q and -q are 0 degrees apart.
static inline float RotationAngleDegrees(Quat q1, Quat q2) {
  float x = Abs(Dot4(q1, q2));
  x = (x < 1.0f) ? x : 1.0f;
  if (x > 0.999999f) return 0.0f;
  return Acos(x) * 2.0f * kDegreesPerRadian;
}

// The bend at pivot between the bones to a and to tip: 180 when the bend turns
// against the frame's right axis, else the arc cosine of the unit bones' dot
// product, clamped to [-1, 1] (rounding can push it past 1 for parallel bones).
// A zero-length bone normalises to the zero vector (dot 0, so 90 degrees).
static inline float JointAngleDegrees(Vec3 a, Vec3 pivot, Quat frame, Vec3 tip) {
  const Vec3 u = NormalizeOrZero(Sub(a, pivot));
  const Vec3 w = NormalizeOrZero(Sub(tip, pivot));
  const Vec3 n = Cross(w, u);
  const Vec3 right = Rotate(frame, MakeVec3(1.0f, 0.0f, 0.0f));
  if (Dot(n, right) < 0.0f) return 180.0f;
  return Acos(Clamp(Dot(u, w), -1.0f, 1.0f)) * kDegreesPerRadian;
}

}  // namespace vorta::VORTA_NS
