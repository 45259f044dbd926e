// The tween, follow, aiming and culling kernels through their exports, on both
// variants: float32 replays of the stated orders (bit for bit), float64 checks
// of the aiming rotation, emitter culling against a brute-force loop over
// random scenes and layer masks, the control-register setter, several threads.
#include <immintrin.h>
#include <sleef.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "tests/replay_table.h"
#include "tests/variant_test.h"
#include "vorta/vorta.h"

// The records are packed; the tests keep them on the stack, naturally aligned.
#pragma GCC diagnostic ignored "-Waddress-of-packed-member"

namespace {

using vorta_test::RandomFloat;
using vorta_test::Replay;
using vorta_test::SameFloat;

template <class Fn>
Fn K(const char* name) {
  return reinterpret_cast<Fn>(vorta::host::LinkedKernel(name));
}
std::mt19937& Rng() {
  thread_local std::mt19937 rng(11);
  return rng;
}
float R(bool specials = true) { return RandomFloat(Rng(), specials); }
bool SameN(const float* a, const float* b, int n) {
  for (int i = 0; i < n; ++i)
    if (!SameFloat(a[i], b[i])) return false;
  return true;
}
float Clamp01(float x) {
  x = x < 1 ? x : 1;
  return x > 0 ? x : 0;
}
float Ease(float t, float p) {
  float q = p / 0.011111111f;
  if (t >= 1) return 1;
  if (t <= 0) return 0;
  float u = t - t * t;
  return (Clamp01(q - 1) * u + Clamp01(q) * t) + Clamp01(q - 2) * (u * u);
}
// The curve inside [0, 1] (a tween's phase never leaves it).
float Sample(const VortaSampledCurve& c, float x) {
  if (c.sampleCount == 1) return c.samples[0];
  float b = float(c.sampleCount - 1) * x;
  int j = int(b), k = std::min(j + 1, c.sampleCount - 1);
  return c.samples[j] + (c.samples[k] - c.samples[j]) * (b - float(j));
}
float Sq(const float* d, int n) {  // each width's order
  if (n == 4) return (d[0] * d[0] + d[1] * d[1]) + (d[2] * d[2] + d[3] * d[3]);
  if (n == 3) return d[2] * d[2] + (d[1] * d[1] + d[0] * d[0]);
  if (n == 2) return d[1] * d[1] + d[0] * d[0];
  return d[0] * d[0];
}
void ReplayTween(int n, const float* from, const float* to, float x, const float* cur, float rate,
                 int mode, const float* base, float mf, float* out) {
  float d[4], t[4];
  for (int i = 0; i < n; ++i) d[i] = to[i] - from[i];
  for (int i = 0; i < n; ++i) t[i] = Sq(d, n) < 2.5000003e-7f ? to[i] : from[i] + d[i] * x;
  if (mode == 2) {
    for (int i = 0; i < n; ++i) d[i] = t[i] - base[i];
    if (!(Sq(d, n) < 2.5000003e-7f))
      for (int i = 0; i < n; ++i) t[i] = base[i] + d[i] * mf;
  } else if (mode == 1) {
    for (int i = 0; i < n; ++i) t[i] = t[i] * mf + base[i];
  }
  for (int i = 0; i < n; ++i) d[i] = t[i] - cur[i];
  for (int i = 0; i < n; ++i) out[i] = Sq(d, n) < 2.5000003e-7f ? t[i] : cur[i] + (t[i] - cur[i]) * rate;
}
float Dot4(const float* a, const float* b) { return (a[0] * b[0] + a[1] * b[1]) + (a[2] * b[2] + a[3] * b[3]); }
float AngleDeg(const float* a, const float* b) {
  float w = std::fabs(Dot4(a, b));
  w = w < 1 ? w : 1;
  return w > 0.999999f ? 0 : 2 * Sleef_acosf_u35(w) * 57.29578f;
}
void BlendRot(const float* from, const float* to0, float f, float* out) {
  float to[4] = {to0[0], to0[1], to0[2], to0[3]}, k = Dot4(from, to);
  if (k < 0) {
    for (float& c : to) c = -c;
    k = -k;
  }
  if (k >= 0.9995f) {
    float h[4];
    for (int i = 0; i < 4; ++i) h[i] = from[i] + (to[i] - from[i]) * f;
    float l = std::sqrt((h[0] * h[0] + h[1] * h[1]) + (h[2] * h[2] + h[3] * h[3]));
    for (int i = 0; i < 4; ++i) out[i] = h[i] / l;
  } else {
    float th = Sleef_acosf_u35(k), s = 1 / std::sqrt(1 - k * k);
    for (int i = 0; i < 4; ++i)
      out[i] = from[i] * (s * Sleef_sinf_u35((1 - f) * th)) + to[i] * (s * Sleef_sinf_u35(f * th));
  }
}
void FollowPos(const float* a, const float* b, float p, float s, float* out) {
  float d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  float f = Ease(std::sqrt((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2]) / s, p);
  for (int i = 0; i < 3; ++i) out[i] = s > 0 ? a[i] + d[i] * f : b[i];
}
float Sign(float x) { return x > 0 ? 1.0f : (x < 0 ? -1.0f : 0.0f); }
float Ratio(float x) { return std::min(x > 0 ? x : 0, 1.0f); }  // NaN becomes 0

class Tweens : public vorta_test::VariantTest {};

thread_local std::vector<float> g_samples(9);

VortaSampledCurve RandomCurve() {
  for (float& s : g_samples) s = R();
  return {g_samples.data(), int32_t(1 + Rng()() % 9), int32_t(Rng()()), int32_t(Rng()() % 6),
          int32_t(Rng()() % 6)};
}

// The float3 or float2 step on the leading components of a four-float record;
// the result's next component stays untouched.
template <class T, int N>
bool Narrow(const char* name, const VortaTween4Step& t4, float x) {
  T t;
  float res[4], want[4];
  memset(&t, 0x5a, sizeof t);
  memcpy(t.from, t4.from, 4 * N), memcpy(t.to, t4.to, 4 * N), memcpy(t.current, t4.current, 4 * N);
  t.phase = t4.phase, t.curve = t4.curve, t.rate = t4.rate, t.result = res;
  res[N] = 77;
  K<void(VORTA_CALL*)(const T*)>(name)(&t);
  ReplayTween(N, t.from, t.to, x, t.current, t.rate, 0, nullptr, 0, want);
  return SameN(res, want, N) && res[N] == 77;
}

const std::vector<Replay>& Replays() {
  static const std::vector<Replay> rows = {
      {"tween steps",
       [] {
         float out[4], want[4], res[4];
         VortaTween4Step t4;
         memset(&t4, 0xa5, sizeof t4);  // unread bytes hold garbage
         for (int i = 0; i < 4; ++i) t4.base[i] = R(), t4.from[i] = R(), t4.current[i] = R();
         for (int i = 0; i < 4; ++i) t4.to[i] = Rng()() % 4 ? R() : t4.from[i] + 1e-4f;
         t4.phase = uint8_t(Rng()()), t4.curve = RandomCurve(), t4.rate = R();
         t4.mode = uint8_t(Rng()() % 4), t4.modeFactor = R(), t4.result = out;
         float x = Sample(t4.curve, t4.phase / 255.0f);
         K<VortaTween4StepFn>(VORTA_EXPORT_TWEENS_TWEEN4_STEP)(&t4);
         ReplayTween(4, t4.from, t4.to, x, t4.current, t4.rate, 0, t4.base, 0, want);
         bool ok = SameN(out, want, 4);
         uint32_t m = K<VortaTween4ModeStepFn>(VORTA_EXPORT_TWEENS_TWEEN4_MODE_STEP)(&t4);
         ReplayTween(4, t4.from, t4.to, x, t4.current, t4.rate, t4.mode, t4.base, t4.modeFactor, want);
         ok = ok && m == t4.mode && SameN(out, want, 4);
         ok = ok && Narrow<VortaTween3Step, 3>(VORTA_EXPORT_AIMING_TWEEN3_STEP, t4, x) &&
              Narrow<VortaTween2Step, 2>(VORTA_EXPORT_AIMING_TWEEN2_STEP, t4, x);
         VortaTween1Step t1;
         memset(&t1, 0xc3, sizeof t1);
         t1.from = t4.from[0], t1.to = t4.to[0], t1.current = t4.current[0];
         t1.phase = t4.phase, t1.curve = t4.curve, t1.rate = t4.rate, t1.result = res;
         K<VortaTween1StepFn>(VORTA_EXPORT_TWEENS_TWEEN1_STEP)(&t1);
         ReplayTween(1, &t1.from, &t1.to, x, &t1.current, t1.rate, 0, nullptr, 0, want);
         return ok && SameFloat(res[0], want[0]);
       }},
      {"staged easing and position follow",
       [] {
         float t = R() * 2, p = R() * 0.04f, a[3] = {R(), R(), R()}, b[3] = {R(), R(), R()}, out[3], want[3];
         float snap = Rng()() % 8 ? std::fabs(R()) * 3 : R();
         bool ok = SameFloat(K<VortaStagedEaseFn>(VORTA_EXPORT_AIMING_STAGED_EASE)(t, p), Ease(t, p));
         K<VortaPositionFollowFn>(VORTA_EXPORT_TWEENS_POSITION_FOLLOW)(a, b, p, snap, out);
         FollowPos(a, b, p, snap, want);
         return ok && SameN(out, want, 3);
       }},
      {"rotation followers",
       [] {
         float qa[4], qt[4], qb[4], out[4], want[4], pos[3] = {R(), R(), R()}, tpos[3] = {R(), R(), R()}, op[3];
         for (int i = 0; i < 4; ++i) qa[i] = R(), qt[i] = Rng()() % 4 ? R() : qa[i], qb[i] = R();
         float rate = R(), la = R() * 90, lb = R() * 90, scale = R(), sm = R() * 0.04f, sd = R(), sa = R() * 90;
         K<VortaRotationFollowTwoBasesFn>(VORTA_EXPORT_TWEENS_ROTATION_FOLLOW_TWO_BASES)(qa, qt, qb, rate, la, lb, scale, out);
         if (!(la > 0)) {
           memcpy(want, qt, 16);
         } else {
           float tA = AngleDeg(qt, qa) / la, tB = AngleDeg(qt, qb) / lb, q = rate * scale;
           if (tA > tB) BlendRot(qb, qt, Ease(tB, q), want);
           else BlendRot(qa, qt, Ease(tA, q), want);
         }
         bool ok = SameN(out, want, 4);
         float* ret = K<VortaPoseFollowFn>(VORTA_EXPORT_TWEENS_POSE_FOLLOW)(pos, qa, tpos, qt, sm, sd, sa, op, out);
         FollowPos(pos, tpos, sm, sd, want);
         ok = ok && ret == op && SameN(op, want, 3);
         if (!(sa > 0)) memcpy(want, qt, 16);
         else BlendRot(qa, qt, Ease(AngleDeg(qa, qt) / sa, sm), want);
         return ok && SameN(out, want, 4);
       }},
      {"speed drive and longer-than",
       [] {
         float vel[3] = {R(), R(), R()}, dir[3] = {R(), R(), R()}, axis[3] = {R(), R(), R()},
               push[3] = {R(), R(), R()}, res[3], k[8];
         for (float& x : k) x = R();
         if (Rng()() % 4 == 0) axis[0] = axis[1] = axis[2] = 0;
         float carry = R(), speed = Rng()() % 4 ? std::fabs(R()) : 0.0f, dt = R(false), cap = R();
         float carry0 = carry, s = speed;
         bool ce = Rng()() & 1;
         typedef void(VORTA_CALL * Fn)(const float*, const float*, float, const float*, const float*,
                                       float, float, float, float, float, uint64_t, float, float*,
                                       float*, float, float*);
         K<Fn>(VORTA_EXPORT_TWEENS_SPEED_DRIVE)(vel, dir, cap, axis, push, k[0], k[1], k[2], k[3], k[4],
                                                (uint64_t(Rng()()) << 8) | (Rng()() & 0xfe) | ce, k[5],
                                                &carry, &speed, dt, res);
         float lo = k[0] * s, hi = k[1] * s;
         float L = std::sqrt((push[0] * push[0] + push[1] * push[1]) + push[2] * push[2]);
         float c = ((vel[0] * axis[0] + vel[1] * axis[1]) + vel[2] * axis[2]) /
                   ((axis[0] * axis[0] + axis[1] * axis[1]) + axis[2] * axis[2]);
         float P[3] = {c * axis[0], c * axis[1], c * axis[2]};
         float m = std::sqrt((P[0] * P[0] + P[1] * P[1]) + P[2] * P[2]), g = 0, v = 0;
         if (m > 0) g = Sign((P[0] / m * dir[0] + P[1] / m * dir[1]) + P[2] / m * dir[2]), v = m * g;
         float r = Ratio(std::fabs(L) / s * (g > 0 ? k[2] : k[3]));
         float mid = (hi - lo) * 0.5f + (lo + hi) * 0.5f;
         float B = (hi * r + (1 - r) * mid) * r + (mid * r + lo * (1 - r)) * (1 - r);
         float e = k[4] > 0 ? Ratio(std::fabs(v) / k[4]) : 1;
         float F = (B + 1) * v * e * dt, kk = 0;
         if (ce) {
           float p = carry0;
           if (Sign(p) == Sign(F) || std::fabs(std::fabs(p) - std::fabs(F)) <= 0.001f)
             kk = e >= 1 ? Sign(F) * (std::fabs(F) * 0.5f > std::fabs(p) ? std::fabs(F) * 0.5f : std::fabs(p)) : p;
           else
             kk = e >= 1 ? F * 0.5f : (e > 0.25f ? 0 : p);
           kk = std::fabs(kk) >= 0.001f ? (1 - k[5] * dt) * kk : 0;
         }
         float T = L + F + kk, want[3] = {T * dir[0], T * dir[1], T * dir[2]};
         if (T <= cap) T = s + ((T + cap) * 0.5f - s) * B * dt;
         float lim = R() * 2;
         int32_t longer = K<VortaLongerThanFn>(VORTA_EXPORT_TWEENS_LONGER_THAN)(vel, lim);
         return SameN(res, want, 3) && SameFloat(carry, kk) && SameFloat(speed, T) &&
                longer == (lim < vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2] ? 1 : 0);
       }},
  };
  return rows;
}

