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
  bool record = false;    // ... a record: the header pointer, then its handle at 8
};

constexpr const char* kInvalid = "System.InvalidOperationException";

const AbortCase kCases[] = {
    {"DisposeBitArray", VORTA_EXPORT_DISPOSAL_BIT_ARRAY, kInvalid,
     "UnsafeBitArray has yet to be created or has been destroyed!", 24, 16, true, true},
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
    const size_t argBytes = c.record ? 12 : 8;
    kcases::GuardedBuffer nullSlot(std::vector<uint8_t>(argBytes, 0), round == 0, true);
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
    std::vector<uint8_t> slotBytes(argBytes);
    memcpy(slotBytes.data(), &header, 8);
    if (c.record) memcpy(slotBytes.data() + 8, &handle, 4);
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

// The box-overlap job checks its box format before its batch loop: every call
// aborts before writing a flag, the host rethrows the abort, and the next run
// with a valid format fills every flag.
TEST(AbortPathsJob, OverlapBoxFormat) {
  kcases::InstallFaultHandler();
  for (vorta::CpuVariant variant : {vorta::CpuVariant::Sse2, vorta::CpuVariant::Avx2}) {
    if (variant == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) continue;
    vorta::host::InitializeLinked(variant);
    const auto overlap = vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_OVERLAP);
    std::mt19937_64 rng(3);
    const int32_t B = 9, batches = 2;
    std::vector<uint8_t> boxBytes(size_t(B) * batches * 16);
    kcases::Fill(kcases::Gen::F32Positive, boxBytes.data(), boxBytes.size() / 4, rng);
    for (int32_t format : {2, -1, 256}) {
      kcases::GuardedBuffer boxes(boxBytes, format == 2, true);
      kcases::GuardedBuffer flags(std::vector<uint8_t>(size_t(B) * B * batches, 0x77), format != 2, false);
      VortaOverlapJob job{reinterpret_cast<const float*>(boxes.data()), flags.data(), B, 0.5f, format, 0};
      kcases::CurrentKernel().store("nms_topk_OVERLAP");
      bool aborted = false;
      try {
        vorta::host::RunJob(overlap, &job, sizeof job, B * B * batches,
                            vorta_test::Schedule(3, 4, true, true, 5));
      } catch (const vorta::host::KernelAbort& e) {
        aborted = true;
        EXPECT_EQ(e.type, "System.ArgumentOutOfRangeException");
        EXPECT_EQ(e.message, "");
      }
      EXPECT_TRUE(aborted) << "format " << format;
      EXPECT_EQ(std::count(flags.data(), flags.data() + B * B * batches, 0x77), B * B * batches)
          << "a flag was written before the abort";
      job.boxFormat = format == 2 ? 1 : 0;
      vorta::host::RunJob(overlap, &job, sizeof job, B * B * batches,
                          vorta_test::Schedule(3, 4, true, true, 6));
      kcases::CurrentKernel().store(nullptr);
      EXPECT_EQ(std::count(flags.data(), flags.data() + B * B * batches, 0x77), 0)
          << "the valid run left flags unwritten";
    }
  }
}
