// Region-of-interest align over output cells [region][channel][ph][pw]. A batch
// computes a region's geometry when it enters the region and walks its cells
// in output order.
//
// The adaptive sample count is ceiling(roiW · invPooledW) with the host's float
// reciprocal, so a count that is an exact quotient can come out one higher:
// 105 · (1/7 as a float) is 15.000001 and samples 16 points. The grid is kept
// that way; hosts reproduce it exactly from the record's fields.
#include "tensor/roi_align.h"

#include <vorta/vorta.h>

#include "frame/batch_loop.h"
#include "frame/simd.h"
#include "tensor/rounding.h"

namespace vorta {
using RoiAlignJob = ::VortaRoiAlignJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

struct Region {
  const float* base;  // the region's image
  float x1, y1, binW, binH, stepX, stepY, invCount;
  int32_t sx, sy;
};

static Region RegionGeometry(const RoiAlignJob* job, int64_t n) {
  const float* box = job->regions + 4 * n;
  const float s = job->spatialScale;
  Region g;
  g.x1 = box[0] * s;
  g.y1 = box[1] * s;
  const float x2 = box[2] * s, y2 = box[3] * s;
  const float roiW = MaxStep(x2 - g.x1, 1.0f), roiH = MaxStep(y2 - g.y1, 1.0f);
  g.binW = roiW / float(job->pooledW);
  g.binH = roiH / float(job->pooledH);
  if (job->samplingRatio >= 1) {
    g.sx = g.sy = job->samplingRatio;
  } else {
    g.sx = TruncToInt(Ceil(roiW * job->invPooledW));
    g.sy = TruncToInt(Ceil(roiH * job->invPooledH));
  }
  const int32_t count = int32_t(uint32_t(g.sx) * uint32_t(g.sy));
  g.invCount = 1.0f / float(count > 1 ? count : 1);
  g.stepX = 1.0f / float(g.sx);
  g.stepY = 1.0f / float(g.sy);
  g.base = job->input + int64_t(job->imageStride) * job->imageIndex[n];
  return g;
}

// The bilinear corners of coordinate c on an axis of `size` pixels, with c
// clamped up to 0 and down to the last pixel.
struct Corner {
  int32_t lo, hi;
  float frac;
};
static inline Corner AxisCorner(float c, int32_t size) {
  c = MaxStep(c, 0.0f);
  int32_t lo = TruncToInt(c), hi;
  if (lo < size - 1) {
    hi = lo + 1;
  } else {
    lo = hi = size - 1;
    c = float(size - 1);
  }
  return {lo, hi, c - float(lo)};
}

template <bool kMax>
static float Cell(const RoiAlignJob* job, const Region& g, const float* plane, int32_t ph, int32_t pw) {
  const int32_t H = job->H, W = job->W;
  const float yBase = float(ph) * g.binH + g.y1, xBase = float(pw) * g.binW + g.x1;
  float acc = 0.0f;
  for (int32_t iy = 0; iy < g.sy; ++iy) {
    const float y = (float(iy) + 0.5f) * g.binH * g.stepY + yBase;
    if (y >= float(H) || y < -1.0f) continue;
    const Corner cy = AxisCorner(y, H);
    const float ly = cy.frac, hy = 1.0f - ly;
    const float* row0 = plane + int64_t(cy.lo) * W;
    const float* row1 = plane + int64_t(cy.hi) * W;
    for (int32_t ix = 0; ix < g.sx; ++ix) {
      const float x = (float(ix) + 0.5f) * g.binW * g.stepX + xBase;
      if (x >= float(W) || x < -1.0f) continue;
      const Corner cx = AxisCorner(x, W);
      const float lx = cx.frac, hx = 1.0f - lx;
      const float v00 = row0[cx.lo], v01 = row0[cx.hi], v10 = row1[cx.lo], v11 = row1[cx.hi];
      if (kMax) {
        acc = MaxStep(acc, hx * hy * v00);
        acc = MaxStep(acc, hy * lx * v01);
        acc = MaxStep(acc, hx * ly * v10);
        acc = MaxStep(acc, lx * ly * v11);
      } else {
        acc += hy * (hx * v00 + lx * v01);
        acc += ly * (lx * v11 + hx * v10);
      }
    }
  }
  return kMax ? acc : acc * g.invCount;
}

template <bool kMax>
static void Cells(const RoiAlignJob* job, int64_t begin, int64_t end) {
  const int64_t pooledW = job->pooledW, perChannel = int64_t(job->pooledH) * pooledW;
  const int64_t perRegion = perChannel * job->channels;
  int64_t region = -1;
  Region g{};
  for (int64_t e = begin; e < end; ++e) {
    const int64_t n = e / perRegion;
    if (n != region) {
      g = RegionGeometry(job, n);
      region = n;
    }
    if (g.sx < 1 || g.sy < 1) {
      job->output[e] = 0.0f;
      continue;
    }
    const int64_t inRegion = e - n * perRegion;
    const int64_t c = inRegion / perChannel, cell = inRegion % perChannel;
    const float* plane = g.base + int64_t(job->plane) * c;
    job->output[e] = Cell<kMax>(job, g, plane, int32_t(cell / pooledW), int32_t(cell % pooledW));
  }
}

}  // namespace

VORTA_JOB_BODY(RoiAlign) {
  const auto* j = static_cast<const RoiAlignJob*>(job);
  const int32_t mode = j->mode;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    if (j->pooledW < 1 || j->pooledH < 1 || j->channels < 1) return;
    if (mode == 0) Cells<false>(j, begin, end);
    else if (mode == 1) Cells<true>(j, begin, end);
  });
}

}  // namespace vorta::VORTA_NS
