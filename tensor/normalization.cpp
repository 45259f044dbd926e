// Normalisation: row statistics folded like the axis sums, the row tails in
// chunks of 32 elements, and the per-channel element jobs on a channel walk of
// the element loop. Every reciprocal root is RsqrtKernel.
#include "tensor/normalization.h"

#include <vorta/vorta.h>

#include "frame/batch_loop.h"
#include "tensor/axis_folds.h"
#include "tensor/axis_walk.h"
#include "tensor/elementary.h"
#include "tensor/map_loops.h"

namespace vorta {
using RowStatsJob = ::VortaRowStatsJob;
using LayerNormJob = ::VortaLayerNormJob;
using RmsNormJob = ::VortaRmsNormJob;
using BatchNormJob = ::VortaBatchNormJob;
using ChannelAffineJob = ::VortaChannelAffineJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// ---- row statistics: mean = Σx·R, variance = Σx²·R − mean², R = 1/d ----

static void RunRowStats(const RowStatsJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t d = j->d;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int64_t b = begin; b < end; ++b) {
      float mean = 0.0f, variance = 0.0f;
      if (d >= 1) {
        const float* x = j->input + b * d;
        const float R = 1.0f / float(d);
        mean = FoldRow(x, d, SumFloat()) * R;
        variance = FoldRow(x, d, SquareSumFloat()) * R - mean * mean;
      }
      j->output[2 * b] = mean;
      j->output[2 * b + 1] = variance;
    }
  });
}

// ---- row tails ----

// The layer-norm step: (x − mean)·(scale·g) + bias on the four-wide part of a
// chunk, ((x − mean)·scale)·g + bias on its last m mod 4 elements.
struct LayerTail {
  float mean, g;
  const float* bias;
  template <class L> L Wide(L x, L s, int64_t i) const {
    return (x - Splat<L>(mean)) * (s * Splat<L>(g)) + Load<L>(bias + i);
  }
  float Narrow(float x, float s, int64_t i) const { return ((x - mean) * s) * g + bias[i]; }
};
// The root-mean-square step: (x·scale)·g throughout.
struct RmsTail {
  float g;
  template <class L> L Wide(L x, L s, int64_t) const { return (x * s) * Splat<L>(g); }
  float Narrow(float x, float s, int64_t i) const { return Wide(x, s, i); }
};

// One row in chunks of min(32, remaining): each chunk is computed and then
// stored, through a local buffer where the output starts less than a chunk
// after the input (elsewhere storing a block right away changes nothing).
template <class Tail>
static inline void TailRow(const float* x, const float* scale, float* y, int32_t d, const Tail& t) {
  constexpr int32_t kTailChunk = 32;
  const uintptr_t gap = reinterpret_cast<uintptr_t>(y) - reinterpret_cast<uintptr_t>(x);
  const bool direct = gap == 0 || gap >= kTailChunk * 4;
  for (int32_t c = 0; c < d; c += kTailChunk) {
    const int32_t m = d - c < kTailChunk ? d - c : kTailChunk, wide = m & ~3;
    float buffer[kTailChunk];
    float* dst = direct ? y + c : buffer;
    int32_t i = 0;
    for (; i + kLanes <= wide; i += kLanes)
      Store(dst + i, t.Wide(Load<VFloat>(x + c + i), Load<VFloat>(scale + c + i), c + i));
    for (; i < wide; ++i) dst[i] = t.Wide(x[c + i], scale[c + i], c + i);
    for (; i < m; ++i) dst[i] = t.Narrow(x[c + i], scale[c + i], c + i);
    if (!direct) __builtin_memcpy(y + c, buffer, size_t(m) * 4);
  }
}

static void RunLayerNorm(const LayerNormJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t d = j->d;
  if (d < 1) return;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int64_t b = begin; b < end; ++b) {
      const float mean = j->statistics[2 * b], variance = j->statistics[2 * b + 1];
      const LayerTail t{mean, RsqrtKernel(j->epsilon + variance), j->bias};
      TailRow(j->input + b * d, j->scale, j->output + b * d, d, t);
    }
  });
}

static void RunRmsNorm(const RmsNormJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t d = j->d;
  if (d < 1) return;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int64_t b = begin; b < end; ++b)
      TailRow(j->input + b * d, j->scale, j->output + b * d, d,
              RmsTail{RsqrtKernel(j->epsilon + j->statistics[b])});
  });
}

// ---- per-channel element jobs ----

// y = (x − shift)·factor + bias (or x·factor + bias), one channel's parameters.
template <bool kShifted>
struct ChannelStep {
  typedef float In;
  typedef float Out;
  float shift, factor, bias;
  template <class L> L operator()(L x) const {
    L v = x;
    if constexpr (kShifted) v = x - Splat<L>(shift);
    return v * Splat<L>(factor) + Splat<L>(bias);
  }
};

// The channel walk: element e belongs to channel (e / I) % K; a batch starting
// inside a channel run finishes it, then goes on run by run, wrapping K − 1 to 0.
template <class Job, class StepOf>
static inline void RunChannels(const Job* j, BatchRanges* ranges, uint32_t jobIndex, StepOf&& stepOf) {
  const int32_t K = j->K, I = j->I;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    int32_t ch = (begin / I) % K, run = I - begin % I;
    for (int64_t e = begin; e < end; e += run, run = I, ch = ch + 1 == K ? 0 : ch + 1) {
      const int64_t n = end - e < run ? end - e : run;
      MapElements(j->input + e, j->output + e, n, stepOf(ch));
    }
  });
}

// (x − mean)·a + bias with a = RsqrtKernel(epsilon + variance)·scale.
static void RunBatchNorm(const BatchNormJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  RunChannels(j, ranges, jobIndex, [j](int32_t ch) {
    return ChannelStep<true>{j->mean[ch], RsqrtKernel(j->epsilon + j->variance[ch]) * j->scale[ch],
                             j->bias[ch]};
  });
}

static void RunChannelAffine(const ChannelAffineJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  RunChannels(j, ranges, jobIndex,
              [j](int32_t ch) { return ChannelStep<false>{0.0f, j->scale[ch], j->bias[ch]}; });
}

}  // namespace

VORTA_JOB_RUNNING(RowStatsFloat, RowStatsJob, RunRowStats)
VORTA_JOB_RUNNING(LayerNormFloat, LayerNormJob, RunLayerNorm)
VORTA_JOB_RUNNING(RmsNormFloat, RmsNormJob, RunRmsNorm)
VORTA_JOB_RUNNING(BatchNormFloat, BatchNormJob, RunBatchNorm)
VORTA_JOB_RUNNING(ChannelAffineFloat, ChannelAffineJob, RunChannelAffine)

}  // namespace vorta::VORTA_NS
