// Softmax, log-softmax, the normalisation jobs and the cumulative sums through
// their exports, both variants, one and several workers with random, empty and
// tiny batches, contiguous and strided axes, out of place and in place.
//
// Oracles: a float32 replay of the stated order (in-order maximum, partial sums
// ((P0+P4)+(P2+P6))+((P1+P5)+(P3+P7)) on contiguous rows of eight or more, the
// stated groupings of the tails), bit for bit wherever the variant has that
// order; and a double-precision reference within an error bound everywhere,
// which is the check for the AVX2 variant's 32 partials.
#include <gtest/gtest.h>
#include <immintrin.h>
#include <sleef.h>
#include <stdint.h>

#include <cmath>
#include <vector>

#include <vorta/vorta.h>

#include "tensor/axis_records.h"
#include "tests/variant_test.h"

namespace {

using vorta::CpuVariant;
using vorta_test::SameFloat;
using vorta_test::Schedule;
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");
constexpr double kEps = 0x1p-24;

std::vector<vorta::host::JobOptions> Schedules() {
  return {Schedule(1, 0, false, false, 2), Schedule(3, 3, true, true, 5)};
}

class AxisJobsTest : public vorta_test::VariantTest {
 protected:
  bool Avx2() const { return GetParam() == CpuVariant::Avx2; }
  float Exp(float x) const {
    return _mm_cvtss_f32(Avx2() ? Sleef_expf4_u10avx2128(_mm_set1_ps(x)) : Sleef_expf4_u10sse2(_mm_set1_ps(x)));
  }
  float Log(float x) const {
    return _mm_cvtss_f32(Avx2() ? Sleef_logf4_u35avx2128(_mm_set1_ps(x)) : Sleef_logf4_u35sse2(_mm_set1_ps(x)));
  }
  // Whether the variant sums n contiguous elements in the stated eight-partial order.
  bool StatedOrder(int32_t n) const { return !Avx2() || n < 32; }
};

// Σ term(x_k) in the stated order: eight partials on the first ⌊n/8⌋·8 when `partials`.
template <class Term>
float StatedSum(int32_t n, bool partials, Term term) {
  float acc = 0.0f, p[8] = {};
  int32_t k = 0;
  if (partials && n >= 8) {
    for (; k + 8 <= n; k += 8)
      for (int j = 0; j < 8; ++j) p[j] += term(k + j);
    acc = ((p[0] + p[4]) + (p[2] + p[6])) + ((p[1] + p[5]) + (p[3] + p[7]));
  }
  for (; k < n; ++k) acc += term(k);
  return acc;
}

// One Newton step on the processor's estimate, from its definition, for normal v.
float RsqrtRef(float v) {
  const float r = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(v)));
  return (r * -0.5f) * (v * r * r - 3.0f);
}

struct Shape {
  int32_t outer, N, S;
  int64_t Size() const { return int64_t(outer) * N * S; }
  int64_t At(int32_t line, int32_t k) const { return (int64_t(line / S) * N + k) * S + line % S; }
};
const Shape kShapes[] = {{3, 1, 1},  {4, 7, 1},  {3, 8, 1}, {3, 9, 1},   {2, 31, 1},  {2, 33, 1},
                         {2, 1000, 1}, {2, 7, 5}, {2, 33, 17}, {1, 1000, 3}, {2, 9, 64}};

// ---- softmax and log-softmax ----

