// The direct-call maths kernels (easing, geometry, rotation, pose, tweens,
// aiming) stay inside the buffers their contracts give them, and the SSE2 and
// AVX2 variants give the same bits.
//
// A generic harness reads each kernel's function-pointer type: a `const T*`
// becomes a read-only buffer of exactly one random T, a `T*` a writable one, a
// `T**` a read-only cell addressing a writable array, a `const void*` a pointer
// into an inaccessible page; floats are random, flags and 32-bit integers too,
// with garbage in the upper half of their register. Overrides give counts, legal
// modes, documented array sizes and record windows (a record read only in part
// is handed over with its unread ends in the guard pages). Every buffer lies
// against an inaccessible page, once ending and once starting at it; a stray
// access stops the program naming the kernel. Both variants and both placements
// must write the same bits (a NaN matching any NaN), return the same value (a
// pointer as "which buffer, which offset") and leave the same control bits.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <bit>
#include <cmath>
#include <tuple>
#include <type_traits>

#include "tests/kernel_cases.h"

namespace {

using Rng = std::mt19937_64;
using Bytes = std::vector<uint8_t>;
constexpr int kRounds = 40;

// Moderate values in half the rounds; the full range (NaN, infinities, signed
// zeros, subnormals, huge values, any bit pattern) in the others.
float RandomF(Rng& rng, bool full) {
  const float u = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
  if (!full) return 4.0f * u;
  static const float kSpecial[] = {NAN, INFINITY, -INFINITY, 0.0f, -0.0f,
                                   1e-40f, -3e-39f, 3e30f, -3.4e38f};
  switch (rng() % 10) {
    case 0: return kSpecial[rng() % std::size(kSpecial)];
    case 1: return std::bit_cast<float>(uint32_t(rng()));
    default: return std::ldexp(u, int(rng() % 61) - 30);
  }
}
float Uniform(Rng& rng, float lo, float hi) {
  return std::uniform_real_distribution<float>(lo, hi)(rng);
}

// A 32-bit value in a 64-bit register slot whose upper half is garbage.
uint64_t Garbage32(Rng& rng, uint32_t v) { return (rng() << 32) | v; }
uint64_t RandomFlag(Rng& rng) {
  static const uint8_t kLow[] = {0, 1, 2, 3, 0x80, 0xfe, 0xff};
  return (rng() << 8) | (rng() % 4 ? kLow[rng() % std::size(kLow)] : uint8_t(rng()));
}
uint64_t RandomInt(Rng& rng) {
  return Garbage32(rng, rng() % 2 ? uint32_t(int32_t(rng() % 9) - 2) : kcases::RandomInt(rng));
}

// One buffer of a call. The kernel gets the address `lo` bytes before its first
// byte: the record bytes before the window lie in the guard page.
struct Buf {
  std::string label;
  Bytes bytes;
  bool writable = false;
  bool exact = false;  // integer contents: compared bit for bit
  size_t lo = 0;
  std::vector<std::pair<size_t, int>> links;  // (record offset, buffer whose address goes there)
};

// The arguments of one call: scalar bits, or the index of a pointer's buffer.
struct Plan {
  Rng* rng;
  bool full;
  std::vector<Buf> bufs;
  std::vector<uint64_t> regs;

