// The grouped convolution job.
//
// The oracle is a direct convolution loop (no im2col): every output sums
// weight x input over (input channel, kernel depth, row, column) in that order,
// a window position outside the input contributing weight x 0, then adds the
// bias and applies the lower clamp as max(v, minValue) = (v > minValue) ? v :
// minValue. The SSE2 variant must match the loop in float bit for bit, the AVX2
// variant the same loop with each step fused; both must lie within the
// dot-product error bound of a double-precision sum. Two and three spatial
// dimensions, groups, strides 1, 2 and 3 (mixed per axis), dilation, padding,
// bias on and off, clamps at -inf and 0, channel and position counts on both
// sides of the 64 x 120 tiles, several workers with private records.
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
using vorta::ConvJob;
using vorta::CpuVariant;
using vorta::host::JobOptions;

constexpr const char* kConv = "8d344fc206a3deec43add40022db37ce";
constexpr const char* kMatMul = "ccbcd27cf5481b58f6b454456e31db3d";
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---- a convolution and its tensors ------------------------------------------------

struct Conv {
  int rank = 2;  // 2: (H, W); 3: (D, H, W)
  int images = 1, groups = 1, inC = 1, outC = 1;
  int in[3] = {1, 1, 1}, kernel[3] = {1, 1, 1}, stride[3] = {1, 1, 1};
  int pad[3] = {0, 0, 0}, padEnd[3] = {0, 0, 0}, dilation[3] = {1, 1, 1};
  bool bias = true;
  float minValue = -kInf;
  // Derived: extents per axis, outermost first, with a unit depth in two dimensions.
  int Out(int axis) const {
    const int span = dilation[axis] * (kernel[axis] - 1) + 1;
    return (in[axis] + pad[axis] + padEnd[axis] - span) / stride[axis] + 1;
  }
  int KernelSize() const { return kernel[0] * kernel[1] * kernel[2]; }
  int InPlane() const { return in[0] * in[1] * in[2]; }
  int OutSpatial() const { return Out(0) * Out(1) * Out(2); }
};

struct Tensors {
  Conv c;
  std::vector<float> input, weights, bias, output;
};

Tensors MakeTensors(const Conv& c, uint32_t seed, bool specials = false) {
  std::mt19937 rng(seed);
  Tensors t;
  t.c = c;
  t.input.resize(size_t(c.images) * c.groups * c.inC * c.InPlane() + 1);
  t.weights.resize(size_t(c.groups) * c.outC * c.inC * c.KernelSize() + 1);
  t.bias.resize(size_t(c.groups) * c.outC + 1);
  t.output.assign(size_t(c.images) * c.groups * c.outC * c.OutSpatial() + 1, 77.0f);
  for (float& x : t.input) x = RandomFloat(rng, specials);
  for (float& x : t.weights) x = RandomFloat(rng, specials);
  for (float& x : t.bias) x = RandomFloat(rng, false);
  return t;
}

// The record a host fills: extents outermost first, bands by the job's tiles.
ConvJob Record(Tensors& t) {
  const Conv& c = t.c;
  ConvJob job;
  memset(&job, 0xcd, sizeof job);  // bytes the job must not depend on
  job.input = t.input.data();
  job.output = t.output.data();
  job.bias = t.bias.data();
  job.weights = t.weights.data();
  job.hasBias = c.bias ? 0x40 : 0;
  job.groups = c.groups;
  job.inChannels = c.inC;
  job.outChannels = c.outC;
  job.spatialRank = c.rank == 2 ? (c.inC % 2 ? 2 : 1) : 3;  // 1 also selects two dimensions
  job.inPlane = c.InPlane();
  job.kernelSize = c.KernelSize();
  job.outSpatial = c.OutSpatial();
  const int first = c.rank == 2 ? 1 : 0;
  for (int axis = first; axis < 3; ++axis) {
    job.inSize[axis - first] = c.in[axis];
    job.kernel[axis - first] = c.kernel[axis];
    job.outSize[axis - first] = c.Out(axis);
    job.stride[axis - first] = c.stride[axis];
    job.padBegin[axis - first] = c.pad[axis];
    job.dilation[axis - first] = c.dilation[axis];
  }
  job.minValue = c.minValue;
  job.tilesPerImage = c.outC < c.OutSpatial()
                          ? (c.OutSpatial() + vorta::kConvTilePositions - 1) / vorta::kConvTilePositions
                          : (c.outC + vorta::kConvTileChannels - 1) / vorta::kConvTileChannels;
  job.columns = job.accumulator = nullptr;
  return job;
}

