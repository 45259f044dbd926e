// Job records of the one-input element-wise maps, exactly as the host lays them out.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "vorta/vorta.h"

namespace vorta {

// Members with a length: the span loop.
struct __attribute__((packed)) UnaryMapJob {
  const void* input;
  void* output;
  int32_t length;   // the host schedules exactly this many indices
  uint32_t param0;  // float or int32, per member
  uint32_t param1;
};
static_assert(offsetof(UnaryMapJob, input) == 0);
static_assert(offsetof(UnaryMapJob, output) == 8);
static_assert(offsetof(UnaryMapJob, length) == 16);
static_assert(offsetof(UnaryMapJob, param0) == 20);
static_assert(offsetof(UnaryMapJob, param1) == 24);
static_assert(sizeof(UnaryMapJob) == 28);

// The int32 clip keeps its bounds further on; bytes 20 to 31 are not read.
struct __attribute__((packed)) ClipInt32Job {
  const void* input;
  void* output;
  int32_t length;
  uint8_t unused[12];
  int32_t lo;
  int32_t hi;
};
static_assert(offsetof(ClipInt32Job, length) == 16);
static_assert(offsetof(ClipInt32Job, lo) == 32);
static_assert(offsetof(ClipInt32Job, hi) == 36);
static_assert(sizeof(ClipInt32Job) == 40);

// Members without a length: the direct loop.
struct __attribute__((packed)) DirectMapJob {
  const void* input;
  void* output;
};
static_assert(offsetof(DirectMapJob, output) == 8);
static_assert(sizeof(DirectMapJob) == 16);

struct __attribute__((packed)) QuantizeJob {
  const void* input;
  void* output;
  float scale;
  int32_t zeroPoint;
};
static_assert(offsetof(QuantizeJob, scale) == 16);
static_assert(offsetof(QuantizeJob, zeroPoint) == 20);
static_assert(sizeof(QuantizeJob) == 24);

// The further maps' own records.
using SeluJob = ::VortaSeluJob;
using AffineInt32Job = ::VortaAffineInt32Job;
using BitDecodeJob = ::VortaBitDecodeJob;

}  // namespace vorta
