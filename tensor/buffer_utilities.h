// Direct calls a host makes around tensor buffers: replicating a block of
// 4-byte elements and releasing a pair of buffers. Each takes one pointer to
// its argument record (VortaReplicateBlockArgs, VortaBufferPairArgs).
#pragma once
#include "frame/abi.h"
#include "frame/variant.h"

namespace vorta::VORTA_NS {

VORTA_MSABI void ReplicateBlock(const void* args);
VORTA_MSABI void ReleaseBufferPair(const void* args);

}  // namespace vorta::VORTA_NS
