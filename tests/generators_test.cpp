// Fill, ranges and the counter-based random tensors, against an independent
// replay of the per-element generator, under several schedules (the results
// must not depend on batches or workers), with distribution checks.
#include <gtest/gtest.h>
#include <vorta/vorta.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/variant_test.h"

namespace {

using vorta_test::Schedule;
using vorta_test::SameFloat;

uint32_t HashStart(uint32_t v) {
  v = (v ^ 61u) ^ (v >> 16);
  v *= 9u;
  v ^= v >> 4;
  v *= 0x27D4EB2Du;
  return v ^ (v >> 15);
}
uint32_t Hash(uint32_t seed, uint32_t i) {
  const uint32_t n = i + seed;
  return HashStart(n == 0xFFFFFFFFu ? 0x8000003Du : n + 62u);
}
uint32_t Next(uint32_t s) {
  s ^= s << 13;
  s ^= s >> 17;
  return s ^ (s << 5);
}
float Uniform(uint32_t s) { return std::bit_cast<float>(0x3F800000u | (s >> 9)) - 1.0f; }
float U1(uint32_t seed, uint32_t i) { return Uniform(Next(Hash(seed, i))); }

// The polar method with the library's float steps and a double logarithm.
float NormalRef(uint32_t seed, uint32_t i, float mean, float scale) {
  uint32_t s = Next(Hash(seed, i));
  for (;;) {
    uint32_t t = Next(s);
    float u = 2.0f * Uniform(s) - 1.0f, v = 2.0f * Uniform(t) - 1.0f;
    float r = u * u + v * v;
    s = Next(t);
    if (r < 1.0f && r != 0.0f) return u * scale * std::sqrt(float(std::log(double(r))) * -2.0f / r) + mean;
  }
}

const vorta::host::JobOptions kSchedules[] = {
    Schedule(1, 1 << 20, false, false, 2), Schedule(3, 7, true, true, 3), Schedule(2, 1, false, false, 4)};

// Runs a generator into a fresh array of n elements of T (starting as init),
// whose address goes into the record's output field.
template <class T, class Record, class Field>
std::vector<T> RunGen(const char* name, Record rec, Field Record::*out, int32_t n,
                      const vorta::host::JobOptions& o, T init = T{}) {
  std::vector<T> v(n, init);
  rec.*out = reinterpret_cast<Field>(v.data());
  vorta::host::RunJob(vorta::host::LinkedJob(name), &rec, sizeof rec, n, o);
  return v;
}

class GeneratorTest : public vorta_test::VariantTest {};

TEST_P(GeneratorTest, RandomTensorsReplayTheGeneratorUnderEverySchedule) {
  const int32_t n = 20011;
  std::vector<float> probs(n);
  std::mt19937 rng(7);
  for (auto& p : probs) p = vorta_test::RandomFloat(rng, true) * 0.5f + 0.5f;
  for (uint32_t seed : {0u, 12345u, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
    for (const auto& o : kSchedules) {
      VortaRandomFillJob u{nullptr, seed, -2.5f, 7.0f}, g{nullptr, seed, 1.5f, 0.75f};
      auto uni = RunGen<float>(VORTA_EXPORT_RANDOM_UNIFORM, u, &decltype(u)::output, n, o);
      auto nor = RunGen<float>(VORTA_EXPORT_RANDOM_NORMAL, g, &decltype(g)::output, n, o);
      VortaBernoulliJob bf{probs.data(), nullptr, seed, 0}, bi{probs.data(), nullptr, seed, 1};
      std::vector<float> bern(n);
      bf.output = bern.data();
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_RANDOM_BERNOULLI), &bf, sizeof bf, n, o);
      auto berni = RunGen<int32_t>(VORTA_EXPORT_RANDOM_BERNOULLI, bi, &decltype(bi)::output, n, o);
      for (int32_t i = 0; i < n; ++i) {
        const float u1 = U1(seed, uint32_t(i));
        ASSERT_TRUE(SameFloat(uni[i], u1 * 9.5f + -2.5f)) << i;
        const float want = NormalRef(seed, uint32_t(i), 1.5f, 0.75f);
        ASSERT_NEAR(nor[i], want, 2e-6f * (1 + std::fabs(want))) << i;
        const int32_t hit = u1 < probs[i];
        ASSERT_EQ(berni[i], hit) << i;
        ASSERT_TRUE(SameFloat(bern[i], float(hit))) << i;
      }
    }
  }
}

// Kolmogorov-Smirnov distance of a sample to a distribution function.
template <class Cdf>
double KsDistance(std::vector<float> v, Cdf cdf) {
  std::sort(v.begin(), v.end());
  double d = 0;
  for (size_t i = 0; i < v.size(); ++i)
    d = std::max({d, std::fabs(cdf(v[i]) - double(i) / v.size()), std::fabs(cdf(v[i]) - double(i + 1) / v.size())});
  return d;
}

