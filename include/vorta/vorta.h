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

/* Arg-min and arg-max (int32 index outputs), hardmax (one-hot float32 output
 * of the input's shape), softmax and log-softmax take the axis record
 * { input, output, int32 N, int32 S } of the axis reductions. */
#define VORTA_EXPORT_ARGREDUCE_ARGMIN_FIRST_FLOAT "2679100a7594091aeeee6b24bd834ead"
#define VORTA_EXPORT_ARGREDUCE_ARGMIN_LAST_FLOAT "ee032de02e4f3c804dfa1fb75abd6eb9"
#define VORTA_EXPORT_ARGREDUCE_ARGMAX_FIRST_FLOAT "f7551422cc69f13d410bc017ae16d71f"
#define VORTA_EXPORT_ARGREDUCE_ARGMAX_LAST_FLOAT "61a2ab9f634797f6e1acc19c82c6a815"
#define VORTA_EXPORT_ARGREDUCE_ARGMIN_FIRST_INT32 "8610d3d03d29ed96e27e4f8dc6c4a832"
#define VORTA_EXPORT_ARGREDUCE_ARGMIN_LAST_INT32 "e5c04eb29088cd35c9adafdbf19c0b12"
#define VORTA_EXPORT_ARGREDUCE_ARGMAX_FIRST_INT32 "e1e0b53c7468e4e3a071965d60f8b1cb"
#define VORTA_EXPORT_ARGREDUCE_ARGMAX_LAST_INT32 "35f2c1e272fa875833a4e99bc35fd53b"
#define VORTA_EXPORT_ARGREDUCE_HARDMAX "98559a2d9c85c873821019ea69c42ecf"
#define VORTA_EXPORT_SOFTMAX_SOFTMAX "eedfca976dfeb1dbbeae71fd31d26faa"
#define VORTA_EXPORT_SOFTMAX_LOG_SOFTMAX "34b0c19ef1b8be307ded56eee231fbaf"

/* Mean and variance of each row of d floats: two floats per row. */
typedef struct VORTA_PACKED VortaRowStatsJob {
  const float* input;
  float* output;
  int32_t d;
  uint32_t padding; /* not read */
} VortaRowStatsJob;
VORTA_CHECK_OFFSET(VortaRowStatsJob, input, 0);
VORTA_CHECK_OFFSET(VortaRowStatsJob, output, 8);
VORTA_CHECK_OFFSET(VortaRowStatsJob, d, 16);
VORTA_CHECK_SIZE(VortaRowStatsJob, 24);

/* The layer normalisation tail over rows; output may be the input. */
typedef struct VORTA_PACKED VortaLayerNormJob {
  float epsilon;
  int32_t d;
  uint64_t unused; /* not read */
  const float* input;
  const float* scale;
  const float* bias;
  const float* statistics; /* mean, variance per row */
  float* output;
} VortaLayerNormJob;
VORTA_CHECK_OFFSET(VortaLayerNormJob, epsilon, 0);
VORTA_CHECK_OFFSET(VortaLayerNormJob, d, 4);
VORTA_CHECK_OFFSET(VortaLayerNormJob, input, 16);
VORTA_CHECK_OFFSET(VortaLayerNormJob, scale, 24);
VORTA_CHECK_OFFSET(VortaLayerNormJob, bias, 32);
VORTA_CHECK_OFFSET(VortaLayerNormJob, statistics, 40);
VORTA_CHECK_OFFSET(VortaLayerNormJob, output, 48);
VORTA_CHECK_SIZE(VortaLayerNormJob, 56);

/* The root-mean-square normalisation tail over rows; statistics holds the
 * mean of the squares of each row. */
typedef struct VORTA_PACKED VortaRmsNormJob {
  float epsilon;
  int32_t d;
  uint64_t unused; /* not read */
  const float* input;
  const float* scale;
  const float* statistics;
  float* output;
} VortaRmsNormJob;
VORTA_CHECK_OFFSET(VortaRmsNormJob, epsilon, 0);
VORTA_CHECK_OFFSET(VortaRmsNormJob, d, 4);
VORTA_CHECK_OFFSET(VortaRmsNormJob, input, 16);
VORTA_CHECK_OFFSET(VortaRmsNormJob, scale, 24);
VORTA_CHECK_OFFSET(VortaRmsNormJob, statistics, 32);
VORTA_CHECK_OFFSET(VortaRmsNormJob, output, 40);
VORTA_CHECK_SIZE(VortaRmsNormJob, 48);