  Bytes Floats(size_t bytes) {
    Bytes b(bytes);
    for (size_t i = 0; i < bytes; i += 4) Put(b, i, RandomF(*rng, full));
    return b;
  }
  int NewBuf(std::string label, size_t bytes, bool writable) {
    bufs.push_back(Buf{std::move(label), Floats(bytes), writable});
    return int(bufs.size() - 1);
  }
  int Linked(int record, size_t at, std::string label, size_t bytes, bool writable) {
    const int b = NewBuf(std::move(label), bytes, writable);
    bufs[record].links.push_back({at, b});
    return b;
  }
  Buf& Arg(int i) { return bufs[regs[i]]; }
  Buf& Inner(int i) { return bufs[Arg(i).links[0].second]; }
  void Resize(Buf& b, size_t bytes) { b.bytes = Floats(bytes); }
  // The record of argument i, seen only through [lo, hi).
  void Window(int i, size_t lo, size_t hi) {
    Buf& b = Arg(i);
    b.bytes = Bytes(b.bytes.begin() + lo, b.bytes.begin() + hi);
    b.lo = lo;
  }
  template <class T>
  static void Put(Bytes& b, size_t at, T v) { memcpy(&b[at], &v, sizeof v); }
  template <class T>
  void Put(Buf& b, size_t at, T v) { Put(b.bytes, at - b.lo, v); }
  template <class T>
  T Get(const Buf& b, size_t at) const {
    T v;
    memcpy(&v, &b.bytes[at - b.lo], sizeof v);
    return v;
  }
  void Int(int i, int32_t v) { regs[i] = Garbage32(*rng, uint32_t(v)); }
  void Float(int i, float v) { regs[i] = std::bit_cast<uint32_t>(v); }
};

// What one call left behind.
struct Outcome {
  uint64_t ret = 0;
  std::vector<Bytes> written;  // the writable buffers, in plan order
  uint32_t control = 0;        // MXCSR without its exception flags
};

struct Placed {
  std::vector<std::unique_ptr<kcases::GuardedBuffer>> mem;
  uint8_t* Address(const Plan& p, size_t b) const { return mem[b]->data() - p.bufs[b].lo; }
};

// Buffers without links first, then the records and cells that point at them.
Placed Place(const Plan& p, bool atStart) {
  Placed m;
  m.mem.resize(p.bufs.size());
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < p.bufs.size(); ++i) {
      const Buf& b = p.bufs[i];
      if (b.links.empty() != (pass == 0)) continue;
      Bytes bytes = b.bytes;
      for (auto [at, to] : b.links) Plan::Put(bytes, at - b.lo, m.Address(p, to));
      m.mem[i] = std::make_unique<kcases::GuardedBuffer>(bytes, atStart, !b.writable);
    }
  return m;
}

// Registers as the caller fills them: 32-bit values and flags as whole slots.
template <class T>
using Reg = std::conditional_t<std::is_pointer_v<T> || std::is_floating_point_v<T>, T, uint64_t>;
template <class R>
using Ret = std::conditional_t<std::is_same_v<R, bool>, uint8_t, R>;

template <class Fn>
struct Sig;
template <class R, class... A>
struct Sig<R(VORTA_CALL*)(A...)> {
  template <class T>
  static void AddArg(Plan& p, size_t i) {
    const std::string label = "argument " + std::to_string(i);
    if constexpr (std::is_pointer_v<T>) {
      using P = std::remove_pointer_t<T>;
      using E = std::remove_cv_t<P>;
      if constexpr (std::is_void_v<E>) {
        p.regs.push_back(p.NewBuf(label + " (not used)", 0, false));
      } else if constexpr (std::is_pointer_v<E>) {
        const int cell = p.NewBuf(label, 8, false);
        p.Linked(cell, 0, label + "'s array", sizeof(std::remove_pointer_t<E>), true);
        p.regs.push_back(cell);
      } else {
        p.regs.push_back(p.NewBuf(label, sizeof(E), !std::is_const_v<P>));
      }
    } else if constexpr (std::is_floating_point_v<T>) {
      p.regs.push_back(std::bit_cast<uint32_t>(RandomF(*p.rng, p.full)));
    } else if constexpr (std::is_same_v<T, bool> || sizeof(T) == 1) {
      p.regs.push_back(RandomFlag(*p.rng));
    } else {
      p.regs.push_back(RandomInt(*p.rng));
    }
  }
  static void Make(Plan& p) {
    size_t i = 0;
    (AddArg<A>(p, i++), ...);
  }

  template <class T>
  static Reg<T> Value(const Plan& p, const Placed& m, size_t i) {
    if constexpr (std::is_pointer_v<T>) return reinterpret_cast<T>(m.Address(p, p.regs[i]));
    else if constexpr (std::is_floating_point_v<T>) return std::bit_cast<T>(uint32_t(p.regs[i]));
    else return p.regs[i];
  }

