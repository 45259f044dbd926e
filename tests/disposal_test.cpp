// Container disposal through the exports: the exact sequence of releases each
// member makes (host FreeTracked calls and custom-allocator requests, in order),
// what the header holds when it is released, the guards for handles 0 and 1,
// the abort messages, the queue pool's surplus and free list (also with
// concurrent takers), and the block list.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "frame/allocation.h"
#include "frame/services.h"
#include "frame/statics.h"
#include "host/host.h"
#include "host/linked_module.h"

namespace {

namespace host = vorta::host;
using vorta::AllocationBlock;
using vorta::CpuVariant;

constexpr size_t kBlockBytes = 64;  // every test block; the snapshot size

// One release the kernel asked for: a FreeTracked call or a custom-allocator
// request, with the first bytes of the memory as they were at that moment.
struct Event {
  bool custom;
  void* ptr;
  uint32_t handle;  // FreeTracked's allocator argument
  AllocationBlock block;
  uint8_t snapshot[kBlockBytes];
};

std::mutex gMutex;
std::vector<Event> gEvents;
std::set<void*> gFreed;  // released to the host by the kernel
bool gSnapshot = true;

void Snapshot(Event& e, const void* p) {
  if (gSnapshot && p) memcpy(e.snapshot, p, kBlockBytes);
}

VORTA_MSABI void RecordingFreeTracked(void* ptr, uint32_t handle) {
  Event e{};
  e.ptr = ptr;
  e.handle = handle;
  Snapshot(e, ptr);
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gEvents.push_back(e);
    gFreed.insert(ptr);
  }
  host::service::FreeTracked(ptr, handle);
}

VORTA_MSABI int32_t RecordingAllocator(void*, AllocationBlock* block) {
  Event e{};
  e.custom = true;
  e.ptr = block->pointer;
  e.block = *block;
  Snapshot(e, block->pointer);
  std::lock_guard<std::mutex> lock(gMutex);
  gEvents.push_back(e);
  return 0;
}

std::vector<Event> TakeEvents() {
  std::lock_guard<std::mutex> lock(gMutex);
  std::vector<Event> out;
  out.swap(gEvents);
  return out;
}

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

AllocationBlock Block(void* p, int32_t items, uint32_t handle, int32_t bytesPerItem,
                      int32_t allocated, uint8_t log2) {
  AllocationBlock b{};
  b.pointer = p;
  b.items = items;
  b.allocatorIndex = static_cast<uint16_t>(handle);
  b.allocatorVersion = static_cast<uint16_t>(handle >> 16);
  b.bytesPerItem = bytesPerItem;
  b.allocatedItems = allocated;
  b.log2Alignment = log2;
  return b;
}

// The release the table prescribes, straight from the release forms: none,
// FreeTracked with the packed handle or the index alone, or a custom request.
std::optional<Event> Expected(void* p, uint32_t handle, bool indexOnly, int32_t bytesPerItem,
                              int32_t allocated, uint8_t log2) {
  const uint32_t index = handle & 0xFFFF;
  Event e{};
  e.ptr = p;
  if (index < 64) {
    if (indexOnly && index == 1) return std::nullopt;
    e.handle = indexOnly ? index : handle;
  } else {
    e.custom = true;
    e.block = Block(p, 0, handle, bytesPerItem, allocated, log2);
  }
  return e;
}

std::string Describe(const Event& e) {
  char text[200];
  if (e.custom) {
    snprintf(text, sizeof text, "custom{%p items %d index %u version %u bpi %d allocated %d log2 %u}",
             e.block.pointer, e.block.items, e.block.allocatorIndex, e.block.allocatorVersion,
             e.block.bytesPerItem, e.block.allocatedItems, e.block.log2Alignment);
  } else {
    snprintf(text, sizeof text, "FreeTracked(%p, 0x%x)", e.ptr, e.handle);
  }
  return text;
}

void ExpectSequence(const std::vector<Event>& got, const std::vector<Event>& want) {
  std::string g, w;
  for (const Event& e : got) g += Describe(e) + "\n";
  for (const Event& e : want) w += Describe(e) + "\n";
  EXPECT_EQ(g, w);
}

void Append(std::vector<Event>& v, const std::optional<Event>& e) {
  if (e) v.push_back(*e);
}

