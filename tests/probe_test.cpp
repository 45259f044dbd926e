// The processor probe and the variant choice, on simulated processors.
#include <gtest/gtest.h>

#include <map>

#include "frame/cpu_probe.h"

namespace {

using vorta::CpuidRegisters;
using vorta::CpuVariant;

constexpr uint32_t kIntel = 0x756E6547u, kAmd = 0x68747541u;

// A simulated processor: the leaves it answers and its XCR0.
struct FakeCpu {
  std::map<uint32_t, CpuidRegisters> leaves;
  uint64_t xcr0 = 0;
  bool xgetbvCalled = false;
  std::map<uint32_t, int> asked;

  static CpuidRegisters Cpuid(void* ctx, uint32_t leaf, uint32_t) {
    auto* c = static_cast<FakeCpu*>(ctx);
    c->asked[leaf]++;
    auto it = c->leaves.find(leaf);
    return it == c->leaves.end() ? CpuidRegisters{0, 0, 0, 0} : it->second;
  }
  static uint64_t Xgetbv(void* ctx, uint32_t) {
    auto* c = static_cast<FakeCpu*>(ctx);
    c->xgetbvCalled = true;
    return c->xcr0;
  }
  vorta::CpuProbe Probe() { return vorta::ProbeCpu({Cpuid, Xgetbv, this}); }
};

// Leaf 1 bits
constexpr uint32_t kEdxCmov = 1u << 15, kEdxMmx = 1u << 23, kEdxSse = 1u << 25,
                   kEdxSse2 = 1u << 26;
constexpr uint32_t kEcxSse3 = 1u << 0, kEcxPclmul = 1u << 1, kEcxSsse3 = 1u << 9,
                   kEcxFma = 1u << 12, kEcxSse41 = 1u << 19, kEcxSse42 = 1u << 20,
                   kEcxPopcnt = 1u << 23, kEcxAes = 1u << 25, kEcxOsxsave = 1u << 27,
                   kEcxAvx = 1u << 28, kEcxF16c = 1u << 29;
// Leaf 7 EBX bits
constexpr uint32_t kBmi1 = 1u << 3, kAvx2 = 1u << 5, kErms = 1u << 9, kAvx512f = 1u << 16,
                   kAvx512dq = 1u << 17, kAvx512bw = 1u << 30, kAvx512vl = 1u << 31;

FakeCpu ModernCpu(uint32_t vendor = kIntel) {
  FakeCpu c;
  c.leaves[0] = {13, vendor, 0, 0};
  c.leaves[1] = {0, 0,
                 kEcxSse3 | kEcxPclmul | kEcxSsse3 | kEcxFma | kEcxSse41 | kEcxSse42 | kEcxPopcnt |
                     kEcxAes | kEcxOsxsave | kEcxAvx | kEcxF16c,
                 kEdxCmov | kEdxMmx | kEdxSse | kEdxSse2};
  c.leaves[7] = {0, kBmi1 | kAvx2 | kErms, 0, 0};
  c.leaves[0x80000000u] = {0x80000008u, 0, 0, 0};
  c.leaves[0x80000001u] = {0, 0, 0, 0};
  c.xcr0 = 0x7;  // x87, SSE and AVX state
  return c;
}

TEST(CpuProbe, ModernIntelGetsLevelSixAndAvx2) {
  FakeCpu c = ModernCpu();
  auto p = c.Probe();
  EXPECT_EQ(p.vendorCode, 1u);
  // CMOV MMX POPCNT SSE SSE2 SSE3 SSSE3 SSE4.1 SSE4.2 AVX AVX2 FMA F16C BMI1 ERMS AES PCLMUL
  EXPECT_EQ(p.featureWord, 0x001EC7FFu);
  EXPECT_EQ(vorta::CpuFeatureLevel(p.featureWord), 6u);
  EXPECT_EQ(vorta::ChooseVariant(6), CpuVariant::Avx2);
}

TEST(CpuProbe, OperatingSystemWithoutYmmStateFallsToLevelFour) {
  FakeCpu c = ModernCpu();
  c.xcr0 = 0x3;  // AVX state not enabled
  auto p = c.Probe();
  EXPECT_EQ(p.featureWord & (1u << 9), 0u);
  EXPECT_EQ(p.featureWord & (1u << 10), 0u);
  EXPECT_EQ(vorta::CpuFeatureLevel(p.featureWord), 4u);
  EXPECT_EQ(vorta::ChooseVariant(4), CpuVariant::Sse2);
}

TEST(CpuProbe, XgetbvIsNotExecutedWithoutOsxsave) {
  FakeCpu c = ModernCpu();
  c.leaves[1].ecx &= ~kEcxOsxsave;
  auto p = c.Probe();
  EXPECT_FALSE(c.xgetbvCalled);
  EXPECT_EQ(p.featureWord & (3u << 9), 0u);
  EXPECT_EQ(vorta::CpuFeatureLevel(p.featureWord), 4u);
}

TEST(CpuProbe, Avx2WithoutF16cOrFmaStaysOnSse2) {
  for (uint32_t missing : {kEcxF16c, kEcxFma}) {
    FakeCpu c = ModernCpu();
    c.leaves[1].ecx &= ~missing;
    auto p = c.Probe();
    EXPECT_NE(p.featureWord & (1u << 10), 0u);
    EXPECT_EQ(vorta::CpuFeatureLevel(p.featureWord), 5u);
    EXPECT_EQ(vorta::ChooseVariant(5), CpuVariant::Sse2);
  }
}

TEST(CpuProbe, OldLeavesNeverReachAvx2) {
  FakeCpu c = ModernCpu();
  c.leaves[0].eax = 6;
  c.leaves[7].ebx = 0xffffffffu;
  c.leaves[7].ecx = 0xffffffffu;
  c.leaves[7].edx = 0xffffffffu;
  c.xcr0 = 0xE7;
  auto p = c.Probe();
  EXPECT_EQ(c.asked[7], 0);
  EXPECT_EQ(p.featureWord & 0xFFE70400u, 0u);  // bits 10, 16-18, 21-31
  EXPECT_EQ(vorta::CpuFeatureLevel(p.featureWord), 5u);
}

TEST(CpuProbe, NoLeavesBeyondZeroIsLevelZero) {
  FakeCpu c = ModernCpu();
  c.leaves[0].eax = 0;
  auto p = c.Probe();
  EXPECT_EQ(p.featureWord, 0u);
  EXPECT_EQ(p.vendorCode, 3u);
  EXPECT_EQ(c.asked[1], 0);
  EXPECT_EQ(vorta::CpuFeatureLevel(0), 0u);
  EXPECT_EQ(vorta::ChooseVariant(0), CpuVariant::Sse2);
}

TEST(CpuProbe, LowerLevels) {
  struct Case {
    uint32_t ecx, edx, level;
  } cases[] = {
      {kEcxSse3 | kEcxSse41 | kEcxSse42 | kEcxPopcnt, kEdxSse2, 4},
      {kEcxSse3 | kEcxSse41 | kEcxSse42, kEdxSse2, 3},  // no POPCNT
      {kEcxSse3 | kEcxSse41, kEdxSse2, 3},
      {kEcxSse3 | kEcxSsse3, kEdxSse2, 2},  // SSSE3 is never required
      {kEcxSse3, kEdxSse2, 2},
      {0, kEdxSse2 | kEdxSse, 1},
      {kEcxSse3 | kEcxSse41 | kEcxSse42 | kEcxPopcnt, kEdxSse, 0},  // no SSE2
  };
  for (const Case& k : cases) {
    FakeCpu c = ModernCpu();
    c.leaves[1] = {0, 0, k.ecx, k.edx};
    auto p = c.Probe();
    EXPECT_EQ(vorta::CpuFeatureLevel(p.featureWord), k.level) << std::hex << k.ecx << " " << k.edx;
    EXPECT_EQ(vorta::ChooseVariant(k.level), CpuVariant::Sse2);
  }
}

TEST(CpuProbe, VendorsAndExtendedLeaf) {
  FakeCpu amd = ModernCpu(kAmd);
  amd.leaves[0x80000001u].ecx = (1u << 6) | (1u << 16) | (1u << 11);
  auto p = amd.Probe();
  EXPECT_EQ(p.vendorCode, 2u);
  EXPECT_EQ(p.featureWord & (7u << 11), 7u << 11);

  FakeCpu other = ModernCpu(0x746E6543u);
  other.leaves[0x80000000u].eax = 0x80000000u;  // no extended leaf 1
  other.leaves[0x80000001u].ecx = 0xffffffffu;
  p = other.Probe();
  EXPECT_EQ(p.vendorCode, 3u);
  EXPECT_EQ(other.asked[0x80000001u], 0);
  EXPECT_EQ(p.featureWord & (7u << 11), 0u);
}

TEST(CpuProbe, Avx512BitsNeedTheirState) {
  FakeCpu c = ModernCpu();
  c.leaves[7].ebx |= kAvx512f | kAvx512dq | kAvx512bw | kAvx512vl;
  auto p = c.Probe();
  EXPECT_EQ(p.featureWord & ((1u << 16) | (0xFu << 21) | (1u << 23)), 0u);
  c.xcr0 = 0xE7;
  p = c.Probe();
  EXPECT_NE(p.featureWord & (1u << 16), 0u);
  EXPECT_NE(p.featureWord & (1u << 21), 0u);
  EXPECT_NE(p.featureWord & (1u << 22), 0u);
  EXPECT_NE(p.featureWord & (1u << 23), 0u);
  EXPECT_EQ(vorta::CpuFeatureLevel(p.featureWord), 6u);
}

TEST(CpuProbe, LevelSevenWouldAlsoPickAvx2) {
  EXPECT_EQ(vorta::ChooseVariant(7), CpuVariant::Avx2);
  EXPECT_EQ(vorta::ChooseVariant(8), CpuVariant::Sse2);
}

}  // namespace
