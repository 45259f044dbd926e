// The recurrent cell step against a float64 evaluation of its equations with
// every activation kind, and ROI align against a direct bilinear reference.
#include <gtest/gtest.h>
#include <vorta/vorta.h>

#include <sleef.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "tests/variant_test.h"

namespace {

using vorta_test::Schedule;

double Act(int kind, double a, double b, double x) {
  switch (kind) {
    case 0: return std::max(x, 0.0);
    case 1: return std::tanh(x);
    case 2: return 1 / (1 + std::exp(-x));
    case 3: return a * x + b;
    case 4: return x >= 0 ? x : a * x;
    case 5: return x >= a ? x : 0;
    case 6: return a * std::tanh(b * x);
    case 7: return std::clamp(a * x + b, 0.0, 1.0);
    case 8: return x >= 0 ? x : a * (std::exp(x) - 1);
    case 9: return 1 / (std::fabs(x) + 1);
    case 10: return x > 30 ? x + std::log1p(std::exp(-x)) : std::log1p(std::exp(x));
    default: return x;
  }
}

class RecurrentTest : public vorta_test::VariantTest {};

TEST_P(RecurrentTest, StepMatchesADoubleReference) {
  std::mt19937 rng(3);
  auto uni = [&](double lo, double hi) { return float(std::uniform_real_distribution<double>(lo, hi)(rng)); };
  int round = 0;
  for (int Hs : {1, 5, 32, 37, 70}) {
    for (int kind = 0; kind < 12; ++kind, ++round) {
      const int batch = 5, inStride = 4 * Hs + 3, outStride = Hs + 2;
      const int kF = kind, kG = (kind + 4) % 12, kH = (kind + 7) % 12;
      const float clip = round % 3 == 0 ? 3.4028235e38f : 2.5f;
      const bool coupled = round % 4 == 1;
      std::vector<float> peep(3 * Hs), bias(8 * Hs), X(size_t(batch) * inStride), R(size_t(batch) * 4 * Hs);
      std::vector<float> out(size_t(batch) * outStride, 9.0f), cell(size_t(batch) * Hs), hid(size_t(batch) * Hs);
      for (auto* v : {&peep, &bias, &X, &R, &cell, &hid})
        for (auto& e : *v) e = uni(-1.5, 1.5);
      X[0] = 200.0f;  // a large input-gate pre-activation (softplus must return x there)
      std::vector<int32_t> seq = {4, 0, 9, 3, 7};
      const std::vector<float> cell0 = cell, hid0 = hid;
      const float aF = uni(0.1, 1), bF = uni(-0.5, 0.5), aG = uni(0.1, 1), bG = uni(-0.5, 0.5), aH = uni(0.1, 1), bH = uni(-0.5, 0.5);
      VortaRecurrentStepJob job{peep.data(), bias.data(), X.data(), R.data(), out.data(), cell.data(), hid.data(), seq.data(),
                                3, inStride, outStride, Hs, uint8_t(coupled), {}, clip, kF, aF, bF, kG, aG, bG, kH, aH, bH, {}};
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_LSTM_STEP), &job, sizeof job, batch, Schedule(2, 1, true, true, Hs));
      for (int b = 0; b < batch; ++b)
        for (int j = 0; j < Hs; ++j) {
          const size_t s = size_t(b) * Hs + j;
          const float o = out[size_t(b) * outStride + j];
          if (3 >= seq[b]) {
            ASSERT_EQ(o, 0.0f);
            ASSERT_EQ(cell[s], cell0[s]);
            ASSERT_EQ(hid[s], hid0[s]);
            continue;
          }
          auto pre = [&](int g) {
            return double(R[size_t(b) * 4 * Hs + g * Hs + j]) + X[size_t(b) * inStride + g * Hs + j] + bias[g * Hs + j] + bias[(4 + g) * Hs + j];
          };
          auto clp = [&](double v) { return std::clamp(v, -double(clip), double(clip)); };
          const double cs = cell0[s];
          const double gi = Act(kF, aF, bF, clp(peep[j] * cs + pre(0)));
          const double gf = coupled ? 1 - gi : Act(kF, aF, bF, clp(peep[2 * Hs + j] * cs + pre(2)));
          const double gc = Act(kG, aG, bG, clp(pre(3)));
          const double c = gc * gi + cs * gf;
          const double go = Act(kF, aF, bF, clp(c * peep[Hs + j] + pre(1)));
          const double h = Act(kH, aH, bH, c) * go;
          ASSERT_NEAR(cell[s], c, 1e-4 * (1 + std::fabs(c))) << Hs << " kinds " << kF << kG << kH << " b " << b << " j " << j;
          ASSERT_NEAR(hid[s], h, 2e-4 * (1 + std::fabs(h))) << Hs << " kinds " << kF << kG << kH << " b " << b << " j " << j;
          ASSERT_EQ(o, hid[s]);
        }
      for (int b = 0; b < batch; ++b)
        for (int j = Hs; j < outStride; ++j) ASSERT_EQ(out[size_t(b) * outStride + j], 9.0f);
    }
  }
}