TEST_P(Tweens, ReplaysStatedOrder) { vorta_test::ExpectReplays(Replays(), 3000); }

TEST_P(Tweens, ReplaysOnSeveralThreads) {
  vorta_test::ExpectReplaysOnThreads(Replays(), 300, [](unsigned t) { Rng().seed(200 + t); });
}

// A random scene of emitters and the arrays of one cull call.
struct Scene {
  std::vector<uint8_t> poses, frames;
  std::vector<float> range, gains, spheres;
  std::vector<uint32_t> extra, columns, layers, ids;
  std::vector<int32_t> candidates;
  VortaEmitterCullArgs args;
  explicit Scene(int n) : poses(64 * n), frames(64 * n), range(2 * n), gains(n), spheres(4 * n),
                          extra(2 * n), columns(4 * n), layers(n), ids(n) {
    for (auto& b : poses) b = uint8_t(Rng()());
    for (auto& b : frames) b = uint8_t(Rng()());
    for (int i = 0; i < n; ++i) {
      range[2 * i] = Rng()() % 16 ? 40 * std::fabs(R(false)) : R();
      range[2 * i + 1] = R();
      gains[i] = R();
      for (int c = 0; c < 3; ++c) spheres[4 * i + c] = Rng()() % 64 ? 60 * R(false) : R();
      spheres[4 * i + 3] = Rng()() % 64 ? 5 * std::fabs(R(false)) : R();
      extra[2 * i] = Rng()(), extra[2 * i + 1] = Rng()(), ids[i] = Rng()();
      for (int c = 0; c < 4; ++c) columns[4 * i + c] = Rng()();
      layers[i] = Rng()();
    }
    for (int i = 0; i < n; ++i)
      if (Rng()() % 4) candidates.push_back(int32_t(Rng()() % n));
    memset(&args, 0xee, sizeof args);
    auto arr = [](VortaHostArray& a, void* p) { a.data = p; };
    arr(args.sourcePoses, poses.data()), arr(args.sourceFrames, frames.data());
    arr(args.rangeParams, range.data()), arr(args.extraPair, extra.data());
    arr(args.columnWords, columns.data()), arr(args.layers, layers.data());
    arr(args.gains, gains.data()), arr(args.spheres, spheres.data()), arr(args.ids, ids.data());
    arr(args.candidates, candidates.data());
    args.candidateCount = int32_t(candidates.size());
    for (int c = 0; c < 3; ++c) args.listener[c] = 30 * R(false);
  }
};

