// A list of pointers that several threads append to at once without a lock.
// Entries live in chunks of 1 << chunkShift pointers; the chunk array has
// chunkSlotLimit slots, so the list holds at most chunkSlotLimit << chunkShift
// entries (appending beyond that is the caller's error).
#pragma once
#include <stddef.h>

#include "frame/allocation.h"
#include "frame/variant.h"

namespace vorta::VORTA_NS {

struct ChunkedPointerList {
  AllocatorHandle handle;  // chunks are allocated under it
  int32_t count;           // entries claimed so far (atomic)
  uint32_t reserved8;
  int32_t chunkShift;
  int32_t chunkSlotLimit;
  uint32_t reserved20;
  void*** chunks;          // slot k: null until chunk k exists
};
static_assert(offsetof(ChunkedPointerList, count) == 4);
static_assert(offsetof(ChunkedPointerList, chunkShift) == 12);
static_assert(offsetof(ChunkedPointerList, chunkSlotLimit) == 16);
static_assert(offsetof(ChunkedPointerList, chunks) == 24);
static_assert(sizeof(ChunkedPointerList) == 32);

// Claims entry i with one atomic add. The first appender to find chunk i >> shift
// missing allocates one and installs it with a compare-and-swap into that slot
// or, if another thread got there first, into one of the next three slots
// (allocating ahead for them); a chunk no slot takes is released again.
static inline void AppendPointer(ChunkedPointerList* list, void* value) {
  const uint32_t i = static_cast<uint32_t>(__atomic_fetch_add(&list->count, 1, __ATOMIC_RELAXED));
  const uint32_t shift = static_cast<uint32_t>(list->chunkShift) & 31;
  const uint32_t k = i >> shift;
  void*** slots = list->chunks;
  void** chunk = __atomic_load_n(&slots[k], __ATOMIC_ACQUIRE);
  if (!chunk) {
    void** fresh = static_cast<void**>(AllocateUnderHandle(list->handle, uint64_t(8) << shift, 64));
    const int64_t limit = list->chunkSlotLimit;
    const int64_t end = limit < int64_t(k) + 4 ? limit : int64_t(k) + 4;
    bool installed = false;
    for (int64_t s = k; s < end && !installed; ++s) {
      void** expected = nullptr;
      installed = __atomic_compare_exchange_n(&slots[s], &expected, fresh, false,
                                              __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    }
    if (!installed) ReleaseUnderHandle(fresh, list->handle, 1, 64);
    chunk = __atomic_load_n(&slots[k], __ATOMIC_ACQUIRE);
  }
  chunk[i & ((uint32_t(1) << shift) - 1)] = value;
}

}  // namespace vorta::VORTA_NS
