#include "frame/cpu_probe.h"

#include <cpuid.h>

namespace vorta {

extern "C" {
CpuProbe vorta_cpu;
}

namespace {

constexpr uint32_t Bit(uint32_t value, uint32_t bit) { return (value >> bit) & 1u; }

// Copies bit `from` of `reg` to bit `to` of the feature word.
constexpr uint32_t Take(uint32_t reg, uint32_t from, uint32_t to) { return Bit(reg, from) << to; }

constexpr uint32_t kIntelEbx = 0x756E6547u;  // "Genu"
constexpr uint32_t kAmdEbx = 0x68747541u;    // "Auth"

}  // namespace

CpuProbe ProbeCpu(const CpuReader& r) {
  CpuidRegisters leaf0 = r.cpuid(r.context, 0, 0);
  uint32_t maxLeaf = leaf0.eax;
  if (maxLeaf == 0) return CpuProbe{0, 3};

  CpuidRegisters l1 = r.cpuid(r.context, 1, 0);
  uint32_t w = 0;
  w |= Take(l1.edx, 15, 0);   // CMOV
  w |= Take(l1.edx, 23, 1);   // MMX
  w |= Take(l1.ecx, 23, 2);   // POPCNT
  w |= Take(l1.edx, 25, 3);   // SSE
  w |= Take(l1.edx, 26, 4);   // SSE2
  w |= Take(l1.ecx, 0, 5);    // SSE3
  w |= Take(l1.ecx, 9, 6);    // SSSE3
  w |= Take(l1.ecx, 19, 7);   // SSE4.1
  w |= Take(l1.ecx, 20, 8);   // SSE4.2
  w |= Take(l1.ecx, 12, 14);  // FMA
  w |= Take(l1.ecx, 29, 15);  // F16C
  w |= Take(l1.ecx, 25, 19);  // AES
  w |= Take(l1.ecx, 1, 20);   // PCLMULQDQ

  // XGETBV faults unless the OS has set OSXSAVE, so it is read only after that test.
  bool avx512State = false;
  if (Bit(l1.ecx, 27) && Bit(l1.ecx, 28)) {
    uint64_t xcr0 = r.xgetbv(r.context, 0);
    if ((xcr0 & 0x6) == 0x6) {
      w |= 1u << 9;
      avx512State = (xcr0 & 0xE0) == 0xE0;
    }
  }

  if (maxLeaf >= 7) {
    CpuidRegisters l7 = r.cpuid(r.context, 7, 0);
    w |= Take(l7.ebx, 3, 17);  // BMI1
    w |= Take(l7.ebx, 9, 18);  // enhanced REP MOVSB
    if (w & (1u << 9)) w |= Take(l7.ebx, 5, 10);  // AVX2
    if (avx512State) {
      w |= Take(l7.ebx, 16, 16);  // F
      w |= Take(l7.ebx, 31, 21);  // VL
      w |= Take(l7.ebx, 30, 22);  // BW
      w |= Take(l7.ebx, 17, 23);  // DQ
      w |= Take(l7.ebx, 28, 24);  // CD
      w |= Take(l7.ebx, 27, 25);  // ER
      w |= Take(l7.ebx, 26, 26);  // PF
      w |= Take(l7.ecx, 1, 27);   // VBMI
      w |= Take(l7.ebx, 21, 28);  // IFMA
      w |= Take(l7.edx, 2, 29);   // 4VNNIW
      w |= Take(l7.edx, 3, 30);   // 4FMAPS
      w |= Take(l7.ecx, 14, 31);  // VPOPCNTDQ
    }
  }

  CpuidRegisters ext0 = r.cpuid(r.context, 0x80000000u, 0);
  if (ext0.eax >= 0x80000001u) {
    CpuidRegisters e1 = r.cpuid(r.context, 0x80000001u, 0);
    w |= Take(e1.ecx, 6, 11);   // SSE4A
    w |= Take(e1.ecx, 16, 12);  // FMA4
    w |= Take(e1.ecx, 11, 13);  // XOP
  }

  uint32_t vendor = leaf0.ebx == kIntelEbx ? 1u : leaf0.ebx == kAmdEbx ? 2u : 3u;
  return CpuProbe{w, vendor};
}

uint32_t CpuFeatureLevel(uint32_t w) {
  static const uint32_t kMasks[6] = {0xC7B4, 0x3B4, 0x1B4, 0xB0, 0x30, 0x10};
  for (uint32_t i = 0; i < 6; ++i) {
    if ((w & kMasks[i]) == kMasks[i]) return 6 - i;
  }
  return 0;
}

CpuVariant ChooseVariant(uint32_t level) {
  return level - 6u < 2u ? CpuVariant::Avx2 : CpuVariant::Sse2;
}

namespace {

CpuidRegisters RealCpuid(void*, uint32_t leaf, uint32_t subleaf) {
  CpuidRegisters r;
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

uint64_t RealXgetbv(void*, uint32_t index) {
  uint32_t lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
  return (static_cast<uint64_t>(hi) << 32) | lo;
}

}  // namespace

uint32_t ProbeThisCpuOnce() {
  if (vorta_cpu.vendorCode == 0) {
    CpuReader reader{RealCpuid, RealXgetbv, nullptr};
    vorta_cpu = ProbeCpu(reader);
  }
  return CpuFeatureLevel(vorta_cpu.featureWord);
}

}  // namespace vorta
