// Container disposal.
//
// The containers with a header (bit array, list, text, ring queue, hash-based
// container) all follow one protocol, written once in DisposeContainer and
// parameterised by a table of where each keeps its buffer handle, how the buffer
// and the header are released and which header bytes are cleared. The queue
// kernels return their block chain to the shared pool first; the block list
// walks its chains.
#include "containers/disposal.h"

#include <stddef.h>

#include "frame/services.h"

namespace vorta::VORTA_NS {
namespace {

constexpr AllocatorHandle kPersistentAllocator = 4;  // where surplus queue blocks go back

// How a buffer is released under a host allocator (index below 64).
enum class Form : uint8_t {
  kPacked,     // FreeTracked(pointer, index | version << 16)
  kIndexOnly,  // FreeTracked(pointer, index), nothing at all for index 1
};

// The size fields a custom allocator receives with a release.
struct Shape {
  int32_t bytesPerItem;
  int32_t allocatedItems;
  uint8_t log2Alignment;
};

void Release(void* pointer, AllocatorHandle handle, Form form, Shape shape) {
  if (form == Form::kIndexOnly && HandleIndex(handle) < kFirstCustomAllocator) {
    if (HandleIndex(handle) == 1) return;
    handle = HandleIndex(handle);
  }
  ReleaseBlockUnderHandle(pointer, handle, shape.bytesPerItem, shape.allocatedItems,
                          shape.log2Alignment);
}

template <class T>
T LoadAt(const uint8_t* base, uint32_t offset) {
  T v;
  __builtin_memcpy(&v, base + offset, sizeof v);
  return v;
}

template <class T>
void StoreAt(uint8_t* base, uint32_t offset, T v) {
  __builtin_memcpy(base + offset, &v, sizeof v);
}

struct ZeroRange {
  uint8_t offset;
  uint8_t bytes;
};

// Where a container keeps its buffer and how each part is released. The buffer
// pointer is always the header's first field.
struct ContainerRules {
  const char* message;            // raised when the header pointer is null
  uint8_t handleOffset;           // the buffer's allocator handle in the header
  bool guarded;                   // release only under handles above 1, then store handle 0
  Form bufferForm;
  int32_t bytesPerItem;
  uint8_t capacityOffset;         // 0: one allocated item; else a 32-bit capacity there
  uint8_t bufferLog2Alignment;
  ZeroRange reset[2];             // the header bytes cleared once the buffer is gone
  Shape header;
  Form headerForm;
};

constexpr const char* kInvalidOperation = "System.InvalidOperationException";

// Bit array record: header pointer at 0, the header's own handle at 8.
// Header: buffer at 0, 32-bit length at 8, buffer handle at 16; 24 bytes.
constexpr ContainerRules kBitArray = {
    "UnsafeBitArray has yet to be created or has been destroyed!",
    16, true, Form::kPacked, 8, 0, 6, {{0, 8}, {8, 4}}, {24, 1, 6}, Form::kPacked};

// List of 4-byte items and text: buffer at 0, 32-bit length at 8, 32-bit
// capacity at 12, handle at 16; 24 bytes, released under the buffer's handle.
constexpr ContainerRules kList = {
    nullptr, 16, true, Form::kIndexOnly, 4, 12, 2, {{0, 16}, {0, 0}}, {24, 1, 3}, Form::kIndexOnly};
constexpr ContainerRules kText = {
    "UnsafeText has yet to be created or has been destroyed!",
    16, true, Form::kIndexOnly, 1, 12, 0, {{0, 16}, {0, 0}}, {24, 1, 6}, Form::kPacked};

// Ring queue: buffer at 0, handle at 8; 32 bytes.
constexpr ContainerRules kRingQueue = {
    "UnsafeRingQueue has yet to be created or has been destroyed!",
    8, true, Form::kPacked, 4, 0, 6, {{0, 8}, {0, 0}}, {32, 1, 6}, Form::kPacked};

// Hash-based container: buffer at 0, bookkeeping up to 36 and a 32-bit count at
// 44, handle at 60; 64 bytes. Its buffer handle is not guarded.
constexpr ContainerRules kHashContainer = {
    "Hash based container has yet to be created or has been destroyed!",
    60, false, Form::kPacked, 1, 0, 6, {{0, 36}, {44, 4}}, {64, 1, 6}, Form::kPacked};

// The common protocol. The header itself goes under `headerHandle` when the
// caller has one of its own, else under the buffer handle as read before the
// reset.
void DisposeContainer(uint8_t* header, const ContainerRules& r, const AllocatorHandle* headerHandle) {
  if (!header) {
    if (r.message) Abort(kInvalidOperation, r.message);
    return;  // nothing was created, nothing to release
  }
  const AllocatorHandle handle = LoadAt<AllocatorHandle>(header, r.handleOffset);
  void* buffer = LoadAt<void*>(header, 0);
  if (buffer) {
    if (!r.guarded || HandleOwnsMemory(handle)) {
      const int32_t allocated = r.capacityOffset ? LoadAt<int32_t>(header, r.capacityOffset) : 1;
      Release(buffer, handle, r.bufferForm, Shape{r.bytesPerItem, allocated, r.bufferLog2Alignment});
      if (r.guarded) StoreAt<AllocatorHandle>(header, r.handleOffset, 0);
    }
    for (const ZeroRange& z : r.reset) __builtin_memset(header + z.offset, 0, z.bytes);
  }
  Release(header, headerHandle ? *headerHandle : handle, r.headerForm, r.header);
}

uint8_t* HeaderIn(void* headerSlot) { return *static_cast<uint8_t**>(headerSlot); }

// ---- queues ------------------------------------------------------------------

struct QueueBlock {
  QueueBlock* next;
};

// Free blocks shared by the queues of one kind; other threads take blocks from
// it while a queue is disposed.
struct QueuePool {
  QueueBlock* head;
  int32_t count;
  int32_t limit;
};
static_assert(offsetof(QueuePool, count) == 8);
static_assert(offsetof(QueuePool, limit) == 12);

// A queue's data: its chain of blocks starts at the first field.
struct QueueData {
  QueueBlock* first;
};

struct QueueHeader {
  QueueData* data;
  QueuePool* pool;
  AllocatorHandle handle;
};
static_assert(offsetof(QueueHeader, pool) == 8);
static_assert(offsetof(QueueHeader, handle) == 16);

constexpr Shape kQueueData = {32, 1, 6};
constexpr Shape kQueueHeader = {24, 1, 6};
constexpr Shape kQueueBlock = {1, 1, 6};

// Surplus blocks (count above the limit) are freed; the rest are pushed onto
// the pool's free list. Lock-free against concurrent takers: the count moves by
// atomic steps, and the push is a compare-and-swap on the head.
void ReturnBlocks(QueueBlock* block, QueuePool* pool) {
  while (block) {
    QueueBlock* next = block->next;
    if (__atomic_load_n(&pool->count, __ATOMIC_RELAXED) > pool->limit) {
      if (__atomic_fetch_sub(&pool->count, 1, __ATOMIC_ACQ_REL) > pool->limit) {
        Release(block, kPersistentAllocator, Form::kPacked, kQueueBlock);
        block = next;
        continue;
      }
      __atomic_fetch_add(&pool->count, 1, __ATOMIC_ACQ_REL);
    }
    QueueBlock* head = __atomic_load_n(&pool->head, __ATOMIC_RELAXED);
    do {
      block->next = head;
    } while (!__atomic_compare_exchange_n(&pool->head, &head, block, true, __ATOMIC_RELEASE,
                                          __ATOMIC_RELAXED));
    block = next;
  }
}

void DisposeQueueDataUnder(QueueData* data, QueuePool* pool, AllocatorHandle handle) {
  ReturnBlocks(data->first, pool);
  Release(data, handle, Form::kPacked, kQueueData);
}

// ---- block list --------------------------------------------------------------

struct BlockListHeader {
  AllocatorHandle handle;
  uint32_t reserved4;
  QueueBlock** chains;
  int32_t chainCount;
  uint32_t reserved20;
  AllocationBlock array;  // the memory of `chains`
};
static_assert(offsetof(BlockListHeader, chains) == 8);
static_assert(offsetof(BlockListHeader, chainCount) == 16);
static_assert(offsetof(BlockListHeader, array) == 24);

constexpr Shape kListBlock = {1, 4096, 6};

// Releases the memory an allocation block describes, through its own
// allocator, and leaves the block empty. A block without memory has nothing to
// release: handing it to an allocator would allocate instead.
void ReleaseDescribed(AllocationBlock* b) {
  b->items = 0;
  if (!b->pointer) return;
  if (b->allocatorIndex >= kFirstCustomAllocator) {
    CallAllocatorTable(b);
    return;
  }
  const AllocatorHandle handle = b->allocatorIndex | uint32_t(b->allocatorVersion) << 16;
  Release(b->pointer, handle, Form::kIndexOnly,
          Shape{b->bytesPerItem, b->allocatedItems, b->log2Alignment});
  b->pointer = nullptr;
  b->allocatedItems = 0;
}

}  // namespace

// ---- the kernels -------------------------------------------------------------

// Record: header pointer at 0, the header's handle at 8.
VORTA_MSABI void DisposeBitArray(void* record) {
  const uint8_t* r = static_cast<const uint8_t*>(record);
  const AllocatorHandle headerHandle = LoadAt<AllocatorHandle>(r, 8);
  DisposeContainer(LoadAt<uint8_t*>(r, 0), kBitArray, &headerHandle);
}

VORTA_MSABI void DisposeList(void* headerSlot) {
  DisposeContainer(HeaderIn(headerSlot), kList, nullptr);
}

VORTA_MSABI void DisposeText(void* headerSlot) {
  DisposeContainer(HeaderIn(headerSlot), kText, nullptr);
}

VORTA_MSABI void DisposeRingQueue(void* headerSlot) {
  DisposeContainer(HeaderIn(headerSlot), kRingQueue, nullptr);
}

VORTA_MSABI void DisposeHashContainer(void* headerSlot) {
  DisposeContainer(HeaderIn(headerSlot), kHashContainer, nullptr);
}

VORTA_MSABI void DisposeQueue(void* header) {
  QueueHeader* h = static_cast<QueueHeader*>(header);
  if (!h) Abort(kInvalidOperation, "UnsafeQueue has yet to be created or has been destroyed!");
  const AllocatorHandle handle = h->handle;
  if (h->data) {
    DisposeQueueDataUnder(h->data, h->pool, handle);
    h->data = nullptr;
    h->pool = nullptr;
  }
  Release(h, handle, Form::kPacked, kQueueHeader);
}

// Record: data at 0, pool at 8, handle at 16 (a queue header by value).
VORTA_MSABI void DisposeQueueData(void* record) {
  const QueueHeader* r = static_cast<const QueueHeader*>(record);
  if (r->data) DisposeQueueDataUnder(r->data, r->pool, r->handle);
}

// Record: box pointer at 0, handle at 8. The box's first field is its buffer.
VORTA_MSABI void DisposeBoxedBuffer(void* record) {
  const uint8_t* r = static_cast<const uint8_t*>(record);
  uint8_t* box = LoadAt<uint8_t*>(r, 0);
  if (!box) return;
  const AllocatorHandle handle = LoadAt<AllocatorHandle>(r, 8);
  if (void* buffer = LoadAt<void*>(box, 0)) {
    Release(buffer, handle, Form::kPacked, Shape{1, 1, 6});
  }
  Release(box, handle, Form::kPacked, Shape{48, 1, 6});
}

// Record: pointer at 0, handle at 8.
VORTA_MSABI void DisposeSingleAllocation(void* record) {
  const uint8_t* r = static_cast<const uint8_t*>(record);
  if (void* p = LoadAt<void*>(r, 0)) {
    Release(p, LoadAt<AllocatorHandle>(r, 8), Form::kPacked, Shape{1, 1, 6});
  }
}

VORTA_MSABI void DisposeSingleAllocationIndexOnly(void* record) {
  const uint8_t* r = static_cast<const uint8_t*>(record);
  if (void* p = LoadAt<void*>(r, 0)) {
    Release(p, LoadAt<AllocatorHandle>(r, 8), Form::kIndexOnly, Shape{1, 1, 0});
  }
}

// `list` describes the list header's memory. The chain count is read again
// after every chain.
VORTA_MSABI void DisposeBlockList(AllocationBlock* list) {
  BlockListHeader* h = static_cast<BlockListHeader*>(list->pointer);
  if (!h) return;
  for (int32_t i = 0; i < h->chainCount; ++i) {
    for (QueueBlock* b = h->chains[i]; b;) {
      QueueBlock* next = b->next;
      Release(b, h->handle, Form::kPacked, kListBlock);
      b = next;
    }
  }
  ReleaseDescribed(&h->array);
  ReleaseDescribed(list);
  __builtin_memset(list, 0, sizeof *list);
}

VORTA_MSABI void DisposeNothing() {}

}  // namespace vorta::VORTA_NS
