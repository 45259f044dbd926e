#include "host/linked_module.h"

#include <cstdio>
#include <cstdlib>

#include "frame/cpu_probe.h"
#include "frame/initialize.h"
#include "host/host.h"

namespace vorta::host {

void InitializeLinked(CpuVariant variant) { InitializeVariant(Resolver(), variant); }

CpuVariant ProbedVariant() { return ChooseVariant(ProbeThisCpuOnce()); }

bool CanRunAvx2() { return ProbedVariant() == CpuVariant::Avx2; }

void* LinkedKernel(const char* exportName) {
  const void* f = FindForwarder(exportName);
  if (!f) {
    std::fprintf(stderr, "vorta: kernel %s has no export\n", exportName);
    std::abort();
  }
  return const_cast<void*>(f);
}

const char* VariantName(CpuVariant variant) {
  return variant == CpuVariant::Avx2 ? "AVX2" : "SSE2";
}

}  // namespace vorta::host
