// The general contraction, column-to-image with bias and normalisation apply,
// through the linked library on both variants with several schedules, against
// plain reference loops written from the job's definition (the order of the
// float sums is fixed, so the results match bit for bit).
#include <vorta/vorta.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "tests/variant_test.h"

namespace {

using vorta_test::RandomFloat;
using vorta_test::SameFloat;
using vorta_test::Schedule;

class ContractionTest : public vorta_test::VariantTest {};

// Right-aligned slots of an odometer over `shape` with the given strides.
void Fill(int32_t* shape, int32_t* div, int32_t* sa, int32_t* sb, const std::vector<int>& dims,
          const std::vector<int>& stridesA, const std::vector<int>& stridesB) {
  int32_t d = 1;
  for (int k = static_cast<int>(dims.size()) - 1, s = 7; k >= 0; --k, --s) {
    shape[s] = dims[k];
    div[s] = d;
    d *= dims[k];
    sa[s] = stridesA[k];
    sb[s] = stridesB[k];
  }
}

struct ContractCase {
  std::vector<int> outDims, outA, outB, termDims, termA, termB;
  int count;  // contractCount (product of termDims unless a case says otherwise)
};

TEST_P(ContractionTest, ContractMatchesTheReferenceLoop) {
  const ContractCase cases[] = {
      // batched product A[b][i][k] * B[b][k][j], b=3, i=5, j=7, k=9
      {{3, 5, 7}, {45, 9, 0}, {63, 0, 1}, {9}, {1}, {7}, 9},
      // two contracted indices, broadcast batch of B (stride 0)
      {{4, 6}, {30, 0}, {0, 1}, {5, 6}, {6, 1}, {36, 6}, 30},
      // a rank-0 contraction repeats one product three times
      {{11}, {1}, {2}, {}, {}, {}, 3},
      // no terms: zeros
      {{13}, {1}, {1}, {2}, {1}, {1}, 0},
      // more terms than one pass holds
      {{2, 3}, {300, 0}, {0, 1}, {300}, {1}, {3}, 300},
  };
  std::mt19937 rng(7);
  for (const ContractCase& c : cases) {
    VortaContractionJob job{};
    job.outRank = static_cast<int32_t>(c.outDims.size());
    job.contractRank = static_cast<int32_t>(c.termDims.size());
    job.contractCount = c.count;
    Fill(job.outShape, job.outDivisors, job.outStridesA, job.outStridesB, c.outDims, c.outA, c.outB);
    Fill(job.contractShape, job.contractDivisors, job.contractStridesA, job.contractStridesB,
         c.termDims, c.termA, c.termB);
    int outs = 1;
    for (int d : c.outDims) outs *= d;
    std::vector<float> a(4096), b(4096), out(outs, 99.0f);
    for (float& x : a) x = RandomFloat(rng, true);
    for (float& x : b) x = RandomFloat(rng, true);
    job.a = a.data(), job.b = b.data(), job.output = out.data();
    for (int workers : {1, 3}) {
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_CONTRACTION_CONTRACT), &job,
                          sizeof job, outs, Schedule(workers, 5, true, true, workers));
      for (int i = 0; i < outs; ++i) {
        long oa = 0, ob = 0;
        for (int s = 8 - job.outRank; s < 8; ++s) {
          const long v = (i / job.outDivisors[s]) % job.outShape[s];
          oa += v * job.outStridesA[s], ob += v * job.outStridesB[s];
        }
        float sum = 0.0f;
        for (int j = 0; j < c.count; ++j) {
          long ta = 0, tb = 0;
          for (int s = 8 - job.contractRank; s < 8; ++s) {
            const long v = (j / job.contractDivisors[s]) % job.contractShape[s];
            ta += v * job.contractStridesA[s], tb += v * job.contractStridesB[s];
          }
          sum += a[oa + ta] * b[ob + tb];
        }
        ASSERT_TRUE(SameFloat(out[i], sum)) << "output " << i << ": " << out[i] << " vs " << sum;
      }
    }
  }
}

struct Col2ImCase {
  int kh, kw, ih, iw, oh, ow, dh, dw, ph, pw, sh, sw;
  bool bias;
};