/* Inference batch normalisation over [outer][K][I], run over elements. */
typedef struct VORTA_PACKED VortaBatchNormJob {
  float epsilon;
  int32_t K;
  int32_t I;
  uint32_t unused; /* not read */
  const float* input;
  const float* scale;
  const float* bias;
  const float* mean;
  const float* variance;
  float* output;
} VortaBatchNormJob;
VORTA_CHECK_OFFSET(VortaBatchNormJob, epsilon, 0);
VORTA_CHECK_OFFSET(VortaBatchNormJob, K, 4);
VORTA_CHECK_OFFSET(VortaBatchNormJob, I, 8);
VORTA_CHECK_OFFSET(VortaBatchNormJob, input, 16);
VORTA_CHECK_OFFSET(VortaBatchNormJob, scale, 24);
VORTA_CHECK_OFFSET(VortaBatchNormJob, bias, 32);
VORTA_CHECK_OFFSET(VortaBatchNormJob, mean, 40);
VORTA_CHECK_OFFSET(VortaBatchNormJob, variance, 48);
VORTA_CHECK_OFFSET(VortaBatchNormJob, output, 56);
VORTA_CHECK_SIZE(VortaBatchNormJob, 64);

/* x * scale[ch] + bias[ch] over [outer][K][I], run over elements. */
typedef struct VORTA_PACKED VortaChannelAffineJob {
  int32_t K;
  int32_t I;
  const float* input;
  const float* scale;
  const float* bias;
  float* output;
} VortaChannelAffineJob;
VORTA_CHECK_OFFSET(VortaChannelAffineJob, K, 0);
VORTA_CHECK_OFFSET(VortaChannelAffineJob, I, 4);
VORTA_CHECK_OFFSET(VortaChannelAffineJob, input, 8);
VORTA_CHECK_OFFSET(VortaChannelAffineJob, scale, 16);
VORTA_CHECK_OFFSET(VortaChannelAffineJob, bias, 24);
VORTA_CHECK_OFFSET(VortaChannelAffineJob, output, 32);
VORTA_CHECK_SIZE(VortaChannelAffineJob, 40);

#define VORTA_EXPORT_NORMALIZATION_ROW_STATS "84f6e15c675b3973704dcd97eac0700c"
#define VORTA_EXPORT_NORMALIZATION_LAYER_NORM "8828b810aa36a021e2f1eac39ee73eb2"
#define VORTA_EXPORT_NORMALIZATION_RMS_NORM "7f0d63173ce48f4a60a9bcad23ef521c"
#define VORTA_EXPORT_NORMALIZATION_BATCH_NORM "e507a5e3173017dce2d58bef844aece2"
#define VORTA_EXPORT_NORMALIZATION_CHANNEL_AFFINE "3115ec7eb9010e31585beac1cb573910"

/* Running sums along an [outer][N][S] axis, float32 or wrapping int32, run
 * over outer * S lines. The exclusive form needs an output apart from the input. */
typedef struct VORTA_PACKED VortaCumulativeSumJob {
  const void* input;
  void* output;
  int32_t N;
  int32_t S;
  uint8_t reverse;   /* nonzero: from position N - 1 down to 0 */
  uint8_t exclusive; /* nonzero: each output leaves its own element out */
  uint8_t padding[6]; /* not read */
} VortaCumulativeSumJob;
VORTA_CHECK_OFFSET(VortaCumulativeSumJob, input, 0);
VORTA_CHECK_OFFSET(VortaCumulativeSumJob, output, 8);
VORTA_CHECK_OFFSET(VortaCumulativeSumJob, N, 16);
VORTA_CHECK_OFFSET(VortaCumulativeSumJob, S, 20);
VORTA_CHECK_OFFSET(VortaCumulativeSumJob, reverse, 24);
VORTA_CHECK_OFFSET(VortaCumulativeSumJob, exclusive, 25);
VORTA_CHECK_SIZE(VortaCumulativeSumJob, 32);

#define VORTA_EXPORT_CUMSUM_FLOAT "56adca8111f7499031ebf8169ddde0bf"
#define VORTA_EXPORT_CUMSUM_INT32 "ea3424fee74527a6fa5cc7e1b75fb885"

/* ---- data movement, gather, scatter and select ----------------------------- */

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