struct Culled {
  std::vector<uint8_t> poses, frames;
  std::vector<uint32_t> ids;
  std::vector<int32_t> batches;
  int32_t batchCount = -1;
};

// One emitter at a time, as the culling is stated.
Culled BruteForce(const Scene& s) {
  Culled c;
  const VortaEmitterCullArgs& a = s.args;
  int32_t first = 0, j = 0;
  for (int32_t k : s.candidates) {
    if (!((a.layerMask >> (s.layers[k] & 31)) & 1)) continue;
    float dx = a.listener[0] - s.spheres[4 * k], dy = a.listener[1] - s.spheres[4 * k + 1],
          dz = a.listener[2] - s.spheres[4 * k + 2];
    float dist = std::sqrt(dz * dz + (dy * dy + dx * dx)), mr = s.range[2 * k];
    float reach = (std::isnan(a.maxDistance) || mr < a.maxDistance ? mr : a.maxDistance) + s.spheres[4 * k + 3];
    if (dist > reach) continue;
    c.poses.insert(c.poses.end(), &s.poses[64 * k], &s.poses[64 * k] + 64);
    uint32_t w[16];
    memcpy(w, &s.frames[64 * k], 64);
    w[3] = s.columns[4 * k], w[7] = s.columns[4 * k + 1], w[11] = s.columns[4 * k + 2];
    float g = (reach - dist) / ((1 - s.range[2 * k + 1]) * reach);
    g = g < 1 ? g : 1;
    g = (g > 0 ? g : 0) * s.gains[k];
    memcpy(&w[12], &g, 4);
    w[13] = s.extra[2 * k], w[14] = s.extra[2 * k + 1], w[15] = s.columns[4 * k + 3];
    c.frames.insert(c.frames.end(), reinterpret_cast<uint8_t*>(w), reinterpret_cast<uint8_t*>(w) + 64);
    c.ids.push_back(s.ids[k]);
    if (++j - first > 249) c.batches.push_back(first), c.batches.push_back(j), first = j;
  }
  if (first != j) c.batches.push_back(first), c.batches.push_back(j);
  c.batchCount = int32_t(c.batches.size() / 2);
  return c;
}