  static Outcome Run(void* fn, const Plan& p, bool atStart, const char* name) {
    const Placed m = Place(p, atStart);
    size_t i = 0;
    const std::tuple<Reg<A>...> args{Value<A>(p, m, i++)...};  // braced: left to right
    const auto f = reinterpret_cast<Ret<R>(VORTA_CALL*)(Reg<A>...)>(fn);
    Outcome o;
    const uint32_t saved = _mm_getcsr();
    _mm_setcsr(0x1f80);
    kcases::CurrentKernel().store(name);
    if constexpr (std::is_void_v<R>) {
      std::apply(f, args);
    } else {
      const Ret<R> r = std::apply(f, args);
      if constexpr (std::is_pointer_v<R>) {
        o.ret = ~0ull;  // not inside any buffer
        const uint8_t* q = reinterpret_cast<const uint8_t*>(r);
        for (size_t b = 0; b < p.bufs.size(); ++b) {
          const uint8_t* at = m.Address(p, b);
          if (q >= at && q < at + p.bufs[b].lo + p.bufs[b].bytes.size())
            o.ret = b << 32 | uint64_t(q - at);
        }
      } else if constexpr (std::is_floating_point_v<R>) {
        o.ret = std::bit_cast<uint32_t>(r);
      } else {
        o.ret = uint64_t(r);
      }
    }
    o.control = _mm_getcsr() & ~0x3fu;
    kcases::CurrentKernel().store(nullptr);
    _mm_setcsr(saved);
    for (size_t b = 0; b < p.bufs.size(); ++b)
      if (p.bufs[b].writable)
        o.written.emplace_back(m.mem[b]->data(), m.mem[b]->data() + p.bufs[b].bytes.size());
    return o;
  }
  static constexpr bool kFloatReturn = std::is_floating_point_v<R>;
  static constexpr bool kPointerReturn = std::is_pointer_v<R>;
};

struct Kernel {
  const char* name;
  const char* exportName;
  void (*make)(Plan&);
  void (*adjust)(Plan&);
  Outcome (*run)(void*, const Plan&, bool, const char*);
  bool floatReturn, pointerReturn, ignoreReturn;
};

template <class Fn>
Kernel Entry(const char* name, const char* exportName, void (*adjust)(Plan&) = nullptr,
             bool ignoreReturn = false) {
  return {name, exportName, &Sig<Fn>::Make, adjust, &Sig<Fn>::Run,
          Sig<Fn>::kFloatReturn, Sig<Fn>::kPointerReturn, ignoreReturn};
}

// ---- overrides: counts, legal modes, documented sizes, record windows ---------

template <int... kArgFloats>  // pairs: argument, its number of floats
void Floats(Plan& p) {
  constexpr int s[] = {kArgFloats...};
  for (size_t k = 0; k < sizeof...(kArgFloats); k += 2) p.Resize(p.Arg(s[k]), 4 * size_t(s[k + 1]));
}

// Curve sampling: count points, and at least the one the start goes to.
void SampleCurve(Plan& p) {
  const int32_t count = int32_t((*p.rng)() % 43) - 2;
  p.Int(0, count);
  p.Resize(p.Inner(5), 12 * size_t(std::max(count, 1)));
}

// Trimmed sampling: count points (none for count <= 0); in moderate rounds
// small trims and minimum lengths, so the curve gets measured and sampled.
template <int kPoints, int kMinimum>
void SampleTrimmed(Plan& p) {
  Rng& rng = *p.rng;
  const int32_t count = int32_t(rng() % 43) - 2;
  p.Int(0, count);
  p.Resize(p.Inner(kPoints), 12 * size_t(std::max(count, 0)));
  if (p.full) return;
  p.Float(kMinimum, Uniform(rng, 0, 1));
  for (int t : {kMinimum + 1, kMinimum + 2}) p.Float(t, rng() % 3 ? Uniform(rng, 0, 1) : 0.0f);
}

void ChordLength(Plan& p) {
  Rng& rng = *p.rng;
  p.Int(4, rng() % 16 ? int32_t(rng() % 70) - 5 : INT32_MIN);
}

// In moderate rounds a downward gravity and limits that let the ballistic
// correction run.
void ThrowAssist(Plan& p) {
  if (p.full) return;
  Rng& rng = *p.rng;
  const float lo[] = {1, 0, 0, 0.5f, 0, 0}, hi[] = {20, 180, 0.5f, 3, 1, 0.2f};
  for (int i = 0; i < 6; ++i) p.Float(3 + i, Uniform(rng, lo[i], hi[i]));
}

