// The two-input broadcast jobs.
//
// Every member runs through its export on the reference host's job system, on
// both instruction-set variants, with one and several workers and random and
// empty batches. Layouts are built from real shape pairs of rank 0 to 8, with
// each input's dimensions merged its own way, and the outputs are compared with
// a nested loop over the output shape that finds each input element from its
// shape alone (never from the layout). Element results come from independent
// oracles: int64 arithmetic for the int32 members, double precision (which
// rounds float +, -, *, / correctly) and the exact libm fmod for the float
// members, libm's double pow for the powers (1 ulp).
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tests/variant_test.h"
#include "tensor/broadcast_records.h"

namespace {

using vorta::CpuVariant;
using vorta::host::JobOptions;

uint32_t FB(float f) { return std::bit_cast<uint32_t>(f); }
float BF(uint32_t u) { return std::bit_cast<float>(u); }
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
const float kNaN = BF(0x7fc00000u);

// ---------------------------------------------------------------------------
// Oracles. Elements travel as raw 32-bit patterns.

int32_t I(uint32_t u) { return static_cast<int32_t>(u); }
uint32_t U(int64_t v) { return static_cast<uint32_t>(static_cast<uint64_t>(v)); }
uint32_t F(double v) { return FB(static_cast<float>(v)); }

// Zero divisors and INT32_MIN / -1 are outside the host's domain; the kernels
// answer a div 0 = 0, a rem 0 = a mod 0 = a and wrap INT32_MIN / -1.
int64_t Quotient(int64_t a, int64_t b) { return b == 0 ? 0 : a / b; }
int64_t Rem(int64_t a, int64_t b) { return b == 0 ? a : a % b; }
int64_t Mod(int64_t a, int64_t b) { return b == 0 ? a : ((a % b) + b) % b; }  // no wrapping

float RefRemainder(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return kNaN;
  if (std::fabs(a) < std::fabs(b)) return a;
  if (std::isinf(a) || b == 0.0f) return kNaN;
  float r = static_cast<float>(std::fmod(static_cast<double>(a), static_cast<double>(b)));
  return r == 0.0f ? 0.0f : r;
}
// fm(fm(a, b) + b, b) taken only where the remainder's sign differs from b's.
float RefModulo(float a, float b) {
  float r = RefRemainder(a, b);
  if (std::isnan(r)) return r;
  if (r == 0.0f) return 0.0f;
  if ((r < 0.0f) == (b < 0.0f)) return r;
  if (std::isinf(b)) return b;
  return RefRemainder(static_cast<float>(static_cast<double>(r) + b), b);
}

struct Params {
  float alpha = 0.0f, beta = 0.0f;
};

typedef uint32_t (*Ref)(uint32_t a, uint32_t b, const Params& p);

enum class Check {
  Bits,     // every bit fixed
  NanSame,  // exact, except that any NaN matches any NaN
  Ulp1,     // within one unit in the last place; zeros, infinities and NaN exact
};

struct Member {
  const char* name;
  const char* entry;
  bool floatA, floatB, floatOut;
  Check check;
  Ref ref;
};

#define INT_MEMBER(name, entry, expr) \
  {name, entry, false, false, false, Check::Bits, [](uint32_t ua, uint32_t ub, const Params&) -> uint32_t { \
     int64_t a = I(ua), b = I(ub); return U(expr); }}
#define FLOAT_MEMBER(name, entry, out, check, expr) \
  {name, entry, true, true, out, check, [](uint32_t ua, uint32_t ub, const Params& p) -> uint32_t { \
     (void)p; float a = BF(ua), b = BF(ub); return expr; }}

const std::vector<Member>& Members() {
  static const std::vector<Member> members = {
      INT_MEMBER("AddInt32", "79db02dca0472b1c60c75d4e5c4d9844", a + b),
      INT_MEMBER("SubtractInt32", "aff74ae6db9b7b4ba08a34c21ea8c670", a - b),
      INT_MEMBER("MultiplyInt32", "2b64cacca121522da54a66a965cd9bfd", a * b),
      INT_MEMBER("DivideInt32", "26e76ae9f4cd1cc4bd6430bde1ae5a7c", Quotient(a, b)),
      INT_MEMBER("RemainderInt32", "a6372d4404aa225313b1e54175e91862", Rem(a, b)),
      INT_MEMBER("ModuloInt32", "2594b37bdb04d923f0a7605987b0cee7", Mod(a, b)),
      INT_MEMBER("MinInt32", "6690658aa2cda1e06c0d3782e820a364", a < b ? a : b),
      INT_MEMBER("MaxInt32", "9b72e9d06aead2c1f8d00e6e7a308836", a > b ? a : b),
      INT_MEMBER("AndInt32", "e607c17e21335de4331ed08a85f07444", ua & ub),
      INT_MEMBER("OrInt32", "8de51a8ee99b498f0d7dc97bb645620b", ua | ub),
      INT_MEMBER("XorInt32", "8eea2c4aac9cd21daa7996eb1f70c05e", ua ^ ub),
      INT_MEMBER("EqualInt32", "706b13dcb46f2acca6c3f0e8a9956971", a == b),
      INT_MEMBER("LessInt32", "0d3422cc2aca18dfa7b90f8e4736bd91", a < b),
      INT_MEMBER("LessEqualInt32", "aa00f41216fc19fb12f9e5adf4459cc5", a <= b),
      INT_MEMBER("GreaterInt32", "0b084ec759f5dd9663ac695f6df0ec60", a > b),
      INT_MEMBER("GreaterEqualInt32", "8e6d0e7857fac4f4be9c42f077950f77", a >= b),
      FLOAT_MEMBER("AddFloat", "0dbd2aae5802a4d7fc81ee138e5540af", true, Check::NanSame,
                   F(double(a) + b)),
      FLOAT_MEMBER("SubtractFloat", "52047ee84608b5bc17dd128c215a740d", true, Check::NanSame,
                   F(double(a) - b)),
      FLOAT_MEMBER("MultiplyFloat", "226e230832482eefb14902f4a6f24133", true, Check::NanSame,
                   F(double(a) * b)),
      FLOAT_MEMBER("DivideFloat", "240e15b25079787f3717de0739449f12", true, Check::NanSame,
                   F(double(a) / b)),
      FLOAT_MEMBER("RemainderFloat", "f34f822f5ef053ac563d4d74358f43a5", true, Check::NanSame,
                   FB(RefRemainder(a, b))),
      FLOAT_MEMBER("ModuloFloat", "d7ff0aa558cb508f9ffdc4f8ad182f76", true, Check::NanSame,
                   FB(RefModulo(a, b))),
      FLOAT_MEMBER("MinFloat", "14d2d62b5bc9f27a0b4dc7f2ec201f2c", true, Check::Bits,
                   std::isnan(b) ? ua : (a < b ? ua : ub)),
      FLOAT_MEMBER("MaxFloat", "0935bf79e4bed599e0ec29d60524fb7a", true, Check::Bits,
                   std::isnan(b) ? ua : (a > b ? ua : ub)),
      FLOAT_MEMBER("PRelu", "87e5b5da845c168ae9e380ea7d01ac5e", true, Check::NanSame,
                   F((a >= 0.0f ? 1.0 : double(b)) * a)),
      FLOAT_MEMBER("WeightedSum", "eb87d33488e1d3b0f5bce0ae2dc0f911", true, Check::NanSame,
                   F(double(BF(F(double(p.alpha) * a))) + BF(F(double(p.beta) * b)))),
      FLOAT_MEMBER("Pow", "11c75a95519497554d1b247344c0479e", true, Check::Ulp1,
                   F(std::pow(double(a), double(b)))),
      {"PowInt", "a29e3ed4c23b16a9c9f13bfb76f6d92d", true, false, true, Check::Ulp1,
       [](uint32_t ua, uint32_t ub, const Params&) {
         return F(std::pow(double(BF(ua)), double(static_cast<float>(I(ub)))));
       }},
      FLOAT_MEMBER("EqualFloat", "d4cd74c1e37fb9b51348b12ea9986e58", false, Check::Bits, a == b),
      FLOAT_MEMBER("LessFloat", "b780850da158a830d0c46222b36d3a43", false, Check::Bits, a < b),
      FLOAT_MEMBER("LessEqualFloat", "526eb12769d96756f50cdb853fc534ce", false, Check::Bits, a <= b),
      FLOAT_MEMBER("GreaterFloat", "02fb511797f099c557b4ce37b95f2258", false, Check::Bits, a > b),
      FLOAT_MEMBER("GreaterEqualFloat", "2f8d3a8ac93747f418f40f8184cefda3", false, Check::Bits,
                   a >= b),
  };
  return members;
}

const Member& Named(const std::string& name) {
  for (const Member& m : Members())
    if (name == m.name) return m;
  ADD_FAILURE() << "no member " << name;
  return Members()[0];
}

bool IsWeightedSum(const Member& m) { return std::string(m.name) == "WeightedSum"; }

// Distance in representable floats; -0 and +0 are one apart.
int64_t Ordered(uint32_t u) { return (u & 0x80000000u) ? -int64_t(u & 0x7fffffffu) - 1 : int64_t(u); }

bool Matches(Check check, uint32_t want, uint32_t got) {
  if (want == got) return true;
  if (check == Check::Bits) return false;
  bool wantNan = std::isnan(BF(want)), gotNan = std::isnan(BF(got));
  if (wantNan || gotNan) return wantNan && gotNan;
  if (check == Check::NanSame) return false;
  float w = BF(want);
  if (w == 0.0f || std::isinf(w)) return false;
  return std::llabs(Ordered(want) - Ordered(got)) <= 1;
}

// ---------------------------------------------------------------------------
// Inputs over the whole range, with the values each operation is sensitive to.

const uint32_t kSpecialFloats[] = {
    0x00000000u, 0x80000000u, 0x7f800000u, 0xff800000u, 0x7fc00000u, 0xffc00123u, 0x7fa00001u,
    0x00000001u, 0x807fffffu, 0x00800000u, 0x7f7fffffu, 0xff7fffffu, FB(1.0f), FB(-1.0f),
    FB(2.0f), FB(-2.0f), FB(3.0f), FB(-3.0f), FB(0.5f), FB(7.0f), FB(-7.0f), FB(1e-3f),
    FB(2147483648.0f), FB(3e38f), FB(16777216.0f), FB(1.0000001f), FB(0.99999994f)};
const int32_t kSpecialInts[] = {0, 1, -1, 2, -2, 3, -3, 7, -7, kIntMin, kIntMax, kIntMin + 1,
                                kIntMax - 1, 46341, -46341, 65536, 16777217, -16777217};

uint32_t RandomFloat(std::mt19937_64& rng) {
  switch (rng() % 8) {
    case 0: case 1: case 2: return static_cast<uint32_t>(rng());
    case 3: return FB(std::uniform_real_distribution<float>(-10.0f, 10.0f)(rng));
    case 4: return FB(static_cast<float>(static_cast<int>(rng() % 41) - 20));
    case 5: return kSpecialFloats[rng() % std::size(kSpecialFloats)];
    case 6: return static_cast<uint32_t>(rng() & 0x807fffffu);  // subnormal
    default: return static_cast<uint32_t>(rng() & 0x80ffffffu) | ((127u + rng() % 40) << 23);
  }
}
uint32_t RandomInt(std::mt19937_64& rng) {
  switch (rng() % 5) {
    case 0: case 1: return static_cast<uint32_t>(rng());
    case 2: return static_cast<uint32_t>(static_cast<int32_t>(rng() % 41) - 20);
    case 3: return static_cast<uint32_t>(kSpecialInts[rng() % std::size(kSpecialInts)]);
    default: return static_cast<uint32_t>(static_cast<int32_t>(rng()) >> (rng() % 32));
  }
}
void Fill(std::vector<uint32_t>& v, bool isFloat, std::mt19937_64& rng) {
  for (uint32_t& x : v) x = isFloat ? RandomFloat(rng) : RandomInt(rng);
}

// ---------------------------------------------------------------------------
// Shapes and layouts

typedef std::vector<int32_t> Shape;  // outermost first; inputs have the output's rank

int64_t Count(const Shape& s) {
  int64_t n = 1;
  for (int32_t d : s) n *= d;
  return n;
}

// One input's odometer, built the way a host would: digits innermost first,
// strides 0 where the input is broadcast, then neighbouring digits merged at
// random wherever the strides allow (each input its own way).
struct Digits {
  std::vector<int32_t> dims, strides;
};

Digits InputDigits(const Shape& out, const Shape& in, std::mt19937_64& rng) {
  Digits d;
  int32_t natural = 1;
  for (size_t k = out.size(); k-- > 0;) {
    d.dims.push_back(out[k]);
    d.strides.push_back(in[k] == 1 ? 0 : natural);
    natural *= in[k];
  }
  if (d.dims.empty()) d = {{1}, {0}};
  for (size_t k = 0; k + 1 < d.dims.size();) {
    bool mergeable = d.strides[k + 1] == d.strides[k] * d.dims[k] || d.dims[k + 1] == 1;
    if (mergeable && rng() % 4 != 0) {
      d.dims[k] *= d.dims[k + 1];
      d.dims.erase(d.dims.begin() + k + 1);
      d.strides.erase(d.strides.begin() + k + 1);
    } else {
      ++k;
    }
  }
  return d;
}

void WriteOdometer(const Digits& d, int32_t* dims, int32_t* steps, int32_t* rank) {
  for (int k = 0; k < 8; ++k) dims[k] = steps[k] = 0x5a5a5a5a;  // beyond the rank: junk
  for (size_t k = 0; k < d.dims.size(); ++k) {
    dims[k] = d.dims[k];
    steps[k] = k == 0 ? d.strides[0] : d.strides[k] - d.dims[k - 1] * d.strides[k - 1];
  }
  *rank = static_cast<int32_t>(d.dims.size());
}

// False when the shapes give no layout within eight digits.
bool MakeLayout(const Shape& out, const Shape& a, const Shape& b, std::mt19937_64& rng,
                vorta::BroadcastLayout* layout) {
  Digits da = InputDigits(out, a, rng), db = InputDigits(out, b, rng);
  // Both fixed along a run of more than one element is not a layout: give A a
  // leading digit of extent 1, so that every run is one element long.
  if (da.strides[0] == 0 && db.strides[0] == 0 && da.dims[0] > 1 && db.dims[0] > 1) {
    da.dims.insert(da.dims.begin(), 1);
    da.strides.insert(da.strides.begin(), 0);
  }
  if (da.dims.size() > 8 || db.dims.size() > 8) return false;
  memset(layout, 0, sizeof *layout);
  WriteOdometer(da, layout->dimsA, layout->stepsA, &layout->rankA);
  WriteOdometer(db, layout->dimsB, layout->stepsB, &layout->rankB);
  layout->unused = 0x13579bdf;
  return true;
}

// Offset of input element for output index i, from the shapes alone.
int64_t InputOffset(const Shape& out, const Shape& in, int64_t i) {
  int64_t offset = 0, stride = 1;
  for (size_t k = out.size(); k-- > 0;) {
    int64_t digit = i % out[k];
    i /= out[k];
    if (in[k] != 1) offset += digit * stride;
    stride *= in[k];
  }
  return offset;
}

struct Case {
  Shape out, a, b;
};

std::string ShapeText(const Shape& s) {
  std::string t = "[";
  for (size_t k = 0; k < s.size(); ++k) t += (k ? "," : "") + std::to_string(s[k]);
  return t + "]";
}
std::string CaseText(const Case& c) {
  return "out " + ShapeText(c.out) + " A " + ShapeText(c.a) + " B " + ShapeText(c.b);
}

// A random output shape of rank 0 to 8 and two inputs broadcast into it.
Case RandomCase(std::mt19937_64& rng, int64_t maxCount) {
  Case c;
  for (;;) {
    const int rank = static_cast<int>(rng() % 9);
    c.out.assign(rank, 1);
    for (int32_t& d : c.out) d = 1 + static_cast<int32_t>(rng() % (rng() % 3 == 0 ? 40 : 6));
    if (Count(c.out) <= maxCount) break;
  }
  c.a = c.b = c.out;
  const int style = static_cast<int>(rng() % 4);  // a full operand, a scalar, or mixed
  for (size_t k = 0; k < c.out.size(); ++k) {
    if (style != 1 && rng() % 3 == 0) c.a[k] = 1;
    if (style != 2 && rng() % 3 == 0) c.b[k] = 1;
    if (style == 3) c.b[k] = 1;
  }
  return c;
}

// ---------------------------------------------------------------------------
// Running a member

constexpr size_t kGuard = 64;
constexpr uint32_t kOutputFill = 0xa5a5a5a5u;

using vorta_test::Schedule;

std::vector<JobOptions> Schedules(std::mt19937_64& rng) {
  return {Schedule(1, 0, false, false, rng()), Schedule(2, 7, true, true, rng()),
          Schedule(3, 1 + static_cast<int32_t>(rng() % 40), true, false, rng()),
          Schedule(2, 1, false, true, rng())};
}

// Runs the member's export over `count` output indices and returns the output.
// The record and both inputs must come back unchanged, and nothing outside the
// output may be written.
std::vector<uint32_t> RunMember(const Member& m, const uint32_t* a, const uint32_t* b,
                          const vorta::BroadcastLayout& layout, int64_t count, const Params& p,
                          const JobOptions& opt, uint32_t* outAt = nullptr) {
  std::vector<uint32_t> arena(count + 2 * kGuard, kOutputFill);
  uint32_t* out = outAt ? outAt : arena.data() + kGuard;
  uint8_t record[sizeof(vorta::BroadcastWeightedSumJob)];
  size_t size;
  if (IsWeightedSum(m)) {
    vorta::BroadcastWeightedSumJob r{a, b, out, p.alpha, p.beta, layout};
    memcpy(record, &r, size = sizeof r);
  } else {
    vorta::BroadcastBinaryJob r{a, b, out, layout};
    memcpy(record, &r, size = sizeof r);
  }
  uint8_t before[sizeof record];
  memcpy(before, record, size);
  vorta::host::RunJob(vorta::host::LinkedJob(m.entry), record, size, static_cast<int32_t>(count),
                      opt);
  EXPECT_EQ(0, memcmp(before, record, size)) << "the job record was modified";
  if (outAt) return {};
  for (size_t g = 0; g < kGuard; ++g) {
    EXPECT_EQ(kOutputFill, arena[g]) << "written before the output";
    EXPECT_EQ(kOutputFill, arena[kGuard + count + g]) << "written after the output";
  }
  return std::vector<uint32_t>(arena.begin() + kGuard, arena.begin() + kGuard + count);
}

void ExpectOutput(const Member& m, Check check, const std::vector<uint32_t>& want,
                  const std::vector<uint32_t>& got, const std::vector<uint32_t>& inA,
                  const std::vector<uint32_t>& inB, const Case* c = nullptr) {
  ASSERT_EQ(want.size(), got.size());
  int failures = 0;
  for (size_t i = 0; i < got.size() && failures < 6; ++i) {
    if (Matches(check, want[i], got[i])) continue;
    ++failures;
    char text[200];
    uint32_t a = c ? inA[InputOffset(c->out, c->a, i)] : inA[i];
    uint32_t b = c ? inB[InputOffset(c->out, c->b, i)] : inB[i];
    snprintf(text, sizeof text, "element %zu: a 0x%08x (%g), b 0x%08x (%g): want 0x%08x (%g), got 0x%08x (%g)",
             i, a, BF(a), b, BF(b), want[i], BF(want[i]), got[i], BF(got[i]));
    ADD_FAILURE() << m.name << " " << text;
  }
}

Params RandomParams(std::mt19937_64& rng) {
  return {BF(RandomFloat(rng)), BF(RandomFloat(rng))};
}

// A case made ready to run: its layout, random inputs and parameters.
struct Job {
  Case c;
  vorta::BroadcastLayout layout;
  std::vector<uint32_t> a, b;
  Params p;
  bool valid;
  Job(const Member& m, const Case& shapes, std::mt19937_64& rng)
      : c(shapes), a(Count(c.a)), b(Count(c.b)) {
    valid = MakeLayout(c.out, c.a, c.b, rng, &layout);
    Fill(a, m.floatA, rng);
    Fill(b, m.floatB, rng);
    p = RandomParams(rng);
  }
  std::vector<uint32_t> Run(const Member& m, const JobOptions& opt) {
    return RunMember(m, a.data(), b.data(), layout, Count(c.out), p, opt);
  }
};

// One case: random inputs, the job under the given schedule, the nested-loop reference.
void CheckCase(const Member& m, const Case& c, const JobOptions& opt, std::mt19937_64& rng) {
  Job job(m, c, rng);
  if (!job.valid) return;
  const std::vector<uint32_t> a0 = job.a, b0 = job.b;
  const int64_t n = Count(c.out);
  std::vector<uint32_t> want(n);
  for (int64_t i = 0; i < n; ++i)
    want[i] = m.ref(job.a[InputOffset(c.out, c.a, i)], job.b[InputOffset(c.out, c.b, i)], job.p);
  std::vector<uint32_t> got = job.Run(m, opt);
  EXPECT_TRUE(job.a == a0 && job.b == b0) << "an input was modified";
  ExpectOutput(m, m.check, want, got, job.a, job.b, &c);
}

// ---------------------------------------------------------------------------
// Every member on both variants

class BroadcastMemberTest : public ::testing::TestWithParam<std::tuple<size_t, CpuVariant>> {
 protected:
  void SetUp() override {
    if (variant() == CpuVariant::Avx2 && !vorta::host::CanRunAvx2())
      GTEST_SKIP() << "this processor cannot run the AVX2 variant";
    vorta::host::InitializeLinked(variant());
  }
  const Member& member() const { return Members()[std::get<0>(GetParam())]; }
  CpuVariant variant() const { return std::get<1>(GetParam()); }
  std::mt19937_64 Rng(uint64_t salt) const {
    return std::mt19937_64(salt * 0x9e3779b97f4a7c15ull + std::get<0>(GetParam()) * 31 +
                           static_cast<uint64_t>(variant()));
  }
};

TEST_P(BroadcastMemberTest, RandomShapesMatchNestedLoops) {
  std::mt19937_64 rng = Rng(1);
  for (int i = 0; i < 40 && !HasFailure(); ++i) {
    const Case c = RandomCase(rng, 4000);
    SCOPED_TRACE(CaseText(c));
    for (const JobOptions& opt : Schedules(rng)) CheckCase(member(), c, opt, rng);
  }
}

// The layouts the walk is most sensitive to, each with batches that start in
// the middle of digits.
TEST_P(BroadcastMemberTest, NamedLayouts) {
  std::mt19937_64 rng = Rng(2);
  const Case cases[] = {
      {{2, 3}, {2, 1}, {2, 3}},                 // a column against a full tensor
      {{37, 129}, {37, 129}, {1, 129}},         // a row broadcast, runs of 129
      {{129, 37}, {1, 1}, {129, 37}},           // a single value
      {{5, 3, 17}, {5, 3, 17}, {5, 3, 17}},     // both full, one run per batch
      {{4, 1, 9, 2}, {4, 1, 1, 2}, {1, 1, 9, 1}},
      {{3, 5}, {3, 1}, {3, 1}},                 // both fixed along the inner digit
      {{1}, {1}, {1}},
      {{}, {}, {}},                             // rank 0
      {{2, 2, 2, 2, 2, 2, 2, 3}, {2, 1, 2, 1, 2, 1, 2, 1}, {1, 2, 1, 2, 1, 2, 1, 3}},
      {{100003}, {100003}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CaseText(c));
    for (const JobOptions& opt : Schedules(rng)) CheckCase(member(), c, opt, rng);
    if (HasFailure()) return;
  }
}

// The blocked path and the one-element path give the same bits: one batch per
// job against batches of one element.
TEST_P(BroadcastMemberTest, BlockingChangesNoResult) {
  std::mt19937_64 rng = Rng(3);
  const Member& m = member();
  for (const Case& c : {Case{{1000}, {1000}, {1000}}, Case{{40, 25}, {40, 25}, {1, 25}},
                        Case{{40, 25}, {40, 1}, {40, 25}}}) {
    Job job(m, c, rng);
    ASSERT_TRUE(job.valid);
    auto whole = job.Run(m, Schedule(1, int32_t(Count(c.out)), false, false, 1));
    auto single = job.Run(m, Schedule(2, 1, false, true, 2));
    // The AVX2 power may fuse multiply-adds in its blocks only.
    const Check check = m.check == Check::Ulp1 && variant() == CpuVariant::Sse2 ? Check::Bits : m.check;
    ExpectOutput(m, check, whole, single, job.a, job.b, &c);
  }
}

std::string MemberVariantName(
    const ::testing::TestParamInfo<std::tuple<size_t, CpuVariant>>& info) {
  return std::string(Members()[std::get<0>(info.param)].name) + "_" +
         vorta::host::VariantName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Broadcast, BroadcastMemberTest,
                         ::testing::Combine(::testing::Range<size_t>(0, 33),
                                            ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2)),
                         MemberVariantName);

