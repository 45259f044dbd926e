// Process-wide statics written by the statics initialisers and read by kernels.
#pragma once
#include "frame/abi.h"

namespace vorta {

// One AllocatorTable entry: a custom allocator's function and its state.
struct AllocatorTableEntry {
  void* function;
  void* state;
};
static_assert(sizeof(AllocatorTableEntry) == 16);

constexpr uint32_t kAllocatorTableEntries = 32768;
constexpr uint32_t kAllocatorTableBytes = kAllocatorTableEntries * sizeof(AllocatorTableEntry);
constexpr uint64_t kAllocatorTableKey = 0xEDFCCB8B263B8F83ull;

struct ModuleStatics {
  uint32_t builtinAllocator[6];   // the indices 0..5; 0 is the "invalid" allocator
  uint16_t threadIndexCount[2];   // get_ThreadIndexCount, asked twice
  uint32_t threadSlotBase[2];     // 0x8000 minus the second count, stored twice
  AllocatorTableEntry* allocatorTable;
  float rotationXMinus90[4];      // (x, y, z, w): -90 degrees about the x axis
};

extern "C" ModuleStatics vorta_statics VORTA_HIDDEN;

}  // namespace vorta
