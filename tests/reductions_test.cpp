// The axis reductions, through their exports on the reference host's job
// system, on both variants, with one and several workers and random, empty and
// tiny batches (so batches start in the middle of outer blocks).
//
// Oracles: integer members, float minimum and maximum exactly against a plain
// in-order loop; the other float members bit for bit against a loop that folds
// in the SSE2 order (eight partials joined ((P0+P4)+(P2+P6))+((P1+P5)+(P3+P7))
// on contiguous rows of eight or more, in order otherwise), in the SSE2 variant
// and wherever the AVX2 variant has that order; and within an error bound
// against a double-precision sum everywhere, which is the check for the AVX2
// variant's 32 partials.
#include <gtest/gtest.h>
#include <immintrin.h>
#include <sleef.h>
#include <stdint.h>
#include <string.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/axis_records.h"
// The shared roots are header-only: their SSE2 form is compiled right here.
#define VORTA_VARIANT_SSE2
#include "tensor/elementary.h"

namespace {

using vorta::CpuVariant;
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
inline uint32_t FB(float f) { return std::bit_cast<uint32_t>(f); }
inline float BF(uint32_t u) { return std::bit_cast<float>(u); }

enum class Kind { Sum, Product, Min, Max, Mean, MeanSquare, SumSquare, L1, L2, SqrtSum, LogSum, LogSumExp };

struct Member {
  const char* name;
  const char* entry;
  Kind kind;
  bool isInt;
};

const Member kMembers[] = {
    {"SumFloat", "5901fd9e1f406d5759027d92b5dc8990", Kind::Sum, false},
    {"SumInt32", "79e652835de9745a2082c973fda008ad", Kind::Sum, true},
    {"ProductFloat", "2ee13bdeadc3b45c081bca4d7be301c6", Kind::Product, false},
    {"ProductInt32", "9f8d620db8e4f17047be0a789392d146", Kind::Product, true},
    {"MinFloat", "d5f536006d40ea2b1fe8bb708f0c3be2", Kind::Min, false},
    {"MaxFloat", "8bc7898e8c55f1392509b19b7a4bf42c", Kind::Max, false},
    {"MinInt32", "219c6f9f32b0cc50bb7765bd5bc8c83b", Kind::Min, true},
    {"MaxInt32", "c87a2def43234dfd89be0aa0ef1d272a", Kind::Max, true},
    {"MeanFloat", "b68e65c7c4c639fc9e305b2bb03f7627", Kind::Mean, false},
    {"MeanSquareFloat", "20c6f9570635136f5bedecc786bfd2cd", Kind::MeanSquare, false},
    {"SumSquareFloat", "0e7912937c55a2aae7f0be541da365f0", Kind::SumSquare, false},
    {"SumSquareInt32", "3689fadd9b012eca6d135baa126b08a7", Kind::SumSquare, true},
    {"L1Float", "3f5404510fcde213f92a1db8e42b83af", Kind::L1, false},
    {"L1Int32", "01fe47faaa32ad5e6357fec79fcfcbcf", Kind::L1, true},
    {"L2Float", "62366e2f02f59c02e9f0ca5cd56164cc", Kind::L2, false},
    {"SqrtSumFloat", "c63e94831c61d518b3c5eaf1377ad057", Kind::SqrtSum, false},
    {"LogSumFloat", "30f539984eb55932be7088c160f34c27", Kind::LogSum, false},
    {"LogSumExpFloat", "5be07dec52598d8743f7bd4390735645", Kind::LogSumExp, false},
};

bool IsMean(Kind k) { return k == Kind::Mean || k == Kind::MeanSquare; }
bool Squares(Kind k) { return k == Kind::MeanSquare || k == Kind::SumSquare || k == Kind::L2; }

// ---- the variant and its SLEEF forms (four lanes, lane 0) ----

struct Elementary {
  float (*exp)(float);
  float (*log)(float);
};
Elementary ElementaryOf(CpuVariant v) {
  if (v == CpuVariant::Avx2)
    return {[](float x) { return _mm_cvtss_f32(Sleef_expf4_u10avx2128(_mm_set1_ps(x))); },
            [](float x) { return _mm_cvtss_f32(Sleef_logf4_u35avx2128(_mm_set1_ps(x))); }};
  return {[](float x) { return _mm_cvtss_f32(Sleef_expf4_u10sse2(_mm_set1_ps(x))); },
          [](float x) { return _mm_cvtss_f32(Sleef_logf4_u35sse2(_mm_set1_ps(x))); }};
}

bool Use(CpuVariant v) {
  if (v == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) return false;
  vorta::host::InitializeLinked(v);
  return true;
}

// ---- references ----

// The library's root: one Newton step on the processor's estimate, written from
// its definition (zero below the smallest normal, +inf kept).
float SqrtKernelRef(float s) {
  if (std::fabs(s) < 0x1p-126f) return 0.0f;
  if (s == kInf) return kInf;
  const float r = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(s)));
  return (s * r * r - 3.0f) * (s * r * -0.5f);
}

