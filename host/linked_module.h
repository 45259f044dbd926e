// The library linked into the calling program (the vorta_static archive), for
// tests and benchmarks that must run a chosen variant on any processor that
// has it. Hosts that load build/libvorta.so use module.h instead.
#pragma once
#include "frame/abi.h"

namespace vorta::host {

// Initialises the linked library through the reference host's resolver with the
// given variant, exactly as `vorta.initialize` does after its probe.
void InitializeLinked(CpuVariant variant);

// The variant `vorta.initialize` would pick on this processor.
CpuVariant ProbedVariant();

// True when this processor can run the AVX2 variant.
bool CanRunAvx2();

// A kernel's forwarder (its export) by export name; aborts the process if the
// kernel has no forwarder.
void* LinkedKernel(const char* exportName);

inline JobEntry LinkedJob(const char* exportName) {
  return reinterpret_cast<JobEntry>(LinkedKernel(exportName));
}

const char* VariantName(CpuVariant variant);

}  // namespace vorta::host
