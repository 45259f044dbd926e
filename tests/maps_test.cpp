// The one-input element-wise map and cast jobs.
//
// Every member runs through its export on the reference host's job system and is
// compared with a plainly written scalar reference (one element at a time, in
// increasing index order, straight from each operation's definition), on both
// instruction-set variants, with one and several workers, random and empty
// batches, odd lengths, in place, misaligned and overlapping layouts. The two
// variants are also compared with each other. Inputs are mostly random bit
// patterns over the whole range of the element type (NaN, infinities, signed
// zeros, subnormals, huge values) mixed with the values each operation is
// sensitive to.
#include <gtest/gtest.h>
#include <immintrin.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "frame/initialize.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "tests/variant_test.h"
#include "tensor/map_records.h"

namespace {

using vorta::CpuVariant;
using vorta::host::JobOptions;

// ---------------------------------------------------------------------------
// Bits and element types

inline uint32_t FB(float f) { return std::bit_cast<uint32_t>(f); }
inline float BF(uint32_t u) { return std::bit_cast<float>(u); }

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

template <class T>
T LoadAs(const uint8_t* p) {
  T v;
  memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
void StoreAs(uint8_t* p, T v) {
  memcpy(p, &v, sizeof v);
}

enum class Elem { F32, I32, I64, Half, U8, I8, Bool };

size_t SizeOf(Elem e) {
  switch (e) {
    case Elem::F32:
    case Elem::I32:
      return 4;
    case Elem::I64:
      return 8;
    case Elem::Half:
      return 2;
    default:
      return 1;
  }
}

// How the job record is laid out.
enum class Shape {
  Span,       // UnaryMapJob, span loop over `length`
  ClipSpan,   // ClipInt32Job, span loop, bounds at 32 and 36
  Direct,     // DirectMapJob, every scheduled index
  Quantize,   // QuantizeJob, every scheduled index
  ArrayOnly,  // only the array address at offset 0
};

bool HasLength(Shape s) { return s == Shape::Span || s == Shape::ClipSpan; }

struct Params {
  uint32_t p0 = 0, p1 = 0;  // offsets 20 and 24 of UnaryMapJob
  int32_t lo = 0, hi = 0;   // int32 clip bounds
  float scale = 1.0f;       // quantise
  int32_t zeroPoint = 0;
};

// Values for members that take no parameter: anything that would change the
// results if it were read.
Params Unused() {
  Params p;
  p.p0 = FB(3.5f);
  p.p1 = FB(-2.0f);
  p.lo = 77;
  p.hi = -77;
  p.scale = 0.25f;
  p.zeroPoint = 9;
  return p;
}
Params Floats(float a, float b = -2.0f) {
  Params p = Unused();
  p.p0 = FB(a);
  p.p1 = FB(b);
  return p;
}
Params Bounds(int32_t lo, int32_t hi) {
  Params p = Unused();
  p.lo = lo;
  p.hi = hi;
  return p;
}
Params Quant(float scale, int32_t zeroPoint) {
  Params p = Unused();
  p.scale = scale;
  p.zeroPoint = zeroPoint;
  return p;
}

// ---------------------------------------------------------------------------
// The reference: one element at a time, from each operation's definition.

int32_t RefCastFloatToInt32(float x, const Params&) {
  double d = x;
  if (!(d > -2147483649.0 && d < 2147483648.0)) return kIntMin;  // NaN too
  return static_cast<int32_t>(d);                                  // truncates
}
float RefCastInt32ToFloat(int32_t x, const Params&) { return static_cast<float>(x); }
int32_t RefNegate(int32_t x, const Params&) { return static_cast<int32_t>(0u - static_cast<uint32_t>(x)); }
int32_t RefAbs(int32_t x, const Params& p) { return x < 0 ? RefNegate(x, p) : x; }
int32_t RefSign(int32_t x, const Params&) { return x < 0 ? -1 : x == 0 ? 0 : 1; }
int32_t RefLogicalNot(int32_t x, const Params&) { return x == 0 ? 1 : 0; }
int32_t RefSquareInt32(int32_t x, const Params&) {
  int64_t sq = static_cast<int64_t>(x) * x;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sq)));
}
// The double product of two floats is exact, so one rounding to float remains.
float RefSquareFloat(float x, const Params&) {
  return static_cast<float>(static_cast<double>(x) * static_cast<double>(x));
}
float RefSqrt(float x, const Params&) { return std::sqrt(x); }
float RefReciprocal(float x, const Params&) { return 1.0f / x; }
float RefCeil(float x, const Params&) { return std::isnan(x) ? x : std::ceil(x); }
float RefFloor(float x, const Params&) { return std::isnan(x) ? x : std::floor(x); }
float RefRound(float x, const Params&) { return std::rint(x); }  // default mode: ties to even
float RefRelu(float x, const Params&) {
  if (std::isnan(x)) return x;
  return x > 0.0f ? x : 0.0f;
}
float RefRelu6(float x, const Params&) {
  if (std::isnan(x)) return x;
  if (!(std::fabs(x) < 33554432.0f)) return x > 0.0f ? 6.0f : 0.0f;
  float a = std::fabs(x);
  float b = std::fabs(x - 6.0f);
  float s = a - b;
  float t = s + 6.0f;
  return t * 0.5f;
}
float RefSoftSign(float x, const Params&) {
  if (std::isinf(x)) return x > 0.0f ? 1.0f : -1.0f;
  float d = std::fabs(x) + 1.0f;
  return x / d;
}
float RefHardSwish(float x, const Params&) {
  if (std::isnan(x)) return x;
  if (x == -kInf) return -0.0f;
  float m = x * 0.16666667f;
  float t = m + 0.5f;
  float g = t < 1.0f ? t : 1.0f;
  float h = g > 0.0f ? g : 0.0f;
  return h * x;
}
float RefTwoSlope(float x, const Params& p) {
  float p0 = BF(p.p0), p1 = BF(p.p1);
  float a = p0 * x;
  float b = p1 * std::fabs(x);
  float r = a + b;
  if (std::isnan(r) && !std::isnan(x) && !std::isnan(p0) && !std::isnan(p1)) {
    float slope = x > 0.0f ? p0 + p1 : p0 - p1;
    return slope == 0.0f ? 0.0f : slope * x;
  }
  return r;
}
float RefThresholded(float x, const Params& p) { return x > BF(p.p0) ? x : 0.0f; }
float RefAffine(float x, const Params& p) {
  float m = x * BF(p.p0);
  return m + BF(p.p1);
}
float RefClipFloat(float x, const Params& p) {
  float p0 = BF(p.p0), p1 = BF(p.p1);
  float v = (std::isnan(p0) || x > p0) ? x : p0;
  return (p1 < v || std::isnan(v)) ? p1 : v;
}
int32_t RefClipInt32(int32_t x, const Params& p) {
  int32_t v = std::max(x, p.lo);
  return std::min(v, p.hi);
}
int32_t RefIsNan(uint32_t x, const Params&) { return (x & 0x7fffffffu) > 0x7f800000u ? 1 : 0; }
float RefHalfToFloat(uint16_t h, const Params&) { return vorta::host::HalfBitsToFloat(h); }
uint16_t RefFloatToHalf(uint32_t x, const Params&) {
  if ((x & 0x7f800000u) == 0 && (x & 0x007fffffu) != 0) return 0;
  return vorta::host::FloatToHalfBits(BF(x));
}
int32_t RefInt64ToInt32(int64_t x, const Params&) {
  if (x > kIntMax) return kIntMax;
  if (x < -2147483647) return kIntMin;
  return static_cast<int32_t>(x);
}
int32_t RefUint8ToInt32(uint8_t x, const Params&) { return x; }
int32_t RefInt8ToInt32(int8_t x, const Params&) { return x; }
int32_t RefBoolToInt32(uint8_t x, const Params&) { return x != 0 ? 1 : 0; }
uint8_t RefQuantize(float x, const Params& p) {
  float q = x / p.scale;
  float r = std::rint(q);
  float v = r + static_cast<float>(p.zeroPoint);
  if (std::isnan(v)) return 0;
  if (v < 0.0f) return 0;
  if (v > 255.0f) return 255;
  return static_cast<uint8_t>(static_cast<int32_t>(v));
}
// Bit 30 becomes the inverse of bit 29; every other bit is kept.
int32_t RefBitRemap(int32_t x, const Params&) {
  int32_t v = std::clamp(x, -1073741824, 1073741823);
  uint32_t u = static_cast<uint32_t>(v);
  uint32_t bit29 = (u >> 29) & 1u;
  return static_cast<int32_t>((u & ~0x40000000u) | ((bit29 ^ 1u) << 30));
}
uint32_t RefUnchanged(uint32_t x, const Params&) { return x; }

typedef void (*RefFn)(const uint8_t* in, uint8_t* out, const Params& p);

template <class In, class Out, Out (*F)(In, const Params&)>
void Elementwise(const uint8_t* in, uint8_t* out, const Params& p) {
  StoreAs<Out>(out, F(LoadAs<In>(in), p));
}

// ---------------------------------------------------------------------------
// The members

struct Member {
  const char* name;
  const char* entry;
  Shape shape;
  Elem in, out;
  RefFn ref;
  bool nanBitsFixed;  // float results: NaN bit patterns are fixed, compare them exactly
  std::vector<Params> params;
};

const float kNaNf = BF(0x7fc00000u);

