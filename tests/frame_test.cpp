// The exported surface, initialisation and the resolver traffic it causes, the
// statics it leaves, and the end-to-end path through build/libvorta.so.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "frame/kernel_table.h"
#include "frame/statics.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "host/module.h"
#include "tensor/map_records.h"

namespace {

using vorta::CpuVariant;
namespace host = vorta::host;

// The service lists as the host sees them, in resolution order.
const std::map<std::string, std::vector<std::string>> kLists = {
    {"R1", {"Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange"}},
    {"R2",
     {"vorta_abort", "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::get_ThreadIndexCount",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MallocTracked",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::FreeTracked",
      "Orvex.Vorta.LowLevel.VortaCompilerService::GetOrCreateSharedMemory",
      "OrvexEngine.Quaternion::Inverse_Injected", "OrvexEngine.Vector3::Slerp_Injected"}},
    {"R3",
     {"vorta_abort", "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Malloc",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::FreeTracked",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MallocTracked",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MemCpyReplicate",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Free"}},
    {"R4",
     {"Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange",
      "OrvexEngine.Mathf::HalfToFloat", "OrvexEngine.Mathf::FloatToHalf"}},
    {"R5",
     {"vorta_abort", "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange",
      "OrvexEngine.Jobs.TransformAccessArray::GetSortedToUserIndex",
      "OrvexEngine.Jobs.TransformAccessArray::GetSortedTransformAccess",
      "OrvexEngine.Jobs.TransformAccess::GetPosition",
      "OrvexEngine.Jobs.TransformAccess::GetRotation",
      "OrvexEngine.Jobs.TransformAccess::GetLocalScale",
      "OrvexEngine.Jobs.TransformAccess::GetLocalToWorldMatrix",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::FreeTracked",
      "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MallocTracked",
      "OrvexEngine.Mathf::HalfToFloat"}},
    {"R6", {"vorta_abort"}},
};

struct TableRow {
  std::string name, list;
};

std::vector<TableRow> ModuleOrder() {
  return {
#define VORTA_KERNEL(name, list, family, body) {#name, #list},
#include "frame/kernels.def"
#undef VORTA_KERNEL
  };
}

// The export names of the kernels whose bodies are built so far.
std::set<std::string> BuiltKernels() {
  std::set<std::string> built;
#define VORTA_KERNEL(name, list, family, body) VORTA_IF_BUILT(body)(built.insert(#name);)
#include "frame/kernels.def"
#undef VORTA_KERNEL
  return built;
}

// Every defined symbol in the dynamic symbol table of an ELF shared object.
std::vector<std::string> DynamicExports(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_GT(data.size(), sizeof(Elf64_Ehdr));
  auto* eh = reinterpret_cast<const Elf64_Ehdr*>(data.data());
  auto* sh = reinterpret_cast<const Elf64_Shdr*>(data.data() + eh->e_shoff);
  std::vector<std::string> names;
  for (int i = 0; i < eh->e_shnum; ++i) {
    if (sh[i].sh_type != SHT_DYNSYM) continue;
    const char* strtab = data.data() + sh[sh[i].sh_link].sh_offset;
    auto* syms = reinterpret_cast<const Elf64_Sym*>(data.data() + sh[i].sh_offset);
    size_t count = sh[i].sh_size / sizeof(Elf64_Sym);
    for (size_t s = 1; s < count; ++s) {
      if (syms[s].st_shndx == SHN_UNDEF) continue;
      int bind = ELF64_ST_BIND(syms[s].st_info);
      if (bind != STB_GLOBAL && bind != STB_WEAK) continue;
      names.push_back(strtab + syms[s].st_name);
    }
  }
  return names;
}

TEST(ExportSurface, TableHas309DistinctKernelsInSixLists) {
  auto rows = ModuleOrder();
  ASSERT_EQ(rows.size(), 309u);
  std::set<std::string> names;
  std::map<std::string, int> perList;
  for (auto& r : rows) {
    ASSERT_EQ(r.name.size(), 32u) << r.name;
    ASSERT_EQ(r.name.find_first_not_of("0123456789abcdef"), std::string::npos) << r.name;
    names.insert(r.name);
    perList[r.list]++;
  }
  EXPECT_EQ(names.size(), 309u);
  std::map<std::string, int> expected = {{"R1", 1}, {"R2", 100}, {"R3", 54},
                                         {"R4", 53}, {"R5", 100}, {"R6", 1}};
  EXPECT_EQ(perList, expected);
  // Module order walks the lists one after another.
  EXPECT_EQ(rows.front().name, "84f6e15c675b3973704dcd97eac0700c");
  EXPECT_EQ(rows[1].name, "1819bc9925667b008fd6c3e6019ccf71");
  EXPECT_EQ(rows.back().name, "75dfe5e48c0de75417d213538a382b19");
  EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                             [](const TableRow& a, const TableRow& b) { return a.list < b.list; }));
}

