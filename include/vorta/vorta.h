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

/* Elements move as 32-bit words (float or int32 alike). Strides and counts are
 * in elements; negative indices read from an index tensor wrap once by the
 * axis extent. An index still outside its axis after that wrap makes a gather
 * write zero words and a scatter skip its update: nothing is read or written
 * outside the tensors. Scatter reductions of the element scatters use float
 * arithmetic. */

/* Direct copy: `count` words from source + srcOffset to destination + dstOffset
 * (the two may overlap). */
typedef struct VORTA_PACKED VortaCopyJob {
  const void* source;
  void* destination;
  int32_t count;
  int32_t srcOffset;
  int32_t dstOffset;
} VortaCopyJob;
VORTA_CHECK_OFFSET(VortaCopyJob, destination, 8);
VORTA_CHECK_OFFSET(VortaCopyJob, count, 16);
VORTA_CHECK_OFFSET(VortaCopyJob, srcOffset, 20);
VORTA_CHECK_OFFSET(VortaCopyJob, dstOffset, 24);
VORTA_CHECK_SIZE(VortaCopyJob, 28);
typedef void(VORTA_CALL* VortaCopyFn)(const VortaCopyJob* job);

/* Strided row copy: batch index r copies `count` words from
 * source + srcOffset + r * srcStride to destination + dstOffset + r * dstStride. */
typedef struct VORTA_PACKED VortaStridedRowCopyJob {
  const void* source;
  void* destination;
  int32_t srcStride;
  int32_t dstStride;
  int32_t srcOffset;
  int32_t dstOffset;
  int32_t count;
} VortaStridedRowCopyJob;
VORTA_CHECK_OFFSET(VortaStridedRowCopyJob, srcStride, 16);
VORTA_CHECK_OFFSET(VortaStridedRowCopyJob, dstStride, 20);
VORTA_CHECK_OFFSET(VortaStridedRowCopyJob, srcOffset, 24);
VORTA_CHECK_OFFSET(VortaStridedRowCopyJob, dstOffset, 28);
VORTA_CHECK_OFFSET(VortaStridedRowCopyJob, count, 32);
VORTA_CHECK_SIZE(VortaStridedRowCopyJob, 36);

/* Strided slice read and write. Dimension 0 is the innermost; element c of the
 * contiguous side sits at sum_k (offsets[k] + c_k * strides[k]) on the strided
 * side (strides may be negative). For the write, source is the contiguous
 * tensor. */
typedef struct VORTA_PACKED VortaStridedCopyJob {
  const void* source;
  void* destination;
  int32_t shape[8];
  int32_t offsets[8];
  int32_t strides[8];
  int32_t rank;
} VortaStridedCopyJob;
VORTA_CHECK_OFFSET(VortaStridedCopyJob, shape, 16);
VORTA_CHECK_OFFSET(VortaStridedCopyJob, offsets, 48);
VORTA_CHECK_OFFSET(VortaStridedCopyJob, strides, 80);
VORTA_CHECK_OFFSET(VortaStridedCopyJob, rank, 112);
VORTA_CHECK_SIZE(VortaStridedCopyJob, 116);

/* Strided gather (transpose): destination[i] = source[sum_k c_k * strides[k]],
 * c the coordinates of i in shape, dimension 0 innermost. */
typedef struct VORTA_PACKED VortaStridedGatherJob {
  const void* source;
  void* destination;
  int32_t shape[8];
  int32_t strides[8];
  int32_t rank;
} VortaStridedGatherJob;
VORTA_CHECK_OFFSET(VortaStridedGatherJob, shape, 16);
VORTA_CHECK_OFFSET(VortaStridedGatherJob, strides, 48);
VORTA_CHECK_OFFSET(VortaStridedGatherJob, rank, 80);
VORTA_CHECK_SIZE(VortaStridedGatherJob, 84);

/* Broadcast (expand or tile). Right-aligned: slot 7 is the innermost and the
 * last `rank` slots are used; a source digit is the output digit modulo
 * inShape. rank <= 0 fills the destination with source[0]. */
