// The further element-wise maps and the buffer utilities, through their exports.
//
// Oracles: bit formulas written from each member's definition (negate, absolute
// value, sign, the decoding remap and the int32 affine map in 64-bit
// arithmetic), double-precision references for the inverse sine and tangent
// (within 3.5 units in the last place) and for the scaled exponential linear
// unit, and a round trip through the encoding bit remap. Inputs are random bit
// patterns over the whole range (NaN, infinities, signed zeros, subnormals) plus
// the values each member is sensitive to; both variants, several workers, odd
// lengths and random batches; in place and overlapping layouts.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tests/variant_test.h"
#include "vorta/vorta.h"

namespace {

using vorta_test::Schedule;
using vorta_test::SameFloat;

constexpr float kInf = std::numeric_limits<float>::infinity();
inline uint32_t FB(float f) { return std::bit_cast<uint32_t>(f); }
inline float BF(uint32_t u) { return std::bit_cast<float>(u); }

// Random bit patterns, one in four replaced by a value from `specials`.
std::vector<uint32_t> RandomBits(size_t n, uint32_t seed, const std::vector<uint32_t>& specials) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> v(n);
  for (uint32_t& x : v) x = rng() % 4 == 0 ? specials[rng() % specials.size()] : uint32_t(rng());
  return v;
}

const std::vector<uint32_t> kFloatSpecials = {
    FB(0.0f),  FB(-0.0f), FB(kInf), FB(-kInf), 0x7fc00000, 0xffc00001, 0x7f800001, 0x00000001,
    0x807fffff, FB(1.0f), FB(-1.0f), FB(1.0000001f), FB(-0.99999994f), FB(0.5f), FB(-88.0f),
    FB(1e-30f), 0x7f7fffff};

// Runs a job over `length` indices; `record` holds the input and output pointers.
template <class Record>
void RunMap(const char* name, Record record, int32_t length, uint64_t seed) {
  vorta::host::RunJob(vorta::host::LinkedJob(name), &record, sizeof record, length,
                      Schedule(1 + int(seed % 3), 1 + int32_t(seed % 37), true, true, seed));
}

// A member's expected output word for an input word, or (bits null) the exact
// value of a float function the output must lie within 3.5 units in the last place of.
struct Member {
  const char* name;
  const char* label;
  std::function<uint32_t(uint32_t)> bits;
  double (*exact)(double) = nullptr;
};

double UlpDistance(float got, double want) {
  const double ulp = std::ldexp(1.0, std::max(std::ilogb(float(want)), -126) - 23);
  return std::fabs(got - want) / ulp;
}

using MapsExtraTest = vorta_test::VariantTest;

