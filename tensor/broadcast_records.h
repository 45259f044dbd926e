// Job records of the broadcast two-input operators, exactly as the host lays them out.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace vorta {

// Two odometers over the flat output, one per input, digit 0 innermost. For
// digit k of input X: dimsX[k] is its extent; stepsX[0] is 1 when X streams
// along the innermost digit and 0 when it stays on one element; stepsX[k] for
// k >= 1 is the change of X's element offset when digit k goes up by one and
// every lower digit wraps to 0.
struct BroadcastLayout {
  int32_t dimsA[8];
  int32_t stepsA[8];
  int32_t rankA;   // 1 to 8
  int32_t unused;  // the host's; never read
  int32_t dimsB[8];
  int32_t stepsB[8];
  int32_t rankB;
};
static_assert(offsetof(BroadcastLayout, stepsA) == 32);
static_assert(offsetof(BroadcastLayout, rankA) == 64);
static_assert(offsetof(BroadcastLayout, dimsB) == 72);
static_assert(offsetof(BroadcastLayout, stepsB) == 104);
static_assert(offsetof(BroadcastLayout, rankB) == 136);
static_assert(sizeof(BroadcastLayout) == 140);

struct __attribute__((packed)) BroadcastBinaryJob {
  const void* inputA;
  const void* inputB;
  void* output;  // output index i is element i
  BroadcastLayout layout;
};
static_assert(offsetof(BroadcastBinaryJob, inputB) == 8);
static_assert(offsetof(BroadcastBinaryJob, output) == 16);
static_assert(offsetof(BroadcastBinaryJob, layout) == 24);
static_assert(sizeof(BroadcastBinaryJob) == 164);

struct __attribute__((packed)) BroadcastWeightedSumJob {
  const void* inputA;
  const void* inputB;
  void* output;
  float alpha;
  float beta;
  BroadcastLayout layout;
};
static_assert(offsetof(BroadcastWeightedSumJob, alpha) == 24);
static_assert(offsetof(BroadcastWeightedSumJob, beta) == 28);
static_assert(offsetof(BroadcastWeightedSumJob, layout) == 32);
static_assert(sizeof(BroadcastWeightedSumJob) == 172);

}  // namespace vorta
