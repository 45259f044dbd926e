// No kernel reads or writes outside its buffers: every buffer lies against an
// inaccessible page, once ending exactly at it and once starting exactly at
// it, inputs read-only; sizes from empty to a few vectors and beyond, several
// workers. A fault stops the program naming the kernel (see kernel_cases.h).
#include <gtest/gtest.h>

#include "tests/kernel_cases.h"

namespace {

using kcases::Kernels;

class GuardPages : public ::testing::TestWithParam<std::tuple<size_t, vorta::CpuVariant>> {};

TEST_P(GuardPages, StaysInsideItsBuffers) {
  const auto [index, variant] = GetParam();
  if (variant == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  vorta::host::InitializeLinked(variant);
  const kcases::Kernel& k = Kernels()[index];
  std::mt19937_64 rng(0x9a4d0000u + index);
  for (int32_t size : {1, 2, 3, 5, 8, 9, 17, 33, 70, 300}) {
    const kcases::Case c = k.make(rng, size);
    for (bool atStart : {false, true}) {
      const kcases::Result r =
          kcases::Run(k, c, vorta_test::Schedule(3, 2, true, true, rng()), atStart);
      ASSERT_TRUE(r.recordKept) << k.name << ": the record was written";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Guard, GuardPages,
    ::testing::Combine(::testing::Range<size_t>(0, Kernels().size()),
                       ::testing::Values(vorta::CpuVariant::Sse2, vorta::CpuVariant::Avx2)),
    [](const auto& info) {
      return Kernels()[std::get<0>(info.param)].name +
             (std::get<1>(info.param) == vorta::CpuVariant::Avx2 ? "_Avx2" : "_Sse2");
    });

// The hashes with copy: input and secret read-only, the copy's destination
// guarded, both alignments, lengths around the block boundaries.
TEST(GuardPagesDirect, HashesWithCopy) {
  kcases::InstallFaultHandler();
  for (vorta::CpuVariant variant : {vorta::CpuVariant::Sse2, vorta::CpuVariant::Avx2}) {
    if (variant == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) continue;
    vorta::host::InitializeLinked(variant);
    auto h64 = reinterpret_cast<VortaXxh3Hash64WithCopyFn>(
        vorta::host::LinkedKernel(VORTA_EXPORT_XXH3_HASH64_WITH_COPY));
    auto h128 = reinterpret_cast<VortaXxh3Hash128WithCopyFn>(
        vorta::host::LinkedKernel(VORTA_EXPORT_XXH3_HASH128_WITH_COPY));
    std::mt19937_64 rng(7);
    for (size_t length : {241, 255, 256, 257, 1023, 1024, 1025, 4095, 4097}) {
      std::vector<uint8_t> bytes(length), secretBytes(192), none(length, 0xa5), res(16, 0xa5);
      for (auto& b : bytes) b = uint8_t(rng());
      for (auto& b : secretBytes) b = uint8_t(rng());
      for (bool atStart : {false, true}) {
        kcases::GuardedBuffer input(bytes, atStart, true), secret(secretBytes, atStart, true);
        kcases::GuardedBuffer copy(none, atStart, false), result(res, atStart, false);
        kcases::CurrentKernel().store("XXH3_HASH64_WITH_COPY");
        const uint64_t a = h64(input.data(), copy.data(), int64_t(length), secret.data());
        kcases::CurrentKernel().store("XXH3_HASH128_WITH_COPY");
        uint64_t* r = h128(input.data(), copy.data(), int64_t(length), secret.data(),
                           reinterpret_cast<uint64_t*>(result.data()));
        kcases::CurrentKernel().store(nullptr);
        EXPECT_EQ(r, reinterpret_cast<uint64_t*>(result.data()));
        EXPECT_EQ(0, memcmp(copy.data(), bytes.data(), length)) << length;
        EXPECT_EQ(a, h64(input.data(), nullptr, int64_t(length), secret.data()));
      }
    }
  }
}

}  // namespace

namespace {

// The guards themselves: an output one element short makes the kernel write
// into the page after it, and the fault names the kernel.
TEST(GuardPagesSelfCheck, ShortOutputFaultsNamingTheKernel) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const kcases::Kernel* relu = nullptr;
  for (const kcases::Kernel& k : Kernels())
    if (k.name == "maps_RELU") relu = &k;
  ASSERT_NE(relu, nullptr);
  std::mt19937_64 rng(1);
  kcases::Case c = relu->make(rng, 300);
  while (c.length < 8) c = relu->make(rng, 300);
  c.bufs[1].init.resize(c.bufs[1].init.size() - 4);
  EXPECT_DEATH(
      {
        vorta::host::InitializeLinked(vorta::CpuVariant::Sse2);
        kcases::Run(*relu, c, vorta_test::Schedule(1, 0, false, false, 2), false);
      },
      "memory fault outside a buffer in kernel maps_RELU");
}

// Blocks the host hands out while guarding: one starts at an inaccessible
// page's end, the next ends at the following one's start.
TEST(GuardPagesSelfCheck, GuardedHostBlocksFaultOnEitherSide) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int side = 0; side < 2; ++side)
    EXPECT_DEATH(
        {
          vorta::host::SetGuardedAllocations(true);
          volatile uint8_t* a = static_cast<uint8_t*>(vorta::host::service::Malloc(256, 64, 2));
          volatile uint8_t* b = static_cast<uint8_t*>(vorta::host::service::Malloc(256, 64, 2));
          a[0] = b[255] = 1;  // inside: fine
          if (side == 0) a[-1] = b[-1] = 1;
          if (side == 1) a[256] = b[256] = 1;
        },
        "");
}

}  // namespace