typedef struct VORTA_PACKED VortaBroadcastJob {
  int32_t rank;
  int32_t outShape[8];
  int32_t outStrides[8];
  int32_t inShape[8];
  int32_t inStrides[8];
  int32_t reserved;
  const void* source;
  void* destination;
} VortaBroadcastJob;
VORTA_CHECK_OFFSET(VortaBroadcastJob, outShape, 4);
VORTA_CHECK_OFFSET(VortaBroadcastJob, outStrides, 36);
VORTA_CHECK_OFFSET(VortaBroadcastJob, inShape, 68);
VORTA_CHECK_OFFSET(VortaBroadcastJob, inStrides, 100);
VORTA_CHECK_OFFSET(VortaBroadcastJob, source, 136);
VORTA_CHECK_OFFSET(VortaBroadcastJob, destination, 144);
VORTA_CHECK_SIZE(VortaBroadcastJob, 152);

/* Gather along an axis: the output is [outer][indexCount][innerSize] and block
 * j of outer o is slice indices[j] of input [outer][axisSize][innerSize]. */
typedef struct VORTA_PACKED VortaGatherAxisJob {
  const void* input;
  const int32_t* indices;
  void* output;
  int32_t axisSize;
  int32_t innerSize;
  int32_t indexCount;
} VortaGatherAxisJob;
VORTA_CHECK_OFFSET(VortaGatherAxisJob, indices, 8);
VORTA_CHECK_OFFSET(VortaGatherAxisJob, output, 16);
VORTA_CHECK_OFFSET(VortaGatherAxisJob, axisSize, 24);
VORTA_CHECK_OFFSET(VortaGatherAxisJob, innerSize, 28);
VORTA_CHECK_OFFSET(VortaGatherAxisJob, indexCount, 32);
VORTA_CHECK_SIZE(VortaGatherAxisJob, 36);

/* Gather elements along an axis: output[i] = input[(i mod innerModulus) +
 * (idx + axisSize * (i div outerDivisor)) * blockStride], idx = indices[i]. */
typedef struct VORTA_PACKED VortaGatherElementsAxisJob {
  int32_t axisSize;
  int32_t blockStride;
  int32_t innerModulus;
  int32_t outerDivisor;
  const void* input;
  const int32_t* indices;
  void* output;
} VortaGatherElementsAxisJob;
VORTA_CHECK_OFFSET(VortaGatherElementsAxisJob, blockStride, 4);
VORTA_CHECK_OFFSET(VortaGatherElementsAxisJob, innerModulus, 8);
VORTA_CHECK_OFFSET(VortaGatherElementsAxisJob, outerDivisor, 12);
VORTA_CHECK_OFFSET(VortaGatherElementsAxisJob, input, 16);
VORTA_CHECK_OFFSET(VortaGatherElementsAxisJob, indices, 24);
VORTA_CHECK_OFFSET(VortaGatherElementsAxisJob, output, 32);
VORTA_CHECK_SIZE(VortaGatherElementsAxisJob, 40);

/* Scatter reductions: 0 replace, 1 add, 2 multiply, other values leave the data. */
#define VORTA_SCATTER_REPLACE 0
#define VORTA_SCATTER_ADD 1
#define VORTA_SCATTER_MULTIPLY 2

/* Scatter elements along an axis, in place on data: target
 * (i mod innerModulus) + (idx + (i div outerDivisor) * axisSize) * blockStride. */
typedef struct VORTA_PACKED VortaScatterElementsAxisJob {
  int32_t axisSize;
  int32_t innerModulus;
  int32_t blockStride;
  int32_t outerDivisor;
  int32_t reduction;
  int32_t reserved;
  const void* updates;
  const int32_t* indices;
  void* data;
} VortaScatterElementsAxisJob;
VORTA_CHECK_OFFSET(VortaScatterElementsAxisJob, innerModulus, 4);
VORTA_CHECK_OFFSET(VortaScatterElementsAxisJob, blockStride, 8);
VORTA_CHECK_OFFSET(VortaScatterElementsAxisJob, outerDivisor, 12);
VORTA_CHECK_OFFSET(VortaScatterElementsAxisJob, reduction, 16);
VORTA_CHECK_OFFSET(VortaScatterElementsAxisJob, updates, 24);
VORTA_CHECK_OFFSET(VortaScatterElementsAxisJob, indices, 32);
VORTA_CHECK_OFFSET(VortaScatterElementsAxisJob, data, 40);
VORTA_CHECK_SIZE(VortaScatterElementsAxisJob, 48);

