// The scene side of a frame.
//
// Run (from the repository root, after building):
//   build/bench/scene_bench --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
//
// Names read  <what>/<variant>/workers:<n>:
//   track/static      transform tracking of 100,000 objects, none moving
//   track/moving1pct  the same with 1 % of the objects moved before every run
//   query/static      baseline: the three host queries and cache comparisons
//                     per object that any tracking must do, as a plain job
//   lights            light depth bounds and screen-row binning of 1,024 lights
//                     in two views, 1920 x 1080 pixels in 16-pixel tiles
//   bins              depth bins (512 per view) and tile masks of that frame
//                     (bins/depth and bins/tiles: each job alone)
//   clear             baseline: writing the bin and tile masks once
// Everything is timed on the wall clock, and (names ending /cpu) the main
// figures on the process's CPU clock too. items_per_second counts objects (track, query) or lights (lights, bins,
// clear). The table after the runs gives 2 workers over 1, tracking over the
// query baseline, and the bins and masks' time over the clear's.
#include <stdint.h>
#include <string.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <vorta/vorta.h>

#include "bench/bench_util.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "tests/scene_frame.h"

namespace {

using vorta::CpuVariant;
constexpr int kObjects = 100000, kLights = 1024;

// --- transform tracking -----------------------------------------------------

struct Tracking {
  vorta::host::Scene scene;
  std::unique_ptr<vorta::host::TransformArray> array;
  std::vector<int32_t> ids;
  std::vector<float> pos, rot, scl, offset, combined, world, spheres;
  std::vector<uint8_t> dirty;
  std::vector<int32_t> source;
  VortaTransformTrackingJob job{};
  Tracking() : pos(3 * kObjects), rot(4 * kObjects), scl(3 * kObjects), offset(16 * kObjects),
               combined(16 * kObjects), world(16 * kObjects), spheres(4 * kObjects),
               dirty(kObjects), source(kObjects) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int i = 0; i < kObjects; ++i) {
      const float p[3] = {100 * u(rng), 100 * u(rng), 100 * u(rng)}, q[4] = {0, 0.6f, 0, 0.8f},
                  s[3] = {1, 1, 1};
      ids.push_back(scene.Add(p, q, s));
      memcpy(&pos[3 * i], p, 12), memcpy(&rot[4 * i], q, 16), memcpy(&scl[3 * i], s, 12);
      for (int k = 0; k < 4; ++k) offset[16 * i + 5 * k] = 1;
      source[i] = i & 1;
    }
    array = std::make_unique<vorta::host::TransformArray>(scene, ids);
    std::vector<int32_t> sorted(kObjects);
    for (int i = 0; i < kObjects; ++i) sorted[i] = (i * 7919) % kObjects;  // a permutation
    array->SetSortedOrder(sorted);
    job.positions = pos.data(), job.rotations = rot.data(), job.scales = scl.data();
    job.dirty = dirty.data(), job.matrixSource = source.data(), job.offsetMatrices = offset.data();
    job.combinedMatrices = combined.data(), job.worldMatrices = world.data();
    job.boundingSpheres = spheres.data(), job.threshold = 1e-6f;
  }
  void MoveOnePercent(int step) {
    for (int i = 0; i < kObjects; i += 100) {
      vorta::host::Transform& t = scene.At(ids[i]);
      t.position[1] = (step & 1) ? 1.0f : -1.0f;
    }
  }
};
Tracking& TheTracking() {
  static Tracking* t = new Tracking;
  return *t;
}

void BM_Track(benchmark::State& state, CpuVariant v, int workers, bool moving) {
  bench::UseVariant(v);
  Tracking& t = TheTracking();
  VortaTransformTrackingJob job = t.job;
  VortaTransformJobTarget target{t.array->Handle(), 1};
  const vorta::JobEntry entry = vorta::host::LinkedJob(VORTA_EXPORT_TRANSFORMS_TRACKING);
  vorta::host::JobOptions o = bench::Workers(workers);
  o.batchSize = 512;
  int step = 0;
  for (auto _ : state) {
    if (moving) {
      state.PauseTiming();
      t.MoveOnePercent(++step);
      state.ResumeTiming();
    }
    vorta::host::RunJob(entry, &job, sizeof job, kObjects, o, &target);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kObjects);
}