// The members on the span record: input, output, length; parameters follow.
TEST_P(MapsExtraTest, SpanMembersAgreeWithTheirDefinitions) {
  const float alpha = 1.6732632f, gamma = 1.050701f;
  const int32_t scale = -1640531535, offset = 12345;
  const Member members[] = {
      {VORTA_EXPORT_MAPS_EXTRA_NEGATE, "negate", [](uint32_t x) { return x ^ 0x80000000u; }},
      {VORTA_EXPORT_MAPS_EXTRA_ABS, "abs", [](uint32_t x) { return x & 0x7fffffffu; }},
      {VORTA_EXPORT_MAPS_EXTRA_SIGN, "sign",
       [](uint32_t x) {
         const bool zeroOrNan = (x & 0x7fffffffu) == 0 || (x & 0x7fffffffu) > 0x7f800000u;
         return zeroOrNan ? 0u : (x >> 31 ? FB(-1.0f) : FB(1.0f));
       }},
      {VORTA_EXPORT_MAPS_EXTRA_AFFINE_INT32, "affine",
       [=](uint32_t x) { return uint32_t(int64_t(offset) + int64_t(scale) * int32_t(x)); }},
      {VORTA_EXPORT_MAPS_EXTRA_ASIN, "asin", nullptr, [](double x) { return std::asin(x); }},
      {VORTA_EXPORT_MAPS_EXTRA_ATAN, "atan", nullptr, [](double x) { return std::atan(x); }},
  };
  uint64_t seed = 1;
  for (const Member& m : members)
    for (int32_t length : {1, 7, 64, 1001, 4099}) {
      SCOPED_TRACE(testing::Message() << m.label << " length " << length);
      const std::vector<uint32_t> in = RandomBits(length + 1, uint32_t(++seed), kFloatSpecials);
      std::vector<uint32_t> out(length + 1, 0xdeadbeef);
      VortaAffineInt32Job job{};  // the span record, with the int32 parameters at 32 and 36
      job.input = reinterpret_cast<const int32_t*>(in.data());
      job.output = reinterpret_cast<int32_t*>(out.data());
      job.length = length;
      job.scale = scale, job.offset = offset;
      memset(job.unused, 0x41, sizeof job.unused);
      RunMap(m.name, job, length, seed);
      int bad = 0;
      for (int32_t i = 0; i < length; ++i) {
        bool ok;
        if (m.bits) {
          ok = out[i] == m.bits(in[i]);
        } else {
          const double want = m.exact(BF(in[i]));
          ok = std::isnan(want) ? std::isnan(BF(out[i])) : UlpDistance(BF(out[i]), want) <= 3.5;
        }
        if (!ok && ++bad <= 5) ADD_FAILURE() << std::hex << "in " << in[i] << " out " << out[i];
      }
      EXPECT_EQ(out[length], 0xdeadbeefu) << "wrote past the length";
    }
}

// The sensitive points, exactly.
TEST_P(MapsExtraTest, EdgeValues) {
  struct Case {
    const char* name;
    float x;
    uint32_t want;
  } cases[] = {
      {VORTA_EXPORT_MAPS_EXTRA_ASIN, 1.0f, FB(1.5707964f)},   {VORTA_EXPORT_MAPS_EXTRA_ASIN, -1.0f, FB(-1.5707964f)},
      {VORTA_EXPORT_MAPS_EXTRA_ASIN, 1.0000001f, 0x7fc00000}, {VORTA_EXPORT_MAPS_EXTRA_ASIN, -0.0f, FB(-0.0f)},
      {VORTA_EXPORT_MAPS_EXTRA_ATAN, kInf, FB(1.5707964f)},   {VORTA_EXPORT_MAPS_EXTRA_ATAN, -kInf, FB(-1.5707964f)},
      {VORTA_EXPORT_MAPS_EXTRA_ATAN, -0.0f, FB(-0.0f)},       {VORTA_EXPORT_MAPS_EXTRA_ATAN, BF(0xffc00000), 0x7fc00000},
      {VORTA_EXPORT_MAPS_EXTRA_SIGN, -0.0f, 0},               {VORTA_EXPORT_MAPS_EXTRA_SIGN, BF(0xffc00000), 0},
      {VORTA_EXPORT_MAPS_EXTRA_SIGN, -1e-45f, FB(-1.0f)},     {VORTA_EXPORT_MAPS_EXTRA_NEGATE, BF(0x7fc00001), 0xffc00001},
      {VORTA_EXPORT_MAPS_EXTRA_ABS, BF(0xffc00000), 0x7fc00000},
  };
  for (const Case& c : cases)
    for (int32_t length : {1, 9}) {  // the element-by-element tail and the blocked path
      std::vector<float> in(length, c.x), out(length);
      VortaAffineInt32Job job{};
      job.input = reinterpret_cast<const int32_t*>(in.data());
      job.output = reinterpret_cast<int32_t*>(out.data());
      job.length = length;
      RunMap(c.name, job, length, 3);
      for (float y : out)
        EXPECT_TRUE(c.want == 0x7fc00000 ? std::isnan(y) : FB(y) == c.want)
            << c.name << " of " << c.x << " gave " << std::hex << FB(y);
    }
}