TEST(ExportSurface, SharedLibraryExportsExactlyTheSurface) {
  auto exports = DynamicExports(host::DefaultLibraryPath());
  std::multiset<std::string> got(exports.begin(), exports.end());
  std::multiset<std::string> want = {"vorta.initialize"};
  for (auto& r : ModuleOrder()) {
    for (const char* kind : {"externals", "statics"}) {
      for (const char* suffix : {"_x64_sse2", "_avx2"}) {
        want.insert(std::string("vorta.initialize.") + kind + "." + r.name + suffix);
      }
    }
  }
  auto built = BuiltKernels();
  EXPECT_EQ(built.size(), 309u);  // every kernel is built and exported
  for (auto& b : built) want.insert(b);
  EXPECT_EQ(got.size(), want.size());
  std::vector<std::string> extra, missing;
  std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::back_inserter(extra));
  std::set_difference(want.begin(), want.end(), got.begin(), got.end(),
                      std::back_inserter(missing));
  EXPECT_TRUE(extra.empty()) << extra.size() << " unexpected exports, first " << extra[0];
  EXPECT_TRUE(missing.empty()) << missing.size() << " missing exports, first " << missing[0];
}

TEST(ExportSurface, SharedLibraryNeedsOnlyTheCLibraryAndSleef) {
  std::ifstream f(host::DefaultLibraryPath(), std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(data.find("libstdc++"), std::string::npos);
  EXPECT_EQ(data.find("libgcc_s"), std::string::npos);
}

// What the host sees during initialisation: each kernel's list, in module order.
TEST(Initialisation, ResolverTrafficFollowsModuleOrder) {
  host::Module module = host::LoadSharedModule(host::DefaultLibraryPath().c_str());
  host::StartResolverLog();
  module.initialize(host::Resolver());
  auto log = host::TakeResolverLog();
  host::StopResolverLog();

  std::vector<std::string> expected;
  for (auto& r : ModuleOrder()) {
    auto& names = kLists.at(r.list);
    expected.insert(expected.end(), names.begin(), names.end());
  }
  ASSERT_EQ(log.size(), expected.size());
  EXPECT_EQ(log, expected);

  std::map<std::string, int> counts;
  for (auto& n : log) counts[n]++;
  EXPECT_EQ(counts.size(), 19u);
  // GetWorkStealingRange: R1 + R3 + R4 + R5; vorta_abort: R2 + R3 + R5 + R6.
  EXPECT_EQ(counts["Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange"], 208);
  EXPECT_EQ(counts["vorta_abort"], 255);
  EXPECT_EQ(counts["OrvexEngine.Vector3::Slerp_Injected"], 100);
  EXPECT_EQ(counts["OrvexEngine.Mathf::HalfToFloat"], 153);
  EXPECT_EQ(counts["Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MemCpyReplicate"], 54);
  EXPECT_EQ(log.size(), 1u + 700u + 378u + 159u + 1100u + 1u);
}

TEST(Initialisation, InitialisersCanBeCalledDirectly) {
  host::Module module = host::LoadSharedModule(host::DefaultLibraryPath().c_str());
  typedef void(VORTA_MSABI * Externals)(vorta::ExternalResolver);
  auto* ext = reinterpret_cast<Externals>(
      module.Kernel("vorta.initialize.externals.1819bc9925667b008fd6c3e6019ccf71_avx2"));
  ASSERT_NE(ext, nullptr);
  host::StartResolverLog();
  ext(host::Resolver());
  auto log = host::TakeResolverLog();
  host::StopResolverLog();
  EXPECT_EQ(log, kLists.at("R2"));

  typedef void(VORTA_MSABI * Statics)();
  int before = host::SharedMemoryCallCount();
  reinterpret_cast<Statics>(
      module.Kernel("vorta.initialize.statics.1819bc9925667b008fd6c3e6019ccf71_x64_sse2"))();
  EXPECT_EQ(host::SharedMemoryCallCount(), before + 1);
  reinterpret_cast<Statics>(
      module.Kernel("vorta.initialize.statics.13790fdabb36dc7bfcda4e03844df92c_avx2"))();
  EXPECT_EQ(host::SharedMemoryCallCount(), before + 1);  // the rotation step needs no service
}

class InitialisationVariants : public ::testing::TestWithParam<CpuVariant> {
 protected:
  void SetUp() override {
    if (GetParam() == CpuVariant::Avx2 && !host::CanRunAvx2()) GTEST_SKIP() << "no AVX2";
  }
};

TEST_P(InitialisationVariants, StaticsAndSlotsAreTheSameAfterEveryInitialisation) {
  host::SetThreadIndexCount(7);
  int sharedBefore = host::SharedMemoryCallCount();
  host::InitializeLinked(GetParam());
  EXPECT_EQ(host::SharedMemoryCallCount(), sharedBefore + 100);  // once per allocator kernel

  const vorta::ModuleStatics s = vorta::vorta_statics;
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(s.builtinAllocator[i], i);
  EXPECT_EQ(s.threadIndexCount[0], 7);
  EXPECT_EQ(s.threadIndexCount[1], 7);
  EXPECT_EQ(s.threadSlotBase[0], 0x8000u - 7);
  EXPECT_EQ(s.threadSlotBase[1], 0x8000u - 7);
  uint64_t key[2] = {0xEDFCCB8B263B8F83ull, 0};
  EXPECT_EQ(static_cast<void*>(s.allocatorTable),
            host::service::GetOrCreateSharedMemory(key, 0x80000, 16));
  uint32_t rotation[4];
  std::memcpy(rotation, s.rotationXMinus90, sizeof rotation);
  EXPECT_EQ(rotation[0], 0xBF3504F3u);
  EXPECT_EQ(rotation[1], 0u);
  EXPECT_EQ(rotation[2], 0u);
  EXPECT_EQ(rotation[3], 0x3F3504F3u);

  std::vector<const void*> slots(vorta::vorta_entry_table, vorta::vorta_entry_table + 309);
  auto built = BuiltKernels();
  auto rows = ModuleOrder();
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(built.count(rows[i].name), 1u) << rows[i].name;
    EXPECT_NE(slots[i], nullptr) << rows[i].name;  // no slot is left null
    EXPECT_EQ(slots[i], vorta::kVariantBodies[static_cast<int>(GetParam())][i]);
  }

  host::InitializeLinked(GetParam());
  std::vector<const void*> again(vorta::vorta_entry_table, vorta::vorta_entry_table + 309);
  EXPECT_EQ(again, slots);
  EXPECT_EQ(std::memcmp(&vorta::vorta_statics, &s, sizeof s), 0);
  host::SetThreadIndexCount(static_cast<uint32_t>(host::DefaultWorkerCount()));
}

