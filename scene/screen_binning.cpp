// Screen-row binning: for every (view, item) pair, the rows its projected
// volume covers and the column span in each row. Lights go through an
// orthographic or a perspective routine, boxes through the convex outline of
// their projected corners.
#include "frame/batch_loop.h"
#include "scene/lights.h"
#include "scene/scene.h"
#include "scene/scratch.h"
#include "scene/screen_grid.h"

namespace vorta {
using ScreenBinningJob = ::VortaScreenBinningJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// A light in view space. For a spot light, the cone: apex `centre`, unit axis
// `axis`, cosine of the half angle. A spot light whose cone is not a proper
// convex cone (half angle of 90 degrees or more, NaN or zero axis) is binned
// as its sphere, which contains it.
struct ViewLight {
  V3 centre;
  float range;
  bool spot;
  V3 axis;
  float cosHalf;

  bool Keeps(V3 p) const { return !spot || cosHalf <= Dot(Normalise(p - centre), axis); }
};

ViewLight MakeViewLight(const LightRecord& light, const float* m) {
  ViewLight v;
  v.centre = ViewPoint(m, LoadV3(light.position));
  v.range = light.range;
  v.spot = false;
  if (light.lightType == kSpotLight) {
    const V3 d = LoadV3(light.direction);
    v.axis = Normalise({(m[8] * d.z + (m[4] * d.y + m[0] * d.x)),
                        (m[9] * d.z + (m[5] * d.y + m[1] * d.x)),
                        (m[10] * d.z + (m[6] * d.y + m[2] * d.x))});
    v.cosHalf = LightCos(light.spotAngle * 0.5f * kDegreesToRadians);
    v.spot = v.cosHalf > 1e-3f && Dot(v.axis, v.axis) > 0.5f;
  }
  return v;
}

// The cone of a spot light as a pyramid that contains it: the apex and a
// 16-gon circumscribed about the rim of the end cap (view-space x, y, depth).
constexpr int32_t kRim = 16;
constexpr int32_t kConeVertices = kRim + 1, kConeEdges = 2 * kRim;
// 1 / cos(pi / 16), rounded up with a margin for float rounding.
constexpr float kCircumscribe = 1.0205f;
constexpr float kRimCos[kRim] = {1.0f,         0.92387953f,  0.70710678f,  0.38268343f,
                                 0.0f,         -0.38268343f, -0.70710678f, -0.92387953f,
                                 -1.0f,        -0.92387953f, -0.70710678f, -0.38268343f,
                                 0.0f,         0.38268343f,  0.70710678f,  0.92387953f};

struct ConeEdges {
  uint8_t e[kConeEdges][2];
  constexpr ConeEdges() : e() {
    for (int k = 0; k < kRim; ++k) {
      e[k][0] = 0;
      e[k][1] = static_cast<uint8_t>(1 + k);
      e[kRim + k][0] = static_cast<uint8_t>(1 + k);
      e[kRim + k][1] = static_cast<uint8_t>(1 + (k + 1) % kRim);
    }
  }
};
constexpr ConeEdges kConeEdgeList;

void ConeVertices(const ViewLight& l, float (*out)[3]) {
  const V3 cap = l.centre + l.axis * (l.range * l.cosHalf);
  const float capRange = l.range * l.cosHalf;
  const float rim = SqrtF(l.range * l.range - capRange * capRange) * kCircumscribe;
  const V3 helper = l.axis.x * l.axis.x < 0.81f ? V3{1, 0, 0} : V3{0, 1, 0};
  const V3 u = Normalise(Cross(l.axis, helper));
  const V3 v = Cross(l.axis, u);
  out[0][0] = l.centre.x, out[0][1] = l.centre.y, out[0][2] = -l.centre.z;
  for (int k = 0; k < kRim; ++k) {
    const V3 p = cap + u * (rim * kRimCos[k]) + v * (rim * kRimCos[(k + 3 * kRim / 4) % kRim]);
    out[1 + k][0] = p.x, out[1 + k][1] = p.y, out[1 + k][2] = -p.z;
  }
}

struct ConeOutline {
  P2 points[kConeVertices + kConeEdges];
  P2 hull[kConeVertices + kConeEdges];
  Outline outline{points, hull};

