// The memory services: tracked and untracked aligned allocation, the replicating
// copy, and the process-wide shared blocks keyed by 16 bytes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "host/host.h"

namespace vorta::host {
namespace {

struct Block {
  uint64_t size;
  uint32_t alignment;
  bool tracked;
  uint8_t* mapping = nullptr;  // guarded blocks: their own mapping, released with munmap
  size_t mappingSize = 0;
};

struct MemoryState {
  std::mutex mutex;
  std::unordered_map<void*, Block> live;  // every block handed out and not yet released
  int64_t liveTracked = 0;
  int64_t liveUntracked = 0;
  bool logOn = false;
  std::vector<MemoryEvent> log;
  std::atomic<bool> guarded{false};
  std::atomic<uint32_t> guardedCount{0};  // alternates the placement of guarded blocks
};

MemoryState& State() {
  static MemoryState* s = new MemoryState;  // outlives every worker thread
  return *s;
}

// posix_memalign wants a power of two, at least the size of a pointer.
size_t EffectiveAlignment(uint32_t alignment) {
  size_t a = alignment < 16 ? 16 : alignment;
  size_t p = 16;
  while (p < a) p <<= 1;
  return p;
}

[[noreturn]] void Fatal(const char* what, void* ptr) {
  fprintf(stderr, "vorta host: %s (%p)\n", what, ptr);
  fflush(stderr);
  abort();
}

[[noreturn]] void OutOfMemory(uint64_t size) {
  fprintf(stderr, "vorta host: out of memory allocating %llu bytes\n",
          static_cast<unsigned long long>(size));
  abort();
}

// A block in its own mapping between two inaccessible pages, alternately
// starting at the first accessible byte and ending at the last one (or as
// close to it as its alignment allows).
void* AllocateGuarded(size_t bytes, size_t alignment, Block& b) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  const size_t slack = alignment > page ? alignment : 0;
  const size_t body = (bytes + slack + page - 1) / page * page;
  b.mappingSize = body + 2 * page;
  void* m = mmap(nullptr, b.mappingSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) OutOfMemory(bytes);
  b.mapping = static_cast<uint8_t*>(m);
  mprotect(b.mapping + page, body, PROT_READ | PROT_WRITE);
  const uintptr_t first = uintptr_t(b.mapping + page), last = first + body;
  const bool atStart = State().guardedCount.fetch_add(1) % 2 == 0;
  uintptr_t p = atStart ? (first + alignment - 1) / alignment * alignment
                        : (last - bytes) / alignment * alignment;
  memset(reinterpret_cast<void*>(p), 0xcd, bytes);  // not zero: kernels must not rely on it
  return reinterpret_cast<void*>(p);
}

void* Allocate(MemoryEvent::Kind kind, uint64_t size, uint32_t alignment, uint32_t allocator,
               bool zero) {
  void* p = nullptr;
  size_t bytes = size == 0 ? 1 : static_cast<size_t>(size);
  bool tracked = kind == MemoryEvent::MallocTracked;
  Block block{size, alignment, tracked};
  MemoryState& s = State();
  if (s.guarded.load()) {
    p = AllocateGuarded(bytes, EffectiveAlignment(alignment), block);
  } else if (posix_memalign(&p, EffectiveAlignment(alignment), bytes) != 0 || !p) {
    OutOfMemory(size);
  }
  if (zero) memset(p, 0, bytes);
  std::lock_guard<std::mutex> lock(s.mutex);
  s.live[p] = block;
  (tracked ? s.liveTracked : s.liveUntracked)++;
  if (s.logOn) s.log.push_back(MemoryEvent{kind, p, size, alignment, allocator});
  return p;
}

void Release(MemoryEvent::Kind kind, void* ptr, uint32_t allocator) {
  bool tracked = kind == MemoryEvent::FreeTracked;
  MemoryState& s = State();
  Block b{0, 0, tracked};
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (ptr) {
      auto it = s.live.find(ptr);
      if (it == s.live.end())
        Fatal("release of a block this host did not hand out, or a second release", ptr);
      b = it->second;
      if (b.tracked != tracked)
        Fatal(tracked ? "FreeTracked of a block from Malloc" : "Free of a block from MallocTracked",
              ptr);
      s.live.erase(it);
      (tracked ? s.liveTracked : s.liveUntracked)--;
    }
    if (s.logOn) s.log.push_back(MemoryEvent{kind, ptr, b.size, b.alignment, allocator});
  }
  if (b.mapping)
    munmap(b.mapping, b.mappingSize);
  else
    free(ptr);
}

// Shared blocks live for the whole process and are never released.
struct SharedState {
  std::mutex mutex;
  std::map<std::array<uint8_t, 16>, void*> blocks;
  std::atomic<int> calls{0};
};

SharedState& Shared() {
  static SharedState* s = new SharedState;
  return *s;
}

}  // namespace

void StartMemoryLog() {
  MemoryState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.logOn = true;
}

void StopMemoryLog() {
  MemoryState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.logOn = false;
  s.log.clear();
}

std::vector<MemoryEvent> TakeMemoryLog() {
  MemoryState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<MemoryEvent> out;
  out.swap(s.log);
  return out;
}

int64_t LiveAllocations() {
  MemoryState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.liveTracked;
}

int64_t LiveUntrackedAllocations() {
  MemoryState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.liveUntracked;
}

int SharedMemoryCallCount() { return Shared().calls.load(); }

void SetGuardedAllocations(bool on) { State().guarded.store(on); }

namespace service {

VORTA_MSABI void* Malloc(uint64_t size, uint32_t alignment, uint32_t allocator) {
  return Allocate(MemoryEvent::Malloc, size, alignment, allocator, false);
}

VORTA_MSABI void* MallocTracked(uint64_t size, uint32_t alignment, uint32_t handle, uint32_t zero) {
  return Allocate(MemoryEvent::MallocTracked, size, alignment, handle, zero != 0);
}

VORTA_MSABI void Free(void* ptr, uint32_t allocator) { Release(MemoryEvent::Free, ptr, allocator); }

VORTA_MSABI void FreeTracked(void* ptr, uint32_t handle) {
  Release(MemoryEvent::FreeTracked, ptr, handle);
}

VORTA_MSABI void MemCpyReplicate(void* dst, const void* src, uint32_t size, uint32_t count) {
  if (size == 0 || count == 0) return;
  uint8_t* d = static_cast<uint8_t*>(dst);
  memmove(d, src, size);
  // Double the filled prefix until the destination is full.
  uint64_t total = static_cast<uint64_t>(size) * count;
  uint64_t filled = size;
  while (filled < total) {
    uint64_t n = filled < total - filled ? filled : total - filled;
    memcpy(d + filled, d, static_cast<size_t>(n));
    filled += n;
  }
}

VORTA_MSABI void* GetOrCreateSharedMemory(const void* key16, uint32_t size, uint32_t alignment) {
  SharedState& s = Shared();
  s.calls.fetch_add(1);
  std::array<uint8_t, 16> key;
  memcpy(key.data(), key16, 16);
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.blocks.find(key);
  if (it != s.blocks.end()) return it->second;
  void* p = nullptr;
  size_t bytes = size == 0 ? 1 : size;
  if (posix_memalign(&p, EffectiveAlignment(alignment), bytes) != 0 || !p) {
    fprintf(stderr, "vorta host: out of memory for a shared block of %u bytes\n", size);
    abort();
  }
  memset(p, 0, bytes);
  s.blocks.emplace(key, p);
  return p;
}

}  // namespace service
}  // namespace vorta::host
