// Spherical blends of two quaternions over four components. The pose kernels and
// the follow steps each fix their own dot-product order, their own handling of a
// NaN dot and their own normalisation of the near-parallel linear blend; the
// blend itself is written once here.
#pragma once
#include <sleef.h>

#include "math/quaternion.h"

namespace vorta::VORTA_NS {

// The four-component dot-product orders in use.
enum class DotOrder {
  XyZw,  // (x*x' + y*y') + (z*z' + w*w')
  ZwXy,  // (z*z' + w*w') + (x*x' + y*y')
  YxWz,  // (y*y' + x*x') + (w*w' + z*z')
};

template <DotOrder O>
VORTA_MATH float OrderedDot4(Quat a, Quat b) {
  const float x = a.x * b.x, y = a.y * b.y, z = a.z * b.z, w = a.w * b.w;
  if constexpr (O == DotOrder::XyZw) return (x + y) + (z + w);
  if constexpr (O == DotOrder::ZwXy) return (z + w) + (x + y);
  return (y + x) + (w + z);
}

VORTA_MATH Quat QuatScale(Quat q, float s) { return Quat{q.x * s, q.y * s, q.z * s, q.w * s}; }
VORTA_MATH Quat QuatAdd(Quat a, Quat b) { return Quat{a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
VORTA_MATH Quat QuatLerp(Quat q, Quat r, float f) {
  return Quat{q.x + (r.x - q.x) * f, q.y + (r.y - q.y) * f, q.z + (r.z - q.z) * f,
              q.w + (r.w - q.w) * f};
}

struct BlendRule {
  DotOrder order;
  bool nanIsLinear;  // a NaN dot takes the linear branch (else the spherical one)
  bool divide;       // the linear blend is divided by its length (else scaled by 1/length)
};

// From q toward r by f, the shortest way round: spherical below a dot of 0.9995,
// a normalised linear blend above it.
template <BlendRule R>
static inline Quat Blend(Quat q, Quat r, float f) {
  float d = OrderedDot4<R.order>(q, r);
  if (d < 0.0f) {
    r = QuatScale(r, -1.0f);
    d = -d;
  }
  const bool spherical = R.nanIsLinear ? d < 0.9995f : !(d >= 0.9995f);
  if (spherical) {
    const float theta = Sleef_acosf_u35(d);
    const float k = 1.0f / Sqrt(1.0f - d * d);
    const float a = Sleef_sinf_u35((1.0f - f) * theta) * k;
    const float b = Sleef_sinf_u35(f * theta) * k;
    return QuatAdd(QuatScale(q, a), QuatScale(r, b));
  }
  const Quat h = QuatLerp(q, r, f);
  const float len = Sqrt((h.x * h.x + h.y * h.y) + (h.z * h.z + h.w * h.w));
  if (R.divide) return Quat{h.x / len, h.y / len, h.z / len, h.w / len};
  return QuatScale(h, 1.0f / len);
}

}  // namespace vorta::VORTA_NS