// The destination list names count points; the walk reads as many source
// (and, blending, previous) points as it visits, and without blending no
// previous point nor even the cell that addresses them.
void PathRefreshWith(Plan& p, int32_t start, int32_t n, int32_t count) {
  p.Int(0, start);
  p.Int(1, n);
  if (!p.full) p.Float(2, Uniform(*p.rng, 0, 6));
  const int32_t walked = n <= 0 || start < 0 || start >= count ? 0 : std::min(n, count - start);
  for (int i : {6, 7}) {
    p.Inner(i).writable = false;
    p.Resize(p.Inner(i), 12 * size_t(walked));
  }
  if (!(p.regs[3] & 1)) {
    p.Arg(7).bytes.clear();
    p.Arg(7).links.clear();
  }
  p.Arg(8).writable = false;
  p.Put(p.Arg(8), 8, count);
  p.Linked(int(p.regs[8]), 0, "destination points", 12 * size_t(std::max(count, 0)), true);
}
// Mostly a walk inside the destination; also starts before its first point
// or past its last one, and no points to walk.
void PathRefresh(Plan& p) {
  Rng& rng = *p.rng;
  const int32_t count = rng() % 8 ? 1 + int32_t(rng() % 12) : int32_t(rng() % 2) - 1;
  const uint64_t where = rng() % 6;
  const int32_t start = where == 0   ? -1 - int32_t(rng() % 3)
                        : where == 1 ? count + int32_t(rng() % 3)
                                     : int32_t(rng() % uint64_t(std::max(count, 1)));
  PathRefreshWith(p, start, rng() % 6 ? 1 + int32_t(rng() % 8) : -int32_t(rng() % 3), count);
}

// 26 joint records, most of them valid; 26 output poses.
void HandJoints(Plan& p) {
  Rng& rng = *p.rng;
  Buf& joints = p.Inner(0);
  joints.writable = false;
  p.Resize(joints, 64 * VORTA_HAND_JOINT_COUNT);
  for (int j = 0; j < VORTA_HAND_JOINT_COUNT; ++j) {
    const uint32_t flags = uint32_t(rng());
    p.Put(joints, 64 * j + 60, rng() % (j ? 4 : 8) ? flags | VORTA_HAND_JOINT_VALID
                                                   : flags & ~VORTA_HAND_JOINT_VALID);
  }
  p.Resize(p.Inner(1), 28 * VORTA_HAND_JOINT_COUNT);
}

// A tween record of n components, seen only through the bytes its step reads,
// with its curve samples and its result array.
struct TweenLayout {
  int n;
  size_t lo, hi, from, to, phase, curve, current, result;
};
constexpr TweenLayout kTween4{4, 16, 112, 16, 32, 48, 56, 80, 104};
constexpr TweenLayout kTween4Moded{4, 0, 128, 16, 32, 48, 56, 80, 104};
constexpr TweenLayout kTween3{3, 12, 88, 12, 24, 36, 40, 64, 80};
constexpr TweenLayout kTween2{2, 8, 80, 8, 16, 24, 32, 56, 72};
constexpr TweenLayout kTween1{1, 4, 56, 4, 8, 12, 16, 40, 48};

template <const TweenLayout& t>
void Tween(Plan& p) {
  Rng& rng = *p.rng;
  p.Window(0, t.lo, t.hi);
  Buf& r = p.Arg(0);
  p.Put(r, t.phase, uint8_t(rng()));
  if (!p.full && rng() % 3 == 0) memcpy(&r.bytes[t.to - t.lo], &r.bytes[t.from - t.lo], 4 * t.n);
  if (!p.full && rng() % 3 == 0) memcpy(&r.bytes[t.current - t.lo], &r.bytes[t.to - t.lo], 4 * t.n);
  const int32_t samples = 1 + int32_t(rng() % (rng() % 4 ? 9 : 300));
  static const int32_t kWrap[] = {0, 1, VORTA_WRAP_LOOP, VORTA_WRAP_PING_PONG};
  p.Put(r, t.curve + 8, samples);
  for (size_t at : {t.curve + 16, t.curve + 20})
    p.Put(r, at, rng() % 4 ? kWrap[rng() % 4] : int32_t(rng()));
  if (t.hi == 128) p.Put(r, 120, uint8_t(rng() % 4 ? rng() % 4 : rng()));  // mode
  const int record = int(p.regs[0]);
  p.Linked(record, t.curve, "curve samples", 4 * size_t(samples), false);
  p.Linked(record, t.result, "result", 4 * size_t(t.n), true);
}

