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

/* Box pairs of one batch item: flags[g][i][j] = 1 when IoU(box i, box j) > iouThreshold. */
typedef struct VORTA_PACKED VortaOverlapJob {
  const float* boxes;  /* B boxes per batch item, four floats each */
  uint8_t* flags;      /* B x B bytes per batch item */
  int32_t B;
  float iouThreshold;
  int32_t boxFormat;   /* 0 corners, 1 centre (cx, cy, w, h) */
  int32_t padding;     /* not read */
} VortaOverlapJob;
VORTA_CHECK_OFFSET(VortaOverlapJob, boxes, 0);
VORTA_CHECK_OFFSET(VortaOverlapJob, flags, 8);
VORTA_CHECK_OFFSET(VortaOverlapJob, B, 16);
VORTA_CHECK_OFFSET(VortaOverlapJob, iouThreshold, 20);
VORTA_CHECK_OFFSET(VortaOverlapJob, boxFormat, 24);
VORTA_CHECK_SIZE(VortaOverlapJob, 32);

/* Greedy selection per (batch item, class) row; selected ends with -1 unless full. */
typedef struct VORTA_PACKED VortaSelectJob {
  const uint8_t* flags;  /* the overlap job's flags */
  const float* scores;   /* B per row, classes innermost */
  int32_t* order;        /* scratch, B per row */
  int32_t* selected;     /* output, B per row */
  int32_t classes;
  int32_t B;
  int32_t maxOut;        /* at most B */
  float scoreThreshold;
} VortaSelectJob;
VORTA_CHECK_OFFSET(VortaSelectJob, flags, 0);
VORTA_CHECK_OFFSET(VortaSelectJob, scores, 8);
VORTA_CHECK_OFFSET(VortaSelectJob, order, 16);
VORTA_CHECK_OFFSET(VortaSelectJob, selected, 24);
VORTA_CHECK_OFFSET(VortaSelectJob, classes, 32);
VORTA_CHECK_OFFSET(VortaSelectJob, B, 36);
VORTA_CHECK_OFFSET(VortaSelectJob, maxOut, 40);
VORTA_CHECK_OFFSET(VortaSelectJob, scoreThreshold, 44);
VORTA_CHECK_SIZE(VortaSelectJob, 48);

/* The K largest (direction 1) or smallest (-1) along the axis of [outer][N][S]. */
typedef struct VORTA_PACKED VortaTopKJob {
  const float* input;  /* [outer][N][S] */
  float* values;       /* [outer][K][S] */
  int32_t* indices;    /* [outer][K][S] */
  int32_t N;
  int32_t S;
  int32_t K;           /* 1 <= K <= N */
  int32_t direction;
} VortaTopKJob;
VORTA_CHECK_OFFSET(VortaTopKJob, input, 0);
VORTA_CHECK_OFFSET(VortaTopKJob, values, 8);
VORTA_CHECK_OFFSET(VortaTopKJob, indices, 16);
VORTA_CHECK_OFFSET(VortaTopKJob, N, 24);
VORTA_CHECK_OFFSET(VortaTopKJob, S, 28);
VORTA_CHECK_OFFSET(VortaTopKJob, K, 32);
VORTA_CHECK_OFFSET(VortaTopKJob, direction, 36);
VORTA_CHECK_SIZE(VortaTopKJob, 40);

/* Constant fill of any 32-bit element type. */
typedef struct VORTA_PACKED VortaFillJob {
  void* output;
  uint32_t value;  /* the element's bit pattern */
} VortaFillJob;
VORTA_CHECK_OFFSET(VortaFillJob, output, 0);
VORTA_CHECK_OFFSET(VortaFillJob, value, 8);
VORTA_CHECK_SIZE(VortaFillJob, 12);

/* output[i] = float(i) * delta + start, over exactly length indices. */
typedef struct VORTA_PACKED VortaFloatRangeJob {
  float* output;
  int32_t length;
  float start;
  float delta;
} VortaFloatRangeJob;
VORTA_CHECK_OFFSET(VortaFloatRangeJob, output, 0);
VORTA_CHECK_OFFSET(VortaFloatRangeJob, length, 8);
VORTA_CHECK_OFFSET(VortaFloatRangeJob, start, 12);
VORTA_CHECK_OFFSET(VortaFloatRangeJob, delta, 16);
VORTA_CHECK_SIZE(VortaFloatRangeJob, 20);

