// The 19 host-service slots shared by every kernel, and typed calls through them.
// A slot is filled by the externals initialisers (the same name always lands in
// the same slot) and only read afterwards.
#pragma once
#include "frame/abi.h"

namespace vorta {

enum Service : uint32_t {
  kGetWorkStealingRange,
  kGetThreadIndexCount,
  kMalloc,
  kMallocTracked,
  kFree,
  kFreeTracked,
  kMemCpyReplicate,
  kGetOrCreateSharedMemory,
  kAbort,
  kGetLocalScale,
  kGetLocalToWorldMatrix,
  kGetPosition,
  kGetRotation,
  kGetSortedToUserIndex,
  kGetSortedTransformAccess,
  kHalfToFloat,
  kFloatToHalf,
  kQuaternionInverse,
  kVector3Slerp,
  kServiceCount
};

// The exact resolver string of each service, indexed by Service.
extern const char* const kServiceNames[kServiceCount] VORTA_HIDDEN;

extern "C" void* vorta_host_services[kServiceCount] VORTA_HIDDEN;

template <class Fn>
static inline Fn ServiceSlot(Service s) {
  return reinterpret_cast<Fn>(vorta_host_services[s]);
}

// Hands out the next batch [begin, end) of the job; false once the work is exhausted.
static inline bool NextBatch(BatchRanges* ranges, uint32_t jobIndex, int32_t* begin, int32_t* end) {
  return (ServiceSlot<svc::GetWorkStealingRange>(kGetWorkStealingRange)(ranges, jobIndex, begin,
                                                                        end) &
          0xff) != 0;
}

// Raises the named exception in the host; control never comes back.
[[noreturn]] static inline void Abort(const char* exceptionType, const char* message) {
  ServiceSlot<svc::Abort>(kAbort)(exceptionType, message);
  __builtin_trap();
}

static inline float HostHalfToFloat(uint16_t half) {
  return ServiceSlot<svc::HalfToFloat>(kHalfToFloat)(half);
}

static inline uint16_t HostFloatToHalf(float value) {
  return static_cast<uint16_t>(ServiceSlot<svc::FloatToHalf>(kFloatToHalf)(value));
}

}  // namespace vorta