// In place, and with the output one element after the input: every element is
// the result of the element-by-element order (here: negation applied i + 1 times).
TEST_P(MapsExtraTest, NegateInPlaceAndOverlapping) {
  std::vector<uint32_t> buffer = RandomBits(300, 9, kFloatSpecials);
  const std::vector<uint32_t> original = buffer;
  VortaAffineInt32Job job{};
  job.input = reinterpret_cast<const int32_t*>(buffer.data());
  job.output = reinterpret_cast<int32_t*>(buffer.data());
  job.length = 299;
  RunMap(VORTA_EXPORT_MAPS_EXTRA_NEGATE, job, 299, 4);
  for (int i = 0; i < 299; ++i) EXPECT_EQ(buffer[i], original[i] ^ 0x80000000u) << i;
  buffer = original;
  job.output = reinterpret_cast<int32_t*>(buffer.data() + 1);
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_MAPS_EXTRA_NEGATE), &job, sizeof job,
                      299, Schedule(1, 299, false, false, 0));
  for (int i = 0; i < 299; ++i)
    EXPECT_EQ(buffer[i + 1], original[0] ^ (i % 2 ? 0u : 0x80000000u)) << i;
}

// gamma * x above zero (one rounding), gamma * (exp(x) * alpha - alpha) at or
// below it within the rounding of four steps, NaN for NaN.
TEST_P(MapsExtraTest, ScaledExponentialLinearUnit) {
  const float params[][2] = {{1.6732632f, 1.050701f}, {0.5f, -3.0f}, {2.0f, 1e30f}};
  uint64_t seed = 20;
  for (const auto& p : params) {
    const int32_t length = 2003;
    const std::vector<uint32_t> bits = RandomBits(length, uint32_t(++seed), kFloatSpecials);
    std::vector<float> in(length), out(length);
    for (int i = 0; i < length; ++i) in[i] = BF(bits[i]);
    VortaSeluJob job;
    memset(&job, 0x5a, sizeof job);  // bytes 24 to 27 are not read
    job.input = in.data(), job.output = out.data(), job.length = length;
    job.alpha = p[0], job.gamma = p[1];
    RunMap(VORTA_EXPORT_MAPS_EXTRA_SELU, job, length, seed);
    int bad = 0;
    for (int i = 0; i < length; ++i) {
      const double x = in[i], a = p[0], g = p[1];
      bool ok;
      if (std::isnan(x)) {
        ok = std::isnan(out[i]);
      } else if (x > 0) {
        ok = SameFloat(out[i], float(g * x));
      } else {
        const double want = g * (std::exp(x) * a - a);
        const double bound = 4 * std::ldexp(std::fabs(g * a) + std::fabs(want), -24) + 1e-45;
        ok = std::fabs(out[i] - want) <= bound || (std::isinf(want) && out[i] == float(want));
      }
      if (!ok && ++bad <= 5) ADD_FAILURE() << "selu(" << in[i] << ") = " << out[i];
    }
  }
}

// The direct members: every scheduled index.
TEST_P(MapsExtraTest, DecodingBitRemapUndoesTheEncodingOne) {
  const int32_t length = 3001;
  std::vector<uint32_t> in = RandomBits(length, 31, {0, 0x80000000u, 0x40000000u, 0xbfffffffu, 0x3fffffffu, 0xc0000000u});
  std::vector<uint32_t> out(length);
  VortaBitDecodeJob job;
  memset(&job, 0x77, sizeof job);
  job.input = reinterpret_cast<const int32_t*>(in.data());
  job.output = reinterpret_cast<int32_t*>(out.data());
  RunMap(VORTA_EXPORT_MAPS_EXTRA_BIT_DECODE, job, length, 5);
  for (int i = 0; i < length; ++i)
    ASSERT_EQ(out[i], (in[i] & ~(1u << 30)) | ((in[i] >> 31) << 30)) << std::hex << in[i];
  // Round trip over the encoding's range [-2^30, 2^30 - 1].
  for (uint32_t& x : in) x = uint32_t(int32_t(x) >> 1);
  std::vector<uint32_t> encoded(length);
  struct { const void* in; void* out; } encode{in.data(), encoded.data()};
  RunMap("31df84733eb331756f38852bda5d2be3", encode, length, 6);
  job.input = reinterpret_cast<const int32_t*>(encoded.data());
  RunMap(VORTA_EXPORT_MAPS_EXTRA_BIT_DECODE, job, length, 7);
  EXPECT_EQ(out, in);
}