// Emitter culling: per-emitter inputs at their documented strides, candidates
// among the emitters, and outputs for exactly the emitters the layer and
// distance tests accept (counted here by the documented tests), batches of 250.
void EmitterCull(Plan& p) {
  Rng& rng = *p.rng;
  const bool many = rng() % 4 == 0;  // enough accepted emitters for several batches
  const int32_t emitters = 1 + int32_t(rng() % 40);
  const int32_t count = many ? 240 + int32_t(rng() % 300) : int32_t(rng() % 30);
  const int record = int(p.regs[0]);
  p.Put(p.Arg(0), 200, uint32_t(many || rng() % 4 == 0 ? ~0u : rng()));
  p.Put(p.Arg(0), 224, count);
  if (many) p.Put(p.Arg(0), 228, NAN);
  static const size_t kIn[][2] = {{0, 64},  {16, 64}, {48, 8},   {64, 8}, {80, 16},
                                  {96, 4},  {128, 4}, {144, 16}, {160, 4}};
  int in[9];
  for (int i = 0; i < 9; ++i)
    in[i] = p.Linked(record, kIn[i][0], "input at " + std::to_string(kIn[i][0]),
                     kIn[i][1] * size_t(emitters), false);
  for (uint8_t& b : p.bufs[in[5]].bytes) b = uint8_t(rng());
  for (int32_t e = 0; e < emitters && !p.full; ++e) {  // ranges and radii that reach
    p.Put(p.bufs[in[2]], 8 * size_t(e), many ? 100.0f : Uniform(rng, 0, 8));
    p.Put(p.bufs[in[7]], 16 * size_t(e) + 12, Uniform(rng, 0, 2));
  }
  const int cand = p.Linked(record, 208, "candidates", 4 * size_t(count), false);
  for (int32_t i = 0; i < count; ++i) p.Put(p.bufs[cand], 4 * size_t(i), int32_t(rng() % emitters));

  const Buf &a = p.bufs[record], &range = p.bufs[in[2]], &layers = p.bufs[in[5]];
  const Buf& spheres = p.bufs[in[7]];
  const uint32_t mask = p.Get<uint32_t>(a, 200);
  const float md = p.Get<float>(a, 228);
  int32_t accepted = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t k = p.Get<int32_t>(p.bufs[cand], 4 * size_t(i));
    if (!((mask >> (layers.bytes[4 * size_t(k)] & 31)) & 1)) continue;
    float d[3], s[4];
    for (int c = 0; c < 4; ++c) s[c] = p.Get<float>(spheres, 16 * size_t(k) + 4 * c);
    for (int c = 0; c < 3; ++c) d[c] = p.Get<float>(a, 176 + 4 * c) - s[c];
    const float dist = std::sqrt(d[2] * d[2] + (d[1] * d[1] + d[0] * d[0]));
    const float maxRange = p.Get<float>(range, 8 * size_t(k));
    const float reach = (std::isnan(md) || maxRange < md ? maxRange : md) + s[3];
    accepted += !(dist > reach);
  }
  const size_t batches = (size_t(accepted) + VORTA_EMITTER_BATCH - 1) / VORTA_EMITTER_BATCH;
  const size_t kOut[][2] = {{232, 64 * size_t(accepted)}, {248, 64 * size_t(accepted)},
                            {264, 4 * size_t(accepted)}, {280, 8 * batches}, {296, 4}};
  for (auto [at, bytes] : kOut)
    p.bufs[p.Linked(record, at, "output at " + std::to_string(at), bytes, true)].exact = at != 248;
}

#define K(name, Fn, ...) Entry<Fn>(#name, VORTA_EXPORT_##name, ##__VA_ARGS__)

