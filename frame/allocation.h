// Memory under an allocator handle: host allocators (index below 64) through
// MallocTracked / FreeTracked, custom allocators (index 64 and up) through
// their AllocatorTable entry. Handles 0 and 1 own no memory.
#pragma once
#include <stddef.h>

#include "frame/abi.h"
#include "vorta/vorta.h"

namespace vorta {

// Low 16 bits the allocator index, high 16 bits its version.
typedef uint32_t AllocatorHandle;

constexpr uint16_t HandleIndex(AllocatorHandle h) { return static_cast<uint16_t>(h); }
constexpr uint16_t HandleVersion(AllocatorHandle h) { return static_cast<uint16_t>(h >> 16); }
constexpr uint32_t kFirstCustomAllocator = 64;

// The guard container kernels apply before releasing a buffer they own.
constexpr bool HandleOwnsMemory(AllocatorHandle h) { return h > 1; }

// The request record a custom allocator function fills in (the public
// header's definition).
using AllocationBlock = ::VortaAllocationBlock;

// A custom allocator function; its result is not used here.
typedef int32_t (VORTA_MSABI* CustomAllocatorFn)(void* state, AllocationBlock* block);

// The smallest n with 2^n >= alignment.
uint8_t Log2Alignment(uint32_t alignment) VORTA_HIDDEN;

void* AllocateUnderHandle(AllocatorHandle handle, uint64_t size, uint32_t alignment) VORTA_HIDDEN;

// Releases memory obtained under `handle` with the given size and alignment.
void ReleaseUnderHandle(void* pointer, AllocatorHandle handle, uint32_t size,
                        uint32_t alignment) VORTA_HIDDEN;

// ReleaseUnderHandle unless the handle is 0 or 1.
void ReleaseOwnedUnderHandle(void* pointer, AllocatorHandle handle, uint32_t size,
                             uint32_t alignment) VORTA_HIDDEN;

// Release with the block shape spelled out, for memory whose allocator recorded
// more than one item (a custom allocator receives exactly these fields).
void ReleaseBlockUnderHandle(void* pointer, AllocatorHandle handle, int32_t bytesPerItem,
                             int32_t allocatedItems, uint8_t log2Alignment) VORTA_HIDDEN;

// Hands a request record to the AllocatorTable entry of its allocator index
// (64 and up) and returns that function's status.
int32_t CallAllocatorTable(AllocationBlock* block) VORTA_HIDDEN;

}  // namespace vorta
