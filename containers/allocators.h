// Custom allocator functions of the AllocatorTable shape (state, request record)
// and the kernels that allocate a zeroed table of 24-byte entries.
//
// An allocator function allocates when the record's pointer is null and
// releases that pointer otherwise; it returns a status.
#pragma once
#include "frame/abi.h"
#include "frame/allocation.h"
#include "frame/variant.h"

namespace vorta {

constexpr int32_t kAllocatorOk = 0;
constexpr int32_t kAllocatorCannotServe = -1;
constexpr int32_t kAllocatorOverBudget = -2;

}  // namespace vorta

namespace vorta::VORTA_NS {

// One storage block, handed out front to back; only the latest allocation
// can be released.
VORTA_MSABI int32_t BumpAllocator(void* state, AllocationBlock* block);

// Power-of-two slabs tracked in a bitmap, under a byte budget.
VORTA_MSABI int32_t SlabAllocator(void* state, AllocationBlock* block);

// Growing list of blocks shared by several threads: a lock-free fast path,
// growth under a spin lock, a block reused once its live count drops to zero.
VORTA_MSABI int32_t ArenaAllocator(void* state, AllocationBlock* block);

// Allocates through a backing allocator, recording every allocation and
// deferring every release into lists.
VORTA_MSABI int32_t TrackingAllocator(void* state, AllocationBlock* block);

// A zeroed table of count 24-byte entries, recorded in the request's target.
// The count is the 32-bit value the request's pointer at 32 designates ...
VORTA_MSABI void AllocateEntryTable(void* request);
// ... or the 32-bit value at offset 8 of the record that pointer designates.
VORTA_MSABI void AllocateEntryTableForRecord(void* request);

}  // namespace vorta::VORTA_NS