int Indices(const ConvJob& job, const Conv& c) { return c.images * c.groups * job.tilesPerImage; }

void ReleasePrivateScratch() {
  for (const std::vector<uint8_t>& bytes : vorta::host::LastPrivateRecords()) {
    ConvJob used;
    memcpy(&used, bytes.data(), sizeof used);
    if (used.columns) vorta::host::service::Free(used.columns, 2);
  }
}

void Convolve(Tensors& t, int workers = 1, uint64_t seed = 1) {
  ConvJob job = Record(t);
  JobOptions opt;
  opt.workers = workers;
  opt.batchSize = 2;
  opt.randomBatchSizes = true;
  opt.emptyBatches = true;
  opt.privateRecords = true;
  opt.seed = seed;
  vorta::host::RunJob(vorta::host::LinkedJob(kConv), &job, sizeof job, Indices(job, t.c), opt);
  ReleasePrivateScratch();
}

// ---- the direct loop ----------------------------------------------------------------

// Output (image, group, oc, position) by the direct loop, in float (fused steps
// or not) and in double with the sum of magnitudes for the error bound.
struct Direct {
  float value;
  double exact, magnitude;
};

Direct DirectOutput(const Tensors& t, int image, int group, int oc, int od, int oy, int ox,
                    bool fused) {
  const Conv& c = t.c;
  float acc = 0.0f;
  double exact = 0, magnitude = 0;
  const float* w = t.weights.data() + size_t(group * c.outC + oc) * c.inC * c.KernelSize();
  for (int ic = 0; ic < c.inC; ++ic) {
    const float* plane =
        t.input.data() + (size_t(image * c.groups + group) * c.inC + ic) * c.InPlane();
    for (int kd = 0; kd < c.kernel[0]; ++kd)
      for (int ky = 0; ky < c.kernel[1]; ++ky)
        for (int kx = 0; kx < c.kernel[2]; ++kx, ++w) {
          const int z = od * c.stride[0] + kd * c.dilation[0] - c.pad[0];
          const int y = oy * c.stride[1] + ky * c.dilation[1] - c.pad[1];
          const int x = ox * c.stride[2] + kx * c.dilation[2] - c.pad[2];
          const bool inside = z >= 0 && z < c.in[0] && y >= 0 && y < c.in[1] && x >= 0 &&
                              x < c.in[2];
          const float v = inside ? plane[(size_t(z) * c.in[1] + y) * c.in[2] + x] : 0.0f;
          if (fused) {
            acc = std::fma(*w, v, acc);
          } else {
            volatile float product = *w * v;  // rounded on its own
            acc = acc + product;
          }
          exact += double(*w) * v;
          magnitude += std::fabs(double(*w) * v);
        }
  }
  const float b = t.bias[group * c.outC + oc];
  float y = c.bias ? acc + b : acc;
  y = y > c.minValue ? y : c.minValue;
  double e = c.bias ? exact + b : exact;
  e = e > c.minValue ? e : c.minValue;
  return {y, e, magnitude + (c.bias ? std::fabs(b) : 0.0)};
}