TEST_P(AxisJobsTest, SoftmaxAgainstReplayAndDouble) {
  std::mt19937 rng(3);
  for (bool log : {false, true})
    for (const Shape& s : kShapes)
      for (bool specials : {false, true})
        for (bool inPlace : {false, true})
          for (const auto& opt : Schedules()) {
            std::vector<float> x(s.Size());
            for (float& e : x) e = specials ? vorta_test::RandomFloat(rng, true) * 30 : float(rng() % 4000) / 100 - 20;
            if (specials && s.N > 1) x[s.At(0, s.N - 1)] = kInf;  // line 0 all NaN
            std::vector<float> y(inPlace ? 0 : x.size() + 8, 1234.5f), in = x;
            vorta::AxisReduceJob job{in.data(), inPlace ? in.data() : y.data(), s.N, s.S};
            vorta::host::RunJob(vorta::host::LinkedJob(log ? VORTA_EXPORT_SOFTMAX_LOG_SOFTMAX : VORTA_EXPORT_SOFTMAX_SOFTMAX),
                                &job, sizeof job, s.outer * s.S, opt);
            const float* got = inPlace ? in.data() : y.data();
            if (!inPlace) ASSERT_EQ(1234.5f, y[x.size()]) << "wrote past the output";
            for (int32_t o = 0; o < s.outer * s.S; ++o) {
              auto X = [&](int32_t k) { return x[s.At(o, k)]; };
              float m = -3.4028235e38f;
              for (int32_t k = 0; k < s.N; ++k) m = m > X(k) ? m : X(k);
              const bool partials = s.S == 1 && (log || !inPlace);
              const float sum = StatedSum(s.N, partials, [&](int32_t k) { return Exp(X(k) - m); });
              double dsum = 0;
              for (int32_t k = 0; k < s.N; ++k) dsum += std::exp(double(X(k)) - m);
              for (int32_t k = 0; k < s.N; ++k) {
                const float want = log ? (X(k) - m) - Log(sum) : Exp(X(k) - m) * (1.0f / sum);
                const float g = got[s.At(o, k)];
                SCOPED_TRACE(::testing::Message() << (log ? "log-" : "") << "softmax N " << s.N << " S " << s.S
                                                  << " in place " << inPlace << " line " << o << " k " << k);
                if (s.S != 1 || StatedOrder(s.N)) ASSERT_TRUE(SameFloat(want, g)) << want << " vs " << g;
                if (specials) continue;
                const double ref = log ? X(k) - m - std::log(dsum) : std::exp(X(k) - m) / dsum;
                const double chain = (s.N / 8 + 48) * kEps;
                const double tol = log ? chain + 8 * kEps * (std::fabs(X(k) - m) + std::log(dsum) + 1)
                                       : ref * (chain + 8 * kEps) + 1e-44;
                ASSERT_NEAR(ref, g, tol);
              }
            }
          }
}

TEST_P(AxisJobsTest, SoftmaxListedCases) {
  struct Case {
    std::vector<float> row;
    float softmax, logSoftmax;  // every element; NaN for NaN
  } cases[] = {{{1, kInf, 2}, kNaN, kNaN}, {{-kInf, -kInf}, kNaN, kNaN}, {{3.5f}, 1.0f, 0.0f}, {{-kInf}, kNaN, kNaN}};
  for (const Case& c : cases)
    for (int repeat : {1, 12})
      for (bool log : {false, true}) {
        std::vector<float> row;
        for (int r = 0; r < repeat; ++r) row.insert(row.end(), c.row.begin(), c.row.end());
        if (c.row.size() == 1 && repeat > 1) continue;
        std::vector<float> y(row.size());
        vorta::AxisReduceJob job{row.data(), y.data(), int32_t(row.size()), 1};
        vorta::host::RunJob(vorta::host::LinkedJob(log ? VORTA_EXPORT_SOFTMAX_LOG_SOFTMAX : VORTA_EXPORT_SOFTMAX_SOFTMAX),
                            &job, sizeof job, 1);
        for (float g : y) EXPECT_TRUE(SameFloat(log ? c.logSoftmax : c.softmax, g)) << g;
      }
  std::vector<float> big(1000, 1000.0f), y(1000);  // the maximum is subtracted first
  for (bool log : {false, true}) {
    vorta::AxisReduceJob job{big.data(), y.data(), 1000, 1};
    vorta::host::RunJob(vorta::host::LinkedJob(log ? VORTA_EXPORT_SOFTMAX_LOG_SOFTMAX : VORTA_EXPORT_SOFTMAX_SOFTMAX),
                        &job, sizeof job, 1);
    for (float g : y) EXPECT_NEAR(log ? -std::log(1000.0) : 1e-3, g, 4 * 0x1p-24 * (log ? 6.9 : 1e-3));
  }
}

// ---- normalisation ----

