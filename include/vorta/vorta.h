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

/* Average and max pooling over the two innermost dimensions of float planes
 * [planes][inH][inW]; windows are clipped to the input (padding is never read).
 * Scheduled over planes x outH x outW output indices. */
typedef struct VORTA_PACKED VortaPool2dJob {
  const float* input;
  float* output;
  int32_t inH, inW;
  int32_t outH, outW;
  int32_t kH, kW;
  int32_t sH, sW;
  int32_t padTop, padLeft;
} VortaPool2dJob;
VORTA_CHECK_OFFSET(VortaPool2dJob, input, 0);
VORTA_CHECK_OFFSET(VortaPool2dJob, output, 8);
VORTA_CHECK_OFFSET(VortaPool2dJob, inH, 16);
VORTA_CHECK_OFFSET(VortaPool2dJob, inW, 20);
VORTA_CHECK_OFFSET(VortaPool2dJob, outH, 24);
VORTA_CHECK_OFFSET(VortaPool2dJob, outW, 28);
VORTA_CHECK_OFFSET(VortaPool2dJob, kH, 32);
VORTA_CHECK_OFFSET(VortaPool2dJob, kW, 36);
VORTA_CHECK_OFFSET(VortaPool2dJob, sH, 40);
VORTA_CHECK_OFFSET(VortaPool2dJob, sW, 44);
VORTA_CHECK_OFFSET(VortaPool2dJob, padTop, 48);
VORTA_CHECK_OFFSET(VortaPool2dJob, padLeft, 52);
VORTA_CHECK_SIZE(VortaPool2dJob, 56);
#define VORTA_EXPORT_POOLING_AVERAGE "6a7007918d32e725a25022532cace61c"
#define VORTA_EXPORT_POOLING_MAX "d0a86a95c34104dc96c53a57495eb9bd"

/* The argument of the resize table builders: for each of dims resized
 * dimensions (outermost first) the input and output extents, the input
 * coordinate per output step and the input coordinate of output position 0. */
typedef struct VORTA_PACKED VortaResizeTableArgs {
  void* tables;
  int32_t dims;
  int32_t inSize[3];
  int32_t outSize[3];
  float scale[3];
  float offset[3];
  int32_t roundMode; /* nearest builder: 2 floor, 3 ceiling */
} VortaResizeTableArgs;
VORTA_CHECK_OFFSET(VortaResizeTableArgs, tables, 0);
VORTA_CHECK_OFFSET(VortaResizeTableArgs, dims, 8);
VORTA_CHECK_OFFSET(VortaResizeTableArgs, inSize, 12);
VORTA_CHECK_OFFSET(VortaResizeTableArgs, outSize, 24);
VORTA_CHECK_OFFSET(VortaResizeTableArgs, scale, 36);
VORTA_CHECK_OFFSET(VortaResizeTableArgs, offset, 48);
VORTA_CHECK_OFFSET(VortaResizeTableArgs, roundMode, 60);
VORTA_CHECK_SIZE(VortaResizeTableArgs, 64);
typedef void(VORTA_CALL* VortaResizeTableFn)(const VortaResizeTableArgs* args);

/* The nearest and linear resize jobs, over blocks x output positions. */
typedef struct VORTA_PACKED VortaResizeJob {
  const void* input;
  const void* tables;
  void* output;
  int32_t dims; /* 2: two-dimensional form; anything else: three-dimensional */
  int32_t planeStride;
  int32_t d0, d1, d2;
  int32_t unused;
} VortaResizeJob;
VORTA_CHECK_OFFSET(VortaResizeJob, input, 0);
VORTA_CHECK_OFFSET(VortaResizeJob, tables, 8);
VORTA_CHECK_OFFSET(VortaResizeJob, output, 16);
VORTA_CHECK_OFFSET(VortaResizeJob, dims, 24);
VORTA_CHECK_OFFSET(VortaResizeJob, planeStride, 28);
VORTA_CHECK_OFFSET(VortaResizeJob, d0, 32);
VORTA_CHECK_OFFSET(VortaResizeJob, d1, 36);
VORTA_CHECK_OFFSET(VortaResizeJob, d2, 40);
VORTA_CHECK_SIZE(VortaResizeJob, 48);

/* Upsampling by whole factors by replication, over input elements. */
typedef struct VORTA_PACKED VortaUpsampleJob {
  const void* input;
  void* output;
  int32_t unused;
  int32_t inW;
  int32_t fy, fx;
} VortaUpsampleJob;
VORTA_CHECK_OFFSET(VortaUpsampleJob, input, 0);
VORTA_CHECK_OFFSET(VortaUpsampleJob, output, 8);
VORTA_CHECK_OFFSET(VortaUpsampleJob, inW, 20);
VORTA_CHECK_OFFSET(VortaUpsampleJob, fy, 24);
VORTA_CHECK_OFFSET(VortaUpsampleJob, fx, 28);
VORTA_CHECK_SIZE(VortaUpsampleJob, 32);
#define VORTA_EXPORT_RESIZE_NEAREST_TABLES "eb2f670a070358f84c2243939231d49c"
#define VORTA_EXPORT_RESIZE_NEAREST "4839ca1569a7cc6dc4256f9c22033d81"
#define VORTA_EXPORT_RESIZE_LINEAR_TABLES "a287d8c5fc577f2a3e907d55cbdecbac"
#define VORTA_EXPORT_RESIZE_LINEAR "cb49cfd79c5115a332f55206419a2377"
#define VORTA_EXPORT_RESIZE_UPSAMPLE "1e60305f419d2a3dd7e79fe82062c8ef"

