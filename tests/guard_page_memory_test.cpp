// The memory kernels against guard pages: container disposal, the four
// allocator functions and the entry-table allocations. Every record, header,
// state and storage area has exactly its documented size and lies against an
// inaccessible page (both alignments); argument records a kernel only reads
// are read-only; every block the host hands out is guarded too. Each scenario
// runs on both variants, which must give the same trace (statuses, offsets,
// counts), and every host block comes back exactly once.
#include <gtest/gtest.h>

#include "tests/kernel_cases.h"

namespace {

using kcases::GuardedBuffer;
namespace service = vorta::host::service;

constexpr uint32_t kHandle = 5u | 3u << 16;  // a host allocator with a version

using kcases::Get;
using kcases::Set;

void* HostBlock(size_t bytes) { return service::MallocTracked(bytes, 64, 5, 0); }

// A read-only guarded copy of a small record.
std::unique_ptr<GuardedBuffer> ReadOnly(std::vector<uint8_t> bytes, bool atStart) {
  return std::make_unique<GuardedBuffer>(bytes, atStart, true);
}
// A record of `bytes` bytes (filler 0x5c) with each field's value stored as
// 8 little-endian bytes, or as many as fit before the record's end.
std::vector<uint8_t> Record(size_t bytes, std::initializer_list<std::pair<size_t, uint64_t>> fields) {
  std::vector<uint8_t> r(bytes, 0x5c);
  for (auto [at, v] : fields) memcpy(r.data() + at, &v, std::min<size_t>(8, bytes - at));
  return r;
}
uint64_t Addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

using Trace = std::vector<int64_t>;
using Scenario = void (*)(std::mt19937_64& rng, bool atStart, Trace& trace);

// Runs a scenario on both variants with the same random stream; the traces
// must agree and the host must get back every block it handed out.
void OnBothVariants(const char* name, Scenario scenario, int rounds) {
  kcases::InstallFaultHandler();
  vorta::host::SetGuardedAllocations(true);
  for (int round = 0; round < rounds; ++round) {
    Trace traces[2];
    for (int v = 0; v < 2; ++v) {
      if (v == 1 && !vorta::host::CanRunAvx2()) continue;
      vorta::host::InitializeLinked(v ? vorta::CpuVariant::Avx2 : vorta::CpuVariant::Sse2);
      const int64_t live = vorta::host::LiveAllocations();
      std::mt19937_64 rng(0x3e30000u + uint64_t(round));
      kcases::CurrentKernel().store(name);
      scenario(rng, round % 2 == 0, traces[v]);
      kcases::CurrentKernel().store(nullptr);
      ASSERT_EQ(vorta::host::LiveAllocations(), live) << name << " round " << round << ": blocks lost";
    }
    if (vorta::host::CanRunAvx2()) ASSERT_EQ(traces[0], traces[1]) << name << " round " << round;
  }
}

using DisposeFn = void(VORTA_CALL*)(void*);
DisposeFn Dispose(const char* exportName) {
  return reinterpret_cast<DisposeFn>(vorta::host::LinkedKernel(exportName));
}

// ---- containers with a header ---------------------------------------------

struct HeaderContainer {
  const char* exportName;
  bool record;  // argument {header, handle}; otherwise the address of the header pointer
  uint32_t headerBytes, handleAt;
  int capacityAt;  // -1: the buffer is one item
  uint32_t itemBytes;
};

const HeaderContainer kHeaders[] = {
    {VORTA_EXPORT_DISPOSAL_BIT_ARRAY, true, 24, 16, -1, 8},
    {VORTA_EXPORT_DISPOSAL_LIST, false, 24, 16, 12, 4},
    {VORTA_EXPORT_DISPOSAL_TEXT, false, 24, 16, 12, 1},
    {VORTA_EXPORT_DISPOSAL_RING_QUEUE, false, 32, 8, -1, 4},
    {VORTA_EXPORT_DISPOSAL_HASH_CONTAINER, false, 64, 60, -1, 1},
};

void DisposeHeaders(std::mt19937_64& rng, bool atStart, Trace& trace) {
  for (const HeaderContainer& c : kHeaders) {
    uint8_t* header = static_cast<uint8_t*>(HostBlock(c.headerBytes));
    const int32_t capacity = int32_t(rng() % 40);
    const bool withBuffer = rng() % 4 != 0;
    void* buffer = withBuffer ? HostBlock(c.capacityAt < 0 ? c.itemBytes : c.itemBytes * capacity) : nullptr;
    Set(header, 0, buffer);
    if (c.capacityAt >= 0) Set(header, size_t(c.capacityAt), capacity);
    Set(header, c.handleAt, kHandle);
    std::unique_ptr<GuardedBuffer> arg =
        c.record ? ReadOnly(Record(12, {{0, Addr(header)}, {8, kHandle}}), atStart)
                 : ReadOnly(Record(8, {{0, Addr(header)}}), atStart);
    Dispose(c.exportName)(arg->data());
    trace.push_back(int64_t(withBuffer));
  }
}

// ---- queues: blocks back to the pool, the surplus to the host ------------------

void DisposeQueues(std::mt19937_64& rng, bool atStart, Trace& trace) {
  for (bool withHeader : {true, false}) {
    const int blocks = int(rng() % 7), limit = int(rng() % 4), count = limit + int(rng() % 5);
    std::vector<uint8_t*> chain;
    for (int i = 0; i < blocks; ++i) chain.push_back(static_cast<uint8_t*>(HostBlock(16)));
    for (int i = 0; i < blocks; ++i) Set<void*>(chain[size_t(i)], 0, i + 1 < blocks ? chain[size_t(i) + 1] : nullptr);
    GuardedBuffer pool(Record(16, {{0, 0}, {8, uint64_t(uint32_t(count)) | uint64_t(limit) << 32}}), atStart, false);
    uint8_t* data = static_cast<uint8_t*>(HostBlock(32));
    Set<void*>(data, 0, blocks ? chain[0] : nullptr);
    const std::vector<uint8_t> fields = Record(24, {{0, Addr(data)}, {8, Addr(pool.data())}, {16, kHandle}});
    if (withHeader) {
      uint8_t* header = static_cast<uint8_t*>(HostBlock(24));
      memcpy(header, fields.data(), 24);
      Dispose(VORTA_EXPORT_DISPOSAL_QUEUE)(header);
    } else {
      Dispose(VORTA_EXPORT_DISPOSAL_QUEUE_DATA)(ReadOnly(fields, atStart)->data());
    }
    int pooled = 0;  // what the pool kept goes back to the host here
    for (void* b = Get<void*>(pool.data(), 0); b;) {
      void* next = Get<void*>(b, 0);
      service::FreeTracked(b, 4);
      b = next, ++pooled;
    }
    trace.insert(trace.end(), {pooled, Get<int32_t>(pool.data(), 8)});
  }
}

// ---- boxed buffers, single allocations, the block list, nothing -----------------

void DisposeSmall(std::mt19937_64& rng, bool atStart, Trace& trace) {
  for (const char* boxed : {VORTA_EXPORT_DISPOSAL_BOXED_BUFFER, VORTA_EXPORT_DISPOSAL_BOXED_BUFFER_2}) {
    uint8_t* box = static_cast<uint8_t*>(HostBlock(48));
    Set(box, 0, rng() % 3 ? HostBlock(1 + rng() % 100) : nullptr);
    Dispose(boxed)(ReadOnly(Record(12, {{0, Addr(box)}, {8, kHandle}}), atStart)->data());
  }
  for (const char* single : {VORTA_EXPORT_DISPOSAL_SINGLE_ALLOCATION,
                             VORTA_EXPORT_DISPOSAL_SINGLE_ALLOCATION_INDEX_ONLY}) {
    void* p = rng() % 3 ? HostBlock(1 + rng() % 100) : nullptr;
    Dispose(single)(ReadOnly(Record(12, {{0, Addr(p)}, {8, kHandle}}), atStart)->data());
    trace.push_back(p != nullptr);
  }
  for (const char* list : {VORTA_EXPORT_DISPOSAL_BLOCK_LIST, VORTA_EXPORT_DISPOSAL_BLOCK_LIST_2}) {
    const int32_t chains = int32_t(rng() % 4);
    uint8_t* array = chains ? static_cast<uint8_t*>(HostBlock(8 * size_t(chains))) : nullptr;
    for (int32_t i = 0; i < chains; ++i) {
      void* head = nullptr;
      for (uint64_t n = rng() % 4; n-- > 0;) {
        void* b = HostBlock(16);
        Set(b, 0, head);
        head = b;
      }
      Set(array, 8 * size_t(i), head);
    }
    uint8_t* header = static_cast<uint8_t*>(HostBlock(56));
    Set(header, 0, kHandle), Set(header, 8, array), Set(header, 16, chains);
    VortaAllocationBlock arrayBlock{array, chains, 5, 3, 8, chains, 6, {}};
    Set(header, 24, arrayBlock);
    VortaAllocationBlock argument{header, 1, 5, 3, 56, 1, 6, {}};
    std::vector<uint8_t> bytes(32);
    memcpy(bytes.data(), &argument, 32);
    GuardedBuffer arg(bytes, atStart, false);
    Dispose(list)(arg.data());
    trace.push_back(std::count(arg.data(), arg.data() + 32, 0));
  }
  reinterpret_cast<VortaDisposeNothingFn>(vorta::host::LinkedKernel(VORTA_EXPORT_DISPOSAL_NOTHING))();
}

TEST(GuardPagesMemory, ContainerDisposal) {
  OnBothVariants("disposal: header containers", DisposeHeaders, 20);
  OnBothVariants("disposal: queues", DisposeQueues, 20);
  OnBothVariants("disposal: boxes, single allocations, block lists, nothing", DisposeSmall, 20);
}

// ---- allocator functions --------------------------------------------------------

VortaCustomAllocatorFn Allocator(const char* exportName) {
  return reinterpret_cast<VortaCustomAllocatorFn>(vorta::host::LinkedKernel(exportName));
}

// One request through a guarded block; on a served allocation the whole
// range is written, so memory outside the allocator's storage faults.
int32_t Request(VortaCustomAllocatorFn fn, void* state, VortaAllocationBlock& b, bool atStart) {
  std::vector<uint8_t> bytes(sizeof b);
  memcpy(bytes.data(), &b, sizeof b);
  GuardedBuffer block(bytes, atStart, false);
  const bool allocating = b.pointer == nullptr;
  const int32_t status = fn(state, reinterpret_cast<VortaAllocationBlock*>(block.data()));
  memcpy(&b, block.data(), sizeof b);
  if (allocating && status == 0 && b.pointer)
    memset(b.pointer, 0x3c, size_t(int64_t(b.bytesPerItem) * b.items));
  return status;
}

VortaAllocationBlock Ask(int32_t bytes, uint8_t log2 = 0) { return {nullptr, 1, 7, 0, bytes, 0, log2, {}}; }

void Bump(std::mt19937_64& rng, bool atStart, Trace& trace) {
  const int32_t capacity = int32_t(rng() % 300);
  GuardedBuffer storage(std::vector<uint8_t>(size_t(capacity)), atStart, false);
  GuardedBuffer state(Record(48, {{8, Addr(storage.data())}, {16, 1}, {24, uint64_t(capacity)}, {40, 0}}), atStart, false);
  const auto fn = Allocator(VORTA_EXPORT_ALLOCATORS_BUMP_ALLOCATOR);
  std::vector<VortaAllocationBlock> live;
  for (int i = 0; i < 40; ++i) {
    if (live.empty() || rng() % 3) {
      VortaAllocationBlock b = Ask(int32_t(rng() % 70));
      trace.push_back(Request(fn, state.data(), b, atStart));
      if (b.pointer) live.push_back(b), trace.push_back(static_cast<uint8_t*>(b.pointer) - storage.data());
    } else {
      const size_t k = rng() % 2 ? live.size() - 1 : rng() % live.size();  // mostly the latest
      VortaAllocationBlock b = live[k];
      b.items = 0;
      const int32_t status = Request(fn, state.data(), b, atStart);
      trace.push_back(status);
      if (status == 0) live.erase(live.begin() + long(k));
    }
    trace.push_back(Get<int64_t>(state.data(), 40));
  }
}

void Slab(std::mt19937_64& rng, bool atStart, Trace& trace) {
  const uint16_t words = uint16_t(rng() % 3);
  const int32_t shift = 3 + int32_t(rng() % 4);
  GuardedBuffer base(std::vector<uint8_t>((32u * words) << shift), atStart, false);
  std::vector<uint8_t> s = Record(4160, {{8, Addr(base.data())}, {40, uint64_t(shift)}, {48, words},
                                         {4144, rng() % 2000}, {4152, 0}});
  for (uint16_t w = 0; w < words; ++w) Set<uint32_t>(s.data(), 52 + 4 * size_t(w), rng() % 3 ? 0 : uint32_t(rng()));
  GuardedBuffer state(s, atStart, false);
  const auto fn = Allocator(VORTA_EXPORT_ALLOCATORS_SLAB_ALLOCATOR);
  std::vector<VortaAllocationBlock> live;
  for (int i = 0; i < 60; ++i) {
    if (live.empty() || rng() % 3) {
      VortaAllocationBlock b = Ask(1 + int32_t(rng() % ((2 << shift) - 1)));
      trace.push_back(Request(fn, state.data(), b, atStart));
      if (b.pointer) live.push_back(b), trace.push_back(static_cast<uint8_t*>(b.pointer) - base.data());
    } else {
      const size_t k = rng() % live.size();
      VortaAllocationBlock b = live[k];
      b.items = 0, b.bytesPerItem = 0;
      trace.push_back(Request(fn, state.data(), b, atStart));
      live.erase(live.begin() + long(k));
    }
    trace.push_back(Get<int64_t>(state.data(), 4152));
  }
}

void Arena(std::mt19937_64& rng, bool atStart, Trace& trace) {
  constexpr int kEntries = 8;  // room to grow: requests stay far below the doubled sizes
  std::vector<uint8_t> entries(24 * kEntries, 0);
  void* first = service::MallocTracked(1024, 64, 4, 0);
  Set(entries.data(), 0, first), Set<uint64_t>(entries.data(), 8, 1024);
  GuardedBuffer table(entries, atStart, false);
  // Its fields end at 34; the state is 8-byte aligned for its atomics, so 40.
  GuardedBuffer state(Record(40, {{0, 0}, {8, Addr(table.data())}, {24, 0}, {32, rng() % 2}}), atStart, false);
  const auto fn = Allocator(VORTA_EXPORT_ALLOCATORS_ARENA_ALLOCATOR);
  std::vector<VortaAllocationBlock> live;
  for (int i = 0; i < 50; ++i) {
    if (live.empty() || rng() % 3) {
      VortaAllocationBlock b = Ask(int32_t(rng() % 400), uint8_t(rng() % 8));
      trace.push_back(Request(fn, state.data(), b, atStart));
      live.push_back(b);
    } else {
      const size_t k = rng() % live.size();
      VortaAllocationBlock b = live[k];
      b.items = 0;
      trace.push_back(Request(fn, state.data(), b, atStart));
      live.erase(live.begin() + long(k));
    }
    for (int j = 0; j < kEntries; ++j) trace.push_back(Get<int64_t>(table.data(), 24 * size_t(j) + 16));
  }
  const int32_t last = Get<int32_t>(state.data(), 24);
  trace.push_back(last);
  for (int32_t j = 0; j <= last; ++j) service::FreeTracked(Get<void*>(table.data(), 24 * size_t(j)), 4);
}

// The tracking allocator's two lists: chunk slots guarded at their limit.
void Tracking(std::mt19937_64& rng, bool atStart, Trace& trace) {
  constexpr uint32_t kShift = 1, kLimit = 6;  // at most 12 entries a list
  GuardedBuffer slots0(std::vector<uint8_t>(8 * kLimit, 0), atStart, false);
  GuardedBuffer slots1(std::vector<uint8_t>(8 * kLimit, 0), !atStart, false);
  std::vector<uint8_t> s(72, 0);
  for (size_t list : {0, 32}) {
    Set<uint32_t>(s.data(), list, kHandle), Set(s.data(), list + 12, kShift), Set(s.data(), list + 16, kLimit);
    Set(s.data(), list + 24, list ? slots1.data() : slots0.data());
  }
  Set<uint32_t>(s.data(), 68, kHandle);
  GuardedBuffer state(s, atStart, false);
  const auto fn = Allocator(VORTA_EXPORT_ALLOCATORS_TRACKING_ALLOCATOR);
  std::vector<VortaAllocationBlock> live;
  int allocations = 0, releases = 0;
  while (allocations < 12 && releases < 12) {
    if (live.empty() || rng() % 2) {
      VortaAllocationBlock b = Ask(int32_t(rng() % 5 ? rng() % 200 : 0), uint8_t(rng() % 8));
      trace.push_back(Request(fn, state.data(), b, atStart));
      if (b.pointer) live.push_back(b), ++allocations;
    } else {
      VortaAllocationBlock b = live.back();
      b.items = 0;
      trace.push_back(Request(fn, state.data(), b, atStart));
      trace.push_back(b.pointer == nullptr);
      live.pop_back(), ++releases;
    }
  }
  // The host releases what the lists recorded: the allocations, then every chunk.
  trace.insert(trace.end(), {Get<int32_t>(state.data(), 4), Get<int32_t>(state.data(), 36)});
  for (int32_t i = 0; i < Get<int32_t>(state.data(), 4); ++i)
    service::FreeTracked(Get<void**>(slots0.data(), 8 * size_t(i >> kShift))[i & 1], kHandle);
  for (GuardedBuffer* slots : {&slots0, &slots1})
    for (uint32_t k = 0; k < kLimit; ++k)
      if (void* chunk = Get<void*>(slots->data(), 8 * k)) service::FreeTracked(chunk, kHandle);
}

TEST(GuardPagesMemory, AllocatorFunctions) {
  OnBothVariants("allocators: bump", Bump, 30);
  OnBothVariants("allocators: slab", Slab, 30);
  OnBothVariants("allocators: arena", Arena, 30);
  OnBothVariants("allocators: tracking", Tracking, 30);
}

// ---- entry tables -----------------------------------------------------------------

void EntryTables(std::mt19937_64& rng, bool atStart, Trace& trace) {
  for (const char* exportName : {VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE, VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE_2,
                                 VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE_FOR_RECORD,
                                 VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE_FOR_RECORD_2}) {
    const bool forRecord = strstr(exportName, "428d") || strstr(exportName, "9597");
    const int32_t n = int32_t(rng() % 50);
    auto count = forRecord ? ReadOnly(Record(12, {{8, uint64_t(n)}}), atStart) : ReadOnly(Record(4, {{0, uint64_t(n)}}), atStart);
    GuardedBuffer target(std::vector<uint8_t>(60, 0x77), atStart, false);
    auto request = ReadOnly(Record(40, {{0, Addr(target.data())}, {12, kHandle}, {32, Addr(count->data())}}), atStart);
    reinterpret_cast<VortaAllocateEntryTableFn>(vorta::host::LinkedKernel(exportName))(request->data());
    uint8_t* table = Get<uint8_t*>(target.data(), 24);
    trace.push_back(std::count(table, table + 24 * size_t(n), 0));
    for (size_t at = 32; at < 60; at += 4) trace.push_back(Get<int32_t>(target.data(), at));
    service::FreeTracked(table, kHandle);
  }
}

TEST(GuardPagesMemory, EntryTables) { OnBothVariants("allocators: entry tables", EntryTables, 20); }

}  // namespace