TEST_P(ContractionTest, ColumnsToImageMatchesTheReferenceLoop) {
  const Col2ImCase cases[] = {
      {3, 3, 4, 5, 9, 11, 1, 1, 1, 1, 2, 2, true},  // stride 2, padding: negative rows and columns
      {2, 3, 3, 3, 7, 8, 2, 1, 0, 2, 1, 2, false},  // dilation
      {1, 1, 0, 4, 3, 4, 1, 1, 0, 0, 1, 1, true},   // no input rows: the bias row only
      {4, 2, 3, 2, 5, 5, 1, 3, 2, 0, 1, 1, false},  // terms outside the image on every side
  };
  std::mt19937 rng(11);
  for (const Col2ImCase& c : cases) {
    const int channels = 5, rowLength = c.oh * c.ow + 3, offset = 2;
    const int perRow = c.ih * c.iw * c.kh * c.kw;
    std::vector<float> cols(std::max(1, channels * perRow)), bias(channels);
    for (float& x : cols) x = RandomFloat(rng, false);
    for (float& x : bias) x = RandomFloat(rng, false);
    std::vector<float> out(offset + channels * rowLength + 4, 123.0f), ref = out;
    VortaCol2ImJob job{};
    job.columns = cols.data(), job.bias = bias.data(), job.output = out.data();
    job.hasBias = c.bias, job.outOffset = offset, job.inputPerRowA = c.ih * c.iw;
    job.inputPerRowB = c.kh * c.kw, job.rowLength = rowLength;
    job.kernelH = c.kh, job.kernelW = c.kw, job.inputH = c.ih, job.inputW = c.iw;
    job.outputH = c.oh, job.outputW = c.ow, job.dilationH = c.dh, job.dilationW = c.dw;
    job.padH = c.ph, job.padW = c.pw, job.strideH = c.sh, job.strideW = c.sw;
    for (int ch = 0; ch < channels; ++ch) {
      float* row = ref.data() + offset + ch * rowLength;
      for (int k = 0; k < rowLength; ++k) row[k] = c.bias ? bias[ch] : 0.0f;
      const float* col = cols.data() + ch * perRow;
      for (int y = 0; y < c.ih; ++y)
        for (int x = 0; x < c.iw; ++x)
          for (int ky = 0; ky < c.kh; ++ky)
            for (int kx = 0; kx < c.kw; ++kx) {
              const float v = *col++;
              const int oy = c.sh * y + c.dh * ky - c.ph, ox = c.sw * x - c.pw + c.dw * kx;
              if (oy >= 0 && oy < c.oh && ox >= 0 && ox < c.ow) row[oy * c.ow + ox] += v;
            }
    }
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_CONTRACTION_COL2IM), &job, sizeof job,
                        channels, Schedule(2, 1, true, true, 3));
    for (size_t k = 0; k < out.size(); ++k)
      ASSERT_TRUE(SameFloat(out[k], ref[k])) << "element " << k;
  }
}

TEST_P(ContractionTest, NormApplyMatchesTheFormula) {
  const int instances = 6, channels = 3, spatial = 37;
  std::mt19937 rng(5);
  std::vector<float> in(instances * spatial), out(in.size()), scale(channels), bias(channels),
      stats(2 * instances);
  for (float& x : in) x = RandomFloat(rng, true);
  for (int c = 0; c < channels; ++c) scale[c] = RandomFloat(rng, false), bias[c] = RandomFloat(rng, false);
  for (int f = 0; f < instances; ++f) {
    stats[2 * f] = RandomFloat(rng, false);
    stats[2 * f + 1] = f == 0 ? 0.0f : std::fabs(RandomFloat(rng, false));
  }
  in[3] = stats[0];  // variance 0, epsilon 0: element equal to the mean gives 0 * inf = NaN
  VortaNormApplyJob job{};
  job.epsilon = 0.0f, job.channels = channels, job.spatialSize = spatial;
  job.input = in.data(), job.scale = scale.data(), job.bias = bias.data();
  job.statistics = stats.data(), job.output = out.data();
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_CONTRACTION_NORM_APPLY), &job, sizeof job,
                      static_cast<int32_t>(in.size()), Schedule(3, 7, true, true, 2));
  for (size_t i = 0; i < in.size(); ++i) {
    const int f = static_cast<int>(i) / spatial, h = f % channels;
    const float g = 1.0f / std::sqrt(stats[2 * f + 1] + job.epsilon);
    const float want = (in[i] * g - g * stats[2 * f]) * scale[h] + bias[h];
    ASSERT_TRUE(SameFloat(out[i], want)) << i;
  }
  EXPECT_TRUE(std::isnan(out[3]));
  EXPECT_TRUE(std::isinf(out[4]) || std::isnan(out[4]));
}

VORTA_INSTANTIATE_VARIANTS(Variants, ContractionTest);

}  // namespace