/* Pads up to eight dimensions of 32-bit elements (index 0 innermost), over the
 * output elements. */
typedef struct VORTA_PACKED VortaPadJob {
  const void* input;
  void* output;
  uint32_t mode; /* 0 constant, 1 reflect, 2 edge, 3 symmetric, 4 wrap */
  uint32_t value;
  int32_t inSize[8];
  int32_t outSize[8];
  int32_t inStride[8];
  int32_t padBefore[8];
  int32_t rank;
  int32_t unused;
} VortaPadJob;
VORTA_CHECK_OFFSET(VortaPadJob, input, 0);
VORTA_CHECK_OFFSET(VortaPadJob, output, 8);
VORTA_CHECK_OFFSET(VortaPadJob, mode, 16);
VORTA_CHECK_OFFSET(VortaPadJob, value, 20);
VORTA_CHECK_OFFSET(VortaPadJob, inSize, 24);
VORTA_CHECK_OFFSET(VortaPadJob, outSize, 56);
VORTA_CHECK_OFFSET(VortaPadJob, inStride, 88);
VORTA_CHECK_OFFSET(VortaPadJob, padBefore, 120);
VORTA_CHECK_OFFSET(VortaPadJob, rank, 152);
VORTA_CHECK_SIZE(VortaPadJob, 160);
#define VORTA_EXPORT_PAD "a3804dcc29275aff4e597bb39609ea68"

/* ---- contraction, column-to-image and normalisation apply ------------------ */

/* ---- scene: transforms, light bounds and binning, depth bins --------------- */

/* ---- direct-call maths: easing, curves, geometry, rotations ---------------- */

/* ---- direct-call maths: poses, motion, tweens, aiming, culling ------------- */

/* ---- non-maximum suppression, top-k, random tensors, recurrent cell, ROI align */

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

/* grid sampling */

/* Samples float planes at normalised grid positions, over N x K x S outputs. */
typedef struct VORTA_PACKED VortaGridSample2DJob {
  const float* input;
  const float* grid;
  float* output;
  int32_t paddingMode; /* 0 zeros, 1 border, 2 reflection */
  int32_t unused0;
  int32_t linear;       /* nonzero: bilinear; 0: nearest */
  uint8_t alignCorners; /* nonzero: -1 and +1 are the centres of the edge pixels */
  uint8_t unused1[3];
  int32_t inputHeight, inputWidth;
  int32_t planeSize;
  int32_t unused2;
  int32_t channels;
  int32_t outputSpatial;
} VortaGridSample2DJob;
VORTA_CHECK_OFFSET(VortaGridSample2DJob, input, 0);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, grid, 8);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, output, 16);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, paddingMode, 24);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, linear, 32);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, alignCorners, 36);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, inputHeight, 40);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, inputWidth, 44);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, planeSize, 48);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, channels, 56);
VORTA_CHECK_OFFSET(VortaGridSample2DJob, outputSpatial, 60);
VORTA_CHECK_SIZE(VortaGridSample2DJob, 64);

typedef struct VORTA_PACKED VortaGridSample3DJob {
  const float* input;
  const float* grid;
  float* output;
  int32_t paddingMode;
  int32_t unused0;
  int32_t linear;
  uint8_t alignCorners;
  uint8_t unused1[3];
  int32_t inputDepth, inputHeight, inputWidth;
  int32_t planeSize;
  int32_t unused2;
  int32_t channels;
  int32_t outputSpatial;
} VortaGridSample3DJob;
VORTA_CHECK_OFFSET(VortaGridSample3DJob, input, 0);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, grid, 8);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, output, 16);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, paddingMode, 24);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, linear, 32);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, alignCorners, 36);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, inputDepth, 40);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, inputHeight, 44);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, inputWidth, 48);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, planeSize, 52);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, channels, 60);
VORTA_CHECK_OFFSET(VortaGridSample3DJob, outputSpatial, 64);
VORTA_CHECK_SIZE(VortaGridSample3DJob, 68);
#define VORTA_EXPORT_GRIDSAMPLE_2D "29640c069c9a86fc71604bd80fca16b6"
#define VORTA_EXPORT_GRIDSAMPLE_3D "392bb903576e74dfdf9fdbfa6b7ab810"

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
