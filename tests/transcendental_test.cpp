// The transcendental maps, through their exports on the reference host's job
// system, on both variants, with one and several workers and random and empty
// batches. Every member is checked against its formula evaluated in double
// precision, within the accuracy class of the SLEEF functions it calls plus the
// float roundings of the formula (each reference states its bound); NaN and
// infinite results exactly; the listed edge cases bit for bit; and the blocked
// path against the element-by-element tail.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/map_records.h"

namespace {

using vorta::CpuVariant;
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kFloatMax = 3.4028234663852886e38;
inline uint32_t FB(float f) { return std::bit_cast<uint32_t>(f); }
inline float BF(uint32_t u) { return std::bit_cast<float>(u); }

// A float's unit in the last place at magnitude v.
double U(double v) {
  if (v == 0 || std::isinf(v) || std::isnan(v)) return v == 0 ? 0x1p-149 : 0;
  return std::ldexp(1.0, std::max(std::ilogb(v), -126) - 23);
}
// v rounded to float (overflowing to inf, as a float result would).
double F(double v) { return double(float(v)); }

struct Bounded {
  double value, error;
};

double Clamp16(double x) { return std::isnan(x) ? 16.0 : std::max(-16.0, std::min(16.0, x)); }

Bounded RefTanhMember(float x, float) {
  const double t = std::tanh(Clamp16(x));
  return {t, 3.5 * U(t)};
}
Bounded RefExp(float x, float) {
  const double e = std::exp(double(x));
  return {e > kFloatMax ? INFINITY : e, U(e)};
}
Bounded RefLog(float x, float) {
  const double l = std::log(double(x));
  return {l, 3.5 * U(l)};
}
template <int kSign>
Bounded RefSinhCosh(float x, float) {
  const double a = F(std::exp(double(x))), b = F(std::exp(-double(x)));
  const double v = (a + kSign * b) / 2;
  return {v, 1.5 * (U(a) + U(b)) + U(v)};
}
// The inverse hyperbolic functions round their argument a few times before the
// logarithm: an absolute error of about 2^-22 on top of the logarithm's own.
Bounded RefAsinh(float x, float) {
  const double v = std::asinh(double(x));
  return {v, 3.5 * U(v) + 0x1p-22};
}
Bounded RefAcosh(float x, float) {
  if (!(x >= 1.0f)) return {NAN, 0};
  const double square = F(double(x) * x);
  const double v = std::isinf(square) ? std::acosh(double(x)) : std::log(x + std::sqrt(square - 1));
  return {v, 3.5 * U(v) + 0x1p-22};
}
Bounded RefAtanh(float x, float) {
  const double v = std::atanh(double(x));
  return {v, 3.5 * U(v) + 0x1p-22};
}
// 1 / (e + 1) and x / (e + 1) with e = e^-x: the exponential's error of 1.5 ulp
// (against the correctly rounded one) moves the result by 1.5·ulp(e)/(e + 1)².
template <bool kSwish>
Bounded RefLogistic(float x, float) {
  if (kSwish && x == -kInf) return {-0.0, 0};
  const double e = F(std::exp(-double(x)));
  const double scale = kSwish ? std::fabs(double(x)) : 1.0;
  if (std::isinf(e)) return {kSwish ? -0.0 : 0.0, 0};
  const double v = (kSwish ? double(x) : 1.0) / (e + 1);
  return {v, 1.5 * U(v) + scale * 1.5 * U(e) / ((e + 1) * (e + 1))};
}
// 1 + e^-|x| is rounded to float before the logarithm (softplus(-50) is 0).
Bounded RefSoftplus(float x, float) {
  const double e = F(std::exp(-std::fabs(double(x))));
  const double l = std::log(F(1.0 + e));
  const double v = (x > 0 ? double(x) : 0.0) + l;
  return {v, 3.5 * U(l) + 0x1p-23 + U(v)};
}
Bounded RefElu(float x, float alpha) {
  if (!(x <= 0)) return {x, 0};
  const double a = F(std::exp(double(x)));
  const double v = (a - 1) * alpha;
  return {v, (1.5 * U(a) + U(a - 1)) * std::fabs(alpha) + U(v)};
}
Bounded RefCelu(float x, float alpha) {
  if (std::isnan(x)) return {NAN, 0};
  const double z = double(x) / alpha, a = F(std::exp(F(z)));
  const double u = (a - 1) * alpha;
  const double v = std::min(u, 0.0) + std::max(double(x), 0.0);
  if (std::isinf(a)) return {v, 0};
  const double argument = a == 0 ? 0.0 : a * std::fabs(z) * 0x1p-24;  // x / alpha is rounded
  return {v, (1.5 * U(a) + argument + U(a - 1)) * std::fabs(alpha) + U(v)};
}
Bounded RefErf(float x, float) {
  const double p = BF(0x3ea7ba05u), a1 = BF(0x3e827906u), a2 = BF(0xbe91a98eu), a3 = BF(0x3fb5f0e3u),
               a4 = BF(0xbfba00e3u), a5 = BF(0x3f87dc22u);
  const double t = 1 / (1 + p * std::fabs(double(x)));
  const double y = 1 - t * (a1 + t * (a2 + t * (a3 + t * (a4 + t * a5)))) * std::exp(-double(x) * x);
  const double v = std::isnan(x) ? NAN : x == 0 ? 0.0 : std::copysign(y, double(x));
  return {v, 8 * 0x1p-24 + 2 * U(v)};
}
Bounded RefGelu(float x, float) {
  if (x == -kInf) return {-0.0, 0};
  const double c1 = BF(0x3d372713u), c2 = BF(0x3f4c422au), d = x;
  const double z = (d + c1 * F(d * d * d)) * c2;
  const double t = std::tanh(Clamp16(z));
  const double v = d * 0.5 * (1 + t);
  const double zc = std::min(std::fabs(z), 16.0);
  return {v, std::fabs(d) * 0.5 * (3.5 * U(t) + (1 - t * t) * zc * 4 * 0x1p-24) + 2 * U(v)};
}
template <double (*Fn)(double)>
Bounded RefSleef35(float x, float) {
  const double v = Fn(double(x));
  return {v, 3.5 * U(v)};
}
double Acos(double x) { return std::acos(x); }
double Cos(double x) { return std::cos(x); }
double Sin(double x) { return std::sin(x); }
double Tan(double x) { return std::tan(x); }

struct Member {
  const char* name;
  const char* entry;
  Bounded (*ref)(float, float);
  float alpha = 0.0f;  // param0
};

const Member kMembers[] = {
    {"Exp", "cedd2e3f2b630df26122234f45d119f2", RefExp},
    {"Log", "29a71135744d92b45e5cef7f5d12faf4", RefLog},
    {"Sinh", "e787cc9adaad9d84c5e7ceea6ea715c6", RefSinhCosh<-1>},
    {"Cosh", "165457d309c58244a85dfa4a3d9ce5f0", RefSinhCosh<1>},
    {"Tanh", "8e1c9ec55e1a345a1c14c4a41afb3ba6", RefTanhMember},
    {"Asinh", "674d2530ea3be739e653679a1da0c858", RefAsinh},
    {"Acosh", "40e60662bbb857fecb0ef789869cd70f", RefAcosh},
    {"Atanh", "077b975dd17f8f4f8f9eb22afdd6bec1", RefAtanh},
    {"Sigmoid", "b95f301ac2b2dd8bc0cb8ff1afe617e4", RefLogistic<false>},
    {"Swish", "7dd6e375cb7a477bd64dc9adb409081e", RefLogistic<true>},
    {"Softplus", "7ceb1552fd6f2c70e747d959f1bdec4b", RefSoftplus},
    {"Elu", "df971a3ed8f42e32115e565e2b69a668", RefElu, 1.0f},
    {"Elu_alpha_0_3", "df971a3ed8f42e32115e565e2b69a668", RefElu, 0.3f},
    {"Celu", "f2242c0f1a438012f7483e8f0c0d5590", RefCelu, 1.0f},
    {"Celu_alpha_2_5", "f2242c0f1a438012f7483e8f0c0d5590", RefCelu, 2.5f},
    {"Erf", "a7d00f57547e87c2d3dedeab1844ebc3", RefErf},
    {"GeluTanh", "c302c26a0e34eb765a4fb73cc154a5c3", RefGelu},
    {"Acos", "3a67e31c820990965f348da891c8e8c8", RefSleef35<Acos>},
    {"Cos", "d44be5bb72affe6e344a03cda95193e3", RefSleef35<Cos>},
    {"Sin", "628b12e6708ed6a5c7ba8b1d922aa9c2", RefSleef35<Sin>},
    {"Tan", "db78eb029ccf73bb99dc94c03110c8b1", RefSleef35<Tan>},
};

const Member& Named(const char* name) {
  for (const Member& m : kMembers)
    if (strcmp(m.name, name) == 0) return m;
  return kMembers[0];
}

bool Use(CpuVariant v) {
  if (v == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) return false;
  vorta::host::InitializeLinked(v);
  return true;
}

std::vector<float> Map(const Member& m, const float* in, int32_t length,
                       const vorta::host::JobOptions& opt = {}) {
  std::vector<float> out(length + 2, BF(0x5a5a5a5au));
  vorta::UnaryMapJob record{in, out.data() + 1, length, FB(m.alpha), 0};
  vorta::host::RunJob(vorta::host::LinkedJob(m.entry), &record, sizeof record, length, opt);
  EXPECT_EQ(0x5a5a5a5au, FB(out.front()));
  EXPECT_EQ(0x5a5a5a5au, FB(out.back()));
  return std::vector<float>(out.begin() + 1, out.end() - 1);
}

float RandomInput(std::mt19937_64& rng) {
  static const float special[] = {0.0f, -0.0f, kInf, -kInf, kNaN, 1.0f, -1.0f, BF(1), BF(0x807fffffu),
                                  88.72f, -88.72f, 89.0f, -89.0f, 16.0f, -16.0f, 4096.0f, -4096.0f,
                                  1e20f, -1e20f, 3.4e38f, -3.4e38f, 0.99999994f, 1.0000001f, 1e5f};
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  switch (rng() % 10) {
    case 0: case 1: case 2: return BF(uint32_t(rng()));
    case 3: case 4: return 10.0f * unit(rng);
    case 5: return 1.2f * unit(rng);
    case 6: return 100.0f * unit(rng);
    case 7: return 1.0f + float(rng() % 64) * 0x1p-23f;
    default: return special[rng() % std::size(special)];
  }
}

class TranscendentalTest : public ::testing::TestWithParam<std::tuple<size_t, CpuVariant>> {};

TEST_P(TranscendentalTest, WithinBoundOfDoubleReference) {
  const Member& m = kMembers[std::get<0>(GetParam())];
  if (!Use(std::get<1>(GetParam()))) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  std::mt19937_64 rng(std::get<0>(GetParam()) + 11);
  std::vector<float> in(20011);
  for (float& x : in) x = RandomInput(rng);
  vorta::host::JobOptions many;
  many.workers = 3;
  many.batchSize = 37;
  many.randomBatchSizes = true;
  many.emptyBatches = true;
  for (const auto& opt : {vorta::host::JobOptions{}, many}) {
    const auto out = Map(m, in.data(), int32_t(in.size()), opt);
    int failures = 0;
    for (size_t i = 0; i < in.size() && failures < 5; ++i) {
      const Bounded r = m.ref(in[i], m.alpha);
      const float got = out[i];
      const bool ok = std::isnan(r.value)   ? std::isnan(got)
                      : std::isinf(r.value) ? double(got) == r.value
                                            : std::fabs(double(got) - r.value) <= r.error;
      if (!ok) {
        ++failures;
        ADD_FAILURE() << m.name << "(" << in[i] << " = 0x" << std::hex << FB(in[i]) << std::dec
                      << "): got " << got << ", reference " << r.value << " ± " << r.error;
      }
    }
  }
}

// Elements in the blocked path of one run are in the element-by-element tail of
// another: the two must agree bit for bit.
TEST_P(TranscendentalTest, BlocksAgreeWithTail) {
  const Member& m = kMembers[std::get<0>(GetParam())];
  if (!Use(std::get<1>(GetParam()))) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  std::mt19937_64 rng(std::get<0>(GetParam()) + 5);
  std::vector<float> in(8 * 64 + 7);
  for (float& x : in) x = RandomInput(rng);
  vorta::host::JobOptions one;
  one.workers = 1;
  one.batchSize = int32_t(in.size());
  const auto whole = Map(m, in.data(), int32_t(in.size()), one);
  for (int32_t shift = 1; shift < 8; ++shift) {
    const auto part = Map(m, in.data() + shift, int32_t(in.size()) - shift, one);
    for (size_t i = 0; i < part.size(); ++i)
      ASSERT_TRUE(FB(whole[i + shift]) == FB(part[i]) || (std::isnan(whole[i + shift]) && std::isnan(part[i])))
          << m.name << "(" << in[i + shift] << "): " << whole[i + shift] << " in one run, " << part[i]
          << " in the other (shift " << shift << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Transcendental, TranscendentalTest,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kMembers)),
                                            ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2)),
                         [](const auto& info) {
                           return std::string(kMembers[std::get<0>(info.param)].name) +
                                  (std::get<1>(info.param) == CpuVariant::Avx2 ? "_Avx2" : "_Sse2");
                         });