std::vector<Member> MakeMembers() {
  const std::vector<Params> none = {Unused()};
  std::vector<Member> m = {
      {"CastInt32ToFloat", "860b26c35bf03c0fd099aaad218c9f9a", Shape::Span, Elem::I32, Elem::F32,
       Elementwise<int32_t, float, RefCastInt32ToFloat>, true, none},
      {"CastFloatToInt32", "f45f6974b804afa8eb43e85f37814ea8", Shape::Span, Elem::F32, Elem::I32,
       Elementwise<float, int32_t, RefCastFloatToInt32>, true, none},
      {"NegateInt32", "51b43e2ad2a5c63d82e2b64a59f411c8", Shape::Span, Elem::I32, Elem::I32,
       Elementwise<int32_t, int32_t, RefNegate>, true, none},
      {"AbsInt32", "afb22a5c332cb75fc97b66447e14a7f0", Shape::Span, Elem::I32, Elem::I32,
       Elementwise<int32_t, int32_t, RefAbs>, true, none},
      {"SignInt32", "b40054c77f54c855114643e4d3f0a9b3", Shape::Span, Elem::I32, Elem::I32,
       Elementwise<int32_t, int32_t, RefSign>, true, none},
      {"LogicalNotInt32", "0c533845cb57ee9f2305277465802bcb", Shape::Span, Elem::I32, Elem::I32,
       Elementwise<int32_t, int32_t, RefLogicalNot>, true, none},
      {"SquareInt32", "0a1ed481c09f9eccd5bdf517763a9ac0", Shape::Span, Elem::I32, Elem::I32,
       Elementwise<int32_t, int32_t, RefSquareInt32>, true, none},
      {"SquareFloat", "13e99a3aaeba09bd49d8f11c8e71d476", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefSquareFloat>, false, none},
      {"SqrtFloat", "f5a3cbe1edce2a38664faa582f7a2d5f", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefSqrt>, false, none},
      {"ReciprocalFloat", "9d4725941b6345ecf6e8dd07e6222c22", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefReciprocal>, false, none},
      {"CeilFloat", "21fdf7b97fb4c03229a317127b6f9d66", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefCeil>, true, none},
      {"FloorFloat", "4d4290c89041769105aaf793e5298fc9", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefFloor>, true, none},
      {"RoundFloat", "8ce0d156ff177b4381cdeab0833c612b", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefRound>, false, none},
      {"Relu", "13790fdabb36dc7bfcda4e03844df92c", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefRelu>, false, none},
      {"Relu6", "026a35c3466e0631f7df8dc4da3bc0b7", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefRelu6>, false, none},
      {"SoftSign", "93f767472340edb806c7ecb657e21dd8", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefSoftSign>, false, none},
      {"HardSwish", "0c96f9187bce74a674ef614fd2e66fae", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefHardSwish>, false, none},
      {"TwoSlope", "668f42f3123253bc693961feee1ea324", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefTwoSlope>, false,
       {Floats(0.5f, 0.5f), Floats(0.55f, 0.45f), Floats(1e30f, 1e30f), Floats(1e30f, -1e30f),
        Floats(3e38f, -1e38f), Floats(-1e38f, 3e38f), Floats(-2.0f, 0.0f), Floats(0.0f, 0.0f),
        Floats(kInf, 1.0f), Floats(1.0f, kInf), Floats(kInf, kInf), Floats(-kInf, kInf),
        Floats(kNaNf, 1.0f), Floats(2.0f, kNaNf), Floats(-0.3f, 1.7e-3f), Floats(-0.0f, -0.0f),
        Floats(7.5e20f, -2.5e19f)}},
      {"ThresholdedRelu", "c530ff65dd8f88a77c26dba5e1624ec7", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefThresholded>, true,
       {Floats(1.0f), Floats(0.0f), Floats(-0.0f), Floats(-3.5f), Floats(kNaNf), Floats(kInf),
        Floats(-kInf), Floats(BF(0x00000005u)), Floats(255.0f)}},
      {"Affine", "b8efe427af5d21e61c2043d0c7279cbe", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefAffine>, false,
       {Floats(2.0f, 1.0f), Floats(BF(0x3f800800u), BF(0xbf801000u)), Floats(0.1f, -0.3f),
        Floats(-1e20f, 3e30f), Floats(0.0f, 0.0f), Floats(kInf, 0.0f), Floats(1.0f, -kInf),
        Floats(kNaNf, 0.0f), Floats(1e-30f, 1e-40f), Floats(1.0000001f, -1.0f),
        Floats(-1.0f, -0.0f)}},
      {"ClipFloat", "2bf3b5adcef8bedbff1dc02f2da42aef", Shape::Span, Elem::F32, Elem::F32,
       Elementwise<float, float, RefClipFloat>, true,
       {Floats(0.0f, 6.0f), Floats(kNaNf, 6.0f), Floats(0.0f, kNaNf),
        Floats(BF(0xffc00123u), BF(0x7fa00001u)), Floats(6.0f, 0.0f), Floats(-kInf, kInf),
        Floats(-0.0f, 0.0f), Floats(0.0f, -0.0f), Floats(-1e-40f, 1e-40f), Floats(-3.5f, 1e30f),
        Floats(-2.5f, -2.5f)}},
      {"ClipInt32", "4476e9dc48ba7b9b080efd28587f22da", Shape::ClipSpan, Elem::I32, Elem::I32,
       Elementwise<int32_t, int32_t, RefClipInt32>, true,
       {Bounds(-5, 10), Bounds(10, -5), Bounds(kIntMin, kIntMax), Bounds(0, 0),
        Bounds(-1000000, 7), Bounds(kIntMax, kIntMin), Bounds(0x40000000, 0x40000001),
        Bounds(kIntMin, kIntMin)}},
      {"IsNan", "ec8e632558c6c99ed03f567f8c5ac752", Shape::Span, Elem::F32, Elem::I32,
       Elementwise<uint32_t, int32_t, RefIsNan>, true, none},
      {"CastHalfToFloat", "f4a715f22671445f23ed87701a946acc", Shape::Direct, Elem::Half, Elem::F32,
       Elementwise<uint16_t, float, RefHalfToFloat>, true, none},
      {"CastFloatToHalf", "f1a167c77318f3f70ee2def7cd78c7d1", Shape::Direct, Elem::F32, Elem::Half,
       Elementwise<uint32_t, uint16_t, RefFloatToHalf>, true, none},
      {"CastInt64ToInt32", "5a8195855c917bded1bc58f43e4f582b", Shape::Direct, Elem::I64, Elem::I32,
       Elementwise<int64_t, int32_t, RefInt64ToInt32>, true, none},
      {"CastUint8ToInt32", "3f3e595dfbd29d9f4619cf21160f8525", Shape::Direct, Elem::U8, Elem::I32,
       Elementwise<uint8_t, int32_t, RefUint8ToInt32>, true, none},
      {"CastInt8ToInt32", "494c00e028c78ce5e6e3d28e6d152cf9", Shape::Direct, Elem::I8, Elem::I32,
       Elementwise<int8_t, int32_t, RefInt8ToInt32>, true, none},
      {"CastBoolToInt32", "507094e60c973478328fd9c1f3e04bb0", Shape::Direct, Elem::Bool, Elem::I32,
       Elementwise<uint8_t, int32_t, RefBoolToInt32>, true, none},
      {"QuantizeUint8", "353998124a81e4ce2738964b567616a8", Shape::Quantize, Elem::F32, Elem::U8,
       Elementwise<float, uint8_t, RefQuantize>, true,
       {Quant(1.0f, 0), Quant(0.5f, 10), Quant(0.1f, 128), Quant(3.0f, -5), Quant(1.0f, 300),
        Quant(0.0f, 0), Quant(-1.0f, 128), Quant(kInf, 0), Quant(kNaNf, 0), Quant(1e-30f, 0),
        Quant(0.00390625f, -20), Quant(17.3f, 255), Quant(2.0f, -2147483647 - 1)}},
      {"BitRemapInt32", "31df84733eb331756f38852bda5d2be3", Shape::Direct, Elem::I32, Elem::I32,
       Elementwise<int32_t, int32_t, RefBitRemap>, true, none},
      {"InPlacePass", "eaba6933d2d88790529637c6502ff876", Shape::ArrayOnly, Elem::I32, Elem::I32,
       Elementwise<uint32_t, uint32_t, RefUnchanged>, true, none},
  };
  return m;
}

const std::vector<Member>& Members() {
  static const std::vector<Member> members = MakeMembers();
  return members;
}

const Member& MemberNamed(const std::string& name) {
  for (const Member& m : Members())
    if (name == m.name) return m;
  ADD_FAILURE() << "no member " << name;
  return Members()[0];
}

// ---------------------------------------------------------------------------
// Inputs

const uint32_t kSpecialFloats[] = {
    0x00000000u, 0x80000000u, 0x7f800000u, 0xff800000u, 0x7fc00000u, 0xffc00000u,
    0x7f800001u, 0xff812345u, 0x7fffffffu, 0x00000001u, 0x80000001u, 0x007fffffu,
    0x807fffffu, 0x00800000u, 0x80800000u, 0x7f7fffffu, 0xff7fffffu, 0x7f000000u,
    0xff000000u, FB(1.0f), FB(-1.0f), FB(0.5f), FB(-0.5f), FB(1.5f), FB(-1.5f), FB(2.5f),
    FB(-2.5f), FB(3.5f), FB(-3.5f), FB(0.49999997f), FB(-0.49999997f), FB(0.99999994f),
    FB(-0.99999994f), FB(6.0f), FB(-6.0f), FB(3.0f), FB(-3.0f), FB(8388607.5f),
    FB(-8388607.5f), FB(8388608.0f), FB(8388609.0f), FB(4194303.5f), FB(33554432.0f),
    FB(-33554432.0f), FB(33554428.0f), FB(-33554428.0f), FB(2147483520.0f),
    FB(2147483648.0f), FB(-2147483648.0f), FB(3e9f), FB(-3e9f), FB(254.5f), FB(255.5f),
    FB(300.0f), FB(-7.0f), FB(1e30f), FB(-1e30f), FB(65504.0f), FB(65520.0f),
};

