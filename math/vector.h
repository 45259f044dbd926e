// 3-vector primitives shared by every direct-call maths kernel. Each is written
// in one fixed evaluation order, and the kernels are built from these so that
// results agree to the last bit wherever the same quantity is computed.
//
// Rules every kernel follows:
// - No fused multiply-add. Kernel code is compiled with -ffp-contract=off and
//   neither variant fuses by hand, so SSE2 and AVX2 give identical bits.
// - Float min/max steps keep NaN unless a kernel states otherwise:
//   Clamp(x, lo, hi) = at most hi ((x > hi) ? hi : x), then at least lo.
// - Normalising a vector of zero length gives the zero vector
//   (NormalizeOrZero); a kernel that scales by the normalised direction
//   therefore leaves its base point unchanged, and a rotation built from a
//   degenerate basis is the identity. Normalize() is the raw v * (1 / |v|)
//   for the places that guard the length themselves.
#pragma once
#include <stdint.h>

#include "frame/simd.h"
#include "frame/variant.h"
#include "vorta/vorta.h"

namespace vorta {
using Vec3 = ::VortaVec3;
using Quat = ::VortaQuat;
}  // namespace vorta

namespace vorta::VORTA_NS {

#define VORTA_MATH static inline __attribute__((always_inline))

VORTA_MATH Vec3 MakeVec3(float x, float y, float z) { return Vec3{x, y, z}; }
VORTA_MATH Vec3 Add(Vec3 a, Vec3 b) { return Vec3{a.x + b.x, a.y + b.y, a.z + b.z}; }
VORTA_MATH Vec3 Sub(Vec3 a, Vec3 b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }
VORTA_MATH Vec3 Neg(Vec3 a) { return Vec3{-a.x, -a.y, -a.z}; }
// s * v per component (float products commute, so v * s is the same).
VORTA_MATH Vec3 Scale(float s, Vec3 v) { return Vec3{s * v.x, s * v.y, s * v.z}; }
VORTA_MATH Vec3 Mul(Vec3 a, Vec3 b) { return Vec3{a.x * b.x, a.y * b.y, a.z * b.z}; }
VORTA_MATH Vec3 Div(Vec3 a, float d) { return Vec3{a.x / d, a.y / d, a.z / d}; }

// (a.x * b.x + a.y * b.y) + a.z * b.z
VORTA_MATH float Dot(Vec3 a, Vec3 b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }
VORTA_MATH float LengthSq(Vec3 v) { return Dot(v, v); }
VORTA_MATH float Length(Vec3 v) { return Sqrt(Dot(v, v)); }

VORTA_MATH Vec3 Cross(Vec3 a, Vec3 b) {
  return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// v * (1 / length(v)): an exact reciprocal of the exact root; NaN for a zero vector.
VORTA_MATH Vec3 Normalize(Vec3 v) { return Scale(1.0f / Length(v), v); }

// Normalize, except that a vector of zero length gives the zero vector.
VORTA_MATH Vec3 NormalizeOrZero(Vec3 v) {
  const float len = Length(v);
  return len == 0.0f ? Vec3{0.0f, 0.0f, 0.0f} : Scale(1.0f / len, v);
}

// (b - a) * t + a per component.
VORTA_MATH Vec3 Lerp(Vec3 a, Vec3 b, float t) { return Add(Scale(t, Sub(b, a)), a); }
VORTA_MATH float Lerp(float a, float b, float t) { return (b - a) * t + a; }

// At most hi, then at least lo; NaN passes through.
VORTA_MATH float Clamp(float x, float lo, float hi) {
  x = (x > hi) ? hi : x;
  return (x < lo) ? lo : x;
}
VORTA_MATH float Clamp01(float x) { return Clamp(x, 0.0f, 1.0f); }

// The larger of m and r where a NaN r is skipped and a NaN m is replaced.
VORTA_MATH float MaxSkippingNan(float m, float r) {
  if (IsNan(m)) return r;
  return (!IsNan(r) && r > m) ? r : m;
}

// v minus its component along n: v - n * dot(v, n) / s with s = dot(n, n), each
// quotient taken after the product; v unchanged when s < 2^-23.
VORTA_MATH Vec3 ProjectOntoPlane(Vec3 v, Vec3 n) {
  const float s = Dot(n, n);
  if (s < 1.1920929e-7f) return v;
  const float k = Dot(v, n);
  return Vec3{v.x - n.x * k / s, v.y - n.y * k / s, v.z - n.z * k / s};
}

VORTA_MATH bool IsFinite(Vec3 v) {
  constexpr float kMax = 3.4028235e38f;
  return Abs(v.x) <= kMax && Abs(v.y) <= kMax && Abs(v.z) <= kMax;
}

// m ? a : b without a branch (for choices that vary call to call).
VORTA_MATH float Pick(bool m, float a, float b) {
  const uint32_t mask = 0u - static_cast<uint32_t>(m);
  return Bits<float>((Bits<uint32_t>(a) & mask) | (Bits<uint32_t>(b) & ~mask));
}

VORTA_MATH Vec3 LoadVec3(const float* p) { return Vec3{p[0], p[1], p[2]}; }

}  // namespace vorta::VORTA_NS
