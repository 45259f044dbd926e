/* vorta: the public header for hosts.
 *
 * Everything a host needs to call the library without reading its sources:
 * the calling convention, the job and direct entry shapes, the records every
 * kernel takes (packed, little-endian, with their offsets checked at compile
 * time) and the export name of every kernel as a named constant, grouped by
 * family. Valid C11 and C++; the kernel sources include it too, so each
 * record has exactly one definition.
 */
#ifndef VORTA_VORTA_H
#define VORTA_VORTA_H

#include <stddef.h>
#include <stdint.h>

/* Every export and every host service uses the Windows x64 convention. */
#define VORTA_CALL __attribute__((ms_abi))
/* Records are packed: the host writes them at the byte offsets given here. */
#define VORTA_PACKED __attribute__((packed))

#ifdef __cplusplus
#define VORTA_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define VORTA_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Checks a record field's byte offset. */
#define VORTA_CHECK_OFFSET(type, field, offset) \
  VORTA_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " at " #offset)
#define VORTA_CHECK_SIZE(type, size) \
  VORTA_STATIC_ASSERT(sizeof(type) == (size), "sizeof(" #type ") == " #size)

/* The host's descriptor of a job's index space. */
typedef struct VortaBatchRanges VortaBatchRanges;

/* A parallel kernel: called once per worker, all with the same record and
 * ranges and each with its own job index. */
typedef void(VORTA_CALL* VortaJobEntry)(void* record, void* additional, void* patch,
                                        VortaBatchRanges* ranges, uint32_t jobIndex);

/* Looks a host service up by its dotted name; never returns null. */
typedef void*(VORTA_CALL* VortaResolver)(const char* name);
typedef void(VORTA_CALL* VortaInitialize)(VortaResolver resolver);
#define VORTA_EXPORT_INITIALIZE "vorta.initialize"

/* ---- matrix multiplication and convolution -------------------------------- */

/* ---- arg reductions, softmax, normalisation, cumulative sums --------------- */

/* ---- data movement, gather, scatter and select ----------------------------- */

/* ---- pooling, pad and resize ----------------------------------------------- */

/* ---- contraction, column-to-image and normalisation apply ------------------ */

/* General contraction: output[i] = sum over j of A[offA + tA] * B[offB + tB],
 * the offsets from eight right-aligned slots (slot 7 innermost). */
typedef struct VORTA_PACKED VortaContractionJob {
  int32_t contractRank;
  int32_t contractCount; /* terms per output */
  int32_t outRank;
  int32_t contractShape[8];
  int32_t contractDivisors[8];
  int32_t contractStridesA[8];
  int32_t contractStridesB[8];
  int32_t outShape[8];
  int32_t outDivisors[8];
  int32_t outStridesA[8];
  int32_t outStridesB[8];
  int32_t unused; /* slot 64, not read */
  const float* a;
  const float* b;
  float* output;
} VortaContractionJob;
VORTA_CHECK_OFFSET(VortaContractionJob, contractShape, 12);
VORTA_CHECK_OFFSET(VortaContractionJob, contractDivisors, 44);
VORTA_CHECK_OFFSET(VortaContractionJob, outShape, 140);
VORTA_CHECK_OFFSET(VortaContractionJob, outStridesB, 236);
VORTA_CHECK_OFFSET(VortaContractionJob, a, 272);
VORTA_CHECK_OFFSET(VortaContractionJob, b, 280);
VORTA_CHECK_OFFSET(VortaContractionJob, output, 288);
VORTA_CHECK_SIZE(VortaContractionJob, 296);

/* Column-to-image with bias, one output row (channel) per job index. */
typedef struct VORTA_PACKED VortaCol2ImJob {
  const float* columns;
  const float* bias;
  float* output;
  uint8_t hasBias;
  uint8_t unused0[3];
  int32_t outOffset;
  int32_t inputPerRowA; /* inputPerRowA * inputPerRowB column values per row */
  int32_t inputPerRowB;
  int32_t rowLength;
  int32_t kernelH, kernelW;
  int32_t inputH, inputW;
  int32_t outputH, outputW;
  int32_t dilationH, dilationW;
  int32_t padH, padW;
  int32_t strideH, strideW;
} VortaCol2ImJob;
VORTA_CHECK_OFFSET(VortaCol2ImJob, hasBias, 24);
VORTA_CHECK_OFFSET(VortaCol2ImJob, outOffset, 28);
VORTA_CHECK_OFFSET(VortaCol2ImJob, rowLength, 40);
VORTA_CHECK_OFFSET(VortaCol2ImJob, inputH, 52);
VORTA_CHECK_OFFSET(VortaCol2ImJob, outputW, 64);
VORTA_CHECK_OFFSET(VortaCol2ImJob, padH, 76);
VORTA_CHECK_OFFSET(VortaCol2ImJob, strideW, 88);
VORTA_CHECK_SIZE(VortaCol2ImJob, 92);

/* Normalisation apply with per-instance (mean, variance) pairs. */
typedef struct VORTA_PACKED VortaNormApplyJob {
  float epsilon;
  int32_t channels;
  int32_t spatialSize;
  int32_t unused;
  const float* input;
  const float* scale;
  const float* bias;
  const float* statistics; /* (mean, variance) per instance */
  float* output;
} VortaNormApplyJob;
VORTA_CHECK_OFFSET(VortaNormApplyJob, input, 16);
VORTA_CHECK_OFFSET(VortaNormApplyJob, statistics, 40);
VORTA_CHECK_OFFSET(VortaNormApplyJob, output, 48);
VORTA_CHECK_SIZE(VortaNormApplyJob, 56);

/* Box depth bounds under two views: index view * boxCount + box. The depth of
 * a corner is minus the third row of the view matrix applied to it: floats 2,
 * 6, 10 and 14 of the column-major matrix. */
typedef struct VORTA_PACKED VortaDepthBoundsJob {
  float views[2][16];
  const void* boxes; /* 136-byte records: centre float3, half extents float3, ... */
  int32_t boxCount;
  int32_t unused;
  float* output; /* (min depth, max depth) per index */
} VortaDepthBoundsJob;
VORTA_CHECK_OFFSET(VortaDepthBoundsJob, boxes, 128);
VORTA_CHECK_OFFSET(VortaDepthBoundsJob, boxCount, 136);
VORTA_CHECK_OFFSET(VortaDepthBoundsJob, output, 144);
VORTA_CHECK_SIZE(VortaDepthBoundsJob, 152);
#define VORTA_DEPTH_BOUNDS_BOX_STRIDE 136

#define VORTA_EXPORT_CONTRACTION_CONTRACT "9fc9e6132f254742a95569d80667fb5a"
#define VORTA_EXPORT_CONTRACTION_COL2IM "e63953da56842a14eabab4e43b36738b"
#define VORTA_EXPORT_CONTRACTION_NORM_APPLY "9cced5f426fd4651cd0a82b3ef7c963e"
#define VORTA_EXPORT_CONTRACTION_BOX_DEPTH_BOUNDS "fbc079948c97a98cd097eb9cc996cc4a"

/* ---- scene: transforms, light bounds and binning, depth bins --------------- */

/* Transform tracking. Every array field is an element address followed by 8
 * bytes the job does not read; arrays are indexed by user index. */
typedef struct VORTA_PACKED VortaTransformTrackingJob {
  float* positions; /* float3 per object */
  uint64_t positionsExtra;
  float* rotations; /* x, y, z, w per object */
  uint64_t rotationsExtra;
  float* scales; /* float3 */
  uint64_t scalesExtra;
  uint8_t* dirty; /* bit 0 forces a rebuild; cleared by it */
  uint64_t dirtyExtra;
  const int32_t* matrixSource; /* 1: world matrix from the host's local-to-world */
  uint64_t matrixSourceExtra;
  const float* offsetMatrices; /* float4x4, column-major */
  uint64_t offsetMatricesExtra;
  float* combinedMatrices;
  uint64_t combinedMatricesExtra;
  float* worldMatrices; /* columns stored c0, c2, c1, c3 */
  uint64_t worldMatricesExtra;
  float* boundingSpheres; /* centre, radius */
  uint64_t boundingSpheresExtra;
  float threshold; /* squared distance */
} VortaTransformTrackingJob;
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, rotations, 16);
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, dirty, 48);
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, matrixSource, 64);
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, offsetMatrices, 80);
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, combinedMatrices, 96);
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, worldMatrices, 112);
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, boundingSpheres, 128);
VORTA_CHECK_OFFSET(VortaTransformTrackingJob, threshold, 144);
VORTA_CHECK_SIZE(VortaTransformTrackingJob, 148);

