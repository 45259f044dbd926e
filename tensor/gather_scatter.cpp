// The index-tuple jobs over the strided walk. Gathers whose index is outside
// its dimension after the single negative wrap write a zero word; a scatter
// update whose slice offset is negative is skipped. The sum adds its terms in
// order with one float accumulator per output, several outputs side by side
// in vector lanes where their inputs are neighbours.
#include "tensor/gather_scatter.h"

#include "frame/batch_loop.h"
#include "frame/simd.h"
#include "tensor/strided_walk.h"
#include "tensor/word_runs.h"

namespace vorta::VORTA_NS {
namespace {

static inline int32_t ClampCount(int32_t v, int32_t hi) { return v < 0 ? 0 : v > hi ? hi : v; }

// ---- gather elements -----------------------------------------------------------

void RunGatherElements(const GatherElementsJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t rank = job->rank < 1 ? 1 : job->rank > 8 ? 8 : job->rank;
  const int32_t axis = job->axis;
  WalkLayout<1> layout(rank);
  for (int k = 0; k < rank; ++k) {
    const int digit = rank - 1 - k;
    layout.Successive(digit, job->outputStrides[k],
                      k == 0 ? kUnboundedModulus : job->outputStrides[k - 1]);
    layout.Side(0, digit, kFollow, k == axis ? 0 : k == rank - 1 ? 1 : job->dataStrides[k]);
  }
  layout.MergeDigits();
  const bool axisValid = axis >= 0 && axis < rank;
  const int64_t axisStep = axisValid ? job->dataStrides[axis] : 0;
  const Word* data = static_cast<const Word*>(job->data);
  Word* out = static_cast<Word*>(job->output);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkRuns(layout, begin, end, [&](int64_t at, const StridedWalk<1>& walk, int64_t n) {
      const Word* base = data + walk.Offset(0);
      const int64_t step = walk.RunStep(0);
      for (int64_t j = 0; j < n; ++j) {
        int64_t e;
        const bool ok = WrapIndex(job->indices[at + j], job->axisExtent, &e) && axisValid;
        out[at + j] = ok ? base[j * step + e * axisStep] : 0;
      }
    });
  });
}

// ---- gather by index tuples -------------------------------------------------------

// Side 0 walks the tuple position in the index tensor, side 1 the data offset
// of the batch and trailing dimensions; the tuple adds its own part.
void RunGatherTuples(const GatherTuplesJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t outRank = ClampCount(job->outputRank, 8);
  const int32_t dataRank = ClampCount(job->dataRank, 8);
  const int32_t indicesRank = ClampCount(job->indicesRank, 8);
  const int32_t batch = ClampCount(job->batchDims, dataRank);
  const int32_t tuple = ClampCount(job->tupleLength, dataRank - batch);
  const int32_t outFirst = 8 - outRank, dataFirst = 8 - dataRank;
  WalkLayout<2> layout(outRank);
  for (int m = outFirst; m < 8; ++m) layout.Digit(7 - m, job->outputStrides[m], job->outputDims[m]);
  for (int n = 0; n + 1 < indicesRank && outFirst + n < 8; ++n)
    layout.Side(0, 7 - (outFirst + n), kFollow, job->indicesStrides[8 - indicesRank + n]);
  for (int m = outFirst; m < 8; ++m) {
    const int n = m - outFirst;
    int64_t step = 0;
    if (n < batch) step += job->dataStrides[dataFirst + n];
    if (m >= dataFirst + batch + tuple) step += job->dataStrides[m];
    layout.Side(1, 7 - m, kFollow, step);
  }
  layout.MergeDigits();
  const Word* data = static_cast<const Word*>(job->data);
  const int32_t* indices = job->indices;
  Word* out = static_cast<Word*>(job->output);
  // The data offset of the tuple at index position e; false if a component is
  // outside its dimension.
  auto tupleOffset = [&](int64_t e, int64_t* offset) {
    int64_t f = 0;
    for (int n = 0; n < tuple; ++n) {
      const int m = dataFirst + batch + n;
      int64_t g;
      if (!WrapIndex(indices[e + n], job->dataDims[m], &g)) return false;
      f += g * job->dataStrides[m];
    }
    *offset = f;
    return true;
  };
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkRuns(layout, begin, end, [&](int64_t at, const StridedWalk<2>& walk, int64_t n) {
      const int64_t dataStep = walk.RunStep(1);
      int64_t f;
      if (walk.RunStep(0) == 0) {  // one tuple for the whole run
        if (tupleOffset(walk.Offset(0), &f)) {
          CopyWords(out + at, 1, data + walk.Offset(1) + f, dataStep, n);
        } else {
          FillWords(out + at, 0, n);
        }
        return;
      }
      for (int64_t j = 0; j < n; ++j) {
        const bool ok = tupleOffset(walk.Offset(0) + j * walk.RunStep(0), &f);
        out[at + j] = ok ? data[walk.Offset(1) + j * dataStep + f] : 0;
      }
    });
  });
}