float InOrderExtreme(const std::vector<float>& x, Kind k) {
  float acc = k == Kind::Min ? 3.4028235e38f : -3.4028235e38f;
  for (float e : x) acc = k == Kind::Min ? (acc < e ? acc : e) : (acc > e ? acc : e);
  return acc;
}

// Float members in the SSE2 order (partials only when `partials`).
float RefFloat(const std::vector<float>& x, Kind k, bool partials, const Elementary& f) {
  if (k == Kind::Min || k == Kind::Max) return InOrderExtreme(x, k);
  const int n = int(x.size());
  const float max = k == Kind::LogSumExp ? InOrderExtreme(x, Kind::Max) : 0.0f;
  auto term = [&](float e) {
    if (Squares(k)) return e * e;
    if (k == Kind::L1) return std::fabs(e);
    if (k == Kind::LogSumExp) return f.exp(e == max ? 0.0f : e - max);
    return e;
  };
  auto join = [&](float a, float b) { return k == Kind::Product ? a * b : a + b; };
  const float id = k == Kind::Product ? 1.0f : 0.0f;
  float acc = id;
  int i = 0;
  if (partials && n >= 8) {
    float p[8];
    for (int j = 0; j < 8; ++j) p[j] = id;
    for (; i + 8 <= n; i += 8)
      for (int j = 0; j < 8; ++j) p[j] = join(p[j], term(x[i + j]));
    acc = join(join(join(p[0], p[4]), join(p[2], p[6])), join(join(p[1], p[5]), join(p[3], p[7])));
  }
  for (; i < n; ++i) acc = join(acc, term(x[i]));
  switch (k) {
    case Kind::Mean:
    case Kind::MeanSquare: return acc * (1.0f / float(n));
    case Kind::L2:
    case Kind::SqrtSum: return SqrtKernelRef(acc);
    case Kind::LogSum: return f.log(acc);
    case Kind::LogSumExp: return f.log(acc) + max;
    default: return acc;
  }
}

int32_t RefInt(const std::vector<int32_t>& x, Kind k) {
  uint32_t acc = k == Kind::Product ? 1u : 0u;
  int32_t extreme = k == Kind::Min ? INT32_MAX : INT32_MIN;
  for (int32_t e : x) {
    const uint32_t u = uint32_t(e);
    if (k == Kind::Min) extreme = std::min(extreme, e);
    if (k == Kind::Max) extreme = std::max(extreme, e);
    if (k == Kind::Product) acc *= u;
    if (k == Kind::Sum) acc += u;
    if (k == Kind::SumSquare) acc += u * u;
    if (k == Kind::L1) acc += e < 0 ? 0u - u : u;
  }
  return k == Kind::Min || k == Kind::Max ? extreme : int32_t(acc);
}

