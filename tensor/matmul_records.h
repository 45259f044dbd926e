// Job records of the matrix product and the grouped convolution, exactly as the
// host lays them out.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace vorta {

struct __attribute__((packed)) MatMulJob {
  int32_t aBatchSize[8];  // divisors of the A batch walk
  int32_t aBatchStep[8];  // steps of the A batch walk, in matrices
  uint8_t unused0[8];
  int32_t bBatchSize[8];
  int32_t bBatchStep[8];
  uint8_t unused1[16];
  const float* aMatrices;
  const float* bMatrices;
  float* outMatrices;  // one M x N matrix per batch, back to back
  int32_t M, N, K;
  int32_t lda, ldb, ldc;
  uint8_t transA;  // A is stored K x M
  uint8_t transB;  // B is stored N x K
  uint8_t accumulate;
  uint8_t unused2[5];
  int32_t tilesPerMatrix;
  int32_t tileM, tileN, tileK;
  // Scratch, allocated by the job on first use and kept (never released by us).
  float* aPanel;
  float* bPanel;
  float* cTile;
};
static_assert(offsetof(MatMulJob, aBatchStep) == 32);
static_assert(offsetof(MatMulJob, bBatchSize) == 72);
static_assert(offsetof(MatMulJob, bBatchStep) == 104);
static_assert(offsetof(MatMulJob, aMatrices) == 152);
static_assert(offsetof(MatMulJob, bMatrices) == 160);
static_assert(offsetof(MatMulJob, outMatrices) == 168);
static_assert(offsetof(MatMulJob, M) == 176);
static_assert(offsetof(MatMulJob, N) == 180);
static_assert(offsetof(MatMulJob, K) == 184);
static_assert(offsetof(MatMulJob, lda) == 188);
static_assert(offsetof(MatMulJob, ldb) == 192);
static_assert(offsetof(MatMulJob, ldc) == 196);
static_assert(offsetof(MatMulJob, transA) == 200);
static_assert(offsetof(MatMulJob, transB) == 201);
static_assert(offsetof(MatMulJob, accumulate) == 202);
static_assert(offsetof(MatMulJob, tilesPerMatrix) == 208);
static_assert(offsetof(MatMulJob, tileM) == 212);
static_assert(offsetof(MatMulJob, tileN) == 216);
static_assert(offsetof(MatMulJob, tileK) == 220);
static_assert(offsetof(MatMulJob, aPanel) == 224);
static_assert(offsetof(MatMulJob, bPanel) == 232);
static_assert(offsetof(MatMulJob, cTile) == 240);
static_assert(sizeof(MatMulJob) == 248);

struct __attribute__((packed)) ConvJob {
  const float* input;    // [images][groups * inChannels][inPlane]
  float* output;         // [images][groups * outChannels][outSpatial]
  const float* bias;     // one per output channel
  const float* weights;  // [groups * outChannels][inChannels * kernelSize]
  uint8_t hasBias;
  uint8_t unused0[3];
  int32_t tilesPerImage;  // job indices per (image, group)
  uint8_t unused1[4];
  int32_t groups;
  int32_t inChannels;   // per group
  int32_t outChannels;  // per group
  int32_t spatialRank;  // 2 or less: two spatial dimensions, else three
  int32_t inPlane;
  int32_t kernelSize;
  int32_t outSpatial;
  // Extents outermost first: (H, W) in two dimensions, (D, H, W) in three.
  int32_t inSize[3];
  int32_t kernel[3];
  int32_t outSize[3];
  int32_t stride[3];
  int32_t padBegin[3];
  int32_t unused2[3];
  int32_t dilation[3];
  float minValue;  // lower clamp of every output
  uint8_t unused3[8];
  // Scratch of kConvScratchBytes, allocated by the job on first use and kept;
  // accumulator points into its second half.
  float* columns;
  float* accumulator;
};
static_assert(offsetof(ConvJob, output) == 8);
static_assert(offsetof(ConvJob, bias) == 16);
static_assert(offsetof(ConvJob, weights) == 24);
static_assert(offsetof(ConvJob, hasBias) == 32);
static_assert(offsetof(ConvJob, tilesPerImage) == 36);
static_assert(offsetof(ConvJob, groups) == 44);
static_assert(offsetof(ConvJob, inChannels) == 48);
static_assert(offsetof(ConvJob, outChannels) == 52);
static_assert(offsetof(ConvJob, spatialRank) == 56);
static_assert(offsetof(ConvJob, inPlane) == 60);
static_assert(offsetof(ConvJob, kernelSize) == 64);
static_assert(offsetof(ConvJob, outSpatial) == 68);
static_assert(offsetof(ConvJob, inSize) == 72);
static_assert(offsetof(ConvJob, kernel) == 84);
static_assert(offsetof(ConvJob, outSize) == 96);
static_assert(offsetof(ConvJob, stride) == 108);
static_assert(offsetof(ConvJob, padBegin) == 120);
static_assert(offsetof(ConvJob, dilation) == 144);
static_assert(offsetof(ConvJob, minValue) == 156);
static_assert(offsetof(ConvJob, columns) == 168);
static_assert(offsetof(ConvJob, accumulator) == 176);
static_assert(sizeof(ConvJob) == 184);

// Convolution output tiles: channels x positions, and the depth of one pass.
constexpr int32_t kConvTileChannels = 64;
constexpr int32_t kConvTilePositions = 120;
constexpr int32_t kConvPassDepth = 64;
// The convolution scratch: one pass of im2col rows, then the tile accumulator.
constexpr int32_t kConvColumnFloats = kConvPassDepth * kConvTilePositions;
constexpr uint64_t kConvScratchBytes = 2 * kConvColumnFloats * sizeof(float);
static_assert(kConvScratchBytes == 61440);

}  // namespace vorta
