#include "frame/initialize.h"

#include "frame/cpu_probe.h"
#include "frame/kernel_table.h"

namespace vorta {

void InitializeVariant(ExternalResolver resolver, CpuVariant variant) {
  const uint32_t v = static_cast<uint32_t>(variant);
  // Statics initialisers call host services, so every list is resolved first.
  for (uint32_t i = 0; i < kKernelCount; ++i) vorta_initialisers[i].externals[v](resolver);
  for (uint32_t i = 0; i < kKernelCount; ++i) vorta_initialisers[i].statics[v]();
  const void* const* bodies = kVariantBodies[v];
  for (uint32_t i = 0; i < kKernelCount; ++i) vorta_entry_table[i] = bodies[i];
}

const void* FindForwarder(const char* exportName) {
  for (uint32_t i = 0; i < kKernelCount; ++i) {
    if (__builtin_strcmp(kKernelNames[i], exportName) == 0) return vorta_forwarders[i];
  }
  return nullptr;
}

}  // namespace vorta

extern "C" __attribute__((visibility("default"))) VORTA_MSABI void vorta_initialize(
    vorta::ExternalResolver resolver) __asm__("vorta.initialize");

extern "C" VORTA_MSABI void vorta_initialize(vorta::ExternalResolver resolver) {
  uint32_t level = vorta::ProbeThisCpuOnce();
  vorta::InitializeVariant(resolver, vorta::ChooseVariant(level));
}