TEST_P(InitialisationVariants, VariantsBindDifferentBodies) {
  host::InitializeLinked(GetParam());
  const void* relu = vorta::vorta_entry_table[vorta::kKernel_13790fdabb36dc7bfcda4e03844df92c];
  EXPECT_EQ(relu, vorta::kVariantBodies[static_cast<int>(GetParam())]
                                       [vorta::kKernel_13790fdabb36dc7bfcda4e03844df92c]);
  EXPECT_NE(vorta::kVariantBodies[0][vorta::kKernel_13790fdabb36dc7bfcda4e03844df92c],
            vorta::kVariantBodies[1][vorta::kKernel_13790fdabb36dc7bfcda4e03844df92c]);
}

INSTANTIATE_TEST_SUITE_P(Both, InitialisationVariants,
                         ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2),
                         [](const auto& info) { return host::VariantName(info.param); });

// The loaded library end to end: initialise through its own probe, run a job
// through its export, initialise again and run again.
TEST(SharedLibrary, RunsAJobThroughItsExportAfterEachInitialisation) {
  host::Module module = host::LoadSharedModule(host::DefaultLibraryPath().c_str());
  auto relu = reinterpret_cast<vorta::JobEntry>(module.Kernel("13790fdabb36dc7bfcda4e03844df92c"));
  ASSERT_NE(relu, nullptr);
  for (const TableRow& row : ModuleOrder())  // every kernel has its forwarder
    EXPECT_NE(module.Kernel(row.name.c_str()), nullptr) << row.name;
  for (int round = 0; round < 2; ++round) {
    module.initialize(host::Resolver());
    const int n = 100003;
    std::vector<float> in(n), out(n + 8, 42.0f);
    for (int i = 0; i < n; ++i) in[i] = float(i % 17) - 8.0f;
    vorta::UnaryMapJob job{in.data(), out.data(), n, 0, 0};
    host::JobOptions opt;
    opt.workers = 3;
    opt.randomBatchSizes = true;
    opt.batchSize = 777;
    opt.seed = 11 + round;
    host::RunJob(relu, &job, sizeof job, n, opt);
    for (int i = 0; i < n; ++i) ASSERT_EQ(out[i], in[i] > 0 ? in[i] : 0.0f) << i;
    for (int i = n; i < n + 8; ++i) EXPECT_EQ(out[i], 42.0f);
  }
}

// A job whose first range call says no work writes nothing; empty batches are skipped.
TEST(BatchLoop, NoWorkAndEmptyBatchesWriteNothing) {
  host::InitializeLinked(host::ProbedVariant());
  auto relu = host::LinkedJob("13790fdabb36dc7bfcda4e03844df92c");
  std::vector<float> in(64, -1.0f), out(64, 42.0f);
  vorta::UnaryMapJob job{in.data(), out.data(), 64, 0, 0};
  host::RunJob(relu, &job, sizeof job, 0, {});
  for (float v : out) EXPECT_EQ(v, 42.0f);

  host::JobOptions opt;
  opt.workers = 2;
  opt.emptyBatches = true;
  opt.batchSize = 5;
  host::RunJob(relu, &job, sizeof job, 64, opt);
  for (float v : out) EXPECT_EQ(v, 0.0f);
  EXPECT_GT(host::LastJobBatchCount(), 13);  // the 13 real batches plus the empty ones
}

}  // namespace