/* Scatter elements over up to 8 dimensions (outermost first): the coordinates
 * of update i come from successive division by updateStrides; the target is
 * sum_{k < rank-1, k != axis} c_k * dataStrides[k] + c_(rank-1) with the axis
 * coordinate replaced by idx (times dataStrides[axis], or 1 on the last axis). */
typedef struct VORTA_PACKED VortaScatterElementsJob {
  int32_t axisSize;
  int32_t axis;
  int32_t rank;
  int32_t reduction;
  int32_t dataStrides[8];
  int32_t updateStrides[8];
  const void* updates;
  const int32_t* indices;
  void* data;
} VortaScatterElementsJob;
VORTA_CHECK_OFFSET(VortaScatterElementsJob, axis, 4);
VORTA_CHECK_OFFSET(VortaScatterElementsJob, rank, 8);
VORTA_CHECK_OFFSET(VortaScatterElementsJob, reduction, 12);
VORTA_CHECK_OFFSET(VortaScatterElementsJob, dataStrides, 16);
VORTA_CHECK_OFFSET(VortaScatterElementsJob, updateStrides, 48);
VORTA_CHECK_OFFSET(VortaScatterElementsJob, updates, 80);
VORTA_CHECK_OFFSET(VortaScatterElementsJob, indices, 88);
VORTA_CHECK_OFFSET(VortaScatterElementsJob, data, 96);
VORTA_CHECK_SIZE(VortaScatterElementsJob, 104);

/* One-hot. Right-aligned output tables; slot axis - rank + 8 is the one-hot
 * axis (length shape[k], inner size strides[k]). Output element (o, d, n)
 * is onValue where index element o * strides[k] + n (plus depth if negative)
 * equals d, else offValue. */
typedef struct VORTA_PACKED VortaOneHotJob {
  const int32_t* indices;
  void* output;
  uint32_t onValue;
  uint32_t offValue;
  int32_t rank;
  int32_t reserved;
  int32_t depth;
  int32_t axis;
  int32_t shape[8];
  int32_t strides[8];
} VortaOneHotJob;
VORTA_CHECK_OFFSET(VortaOneHotJob, output, 8);
VORTA_CHECK_OFFSET(VortaOneHotJob, onValue, 16);
VORTA_CHECK_OFFSET(VortaOneHotJob, offValue, 20);
VORTA_CHECK_OFFSET(VortaOneHotJob, rank, 24);
VORTA_CHECK_OFFSET(VortaOneHotJob, depth, 32);
VORTA_CHECK_OFFSET(VortaOneHotJob, axis, 36);
VORTA_CHECK_OFFSET(VortaOneHotJob, shape, 40);
VORTA_CHECK_OFFSET(VortaOneHotJob, strides, 72);
VORTA_CHECK_SIZE(VortaOneHotJob, 104);

/* Lower and upper triangles; batch indices are rows of rowLength words. */
typedef struct VORTA_PACKED VortaTriangleJob {
  const void* input;
  void* output;
  int32_t rowLength;
  int32_t rowsPerMatrix;
  int32_t diagonal;
} VortaTriangleJob;
VORTA_CHECK_OFFSET(VortaTriangleJob, output, 8);
VORTA_CHECK_OFFSET(VortaTriangleJob, rowLength, 16);
VORTA_CHECK_OFFSET(VortaTriangleJob, rowsPerMatrix, 20);
VORTA_CHECK_OFFSET(VortaTriangleJob, diagonal, 24);
VORTA_CHECK_SIZE(VortaTriangleJob, 28);

/* Gather elements along an axis, strided form (digits outermost first by
 * successive division by outputStrides). */
