// Small geometry shared by the scene jobs: 3-vectors, view transforms of
// column-major matrices, quaternion rotation matrices, four-lane matrix columns
// and the saturating float-to-cell conversion of the screen grid.
#pragma once
#include <stdint.h>

#include <initializer_list>

#include "frame/variant.h"

namespace vorta::VORTA_NS {

struct V3 {
  float x, y, z;
};
static inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
static inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
static inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
static inline float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static inline V3 Cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
static inline float SqrtF(float x) { return __builtin_sqrtf(x); }
// a / |a|; a zero or non-finite vector gives NaN components.
static inline V3 Normalise(V3 a) { return a * (1.0f / SqrtF(Dot(a, a))); }
// Loads from record fields, which may sit at any address.
static inline V3 LoadV3(const void* p) {
  V3 v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
struct Matrix {
  float m[16];
  explicit Matrix(const void* p) { __builtin_memcpy(m, p, sizeof m); }
};

// View-space image of a world point under a column-major matrix, each
// component rounded as c2*z + (c1*y + c0*x), then + c3.
static inline V3 ViewPoint(const float* m, V3 p) {
  return {(m[8] * p.z + (m[4] * p.y + m[0] * p.x)) + m[12],
          (m[9] * p.z + (m[5] * p.y + m[1] * p.x)) + m[13],
          (m[10] * p.z + (m[6] * p.y + m[2] * p.x)) + m[14]};
}

// The rotation by -90 degrees about x that the transform job composes with.
constexpr float kHalfSqrt2 = 0.70710677f;

// Four floats: one matrix column, one quaternion, or a point with w.
typedef float F4 __attribute__((vector_size(16)));
static inline F4 LoadF4(const float* p) {
  F4 v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
static inline void StoreF4(float* p, F4 v) { __builtin_memcpy(p, &v, sizeof v); }
static inline F4 Splat4(float s) { return F4{s, s, s, s}; }

// Columns of the rotation matrix of the quaternion (x, y, z, w), fourth
// components 0.
static inline void RotationColumns(F4 q, F4 c[3]) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  c[0] = F4{1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y), 0.0f};
  c[1] = F4{2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x), 0.0f};
  c[2] = F4{2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y), 0.0f};
}

// m * v for a matrix given as four columns.
static inline F4 Transform4(const F4 m[4], F4 v) {
  return ((m[0] * Splat4(v[0]) + m[1] * Splat4(v[1])) + m[2] * Splat4(v[2])) + m[3] * Splat4(v[3]);
}

// Hamilton product a * b of quaternions (x, y, z, w).
static inline F4 QuatMul(F4 a, F4 b) {
  return F4{a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
            a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
            a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

// Truncation toward zero that saturates at the int32 limits instead of giving
// the processor's 0x80000000 for every value it cannot represent; NaN gives
// `nanValue`.
static inline int32_t TruncSaturate(float x, int32_t nanValue) {
  if (x != x) return nanValue;
  if (x >= 2147483648.0f) return INT32_MAX;
  if (x <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(x);
}

static inline int32_t MinI(int32_t a, int32_t b) { return a < b ? a : b; }
static inline int32_t MaxI(int32_t a, int32_t b) { return a > b ? a : b; }

}  // namespace vorta::VORTA_NS