Culled Cull(Scene& s) {
  const size_t n = s.candidates.size() + 1;
  Culled c;
  c.poses.assign(64 * n, 0xcd), c.frames.assign(64 * n, 0xcd), c.ids.assign(n, 0xcdcdcdcd);
  c.batches.assign(2 * n + 2, -7);
  s.args.outPoses.data = c.poses.data(), s.args.outFrames.data = c.frames.data();
  s.args.outIds.data = c.ids.data(), s.args.outBatches.data = c.batches.data();
  s.args.outBatchCount = &c.batchCount;
  K<VortaEmitterCullFn>(VORTA_EXPORT_AIMING_EMITTER_CULL)(&s.args);
  // Only the accepted records were written.
  const size_t accepted = c.batchCount > 0 ? size_t(c.batches[2 * c.batchCount - 1]) : 0;
  for (size_t i = 64 * accepted; i < c.poses.size(); ++i)
    if (c.poses[i] != 0xcd || c.frames[i] != 0xcd) ADD_FAILURE() << "wrote past the accepted records";
  c.poses.resize(64 * accepted), c.frames.resize(64 * accepted), c.ids.resize(accepted);
  c.batches.resize(2 * size_t(std::max(c.batchCount, 0)));
  return c;
}

TEST_P(Tweens, EmitterCullingMatchesBruteForce) {
  std::vector<uint32_t> masks = {0, ~0u};
  for (int b = 0; b < 32; ++b) masks.push_back(1u << b), masks.push_back(~(1u << b));
  for (int trial = 0; trial < 60; ++trial) {
    const int n = trial == 0 ? 0 : (trial % 10 == 0 ? 10000 : int(1 + Rng()() % 700));
    Scene s(std::max(n, 1));
    if (n == 0) s.candidates.clear(), s.args.candidateCount = 0;
    s.args.maxDistance = trial % 7 == 0 ? NAN : 50 * std::fabs(R(false));
    for (size_t m = 0; m < masks.size(); m += (n > 1000 ? 9 : 1)) {
      s.args.layerMask = masks[m] ^ (trial & 1 ? uint32_t(Rng()()) : 0);
      Culled want = BruteForce(s), got = Cull(s);
      ASSERT_EQ(got.batchCount, want.batchCount) << "trial " << trial;
      ASSERT_EQ(got.batches, want.batches);
      ASSERT_EQ(got.ids, want.ids);
      ASSERT_TRUE(got.poses == want.poses && got.frames == want.frames) << "trial " << trial;
    }
  }
}