  void Build(const ViewLight& l, float nearDistance, bool orthographic) {
    float vertices[kConeVertices][3];
    ConeVertices(l, vertices);
    outline.Build(vertices, kConeVertices, kConeEdgeList.e, kConeEdges, nearDistance,
                  orthographic);
  }
};

// Orthographic light: the sphere's outline is the circle of `range` about the
// centre; a spot light keeps the parts of it inside the cone and adds the
// cone's outline.
void BinOrthographicLight(ScreenGrid& grid, const ViewLight& l) {
  const V3 o = l.centre;
  const float r = l.range;
  grid.AddPoint(o.x, o.y);
  const V3 candidates[4] = {{o.x + r, o.y, o.z}, {o.x - r, o.y, o.z}, {o.x, o.y + r, o.z},
                            {o.x, o.y - r, o.z}};
  for (const V3& p : candidates)
    if (l.Keeps(p)) grid.AddPoint(p.x, p.y);
  ConeOutline cone;
  if (l.spot) {
    cone.Build(l, -__builtin_inff(), true);
    cone.outline.AddTo(grid);
  }
  grid.SweepBoundaries([&](float y, ColumnSpan& span) {
    // A boundary outside the circle (by rounding) has no chord.
    const float dy = y - o.y;
    const float q = r * r - dy * dy;
    if (q >= 0.0f) {
      const float h = SqrtF(q);
      const V3 ends[2] = {{o.x - h, y, o.z}, {o.x + h, y, o.z}};
      for (const V3& p : ends)
        if (l.Keeps(p)) span.Add(grid.Column(p.x));
    }
    if (l.spot) cone.outline.Cross(grid, y, span);
  });
}

// Points of the disc of centre (s, t) and radius r in a plane through the eye,
// t the depth-like coordinate, that bound the ratio s / t over the part of the
// disc at t >= tMin: the tangent points from the eye that lie in that part,
// and the ends of the disc's chord at t = tMin.
int32_t DiscBounds(float s, float t, float r, float tMin, P2 out[4]) {
  int32_t n = 0;
  const float d2 = s * s + t * t, r2 = r * r;
  if (d2 > r2) {
    const float l2 = d2 - r2;
    const float along = l2 / d2, across = SqrtF(l2) * r / d2;
    for (float sign : {-1.0f, 1.0f}) {
      const P2 p{along * s - sign * across * t, along * t + sign * across * s};
      if (p.y >= tMin) out[n++] = p;
    }
  }
  const float dt = tMin - t;
  const float q = r2 - dt * dt;
  if (q >= 0.0f) {
    const float h = SqrtF(q);
    out[n++] = {s - h, tMin};
    out[n++] = {s + h, tMin};
  }
  return n;
}

// Perspective light: the sphere clipped at the near distance, seen from the
// eye. Its extreme rows and columns are tangent points from the eye or points
// of its cut by the near plane; at a row boundary (a plane through the eye)
// its extreme columns are the same kind of points of the circle that plane
// cuts from the sphere. A spot light keeps those inside the cone and adds the
// cone's outline, clipped at the near distance.
void BinPerspectiveLight(ScreenGrid& grid, const ViewLight& l, float nearDistance) {
  const V3 c = l.centre;
  const float depth = -c.z, r = l.range;
  // The eye itself is never in front of the viewer.
  const float tMin = nearDistance > 1e-6f ? nearDistance : 1e-6f;
  if (depth >= nearDistance) grid.AddPoint(c.x / depth, c.y / depth);
  P2 b[4];
  int32_t n = DiscBounds(c.y, depth, r, tMin, b);  // extreme rows
  for (int32_t k = 0; k < n; ++k)
    if (l.Keeps({c.x, b[k].x, -b[k].y})) grid.AddPoint(c.x / b[k].y, b[k].x / b[k].y);
  n = DiscBounds(c.x, depth, r, tMin, b);  // extreme columns
  for (int32_t k = 0; k < n; ++k)
    if (l.Keeps({b[k].x, c.y, -b[k].y})) grid.AddPoint(b[k].x / b[k].y, c.y / b[k].y);
  ConeOutline cone;
  if (l.spot) {
    cone.Build(l, tMin, false);
    cone.outline.AddTo(grid);
  }
  grid.SweepBoundaries([&](float y, ColumnSpan& span) {
    // The plane of projected height y: point s * (1, 0, 0) + t * (0, y, -1) / L.
    const float len = SqrtF(1.0f + y * y);
    const float off = (c.y + y * c.z) / len;
    const float q = r * r - off * off;
    if (q >= 0.0f) {
      P2 p[4];
      const int32_t m = DiscBounds(c.x, (y * c.y - c.z) / len, SqrtF(q), tMin * len, p);
      for (int32_t k = 0; k < m; ++k)
        if (l.Keeps({p[k].x, p[k].y * y / len, -p[k].y / len}))
          span.Add(grid.Column(p[k].x * len / p[k].y));
    }
    if (l.spot) cone.outline.Cross(grid, y, span);
  });
}

// The twelve edges of a box, corners numbered by their (x, y, z) sign bits.
constexpr uint8_t kBoxEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                      {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
constexpr int32_t kBoxPoints = 8 + 12;

void BinBox(ScreenGrid& grid, const ScreenBinningJob* job, const float* m, const float* box) {
  auto* corners = static_cast<float(*)[3]>(TakeScratch(8 * 3 * sizeof(float), 4));
  auto* points = static_cast<P2*>(TakeScratch(kBoxPoints * sizeof(P2), 4));
  auto* hull = static_cast<P2*>(TakeScratch(kBoxPoints * sizeof(P2), 4));
  for (int k = 0; k < 8; ++k) {
    const V3 p = ViewPoint(m, {(k & 1) ? box[0] + box[3] : box[0] - box[3],
                               (k & 2) ? box[1] + box[4] : box[1] - box[4],
                               (k & 4) ? box[2] + box[5] : box[2] - box[5]});
    corners[k][0] = p.x, corners[k][1] = p.y, corners[k][2] = -p.z;
  }
  Outline outline{points, hull};
  outline.Build(corners, 8, kBoxEdges, 12, job->nearDistance, job->orthographic != 0);
  outline.AddTo(grid);
  grid.SweepBoundaries([&](float y, ColumnSpan& span) { outline.Cross(grid, y, span); });
  ReturnScratch(hull);
  ReturnScratch(points);
  ReturnScratch(corners);
}

void BinItems(ScreenBinningJob* job, int32_t begin, int32_t end) {
  const int32_t perView = job->itemsPerView, per = job->entriesPerItem;
  for (int32_t i = begin; i < end; ++i) {
    const int32_t view = i / perView, d = i % perView;
    const int32_t itemBase = i * per;
    int32_t* entries = job->spans + static_cast<int64_t>(i) * per;
    for (int32_t k = 0; k < per; ++k) entries[k] = VORTA_EMPTY_SPAN;
    __atomic_store_n(&job->viewIndex, view, __ATOMIC_RELAXED);
    __atomic_store_n(&job->itemBase, itemBase, __ATOMIC_RELAXED);
    ScreenGrid grid(job, view, entries);
    const Matrix matrix(job->viewMatrices[view]);
    const float* m = matrix.m;
    if (d >= job->lightCount) {
      BinBox(grid, job, m, job->boxes + 6 * static_cast<int64_t>(d - job->lightCount));
    } else {
      const ViewLight light = MakeViewLight(job->lights[d], m);
      if (job->orthographic) BinOrthographicLight(grid, light);
      else BinPerspectiveLight(grid, light, job->nearDistance);
    }
    grid.Finish(job, itemBase, view);
  }
}

}  // namespace

VORTA_JOB_BODY(ScreenRowBinning) {
  (void)additional;
  (void)patch;
  ScreenBinningJob* record = static_cast<ScreenBinningJob*>(job);
  RunBatchLoop(ranges, jobIndex, [record](int32_t b, int32_t e) { BinItems(record, b, e); });
}

}  // namespace vorta::VORTA_NS