// The floor of any tracking: per object, the three host queries and the
// comparisons with the caches.
VORTA_MSABI void QueryBatches(void* job, void* additional, void*, vorta::BatchRanges* ranges,
                              uint32_t jobIndex) {
  const auto* j = static_cast<const VortaTransformTrackingJob*>(job);
  const auto* target = static_cast<const VortaTransformJobTarget*>(additional);
  namespace svc = vorta::host::service;
  const int32_t* toUser = svc::GetSortedToUserIndex(target->transformArray);
  const uint8_t* access = static_cast<const uint8_t*>(svc::GetSortedTransformAccess(target->transformArray));
  int32_t begin, end;
  int changed = 0;
  while (svc::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)
    for (int32_t s = begin; s < end; ++s) {
      const int32_t u = toUser[s];
      float p[4] = {}, q[4] = {}, c[4] = {};
      svc::GetPosition(access + 16 * s, p);
      svc::GetRotation(access + 16 * s, q);
      svc::GetLocalScale(access + 16 * s, c);
      changed += memcmp(p, j->positions + 3 * u, 12) != 0;
      changed += memcmp(q, j->rotations + 4 * u, 16) != 0;
      changed += memcmp(c, j->scales + 3 * u, 12) != 0;
    }
  benchmark::DoNotOptimize(changed);
}

void BM_Query(benchmark::State& state, int workers) {
  Tracking& t = TheTracking();
  VortaTransformJobTarget target{t.array->Handle(), 1};
  vorta::host::JobOptions o = bench::Workers(workers);
  o.batchSize = 512;
  for (auto _ : state) vorta::host::RunJob(&QueryBatches, &t.job, sizeof t.job, kObjects, o, &target);
  state.SetItemsProcessed(int64_t(state.iterations()) * kObjects);
}

// --- lights, bins and tiles ---------------------------------------------------

constexpr int kBins = 512, kMaskWords = kLights / 32, kEntries = scene_frame::Frame::kRows + 1;

struct LightFrame {
  scene_frame::Frame frame{false};
  std::vector<VortaLightRecord> lights;
  std::vector<float> bounds = std::vector<float>(4 * kLights);
  std::vector<int32_t> spans = std::vector<int32_t>(2 * kLights * kEntries);
  std::vector<uint32_t> bins = std::vector<uint32_t>(2 * kBins * (kMaskWords + 2));
  std::vector<uint32_t> masks = std::vector<uint32_t>(
      2 * scene_frame::Frame::kRows * scene_frame::Frame::kColumns * kMaskWords);
  VortaLightDepthBoundsJob boundsJob{};
  VortaScreenBinningJob binningJob{};
  VortaDepthBinJob binJob{};
  VortaTileRangeJob tileJob{};
  LightFrame() {
    std::mt19937 rng(2);
    // A frame's lights: mostly small on screen, a few close and large.
    lights = scene_frame::RandomLights(frame, kLights, rng);
    for (VortaLightRecord& l : lights) {
      l.position[2] = l.position[2] * 2 - 4;
      l.range = l.range * 0.4f;
    }
    memcpy(boundsJob.viewMatrices, frame.views, sizeof frame.views);
    boundsJob.lights = lights.data(), boundsJob.lightCount = kLights;
    boundsJob.depthBounds = bounds.data();
    frame.Fill(binningJob);
    binningJob.lights = lights.data(), binningJob.lightCount = kLights;
    binningJob.spans = spans.data(), binningJob.itemsPerView = kLights;
    binningJob.entriesPerItem = kEntries;
    binJob.bins = bins.data(), binJob.ranges = bounds.data();
    binJob.scale = float(kBins / std::log(500.0)), binJob.bias = float(-kBins * std::log(0.1) / std::log(500.0));
    binJob.binCount = kBins, binJob.maskWords = kMaskWords, binJob.lightCount = kLights;
    binJob.chunksPerView = kBins / 128, binJob.views = 2;
    tileJob.spans = spans.data(), tileJob.masks = masks.data(), tileJob.entriesPerItem = kEntries;
    tileJob.itemsPerView = kLights, tileJob.wordsPerTile = kMaskWords;
    tileJob.columns = scene_frame::Frame::kColumns, tileJob.rows = scene_frame::Frame::kRows;
  }
  void Lights(int workers) {
    vorta::host::JobOptions o = bench::Workers(workers);
    o.batchSize = 16;
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_LIGHT_BINNING_DEPTH_BOUNDS), &boundsJob,
                        sizeof boundsJob, 2 * kLights, o);
    o.privateRecords = true;
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_LIGHT_BINNING_SCREEN_ROWS), &binningJob,
                        sizeof binningJob, 2 * kLights, o);
  }
};
LightFrame& TheLightFrame() {
  static LightFrame* f = new LightFrame;
  return *f;
}

void BM_Lights(benchmark::State& state, CpuVariant v, int workers) {
  bench::UseVariant(v);
  LightFrame& f = TheLightFrame();
  for (auto _ : state) f.Lights(workers);
  state.SetItemsProcessed(int64_t(state.iterations()) * kLights);
}

void BM_Bins(benchmark::State& state, CpuVariant v, int workers, int parts) {
  bench::UseVariant(v);
  LightFrame& f = TheLightFrame();
  f.Lights(workers);
  vorta::host::JobOptions o = bench::Workers(workers);
  o.batchSize = 8;
  for (auto _ : state) {
    if (parts & 1)
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_DEPTHBINS_DEPTH_BINS), &f.binJob,
                          sizeof f.binJob, 2 * (kBins / 128), o);
    if (parts & 2)
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_DEPTHBINS_TILE_RANGES), &f.tileJob,
                          sizeof f.tileJob, 2 * scene_frame::Frame::kRows, o);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kLights);
}