// ---------------------------------------------------------------------------
// SSE2 against AVX2: integers, comparisons, minimum and maximum bit for bit,
// float arithmetic bit for bit up to NaN payloads, the powers within one ulp.

class BroadcastVariantsTest : public ::testing::TestWithParam<size_t> {};

TEST_P(BroadcastVariantsTest, VariantsAgree) {
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  const Member& m = Members()[GetParam()];
  std::mt19937_64 rng(GetParam() + 77);
  for (int i = 0; i < 10; ++i) {
    Job job(m, RandomCase(rng, 20000), rng);
    if (!job.valid) continue;
    const JobOptions opt = Schedule(2, 0, false, false, 3);
    vorta::host::InitializeLinked(CpuVariant::Sse2);
    auto sse = job.Run(m, opt);
    vorta::host::InitializeLinked(CpuVariant::Avx2);
    auto avx = job.Run(m, opt);
    SCOPED_TRACE(CaseText(job.c));
    ExpectOutput(m, m.check, sse, avx, job.a, job.b, &job.c);
  }
}

INSTANTIATE_TEST_SUITE_P(Broadcast, BroadcastVariantsTest, ::testing::Range<size_t>(0, 33),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return std::string(Members()[info.param].name);
                         });

// ---------------------------------------------------------------------------
// Fixed values, per variant, exactly

