// A test frame of the scene side: two views, a 1920 x 1080 screen of 16-pixel
// tiles, random lights and boxes, and points sampled on their volumes. Shared
// by the scene tests and the scene benchmark.
#pragma once
#include <vorta/vorta.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace scene_frame {

struct D3 {
  double x, y, z;
};
inline D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline D3 Cross(D3 a, D3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline D3 Unit(D3 a) { return a * (1.0 / std::sqrt(Dot(a, a))); }

struct Frame {
  static constexpr int kColumns = 120, kRows = 68;  // 1920 x 1080 in 16-pixel tiles
  bool orthographic = false;
  float nearDistance = 0.1f;
  double tanHalf = std::tan(0.5), aspect = 1920.0 / 1080.0, orthoHalf = 20.0;
  float views[2][16];

  explicit Frame(bool ortho) : orthographic(ortho) {
    std::memset(views, 0, sizeof views);
    for (int i = 0; i < 4; ++i) views[0][5 * i] = 1.0f;
    const double a = 0.35;  // view 1: turned about y and moved
    const float v1[16] = {float(std::cos(a)), 0, float(-std::sin(a)), 0, 0, 1, 0, 0,
                          float(std::sin(a)), 0, float(std::cos(a)), 0, 1.5f, -0.5f, 2.0f, 1};
    std::memcpy(views[1], v1, sizeof v1);
  }
  double HalfHeight() const { return orthographic ? orthoHalf : tanHalf; }
  double HalfWidth() const { return HalfHeight() * aspect; }
  D3 ToView(int v, D3 p) const {
    const float* m = views[v];
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
  }
  void Fill(VortaScreenBinningJob& job) const {
    std::memcpy(job.viewMatrices, views, sizeof views);
    job.screenScale[0] = kColumns, job.screenScale[1] = kRows;
    job.rowFraction = 1.0f / kRows;
    for (int v = 0; v < 2; ++v) {
      job.viewBottom[v] = float(-HalfHeight()), job.viewTop[v] = float(HalfHeight());
      job.projection[v][0] = float(0.5 / HalfWidth()), job.projection[v][1] = float(0.5 / HalfHeight());
      job.projection[v][2] = 0.5f, job.projection[v][3] = 0.5f;
    }
    job.columns = kColumns, job.rows = kRows, job.nearDistance = nearDistance;
    job.orthographic = orthographic;
  }
  // Grid cell coordinates (column, row) of a view-space point; false behind
  // the near distance.
  bool Cell(D3 p, double& column, double& row) const {
    const double depth = -p.z;
    if (depth < nearDistance) return false;
    const double x = orthographic ? p.x : p.x / depth, y = orthographic ? p.y : p.y / depth;
    column = (0.5 + x * 0.5 / HalfWidth()) * kColumns;
    row = (0.5 + y * 0.5 / HalfHeight()) * kRows;
    return true;
  }
};

inline VortaLightRecord MakeLight(int type, D3 pos, D3 dir, float range, float angle) {
  VortaLightRecord l;
  std::memset(&l, 0, sizeof l);
  l.lightType = type;
  const float p[3] = {float(pos.x), float(pos.y), float(pos.z)};
  const float d[3] = {float(dir.x), float(dir.y), float(dir.z)};
  std::memcpy(l.position, p, sizeof p);
  std::memcpy(l.direction, d, sizeof d);
  l.range = range, l.spotAngle = angle;
  return l;
}

// Lights around the view volume of a frame (some crossing its edges, some
// behind the eye): types 0 (spot), 1 and 2 (spheres).
inline std::vector<VortaLightRecord> RandomLights(const Frame& f, int count, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<VortaLightRecord> lights;
  for (int i = 0; i < count; ++i) {
    const double depth = f.orthographic ? 5 + 20 * (u(rng) + 1) : 0.5 + 30 * (u(rng) + 1) / 2;
    const double sx = f.orthographic ? 1 : depth, s = 1.2 * sx;
    const D3 pos{s * f.HalfWidth() * u(rng), s * f.HalfHeight() * u(rng), -depth + (i % 13 == 0 ? 3 * depth : 0)};
    const D3 dir = Unit({u(rng), u(rng), u(rng)});
    const int type = i % 3 == 0 ? 2 : (i % 3 == 1 ? 0 : 1);
    lights.push_back(MakeLight(type, pos, dir, float(0.3 + 4 * (u(rng) + 1)), float(100 + 70 * u(rng))));
  }
  return lights;
}

inline std::vector<float> RandomBoxes(const Frame& f, int count, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<float> boxes;
  for (int i = 0; i < count; ++i) {
    const double depth = 0.5 + 20 * (u(rng) + 1) / 2, sx = f.orthographic ? 10 : depth;
    const float b[6] = {float(1.2 * sx * f.HalfWidth() * u(rng)), float(1.2 * sx * f.HalfHeight() * u(rng)),
                        float(-depth), float(0.2 + 2 * (u(rng) + 1)), float(0.2 + (u(rng) + 1)),
                        float(0.2 + 2 * (u(rng) + 1))};
    boxes.insert(boxes.end(), b, b + 6);
  }
  return boxes;
}

// A point on the surface of a light's volume: its sphere, or for type 0 the
// cone's side or its spherical end cap.
inline D3 SampleLight(const VortaLightRecord& l, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const D3 c{l.position[0], l.position[1], l.position[2]};
  const double r = l.range;
  if (l.lightType != 0) {
    const double z = 2 * u(rng) - 1, a = 2 * M_PI * u(rng), s = std::sqrt(1 - z * z);
    return c + D3{s * std::cos(a), s * std::sin(a), z} * r;
  }
  const D3 axis = Unit({l.direction[0], l.direction[1], l.direction[2]});
  const D3 e1 = Unit(Cross(axis, std::fabs(axis.x) < 0.9 ? D3{1, 0, 0} : D3{0, 1, 0}));
  const D3 e2 = Cross(axis, e1);
  const double half = l.spotAngle * M_PI / 360.0, a = 2 * M_PI * u(rng);
  const bool side = u(rng) < 0.5;
  const double theta = side ? half : half * std::sqrt(u(rng)), dist = side ? r * u(rng) : r;
  const D3 dir = axis * std::cos(theta) + (e1 * std::cos(a) + e2 * std::sin(a)) * std::sin(theta);
  return c + dir * dist;
}

inline D3 SampleBox(const float* b, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  double p[3] = {u(rng), u(rng), u(rng)};
  // On a face, an edge or at a corner.
  const int k = rng() % 3, fixed = 1 + int(rng() % 3);
  for (int j = 0; j < fixed; ++j) p[(k + j) % 3] = (rng() & 1) ? 1.0 : -1.0;
  return {b[0] + p[0] * b[3], b[1] + p[1] * b[4], b[2] + p[2] * b[5]};
}

}  // namespace scene_frame