const std::vector<Kernel>& Kernels() {
  static const std::vector<Kernel> kernels = {
      K(EASING_BOUNCE3, VortaEaseFn), K(EASING_BOUNCE3_VEC3, VortaEaseVec3Fn),
      K(EASING_BOUNCE4, VortaEaseFn), K(EASING_BOUNCE4_VEC3, VortaEaseVec3Fn),
      K(EASING_BENT_LERP, VortaEaseVec3Fn), K(EASING_SHIFTED_QUADRATIC, VortaEaseFn),
      K(EASING_QUADRATIC_POINT, VortaQuadraticPointFn), K(EASING_CUBIC_POINT, VortaCubicPointFn),
      K(EASING_SAMPLE_CURVE, VortaCurveSampleFn, SampleCurve),
      K(EASING_SAMPLE_CURVE_TWIN, VortaCurveSampleFn, SampleCurve),
      K(EASING_SAMPLE_TRIMMED, VortaTrimmedCurveFn, SampleTrimmed<5, 6>),
      K(EASING_SAMPLE_TRIMMED_QUADRATIC, VortaTrimmedQuadraticFn, SampleTrimmed<4, 5>),
      K(EASING_QUADRATIC_TO_CUBIC, VortaQuadraticToCubicFn),
      K(EASING_CHORD_LENGTH, VortaChordLengthFn, ChordLength),
      K(EASING_CONSTANT_ACCELERATION, VortaMotionFn), K(GEOMETRY_PLANE_PROJECT, VortaVec3BinaryFn),
      K(GEOMETRY_PLANE_PROJECT_TWIN, VortaVec3BinaryFn), K(GEOMETRY_SUB_SCALED, VortaSubScaledFn),
      K(GEOMETRY_PROJECT_ON_LINE, VortaProjectOnLineFn),
      K(GEOMETRY_PROJECT_REAIM, VortaProjectReaimFn),
      K(GEOMETRY_LINE_DISTANCE, VortaLineDistanceFn),
      K(GEOMETRY_PROJECTED_LENGTH, VortaProjectedLengthFn), K(GEOMETRY_DIRECTION, VortaDirectionFn),
      K(GEOMETRY_DISTANCE_SQ, VortaDistanceSqFn), K(GEOMETRY_WITHIN_RANGE, VortaVec3TestFn),
      K(GEOMETRY_APPROX_EQUAL, VortaVec3TestFn), K(GEOMETRY_APPROX_EQUAL_TWIN, VortaVec3TestFn),
      K(GEOMETRY_MULTIPLY, VortaVec3BinaryFn), K(GEOMETRY_MULTIPLY_Z, VortaVec3BinaryZFn),
      K(GEOMETRY_DIVIDE_APART, VortaDivideApartFn),
      K(GEOMETRY_DIVIDE_APART_TWIN, VortaDivideApartFn), K(GEOMETRY_FIT_RATIO, VortaFitRatioFn),
      K(GEOMETRY_HALF_EXTENT, VortaHalfExtentFn), K(GEOMETRY_DOUBLE_CROSS, VortaVec3BinaryFn),
      K(GEOMETRY_DOUBLE_CROSS_TWIN, VortaVec3BinaryFn),
      K(GEOMETRY_PERPENDICULAR, VortaPerpendicularFn), K(GEOMETRY_MOVE_TOWARD, VortaMoveTowardFn),
      K(GEOMETRY_SHORTEN_SEGMENT, VortaShortenSegmentFn),
      K(GEOMETRY_RADIAL_FALLOFF, VortaRadialFalloffFn),
      K(GEOMETRY_OUTSIDE_RANGE, VortaOutsideRangeFn),
      K(GEOMETRY_CLAMPED_FALLOFF, VortaClampedFalloffFn),
      K(GEOMETRY_SCALAR_FALLOFF, VortaScalarFalloffFn),
      K(ROTATION_VECTOR_ANGLE, VortaVectorAngleFn),
      K(ROTATION_ROTATION_ANGLE, VortaRotationAngleFn), K(ROTATION_JOINT_ANGLE, VortaJointAngleFn),
      K(ROTATION_JOINT_OPENNESS, VortaJointOpennessFn),
      K(ROTATION_ROTATE_ABOUT, VortaRotateAboutFn), K(ROTATION_AXIS, VortaAxisRotationFn),
      // The look rotations' 32-bit result is documented as meaningless.
      K(ROTATION_LOOK_PROJECTED, VortaLookRotationFn, nullptr, true),
      K(ROTATION_LOOK_PROJECTED_TWIN, VortaLookRotationFn, nullptr, true),
      K(ROTATION_LOOK, VortaLookRotationFn, nullptr, true),
      K(ROTATION_LOOK_TWIN, VortaLookRotationFn, nullptr, true),
      K(POSE_FLIGHT_TIME, VortaFlightTimeFn), K(POSE_BOOM_STEP, VortaBoomStepFn),
      K(POSE_BOOM_REACH_STEP, VortaBoomReachStepFn), K(POSE_ADVANCE_CLAMP, VortaAdvanceClampFn),
      K(POSE_CONE_TEST, VortaConeTestFn), K(POSE_TRIM_TO_BUDGET, VortaTrimToBudgetFn),
      K(POSE_LOCAL_DIRECTION, VortaLocalDirectionFn),
      K(POSE_LOCAL_DIRECTION_BY_REF, VortaLocalDirectionByRefFn,
        [](Plan& p) { p.Put(p.Arg(2), 0, int32_t((*p.rng)() % 7) - 1); }),
      K(POSE_ATTACHMENT_POINT, VortaAttachmentPointFn), K(POSE_PLANAR_SPREAD, VortaPlanarSpreadFn),
      K(POSE_PLANAR_BEND, VortaPlanarBendFn), K(POSE_CURL, VortaCurlFn),
      K(POSE_INTERPOLATION_STEP, VortaInterpolationStepFn), K(POSE_OPENNESS, VortaOpennessFn),
      K(POSE_AXIS_CONSTRAIN, VortaAxisConstrainFn, Floats<0, 3>),
      K(POSE_IN_FRAME, VortaPoseInFrameFn, Floats<2, 7>), K(POSE_RATIO_SCALE, VortaRatioScaleFn),
      K(POSE_PATH_REFRESH, VortaPathRefreshFn, PathRefresh),
      K(POSE_DIRECTIONAL_CONE, VortaDirectionalConeFn),
      K(POSE_DIRECTIONAL_CONE_FIRST_TABLE, VortaDirectionalConeFirstTableFn),
      K(POSE_COMPOSE, VortaComposePoseFn), K(POSE_HAND_JOINTS, VortaHandJointsFn, HandJoints),
      K(POSE_THROW_ASSIST, VortaThrowAssistFn, ThrowAssist),
      K(POSE_TWO_STAGE_SMOOTH, VortaTwoStageSmoothFn),
      K(TWEENS_TWEEN4_STEP, VortaTween4StepFn, Tween<kTween4>),
      K(TWEENS_TWEEN4_MODE_STEP, VortaTween4ModeStepFn, Tween<kTween4Moded>),
      K(TWEENS_TWEEN1_STEP, VortaTween1StepFn, Tween<kTween1>),
      K(TWEENS_POSITION_FOLLOW, VortaPositionFollowFn, Floats<0, 3, 1, 3, 4, 3>),
      K(TWEENS_ROTATION_FOLLOW_TWO_BASES, VortaRotationFollowTwoBasesFn,
        Floats<0, 4, 1, 4, 2, 4, 7, 4>),
      K(TWEENS_POSE_FOLLOW, VortaPoseFollowFn, Floats<0, 3, 1, 4, 2, 3, 3, 4, 7, 3, 8, 4>),
      K(TWEENS_SPEED_DRIVE, VortaSpeedDriveFn, Floats<0, 3, 1, 3, 3, 3, 4, 3, 15, 3>),
      K(TWEENS_LONGER_THAN, VortaLongerThanFn, Floats<0, 3>),
      // Any control value with every exception masked (the reserved upper half clear).
      K(TWEENS_SET_FLOAT_CONTROL, VortaSetFloatControlFn,
        [](Plan& p) { p.regs[0] = Garbage32(*p.rng, uint32_t((*p.rng)() & 0xffff) | 0x1f80); }),
      K(TWEENS_PROBE, VortaProbeFn), K(AIMING_TWEEN3_STEP, VortaTween3StepFn, Tween<kTween3>),
      K(AIMING_TWEEN2_STEP, VortaTween2StepFn, Tween<kTween2>),
      K(AIMING_STAGED_EASE, VortaStagedEaseFn),
      K(AIMING_EMITTER_CULL, VortaEmitterCullFn, EmitterCull),
      K(AIMING_AIM, VortaAimFn, Floats<0, 3, 1, 3, 2, 3, 3, 3, 4, 3, 7, 4>),
  };
  return kernels;
}

