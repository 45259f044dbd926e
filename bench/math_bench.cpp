// Direct-call maths: calls per second through the exported entry (forwarder,
// slot jump and the Windows x64 call) against the same arithmetic inlined here
// from the library's own primitive headers.
//
// Run (from the repository root, after building):
//   build/bench/math_bench
//   build/bench/math_bench --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
//
// Names read  math/<kernel>/export/<variant>   1024 calls through the export per iteration
//             math/<kernel>/inline             the same 1024 evaluations inlined
// The sampled curve has no export of its own here (the tweens call it); its
// three wrap modes are measured inlined, and the host slerp as the library
// calls it (through the resolved service slot) against a direct call.
// items_per_second counts calls. The table gives each export's time over the
// inlined time (the goal is 1.3 or less) and AVX2's rate over SSE2's.
#define VORTA_VARIANT_SSE2 1  // the inlined copies: the baseline processor's code
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "math/angles.h"
#include "math/curves.h"
#include "math/sampled_curve.h"
#include "vorta/vorta.h"

namespace {

using vorta::CpuVariant;
using vorta::Quat;
using vorta::Vec3;
namespace m = vorta::sse2;

constexpr int kBatch = 1024;

struct Data {
  Vec3 a[kBatch], b[kBatch], c[kBatch], d[kBatch], out[kBatch];
  Quat q[kBatch], qo[kBatch];
  float t[kBatch], f[kBatch];
  float samples[33];
};

Data& D() {
  static Data* d = [] {
    auto* p = new Data;
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    auto v = [&] { return Vec3{u(rng), u(rng), u(rng)}; };
    for (int i = 0; i < kBatch; ++i) {
      p->a[i] = v(), p->b[i] = v(), p->c[i] = v(), p->d[i] = v();
      Quat q{u(rng), u(rng), u(rng), u(rng)};
      const float n = 1.0f / std::sqrt(m::Dot4(q, q));
      p->q[i] = Quat{q.x * n, q.y * n, q.z * n, q.w * n};
      p->t[i] = 0.5f * (u(rng) + 1.0f);
    }
    for (float& s : p->samples) s = u(rng);
    return p;
  }();
  return *d;
}

template <class Fn> Fn Export(void* fn) { return reinterpret_cast<Fn>(fn); }

struct Work {
  const char* name;
  const char* exportName;  // null: measured inlined only
  void (*viaExport)(void* fn, Data& d);
  void (*inlined)(Data& d);
};

VortaSampledCurve Curve(Data& d, int32_t wrap) {
  return VortaSampledCurve{d.samples, 33, 0, wrap, wrap};
}
template <int32_t kWrap> void SampleInline(Data& d) {
  const VortaSampledCurve c = Curve(d, kWrap);
  for (int i = 0; i < kBatch; ++i) d.f[i] = m::Sample(c, d.t[i] * 5.0f - 2.0f);
}

const Work kWork[] = {
    {"bounce_ease", VORTA_EXPORT_EASING_BOUNCE3,
     [](void* fn, Data& d) {
       auto k = Export<VortaEaseFn>(fn);
       for (int i = 0; i < kBatch; ++i) d.f[i] = k(d.a[i].x, d.b[i].x, d.t[i], 1.3f);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i)
         d.f[i] = (d.b[i].x - d.a[i].x) * m::BounceEase<m::Kind3>(d.t[i], 1.3f) + d.a[i].x;
     }},
    {"cubic_bezier_point", VORTA_EXPORT_EASING_CUBIC_POINT,
     [](void* fn, Data& d) {
       auto k = Export<VortaCubicPointFn>(fn);
       for (int i = 0; i < kBatch; ++i) k(&d.a[i], &d.b[i], &d.c[i], &d.d[i], d.t[i], &d.out[i]);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i) d.out[i] = m::Cubic(d.a[i], d.b[i], d.c[i], d.d[i], d.t[i]);
     }},
    {"plane_projection", VORTA_EXPORT_GEOMETRY_PLANE_PROJECT,
     [](void* fn, Data& d) {
       auto k = Export<VortaVec3BinaryFn>(fn);
       for (int i = 0; i < kBatch; ++i) k(&d.a[i], &d.b[i], &d.out[i]);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i) d.out[i] = m::ProjectOntoPlane(d.a[i], d.b[i]);
     }},
    {"line_distance", VORTA_EXPORT_GEOMETRY_LINE_DISTANCE,
     [](void* fn, Data& d) {
       auto k = Export<VortaLineDistanceFn>(fn);
       for (int i = 0; i < kBatch; ++i) k(&d.a[i], &d.b[i], &d.c[i], &d.f[i]);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i) {
         const Vec3 e = m::Sub(d.b[i], d.a[i]);
         d.f[i] = m::Length(m::Sub(e, m::Scale(m::Dot(e, d.c[i]), d.c[i])));
       }
     }},
    {"quaternion_rotate", VORTA_EXPORT_ROTATION_ROTATE_ABOUT,
     [](void* fn, Data& d) {
       auto k = Export<VortaRotateAboutFn>(fn);
       for (int i = 0; i < kBatch; ++i) k(&d.out[i], &d.a[i], &d.q[i], &d.b[i]);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i) d.out[i] = m::Rotate(d.q[i], m::Sub(d.b[i], d.a[i]));
     }},
    {"look_rotation", VORTA_EXPORT_ROTATION_LOOK_PROJECTED,
     [](void* fn, Data& d) {
       auto k = Export<VortaLookRotationFn>(fn);
       for (int i = 0; i < kBatch; ++i) k(&d.a[i], &d.b[i], &d.qo[i]);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i) {
         const Vec3 f = m::ProjectOntoPlane(d.a[i], d.b[i]);
         d.qo[i] = m::LookRotationOf(f, m::NormalizeOrZero(m::Cross(d.b[i], f)));
       }
     }},
    {"vector_angle", VORTA_EXPORT_ROTATION_VECTOR_ANGLE,
     [](void* fn, Data& d) {
       auto k = Export<VortaVectorAngleFn>(fn);
       for (int i = 0; i < kBatch; ++i) k(&d.a[i], &d.b[i], &d.f[i]);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i) d.f[i] = m::VectorAngleDegrees(d.a[i], d.b[i]);
     }},
    {"range_test", VORTA_EXPORT_GEOMETRY_WITHIN_RANGE,
     [](void* fn, Data& d) {
       auto k = Export<VortaVec3TestFn>(fn);
       for (int i = 0; i < kBatch; ++i) d.f[i] = k(&d.a[i], &d.b[i], d.t[i]);
     },
     [](Data& d) {
       for (int i = 0; i < kBatch; ++i) d.f[i] = d.t[i] * d.t[i] > m::LengthSq(m::Sub(d.a[i], d.b[i]));
     }},
    {"sampled_curve_clamp", nullptr, nullptr, SampleInline<0>},
    {"sampled_curve_loop", nullptr, nullptr, SampleInline<VORTA_WRAP_LOOP>},
    {"sampled_curve_ping_pong", nullptr, nullptr, SampleInline<VORTA_WRAP_PING_PONG>},
};

