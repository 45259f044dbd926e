// The pose, motion and tracking kernels through their exports, on both
// variants: each against an independent float32 replay of its stated order
// (bit for bit; neither variant fuses multiply-adds), float64 sanity bounds,
// NaN and signed-zero inputs, garbage above the bits a flag or int32 argument
// uses, the defined results for degenerate inputs, and several threads.
#include <sleef.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/replay_table.h"
#include "tests/variant_test.h"
#include "vorta/vorta.h"

// The records are packed; the tests keep them on the stack, naturally aligned.
#pragma GCC diagnostic ignored "-Waddress-of-packed-member"

namespace {

using vorta_test::RandomFloat;
using vorta_test::Replay;
using vorta_test::SameFloat;
typedef VortaVec3 V;
typedef VortaQuat Q;

template <class Fn>
Fn K(const char* name) {
  return reinterpret_cast<Fn>(vorta::host::LinkedKernel(name));
}

// ---- the replay: float32, in the stated orders ----------------------------
V Add(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V Sub(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V Sc(float s, V v) { return {s * v.x, s * v.y, s * v.z}; }
float Dot(V a, V b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }
float Len(V v) { return std::sqrt(Dot(v, v)); }
V Unit(V v) { return Len(v) == 0 ? V{0, 0, 0} : Sc(1 / Len(v), v); }
V Cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V Rot(Q q, V v) {
  V r{q.x, q.y, q.z}, c = Cross(r, v), t = Add(c, c);
  return Add(Cross(r, t), Add(Sc(q.w, t), v));
}
Q Inv(Q q) {
  float s = 1 / ((q.x * q.x + q.y * q.y) + (q.z * q.z + q.w * q.w));
  return {-q.x * s, -q.y * s, -q.z * s, q.w * s};
}
Q Ham(Q a, Q b) {
  return {((a.w * b.x + a.x * b.w) + a.y * b.z) - a.z * b.y,
          ((a.w * b.y + a.y * b.w) + a.z * b.x) - a.x * b.z,
          ((a.w * b.z + a.z * b.w) + a.x * b.y) - a.y * b.x,
          ((a.w * b.w - a.x * b.x) - a.y * b.y) - a.z * b.z};
}
float Deg(float c) { return Sleef_acosf_u35(c) * 57.29578f; }
// At most 1 (a NaN becomes 1), then at least 0.
float Clamp01(float x) {
  x = x < 1 ? x : 1;
  return x > 0 ? x : 0;
}

std::mt19937& Rng() {
  thread_local std::mt19937 rng(7);
  return rng;
}
float R(bool specials = true) { return RandomFloat(Rng(), specials); }
V RV(bool s = true) { return {R(s), R(s), R(s)}; }
Q RQ(bool s = true) {
  Q q{R(s), R(s), R(s), R(s)};
  if (!s) {
    float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (n > 0.1f) q = {q.x / n, q.y / n, q.z / n, q.w / n};
  }
  return q;
}
bool Same(V a, V b) { return SameFloat(a.x, b.x) && SameFloat(a.y, b.y) && SameFloat(a.z, b.z); }
bool Same(Q a, Q b) {
  return SameFloat(a.x, b.x) && SameFloat(a.y, b.y) && SameFloat(a.z, b.z) && SameFloat(a.w, b.w);
}
// Garbage above the low 32 bits (int32) or the low byte / bit (flags).
uint64_t G32(int32_t v) { return (uint64_t(Rng()()) << 32) | uint32_t(v); }
uint64_t GFlag(bool v, bool lowBit) {
  uint64_t g = uint64_t(Rng()()) << 8 | (lowBit ? (Rng()() & 0xfe) : 0);
  return g | (v ? 1 : 0);
}
float CosD(float a) { return Sleef_cosf_u35(a * 0.017453292f); }
bool Cone(int32_t mode, float angle, float h) {
  if (mode == 0) return h > CosD(angle);
  if (mode == 1) {
    float a = 90 - angle;
    a = a < 90 ? a : 90;
    a = a > 0 ? a : 0;
    return std::max(CosD(a), 0.0f) >= std::fabs(h);
  }
  return mode == 2 && h < -CosD(angle);
}

class Pose : public vorta_test::VariantTest {};

// ---- random replays, one row per kernel ----------------------------------
const std::vector<Replay>& Replays() {
  static const std::vector<Replay> rows = {
      {"flight time",
       [] {
         float s = R(), g = R(), f = R(), h = R(), e = R(), out;
         K<VortaFlightTimeFn>(VORTA_EXPORT_POSE_FLIGHT_TIME)(s, g, f, h, e, &out);
         float t = 0;
         if (!(h < 0)) {
           float v = s * f;
           t = (std::fabs(h) < 0x1p-20f ? 2 * v : std::sqrt((g + g) * h + v * v) + v) / g;
         }
         t += e;
         return SameFloat(out, t > 0 ? t : 0);
       }},
      {"boom step",
       [] {
         float f = R(), d = R(), l = R(), sum, step;
         V dir = RV(), out;
         float z = K<VortaBoomStepFn>(VORTA_EXPORT_POSE_BOOM_STEP)(f, d, l, &dir, &out, &sum, &step);
         float s = (!std::isnan(d) && !(l < d)) ? d : l;
         s = s > 0.125f ? s : 0.125f;
         float su = (s + d) * f;
         return SameFloat(step, s) && SameFloat(sum, su) && Same(out, Sc(d - su, dir)) &&
                SameFloat(z, out.z);
       }},
      {"boom reach step",
       [] {
         float f = R(), d = R(), b = R(), l = R(), sum, step;
         V dir = RV(), out;
         K<VortaBoomReachStepFn>(VORTA_EXPORT_POSE_BOOM_REACH_STEP)(f, d, b, l, &dir, &out, &sum,
                                                                   &step);
         float e = (std::isnan(d) || l < d) ? l : d, s = e > 0.125f ? e : 0.125f;
         if (l < s + d) {
           float x = l - d;
           if (s < x || std::isnan(x)) x = s;
           s = x > 0.125f ? x : 0.125f;
         }
         return SameFloat(step, s) && SameFloat(sum, (b + s) * f) &&
                Same(out, Sc(d - (b + s) * f, dir));
       }},
      {"advance and clamp",
       [] {
         V v = RV(), r = RV(), lo = RV(), hi = RV(), out;
         bool bounded = Rng()() & 1;
         float d1 = R(), d2 = R(), d3 = R();
         typedef V*(VORTA_CALL * Fn)(const V*, const V*, uint64_t, const V*, const V*, float,
                                     float, float, V*);
         K<Fn>(VORTA_EXPORT_POSE_ADVANCE_CLAMP)(&v, &r, GFlag(bounded, false), &lo, &hi, d1, d2,
                                                d3, &out);
         float h = d1 * d2 * d3;
         V n = Add(v, Sc(h, r)), want;
         auto above = [](V a, V b) {
           return std::fabs(a.x) > std::fabs(b.x) || std::fabs(a.y) > std::fabs(b.y) ||
                  std::fabs(a.z) > std::fabs(b.z);
         };
         if (!bounded) want = {n.x > 0 ? n.x : 0, n.y > 0 ? n.y : 0, n.z > 0 ? n.z : 0};
         else if (h > 0 && above(n, hi)) want = hi;
         else if (h < 0 && above(lo, n)) want = lo;
         else want = h == 0 ? v : n;
         return Same(out, want);
       }},
      {"cone test",
       [] {
         V a = RV(), b = RV();
         int32_t mode = int32_t(Rng()() % 4);
         float angle = R() * 180;
         bool flat = Rng()() & 1;
         typedef bool(VORTA_CALL * Fn)(uint64_t, float, uint64_t, const V*, const V*);
         bool got = K<Fn>(VORTA_EXPORT_POSE_CONE_TEST)(G32(mode), angle, GFlag(flat, false), &a, &b);
         if (flat) a.y = b.y = 0;
         return got == Cone(mode, angle, Dot(Unit(a), Unit(b)));
       }},
      {"trim to budget",
       [] {
         V p = RV(), s = RV(), e = RV(), e0 = e;
         float budget = R() * 2, total = std::fabs(R()), t0 = total;
         bool clamp = Rng()() & 1;
         bool got = K<VortaTrimToBudgetFn>(VORTA_EXPORT_POSE_TRIM_TO_BUDGET)(budget, clamp, &p, &s,
                                                                           &e, &total);
         V d = Sub(e0, s);
         float g = Len(d), l = g;
         if (clamp && Len(Sub(p, s)) < g) {
           l = Len(Sub(p, s));
           e0 = Add(s, Sc(l, Sc(1 / g, d)));
         }
         t0 += l;
         bool want = !(budget >= t0);
         if (want) e0 = l == 0 ? s : Add(Sc(1 - (t0 - budget) / l, Sub(e0, s)), s);
         return got == want && SameFloat(total, t0) && Same(e, e0);
       }},
      {"local directions and directional cones",
       [] {
         VortaFrame fr{RQ(), RV()}, tg{RQ(), RV()};
         V off = RV(), out1, out2;
         int32_t m1 = int32_t(Rng()() % 6), m2 = int32_t(Rng()() % 5);
         float s = R();
         typedef void(VORTA_CALL * Fn)(V*, const V*, uint64_t, const VortaFrame*,
                                       const VortaFrame*, float);
         K<Fn>(VORTA_EXPORT_POSE_LOCAL_DIRECTION)(&out1, &off, G32(m1), &fr, &tg, s);
         K<VortaLocalDirectionByRefFn>(VORTA_EXPORT_POSE_LOCAL_DIRECTION_BY_REF)(&out2, &off, &m2,
                                                                                &fr, &tg);
         V toTarget = Sub(tg.position, Add(fr.position, Rot(fr.rotation, off)));
         V first[6] = {Rot(fr.rotation, {0, 1, 0}), toTarget, Rot(tg.rotation, {0, 0, 1}),
                       Rot(tg.rotation, {0, -1, 0}), Rot(tg.rotation, {-s, 0, 0}), {0, 1, 0}};
         V second[5] = {toTarget, Rot(tg.rotation, {0, 0, 1}), Rot(tg.rotation, {0, 1, 0}),
                        Rot(tg.rotation, {1, 0, 0}), {0, 1, 0}};
         Q inv = Inv(fr.rotation);
         // The directional cones on the same frames.
         Q ar = RQ();
         int32_t axisMode = int32_t(Rng()() % 4), test = int32_t(Rng()() % 4);
         float angle = R() * 180;
         bool flat = Rng()() & 1;
         typedef bool(VORTA_CALL * Cone1)(uint64_t, uint64_t, uint64_t, float, uint64_t, const V*,
                                          const Q*, const VortaFrame*, const VortaFrame*, float);
         typedef bool(VORTA_CALL * Cone2)(uint64_t, uint64_t, uint64_t, float, const V*, const Q*,
                                          const VortaFrame*, const VortaFrame*, uint64_t, float);
         bool c2 = K<Cone1>(VORTA_EXPORT_POSE_DIRECTIONAL_CONE)(
             G32(axisMode), G32(test), G32(m2), angle, GFlag(flat, true), &off, &ar, &fr, &tg, s);
         bool c1 = K<Cone2>(VORTA_EXPORT_POSE_DIRECTIONAL_CONE_FIRST_TABLE)(
             G32(axisMode), G32(test), G32(m1), angle, &off, &ar, &fr, &tg, GFlag(flat, true), s);
         V axes[4] = {Rot(ar, {0, -1, 0}), Rot(ar, {s, 0, 0}), Rot(ar, {0, 0, 1}), {0, 0, 1}};
         auto unitZyx = [](V v) {
           float l = std::sqrt(v.z * v.z + (v.y * v.y + v.x * v.x));
           return l == 0 ? V{0, 0, 0} : Sc(1 / l, v);
         };
         auto cone = [&](V p) {
           V j = axes[axisMode];
           if (flat) j.y = p.y = 0;
           return Cone(test, angle, Dot(unitZyx(j), unitZyx(p)));
         };
         return Same(out1, Rot(inv, first[m1])) && Same(out2, Rot(inv, second[m2])) &&
                c1 == cone(Rot(inv, first[m1])) && c2 == cone(Rot(inv, second[m2]));
       }},
      {"attachment point and pose composition",
       [] {
         V o = RV(), sc = RV(), v = RV(), b = RV(), p = RV(), out, op;
         Q r1 = RQ(), r2 = RQ(), qa = RQ(), qb = RQ(), oq;
         bool flag = Rng()() & 1;
         typedef V*(VORTA_CALL * Fn)(const V*, const Q*, const Q*, const V*, uint64_t, const V*,
                                     const V*, const V*, V*);
         K<Fn>(VORTA_EXPORT_POSE_ATTACHMENT_POINT)(&o, &r1, &r2, &sc, GFlag(flag, false), &v, &b,
                                                   &p, &out);
         V sv{sc.x * v.x, sc.y * v.y, sc.z * v.z}, sb{sc.x * b.x, sc.y * b.y, sc.z * b.z};
         V want = Add(Sub(Rot(r1, p), Rot(r2, sb)), Add(o, flag ? Rot(r1, sv) : sv));
         Q* ret = K<VortaComposePoseFn>(VORTA_EXPORT_POSE_COMPOSE)(&o, &r1, &v, &qa, &qb, &op, &oq);
         return Same(out, want) && ret == &oq && Same(op, Add(o, Rot(r1, v))) &&
                Same(oq, Ham(r1, Inv(Ham(Inv(qa), qb))));
       }},
      {"pose in frame",
       [] {
         VortaPose a{RV(), RQ()}, b{RV(), RQ()};
         float out[7];
         K<VortaPoseInFrameFn>(VORTA_EXPORT_POSE_IN_FRAME)(&a, &b, out);
         Q i = Inv(a.rotation);  // the reference host's inverse is this formula
         V d = Sub(b.position, a.position);
         V m[3] = {{1 - 2 * (i.y * i.y + i.z * i.z), 2 * (i.x * i.y - i.w * i.z), 2 * (i.x * i.z + i.w * i.y)},
                   {2 * (i.x * i.y + i.w * i.z), 1 - 2 * (i.x * i.x + i.z * i.z), 2 * (i.y * i.z - i.w * i.x)},
                   {2 * (i.x * i.z - i.w * i.y), 2 * (i.y * i.z + i.w * i.x), 1 - 2 * (i.x * i.x + i.y * i.y)}};
         Q q = Ham(i, b.rotation);
         return Same(V{out[0], out[1], out[2]}, V{Dot(m[0], d), Dot(m[1], d), Dot(m[2], d)}) &&
                Same(Q{out[3], out[4], out[5], out[6]}, q);
       }},
      {"axis-constrained point",
       [] {
         V pt = RV(), out;
         VortaPose fr{RV(), RQ()};
         int32_t mode = int32_t(Rng()() % 4);
         bool k[3] = {bool(Rng()() & 1), bool(Rng()() & 1), bool(Rng()() & 1)};
         typedef V*(VORTA_CALL * Fn)(const float*, const VortaPose*, uint64_t, uint64_t, uint64_t,
                                     uint64_t, V*);
         K<Fn>(VORTA_EXPORT_POSE_AXIS_CONSTRAIN)(&pt.x, &fr, G32(mode), GFlag(k[0], true),
                                                 GFlag(k[1], true), GFlag(k[2], true), &out);
         V r = Sub(pt, fr.position), P{0, 0, 0};
         V ax[3] = {Rot(fr.rotation, {1, 0, 0}), Rot(fr.rotation, {0, 1, 0}), Rot(fr.rotation, {0, 0, 1})};
         for (int i = 0; i < 3; ++i)
           P = Add(P, k[i] ? Sc(Dot(r, ax[i]) / Dot(ax[i], ax[i]), ax[i]) : V{0, 0, 0});
         V d{0, 0, 0};
         if (mode == 0) d = P;
         if (mode == 1) d = (k[0] && k[2]) ? V{r.x, 0, r.z} : V{P.x, k[1] ? r.y : 0, P.z};
         if (mode == 2) d = {k[0] ? r.x : 0, k[1] ? r.y : 0, k[2] ? r.z : 0};
         return Same(out, Add(fr.position, d));
       }},
      {"ratio-driven scaling",
       [] {
         V v = RV(), c = RV(), a = RV(), b = RV(), lo = RV(), hi = RV(), out;
         bool clamp = Rng()() & 1;
         float gain = R(), dead = R() * 0.1f;
         typedef void(VORTA_CALL * Fn)(const V*, const V*, const V*, const V*, uint64_t, float,
                                       float, const V*, const V*, V*);
         K<Fn>(VORTA_EXPORT_POSE_RATIO_SCALE)(&v, &c, &a, &b, GFlag(clamp, true), gain, dead, &lo,
                                              &hi, &out);
         float rho = Len(b) / Len(a);
         V want = c;
         auto above = [](V x, V y) {
           return std::fabs(x.x) > std::fabs(y.x) || std::fabs(x.y) > std::fabs(y.y) ||
                  std::fabs(x.z) > std::fabs(y.z);
         };
         if (rho > 1) {
           float e = (rho - 1) * gain - dead;
           if (!(e < 0)) want = clamp && above(Sc(e + 1, v), hi) ? hi : Sc(e + 1, v);
         } else if (rho < 1) {
           float e = (1 / rho - 1) * gain - dead;
           V n = Sc(1 / (e + 1), v);
           if (!(e < 0)) want = clamp && above(lo, n) ? lo : n;
         }
         return Same(out, want);
       }},
      {"interpolation step",
       [] {
         VortaPose a{RV(), RQ(false)}, b{RV(), RQ(false)}, a0 = a;
         V s = RV(), t = RV(), s0 = s;
         float dt = R(), dur = R(false), el = R(false), el0 = el;
         K<VortaInterpolationStepFn>(VORTA_EXPORT_POSE_INTERPOLATION_STEP)(&a, &s, &b, &t, dt, dur, &el);
         float f = el0 / dur;
         Q A = a0.rotation, B = b.rotation, q;
         float d = (A.z * B.z + A.w * B.w) + (A.x * B.x + A.y * B.y);
         if (d < 0) B = {-B.x, -B.y, -B.z, -B.w}, d = -d;
         if (d < 0.9995f) {
           float th = Sleef_acosf_u35(d), k = 1 / std::sqrt(1 - d * d);
           float wb = Sleef_sinf_u35(f * th) * k, wa = Sleef_sinf_u35((1 - f) * th) * k;
           q = {B.x * wb + A.x * wa, B.y * wb + A.y * wa, B.z * wb + A.z * wa, B.w * wb + A.w * wa};
         } else {
           Q h{(B.x - A.x) * f + A.x, (B.y - A.y) * f + A.y, (B.z - A.z) * f + A.z, (B.w - A.w) * f + A.w};
           float n = 1 / std::sqrt((h.x * h.x + h.y * h.y) + (h.z * h.z + h.w * h.w));
           q = {h.x * n, h.y * n, h.z * n, h.w * n};
         }
         return Same(a.position, Add(Sc(f, Sub(b.position, a0.position)), a0.position)) &&
                Same(a.rotation, q) && Same(s, Add(Sc(f, Sub(t, s0)), s0)) && SameFloat(el, el0 + dt);
       }},
      {"planar spread and bend",
       [] {
         V rp = RV(), p[4] = {RV(), RV(), RV(), RV()};
         Q rq = RQ();
         float lo = R(), hi = R();
         int32_t side = int32_t(Rng()() % 3);
         float spread = K<VortaPlanarSpreadFn>(VORTA_EXPORT_POSE_PLANAR_SPREAD)(
             side, nullptr, &rp, &rq, &p[0], &p[1], &p[2], &p[3], lo, hi);
         float bend = K<VortaPlanarBendFn>(VORTA_EXPORT_POSE_PLANAR_BEND)(&rp, &rq, &p[0], &p[1],
                                                                        &p[2], &p[3], lo, hi);
         Q inv = Inv(rq);
         auto L = [&](V x) { return Rot(inv, Sub(x, rp)); };
         V k = Sub(L(p[1]), L(p[0])), e = Sub(L(p[3]), L(p[2]));
         auto measure = [&](float ka, float kz, float ea, float ez) {
           V a{ka, 0, std::fabs(kz)}, b{ea, 0, std::fabs(ez)};
           float c = Dot(a, b) / (Len(b) * Len(a));
           c = c < 1 ? c : 1;
           c = c > -1 ? c : -1;
           return Clamp01((Deg(c) - lo) / (hi - lo));
         };
         float ws = (side == 1 ? e.x > k.x : e.x < k.x) ? 0 : measure(k.x, k.z, e.x, e.z);
         float wb = k.y > e.y ? 0 : measure(k.y, k.z, e.y, e.z);
         return SameFloat(spread, ws) && SameFloat(bend, wb);
       }},
      {"curl and openness",
       [] {
         V p[5] = {RV(), RV(), RV(), RV(), RV()};
         Q f[3] = {RQ(), RQ(), RQ()};
         float b[6] = {R(), R(), R(), R(), R(), R()};
         int32_t three = int32_t(Rng()() % 2);
         float curl = K<VortaCurlFn>(VORTA_EXPORT_POSE_CURL)(three, &p[0], &p[1], &f[0], &p[2], &f[1],
                                                           &p[3], &f[2], &p[4], b[0], b[1], b[2],
                                                           b[3], b[4], b[5]);
         float open = K<VortaOpennessFn>(VORTA_EXPORT_POSE_OPENNESS)(&p[0], &p[1], &f[0], &p[2], &f[1],
                                                                   &p[3], b[0], b[1], b[2], b[3]);
         auto joint = [&](int i) {
           V u = Unit(Sub(p[i], p[i + 1])), w = Unit(Sub(p[i + 2], p[i + 1]));
           if (Dot(Cross(w, u), Rot(f[i], {1, 0, 0})) < 0) return 180.0f;
           float c = Dot(u, w);
           c = c > 1 ? 1 : c;
           return Deg(c < -1 ? -1 : c);
         };
         auto ratio = [&](int i) { return (joint(i) - b[2 * i]) / (b[2 * i + 1] - b[2 * i]); };
         float sum = ratio(0) + ratio(1), n = 2;
         if (three && b[4] > 0 && b[5] > 0) sum += ratio(2), n = 3;
         return SameFloat(curl, 1 - Clamp01(sum / n)) &&
                SameFloat(open, ((1 - Clamp01(ratio(1))) + (1 - Clamp01(ratio(0)))) * 0.5f);
       }},
      {"two-stage smoothing",
       [] {
         VortaPose a{RV(), RQ(false)}, t{RV(), RQ(false)}, a0 = a;
         V p = RV(), tp = RV(), p0 = p;
         float dt = R(false), k[6] = {R(false), R(false), R(false), R(false), R(false), R(false)};
         bool m[3] = {bool(Rng()() & 1), bool(Rng()() & 1), bool(Rng()() & 1)};
         typedef void(VORTA_CALL * Fn)(VortaPose*, V*, const VortaPose*, const V*, float, uint64_t,
                                       float, float, uint64_t, float, float, uint64_t, float, float);
         K<Fn>(VORTA_EXPORT_POSE_TWO_STAGE_SMOOTH)(&a, &p, &t, &tp, dt, GFlag(m[0], true), k[0], k[1],
                                                   GFlag(m[1], true), k[2], k[3], GFlag(m[2], true),
                                                   k[4], k[5]);
         auto two = [&](V x, V y, float e, float g) {
           x = Add(x, Sc(e, Sub(y, x)));
           return Add(x, Sc(g, Sub(y, x)));
         };
         auto step = [](Q q, Q r, float f) {
           float d = (q.y * r.y + q.x * r.x) + (q.w * r.w + q.z * r.z);
           if (d < 0) r = {-r.x, -r.y, -r.z, -r.w}, d = -d;
           if (d < 0.9995f) {
             float th = Sleef_acosf_u35(d), k = 1 / std::sqrt(1 - d * d);
             float wq = Sleef_sinf_u35((1 - f) * th) * k, wr = Sleef_sinf_u35(f * th) * k;
             return Q{q.x * wq + r.x * wr, q.y * wq + r.y * wr, q.z * wq + r.z * wr, q.w * wq + r.w * wr};
           }
           Q h{q.x + (r.x - q.x) * f, q.y + (r.y - q.y) * f, q.z + (r.z - q.z) * f, q.w + (r.w - q.w) * f};
           float n = 1 / std::sqrt((h.x * h.x + h.y * h.y) + (h.z * h.z + h.w * h.w));
           return Q{h.x * n, h.y * n, h.z * n, h.w * n};
         };
         V wp = m[0] ? two(a0.position, t.position, k[0] * dt, k[1]) : t.position;
         Q wq = m[1] ? step(step(a0.rotation, t.rotation, k[2] * dt), t.rotation, k[3]) : t.rotation;
         V wpt = m[2] ? two(p0, tp, k[4] * dt, k[5]) : tp;
         return Same(a.position, wp) && Same(a.rotation, wq) && Same(p, wpt);
       }},
      {"path refresh",
       [] {
         const int32_t count = int32_t(Rng()() % 12);
         std::vector<V> src(16), prev(16), dst(16), want;
         for (auto* a : {&src, &prev, &dst})
           for (V& v : *a) v = RV(Rng()() % 4 == 0);
         want = dst;
         int32_t start = int32_t(Rng()() % 14), n = int32_t(Rng()() % 6);
         bool blend = Rng()() & 1, useBudget = Rng()() & 1;
         float budget = std::fabs(R()) * 3, f = R(false);
         V* sp = src.data();
         V* pp = prev.data();
         VortaPointList list{dst.data(), count, 0};
         typedef int32_t(VORTA_CALL * Fn)(uint64_t, uint64_t, float, uint64_t, uint64_t, float,
                                          V* const*, V* const*, VortaPointList*);
         int32_t got = K<Fn>(VORTA_EXPORT_POSE_PATH_REFRESH)(G32(start), G32(n), budget,
                                                           GFlag(blend, true), GFlag(useBudget, true),
                                                           f, &sp, &pp, &list);
         int32_t ret = start;
         if (n > 0 && start < count) {
           float sum = 0;
           int32_t k = 0, i = start;
           for (; k < n && i < count; ++k, ++i) {
             V e = blend ? Add(Sc(f, Sub(src[k], prev[k])), prev[k]) : src[k];
             if (useBudget && i > 0) {
               V d = want[i - 1];
               float len = Len(Sub(e, d)), o = Len(Sub(src[k], d));
               if (blend && len > o) e = Add(Sc(o, Sc(1 / len, Sub(e, d))), d), len = o;
               sum += len;
               if (!(budget >= sum)) {
                 want[i] = len == 0 ? d : Add(Sc(1 - (sum - budget) / len, Sub(e, d)), d);
                 ++i;
                 break;
               }
             }
             want[i] = e;
           }
           ret = i;
         }
         bool same = got == ret;
         for (int i = 0; i < 16; ++i) same = same && Same(dst[i], want[i]);
         return same;
       }},
      {"throw assist",
       [] {
         V from = RV(false), to = Add(from, Sc(4, RV(Rng()() % 8 == 0))), vel = Sc(6, RV(false)), out;
         float g = 9.81f * std::fabs(R(false)), maxA = 180 * std::fabs(R(false));
         float minS = std::fabs(R(false)), cap = 2 * std::fabs(R(false)), blend = std::fabs(R(false));
         float th = Rng()() % 4 == 0 ? 20.0f : 0.01f;
         K<VortaThrowAssistFn>(VORTA_EXPORT_POSE_THROW_ASSIST)(&from, &to, &vel, g, maxA, minS, cap,
                                                              blend, th, &out);
         float o = Len(vel);
         V u = Sub(to, from), uh = Unit(u), n = Unit(vel), want = vel;
         float h2 = std::sqrt(Dot(uh, uh) * Dot(n, n)), ang = 0;
         if (!(h2 < 1e-15f)) {
           float c = Dot(uh, n) / h2;
           c = c < 1 ? c : 1;
           ang = float(Sleef_acos_u35(double(c > -1 ? c : -1))) * 57.29578f;
         }
         float F = std::sqrt(u.x * u.x + u.z * u.z), dy = u.y, h = g * 0.5f;
         if (ang > maxA) {
         } else if (th > g) {
           want = Sc(o, uh);
         } else if (minS > o || th > F || !(F - dy > 0) || !(h > 0)) {
         } else {
           float H = std::sqrt(F * F * h / (F - dy)), J, I = 0;
           if (dy < 0) J = std::sqrt(h * F * F / -dy);
           else J = 2 * H, I = (h * (F / J) * (F / J) + dy) * J / F;
           float eFlat = std::fabs(std::sqrt(J * J + I * I) - o);
           if ((vel.y > 0 ? eFlat : eFlat * 0.25f) > std::fabs(std::sqrt(2 * H * H) - o)) J = I = H;
           float N = std::sqrt(J * J + I * I), c = cap * o, s = N < c ? N : c;
           float cj = J * (1 / N), ci = I * (1 / N);
           V w{u.x * (1 / F) * (cj * s), ci * s, u.z * (1 / F) * (cj * s)};
           // The launch speed reaches the target under gravity g (float64 check).
           double t = double(F) / J, y = double(I) * t - 0.5 * g * t * t;
           if (std::fabs(y - dy) > 1e-3 * (1 + std::fabs(dy) + F)) return false;
           float hs[3] = {n.x, n.y, n.z}, r = 1 / Len(w), ws[3] = {w.x * r, w.y * r, w.z * r}, d[3];
           vorta::host::service::Vector3Slerp(hs, ws, blend, d);
           want = Sc((Len(w) - o) * blend + o, V{d[0], d[1], d[2]});
         }
         return Same(out, want);
       }},
  };
  return rows;
}

TEST_P(Pose, ReplaysStatedOrder) { vorta_test::ExpectReplays(Replays(), 3000); }

TEST_P(Pose, ReplaysOnSeveralThreads) {
  vorta_test::ExpectReplaysOnThreads(Replays(), 300, [](unsigned t) { Rng().seed(100 + t); });
}

// ---- float64 sanity: what the poses mean, on benign unit rotations ----------
struct D {
  double x, y, z, w;
};
D Hd(D a, D b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
          a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
D Dq(Q q) { return {q.x, q.y, q.z, q.w}; }
D Dv(V v) { return {v.x, v.y, v.z, 0}; }
D Conj(D q) { return {-q.x, -q.y, -q.z, q.w}; }
D RotD(D q, D v) { return Hd(Hd(q, v), Conj(q)); }
double Far(D a, D b) {
  return std::max({std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z), std::fabs(a.w - b.w)});
}
// The same rotation (q or -q).
double FarRot(D a, D b) { return std::min(Far(a, b), Far(a, D{-b.x, -b.y, -b.z, -b.w})); }

TEST_P(Pose, Float64Sanity) {
  for (int i = 0; i < 2000; ++i) {
    VortaPose a{RV(false), RQ(false)}, b{RV(false), RQ(false)};
    float r[7];
    K<VortaPoseInFrameFn>(VORTA_EXPORT_POSE_IN_FRAME)(&a, &b, r);
    // A composed with B-in-A is B.
    D back = RotD(Dq(a.rotation), D{r[0], r[1], r[2], 0});
    ASSERT_LT(Far(D{back.x + a.position.x, back.y + a.position.y, back.z + a.position.z, 0}, Dv(b.position)), 1e-5);
    ASSERT_LT(FarRot(Hd(Dq(a.rotation), D{r[3], r[4], r[5], r[6]}), Dq(b.rotation)), 1e-5);
    // Composition: origin + r v and r (qb^-1 qa).
    V op;
    Q oq;
    K<VortaComposePoseFn>(VORTA_EXPORT_POSE_COMPOSE)(&a.position, &a.rotation, &b.position, &b.rotation,
                                                    &a.rotation, &op, &oq);
    D rv = RotD(Dq(a.rotation), Dv(b.position));
    ASSERT_LT(Far(Dv(op), D{a.position.x + rv.x, a.position.y + rv.y, a.position.z + rv.z, 0}), 1e-5);
    ASSERT_LT(FarRot(Dq(oq), Hd(Dq(a.rotation), Hd(Conj(Dq(a.rotation)), Dq(b.rotation)))), 1e-5);
    // The local direction toward the target, turned back into the world.
    VortaFrame fr{a.rotation, a.position}, tg{b.rotation, b.position};
    V off = RV(false), out;
    K<VortaLocalDirectionFn>(VORTA_EXPORT_POSE_LOCAL_DIRECTION)(&out, &off, 1, &fr, &tg, 0);
    D world = RotD(Dq(a.rotation), Dv(out)), o = RotD(Dq(a.rotation), Dv(off));
    ASSERT_LT(Far(world, D{b.position.x - a.position.x - o.x, b.position.y - a.position.y - o.y,
                           b.position.z - a.position.z - o.z, 0}), 1e-5);
    // Halfway between two rotations: a unit rotation as far from each.
    VortaPose m = a;
    V s{0, 0, 0}, t{1, 1, 1};
    float el = 0.5f;
    K<VortaInterpolationStepFn>(VORTA_EXPORT_POSE_INTERPOLATION_STEP)(&m, &s, &b, &t, 0, 1, &el);
    D mq = Dq(m.rotation);
    auto ang = [](D p, D q) { return std::acos(std::min(1.0, std::fabs(p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w))); };
    ASSERT_NEAR(std::sqrt(mq.x * mq.x + mq.y * mq.y + mq.z * mq.z + mq.w * mq.w), 1, 1e-4);
    ASSERT_NEAR(ang(mq, Dq(a.rotation)), ang(mq, Dq(b.rotation)), 2e-3);
    // The openness of two joints from double-precision joint angles.
    V p[4] = {RV(false), RV(false), RV(false), RV(false)};
    Q f[2] = {RQ(false), RQ(false)};
    float got = K<VortaOpennessFn>(VORTA_EXPORT_POSE_OPENNESS)(&p[0], &p[1], &f[0], &p[2], &f[1], &p[3], 0, 180, 0, 180);
    double want = 0;
    for (int j = 0; j < 2; ++j) {
      D u = Dv(Sub(p[j], p[j + 1])), w = Dv(Sub(p[j + 2], p[j + 1])), rt = RotD(Dq(f[j]), D{1, 0, 0, 0});
      double lu = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z), lw = std::sqrt(w.x * w.x + w.y * w.y + w.z * w.z);
      D n{w.y * u.z - w.z * u.y, w.z * u.x - w.x * u.z, w.x * u.y - w.y * u.x, 0};
      double deg = n.x * rt.x + n.y * rt.y + n.z * rt.z < 0 ? 180 : std::acos((u.x * w.x + u.y * w.y + u.z * w.z) / (lu * lw)) * 57.29577951308232;
      want += (1 - deg / 180) * 0.5;
    }
    ASSERT_NEAR(got, want, 1e-3) << i;
  }
}

TEST_P(Pose, DefinedResults) {
  float t;
  K<VortaFlightTimeFn>(VORTA_EXPORT_POSE_FLIGHT_TIME)(3, 9.8f, 2, -1, -0.5f, &t);
  EXPECT_EQ(t, 0.0f);
  K<VortaFlightTimeFn>(VORTA_EXPORT_POSE_FLIGHT_TIME)(3, 10, 2, 0, 0.25f, &t);
  EXPECT_EQ(t, 2 * 3 * 2 / 10.0f + 0.25f);
  float sum, step;
  V dir{0, 0, 1}, out;
  K<VortaBoomStepFn>(VORTA_EXPORT_POSE_BOOM_STEP)(1, 5, 0.01f, &dir, &out, &sum, &step);
  EXPECT_EQ(step, 0.125f);

  // The perpendicular band of half-angle 0 holds exactly the perpendicular directions.
  V x{1, 0, 0}, z{0, 0, -2}, xy{1, 1e-3f, 0};
  auto cone = K<VortaConeTestFn>(VORTA_EXPORT_POSE_CONE_TEST);
  EXPECT_TRUE(cone(1, 0, false, &x, &z));
  EXPECT_FALSE(cone(1, 0, false, &x, &xy));
  EXPECT_TRUE(cone(1, 1, false, &z, &xy));

  // A zero-length segment over the budget ends where it starts.
  V s{1, 2, 3}, e = s, p{0, 0, 0};
  float total = 5;
  EXPECT_TRUE(K<VortaTrimToBudgetFn>(VORTA_EXPORT_POSE_TRIM_TO_BUDGET)(1, false, &p, &s, &e, &total));
  EXPECT_TRUE(Same(e, s));
  V e2{4, 2, 3}, e20 = e2;
  total = 0;
  EXPECT_FALSE(K<VortaTrimToBudgetFn>(VORTA_EXPORT_POSE_TRIM_TO_BUDGET)(10, false, &p, &s, &e2, &total));
  EXPECT_TRUE(Same(e2, e20));
  EXPECT_EQ(total, 3.0f);

  // A path point repeating its predecessor past the budget is written as that point.
  V pts[3] = {{0, 0, 0}, {2, 0, 0}, {2, 0, 0}}, dst[3];
  V* src = pts;
  VortaPointList list{dst, 3, 0};
  EXPECT_EQ(K<VortaPathRefreshFn>(VORTA_EXPORT_POSE_PATH_REFRESH)(0, 3, 1, false, true, 0, &src, &src, &list), 2);
  EXPECT_TRUE(Same(dst[1], V{1, 0, 0}));
  V repeat[1] = {dst[1]};
  V* rp = repeat;
  EXPECT_EQ(K<VortaPathRefreshFn>(VORTA_EXPORT_POSE_PATH_REFRESH)(2, 1, -1, false, true, 0, &rp, &rp, &list), 3);
  EXPECT_TRUE(Same(dst[2], dst[1]));

  // Collinear fingers: the planar measures clamp their cosine (angle 0, not NaN).
  V root{0, 0, 0}, a{0, 0, 0}, b{1, 0, 1}, c{2, 0, 2}, d{3, 0, 3};
  Q id{0, 0, 0, 1};
  EXPECT_EQ(K<VortaPlanarSpreadFn>(VORTA_EXPORT_POSE_PLANAR_SPREAD)(1, nullptr, &root, &id, &a, &b,
                                                                   &c, &d, -10, 30), 0.25f);
  V ya{0, 0, 0}, yb{0, 1, 3}, yc{0, 3, 9}, yd{0, 5, 15};
  EXPECT_EQ(K<VortaPlanarBendFn>(VORTA_EXPORT_POSE_PLANAR_BEND)(&root, &id, &ya, &yb, &yc, &yd, -10, 30), 0.25f);

  // Smoothing with every flag clear copies the targets.
  VortaPose pa{{1, 2, 3}, {0, 0, 0, 1}}, pt{{-0.0f, 5, 6}, {0.6f, 0, 0, 0.8f}};
  V pp{1, 1, 1}, tp{7, 8, -0.0f};
  K<VortaTwoStageSmoothFn>(VORTA_EXPORT_POSE_TWO_STAGE_SMOOTH)(&pa, &pp, &pt, &tp, 0.1f, false, 1, 1,
                                                              false, 1, 1, false, 1, 1);
  EXPECT_TRUE(Same(pa.position, pt.position) && Same(pa.rotation, pt.rotation) && Same(pp, tp));
}

TEST_P(Pose, ThrowAssistLimits) {
  auto assist = K<VortaThrowAssistFn>(VORTA_EXPORT_POSE_THROW_ASSIST);
  struct Row {
    V to, vel;
    float g, maxAngle, blend, threshold;
    int expect;  // 0: velocity unchanged, 1: at the target at the thrown speed, 2: blend 0
  } rows[] = {
      {{10, 0, 0}, {-5, 0, 0}, 9.8f, 30, 1, 0.01f, 0},   // more than the max angle away
      {{10, 0, 0}, {5, 1, 0}, 9.8f, 90, 1, 20, 1},       // threshold above gravity
      {{10, 1, 0}, {5, 5, 0}, 9.8f, 90, 0, 0.01f, 2},    // blend 0
      {{3, 5, 0}, {5, 5, 0}, 9.8f, 90, 1, 0.01f, 0},     // above 45 degrees: no 45-degree root
      {{3, 3, 0}, {5, 5, 0}, 9.8f, 90, 1, 0.01f, 0},     // exactly 45 degrees
      {{0, -4, 0}, {0, -5, 0}, 9.8f, 90, 1, 0, 0},       // straight below, threshold 0
      {{10, 0, 0}, {5, 1, 0}, 0, 90, 1, 0, 0},           // no gravity
  };
  for (const Row& r : rows) {
    V from{0, 0, 0}, out;
    assist(&from, &r.to, &r.vel, r.g, r.maxAngle, 0, 2, r.blend, r.threshold, &out);
    V want = r.expect == 1 ? Sc(Len(r.vel), Unit(r.to)) : r.vel;
    if (r.expect == 2)
      EXPECT_NEAR(Len(Sub(out, want)), 0, 1e-5 * Len(want));
    else
      EXPECT_TRUE(Same(out, want)) << out.x << " " << out.y << " " << out.z;
  }
}

// Hand joints against the pose-in-frame kernel: invalid joints keep their
// output and the next valid joint of the finger is relative to the last valid one.
TEST_P(Pose, HandJointsRelativeToLastValid) {
  std::vector<VortaHandJoint> src(26);
  for (int trial = 0; trial < 200; ++trial) {
    for (auto& j : src) j = {uint32_t(Rng()()), RV(), RQ(), {}, uint32_t(Rng()() & 7)};
    if (trial == 0) src[0].flags &= ~2u;
    std::vector<VortaPose> out(26), before(26);
    for (auto& o : out) o = {RV(), RQ()};
    before = out;
    VortaHandJoint* sp = src.data();
    VortaPose* op = out.data();
    K<VortaHandJointsFn>(VORTA_EXPORT_POSE_HAND_JOINTS)(&sp, &op, nullptr, nullptr);
    auto inFrame = K<VortaPoseInFrameFn>(VORTA_EXPORT_POSE_IN_FRAME);
    auto rel = [&](const VortaHandJoint& a, const VortaHandJoint& b) {
      VortaPose pa{a.position, a.rotation}, pb{b.position, b.rotation};
      float r[7];
      inFrame(&pa, &pb, r);
      return VortaPose{{r[0], r[1], r[2]}, {r[3], r[4], r[5], r[6]}};
    };
    std::vector<VortaPose> want = before;
    auto valid = [&](int j) { return (src[j].flags & 2) != 0; };
    if (valid(0)) {
      want[0] = {src[0].position, src[0].rotation};
      if (valid(1)) want[1] = rel(src[0], src[1]);
      const int first[6] = {2, 6, 11, 16, 21, 26};
      for (int f = 0; f < 5; ++f)
        for (int j = first[f], ref = 0; j < first[f + 1]; ++j)
          if (valid(j)) want[j] = rel(src[ref], src[j]), ref = j;
    }
    for (int j = 0; j < 26; ++j)
      ASSERT_TRUE(Same(out[j].position, want[j].position) && Same(out[j].rotation, want[j].rotation))
          << "trial " << trial << " joint " << j;
  }
}

VORTA_INSTANTIATE_VARIANTS(Variants, Pose);

}  // namespace