// The output activation alone: identity gates (kind 3 with 1, 0), input gate
// 1, forget gate 0 and output gate 1 make the hidden state kindH of the
// candidate pre-activation. Kind 10 is ln(e^x + 1) on x clamped to [-60, 60]
// (x itself above 60, where the clamp would cap it at 60); kind 2 is
// 1 / (e^v + 1) with v = -x clamped to [-60, 60]. Against SLEEF's four-lane SSE2 forms: SSE2 bit for bit,
// AVX2 (fused multiply-adds inside SLEEF) within 4 ulp.
float Exp4(float x) { return _mm_cvtss_f32(Sleef_expf4_u10sse2(_mm_set1_ps(x))); }
float Log4(float x) { return _mm_cvtss_f32(Sleef_logf4_u35sse2(_mm_set1_ps(x))); }

TEST_P(RecurrentTest, OutputActivationsMatchTheirFormulas) {
  const int Hs = 45;  // vector blocks and a single-element tail
  const int32_t allowedUlps = GetParam() == vorta::CpuVariant::Avx2 ? 4 : 0;
  std::mt19937 rng(9);
  for (int kind : {10, 2}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<float> zero3(3 * Hs), bias(8 * Hs), X(4 * Hs), R(4 * Hs), out(Hs), cell(Hs), hid(Hs);
      for (int j = 0; j < Hs; ++j) {
        X[j] = 1.0f, X[Hs + j] = 1.0f, X[2 * Hs + j] = 0.0f;
        float c = std::uniform_real_distribution<float>(-25.0f, 25.0f)(rng);
        if (j % 9 == 0) c *= 4;                  // past the clamps
        if (j == 44 && round % 4 == 0) c = NAN;  // in the single-element tail
        X[3 * Hs + j] = c;
      }
      std::vector<int32_t> seq = {1};
      VortaRecurrentStepJob job{zero3.data(), bias.data(), X.data(), R.data(), out.data(), cell.data(), hid.data(), seq.data(),
                                0, 4 * Hs, Hs, Hs, 0, {}, 3.4028235e38f, 3, 1.0f, 0.0f, 3, 1.0f, 0.0f, kind, 0.0f, 0.0f, {}};
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_LSTM_STEP), &job, sizeof job, 1, {});
      for (int j = 0; j < Hs; ++j) {
        const float x = X[3 * Hs + j];
        if (std::isnan(x)) {
          EXPECT_TRUE(std::isnan(hid[j])) << "kind " << kind << " j " << j;
          continue;
        }
        const float want = kind == 10 ? (x > 60.0f ? x : Log4(Exp4(std::max(x, -60.0f)) + 1.0f))
                                      : 1.0f / (Exp4(std::min(std::max(-x, -60.0f), 60.0f)) + 1.0f);
        int32_t a, b;
        memcpy(&a, &hid[j], 4), memcpy(&b, &want, 4);
        EXPECT_LE(std::abs(a - b), allowedUlps) << "kind " << kind << " x " << x << ": " << hid[j] << " against " << want;
      }
    }
  }
}