// The listed edge cases and the repaired limits, bit for bit (0x7fc00000 stands
// for any NaN; `near` for a value within 1e-6 relative).
struct Edge {
  const char* member;
  float x;
  float want;
  bool near = false;
};

TEST(TranscendentalEdges, ListedCases) {
  const std::vector<Edge> edges = {
      {"Exp", 0.0f, 1.0f}, {"Exp", 100.0f, kInf}, {"Exp", -110.0f, 0.0f}, {"Exp", -90.0f, 8.194012e-40f, true},
      {"Log", 1.0f, 0.0f}, {"Log", 0.0f, -kInf}, {"Log", -0.0f, -kInf}, {"Log", -1.0f, kNaN},
      {"Log", kInf, kInf}, {"Log", BF(1), -103.27893f, true}, {"Log", kNaN, kNaN},
      {"Sigmoid", -200.0f, 0.0f}, {"Sigmoid", 200.0f, 1.0f}, {"Swish", -200.0f, -0.0f},
      {"Swish", -kInf, -0.0f}, {"Swish", kInf, kInf},
      {"Softplus", 50.0f, 50.0f}, {"Softplus", -50.0f, 0.0f}, {"Softplus", kNaN, kNaN},
      {"Tanh", 20.0f, 1.0f}, {"Tanh", -20.0f, -1.0f}, {"Tanh", kNaN, 1.0f}, {"Tanh", 0.0f, 0.0f},
      {"Erf", 0.0f, 0.0f}, {"Erf", -0.0f, 0.0f}, {"Erf", 5.0f, 1.0f, true}, {"Erf", -5.0f, -1.0f, true},
      {"Erf", kNaN, kNaN}, {"Erf", kInf, 1.0f}, {"Erf", -kInf, -1.0f},
      {"Acos", 1.0f, 0.0f}, {"Acos", -1.0f, 3.1415927f}, {"Acos", 1.5f, kNaN},
      {"Sin", -0.0f, -0.0f}, {"Cos", 0.0f, 1.0f}, {"Tan", 0.0f, 0.0f}, {"Sin", 1e5f, 0.0357488f, true},
      {"Elu", -kInf, -1.0f}, {"Elu", kInf, kInf}, {"Elu", kNaN, kNaN},
      {"Celu", kNaN, kNaN}, {"Celu", -kInf, -1.0f}, {"Celu", kInf, kInf},
      {"GeluTanh", -kInf, -0.0f}, {"GeluTanh", kInf, kInf}, {"GeluTanh", -1e20f, -0.0f},
      {"Asinh", -kInf, -kInf}, {"Asinh", kInf, kInf}, {"Asinh", -0.0f, -0.0f},
      {"Asinh", -5000.0f, -9.2103404f, true}, {"Asinh", 1e30f, 69.770699f, true},
      {"Asinh", -3e38f, -89.289993f, true},
      {"Acosh", 1.0f, 0.0f}, {"Acosh", 0.5f, kNaN}, {"Acosh", -5000.0f, kNaN}, {"Acosh", -1e30f, kNaN},
      {"Acosh", 1e30f, 69.770699f, true}, {"Acosh", kInf, kInf},
      {"Atanh", 1.0f, kInf}, {"Atanh", -1.0f, -kInf}, {"Atanh", 2.0f, kNaN},
      {"Sinh", kInf, kInf}, {"Sinh", -kInf, -kInf}, {"Cosh", -kInf, kInf},
  };
  for (CpuVariant v : {CpuVariant::Sse2, CpuVariant::Avx2}) {
    if (!Use(v)) continue;
    for (const Edge& e : edges) {
      // Alone (the element path) and inside a block.
      const std::vector<float> in(9, e.x);
      for (float got : Map(Named(e.member), in.data(), int32_t(in.size()))) {
        const std::string what = std::string(e.member) + "(" + std::to_string(e.x) + ") on " +
                                 vorta::host::VariantName(v);
        if (std::isnan(e.want))
          EXPECT_TRUE(std::isnan(got)) << what << " = " << got;
        else if (e.near)
          EXPECT_NEAR(got, e.want, std::fabs(e.want) * 1e-6) << what;
        else
          EXPECT_EQ(FB(e.want), FB(got)) << what << " = " << got;
      }
    }
  }
}

}  // namespace
