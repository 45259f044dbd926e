// Slot indices and helpers generated from kernels.def.
#pragma once
#include "frame/abi.h"

#define VORTA_STR_(x) #x
#define VORTA_STR(x) VORTA_STR_(x)
#define VORTA_CAT_(a, b) a##b
#define VORTA_CAT(a, b) VORTA_CAT_(a, b)

// VORTA_IF_BUILT(body)(text) keeps `text` when body is a real body and drops it
// when body is NONE; VORTA_BUILT_OR(body, yes, no) picks one of two.
#define VORTA_PROBE_NONE ~, 1
#define VORTA_SECOND_(a, b, ...) b
#define VORTA_SECOND(...) VORTA_SECOND_(__VA_ARGS__)
#define VORTA_IS_NONE(body) VORTA_SECOND(VORTA_CAT(VORTA_PROBE_, body), 0, ~)
#define VORTA_IF_BUILT_0(...) __VA_ARGS__
#define VORTA_IF_BUILT_1(...)
#define VORTA_IF_BUILT(body) VORTA_CAT(VORTA_IF_BUILT_, VORTA_IS_NONE(body))
#define VORTA_SELECT_0(yes, no) yes
#define VORTA_SELECT_1(yes, no) no
#define VORTA_BUILT_OR(body, yes, no) VORTA_CAT(VORTA_SELECT_, VORTA_IS_NONE(body))(yes, no)

namespace vorta {

enum KernelIndex : uint32_t {
#define VORTA_KERNEL(name, list, family, body) kKernel_##name,
#include "frame/kernels.def"
#undef VORTA_KERNEL
  kKernelCount
};
static_assert(kKernelCount == 309, "the module exports 309 kernels");

// The export name of each kernel, in module order.
extern const char* const kKernelNames[kKernelCount] VORTA_HIDDEN;

// The four initialisers of each kernel: externals and statics, SSE2 and AVX2.
typedef void (VORTA_MSABI* ExternalsInitialiser)(ExternalResolver);
typedef void (VORTA_MSABI* StaticsInitialiser)();
struct KernelInitialisers {
  ExternalsInitialiser externals[2];
  StaticsInitialiser statics[2];
};
extern "C" const KernelInitialisers vorta_initialisers[kKernelCount] VORTA_HIDDEN;

// The forwarder export of each kernel, or null while its body is not built.
extern "C" const void* const vorta_forwarders[kKernelCount] VORTA_HIDDEN;

// The variant bodies (null where not built), indexed by CpuVariant.
extern const void* const* const kVariantBodies[2] VORTA_HIDDEN;

extern "C" const void* vorta_entry_table[kKernelCount] VORTA_HIDDEN;

}  // namespace vorta