typedef struct VORTA_PACKED VortaGatherElementsJob {
  int32_t axisExtent;
  int32_t axis;
  int32_t rank;
  int32_t outputStrides[8];
  int32_t dataStrides[8];
  int32_t reserved;
  const void* data;
  const int32_t* indices;
  void* output;
} VortaGatherElementsJob;
VORTA_CHECK_OFFSET(VortaGatherElementsJob, axis, 4);
VORTA_CHECK_OFFSET(VortaGatherElementsJob, rank, 8);
VORTA_CHECK_OFFSET(VortaGatherElementsJob, outputStrides, 12);
VORTA_CHECK_OFFSET(VortaGatherElementsJob, dataStrides, 44);
VORTA_CHECK_OFFSET(VortaGatherElementsJob, data, 80);
VORTA_CHECK_OFFSET(VortaGatherElementsJob, indices, 88);
VORTA_CHECK_OFFSET(VortaGatherElementsJob, output, 96);
VORTA_CHECK_SIZE(VortaGatherElementsJob, 104);

/* Gather slices by index tuples with batch dimensions. Right-aligned tables:
 * dimension k of an r-dimensional tensor is slot 8 - r + k. */
typedef struct VORTA_PACKED VortaGatherTuplesJob {
  const void* data;
  const int32_t* indices;
  void* output;
  int32_t batchDims;
  int32_t tupleLength;
  int32_t outputRank;
  int32_t outputDims[8];
  int32_t outputStrides[8];
  int32_t dataRank;
  int32_t dataDims[8];
  int32_t dataStrides[8];
  int32_t indicesRank;
  int32_t indicesDims[8]; /* not read */
  int32_t indicesStrides[8];
} VortaGatherTuplesJob;
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, batchDims, 24);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, tupleLength, 28);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, outputRank, 32);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, outputDims, 36);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, outputStrides, 68);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, dataRank, 100);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, dataDims, 104);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, dataStrides, 136);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, indicesRank, 168);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, indicesDims, 172);
VORTA_CHECK_OFFSET(VortaGatherTuplesJob, indicesStrides, 204);
VORTA_CHECK_SIZE(VortaGatherTuplesJob, 236);

/* Scatter by index tuples, in place on output (float or wrapping int32
 * arithmetic by member). Components are not wrapped: a slice whose tuple has a
 * negative component is skipped. */
typedef struct VORTA_PACKED VortaScatterTuplesJob {
  int32_t reduction;
  int32_t sliceSize;
  int32_t tupleLength;
  int32_t sliceStrides[8];
  int32_t reserved[3];
  const int32_t* indices;
  const void* updates;
  void* output;
} VortaScatterTuplesJob;
VORTA_CHECK_OFFSET(VortaScatterTuplesJob, sliceSize, 4);
VORTA_CHECK_OFFSET(VortaScatterTuplesJob, tupleLength, 8);
VORTA_CHECK_OFFSET(VortaScatterTuplesJob, sliceStrides, 12);
VORTA_CHECK_OFFSET(VortaScatterTuplesJob, indices, 56);
VORTA_CHECK_OFFSET(VortaScatterTuplesJob, updates, 64);
VORTA_CHECK_OFFSET(VortaScatterTuplesJob, output, 72);
VORTA_CHECK_SIZE(VortaScatterTuplesJob, 80);

/* Select by an int32 condition, broadcasting all three inputs (right-aligned
 * tables; an input digit is the output digit modulo its extent). */
typedef struct VORTA_PACKED VortaConditionSelectJob {
  int32_t rank;
  int32_t outputDims[8];
  int32_t outputStrides[8];
  int32_t conditionDims[8];
  int32_t conditionStrides[8];
  int32_t trueDims[8];
  int32_t trueStrides[8];
  int32_t falseDims[8];
  int32_t falseStrides[8];
  int32_t reserved;
  const int32_t* condition;
  const void* trueValues;
  const void* falseValues;
  void* output;
} VortaConditionSelectJob;
VORTA_CHECK_OFFSET(VortaConditionSelectJob, outputDims, 4);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, outputStrides, 36);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, conditionDims, 68);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, conditionStrides, 100);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, trueDims, 132);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, trueStrides, 164);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, falseDims, 196);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, falseStrides, 228);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, condition, 264);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, trueValues, 272);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, falseValues, 280);
VORTA_CHECK_OFFSET(VortaConditionSelectJob, output, 288);
VORTA_CHECK_SIZE(VortaConditionSelectJob, 296);