TEST_P(Tweens, EmitterCullingOnSeveralThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      Rng().seed(300 + t);
      for (int i = 0; i < 20; ++i) {
        Scene s(int(1 + Rng()() % 2000));
        s.args.layerMask = Rng()(), s.args.maxDistance = 50 * std::fabs(R(false));
        Culled want = BruteForce(s), got = Cull(s);
        bad += !(got.batches == want.batches && got.ids == want.ids && got.frames == want.frames &&
                 got.poses == want.poses);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST_P(Tweens, EmitterBatchesAndReachEdge) {
  for (int accepted : {250, 251, 500}) {
    Scene s(accepted);
    s.candidates.resize(accepted);
    for (int i = 0; i < accepted; ++i) {
      s.candidates[i] = i, s.range[2 * i] = 1;
      for (int c = 0; c < 3; ++c) s.spheres[4 * i + c] = 0;
      s.spheres[4 * i + 3] = 1e30f;
    }
    s.args.candidateCount = accepted, s.args.layerMask = ~0u, s.args.maxDistance = 1;
    Culled c = Cull(s);
    std::vector<int32_t> want;
    for (int f = 0; f < accepted; f += 250) want.push_back(f), want.push_back(std::min(f + 250, accepted));
    EXPECT_EQ(c.batches, want);
  }
  // At exactly its reach an emitter is accepted with gain 0.
  Scene s(1);
  s.candidates = {0}, s.args.candidateCount = 1, s.args.layerMask = ~0u, s.args.maxDistance = 100;
  s.layers[0] = 3, s.range[0] = 3, s.range[1] = 0.5f, s.gains[0] = 2;
  const float sphere[4] = {4, 0, 0, 1}, listener[3] = {0, 0, 0};
  memcpy(&s.spheres[0], sphere, 16);
  memcpy(s.args.listener, listener, 12);
  Culled c = Cull(s);
  ASSERT_EQ(c.batchCount, 1);
  float gain;
  memcpy(&gain, &c.frames[48], 4);
  EXPECT_EQ(gain, 0.0f);
}

TEST_P(Tweens, AimRotationAndScale) {
  auto aim = K<VortaAimFn>(VORTA_EXPORT_AIMING_AIM);
  for (int i = 0; i < 3000; ++i) {
    float an[3] = {R(), R(), R()}, eye[3] = {R(false), R(false), R(false)}, dir[3] = {R(), R(), R()},
          up[3] = {R(), R(), R()}, tg[3] = {R(), R(), R()}, q[4], factor, zoom;
    if (i % 5 == 0) memcpy(up, dir, 12);  // up along the aim direction
    float ds = R() * 4, zs = R();
    aim(an, eye, dir, up, tg, ds, zs, q, &factor, &zoom);
    double f[3], u[3];
    const float tf[3] = {tg[0] - an[0], tg[1] - an[1], tg[2] - an[2]};
    const float dist = std::sqrt(tf[2] * tf[2] + (tf[1] * tf[1] + tf[0] * tf[0]));
    for (int c = 0; c < 3; ++c) f[c] = double(dir[c]) * dist + an[c] - eye[c], u[c] = up[c];
    double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]), ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    double cr[3] = {u[1] * f[2] - u[2] * f[1], u[2] * f[0] - u[0] * f[2], u[0] * f[1] - u[1] * f[0]};
    double sine = std::sqrt(cr[0] * cr[0] + cr[1] * cr[1] + cr[2] * cr[2]) / (fl * ul);
    const float prod = dist * ds, r = prod > 1 ? prod : 1, k = 1 + Sleef_logf_u35(r);
    float wantZoom = std::max(std::min(k, 3.0f), 1.0f) * zs;
    ASSERT_TRUE(SameFloat(factor, k) && SameFloat(zoom, wantZoom)) << i;
    if (!(fl > 1e-17 && ul > 1e-17 && fl < 1e17 && ul < 1e17 && sine > 1e-5)) {
      if (i % 5 == 0 || sine < 1e-7) {
        ASSERT_TRUE(q[0] == 0 && q[1] == 0 && q[2] == 0 && q[3] == 1) << i;
      }
      continue;
    }
    // The rotation takes +z to the forward direction and +y into the plane of up.
    double x = q[0], y = q[1], z = q[2], w = q[3];
    double fz[3] = {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)};
    double fy[3] = {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)};
    double along = 0, upDot = 0;
    for (int c = 0; c < 3; ++c) along += fz[c] * f[c] / fl, upDot += fy[c] * u[c] / ul;
    ASSERT_NEAR(along, 1, 1e-5) << i;
    ASSERT_NEAR(upDot, sine, 1e-4) << i;
  }
}