struct Fixed {
  const char* member;
  uint32_t a, b, want;
};

uint32_t N(int32_t v) { return static_cast<uint32_t>(v); }
constexpr uint32_t kSomeNan = 0x7fffffffu;  // a NaN whose sign and payload are open

const Fixed kFixed[] = {
    // The sign rules of the integer remainder and modulo.
    {"ModuloInt32", N(-7), N(3), N(2)}, {"ModuloInt32", N(7), N(-3), N(-2)},
    {"ModuloInt32", N(-7), N(-3), N(-1)}, {"RemainderInt32", N(-7), N(3), N(-1)},
    {"RemainderInt32", N(7), N(-3), N(1)},
    // Large divisors: the wrapping inner sum of ((a rem b) + b) rem b is not taken.
    {"ModuloInt32", N(5), N(kIntMax), N(5)}, {"ModuloInt32", N(-5), N(kIntMax), N(kIntMax - 5)},
    {"ModuloInt32", N(5), N(kIntMin), N(kIntMin + 5)}, {"ModuloInt32", N(kIntMin), N(kIntMax), N(kIntMax - 1)},
    // Outside the host's domain: no fault, the documented values.
    {"DivideInt32", N(7), N(0), N(0)}, {"RemainderInt32", N(7), N(0), N(7)},
    {"ModuloInt32", N(-7), N(0), N(-7)}, {"DivideInt32", N(kIntMin), N(-1), N(kIntMin)},
    {"RemainderInt32", N(kIntMin), N(-1), N(0)}, {"ModuloInt32", N(kIntMin), N(-1), N(0)},
    {"DivideInt32", N(-7), N(2), N(-3)}, {"LessInt32", N(-1), N(1), 1}, {"GreaterInt32", N(kIntMin), N(kIntMax), 0},
    // Float modulo and remainder.
    {"ModuloFloat", FB(-7), FB(3), FB(2)}, {"ModuloFloat", FB(7), FB(-3), FB(-2)},
    {"ModuloFloat", FB(-3), FB(3), FB(0.0f)}, {"ModuloFloat", FB(-0.0f), FB(3), FB(0.0f)},
    {"ModuloFloat", FB(1e-3f), FB(3), FB(1e-3f)}, {"ModuloFloat", FB(5), FB(2147483648.0f), FB(5)},
    {"ModuloFloat", FB(-1e-3f), FB(3), FB(3.0f - 1e-3f)}, {"ModuloFloat", FB(2), FB(kInf), FB(2)},
    {"ModuloFloat", FB(-2), FB(kInf), FB(kInf)}, {"ModuloFloat", FB(-2), FB(-kInf), FB(-2)},
    {"ModuloFloat", FB(2), FB(-kInf), FB(-kInf)}, {"ModuloFloat", FB(-1e-20f), FB(3), FB(0.0f)},
    {"ModuloFloat", FB(3e38f), FB(3.4e38f), FB(3e38f)},
    {"RemainderFloat", FB(-1), FB(3), FB(-1)}, {"RemainderFloat", FB(-6), FB(3), FB(0.0f)},
    {"RemainderFloat", FB(-0.0f), FB(3), FB(-0.0f)}, {"RemainderFloat", FB(5), FB(-kInf), FB(5)},
    {"RemainderFloat", FB(3e38f), FB(7), FB(RefRemainder(3e38f, 7))},
    {"RemainderFloat", FB(-3e38f), FB(1e-38f), FB(RefRemainder(-3e38f, 1e-38f))},
    {"RemainderFloat", 0x7f7fffffu, 0x00000001u, FB(0.0f)},
    {"RemainderFloat", FB(1e9f), FB(3), FB(1.0f)},  // quotient beyond 2^24, exact in double
    // Comparisons with NaN are false, equality included.
    {"EqualFloat", FB(kNaN), FB(kNaN), 0}, {"EqualFloat", FB(0.0f), FB(-0.0f), 1},
    {"LessEqualFloat", FB(kNaN), FB(1), 0}, {"GreaterEqualFloat", FB(1), FB(kNaN), 0},
    {"LessFloat", FB(-kInf), FB(kInf), 1},
    // NaN-aware minimum and maximum.
    {"MinFloat", FB(kNaN), FB(2), FB(2)}, {"MinFloat", FB(2), FB(kNaN), FB(2)},
    {"MinFloat", FB(0.0f), FB(-0.0f), FB(-0.0f)}, {"MinFloat", FB(-0.0f), FB(0.0f), FB(0.0f)},
    {"MinFloat", 0xffc00123u, 0x7fa00001u, 0xffc00123u}, {"MaxFloat", FB(kNaN), FB(-2), FB(-2)},
    {"MaxFloat", FB(-0.0f), FB(0.0f), FB(0.0f)}, {"MaxFloat", FB(0.0f), FB(-0.0f), FB(-0.0f)},
    // The rectifier multiplies by 1.
    {"PRelu", FB(-0.0f), FB(5), FB(-0.0f)}, {"PRelu", FB(-kInf), FB(0.0f), 0xffc00000u},
    {"PRelu", FB(-2), FB(0.5f), FB(-1)}, {"PRelu", FB(3), FB(kNaN), FB(3)},
    // Power special cases.
    {"Pow", FB(kNaN), FB(0.0f), FB(1)}, {"Pow", FB(kNaN), FB(-0.0f), FB(1)},
    {"Pow", FB(1), FB(kNaN), FB(1)}, {"Pow", FB(-2), FB(3), FB(-8)}, {"Pow", FB(-8), FB(1.0f / 3), kSomeNan},
    {"Pow", FB(-0.0f), FB(-1), FB(-kInf)}, {"Pow", FB(0.0f), FB(-1), FB(kInf)},
    {"Pow", FB(-kInf), FB(3), FB(-kInf)}, {"Pow", FB(0.5f), FB(kInf), FB(0.0f)},
    {"Pow", FB(-1), FB(kInf), FB(1)}, {"Pow", FB(2), FB(10), FB(1024)},
    {"PowInt", FB(-1), N(16777217), FB(1)},  // the exponent rounds to 2^24, an even number
    {"PowInt", FB(-2), N(3), FB(-8)}, {"PowInt", FB(kNaN), N(0), FB(1)}, {"PowInt", FB(2), N(-2), FB(0.25f)},
};