// ---- scatter by index tuples ----------------------------------------------------------

// Update element i is position p of slice s; the slice's target offset g is
// the dot product of its tuple with the slice strides (no wrapping), formed
// once per slice. Components are never wrapped, so a negative one is outside
// its dimension: that slice is skipped, as is a negative g; the host keeps g
// below the slice count.
template <class T>
void RunScatterTuples(const ScatterTuplesJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const int64_t size = job->sliceSize;
  if (size < 1) return;
  // Tuples lie tupleLength words apart; the record has strides for 8 components.
  const int64_t tupleStride = job->tupleLength < 0 ? 0 : job->tupleLength;
  const int32_t tuple = ClampCount(job->tupleLength, 8);
  const Word* updates = static_cast<const Word*>(job->updates);
  Word* out = static_cast<Word*>(job->output);
  WithReduction(job->reduction, [&]<int32_t kReduction>() {
    RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
      int64_t s = begin / size, p = begin % size;
      for (int64_t at = begin; at < end; ++s, p = 0) {
        int64_t n = size - p;
        if (n > end - at) n = end - at;
        int64_t g = 0;
        bool inside = true;
        for (int k = 0; k < tuple; ++k) {
          const int32_t c = job->indices[tupleStride * s + k];
          inside = inside && c >= 0;
          g += int64_t(c) * job->sliceStrides[k];
        }
        if (inside && g >= 0) {
          Word* target = out + g * size + p;
          const Word* value = updates + s * size + p;
          for (int64_t j = 0; j < n; ++j) CombineWord<T, kReduction>(target + j, value[j]);
        }
        at += n;
      }
    });
  });
}

// ---- select by condition -----------------------------------------------------------------

// One run: kC, kT, kF are the sides' steps when fixed at 0 or 1 (-1: the step
// given), so that the common shapes compile to straight vector loops.
template <int kC, int kT, int kF>
void SelectRun(const int32_t* c, const Word* t, const Word* f, Word* out, int64_t n, int64_t sc,
               int64_t st, int64_t sf) {
  const int64_t C = kC < 0 ? sc : kC, T = kT < 0 ? st : kT, F = kF < 0 ? sf : kF;
  for (int64_t j = 0; j < n; ++j) out[j] = c[j * C] != 0 ? t[j * T] : f[j * F];
}

typedef void (*SelectRunFn)(const int32_t*, const Word*, const Word*, Word*, int64_t, int64_t,
                            int64_t, int64_t);
#define VORTA_SELECT_ROW(c, t) SelectRun<c, t, 0>, SelectRun<c, t, 1>
constexpr SelectRunFn kSelectRuns[8] = {VORTA_SELECT_ROW(0, 0), VORTA_SELECT_ROW(0, 1),
                                        VORTA_SELECT_ROW(1, 0), VORTA_SELECT_ROW(1, 1)};
#undef VORTA_SELECT_ROW

