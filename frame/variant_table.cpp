#include "frame/kernel_table.h"

namespace vorta {
namespace sse2 {
extern const void* const kBodies[kKernelCount];
}
namespace avx2 {
extern const void* const kBodies[kKernelCount];
}

const void* const* const kVariantBodies[2] = {sse2::kBodies, avx2::kBodies};

}  // namespace vorta
