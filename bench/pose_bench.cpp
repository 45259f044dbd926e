// Direct calls of the pose and tween families as a host makes them, one call
// at a time on the calling thread: hand joints, two-stage smoothing, the
// four-float tween step, aiming and the throw assist, each AVX2 against SSE2;
// and the culling of 10,000 emitters against a plain scalar loop over the same
// test and output records, written here.
//
// Run (from the repository root, after building):
//   build/bench/pose_bench
//   build/bench/pose_bench --benchmark_filter=cull
//
// Names read  call/<kernel>/<variant>  and  cull/<scene>/<variant> or
// cull/<scene>/scalar-loop.  Scenes: sparse (about 3 in 100 emitters within
// reach, most layers on) and dense (about half within reach).
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "vorta/vorta.h"

namespace {

using vorta::CpuVariant;

template <class Fn>
Fn K(const char* name) {
  return reinterpret_cast<Fn>(vorta::host::LinkedKernel(name));
}

std::mt19937 g_rng(3);
float U(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(g_rng); }
VortaVec3 RV(float r) { return {U(-r, r), U(-r, r), U(-r, r)}; }
VortaQuat RQ() {
  VortaQuat q{U(-1, 1), U(-1, 1), U(-1, 1), U(-1, 1)};
  float n = sqrtf(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}

// ---- single calls -----------------------------------------------------------

void BM_HandJoints(benchmark::State& state, CpuVariant v) {
  bench::UseVariant(v);
  std::vector<VortaHandJoint> joints(26);
  for (auto& j : joints) j = {0, RV(0.2f), RQ(), {}, 2};
  std::vector<VortaPose> out(26);
  VortaHandJoint* src = joints.data();
  VortaPose* dst = out.data();
  auto fn = K<VortaHandJointsFn>(VORTA_EXPORT_POSE_HAND_JOINTS);
  for (auto _ : state) {
    fn(&src, &dst, nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_TwoStage(benchmark::State& state, CpuVariant v) {
  bench::UseVariant(v);
  VortaPose a{RV(1), RQ()}, target{RV(1), RQ()};
  VortaVec3 p = RV(1), tp = RV(1);
  auto fn = K<VortaTwoStageSmoothFn>(VORTA_EXPORT_POSE_TWO_STAGE_SMOOTH);
  for (auto _ : state) {
    fn(&a, &p, &target, &tp, 0.016f, true, 8, 0.5f, true, 8, 0.5f, true, 8, 0.5f);
    a.rotation = RQ();  // keep the rotation step on its spherical branch
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Tween(benchmark::State& state, CpuVariant v) {
  bench::UseVariant(v);
  std::vector<float> samples(16);
  for (float& s : samples) s = U(0, 1);
  float result[4];
  VortaTween4Step t{};
  for (int i = 0; i < 4; ++i) t.from[i] = U(-1, 1), t.to[i] = U(-1, 1), t.current[i] = U(-1, 1);
  t.curve = {samples.data(), 16, 0, 0, 0};
  t.rate = 0.2f;
  t.result = result;
  auto fn = K<VortaTween4StepFn>(VORTA_EXPORT_TWEENS_TWEEN4_STEP);
  for (auto _ : state) {
    t.phase = uint8_t(t.phase + 1);
    fn(&t);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Aim(benchmark::State& state, CpuVariant v) {
  bench::UseVariant(v);
  float anchor[3], eye[3], dir[3], up[3] = {0, 1, 0}, target[3], q[4], factor, zoom;
  for (int i = 0; i < 3; ++i) anchor[i] = U(-5, 5), eye[i] = U(-5, 5), dir[i] = U(-1, 1), target[i] = U(-20, 20);
  auto fn = K<VortaAimFn>(VORTA_EXPORT_AIMING_AIM);
  for (auto _ : state) {
    fn(anchor, eye, dir, up, target, 0.5f, 1.5f, q, &factor, &zoom);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Throw(benchmark::State& state, CpuVariant v) {
  bench::UseVariant(v);
  VortaVec3 from{0, 1, 0}, to{8, 0.5f, 3}, vel{5, 4, 2}, out;
  auto fn = K<VortaThrowAssistFn>(VORTA_EXPORT_POSE_THROW_ASSIST);
  for (auto _ : state) {
    fn(&from, &to, &vel, 9.81f, 60, 1, 1.5f, 0.7f, 0.01f, &out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

// ---- emitter culling ----------------------------------------------------------

struct Scene {
  int n;
  std::vector<uint8_t> poses, frames, outPoses, outFrames;
  std::vector<float> range, gains, spheres;
  std::vector<uint32_t> extra, columns, layers, ids, outIds;
  std::vector<int32_t> candidates, batches;
  int32_t batchCount = 0;
  VortaEmitterCullArgs args{};

  Scene(int count, float extent, uint32_t mask) : n(count) {
    poses.resize(64 * n), frames.resize(64 * n), outPoses.resize(64 * n), outFrames.resize(64 * n);
    range.resize(2 * n), gains.resize(n), spheres.resize(4 * n), extra.resize(2 * n);
    columns.resize(4 * n), layers.resize(n), ids.resize(n), outIds.resize(n);
    batches.resize(2 * (n / 250 + 2));
    for (auto& b : poses) b = uint8_t(g_rng());
    for (auto& b : frames) b = uint8_t(g_rng());
    for (int i = 0; i < n; ++i) {
      range[2 * i] = U(10, 30), range[2 * i + 1] = U(0, 0.5f), gains[i] = U(0, 1);
      for (int c = 0; c < 3; ++c) spheres[4 * i + c] = U(-extent, extent);
      spheres[4 * i + 3] = U(0, 2);
      extra[2 * i] = g_rng(), extra[2 * i + 1] = g_rng(), ids[i] = i, layers[i] = g_rng() & 31;
      for (int c = 0; c < 4; ++c) columns[4 * i + c] = g_rng();
      candidates.push_back(i);
    }
    auto arr = [](VortaHostArray& a, void* p) { a.data = p; };
    arr(args.sourcePoses, poses.data()), arr(args.sourceFrames, frames.data());
    arr(args.rangeParams, range.data()), arr(args.extraPair, extra.data());
    arr(args.columnWords, columns.data()), arr(args.layers, layers.data());
    arr(args.gains, gains.data()), arr(args.spheres, spheres.data()), arr(args.ids, ids.data());
    arr(args.candidates, candidates.data()), arr(args.outPoses, outPoses.data());
    arr(args.outFrames, outFrames.data()), arr(args.outIds, outIds.data());
    arr(args.outBatches, batches.data());
    args.outBatchCount = &batchCount;
    args.candidateCount = n, args.layerMask = mask, args.maxDistance = 25;
  }
};

// The same test and records, one emitter at a time, as a host would write it.
__attribute__((noinline)) void ScalarCull(const VortaEmitterCullArgs* a) {
  const int32_t* cand = static_cast<const int32_t*>(a->candidates.data);
  const uint8_t* layers = static_cast<const uint8_t*>(a->layers.data);
  const float* sph = static_cast<const float*>(a->spheres.data);
  const float* rp = static_cast<const float*>(a->rangeParams.data);
  const float* gains = static_cast<const float*>(a->gains.data);
  const uint32_t* cols = static_cast<const uint32_t*>(a->columnWords.data);
  const uint32_t* extra = static_cast<const uint32_t*>(a->extraPair.data);
  const uint32_t* ids = static_cast<const uint32_t*>(a->ids.data);
  const uint8_t* poses = static_cast<const uint8_t*>(a->sourcePoses.data);
  const uint8_t* frames = static_cast<const uint8_t*>(a->sourceFrames.data);
  uint8_t* outPoses = static_cast<uint8_t*>(a->outPoses.data);
  uint32_t* outFrames = static_cast<uint32_t*>(a->outFrames.data);
  uint32_t* outIds = static_cast<uint32_t*>(a->outIds.data);
  int32_t* batches = static_cast<int32_t*>(a->outBatches.data);
  int32_t j = 0, first = 0, nb = 0;
  for (int32_t c = 0; c < a->candidateCount; ++c) {
    const int32_t k = cand[c];
    if (!((a->layerMask >> (layers[4 * k] & 31)) & 1)) continue;
    const float dx = a->listener[0] - sph[4 * k], dy = a->listener[1] - sph[4 * k + 1],
                dz = a->listener[2] - sph[4 * k + 2];
    const float dist = sqrtf(dz * dz + (dy * dy + dx * dx));
    const float md = a->maxDistance, mr = rp[2 * k];
    const float reach = (md != md || mr < md ? mr : md) + sph[4 * k + 3];
    if (dist > reach) continue;
    memcpy(outPoses + 64 * j, poses + 64 * k, 64);
    uint32_t* f = outFrames + 16 * j;
    memcpy(f, frames + 64 * k, 64);
    f[3] = cols[4 * k], f[7] = cols[4 * k + 1], f[11] = cols[4 * k + 2];
    float g = (reach - dist) / ((1 - rp[2 * k + 1]) * reach);
    g = g < 1 ? g : 1;
    g = (g > 0 ? g : 0) * gains[k];
    memcpy(f + 12, &g, 4);
    f[13] = extra[2 * k], f[14] = extra[2 * k + 1], f[15] = cols[4 * k + 3];
    outIds[j] = ids[k];
    if (++j - first > 249) batches[2 * nb] = first, batches[2 * nb + 1] = j, ++nb, first = j;
  }
  if (first != j) batches[2 * nb] = first, batches[2 * nb + 1] = j, ++nb;
  *a->outBatchCount = nb;
}

Scene& SceneFor(int which) {
  static Scene sparse(10000, 120, 0xfffefffeu), dense(10000, 28, 0xffffffffu);
  return which == 0 ? sparse : dense;
}

void BM_Cull(benchmark::State& state, int which, int variant) {
  Scene& s = SceneFor(which);
  VortaEmitterCullFn fn = nullptr;
  if (variant >= 0) {
    bench::UseVariant(CpuVariant(variant));
    fn = K<VortaEmitterCullFn>(VORTA_EXPORT_AIMING_EMITTER_CULL);
  }
  for (auto _ : state) {
    if (fn) fn(&s.args);
    else ScalarCull(&s.args);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * s.n);
  state.counters["accepted"] = s.batchCount ? s.batches[2 * s.batchCount - 1] : 0;
}

std::vector<bench::RatioPair> g_pairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("pose_bench");
  struct Call {
    const char* name;
    void (*fn)(benchmark::State&, CpuVariant);
  } calls[] = {{"hand-joints", BM_HandJoints}, {"two-stage-smoothing", BM_TwoStage},
               {"tween-step", BM_Tween},       {"aim", BM_Aim},
               {"throw-assist", BM_Throw}};
  for (const Call& c : calls) {
    for (CpuVariant v : variants) {
      const std::string name = std::string("call/") + c.name + "/" + vorta::host::VariantName(v);
      bench::Timing(benchmark::RegisterBenchmark(name.c_str(), c.fn, v), 1);
      if (v == CpuVariant::Avx2)
        g_pairs.push_back({name, std::string("call/") + c.name + "/SSE2"});
    }
  }
  for (int which : {0, 1}) {
    const std::string scene = std::string("cull/") + (which == 0 ? "sparse" : "dense") + "/";
    bench::Timing(benchmark::RegisterBenchmark((scene + "scalar-loop").c_str(), BM_Cull, which, -1), 1);
    for (CpuVariant v : variants) {
      const std::string name = scene + vorta::host::VariantName(v);
      bench::Timing(benchmark::RegisterBenchmark(name.c_str(), BM_Cull, which, int(v)), 1);
      g_pairs.push_back({name, scene + "scalar-loop", false, v == CpuVariant::Avx2 ? 2.0 : 1.0});
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Calls or emitters per second relative to the baseline",
                              "items_per_second", g_pairs);
}
