// The demo's first part: a small convolutional network evaluated layer by
// layer through the exported kernels on the held-out handwritten digits, and
// checked against torch's float32 forward pass of the same weights.
//
//   conv 3x3 (1 -> 8) -> batch norm -> ReLU -> max pool 2x2
//   -> conv 3x3 (8 -> 16) with the ReLU fused as its lower clamp
//   -> flatten -> matrix product (256 -> 10) onto the bias -> softmax, arg-max
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/demo_common.h"

namespace demo {
namespace {

constexpr int kImages = 1797, kTrain = 1437, kHeldOut = kImages - kTrain, kPixels = 64;
constexpr int kC1 = 8, kC2 = 16, kClasses = 10, kFlat = kC2 * 4 * 4;
constexpr int kRuns = 20;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    fprintf(stderr, "vorta_demo: cannot read %s\n", path.c_str());
    exit(2);
  }
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

struct Weights {
  std::vector<float> conv1w, conv1b, bnScale, bnBias, bnMean, bnVar, conv2w, conv2b, fcw, fcb;
};

// weights.bin: "VDNW", a tensor count, then per tensor its element count and floats.
Weights ReadWeights(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  Weights w;
  std::vector<float>* order[] = {&w.conv1w, &w.conv1b, &w.bnScale, &w.bnBias, &w.bnMean,
                                 &w.bnVar,  &w.conv2w, &w.conv2b, &w.fcw,     &w.fcb};
  const size_t sizes[] = {kC1 * 9, kC1, kC1, kC1, kC1, kC1, kC2 * kC1 * 9, kC2,
                          kClasses * kFlat, kClasses};
  size_t at = 8;
  uint32_t count = 0;
  if (bytes.size() >= 8) memcpy(&count, &bytes[4], 4);
  bool ok = bytes.size() >= 8 && memcmp(bytes.data(), "VDNW", 4) == 0 && count == 10;
  for (int t = 0; ok && t < 10; ++t) {
    uint32_t n = 0;
    ok = at + 4 <= bytes.size();
    if (ok) memcpy(&n, &bytes[at], 4);
    ok = ok && n == sizes[t] && at + 4 + 4 * size_t(n) <= bytes.size();
    if (ok) {
      order[t]->resize(n);
      memcpy(order[t]->data(), &bytes[at + 4], 4 * size_t(n));
      at += 4 + 4 * size_t(n);
    }
  }
  if (!ok) {
    fprintf(stderr, "vorta_demo: %s is not a weights file of this network\n", path.c_str());
    exit(2);
  }
  return w;
}

// Convolution 3x3, stride 1, padding 1, over square planes of side `side`.
VortaConvJob Conv3x3(const float* in, float* out, const float* w, const float* b, int images,
                     int inC, int outC, int side, float minValue) {
  VortaConvJob j;
  memset(&j, 0, sizeof j);
  j.input = in;
  j.output = out;
  j.bias = b;
  j.weights = w;
  j.hasBias = 1;
  j.groups = 1;
  j.inChannels = inC;
  j.outChannels = outC;
  j.spatialRank = 2;
  j.inPlane = side * side;
  j.kernelSize = 9;
  j.outSpatial = side * side;
  for (int a = 0; a < 2; ++a) {
    j.inSize[a] = j.outSize[a] = side;
    j.kernel[a] = 3;
    j.stride[a] = j.dilation[a] = 1;
    j.padBegin[a] = 1;
  }
  j.minValue = minValue;
  // One job index per band of 120 positions (or of 64 channels when there
  // are more channels than positions), as the job walks them.
  j.tilesPerImage = outC < side * side ? (side * side + 119) / 120 : (outC + 63) / 64;
  (void)images;
  return j;
}

}  // namespace

