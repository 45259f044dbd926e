// Shared by the demo's parts: how it reaches the kernels (the loaded library,
// or the linked objects with a forced variant), job runs with per-worker
// record copies, timing and the machine-readable results.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <chrono>
#include <string>
#include <vector>

#include "frame/abi.h"
#include "host/host.h"
#include "vorta/vorta.h"

namespace demo {

struct Kernels {
  // A kernel's export by name; exits the demo with status 2 when it is missing.
  virtual void* Find(const char* exportName) const = 0;
  vorta::JobEntry Job(const char* exportName) const {
    return reinterpret_cast<vorta::JobEntry>(Find(exportName));
  }
  virtual ~Kernels() = default;
};

struct Options {
  int workers = 0;  // 0: the reference host's default
  bool json = false;
  std::string dataDir;  // tools/digits
  std::string heatMap;  // where the scene part writes its PNG
};

// One timed stage of a part: its name and seconds per run.
struct Stage {
  std::string name;
  double seconds;
};

// Runs a job over `length` indices on the demo's workers, each with its own
// copy of the record, and releases the scratch the job left in the copies at
// the given byte offsets (the matrix and convolution jobs keep theirs there).
void RunOnWorkers(vorta::JobEntry job, void* record, size_t size, int32_t length,
                  const Options& options, const std::vector<size_t>& scratchOffsets = {});

// Seconds of the wall clock since `start`.
inline double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A progress line on stderr for work that takes more than a second.
class Progress {
 public:
  explicit Progress(const char* what) : what_(what), start_(std::chrono::steady_clock::now()) {}
  void Step(int done, int total) {
    if (Since(start_) < 1.0) return;
    fprintf(stderr, "\r%s: %d / %d", what_, done, total);
    shown_ = true;
  }
  ~Progress() {
    if (shown_) fprintf(stderr, "\r%s: done%20s\n", what_, "");
  }

 private:
  const char* what_;
  std::chrono::steady_clock::time_point start_;
  bool shown_ = false;
};

// The parts; each prints its results (or adds them to `json`) and returns
// false when a check failed.
bool RunNetwork(const Kernels& kernels, const Options& options, std::string* json);
bool RunScene(const Kernels& kernels, const Options& options, std::string* json);

}  // namespace demo