struct ClearJob {
  uint32_t* bins;
  uint32_t* masks;
  size_t binWords, rowWords;
};

// Writes the masks once: one view's bin records per index, then a tile row each.
VORTA_MSABI void ClearBatches(void* job, void*, void*, vorta::BatchRanges* ranges, uint32_t jobIndex) {
  const auto* j = static_cast<const ClearJob*>(job);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)
    for (int32_t e = begin; e < end; ++e) {
      if (e < 2) memset(j->bins + e * j->binWords, 0, j->binWords * 4);
      else memset(j->masks + (e - 2) * j->rowWords, 0, j->rowWords * 4);
    }
}

void BM_Clear(benchmark::State& state, int workers) {
  LightFrame& f = TheLightFrame();
  ClearJob job{f.bins.data(), f.masks.data(), f.bins.size() / 2,
               f.masks.size() / (2 * scene_frame::Frame::kRows)};
  vorta::host::JobOptions o = bench::Workers(workers);
  o.batchSize = 8;
  for (auto _ : state)
    vorta::host::RunJob(&ClearBatches, &job, sizeof job, 2 + 2 * scene_frame::Frame::kRows, o);
  state.SetItemsProcessed(int64_t(state.iterations()) * kLights);
}

std::vector<bench::RatioPair> g_pairs;

// Wall-clock time for every worker count: the 2-worker over 1-worker ratios
// then compare like with like.
void Timing(benchmark::internal::Benchmark* b, int) { b->Unit(benchmark::kMicrosecond)->UseRealTime(); }

void RegisterAll() {
  const CpuVariant v = bench::AvailableVariants("scene_bench").back();
  const std::string vn = std::string("/") + vorta::host::VariantName(v);
  auto name = [](const std::string& what, const std::string& variant, int w) {
    return what + variant + "/workers:" + std::to_string(w);
  };
  for (int w : {1, 2}) {
    Timing(benchmark::RegisterBenchmark(name("track/static", vn, w).c_str(), BM_Track, v, w, false), w);
    Timing(benchmark::RegisterBenchmark(name("track/moving1pct", vn, w).c_str(), BM_Track, v, w, true), w);
    Timing(benchmark::RegisterBenchmark(name("query/static", "", w).c_str(), BM_Query, w), w);
    Timing(benchmark::RegisterBenchmark(name("lights", vn, w).c_str(), BM_Lights, v, w), w);
    Timing(benchmark::RegisterBenchmark(name("bins", vn, w).c_str(), BM_Bins, v, w, 3), w);
    Timing(benchmark::RegisterBenchmark(name("bins/depth", vn, w).c_str(), BM_Bins, v, w, 1), w);
    Timing(benchmark::RegisterBenchmark(name("bins/tiles", vn, w).c_str(), BM_Bins, v, w, 2), w);
    Timing(benchmark::RegisterBenchmark(name("clear", "", w).c_str(), BM_Clear, w), w);
    g_pairs.push_back({name("track/static", vn, w), name("query/static", "", w)});
    g_pairs.push_back({name("track/moving1pct", vn, w), name("track/static", vn, w)});
    g_pairs.push_back({name("bins", vn, w), name("clear", "", w), true, 3.0});
  }
  // The machine these run on may be shared: the same jobs on the CPU clock of
  // the whole process as well, so that 1 worker's CPU time over 2 workers'
  // says how much of the second worker's time is useful work (2x that ratio
  // is the speed-up an idle machine would show, waits apart).
  for (int w : {1, 2}) {
    auto cpu = [](benchmark::internal::Benchmark* b) {
      b->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
    };
    cpu(benchmark::RegisterBenchmark(name("track/static", vn, w).append("/cpu").c_str(), BM_Track, v, w, false));
    cpu(benchmark::RegisterBenchmark(name("track/moving1pct", vn, w).append("/cpu").c_str(), BM_Track, v, w, true));
    cpu(benchmark::RegisterBenchmark(name("lights", vn, w).append("/cpu").c_str(), BM_Lights, v, w));
    cpu(benchmark::RegisterBenchmark(name("bins", vn, w).append("/cpu").c_str(), BM_Bins, v, w, 3));
  }
  for (const char* what : {"track/static", "track/moving1pct", "lights", "bins"}) {
    g_pairs.push_back({name(what, vn, 2), name(what, vn, 1), false,
                       std::string(what).rfind("track", 0) == 0 ? 1.8 : 0.0});
    g_pairs.push_back({name(what, vn, 2) + "/cpu", name(what, vn, 1) + "/cpu"});
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Rate relative to the baseline",
                              "items_per_second", g_pairs);
}
