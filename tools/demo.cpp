// vorta_demo: loads the kernel library the way a host does and runs one job.
//
//   vorta_demo [path/to/libvorta.so]
//
// Without an argument it loads $VORTA_LIBRARY, else the library of this build
// (build/libvorta.so). It dlopens the library, initialises it through the
// reference host's resolver (`vorta.initialize`), runs the rectified-linear map
// over 8 Mi floats on every worker, checks every output and prints the
// throughput. The exit status is 0 when every output is right, 1 when one is
// wrong, 2 when the library cannot be loaded.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "frame/abi.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "host/module.h"
#include "tensor/map_records.h"

namespace {

constexpr const char* kReluExport = "13790fdabb36dc7bfcda4e03844df92c";
constexpr int32_t kElements = 8 << 20;
constexpr int kTimedRuns = 5;

uint32_t Bits(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}

float FromBits(uint32_t u) {
  float f;
  memcpy(&f, &u, 4);
  return f;
}

// max(x, 0): negative inputs, -inf and -0 give +0, NaN stays NaN.
float ExpectedRelu(float x) { return x > 0 ? x : (isnan(x) ? x : 0.0f); }

bool SameResult(float got, float want) {
  if (isnan(want)) return isnan(got);
  return Bits(got) == Bits(want);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : vorta::host::DefaultLibraryPath();

  vorta::host::Module module;
  try {
    module = vorta::host::LoadSharedModule(path.c_str());
  } catch (const std::exception& e) {
    fprintf(stderr, "vorta_demo: %s\n", e.what());
    return 2;
  }
  module.initialize(vorta::host::Resolver());

  auto relu = reinterpret_cast<vorta::JobEntry>(module.Kernel(kReluExport));
  if (!relu) {
    fprintf(stderr, "vorta_demo: %s does not export %s\n", path.c_str(), kReluExport);
    return 2;
  }

  // Inputs: a ramp through negative and positive values with a few special
  // values mixed in.
  std::vector<float> input(kElements), output(kElements, -1.0f);
  for (int32_t i = 0; i < kElements; ++i) input[i] = float(i % 2001 - 1000) * 0.125f;
  input[1] = -0.0f;
  input[2] = NAN;
  input[3] = -1e30f;
  input[4] = INFINITY;
  input[5] = FromBits(0x80000001u);  // the smallest negative subnormal
  input[kElements - 1] = 3.5f;

  vorta::UnaryMapJob job{input.data(), output.data(), kElements, 0, 0};
  vorta::host::JobOptions options;
  options.workers = vorta::host::DefaultWorkerCount();

  // One untimed run (faults the output pages in), then the timed ones.
  vorta::host::RunJob(relu, &job, sizeof job, kElements, options);
  std::vector<double> seconds;
  for (int run = 0; run < kTimedRuns; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    vorta::host::RunJob(relu, &job, sizeof job, kElements, options);
    auto t1 = std::chrono::steady_clock::now();
    seconds.push_back(std::chrono::duration<double>(t1 - t0).count());
  }
  std::sort(seconds.begin(), seconds.end());
  const double median = seconds[seconds.size() / 2];

  // A few outputs by name, then every element.
  struct Spot {
    int32_t index;
    float want;
  };
  const Spot spots[] = {{0, 0.0f},  {1, 0.0f},  {2, NAN},        {3, 0.0f},
                        {4, INFINITY}, {5, 0.0f}, {1000, 0.0f}, {1001, 0.125f},
                        {2000, 125.0f}, {kElements - 1, 3.5f}};
  int64_t wrong = 0;
  for (const Spot& s : spots) {
    if (!SameResult(output[s.index], s.want)) {
      if (wrong < 10)
        fprintf(stderr, "wrong: relu(%g) at %d gave %g (0x%08x), want %g\n", input[s.index],
                s.index, output[s.index], Bits(output[s.index]), s.want);
      ++wrong;
    }
  }
  for (int32_t i = 0; i < kElements; ++i) {
    if (!SameResult(output[i], ExpectedRelu(input[i]))) {
      if (wrong < 10)
        fprintf(stderr, "wrong: relu(%g) at %d gave %g (0x%08x), want %g\n", input[i], i,
                output[i], Bits(output[i]), ExpectedRelu(input[i]));
      ++wrong;
    }
  }

  const vorta::CpuVariant variant = vorta::host::ProbedVariant();
  const double bytes = double(kElements) * 8.0;  // 4 read + 4 written per element
  printf("library   %s\n", path.c_str());
  printf("variant   %s (chosen by the processor probe)\n", vorta::host::VariantName(variant));
  printf("kernel    %s  rectified linear, float to float: max(x, 0)\n", kReluExport);
  printf("job       %d elements (%.0f MiB in, %.0f MiB out), %d workers, automatic batches\n",
         kElements, kElements * 4.0 / (1 << 20), kElements * 4.0 / (1 << 20), options.workers);
  printf("time      %.3f ms (median of %d runs, best %.3f ms)\n", median * 1e3, kTimedRuns,
         seconds.front() * 1e3);
  printf("speed     %.2f GB/s (bytes read + written), %.3g elements/s\n", bytes / median / 1e9,
         kElements / median);
  if (wrong) {
    printf("result    FAILED: %lld wrong outputs\n", static_cast<long long>(wrong));
    return 1;
  }
  printf("result    all %d outputs correct\n", kElements);
  return 0;
}
