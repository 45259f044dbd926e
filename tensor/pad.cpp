// Pad walks its batch in output rows (runs along the innermost dimension). The
// outer coordinates advance as an odometer, one step per run, and pick the
// input row; within the row the inside stretch is one block copy and the
// positions outside it are mapped one at a time (or filled with the value).
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
  constexpr int64_t kEdge = 32;
  const int64_t left = pad < 0 ? 0 : pad > width ? width : pad;
  const int64_t right = pad + n < left ? left : pad + n > width ? width : pad + n;
  const bool mapped = s.mode != kConstant && left <= kEdge && width - right <= kEdge;
  int32_t edge[2 * kEdge];
  if (mapped) {
    for (int64_t o = 0; o < left; ++o) edge[o] = int32_t(MapOutside(o - pad, n, s.mode));
    for (int64_t o = right; o < width; ++o) edge[kEdge + o - right] = int32_t(MapOutside(o - pad, n, s.mode));
  }
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    int64_t digit[8] = {};
    bool fresh = true;
    ForEachRow(begin, end, int32_t(width), [&](int64_t row, int32_t first, int32_t last) {
      if (fresh) {  // the outer coordinates of the batch's first row
        int64_t q = row;
        for (int k = 1; k < s.rank; ++k) {
          digit[k] = q % s.outSize[k];
          q /= s.outSize[k];
        }
        fresh = false;
      }
      uint32_t* out = s.output + row * width;
      int64_t base = 0;
      bool outside = false;
      for (int k = 1; k < s.rank; ++k) {
        int64_t c = digit[k] - s.padBefore[k];
        if (c < 0 || c >= s.inSize[k]) {
          if (s.mode == kConstant) {
            outside = true;
            break;
          }
          c = MapOutside(c, s.inSize[k], s.mode);
        }
        base += c * s.inStride[k];
      }
      if (outside) {
        FillWords(out + first, s.value, last - first);
      } else if (mapped && first == 0 && last == width) {
        const uint32_t* src = s.input + base;
        for (int64_t o = 0; o < left; ++o) out[o] = src[edge[o]];
        CopyWords(out + left, src + (left - pad), right - left);
        for (int64_t o = right; o < width; ++o) out[o] = src[edge[kEdge + o - right]];
      } else {
        const uint32_t* src = s.input + base;
        // Output positions [pad, pad + n) lie inside the input row.
        const int64_t lo = pad < first ? first : pad > last ? last : pad;
        const int64_t hi = pad + n < lo ? lo : pad + n > last ? last : pad + n;
        FillOutside(s, out, src, first, lo);
        if (lo < hi) CopyWords(out + lo, src + (lo - pad), hi - lo);
        FillOutside(s, out, src, hi, last);
      }
      for (int k = 1; k < s.rank && ++digit[k] == s.outSize[k]; ++k) digit[k] = 0;
    });
  });
}

}  // namespace

VORTA_JOB_RUNNING(Pad, PadJob, RunPad)

}  // namespace vorta::VORTA_NS