TEST_P(GeneratorTest, DistributionsHaveTheirMoments) {
  const int32_t n = 1 << 18;
  VortaRandomFillJob u{nullptr, 99, 0.0f, 1.0f}, g{nullptr, 99, 0.0f, 1.0f};
  auto uni = RunGen<float>(VORTA_EXPORT_RANDOM_UNIFORM, u, &decltype(u)::output, n, kSchedules[1]);
  auto nor = RunGen<float>(VORTA_EXPORT_RANDOM_NORMAL, g, &decltype(g)::output, n, kSchedules[1]);
  double m = 0, v = 0, mn = 0, vn = 0;
  for (int32_t i = 0; i < n; ++i) m += uni[i], mn += nor[i];
  m /= n, mn /= n;
  for (int32_t i = 0; i < n; ++i) v += (uni[i] - m) * (uni[i] - m), vn += (nor[i] - mn) * (nor[i] - mn);
  v /= n, vn /= n;
  EXPECT_NEAR(m, 0.5, 0.005);
  EXPECT_NEAR(v, 1.0 / 12, 0.002);
  EXPECT_NEAR(mn, 0.0, 0.01);
  EXPECT_NEAR(vn, 1.0, 0.02);
  // 3.0 / sqrt(n) is far beyond the 0.1% critical value (1.95 / sqrt(n)).
  EXPECT_LT(KsDistance(uni, [](double x) { return std::clamp(x, 0.0, 1.0); }), 3.0 / std::sqrt(n));
  EXPECT_LT(KsDistance(nor, [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }), 3.0 / std::sqrt(n));
}

TEST_P(GeneratorTest, EdgeValues) {
  const auto& o = kSchedules[1];
  // Seed 0xFFFFFFFF at index 0 starts from 0x8000003D.
  VortaRandomFillJob u{nullptr, 0xFFFFFFFFu, 0.0f, 1.0f};
  EXPECT_EQ(RunGen<float>(VORTA_EXPORT_RANDOM_UNIFORM, u, &decltype(u)::output, 9, o)[0], Uniform(Next(HashStart(0x8000003Du))));
  // low == high fills low; a span above the float range stays finite and inside it.
  VortaRandomFillJob same{nullptr, 5, -3.25f, -3.25f}, wide{nullptr, 5, -3e38f, 3e38f};
  for (float x : RunGen<float>(VORTA_EXPORT_RANDOM_UNIFORM, same, &decltype(same)::output, 37, o)) EXPECT_EQ(x, -3.25f);
  for (float x : RunGen<float>(VORTA_EXPORT_RANDOM_UNIFORM, wide, &decltype(wide)::output, 1000, o)) EXPECT_TRUE(x >= -3e38f && x < 3e38f) << x;
  // Bernoulli: 0 and NaN never hit, 1 always does; other output kinds write nothing.
  std::vector<float> p = {0.0f, 1.0f, NAN, 0.0f, 1.0f, 1.0f, NAN, 0.0f, 1.0f};
  VortaBernoulliJob b{p.data(), nullptr, 3, 1}, bad{p.data(), nullptr, 3, 2};
  auto hits = RunGen<int32_t>(VORTA_EXPORT_RANDOM_BERNOULLI, b, &decltype(b)::output, 9, o);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(hits[i], p[i] == 1.0f) << i;
  for (int32_t x : RunGen<int32_t>(VORTA_EXPORT_RANDOM_BERNOULLI, bad, &decltype(bad)::output, 9, o, 77)) EXPECT_EQ(x, 77);
  // Ranges: int32 wraps; float(i)·delta + start, with start itself where the product is 0.
  VortaIntRangeJob ir{nullptr, 21, {}, 2147483647, 1};
  auto ints = RunGen<int32_t>(VORTA_EXPORT_RANDOM_INT_RANGE, ir, &decltype(ir)::output, 21, o);
  for (int i = 0; i < 21; ++i) EXPECT_EQ(ints[i], int32_t(2147483647u + uint32_t(i)));
  struct { float start, delta; } cases[] = {{-0.0f, 0.0f}, {-0.0f, -0.0f}, {0.0f, -0.0f}, {1.5f, 0.1f}, {-7.0f, 3e37f}};
  for (auto c : cases) {
    VortaFloatRangeJob fr{nullptr, 19, c.start, c.delta};
    auto f = RunGen<float>(VORTA_EXPORT_RANDOM_FLOAT_RANGE, fr, &decltype(fr)::output, 23, o, 9.0f);
    for (int i = 0; i < 23; ++i) {
      float prod = float(i) * c.delta;
      float want = i >= 19 ? 9.0f : prod == 0 ? c.start : prod + c.start;
      EXPECT_TRUE(SameFloat(f[i], want)) << i << " " << c.start << " " << c.delta;
    }
  }
  VortaFillJob fill{nullptr, 0xdeadbeefu};
  for (uint32_t x : RunGen<uint32_t>(VORTA_EXPORT_RANDOM_FILL, fill, &decltype(fill)::output, 29, o)) EXPECT_EQ(x, 0xdeadbeefu);
}

VORTA_INSTANTIATE_VARIANTS(Variants, GeneratorTest);

}  // namespace
