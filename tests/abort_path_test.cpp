// Every kernel with an error path: the call raises exactly the named exception
// with its message through the host's abort service before it writes anything
// (its arguments lie in read-only memory and the host sees no memory call),
// and the next call of the same kernel, on valid arguments, works.
#include <gtest/gtest.h>

#include <functional>

#include "tests/kernel_cases.h"

namespace {

struct AbortCase {
  const char* name;
  const char* exportName;
  const char* type;
  const char* message;
  uint32_t headerBytes;   // the container header a valid call releases
  uint32_t handleOffset;  // where the header keeps its allocator handle
  bool slot;              // the kernel takes the address of a header slot
};

constexpr const char* kInvalid = "System.InvalidOperationException";

const AbortCase kCases[] = {
    {"DisposeText", VORTA_EXPORT_DISPOSAL_TEXT, kInvalid,
     "UnsafeText has yet to be created or has been destroyed!", 24, 16, true},
    {"DisposeRingQueue", VORTA_EXPORT_DISPOSAL_RING_QUEUE, kInvalid,
     "UnsafeRingQueue has yet to be created or has been destroyed!", 32, 8, true},
    {"DisposeHashContainer", VORTA_EXPORT_DISPOSAL_HASH_CONTAINER, kInvalid,
     "Hash based container has yet to be created or has been destroyed!", 64, 60, true},
    {"DisposeQueue", VORTA_EXPORT_DISPOSAL_QUEUE, kInvalid,
     "UnsafeQueue has yet to be created or has been destroyed!", 24, 16, false},
};

class AbortPaths : public ::testing::TestWithParam<std::tuple<size_t, vorta::CpuVariant>> {};

TEST_P(AbortPaths, AbortsBeforeWritingThenWorks) {
  const auto [index, variant] = GetParam();
  if (variant == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  vorta::host::InitializeLinked(variant);
  kcases::InstallFaultHandler();
  const AbortCase& c = kCases[index];
  auto dispose = reinterpret_cast<VortaDisposeFn>(vorta::host::LinkedKernel(c.exportName));
  const int64_t liveBefore = vorta::host::LiveAllocations();
  for (int round = 0; round < 2; ++round) {
    // The null header: its slot read-only, so a write would fault.
    kcases::GuardedBuffer nullSlot(std::vector<uint8_t>(8, 0), round == 0, true);
    void* argument = c.slot ? static_cast<void*>(nullSlot.data()) : nullptr;
    vorta::host::StartMemoryLog();
    kcases::CurrentKernel().store(c.name);
    bool aborted = false;
    try {
      vorta::host::CallGuarded([&] { dispose(argument); });
    } catch (const vorta::host::KernelAbort& e) {
      aborted = true;
      EXPECT_EQ(e.type, c.type) << c.name;
      EXPECT_EQ(e.message, c.message) << c.name;
    }
    EXPECT_TRUE(aborted) << c.name << ": no abort";
    EXPECT_TRUE(vorta::host::TakeMemoryLog().empty()) << c.name << ": memory touched";

    // Then a valid, empty container: its header goes back to the host.
    const uint32_t handle = 4;
    uint8_t* header = static_cast<uint8_t*>(
        vorta::host::service::MallocTracked(c.headerBytes, 64, handle, 0));
    memset(header, 0, c.headerBytes);
    memcpy(header + c.handleOffset, &handle, 4);
    std::vector<uint8_t> slotBytes(8);
    memcpy(slotBytes.data(), &header, 8);
    kcases::GuardedBuffer slot(slotBytes, round == 0, true);
    vorta::host::TakeMemoryLog();
    vorta::host::CallGuarded([&] { dispose(c.slot ? static_cast<void*>(slot.data()) : header); });
    kcases::CurrentKernel().store(nullptr);
    const std::vector<vorta::host::MemoryEvent> log = vorta::host::TakeMemoryLog();
    vorta::host::StopMemoryLog();
    ASSERT_EQ(log.size(), 1u) << c.name;
    EXPECT_EQ(log[0].kind, vorta::host::MemoryEvent::FreeTracked);
    EXPECT_EQ(log[0].ptr, header);
    EXPECT_EQ(vorta::host::LiveAllocations(), liveBefore) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Abort, AbortPaths,
    ::testing::Combine(::testing::Range<size_t>(0, std::size(kCases)),
                       ::testing::Values(vorta::CpuVariant::Sse2, vorta::CpuVariant::Avx2)),
    [](const auto& info) {
      return std::string(kCases[std::get<0>(info.param)].name) +
             (std::get<1>(info.param) == vorta::CpuVariant::Avx2 ? "_Avx2" : "_Sse2");
    });

}  // namespace
