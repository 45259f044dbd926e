#include "frame/allocation.h"

#include "frame/services.h"
#include "frame/statics.h"

namespace vorta {

uint8_t Log2Alignment(uint32_t alignment) {
  uint8_t n = 0;
  while (n < 32 && (uint64_t(1) << n) < alignment) ++n;
  return n;
}

namespace {

AllocationBlock MakeBlock(void* pointer, AllocatorHandle handle, int32_t items,
                          int32_t bytesPerItem, int32_t allocatedItems, uint32_t alignment) {
  AllocationBlock b{};
  b.pointer = pointer;
  b.items = items;
  b.allocatorIndex = HandleIndex(handle);
  b.allocatorVersion = HandleVersion(handle);
  b.bytesPerItem = bytesPerItem;
  b.allocatedItems = allocatedItems;
  b.log2Alignment = Log2Alignment(alignment);
  return b;
}

}  // namespace

void* AllocateUnderHandle(AllocatorHandle handle, uint64_t size, uint32_t alignment) {
  if (HandleIndex(handle) < kFirstCustomAllocator) {
    return ServiceSlot<svc::MallocTracked>(kMallocTracked)(size, alignment, handle, 0);
  }
  AllocationBlock b = MakeBlock(nullptr, handle, 1, static_cast<int32_t>(size), 0, alignment);
  CallAllocatorTable(&b);
  return b.pointer;
}

void ReleaseUnderHandle(void* pointer, AllocatorHandle handle, uint32_t size, uint32_t alignment) {
  ReleaseBlockUnderHandle(pointer, handle, static_cast<int32_t>(size), 1, Log2Alignment(alignment));
}

void ReleaseBlockUnderHandle(void* pointer, AllocatorHandle handle, int32_t bytesPerItem,
                             int32_t allocatedItems, uint8_t log2Alignment) {
  if (HandleIndex(handle) < kFirstCustomAllocator) {
    ServiceSlot<svc::FreeTracked>(kFreeTracked)(pointer, handle);
    return;
  }
  AllocationBlock b = MakeBlock(pointer, handle, 0, bytesPerItem, allocatedItems, 1);
  b.log2Alignment = log2Alignment;
  CallAllocatorTable(&b);
}

int32_t CallAllocatorTable(AllocationBlock* block) {
  const AllocatorTableEntry& entry = vorta_statics.allocatorTable[block->allocatorIndex];
  return reinterpret_cast<CustomAllocatorFn>(entry.function)(entry.state, block);
}

void ReleaseOwnedUnderHandle(void* pointer, AllocatorHandle handle, uint32_t size,
                             uint32_t alignment) {
  if (HandleOwnsMemory(handle)) ReleaseUnderHandle(pointer, handle, size, alignment);
}

}  // namespace vorta
