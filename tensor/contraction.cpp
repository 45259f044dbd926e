// The general contraction (a sum of products over an index space), the
// accumulation step of a transposed convolution (column-to-image with bias) and
// the apply step of an instance normalisation.
#include <stddef.h>
#include <vorta/vorta.h>

#include "frame/simd.h"
#include "scene/range_job.h"
#include "tensor/contraction.h"

namespace vorta {
using ContractionJob = ::VortaContractionJob;
using Col2ImJob = ::VortaCol2ImJob;
using NormApplyJob = ::VortaNormApplyJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// Outputs that share one pass over the term offsets, and terms per pass: the
// offsets of a term are the same for every output, so they are worked out
// once per pass instead of once per output and term.
constexpr int32_t kGroup = 16;
constexpr int32_t kTermChunk = 128;

// Offsets into A and B of index i over the last `rank` slots of an odometer.
static inline void Offsets(int64_t i, int32_t rank, const int32_t* shape, const int32_t* divisors,
                           const int32_t* stridesA, const int32_t* stridesB, int64_t* a,
                           int64_t* b) {
  int64_t oa = 0, ob = 0;
  for (int32_t s = 8 - rank; s < 8; ++s) {
    const int64_t v = (i / divisors[s]) % shape[s];
    oa += v * stridesA[s];
    ob += v * stridesB[s];
  }
  *a = oa;
  *b = ob;
}

// The record's eight odometer arrays, copied out of the packed record.
struct Slots {
  int32_t contractShape[8], contractDivisors[8], contractStridesA[8], contractStridesB[8];
  int32_t outShape[8], outDivisors[8], outStridesA[8], outStridesB[8];
  explicit Slots(const ContractionJob* job) {
    __builtin_memcpy(this, reinterpret_cast<const uint8_t*>(job) +
                               offsetof(ContractionJob, contractShape), sizeof *this);
  }
};
static_assert(sizeof(Slots) == 64 * sizeof(int32_t));

void ContractRange(const ContractionJob* job, int32_t begin, int32_t end) {
  const Slots sl(job);
  const int32_t count = job->contractCount;
  const int32_t outRank = job->outRank < 0 ? 0 : (job->outRank > 8 ? 8 : job->outRank);
  const int32_t rank = job->contractRank < 0 ? 0 : (job->contractRank > 8 ? 8 : job->contractRank);
  for (int32_t g0 = begin; g0 < end; g0 += kGroup) {
    const int32_t n = end - g0 < kGroup ? end - g0 : kGroup;
    int64_t offA[kGroup], offB[kGroup];
    float sum[kGroup];
    for (int32_t o = 0; o < n; ++o) {
      Offsets(g0 + o, outRank, sl.outShape, sl.outDivisors, sl.outStridesA, sl.outStridesB,
              &offA[o], &offB[o]);
      sum[o] = 0.0f;
    }
    if (count >= 1 && job->contractRank == 0) {
      for (int32_t o = 0; o < n; ++o) {
        const float p = job->a[offA[o]] * job->b[offB[o]];
        for (int32_t j = 0; j < count; ++j) sum[o] += p;
      }
    } else if (count >= 1) {
      int64_t tA[kTermChunk], tB[kTermChunk];
      for (int32_t j0 = 0; j0 < count; j0 += kTermChunk) {
        const int32_t m = count - j0 < kTermChunk ? count - j0 : kTermChunk;
        for (int32_t j = 0; j < m; ++j)
          Offsets(j0 + j, rank, sl.contractShape, sl.contractDivisors, sl.contractStridesA,
                  sl.contractStridesB, &tA[j], &tB[j]);
        for (int32_t o = 0; o < n; ++o) {
          const float* a = job->a + offA[o];
          const float* b = job->b + offB[o];
          float s = sum[o];
          for (int32_t j = 0; j < m; ++j) s += a[tA[j]] * b[tB[j]];
          sum[o] = s;
        }
      }
    }
    for (int32_t o = 0; o < n; ++o) job->output[g0 + o] = sum[o];
  }
}

void ColumnsToImageRows(const Col2ImJob* job, int32_t begin, int32_t end) {
  const int64_t perRow = static_cast<int64_t>(job->inputPerRowA) * job->inputPerRowB;
  const int32_t kh = job->kernelH, kw = job->kernelW, oh = job->outputH;
  const uint32_t ow = static_cast<uint32_t>(job->outputW);
  for (int32_t b = begin; b < end; ++b) {
    float* row = job->output + job->outOffset + static_cast<int64_t>(b) * job->rowLength;
    const float fill = job->hasBias ? job->bias[b] : 0.0f;
    for (int32_t k = 0; k < job->rowLength; ++k) row[k] = fill;
    if (job->inputH <= 0) continue;
    const float* col = job->columns + static_cast<int64_t>(b) * perRow;
    for (int32_t y = 0; y < job->inputH; ++y) {
      for (int32_t x = 0; x < job->inputW; ++x) {
        const int32_t ox0 = job->strideW * x - job->padW;
        for (int32_t ky = 0; ky < kh; ++ky, col += kw) {
          const int32_t oy = job->strideH * y + job->dilationH * ky - job->padH;
          // Rows above the image are skipped like rows below it.
          if (oy >= oh || oy < 0) continue;
          float* target = row + static_cast<int64_t>(oy) * job->outputW;
          for (int32_t kx = 0; kx < kw; ++kx) {
            const uint32_t ox = static_cast<uint32_t>(ox0 + job->dilationW * kx);
            if (ox < ow) target[ox] += col[kx];
          }
        }
      }
    }
  }
}

void NormApplyRange(const NormApplyJob* job, int32_t begin, int32_t end) {
  const int32_t spatial = job->spatialSize;
  for (int32_t i = begin; i < end;) {
    const int32_t f = i / spatial;
    const int64_t instanceEnd = (static_cast<int64_t>(f) + 1) * spatial;
    const int32_t stop = instanceEnd < end ? static_cast<int32_t>(instanceEnd) : end;
    const int32_t h = f % job->channels;
    const float mean = job->statistics[2 * static_cast<int64_t>(f)];
    const float g = 1.0f / __builtin_sqrtf(job->statistics[2 * static_cast<int64_t>(f) + 1] +
                                           job->epsilon);
    const float gm = g * mean, s = job->scale[h], c = job->bias[h];
    const VFloat vg = Splat<VFloat>(g), vgm = Splat<VFloat>(gm), vs = Splat<VFloat>(s),
                 vc = Splat<VFloat>(c);
    for (; i + kLanes <= stop; i += kLanes)
      Store(job->output + i, (Load<VFloat>(job->input + i) * vg - vgm) * vs + vc);
    for (; i < stop; ++i) job->output[i] = (job->input[i] * g - gm) * s + c;
  }
}

}  // namespace

VORTA_JOB_RUNNING(Contract, ContractionJob, RunRanges<ContractionJob, ContractRange>)
VORTA_JOB_RUNNING(ColumnsToImage, Col2ImJob, RunRanges<Col2ImJob, ColumnsToImageRows>)
VORTA_JOB_RUNNING(NormApply, NormApplyJob, RunRanges<NormApplyJob, NormApplyRange>)

}  // namespace vorta::VORTA_NS