TEST_P(Tweens, SmallUtilitiesAndEdgeCases) {
  EXPECT_EQ(K<VortaProbeFn>(VORTA_EXPORT_TWEENS_PROBE)(), 1);
  float v[3] = {1, 2, 2};
  EXPECT_EQ(K<VortaLongerThanFn>(VORTA_EXPORT_TWEENS_LONGER_THAN)(v, 9), 0);
  EXPECT_EQ(K<VortaLongerThanFn>(VORTA_EXPORT_TWEENS_LONGER_THAN)(v, 8.999f), 1);
  // The control register takes exactly the 16 architectural bits asked for, on
  // this thread only; the reserved upper half (which would fault) is ignored.
  const uint32_t saved = _mm_getcsr();
  auto set = K<VortaSetFloatControlFn>(VORTA_EXPORT_TWEENS_SET_FLOAT_CONTROL);
  for (uint32_t want : {0x1f80u, 0x7f80u | 0x8040u, 0x3f80u, 0x1f80u | 0x3fu}) {
    std::atomic<int> phase{0};
    uint32_t before = 0, after = 1;
    std::thread other([&] {
      before = _mm_getcsr();
      phase = 1;
      while (phase != 2) std::this_thread::yield();
      after = _mm_getcsr();
    });
    while (phase != 1) std::this_thread::yield();
    set(want | 0xabcd0000u);
    const uint32_t got = _mm_getcsr();
    phase = 2;
    other.join();
    _mm_setcsr(saved);
    EXPECT_EQ(got, want);
    EXPECT_EQ(after, before);
  }
  // Aiming along up (exactly, or within rounding of a normalised copy), or
  // from the aim point itself, gives the identity; a target at the anchor gives factor 1.
  struct AimRow {
    float anchor[3], eye[3], dir[3], up[3], target[3];
  } aims[] = {{{0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 0, 0}},
              {{1, 2, 3}, {1, 2, 3}, {0.3f, 0.4f, 0.5f}, {0.6f, 0.8f, 1.0f}, {4, 6, 3}},
              {{0, 0, 0}, {0, 0, 0}, {1, 2, 3}, {0.26726124f, 0.5345225f, 0.8017837f}, {0, 1, 0}},
              {{0, 0, 0}, {1.7320508f, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}}};
  for (const AimRow& r : aims) {
    float q[4], factor, zoom;
    K<VortaAimFn>(VORTA_EXPORT_AIMING_AIM)(r.anchor, r.eye, r.dir, r.up, r.target, 1, 2, q, &factor, &zoom);
    EXPECT_TRUE(q[0] == 0 && q[1] == 0 && q[2] == 0 && q[3] == 1) << q[0] << " " << q[1] << " " << q[2];
    if (r.target[0] == 0 && r.target[1] == 0 && r.target[2] == 0) EXPECT_TRUE(factor == 1 && zoom == 2);
  }
  // Follow: snap distance 0 returns the target; smoothing 0 below the snap distance keeps current.
  float a[3] = {1, 1, 1}, b[3] = {1.5f, 1, 1}, out[3];
  auto follow = K<VortaPositionFollowFn>(VORTA_EXPORT_TWEENS_POSITION_FOLLOW);
  follow(a, b, 0.01f, 0, out);
  EXPECT_TRUE(SameN(out, b, 3));
  follow(a, b, 0, 1, out);
  EXPECT_TRUE(SameN(out, a, 3));
  follow(a, b, 0.02f, 0.5f, out);
  EXPECT_TRUE(SameN(out, b, 3));
  // Speed drive with no motion along the axis and a zero speed stays finite.
  float vel[3] = {1, 0, 0}, dir[3] = {0, 1, 0}, axis[3] = {0, 1, 0}, push[3] = {0, 0, 0}, res[3];
  float carry = 0.5f, speed = 0;
  K<VortaSpeedDriveFn>(VORTA_EXPORT_TWEENS_SPEED_DRIVE)(vel, dir, 10, axis, push, 1, 2, 1, 1, 1, 1,
                                                        0.1f, &carry, &speed, 0.016f, res);
  EXPECT_TRUE(std::isfinite(carry) && std::isfinite(speed) && std::isfinite(res[0]) &&
              std::isfinite(res[1]) && std::isfinite(res[2]));
}

VORTA_INSTANTIATE_VARIANTS(Variants, Tweens);

}  // namespace
