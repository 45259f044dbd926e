// The batched matrix product job.
//
// Oracles, all independent of the kernel's tiling: a double-precision loop (the
// float result must lie within the error bound of a K-term float dot product),
// a plainly written sequential float loop in increasing k (the SSE2 variant must
// match it bit for bit, the AVX2 variant must match the same loop with each step
// fused), and OpenBLAS on a larger product. Both variants, transposed and
// untransposed operands, accumulate, wide and tall products (column and row
// bands), widths that are and are not whole vectors, tiles that do and do not
// divide the matrix, broadcast batches, one and four workers each with its own
// copy of the record, and the scratch the job takes from the host.
#include <cblas.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/matmul_records.h"
#include "tests/variant_test.h"

namespace {

using vorta_test::RandomFloat;
using vorta_test::SameFloat;
using vorta::CpuVariant;
using vorta::MatMulJob;
using vorta::host::JobOptions;

constexpr const char* kMatMul = "ccbcd27cf5481b58f6b454456e31db3d";
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---- a product and its operands -------------------------------------------------

struct Product {
  int M = 1, N = 1, K = 1;
  bool transA = false, transB = false, accumulate = false;
  int tileM = 16, tileN = 16;
  int padA = 0, padB = 0, padC = 0;  // extra row stride beyond the tight one
};

struct Operands {
  Product p;
  int lda, ldb, ldc;
  std::vector<float> a, b, c;  // c: the output's initial contents
  float A(int r, int k) const { return p.transA ? a[size_t(k) * lda + r] : a[size_t(r) * lda + k]; }
  float B(int k, int j) const { return p.transB ? b[size_t(j) * ldb + k] : b[size_t(k) * ldb + j]; }
};

Operands MakeOperands(const Product& p, uint32_t seed, bool specials = false) {
  std::mt19937 rng(seed);
  Operands o;
  o.p = p;
  o.lda = (p.transA ? p.M : p.K) + p.padA;
  o.ldb = (p.transB ? p.K : p.N) + p.padB;
  o.ldc = p.N + p.padC;
  const size_t aRows = p.transA ? p.K : p.M, bRows = p.transB ? p.N : p.K;
  o.a.resize(aRows * o.lda + 1);
  o.b.resize(bRows * o.ldb + 1);
  o.c.resize(size_t(p.M) * o.ldc + 1);
  for (float& x : o.a) x = RandomFloat(rng, specials);
  for (float& x : o.b) x = RandomFloat(rng, specials);
  for (float& x : o.c) x = RandomFloat(rng, specials);
  return o;
}

// The record a host fills for one product, bands cut as the job expects.
MatMulJob Record(const Operands& o, float* out) {
  MatMulJob job;
  memset(&job, 0xcd, sizeof job);  // bytes the job must not depend on
  for (int i = 0; i < 8; ++i) job.aBatchSize[i] = job.bBatchSize[i] = 1;
  for (int i = 0; i < 8; ++i) job.aBatchStep[i] = job.bBatchStep[i] = 0;
  const Product& p = o.p;
  job.aMatrices = o.a.data();
  job.bMatrices = o.b.data();
  job.outMatrices = out;
  job.M = p.M, job.N = p.N, job.K = p.K;
  job.lda = o.lda, job.ldb = o.ldb, job.ldc = o.ldc;
  job.transA = p.transA ? 0x80 : 0, job.transB = p.transB ? 3 : 0, job.accumulate = p.accumulate;
  job.tileM = p.tileM, job.tileN = p.tileN, job.tileK = 5;
  job.tilesPerMatrix = p.M < p.N ? (p.N + p.tileN - 1) / p.tileN : (p.M + p.tileM - 1) / p.tileM;
  job.aPanel = job.bPanel = job.cTile = nullptr;
  return job;
}

// The scratch panels of every record the last private-record run left.
std::vector<float*> PrivateScratch() {
  std::vector<float*> panels;
  for (const std::vector<uint8_t>& bytes : vorta::host::LastPrivateRecords()) {
    MatMulJob used;
    memcpy(&used, bytes.data(), sizeof used);
    for (float* p : {used.aPanel, used.bPanel, used.cTile})
      if (p) panels.push_back(p);
  }
  return panels;
}

void ReleasePrivateScratch() {
  for (float* p : PrivateScratch()) vorta::host::service::Free(p, 2);
}

// Runs the job on `workers` workers, each with a private record, random and
// empty batches; returns the output buffer.
std::vector<float> Multiply(const Operands& o, int workers = 1, uint64_t seed = 1) {
  std::vector<float> out = o.c;
  MatMulJob job = Record(o, out.data());
  JobOptions opt;
  opt.workers = workers;
  opt.batchSize = 2;
  opt.randomBatchSizes = true;
  opt.emptyBatches = true;
  opt.privateRecords = true;
  opt.seed = seed;
  vorta::host::RunJob(vorta::host::LinkedJob(kMatMul), &job, sizeof job, job.tilesPerMatrix, opt);
  ReleasePrivateScratch();
  return out;
}

// ---- oracles ----------------------------------------------------------------------

// The sequential float loop: start from the output (accumulate) or +0, then
// add each product in increasing k. Steps fused into one rounding when `fused`.
float Sequential(const Operands& o, int r, int j, bool fused) {
  float y = o.p.accumulate ? o.c[size_t(r) * o.ldc + j] : 0.0f;
  for (int k = 0; k < o.p.K; ++k) {
    if (fused) {
      y = std::fma(o.A(r, k), o.B(k, j), y);
    } else {
      volatile float product = o.A(r, k) * o.B(k, j);  // rounded on its own
      y = y + product;
    }
  }
  return y;
}

// Every output equals the sequential loop of the variant exactly, and nothing
// outside the M x N outputs (the row padding, the word past the end) changed.
void ExpectSequential(const Operands& o, const std::vector<float>& out, CpuVariant v) {
  const bool fused = v == CpuVariant::Avx2;
  int bad = 0;
  for (int r = 0; r < o.p.M; ++r)
    for (int j = 0; j < o.ldc; ++j) {
      const size_t i = size_t(r) * o.ldc + j;
      const float want = j < o.p.N ? Sequential(o, r, j, fused) : o.c[i];
      if (!SameFloat(out[i], want) && ++bad <= 5)
        ADD_FAILURE() << "out[" << r << "][" << j << "] = " << out[i] << ", want " << want;
    }
  EXPECT_TRUE(SameFloat(out.back(), o.c.back())) << "wrote past the output";
  EXPECT_EQ(bad, 0);
}

// Every output within the error bound of a K-term float dot product of the
// double-precision result: (K + 2) units in the last place of the sum of magnitudes.
void ExpectNearExact(const Operands& o, const std::vector<float>& out) {
  int bad = 0;
  for (int r = 0; r < o.p.M; ++r)
    for (int j = 0; j < o.p.N; ++j) {
      const double y0 = o.p.accumulate ? o.c[size_t(r) * o.ldc + j] : 0.0;
      double exact = y0, magnitude = std::fabs(y0);
      for (int k = 0; k < o.p.K; ++k) {
        exact += double(o.A(r, k)) * o.B(k, j);
        magnitude += std::fabs(double(o.A(r, k)) * o.B(k, j));
      }
      const double bound = (o.p.K + 2) * std::ldexp(magnitude, -24) + 1e-44;
      const float got = out[size_t(r) * o.ldc + j];
      if (!(std::fabs(got - exact) <= bound) && ++bad <= 5)
        ADD_FAILURE() << "out[" << r << "][" << j << "] = " << got << ", exact " << exact;
    }
  EXPECT_EQ(bad, 0);
}

// ---- fixtures ---------------------------------------------------------------------

using MatMulTest = vorta_test::VariantTest;

// Every combination of transposition and accumulate over shapes that are wide
// and tall, whole and partial vectors, tiles that divide and do not.
TEST_P(MatMulTest, ShapesTranspositionsAndAccumulate) {
  const int shapes[][5] = {
      // M, N, K, tileM, tileN
      {1, 1, 1, 1, 1},       {1, 1, 7, 4, 4},      {3, 40, 9, 16, 8},   {7, 13, 5, 16, 5},
      {13, 7, 33, 4, 64},    {6, 16, 260, 6, 16},  {17, 17, 17, 5, 3},  {50, 3, 20, 7, 1},
      {2, 150, 31, 8, 37},   {40, 70, 300, 13, 9}, {150, 24, 10, 50, 8}, {9, 600, 3, 4, 520},
      {160, 161, 3, 160, 7},   {20, 530, 7, 8, 300},  {12, 100, 600, 4, 30},
  };
  uint32_t seed = 10;
  for (const auto& s : shapes)
    for (int flags = 0; flags < 8; ++flags) {
      Product p;
      p.M = s[0], p.N = s[1], p.K = s[2], p.tileM = s[3], p.tileN = s[4];
      p.transA = flags & 1, p.transB = flags & 2, p.accumulate = flags & 4;
      p.padA = flags % 3, p.padB = (flags + 1) % 3, p.padC = flags % 2 ? 5 : 0;
      SCOPED_TRACE(testing::Message() << "M=" << p.M << " N=" << p.N << " K=" << p.K << " transA="
                                      << p.transA << " transB=" << p.transB
                                      << " accumulate=" << p.accumulate);
      const Operands o = MakeOperands(p, ++seed);
      const std::vector<float> out = Multiply(o, 1 + seed % 3, seed);
      ExpectSequential(o, out, GetParam());
      ExpectNearExact(o, out);
    }
}

// NaN, infinities, signed zeros, subnormals and overflowing products propagate
// exactly as in the sequential loop (a zero start is +0: a sum of -0 products is +0).
TEST_P(MatMulTest, SpecialValuesFollowTheSequentialLoop) {
  for (int flags = 0; flags < 8; ++flags) {
    Product p;
    p.M = 11, p.N = 21, p.K = 12, p.tileM = 4, p.tileN = 8;
    p.transA = flags & 1, p.transB = flags & 2, p.accumulate = flags & 4;
    const Operands o = MakeOperands(p, 100 + flags, true);
    ExpectSequential(o, Multiply(o, 2), GetParam());
  }
  Product zeros;
  zeros.M = 2, zeros.N = 9, zeros.K = 3;
  Operands o = MakeOperands(zeros, 7);
  for (float& x : o.a) x = -0.0f;
  const std::vector<float> out = Multiply(o);
  for (int j = 0; j < 9; ++j) EXPECT_EQ(std::bit_cast<uint32_t>(out[j]), 0u) << j;
}

TEST_P(MatMulTest, ScalarsAndEmptyDepth) {
  Product p;
  Operands o = MakeOperands(p, 1);
  o.a[0] = 3.0f, o.b[0] = -2.5f, o.c[0] = 10.0f;
  EXPECT_EQ(Multiply(o)[0], -7.5f);
  o.p.accumulate = true;
  EXPECT_EQ(Multiply(o)[0], 2.5f);
  // K = 0: the product is zero; accumulating adds nothing.
  p.M = 3, p.N = 10, p.K = 0;
  o = MakeOperands(p, 2);
  const std::vector<float> out = Multiply(o);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(out[i], 0.0f) << i;
  EXPECT_EQ(out[30], o.c[30]);
  o.p.accumulate = true;
  EXPECT_EQ(Multiply(o), o.c);
}

// Four workers, each on its own copy of the record, give exactly the one-worker
// result; every worker that ran took its own scratch.
TEST_P(MatMulTest, WorkersWithPrivateRecordsAgreeExactly) {
  Product p;
  p.M = 90, p.N = 70, p.K = 40, p.tileM = 7, p.tileN = 9;
  for (int flags = 0; flags < 4; ++flags) {
    p.transB = flags & 1, p.accumulate = flags & 2;
    const Operands o = MakeOperands(p, 50 + flags);
    const std::vector<float> one = Multiply(o, 1);
    for (uint64_t seed = 1; seed <= 3; ++seed) EXPECT_EQ(Multiply(o, 4, seed), one);
  }
  // Private scratch: no two workers share a panel.
  const Operands o = MakeOperands(p, 60);
  std::vector<float> out = o.c;
  MatMulJob job = Record(o, out.data());
  job.tileK = 200;  // panels large enough for the job to use
  JobOptions opt;
  opt.workers = 4, opt.batchSize = 1, opt.privateRecords = true;
  vorta::host::RunJob(vorta::host::LinkedJob(kMatMul), &job, sizeof job, job.tilesPerMatrix, opt);
  const std::vector<float*> panels = PrivateScratch();
  for (size_t i = 0; i < panels.size(); ++i)
    for (size_t j = 0; j < i; ++j) EXPECT_NE(panels[i], panels[j]);
  EXPECT_GE(panels.size(), 2u);
  EXPECT_EQ(job.aPanel, nullptr) << "the caller's record is not the one the workers used";
  ReleasePrivateScratch();
}

// The scratch comes from the untracked Malloc (alignment 64, allocator 2) on
// first use, exactly the documented sizes (aPanel tileK x tileM floats, bPanel
// tileK x tileN), stays in the record, is reused by later runs and never released.
TEST_P(MatMulTest, ScratchIsTakenOnceAndKept) {
  for (int wide = 0; wide < 2; ++wide) {
    Product p;
    p.M = wide ? 20 : 30, p.N = wide ? 70 : 20, p.K = 300, p.tileM = 8, p.tileN = 16;
    const Operands o = MakeOperands(p, 3);
    std::vector<float> out = o.c;
    MatMulJob job = Record(o, out.data());
    job.tileK = 256;
    const auto entry = vorta::host::LinkedJob(kMatMul);
    JobOptions opt;
    opt.workers = 1;
    vorta::host::StartMemoryLog();
    vorta::host::RunJob(entry, &job, sizeof job, job.tilesPerMatrix, opt);
    std::vector<vorta::host::MemoryEvent> log = vorta::host::TakeMemoryLog();
    ASSERT_EQ(log.size(), 2u);
    for (const auto& e : log) {
      EXPECT_EQ(e.kind, vorta::host::MemoryEvent::Malloc);
      EXPECT_EQ(e.alignment, 64u);
      EXPECT_EQ(e.allocator, 2u);
      EXPECT_TRUE(e.ptr == job.aPanel || e.ptr == job.bPanel);
      EXPECT_EQ(e.size, (e.ptr == job.aPanel ? 256u * 8 : 256u * 16) * sizeof(float));
    }
    EXPECT_EQ(job.cTile, nullptr);
    const std::vector<float> first = out;
    ExpectSequential(o, out, GetParam());
    vorta::host::RunJob(entry, &job, sizeof job, job.tilesPerMatrix, opt);
    EXPECT_TRUE(vorta::host::TakeMemoryLog().empty());
    vorta::host::StopMemoryLog();
    EXPECT_EQ(out, first);
    vorta::host::service::Free(job.aPanel, 2);
    vorta::host::service::Free(job.bPanel, 2);
  }
}

// A host may set the scratch itself, at exactly the documented sizes: the job
// writes nothing past them (a wide sentinel zone follows each buffer) and takes
// no memory, whatever the tiles (multiples of the register tile or not, too
// small to hold a pass or larger than the job's blocks) and the operands' layout.
TEST_P(MatMulTest, PresetScratchOfDocumentedSizeIsNeverOverrun) {
  const int tiles[][3] = {
      // tileM, tileN, tileK
      {4, 16, 8},   {5, 27, 33},  {6, 8, 48},  {24, 48, 64}, {64, 64, 256}, {13, 7, 100},
      {1, 1, 1},    {100, 3, 2},  {7, 300, 9}, {144, 512, 256}, {30, 17, 1000},
  };
  const int shapes[][3] = {{10, 27, 33}, {150, 70, 300}, {40, 333, 65}};
  constexpr size_t kSentinel = 1 << 18;  // floats past each buffer
  constexpr uint32_t kMark = 0x7fc0dead;
  uint32_t seed = 200;
  for (const auto& t : tiles)
    for (const auto& s : shapes)
      for (int flags = 0; flags < 8; ++flags) {
        Product p;
        p.M = s[0], p.N = s[1], p.K = s[2], p.tileM = t[0], p.tileN = t[1];
        p.transA = flags & 1, p.transB = flags & 2, p.accumulate = flags & 4;
        SCOPED_TRACE(testing::Message() << "tiles " << t[0] << "/" << t[1] << "/" << t[2] << " M="
                                        << p.M << " N=" << p.N << " K=" << p.K << " flags=" << flags);
        const Operands o = MakeOperands(p, ++seed);
        std::vector<float> out = o.c;
        MatMulJob job = Record(o, out.data());
        job.tileK = t[2];
        const size_t sizes[3] = {size_t(t[2]) * t[0], size_t(t[2]) * t[1], size_t(t[0]) * t[1]};
        std::vector<uint32_t> scratch[3];
        for (int i = 0; i < 3; ++i) scratch[i].assign(sizes[i] + kSentinel, kMark);
        job.aPanel = reinterpret_cast<float*>(scratch[0].data());
        job.bPanel = reinterpret_cast<float*>(scratch[1].data());
        job.cTile = reinterpret_cast<float*>(scratch[2].data());
        JobOptions opt;
        opt.workers = 1, opt.batchSize = 2, opt.randomBatchSizes = true, opt.seed = seed;
        vorta::host::StartMemoryLog();
        vorta::host::RunJob(vorta::host::LinkedJob(kMatMul), &job, sizeof job, job.tilesPerMatrix,
                            opt);
        EXPECT_TRUE(vorta::host::TakeMemoryLog().empty());
        vorta::host::StopMemoryLog();
        ExpectSequential(o, out, GetParam());
        for (int i = 0; i < 3; ++i) {
          size_t overrun = 0;
          for (size_t j = sizes[i]; j < scratch[i].size(); ++j)
            if (scratch[i][j] != kMark) overrun = j + 1 - sizes[i];
          EXPECT_EQ(overrun, 0u) << "scratch " << i << " overrun by " << overrun << " floats";
        }
        if (testing::Test::HasFailure()) return;
      }
}

// ---- broadcast batches --------------------------------------------------------------

// Output batch dimensions (outermost first) with each operand's extents, 1 for
// a broadcast dimension. The host's walk: sizes are the output extents
// innermost first; with s_i an operand's stride (in matrices) along walk axis
// i, step_i = s_i - size_{i-1} * s_{i-1}, so that the floor-division sum yields
// the operand's matrix index.
struct Batches {
  std::vector<int> out, a, b;
};

struct Walk {
  int32_t sizes[8], steps[8];
};

Walk WalkOf(const std::vector<int>& out, const std::vector<int>& operand) {
  Walk w;
  int32_t* sizes = w.sizes;
  int32_t* steps = w.steps;
  const int n = int(out.size());
  int64_t stride = 1, previous = 0, previousSize = 1;
  for (int i = 0; i < 8; ++i) sizes[i] = 1, steps[i] = 0;
  for (int i = 0; i < n; ++i) {
    const int axis = n - 1 - i;
    const int64_t s = operand[axis] == 1 ? 0 : stride;
    sizes[i] = out[axis];
    steps[i] = int32_t(s - previousSize * previous);
    previous = s, previousSize = out[axis];
    stride *= operand[axis];
  }
  return w;
}

TEST_P(MatMulTest, BroadcastBatches) {
  const Batches cases[] = {
      {{2, 5}, {2, 1}, {1, 5}},           // A [2, 1, M, K] against B [1, 5, K, N]
      {{3, 4}, {1, 1}, {3, 4}},           // one A for every B
      {{2, 3, 2}, {2, 3, 2}, {1, 3, 1}},  // B broadcast along two axes
      {{7}, {7}, {7}},
  };
  uint32_t seed = 70;
  for (const Batches& c : cases)
    for (int transA = 0; transA < 2; ++transA) {
      Product p;
      p.M = 3 + transA * 9, p.N = 6, p.K = 4, p.tileM = 2, p.tileN = 4, p.transA = transA;
      int batches = 1, aCount = 1, bCount = 1;
      for (size_t i = 0; i < c.out.size(); ++i)
        batches *= c.out[i], aCount *= c.a[i], bCount *= c.b[i];
      std::mt19937 rng(++seed);
      Operands o = MakeOperands(p, seed);
      const size_t aSize = size_t(p.M) * p.K, bSize = size_t(p.K) * p.N, cSize = size_t(p.M) * p.N;
      o.a.resize(aSize * aCount);
      o.b.resize(bSize * bCount);
      for (float& x : o.a) x = RandomFloat(rng, false);
      for (float& x : o.b) x = RandomFloat(rng, false);
      std::vector<float> out(cSize * batches + 1, 99.0f);
      MatMulJob job = Record(o, out.data());
      const Walk aWalk = WalkOf(c.out, c.a), bWalk = WalkOf(c.out, c.b);
      for (int i = 0; i < 8; ++i) {
        job.aBatchSize[i] = aWalk.sizes[i], job.aBatchStep[i] = aWalk.steps[i];
        job.bBatchSize[i] = bWalk.sizes[i], job.bBatchStep[i] = bWalk.steps[i];
      }
      JobOptions opt;
      opt.workers = 3, opt.batchSize = 3, opt.randomBatchSizes = true, opt.privateRecords = true;
      vorta::host::RunJob(vorta::host::LinkedJob(kMatMul), &job, sizeof job,
                          batches * job.tilesPerMatrix, opt);
      ReleasePrivateScratch();
      // Each output batch against its operands, found by decomposing the batch index.
      for (int batch = 0; batch < batches; ++batch) {
        int rest = batch, aIndex = 0, bIndex = 0, aStride = 1, bStride = 1;
        for (int axis = int(c.out.size()) - 1; axis >= 0; --axis) {
          const int i = rest % c.out[axis];
          rest /= c.out[axis];
          aIndex += (c.a[axis] == 1 ? 0 : i) * aStride, aStride *= c.a[axis];
          bIndex += (c.b[axis] == 1 ? 0 : i) * bStride, bStride *= c.b[axis];
        }
        Operands one = o;
        one.a.assign(o.a.begin() + aIndex * aSize, o.a.begin() + (aIndex + 1) * aSize);
        one.b.assign(o.b.begin() + bIndex * bSize, o.b.begin() + (bIndex + 1) * bSize);
        one.c.assign(cSize + 1, 0.0f);
        std::vector<float> got(out.begin() + batch * cSize, out.begin() + (batch + 1) * cSize);
        got.push_back(0.0f);
        SCOPED_TRACE(testing::Message() << "batch " << batch);
        ExpectSequential(one, got, GetParam());
      }
      EXPECT_EQ(out.back(), 99.0f);
    }
}

// A larger product against OpenBLAS, within the dot-product error bound of both.
TEST_P(MatMulTest, AgreesWithOpenBlas) {
  Product p;
  p.M = 203, p.N = 517, p.K = 301, p.tileM = 64, p.tileN = 100;
  for (int flags = 0; flags < 4; ++flags) {
    p.transA = flags & 1, p.transB = flags & 2;
    const Operands o = MakeOperands(p, 80 + flags);
    const std::vector<float> out = Multiply(o, 2);
    std::vector<float> blas(size_t(p.M) * o.ldc);
    cblas_sgemm(CblasRowMajor, p.transA ? CblasTrans : CblasNoTrans,
                p.transB ? CblasTrans : CblasNoTrans, p.M, p.N, p.K, 1.0f, o.a.data(), o.lda,
                o.b.data(), o.ldb, 0.0f, blas.data(), o.ldc);
    double worst = 0;
    for (int r = 0; r < p.M; ++r)
      for (int j = 0; j < p.N; ++j)
        worst = std::max(worst, double(std::fabs(out[r * o.ldc + j] - blas[r * o.ldc + j])));
    EXPECT_LT(worst, 2 * (p.K + 2) * std::ldexp(double(p.K), -24));
  }
}

// Random shapes up to a few hundred in every dimension (crossing the job's
// internal block sizes), random flags, tiles and worker counts.
TEST_P(MatMulTest, LongRandomProducts) {
  std::mt19937 rng(20240);
  for (int round = 0; round < 60; ++round) {
    Product p;
    p.M = 1 + rng() % 400, p.N = 1 + rng() % 700, p.K = 1 + rng() % 600;
    p.tileM = 1 + rng() % 200, p.tileN = 1 + rng() % 300;
    p.transA = rng() % 2, p.transB = rng() % 2, p.accumulate = rng() % 2;
    p.padA = rng() % 3, p.padB = rng() % 3, p.padC = rng() % 3;
    SCOPED_TRACE(testing::Message() << "M=" << p.M << " N=" << p.N << " K=" << p.K);
    const Operands o = MakeOperands(p, 1000 + round);
    ExpectSequential(o, Multiply(o, 1 + rng() % 4, round), GetParam());
  }
}

// The two variants agree within the dot-product error bound on the same inputs.
TEST(MatMulVariants, AgreeWithinRounding) {
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  Product p;
  p.M = 37, p.N = 45, p.K = 500, p.tileM = 16, p.tileN = 16, p.accumulate = true;
  const Operands o = MakeOperands(p, 90);
  vorta::host::InitializeLinked(CpuVariant::Sse2);
  const std::vector<float> sse2 = Multiply(o, 2);
  vorta::host::InitializeLinked(CpuVariant::Avx2);
  const std::vector<float> avx2 = Multiply(o, 2);
  for (size_t i = 0; i + 1 < sse2.size(); ++i)
    EXPECT_NEAR(sse2[i], avx2[i], 2 * (p.K + 2) * std::ldexp(double(p.K + 10), -24)) << i;
}

VORTA_INSTANTIATE_VARIANTS(MatMul, MatMulTest);

}  // namespace