// The exact value in double and a bound on the error of a float fold whose
// longest chain of roundings is at most N/8 + 40 (eight or 32 partials, their
// join and a tail of up to 31), plus the final step's own error.
struct Bounded {
  double value, error;
};
Bounded RefDouble(const std::vector<float>& x, Kind k) {
  const double n = double(x.size()), eps = 0x1p-24;
  const double chain = (n / 8 + 40) * eps;
  double max = k == Kind::LogSumExp ? double(InOrderExtreme(x, Kind::Max)) : 0.0;
  double sum = k == Kind::Product ? 1.0 : 0.0, magnitude = 0.0;
  for (float f : x) {
    double e = f;
    if (Squares(k)) e *= e;
    if (k == Kind::L1) e = std::fabs(e);
    if (k == Kind::LogSumExp) e = f == max ? 1.0 : std::exp(e - max);
    sum = k == Kind::Product ? sum * e : sum + e;
    magnitude += std::fabs(e);
  }
  const double err = k == Kind::Product ? (n + 8) * eps * std::fabs(sum) : chain * magnitude;
  auto ulp = [eps](double v) { return std::max(std::fabs(v), 0x1p-126) * eps * 2; };
  switch (k) {
    case Kind::Mean:
    case Kind::MeanSquare: return {sum / n, err / n + 2 * ulp(sum / n)};
    case Kind::L2:
    case Kind::SqrtSum:  // below the smallest normal the root is 0
      if (std::fabs(sum) < 0x1p-125) return {0.0, 1.1e-19};
      return {std::sqrt(sum), err / (2 * std::sqrt(sum)) + 4 * ulp(std::sqrt(sum))};
    case Kind::LogSum: return {std::log(sum), err / sum + 4 * ulp(std::log(sum)) + eps};
    case Kind::LogSumExp: {
      const double v = std::log(sum) + max;
      return {v, err / sum + 4 * ulp(std::log(sum)) + 2 * ulp(v)};
    }
    default: return {sum, err + ulp(sum)};
  }
}

bool SameFloat(float a, float b) { return FB(a) == FB(b) || (std::isnan(a) && std::isnan(b)); }

bool WithinBound(float got, const Bounded& r) {
  if (std::isnan(r.value)) return std::isnan(got);
  if (std::isinf(r.value)) return double(got) == r.value;
  return std::fabs(double(got) - r.value) <= r.error;
}

// ---- inputs ----

float RandomFloat(std::mt19937_64& rng, bool fullRange, Kind k) {
  const uint64_t pick = rng() % 100;
  if (fullRange) {
    static const float special[] = {0.0f, -0.0f, kInf, -kInf, kNaN, BF(0xffc01234u), BF(1),
                                    BF(0x807fffffu), 3.4028235e38f, -3.4028235e38f, 1.0f, -1.0f};
    if (pick < 15) return special[rng() % std::size(special)];
    if (pick < 30) return float(int(rng() % 21) - 10);
    return BF(uint32_t(rng()));
  }
  if (pick < 2) return (rng() & 1) ? kNaN : ((rng() & 1) ? kInf : -kInf);
  // Products get no subnormals (they lose relative precision) and factors
  // around 1, so that long rows neither overflow nor underflow.
  if (pick < 4) return ((rng() & 1) || k == Kind::Product) ? 0.0f : BF(uint32_t(rng() % 0x800000u));
  const bool positive = k == Kind::LogSum || k == Kind::SqrtSum || (rng() & 1);
  const double magnitude = k == Kind::Product ? std::pow(2.0, double(rng() % 1001) / 1000 - 0.5)
                                              : std::pow(10.0, double(rng() % 6000) / 1000 - 3);
  return float(positive ? magnitude : -magnitude);
}

int32_t RandomInt(std::mt19937_64& rng) {
  static const int32_t special[] = {0, 1, -1, INT32_MIN, INT32_MAX, 46341, -46341, 65536};
  switch (rng() % 4) {
    case 0: return special[rng() % std::size(special)];
    case 1: return int32_t(rng() % 21) - 10;
    default: return int32_t(uint32_t(rng())) >> (rng() % 31);
  }
}