TEST_P(AxisJobsTest, RowStatisticsAndTails) {
  std::mt19937 rng(9);
  for (int32_t d : {0, 1, 3, 7, 8, 9, 31, 33, 100, 768})
    for (const auto& opt : Schedules()) {
      const int32_t rows = 7;
      std::vector<float> x(size_t(rows) * d + 1), stats(2 * rows + 2, -9.0f), scale(d), bias(d);
      for (float& e : x) e = float(rng() % 2000) / 100 - 10 + 3;
      for (int32_t i = 0; i < d; ++i) scale[i] = float(rng() % 300) / 100 - 1.5f, bias[i] = float(rng() % 100) / 10;
      VortaRowStatsJob sj{x.data(), stats.data(), d, 0};
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_ROW_STATS), &sj, sizeof sj, rows, opt);
      EXPECT_EQ(-9.0f, stats[2 * rows]);
      for (int32_t b = 0; b < rows; ++b) {
        SCOPED_TRACE(::testing::Message() << "d " << d << " row " << b);
        const float* r = x.data() + int64_t(b) * d;
        if (d == 0) {
          EXPECT_EQ(0.0f, stats[2 * b]);
          EXPECT_EQ(0.0f, stats[2 * b + 1]);
          continue;
        }
        const float R = 1.0f / float(d);
        const float mean = StatedSum(d, true, [&](int32_t k) { return r[k]; }) * R;
        const float var = StatedSum(d, true, [&](int32_t k) { return r[k] * r[k]; }) * R - mean * mean;
        if (StatedOrder(d)) {
          ASSERT_EQ(mean, stats[2 * b]);
          ASSERT_EQ(var, stats[2 * b + 1]);
        }
        double dm = 0, dv = 0;
        for (int32_t k = 0; k < d; ++k) dm += r[k], dv += double(r[k]) * r[k];
        ASSERT_NEAR(dm / d, stats[2 * b], (d / 8 + 48) * kEps * 13);
        ASSERT_NEAR(dv / d - (dm / d) * (dm / d), stats[2 * b + 1], (d / 8 + 48) * kEps * 13 * 26);
      }
      if (d == 0) continue;
      for (bool rms : {false, true})
        for (bool inPlace : {false, true}) {
          std::vector<float> in = x, y(x.size(), 77.0f), ms(rows);
          for (int32_t b = 0; b < rows; ++b) ms[b] = stats[2 * b + 1] + stats[2 * b] * stats[2 * b];
          float* out = inPlace ? in.data() : y.data();
          const float eps = 1e-5f;
          if (rms) {
            VortaRmsNormJob j{eps, d, 0, in.data(), scale.data(), ms.data(), out};
            vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_RMS_NORM), &j, sizeof j, rows, opt);
          } else {
            VortaLayerNormJob j{eps, d, 0, in.data(), scale.data(), bias.data(), stats.data(), out};
            vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_LAYER_NORM), &j, sizeof j, rows, opt);
          }
          if (!inPlace) EXPECT_EQ(77.0f, y[size_t(rows) * d]);
          for (int32_t b = 0; b < rows; ++b)
            for (int32_t i = 0; i < d; ++i) {
              const float v = x[int64_t(b) * d + i], mean = stats[2 * b];
              const float g = RsqrtRef(eps + (rms ? ms[b] : stats[2 * b + 1]));
              const bool wide = i < d - d % 4;  // the four-wide part of every chunk
              const float want = rms ? (v * scale[i]) * g
                                 : wide ? (v - mean) * (scale[i] * g) + bias[i]
                                        : ((v - mean) * scale[i]) * g + bias[i];
              ASSERT_EQ(want, out[int64_t(b) * d + i]) << "rms " << rms << " d " << d << " row " << b << " i " << i;
            }
        }
    }
}

TEST_P(AxisJobsTest, TailEdges) {
  // epsilon + variance = 0 gives NaN throughout; a subnormal one a finite root.
  float x[9] = {1, 2, 3, 4, 5, 6, 7, 8, 1e-20f}, scale[9], bias[9] = {}, y[9];
  for (float& s : scale) s = 1.0f;
  for (auto [var, nan] : {std::pair{0.0f, true}, std::pair{1e-40f, false}}) {
    float stats[2] = {0.0f, var};
    VortaLayerNormJob j{0.0f, 9, 0, x, scale, bias, stats, y};
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_LAYER_NORM), &j, sizeof j, 1);
    for (int i = 0; i < 9; ++i)
      if (nan) EXPECT_TRUE(std::isnan(y[i])) << i;
      else EXPECT_NEAR(double(x[i]) / std::sqrt(double(var)), y[i], 1e-6 * double(x[i]) / std::sqrt(double(var)));
  }
}

