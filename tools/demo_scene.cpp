// The demo's second part: one frame of the scene side through the exported
// jobs. A few thousand objects (a handful moving) go through transform
// tracking; a few hundred lights and boxes in front of a camera go through the
// light and box depth bounds, screen-row binning, depth bins and tile masks.
// It writes a PNG heat map of the lights per screen tile of the first view.
#include <math.h>
#include <png.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/scene_frame.h"
#include "tools/demo_common.h"

namespace demo {
namespace {

constexpr int kObjects = 4000, kMoving = 12, kLights = 384, kBoxes = 128;
constexpr int kItems = kLights + kBoxes, kViews = 2, kBins = 512;
constexpr int kColumns = scene_frame::Frame::kColumns, kRows = scene_frame::Frame::kRows;
constexpr int kEntries = kRows + 1, kMaskWords = (kItems + 31) / 32;
constexpr int kBoxRecordBytes = VORTA_DEPTH_BOUNDS_BOX_STRIDE;

// A colour for t in [0, 1]: black, purple, red, orange, pale yellow.
void Colour(double t, png_byte* rgb) {
  static const double kStops[5][3] = {
      {0, 0, 0}, {0.35, 0.05, 0.55}, {0.85, 0.15, 0.2}, {1, 0.6, 0}, {1, 1, 0.65}};
  const double at = std::clamp(t, 0.0, 1.0) * 4;
  const int i = std::min(int(at), 3);
  const double f = at - i;
  for (int c = 0; c < 3; ++c)
    rgb[c] = png_byte(255 * (kStops[i][c] + f * (kStops[i + 1][c] - kStops[i][c])) + 0.5);
}

// Lights per tile of one view as an 8 x 8-pixel block each, dark to bright.
bool WriteHeatMap(const std::string& path, const std::vector<int>& count, int maxCount) {
  constexpr int kCell = 8;
  const int width = kColumns * kCell, height = kRows * kCell;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(size_t(width) * 3);
  for (int y = 0; y < height; ++y) {
    const int tileRow = kRows - 1 - y / kCell;  // grid row 0 is the bottom of the view
    for (int x = 0; x < width; ++x) {
      const double t = maxCount ? double(count[tileRow * kColumns + x / kCell]) / maxCount : 0;
      png_byte* p = &row[size_t(x) * 3];
      Colour(t, p);
      if (x % kCell == 0 || y % kCell == 0) p[0] = p[0] * 3 / 4, p[1] = p[1] * 3 / 4, p[2] = p[2] * 3 / 4;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return fclose(f) == 0;
}

}  // namespace

bool RunScene(const Kernels& kernels, const Options& options, std::string* json) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1, 1);
  std::vector<Stage> stages;
  auto timed = [&](const char* name, auto&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    stages.push_back({name, Since(start)});
  };

  // --- transforms: the host's scene and the job's caches ---------------------
  vorta::host::Scene scene;
  std::vector<int32_t> ids;
  std::vector<float> pos(3 * kObjects), rot(4 * kObjects), scl(3 * kObjects),
      offset(16 * kObjects), combined(16 * kObjects), world(16 * kObjects),
      spheres(4 * kObjects);
  std::vector<uint8_t> dirty(kObjects);
  std::vector<int32_t> source(kObjects);
  for (int i = 0; i < kObjects; ++i) {
    const float p[3] = {50 * u(rng), 5 * u(rng), 50 * u(rng)};
    const float a = 3.14159265f * u(rng);
    const float q[4] = {0, sinf(a / 2), 0, cosf(a / 2)}, s[3] = {1, 1 + 0.5f * u(rng), 1};
    ids.push_back(scene.Add(p, q, s));
    for (int k = 0; k < 4; ++k) offset[16 * i + 5 * k] = 1;
  }
  vorta::host::TransformArray array(scene, ids);
  VortaTransformTrackingJob track{};
  track.positions = pos.data(), track.rotations = rot.data(), track.scales = scl.data();
  track.dirty = dirty.data(), track.matrixSource = source.data();
  track.offsetMatrices = offset.data(), track.combinedMatrices = combined.data();
  track.worldMatrices = world.data(), track.boundingSpheres = spheres.data();
  track.threshold = 1e-6f;
  VortaTransformJobTarget target{array.Handle(), 1};
  const vorta::JobEntry trackJob = kernels.Job(VORTA_EXPORT_TRANSFORMS_TRACKING);
  auto runTracking = [&] {
    vorta::host::JobOptions o;
    o.workers = options.workers;
    o.batchSize = 256;
    vorta::host::RunJob(trackJob, &track, sizeof track, kObjects, o, &target);
  };
  runTracking();  // the first frame fills every cache
  for (int m = 0; m < kMoving; ++m) scene.At(ids[(m * 331) % kObjects]).position[1] += 2.0f;
  const std::vector<float> before = world;
  timed("transform tracking", runTracking);
  int updated = 0;
  for (int i = 0; i < kObjects; ++i)
    updated += memcmp(&before[16 * i], &world[16 * i], 64) != 0;