namespace {

// The direct-call buffer utilities, the resize table builders and the small
// utilities: argument records and sources read-only, destinations guarded on
// both sides; both variants give the same words (the pair release: every
// buffer back to the host).
struct DirectUtility {
  const char* name;
  // Builds guarded buffers for one random call, makes it, returns what it wrote.
  std::vector<uint8_t> (*call)(std::mt19937_64& rng, bool atStart);
};

template <class Args>
std::unique_ptr<kcases::GuardedBuffer> ReadOnlyArgs(const Args& args, bool atStart) {
  std::vector<uint8_t> bytes(sizeof args);
  memcpy(bytes.data(), &args, sizeof args);
  return std::make_unique<kcases::GuardedBuffer>(bytes, atStart, true);
}

std::vector<uint8_t> Words(std::mt19937_64& rng, size_t count) {
  std::vector<uint8_t> w(4 * count);
  kcases::Fill(kcases::Gen::I32, w.data(), count, rng);
  return w;
}

const DirectUtility kUtilities[] = {
    {"datamove_COPY",
     [](std::mt19937_64& rng, bool atStart) {
       const int32_t count = int32_t(rng() % 70), so = int32_t(rng() % 5), d = int32_t(rng() % 5);
       kcases::GuardedBuffer src(Words(rng, size_t(count + so)), atStart, true);
       kcases::GuardedBuffer dst(std::vector<uint8_t>(4 * size_t(count + d), 0xa5), atStart, false);
       auto args = ReadOnlyArgs(VortaCopyJob{src.data(), dst.data(), count, so, d}, atStart);
       reinterpret_cast<VortaCopyFn>(vorta::host::LinkedKernel(VORTA_EXPORT_DATAMOVE_COPY))(
           reinterpret_cast<const VortaCopyJob*>(args->data()));
       return std::vector<uint8_t>(dst.data(), dst.data() + 4 * (count + d));
     }},
    {"maps_extra_REPLICATE_BLOCK",
     [](std::mt19937_64& rng, bool atStart) {
       const int32_t count = int32_t(rng() % 20), copies = int32_t(rng() % 9);
       kcases::GuardedBuffer src(Words(rng, size_t(count)), atStart, true);
       const size_t bytes = 4 * size_t(count) * copies;
       kcases::GuardedBuffer dst(std::vector<uint8_t>(bytes, 0xa5), atStart, false);
       VortaReplicateBlockArgs a{src.data(), dst.data(), count, copies};
       auto args = ReadOnlyArgs(a, atStart);
       reinterpret_cast<VortaReplicateBlockFn>(vorta::host::LinkedKernel(VORTA_EXPORT_MAPS_EXTRA_REPLICATE_BLOCK))(
           reinterpret_cast<const VortaReplicateBlockArgs*>(args->data()));
       return std::vector<uint8_t>(dst.data(), dst.data() + bytes);
     }},
    {"param_maps_ZERO_FILL",
     [](std::mt19937_64& rng, bool atStart) {
       const int32_t count = int32_t(rng() % 70);
       kcases::GuardedBuffer dst(Words(rng, size_t(count)), atStart, false);
       VortaZeroFillArgs a{reinterpret_cast<float*>(dst.data()), count};
       auto args = ReadOnlyArgs(a, atStart);
       reinterpret_cast<VortaZeroFillFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_ZERO_FILL))(
           reinterpret_cast<VortaZeroFillArgs*>(args->data()));
       return std::vector<uint8_t>(dst.data(), dst.data() + 4 * count);
     }},
    {"param_maps_SELECTED_BOXES",
     [](std::mt19937_64& rng, bool atStart) {
       const int32_t batches = 1 + int32_t(rng() % 3), classes = 1 + int32_t(rng() % 3);
       const int32_t stride = 1 + int32_t(rng() % 5), perRow = 1 + int32_t(rng() % stride);
       const int32_t maxTotal = int32_t(rng() % 12);
       std::vector<uint8_t> sel(4 * size_t(batches) * classes * stride);
       for (size_t i = 0; i < sel.size(); i += 4) kcases::Put(sel, i, int32_t(rng() % 9) - 1);
       kcases::GuardedBuffer selected(sel, atStart, true);
       const size_t tripleBytes = 12 * size_t(maxTotal + perRow - 1);
       kcases::GuardedBuffer triples(std::vector<uint8_t>(tripleBytes, 0xa5), atStart, false);
       kcases::GuardedBuffer count(std::vector<uint8_t>(4, 0xa5), atStart, false);
       VortaSelectedBoxList l{reinterpret_cast<const int32_t*>(selected.data()),
                              reinterpret_cast<int32_t*>(triples.data()), reinterpret_cast<int32_t*>(count.data()),
                              batches, classes, stride, maxTotal, perRow};
       reinterpret_cast<VortaSelectedBoxListFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_SELECTED_BOXES))(&l);
       std::vector<uint8_t> out(triples.data(), triples.data() + tripleBytes);
       out.insert(out.end(), count.data(), count.data() + 4);
       return out;
     }},
    {"resize_NEAREST_TABLES and resize_LINEAR_TABLES",
     [](std::mt19937_64& rng, bool atStart) {
       VortaResizeTableArgs a{};
       a.dims = 2 + int32_t(rng() % 2), a.roundMode = int32_t(rng() % 4);
       size_t entries = 0;
       for (int i = 0; i < a.dims; ++i) {
         a.inSize[i] = 1 + int32_t(rng() % 9), a.outSize[i] = 1 + int32_t(rng() % 12);
         a.scale[i] = float(rng() % 40) / 16, a.offset[i] = float(int(rng() % 40) - 20) / 8;
         entries += size_t(a.outSize[i]);
       }
       std::vector<uint8_t> out;
       for (const char* builder : {VORTA_EXPORT_RESIZE_NEAREST_TABLES, VORTA_EXPORT_RESIZE_LINEAR_TABLES}) {
         const size_t bytes = 4 * entries * (builder == VORTA_EXPORT_RESIZE_NEAREST_TABLES ? 1 : 3);
         kcases::GuardedBuffer tables(std::vector<uint8_t>(bytes, 0xa5), atStart, false);
         a.tables = tables.data();
         auto args = ReadOnlyArgs(a, atStart);
         reinterpret_cast<VortaResizeTableFn>(vorta::host::LinkedKernel(builder))(
             reinterpret_cast<const VortaResizeTableArgs*>(args->data()));
         out.insert(out.end(), tables.data(), tables.data() + bytes);
       }
       return out;
     }},
    {"maps_extra_RELEASE_PAIR",
     [](std::mt19937_64& rng, bool atStart) {
       vorta::host::SetGuardedAllocations(true);
       const int64_t live = vorta::host::LiveUntrackedAllocations();
       VortaBufferPairArgs a{};
       a.allocator = int32_t(rng() % 8);
       if (rng() % 3) a.first = vorta::host::service::Malloc(1 + rng() % 64, 16, uint32_t(a.allocator));
       if (rng() % 3) a.second = vorta::host::service::Malloc(1 + rng() % 64, 16, uint32_t(a.allocator));
       auto args = ReadOnlyArgs(a, atStart);
       reinterpret_cast<VortaReleaseBufferPairFn>(vorta::host::LinkedKernel(VORTA_EXPORT_MAPS_EXTRA_RELEASE_PAIR))(
           reinterpret_cast<const VortaBufferPairArgs*>(args->data()));
       EXPECT_EQ(vorta::host::LiveUntrackedAllocations(), live) << "a buffer was not released";
       return std::vector<uint8_t>{uint8_t(a.first != nullptr), uint8_t(a.second != nullptr)};
     }},
    {"param_maps_CONSTANT and param_maps_CONTROL_STATE",
     [](std::mt19937_64&, bool) {
       const int32_t values[2] = {
           reinterpret_cast<VortaConstantFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_CONSTANT))(),
           reinterpret_cast<VortaControlStateFn>(vorta::host::LinkedKernel(VORTA_EXPORT_PARAM_MAPS_CONTROL_STATE))()};
       std::vector<uint8_t> out(8);
       memcpy(out.data(), values, 8);
       return out;
     }},
};

TEST(GuardPagesDirect, BufferUtilitiesOnBothVariants) {
  kcases::InstallFaultHandler();
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP();
  for (const DirectUtility& u : kUtilities)
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> got[2];
      for (int v = 0; v < 2; ++v) {
        vorta::host::InitializeLinked(v ? vorta::CpuVariant::Avx2 : vorta::CpuVariant::Sse2);
        std::mt19937_64 rng(round);
        kcases::CurrentKernel().store(u.name);
        got[v] = u.call(rng, round % 2 == 0);
        kcases::CurrentKernel().store(nullptr);
      }
      ASSERT_TRUE(got[0] == got[1]) << u.name << " round " << round;
    }
}

}  // namespace
