// The screen grid of one binning item and the convex outline of boxes and cones.
#include "scene/screen_grid.h"

namespace vorta::VORTA_NS {

ScreenGrid::ScreenGrid(const VortaScreenBinningJob* job, int32_t view, int32_t* entries)
    : entries_(entries),
      // Rows beyond the entries reserved per item are not recorded.
      rows_(MinI(job->rows, job->entriesPerItem - 1)),
      columns_(job->columns),
      xScale_(job->projection[view][0]),
      yScale_(job->projection[view][1]),
      xOffset_(job->projection[view][2]),
      yOffset_(job->projection[view][3]),
      screenX_(job->screenScale[0]),
      screenY_(job->screenScale[1]),
      rowFraction_(job->rowFraction),
      bottom_(job->viewBottom[view]),
      height_(job->viewTop[view] - job->viewBottom[view]) {}

int32_t ScreenGrid::Row(float y) const {
  return TruncSaturate((yOffset_ + yScale_ * y) * screenY_, INT32_MIN);
}

int32_t ScreenGrid::Column(float x) const {
  const float c = (xOffset_ + xScale_ * x) * screenX_;
  if (c != c) return columns_ - 1;
  return MaxI(MinI(TruncSaturate(c, INT32_MIN), columns_ - 1), 0);
}

void ScreenGrid::Widen(int32_t row, int32_t first, int32_t last) {
  const uint32_t e = static_cast<uint32_t>(entries_[1 + row]);
  const int32_t f = MinI(static_cast<int16_t>(e), first);
  const int32_t l = MaxI(static_cast<int16_t>(e >> 16), last);
  entries_[1 + row] = static_cast<int32_t>((static_cast<uint32_t>(f) & 0xffffu) |
                                           (static_cast<uint32_t>(l) << 16));
}

void ScreenGrid::AddPoint(P2 p) {
  const int32_t row = Row(p.y);
  rawMin_ = MinI(rawMin_, row);
  rawMax_ = MaxI(rawMax_, row);
  const int32_t clamped = MaxI(MinI(row, rows_ - 1), 0);
  rowMin_ = MinI(rowMin_, clamped);
  rowMax_ = MaxI(rowMax_, clamped);
  if (row >= 0 && row < rows_) {
    const int32_t c = Column(p.x);
    Widen(row, c, c);
  }
}

void ScreenGrid::Finish(VortaScreenBinningJob* job, int32_t itemBase, int32_t view) {
  const int32_t lo = MaxI(rowMin_, 0), hi = MinI(rowMax_, rows_ - 1);
  if (job->entriesPerItem >= 1)
    entries_[0] = static_cast<int32_t>((static_cast<uint32_t>(lo) & 0xffffu) |
                                       (static_cast<uint32_t>(hi) << 16));
  // The working fields, as the record documents them; relaxed atomic stores
  // so that workers sharing a record race only on these values.
  __atomic_store_n(&job->rowMin, static_cast<int16_t>(lo), __ATOMIC_RELAXED);
  __atomic_store_n(&job->rowMax, static_cast<int16_t>(hi), __ATOMIC_RELAXED);
  __atomic_store_n(&job->itemBase, itemBase, __ATOMIC_RELAXED);
  __atomic_store_n(&job->viewIndex, view, __ATOMIC_RELAXED);
}

namespace {

static inline P2 Project(const float* v, bool orthographic) {
  if (orthographic) return {v[0], v[1]};
  return {v[0] / v[2], v[1] / v[2]};
}

// (b - a) x (c - a).
static inline float Turn(P2 a, P2 b, P2 c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}
static inline float Distance2(P2 a, P2 b) {
  return (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y);
}
static inline bool Same(P2 a, P2 b) { return a.x == b.x && a.y == b.y; }

}  // namespace

void Outline::Build(const float (*vertices)[3], int32_t vertexCount, const uint8_t (*edges)[2],
                    int32_t edgeCount, float nearDistance, bool orthographic) {
  int32_t n = 0;
  for (int32_t k = 0; k < vertexCount; ++k)
    if (vertices[k][2] >= nearDistance) points[n++] = Project(vertices[k], orthographic);
  for (int32_t k = 0; k < edgeCount; ++k) {
    const float* a = vertices[edges[k][0]];
    const float* b = vertices[edges[k][1]];
    if ((a[2] >= nearDistance) == (b[2] >= nearDistance)) continue;
    const float f = (nearDistance - a[2]) / (b[2] - a[2]);
    const float cut[3] = {a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f,
                          a[2] + (b[2] - a[2]) * f};
    points[n++] = Project(cut, orthographic);
  }
  hullCount = 0;
  if (n == 0) return;
  // Gift wrapping from the leftmost point (the first one on ties): the next
  // hull point leaves no point on its right; among collinear ones the farther.
  int32_t start = 0;
  for (int32_t k = 1; k < n; ++k)
    if (points[k].x < points[start].x) start = k;
  P2 current = points[start];
  for (int32_t step = 0; step < n; ++step) {
    hull[hullCount++] = current;
    int32_t next = -1;
    for (int32_t k = 0; k < n; ++k) {
      if (Same(points[k], current)) continue;
      if (next < 0) {
        next = k;
        continue;
      }
      const float t = Turn(current, points[next], points[k]);
      if (t < 0.0f ||
          (t == 0.0f && Distance2(current, points[k]) > Distance2(current, points[next])))
        next = k;
    }
    if (next < 0 || Same(points[next], points[start])) break;
    current = points[next];
  }
}

void Outline::AddTo(ScreenGrid& grid) const {
  for (int32_t k = 0; k < hullCount; ++k) grid.AddPoint(hull[k]);
}

void Outline::Cross(const ScreenGrid& grid, float y, ColumnSpan& span) const {
  for (int32_t k = 0; k < hullCount; ++k) {
    const P2 a = hull[k], b = hull[k + 1 < hullCount ? k + 1 : 0];
    if (a.y == b.y) {
      if (a.y == y) {
        span.Add(grid.Column(a.x));
        span.Add(grid.Column(b.x));
      }
      continue;
    }
    const float t = (y - a.y) / (b.y - a.y);
    if (t >= 0.0f && t <= 1.0f) span.Add(grid.Column(a.x + (b.x - a.x) * t));
  }
}

}  // namespace vorta::VORTA_NS
