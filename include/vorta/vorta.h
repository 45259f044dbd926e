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

/* ---- scene: transforms, light bounds and binning, depth bins --------------- */

/* ---- direct-call maths: easing, curves, geometry, rotations ---------------- */

/* ---- direct-call maths: poses, motion, tweens, aiming, culling ------------- */

/* ---- non-maximum suppression, top-k, random tensors, recurrent cell, ROI align */

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

/* further maps and buffer utilities */

/* The inverse sine and tangent, float negate, absolute value and sign read the
 * map family's span record (input at 0, output at 8, int32 length at 16), the
 * clamped float64 to float32 cast its direct record (input at 0, output at 8). */

/* Scaled exponential linear unit: x <= 0 gives gamma * (exp(x) * alpha - alpha),
 * otherwise gamma * x. */
typedef struct VORTA_PACKED VortaSeluJob {
  const float* input;
  float* output;
  int32_t length;
  float alpha;
  uint8_t unused[4];
  float gamma;
} VortaSeluJob;
VORTA_CHECK_OFFSET(VortaSeluJob, length, 16);
VORTA_CHECK_OFFSET(VortaSeluJob, alpha, 20);
VORTA_CHECK_OFFSET(VortaSeluJob, gamma, 28);
VORTA_CHECK_SIZE(VortaSeluJob, 32);

/* int32 affine map, wrapping: offset + scale * x. */
typedef struct VORTA_PACKED VortaAffineInt32Job {
  const int32_t* input;
  int32_t* output;
  int32_t length;
  uint8_t unused[12];
  int32_t scale;
  int32_t offset;
} VortaAffineInt32Job;
VORTA_CHECK_OFFSET(VortaAffineInt32Job, length, 16);
VORTA_CHECK_OFFSET(VortaAffineInt32Job, scale, 32);
VORTA_CHECK_OFFSET(VortaAffineInt32Job, offset, 36);
VORTA_CHECK_SIZE(VortaAffineInt32Job, 40);

/* The decoding bit remap (bit 30 takes bit 31's value), every scheduled index. */
typedef struct VORTA_PACKED VortaBitDecodeJob {
  const int32_t* input;
  uint8_t unused[8];
  int32_t* output;
} VortaBitDecodeJob;
VORTA_CHECK_OFFSET(VortaBitDecodeJob, output, 16);
VORTA_CHECK_SIZE(VortaBitDecodeJob, 24);

/* The block replicator: the destination receives `copies` back-to-back copies
 * of `count` 4-byte elements from the source. */
typedef struct VORTA_PACKED VortaReplicateBlockArgs {
  const void* source;
  void* destination;
  int32_t count;
  int32_t copies;
} VortaReplicateBlockArgs;
VORTA_CHECK_OFFSET(VortaReplicateBlockArgs, destination, 8);
VORTA_CHECK_OFFSET(VortaReplicateBlockArgs, count, 16);
VORTA_CHECK_OFFSET(VortaReplicateBlockArgs, copies, 20);
VORTA_CHECK_SIZE(VortaReplicateBlockArgs, 24);
typedef void(VORTA_CALL* VortaReplicateBlockFn)(const VortaReplicateBlockArgs* args);

/* The pair release: each non-null pointer goes to the host's Free with the label. */
typedef struct VORTA_PACKED VortaBufferPairArgs {
  void* first;
  void* second;
  int32_t allocator;
  uint8_t padding[4];
} VortaBufferPairArgs;
VORTA_CHECK_OFFSET(VortaBufferPairArgs, second, 8);
VORTA_CHECK_OFFSET(VortaBufferPairArgs, allocator, 16);
VORTA_CHECK_SIZE(VortaBufferPairArgs, 24);
typedef void(VORTA_CALL* VortaReleaseBufferPairFn)(const VortaBufferPairArgs* args);

#define VORTA_EXPORT_MAPS_EXTRA_ASIN "0836f6dfa8033e3688ea0d96cbe2cdf9"
#define VORTA_EXPORT_MAPS_EXTRA_ATAN "233033982c81b8ee429c85a5994308db"
#define VORTA_EXPORT_MAPS_EXTRA_NEGATE "0fdbd03be5a86b6b1b565f59508dddf0"
#define VORTA_EXPORT_MAPS_EXTRA_ABS "554464b2a8348dea7d71342dc06d3af2"
#define VORTA_EXPORT_MAPS_EXTRA_SIGN "911230af2337e5eff5ad0283cb1509d2"
#define VORTA_EXPORT_MAPS_EXTRA_SELU "9768558757fda616da5a87558ded6817"
#define VORTA_EXPORT_MAPS_EXTRA_AFFINE_INT32 "cad1e8dda5783131a29255343107f23f"
#define VORTA_EXPORT_MAPS_EXTRA_BIT_DECODE "d2a4234f3958190a9fc0a7d2ca4674c3"
#define VORTA_EXPORT_MAPS_EXTRA_CAST_DOUBLE "b34f43e5a8617d0c8c85d1ca2f67788c"
#define VORTA_EXPORT_MAPS_EXTRA_REPLICATE_BLOCK "60227806eabe24acf8432d0ab217c0e4"
#define VORTA_EXPORT_MAPS_EXTRA_RELEASE_PAIR "6be9d7c66de9cee59ce6874810d8cd6b"

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