Plan MakePlan(const Kernel& k, Rng& rng, bool full) {
  Plan p{&rng, full, {}, {}};
  k.make(p);
  if (k.adjust) k.adjust(p);
  p.rng = nullptr;
  return p;
}

std::string Hex(uint64_t v) {
  char s[24];
  return std::string(s, size_t(snprintf(s, sizeof s, "0x%llx", (unsigned long long)v)));
}

bool SameWord(uint32_t a, uint32_t b) {
  return a == b || (std::isnan(std::bit_cast<float>(a)) && std::isnan(std::bit_cast<float>(b)));
}

// Empty when the two calls left the same state behind, else where they differ.
std::string Difference(const Kernel& k, const Plan& p, const Outcome& a, const Outcome& b) {
  const bool same = k.floatReturn ? SameWord(uint32_t(a.ret), uint32_t(b.ret)) : a.ret == b.ret;
  if (!k.ignoreReturn && !same) return "returns " + Hex(a.ret) + " and " + Hex(b.ret);
  if (a.control != b.control) return "leaves MXCSR " + Hex(a.control) + " and " + Hex(b.control);
  size_t w = 0;
  for (const Buf& buf : p.bufs) {
    if (!buf.writable) continue;
    const Bytes &x = a.written[w], &y = b.written[w];
    ++w;
    for (size_t i = 0; i < x.size(); i += 4) {  // every buffer holds whole words
      uint32_t u, v;
      memcpy(&u, &x[i], 4);
      memcpy(&v, &y[i], 4);
      if (buf.exact ? u != v : !SameWord(u, v))
        return buf.label + " byte " + std::to_string(i) + ": " + Hex(u) + " and " + Hex(v);
    }
  }
  return "";
}