const int32_t kSpecialInts[] = {0,          1,           -1,          kIntMin,     kIntMax,
                                kIntMin + 1, kIntMax - 1, 46340,       46341,       -46341,
                                65536,      -65536,      0x3fffffff,  0x40000000,  -0x40000000,
                                -0x40000001, 0x20000000,  0x1fffffff,  -0x20000000, 16777217,
                                16777219,   -16777217,   5,           -5,          10};

const int64_t kSpecialInt64s[] = {0,
                                  1,
                                  -1,
                                  2147483647LL,
                                  2147483648LL,
                                  -2147483647LL,
                                  -2147483648LL,
                                  -2147483649LL,
                                  1LL << 40,
                                  -(1LL << 40),
                                  0x100000005LL,
                                  -0x100000005LL,
                                  std::numeric_limits<int64_t>::max(),
                                  std::numeric_limits<int64_t>::min()};

const uint16_t kSpecialHalves[] = {0x0000, 0x8000, 0x7c00, 0xfc00, 0x7e00, 0xfe00, 0x7d00,
                                   0x7c01, 0x0001, 0x8001, 0x03ff, 0x0400, 0x7bff, 0x3c00};

uint32_t RandomFloatBits(std::mt19937_64& rng) {
  switch (rng() % 10) {
    case 0:
    case 1:
    case 2:
    case 3:
      return static_cast<uint32_t>(rng());  // the whole range
    case 4:
    case 5: {  // around the interesting middle: [-12, 12)
      std::uniform_real_distribution<float> d(-12.0f, 12.0f);
      return FB(d(rng));
    }
    case 6: {  // integers and halfway values
      int32_t k = static_cast<int32_t>(rng() % 1201) - 600;
      return FB(static_cast<float>(k) + ((rng() & 1) ? 0.5f : 0.0f));
    }
    case 7:
      return kSpecialFloats[rng() % std::size(kSpecialFloats)];
    case 8: {  // magnitudes 2^20 .. 2^27 (rounding and clamping thresholds)
      uint32_t exp = 127 + 20 + static_cast<uint32_t>(rng() % 8);
      return static_cast<uint32_t>(rng() & 0x807fffffu) | (exp << 23);
    }
    default: {  // subnormal and tiny
      uint32_t exp = static_cast<uint32_t>(rng() % 3);
      return static_cast<uint32_t>(rng() & 0x807fffffu) | (exp << 23);
    }
  }
}

int32_t RandomInt(std::mt19937_64& rng) {
  switch (rng() % 8) {
    case 0:
    case 1:
    case 2:
      return static_cast<int32_t>(rng());
    case 3:
      return static_cast<int32_t>(rng() % 201) - 100;
    case 4:
    case 5:
      return kSpecialInts[rng() % std::size(kSpecialInts)];
    default:
      return static_cast<int32_t>(rng()) >> (rng() % 32);
  }
}

int64_t RandomInt64(std::mt19937_64& rng) {
  switch (rng() % 6) {
    case 0:
      return static_cast<int64_t>(rng());
    case 1:
      return kSpecialInt64s[rng() % std::size(kSpecialInt64s)];
    case 2:
      return static_cast<int32_t>(rng());
    case 3:  // just around the int32 range
      return static_cast<int64_t>(rng() % 64) - 32 +
             ((rng() & 1) ? 2147483647LL : -2147483648LL);
    default:
      return static_cast<int64_t>(rng()) >> (rng() % 64);
  }
}