// Blocks the test hands to kernels, from the host; whatever the kernel did not
// release to the host is released at the end.
class Blocks {
 public:
  void* Make() {
    void* p = host::service::MallocTracked(kBlockBytes, 64, 3, 0);
    memset(p, 0xC5, kBlockBytes);
    made_.push_back(p);
    std::lock_guard<std::mutex> lock(gMutex);
    gFreed.erase(p);  // an address the host hands out again
    return p;
  }
  ~Blocks() {
    std::lock_guard<std::mutex> lock(gMutex);
    for (void* p : made_) {
      if (!gFreed.count(p)) host::service::FreeTracked(p, 3);
    }
  }

 private:
  std::vector<void*> made_;
};

class DisposalBase {
 protected:
  void Install(CpuVariant variant) {
    host::InitializeLinked(variant);
    TakeEvents();
    gFreed.clear();
    gSnapshot = true;
    vorta::vorta_host_services[vorta::kFreeTracked] = reinterpret_cast<void*>(&RecordingFreeTracked);
    for (int i : {70, 71}) {
      vorta::vorta_statics.allocatorTable[i] = {reinterpret_cast<void*>(&RecordingAllocator),
                                                nullptr};
    }
    live_ = host::LiveAllocations();
  }
  void Uninstall() {
    for (int i : {70, 71}) vorta::vorta_statics.allocatorTable[i] = {nullptr, nullptr};
    host::InitializeLinked(host::ProbedVariant());
  }
  void ExpectNoLeaks() { EXPECT_EQ(host::LiveAllocations(), live_); }
  int64_t live_ = 0;
};

typedef void(VORTA_MSABI* DisposeFn)(void*);

DisposeFn Kernel(const char* exportName) {
  return reinterpret_cast<DisposeFn>(host::LinkedKernel(exportName));
}

// ---- the containers with a header ---------------------------------------------

struct HeaderMember {
  const char* name;
  const char* exportName;
  bool record;            // argument {header, handle}; otherwise a pointer to the header pointer
  uint32_t handleOffset;  // buffer handle in the header
  bool guarded;
  bool bufferIndexOnly;
  int32_t bytesPerItem;
  int capacityOffset;     // -1: one allocated item
  uint8_t bufferLog2;
  std::vector<std::pair<int, int>> zeroed;  // (offset, bytes) cleared with the buffer
  int32_t headerBytes;
  uint8_t headerLog2;
  bool headerIndexOnly;
  const char* message;
};

const HeaderMember kHeaderMembers[] = {
    {"BitArray", "9ec4cbd609d0ce32be9a43e477fa08be", true, 16, true, false, 8, -1, 6,
     {{0, 8}, {8, 4}}, 24, 6, false,
     "UnsafeBitArray has yet to be created or has been destroyed!"},
    {"List", "4a1dc7df3f09b836e86a41d0d8fb4229", false, 16, true, true, 4, 12, 2, {{0, 16}}, 24,
     3, true, nullptr},
    {"Text", "760037f9e4b42ec56ef1759249aa8afe", false, 16, true, true, 1, 12, 0, {{0, 16}}, 24,
     6, false, "UnsafeText has yet to be created or has been destroyed!"},
    {"RingQueue", "b223785fcbdbe4a27e2d3722e3db36c3", false, 8, true, false, 4, -1, 6, {{0, 8}},
     32, 6, false, "UnsafeRingQueue has yet to be created or has been destroyed!"},
    {"HashContainer", "027d1c28103a1381ae64161c5340b997", false, 60, false, false, 1, -1, 6,
     {{0, 36}, {44, 4}}, 64, 6, false,
     "Hash based container has yet to be created or has been destroyed!"},
};

// Handle values: the two that own no memory, index 1 with a version, a host
// allocator with a version, a custom allocator.
const uint32_t kHandles[] = {0, 1, 1u | 1u << 16, 5u | 3u << 16, 70u | 9u << 16};

class HeaderContainers
    : public DisposalBase,
      public ::testing::TestWithParam<std::tuple<HeaderMember, uint32_t, CpuVariant>> {
 protected:
  void SetUp() override {
    if (std::get<2>(GetParam()) == CpuVariant::Avx2 && !host::CanRunAvx2()) GTEST_SKIP();
    Install(std::get<2>(GetParam()));
  }
  void TearDown() override { Uninstall(); }
};