struct Shape {
  int32_t outer, N, S;
};
const Shape kShapes[] = {{5, 1, 1},  {9, 7, 1},  {4, 8, 1},  {3, 9, 1},    {3, 31, 1},   {3, 32, 1},
                         {2, 33, 1}, {2, 71, 1}, {2, 1000, 1}, {3, 1, 7},  {3, 5, 3},    {2, 8, 17},
                         {2, 40, 64}, {1, 3, 300}, {2, 70, 9}, {1, 2, 600}};

std::vector<vorta::host::JobOptions> Schedules() {
  vorta::host::JobOptions one, many;
  one.workers = 1;
  many.workers = 3;
  many.batchSize = 3;
  many.randomBatchSizes = true;
  many.emptyBatches = true;
  many.seed = 7;
  return {one, many};
}

// Runs a member over a whole tensor; the output lies between guard words that must stay.
template <class T>
std::vector<T> RunMember(const Member& m, const std::vector<T>& in, const Shape& s,
                   const vorta::host::JobOptions& opt) {
  const int32_t count = s.outer * s.S;
  std::vector<T> out(count + 16);
  memset(out.data(), 0x5a, out.size() * sizeof(T));
  vorta::AxisMeanJob record{in.data(), out.data() + 8, s.N, s.S, -1.0f, 0xdeadbeefu};
  vorta::host::RunJob(vorta::host::LinkedJob(m.entry), &record, IsMean(m.kind) ? 32 : 24, count, opt);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(0x5a5a5a5au, std::bit_cast<uint32_t>(out[i])) << m.name << " wrote before its output";
    EXPECT_EQ(0x5a5a5a5au, std::bit_cast<uint32_t>(out[count + 8 + i])) << m.name << " wrote after its output";
  }
  EXPECT_EQ(FB(IsMean(m.kind) ? 1.0f / float(s.N) : -1.0f), FB(record.reciprocal)) << m.name;
  EXPECT_EQ(0xdeadbeefu, record.padding);
  return std::vector<T>(out.begin() + 8, out.begin() + 8 + count);
}

// The elements of output o, in axis order.
template <class T>
std::vector<T> Gather(const std::vector<T>& in, const Shape& s, int32_t o) {
  std::vector<T> e(s.N);
  const int64_t q = o / s.S, r = o % s.S;
  for (int32_t k = 0; k < s.N; ++k) e[k] = in[(q * s.N + k) * s.S + r];
  return e;
}

class ReductionTest : public ::testing::TestWithParam<std::tuple<size_t, CpuVariant>> {};

