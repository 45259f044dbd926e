// Every kernel source is compiled twice, once per instruction-set variant, into
// its own namespace (vorta::sse2 and vorta::avx2). Code that is compiled per
// variant must live in VORTA_NS (or have internal linkage), or the linker could
// merge an AVX2 copy of an inline function into the SSE2 variant.
#pragma once

#if defined(VORTA_VARIANT_AVX2)
#define VORTA_NS avx2
#elif defined(VORTA_VARIANT_SSE2)
#define VORTA_NS sse2
#else
#error "variant sources are compiled with VORTA_VARIANT_SSE2 or VORTA_VARIANT_AVX2"
#endif
