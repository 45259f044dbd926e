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