/* What the transform job's additional pointer points to. In a mode other than
 * 1 the job reads the int32 (begin, end) pair array whose address the host
 * keeps at byte offset 16 of the job's ranges descriptor, and processes pair
 * number job index only. */
typedef struct VORTA_PACKED VortaTransformJobTarget {
  uint64_t transformArray;
  int32_t mode; /* 1: work-stealing batches; otherwise one fixed range per job index */
} VortaTransformJobTarget;
VORTA_CHECK_OFFSET(VortaTransformJobTarget, mode, 8);
VORTA_CHECK_SIZE(VortaTransformJobTarget, 12);
#define VORTA_RANGES_FIXED_PAIRS_OFFSET 16

/* A light as the depth-bounds and binning jobs read it (116 bytes). Type 0 is
 * a spot light (cone); every other type is handled as a sphere of `range`. */
typedef struct VORTA_PACKED VortaLightRecord {
  int32_t lightType;
  uint8_t unused0[64];
  float direction[3];
  uint8_t unused1[4];
  float position[3];
  uint8_t unused2[4];
  float range;
  float spotAngle; /* full cone angle, degrees */
  uint8_t unused3[8];
} VortaLightRecord;
VORTA_CHECK_OFFSET(VortaLightRecord, direction, 68);
VORTA_CHECK_OFFSET(VortaLightRecord, position, 84);
VORTA_CHECK_OFFSET(VortaLightRecord, range, 100);
VORTA_CHECK_OFFSET(VortaLightRecord, spotAngle, 104);
VORTA_CHECK_SIZE(VortaLightRecord, 116);