TEST_P(HeaderContainers, ReleaseSequenceAndHeaderReset) {
  const HeaderMember& m = std::get<0>(GetParam());
  const uint32_t handle = std::get<1>(GetParam());
  // The bit array's header has a handle of its own, in the record.
  const uint32_t headerHandle = m.record ? ((handle & 0xFFFF) >= 64 ? 71u | 4u << 16 : 6u | 2u << 16)
                                         : handle;
  for (bool withBuffer : {true, false}) {
    SCOPED_TRACE(withBuffer ? "with buffer" : "without buffer");
    {
      Blocks blocks;
      uint8_t* header = static_cast<uint8_t*>(blocks.Make());
      std::mt19937 rng(7);
      for (size_t i = 0; i < kBlockBytes; ++i) header[i] = static_cast<uint8_t>(rng() | 1);
      void* buffer = withBuffer ? blocks.Make() : nullptr;
      Put(header, 0, buffer);
      Put(header, m.handleOffset, handle);
      const int32_t capacity = 37;
      if (m.capacityOffset >= 0) Put(header, m.capacityOffset, capacity);
      uint8_t original[kBlockBytes];
      memcpy(original, header, kBlockBytes);

      void* headerSlot = header;
      uint8_t record[16];
      Put(record, 0, header);
      Put(record, 8, headerHandle);
      Kernel(m.exportName)(m.record ? static_cast<void*>(record) : &headerSlot);
      std::vector<Event> got = TakeEvents();

      // What the header must read as once the buffer is gone.
      uint8_t reset[kBlockBytes];
      memcpy(reset, original, kBlockBytes);
      std::vector<Event> want;
      if (withBuffer) {
        const bool released = !m.guarded || handle > 1;
        if (released) {
          const int32_t allocated = m.capacityOffset >= 0 ? capacity : 1;
          Append(want, Expected(buffer, handle, m.bufferIndexOnly, m.bytesPerItem, allocated,
                                m.bufferLog2));
          if (m.guarded) Put<uint32_t>(reset, m.handleOffset, 0);
        }
        for (auto [offset, bytes] : m.zeroed) memset(reset + offset, 0, bytes);
      }
      std::optional<Event> headerRelease =
          Expected(header, headerHandle, m.headerIndexOnly, m.headerBytes, 1, m.headerLog2);
      Append(want, headerRelease);
      ExpectSequence(got, want);

      if (headerRelease && !got.empty()) {
        EXPECT_EQ(memcmp(got.back().snapshot, reset, kBlockBytes), 0) << "header at its release";
      } else if (!headerRelease) {
        EXPECT_EQ(memcmp(header, reset, kBlockBytes), 0) << "header kept";
      }
    }
    ExpectNoLeaks();
  }
}

TEST_P(HeaderContainers, NullHeaderRaisesTheMessageAndReleasesNothing) {
  const HeaderMember& m = std::get<0>(GetParam());
  void* null = nullptr;
  uint8_t record[16] = {};
  Put(record, 8, std::get<1>(GetParam()));
  void* argument = m.record ? static_cast<void*>(record) : &null;
  DisposeFn dispose = Kernel(m.exportName);
  if (!m.message) {
    dispose(argument);
  } else {
    try {
      host::CallGuarded([&] { dispose(argument); });
      ADD_FAILURE() << "no abort";
    } catch (const host::KernelAbort& e) {
      EXPECT_EQ(e.type, "System.InvalidOperationException");
      EXPECT_EQ(e.message, m.message);
    }
  }
  EXPECT_TRUE(TakeEvents().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Members, HeaderContainers,
    ::testing::Combine(::testing::ValuesIn(kHeaderMembers), ::testing::ValuesIn(kHandles),
                       ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2)),
    [](const auto& info) {
      char handle[16];
      snprintf(handle, sizeof handle, "%x", std::get<1>(info.param));
      return std::string(std::get<0>(info.param).name) + "_handle" + handle + "_" +
             host::VariantName(std::get<2>(info.param));
    });

// ---- everything else ----------------------------------------------------------

