// The custom allocators and entry-table kernels through their exports: every
// status and state change, on both variants, written against the byte offsets
// of the states; then the arena and the tracking allocator's lists hammered by
// several threads.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "allocator_hammer.h"
#include "frame/allocation.h"
#include "frame/statics.h"
#include "host/host.h"
#include "host/linked_module.h"

namespace {

namespace host = vorta::host;
using hammer::AllocatorFn;
using hammer::Request;
using vorta::AllocationBlock;
using vorta::CpuVariant;

template <class T>
void Put(void* base, size_t offset, T v) {
  memcpy(static_cast<uint8_t*>(base) + offset, &v, sizeof v);
}
template <class T>
T Get(const void* base, size_t offset) {
  T v;
  memcpy(&v, static_cast<const uint8_t*>(base) + offset, sizeof v);
  return v;
}

AllocatorFn Allocator(const char* exportName) {
  return AllocatorFn{reinterpret_cast<hammer::AllocatorFnPtr>(host::LinkedKernel(exportName))};
}
AllocatorFn Bump() { return Allocator("478bf3abafa12cba2083fb45bca79b9c"); }
AllocatorFn Slab() { return Allocator("2434a4c10d01dbab5e7438b2b580d1d1"); }
AllocatorFn Arena() { return Allocator("cf20d690c33ab495d44c548cd6a31428"); }
AllocatorFn Tracking() { return Allocator("07fd39dcd121e0de66cd5435146dd2c2"); }

AllocationBlock ReleaseOf(const AllocationBlock& a) {
  AllocationBlock r = a;
  r.items = 0;
  return r;
}

class Allocators : public ::testing::TestWithParam<CpuVariant> {
 protected:
  void SetUp() override {
    if (GetParam() == CpuVariant::Avx2 && !host::CanRunAvx2()) GTEST_SKIP();
    host::InitializeLinked(GetParam());
    live_ = host::LiveAllocations();
  }
  void TearDown() override { EXPECT_EQ(host::LiveAllocations(), live_); }
  int64_t live_ = 0;
};

// ---- bump ----------------------------------------------------------------------

TEST_P(Allocators, BumpHandsOutInOrderAndRewindsOnlyTheLatest) {
  uint8_t storage[100];
  uint8_t state[48] = {};
  Put<void*>(state, 8, storage);
  Put<int32_t>(state, 16, 25);  // items
  Put<int32_t>(state, 24, 4);   // bytes per item: 100 bytes
  AllocatorFn bump = Bump();

  AllocationBlock a = Request(3, 6);  // no alignment is applied
  a.items = 7;                        // 21 bytes
  ASSERT_EQ(bump(state, &a), 0);
  EXPECT_EQ(a.pointer, storage);
  EXPECT_EQ(a.allocatedItems, 7);
  AllocationBlock b = Request(50, 0);
  ASSERT_EQ(bump(state, &b), 0);
  EXPECT_EQ(b.pointer, storage + 21);
  EXPECT_EQ(Get<int64_t>(state, 40), 71);
  AllocationBlock c = Request(30, 0);
  EXPECT_EQ(bump(state, &c), -1);  // 101 > 100
  EXPECT_EQ(c.pointer, nullptr);
  AllocationBlock d = Request(29, 0);
  ASSERT_EQ(bump(state, &d), 0);   // exactly full
  EXPECT_EQ(Get<int64_t>(state, 40), 100);

  AllocationBlock notLatest = ReleaseOf(b);
  EXPECT_EQ(bump(state, &notLatest), -1);
  EXPECT_EQ(notLatest.pointer, b.pointer);
  EXPECT_EQ(Get<int64_t>(state, 40), 100);
  AllocationBlock withItems = d;  // items and bytes per item both set
  EXPECT_EQ(bump(state, &withItems), -1);

  AllocationBlock latest = ReleaseOf(d);
  ASSERT_EQ(bump(state, &latest), 0);
  EXPECT_EQ(latest.pointer, nullptr);
  EXPECT_EQ(latest.allocatedItems, 0);
  EXPECT_EQ(Get<int64_t>(state, 40), 71);
  AllocationBlock thenB = ReleaseOf(b);
  ASSERT_EQ(bump(state, &thenB), 0);
  EXPECT_EQ(Get<int64_t>(state, 40), 21);
  AllocationBlock again = Request(10, 0);
  ASSERT_EQ(bump(state, &again), 0);
  EXPECT_EQ(again.pointer, storage + 21);
}

// ---- slab ----------------------------------------------------------------------

struct SlabFixture {
  std::vector<uint8_t> state = std::vector<uint8_t>(4160, 0);
  uint8_t base[64 * 64 * 2];
  SlabFixture(int32_t shift, uint16_t words, int64_t budget) {
    Put<void*>(state.data(), 8, base);
    Put(state.data(), 40, shift);
    Put(state.data(), 48, words);
    Put(state.data(), 4144, budget);
  }
  void* S() { return state.data(); }
  uint32_t Word(int w) const { return Get<uint32_t>(state.data(), 52 + 4 * w); }
  void SetWord(int w, uint32_t v) { Put(state.data(), 52 + 4 * w, v); }
  int64_t Used() const { return Get<int64_t>(state.data(), 4152); }
};

TEST_P(Allocators, SlabStatuses) {
  AllocatorFn slab = Slab();
  {
    SlabFixture f(6, 2, 1 << 20);  // 64-byte slabs
    AllocationBlock big = Request(65, 0);
    EXPECT_EQ(slab(f.S(), &big), -1);
    AllocationBlock zeroItemSize = Request(0, 0);  // would divide the slab by 0
    EXPECT_EQ(slab(f.S(), &zeroItemSize), -1);
    EXPECT_EQ(f.Word(0), 0u);
    EXPECT_EQ(f.Used(), 0);
    AllocationBlock twoByTen = Request(10, 0);
    twoByTen.items = 2;
    ASSERT_EQ(slab(f.S(), &twoByTen), 0);
    EXPECT_EQ(twoByTen.pointer, f.base);
    EXPECT_EQ(twoByTen.allocatedItems, 6);  // 64 / 10
    AllocationBlock withSize = twoByTen;   // a release must ask for nothing
    EXPECT_EQ(slab(f.S(), &withSize), -1);
    EXPECT_EQ(f.Word(0), 1u);
  }
  {
    SlabFixture f(6, 0, 1 << 20);  // no bitmap words
    AllocationBlock a = Request(8, 0);
    EXPECT_EQ(slab(f.S(), &a), -1);
  }
  {
    SlabFixture f(6, 0, 100);  // over budget wins over everything else
    Put<int64_t>(f.S(), 4152, 40);
    AllocationBlock a = Request(8, 0);
    EXPECT_EQ(slab(f.S(), &a), -2);
    EXPECT_EQ(a.pointer, nullptr);
  }
}

TEST_P(Allocators, SlabScansForTheFirstClearBit) {
  AllocatorFn slab = Slab();
  SlabFixture f(5, 3, 1 << 20);  // 32-byte slabs
  f.SetWord(0, 0xFFFFFFFFu);
  f.SetWord(1, 0x7FFFFFFFu);  // only bit 31 clear
  AllocationBlock a = Request(32, 0);
  ASSERT_EQ(slab(f.S(), &a), 0);
  EXPECT_EQ(a.pointer, f.base + (32 * 1 + 31) * 32);
  EXPECT_EQ(f.Word(1), 0xFFFFFFFFu);
  AllocationBlock b = Request(1, 0);
  ASSERT_EQ(slab(f.S(), &b), 0);
  EXPECT_EQ(b.pointer, f.base + 64 * 32);
  EXPECT_EQ(b.allocatedItems, 32);
  f.SetWord(2, 0xFFFFFFFFu);
  AllocationBlock full = Request(1, 0);
  EXPECT_EQ(slab(f.S(), &full), -1);

  AllocationBlock r = ReleaseOf(a);
  r.items = 0;
  ASSERT_EQ(slab(f.S(), &r), 0);
  EXPECT_EQ(r.pointer, nullptr);
  EXPECT_EQ(r.allocatedItems, 0);
  EXPECT_EQ(f.Word(1), 0x7FFFFFFFu);
  AllocationBlock twice = ReleaseOf(a);  // not in use any more
  EXPECT_EQ(slab(f.S(), &twice), -1);
  EXPECT_EQ(f.Word(1), 0x7FFFFFFFu);
}

// The budget counts whole slabs, the same on the way in and out, so a run of
// allocations and releases ends where it started.
TEST_P(Allocators, SlabBudgetStaysBalanced) {
  AllocatorFn slab = Slab();
  SlabFixture f(6, 2, 3 * 64);
  std::mt19937 rng(5);
  std::vector<AllocationBlock> live;
  for (int step = 0; step < 200; ++step) {
    if (!live.empty() && (rng() & 1)) {
      AllocationBlock r = ReleaseOf(live.back());
      live.pop_back();
      ASSERT_EQ(slab(f.S(), &r), 0);
    } else {
      AllocationBlock a = Request(1 + int32_t(rng() % 64), 0);
      const int32_t status = slab(f.S(), &a);
      if (live.size() == 3) {
        EXPECT_EQ(status, -2);
      } else {
        ASSERT_EQ(status, 0);
        live.push_back(a);
      }
    }
    EXPECT_EQ(f.Used(), int64_t(live.size()) * 64);
  }
}

// ---- arena ---------------------------------------------------------------------

struct ArenaFixture {
  uint8_t state[40] = {};
  std::vector<uint8_t> table = std::vector<uint8_t>(24 * 8, 0);
  void* first;
  explicit ArenaFixture(uint64_t firstBytes, bool releases = true) {
    // posix_memalign: aligned_alloc wants the size to be a multiple of the alignment.
    if (posix_memalign(&first, 0x4000, firstBytes) != 0) first = nullptr;
    Put(table.data(), 0, first);
    Put(table.data(), 8, firstBytes);
    Put<void*>(state, 8, table.data());
    state[32] = releases;
  }
  ~ArenaFixture() {
    for (int j = 1; j <= Last(); ++j) host::service::FreeTracked(Memory(j), 4);
    free(first);
  }
  int32_t Last() const { return Get<int32_t>(state, 24); }
  int32_t Highest() const { return Get<int32_t>(state, 28); }
  uint8_t* Memory(int j) const { return Get<uint8_t*>(table.data(), 24 * j); }
  uint64_t Size(int j) const { return Get<uint64_t>(table.data(), 24 * j + 8); }
  uint64_t Offset(int j) const { return Get<uint64_t>(table.data(), 24 * j + 16) & 0xFFFFFFFFFFull; }
  uint64_t Live(int j) const { return Get<uint64_t>(table.data(), 24 * j + 16) >> 40; }
};

TEST_P(Allocators, ArenaAlignsReservesAndCounts) {
  AllocatorFn arena = Arena();
  ArenaFixture f(4096);
  AllocationBlock a = Request(10, 3);  // alignments up to 64 become 64
  ASSERT_EQ(arena(f.state, &a), 0);
  EXPECT_EQ(a.pointer, f.Memory(0));
  EXPECT_EQ(a.allocatedItems, 1);
  EXPECT_EQ(f.Offset(0), 64u);
  EXPECT_EQ(f.Live(0), 1u);
  AllocationBlock b = Request(100, 6);
  ASSERT_EQ(arena(f.state, &b), 0);
  EXPECT_EQ(b.pointer, f.Memory(0) + 64);
  EXPECT_EQ(f.Offset(0), 64u + 128);
  // 256-byte alignment also reserves 256 extra bytes: (1 + 256 + 255) rounded down.
  AllocationBlock c = Request(1, 8);
  ASSERT_EQ(arena(f.state, &c), 0);
  EXPECT_EQ(c.pointer, f.Memory(0) + 256);
  EXPECT_EQ(f.Offset(0), 256u + 512);
  EXPECT_EQ(f.Live(0), 3u);
  EXPECT_EQ(f.Last(), 0);
  EXPECT_EQ(f.Highest(), 0);
  // A request that fits exactly at the end.
  AllocationBlock d = Request(4096 - 768, 0);
  ASSERT_EQ(arena(f.state, &d), 0);
  EXPECT_EQ(f.Offset(0), 4096u);

  AllocationBlock withItems = ReleaseOf(a);
  withItems.items = 1;
  EXPECT_EQ(arena(f.state, &withItems), -1);
  for (AllocationBlock* x : {&a, &b, &c}) {
    AllocationBlock r = ReleaseOf(*x);
    ASSERT_EQ(arena(f.state, &r), 0);
    EXPECT_EQ(r.pointer, x->pointer);  // the arena does not clear it
  }
  EXPECT_EQ(f.Live(0), 1u);
  EXPECT_EQ(f.Offset(0), 4096u);
  AllocationBlock r = ReleaseOf(d);
  ASSERT_EQ(arena(f.state, &r), 0);
  EXPECT_EQ(Get<uint64_t>(f.table.data(), 16), 0u);  // last one out: the block starts over
  AllocationBlock e = Request(8, 0);
  ASSERT_EQ(arena(f.state, &e), 0);
  EXPECT_EQ(e.pointer, f.Memory(0));
}

TEST_P(Allocators, ArenaWithReleasesDisabledKeepsEverything) {
  AllocatorFn arena = Arena();
  ArenaFixture f(4096, false);
  AllocationBlock a = Request(10, 0);
  ASSERT_EQ(arena(f.state, &a), 0);
  AllocationBlock r = ReleaseOf(a);
  ASSERT_EQ(arena(f.state, &r), 0);
  EXPECT_EQ(f.Live(0), 1u);
  EXPECT_EQ(f.Offset(0), 64u);
}

TEST_P(Allocators, ArenaGrowsByDoublingThenLinearly) {
  AllocatorFn arena = Arena();
  ArenaFixture f(4096);
  host::StartMemoryLog();
  AllocationBlock a = Request(4000, 0);
  ASSERT_EQ(arena(f.state, &a), 0);
  AllocationBlock b = Request(200, 0);  // does not fit: a block of 8192
  ASSERT_EQ(arena(f.state, &b), 0);
  EXPECT_EQ(f.Last(), 1);
  EXPECT_EQ(f.Highest(), 1);
  EXPECT_EQ(f.Size(1), 8192u);
  EXPECT_EQ(b.pointer, f.Memory(1));
  // Larger than the doubled size: a block of exactly the reserved length.
  AllocationBlock c = Request(100000, 0);
  ASSERT_EQ(arena(f.state, &c), 0);
  EXPECT_EQ(f.Size(2), 100032u);
  EXPECT_EQ(f.state[33], 0);
  AllocationBlock d = Request(0x4000000, 0);  // past 0x3FFFFFF: linear from here on
  ASSERT_EQ(arena(f.state, &d), 0);
  EXPECT_EQ(f.Size(3), 0x4000000u);
  EXPECT_EQ(f.state[33], 1);
  AllocationBlock e = Request(0x4000000, 0);
  ASSERT_EQ(arena(f.state, &e), 0);
  EXPECT_EQ(f.Size(4), 0x8000000u);
  EXPECT_EQ(f.Highest(), 4);
  // A small request is served by the first block with room again.
  AllocationBlock g = Request(16, 0);
  ASSERT_EQ(arena(f.state, &g), 0);
  EXPECT_EQ(g.pointer, f.Memory(0) + 4032);
  EXPECT_EQ(f.Highest(), 4);

  std::vector<host::MemoryEvent> log = host::TakeMemoryLog();
  host::StopMemoryLog();
  ASSERT_EQ(log.size(), 4u);
  for (int j = 1; j <= 4; ++j) {
    EXPECT_EQ(log[j - 1].kind, host::MemoryEvent::MallocTracked);
    EXPECT_EQ(log[j - 1].size, f.Size(j));
    EXPECT_EQ(log[j - 1].alignment, 0x4000u);
    EXPECT_EQ(log[j - 1].allocator, 4u);
  }
}

// ---- tracking ------------------------------------------------------------------

struct TrackingFixture {
  uint8_t state[72] = {};
  void* slots[2][8] = {};
  TrackingFixture(uint32_t listHandle, uint32_t backing, int32_t shift) {
    for (int l = 0; l < 2; ++l) {
      Put(state, 32 * l, listHandle);
      Put(state, 32 * l + 12, shift);
      Put<int32_t>(state, 32 * l + 16, 8);
      Put<void*>(state, 32 * l + 24, slots[l]);
    }
    Put(state, 68, backing);
  }
  int32_t Count(int l) const { return Get<int32_t>(state, 32 * l + 4); }
  void* Entry(int l, int i, int shift) const {
    return static_cast<void**>(slots[l][i >> shift])[i & ((1 << shift) - 1)];
  }
};

std::vector<AllocationBlock> gBacking;
alignas(256) uint8_t gBackingMemory[256];

VORTA_MSABI int32_t BackingAllocator(void*, AllocationBlock* block) {
  gBacking.push_back(*block);
  block->pointer = gBackingMemory;
  return 0;
}

TEST_P(Allocators, TrackingRecordsAllocationsAndDefersReleases) {
  AllocatorFn tracking = Tracking();
  const uint32_t listHandle = 3u | 1u << 16, backing = 6u | 2u << 16;
  TrackingFixture f(listHandle, backing, 1);  // two entries per chunk
  host::StartMemoryLog();
  AllocationBlock zero = Request(0, 7);
  const AllocationBlock zeroBefore = zero;
  EXPECT_EQ(tracking(f.state, &zero), 0);
  EXPECT_EQ(memcmp(&zero, &zeroBefore, sizeof zero), 0);
  EXPECT_EQ(f.Count(0), 0);

  std::vector<AllocationBlock> made;
  for (uint8_t log2 : {0, 6, 7, 3, 9}) {
    AllocationBlock a = Request(40, log2);
    a.items = 3;
    ASSERT_EQ(tracking(f.state, &a), 0);
    EXPECT_EQ(a.allocatedItems, 3);
    made.push_back(a);
  }
  AllocationBlock withItems = made[0];
  EXPECT_EQ(tracking(f.state, &withItems), -1);
  AllocationBlock r = ReleaseOf(made[2]);
  ASSERT_EQ(tracking(f.state, &r), 0);
  EXPECT_EQ(r.pointer, nullptr);
  EXPECT_EQ(r.allocatedItems, 0);

  std::vector<host::MemoryEvent> log = host::TakeMemoryLog();
  host::StopMemoryLog();
  // Chunk 0, then each allocation; a new chunk every second entry; then the
  // release list's first chunk.
  std::vector<std::pair<uint64_t, uint32_t>> want;  // (size, alignment), MallocTracked only
  const uint32_t alignments[] = {64, 64, 128, 64, 512};
  for (int i = 0; i < 5; ++i) {
    want.push_back({120, alignments[i]});
    if (i % 2 == 0) want.push_back({16, 64});
  }
  want.push_back({16, 64});
  ASSERT_EQ(log.size(), want.size());
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].kind, host::MemoryEvent::MallocTracked);
    EXPECT_EQ(std::make_pair(log[i].size, log[i].alignment), want[i]) << "event " << i;
    EXPECT_EQ(log[i].allocator, log[i].size == 16 ? listHandle : backing);
  }
  EXPECT_EQ(f.Count(0), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(f.Entry(0, i, 1), made[i].pointer);
  EXPECT_EQ(f.Count(1), 1);
  EXPECT_EQ(f.Entry(1, 0, 1), made[2].pointer);

  for (const AllocationBlock& a : made) host::service::FreeTracked(a.pointer, backing);
  for (auto& list : f.slots) {
    for (void* chunk : list) {
      if (chunk) host::service::FreeTracked(chunk, listHandle);
    }
  }
}