class DirectGuard : public ::testing::TestWithParam<size_t> {};

TEST_P(DirectGuard, StaysInsideItsBuffersAndVariantsAgree) {
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  kcases::InstallFaultHandler();
  const Kernel& k = Kernels()[GetParam()];
  std::vector<Plan> plans;
  for (int round = 0; round < kRounds; ++round) {
    Rng rng(0xd1ec0000u + 64 * GetParam() + round);
    plans.push_back(MakePlan(k, rng, round % 2 == 1));
  }
  std::vector<Outcome> got[2][2];  // [variant][placed at the page start]
  for (int v = 0; v < 2; ++v) {
    vorta::host::InitializeLinked(v ? vorta::CpuVariant::Avx2 : vorta::CpuVariant::Sse2);
    void* fn = vorta::host::LinkedKernel(k.exportName);
    for (const Plan& p : plans)
      for (int s = 0; s < 2; ++s) got[v][s].push_back(k.run(fn, p, s == 1, k.name));
  }
  for (int round = 0; round < kRounds; ++round) {
    const Outcome& first = got[0][0][round];
    if (k.pointerReturn) EXPECT_NE(first.ret, ~0ull) << k.name << " points into no buffer";
    for (int v = 0; v < 2; ++v)
      for (int s = 0; s < 2; ++s) {
        const std::string d = Difference(k, plans[round], first, got[v][s][round]);
        EXPECT_TRUE(d.empty()) << k.name << " round " << round << (v ? ", AVX2" : ", SSE2")
                               << (s ? " at page starts" : " at page ends")
                               << " against SSE2 at page ends: " << d;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Direct, DirectGuard, ::testing::Range<size_t>(0, Kernels().size()),
                         [](const auto& info) { return std::string(Kernels()[info.param].name); });

TEST(DirectGuardTable, CoversEveryDirectMathsKernel) { EXPECT_EQ(Kernels().size(), 91u); }

// A path refresh starting before the first point writes nothing and returns
// its start (the walk would otherwise begin before the destination array).
TEST(DirectGuardRegression, PathRefreshFromBeforeTheFirstPoint) {
  Rng rng(9);
  const Kernel k =
      K(POSE_PATH_REFRESH, VortaPathRefreshFn, [](Plan& p) { PathRefreshWith(p, -2, 3, 5); });
  const Plan p = MakePlan(k, rng, false);
  for (vorta::CpuVariant v : {vorta::CpuVariant::Sse2, vorta::CpuVariant::Avx2}) {
    if (v == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) continue;
    vorta::host::InitializeLinked(v);
    kcases::InstallFaultHandler();  // the array starts at a guard page: an underrun faults
    const Outcome o = k.run(vorta::host::LinkedKernel(k.exportName), p, true, k.name);
    EXPECT_EQ(int32_t(o.ret), -2);
    EXPECT_TRUE(o.written[0] == p.bufs.back().bytes) << "the destination was written";
  }
}

// The guards themselves: an output one float short, and a tween record window
// that leaves out the mode the moded step reads, each fault naming the kernel.
TEST(DirectGuardSelfCheck, StrayAccessFaultsNamingTheKernel) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Rng rng(5);
  Kernel shortOut = K(GEOMETRY_MULTIPLY, VortaVec3BinaryFn, [](Plan& p) { p.Resize(p.Arg(2), 8); });
  Kernel narrow = K(TWEENS_TWEEN4_MODE_STEP, VortaTween4ModeStepFn, Tween<kTween4>);
  for (const Kernel* k : {&shortOut, &narrow}) {
    const Plan p = MakePlan(*k, rng, false);
    EXPECT_DEATH(
        {
          kcases::InstallFaultHandler();
          vorta::host::InitializeLinked(vorta::CpuVariant::Sse2);
          k->run(vorta::host::LinkedKernel(k->exportName), p, false, k->name);
        },
        std::string("memory fault outside a buffer in kernel ") + k->name);
  }
}

}  // namespace
