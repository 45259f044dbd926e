// Quaternion primitives shared by the rotation, pose and tracking kernels:
// rotating a vector, the inverse, the four-component dot product, and the two
// host services (inverse, spherical interpolation of 3-vectors) for the
// kernels that must take them from the host.
#pragma once
#include "frame/services.h"
#include "math/vector.h"

namespace vorta::VORTA_NS {

VORTA_MATH Vec3 VectorPart(Quat q) { return Vec3{q.x, q.y, q.z}; }

// rotate(q, v): t = cross(r, v) added to itself, then cross(r, t) + (q.w * t + v)
// with the inner sum first (r is the vector part of q).
VORTA_MATH Vec3 Rotate(Quat q, Vec3 v) {
  const Vec3 r = VectorPart(q);
  const Vec3 c = Cross(r, v);
  const Vec3 t = Add(c, c);
  return Add(Cross(r, t), Add(Scale(q.w, t), v));
}

// (x*x' + y*y') + (z*z' + w*w')
VORTA_MATH float Dot4(Quat a, Quat b) { return (a.x * b.x + a.y * b.y) + (a.z * b.z + a.w * b.w); }

// s = 1 / ((x*x + y*y) + (z*z + w*w)); (-x * s, -y * s, -z * s, w * s).
VORTA_MATH Quat Inverse(Quat q) {
  const float s = 1.0f / Dot4(q, q);
  return Quat{-q.x * s, -q.y * s, -q.z * s, q.w * s};
}

VORTA_MATH Quat IdentityQuat() { return Quat{0.0f, 0.0f, 0.0f, 1.0f}; }

// The unit quaternion of the rotation whose matrix has the columns x, y and z,
// by the trace-based conversion with the branch chosen from the diagonal, then
// divided by its length. A degenerate basis (x of zero length: forward zero or
// parallel to up) gives the identity.
VORTA_MATH Quat QuatFromBasis(Vec3 x, Vec3 y, Vec3 z) {
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
VORTA_MATH Quat LookRotationOf(Vec3 f, Vec3 right) {
  const Vec3 z = NormalizeOrZero(f);
  return QuatFromBasis(right, Cross(z, right), z);
}

// The host's quaternion inverse, for the kernels that take it from the host.
// (Plain float arrays: the host reads and writes four aligned floats.)
static inline Quat HostInverse(Quat q) {
  float in[4] = {q.x, q.y, q.z, q.w}, out[4];
  ServiceSlot<svc::QuaternionInverse>(kQuaternionInverse)(in, out);
  return Quat{out[0], out[1], out[2], out[3]};
}

// The host's spherical interpolation of two 3-vectors by t.
static inline Vec3 HostSlerp(Vec3 a, Vec3 b, float t) {
  float pa[3] = {a.x, a.y, a.z}, pb[3] = {b.x, b.y, b.z}, out[3];
  ServiceSlot<svc::Vector3Slerp>(kVector3Slerp)(pa, pb, t, out);
  return Vec3{out[0], out[1], out[2]};
}

}  // namespace vorta::VORTA_NS