TEST_P(Allocators, TrackingThroughCustomBackingAndCustomChunks) {
  AllocatorFn tracking = Tracking();
  vorta::vorta_statics.allocatorTable[80] = {reinterpret_cast<void*>(&BackingAllocator), nullptr};
  gBacking.clear();
  TrackingFixture f(80u | 5u << 16, 80u | 7u << 16, 2);
  AllocationBlock a = Request(100, 8);
  ASSERT_EQ(tracking(f.state, &a), 0);
  EXPECT_EQ(a.pointer, gBackingMemory);
  ASSERT_EQ(gBacking.size(), 2u);
  // The backing allocation, then the list's chunk (4 pointers, 32 bytes).
  const AllocationBlock& backing = gBacking[0];
  EXPECT_EQ(backing.pointer, nullptr);
  EXPECT_EQ(backing.items, 1);
  EXPECT_EQ(backing.allocatorIndex, 80);
  EXPECT_EQ(backing.allocatorVersion, 7);
  EXPECT_EQ(backing.bytesPerItem, 100);
  EXPECT_EQ(backing.allocatedItems, 0);
  EXPECT_EQ(backing.log2Alignment, 8);
  const AllocationBlock& chunk = gBacking[1];
  EXPECT_EQ(chunk.items, 1);
  EXPECT_EQ(chunk.allocatorVersion, 5);
  EXPECT_EQ(chunk.bytesPerItem, 32);
  EXPECT_EQ(chunk.log2Alignment, 6);
  vorta::vorta_statics.allocatorTable[80] = {nullptr, nullptr};
}