  // --- lights and boxes in front of the camera --------------------------------
  const scene_frame::Frame frame(false);
  std::vector<VortaLightRecord> lights = scene_frame::RandomLights(frame, kLights, rng);
  for (VortaLightRecord& l : lights) {  // a frame's lights: mostly small on screen
    l.position[2] = l.position[2] * 2 - 4;
    l.range *= 0.4f;
  }
  std::vector<float> boxes = scene_frame::RandomBoxes(frame, kBoxes, rng);
  std::vector<uint8_t> boxRecords(size_t(kBoxes) * kBoxRecordBytes);
  for (int b = 0; b < kBoxes; ++b) memcpy(&boxRecords[size_t(b) * kBoxRecordBytes], &boxes[6 * b], 24);

  // Depth ranges: the lights of both views, then the boxes of both views.
  std::vector<float> ranges(2 * size_t(kViews) * kItems);
  VortaLightDepthBoundsJob lightBounds{};
  memcpy(lightBounds.viewMatrices, frame.views, sizeof frame.views);
  lightBounds.lights = lights.data(), lightBounds.lightCount = kLights;
  lightBounds.depthBounds = ranges.data();
  VortaDepthBoundsJob boxBounds{};
  memcpy(boxBounds.views, frame.views, sizeof frame.views);
  boxBounds.boxes = boxRecords.data(), boxBounds.boxCount = kBoxes;
  boxBounds.output = ranges.data() + 2 * size_t(kViews) * kLights;

  std::vector<int32_t> spans(size_t(kViews) * kItems * kEntries);
  VortaScreenBinningJob binning{};
  frame.Fill(binning);
  binning.lights = lights.data(), binning.lightCount = kLights, binning.boxes = boxes.data();
  binning.spans = spans.data(), binning.itemsPerView = kItems, binning.entriesPerItem = kEntries;

  std::vector<uint32_t> bins(size_t(kViews) * kBins * (kMaskWords + 2));
  VortaDepthBinJob depthBins{};
  depthBins.bins = bins.data(), depthBins.ranges = ranges.data();
  // Logarithmic bins from depth 0.1 to 50.
  depthBins.scale = float(kBins / log(500.0)), depthBins.bias = float(-kBins * log(0.1) / log(500.0));
  depthBins.binCount = kBins, depthBins.maskWords = kMaskWords;
  depthBins.lightCount = kLights, depthBins.boxCount = kBoxes;
  depthBins.chunksPerView = (kBins + 127) / 128, depthBins.views = kViews;

  std::vector<uint32_t> masks(size_t(kViews) * kRows * kColumns * kMaskWords);
  VortaTileRangeJob tiles{};
  tiles.spans = spans.data(), tiles.masks = masks.data(), tiles.entriesPerItem = kEntries;
  tiles.itemsPerView = kItems, tiles.wordsPerTile = kMaskWords;
  tiles.columns = kColumns, tiles.rows = kRows;

