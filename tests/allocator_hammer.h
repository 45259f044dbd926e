// Several threads at once on one arena allocator and on one tracking allocator
// (whose lists are chunked pointer lists). Shared by the allocator tests, which
// run it through the exports on both variants, and by the ThreadSanitizer
// program, which links the allocator sources directly.
//
// Host memory is used through the reference host's services, so the caller
// must have pointed the kernels' MallocTracked / FreeTracked slots at them.
#pragma once
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "frame/allocation.h"
#include "host/host.h"

namespace hammer {

typedef int32_t(VORTA_MSABI* AllocatorFnPtr)(void* state, vorta::AllocationBlock* block);

// Calls an allocator function from a frame of its own. GCC 12 was seen to
// store a spill below the stack pointer, right before a call, in a test body
// that realigns its stack (over-aligned locals) and calls ms_abi functions; so
// the tests keep over-aligned objects off their stacks and call through this.
struct AllocatorFn {
  AllocatorFnPtr fn;
  __attribute__((noinline)) int32_t operator()(void* state, vorta::AllocationBlock* block) const {
    return fn(state, block);
  }
};

inline vorta::AllocationBlock Request(int32_t bytes, uint8_t log2) {
  vorta::AllocationBlock b{};
  b.items = 1;
  b.bytesPerItem = bytes;
  b.log2Alignment = log2;
  return b;
}

inline uint8_t Tag(int thread, uint32_t seq, size_t i) {
  return static_cast<uint8_t>(thread * 97 + seq * 31 + i);
}

struct Live {
  uint8_t* p;
  int32_t size;
  int thread;
  uint32_t seq;
};

inline bool Intact(const Live& a) {
  for (int32_t i = 0; i < a.size; ++i) {
    if (a.p[i] != Tag(a.thread, a.seq, i)) return false;
  }
  return true;
}

// `threads` threads each make `perThread` requests on one arena whose first
// block is small, so that it grows while they run, with releases enabled. Each
// allocation is filled with its owner's pattern and checked when released and
// at the end: memory served twice shows as a broken pattern (and, under
// ThreadSanitizer, as a race). Every allocation must be aligned and lie inside
// a block; the allocations still live at the end must not overlap.
inline void HammerArena(AllocatorFn arena, int threads, int perThread, uint64_t seed) {
  constexpr int kMaxBlocks = 40;
  constexpr uint64_t kFirstBlock = 16 << 10;
  alignas(64) static uint8_t state[40];
  static std::vector<uint8_t> blocks;
  memset(state, 0, sizeof state);
  blocks.assign(kMaxBlocks * 24, 0);
  void* first = aligned_alloc(64, kFirstBlock);
  memcpy(&blocks[0], &first, 8);
  memcpy(&blocks[8], &kFirstBlock, 8);
  uint8_t* table = blocks.data();
  memcpy(state + 8, &table, 8);
  state[32] = 1;  // releases enabled

  auto blockCount = [] {
    return __atomic_load_n(reinterpret_cast<int32_t*>(state + 24), __ATOMIC_ACQUIRE) + 1;
  };
  auto inBlock = [&](const uint8_t* p, int32_t size) {
    for (int j = 0; j < blockCount(); ++j) {
      uint8_t* memory;
      uint64_t bytes;
      memcpy(&memory, table + 24 * j, 8);
      memcpy(&bytes, table + 24 * j + 8, 8);
      if (p >= memory && p + size <= memory + bytes) return true;
    }
    return false;
  };

  std::vector<std::vector<Live>> kept(threads);
  std::vector<int> failures(threads, 0);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      std::mt19937_64 rng(seed + t);
      std::vector<Live>& live = kept[t];
      for (uint32_t seq = 0; seq < uint32_t(perThread); ++seq) {
        if (!live.empty() && rng() % 3 == 0) {
          const size_t k = rng() % live.size();
          Live a = live[k];
          live[k] = live.back();
          live.pop_back();
          if (!Intact(a)) ++failures[t];
          vorta::AllocationBlock b = Request(a.size, 0);
          b.pointer = a.p;
          b.items = 0;
          b.allocatedItems = 1;
          if (arena(state, &b) != 0) ++failures[t];
          continue;
        }
        const int32_t size = 1 + int32_t(rng() % 700);
        const uint8_t log2 = uint8_t(rng() % 10);
        vorta::AllocationBlock b = Request(size, log2);
        if (arena(state, &b) != 0 || !b.pointer) {
          ++failures[t];
          continue;
        }
        uint8_t* p = static_cast<uint8_t*>(b.pointer);
        const uintptr_t alignment = std::max<uintptr_t>(64, uintptr_t(1) << log2);
        if (reinterpret_cast<uintptr_t>(p) % alignment != 0 || !inBlock(p, size) ||
            b.allocatedItems != 1) {
          ++failures[t];
        }
        Live a{p, size, t, seq};
        for (int32_t i = 0; i < size; ++i) p[i] = Tag(t, seq, i);
        live.push_back(a);
      }
    });
  }
  for (auto& th : pool) th.join();
  for (int t = 0; t < threads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;

  std::vector<Live> all;
  for (auto& live : kept) all.insert(all.end(), live.begin(), live.end());
  std::sort(all.begin(), all.end(), [](const Live& a, const Live& b) { return a.p < b.p; });
  int broken = 0, overlapping = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    if (!Intact(all[i])) ++broken;
    if (i + 1 < all.size() && all[i].p + all[i].size > all[i + 1].p) ++overlapping;
  }
  EXPECT_EQ(broken, 0);
  EXPECT_EQ(overlapping, 0);
  EXPECT_GT(blockCount(), 1) << "the arena never grew";
  EXPECT_EQ(*reinterpret_cast<int32_t*>(state + 28), blockCount() - 1)
      << "highest serving block";

  for (int j = 1; j < blockCount(); ++j) {
    void* memory;
    memcpy(&memory, table + 24 * j, 8);
    vorta::host::service::FreeTracked(memory, 4);
  }
  free(first);
}