/* output[i] = start + delta * i, wrapping, over exactly length indices. */
typedef struct VORTA_PACKED VortaIntRangeJob {
  int32_t* output;
  int32_t length;
  uint8_t unused[12];  /* not read */
  int32_t start;
  int32_t delta;
} VortaIntRangeJob;
VORTA_CHECK_OFFSET(VortaIntRangeJob, output, 0);
VORTA_CHECK_OFFSET(VortaIntRangeJob, length, 8);
VORTA_CHECK_OFFSET(VortaIntRangeJob, start, 24);
VORTA_CHECK_OFFSET(VortaIntRangeJob, delta, 28);
VORTA_CHECK_SIZE(VortaIntRangeJob, 32);

/* Uniform (low, high) or normal (mean, scale) random floats from (seed, index). */
typedef struct VORTA_PACKED VortaRandomFillJob {
  float* output;
  uint32_t seed;
  float param0;  /* low, or mean */
  float param1;  /* high, or scale */
} VortaRandomFillJob;
VORTA_CHECK_OFFSET(VortaRandomFillJob, output, 0);
VORTA_CHECK_OFFSET(VortaRandomFillJob, seed, 8);
VORTA_CHECK_OFFSET(VortaRandomFillJob, param0, 12);
VORTA_CHECK_OFFSET(VortaRandomFillJob, param1, 16);
VORTA_CHECK_SIZE(VortaRandomFillJob, 20);

/* output[i] = U1(seed, i) < probabilities[i], as float (kind 0) or int32 (kind 1). */
typedef struct VORTA_PACKED VortaBernoulliJob {
  const float* probabilities;
  void* output;
  uint32_t seed;
  int32_t outputKind;
} VortaBernoulliJob;
VORTA_CHECK_OFFSET(VortaBernoulliJob, probabilities, 0);
VORTA_CHECK_OFFSET(VortaBernoulliJob, output, 8);
VORTA_CHECK_OFFSET(VortaBernoulliJob, seed, 16);
VORTA_CHECK_OFFSET(VortaBernoulliJob, outputKind, 20);
VORTA_CHECK_SIZE(VortaBernoulliJob, 24);

/* One recurrent (LSTM) time step; gates in the order input, output, forget, cell. */
typedef struct VORTA_PACKED VortaRecurrentStepJob {
  const float* peephole;        /* 3 * Hs: P_i, P_o, P_f */
  const float* bias;            /* 8 * Hs: input biases then recurrent biases */
  const float* inputGates;      /* 4 * Hs per batch element, stride inputStride */
  const float* recurrentGates;  /* 4 * Hs per batch element, stride 4 * Hs */
  float* output;                /* Hs per batch element, stride outputStride */
  float* cell;                  /* Hs per batch element, read and rewritten */
  float* hidden;                /* Hs per batch element, rewritten */
  const int32_t* seqLength;
  int32_t t;
  int32_t inputStride;
  int32_t outputStride;
  int32_t Hs;
  uint8_t inputForget;          /* nonzero: f = 1 - i */
  uint8_t padding[3];           /* not read */
  float clip;
  int32_t kindF;
  float alphaF, betaF;
  int32_t kindG;
  float alphaG, betaG;
  int32_t kindH;
  float alphaH, betaH;
  uint8_t reserved[4];          /* not read */
} VortaRecurrentStepJob;
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, peephole, 0);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, bias, 8);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, inputGates, 16);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, recurrentGates, 24);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, output, 32);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, cell, 40);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, hidden, 48);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, seqLength, 56);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, t, 64);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, inputStride, 68);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, outputStride, 72);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, Hs, 76);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, inputForget, 80);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, clip, 84);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, kindF, 88);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, alphaF, 92);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, betaF, 96);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, kindG, 100);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, alphaG, 104);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, kindH, 112);
VORTA_CHECK_OFFSET(VortaRecurrentStepJob, betaH, 120);
VORTA_CHECK_SIZE(VortaRecurrentStepJob, 128);