  timed("light depth bounds", [&] {
    RunOnWorkers(kernels.Job(VORTA_EXPORT_LIGHT_BINNING_DEPTH_BOUNDS), &lightBounds,
                 sizeof lightBounds, kViews * kLights, options);
  });
  timed("box depth bounds", [&] {
    RunOnWorkers(kernels.Job(VORTA_EXPORT_CONTRACTION_BOX_DEPTH_BOUNDS), &boxBounds,
                 sizeof boxBounds, kViews * kBoxes, options);
  });
  timed("screen-row binning", [&] {  // writes working fields: one record copy per worker
    RunOnWorkers(kernels.Job(VORTA_EXPORT_LIGHT_BINNING_SCREEN_ROWS), &binning, sizeof binning,
                 kViews * kItems, options);
  });
  timed("depth bins", [&] {  // the job sets mask bits only: the host clears them
    std::fill(bins.begin(), bins.end(), 0u);
    RunOnWorkers(kernels.Job(VORTA_EXPORT_DEPTHBINS_DEPTH_BINS), &depthBins, sizeof depthBins,
                 kViews * depthBins.chunksPerView, options);
  });
  timed("tile masks", [&] {
    std::fill(masks.begin(), masks.end(), 0u);
    RunOnWorkers(kernels.Job(VORTA_EXPORT_DEPTHBINS_TILE_RANGES), &tiles, sizeof tiles,
                 kViews * kRows, options);
  });

  // Lights per tile of view 0 (the light bits are the first kLights items).
  std::vector<int> perTile(size_t(kRows) * kColumns);
  int maxCount = 0;
  double sum = 0;
  for (int t = 0; t < kRows * kColumns; ++t) {
    int n = 0;
    for (int w = 0; w < kMaskWords; ++w) {
      uint32_t word = masks[size_t(t) * kMaskWords + w];
      const int first = w * 32;
      if (first + 32 > kLights) word &= first >= kLights ? 0u : (1u << (kLights - first)) - 1;
      n += __builtin_popcount(word);
    }
    perTile[t] = n, maxCount = std::max(maxCount, n), sum += n;
  }
  const double mean = sum / (kRows * kColumns);
  int binsTouched = 0;
  for (int b = 0; b < kBins; ++b) binsTouched += bins[size_t(b) * (kMaskWords + 2)] != 0x0000ffffu;
  const bool wrote = WriteHeatMap(options.heatMap, perTile, maxCount);
  // The moved objects (and no others) were rebuilt, and the lights reached the screen.
  const bool sane = updated == kMoving && maxCount > 0 && wrote;

  double total = 0;
  for (const Stage& s : stages) total += s.seconds;
  if (json) {
    char buf[320];
    snprintf(buf, sizeof buf,
             "\"scene\": {\"objects\": %d, \"moved\": %d, \"objects_updated\": %d, \"lights\": %d, "
             "\"boxes\": %d, \"tiles\": %d, \"lights_per_tile_mean\": %.4f, "
             "\"lights_per_tile_max\": %d, \"depth_bins_touched\": %d, \"heat_map\": \"%s\", \"stages\": [",
             kObjects, kMoving, updated, kLights, kBoxes, kRows * kColumns, mean, maxCount,
             binsTouched, options.heatMap.c_str());
    *json += buf;
    for (size_t s = 0; s < stages.size(); ++s) {
      snprintf(buf, sizeof buf, "%s{\"name\": \"%s\", \"seconds\": %.9g}", s ? ", " : "",
               stages[s].name.c_str(), stages[s].seconds);
      *json += buf;
    }
    *json += "]}";
  } else {
    printf("Scene frame: %d objects (%d moved), %d lights and %d boxes, two views of %d x %d tiles:\n",
           kObjects, kMoving, kLights, kBoxes, kColumns, kRows);
    for (const Stage& s : stages) printf("  %-28s %9.3f ms\n", s.name.c_str(), 1e3 * s.seconds);
    printf("  %-28s %9.3f ms\n", "whole frame", 1e3 * total);
    printf("  objects updated: %d   depth bins touched (view 0): %d of %d\n", updated, binsTouched,
           kBins);
    printf("  lights per tile (view 0): mean %.2f, max %d   heat map: %s%s\n", mean, maxCount,
           options.heatMap.c_str(), wrote ? "" : " (NOT WRITTEN)");
  }
  return sane;
}

}  // namespace demo
