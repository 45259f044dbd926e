// The two maths services: quaternion inverse and spherical interpolation of
// 3-vectors.
#include <math.h>

#include "host/host.h"

namespace vorta::host::service {

// Conjugate over the squared norm, components in x, y, z, w order.
VORTA_MSABI void QuaternionInverse(const float* q, float* out) {
  float x = q[0], y = q[1], z = q[2], w = q[3];
  float s = 1.0f / ((x * x + y * y) + (z * z + w * w));
  out[0] = -x * s;
  out[1] = -y * s;
  out[2] = -z * s;
  out[3] = w * s;
}

// Interpolates the direction along the great circle and the length linearly.
// The factor is clamped to [0, 1]. A zero-length end falls back to a straight
// line; antiparallel directions turn about an axis perpendicular to the first.
VORTA_MSABI void Vector3Slerp(const float* a, const float* b, float t, float* out) {
  double tt = t < 0.0f ? 0.0 : (t > 1.0f ? 1.0 : static_cast<double>(t));
  if (t != t) tt = 0.0;  // NaN factor: stay at the first vector
  double av[3] = {a[0], a[1], a[2]};
  double bv[3] = {b[0], b[1], b[2]};
  double la = sqrt(av[0] * av[0] + av[1] * av[1] + av[2] * av[2]);
  double lb = sqrt(bv[0] * bv[0] + bv[1] * bv[1] + bv[2] * bv[2]);
  if (!(la > 1e-30) || !(lb > 1e-30)) {
    for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(av[i] + (bv[i] - av[i]) * tt);
    return;
  }
  double ua[3], ub[3];
  for (int i = 0; i < 3; ++i) {
    ua[i] = av[i] / la;
    ub[i] = bv[i] / lb;
  }
  double len = la + (lb - la) * tt;
  double c = ua[0] * ub[0] + ua[1] * ub[1] + ua[2] * ub[2];
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  double angle = acos(c);
  double dir[3];
  if (angle < 1e-9) {
    for (int i = 0; i < 3; ++i) dir[i] = ua[i];
  } else {
    // The unit vector perpendicular to ua in the plane towards ub.
    double perp[3];
    double s = sin(angle);
    if (s > 1e-6) {
      for (int i = 0; i < 3; ++i) perp[i] = (ub[i] - c * ua[i]) / s;
    } else {
      // (Nearly) opposite: any perpendicular axis is as good as another; take
      // the one from the world axis least aligned with ua.
      int k = 0;
      for (int i = 1; i < 3; ++i)
        if (fabs(ua[i]) < fabs(ua[k])) k = i;
      double e[3] = {0, 0, 0};
      e[k] = 1.0;
      for (int i = 0; i < 3; ++i) perp[i] = e[i] - ua[i] * ua[k];
      double pl = sqrt(perp[0] * perp[0] + perp[1] * perp[1] + perp[2] * perp[2]);
      for (int i = 0; i < 3; ++i) perp[i] /= pl;
    }
    double phi = angle * tt;
    double cp = cos(phi), sp = sin(phi);
    for (int i = 0; i < 3; ++i) dir[i] = ua[i] * cp + perp[i] * sp;
  }
  for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(dir[i] * len);
}

}  // namespace vorta::host::service