// Chunked pointer lists as the tracking allocator uses them: `threads` threads
// allocate (and release half of what they allocate) at once; afterwards each
// list holds every pointer exactly once, every chunk slot up to the last entry
// is filled, and no chunk is lost (the host sees every allocation released
// once the test frees the chunks it finds).
inline void HammerTracking(AllocatorFn tracking, int threads, int perThread, uint64_t seed) {
  constexpr int kShift = 3;  // 8 entries per chunk: many chunk boundaries to race on
  const int slots = (threads * perThread >> kShift) + 8;
  std::vector<void*> chunkSlots[2] = {std::vector<void*>(slots), std::vector<void*>(slots)};
  uint8_t state[72] = {};
  const uint32_t listHandle = 5u | 1u << 16;
  for (int l = 0; l < 2; ++l) {
    uint8_t* list = state + 32 * l;
    memcpy(list, &listHandle, 4);
    const int32_t shift = kShift;
    memcpy(list + 12, &shift, 4);
    memcpy(list + 16, &slots, 4);
    void** array = chunkSlots[l].data();
    memcpy(list + 24, &array, 8);
  }
  const uint32_t backing = 6u | 3u << 16;
  memcpy(state + 68, &backing, 4);
  const int64_t liveBefore = vorta::host::LiveAllocations();

  std::vector<std::vector<void*>> allocated(threads), released(threads);
  std::vector<int> failures(threads, 0);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      std::mt19937_64 rng(seed + t);
      for (int i = 0; i < perThread; ++i) {
        vorta::AllocationBlock b = Request(1 + int32_t(rng() % 200), uint8_t(rng() % 8));
        if (tracking(state, &b) != 0 || !b.pointer) {
          ++failures[t];
          continue;
        }
        allocated[t].push_back(b.pointer);
        if (rng() & 1) {
          b.items = 0;
          void* p = b.pointer;
          if (tracking(state, &b) != 0 || b.pointer) ++failures[t];
          released[t].push_back(p);
        }
      }
    });
  }
  for (auto& th : pool) th.join();
  for (int t = 0; t < threads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;

  std::vector<void*> chunks;
  for (int l = 0; l < 2; ++l) {
    std::vector<void*> want;
    for (auto& v : l == 0 ? allocated : released) want.insert(want.end(), v.begin(), v.end());
    int32_t count;
    memcpy(&count, state + 32 * l + 4, 4);
    EXPECT_EQ(count, int32_t(want.size()));
    std::vector<void*> got;
    const int used = (count + (1 << kShift) - 1) >> kShift;
    for (int k = 0; k < slots; ++k) {
      void** chunk = static_cast<void**>(chunkSlots[l][k]);
      if (!chunk) {
        EXPECT_GE(k, used) << "missing chunk " << k;
        continue;
      }
      chunks.push_back(chunk);
      for (int i = 0; i < (1 << kShift) && (k << kShift) + i < count; ++i) {
        got.push_back(chunk[i]);
      }
    }
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_TRUE(got == want) << "list " << l << ": entries lost or repeated";
  }
  for (auto& v : allocated) {
    for (void* p : v) vorta::host::service::FreeTracked(p, backing);
  }
  for (void* c : chunks) vorta::host::service::FreeTracked(c, listHandle);
  EXPECT_EQ(vorta::host::LiveAllocations(), liveBefore) << "chunks lost";
}

}  // namespace hammer