void FillRandom(Elem e, uint8_t* p, size_t count, std::mt19937_64& rng) {
  for (size_t i = 0; i < count; ++i) {
    switch (e) {
      case Elem::F32:
        StoreAs<uint32_t>(p + 4 * i, RandomFloatBits(rng));
        break;
      case Elem::I32:
        StoreAs<int32_t>(p + 4 * i, RandomInt(rng));
        break;
      case Elem::I64:
        StoreAs<int64_t>(p + 8 * i, RandomInt64(rng));
        break;
      case Elem::Half:
        StoreAs<uint16_t>(p + 2 * i, (rng() % 5 == 0)
                                         ? kSpecialHalves[rng() % std::size(kSpecialHalves)]
                                         : static_cast<uint16_t>(rng()));
        break;
      case Elem::U8:
      case Elem::I8:
        p[i] = static_cast<uint8_t>(rng());
        break;
      case Elem::Bool:
        p[i] = (rng() % 3 == 0) ? 0 : static_cast<uint8_t>(rng());
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Running a member

// Memory with a 64-byte aligned working area and guard bytes on both sides.
struct Arena {
  static constexpr size_t kGuard = 128;
  std::vector<uint8_t> raw;
  uint8_t* base;
  Arena(size_t bytes, uint8_t fill) : raw(bytes + 2 * kGuard + 64, fill) {
    uintptr_t p = reinterpret_cast<uintptr_t>(raw.data()) + kGuard;
    p = (p + 63) & ~uintptr_t{63};
    base = reinterpret_cast<uint8_t*>(p);
  }
  size_t OffsetOf(const uint8_t* p) const { return static_cast<size_t>(p - raw.data()); }
};

constexpr uint8_t kOutputFill = 0xa5;
constexpr uint8_t kInputFill = 0x3c;

// Calls the member's export on the job system; the record must come back unchanged.
void RunKernel(const Member& m, const void* in, void* out, int32_t recordLength,
               int32_t scheduled, const Params& p, const JobOptions& opt) {
  static uint8_t trap[64];
  uint8_t record[64];
  memset(record, 0xc3, sizeof record);
  size_t size = 0;
  switch (m.shape) {
    case Shape::Span: {
      vorta::UnaryMapJob r{in, out, recordLength, p.p0, p.p1};
      memcpy(record, &r, sizeof r);
      size = sizeof r;
      break;
    }
    case Shape::ClipSpan: {
      vorta::ClipInt32Job r;
      memset(&r, 0xc3, sizeof r);  // offsets 20 to 31 hold junk
      r.input = in;
      r.output = out;
      r.length = recordLength;
      r.lo = p.lo;
      r.hi = p.hi;
      memcpy(record, &r, sizeof r);
      size = sizeof r;
      break;
    }
    case Shape::Direct: {
      vorta::DirectMapJob r{in, out};
      memcpy(record, &r, sizeof r);
      size = sizeof r;
      break;
    }
    case Shape::Quantize: {
      vorta::QuantizeJob r{in, out, p.scale, p.zeroPoint};
      memcpy(record, &r, sizeof r);
      size = sizeof r;
      break;
    }
    case Shape::ArrayOnly: {
      // Offset 8 points at a trap that must stay untouched.
      memset(trap, 0x77, sizeof trap);
      const void* r[2] = {in, trap};
      memcpy(record, r, sizeof r);
      size = sizeof r;
      break;
    }
  }
  uint8_t before[64];
  memcpy(before, record, sizeof record);
  vorta::host::RunJob(vorta::host::LinkedJob(m.entry), record, size, scheduled, opt);
  EXPECT_EQ(0, memcmp(before, record, sizeof record)) << "the job record was modified";
  if (m.shape == Shape::ArrayOnly) {
    for (uint8_t b : trap) ASSERT_EQ(0x77, b) << "wrote through offset 8";
  }
}

int32_t MappedCount(const Member& m, int32_t recordLength, int32_t scheduled) {
  if (!HasLength(m.shape)) return scheduled;
  return std::max(0, std::min(recordLength, scheduled));
}

// The scalar order: read in[i], write out[i], for increasing i. The pointers may overlap.
void Simulate(const Member& m, const uint8_t* in, uint8_t* out, int32_t count, const Params& p) {
  const size_t is = SizeOf(m.in), os = SizeOf(m.out);
  uint8_t x[8], y[8];
  for (int32_t i = 0; i < count; ++i) {
    memcpy(x, in + is * i, is);
    m.ref(x, y, p);
    memcpy(out + os * i, y, os);
  }
}

std::string Hex(const uint8_t* p, size_t size) {
  uint64_t v = 0;
  memcpy(&v, p, size);
  char buf[32];
  snprintf(buf, sizeof buf, "0x%0*llx", static_cast<int>(2 * size),
           static_cast<unsigned long long>(v));
  return buf;
}

bool IsNanElement(Elem e, const uint8_t* p) {
  return e == Elem::F32 && std::isnan(LoadAs<float>(p));
}

// Compares a whole arena with its expected bytes. The `mapped` output elements
// starting at raw offset `outOffset` are compared element by element (NaN
// leniency where the member's NaN bits are not fixed); every other byte exactly.
// `inputs` (raw offset `inOffset`) shows the original input of each element in messages.
void ExpectArena(const Member& m, const std::vector<uint8_t>& expected,
                 const std::vector<uint8_t>& got, size_t outOffset, int32_t mapped,
                 const std::vector<uint8_t>* inputs = nullptr, size_t inOffset = 0) {
  ASSERT_EQ(expected.size(), got.size());
  const size_t os = SizeOf(m.out), is = SizeOf(m.in);
  const size_t outEnd = outOffset + os * static_cast<size_t>(mapped);
  int failures = 0;
  for (size_t b = 0; b < got.size() && failures < 8;) {
    if (b >= outOffset && b < outEnd) {
      const uint8_t* e = expected.data() + b;
      const uint8_t* g = got.data() + b;
      bool same = memcmp(e, g, os) == 0 ||
                  (!m.nanBitsFixed && IsNanElement(m.out, e) && IsNanElement(m.out, g));
      if (!same) {
        size_t i = (b - outOffset) / os;
        std::string input;
        if (inputs && inOffset + is * (i + 1) <= inputs->size())
          input = Hex(inputs->data() + inOffset + is * i, is);
        ADD_FAILURE() << m.name << " element " << i << " of " << mapped << ": input (before the job) " << input
                      << ", expected " << Hex(e, os) << ", got " << Hex(g, os);
        ++failures;
      }
      b += os;
    } else {
      if (expected[b] != got[b]) {
        ADD_FAILURE() << m.name << ": byte " << (static_cast<ptrdiff_t>(b) -
                                                 static_cast<ptrdiff_t>(outOffset))
                      << " relative to the output, outside the mapped elements, changed from "
                      << Hex(&expected[b], 1) << " to " << Hex(&got[b], 1);
        ++failures;
      }
      ++b;
    }
  }
}

// Separate input and output arrays. `count` elements are mapped; the job is
// scheduled over count + extra indices (with a record length of count).
void CheckOutOfPlace(const Member& m, int32_t count, const Params& p, const JobOptions& opt,
                     std::mt19937_64& rng, size_t inMisalign = 0, size_t outMisalign = 0,
                     int32_t extra = 0, std::optional<int32_t> lengthField = std::nullopt) {
  const size_t is = SizeOf(m.in), os = SizeOf(m.out);
  const int32_t scheduled = count + extra;
  const int32_t recordLength = lengthField.value_or(count);
  Arena input(is * scheduled, kInputFill), output(os * scheduled, kOutputFill);
  uint8_t* in = input.base + inMisalign;
  uint8_t* out = output.base + outMisalign;
  FillRandom(m.in, in, scheduled, rng);
  const int32_t mapped = MappedCount(m, recordLength, scheduled);
  std::vector<uint8_t> expected = output.raw;
  Simulate(m, in, expected.data() + output.OffsetOf(out), mapped, p);
  const std::vector<uint8_t> inputCopy = input.raw;

  RunKernel(m, in, out, recordLength, scheduled, p, opt);

  ExpectArena(m, expected, output.raw, output.OffsetOf(out), mapped, &inputCopy,
              input.OffsetOf(in));
  EXPECT_TRUE(inputCopy == input.raw) << m.name << ": the input array was modified";
}

// Input and output are the same array: the same results as separate arrays.
void CheckInPlace(const Member& m, int32_t count, const Params& p, const JobOptions& opt,
                  std::mt19937_64& rng, size_t misalign = 0) {
  const size_t is = SizeOf(m.in), os = SizeOf(m.out);
  Arena arena(is * count, kInputFill);
  uint8_t* a = arena.base + misalign;
  FillRandom(m.in, a, count, rng);
  const std::vector<uint8_t> before = arena.raw;
  std::vector<uint8_t> separate(os * count + 8);
  Simulate(m, a, separate.data(), count, p);
  std::vector<uint8_t> expected = arena.raw;
  memcpy(expected.data() + arena.OffsetOf(a), separate.data(), os * count);

  RunKernel(m, a, a, count, count, p, opt);

  ExpectArena(m, expected, arena.raw, arena.OffsetOf(a), count, &before, arena.OffsetOf(a));
}

// The output starts `gap` bytes after the input (before it when negative), so the
// arrays overlap. Expected: the scalar order on the same overlapping memory.
void CheckOverlap(const Member& m, int32_t count, ptrdiff_t gap, const Params& p,
                  const JobOptions& opt, std::mt19937_64& rng) {
  const size_t size = SizeOf(m.in);
  const size_t span = size * count + static_cast<size_t>(gap < 0 ? -gap : gap);
  Arena arena(span, kInputFill);
  FillRandom(m.in, arena.base, span / size, rng);
  uint8_t* in = arena.base + (gap < 0 ? -gap : 0);
  uint8_t* out = in + gap;
  const std::vector<uint8_t> before = arena.raw;
  std::vector<uint8_t> expected = arena.raw;
  Simulate(m, expected.data() + arena.OffsetOf(in), expected.data() + arena.OffsetOf(out), count,
           p);

  RunKernel(m, in, out, count, count, p, opt);

  ExpectArena(m, expected, arena.raw, arena.OffsetOf(out), count, &before, arena.OffsetOf(in));
}

using vorta_test::Schedule;

// The job layouts every member is run under.
std::vector<JobOptions> Schedules(uint64_t seed) {
  return {
      Schedule(1, 0, false, false, seed),
      Schedule(2, 0, false, false, seed + 1),
      Schedule(2, 13, true, true, seed + 2),
      Schedule(2, 1, true, true, seed + 3),
      Schedule(3, 64, true, false, seed + 4),
  };
}

std::string ScheduleText(const JobOptions& o) {
  return "workers " + std::to_string(o.workers) + ", batch " + std::to_string(o.batchSize) +
         (o.randomBatchSizes ? " random" : "") + (o.emptyBatches ? " +empty" : "") +
         ", seed " + std::to_string(o.seed);
}

std::string ParamText(const Member& m, const Params& p) {
  char buf[160];
  switch (m.shape) {
    case Shape::ClipSpan:
      snprintf(buf, sizeof buf, "lo %d hi %d", p.lo, p.hi);
      break;
    case Shape::Quantize:
      snprintf(buf, sizeof buf, "scale 0x%08x (%g) zero point %d", FB(p.scale), p.scale,
               p.zeroPoint);
      break;
    default:
      snprintf(buf, sizeof buf, "p0 0x%08x (%g) p1 0x%08x (%g)", p.p0, BF(p.p0), p.p1, BF(p.p1));
  }
  return buf;
}

bool SameSize(const Member& m) { return SizeOf(m.in) == SizeOf(m.out); }

size_t BlockBytes(CpuVariant v) { return v == CpuVariant::Avx2 ? 32 : 16; }

// ---------------------------------------------------------------------------
// Parametrised over (member, variant)

typedef std::tuple<size_t, CpuVariant> MemberVariant;

class MapMemberTest : public ::testing::TestWithParam<MemberVariant> {
 protected:
  void SetUp() override {
    variant_ = std::get<1>(GetParam());
    if (variant_ == CpuVariant::Avx2 && !vorta::host::CanRunAvx2())
      GTEST_SKIP() << "this processor cannot run the AVX2 variant";
    vorta::host::InitializeLinked(variant_);
  }
  const Member& member() const { return Members()[std::get<0>(GetParam())]; }
  uint64_t Seed() const {
    return 0x9e3779b97f4a7c15ull * (std::get<0>(GetParam()) + 1) +
           static_cast<uint64_t>(variant_) * 7919;
  }
  CpuVariant variant_ = CpuVariant::Sse2;
};

TEST_P(MapMemberTest, MatchesReferenceOnRandomInputs) {
  const Member& m = member();
  std::mt19937_64 rng(Seed());
  // About 2e5 elements per member and variant, spread over the parameter sets.
  const int32_t perSet = std::max<int32_t>(3000, 40000 / static_cast<int32_t>(m.params.size()));
  for (const Params& p : m.params) {
    SCOPED_TRACE(ParamText(m, p));
    for (const JobOptions& opt : Schedules(rng())) {
      SCOPED_TRACE(ScheduleText(opt));
      int32_t n = 1 + static_cast<int32_t>(rng() % perSet);
      if (opt.batchSize == 1) n = std::min<int32_t>(n, 3000);
      if (m.shape == Shape::ArrayOnly)
        CheckInPlace(m, n, p, opt, rng);
      else
        CheckOutOfPlace(m, n, p, opt, rng);
      if (HasFailure()) return;
    }
  }
}

TEST_P(MapMemberTest, LargeTensor) {
  const Member& m = member();
  std::mt19937_64 rng(Seed() ^ 0x1234);
  const Params& p = m.params[rng() % m.params.size()];
  JobOptions opt = Schedule(2, 0, false, false, 5);
  if (m.shape == Shape::ArrayOnly)
    CheckInPlace(m, 100003, p, opt, rng);
  else
    CheckOutOfPlace(m, 100003, p, opt, rng);
}

TEST_P(MapMemberTest, OddLengthsAndEmptyTensor) {
  const Member& m = member();
  std::mt19937_64 rng(Seed() ^ 0x5555);
  const Params& p = m.params[0];
  for (int32_t n : {0, 1, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 65, 1000, 4099}) {
    for (const JobOptions& opt : {Schedule(1, 0, false, false, 1), Schedule(2, 5, true, true, 2),
                                  Schedule(2, 1, false, true, 3)}) {
      SCOPED_TRACE("length " + std::to_string(n) + ", " + ScheduleText(opt));
      if (m.shape == Shape::ArrayOnly)
        CheckInPlace(m, n, p, opt, rng);
      else
        CheckOutOfPlace(m, n, p, opt, rng);
      if (HasFailure()) return;
    }
  }
}

TEST_P(MapMemberTest, InPlaceEqualsSeparateArrays) {
  const Member& m = member();
  // With narrower output elements one worker's writes would reach another's inputs.
  if (!SameSize(m)) GTEST_SKIP() << "in place needs equally wide elements";
  std::mt19937_64 rng(Seed() ^ 0x7777);
  for (const Params& p : m.params) {
    SCOPED_TRACE(ParamText(m, p));
    for (int32_t n : {1, 7, 9, 33, 4099}) {
      for (const JobOptions& opt : {Schedule(1, 0, false, false, 1), Schedule(2, 7, true, true, 4)}) {
        SCOPED_TRACE("length " + std::to_string(n) + ", " + ScheduleText(opt));
        CheckInPlace(m, n, p, opt, rng);
        CheckInPlace(m, n, p, opt, rng, 4);
        if (HasFailure()) return;
      }
    }
  }
}

TEST_P(MapMemberTest, MisalignedArrays) {
  const Member& m = member();
  std::mt19937_64 rng(Seed() ^ 0x9999);
  const Params& p = m.params[m.params.size() - 1];
  const size_t shifts[][2] = {{4, 0}, {0, 4}, {4, 4}, {4, 8}, {1, 0}, {0, 1}, {2, 2}, {3, 5}};
  for (const auto& s : shifts) {
    // Every shift keeps the elements at least 4-byte (or naturally) aligned.
    auto fits = [](size_t shift, Elem e) { return shift % std::min<size_t>(SizeOf(e), 4) == 0; };
    if (!fits(s[0], m.in) || !fits(s[1], m.out)) continue;
    if (m.shape == Shape::ArrayOnly && s[0] != s[1]) continue;
    for (int32_t n : {9, 33, 1001}) {
      JobOptions opt = Schedule(2, 11, true, true, 9);
      SCOPED_TRACE("input +" + std::to_string(s[0]) + ", output +" + std::to_string(s[1]) +
                   ", length " + std::to_string(n));
      if (m.shape == Shape::ArrayOnly)
        CheckInPlace(m, n, p, opt, rng, s[0]);
      else
        CheckOutOfPlace(m, n, p, opt, rng, s[0], s[1]);
      if (HasFailure()) return;
    }
  }
}

// An output less than one block after the input: the element-by-element order.
// An output before the input: each element is read before it is overwritten.
TEST_P(MapMemberTest, OverlappingOutputFollowsElementOrder) {
  const Member& m = member();
  if (!SameSize(m) || m.shape == Shape::ArrayOnly)
    GTEST_SKIP() << "overlap is checked for members with equally wide elements";
  std::mt19937_64 rng(Seed() ^ 0xaaaa);
  std::vector<ptrdiff_t> gaps = {-4, -8, -12, -64};
  for (size_t g = 4; g < BlockBytes(variant_); g += 4) gaps.push_back(static_cast<ptrdiff_t>(g));
  for (const Params& p : m.params) {
    SCOPED_TRACE(ParamText(m, p));
    for (ptrdiff_t gap : gaps) {
      for (int32_t n : {3, 33, 1000}) {
        JobOptions opt = Schedule(1, 0, false, false, 1);
        SCOPED_TRACE("output " + std::to_string(gap) + " bytes from the input, length " +
                     std::to_string(n));
        CheckOverlap(m, n, gap, p, opt, rng);
        if (HasFailure()) return;
      }
    }
  }
}

// An output one or more whole blocks after the input may take the blocked path,
// which must still give the element-by-element results.
TEST_P(MapMemberTest, OutputWholeBlocksAfterInputFollowsElementOrder) {
  const Member& m = member();
  if (!SameSize(m) || m.shape == Shape::ArrayOnly)
    GTEST_SKIP() << "overlap is checked for members with equally wide elements";
  std::mt19937_64 rng(Seed() ^ 0xbbbb);
  const Params& p = m.params[0];
  for (size_t blocks : {1, 2, 3, 4, 5}) {
    const ptrdiff_t gap = static_cast<ptrdiff_t>(blocks * BlockBytes(variant_));
    for (int32_t n : {40, 1000}) {
      JobOptions opt = Schedule(1, 0, false, false, 1);
      SCOPED_TRACE("output " + std::to_string(gap) + " bytes after the input, length " +
                   std::to_string(n));
      CheckOverlap(m, n, gap, p, opt, rng);
      if (HasFailure()) return;
    }
  }
}

// The record's length is smaller than the number of scheduled indices: nothing
// is written at or past `length`, and batches wholly past it return.
TEST_P(MapMemberTest, BatchesPastLengthWriteNothingThere) {
  const Member& m = member();
  if (!HasLength(m.shape)) GTEST_SKIP() << "members without a length map every scheduled index";
  std::mt19937_64 rng(Seed() ^ 0xcccc);
  const Params& p = m.params[0];
  struct Case {
    int32_t count, extra;
  };
  for (Case c : {Case{1, 1}, Case{7, 30}, Case{33, 100}, Case{1000, 37}, Case{4099, 4099},
                 Case{0, 50}}) {
    for (const JobOptions& opt : {Schedule(1, 16, false, false, 1), Schedule(2, 3, true, true, 2),
                                  Schedule(2, 200, true, false, 3)}) {
      SCOPED_TRACE("length " + std::to_string(c.count) + ", scheduled " +
                   std::to_string(c.count + c.extra) + ", " + ScheduleText(opt));
      CheckOutOfPlace(m, c.count, p, opt, rng, 0, 0, c.extra);
      if (HasFailure()) return;
    }
  }
  // A length of zero or below maps nothing at all.
  for (int32_t length : {0, -1, -1000, kIntMin}) {
    SCOPED_TRACE("record length " + std::to_string(length));
    CheckOutOfPlace(m, 0, p, Schedule(2, 4, true, true, 7), rng, 0, 0, 100, length);
    if (HasFailure()) return;
  }
}

std::string MemberVariantName(const ::testing::TestParamInfo<MemberVariant>& info) {
  return std::string(Members()[std::get<0>(info.param)].name) + "_" +
         vorta::host::VariantName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Maps, MapMemberTest,
                         ::testing::Combine(::testing::Range<size_t>(0, 32),
                                            ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2)),
                         MemberVariantName);

TEST(MapMembers, ThereAreThirtyTwoDistinctMembers) {
  ASSERT_EQ(32u, Members().size());
  for (size_t i = 0; i < Members().size(); ++i)
    for (size_t j = i + 1; j < Members().size(); ++j)
      EXPECT_STRNE(Members()[i].entry, Members()[j].entry);
}

// ---------------------------------------------------------------------------
// The two variants against each other

class MapVariantAgreementTest : public ::testing::TestWithParam<size_t> {};

TEST_P(MapVariantAgreementTest, SseAndAvxGiveTheSameResults) {
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  const Member& m = Members()[GetParam()];
  std::mt19937_64 rng(0xfeedull + GetParam());
  for (const Params& p : m.params) {
    SCOPED_TRACE(ParamText(m, p));
    const int32_t n = 20011;
    const size_t is = SizeOf(m.in), os = SizeOf(m.out);
    Arena input(is * n, kInputFill);
    FillRandom(m.in, input.base, n, rng);
    std::vector<uint8_t> results[2];
    for (CpuVariant v : {CpuVariant::Sse2, CpuVariant::Avx2}) {
      vorta::host::InitializeLinked(v);
      Arena output(os * n, kOutputFill);
      uint8_t* out = m.shape == Shape::ArrayOnly ? input.base : output.base;
      std::vector<uint8_t> keep = input.raw;
      RunKernel(m, input.base, out, n, n, p, Schedule(2, 0, true, true, 11));
      results[static_cast<int>(v)].assign(out, out + os * n);
      input.raw = keep;
    }
    int failures = 0;
    for (int32_t i = 0; i < n && failures < 8; ++i) {
      const uint8_t* a = results[0].data() + os * i;
      const uint8_t* b = results[1].data() + os * i;
      if (memcmp(a, b, os) == 0) continue;
      if (!m.nanBitsFixed && IsNanElement(m.out, a) && IsNanElement(m.out, b)) continue;
      ADD_FAILURE() << m.name << " element " << i << ": input " << Hex(input.base + is * i, is)
                    << ", SSE2 " << Hex(a, os) << ", AVX2 " << Hex(b, os);
      ++failures;
    }
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Maps, MapVariantAgreementTest, ::testing::Range<size_t>(0, 32),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return std::string(Members()[info.param].name);
                         });

// ---------------------------------------------------------------------------
// Fixed values, per variant

struct Fixed {
  const char* member;
  uint64_t input;
  uint64_t output;
  Params params = Unused();
  bool anyNan = false;  // the result is a NaN, bits not fixed
};

uint64_t F(float f) { return FB(f); }
uint64_t I(int32_t i) { return static_cast<uint32_t>(i); }
uint64_t L(int64_t i) { return static_cast<uint64_t>(i); }

const uint64_t kNaNBits = 0x7fc00000u;
const uint64_t kMinusZero = 0x80000000u;

std::vector<Fixed> FixedCases() {
  const Params clip06 = Floats(0.0f, 6.0f);
  const Params clipNoLow = Floats(kNaNf, 6.0f);
  const Params clipNoHigh = Floats(0.0f, kNaNf);
  const Params q10 = Quant(1.0f, 0);
  return {
      // float to int32: truncation, out of range and NaN give INT_MIN
      {"CastFloatToInt32", kNaNBits, I(kIntMin)},
      {"CastFloatToInt32", 0xffc00000u, I(kIntMin)},
      {"CastFloatToInt32", F(kInf), I(kIntMin)},
      {"CastFloatToInt32", F(-kInf), I(kIntMin)},
      {"CastFloatToInt32", F(3e9f), I(kIntMin)},
      {"CastFloatToInt32", F(-3e9f), I(kIntMin)},
      {"CastFloatToInt32", F(2147483648.0f), I(kIntMin)},
      {"CastFloatToInt32", F(2147483520.0f), I(2147483520)},
      {"CastFloatToInt32", F(-2147483648.0f), I(kIntMin)},
      {"CastFloatToInt32", F(-1.9f), I(-1)},
      {"CastFloatToInt32", F(1.9f), I(1)},
      {"CastFloatToInt32", kMinusZero, I(0)},
      {"CastFloatToInt32", 0x00000001u, I(0)},
      // int32 to float: round to nearest, ties to even
      {"CastInt32ToFloat", I(16777217), F(16777216.0f)},
      {"CastInt32ToFloat", I(16777219), F(16777220.0f)},
      {"CastInt32ToFloat", I(kIntMax), F(2147483648.0f)},
      {"CastInt32ToFloat", I(kIntMin), F(-2147483648.0f)},
      {"CastInt32ToFloat", I(0), F(0.0f)},
      {"CastInt32ToFloat", I(-3), F(-3.0f)},
      // int32 arithmetic wraps
      {"NegateInt32", I(kIntMin), I(kIntMin)},
      {"NegateInt32", I(kIntMax), I(-kIntMax)},
      {"NegateInt32", I(5), I(-5)},
      {"NegateInt32", I(0), I(0)},
      {"AbsInt32", I(kIntMin), I(kIntMin)},
      {"AbsInt32", I(-7), I(7)},
      {"AbsInt32", I(kIntMax), I(kIntMax)},
      {"SignInt32", I(kIntMin), I(-1)},
      {"SignInt32", I(0), I(0)},
      {"SignInt32", I(kIntMax), I(1)},
      {"SignInt32", I(-1), I(-1)},
      {"LogicalNotInt32", I(0), I(1)},
      {"LogicalNotInt32", I(kIntMin), I(0)},
      {"LogicalNotInt32", I(-1), I(0)},
      {"LogicalNotInt32", I(2), I(0)},
      {"SquareInt32", I(65536), I(0)},
      {"SquareInt32", I(46341), I(-2147479015)},
      {"SquareInt32", I(kIntMin), I(0)},
      {"SquareInt32", I(-1), I(1)},
      {"SquareInt32", I(0x10001), I(0x20001)},
      {"SquareInt32", I(-46340), I(2147395600)},
      // float arithmetic
      {"SquareFloat", F(-3.0f), F(9.0f)},
      {"SquareFloat", F(1e20f), F(kInf)},
      {"SquareFloat", F(-1e20f), F(kInf)},
      {"SquareFloat", F(1e-30f), F(0.0f)},
      {"SquareFloat", kMinusZero, F(0.0f)},
      {"SquareFloat", F(-kInf), F(kInf)},
      {"SquareFloat", kNaNBits, kNaNBits, Unused(), true},
      {"SqrtFloat", F(4.0f), F(2.0f)},
      {"SqrtFloat", F(2.0f), 0x3fb504f3u},
      {"SqrtFloat", kMinusZero, kMinusZero},
      {"SqrtFloat", F(kInf), F(kInf)},
      {"SqrtFloat", F(-1.0f), kNaNBits, Unused(), true},
      {"SqrtFloat", F(-kInf), kNaNBits, Unused(), true},
      {"SqrtFloat", 0x80000001u, kNaNBits, Unused(), true},
      {"SqrtFloat", 0x00000001u, F(std::sqrt(BF(1u)))},
      {"ReciprocalFloat", F(0.0f), F(kInf)},
      {"ReciprocalFloat", kMinusZero, F(-kInf)},
      {"ReciprocalFloat", F(kInf), F(0.0f)},
      {"ReciprocalFloat", F(-kInf), kMinusZero},
      {"ReciprocalFloat", F(3.0f), 0x3eaaaaabu},
      {"ReciprocalFloat", 0x00000001u, F(kInf)},
      {"ReciprocalFloat", 0x7f000000u, 0x00400000u},
      // rounding
      {"CeilFloat", F(-0.5f), kMinusZero},
      {"CeilFloat", F(0.5f), F(1.0f)},
      {"CeilFloat", F(-1.5f), F(-1.0f)},
      {"CeilFloat", F(8388607.5f), F(8388608.0f)},
      {"CeilFloat", kMinusZero, kMinusZero},
      {"CeilFloat", 0x00000001u, F(1.0f)},
      {"CeilFloat", 0x80000001u, kMinusZero},
      {"CeilFloat", F(8388609.0f), F(8388609.0f)},
      {"CeilFloat", F(1e30f), F(1e30f)},
      {"CeilFloat", F(-kInf), F(-kInf)},
      {"CeilFloat", 0x7fa00000u, 0x7fa00000u},
      {"CeilFloat", 0xffc00001u, 0xffc00001u},
      {"FloorFloat", F(0.5f), F(0.0f)},
      {"FloorFloat", F(-0.5f), F(-1.0f)},
      {"FloorFloat", F(0.99999994f), F(0.0f)},
      {"FloorFloat", kMinusZero, kMinusZero},
      {"FloorFloat", 0x00000001u, F(0.0f)},
      {"FloorFloat", 0x80000001u, F(-1.0f)},
      {"FloorFloat", F(-8388607.5f), F(-8388608.0f)},
      {"FloorFloat", F(-1e30f), F(-1e30f)},
      {"FloorFloat", F(kInf), F(kInf)},
      {"FloorFloat", 0x7fa00000u, 0x7fa00000u},
      {"FloorFloat", 0xff812345u, 0xff812345u},
      {"RoundFloat", F(2.5f), F(2.0f)},
      {"RoundFloat", F(3.5f), F(4.0f)},
      {"RoundFloat", F(-0.4f), kMinusZero},
      {"RoundFloat", F(-2.5f), F(-2.0f)},
      {"RoundFloat", F(0.5f), F(0.0f)},
      {"RoundFloat", F(-0.5f), kMinusZero},
      {"RoundFloat", F(1.5f), F(2.0f)},
      {"RoundFloat", F(0.49999997f), F(0.0f)},
      {"RoundFloat", F(8388607.5f), F(8388608.0f)},
      {"RoundFloat", F(-8388607.5f), F(-8388608.0f)},
      {"RoundFloat", F(4194302.5f), F(4194302.0f)},
      {"RoundFloat", F(8388609.0f), F(8388609.0f)},
      {"RoundFloat", F(-kInf), F(-kInf)},
      {"RoundFloat", kNaNBits, kNaNBits, Unused(), true},
      // activations
      {"Relu", kMinusZero, F(0.0f)},
      {"Relu", kNaNBits, kNaNBits, Unused(), true},
      {"Relu", 0xffc00000u, kNaNBits, Unused(), true},
      {"Relu", F(-kInf), F(0.0f)},
      {"Relu", F(kInf), F(kInf)},
      {"Relu", 0x7f7fffffu, 0x7f7fffffu},
      {"Relu", 0x7f000000u, 0x7f000000u},
      {"Relu", F(-1.0f), F(0.0f)},
      {"Relu", 0x00000001u, 0x00000001u},
      {"Relu", 0x80000001u, F(0.0f)},
      {"Relu6", kNaNBits, kNaNBits, Unused(), true},
      {"Relu6", F(kInf), F(6.0f)},
      {"Relu6", F(-kInf), F(0.0f)},
      {"Relu6", F(3.0f), F(3.0f)},
      {"Relu6", F(7.0f), F(6.0f)},
      {"Relu6", F(-1.0f), F(0.0f)},
      {"Relu6", kMinusZero, F(0.0f)},
      {"Relu6", F(33554432.0f), F(6.0f)},
      {"Relu6", F(-33554432.0f), F(0.0f)},
      {"Relu6", F(33554428.0f), F(6.0f)},
      {"Relu6", F(1e30f), F(6.0f)},
      {"Relu6", 0x7f7fffffu, F(6.0f)},
      {"Relu6", 0xff7fffffu, F(0.0f)},
      {"SoftSign", F(kInf), F(1.0f)},
      {"SoftSign", F(-kInf), F(-1.0f)},
      {"SoftSign", F(1.0f), F(0.5f)},
      {"SoftSign", F(3.0f), F(0.75f)},
      {"SoftSign", F(-3.0f), F(-0.75f)},
      {"SoftSign", kMinusZero, kMinusZero},
      {"SoftSign", 0x7f7fffffu, F(1.0f)},
      {"SoftSign", kNaNBits, kNaNBits, Unused(), true},
      {"HardSwish", F(-kInf), kMinusZero},
      {"HardSwish", F(kInf), F(kInf)},
      {"HardSwish", kNaNBits, kNaNBits, Unused(), true},
      {"HardSwish", F(0.0f), F(0.0f)},
      {"HardSwish", kMinusZero, kMinusZero},
      {"HardSwish", F(-10.0f), kMinusZero},
      {"HardSwish", F(10.0f), F(10.0f)},
      {"HardSwish", 0xff7fffffu, kMinusZero},
      {"TwoSlope", F(4.0f), F(4.0f), Floats(0.5f, 0.5f)},
      {"TwoSlope", F(-3.0f), F(0.0f), Floats(0.5f, 0.5f)},
      {"TwoSlope", F(1e10f), F(kInf), Floats(1e30f, 1e30f)},
      {"TwoSlope", F(-1e10f), F(0.0f), Floats(1e30f, 1e30f)},
      {"TwoSlope", F(1e10f), F(0.0f), Floats(1e30f, -1e30f)},
      {"TwoSlope", F(-1e10f), F(-kInf), Floats(1e30f, -1e30f)},
      {"TwoSlope", F(10.0f), F(kInf), Floats(3e38f, -1e38f)},
      {"TwoSlope", F(-kInf), F(-kInf), Floats(0.55f, 0.45f)},
      {"TwoSlope", F(kInf), F(kInf), Floats(0.55f, 0.45f)},
      {"TwoSlope", F(-kInf), F(0.0f), Floats(0.5f, 0.5f)},
      {"TwoSlope", F(kInf), F(-kInf), Floats(-3.0f, 1.0f)},
      {"TwoSlope", F(5.0f), kMinusZero, Floats(-0.0f, -0.0f)},
      {"TwoSlope", kNaNBits, kNaNBits, Floats(0.5f, 0.5f), true},
      {"TwoSlope", F(1.0f), kNaNBits, Floats(kNaNf, 0.5f), true},
      {"TwoSlope", F(-1.0f), kNaNBits, Floats(kInf, kInf), true},
      {"ThresholdedRelu", kNaNBits, F(0.0f), Floats(1.0f)},
      {"ThresholdedRelu", F(1.0f), F(0.0f), Floats(1.0f)},
      {"ThresholdedRelu", F(1.5f), F(1.5f), Floats(1.0f)},
      {"ThresholdedRelu", F(5.0f), F(0.0f), Floats(kNaNf)},
      {"ThresholdedRelu", F(-3.0f), F(-3.0f), Floats(-kInf)},
      {"ThresholdedRelu", F(-kInf), F(0.0f), Floats(-kInf)},
      {"ThresholdedRelu", kMinusZero, kMinusZero, Floats(-1.0f)},
      {"ThresholdedRelu", kMinusZero, F(0.0f), Floats(-0.0f)},
      {"Affine", F(3.0f), F(7.0f), Floats(2.0f, 1.0f)},
      // (1 + 2^-12)^2 rounds to 1 + 2^-11 before the add: two roundings give 0.
      {"Affine", 0x3f800800u, F(0.0f), Floats(BF(0x3f800800u), BF(0xbf801000u))},
      {"Affine", F(0.0f), kNaNBits, Floats(kInf, 0.0f), true},
      {"Affine", F(1e30f), F(-kInf), Floats(-1e20f, 3e30f)},
      {"Affine", F(0.0f), kMinusZero, Floats(-1.0f, -0.0f)},
      // clip
      {"ClipFloat", kNaNBits, F(0.0f), clip06},
      {"ClipFloat", 0xffc00001u, F(0.0f), clip06},
      {"ClipFloat", F(7.0f), F(6.0f), clip06},
      {"ClipFloat", F(-1.0f), F(0.0f), clip06},
      {"ClipFloat", F(3.0f), F(3.0f), clip06},
      {"ClipFloat", kMinusZero, F(0.0f), clip06},
      {"ClipFloat", F(kInf), F(6.0f), clip06},
      {"ClipFloat", F(-1e30f), F(-1e30f), clipNoLow},
      {"ClipFloat", F(-kInf), F(-kInf), clipNoLow},
      {"ClipFloat", F(7.0f), F(6.0f), clipNoLow},
      {"ClipFloat", kNaNBits, F(6.0f), clipNoLow},
      {"ClipFloat", F(7.0f), F(7.0f), clipNoHigh},
      {"ClipFloat", F(-1.0f), F(0.0f), clipNoHigh},
      {"ClipFloat", kNaNBits, F(0.0f), clipNoHigh},
      {"ClipFloat", 0x7fc00005u, 0x7fa00001u, Floats(BF(0xffc00123u), BF(0x7fa00001u))},
      {"ClipFloat", F(5.0f), F(5.0f), Floats(BF(0xffc00123u), BF(0x7fa00001u))},
      {"ClipFloat", F(3.0f), F(0.0f), Floats(6.0f, 0.0f)},
      {"ClipFloat", F(-5.0f), kMinusZero, Floats(-0.0f, 6.0f)},
      {"ClipFloat", F(5.0f), kMinusZero, Floats(0.0f, -0.0f)},
      {"ClipInt32", I(kIntMin), I(-5), Bounds(-5, 10)},
      {"ClipInt32", I(100), I(10), Bounds(-5, 10)},
      {"ClipInt32", I(3), I(3), Bounds(-5, 10)},
      {"ClipInt32", I(3), I(-5), Bounds(10, -5)},
      {"ClipInt32", I(kIntMax), I(kIntMax), Bounds(kIntMin, kIntMax)},
      {"ClipInt32", I(kIntMin), I(kIntMin), Bounds(kIntMin, kIntMax)},
      // is-NaN
      {"IsNan", 0x7f800000u, I(0)},
      {"IsNan", 0xff800000u, I(0)},
      {"IsNan", 0x7f800001u, I(1)},
      {"IsNan", 0xff800001u, I(1)},
      {"IsNan", 0xffffffffu, I(1)},
      {"IsNan", 0x7fffffffu, I(1)},
      {"IsNan", 0x00000000u, I(0)},
      {"IsNan", 0x7f7fffffu, I(0)},
      // half casts (through the host's conversions)
      {"CastHalfToFloat", 0x3c00u, F(1.0f)},
      {"CastHalfToFloat", 0x7c00u, F(kInf)},
      {"CastHalfToFloat", 0xfc00u, F(-kInf)},
      {"CastHalfToFloat", 0x0001u, 0x33800000u},
      {"CastHalfToFloat", 0x8000u, kMinusZero},
      {"CastHalfToFloat", 0x7bffu, F(65504.0f)},
      {"CastHalfToFloat", 0x7e00u, FB(vorta::host::HalfBitsToFloat(0x7e00u))},
      {"CastFloatToHalf", 0x00000001u, 0x0000u},
      {"CastFloatToHalf", 0x80000001u, 0x0000u},
      {"CastFloatToHalf", 0x007fffffu, 0x0000u},
      {"CastFloatToHalf", 0x807fffffu, 0x0000u},
      {"CastFloatToHalf", F(1.0f), 0x3c00u},
      {"CastFloatToHalf", kMinusZero, vorta::host::FloatToHalfBits(-0.0f)},
      {"CastFloatToHalf", 0x80800000u, vorta::host::FloatToHalfBits(BF(0x80800000u))},
      {"CastFloatToHalf", F(65520.0f), 0x7c00u},
      {"CastFloatToHalf", F(kInf), 0x7c00u},
      {"CastFloatToHalf", kNaNBits, vorta::host::FloatToHalfBits(BF(0x7fc00000u))},
      // integer casts
      {"CastInt64ToInt32", L(1LL << 40), I(kIntMax)},
      {"CastInt64ToInt32", L(-(1LL << 40)), I(kIntMin)},
      {"CastInt64ToInt32", L(2147483648LL), I(kIntMax)},
      {"CastInt64ToInt32", L(2147483647LL), I(kIntMax)},
      {"CastInt64ToInt32", L(-2147483647LL), I(-2147483647)},
      {"CastInt64ToInt32", L(-2147483648LL), I(kIntMin)},
      {"CastInt64ToInt32", L(-2147483649LL), I(kIntMin)},
      {"CastInt64ToInt32", L(0x100000005LL), I(kIntMax)},
      {"CastInt64ToInt32", L(-0x100000005LL), I(kIntMin)},
      {"CastInt64ToInt32", L(std::numeric_limits<int64_t>::min()), I(kIntMin)},
      {"CastInt64ToInt32", L(-5), I(-5)},
      {"CastUint8ToInt32", 0xffu, I(255)},
      {"CastUint8ToInt32", 0x80u, I(128)},
      {"CastInt8ToInt32", 0xffu, I(-1)},
      {"CastInt8ToInt32", 0x80u, I(-128)},
      {"CastInt8ToInt32", 0x7fu, I(127)},
      {"CastBoolToInt32", 0x00u, I(0)},
      {"CastBoolToInt32", 0x80u, I(1)},
      {"CastBoolToInt32", 0x02u, I(1)},
      {"CastBoolToInt32", 0xffu, I(1)},
      // quantise
      {"QuantizeUint8", F(300.0f), 255, q10},
      {"QuantizeUint8", F(299.6f), 255, q10},
      {"QuantizeUint8", F(-7.0f), 0, q10},
      {"QuantizeUint8", F(2.5f), 2, q10},
      {"QuantizeUint8", F(3.5f), 4, q10},
      {"QuantizeUint8", F(254.5f), 254, q10},
      {"QuantizeUint8", F(255.4f), 255, q10},
      {"QuantizeUint8", F(-0.4f), 0, q10},
      {"QuantizeUint8", kNaNBits, 0, q10},
      {"QuantizeUint8", F(kInf), 255, q10},
      {"QuantizeUint8", F(-kInf), 0, q10},
      {"QuantizeUint8", F(1.25f), 12, Quant(0.5f, 10)},
      {"QuantizeUint8", F(3.0f), 0, Quant(1.0f, -5)},
      {"QuantizeUint8", F(-100.0f), 200, Quant(1.0f, 300)},
      {"QuantizeUint8", F(510.0f), 255, Quant(2.0f, 0)},
      {"QuantizeUint8", F(5.0f), 2, Quant(2.0f, 0)},
      {"QuantizeUint8", F(7.0f), 4, Quant(2.0f, 0)},
      {"QuantizeUint8", F(1.0f), 255, Quant(0.0f, 0)},
      {"QuantizeUint8", F(0.0f), 0, Quant(0.0f, 0)},
      // bit remap
      {"BitRemapInt32", I(0), I(0x40000000)},
      {"BitRemapInt32", I(0x20000000), I(0x20000000)},
      {"BitRemapInt32", I(kIntMax), I(0x3fffffff)},
      {"BitRemapInt32", I(0x40000000), I(0x3fffffff)},
      {"BitRemapInt32", I(kIntMin), I(static_cast<int32_t>(0xc0000000u))},
      {"BitRemapInt32", I(-0x40000001), I(static_cast<int32_t>(0xc0000000u))},
      {"BitRemapInt32", I(-1), I(static_cast<int32_t>(0xbfffffffu))},
      {"BitRemapInt32", I(0x12345678), I(0x52345678)},
      // the in-place pass leaves every pattern alone
      {"InPlacePass", 0x00000001u, 0x00000001u},
      {"InPlacePass", 0x807fffffu, 0x807fffffu},
      {"InPlacePass", 0xffffffffu, 0xffffffffu},
  };
}

class MapVariantTest : public ::testing::TestWithParam<CpuVariant> {
 protected:
  void SetUp() override {
    if (GetParam() == CpuVariant::Avx2 && !vorta::host::CanRunAvx2())
      GTEST_SKIP() << "this processor cannot run the AVX2 variant";
    vorta::host::InitializeLinked(GetParam());
  }
};

// Each value fills a whole tensor (blocked path and tail) and its result is
// fixed; the reference must agree as well.
TEST_P(MapVariantTest, FixedValues) {
  for (const Fixed& c : FixedCases()) {
    const Member& m = MemberNamed(c.member);
    const size_t is = SizeOf(m.in), os = SizeOf(m.out);
    SCOPED_TRACE(std::string(c.member) + " of " + Hex(reinterpret_cast<const uint8_t*>(&c.input), is) +
                 ", " + ParamText(m, c.params));
    auto matches = [&](const uint8_t* got) {
      if (c.anyNan) return IsNanElement(m.out, got);
      return memcmp(got, &c.output, os) == 0;
    };
    uint8_t ref[8] = {};
    m.ref(reinterpret_cast<const uint8_t*>(&c.input), ref, c.params);
    EXPECT_TRUE(matches(ref)) << "reference gives " << Hex(ref, os);

    const int32_t n = 37;
    Arena input(is * n, kInputFill), output(os * n, kOutputFill);
    for (int32_t i = 0; i < n; ++i) memcpy(input.base + is * i, &c.input, is);
    uint8_t* out = m.shape == Shape::ArrayOnly ? input.base : output.base;
    RunKernel(m, input.base, out, n, n, c.params, Schedule(2, 5, true, true, 3));
    for (int32_t i = 0; i < n; ++i) {
      if (!matches(out + os * i)) {
        ADD_FAILURE() << "element " << i << ": expected " << Hex(reinterpret_cast<const uint8_t*>(&c.output), os)
                      << (c.anyNan ? " (any NaN)" : "") << ", got " << Hex(out + os * i, os);
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Half conversions through the host: count the calls with a resolver that wraps
// the reference host's conversions.

std::atomic<int64_t> g_floatToHalfCalls{0};
std::atomic<int64_t> g_halfToFloatCalls{0};
std::atomic<int> g_wrapped{0};

VORTA_MSABI uint32_t CountingFloatToHalf(float value) {
  g_floatToHalfCalls.fetch_add(1);
  return vorta::host::service::FloatToHalf(value);
}
VORTA_MSABI float CountingHalfToFloat(uint32_t half) {
  g_halfToFloatCalls.fetch_add(1);
  return vorta::host::service::HalfToFloat(half);
}
VORTA_MSABI void* CountingResolver(const char* name) {
  void* f = vorta::host::Resolver()(name);
  if (f == reinterpret_cast<void*>(&vorta::host::service::FloatToHalf)) {
    g_wrapped.fetch_or(1);
    return reinterpret_cast<void*>(&CountingFloatToHalf);
  }
  if (f == reinterpret_cast<void*>(&vorta::host::service::HalfToFloat)) {
    g_wrapped.fetch_or(2);
    return reinterpret_cast<void*>(&CountingHalfToFloat);
  }
  return f;
}

class HalfCallTest : public MapVariantTest {
 protected:
  void SetUp() override {
    MapVariantTest::SetUp();
    if (IsSkipped()) return;
    g_wrapped = 0;
    vorta::InitializeVariant(&CountingResolver, GetParam());
    ASSERT_EQ(3, g_wrapped.load()) << "both half conversions are resolved";
  }
  void TearDown() override { vorta::host::InitializeLinked(GetParam()); }

  // Runs the float-to-half member over `bits`, returning the halves.
  std::vector<uint16_t> FloatToHalf(const std::vector<uint32_t>& bits) {
    std::vector<uint16_t> out(bits.size() + 8, 0xabcd);
    vorta::DirectMapJob r{bits.data(), out.data()};
    vorta::host::RunJob(vorta::host::LinkedJob("f1a167c77318f3f70ee2def7cd78c7d1"), &r, sizeof r,
                        static_cast<int32_t>(bits.size()), Schedule(2, 7, true, true, 5));
    for (size_t i = bits.size(); i < out.size(); ++i) EXPECT_EQ(0xabcd, out[i]);
    out.resize(bits.size());
    return out;
  }
};

TEST_P(HalfCallTest, SubnormalFloatsGiveHalfZeroWithoutHostCall) {
  std::mt19937_64 rng(21);
  std::vector<uint32_t> bits(3001);
  for (uint32_t& b : bits) {
    b = static_cast<uint32_t>(rng()) & 0x807fffffu;
    if ((b & 0x007fffffu) == 0) b |= 1;  // a zero is not subnormal
  }
  bits[0] = 0x00000001u;
  bits[1] = 0x80000001u;
  bits[2] = 0x007fffffu;
  bits[3] = 0x807fffffu;
  g_floatToHalfCalls = 0;
  std::vector<uint16_t> halves = FloatToHalf(bits);
  EXPECT_EQ(0, g_floatToHalfCalls.load());
  for (size_t i = 0; i < bits.size(); ++i)
    ASSERT_EQ(0u, halves[i]) << "float " << Hex(reinterpret_cast<uint8_t*>(&bits[i]), 4);
}

TEST_P(HalfCallTest, EveryOtherFloatGoesThroughTheHost) {
  std::mt19937_64 rng(22);
  std::vector<uint32_t> bits(4099);
  for (uint32_t& b : bits) {
    do b = static_cast<uint32_t>(rng()) >> (rng() % 2 ? 0 : rng() % 8);
    while ((b & 0x7f800000u) == 0 && (b & 0x007fffffu) != 0);
  }
  const uint32_t specials[] = {0x00000000u, 0x80000000u, 0x7f800000u, 0xff800000u,
                               0x7fc00000u, 0xffc00001u, 0x7f800001u, 0x00800000u,
                               0x80800000u, FB(65520.0f), FB(1.0f), 0x33000001u};
  std::copy(std::begin(specials), std::end(specials), bits.begin());
  g_floatToHalfCalls = 0;
  std::vector<uint16_t> halves = FloatToHalf(bits);
  EXPECT_EQ(static_cast<int64_t>(bits.size()), g_floatToHalfCalls.load());
  for (size_t i = 0; i < bits.size(); ++i)
    ASSERT_EQ(vorta::host::FloatToHalfBits(BF(bits[i])), halves[i])
        << "float " << Hex(reinterpret_cast<uint8_t*>(&bits[i]), 4);
}

TEST_P(HalfCallTest, EveryHalfGoesThroughTheHost) {
  std::vector<uint16_t> halves(65536);
  for (size_t i = 0; i < halves.size(); ++i) halves[i] = static_cast<uint16_t>(i);
  std::vector<uint32_t> out(halves.size() + 4, 0xa5a5a5a5u);
  vorta::DirectMapJob r{halves.data(), out.data()};
  g_halfToFloatCalls = 0;
  vorta::host::RunJob(vorta::host::LinkedJob("f4a715f22671445f23ed87701a946acc"), &r, sizeof r,
                      65536, Schedule(2, 100, true, true, 6));
  EXPECT_EQ(65536, g_halfToFloatCalls.load());
  for (size_t i = 0; i < halves.size(); ++i)
    ASSERT_EQ(FB(vorta::host::HalfBitsToFloat(halves[i])), out[i]) << "half " << i;
  for (size_t i = halves.size(); i < out.size(); ++i) EXPECT_EQ(0xa5a5a5a5u, out[i]);
}

// The rounding members give their fixed results whatever rounding mode the
// host thread has left in MXCSR (the job runs on the calling thread here).
TEST_P(MapVariantTest, RoundingIgnoresTheThreadsRoundingMode) {
  const float in[9] = {2.5f, 3.5f, -2.5f, 0.5f, -0.4f, 1.75f, -1.25f, 8388607.5f, -0.0f};
  const float round[9] = {2.0f, 4.0f, -2.0f, 0.0f, -0.0f, 2.0f, -1.0f, 8388608.0f, -0.0f};
  const float floor[9] = {2.0f, 3.0f, -3.0f, 0.0f, -1.0f, 1.0f, -2.0f, 8388607.0f, -0.0f};
  const unsigned saved = _mm_getcsr();
  for (unsigned mode : {0x2000u, 0x4000u, 0x6000u, 0x0000u}) {
    float outRound[9], outFloor[9];
    vorta::UnaryMapJob r{in, outRound, 9, 0, 0}, f{in, outFloor, 9, 0, 0};
    _mm_setcsr((saved & ~0x6000u) | mode);
    vorta::host::RunJob(vorta::host::LinkedJob("8ce0d156ff177b4381cdeab0833c612b"), &r, sizeof r, 9,
                        Schedule(1, 9, false, false, 1));
    vorta::host::RunJob(vorta::host::LinkedJob("4d4290c89041769105aaf793e5298fc9"), &f, sizeof f, 9,
                        Schedule(1, 9, false, false, 1));
    _mm_setcsr(saved);
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(FB(round[i]), FB(outRound[i])) << "round of " << in[i] << " in mode " << mode;
      EXPECT_EQ(FB(floor[i]), FB(outFloor[i])) << "floor of " << in[i] << " in mode " << mode;
    }
  }
}

std::string VariantParamName(const ::testing::TestParamInfo<CpuVariant>& info) {
  return vorta::host::VariantName(info.param);
}

INSTANTIATE_TEST_SUITE_P(Maps, MapVariantTest,
                         ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2), VariantParamName);
INSTANTIATE_TEST_SUITE_P(Maps, HalfCallTest, ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2),
                         VariantParamName);

}  // namespace
