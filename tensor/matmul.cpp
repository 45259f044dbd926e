// The batched matrix product: the broadcast batch walk, the band each job index
// owns, and the panel passes over it.
#include "frame/batch_loop.h"
#include "tensor/matmul.h"
#include "tensor/matmul_records.h"
#include "tensor/tile_multiply.h"

namespace vorta::VORTA_NS {
namespace {

// One panel pass: kPassDepth steps of k over a block of at most kBlockRows x
// kBlockCols outputs. The packed B sliver (depth x 16 floats, 16 KiB; SSE2:
// 8 KiB) stays in L1 while the packed A block (144 KiB; SSE2, whose packing
// holds four copies of each element: 288 KiB) streams from L2.
constexpr int32_t kPassDepth = 256;
constexpr int32_t kBlockRows = kACopies == 1 ? 144 : 72;
constexpr int32_t kBlockCols = 512;
// Regions of at most this many rows read B in place.
constexpr int32_t kInPlaceRows = 16;
static_assert(kBlockRows % MatMulTile::kRows == 0 && kBlockCols % MatMulTile::kCols == 0);

static inline int64_t Min(int64_t a, int64_t b) { return a < b ? a : b; }

// Offset, in matrices, of operand B's (or A's) matrix for output batch
// `batch`: the sum of floor(batch / P_i) * step[i] while the quotient is
// positive, with P_0 = 1 and P_{i+1} = P_i * size[i]. A size of zero or less
// ends the walk (the next quotient would divide by zero).
int64_t BatchOffset(const MatMulJob* job, bool operandB, int64_t batch) {
  int64_t offset = 0, divisor = 1;
  for (int i = 0; i < 8; ++i) {
    const int64_t quotient = batch / divisor;
    if (quotient <= 0) break;
    offset += quotient * (operandB ? job->bBatchStep[i] : job->aBatchStep[i]);
    const int32_t size = operandB ? job->bBatchSize[i] : job->aBatchSize[i];
    if (size <= 0) break;
    divisor *= size;  // divisor <= batch < 2^31 before, so no overflow
    if (divisor > batch) break;
  }
  return offset;
}

// Record scratch holds what its documentation says for the record's own tiles:
// aPanel tileK x tileM floats, bPanel tileK x tileN. The blocks below are cut to
// fit whatever that gives, never the other way round. Beyond what the largest
// block uses (in either variant) the job neither allocates nor touches more.
constexpr int64_t kPanelCapFloats = int64_t(kPassDepth) * kBlockCols;
static_assert(kPanelCapFloats >=
              int64_t(RoundUp(kBlockRows, MatMulTile::kRows)) * kPassDepth * kACopies);
int64_t PanelFloats(int32_t depth, int32_t width) {
  if (depth <= 0 || width <= 0) return 0;
  return Min(int64_t(depth) * width, kPanelCapFloats);
}

// Tiles too small for a useful pass use buffers on the stack instead: passes of
// kStackDepth steps over one A sliver and one B sliver.
constexpr int32_t kStackDepth = 64;
constexpr int64_t kAStepFloats = MatMulTile::kRows * kACopies;  // one packed A sliver, one k
constexpr int64_t kAStackFloats = kStackDepth * kAStepFloats;
constexpr int64_t kBStackFloats = kStackDepth * MatMulTile::kCols;

// The record's panel `field` (capacity `*cap` floats), allocated on first use
// and stored in the record, when it holds `need` floats; otherwise the stack
// buffer, `*cap` becoming its size.
template <float* MatMulJob::*field>
float* Panel(MatMulJob* job, int64_t* cap, int64_t need, float* stack, int64_t stackCap) {
  if (*cap >= need) {
    if (!(job->*field)) job->*field = HostScratch(uint64_t(*cap) * sizeof(float));
    if (float* panel = job->*field) return panel;
  }
  *cap = stackCap;
  return stack;
}

// out[r][j] for r0 <= r < r1, c0 <= j < c1.
void MultiplyRegion(MatMulJob* job, const float* a, const float* b, float* out, int32_t r0,
                    int32_t r1, int32_t c0, int32_t c1) {
  constexpr int32_t R = MatMulTile::kRows, C = MatMulTile::kCols;
  const int32_t K = job->K;
  const bool accumulate = job->accumulate != 0;
  const ptrdiff_t ldc = job->ldc;
  if (K <= 0) {
    // An empty sum: the product is zero.
    if (!accumulate)
      for (int32_t r = r0; r < r1; ++r)
        __builtin_memset(out + r * ldc + c0, 0, size_t(c1 - c0) * sizeof(float));
    return;
  }
  // Element (r, k) of A and (k, j) of B as stored.
  const ptrdiff_t aRowStep = job->transA ? 1 : job->lda;
  const ptrdiff_t aDepthStep = job->transA ? job->lda : 1;
  const ptrdiff_t bDepthStep = job->transB ? 1 : job->ldb;
  const ptrdiff_t bColStep = job->transB ? job->ldb : 1;
  // Few rows use each element of B only a few times: reading B where it lies
  // beats copying it. Only whole vectors can be read in place.
  const bool bInPlace = !job->transB && r1 - r0 <= kInPlaceRows;

  // The panels, and the pass depth and block sizes they allow: first a pass as
  // deep as both panels hold, then, if A's panel can take the region's rows in
  // one block without making passes shallower than kStackDepth, the whole block.
  alignas(64) float aStack[kAStackFloats];
  alignas(64) float bStack[kBStackFloats];
  const int32_t depth = int32_t(Min(K, kPassDepth));
  const int32_t minDepth = int32_t(Min(depth, kStackDepth));
  int64_t aCap = PanelFloats(job->tileK, job->tileM);
  int64_t bCap = PanelFloats(job->tileK, job->tileN);
  float* aPanel = Panel<&MatMulJob::aPanel>(job, &aCap, minDepth * kAStepFloats, aStack,
                                            kAStackFloats);
  float* bPanel = Panel<&MatMulJob::bPanel>(job, &bCap, int64_t(minDepth) * C, bStack,
                                            kBStackFloats);
  int32_t kc = int32_t(Min(Min(depth, bCap / C), aCap / kAStepFloats));
  const int32_t rows = int32_t(Min(r1 - r0, kBlockRows));
  const int64_t wholeDepth = aCap / (RoundUp(size_t(rows), R) * kACopies);
  int32_t mc = rows;
  if (wholeDepth >= Min(kc, kStackDepth))
    kc = int32_t(Min(kc, wholeDepth));
  else
    mc = int32_t(aCap / (int64_t(kc) * kAStepFloats) * R);
  // Passes of equal depth: no short last pass where one more step than fits is left.
  kc = int32_t((K + (K + kc - 1) / kc - 1) / ((K + kc - 1) / kc));
  const int32_t ncMax = int32_t(Min(kBlockCols, bCap / kc / C * C));

  // Each pass packs every A block and every B block at least once; whichever
  // operand needs fewer extra copies is packed in the outer loop (its block
  // stays packed while the other operand's blocks go past).
  const int64_t rowBlocks = (r1 - r0 + mc - 1) / mc, colBlocks = (c1 - c0 + ncMax - 1) / ncMax;
  const bool aOutside = (rowBlocks - 1) * (c1 - c0) <= (colBlocks - 1) * (r1 - r0);
  for (int32_t pc = 0; pc < K; pc += kc) {
    const int32_t kp = int32_t(Min(kc, K - pc));
    const bool fromOutput = accumulate || pc > 0;
    const PackedA<MatMulTile> aBlock{aPanel, kp};
    const auto packA = [&](int32_t ic) {
      PackA<MatMulTile>(a + ic * aRowStep + pc * aDepthStep, aRowStep, aDepthStep,
                        int32_t(Min(mc, r1 - ic)), kp, aPanel);
    };
    // Columns [jc, jc + from) of a B block are read where they lie: always
    // when the region has few rows, else (untransposed B) only by the first
    // row tile over each sliver, which packs them as it goes. The rest go
    // through PackB, onto the panel after the slivers packed that way.
    const auto inPlaceCols = [&](int32_t nc) {
      return bInPlace ? nc / kLanes * kLanes : job->transB ? 0 : nc / C * C;
    };
    const auto packB = [&](int32_t jc) {
      const int32_t nc = int32_t(Min(ncMax, c1 - jc)), from = inPlaceCols(nc);
      if (from < nc)
        PackB<MatMulTile>(b + pc * bDepthStep + (jc + from) * bColStep, bDepthStep, bColStep,
                          kp, nc - from, bPanel + (bInPlace ? 0 : from * kp));
    };
    // `first`: the first row block over this B block, which packs it.
    const auto multiply = [&](int32_t ic, int32_t jc, bool first) {
      const int32_t mp = int32_t(Min(mc, r1 - ic)), nc = int32_t(Min(ncMax, c1 - jc));
      const int32_t from = inPlaceCols(nc);
      float* y = out + ic * ldc + jc;
      const BPanel inPlace{b + pc * bDepthStep + jc, bDepthStep, false};
      if (from > 0 && (bInPlace || first))
        TileMultiply<MatMulTile>(aBlock, inPlace, mp, from, kp, y, ldc, fromOutput,
                                 bInPlace ? nullptr : bPanel);
      else if (from > 0)
        TileMultiply<MatMulTile>(aBlock, BPanel{bPanel, 0, true}, mp, from, kp, y, ldc,
                                 fromOutput);
      if (from < nc)
        TileMultiply<MatMulTile>(aBlock, BPanel{bPanel + (bInPlace ? 0 : from * kp), 0, true},
                                 mp, nc - from, kp, y + from, ldc, fromOutput);
    };
    if (aOutside) {
      for (int32_t ic = r0; ic < r1; ic += mc) {
        packA(ic);
        for (int32_t jc = c0; jc < c1; jc += ncMax) packB(jc), multiply(ic, jc, true);
      }
    } else {
      for (int32_t jc = c0; jc < c1; jc += ncMax) {
        packB(jc);
        for (int32_t ic = r0; ic < r1; ic += mc) packA(ic), multiply(ic, jc, ic == r0);
      }
    }
  }
}

// The bands of tiles [firstTile, endTile) of output matrix `batch`. Bands of
// consecutive job indices are adjacent, so together they form one region,
// multiplied as a whole: its packed panels then serve every band in it.
void MultiplyBands(MatMulJob* job, int64_t batch, int64_t firstTile, int64_t endTile) {
  const int32_t M = job->M, N = job->N, K = job->K;
  // Wide products split into column bands, tall ones into row bands.
  if ((M < N ? job->tileN : job->tileM) <= 0) return;
  const float* a = job->aMatrices + BatchOffset(job, false, batch) * M * int64_t(K);
  const float* b = job->bMatrices + BatchOffset(job, true, batch) * K * int64_t(N);
  float* out = job->outMatrices + batch * M * int64_t(N);
  int64_t r0 = 0, r1 = M, c0 = 0, c1 = N;
  if (M < N) {
    c0 = Min(firstTile * job->tileN, N);
    c1 = Min(endTile * job->tileN, N);
  } else {
    r0 = Min(firstTile * job->tileM, M);
    r1 = Min(endTile * job->tileM, M);
  }
  if (r0 >= r1 || c0 >= c1) return;
  MultiplyRegion(job, a, b, out, int32_t(r0), int32_t(r1), int32_t(c0), int32_t(c1));
}

}  // namespace

VORTA_JOB_BODY(MatMulFloat) {
  auto* record = static_cast<MatMulJob*>(job);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    const int32_t tiles = record->tilesPerMatrix;
    if (record->M <= 0 || record->N <= 0 || tiles <= 0) return;
    for (int32_t e = begin; e < end;) {
      const int64_t batch = e / tiles;
      const int32_t stop = int32_t(Min(end, (batch + 1) * tiles));
      MultiplyBands(record, batch, e - batch * tiles, stop - batch * tiles);
      e = stop;
    }
  });
}

}  // namespace vorta::VORTA_NS
