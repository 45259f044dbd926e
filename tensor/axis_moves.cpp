// The index-driven data-movement jobs: gather along an axis, gather and
// scatter of elements along an axis, the scatter over up to eight dimensions
// and one-hot. Index arithmetic is positioned once per batch and then stepped;
// an index outside its axis after the single negative wrap reads as zero words
// (gathers) or is skipped (scatters), so nothing outside the tensors is touched.
#include "frame/batch_loop.h"
#include "tensor/datamove.h"
#include "tensor/strided_walk.h"
#include "tensor/word_runs.h"

namespace vorta::VORTA_NS {
namespace {

// i div d and i mod d for consecutive i, with one division at the start.
struct DivModCounter {
  int64_t divisor, quotient, remainder;
  DivModCounter(int64_t d, int64_t i) : divisor(d < 1 ? 1 : d) {
    quotient = i / divisor;
    remainder = i % divisor;
  }
  void Next() {
    if (++remainder == divisor) remainder = 0, ++quotient;
  }
};

void RunGatherAxis(const GatherAxisJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const Word* in = static_cast<const Word*>(job->input);
  Word* out = static_cast<Word*>(job->output);
  const int64_t inner = job->innerSize, count = job->indexCount, axis = job->axisSize;
  if (inner < 1 || count < 1) return;  // no output elements
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    DivModCounter block(inner, begin);         // block index, position in the block
    DivModCounter slot(count, block.quotient);  // outer index, index slot
    for (int64_t at = begin; at < end;) {
      int64_t n = inner - block.remainder;
      if (n > end - at) n = end - at;
      int64_t idx;
      if (WrapIndex(job->indices[slot.remainder], job->axisSize, &idx)) {
        CopyWords(out + at, 1, in + (slot.quotient * axis + idx) * inner + block.remainder, 1, n);
      } else {
        FillWords(out + at, 0, n);
      }
      at += n;
      block.remainder = 0;
      slot.Next();
    }
  });
}

// Element i of the axis forms: the position (i mod innerModulus) and block
// (i div outerDivisor) counters, stepped per element.
template <class Fn>
static inline __attribute__((always_inline)) void ForAxisElements(int32_t innerModulus,
                                                                  int32_t outerDivisor,
                                                                  int32_t begin, int32_t end,
                                                                  Fn&& fn) {
  DivModCounter position(innerModulus, begin), block(outerDivisor, begin);
  for (int64_t i = begin; i < end; ++i) {
    fn(i, position.remainder, block.quotient);
    position.Next();
    block.Next();
  }
}

void RunGatherElementsAxis(const GatherElementsAxisJob* job, BatchRanges* ranges,
                           uint32_t jobIndex) {
  const Word* in = static_cast<const Word*>(job->input);
  Word* out = static_cast<Word*>(job->output);
  const int64_t axis = job->axisSize, stride = job->blockStride;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    ForAxisElements(job->innerModulus, job->outerDivisor, begin, end,
                    [&](int64_t i, int64_t position, int64_t block) {
                      int64_t idx;
                      const bool ok = WrapIndex(job->indices[i], job->axisSize, &idx);
                      out[i] = ok ? in[position + (idx + axis * block) * stride] : 0;
                    });
  });
}

void RunScatterElementsAxis(const ScatterElementsAxisJob* job, BatchRanges* ranges,
                            uint32_t jobIndex) {
  const Word* updates = static_cast<const Word*>(job->updates);
  Word* data = static_cast<Word*>(job->data);
  const int64_t axis = job->axisSize, stride = job->blockStride;
  WithReduction(job->reduction, [&]<int32_t kReduction>() {
    RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
      ForAxisElements(job->innerModulus, job->outerDivisor, begin, end,
                      [&](int64_t i, int64_t position, int64_t block) {
                        int64_t idx;
                        if (!WrapIndex(job->indices[i], job->axisSize, &idx)) return;
                        CombineWord<float, kReduction>(
                            data + position + (idx + block * axis) * stride, updates[i]);
                      });
    });
  });
}

