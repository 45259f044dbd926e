// Scratch lists of the binning jobs: taken from the host's tracked allocator
// under handle 2 and returned before the job body finishes.
#pragma once
#include "frame/services.h"

namespace vorta::VORTA_NS {

constexpr uint32_t kScratchHandle = 2;

static inline void* TakeScratch(uint64_t bytes, uint32_t alignment) {
  return ServiceSlot<svc::MallocTracked>(kMallocTracked)(bytes, alignment, kScratchHandle, 0);
}
static inline void ReturnScratch(void* p) {
  ServiceSlot<svc::FreeTracked>(kFreeTracked)(p, kScratchHandle);
}

}  // namespace vorta::VORTA_NS