// ---- entry tables --------------------------------------------------------------

std::vector<AllocationBlock> gTableRequests;
alignas(64) uint8_t gTableMemory[24 * 16];

VORTA_MSABI int32_t TableAllocator(void*, AllocationBlock* block) {
  gTableRequests.push_back(*block);
  block->pointer = gTableMemory;
  block->allocatedItems = block->items + 2;  // what the allocator says it gave
  block->reserved[0] = 0x11;
  block->reserved[1] = 0x22;
  block->reserved[6] = 0x77;
  return 0;
}

TEST_P(Allocators, EntryTables) {
  vorta::vorta_statics.allocatorTable[90] = {reinterpret_cast<void*>(&TableAllocator), nullptr};
  struct Member {
    const char* exportName;
    bool countInRecord;
  };
  for (Member m : {Member{"164a9957f2c75e5d4b481d1ceff90393", false},
                   Member{"b78f808503c8b5fe97a83e833bd5871d", false},
                   Member{"428d454056b9288c93f4435d6e6f7fda", true},
                   Member{"959783104064e8c81fba5d33d94ead01", true}}) {
    for (uint32_t handle : {5u | 3u << 16, 90u | 4u << 16}) {
      SCOPED_TRACE(std::string(m.exportName) + " handle " + std::to_string(handle));
      const int32_t n = 7;
      uint8_t countRecord[16] = {};
      Put(countRecord, m.countInRecord ? 8 : 0, n);
      uint8_t target[64];
      memset(target, 0xEE, sizeof target);
      uint8_t request[40] = {};
      Put<void*>(request, 0, target);
      Put(request, 12, handle);
      Put<void*>(request, 32, countRecord);
      memset(gTableMemory, 0xAB, sizeof gTableMemory);
      gTableRequests.clear();
      host::StartMemoryLog();
      reinterpret_cast<void(VORTA_MSABI*)(void*)>(host::LinkedKernel(m.exportName))(request);
      std::vector<host::MemoryEvent> log = host::TakeMemoryLog();
      host::StopMemoryLog();

      AllocationBlock stored = Get<AllocationBlock>(target, 24);
      EXPECT_EQ(Get<int32_t>(target, 56), n);
      EXPECT_EQ(Get<uint64_t>(target, 0), 0xEEEEEEEEEEEEEEEEull);  // nothing before 24
      EXPECT_EQ(stored.items, n);
      EXPECT_EQ(stored.allocatorIndex, handle & 0xFFFF);
      EXPECT_EQ(stored.allocatorVersion, handle >> 16);
      EXPECT_EQ(stored.bytesPerItem, 24);
      EXPECT_EQ(stored.log2Alignment, 6);
      if ((handle & 0xFFFF) < 64) {
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].kind, host::MemoryEvent::MallocTracked);
        EXPECT_EQ(log[0].size, 24u * n);
        EXPECT_EQ(log[0].alignment, 64u);
        EXPECT_EQ(log[0].allocator, handle & 0xFFFF);  // the index alone
        EXPECT_EQ(stored.pointer, log[0].ptr);
        EXPECT_EQ(stored.allocatedItems, n);
        const uint8_t zero[7] = {};
        EXPECT_EQ(memcmp(stored.reserved, zero, 7), 0);
        std::vector<uint8_t> zeros(24 * n, 0);
        EXPECT_EQ(memcmp(stored.pointer, zeros.data(), zeros.size()), 0);
        host::service::FreeTracked(stored.pointer, 0);
      } else {
        EXPECT_TRUE(log.empty());
        ASSERT_EQ(gTableRequests.size(), 1u);
        const AllocationBlock& q = gTableRequests[0];
        EXPECT_EQ(q.pointer, nullptr);
        EXPECT_EQ(q.items, n);
        EXPECT_EQ(q.allocatedItems, 0);
        EXPECT_EQ(q.bytesPerItem, 24);
        EXPECT_EQ(q.log2Alignment, 6);
        // Every field the allocator filled comes back, and allocated items * 24
        // bytes are zeroed, no more.
        EXPECT_EQ(stored.pointer, gTableMemory);
        EXPECT_EQ(stored.allocatedItems, n + 2);
        EXPECT_EQ(stored.reserved[0], 0x11);
        EXPECT_EQ(stored.reserved[1], 0x22);
        EXPECT_EQ(stored.reserved[6], 0x77);
        for (int i = 0; i < 24 * 16; ++i) {
          ASSERT_EQ(gTableMemory[i], i < 24 * (n + 2) ? 0 : 0xAB) << "byte " << i;
        }
      }
    }
  }
  vorta::vorta_statics.allocatorTable[90] = {nullptr, nullptr};
}

// ---- several threads -----------------------------------------------------------

TEST_P(Allocators, ArenaUnderSeveralThreads) {
  for (int threads : {2, 4}) {
    SCOPED_TRACE(threads);
    hammer::HammerArena(Arena(), threads, 10000, 100 + threads);
  }
}

TEST_P(Allocators, TrackingListsUnderSeveralThreads) {
  for (int threads : {2, 4}) {
    SCOPED_TRACE(threads);
    hammer::HammerTracking(Tracking(), threads, 8000, 200 + threads);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, Allocators,
                         ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2),
                         [](const auto& info) { return host::VariantName(info.param); });

}  // namespace
