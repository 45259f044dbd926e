// Initialisation with a chosen variant. `vorta.initialize` probes the processor
// and calls this; tests and benchmarks call it directly to force a variant.
#pragma once
#include "frame/abi.h"

namespace vorta {

void InitializeVariant(ExternalResolver resolver, CpuVariant variant) VORTA_HIDDEN;

// The forwarder export of a kernel by export name, or null if it has none.
const void* FindForwarder(const char* exportName) VORTA_HIDDEN;

}  // namespace vorta
