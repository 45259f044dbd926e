// Job records of the matrix product and the grouped convolution (the public
// header's definitions) and the blocking constants of the convolution.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "vorta/vorta.h"

namespace vorta {

using MatMulJob = ::VortaMatMulJob;
using ConvJob = ::VortaConvJob;

// Convolution output tiles: channels x positions, and the depth of one pass.
constexpr int32_t kConvTileChannels = 64;
constexpr int32_t kConvTilePositions = 120;
constexpr int32_t kConvPassDepth = 64;
// The convolution scratch: one pass of im2col rows, then the tile accumulator.
constexpr int32_t kConvColumnFloats = kConvPassDepth * kConvTilePositions;
constexpr uint64_t kConvScratchBytes = 2 * kConvColumnFloats * sizeof(float);
static_assert(kConvScratchBytes == 61440);

}  // namespace vorta
