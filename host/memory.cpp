// The memory services: tracked and untracked aligned allocation, the replicating
// copy, and the process-wide shared blocks keyed by 16 bytes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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
};

struct MemoryState {
  std::mutex mutex;
  std::unordered_map<void*, Block> live;  // every block handed out and not yet released
  int64_t liveTracked = 0;
  int64_t liveUntracked = 0;
  bool logOn = false;
  std::vector<MemoryEvent> log;
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

void* Allocate(MemoryEvent::Kind kind, uint64_t size, uint32_t alignment, uint32_t allocator,
               bool zero) {
  void* p = nullptr;
  size_t bytes = size == 0 ? 1 : static_cast<size_t>(size);
  if (posix_memalign(&p, EffectiveAlignment(alignment), bytes) != 0 || !p) {
    fprintf(stderr, "vorta host: out of memory allocating %llu bytes\n",
            static_cast<unsigned long long>(size));
    abort();
  }
  if (zero) memset(p, 0, bytes);
  bool tracked = kind == MemoryEvent::MallocTracked;
  MemoryState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.live[p] = Block{size, alignment, tracked};
  (tracked ? s.liveTracked : s.liveUntracked)++;
  if (s.logOn) s.log.push_back(MemoryEvent{kind, p, size, alignment, allocator});
  return p;
}

void Release(MemoryEvent::Kind kind, void* ptr, uint32_t allocator) {
  bool tracked = kind == MemoryEvent::FreeTracked;
  MemoryState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    Block b{0, 0, tracked};
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