void RunConditionSelect(const ConditionSelectJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t* cond = job->condition;
  const Word* tv = static_cast<const Word*>(job->trueValues);
  const Word* fv = static_cast<const Word*>(job->falseValues);
  Word* out = static_cast<Word*>(job->output);
  const int32_t rank = job->rank > 8 ? 8 : job->rank;
  WalkLayout<3> layout(rank);  // rank <= 0: one digit of extent 1, every side on element 0
  for (int m = 8 - rank; m < 8 && rank > 0; ++m) {
    layout.Digit(7 - m, job->outputStrides[m], job->outputDims[m]);
    layout.Side(0, 7 - m, job->conditionDims[m], job->conditionStrides[m]);
    layout.Side(1, 7 - m, job->trueDims[m], job->trueStrides[m]);
    layout.Side(2, 7 - m, job->falseDims[m], job->falseStrides[m]);
  }
  if (rank <= 0) layout.Successive(0, 1, kUnboundedModulus);
  layout.MergeDigits();
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkRuns(layout, begin, end, [&](int64_t at, const StridedWalk<3>& walk, int64_t n) {
      const int64_t sc = walk.RunStep(0), st = walk.RunStep(1), sf = walk.RunStep(2);
      const auto unit = [](int64_t s) { return s == 0 || s == 1; };
      const SelectRunFn run = unit(sc) && unit(st) && unit(sf)
                                  ? kSelectRuns[sc * 4 + st * 2 + sf]
                                  : SelectRun<-1, -1, -1>;
      run(cond + walk.Offset(0), tv + walk.Offset(1), fv + walk.Offset(2), out + at, n, sc, st, sf);
    });
  });
}

// ---- layout sum ---------------------------------------------------------------------------

// Adds the reduced terms of the output at input `base` (and, for lanes, of its
// kLanes neighbours at base + 1 ...) in order r = 0, 1, ...
template <class L>
static inline __attribute__((always_inline)) L SumTerms(const WalkLayout<1>& reduced, int64_t count,
                                                        const float* base) {
  L sum = Splat<L>(0.0f);
  WalkRuns(reduced, 0, count, [&](int64_t, const StridedWalk<1>& walk, int64_t n) {
    const float* p = base + walk.Offset(0);
    const int64_t step = walk.RunStep(0);
    for (int64_t j = 0; j < n; ++j) sum += Load<L>(p + j * step);
  });
  return sum;
}

void RunLayoutSum(const LayoutSumJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t outRank = ClampCount(job->outputRank, 8);
  const int32_t redRank = ClampCount(job->reducedRank, 8);
  const int64_t count = job->reducedCount;
  WalkLayout<1> kept(outRank);
  for (int m = 8 - outRank; m < 8; ++m) {
    kept.Digit(7 - m, job->outputDivisors[m], job->outputDims[m]);
    kept.Side(0, 7 - m, kFollow, job->keptInputStrides[m]);
  }
  WalkLayout<1> reduced(redRank);
  for (int m = 8 - redRank; m < 8; ++m) {
    reduced.Digit(7 - m, job->reducedDivisors[m], job->reducedDims[m]);
    reduced.Side(0, 7 - m, kFollow, job->reducedInputStrides[m]);
  }
  if (redRank == 0) reduced.Successive(0, 1, kUnboundedModulus);  // every term is input[base]
  kept.MergeDigits();
  reduced.MergeDigits();
  const float* in = job->input;
  float* out = job->output;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    if (count <= 0) {
      FillWords(reinterpret_cast<Word*>(out) + begin, 0, end - begin);
      return;
    }
    WalkRuns(kept, begin, end, [&](int64_t at, const StridedWalk<1>& walk, int64_t n) {
      const float* base = in + walk.Offset(0);
      const int64_t step = walk.RunStep(0);
      int64_t j = 0;
      if (step == 1)
        for (; j + kLanes <= n; j += kLanes) Store(out + at + j, SumTerms<VFloat>(reduced, count, base + j));
      for (; j < n; ++j) out[at + j] = SumTerms<float>(reduced, count, base + j * step);
    });
  });
}

}  // namespace

VORTA_JOB_RUNNING(GatherElements, GatherElementsJob, RunGatherElements)
VORTA_JOB_RUNNING(GatherTuples, GatherTuplesJob, RunGatherTuples)
VORTA_JOB_RUNNING(ScatterTuplesFloat, ScatterTuplesJob, RunScatterTuples<float>)
VORTA_JOB_RUNNING(ScatterTuplesInt32, ScatterTuplesJob, RunScatterTuples<int32_t>)
VORTA_JOB_RUNNING(ConditionSelect, ConditionSelectJob, RunConditionSelect)
VORTA_JOB_RUNNING(LayoutSum, LayoutSumJob, RunLayoutSum)

}  // namespace vorta::VORTA_NS