// Every output equals the direct loop of the variant bit for bit and lies within
// the error bound of the double sum (unless `specials`); the word past the
// output is untouched.
void ExpectDirect(const Tensors& t, CpuVariant variant, bool specials = false) {
  const Conv& c = t.c;
  const bool fused = variant == CpuVariant::Avx2;
  const int depth = c.inC * c.KernelSize();
  int bad = 0;
  size_t i = 0;
  for (int image = 0; image < c.images; ++image)
    for (int group = 0; group < c.groups; ++group)
      for (int oc = 0; oc < c.outC; ++oc)
        for (int od = 0; od < c.Out(0); ++od)
          for (int oy = 0; oy < c.Out(1); ++oy)
            for (int ox = 0; ox < c.Out(2); ++ox, ++i) {
              const Direct d = DirectOutput(t, image, group, oc, od, oy, ox, fused);
              const float got = t.output[i];
              const bool exact = SameFloat(got, d.value);
              const bool near =
                  specials || std::fabs(got - d.exact) <= (depth + 3) * std::ldexp(d.magnitude, -24);
              if ((!exact || !near) && ++bad <= 5)
                ADD_FAILURE() << "image " << image << " group " << group << " channel " << oc
                              << " at (" << od << ", " << oy << ", " << ox << "): " << got
                              << ", want " << d.value << " (exact " << d.exact << ")";
            }
  EXPECT_EQ(t.output.back(), 77.0f) << "wrote past the output";
  EXPECT_EQ(bad, 0);
}

// ---- fixture ------------------------------------------------------------------------

using ConvTest = vorta_test::VariantTest;

Conv Conv2d(int inC, int outC, int h, int w, int k0, int k1) {
  Conv c;
  c.inC = inC, c.outC = outC;
  c.in[1] = h, c.in[2] = w;
  c.kernel[1] = k0, c.kernel[2] = k1;
  return c;
}

TEST_P(ConvTest, TwoDimensions) {
  struct Case {
    Conv c;
    int stride0, stride1, dilation0, dilation1, pad0, pad1;
  };
  std::vector<Case> cases;
  const int strides[][2] = {{1, 1}, {2, 2}, {3, 3}, {1, 2}, {3, 1}, {2, 3}};
  int n = 0;
  for (const auto& s : strides)
    for (int variant = 0; variant < 4; ++variant, ++n) {
      Conv c = Conv2d(1 + n % 5, 2 + n % 7, 9 + n % 6, 7 + n % 11, 1 + n % 3, 1 + (n + 1) % 4);
      c.groups = 1 + n % 3;
      c.images = 1 + n % 2;
      c.bias = variant & 1;
      c.minValue = variant & 2 ? 0.0f : -kInf;
      const int dilation = 1 + (n % 4 == 3);
      cases.push_back({c, s[0], s[1], dilation, 1 + (n % 5 == 1), n % 3, (n + 1) % 3});
    }
  // Tiles: more than 64 channels over few positions (channel bands), more than
  // 120 positions (position bands with a short last band), a 1 x 1 kernel.
  cases.push_back({Conv2d(3, 70, 4, 5, 3, 3), 1, 1, 1, 1, 1, 1});
  cases.push_back({Conv2d(5, 130, 3, 3, 2, 2), 1, 1, 1, 1, 0, 0});
  cases.push_back({Conv2d(4, 9, 13, 21, 3, 3), 1, 1, 1, 1, 1, 1});
  cases.push_back({Conv2d(17, 66, 12, 11, 1, 1), 1, 1, 1, 1, 0, 0});
  cases.push_back({Conv2d(2, 5, 30, 20, 3, 5), 2, 1, 2, 1, 2, 2});
  // Windows wholly outside the input: only bias and clamp remain.
  cases.push_back({Conv2d(2, 3, 2, 2, 1, 1), 1, 1, 1, 1, 3, 3});
  uint32_t seed = 1;
  int ran = 0;
  for (Case& k : cases) {
    Conv& c = k.c;
    c.stride[1] = k.stride0, c.stride[2] = k.stride1;
    c.dilation[1] = k.dilation0, c.dilation[2] = k.dilation1;
    c.pad[1] = k.pad0, c.pad[2] = k.pad1;
    c.padEnd[1] = k.pad0 + int(seed % 2), c.padEnd[2] = k.pad1;
    if (c.Out(1) < 1 || c.Out(2) < 1) continue;
    SCOPED_TRACE(testing::Message() << "case " << seed << ": " << c.inC << " -> " << c.outC
                                    << " channels x " << c.groups << " groups, input " << c.in[1]
                                    << "x" << c.in[2] << ", kernel " << c.kernel[1] << "x"
                                    << c.kernel[2] << ", stride " << k.stride0 << "," << k.stride1);
    Tensors t = MakeTensors(c, ++seed);
    Convolve(t, 1 + seed % 3, seed);
    ExpectDirect(t, GetParam());
    ++ran;
  }
  EXPECT_EQ(ran, int(cases.size()));
}

