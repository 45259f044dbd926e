// The parameterised maps against double or float32 replays of their
// definitions over full-range inputs, categorical sampling against a float
// walk, the selected-box list and the direct-call utilities.
#include <gtest/gtest.h>
#include <immintrin.h>
#include <vorta/vorta.h>

#include <cmath>
#include <vector>

#include "tensor/map_records.h"
#include "tests/variant_test.h"

namespace {

using vorta_test::SameFloat;
using vorta_test::Schedule;
constexpr float kInf = INFINITY;

std::vector<float> Inputs(int n) {
  std::mt19937 rng(21);
  std::vector<float> x(n);
  for (int i = 0; i < n; ++i) {
    x[i] = rng() % 3 == 0 ? std::bit_cast<float>(uint32_t(rng())) : vorta_test::RandomFloat(rng, true) * 6.0f;
  }
  const float specials[] = {NAN, kInf, -kInf, 0.0f, -0.0f, 3e38f, -3e38f, 1.7e38f, 0.5f, -0.5f};
  std::copy(std::begin(specials), std::end(specials), x.begin());
  return x;
}

template <class Out, class Record>
std::vector<Out> RunMap(const char* name, Record rec, int n, Out init = Out{}) {
  std::vector<Out> out(n + 3, init);
  rec.output = reinterpret_cast<decltype(rec.output)>(out.data());
  vorta::host::RunJob(vorta::host::LinkedJob(name), &rec, sizeof rec, n, Schedule(3, 5, true, true, n));
  return out;
}

class ParamMapsTest : public vorta_test::VariantTest {};

TEST_P(ParamMapsTest, FloatMapsMatchTheirDefinitions) {
  const int n = 4099;
  const auto x = Inputs(n);
  auto unary = [&](float p0, float p1) {
    return vorta::UnaryMapJob{x.data(), nullptr, n, std::bit_cast<uint32_t>(p0), std::bit_cast<uint32_t>(p1)};
  };
  for (auto [p0, p1] : {std::pair{0.2f, 0.5f}, {-3.0f, 0.25f}, {0.5f, 0.5f}, {-0.5f, 1.0f}, {0.5f, -0.5f}}) {
    auto hs = RunMap<float>(VORTA_EXPORT_PARAM_MAPS_HARD_SIGMOID, unary(p0, p1), n, 7.0f);
    auto sh = RunMap<float>(VORTA_EXPORT_PARAM_MAPS_SHRINK, unary(p0, p1), n, 7.0f);
    for (int i = 0; i < n; ++i) {
      const float v = x[i] * p0 + p1;
      ASSERT_TRUE(SameFloat(hs[i], std::isnan(v) ? 1.0f : std::fmax(std::fmin(v, 1.0f), 0.0f))) << x[i];
      const float want = x[i] < -p1 ? x[i] + p0 : x[i] > p1 ? x[i] - p0 : 0.0f;
      ASSERT_TRUE(SameFloat(sh[i], want)) << x[i] << " " << p0 << " " << p1;
    }
    ASSERT_EQ(hs[n], 7.0f);
  }
  auto ge = RunMap<float>(VORTA_EXPORT_PARAM_MAPS_GELU_ERF, unary(0, 0), n);
  for (int i = 0; i < n; ++i) {
    const double xd = x[i], want = 0.5 * xd * std::erfc(-xd / std::sqrt(2.0));
    if (std::isnan(x[i])) ASSERT_TRUE(std::isnan(ge[i]));
    else if (x[i] == -kInf || x[i] == 0) ASSERT_TRUE(SameFloat(ge[i], x[i] == 0 ? x[i] : -0.0f));
    else if (std::isinf(x[i])) ASSERT_EQ(ge[i], x[i]);
    else ASSERT_NEAR(ge[i], want, 1e-6 * std::max(1.0, std::fabs(xd))) << x[i];
  }
  // The infinity test with every pair of flags.
  for (int flags = 0; flags < 4; ++flags) {
    VortaInfinityTestJob job{x.data(), nullptr, uint8_t(flags & 1), uint8_t(flags >> 1)};
    auto r = RunMap<int32_t>(VORTA_EXPORT_PARAM_MAPS_INFINITY_TEST, job, n);
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(r[i], int((x[i] == -kInf && (flags & 1)) || (x[i] == kInf && (flags & 2)))) << i;
  }
}

TEST_P(ParamMapsTest, HalvesAndBytes) {
  std::vector<uint16_t> h(65536);
  for (int i = 0; i < 65536; ++i) h[i] = uint16_t(i);
  auto f = RunMap<float>(VORTA_EXPORT_PARAM_MAPS_HALF_TO_FLOAT, vorta::DirectMapJob{h.data(), nullptr}, 65536);
  for (int i = 0; i < 65536; ++i) {
    const int e = (i >> 10) & 31, m = i & 1023;
    const double mag = e == 0 ? std::ldexp(m, -24) : e == 31 ? (m ? NAN : INFINITY) : std::ldexp(1024 + m, e - 25);
    ASSERT_TRUE(SameFloat(f[i], float((i & 0x8000) ? -mag : mag))) << i;
  }
  std::vector<uint8_t> q(256);
  for (int i = 0; i < 256; ++i) q[i] = uint8_t(i);
  for (auto [scale, zp] : {std::pair{0.5f, 128}, {0.0123f, 0}, {-3e37f, 255}}) {
    auto d = RunMap<float>(VORTA_EXPORT_PARAM_MAPS_DEQUANTIZE, VortaDequantizeJob{q.data(), nullptr, scale, uint8_t(zp)}, 256);
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(SameFloat(d[i], float(double(i - zp) * scale))) << i;
  }
}

TEST_P(ParamMapsTest, CategoricalSampling) {
  std::mt19937 rng(4);
  const int rows = 7, per = 9, C = 5;
  std::vector<float> p(rows * C), u(rows * per);
  for (auto& e : p) e = float(rng() % 100) / 300.0f;
  for (auto& e : u) e = float(rng() % 1001) / 1000.0f;
  u[0] = 0, u[1] = -1, u[2] = NAN, u[3] = 1, u[4] = 1e-30f;
  p[0] = 0.2f, p[1] = 0.3f, p[2] = 0.5f, u[5] = 0.5f;
  for (int classes : {C, 1, 0}) {
    VortaCategoricalSampleJob job{p.data(), u.data(), nullptr, per, classes};
    auto got = RunMap<int32_t>(VORTA_EXPORT_PARAM_MAPS_CATEGORICAL, job, rows * per, 99);
    for (int i = 0; i < rows * per; ++i) {
      int want = -1;
      if (classes >= 1 && !(u[i] <= 0)) {
        float sum = 0;
        for (want = 0; want + 1 < classes; ++want)
          if (u[i] <= (sum += p[(i / per) * classes + want])) break;
      }
      ASSERT_EQ(got[i], want) << i << " " << classes;
    }
    if (classes == C) EXPECT_EQ(got[5], 1);
  }
}

TEST_P(ParamMapsTest, DirectCalls) {
  auto list = reinterpret_cast<VortaSelectedBoxListFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_SELECTED_BOXES));
  // 2 batches x 2 classes, rows of 3.
  const std::vector<int32_t> sel = {4, 1, -1, /**/ -1, 7, 7, /**/ 2, 3, 5, /**/ 0, -1, 9};
  struct Case { int maxTotal, maxPerRow; std::vector<int32_t> triples; } cases[] = {
      {100, 3, {0, 0, 4, 0, 0, 1, 1, 0, 2, 1, 0, 3, 1, 0, 5, 1, 1, 0}},
      {3, 3, {0, 0, 4, 0, 0, 1, 1, 0, 2, 1, 0, 3, 1, 0, 5}},  // the cap is tested before each row only
      {100, 2, {0, 0, 4, 0, 0, 1, 1, 0, 2, 1, 0, 3, 1, 1, 0}},
      {100, 8, {0, 0, 4, 0, 0, 1, 1, 0, 2, 1, 0, 3, 1, 0, 5, 1, 1, 0}},  // never past a row's own entries
      {100, 0, {}}, {0, 3, {}}};
  for (const auto& c : cases) {
    std::vector<int32_t> triples(60, -5);
    int32_t count = -7;
    VortaSelectedBoxList l{sel.data(), triples.data(), &count, 2, 2, 3, c.maxTotal, c.maxPerRow};
    list(&l);
    EXPECT_EQ(count, c.triples.empty() ? -7 : int32_t(c.triples.size() / 3));
    EXPECT_EQ(std::vector<int32_t>(triples.begin(), triples.begin() + c.triples.size()), c.triples);
    EXPECT_EQ(triples[c.triples.size()], -5);
  }
  std::vector<float> z(9, 1.0f);
  VortaZeroFillArgs args{z.data() + 1, 7};
  reinterpret_cast<VortaZeroFillFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_ZERO_FILL))(&args);
  EXPECT_EQ(z, (std::vector<float>{1, 0, 0, 0, 0, 0, 0, 0, 1}));
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(saved | 0x8040);  // flush to zero, denormals are zero
  const int32_t csr = reinterpret_cast<VortaControlStateFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_CONTROL_STATE))();
  const unsigned now = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(uint32_t(csr), now);
  EXPECT_EQ(reinterpret_cast<VortaConstantFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_CONSTANT))(), 0);
}

VORTA_INSTANTIATE_VARIANTS(Variants, ParamMapsTest);

}  // namespace