class Disposal : public DisposalBase, public ::testing::TestWithParam<CpuVariant> {
 protected:
  void SetUp() override {
    if (GetParam() == CpuVariant::Avx2 && !host::CanRunAvx2()) GTEST_SKIP();
    Install(GetParam());
  }
  void TearDown() override { Uninstall(); }
};

const char* const kQueue = "68a8ea65a4f1ea752d1138be3be73a9a";
const char* const kQueueData = "9158ad0c7b1f439e6e4b8e153f6320c3";

struct Pool {
  void* head;
  int32_t count;
  int32_t limit;
};
static_assert(sizeof(Pool) == 16);

// Blocks linked through their first 8 bytes, in the order given.
void Link(const std::vector<void*>& chain) {
  for (size_t i = 0; i < chain.size(); ++i) {
    Put<void*>(chain[i], 0, i + 1 < chain.size() ? chain[i + 1] : nullptr);
  }
}

std::vector<void*> FreeList(const Pool& pool) {
  std::vector<void*> out;
  for (void* b = pool.head; b; b = Get<void*>(b, 0)) out.push_back(b);
  return out;
}

// The surplus over the limit goes back to allocator 4 first, in chain order;
// the rest is pushed onto the free list, so the list reads in reverse.
TEST_P(Disposal, QueueReturnsSurplusBlocksThenReleasesDataAndHeader) {
  for (const char* exportName : {kQueue, kQueueData}) {
    for (int surplus : {0, 3, 9}) {
      SCOPED_TRACE(std::string(exportName) + " surplus " + std::to_string(surplus));
      {
        Blocks blocks;
        std::vector<void*> chain;
        for (int i = 0; i < 6; ++i) chain.push_back(blocks.Make());
        Link(chain);
        void* preexisting = blocks.Make();
        Put<void*>(preexisting, 0, nullptr);
        Pool pool{preexisting, 10 + surplus, 10};
        void* data = blocks.Make();
        Put(data, 0, chain[0]);
        const uint32_t handle = 5u | 2u << 16;
        void* header = blocks.Make();
        Put(header, 0, data);
        Put(header, 8, &pool);
        Put(header, 16, handle);
        Kernel(exportName)(header);

        std::vector<Event> want;
        const size_t freed = std::min<size_t>(surplus, chain.size());
        for (size_t i = 0; i < freed; ++i) Append(want, Expected(chain[i], 4, false, 1, 1, 6));
        Append(want, Expected(data, handle, false, 32, 1, 6));
        const bool isQueue = exportName == kQueue;
        if (isQueue) Append(want, Expected(header, handle, false, 24, 1, 6));
        std::vector<Event> got = TakeEvents();
        ExpectSequence(got, want);
        if (isQueue && !got.empty()) {
          EXPECT_EQ(Get<void*>(got.back().snapshot, 0), nullptr);
          EXPECT_EQ(Get<void*>(got.back().snapshot, 8), nullptr);
          EXPECT_EQ(Get<uint32_t>(got.back().snapshot, 16), handle);
        }
        std::vector<void*> expectedList(chain.rbegin(), chain.rend() - freed);
        expectedList.push_back(preexisting);
        EXPECT_EQ(FreeList(pool), expectedList);
        EXPECT_EQ(pool.count, 10 + surplus - int32_t(freed));
      }
      ExpectNoLeaks();
    }
  }
}

TEST_P(Disposal, QueueWithoutDataReleasesOnlyTheHeader) {
  Blocks blocks;
  void* header = blocks.Make();
  Put<void*>(header, 0, nullptr);
  Put<void*>(header, 8, nullptr);
  Put<uint32_t>(header, 16, 70u | 1u << 16);
  Kernel(kQueue)(header);
  ExpectSequence(TakeEvents(), {*Expected(header, 70u | 1u << 16, false, 24, 1, 6)});
  uint8_t record[24] = {};
  Kernel(kQueueData)(record);
  EXPECT_TRUE(TakeEvents().empty());
  try {
    host::CallGuarded([&] { Kernel(kQueue)(nullptr); });
    ADD_FAILURE() << "no abort";
  } catch (const host::KernelAbort& e) {
    EXPECT_EQ(e.type, "System.InvalidOperationException");
    EXPECT_EQ(e.message, "UnsafeQueue has yet to be created or has been destroyed!");
  }
  EXPECT_TRUE(TakeEvents().empty());
}

