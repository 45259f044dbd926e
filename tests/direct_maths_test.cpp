// The easing, curve, geometry and rotation kernels through their exports, on
// both variants, against a replay of each kernel's evaluation order written
// here: in float it must match bit for bit (neither variant fuses
// multiply-adds), in double it must stay close on benign inputs, which catches
// a replay written wrong. Random inputs cover NaN, infinities, signed zeros,
// subnormals and products that overflow; 32-bit arguments carry garbage in
// their upper halves; the whole table also runs on several threads at once.
#include <sleef.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "variant_test.h"
#include "vorta/vorta.h"

namespace {

using vorta_test::RandomFloat;
using vorta_test::SameFloat;

template <class T>
struct V {
  T x, y, z;
};
template <class T>
struct Q {
  T x, y, z, w;
};
template <class T>
V<T> operator+(V<T> a, V<T> b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <class T>
V<T> operator-(V<T> a, V<T> b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <class T>
V<T> operator*(T s, V<T> v) {
  return {s * v.x, s * v.y, s * v.z};
}
template <class T>
T Dot(V<T> a, V<T> b) {
  return (a.x * b.x + a.y * b.y) + a.z * b.z;
}
template <class T>
T Len(V<T> v) {
  return std::sqrt(Dot(v, v));
}
template <class T>
V<T> Cross(V<T> a, V<T> b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
template <class T>
V<T> Unit0(V<T> v) {  // the zero vector stays zero
  T l = Len(v);
  return l == 0 ? V<T>{0, 0, 0} : (T(1) / l) * v;
}
template <class T>
V<T> Rot(Q<T> q, V<T> v) {
  V<T> r{q.x, q.y, q.z}, c = Cross(r, v), t = c + c;
  return Cross(r, t) + (q.w * t + v);
}
template <class T>
T MinKeep(T x, T hi) {
  return x > hi ? hi : x;
}  // NaN stays
template <class T>
T MaxKeep(T x, T lo) {
  return x < lo ? lo : x;
}
template <class T>
T Clamp01(T x) {
  return MaxKeep(MinKeep(x, T(1)), T(0));
}
template <class T>
T MaxNan(T m, T r) {
  return std::isnan(m) ? r : (!std::isnan(r) && r > m ? r : m);
}
inline float Acos(float x) { return Sleef_acosf_u35(x); }
inline double Acos(double x) { return std::acos(x); }
constexpr float kDeg = 57.29578f;

// Every kernel's inputs, generated at random; outputs as a flat float list.
struct In {
  float s[8];
  VortaVec3 v[6];
  VortaQuat q[2];
  int32_t n;
};
template <class T>
V<T> Vv(const In& in, int i) {
  return {T(in.v[i].x), T(in.v[i].y), T(in.v[i].z)};
}
template <class T>
Q<T> Qq(const In& in, int i) {
  return {T(in.q[i].x), T(in.q[i].y), T(in.q[i].z), T(in.q[i].w)};
}
template <class T>
T S(const In& in, int i) {
  return T(in.s[i]);
}
#define VI(i) Vv<T>(in, i)  // input vector i, scalar i in the replay's type
#define SI(i) S<T>(in, i)

constexpr float kCanary = -1234.5f;
constexpr int kPoints = 12;
template <class T>
struct Res {
  T f[3 * kPoints + 8];
  int n = 0;
  void Put(T x) { f[n++] = x; }
  void Put(V<T> v) { Put(v.x), Put(v.y), Put(v.z); }
  void Put(Q<T> q) { Put(q.x), Put(q.y), Put(q.z), Put(q.w); }
};
using Out = Res<float>;
// The 32-bit argument n with garbage above it.
inline int64_t Dirty(int32_t n) { return int64_t(0x5a5a5a5a00000000ull | uint32_t(n)); }

inline VortaVec3 ToVec(V<float> v) { return {v.x, v.y, v.z}; }
inline V<float> FromVec(const VortaVec3& v) { return {v.x, v.y, v.z}; }

// ---- the replays, generic over float (the oracle) and double (the bound) ----

template <class T>
T Bounce(T time, T rate, bool four) {
  T p = time * rate, u = MinKeep(p, T(1)), k = T(7.5625f), w, top;
  if (p < 0) u = 0;
  if (u < T(0.36363637f)) return k * u * u;
  if (u < T(0.72727275f))
    w = u - T(0.54545456f), top = T(0.75f);
  else if (!four || double(u) < 0.9090909090909091)
    w = u - T(0.8181818f), top = T(0.9375f);
  else
    w = u - T(0.95454544f), top = T(0.984375f);
  return k * w * w + top;
}
template <class T>
V<T> Cubic(V<T> p0, V<T> p1, V<T> p2, V<T> p3, T t) {
  T s = 1 - t;
  return ((t * t) * t) * p3 +
         ((s * 3 * (t * t)) * p2 + ((s * s * 3 * t) * p1 + (s * (s * s)) * p0));
}
template <class T>
void Elevate(V<T> a, V<T> q, V<T> b, V<T>* c1, V<T>* c2) {
  *c1 = T(0.6666667f) * (q - a) + a;
  *c2 = T(0.6666667f) * (q - b) + b;
}
template <class T>
void Points(Res<T>& r) {
  while (r.n < 3 * kPoints) r.Put(T(kCanary));
}
template <class T>
void Trimmed(const In& in, Res<T>& r, bool quadratic) {
  int count = in.n;
  T reach = SI(0), minLen = SI(1), ta = SI(2), tb = SI(3);
  V<T> a = VI(0), b = VI(2), q;
  T g = ta + tb, d = Len(b - a);
  bool ok = !(g > d || minLen > d - g);
  if (ok) {
    q = quadratic ? VI(1) : a + (reach > 0 ? reach * (d * VI(1)) : T(0.5f) * (b - a));
    V<T> c1, c2;
    Elevate(a, q, b, &c1, &c2);
    T t0 = 0, t1 = 1;
    if (ta > 0 || tb > 0) {
      int m = count / 2 < 5 ? 4 : count / 2;
      T arc = 0;
      for (int i = 1; i <= m; ++i)
        arc += Len(Cubic(a, c1, c2, b, T(float(i) / float(m))) -
                   Cubic(a, c1, c2, b, T(float(i - 1) / float(m))));
      ok = !(g > arc || minLen > arc - g);
      t0 = ta > 0 ? ta / arc : 0;
      t1 = tb > 0 ? (arc - tb) / arc : 1;
    }
    for (int i = 0; ok && i < count; ++i)  // one point: t0 (no 0 / 0 step)
      r.Put(Cubic(a, c1, c2, b, (count > 1 ? (t1 - t0) / T(count - 1) : T(0)) * T(i) + t0));
  }
  Points(r);
  r.Put(T(ok));
}
template <class T>
T Falloff(T m, T range, T scale, T low, T high) {
  T t = Clamp01(m / range), r = (1 - t) * high;
  if (high < r || std::isnan(r)) r = high;
  return (low > r || std::isnan(r) ? low : r) * scale;
}
template <class T>
V<T> Plane(V<T> v, V<T> n) {
  T s = Dot(n, n), k = Dot(v, n);
  return s < T(1.1920929e-7f) ? v : V<T>{v.x - n.x * k / s, v.y - n.y * k / s, v.z - n.z * k / s};
}
template <class T>
T AngleVec(V<T> a, V<T> b) {
  T h = std::sqrt(Dot(a, a) * Dot(b, b));
  if (std::isinf(h) && std::isfinite(Dot(a - a, a - a) + Dot(b - b, b - b))) {
    // Rescaled by exact powers of two, as the overflow rule says.
    auto scale = [](V<T> v) {
      int e;
      std::frexp(std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}), &e);
      return T(std::ldexp(1.0, std::min(std::max(1 - e, -126), 127))) * v;
    };
    a = scale(a), b = scale(b);
    h = std::sqrt(Dot(a, a) * Dot(b, b));
  }
  if (h < T(1e-15f)) return 0;
  T k = Dot(a, b) / h;
  k = k < 1 ? k : 1;
  k = k > -1 ? k : -1;
  return Acos(k) * T(kDeg);
}
template <class T>
T Joint(V<T> a, V<T> p, Q<T> f, V<T> tip) {
  V<T> u = Unit0(a - p), w = Unit0(tip - p);
  if (Dot(Cross(w, u), Rot(f, V<T>{1, 0, 0})) < 0) return 180;
  return Acos(MaxKeep(MinKeep(Dot(u, w), T(1)), T(-1))) * T(kDeg);
}
// Look rotations are checked by what they do (the conversion's branches are
// the library's own): in float only a degenerate basis has fixed bits, the
// identity; in double the kernel's rotation must turn +z into the unit forward
// and +x into right (residuals near 0).
template <class T, class G>
void Look(V<T> f, V<T> right, Res<T>& r, const G* got) {
  const bool degenerate = right.x == 0 && right.y == 0 && right.z == 0;
  if (!got) {
    if (degenerate) r.Put(Q<T>{0, 0, 0, 1});
    return;
  }
  if (degenerate) return;
  Q<T> q{got->f[0], got->f[1], got->f[2], got->f[3]};
  r.Put(Rot(q, V<T>{0, 0, 1}) - Unit0(f));
  r.Put(Rot(q, V<T>{1, 0, 0}) - right);
}

struct Case {
  const char* name;
  void (*call)(void* fn, const In& in, Out& o);
  void (*replayF)(const In& in, Res<float>& o);
  void (*replayD)(const In& in, Res<double>& o, const Out& got);  // null: no double bound
  bool exact = true;  // the float replay fixes every output bit
};

#define FN(type) reinterpret_cast<type>(fn)
#define CALL(...) [](void* fn, const In& in, Out& o) { __VA_ARGS__; }
#define V3(i) (&in.v[i])
#define REPLAY(...)                                                             \
  [](const In& in, Res<float>& r) { using T = float; __VA_ARGS__; },             \
      [](const In& in, Res<double>& r, const Out&) { using T = double; __VA_ARGS__; }

// Curve sampling with count typed as 64 bits (garbage above the int32).
typedef void(VORTA_CALL* SampleDirty)(int64_t, float, const VortaVec3*, const VortaVec3*,
                                      const VortaVec3*, VortaVec3**);
typedef bool(VORTA_CALL* TrimDirty)(int64_t, float, const VortaVec3*, const VortaVec3*,
                                    const VortaVec3*, VortaVec3**, float, float, float);
typedef bool(VORTA_CALL* TrimQDirty)(int64_t, const VortaVec3*, const VortaVec3*, const VortaVec3*,
                                     VortaVec3**, float, float, float);
typedef float(VORTA_CALL* ChordDirty)(const VortaVec3*, const VortaVec3*, const VortaVec3*,
                                      const VortaVec3*, int64_t);
typedef void(VORTA_CALL* AxisDirty)(VortaVec3*, int64_t, const VortaQuat*, float);

template <class F>
void CallPoints(Out& o, F f) {
  VortaVec3 pts[kPoints];
  for (auto& p : pts) p = {kCanary, kCanary, kCanary};
  VortaVec3* array = pts;
  float ret = f(&array);
  for (auto& p : pts) o.Put(FromVec(p));
  o.Put(ret);
}

void CallEase(void* fn, const In& in, Out& o) {
  o.Put(FN(VortaEaseFn)(in.s[0], in.s[1], in.s[2], in.s[3]));
}
void CallEaseVec3(void* fn, const In& in, Out& o) {
  VortaVec3 out;
  FN(VortaEaseVec3Fn)(V3(0), V3(1), in.s[2], &out, in.s[3]);
  o.Put(FromVec(out));
}
void CallBinary(void* fn, const In& in, Out& o) {
  VortaVec3 out;
  FN(VortaVec3BinaryFn)(V3(0), V3(1), &out);
  o.Put(FromVec(out));
}

const Case kCases[] = {
    {VORTA_EXPORT_EASING_BOUNCE3, CallEase,
     REPLAY(r.Put((SI(1) - SI(0)) * Bounce(SI(2), SI(3), false) + SI(0)))},
    {VORTA_EXPORT_EASING_BOUNCE4, CallEase,
     REPLAY(r.Put((SI(1) - SI(0)) * Bounce(SI(2), SI(3), true) + SI(0)))},
    {VORTA_EXPORT_EASING_BOUNCE3_VEC3, CallEaseVec3,
     REPLAY(r.Put(Bounce(SI(2), SI(3), false) * (VI(1) - VI(0)) + VI(0)))},
    {VORTA_EXPORT_EASING_BOUNCE4_VEC3, CallEaseVec3,
     REPLAY(r.Put(Bounce(SI(2), SI(3), true) * (VI(1) - VI(0)) + VI(0)))},
    {VORTA_EXPORT_EASING_BENT_LERP, CallEaseVec3,
     REPLAY(T t = SI(2); T e = SI(3) + T(0.5f);
            T f = ((1 - t) * e + t) * t + (e * t + 0 * (1 - t)) * (1 - t);
            r.Put(f * (VI(1) - VI(0)) + VI(0)))},
    {VORTA_EXPORT_EASING_SHIFTED_QUADRATIC, CallEase,
     REPLAY(T a = SI(0); T b = SI(1); T t = SI(2); T m = (b - a) * SI(3) + (a + b) * T(0.5f);
            r.Put((a * (1 - t) + m * t) * (1 - t) + ((1 - t) * m + b * t) * t))},
    {VORTA_EXPORT_EASING_QUADRATIC_POINT,
     CALL(VortaVec3 out;
          o.Put(FN(VortaQuadraticPointFn)(V3(0), V3(1), V3(2), in.s[0], &out) == &out);
          o.Put(FromVec(out))),
     REPLAY(T t = SI(0); r.Put(T(1));
            r.Put((t * t) * VI(2) + (((1 - t) * 2 * t) * VI(1) + ((1 - t) * (1 - t)) * VI(0))))},
    {VORTA_EXPORT_EASING_CUBIC_POINT,
     CALL(VortaVec3 out;
          o.Put(FN(VortaCubicPointFn)(V3(0), V3(1), V3(2), V3(3), in.s[0], &out) == &out);
          o.Put(FromVec(out))),
     REPLAY(r.Put(T(1)); r.Put(Cubic(VI(0), VI(1), VI(2), VI(3), SI(0))))},
    {VORTA_EXPORT_EASING_SAMPLE_CURVE,
     CALL(CallPoints(o,
                     [&](VortaVec3** p) {
                       FN(SampleDirty)(Dirty(in.n), in.s[0], V3(0), V3(1), V3(2), p);
                       return 0.0f;
                     })),
     REPLAY(V<T> a = VI(0); V<T> b = VI(2); r.Put(a); if (in.n >= 2) {
       V<T> c1, c2;
       Elevate(a, SI(0) * (Len(b - a) * VI(1)) + a, b, &c1, &c2);
       T step = T(1) / T(in.n - 1);
       for (int i = 1; i < in.n; ++i) r.Put(Cubic(a, c1, c2, b, T(i) * step));
     } Points(r);
            r.Put(T(0)))},
    {VORTA_EXPORT_EASING_SAMPLE_TRIMMED,
     CALL(CallPoints(o,
                     [&](VortaVec3** p) {
                       return float(FN(TrimDirty)(Dirty(in.n), in.s[0], V3(0), V3(1), V3(2), p,
                                                  in.s[1], in.s[2], in.s[3]));
                     })),
     REPLAY(Trimmed<T>(in, r, false))},
    {VORTA_EXPORT_EASING_SAMPLE_TRIMMED_QUADRATIC,
     CALL(CallPoints(o,
                     [&](VortaVec3** p) {
                       return float(FN(TrimQDirty)(Dirty(in.n), V3(0), V3(1), V3(2), p, in.s[1],
                                                   in.s[2], in.s[3]));
                     })),
     REPLAY(Trimmed<T>(in, r, true))},
    {VORTA_EXPORT_EASING_QUADRATIC_TO_CUBIC,
     CALL(VortaVec3 p[4];
          FN(VortaQuadraticToCubicFn)(V3(0), V3(1), V3(2), &p[0], &p[1], &p[2], &p[3]);
          for (auto& x
               : p) o.Put(FromVec(x))),
     REPLAY(V<T> c1; V<T> c2; Elevate(VI(0), VI(1), VI(2), &c1, &c2); r.Put(VI(0)); r.Put(c1);
            r.Put(c2); r.Put(VI(2)))},
    {VORTA_EXPORT_EASING_CHORD_LENGTH,
     [](void* fn, const In& in,
        Out& o) { o.Put(FN(ChordDirty)(V3(0), V3(1), V3(2), V3(3), Dirty(in.n))); },
     REPLAY(T sum = 0; V<T> prev = VI(0); for (int i = 1; i <= in.n; ++i) {
       V<T> p = Cubic(VI(0), VI(1), VI(2), VI(3), T(float(i) / float(in.n)));
       sum += Len(prev - p), prev = p;
     } r.Put(sum))},
    {VORTA_EXPORT_EASING_CONSTANT_ACCELERATION,
     CALL(VortaVec3 out; o.Put(FN(VortaMotionFn)(V3(0), V3(1), V3(2), in.s[0], &out) == &out);
          o.Put(FromVec(out))),
     REPLAY(T t = SI(0); r.Put(T(1)); r.Put((T(0.5f) * t * t) * VI(2) + (t * VI(1) + VI(0))))},

    {VORTA_EXPORT_GEOMETRY_PLANE_PROJECT, CallBinary, REPLAY(r.Put(Plane(VI(0), VI(1))))},
    {VORTA_EXPORT_GEOMETRY_SUB_SCALED,
     CALL(VortaVec3 out; FN(VortaSubScaledFn)(V3(0), V3(1), in.s[0], &out); o.Put(FromVec(out))),
     REPLAY(r.Put(VI(0) - SI(0) * VI(1)))},
    {VORTA_EXPORT_GEOMETRY_PROJECT_ON_LINE,
     CALL(VortaVec3 out; FN(VortaProjectOnLineFn)(V3(0), V3(1), V3(2), &out); o.Put(FromVec(out))),
     REPLAY(r.Put(Dot(VI(2) - VI(0), VI(1)) * VI(1) + VI(0)))},
    {VORTA_EXPORT_GEOMETRY_PROJECT_REAIM,
     CALL(VortaVec3 out; float dist;
          o.Put(FN(VortaProjectReaimFn)(V3(0), V3(1), V3(2), V3(3), &dist, &out) == &out);
          o.Put(dist), o.Put(FromVec(out))),
     REPLAY(V<T> org = VI(0); V<T> d = VI(1); T len = Len((Dot(VI(2) - org, d) * d + org) - org);
            r.Put(T(1)); r.Put(len); r.Put(len * Unit0(VI(3) - org) + org))},
    {VORTA_EXPORT_GEOMETRY_LINE_DISTANCE,
     CALL(float out; FN(VortaLineDistanceFn)(V3(0), V3(1), V3(2), &out); o.Put(out)),
     REPLAY(V<T> d = VI(1) - VI(0); r.Put(Len(d - Dot(d, VI(2)) * VI(2))))},
    {VORTA_EXPORT_GEOMETRY_PROJECTED_LENGTH,
     CALL(float a, b; o.Put(FN(VortaProjectedLengthFn)(V3(0), V3(1), V3(2), &a, &b) == &b);
          o.Put(a), o.Put(b)),
     REPLAY(V<T> e = VI(0) - VI(1); V<T> d = VI(2); r.Put(T(1));
            r.Put(Len((Dot(e, d) / Dot(d, d)) * d));
            r.Put(Dot(d, Dot(e, e) > T(1.1754944e-38f) ? (T(1) / Len(e)) * e : V<T>{0, 0, 0})))},
    {VORTA_EXPORT_GEOMETRY_DIRECTION,
     CALL(VortaVec3 dir; float sq, len; o.Put(FN(VortaDirectionFn)(V3(0), V3(1), &dir, &sq, &len));
          o.Put(FromVec(dir)), o.Put(sq), o.Put(len)),
     REPLAY(V<T> d = VI(1) - VI(0); T sq = d.z * d.z + (d.y * d.y + d.x * d.x);
            T len = std::sqrt(sq);
            V<T> dir = len == 0 ? V<T>{0, 0, 0} : V<T>{d.x / len, d.y / len, d.z / len};
            r.Put(dir.z); r.Put(dir); r.Put(sq); r.Put(len))},
    {VORTA_EXPORT_GEOMETRY_DISTANCE_SQ,
     [](void* fn, const In& in, Out& o) { o.Put(FN(VortaDistanceSqFn)(V3(0), V3(1))); },
     REPLAY(V<T> d = VI(0) - VI(1); r.Put(Dot(d, d)))},
    {VORTA_EXPORT_GEOMETRY_WITHIN_RANGE,
     [](void* fn, const In& in, Out& o) { o.Put(FN(VortaVec3TestFn)(V3(0), V3(1), in.s[0])); },
     REPLAY(V<T> d = VI(0) - VI(1); r.Put(T(SI(0) * SI(0) > Dot(d, d))))},
    {VORTA_EXPORT_GEOMETRY_APPROX_EQUAL,
     [](void* fn, const In& in, Out& o) { o.Put(FN(VortaVec3TestFn)(V3(0), V3(1), in.s[0])); },
     REPLAY(V<T> a = VI(0); V<T> b = VI(1); T e = SI(0); r.Put(
         T(e > std::fabs(a.x - b.x) && e > std::fabs(a.y - b.y) && e > std::fabs(a.z - b.z))))},
    {VORTA_EXPORT_GEOMETRY_MULTIPLY, CallBinary,
     REPLAY(V<T> a = VI(0); V<T> b = VI(1); r.Put(V<T>{a.x * b.x, a.y* b.y, a.z* b.z}))},
    {VORTA_EXPORT_GEOMETRY_MULTIPLY_Z,
     CALL(VortaVec3 out; o.Put(FN(VortaVec3BinaryZFn)(V3(0), V3(1), &out)); o.Put(FromVec(out))),
     REPLAY(V<T> a = VI(0); V<T> b = VI(1); r.Put(a.z * b.z);
            r.Put(V<T>{a.x * b.x, a.y* b.y, a.z* b.z}))},
    {VORTA_EXPORT_GEOMETRY_DIVIDE_APART,
     CALL(VortaVec3 out; FN(VortaDivideApartFn)(V3(0), V3(1), &out, in.s[0]); o.Put(FromVec(out))),
     REPLAY(V<T> a = VI(0); V<T> b = VI(1); T e = SI(0);
            auto f = [e](T x, T y) { return e < std::fabs(x - y) ? x / y : T(0); };
            r.Put(V<T>{f(a.x, b.x), f(a.y, b.y), f(a.z, b.z)}))},
    {VORTA_EXPORT_GEOMETRY_FIT_RATIO,
     CALL(VortaVec3 out; o.Put(FN(VortaFitRatioFn)(V3(0), V3(1), V3(2), in.s[0], &out) == &out);
          o.Put(FromVec(out))),
     REPLAY(V<T> a = VI(0); V<T> b = VI(1); V<T> v = VI(2); T e = SI(0);
            T m = MaxNan(MaxNan(a.x / (b.x + e), a.y / (b.y + e)), a.z / (b.z + e)); r.Put(T(1));
            r.Put(V<T>{v.x / m, v.y / m, v.z / m}))},
    {VORTA_EXPORT_GEOMETRY_HALF_EXTENT,
     [](void* fn, const In& in,
        Out& o) { o.Put(FN(VortaHalfExtentFn)(V3(0), V3(1), V3(2), in.s[0])); },
     REPLAY(V<T> s = VI(0); V<T> t = VI(1); V<T> e = VI(2);
            auto f = [](T x, T y) { return std::fabs(y - x) > T(1e-6f) ? y / x : T(0); };
            T m0 = MaxNan(MaxNan(e.x, e.y), e.z);
            T m1 = MaxNan(MaxNan(e.x * f(s.x, t.x), e.y* f(s.y, t.y)), e.z* f(s.z, t.z));
            r.Put(MaxNan(m0, m1) * T(0.5f) + SI(0)))},
    {VORTA_EXPORT_GEOMETRY_DOUBLE_CROSS, CallBinary,
     REPLAY(r.Put(Cross(Cross(VI(0), VI(1)), VI(0))))},
    {VORTA_EXPORT_GEOMETRY_PERPENDICULAR,
     CALL(VortaVec3 out; FN(VortaPerpendicularFn)(V3(0), &out); o.Put(FromVec(out))),
     REPLAY(V<T> v = VI(0); T ax = std::fabs(v.x); T ay = std::fabs(v.y); T az = std::fabs(v.z);
            r.Put(ay > ax && az > ax ? V<T>{0, v.z, -v.y}
                  : ay < az          ? V<T>{-v.z, 0, v.x}
                                     : V<T>{v.y, -v.x, 0}))},
    {VORTA_EXPORT_GEOMETRY_MOVE_TOWARD,
     CALL(VortaVec3 out; FN(VortaMoveTowardFn)(V3(0), V3(1), in.s[0], &out); o.Put(FromVec(out))),
     REPLAY(r.Put(SI(0) * Unit0(VI(1) - VI(0)) + VI(0)))},
    {VORTA_EXPORT_GEOMETRY_SHORTEN_SEGMENT,
     CALL(
         VortaSegment seg{
             {kCanary, kCanary, kCanary}, {kCanary, kCanary, kCanary}, {kCanary, kCanary, kCanary}};
         VortaSegment* p = &seg;
         o.Put(FN(VortaShortenSegmentFn)(V3(0), V3(1), in.s[0], in.s[1], &p));
         o.Put(FromVec(seg.start)), o.Put(FromVec(seg.middle)), o.Put(FromVec(seg.end))),
     // A trimmed segment pointing against the original one is refused.
     REPLAY(V<T> a = VI(0); V<T> b = VI(1); V<T> d = b - a; V<T> n = (T(1) / Len(d)) * d;
            V<T> e = b - SI(1) * n; V<T> s = a + SI(0) * n;
            bool ok = !(Dot(d, d) < T(0.0001f)) && !(Dot(e - s, n) < 0); r.Put(T(ok));
            V<T> c{T(kCanary), T(kCanary), T(kCanary)}; r.Put(ok ? s : c);
            r.Put(ok ? T(0.5f) * (e - s) + s : c); r.Put(ok ? e : c))},
    {VORTA_EXPORT_GEOMETRY_RADIAL_FALLOFF,
     [](void* fn, const In& in,
        Out& o) { o.Put(FN(VortaRadialFalloffFn)(V3(0), V3(1), in.s[0], in.s[1])); },
     REPLAY(V<T> d = VI(1) - VI(0); T f = Dot(d, d); T i = SI(0); T u = SI(1);
            r.Put(f > u * u   ? T(0)
                  : f < i * i ? T(1)
                              : 1 - (std::sqrt(f) - i) / (u - i)))},
    {VORTA_EXPORT_GEOMETRY_OUTSIDE_RANGE,
     CALL(o.Put(FN(VortaOutsideRangeFn)(V3(0), V3(1), in.s[0], in.s[1], in.s[2], in.s[3]))),
     REPLAY(V<T> d = VI(1) - VI(0); T rr = (SI(1) - SI(0)) * Clamp01(SI(2) / SI(3)) + SI(0);
            r.Put(T(Dot(d, d) > rr * rr)))},
    {VORTA_EXPORT_GEOMETRY_CLAMPED_FALLOFF,
     CALL(float out;
          FN(VortaClampedFalloffFn)(V3(0), V3(1), in.s[0], in.s[1], in.s[2], in.s[3], &out);
          o.Put(out)),
     REPLAY(V<T> d = VI(1) - VI(0); r.Put(Falloff(Dot(d, d), SI(0), SI(1), SI(2), SI(3))))},
    {VORTA_EXPORT_GEOMETRY_SCALAR_FALLOFF,
     CALL(float out; FN(VortaScalarFalloffFn)(in.s[0], in.s[1], in.s[2], in.s[3], in.s[4], &out);
          o.Put(out)),
     REPLAY(r.Put(Falloff(SI(1), SI(2), SI(0), SI(3), SI(4))))},

    {VORTA_EXPORT_ROTATION_VECTOR_ANGLE,
     CALL(float out; FN(VortaVectorAngleFn)(V3(0), V3(1), &out); o.Put(out)),
     REPLAY(r.Put(AngleVec(VI(0), VI(1))))},
    {VORTA_EXPORT_ROTATION_ROTATION_ANGLE,
     CALL(float out; FN(VortaRotationAngleFn)(&in.q[0], &in.q[1], &out); o.Put(out)),
     REPLAY(Q<T> a = Qq<T>(in, 0); Q<T> b = Qq<T>(in, 1);
            T x = std::fabs((a.x * b.x + a.y * b.y) + (a.z * b.z + a.w * b.w)); x = x < 1 ? x : 1;
            r.Put(x > T(0.999999f) ? T(0) : Acos(x) * 2 * T(kDeg)))},
    {VORTA_EXPORT_ROTATION_JOINT_ANGLE,
     [](void* fn, const In& in,
        Out& o) { o.Put(FN(VortaJointAngleFn)(V3(0), V3(1), &in.q[0], V3(2))); },
     REPLAY(r.Put(Joint(VI(0), VI(1), Qq<T>(in, 0), VI(2))))},
    {VORTA_EXPORT_ROTATION_JOINT_OPENNESS,
     CALL(o.Put(FN(VortaJointOpennessFn)(V3(0), V3(1), &in.q[0], V3(2), in.s[0], in.s[1]))),
     REPLAY(T j = Joint(VI(0), VI(1), Qq<T>(in, 0), VI(2));
            r.Put(1 - Clamp01((j - SI(0)) / (SI(1) - SI(0)))))},
    {VORTA_EXPORT_ROTATION_ROTATE_ABOUT,
     CALL(VortaVec3 out; FN(VortaRotateAboutFn)(&out, V3(0), &in.q[0], V3(1)); o.Put(FromVec(out))),
     REPLAY(r.Put(Rot(Qq<T>(in, 0), VI(1) - VI(0))))},
    {VORTA_EXPORT_ROTATION_AXIS,
     CALL(VortaVec3 out; FN(AxisDirty)(&out, Dirty(in.n % 4), &in.q[0], in.s[0]);
          o.Put(FromVec(out))),
     REPLAY(int sel = in.n % 4; Q<T> q = Qq<T>(in, 0); r.Put(sel == 2   ? Rot(q, V<T>{0, 0, 1})
                                                             : sel == 1 ? Rot(q, V<T>{SI(0), 0, 0})
                                                             : sel == 0 ? Rot(q, V<T>{0, -1, 0})
                                                                        : V<T>{0, 0, 1}))},
    {VORTA_EXPORT_ROTATION_LOOK_PROJECTED,
     CALL(VortaQuat q; FN(VortaLookRotationFn)(V3(0), V3(1), &q);
          o.Put(Q<float>{q.x, q.y, q.z, q.w})),
     [](const In& in, Res<float>& r) {
       V<float> f = Plane(Vv<float>(in, 0), Vv<float>(in, 1));
       Look(f, Unit0(Cross(Vv<float>(in, 1), f)), r, static_cast<const Out*>(nullptr));
     },
     [](const In& in, Res<double>& r, const Out& got) {
       V<double> f = Plane(Vv<double>(in, 0), Vv<double>(in, 1));
       Look(f, Unit0(Cross(Vv<double>(in, 1), f)), r, &got);
     },
     false},
    {VORTA_EXPORT_ROTATION_LOOK,
     CALL(VortaQuat q; FN(VortaLookRotationFn)(V3(0), V3(1), &q);
          o.Put(Q<float>{q.x, q.y, q.z, q.w})),
     [](const In& in, Res<float>& r) {
       V<float> f = Vv<float>(in, 0);
       Look(f, Unit0(Cross(Cross(Cross(f, Vv<float>(in, 1)), f), f)), r,
            static_cast<const Out*>(nullptr));
     },
     [](const In& in, Res<double>& r, const Out& got) {
       V<double> f = Vv<double>(in, 0);
       Look(f, Unit0(Cross(Cross(Cross(f, Vv<double>(in, 1)), f), f)), r, &got);
     },
     false},
};

// Twins: the same behaviour under a second export name.
const char* const kTwins[][2] = {
    {VORTA_EXPORT_EASING_SAMPLE_CURVE_TWIN, VORTA_EXPORT_EASING_SAMPLE_CURVE},
    {VORTA_EXPORT_GEOMETRY_PLANE_PROJECT_TWIN, VORTA_EXPORT_GEOMETRY_PLANE_PROJECT},
    {VORTA_EXPORT_GEOMETRY_APPROX_EQUAL_TWIN, VORTA_EXPORT_GEOMETRY_APPROX_EQUAL},
    {VORTA_EXPORT_GEOMETRY_DIVIDE_APART_TWIN, VORTA_EXPORT_GEOMETRY_DIVIDE_APART},
    {VORTA_EXPORT_GEOMETRY_DOUBLE_CROSS_TWIN, VORTA_EXPORT_GEOMETRY_DOUBLE_CROSS},
    {VORTA_EXPORT_ROTATION_LOOK_PROJECTED_TWIN, VORTA_EXPORT_ROTATION_LOOK_PROJECTED},
    {VORTA_EXPORT_ROTATION_LOOK_TWIN, VORTA_EXPORT_ROTATION_LOOK},
};

In Generate(std::mt19937& rng, bool specials) {
  In in;
  float* f = in.s;
  for (int i = 0; i < 8; ++i) f[i] = RandomFloat(rng, specials) * 2;
  for (auto& v : in.v)
    v = {RandomFloat(rng, specials), RandomFloat(rng, specials), RandomFloat(rng, specials)};
  for (auto& q : in.q)
    q = {RandomFloat(rng, specials), RandomFloat(rng, specials), RandomFloat(rng, specials),
         RandomFloat(rng, specials)};
  in.n = int32_t(rng() % 14) - 2;             // -2 .. 11 points or chords
  if (rng() % 4 == 0) in.s[2] = in.s[3] = 0;  // untrimmed sampling, zero bounce time
  return in;
}

// Runs every case on `rounds` random inputs; returns the number of failures
// (reported through gtest, at most a few per case).
int RunTable(uint32_t seed, int rounds) {
  int failures = 0;
  for (const Case& c : kCases) {
    void* fn = vorta::host::LinkedKernel(c.name);
    std::mt19937 rng(seed);
    int reported = 0;
    for (int round = 0; round < rounds; ++round) {
      const bool specials = round % 2 == 1;
      const In in = Generate(rng, specials);
      Out got, want;
      c.call(fn, in, got);
      c.replayF(in, want);
      // Without a full bit oracle (look rotations) only what the replay fixes is compared.
      bool same = c.exact ? got.n == want.n : want.n <= got.n;
      for (int i = 0; same && i < want.n; ++i) same = SameFloat(got.f[i], want.f[i]);
      Res<double> ref;
      bool near = true;
      if (!specials && c.replayD) {
        c.replayD(in, ref, got);
        for (int i = 0; i < ref.n; ++i) {
          const double g = c.exact ? double(got.f[i]) : 0.0;  // look rotations: residuals
          near = near && std::fabs(g - ref.f[i]) <= 2e-3 * std::max(1.0, std::fabs(ref.f[i]));
        }
      }
      if ((!same || !near) && reported++ < 3) {
        ADD_FAILURE() << c.name << " round " << round
                      << (same ? " far from double" : " bits differ") << " first output "
                      << got.f[0] << " vs " << want.f[0];
      }
      failures += !same || !near;
    }
  }
  return failures;
}

class DirectMaths : public vorta_test::VariantTest {};

TEST_P(DirectMaths, MatchesReplayOnRandomInputs) { EXPECT_EQ(RunTable(11, 4000), 0); }

TEST_P(DirectMaths, SeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] { failures[t] = RunTable(100 + t, 600); });
  for (auto& t : threads) t.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

TEST_P(DirectMaths, TwinsAgree) {
  std::mt19937 rng(3);
  for (auto& twin : kTwins) {
    const Case* c = nullptr;
    for (const Case& k : kCases)
      if (!strcmp(k.name, twin[1])) c = &k;
    ASSERT_TRUE(c);
    for (int round = 0; round < 300; ++round) {
      const In in = Generate(rng, true);
      Out a, b;
      c->call(vorta::host::LinkedKernel(twin[0]), in, a);
      c->call(vorta::host::LinkedKernel(twin[1]), in, b);
      bool same = a.n == b.n;
      for (int i = 0; same && i < a.n; ++i) same = SameFloat(a.f[i], b.f[i]);
      ASSERT_TRUE(same) << twin[0] << " round " << round;
    }
  }
}

template <class Fn>
Fn K(const char* name) {
  return reinterpret_cast<Fn>(vorta::host::LinkedKernel(name));
}
typedef std::vector<float> Floats;
inline Floats F(VortaVec3 v) { return {v.x, v.y, v.z}; }
inline Floats F(VortaQuat q) { return {q.x, q.y, q.z, q.w}; }

// Fixed points of the kernels and the defined results for degenerate inputs,
// independent of the replays.
struct Edge {
  const char* what;
  Floats (*run)();
  Floats want;
  float tolerance = 0;
};
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
const VortaVec3 kO{0, 0, 0}, kX{1, 0, 0}, kY{0, 1, 0}, kZ{0, 0, 1};
const Edge kEdges[] = {
    {"three-segment bounce ends at 1.1875",
     [] { return Floats{K<VortaEaseFn>(VORTA_EXPORT_EASING_BOUNCE3)(0, 1, 1, 1)}; },
     {1.1875f}},
    {"four-segment bounce ends at 1",
     [] { return Floats{K<VortaEaseFn>(VORTA_EXPORT_EASING_BOUNCE4)(0, 1, 2, 1)}; },
     {1}},
    {"bounce before the start gives from",
     [] { return Floats{K<VortaEaseFn>(VORTA_EXPORT_EASING_BOUNCE4)(3, 1, -1, 2)}; },
     {3}},
    {"bounce of a NaN time is NaN",
     [] { return Floats{K<VortaEaseFn>(VORTA_EXPORT_EASING_BOUNCE3)(0, 1, kNan, 1)}; },
     {kNan}},
    {"chord length of one chord is the straight distance",
     [] {
       VortaVec3 a{0, 0, 0}, b{1, 2, 0}, c{-1, 5, 0}, d{3, 4, 0};
       return Floats{K<VortaChordLengthFn>(VORTA_EXPORT_EASING_CHORD_LENGTH)(&a, &b, &c, &d, 1)};
     },
     {5}},
    {"trimmed sampling of one point gives the curve at the start trim",
     [] {
       VortaVec3 a{0, 0, 0}, c{1, 1, 0}, b{2, 0, 0}, pts[2] = {{9, 9, 9}, {9, 9, 9}};
       VortaVec3* p = pts;
       bool ok = K<VortaTrimmedQuadraticFn>(VORTA_EXPORT_EASING_SAMPLE_TRIMMED_QUADRATIC)(
           1, &a, &c, &b, &p, 0, 0.5f, 0.5f);
       return Floats{float(ok),
                     float(std::isfinite(pts[0].x) && pts[0].x > 0.2f && pts[0].x < 0.6f),
                     pts[1].x};
     },
     {1, 1, 9}},
    {"plane projection on a zero normal keeps v",
     [] {
       VortaVec3 v{1, 2, 3}, out;
       K<VortaVec3BinaryFn>(VORTA_EXPORT_GEOMETRY_PLANE_PROJECT)(&v, &kO, &out);
       return F(out);
     },
     {1, 2, 3}},
    {"plane projection on a normal of squared length 2^-23 projects",
     [] {
       VortaVec3 v{1, 2, 3}, n{0x1p-12f, 0x1p-12f, 0}, out;
       K<VortaVec3BinaryFn>(VORTA_EXPORT_GEOMETRY_PLANE_PROJECT)(&v, &n, &out);
       return F(out);
     },
     {-0.5f, 0.5f, 3}},
    {"range test is strict",
     [] {
       return Floats{float(K<VortaVec3TestFn>(VORTA_EXPORT_GEOMETRY_WITHIN_RANGE)(&kX, &kX, 0))};
     },
     {0}},
    {"approximate equality is strict",
     [] {
       VortaVec3 b{1.5f, 0, 0};
       return Floats{float(K<VortaVec3TestFn>(VORTA_EXPORT_GEOMETRY_APPROX_EQUAL)(&kX, &b, 0.5f))};
     },
     {0}},
    {"perpendicular of x is -y, of zero is zero",
     [] {
       VortaVec3 a, b;
       K<VortaPerpendicularFn>(VORTA_EXPORT_GEOMETRY_PERPENDICULAR)(&kX, &a);
       K<VortaPerpendicularFn>(VORTA_EXPORT_GEOMETRY_PERPENDICULAR)(&kO, &b);
       Floats r = F(a), z = F(b);
       r.insert(r.end(), z.begin(), z.end());
       return r;
     },
     {0, -1, 0, 0, 0, 0}},
    {"radial falloff at the outer and inner radius",
     [] {
       VortaVec3 b{2, 0, 0};
       auto f = K<VortaRadialFalloffFn>(VORTA_EXPORT_GEOMETRY_RADIAL_FALLOFF);
       return Floats{f(&kO, &b, 1, 2), f(&kO, &b, 2, 3)};
     },
     {0, 1}},
    {"segment shortening: overlapping, reversed and short segments are refused untouched",
     [] {
       VortaVec3 b{1, 0, 0}, tiny{0.005f, 0, 0};
       VortaSegment seg{{7, 7, 7}, {7, 7, 7}, {7, 7, 7}};
       VortaSegment* p = &seg;
       auto f = K<VortaShortenSegmentFn>(VORTA_EXPORT_GEOMETRY_SHORTEN_SEGMENT);
       return Floats{float(f(&kO, &b, 0.7f, 0.7f, &p)), float(f(&kO, &b, 2, 0, &p)),
                     float(f(&kO, &tiny, 0, 0, &p)), seg.start.x, seg.end.z};
     },
     {0, 0, 0, 7, 7}},
    {"direction between equal points is zero",
     [] {
       VortaVec3 d;
       float sq, len;
       float z = K<VortaDirectionFn>(VORTA_EXPORT_GEOMETRY_DIRECTION)(&kY, &kY, &d, &sq, &len);
       return Floats{z, d.x, d.y, d.z, sq, len};
     },
     {0, 0, 0, 0, 0, 0}},
    {"moving toward the same point stays there",
     [] {
       VortaVec3 out;
       K<VortaMoveTowardFn>(VORTA_EXPORT_GEOMETRY_MOVE_TOWARD)(&kY, &kY, 3, &out);
       return F(out);
     },
     {0, 1, 0}},
    {"re-aiming at the origin stays at the origin",
     [] {
       VortaVec3 out;
       float d;
       K<VortaProjectReaimFn>(VORTA_EXPORT_GEOMETRY_PROJECT_REAIM)(&kY, &kX, &kZ, &kY, &d, &out);
       return F(out);
     },
     {0, 1, 0}},
    {"angle with the zero vector is 0, opposite vectors 180",
     [] {
       float a, b;
       VortaVec3 m{-1, 0, 0};
       K<VortaVectorAngleFn>(VORTA_EXPORT_ROTATION_VECTOR_ANGLE)(&kX, &kO, &a);
       K<VortaVectorAngleFn>(VORTA_EXPORT_ROTATION_VECTOR_ANGLE)(&kX, &m, &b);
       return Floats{a, b};
     },
     {0, 180}},
    {"angle between huge vectors does not overflow to 90",
     [] {
       float a, b;
       VortaVec3 p{1e30f, 0, 0}, q{1e30f, 1e30f, 0}, r{3e19f, 0, 0};
       K<VortaVectorAngleFn>(VORTA_EXPORT_ROTATION_VECTOR_ANGLE)(&p, &q, &a);
       K<VortaVectorAngleFn>(VORTA_EXPORT_ROTATION_VECTOR_ANGLE)(&r, &r, &b);
       return Floats{a, b};
     },
     {45, 0},
     1e-3f},
    {"q and -q are 0 degrees apart",
     [] {
       VortaQuat q{0.5f, -0.5f, 0.5f, 0.5f}, m{-0.5f, 0.5f, -0.5f, -0.5f};
       float a;
       K<VortaRotationAngleFn>(VORTA_EXPORT_ROTATION_ROTATION_ANGLE)(&q, &m, &a);
       return Floats{a};
     },
     {0}},
    {"joint angle of parallel, opposite and zero-length bones",
     [] {
       VortaVec3 a{0.1f, 0.7f, 0.3f}, tip{0.3f, 2.1f, 0.9f}, back{-0.1f, -0.7f, -0.3f};
       VortaQuat id{0, 0, 0, 1};
       auto f = K<VortaJointAngleFn>(VORTA_EXPORT_ROTATION_JOINT_ANGLE);
       return Floats{f(&a, &kO, &id, &tip), f(&a, &kO, &id, &back), f(&kO, &kO, &id, &tip)};
     },
     {0, 180, 90},
     0.05f},
    {"axis rotation with selectors 3 and -1 is +z",
     [] {
       VortaQuat q{0.5f, 0.5f, 0.5f, 0.5f};
       VortaVec3 a, b;
       K<VortaAxisRotationFn>(VORTA_EXPORT_ROTATION_AXIS)(&a, 3, &q, 1);
       K<VortaAxisRotationFn>(VORTA_EXPORT_ROTATION_AXIS)(&b, -1, &q, 1);
       return Floats{a.x, a.y, a.z, b.x, b.y, b.z};
     },
     {0, 0, 1, 0, 0, 1}},
    {"look rotations: up along forward and zero forward give the identity",
     [] {
       VortaQuat a, b, c;
       VortaVec3 f{0, 3, 0};
       K<VortaLookRotationFn>(VORTA_EXPORT_ROTATION_LOOK_PROJECTED)(&f, &kY, &a);
       K<VortaLookRotationFn>(VORTA_EXPORT_ROTATION_LOOK)(&f, &kY, &b);
       K<VortaLookRotationFn>(VORTA_EXPORT_ROTATION_LOOK)(&kO, &kY, &c);
       Floats r = F(a), y = F(b), z = F(c);
       r.insert(r.end(), y.begin(), y.end());
       r.insert(r.end(), z.begin(), z.end());
       return r;
     },
     {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}},
    {"looking along +x with a long forward turns 90 degrees about y",
     [] {
       VortaQuat a, b;
       VortaVec3 f{5, 2, 0};
       K<VortaLookRotationFn>(VORTA_EXPORT_ROTATION_LOOK_PROJECTED)(&f, &kY, &a);
       VortaVec3 g{5, 0, 0};
       K<VortaLookRotationFn>(VORTA_EXPORT_ROTATION_LOOK)(&g, &kY, &b);
       Floats r = F(a), y = F(b);
       r.insert(r.end(), y.begin(), y.end());
       return r;
     },
     {0, 0.70710677f, 0, 0.70710677f, 0, 0.70710677f, 0, 0.70710677f},
     1e-6f},
};

TEST_P(DirectMaths, FixedPointsAndDegenerateInputs) {
  for (const Edge& e : kEdges) {
    const Floats got = e.run();
    ASSERT_EQ(got.size(), e.want.size()) << e.what;
    for (size_t i = 0; i < got.size(); ++i)
      EXPECT_TRUE(SameFloat(got[i], e.want[i]) || std::fabs(got[i] - e.want[i]) <= e.tolerance)
          << e.what << ": output " << i << " is " << got[i] << ", want " << e.want[i];
  }
}

VORTA_INSTANTIATE_VARIANTS(Variants, DirectMaths);

}  // namespace
