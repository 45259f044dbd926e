// The body of every built kernel in this variant, in module order.
#include "frame/kernel_table.h"
#include "frame/variant.h"
#include "containers/allocators.h"
#include "containers/disposal.h"
#include "containers/xxh3.h"
#include "tensor/broadcast.h"
#include "tensor/grid_sample.h"
#include "tensor/maps.h"
#include "tensor/matmul.h"
#include "tensor/pad.h"
#include "tensor/pooling.h"
#include "tensor/reductions.h"
#include "tensor/resize.h"
#include "tensor/transcendental.h"

namespace vorta::VORTA_NS {

extern const void* const kBodies[kKernelCount];
const void* const kBodies[kKernelCount] = {
#define VORTA_KERNEL(name, list, family, body) \
  VORTA_BUILT_OR(body, reinterpret_cast<const void*>(&body), nullptr),
#include "frame/kernels.def"
#undef VORTA_KERNEL
};

}  // namespace vorta::VORTA_NS