TEST_P(ConvTest, ThreeDimensions) {
  // Strides: all 1, width 2 (the special fills), and others mixed per axis.
  const int strides[][3] = {{1, 1, 1}, {1, 1, 2}, {2, 2, 2}, {3, 1, 2}, {1, 3, 3}, {2, 1, 1}};
  uint32_t seed = 40;
  for (const auto& s : strides)
    for (int variant = 0; variant < 2; ++variant) {
      Conv c;
      c.rank = 3;
      c.images = 2, c.groups = 1 + variant, c.inC = 3, c.outC = 4 + 3 * variant;
      c.in[0] = 5, c.in[1] = 6 + variant, c.in[2] = 9;
      c.kernel[0] = 2 + variant, c.kernel[1] = 3, c.kernel[2] = 2;
      for (int axis = 0; axis < 3; ++axis) c.stride[axis] = s[axis];
      c.pad[0] = variant, c.pad[1] = 1, c.pad[2] = 2 - variant;
      c.padEnd[0] = 1, c.padEnd[1] = variant, c.padEnd[2] = 1;
      c.dilation[2] = 1 + variant;
      c.bias = variant == 0;
      c.minValue = variant ? 0.0f : -kInf;
      Tensors t = MakeTensors(c, ++seed);
      Convolve(t, 2, seed);
      ExpectDirect(t, GetParam());
    }
}

// NaN, infinities (an infinite weight on a padded position gives NaN) and
// subnormals follow the direct loop; a NaN sum clamps to minValue.
TEST_P(ConvTest, SpecialValuesFollowTheDirectLoop) {
  for (int variant = 0; variant < 4; ++variant) {
    Conv c = Conv2d(3, 5, 7, 8, 3, 3);
    c.pad[1] = c.pad[2] = c.padEnd[1] = c.padEnd[2] = 1;
    c.bias = variant & 1;
    c.minValue = variant & 2 ? 0.0f : -kInf;
    Tensors t = MakeTensors(c, 200 + variant, true);
    Convolve(t, 2);
    ExpectDirect(t, GetParam(), true);
  }
}

TEST_P(ConvTest, WorkersWithPrivateRecordsAgreeExactly) {
  Conv c = Conv2d(6, 70, 15, 17, 3, 3);
  c.groups = 2, c.images = 2, c.pad[1] = c.pad[2] = c.padEnd[1] = c.padEnd[2] = 1;
  Tensors t = MakeTensors(c, 300);
  Convolve(t, 1);
  const std::vector<float> one = t.output;
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    std::fill(t.output.begin(), t.output.end(), 77.0f);
    Convolve(t, 4, seed);
    EXPECT_EQ(t.output, one);
  }
}