/* Float sum over reduced dimensions, in order r = 0, 1, ... (right-aligned). */
typedef struct VORTA_PACKED VortaLayoutSumJob {
  int32_t reducedRank;
  int32_t reducedCount;
  int32_t outputRank;
  int32_t reducedDims[8];
  int32_t reducedDivisors[8];
  int32_t reducedInputStrides[8];
  int32_t outputDims[8];
  int32_t outputDivisors[8];
  int32_t keptInputStrides[8];
  int32_t reserved;
  const float* input;
  float* output;
} VortaLayoutSumJob;
VORTA_CHECK_OFFSET(VortaLayoutSumJob, reducedCount, 4);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, outputRank, 8);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, reducedDims, 12);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, reducedDivisors, 44);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, reducedInputStrides, 76);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, outputDims, 108);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, outputDivisors, 140);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, keptInputStrides, 172);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, input, 208);
VORTA_CHECK_OFFSET(VortaLayoutSumJob, output, 216);
VORTA_CHECK_SIZE(VortaLayoutSumJob, 224);

#define VORTA_EXPORT_DATAMOVE_COPY "133886b9e6de86778c0c56a5a5ee28c8"
#define VORTA_EXPORT_DATAMOVE_STRIDED_ROW_COPY "4e37d342335d460d475ae6fb5cd04c81"
#define VORTA_EXPORT_DATAMOVE_SLICE_READ "114a122ca9904a25c2245dae403edbb7"
#define VORTA_EXPORT_DATAMOVE_SLICE_WRITE "4a3d586c55ef7e5cbe8a73e0391b1dcc"
#define VORTA_EXPORT_DATAMOVE_STRIDED_GATHER "78195f8677f75a377051b4cd8af04b60"
#define VORTA_EXPORT_DATAMOVE_BROADCAST "4e94387cde3b1a6992ff03854dafd6a2"
#define VORTA_EXPORT_DATAMOVE_BROADCAST_2 "9b3cb2ed67e5098adbe30ee99fa108e7"
#define VORTA_EXPORT_DATAMOVE_GATHER_AXIS "a4222c9195be0b737db33e421e9d9fa2"
#define VORTA_EXPORT_DATAMOVE_GATHER_ELEMENTS_AXIS "21624c0905429b38dcb8c1902a1ccfc0"
#define VORTA_EXPORT_DATAMOVE_SCATTER_ELEMENTS_AXIS "ad90a5dea91bf65b2972d80ddde7ba4a"
#define VORTA_EXPORT_DATAMOVE_SCATTER_ELEMENTS "266154627a73de7d06b41169579818fa"
#define VORTA_EXPORT_DATAMOVE_ONE_HOT "1b007b827075c2795de717ff6cc74c2e"
#define VORTA_EXPORT_DATAMOVE_LOWER_TRIANGLE "b674738c58f296464d08aa57664df1b9"
#define VORTA_EXPORT_DATAMOVE_UPPER_TRIANGLE "dc87d2f23267638e5ce350b0f0fd60d1"
#define VORTA_EXPORT_GATHER_SCATTER_GATHER_ELEMENTS "c19a44e2fcffcfa9d1316d7763fd8670"
#define VORTA_EXPORT_GATHER_SCATTER_GATHER_TUPLES "647d9389af960fbdaa73e1b273d5e104"
#define VORTA_EXPORT_GATHER_SCATTER_SCATTER_TUPLES_FLOAT "efccd2d86aee32d86a9c7f6795a6f7a9"
#define VORTA_EXPORT_GATHER_SCATTER_SCATTER_TUPLES_INT32 "6c587860d079ebf61a61cb92be9c07dc"
#define VORTA_EXPORT_GATHER_SCATTER_SELECT "e542d8888eaed3b9ab9d4094700a52a9"
#define VORTA_EXPORT_GATHER_SCATTER_LAYOUT_SUM "4c6503a63d2fa4c5edccf9706fd4c324"

/* ---- pooling, pad and resize ----------------------------------------------- */

/* ---- contraction, column-to-image and normalisation apply ------------------ */

/* ---- scene: transforms, light bounds and binning, depth bins --------------- */

/* ---- direct-call maths: easing, curves, geometry, rotations ---------------- */

/* ---- direct-call maths: poses, motion, tweens, aiming, culling ------------- */

/* ---- non-maximum suppression, top-k, random tensors, recurrent cell, ROI align */

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
