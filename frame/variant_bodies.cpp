// The body of every built kernel in this variant, in module order.
#include "frame/kernel_table.h"
#include "frame/variant.h"
#include "containers/allocators.h"
#include "containers/disposal.h"
#include "containers/xxh3.h"
#include "math/aiming.h"
#include "math/easing.h"
#include "math/geometry.h"
#include "math/pose.h"
#include "math/rotation.h"
#include "math/tweens.h"
#include "scene/scene.h"
#include "tensor/argreduce.h"
#include "tensor/broadcast.h"
#include "tensor/buffer_utilities.h"
#include "tensor/contraction.h"
#include "tensor/cumsum.h"
#include "tensor/datamove.h"
#include "tensor/gather_scatter.h"
#include "tensor/generators.h"
#include "tensor/grid_sample.h"
#include "tensor/maps.h"
#include "tensor/matmul.h"
#include "tensor/nms_topk.h"
#include "tensor/normalization.h"
#include "tensor/pad.h"
#include "tensor/param_maps.h"
#include "tensor/pooling.h"
#include "tensor/recurrent.h"
#include "tensor/reductions.h"
#include "tensor/resize.h"
#include "tensor/roi_align.h"
#include "tensor/softmax.h"
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