// Dimensions outermost first; the coordinates of update i come from successive
// division by updateStrides. The data offset of every coordinate but the axis
// is walked; the last coordinate counts with stride 1. The axis coordinate is
// the index: times dataStrides[axis], or 1 when the axis is the last dimension
// (the index replaces the last coordinate; it is not added on top of it).
void RunScatterElements(const ScatterElementsJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t rank = job->rank < 1 ? 1 : job->rank > 8 ? 8 : job->rank;
  const int32_t axis = job->axis;
  if (axis < 0 || axis >= rank) return;  // no axis to scatter along
  WalkLayout<1> layout(rank);
  for (int k = 0; k < rank; ++k) {
    const int digit = rank - 1 - k;
    layout.Successive(digit, job->updateStrides[k],
                      k == 0 ? kUnboundedModulus : job->updateStrides[k - 1]);
    const int64_t step = k == axis ? 0 : k == rank - 1 ? 1 : job->dataStrides[k];
    layout.Side(0, digit, kFollow, step);
  }
  layout.MergeDigits();
  const int64_t axisStep = axis == rank - 1 ? 1 : job->dataStrides[axis];
  const Word* updates = static_cast<const Word*>(job->updates);
  Word* data = static_cast<Word*>(job->data);
  WithReduction(job->reduction, [&]<int32_t kReduction>() {
    RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
      WalkRuns(layout, begin, end, [&](int64_t at, const StridedWalk<1>& walk, int64_t n) {
        const int64_t offset = walk.Offset(0), step = walk.RunStep(0);
        for (int64_t j = 0; j < n; ++j) {
          int64_t idx;
          if (!WrapIndex(job->indices[at + j], job->axisSize, &idx)) continue;
          CombineWord<float, kReduction>(data + offset + j * step + idx * axisStep,
                                         updates[at + j]);
        }
      });
    });
  });
}

// Output element (o, d, n): o outer, d along the one-hot axis of length b, n
// inner of size w. It compares index element o * w + n with d. (The form
// (i - w * d) div b + (i mod w) agrees with it only while w <= b; beyond that
// it picks other index elements and can read past the index tensor.)
void RunOneHot(const OneHotJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  int32_t k = job->axis - job->rank + 8;
  k = k < 0 ? 0 : k > 7 ? 7 : k;
  const int64_t b = job->shape[k] < 1 ? 1 : job->shape[k];
  const int64_t w = job->strides[k] < 1 ? 1 : job->strides[k];
  // Digits innermost first: (n, d, o), or (d, o) when w is 1, so that runs are long.
  const bool axisInnermost = w == 1;
  WalkLayout<1> layout(axisInnermost ? 2 : 3);
  int digit = 0;
  if (!axisInnermost) {
    layout.Digit(digit, 1, w);
    layout.Side(0, digit++, kFollow, 1);
  }
  const int dDigit = digit;
  layout.Digit(digit, w, b);
  layout.Side(0, digit++, kFollow, 0);
  layout.Successive(digit, w * b, kUnboundedModulus);
  layout.Side(0, digit, kFollow, w);
  const int32_t* indices = job->indices;
  Word* out = static_cast<Word*>(job->output);
  const int32_t depth = job->depth;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkRuns(layout, begin, end, [&](int64_t at, const StridedWalk<1>& walk, int64_t n) {
      const int32_t* e = indices + walk.Offset(0);
      const int64_t step = walk.RunStep(0), d = walk.Counter(dDigit);
      for (int64_t j = 0; j < n; ++j) {
        int64_t v = e[j * step];
        if (v < 0) v += depth;
        out[at + j] = v == d + (axisInnermost ? j : 0) ? job->onValue : job->offValue;
      }
    });
  });
}

}  // namespace

VORTA_JOB_RUNNING(GatherAxis, GatherAxisJob, RunGatherAxis)
VORTA_JOB_RUNNING(GatherElementsAxis, GatherElementsAxisJob, RunGatherElementsAxis)
VORTA_JOB_RUNNING(ScatterElementsAxis, ScatterElementsAxisJob, RunScatterElementsAxis)
VORTA_JOB_RUNNING(ScatterElements, ScatterElementsJob, RunScatterElements)
VORTA_JOB_RUNNING(OneHot, OneHotJob, RunOneHot)

}  // namespace vorta::VORTA_NS
