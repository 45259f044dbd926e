// The processor probe. The decision logic is a pure function of what CPUID and
// XGETBV report, so every processor shape can be tested on any machine.
#pragma once
#include "frame/abi.h"

namespace vorta {

struct CpuidRegisters {
  uint32_t eax, ebx, ecx, edx;
};

// Where the probe reads the processor from: the real instructions, or a fake.
struct CpuReader {
  CpuidRegisters (*cpuid)(void* context, uint32_t leaf, uint32_t subleaf);
  uint64_t (*xgetbv)(void* context, uint32_t index);
  void* context;
};

struct CpuProbe {
  uint32_t featureWord;  // CpuFeatureWord
  uint32_t vendorCode;   // CpuVendorCode: 1 Intel, 2 AMD, 3 other or no usable CPUID
};

CpuProbe ProbeCpu(const CpuReader& reader) VORTA_HIDDEN;
uint32_t CpuFeatureLevel(uint32_t featureWord) VORTA_HIDDEN;
CpuVariant ChooseVariant(uint32_t featureLevel) VORTA_HIDDEN;

// The process-wide probe result; a nonzero vendor code marks the probe as done.
extern "C" CpuProbe vorta_cpu VORTA_HIDDEN;

// Probes the real processor once per process and returns the feature level.
uint32_t ProbeThisCpuOnce() VORTA_HIDDEN;

}  // namespace vorta
