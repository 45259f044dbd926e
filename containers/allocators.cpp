// Custom allocators: bump, slab, arena and tracking, and the entry-table
// allocation kernels.
#include "containers/allocators.h"

#include <stddef.h>

#include <immintrin.h>

#include "containers/chunked_pointer_list.h"

namespace vorta::VORTA_NS {
namespace {

// Every request asks for bytes per item * items, both signed 32-bit.
inline int64_t RequestSize(const AllocationBlock* b) {
  return int64_t(b->bytesPerItem) * int64_t(b->items);
}

// ---- bump --------------------------------------------------------------------

struct BumpState {
  uint64_t reserved0;
  AllocationBlock storage;  // pointer, items and bytes per item describe the storage
  int64_t top;              // bytes handed out
};
static_assert(offsetof(BumpState, storage) == 8);
static_assert(offsetof(BumpState, top) == 40);

// ---- slab --------------------------------------------------------------------

constexpr int kSlabBitmapWords = 1023;

struct SlabState {
  uint64_t reserved0;
  uint8_t* base;
  uint8_t reserved16[24];
  int32_t shift;        // slab size 1 << (shift mod 32)
  uint32_t reserved44;
  uint16_t words;       // bitmap words in use
  uint16_t reserved50;
  uint32_t bitmap[kSlabBitmapWords];  // bit b of word w: slab 32w + b in use
  int64_t budget;
  int64_t used;         // bytes of the slabs handed out
} __attribute__((packed));
static_assert(offsetof(SlabState, base) == 8);
static_assert(offsetof(SlabState, shift) == 40);
static_assert(offsetof(SlabState, words) == 48);
static_assert(offsetof(SlabState, bitmap) == 52);
static_assert(offsetof(SlabState, budget) == 4144);
static_assert(offsetof(SlabState, used) == 4152);

// ---- arena -------------------------------------------------------------------

struct ArenaBlock {
  uint8_t* memory;
  uint64_t size;
  uint64_t packed;  // low 40 bits: used offset; high 24 bits: live allocations
};
static_assert(sizeof(ArenaBlock) == 24);

constexpr uint64_t kOffsetMask = (uint64_t(1) << 40) - 1;
constexpr uint64_t kOneLive = uint64_t(1) << 40;
constexpr uint64_t kLinearStep = 0x4000000;
constexpr uint32_t kGrownBlockAlignment = 0x4000;
constexpr AllocatorHandle kGrownBlockAllocator = 4;

struct ArenaState {
  uint32_t lock;          // 0 free, 1 held; taken only to grow
  uint32_t reserved4;
  ArenaBlock* blocks;
  uint64_t reserved16;
  int32_t lastBlock;      // blocks 0..lastBlock exist
  int32_t highestServed;  // highest block index that served an allocation
  uint8_t releaseEnabled;
  uint8_t linearGrowth;
};
static_assert(offsetof(ArenaState, blocks) == 8);
static_assert(offsetof(ArenaState, lastBlock) == 24);
static_assert(offsetof(ArenaState, highestServed) == 28);
static_assert(offsetof(ArenaState, releaseEnabled) == 32);
static_assert(offsetof(ArenaState, linearGrowth) == 33);

struct ArenaRequest {
  uint64_t size;
  uint64_t alignment;  // a power of two, at least 64
  uint64_t reserved;   // what the block's used offset advances by
};

// Alignments up to 64 get 64; larger ones also reserve one alignment's worth of
// extra bytes.
ArenaRequest ArenaShape(const AllocationBlock* b) {
  const uint32_t a = uint32_t(1) << (b->log2Alignment & 31);
  ArenaRequest r;
  r.size = static_cast<uint64_t>(RequestSize(b));
  uint64_t extra = 0;
  if (static_cast<int32_t>(a) < 65) {
    r.alignment = 64;
  } else {
    r.alignment = (uint64_t(a) + 63) / 64 * 64;
    extra = r.alignment;
  }
  const uint64_t h = r.size + extra + r.alignment - 1;
  r.reserved = h - h % r.alignment;
  return r;
}

// Reserves the request in one block with a compare-and-swap on its packed
// word; null when the block has no room. The address, not only the offset, is
// aligned, so a block whose memory is less aligned than the request still
// serves aligned memory.
uint8_t* TryBlock(ArenaBlock* block, const ArenaRequest& r) {
  uint64_t word = __atomic_load_n(&block->packed, __ATOMIC_ACQUIRE);
  for (;;) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(block->memory);
    const uintptr_t at = start + (word & kOffsetMask);
    const uint64_t offset = ((at + r.alignment - 1) & ~(r.alignment - 1)) - start;
    if (r.size + offset > block->size) return nullptr;
    const uint64_t end = offset + r.reserved < block->size ? offset + r.reserved : block->size;
    const uint64_t desired = ((word & ~kOffsetMask) + kOneLive) | end;
    if (__atomic_compare_exchange_n(&block->packed, &word, desired, true, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE)) {
      return block->memory + offset;
    }
  }
}

void Lock(uint32_t* lock) {
  for (;;) {
    uint32_t expected = 0;
    if (__atomic_compare_exchange_n(lock, &expected, 1, false, __ATOMIC_ACQUIRE,
                                    __ATOMIC_RELAXED)) {
      return;
    }
    while (__atomic_load_n(lock, __ATOMIC_RELAXED) == 1) _mm_pause();
  }
}

void Unlock(uint32_t* lock) { __atomic_store_n(lock, 0, __ATOMIC_RELEASE); }

int32_t ArenaServed(ArenaState* s, AllocationBlock* b, uint8_t* p, int32_t j, bool locked) {
  b->pointer = p;
  b->allocatedItems = b->items;
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
  int32_t highest = __atomic_load_n(&s->highestServed, __ATOMIC_RELAXED);
  while (highest < j && !__atomic_compare_exchange_n(&s->highestServed, &highest, j, true,
                                                     __ATOMIC_ACQ_REL, __ATOMIC_RELAXED)) {
  }
  if (locked) Unlock(&s->lock);
  return kAllocatorOk;
}

int32_t ArenaAllocate(ArenaState* s, AllocationBlock* b) {
  const ArenaRequest r = ArenaShape(b);
  const int32_t n = __atomic_load_n(&s->lastBlock, __ATOMIC_ACQUIRE);
  for (int32_t j = 0; j <= n; ++j) {
    if (uint8_t* p = TryBlock(&s->blocks[j], r)) return ArenaServed(s, b, p, j, false);
  }

  Lock(&s->lock);
  const int32_t last = __atomic_load_n(&s->lastBlock, __ATOMIC_ACQUIRE);
  for (int32_t j = n; j <= last; ++j) {
    if (uint8_t* p = TryBlock(&s->blocks[j], r)) return ArenaServed(s, b, p, j, true);
  }

  const uint64_t lastSize = s->blocks[last].size;
  uint64_t size = s->linearGrowth ? lastSize + kLinearStep : 2 * lastSize;
  if (size < r.reserved) size = r.reserved;
  if (size > kLinearStep - 1) s->linearGrowth = 1;
  ArenaBlock* grown = &s->blocks[last + 1];
  grown->memory =
      static_cast<uint8_t*>(AllocateUnderHandle(kGrownBlockAllocator, size, kGrownBlockAlignment));
  grown->size = size;
  __atomic_store_n(&grown->packed, 0, __ATOMIC_RELAXED);
  // Reserved before the block is published: once other callers can see it they
  // could fill it first and leave this request unserved.
  uint8_t* p = TryBlock(grown, r);
  __atomic_fetch_add(&s->lastBlock, 1, __ATOMIC_RELEASE);
  if (p) return ArenaServed(s, b, p, last + 1, true);
  Unlock(&s->lock);
  return kAllocatorCannotServe;
}

// Drops one live allocation from the block holding the pointer; the block
// whose count reaches zero starts over from its beginning.
void ArenaRelease(ArenaState* s, const uint8_t* p) {
  const int32_t last = __atomic_load_n(&s->lastBlock, __ATOMIC_ACQUIRE);
  for (int32_t j = 0; j <= last; ++j) {
    ArenaBlock* block = &s->blocks[j];
    uint64_t word = __atomic_load_n(&block->packed, __ATOMIC_ACQUIRE);
    for (;;) {
      const bool inside = p >= block->memory && p < block->memory + (word & kOffsetMask);
      if (!inside || word < kOneLive) break;
      const uint64_t desired = word < 2 * kOneLive ? 0 : word - kOneLive;
      if (__atomic_compare_exchange_n(&block->packed, &word, desired, true, __ATOMIC_ACQ_REL,
                                      __ATOMIC_ACQUIRE)) {
        break;
      }
    }
  }
}

// ---- tracking ----------------------------------------------------------------

struct TrackingState {
  ChunkedPointerList allocations;
  ChunkedPointerList releases;  // deferred: the memory is released by the host later
  uint32_t reserved64;
  AllocatorHandle backing;
};
static_assert(offsetof(TrackingState, releases) == 32);
static_assert(offsetof(TrackingState, backing) == 68);

// ---- entry tables ------------------------------------------------------------

constexpr int32_t kEntryBytes = 24;

struct EntryTableRequest {
  uint8_t* target;
  uint32_t reserved8;
  AllocatorHandle handle;
  uint8_t reserved16[16];
  const uint8_t* count;  // the count itself, or a record holding it at 8
};
static_assert(offsetof(EntryTableRequest, handle) == 12);
static_assert(offsetof(EntryTableRequest, count) == 32);

constexpr uint32_t kTargetBlock = 24;  // the table's allocation block in the target
constexpr uint32_t kTargetCount = 56;

void AllocateEntries(const EntryTableRequest* r, int32_t count) {
  AllocationBlock b{};
  b.items = count;
  b.allocatorIndex = HandleIndex(r->handle);
  b.allocatorVersion = HandleVersion(r->handle);
  b.bytesPerItem = kEntryBytes;
  b.log2Alignment = 6;
  if (b.allocatorIndex < kFirstCustomAllocator) {
    // Host allocators get the index alone.
    b.pointer = AllocateUnderHandle(b.allocatorIndex, uint64_t(int64_t(count) * kEntryBytes), 64);
    b.allocatedItems = count;
  } else {
    CallAllocatorTable(&b);
  }
  __builtin_memcpy(r->target + kTargetBlock, &b, sizeof b);
  __builtin_memcpy(r->target + kTargetCount, &count, sizeof count);
  const int64_t bytes = int64_t(b.allocatedItems) * kEntryBytes;
  if (b.pointer && bytes > 0) __builtin_memset(b.pointer, 0, static_cast<size_t>(bytes));
}

int32_t LoadInt32(const uint8_t* p) {
  int32_t v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

VORTA_MSABI int32_t BumpAllocator(void* state, AllocationBlock* block) {
  BumpState* s = static_cast<BumpState*>(state);
  uint8_t* storage = static_cast<uint8_t*>(s->storage.pointer);
  if (!block->pointer) {
    const int64_t size = RequestSize(block);
    const int64_t capacity = int64_t(s->storage.items) * int64_t(s->storage.bytesPerItem);
    if (s->top + size > capacity) return kAllocatorCannotServe;
    block->pointer = storage + s->top;
    block->allocatedItems = block->items;
    s->top += size;
    return kAllocatorOk;
  }
  if (block->items != 0 && block->bytesPerItem != 0) return kAllocatorCannotServe;
  const int64_t offset = static_cast<uint8_t*>(block->pointer) - storage;
  if (offset != s->top - int64_t(block->allocatedItems) * int64_t(block->bytesPerItem)) {
    return kAllocatorCannotServe;  // only the latest allocation can be released
  }
  s->top = offset;
  block->pointer = nullptr;
  block->allocatedItems = 0;
  return kAllocatorOk;
}

// The budget counts whole slabs: a slab is what an allocation takes out of the
// pool and what its release gives back, whatever the request's own size.
VORTA_MSABI int32_t SlabAllocator(void* state, AllocationBlock* block) {
  SlabState* s = static_cast<SlabState*>(state);
  const uint32_t shift = static_cast<uint32_t>(s->shift) & 31;
  const int64_t slabBytes = int64_t(1) << shift;
  const int64_t size = RequestSize(block);
  if (!block->pointer) {
    if (s->used + slabBytes > s->budget) return kAllocatorOverBudget;
    // A request without a positive item size cannot be split into items.
    if (size > slabBytes || s->words == 0 || block->bytesPerItem <= 0) {
      return kAllocatorCannotServe;
    }
    for (uint32_t w = 0; w < s->words; ++w) {
      const uint32_t bits = s->bitmap[w];
      if (bits == 0xFFFFFFFFu) continue;
      const uint32_t b = static_cast<uint32_t>(__builtin_ctz(~bits));
      s->bitmap[w] = bits | (uint32_t(1) << b);
      const int32_t at = static_cast<int32_t>((32 * w + b) << shift);
      block->pointer = s->base + at;
      block->allocatedItems = static_cast<int32_t>(slabBytes / block->bytesPerItem);
      s->used += slabBytes;
      return kAllocatorOk;
    }
    return kAllocatorCannotServe;
  }
  if (size != 0) return kAllocatorCannotServe;
  // A pointer outside the slabs, or a slab not in use, has nothing to release.
  const uint64_t slab = static_cast<uint64_t>(static_cast<uint8_t*>(block->pointer) - s->base) >> shift;
  if (slab >= uint64_t(32) * s->words) return kAllocatorCannotServe;
  const uint32_t bit = uint32_t(1) << (slab % 32);
  if (!(s->bitmap[slab / 32] & bit)) return kAllocatorCannotServe;
  s->bitmap[slab / 32] &= ~bit;
  block->pointer = nullptr;
  s->used -= slabBytes;
  block->allocatedItems = 0;
  return kAllocatorOk;
}

VORTA_MSABI int32_t ArenaAllocator(void* state, AllocationBlock* block) {
  ArenaState* s = static_cast<ArenaState*>(state);
  if (!block->pointer) return ArenaAllocate(s, block);
  if (block->items != 0) return kAllocatorCannotServe;
  if (s->releaseEnabled) ArenaRelease(s, static_cast<const uint8_t*>(block->pointer));
  return kAllocatorOk;
}

VORTA_MSABI int32_t TrackingAllocator(void* state, AllocationBlock* block) {
  TrackingState* s = static_cast<TrackingState*>(state);
  if (block->pointer) {
    if (block->items != 0) return kAllocatorCannotServe;
    AppendPointer(&s->releases, block->pointer);
    block->pointer = nullptr;
    block->allocatedItems = 0;
    return kAllocatorOk;
  }
  const int64_t size = RequestSize(block);
  if (size == 0) return kAllocatorOk;
  uint32_t alignment = uint32_t(1) << (block->log2Alignment & 31);
  if (static_cast<int32_t>(alignment) < 65) alignment = 64;
  void* p = AllocateUnderHandle(s->backing, static_cast<uint64_t>(size), alignment);
  block->pointer = p;
  block->allocatedItems = block->items;
  AppendPointer(&s->allocations, p);
  return kAllocatorOk;
}

VORTA_MSABI void AllocateEntryTable(void* request) {
  const EntryTableRequest* r = static_cast<const EntryTableRequest*>(request);
  AllocateEntries(r, LoadInt32(r->count));
}

VORTA_MSABI void AllocateEntryTableForRecord(void* request) {
  const EntryTableRequest* r = static_cast<const EntryTableRequest*>(request);
  AllocateEntries(r, LoadInt32(r->count + 8));
}

}  // namespace vorta::VORTA_NS