typedef struct VORTA_PACKED VortaLightDepthBoundsJob {
  float viewMatrices[2][16];
  const VortaLightRecord* lights;
  int32_t lightCount;
  int32_t unused;
  float* depthBounds; /* (near, far) per view * lightCount + light */
} VortaLightDepthBoundsJob;
VORTA_CHECK_OFFSET(VortaLightDepthBoundsJob, lights, 128);
VORTA_CHECK_OFFSET(VortaLightDepthBoundsJob, lightCount, 136);
VORTA_CHECK_OFFSET(VortaLightDepthBoundsJob, depthBounds, 144);
VORTA_CHECK_SIZE(VortaLightDepthBoundsJob, 152);

/* Screen-row binning. The working fields at 262-272 are rewritten for every
 * item: give each worker its own copy of the record. */
typedef struct VORTA_PACKED VortaScreenBinningJob {
  const VortaLightRecord* lights;
  int32_t lightCount; /* items below this index are lights, the rest boxes */
  int32_t unused0;
  const float* boxes; /* centre float3, half extents float3 */
  uint64_t unused1;
  int32_t* spans; /* entriesPerItem entries per (view, item) */
  uint64_t unused2;
  int32_t itemsPerView;
  int32_t entriesPerItem;
  float viewMatrices[2][16];
  float screenScale[2];
  int32_t unused3;
  float rowFraction;
  float viewBottom[2];
  float viewTop[2];
  float projection[2][4]; /* x scale, y scale, x offset, y offset */
  int32_t columns;
  int32_t rows;
  float nearDistance;
  uint8_t orthographic;
  uint8_t unused4;
  int16_t rowMin; /* working fields */
  int16_t rowMax;
  int16_t unused5;
  int32_t itemBase;
  int32_t viewIndex;
} VortaScreenBinningJob;
VORTA_CHECK_OFFSET(VortaScreenBinningJob, boxes, 16);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, spans, 32);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, itemsPerView, 48);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, viewMatrices, 56);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, screenScale, 184);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, rowFraction, 196);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, viewBottom, 200);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, viewTop, 208);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, projection, 216);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, columns, 248);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, rows, 252);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, nearDistance, 256);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, orthographic, 260);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, rowMin, 262);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, rowMax, 264);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, itemBase, 268);
VORTA_CHECK_OFFSET(VortaScreenBinningJob, viewIndex, 272);
VORTA_CHECK_SIZE(VortaScreenBinningJob, 276);
/* A span entry: first column in the low int16, last in the high one. */
#define VORTA_EMPTY_SPAN ((int32_t)0x80007FFF)