// Direct bilinear reference in double; the sample grid is the documented one
// (counts from the float ceiling of roi · invPooled).
std::vector<double> RoiRef(const VortaRoiAlignJob& j, int regions) {
  std::vector<double> out;
  for (int n = 0; n < regions; ++n) {
    const float* r = j.regions + 4 * n;
    const float x1 = r[0] * j.spatialScale, y1 = r[1] * j.spatialScale;
    const float roiW = std::max(r[2] * j.spatialScale - x1, 1.0f), roiH = std::max(r[3] * j.spatialScale - y1, 1.0f);
    const int sx = j.samplingRatio >= 1 ? j.samplingRatio : int(std::ceil(roiW * j.invPooledW));
    const int sy = j.samplingRatio >= 1 ? j.samplingRatio : int(std::ceil(roiH * j.invPooledH));
    const double bw = double(roiW) / j.pooledW, bh = double(roiH) / j.pooledH;
    for (int c = 0; c < j.channels; ++c)
      for (int ph = 0; ph < j.pooledH; ++ph)
        for (int pw = 0; pw < j.pooledW; ++pw) {
          const float* v = j.input + size_t(j.imageStride) * j.imageIndex[n] + size_t(j.plane) * c;
          double acc = 0;
          for (int iy = 0; iy < sy; ++iy)
            for (int ix = 0; ix < sx; ++ix) {
              double y = y1 + ph * bh + (iy + 0.5) * bh / sy, x = x1 + pw * bw + (ix + 0.5) * bw / sx;
              if (y >= j.H || y < -1 || x >= j.W || x < -1) continue;
              y = std::min(std::max(y, 0.0), double(j.H - 1));
              x = std::min(std::max(x, 0.0), double(j.W - 1));
              const int y0 = int(y), x0 = int(x), y1i = std::min(y0 + 1, j.H - 1), x1i = std::min(x0 + 1, j.W - 1);
              const double ly = y - y0, lx = x - x0;
              const double w[4] = {(1 - lx) * (1 - ly), (1 - ly) * lx, (1 - lx) * ly, lx * ly};
              const double p[4] = {v[y0 * j.W + x0], v[y0 * j.W + x1i], v[y1i * j.W + x0], v[y1i * j.W + x1i]};
              for (int k = 0; k < 4; ++k) acc = j.mode == 1 ? std::max(acc, w[k] * p[k]) : acc + w[k] * p[k];
            }
          out.push_back(j.mode == 1 ? acc : acc / std::max(sx * sy, 1));
        }
  }
  return out;
}

TEST_P(RecurrentTest, RoiAlignMatchesABilinearReference) {
  std::mt19937 rng(8);
  const int images = 2, C = 3, H = 9, W = 13;
  std::vector<float> fm(size_t(images) * C * H * W);
  for (auto& e : fm) e = float(int(rng() % 200) - 100) * 0.01f;
  // Regions inside, partly outside, thinner than a pixel, and 105 wide over 7 columns (16 samples: 105 · float(1/7) > 15).
  std::vector<float> regions = {1, 1, 7, 6,  -3, -2, 30, 14,  4.2f, 3.1f, 4.4f, 3.3f,  0, 0, 105, 3,  10, 5, 12.5f, 8.75f};
  std::vector<int32_t> image = {0, 1, 1, 0, 1};
  const int R = 5;
  EXPECT_EQ(std::ceil(105.0f * (1.0f / 7)), 16.0f);
  for (int mode : {0, 1})
    for (int ratio : {0, 2})
      for (float scale : {1.0f, 0.5f}) {
        const int pH = 3, pW = 7;
        std::vector<float> out(size_t(R) * C * pH * pW, 5.0f);
        VortaRoiAlignJob j{scale, 0, C, H, W, H * W, C * H * W, pH, pW, 1.0f / pH, 1.0f / pW, ratio, mode, 0,
                           fm.data(), regions.data(), image.data(), out.data()};
        vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_ROIALIGN_ALIGN), &j, sizeof j, int32_t(out.size()),
                            Schedule(3, 4, true, true, ratio));
        const auto want = RoiRef(j, R);
        for (size_t e = 0; e < out.size(); ++e) ASSERT_NEAR(out[e], want[e], 1e-5) << mode << " " << ratio << " " << e;
        j.mode = 2;
        std::fill(out.begin(), out.end(), 5.0f);
        vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_ROIALIGN_ALIGN), &j, sizeof j, int32_t(out.size()));
        for (float v : out) ASSERT_EQ(v, 5.0f);
      }
}

VORTA_INSTANTIATE_VARIANTS(Variants, RecurrentTest);

}  // namespace