void Run(benchmark::State& state, void (*body)(Data&)) {
  Data& d = D();
  for (auto _ : state) {
    body(d);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
}

void RunExport(benchmark::State& state, const Work* w, CpuVariant v) {
  bench::UseVariant(v);
  void* fn = vorta::host::LinkedKernel(w->exportName);
  Data& d = D();
  for (auto _ : state) {
    w->viaExport(fn, d);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
}

// The host's spherical interpolation as the library calls it (through the
// resolved slot) and called directly.
void RunSlerp(benchmark::State& state, bool viaSlot, CpuVariant v) {
  bench::UseVariant(v);
  Data& d = D();
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      const Vec3 a = m::NormalizeOrZero(d.a[i]), b = m::NormalizeOrZero(d.b[i]);
      if (viaSlot) {
        d.out[i] = m::HostSlerp(a, b, d.t[i]);
      } else {
        float pa[3] = {a.x, a.y, a.z}, pb[3] = {b.x, b.y, b.z}, o[3];
        vorta::host::service::Vector3Slerp(pa, pb, d.t[i], o);
        d.out[i] = Vec3{o[0], o[1], o[2]};
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
}

std::vector<bench::RatioPair> g_pairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("math_bench");
  for (const Work& w : kWork) {
    const std::string base = std::string("math/") + w.name;
    benchmark::RegisterBenchmark((base + "/inline").c_str(), Run, w.inlined);
    if (!w.exportName) continue;
    for (CpuVariant v : variants) {
      const std::string name = base + "/export/" + vorta::host::VariantName(v);
      benchmark::RegisterBenchmark(name.c_str(), RunExport, &w, v);
      g_pairs.push_back({name, base + "/inline", true, 1.3});
      if (v == CpuVariant::Avx2) g_pairs.push_back({name, base + "/export/SSE2", false});
    }
  }
  benchmark::RegisterBenchmark("math/host_slerp/direct", RunSlerp, false, CpuVariant::Sse2);
  benchmark::RegisterBenchmark("math/host_slerp/service_slot", RunSlerp, true, CpuVariant::Sse2);
  g_pairs.push_back({"math/host_slerp/service_slot", "math/host_slerp/direct", true});
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Direct-call maths: exports against inlined code",
                              "items_per_second", g_pairs);
}