TEST_P(ReductionTest, MatchesReferences) {
  const Member& m = kMembers[std::get<0>(GetParam())];
  const CpuVariant variant = std::get<1>(GetParam());
  if (!Use(variant)) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  const Elementary f = ElementaryOf(variant);
  std::mt19937_64 rng(std::get<0>(GetParam()) * 31 + 1);
  for (size_t pass = 0; pass < 4 * std::size(kShapes); ++pass) {  // four random tensors per shape
    const Shape& s = kShapes[pass % std::size(kShapes)];
    const size_t size = size_t(s.outer) * s.N * s.S;
    for (const auto& opt : Schedules()) {
      SCOPED_TRACE(::testing::Message() << m.name << " outer " << s.outer << " N " << s.N << " S " << s.S
                                        << " workers " << opt.workers);
      if (m.isInt) {
        std::vector<int32_t> in(size);
        for (auto& e : in) e = RandomInt(rng);
        const auto out = RunMember(m, in, s, opt);
        for (int32_t o = 0; o < int32_t(out.size()); ++o)
          ASSERT_EQ(RefInt(Gather(in, s, o), m.kind), out[o]) << "output " << o;
        continue;
      }
      for (bool fullRange : {true, false}) {
        std::vector<float> in(size);
        for (auto& e : in) e = RandomFloat(rng, fullRange, m.kind);
        const auto out = RunMember(m, in, s, opt);
        // The AVX2 variant has its own order only on contiguous rows of 32 or more.
        const bool exact = variant == CpuVariant::Sse2 || s.S != 1 || s.N < 32 ||
                           m.kind == Kind::Min || m.kind == Kind::Max;
        for (int32_t o = 0; o < int32_t(out.size()); ++o) {
          const auto x = Gather(in, s, o);
          if (exact) {
            const float want = RefFloat(x, m.kind, s.S == 1, f);
            ASSERT_TRUE(SameFloat(want, out[o]))
                << "output " << o << ": want " << want << " (" << std::hex << FB(want) << "), got " << out[o]
                << " (" << FB(out[o]) << ")";
          }
          if (!fullRange && m.kind != Kind::Min && m.kind != Kind::Max) {
            const Bounded r = RefDouble(x, m.kind);
            ASSERT_TRUE(WithinBound(out[o], r))
                << "output " << o << ": double " << r.value << " ± " << r.error << ", got " << out[o];
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Reductions, ReductionTest,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kMembers)),
                                            ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2)),
                         [](const auto& info) {
                           return std::string(kMembers[std::get<0>(info.param)].name) +
                                  (std::get<1>(info.param) == CpuVariant::Avx2 ? "_Avx2" : "_Sse2");
                         });

// ---- the listed edge cases, on rows short and long, contiguous and strided ----

struct Edge {
  const char* member;
  std::vector<double> row;  // converted to the member's element type
  uint32_t want;           // bits; 0x7fc00000 stands for any NaN
  int repeat = 1;          // the row repeated this many times (long rows take the blocked paths)
};

const Member& Named(const char* name) {
  for (const Member& m : kMembers)
    if (strcmp(m.name, name) == 0) return m;
  return kMembers[0];
}

TEST(ReductionEdges, ListedCases) {
  const double sub = BF(0x00000400u), big = 2147483647.0;
  const std::vector<Edge> edges = {
      {"MinFloat", {kInf}, 0x7f7fffffu, 40},
      {"MaxFloat", {-kInf}, 0xff7fffffu, 40},
      {"MinFloat", {3, kNaN, 5, 4}, FB(4.0f), 1},
      {"MaxFloat", {3, kNaN, 5, 1}, FB(5.0f), 1},
      {"MinFloat", {-7, 3, 2, 9, 8, 1, 4, kNaN, 6, 5, 7, 8, 9, 6, 7, 8, 9, 6, 7}, FB(5.0f), 1},
      {"MinFloat", {1, 2, kNaN}, 0x7fc00000u, 8},
      {"MinFloat", {0.0f, 1, -0.0f, 2}, FB(-0.0f), 10},
      {"MaxFloat", {-0.0f, -1, 0.0f, -2, -0.0f, -3}, FB(-0.0f), 7},
      {"MaxFloat", {-0.0f, -1, 0.0f, -2}, FB(0.0f), 9},
      {"L2Float", {1e-20f, sub}, FB(0.0f), 9},
      {"SqrtSumFloat", {sub, -2 * sub}, FB(0.0f), 5},
      {"SqrtSumFloat", {-1.0f, 0.5f}, 0x7fc00000u, 1},
      {"L2Float", {1.0f, kInf}, FB(kInf), 20},
      {"SqrtSumFloat", {kInf, 2.0f}, FB(kInf), 1},
      {"LogSumFloat", {0.0f, -0.0f}, FB(-kInf), 10},
      {"LogSumFloat", {-1.0f, 0.5f}, 0x7fc00000u, 1},
      {"LogSumExpFloat", {-kInf}, FB(-kInf), 33},
      {"LogSumExpFloat", {3.5f}, FB(3.5f), 1},
      {"LogSumExpFloat", {1.0f, kInf, 2.0f}, FB(kInf), 13},
      {"LogSumExpFloat", {kInf, kNaN}, 0x7fc00000u, 1},
      {"SumInt32", {big, 1}, 0x80000000u, 1},
      {"ProductInt32", {65536, 65536}, 0u, 5},
      {"L1Int32", {-2147483648.0, 1}, 0x80000001u, 1},
  };
  for (CpuVariant v : {CpuVariant::Sse2, CpuVariant::Avx2}) {
    if (!Use(v)) continue;
    for (const Edge& e : edges) {
      const Member& m = Named(e.member);
      std::vector<double> row;
      for (int r = 0; r < e.repeat; ++r) row.insert(row.end(), e.row.begin(), e.row.end());
      const int32_t N = int32_t(row.size());
      // The row as one contiguous output and as both positions of a strided pair.
      std::vector<double> contiguous = row, pair(2 * N);
      for (int32_t k = 0; k < N; ++k) pair[2 * k] = pair[2 * k + 1] = row[k];
      for (auto [in, s] : {std::pair{contiguous, Shape{1, N, 1}}, std::pair{pair, Shape{1, N, 2}}}) {
        std::vector<uint32_t> got;
        if (m.isInt) {
          std::vector<int32_t> ints;
          for (double x : in) ints.push_back(int32_t(x));
          for (int32_t x : RunMember(m, ints, s, {})) got.push_back(uint32_t(x));
        } else {
          const std::vector<float> floats(in.begin(), in.end());
          for (float x : RunMember(m, floats, s, {})) got.push_back(FB(x));
        }
        for (uint32_t g : got) {
          if (e.want == 0x7fc00000u)
            EXPECT_TRUE(std::isnan(BF(g))) << e.member << " S " << s.S << " got " << std::hex << g;
          else
            EXPECT_EQ(e.want, g) << e.member << " N " << N << " S " << s.S << " variant "
                                 << vorta::host::VariantName(v);
        }
      }
    }
  }
}

// One Newton step on the estimate: within 2^-20 relative of the true value for
// every positive normal input, lanes as the scalar, and the guarded ends.
TEST(ElementaryRoots, NewtonStepOnTheEstimate) {
  using vorta::sse2::RsqrtKernel;
  using vorta::sse2::SqrtKernel;
  using vorta::sse2::VFloat;
  EXPECT_EQ(FB(0.0f), FB(RsqrtKernel(kInf)));
  for (float v : {0.0f, -0.0f, -1.0f, -kInf, kNaN}) EXPECT_TRUE(std::isnan(RsqrtKernel(v))) << v;
  EXPECT_EQ(FB(kInf), FB(SqrtKernel(kInf)));
  for (float s : {0.0f, -0.0f, BF(1), BF(0x807fffffu), 1e-39f, -1e-39f})
    EXPECT_EQ(FB(0.0f), FB(SqrtKernel(s))) << s;
  for (float s : {-1.0f, -0x1p-126f, -kInf, kNaN}) EXPECT_TRUE(std::isnan(SqrtKernel(s))) << s;
  EXPECT_NE(FB(0.0f), FB(SqrtKernel(0x1p-126f)));
  std::mt19937_64 rng(3);
  for (int i = 0; i < 200000; ++i) {
    const float v = BF(0x00800000u + uint32_t(rng() % (0x7f800000u - 0x00800000u)));
    const double root = std::sqrt(double(v));
    ASSERT_LE(std::fabs(double(RsqrtKernel(v)) * root - 1), 0x1p-20) << v;
    ASSERT_LE(std::fabs(double(SqrtKernel(v)) / root - 1), 0x1p-20) << v;
    const VFloat lanes = RsqrtKernel(VFloat{v, 2 * v, v, kInf}), roots = SqrtKernel(VFloat{v, kInf, 0, v});
    ASSERT_EQ(FB(RsqrtKernel(v)), FB(lanes[0]));
    ASSERT_EQ(FB(RsqrtKernel(v)), FB(lanes[2]));
    ASSERT_EQ(FB(0.0f), FB(lanes[3]));
    ASSERT_EQ(FB(SqrtKernel(v)), FB(roots[3]));
    ASSERT_EQ(FB(kInf), FB(roots[1]));
  }
}

}  // namespace