// One block of scratch from the untracked Malloc (61440 bytes, alignment 64,
// allocator 2), the accumulator in its second half, kept for later runs.
TEST_P(ConvTest, ScratchIsTakenOnceAndKept) {
  Conv c = Conv2d(4, 8, 10, 10, 3, 3);
  Tensors t = MakeTensors(c, 400);
  ConvJob job = Record(t);
  JobOptions opt;
  opt.workers = 1;
  vorta::host::StartMemoryLog();
  vorta::host::RunJob(vorta::host::LinkedJob(kConv), &job, sizeof job, Indices(job, c), opt);
  std::vector<vorta::host::MemoryEvent> log = vorta::host::TakeMemoryLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].kind, vorta::host::MemoryEvent::Malloc);
  EXPECT_EQ(log[0].size, vorta::kConvScratchBytes);
  EXPECT_EQ(log[0].alignment, 64u);
  EXPECT_EQ(log[0].allocator, 2u);
  EXPECT_EQ(job.columns, log[0].ptr);
  EXPECT_EQ(job.accumulator, job.columns + 7680);
  const std::vector<float> first = t.output;
  vorta::host::RunJob(vorta::host::LinkedJob(kConv), &job, sizeof job, Indices(job, c), opt);
  EXPECT_TRUE(vorta::host::TakeMemoryLog().empty());
  vorta::host::StopMemoryLog();
  EXPECT_EQ(t.output, first);
  vorta::host::service::Free(job.columns, 2);
}

// A 1 x 1 convolution with stride 1 and no padding is the product of the
// weights with the input planes: the matrix product job gives the same bits.
TEST_P(ConvTest, PointwiseEqualsTheMatrixProduct) {
  Conv c = Conv2d(37, 75, 9, 14, 1, 1);
  c.bias = false;
  Tensors t = MakeTensors(c, 500);
  Convolve(t, 2);
  std::vector<float> product(size_t(c.outC) * c.OutSpatial(), 5.0f);
  vorta::MatMulJob job;
  memset(&job, 0, sizeof job);
  for (int i = 0; i < 8; ++i) job.aBatchSize[i] = job.bBatchSize[i] = 1;
  job.aMatrices = t.weights.data();
  job.bMatrices = t.input.data();
  job.outMatrices = product.data();
  job.M = c.outC, job.N = c.OutSpatial(), job.K = c.inC;
  job.lda = c.inC, job.ldb = job.N, job.ldc = job.N;
  job.tileM = 32, job.tileN = 40, job.tileK = 64;
  job.tilesPerMatrix = (job.N + 39) / 40;
  JobOptions opt;
  opt.workers = 1;
  vorta::host::RunJob(vorta::host::LinkedJob(kMatMul), &job, sizeof job, job.tilesPerMatrix, opt);
  vorta::host::service::Free(job.aPanel, 2);
  vorta::host::service::Free(job.bPanel, 2);
  for (size_t i = 0; i < product.size(); ++i)
    ASSERT_TRUE(SameFloat(t.output[i], product[i])) << i << ": " << t.output[i] << " vs " << product[i];
}

VORTA_INSTANTIATE_VARIANTS(Conv, ConvTest);

// The variants agree within the dot-product error bound.
TEST(ConvVariants, AgreeWithinRounding) {
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  Conv c = Conv2d(40, 12, 11, 13, 3, 3);
  c.pad[1] = c.pad[2] = c.padEnd[1] = c.padEnd[2] = 1;
  Tensors t = MakeTensors(c, 600);
  vorta::host::InitializeLinked(CpuVariant::Sse2);
  Convolve(t, 2);
  const std::vector<float> sse2 = t.output;
  vorta::host::InitializeLinked(CpuVariant::Avx2);
  Convolve(t, 2);
  const int depth = c.inC * c.KernelSize();
  for (size_t i = 0; i + 1 < sse2.size(); ++i)
    EXPECT_NEAR(sse2[i], t.output[i], 2 * (depth + 3) * std::ldexp(double(depth + 1), -24)) << i;
}

}  // namespace