/* Region-of-interest align over [images][channels][H][W], average or maximum. */
typedef struct VORTA_PACKED VortaRoiAlignJob {
  float spatialScale;
  int32_t padding0;     /* not read */
  int32_t channels;
  int32_t H;
  int32_t W;
  int32_t plane;        /* H * W */
  int32_t imageStride;
  int32_t pooledH;
  int32_t pooledW;
  float invPooledH;     /* 1 / pooledH */
  float invPooledW;     /* 1 / pooledW */
  int32_t samplingRatio;  /* below 1: adaptive */
  int32_t mode;         /* 0 average, 1 maximum; others write nothing */
  int32_t padding1;     /* not read */
  const float* input;
  const float* regions;  /* (x1, y1, x2, y2) per region */
  const int32_t* imageIndex;
  float* output;        /* [regions][channels][pooledH][pooledW] */
} VortaRoiAlignJob;
VORTA_CHECK_OFFSET(VortaRoiAlignJob, spatialScale, 0);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, channels, 8);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, H, 12);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, W, 16);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, plane, 20);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, imageStride, 24);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, pooledH, 28);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, pooledW, 32);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, invPooledH, 36);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, invPooledW, 40);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, samplingRatio, 44);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, mode, 48);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, input, 56);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, regions, 64);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, imageIndex, 72);
VORTA_CHECK_OFFSET(VortaRoiAlignJob, output, 80);
VORTA_CHECK_SIZE(VortaRoiAlignJob, 88);

#define VORTA_EXPORT_NMS_TOPK_OVERLAP "46efd9767e9504d257befc1d470c8916"
#define VORTA_EXPORT_NMS_TOPK_SELECT "ac4aa09e4b1ed224498bde6085c5df44"
#define VORTA_EXPORT_NMS_TOPK_TOPK "f677b38be8a3c8b98f3a2f5da5910f13"
#define VORTA_EXPORT_RANDOM_FILL "78383b5425c6f71bd35075383947f40e"
#define VORTA_EXPORT_RANDOM_FLOAT_RANGE "77e2e0eeaed833f85e86f50e8a534f2d"
#define VORTA_EXPORT_RANDOM_INT_RANGE "971bd780e1fbd136b2d9ba2ba06acf32"
#define VORTA_EXPORT_RANDOM_UNIFORM "7abaa507d068de04a6d02cf7cc93bcf8"
#define VORTA_EXPORT_RANDOM_NORMAL "be8cbfea62a4546bc3b7e572752b10ad"
#define VORTA_EXPORT_RANDOM_BERNOULLI "c676dd65244aec43c051088e9d039557"
#define VORTA_EXPORT_LSTM_STEP "5b163733f3ff4797c5678d062304293f"
#define VORTA_EXPORT_ROIALIGN_ALIGN "a017c4b8a0fddbc4d906a45fea456018"

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

/* parameterised maps, categorical sampling, small utilities */
/* The infinity test (direct loop): 1 where x = -inf with detectNegative or x = +inf with detectPositive. */
typedef struct VORTA_PACKED VortaInfinityTestJob {
  const float* input;
  int32_t* output;
  uint8_t detectNegative;
  uint8_t detectPositive;
} VortaInfinityTestJob;
VORTA_CHECK_OFFSET(VortaInfinityTestJob, input, 0);
VORTA_CHECK_OFFSET(VortaInfinityTestJob, output, 8);
VORTA_CHECK_OFFSET(VortaInfinityTestJob, detectNegative, 16);
VORTA_CHECK_OFFSET(VortaInfinityTestJob, detectPositive, 17);
VORTA_CHECK_SIZE(VortaInfinityTestJob, 18);

/* Dequantize (direct loop): float(int(x) - int(zeroPoint)) * scale. */
typedef struct VORTA_PACKED VortaDequantizeJob {
  const uint8_t* input;
  float* output;
  float scale;
  uint8_t zeroPoint;
} VortaDequantizeJob;
VORTA_CHECK_OFFSET(VortaDequantizeJob, input, 0);
VORTA_CHECK_OFFSET(VortaDequantizeJob, output, 8);
VORTA_CHECK_OFFSET(VortaDequantizeJob, scale, 16);
VORTA_CHECK_OFFSET(VortaDequantizeJob, zeroPoint, 20);
VORTA_CHECK_SIZE(VortaDequantizeJob, 21);