// Two threads keep popping blocks off the pool while the queue's chain goes
// back to it: every block ends up exactly once either released, taken or on
// the free list.
TEST_P(Disposal, QueuePoolUnderConcurrentTakers) {
  gSnapshot = false;
  for (int round = 0; round < 20; ++round) {
    Blocks blocks;
    std::vector<void*> initial, chain;
    for (int i = 0; i < 40; ++i) initial.push_back(blocks.Make());
    for (int i = 0; i < 400; ++i) chain.push_back(blocks.Make());
    Link(initial);
    Link(chain);
    const int surplus = 25;
    Pool pool{initial[0], 1000 + surplus, 1000};
    void* data = blocks.Make();
    Put(data, 0, chain[0]);
    uint8_t record[24];
    Put(record, 0, data);
    Put(record, 8, &pool);
    Put(record, 16, 6u);

    std::atomic<bool> done{false};
    std::vector<void*> taken[2];
    auto taker = [&](std::vector<void*>* out) {
      for (;;) {
        void* head = __atomic_load_n(&pool.head, __ATOMIC_ACQUIRE);
        if (!head) {
          if (done.load()) return;
          continue;
        }
        void* next = Get<void*>(head, 0);
        if (__atomic_compare_exchange_n(&pool.head, &head, next, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
          out->push_back(head);
        }
      }
    };
    std::thread a(taker, &taken[0]), b(taker, &taken[1]);
    Kernel(kQueueData)(record);
    done = true;
    a.join();
    b.join();

    std::vector<Event> events = TakeEvents();
    ASSERT_EQ(events.size(), size_t(surplus) + 1);
    std::multiset<void*> seen;
    for (int i = 0; i < surplus; ++i) {
      EXPECT_EQ(events[i].ptr, chain[i]);  // the surplus is the start of the chain
      EXPECT_EQ(events[i].handle, 4u);
      seen.insert(events[i].ptr);
    }
    EXPECT_EQ(events.back().ptr, data);
    for (auto& t : taken) seen.insert(t.begin(), t.end());
    for (void* p : FreeList(pool)) seen.insert(p);
    std::multiset<void*> all(initial.begin(), initial.end());
    all.insert(chain.begin(), chain.end());
    ASSERT_EQ(seen, all) << "round " << round;
    EXPECT_EQ(pool.count, 1000);
  }
  ExpectNoLeaks();
}

TEST_P(Disposal, BoxedBufferAndSingleAllocations) {
  for (const char* boxed : {"36a800eeeae3c643da5520fa383c8c70", "59142aef52ef9b6ab273da58974494a1"}) {
    for (uint32_t handle : {5u | 1u << 16, 70u | 2u << 16}) {
      for (bool withBuffer : {true, false}) {
        {
          Blocks blocks;
          void* box = blocks.Make();
          void* buffer = withBuffer ? blocks.Make() : nullptr;
          Put(box, 0, buffer);
          uint8_t record[16];
          Put(record, 0, box);
          Put(record, 8, handle);
          Kernel(boxed)(record);
          std::vector<Event> want;
          if (buffer) Append(want, Expected(buffer, handle, false, 1, 1, 6));
          Append(want, Expected(box, handle, false, 48, 1, 6));
          ExpectSequence(TakeEvents(), want);
        }
        ExpectNoLeaks();
      }
    }
  }
  struct Single {
    const char* exportName;
    bool indexOnly;
    uint8_t log2;
  };
  for (Single s : {Single{"baf840f8150b604b0fd300ceb19dd50e", false, 6},
                   Single{"276b96e48754d7f5ba865bd7f5b37c11", true, 0}}) {
    for (uint32_t handle : {0u, 1u, 1u | 3u << 16, 5u | 1u << 16, 70u | 2u << 16}) {
      {
        Blocks blocks;
        void* p = blocks.Make();
        uint8_t record[16];
        Put(record, 0, p);
        Put(record, 8, handle);
        Kernel(s.exportName)(record);
        std::vector<Event> want;
        Append(want, Expected(p, handle, s.indexOnly, 1, 1, s.log2));
        ExpectSequence(TakeEvents(), want);
        Put<void*>(record, 0, nullptr);
        Kernel(s.exportName)(record);
        EXPECT_TRUE(TakeEvents().empty());
      }
      ExpectNoLeaks();
    }
  }
  reinterpret_cast<void(VORTA_MSABI*)()>(host::LinkedKernel("660453e77e7446c547511a17e62a4458"))();
  EXPECT_TRUE(TakeEvents().empty());
}

// The block list: every chain's blocks under the header's packed handle, then
// the chain array and the header itself through their own allocation blocks.
TEST_P(Disposal, BlockList) {
  struct Case {
    uint32_t blocksHandle;
    uint32_t arrayHandle;
    uint32_t listHandle;
    bool withArray;
  };
  host::StartMemoryLog();
  for (const char* exportName : {"1d663b8d3110406501ef71e24cbc8c20", "ca60ab232d19a9f4380a530fa0d222cf"}) {
    for (Case c : {Case{5u | 2u << 16, 3u | 7u << 16, 6u | 1u << 16, true},
                   Case{70u | 1u << 16, 71u | 2u << 16, 70u | 3u << 16, true},
                   Case{5u, 1u | 1u << 16, 1u | 5u << 16, true},
                   Case{5u, 3u, 6u, false}, Case{5u, 71u, 6u, false}}) {
      {
        Blocks blocks;
        std::vector<std::vector<void*>> chains = {{blocks.Make(), blocks.Make()}, {}, {blocks.Make()}};
        void* array = blocks.Make();
        for (size_t i = 0; i < chains.size(); ++i) {
          Link(chains[i]);
          Put<void*>(array, 8 * i, chains[i].empty() ? nullptr : chains[i][0]);
        }
        void* header = blocks.Make();
        Put(header, 0, c.blocksHandle);
        Put(header, 8, array);
        Put<int32_t>(header, 16, int32_t(chains.size()));
        AllocationBlock arrayBlock = Block(c.withArray ? array : nullptr, 3, c.arrayHandle, 8, 3, 4);
        Put(header, 24, arrayBlock);
        AllocationBlock list = Block(header, 1, c.listHandle, 64, 1, 6);
        const AllocationBlock listBefore = list;
        host::TakeMemoryLog();
        reinterpret_cast<void(VORTA_MSABI*)(AllocationBlock*)>(host::LinkedKernel(exportName))(&list);

        std::vector<Event> want;
        for (auto& chain : chains) {
          for (void* b : chain) Append(want, Expected(b, c.blocksHandle, false, 1, 4096, 6));
        }
        auto own = [](const AllocationBlock& b) -> std::optional<Event> {
          if (!b.pointer) return std::nullopt;
          const uint32_t handle = b.allocatorIndex | uint32_t(b.allocatorVersion) << 16;
          std::optional<Event> e =
              Expected(b.pointer, handle, true, b.bytesPerItem, b.allocatedItems, b.log2Alignment);
          if (e && e->custom) e->block = b, e->block.items = 0;  // the block itself, items cleared
          return e;
        };
        Append(want, own(arrayBlock));
        Append(want, own(listBefore));
        ExpectSequence(TakeEvents(), want);
        const uint8_t zero[32] = {};
        EXPECT_EQ(memcmp(&list, zero, 32), 0);
        // Nothing is allocated while disposing, whatever the blocks hold.
        for (const host::MemoryEvent& e : host::TakeMemoryLog()) {
          EXPECT_NE(e.kind, host::MemoryEvent::MallocTracked);
        }
      }
      ExpectNoLeaks();
    }
  }
  AllocationBlock empty = Block(nullptr, 1, 5, 64, 1, 6);
  reinterpret_cast<void(VORTA_MSABI*)(AllocationBlock*)>(
      host::LinkedKernel("1d663b8d3110406501ef71e24cbc8c20"))(&empty);
  EXPECT_TRUE(TakeEvents().empty());
  EXPECT_EQ(empty.items, 1);  // untouched
  host::StopMemoryLog();
}

INSTANTIATE_TEST_SUITE_P(Variants, Disposal,
                         ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2),
                         [](const auto& info) { return host::VariantName(info.param); });

}  // namespace
