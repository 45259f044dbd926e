// Job records of the axis jobs, exactly as the host lays them out. The input is
// a dense row-major block [outer][N][S] and the output [outer][S]; the host runs
// the job over outer × S output indices.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace vorta {

struct __attribute__((packed)) AxisReduceJob {
  const void* input;
  void* output;
  int32_t N;  // elements along the reduced axis, at least 1
  int32_t S;  // inner size: the distance between neighbours along the axis, at least 1
};
static_assert(offsetof(AxisReduceJob, input) == 0);
static_assert(offsetof(AxisReduceJob, output) == 8);
static_assert(offsetof(AxisReduceJob, N) == 16);
static_assert(offsetof(AxisReduceJob, S) == 20);
static_assert(sizeof(AxisReduceJob) == 24);

// The mean members also leave 1/N in the record (written on every batch).
struct __attribute__((packed)) AxisMeanJob {
  const void* input;
  void* output;
  int32_t N;
  int32_t S;
  float reciprocal;
  uint32_t padding;  // not read or written
};
static_assert(offsetof(AxisMeanJob, N) == 16);
static_assert(offsetof(AxisMeanJob, S) == 20);
static_assert(offsetof(AxisMeanJob, reciprocal) == 24);
static_assert(sizeof(AxisMeanJob) == 32);

}  // namespace vorta