bool RunNetwork(const Kernels& kernels, const Options& options, std::string* json) {
  const std::vector<uint8_t> digits = ReadFile(options.dataDir + "/digits.u8");
  const Weights w = ReadWeights(options.dataDir + "/weights.bin");
  const std::vector<uint8_t> refBytes = ReadFile(options.dataDir + "/reference.bin");
  if (digits.size() != size_t(kImages) * 65 || refBytes.size() != size_t(kHeldOut) * kClasses * 4) {
    fprintf(stderr, "vorta_demo: the digits or reference files have the wrong size\n");
    return false;
  }
  std::vector<float> torchLogits(size_t(kHeldOut) * kClasses);
  memcpy(torchLogits.data(), refBytes.data(), refBytes.size());
  int torchCorrect = 0;
  {
    std::ifstream f(options.dataDir + "/reference.txt");
    std::string key;
    int value;
    while (f >> key >> value)
      if (key == "held_out_correct") torchCorrect = value;
  }

  // The held-out images, scaled to [0, 1] as in training.
  const int B = kHeldOut;
  std::vector<float> x0(size_t(B) * kPixels);
  std::vector<int> labels(B);
  for (int i = 0; i < B; ++i) {
    const uint8_t* row = &digits[size_t(kTrain + i) * 65];
    for (int p = 0; p < kPixels; ++p) x0[size_t(i) * kPixels + p] = row[p] / 16.0f;
    labels[i] = row[64];
  }

  std::vector<float> c1(size_t(B) * kC1 * 64), n1(c1.size()), r1(c1.size());
  std::vector<float> p1(size_t(B) * kC1 * 16), c2(size_t(B) * kFlat);
  std::vector<float> logits(size_t(B) * kClasses), probs(logits.size());
  std::vector<int32_t> predicted(B);

  VortaConvJob conv1 = Conv3x3(x0.data(), c1.data(), w.conv1w.data(), w.conv1b.data(), B, 1, kC1,
                               8, -INFINITY);
  VortaBatchNormJob bn{};
  bn.epsilon = 1e-5f;
  bn.K = kC1;
  bn.I = 64;
  bn.input = c1.data();
  bn.scale = w.bnScale.data();
  bn.bias = w.bnBias.data();
  bn.mean = w.bnMean.data();
  bn.variance = w.bnVar.data();
  bn.output = n1.data();
  VortaUnaryMapJob relu{n1.data(), r1.data(), int32_t(r1.size()), 0, 0};
  VortaPool2dJob pool{};
  pool.input = r1.data();
  pool.output = p1.data();
  pool.inH = pool.inW = 8;
  pool.outH = pool.outW = 4;
  pool.kH = pool.kW = pool.sH = pool.sW = 2;
  VortaConvJob conv2 = Conv3x3(p1.data(), c2.data(), w.conv2w.data(), w.conv2b.data(), B, kC1, kC2,
                               4, 0.0f);
  // The fully connected layer: logits = flat x fcw^T, accumulated onto rows
  // that start as the bias.
  VortaMatMulJob fc;
  memset(&fc, 0, sizeof fc);
  fc.aMatrices = c2.data();
  fc.bMatrices = w.fcw.data();
  fc.outMatrices = logits.data();
  fc.M = B;
  fc.N = kClasses;
  fc.K = kFlat;
  fc.lda = kFlat;
  fc.ldb = kFlat;
  fc.ldc = kClasses;
  fc.transB = 1;
  fc.accumulate = 1;
  fc.tileM = 64;
  fc.tileN = 16;
  fc.tileK = kFlat;
  fc.tilesPerMatrix = (B + fc.tileM - 1) / fc.tileM;  // row bands, since M >= N
  VortaAxisReduceJob softmax{logits.data(), probs.data(), kClasses, 1};
  VortaAxisReduceJob argmax{logits.data(), predicted.data(), kClasses, 1};

  const size_t convScratch = offsetof(VortaConvJob, columns);
  struct Layer {
    const char* name;
    const char* exportName;
    void* record;
    size_t size;
    int32_t length;
    std::vector<size_t> scratch;
    double seconds = 0;
  };
  std::vector<Layer> layers = {
      {"conv 3x3, 1 -> 8", VORTA_EXPORT_CONV_FLOAT, &conv1, sizeof conv1,
       B * conv1.tilesPerImage, {convScratch}},
      {"batch normalisation", VORTA_EXPORT_NORMALIZATION_BATCH_NORM, &bn, sizeof bn,
       int32_t(c1.size()), {}},
      {"ReLU", VORTA_EXPORT_MAPS_RELU, &relu, sizeof relu, relu.length, {}},
      {"max pool 2x2", VORTA_EXPORT_POOLING_MAX, &pool, sizeof pool, int32_t(p1.size()), {}},
      {"conv 3x3, 8 -> 16, ReLU", VORTA_EXPORT_CONV_FLOAT, &conv2, sizeof conv2,
       B * conv2.tilesPerImage, {convScratch}},
      {"matrix product 256 -> 10", VORTA_EXPORT_MATMUL_FLOAT, &fc, sizeof fc, fc.tilesPerMatrix,
       {offsetof(VortaMatMulJob, aPanel), offsetof(VortaMatMulJob, bPanel),
        offsetof(VortaMatMulJob, cTile)}},
      {"softmax", VORTA_EXPORT_SOFTMAX_SOFTMAX, &softmax, sizeof softmax, B, {}},
      {"arg-max", VORTA_EXPORT_ARGREDUCE_ARGMAX_FIRST_FLOAT, &argmax, sizeof argmax, B, {}},
  };
  std::vector<vorta::JobEntry> entries;
  for (const Layer& l : layers) entries.push_back(kernels.Job(l.exportName));

  Progress progress("network");
  for (int run = 0; run < kRuns; ++run) {
    for (size_t l = 0; l < layers.size(); ++l) {
      if (layers[l].exportName == std::string(VORTA_EXPORT_MATMUL_FLOAT))
        for (int i = 0; i < B; ++i)
          std::copy(w.fcb.begin(), w.fcb.end(), logits.begin() + size_t(i) * kClasses);
      const auto start = std::chrono::steady_clock::now();
      RunOnWorkers(entries[l], layers[l].record, layers[l].size, layers[l].length, options,
                   layers[l].scratch);
      layers[l].seconds += Since(start);
    }
    progress.Step(run + 1, kRuns);
  }

  int correct = 0;
  double maxDiff = 0, maxProbError = 0;
  for (int i = 0; i < B; ++i) {
    correct += predicted[i] == labels[i];
    double sum = 0;
    for (int k = 0; k < kClasses; ++k) {
      const size_t at = size_t(i) * kClasses + k;
      maxDiff = std::max(maxDiff, double(fabsf(logits[at] - torchLogits[at])));
      sum += probs[at];
    }
    maxProbError = std::max(maxProbError, fabs(sum - 1.0));
  }
  double total = 0;
  for (const Layer& l : layers) total += l.seconds / kRuns;
  const bool agree = std::abs(correct - torchCorrect) <= 1;
  const bool close = maxDiff < 1e-3;

  if (json) {
    char buf[256];
    *json += "\"network\": {";
    snprintf(buf, sizeof buf,
             "\"images\": %d, \"correct\": %d, \"accuracy\": %.6f, \"torch_correct\": %d, "
             "\"torch_accuracy\": %.6f, \"max_logit_difference\": %.9g, \"seconds_per_image\": %.9g, "
             "\"layers\": [",
             B, correct, double(correct) / B, torchCorrect, double(torchCorrect) / B, maxDiff,
             total / B);
    *json += buf;
    for (size_t l = 0; l < layers.size(); ++l) {
      snprintf(buf, sizeof buf, "%s{\"name\": \"%s\", \"seconds\": %.9g}", l ? ", " : "",
               layers[l].name, layers[l].seconds / kRuns);
      *json += buf;
    }
    *json += "]}";
  } else {
    printf("Network on the %d held-out handwritten digits (8 x 8), layer by layer:\n", B);
    for (const Layer& l : layers)
      printf("  %-28s %9.3f ms\n", l.name, 1e3 * l.seconds / kRuns);
    printf("  %-28s %9.3f ms   (%.2f us per image)\n", "whole network", 1e3 * total,
           1e6 * total / B);
    printf("  accuracy: %d / %d = %.2f %%   torch: %d / %d = %.2f %%   %s\n", correct, B,
           100.0 * correct / B, torchCorrect, B, 100.0 * torchCorrect / B,
           agree ? "(agree)" : "(DISAGREE)");
    printf("  largest difference from torch's float32 logits: %.3g   softmax rows sum to 1 within %.1e\n",
           maxDiff, maxProbError);
  }
  return agree && close;
}

}  // namespace demo
