// The screen grid one binning item writes into: projection of points to cells,
// the covered row range, per-row column spans, the row-boundary sweep, and the
// convex outline (near clip, gift-wrapping hull, boundary crossings) that boxes
// and spot-light cones share.
#pragma once
#include <vorta/vorta.h>

#include "scene/geometry.h"

namespace vorta::VORTA_NS {

struct P2 {
  float x, y;
};

class ScreenGrid {
 public:
  // `entries` is the item's span table: entry 0 the row range, 1 + r row r.
  ScreenGrid(const VortaScreenBinningJob* job, int32_t view, int32_t* entries);

  // A projected point: its row enters the row range, and it widens its row's
  // span when the row is on the grid (its column clamped to the grid, like
  // boundary columns, so an item reaching past a side keeps the edge tiles).
  void AddPoint(P2 p);
  void AddPoint(float x, float y) { AddPoint(P2{x, y}); }

  // Clamps the row range to the grid and sweeps the row boundaries it spans:
  // boundary(i, y, span) adds the columns where the item crosses height y into
  // span (via Column), and the span widens rows i and i + 1. The boundaries at
  // the grid's bottom and top edge are swept too when the item crosses them,
  // so the edge rows get the columns the item covers there.
  template <class Crossings>
  void SweepBoundaries(Crossings&& boundary);

  // Writes entry 0 and the working fields of the record.
  void Finish(VortaScreenBinningJob* job, int32_t itemBase, int32_t view);

  // Column of projected x, clamped to the grid (NaN: the last column).
  int32_t Column(float x) const;
  int32_t rows() const { return rows_; }

 private:
  int32_t Row(float y) const;
  void Widen(int32_t row, int32_t first, int32_t last);

  int32_t* entries_;
  int32_t rows_, columns_;
  float xScale_, yScale_, xOffset_, yOffset_, screenX_, screenY_;
  float rowFraction_, bottom_, height_;
  int32_t rowMin_ = 32767, rowMax_ = -32768;            // rows clamped to the grid
  int32_t rawMin_ = INT32_MAX, rawMax_ = INT32_MIN;     // rows as projected
};

// Columns the sweep gathers at one boundary.
struct ColumnSpan {
  int32_t first = INT32_MAX, last = INT32_MIN;
  void Add(int32_t c) {
    first = MinI(first, c);
    last = MaxI(last, c);
  }
};

template <class Crossings>
void ScreenGrid::SweepBoundaries(Crossings&& boundary) {
  rowMin_ = MaxI(rowMin_, 0);
  rowMax_ = MinI(rowMax_, rows_ - 1);
  if (rowMin_ > rowMax_) return;
  const int32_t from = rawMin_ < 0 && rawMax_ >= 0 ? -1 : rowMin_;
  const int32_t to = rawMax_ > rows_ - 1 && rawMin_ <= rows_ - 1 ? rows_ - 1 : rowMax_ - 1;
  for (int32_t i = from; i <= to; ++i) {
    const float y = static_cast<float>(i + 1) * rowFraction_ * height_ + bottom_;
    ColumnSpan span;
    boundary(y, span);
    if (span.first > span.last) continue;
    if (i >= 0) Widen(i, span.first, span.last);
    if (i + 1 < rows_) Widen(i + 1, span.first, span.last);
  }
}

// A convex outline from view-space vertices (x, y, depth) and the edges
// between them: vertices at depth >= near and the near-distance points of the
// edges that cross it, projected, then wrapped into their convex hull.
struct Outline {
  P2* points;  // room for vertices + edges
  P2* hull;    // room for as many
  int32_t hullCount = 0;

  void Build(const float (*vertices)[3], int32_t vertexCount, const uint8_t (*edges)[2],
             int32_t edgeCount, float nearDistance, bool orthographic);
  // Adds the hull's points to the grid.
  void AddTo(ScreenGrid& grid) const;
  // Columns where the hull's edges cross height y.
  void Cross(const ScreenGrid& grid, float y, ColumnSpan& span) const;
};

}  // namespace vorta::VORTA_NS