/* One class index per sample, from the host's uniforms in (0, 1]. */
typedef struct VORTA_PACKED VortaCategoricalSampleJob {
  const float* probabilities;  /* rows x classCount */
  const float* uniforms;       /* one per sample */
  int32_t* output;             /* one per sample; -1 for u <= 0 or no classes */
  int32_t samplesPerRow;
  int32_t classCount;
} VortaCategoricalSampleJob;
VORTA_CHECK_OFFSET(VortaCategoricalSampleJob, probabilities, 0);
VORTA_CHECK_OFFSET(VortaCategoricalSampleJob, uniforms, 8);
VORTA_CHECK_OFFSET(VortaCategoricalSampleJob, output, 16);
VORTA_CHECK_OFFSET(VortaCategoricalSampleJob, samplesPerRow, 24);
VORTA_CHECK_OFFSET(VortaCategoricalSampleJob, classCount, 28);
VORTA_CHECK_SIZE(VortaCategoricalSampleJob, 32);

/* The (batch, class, box) triples of the selection job's rows. */
typedef struct VORTA_PACKED VortaSelectedBoxList {
  const int32_t* selected;  /* rowStride entries per (batch, class) row */
  int32_t* triples;         /* sized for maxTotal + maxPerRow - 1 triples */
  int32_t* countOut;
  int32_t batches;
  int32_t classes;
  int32_t rowStride;
  int32_t maxTotal;         /* tested before each row */
  int32_t maxPerRow;        /* entries scanned per row, at most rowStride */
} VortaSelectedBoxList;
VORTA_CHECK_OFFSET(VortaSelectedBoxList, selected, 0);
VORTA_CHECK_OFFSET(VortaSelectedBoxList, triples, 8);
VORTA_CHECK_OFFSET(VortaSelectedBoxList, countOut, 16);
VORTA_CHECK_OFFSET(VortaSelectedBoxList, batches, 24);
VORTA_CHECK_OFFSET(VortaSelectedBoxList, classes, 28);
VORTA_CHECK_OFFSET(VortaSelectedBoxList, rowStride, 32);
VORTA_CHECK_OFFSET(VortaSelectedBoxList, maxTotal, 36);
VORTA_CHECK_OFFSET(VortaSelectedBoxList, maxPerRow, 40);
VORTA_CHECK_SIZE(VortaSelectedBoxList, 44);

typedef struct VORTA_PACKED VortaZeroFillArgs {
  float* target;
  int32_t count;
} VortaZeroFillArgs;
VORTA_CHECK_OFFSET(VortaZeroFillArgs, target, 0);
VORTA_CHECK_OFFSET(VortaZeroFillArgs, count, 8);
VORTA_CHECK_SIZE(VortaZeroFillArgs, 12);

typedef void(VORTA_CALL* VortaSelectedBoxListFn)(VortaSelectedBoxList* list);
typedef void(VORTA_CALL* VortaZeroFillFn)(VortaZeroFillArgs* args);
typedef int32_t(VORTA_CALL* VortaControlStateFn)(void);
typedef int32_t(VORTA_CALL* VortaConstantFn)(void);

#define VORTA_EXPORT_PARAM_MAPS_HARD_SIGMOID "25b5e67ed814a09c352f3f8bd740158a"
#define VORTA_EXPORT_PARAM_MAPS_GELU_ERF "6a1a15166a713494725f736b309ea09c"
#define VORTA_EXPORT_PARAM_MAPS_SHRINK "b77c146dcca948db4af46fb7e9a9f990"
#define VORTA_EXPORT_PARAM_MAPS_INFINITY_TEST "fb359bac1f50adcf5f7c494ab23fa92f"
#define VORTA_EXPORT_PARAM_MAPS_HALF_TO_FLOAT "8c1c951f37090bc4e253a51a730d379e"
#define VORTA_EXPORT_PARAM_MAPS_DEQUANTIZE "976e721b1cee34cb9a0a18713007d95c"
#define VORTA_EXPORT_PARAM_MAPS_CATEGORICAL "8c2ccac585e309d9d4ea299ce86777c1"
#define VORTA_EXPORT_PARAM_MAPS_SELECTED_BOXES "50970791a862b9be897e56bca73d75aa"
#define VORTA_EXPORT_PARAM_MAPS_ZERO_FILL "7ee0840501e1ece411ccbd0aba89d87b"
#define VORTA_EXPORT_PARAM_MAPS_CONTROL_STATE "89425a97f3f500fa810ad03f0c382542"
#define VORTA_EXPORT_PARAM_MAPS_CONSTANT "75dfe5e48c0de75417d213538a382b19"


#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
