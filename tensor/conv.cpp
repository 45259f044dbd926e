// The grouped convolution over two or three spatial dimensions: im2col passes
// into the record's scratch, the shared register-tiled product, then the bias
// and the lower clamp.
#include "frame/batch_loop.h"
#include "tensor/matmul.h"
#include "tensor/matmul_records.h"
#include "tensor/tile_multiply.h"

namespace vorta::VORTA_NS {
namespace {

static inline int64_t Min(int64_t a, int64_t b) { return a < b ? a : b; }
static inline int64_t Max(int64_t a, int64_t b) { return a > b ? a : b; }

// Three spatial axes (depth, height, width); a two-dimensional convolution has
// a unit depth axis.
struct Geometry {
  int32_t in[3], kernel[3], out[3], stride[3], pad[3], dilation[3];
};

Geometry GeometryOf(const ConvJob* job) {
  Geometry g;
  const int first = job->spatialRank <= 2 ? 1 : 0;
  if (first == 1) {
    g.in[0] = g.kernel[0] = g.out[0] = g.stride[0] = g.dilation[0] = 1;
    g.pad[0] = 0;
  }
  for (int axis = first; axis < 3; ++axis) {
    g.in[axis] = job->inSize[axis - first];
    g.kernel[axis] = job->kernel[axis - first];
    g.out[axis] = job->outSize[axis - first];
    g.stride[axis] = job->stride[axis - first];
    g.pad[axis] = job->padBegin[axis - first];
    g.dilation[axis] = job->dilation[axis - first];
  }
  return g;
}

// Positions of a block that lie on one output row: (od, oy) fixed, ox from ox0 on.
struct Run {
  int32_t od, oy, ox0, length, offset;
};

int32_t BlockRuns(const Geometry& g, int32_t p0, int32_t count, Run* runs) {
  const int32_t ow = g.out[2], oh = g.out[1];
  int32_t ox = p0 % ow, rest = p0 / ow;
  int32_t oy = rest % oh, od = rest / oh;
  int32_t n = 0;
  for (int32_t offset = 0; offset < count; ++n) {
    const int32_t length = int32_t(Min(ow - ox, count - offset));
    runs[n] = Run{od, oy, ox, length, offset};
    offset += length;
    ox = 0;
    if (++oy == oh) oy = 0, ++od;
  }
  return n;
}

// The kernel position of im2col row j: input channel, then (kd, ky, kx).
struct KernelCursor {
  int64_t ic;
  int32_t within, kd, ky, kx;
  KernelCursor(int64_t row, const ConvJob* job, const Geometry& g) {
    ic = row / job->kernelSize;
    within = int32_t(row % job->kernelSize);
    const int32_t plane = g.kernel[1] * g.kernel[2];
    kd = within / plane;
    ky = within % plane / g.kernel[2];
    kx = within % g.kernel[2];
  }
  void Next(int32_t kernelSize, const Geometry& g) {
    if (++within == kernelSize) {
      ++ic;
      within = kd = ky = kx = 0;
    } else if (++kx == g.kernel[2]) {
      kx = 0;
      if (++ky == g.kernel[1]) ky = 0, ++kd;
    }
  }
};

// Smallest i >= 0 with i * step >= n, for step >= 1; strides 1 and 2 are the
// common cases and need no division.
static inline int64_t CeilSteps(int64_t n, int32_t step) {
  if (n <= 0) return 0;
  if (step == 1) return n;
  if (step == 2) return (n + 1) >> 1;
  return (n + step - 1) / step;
}

// Runs are short (often a single zero at a window edge), so both helpers stay
// inline; the empty asm keeps the scalar tails from becoming library calls.
static inline __attribute__((always_inline)) void ZeroFloats(float* dst, int32_t count) {
  int32_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    Store(dst + i, VFloat{});
    __asm__("" : : "r"(dst));
  }
  for (; i < count; ++i) {
    dst[i] = 0.0f;
    __asm__("" : : "r"(dst));
  }
}

// dst[i] = src[i * Step] (Step 0: the runtime step).
template <int Step>
static inline __attribute__((always_inline)) void CopyStrided(float* dst, const float* src,
                                                             int32_t count, ptrdiff_t step) {
  int32_t i = 0;
  if constexpr (Step == 1) {
    for (; i + kLanes <= count; i += kLanes) Store(dst + i, Load<VFloat>(src + i));
  }
  const ptrdiff_t s = Step ? Step : step;
  for (; i < count; ++i) {
    dst[i] = src[i * s];
    __asm__("" : : "r"(dst));
  }
}

// Writes im2col rows [row, row + rows) for the block's positions into dst (row
// stride ld, columns past the block zero). Windows that leave the input read zero.
template <int WidthStep>
void FillColumns(const ConvJob* job, const Geometry& g, const float* input, const Run* runs,
                 int32_t runCount, int32_t count, int64_t row, int32_t rows, float* dst,
                 ptrdiff_t ld) {
  KernelCursor k(row, job, g);
  const int32_t sx = g.stride[2];
  for (int32_t i = 0; i < rows; ++i, k.Next(job->kernelSize, g), dst += ld) {
    const float* plane = input + k.ic * job->inPlane;
    // The ox range whose x = ox * sx + shift lies inside [0, W).
    const int64_t shift = int64_t(k.kx) * g.dilation[2] - g.pad[2];
    const int64_t oxLo = CeilSteps(-shift, sx);
    const int64_t oxHi = CeilSteps(g.in[2] - shift, sx);
    for (int32_t r = 0; r < runCount; ++r) {
      const Run& run = runs[r];
      float* d = dst + run.offset;
      const int64_t z = int64_t(run.od) * g.stride[0] + int64_t(k.kd) * g.dilation[0] - g.pad[0];
      const int64_t y = int64_t(run.oy) * g.stride[1] + int64_t(k.ky) * g.dilation[1] - g.pad[1];
      if (z < 0 || z >= g.in[0] || y < 0 || y >= g.in[1]) {
        ZeroFloats(d, run.length);
        continue;
      }
      const int32_t lo = int32_t(Min(Max(oxLo - run.ox0, 0), run.length));
      const int32_t hi = int32_t(Min(Max(oxHi - run.ox0, lo), run.length));
      const float* src = plane + (z * g.in[1] + y) * g.in[2] + (run.ox0 + lo) * int64_t(sx) + shift;
      ZeroFloats(d, lo);
      CopyStrided<WidthStep>(d + lo, src, hi - lo, sx);
      ZeroFloats(d + hi, run.length - hi);
    }
    ZeroFloats(dst + count, int32_t(ld - count));
  }
}

// y = max(acc + bias, minValue) (or max(acc, minValue) without bias), the max
// written as (v > m) ? v : m.
template <class L>
static inline __attribute__((always_inline)) L Finish(L acc, L bias, L minValue, bool hasBias) {
  const L v = hasBias ? acc + bias : acc;
  return Select(v > minValue, v, minValue);
}

void OutputStage(const ConvJob* job, const float* acc, ptrdiff_t ldAcc, const float* bias,
                 float* out, int32_t channels, int32_t count) {
  const bool hasBias = job->hasBias != 0;
  const float minValue = job->minValue;
  const VFloat minV = Splat<VFloat>(minValue);
  for (int32_t c = 0; c < channels; ++c, acc += ldAcc, out += job->outSpatial) {
    const float b = hasBias ? bias[c] : 0.0f;
    const VFloat bV = Splat<VFloat>(b);
    int32_t p = 0;
    for (; p + kLanes <= count; p += kLanes)
      Store(out + p, Finish(Load<VFloat>(acc + p), bV, minV, hasBias));
    for (; p < count; ++p) out[p] = Finish(acc[p], b, minValue, hasBias);
  }
}

// One block: `channels` output channels from oc0, `count` positions from p0.
void ConvolveBlock(ConvJob* job, const Geometry& g, const float* input, const float* weights,
                   const float* bias, float* output, int32_t oc0, int32_t channels, int32_t p0,
                   int32_t count) {
  Run runs[kConvTilePositions];
  const int32_t runCount = BlockRuns(g, p0, count, runs);
  const int64_t depth = int64_t(job->inChannels) * job->kernelSize;
  const ptrdiff_t ld = ptrdiff_t(RoundUp(size_t(count), kLanes));
  float* columns = job->columns;
  float* acc = job->accumulator;
  if (depth <= 0)
    for (int32_t c = 0; c < channels; ++c) __builtin_memset(acc + c * ld, 0, ld * sizeof(float));
  for (int64_t j0 = 0; j0 < depth; j0 += kConvPassDepth) {
    const int32_t rows = int32_t(Min(kConvPassDepth, depth - j0));
    switch (g.stride[2]) {
      case 1:
        FillColumns<1>(job, g, input, runs, runCount, count, j0, rows, columns, ld);
        break;
      case 2:
        FillColumns<2>(job, g, input, runs, runCount, count, j0, rows, columns, ld);
        break;
      default:
        FillColumns<0>(job, g, input, runs, runCount, count, j0, rows, columns, ld);
    }
    // The padding columns are zero, so the whole rounded width is multiplied
    // and the accumulator rows are written in whole vectors.
    TileMultiply<ConvTile>(RowsA{weights + oc0 * depth + j0, depth}, BPanel{columns, ld, false},
                           channels, int32_t(ld), rows, acc, ld, j0 > 0);
  }
  OutputStage(job, acc, ld, bias + oc0, output + oc0 * int64_t(job->outSpatial) + p0, channels,
              count);
}

void ConvolveIndex(ConvJob* job, const Geometry& g, int32_t e) {
  const int32_t tiles = job->tilesPerImage, groups = job->groups;
  const int32_t outChannels = job->outChannels, outSpatial = job->outSpatial;
  if (tiles <= 0 || groups <= 0 || outChannels <= 0 || outSpatial <= 0) return;
  const int64_t t = e / tiles;
  const int64_t tile = e % tiles;
  const int64_t group = t % groups;
  const int64_t depth = int64_t(job->inChannels) * job->kernelSize;
  const float* input = job->input + t * job->inChannels * job->inPlane;
  float* output = job->output + t * outChannels * outSpatial;
  const float* weights = job->weights + group * outChannels * depth;
  const float* bias = job->bias + group * outChannels;
  if (!job->columns) {
    job->columns = HostScratch(kConvScratchBytes);
    job->accumulator = job->columns + kConvColumnFloats;
  }
  if (!job->accumulator) job->accumulator = job->columns + kConvColumnFloats;
  // Few channels over many positions: own a position band; otherwise a channel band.
  int64_t c0 = 0, c1 = outChannels, p0 = 0, p1 = outSpatial;
  if (outChannels < outSpatial) {
    p0 = tile * kConvTilePositions;
    p1 = Min(p0 + kConvTilePositions, outSpatial);
  } else {
    c0 = tile * kConvTileChannels;
    c1 = Min(c0 + kConvTileChannels, outChannels);
  }
  for (int64_t c = c0; c < c1; c += kConvTileChannels)
    for (int64_t p = p0; p < p1; p += kConvTilePositions)
      ConvolveBlock(job, g, input, weights, bias, output, int32_t(c),
                    int32_t(Min(kConvTileChannels, c1 - c)), int32_t(p),
                    int32_t(Min(kConvTilePositions, p1 - p)));
}

}  // namespace

VORTA_JOB_BODY(ConvFloat) {
  auto* record = static_cast<ConvJob*>(job);
  const Geometry g = GeometryOf(record);
  // Extents the position and kernel walks divide by; without them there is
  // nothing to compute.
  const bool usable = g.out[1] > 0 && g.out[2] > 0 && g.kernel[1] > 0 && g.kernel[2] > 0 &&
                      record->kernelSize > 0 && g.stride[2] > 0;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    if (usable)
      for (int32_t e = begin; e < end; ++e) ConvolveIndex(record, g, e);
  });
}

}  // namespace vorta::VORTA_NS