TEST_P(AxisJobsTest, ChannelJobs) {
  std::mt19937 rng(4);
  for (auto [K, I] : {std::pair{1, 1}, {3, 1}, {5, 7}, {2, 33}, {4, 100}})
    for (bool batchNorm : {false, true})
      for (bool inPlace : {false, true})
        for (const auto& opt : Schedules()) {
          const int32_t count = 3 * K * I;
          std::vector<float> x(count), y(count + 1, 5.0f), scale(K), bias(K), mean(K), var(K);
          for (float& e : x) e = vorta_test::RandomFloat(rng, true) * 4;
          for (int32_t c = 0; c < K; ++c)
            scale[c] = float(rng() % 9) - 4, bias[c] = float(rng() % 7) / 4, mean[c] = float(rng() % 5) / 3,
            var[c] = float(rng() % 50) / 7;
          std::vector<float> in = x;
          float* out = inPlace ? in.data() : y.data();
          if (batchNorm) {
            VortaBatchNormJob j{1e-3f, K, I, 0, in.data(), scale.data(), bias.data(), mean.data(), var.data(), out};
            vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_BATCH_NORM), &j, sizeof j, count, opt);
          } else {
            VortaChannelAffineJob j{K, I, in.data(), scale.data(), bias.data(), out};
            vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NORMALIZATION_CHANNEL_AFFINE), &j, sizeof j, count, opt);
          }
          EXPECT_EQ(5.0f, y[count]);
          for (int32_t e = 0; e < count; ++e) {
            const int32_t c = (e / I) % K;
            const float want = batchNorm ? (x[e] - mean[c]) * (RsqrtRef(1e-3f + var[c]) * scale[c]) + bias[c]
                                         : x[e] * scale[c] + bias[c];
            ASSERT_TRUE(SameFloat(want, out[e])) << "K " << K << " I " << I << " element " << e;
          }
        }
}

// ---- cumulative sums ----

TEST_P(AxisJobsTest, CumulativeSums) {
  std::mt19937 rng(6);
  for (bool isInt : {false, true})
    for (const Shape& s : kShapes)
      for (int mode = 0; mode < 4; ++mode)
        for (bool inPlace : {false, true}) {
          const bool reverse = mode & 1, exclusive = mode & 2;
          if (inPlace && exclusive) continue;  // the exclusive form needs its own output
          for (const auto& opt : Schedules()) {
            std::vector<uint32_t> x(s.Size()), y(x.size() + 1, 0x5a5a5a5au);
            for (uint32_t& e : x)
              e = isInt ? uint32_t(rng()) >> (rng() % 32) : std::bit_cast<uint32_t>(vorta_test::RandomFloat(rng, true));
            std::vector<uint32_t> in = x;
            uint32_t* out = inPlace ? in.data() : y.data();
            VortaCumulativeSumJob j{in.data(), out, s.N, s.S, uint8_t(reverse ? 3 : 0), uint8_t(exclusive ? 1 : 0), {}};
            vorta::host::RunJob(vorta::host::LinkedJob(isInt ? VORTA_EXPORT_CUMSUM_INT32 : VORTA_EXPORT_CUMSUM_FLOAT), &j,
                                sizeof j, s.outer * s.S, opt);
            EXPECT_EQ(0x5a5a5a5au, y[x.size()]);
            for (int32_t o = 0; o < s.outer * s.S; ++o) {
              uint32_t ia = 0;
              float fa = 0.0f;
              for (int32_t t = 0; t < s.N; ++t) {
                const int64_t at = s.At(o, reverse ? s.N - 1 - t : t);
                const uint32_t before = isInt ? ia : std::bit_cast<uint32_t>(fa);
                ia += x[at];
                fa += std::bit_cast<float>(x[at]);
                const uint32_t want = exclusive ? before : isInt ? ia : std::bit_cast<uint32_t>(fa);
                ASSERT_TRUE(isInt ? want == out[at] : SameFloat(std::bit_cast<float>(want), std::bit_cast<float>(out[at])))
                    << "int " << isInt << " mode " << mode << " N " << s.N << " S " << s.S << " line " << o << " t " << t;
              }
            }
          }
        }
}

