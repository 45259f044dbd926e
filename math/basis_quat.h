// The unit quaternion of the rotation whose matrix has the columns right, up
// and forward (an orthonormal basis): the trace-based conversion, with the
// largest diagonal term choosing the branch when the trace is not positive,
// divided by its length at the end.
#pragma once
#include "math/quaternion.h"

namespace vorta::VORTA_NS {

static inline Quat QuatFromBasis(Vec3 r, Vec3 u, Vec3 f) {
  // m[row][column]: column 0 is right, 1 up, 2 forward.
  const float m00 = r.x, m10 = r.y, m20 = r.z;
  const float m01 = u.x, m11 = u.y, m21 = u.z;
  const float m02 = f.x, m12 = f.y, m22 = f.z;
  const float trace = (m00 + m11) + m22;
  Quat q;
  if (trace > 0.0f) {
    const float s = Sqrt(trace + 1.0f) * 2.0f;
    q = Quat{(m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s, 0.25f * s};
  } else if (m00 > m11 && m00 > m22) {
    const float s = Sqrt(((1.0f + m00) - m11) - m22) * 2.0f;
    q = Quat{0.25f * s, (m01 + m10) / s, (m02 + m20) / s, (m21 - m12) / s};
  } else if (m11 > m22) {
    const float s = Sqrt(((1.0f + m11) - m00) - m22) * 2.0f;
    q = Quat{(m01 + m10) / s, 0.25f * s, (m12 + m21) / s, (m02 - m20) / s};
  } else {
    const float s = Sqrt(((1.0f + m22) - m00) - m11) * 2.0f;
    q = Quat{(m02 + m20) / s, (m12 + m21) / s, 0.25f * s, (m10 - m01) / s};
  }
  const float len = Sqrt(Dot4(q, q));
  return Quat{q.x / len, q.y / len, q.z / len, q.w / len};
}

}  // namespace vorta::VORTA_NS