TEST_P(MapsExtraTest, ClampedCastFromDouble) {
  std::mt19937_64 rng(41);
  const double specials[] = {3.0e9, -3.0e9, 2147483647.0, 2147483647.5, -2147483648.0,
                             -2147483648.5, 1e300, -1e300, 1e-310, -0.0, 0.0,
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::nan(""), 1.0000000596046448, 3.4028235677973366e38};
  std::vector<double> in(1003);
  for (double& x : in) x = rng() % 3 ? std::bit_cast<double>(rng()) : specials[rng() % 16];
  std::vector<float> out(in.size() + 1, 5.0f);
  struct { const double* in; float* out; } job{in.data(), out.data()};
  RunMap(VORTA_EXPORT_MAPS_EXTRA_CAST_DOUBLE, job, int32_t(in.size()), 8);
  for (size_t i = 0; i < in.size(); ++i) {
    const double x = in[i];
    const float want = x < -2147483648.0 ? -2147483648.0f : x > 2147483647.0 ? 2147483648.0f : float(x);
    ASSERT_TRUE(SameFloat(out[i], want)) << x << " gave " << out[i];
  }
  EXPECT_EQ(out.back(), 5.0f);
}

// ---- the direct-call utilities ----

TEST_P(MapsExtraTest, BlockReplicator) {
  const auto replicate = reinterpret_cast<VortaReplicateBlockFn>(
      vorta::host::LinkedKernel(VORTA_EXPORT_MAPS_EXTRA_REPLICATE_BLOCK));
  const int32_t cases[][2] = {{3, 4}, {1, 1}, {0, 5}, {5, 0}, {1000, 7}, {-1, 3}, {3, -2}, {17, 1}};
  for (const auto& c : cases) {
    std::vector<uint32_t> src(std::max(c[0], 1));
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint32_t(i * 2654435761u);
    const size_t total = c[0] > 0 && c[1] > 0 ? size_t(c[0]) * c[1] : 0;
    std::vector<uint32_t> dst(total + 64, 0xabababab);
    const VortaReplicateBlockArgs args{src.data(), dst.data(), c[0], c[1]};
    replicate(&args);
    for (size_t i = 0; i < total; ++i) ASSERT_EQ(dst[i], src[i % c[0]]) << c[0] << "x" << c[1];
    for (size_t i = total; i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xababababu) << "past the copies";
  }
}

TEST_P(MapsExtraTest, PairReleaseForwardsEachNonNullPointerWithTheLabel) {
  const auto release = reinterpret_cast<VortaReleaseBufferPairFn>(
      vorta::host::LinkedKernel(VORTA_EXPORT_MAPS_EXTRA_RELEASE_PAIR));
  for (int mask = 0; mask < 4; ++mask) {
    void* a = mask & 1 ? vorta::host::service::Malloc(64, 16, 2) : nullptr;
    void* b = mask & 2 ? vorta::host::service::Malloc(32, 16, 2) : nullptr;
    VortaBufferPairArgs args{a, b, 2, {9, 9, 9, 9}};
    vorta::host::StartMemoryLog();
    release(&args);
    const std::vector<vorta::host::MemoryEvent> log = vorta::host::TakeMemoryLog();
    vorta::host::StopMemoryLog();
    std::vector<void*> freed;
    for (const auto& e : log) {
      EXPECT_EQ(e.kind, vorta::host::MemoryEvent::Free);
      EXPECT_EQ(e.allocator, 2u);
      freed.push_back(e.ptr);
    }
    std::vector<void*> want;
    if (a) want.push_back(a);
    if (b) want.push_back(b);
    EXPECT_EQ(freed, want) << mask;
  }
}

VORTA_INSTANTIATE_VARIANTS(MapsExtra, MapsExtraTest);

}  // namespace
