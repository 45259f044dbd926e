// Pad walks its batch in output rows (runs along the innermost dimension). The
// outer coordinates advance as an odometer once a plane; rows of a plane that
// lie inside the input go through one tight loop (the inside stretch a block
// copy, the edges filled or taken from offsets computed once), the others one
// at a time, positions outside the input mapped one by one.
#include "tensor/pad.h"

#include "frame/batch_loop.h"
#include "tensor/spatial_runs.h"
#include "vorta/vorta.h"

namespace vorta {
using PadJob = ::VortaPadJob;
}

namespace vorta::VORTA_NS {
namespace {

enum PadMode : uint32_t { kConstant, kReflect, kEdge, kSymmetric, kWrap };

// The input coordinate for a coordinate x outside [0, n). Mirroring is applied
// once: padding wider than the input clamps to the far edge. Coordinates are
// 64-bit, so no padding the record can hold overflows them.
static inline int64_t MapOutside(int64_t x, int64_t n, uint32_t mode) {
  switch (mode) {
    case kReflect:
      if (x < 0) return -x < n - 1 ? -x : n - 1;
      return 2 * n - 2 - x > 0 ? 2 * n - 2 - x : 0;
    case kEdge:
      return x < 0 ? 0 : n - 1;
    case kSymmetric:
      if (x < 0) return -x - 1 < n - 1 ? -x - 1 : n - 1;
      return 2 * n - 1 - x > 0 ? 2 * n - 1 - x : 0;
    default:  // wrap
      return ((x % n) + n) % n;
  }
}

struct PadShape {
  const uint32_t* input;
  uint32_t* output;
  uint32_t mode, value;
  int32_t rank;
  int64_t inSize[8], outSize[8], inStride[8], padBefore[8];
};

// Output positions [from, to) of one row, outside the input, at input
// coordinate position − pad.
static inline void FillOutside(const PadShape& s, uint32_t* out, const uint32_t* src, int64_t from,
                               int64_t to) {
  if (from >= to) return;
  if (s.mode == kConstant) {
    FillWords(out + from, s.value, to - from);
    return;
  }
  for (int64_t o = from; o < to; ++o) out[o] = src[MapOutside(o - s.padBefore[0], s.inSize[0], s.mode)];
}

constexpr int64_t kEdgeWidth = 32;  // widest edge whose input offsets are kept

// count whole rows of `width` outputs from rows of the input `rowStride`
// apart: [0, left) and [right, width) are the value or the edge offsets'
// elements, the rest one block copy.
template <bool kFill>
static inline __attribute__((always_inline)) void WholeRows(uint32_t* out, const uint32_t* src,
                                                            int64_t count, int64_t width,
                                                            int64_t rowStride, int64_t left,
                                                            int64_t right, int64_t pad,
                                                            const int32_t* edge, uint32_t value) {
  for (int64_t r = 0; r < count; ++r, out += width, src += rowStride) {
    if constexpr (kFill) {
      FillWords(out, value, left);
      CopyWords(out + left, src + (left - pad), right - left);
      FillWords(out + right, value, width - right);
    } else {
      for (int64_t o = 0; o < left; ++o) out[o] = src[edge[o]];
      CopyWords(out + left, src + (left - pad), right - left);
      for (int64_t o = right; o < width; ++o) out[o] = src[edge[kEdgeWidth + o - right]];
    }
  }
}

static inline void RunPad(const PadJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  if (job->mode > kWrap) return;
  PadShape s;
  s.input = static_cast<const uint32_t*>(job->input);
  s.output = static_cast<uint32_t*>(job->output);
  s.mode = job->mode;
  s.value = job->value;
  s.rank = job->rank < 1 ? 1 : job->rank > 8 ? 8 : job->rank;
  for (int k = 0; k < 8; ++k) {
    s.inSize[k] = job->inSize[k];
    s.outSize[k] = job->outSize[k];
    s.inStride[k] = k == 0 ? 1 : job->inStride[k];
    s.padBefore[k] = job->padBefore[k];
  }
  // Extents the host never passes: no output row to walk, or (outside the
  // constant mode) no input element to map a position to. Nothing is written.
  for (int k = 0; k < s.rank; ++k)
    if (s.outSize[k] < 1 || (s.mode != kConstant && s.inSize[k] < 1)) return;
  const int64_t width = s.outSize[0], pad = s.padBefore[0], n = s.inSize[0];
  // Every whole row has the same shape: positions [0, left) before the input,
  // the inside stretch up to `right`, then the rest. Narrow edges of the
  // mapping modes get their input offsets once, here.
  const int64_t left = pad < 0 ? 0 : pad > width ? width : pad;
  const int64_t right = pad + n < left ? left : pad + n > width ? width : pad + n;
  const bool mapped = s.mode != kConstant && left <= kEdgeWidth && width - right <= kEdgeWidth;
  int32_t edge[2 * kEdgeWidth];
  if (mapped) {
    for (int64_t o = 0; o < left; ++o) edge[o] = int32_t(MapOutside(o - pad, n, s.mode));
    for (int64_t o = right; o < width; ++o) edge[kEdgeWidth + o - right] = int32_t(MapOutside(o - pad, n, s.mode));
  }
  // Rows of one plane (dimension 1) map to input rows by one test each; the
  // outer coordinates (dimensions 2 and up) change once a plane and give the
  // plane's base offset, or mark the whole plane as padding (constant mode).
  const int64_t rows = s.rank > 1 ? s.outSize[1] : 1;
  const int64_t rowPad = s.rank > 1 ? s.padBefore[1] : 0;
  const int64_t rowsIn = s.rank > 1 ? s.inSize[1] : 1;
  const int64_t rowStride = s.rank > 1 ? s.inStride[1] : 0;
  const uint32_t* const input = s.input;
  uint32_t* const output = s.output;
  const uint32_t value = s.value;
  const bool constant = s.mode == kConstant;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    int64_t row = begin / width;
    int64_t first = begin - row * width;
    int64_t digit[8] = {};
    int64_t q = row;
    for (int k = 1; k < s.rank; ++k) {
      digit[k] = q % s.outSize[k];
      q /= s.outSize[k];
    }
    int64_t planeBase = 0;
    bool planeOutside = false;
    auto seekPlane = [&] {
      planeBase = 0;
      planeOutside = false;
      for (int k = 2; k < s.rank; ++k) {
        int64_t c = digit[k] - s.padBefore[k];
        if (c < 0 || c >= s.inSize[k]) {
          if (constant) {
            planeOutside = true;
            return;
          }
          c = MapOutside(c, s.inSize[k], s.mode);
        }
        planeBase += c * s.inStride[k];
      }
    };
    seekPlane();
    int64_t remaining = end - begin;
    int64_t y = digit[1];
    uint32_t* out = output + row * width;
    while (remaining > 0) {
      const int64_t room = width - first;
      const int64_t last = room < remaining ? width : first + remaining;
      int64_t c = y - rowPad;
      bool outside = planeOutside;
      if (!outside && (c < 0 || c >= rowsIn)) {
        if (constant) outside = true;
        else c = MapOutside(c, rowsIn, s.mode);
      }
      const uint32_t* src = input + planeBase + c * rowStride;
      if (!outside && first == 0 && (mapped || constant) && remaining >= width &&
          y - rowPad >= 0 && y - rowPad < rowsIn) {
        // Whole rows inside the input, up to the plane's last one: one tight
        // loop over them, the row pointers stepping by their strides.
        int64_t k = rowsIn - c < rows - y ? rowsIn - c : rows - y;
        if (remaining / width < k) k = remaining / width;
        if (constant) WholeRows<true>(out, src, k, width, rowStride, left, right, pad, edge, value);
        else WholeRows<false>(out, src, k, width, rowStride, left, right, pad, edge, value);
        remaining -= k * width;
        out += k * width;
        y += k;
        if (y == rows) {
          y = 0;
          for (int k2 = 2; k2 < s.rank && ++digit[k2] == s.outSize[k2]; ++k2) digit[k2] = 0;
          if (remaining > 0) seekPlane();
        }
        continue;
      }
      if (outside) {
        FillWords(out + first, value, last - first);
      } else if (first == 0 && last == width && (mapped || constant)) {
        if (constant) WholeRows<true>(out, src, 1, width, rowStride, left, right, pad, edge, value);
        else WholeRows<false>(out, src, 1, width, rowStride, left, right, pad, edge, value);
      } else {
        // Output positions [pad, pad + n) lie inside the input row.
        const int64_t lo = pad < first ? first : pad > last ? last : pad;
        const int64_t hi = pad + n < lo ? lo : pad + n > last ? last : pad + n;
        FillOutside(s, out, src, first, lo);
        if (lo < hi) CopyWords(out + lo, src + (lo - pad), hi - lo);
        FillOutside(s, out, src, hi, last);
      }
      remaining -= last - first;
      first = 0;
      out += width;
      if (++y == rows) {
        y = 0;
        for (int k = 2; k < s.rank && ++digit[k] == s.outSize[k]; ++k) digit[k] = 0;
        if (remaining > 0) seekPlane();
      }
    }
  });
}

}  // namespace

VORTA_JOB_RUNNING(Pad, PadJob, RunPad)

}  // namespace vorta::VORTA_NS