class BroadcastFixedTest : public ::testing::TestWithParam<CpuVariant> {};

// Each member's fixed pairs repeated to 21 elements, so that both the blocks
// and the one-element tail compute them.
TEST_P(BroadcastFixedTest, FixedValues) {
  if (GetParam() == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  vorta::host::InitializeLinked(GetParam());
  std::mt19937_64 rng(9);
  for (const Fixed& f : kFixed) {
    const Member& m = Named(f.member);
    const int n = 21;
    std::vector<uint32_t> a(n, f.a), b(n, f.b), want(n, f.want);
    vorta::BroadcastLayout layout;
    ASSERT_TRUE(MakeLayout({n}, {n}, {n}, rng, &layout));
    auto got = RunMember(m, a.data(), b.data(), layout, n, {}, Schedule(1, 0, false, false, 1));
    if (f.want == kSomeNan) {
      for (uint32_t g : got) EXPECT_TRUE(std::isnan(BF(g))) << f.member << " want NaN, got " << BF(g);
      continue;
    }
    SCOPED_TRACE(f.member);
    ExpectOutput(m, Check::Bits, want, got, a, b);
  }
}

// The weighted sum rounds both products before adding: no fused multiply-add in
// either variant (fused, 0.33333334 * 3 - 1 would be 2.98e-8).
TEST_P(BroadcastFixedTest, WeightedSumRoundsEachProduct) {
  if (GetParam() == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  vorta::host::InitializeLinked(GetParam());
  std::mt19937_64 rng(10);
  const int n = 19;
  std::vector<uint32_t> a(n, FB(3.0f)), b(n, FB(1.0f));
  vorta::BroadcastLayout layout;
  ASSERT_TRUE(MakeLayout({n}, {n}, {n}, rng, &layout));
  auto got = RunMember(Named("WeightedSum"), a.data(), b.data(), layout, n, {1.0f / 3, -1.0f},
                 Schedule(1, 0, false, false, 1));
  for (uint32_t g : got) EXPECT_EQ(FB(0.0f), g);
}

// The worked layout: output 2 x 3, A of shape 2 x 1 as two digits, B full as
// one; batches of 4 make the second batch start at output 4, inside A's first digit.
TEST_P(BroadcastFixedTest, WorkedLayoutWithABatchStartingInsideADigit) {
  if (GetParam() == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  vorta::host::InitializeLinked(GetParam());
  vorta::BroadcastLayout layout{};
  layout.dimsA[0] = 3, layout.dimsA[1] = 2, layout.stepsA[0] = 0, layout.stepsA[1] = 1;
  layout.rankA = 2;
  layout.dimsB[0] = 6, layout.stepsB[0] = 1, layout.rankB = 1;
  std::vector<uint32_t> a = {N(100), N(200)}, b = {N(1), N(2), N(3), N(4), N(5), N(6)};
  const std::vector<uint32_t> want = {N(101), N(102), N(103), N(204), N(205), N(206)};
  for (const JobOptions& opt : {Schedule(1, 4, false, false, 1), Schedule(2, 1, false, true, 2),
                                Schedule(1, 6, false, false, 3)}) {
    auto got = RunMember(Named("AddInt32"), a.data(), b.data(), layout, 6, {}, opt);
    EXPECT_EQ(want, got);
  }
}

// An empty output schedules no index and writes nothing.
TEST_P(BroadcastFixedTest, EmptyOutputWritesNothing) {
  if (GetParam() == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  vorta::host::InitializeLinked(GetParam());
  vorta::BroadcastLayout layout{};
  layout.rankA = layout.rankB = 1;
  for (const Member& m : Members()) RunMember(m, nullptr, nullptr, layout, 0, {}, Schedule(2, 0, false, true, 4));
}

// An output that is A itself, or a few elements after or before it (both
// streaming), sees the element-by-element order: each output element is
// written after every earlier element was read.
TEST_P(BroadcastFixedTest, OverlappingOutputFollowsElementOrder) {
  if (GetParam() == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  vorta::host::InitializeLinked(GetParam());
  std::mt19937_64 rng(11);
  const Member& m = Named("AddInt32");
  const int n = 203;
  for (int shift : {0, 1, 3, 7, 8, 9, 16, -1, -5}) {
    std::vector<uint32_t> memory(n + 40), b(n);
    Fill(memory, false, rng);
    Fill(b, false, rng);
    uint32_t* a = memory.data() + 20;
    std::vector<uint32_t> want = memory;
    for (int i = 0; i < n; ++i) want[20 + shift + i] = U(int64_t(I(want[20 + i])) + I(b[i]));
    vorta::BroadcastLayout layout;
    ASSERT_TRUE(MakeLayout({n}, {n}, {n}, rng, &layout));
    RunMember(m, a, b.data(), layout, n, {}, Schedule(1, 0, false, false, 1), a + shift);
    EXPECT_EQ(want, memory) << "output " << shift << " elements after A";
  }
}

INSTANTIATE_TEST_SUITE_P(Broadcast, BroadcastFixedTest,
                         ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2),
                         [](const ::testing::TestParamInfo<CpuVariant>& info) {
                           return std::string(vorta::host::VariantName(info.param));
                         });

// Many more random shapes and schedules; run with the long tests.
TEST(LongBroadcast, ManyRandomLayouts) {
  for (CpuVariant v : {CpuVariant::Sse2, CpuVariant::Avx2}) {
    if (v == CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) continue;
    vorta::host::InitializeLinked(v);
    std::mt19937_64 rng(12 + static_cast<uint64_t>(v));
    for (int i = 0; i < 30000 && !::testing::Test::HasFailure(); ++i) {
      const Member& m = Members()[rng() % Members().size()];
      const Case c = RandomCase(rng, 30000);
      SCOPED_TRACE(std::string(m.name) + " " + CaseText(c));
      for (const JobOptions& opt : Schedules(rng)) CheckCase(m, c, opt, rng);
    }
  }
}

}  // namespace
