// Memory under allocator handles and the abort path, as every container kernel
// uses them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frame/allocation.h"
#include "frame/services.h"
#include "frame/statics.h"
#include "host/host.h"
#include "host/linked_module.h"

namespace {

namespace host = vorta::host;
using vorta::AllocationBlock;

std::vector<AllocationBlock> gSeen;
alignas(64) unsigned char gArena[4096];

VORTA_MSABI int32_t RecordingAllocator(void* state, AllocationBlock* block) {
  EXPECT_EQ(state, static_cast<void*>(gArena));
  gSeen.push_back(*block);
  if (block->items == 1) block->pointer = gArena;
  return 0;
}

class Allocation : public ::testing::Test {
 protected:
  void SetUp() override {
    host::InitializeLinked(host::ProbedVariant());
    gSeen.clear();
    vorta::vorta_statics.allocatorTable[70] = {reinterpret_cast<void*>(&RecordingAllocator), gArena};
    host::StartMemoryLog();
  }
  void TearDown() override {
    host::StopMemoryLog();
    vorta::vorta_statics.allocatorTable[70] = {nullptr, nullptr};
  }
};

TEST_F(Allocation, HostAllocatorsGoThroughTheTrackedServices) {
  const uint32_t handle = 5u | (3u << 16);
  void* p = vorta::AllocateUnderHandle(handle, 1000, 32);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
  vorta::ReleaseUnderHandle(p, handle, 1000, 32);
  auto log = host::TakeMemoryLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].kind, host::MemoryEvent::MallocTracked);
  EXPECT_EQ(log[0].size, 1000u);
  EXPECT_EQ(log[0].alignment, 32u);
  EXPECT_EQ(log[0].allocator, handle);
  EXPECT_EQ(log[1].kind, host::MemoryEvent::FreeTracked);
  EXPECT_EQ(log[1].ptr, p);
  EXPECT_EQ(log[1].allocator, handle);
  EXPECT_TRUE(gSeen.empty());
}

TEST_F(Allocation, CustomAllocatorsGetOneBlockPerRequest) {
  const uint32_t handle = 70u | (9u << 16);
  void* p = vorta::AllocateUnderHandle(handle, 24, 24);
  EXPECT_EQ(p, static_cast<void*>(gArena));
  vorta::ReleaseUnderHandle(p, handle, 24, 8);
  EXPECT_TRUE(host::TakeMemoryLog().empty());  // never MallocTracked or FreeTracked
  ASSERT_EQ(gSeen.size(), 2u);

  const AllocationBlock& a = gSeen[0];
  EXPECT_EQ(a.pointer, nullptr);
  EXPECT_EQ(a.items, 1);
  EXPECT_EQ(a.allocatorIndex, 70);
  EXPECT_EQ(a.allocatorVersion, 9);
  EXPECT_EQ(a.bytesPerItem, 24);
  EXPECT_EQ(a.allocatedItems, 0);
  EXPECT_EQ(a.log2Alignment, 5);  // 32 is the first power of two >= 24
  const unsigned char zero[7] = {};
  EXPECT_EQ(std::memcmp(a.reserved, zero, 7), 0);

  const AllocationBlock& r = gSeen[1];
  EXPECT_EQ(r.pointer, static_cast<void*>(gArena));
  EXPECT_EQ(r.items, 0);
  EXPECT_EQ(r.bytesPerItem, 24);
  EXPECT_EQ(r.allocatedItems, 1);
  EXPECT_EQ(r.log2Alignment, 3);
}

TEST_F(Allocation, HandlesZeroAndOneOwnNoMemory) {
  int dummy;
  vorta::ReleaseOwnedUnderHandle(&dummy, 0, 4, 4);
  vorta::ReleaseOwnedUnderHandle(&dummy, 1, 4, 4);
  EXPECT_TRUE(host::TakeMemoryLog().empty());
  // Index 1 with a nonzero version is a real handle.
  void* p = vorta::AllocateUnderHandle(1u | (1u << 16), 16, 16);
  vorta::ReleaseOwnedUnderHandle(p, 1u | (1u << 16), 16, 16);
  auto log = host::TakeMemoryLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].kind, host::MemoryEvent::FreeTracked);
}

TEST(Log2Alignment, SmallestCoveringPower) {
  EXPECT_EQ(vorta::Log2Alignment(0), 0);
  EXPECT_EQ(vorta::Log2Alignment(1), 0);
  EXPECT_EQ(vorta::Log2Alignment(2), 1);
  EXPECT_EQ(vorta::Log2Alignment(3), 2);
  EXPECT_EQ(vorta::Log2Alignment(64), 6);
  EXPECT_EQ(vorta::Log2Alignment(65), 7);
  EXPECT_EQ(vorta::Log2Alignment(0x80000000u), 31);
  EXPECT_EQ(vorta::Log2Alignment(0x80000001u), 32);
}

TEST(AbortPath, ControlReturnsToTheHostWithTypeAndMessage) {
  host::InitializeLinked(host::ProbedVariant());
  volatile int after = 0;
  try {
    host::CallGuarded([&] {
      vorta::Abort("System.InvalidOperationException",
                   "UnsafeQueue has yet to be created or has been destroyed!");
      after = 1;
    });
    FAIL() << "abort returned";
  } catch (const host::KernelAbort& e) {
    EXPECT_EQ(e.type, "System.InvalidOperationException");
    EXPECT_EQ(e.message, "UnsafeQueue has yet to be created or has been destroyed!");
  }
  EXPECT_EQ(after, 0);
}

}  // namespace