// An output one element after its input: lines run together must still give
// what one line after another, element by element, gives on the shared buffer.
TEST_P(AxisJobsTest, OverlappingOutputGivesLineOrder) {
  std::mt19937 rng(8);
  for (const Shape& s : {Shape{9, 7, 1}, Shape{3, 6, 5}, Shape{2, 9, 40}})
    for (bool softmax : {false, true}) {
      std::vector<float> buffer(s.Size() + 1), want;
      for (float& e : buffer) e = float(rng() % 200) / 50 - 2;
      want = buffer;
      float* in = want.data();
      float* out = in + 1;
      for (int32_t o = 0; o < s.outer * s.S; ++o) {  // the line order, on the shared buffer
        float acc = 0.0f, m = -3.4028235e38f;
        for (int32_t k = 0; k < s.N; ++k) m = m > in[s.At(o, k)] ? m : in[s.At(o, k)];
        for (int32_t k = 0; k < s.N; ++k) out[s.At(o, k)] = softmax ? Exp(in[s.At(o, k)] - m) : (acc += in[s.At(o, k)]);
        for (int32_t k = 0; k < s.N && softmax; ++k) acc += out[s.At(o, k)];
        const float inv = 1.0f / acc;
        for (int32_t k = 0; k < s.N && softmax; ++k) out[s.At(o, k)] *= inv;
      }
      VortaCumulativeSumJob cj{buffer.data(), buffer.data() + 1, s.N, s.S, 0, 0, {}};
      vorta::AxisReduceJob sj{buffer.data(), buffer.data() + 1, s.N, s.S};
      vorta::host::RunJob(vorta::host::LinkedJob(softmax ? VORTA_EXPORT_SOFTMAX_SOFTMAX : VORTA_EXPORT_CUMSUM_FLOAT),
                          softmax ? static_cast<void*>(&sj) : &cj, softmax ? sizeof sj : sizeof cj, s.outer * s.S,
                          Schedule(1, 0, false, false, 2));  // one worker: lines share elements
      for (size_t i = 0; i < buffer.size(); ++i)
        ASSERT_TRUE(SameFloat(want[i], buffer[i])) << "softmax " << softmax << " S " << s.S << " at " << i << ": " << want[i] << " vs " << buffer[i];
    }
}

// Contiguous rows whose output starts 32 bytes or more after the input, inside
// the row or the next: exponentials are stored in element order on the shared
// buffer (later inputs read back as exponentials), then summed in the
// variant's partial-sum order.
TEST_P(AxisJobsTest, SoftmaxOutputShortlyAfterInput) {
  std::mt19937 rng(9);
  auto variantSum = [&](const float* e, int32_t n) {
    if (StatedOrder(n)) return StatedSum(n, true, [&](int32_t k) { return e[k]; });
    float p[32] = {}, v[8];
    int32_t k = 0;
    for (; k + 32 <= n; k += 32)
      for (int j = 0; j < 32; ++j) p[j] += e[k + j];
    for (int j = 0; j < 8; ++j) v[j] = (p[j] + p[j + 8]) + (p[j + 16] + p[j + 24]);
    float acc = ((v[0] + v[4]) + (v[2] + v[6])) + ((v[1] + v[5]) + (v[3] + v[7]));
    for (; k < n; ++k) acc += e[k];
    return acc;
  };
  for (int32_t N : {77, 1000, 1100})
    for (int32_t gap : {8, 9, 40, 600}) {
      const int32_t outer = 3;
      std::vector<float> buffer(outer * N + gap), want;
      for (float& e : buffer) e = float(rng() % 4000) / 100 - 20;
      want = buffer;
      for (int32_t o = 0; o < outer; ++o) {  // one row after another, on the shared buffer
        const float* x = want.data() + o * N;
        float* y = want.data() + o * N + gap;
        float m = -3.4028235e38f;
        for (int32_t k = 0; k < N; ++k) m = m > x[k] ? m : x[k];
        for (int32_t k = 0; k < N; ++k) y[k] = Exp(x[k] - m);
        const float inv = 1.0f / variantSum(y, N);
        for (int32_t k = 0; k < N; ++k) y[k] *= inv;
      }
      vorta::AxisReduceJob job{buffer.data(), buffer.data() + gap, N, 1};
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_SOFTMAX_SOFTMAX), &job, sizeof job, outer,
                          Schedule(1, 0, false, false, 2));  // one worker: rows share elements
      for (size_t i = 0; i < buffer.size(); ++i)
        ASSERT_TRUE(SameFloat(want[i], buffer[i])) << "N " << N << " gap " << gap << " at " << i;
    }
}

VORTA_INSTANTIATE_VARIANTS(AxisJobs, AxisJobsTest);

}  // namespace