typedef struct VORTA_PACKED VortaDepthBinJob {
  uint32_t* bins; /* maskWords + 2 words per bin */
  uint64_t unused0;
  const float* ranges; /* (near, far): lights of every view, then boxes */
  uint64_t unused1;
  float scale;
  float bias;
  int32_t binCount;
  int32_t maskWords;
  int32_t lightCount;
  int32_t boxCount;
  int32_t chunksPerView; /* job indices per view, 128 bins each */
  int32_t views;
  uint8_t linear;
  uint8_t unused2[7];
} VortaDepthBinJob;
VORTA_CHECK_OFFSET(VortaDepthBinJob, ranges, 16);
VORTA_CHECK_OFFSET(VortaDepthBinJob, scale, 32);
VORTA_CHECK_OFFSET(VortaDepthBinJob, maskWords, 44);
VORTA_CHECK_OFFSET(VortaDepthBinJob, chunksPerView, 56);
VORTA_CHECK_OFFSET(VortaDepthBinJob, linear, 64);
VORTA_CHECK_SIZE(VortaDepthBinJob, 72);

typedef struct VORTA_PACKED VortaTileRangeJob {
  const int32_t* spans;
  uint64_t unused0;
  uint32_t* masks; /* wordsPerTile per tile */
  uint64_t unused1;
  int32_t entriesPerItem;
  int32_t itemsPerView;
  int32_t wordsPerTile;
  int32_t columns;
  int32_t rows;
  int32_t unused2;
} VortaTileRangeJob;
VORTA_CHECK_OFFSET(VortaTileRangeJob, masks, 16);
VORTA_CHECK_OFFSET(VortaTileRangeJob, entriesPerItem, 32);
VORTA_CHECK_OFFSET(VortaTileRangeJob, rows, 48);
VORTA_CHECK_SIZE(VortaTileRangeJob, 56);

#define VORTA_EXPORT_TRANSFORMS_TRACKING "670478f3fb3f285eeace534fbe61a03e"
#define VORTA_EXPORT_LIGHT_BINNING_DEPTH_BOUNDS "2230a143748f5ecbc3a89a75bf0ad747"
#define VORTA_EXPORT_LIGHT_BINNING_SCREEN_ROWS "a6f5259e22ed809ef3937424c4bd686d"
#define VORTA_EXPORT_DEPTHBINS_DEPTH_BINS "77fc393cb521ac129b1392d4eb94d29a"
#define VORTA_EXPORT_DEPTHBINS_TILE_RANGES "adceb2156d08d59afc9749dc2521fd2b"

/* ---- direct-call maths: easing, curves, geometry, rotations ---------------- */

/* ---- direct-call maths: poses, motion, tweens, aiming, culling ------------- */

/* ---- non-maximum suppression, top-k, random tensors, recurrent cell, ROI align */

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
