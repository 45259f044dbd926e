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

/* A host that links the library (-lvorta, or vorta::vorta) instead of loading
 * it with dlopen can name the exports directly: define VORTA_LINKED before
 * including this header, then call vorta_initialize, and declare each kernel
 * it uses under a C name, e.g.
 *   VORTA_DECLARE_JOB(vorta_relu, VORTA_EXPORT_MAPS_RELU);
 * A host that loads the library looks the same names up with dlsym. */
#ifdef VORTA_LINKED
VORTA_CALL void vorta_initialize(VortaResolver resolver) __asm__(VORTA_EXPORT_INITIALIZE);
#define VORTA_DECLARE_JOB(cname, exportName)                                       \
  VORTA_CALL void cname(void* record, void* additional, void* patch,               \
                        VortaBatchRanges* ranges, uint32_t jobIndex) __asm__("\"" exportName "\"")
#endif

/* ---- host services --------------------------------------------------------
 * The resolver is asked for each of these names (possibly many times) and must
 * return the same callable address every time. Every service must be callable
 * from any thread at the same time, and uses VORTA_CALL. */
#define VORTA_SERVICE_GET_WORK_STEALING_RANGE \
  "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange"
#define VORTA_SERVICE_GET_THREAD_INDEX_COUNT \
  "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::get_ThreadIndexCount"
#define VORTA_SERVICE_MALLOC "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Malloc"
#define VORTA_SERVICE_MALLOC_TRACKED "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MallocTracked"
#define VORTA_SERVICE_FREE "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Free"
#define VORTA_SERVICE_FREE_TRACKED "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::FreeTracked"
#define VORTA_SERVICE_MEMCPY_REPLICATE \
  "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MemCpyReplicate"
#define VORTA_SERVICE_GET_OR_CREATE_SHARED_MEMORY \
  "Orvex.Vorta.LowLevel.VortaCompilerService::GetOrCreateSharedMemory"
#define VORTA_SERVICE_ABORT "vorta_abort"
#define VORTA_SERVICE_GET_LOCAL_SCALE "OrvexEngine.Jobs.TransformAccess::GetLocalScale"
#define VORTA_SERVICE_GET_LOCAL_TO_WORLD_MATRIX \
  "OrvexEngine.Jobs.TransformAccess::GetLocalToWorldMatrix"
#define VORTA_SERVICE_GET_POSITION "OrvexEngine.Jobs.TransformAccess::GetPosition"
#define VORTA_SERVICE_GET_ROTATION "OrvexEngine.Jobs.TransformAccess::GetRotation"
#define VORTA_SERVICE_GET_SORTED_TO_USER_INDEX \
  "OrvexEngine.Jobs.TransformAccessArray::GetSortedToUserIndex"
#define VORTA_SERVICE_GET_SORTED_TRANSFORM_ACCESS \
  "OrvexEngine.Jobs.TransformAccessArray::GetSortedTransformAccess"
#define VORTA_SERVICE_HALF_TO_FLOAT "OrvexEngine.Mathf::HalfToFloat"
#define VORTA_SERVICE_FLOAT_TO_HALF "OrvexEngine.Mathf::FloatToHalf"
#define VORTA_SERVICE_QUATERNION_INVERSE "OrvexEngine.Quaternion::Inverse_Injected"
#define VORTA_SERVICE_VECTOR3_SLERP "OrvexEngine.Vector3::Slerp_Injected"

/* Hands out the next half-open batch [*begin, *end) of a job to the caller:
 * true (in the low byte) when it wrote one, false once the work is exhausted.
 * Each index goes to exactly one call. */
typedef uintptr_t(VORTA_CALL* VortaGetWorkStealingRangeFn)(VortaBatchRanges* ranges,
                                                           uint32_t jobIndex, int32_t* begin,
                                                           int32_t* end);
/* The number of worker thread indices (the low 16 bits are used). */
typedef uint32_t(VORTA_CALL* VortaGetThreadIndexCountFn)(void);
/* Untracked scratch memory: alignment 64 and allocator 2 in every call. */
typedef void*(VORTA_CALL* VortaMallocFn)(uint64_t size, uint32_t alignment, uint32_t allocator);
typedef void(VORTA_CALL* VortaFreeFn)(void* pointer, uint32_t allocator);
/* Container memory under an allocator handle (see below); `zero` is always 0. */
typedef void*(VORTA_CALL* VortaMallocTrackedFn)(uint64_t size, uint32_t alignment,
                                                uint32_t handle, uint32_t zero);
typedef void(VORTA_CALL* VortaFreeTrackedFn)(void* pointer, uint32_t handle);
/* Writes `count` back-to-back copies of the `size`-byte block at `source`. */
typedef void(VORTA_CALL* VortaMemCpyReplicateFn)(void* destination, const void* source,
                                                 uint32_t size, uint32_t count);
/* The same block for the same 16-byte key for the life of the process. */
typedef void*(VORTA_CALL* VortaGetOrCreateSharedMemoryFn)(const void* key16, uint32_t size,
                                                          uint32_t alignment);
/* Raises the named exception ("System.ArgumentException", ...) with the message;
 * never returns to the kernel. */
typedef void(VORTA_CALL* VortaAbortFn)(const char* exceptionType, const char* message);
/* The transform job's queries: the array queries take the array handle, the
 * per-transform queries a 16-byte transform access value and an output buffer
 * (float3 position or local scale, float4 rotation, float4x4 column-major matrix). */
typedef int32_t*(VORTA_CALL* VortaGetSortedToUserIndexFn)(uintptr_t arrayHandle);
typedef void*(VORTA_CALL* VortaGetSortedTransformAccessFn)(uintptr_t arrayHandle);
typedef void(VORTA_CALL* VortaTransformQueryFn)(const void* access16, float* output);
/* Half-precision bit patterns in the low 16 bits. */
typedef float(VORTA_CALL* VortaHalfToFloatFn)(uint32_t half);
typedef uint32_t(VORTA_CALL* VortaFloatToHalfFn)(float value);
/* Quaternions are (x, y, z, w), 3-vectors three floats. */
typedef void(VORTA_CALL* VortaQuaternionInverseFn)(const float* q, float* out);
typedef void(VORTA_CALL* VortaVector3SlerpFn)(const float* a, const float* b, float t,
                                              float* out);

/* ---- allocator handles ------------------------------------------------------
 * Container memory is owned through a 32-bit handle: the low 16 bits are the
 * allocator index, the high 16 bits its version. Indices below 64 are the
 * host's own allocators and go to MallocTracked / FreeTracked; 64 and above
 * are custom allocators, called through the allocator table in the host's
 * shared memory. The handle values 0 and 1 (index 0 or 1, version 0) own no
 * memory: nothing is ever released through them. */
#define VORTA_ALLOCATOR_INDEX(handle) ((uint32_t)(handle)&0xFFFFu)
#define VORTA_ALLOCATOR_VERSION(handle) ((uint32_t)(handle) >> 16)
#define VORTA_FIRST_CUSTOM_ALLOCATOR 64u

/* ---- element-wise maps and casts, transcendental maps ----------------------
 * Job kernels over `length` indices (the span loop: element i of the batch is
 * input[i] -> output[i]); the casts between widths read and write their own
 * element types. */
typedef struct VORTA_PACKED VortaUnaryMapJob {
  const void* input;
  void* output;
  int32_t length;  /* the host schedules exactly this many indices */
  uint32_t param0; /* float or int32, per member */
  uint32_t param1;
} VortaUnaryMapJob;
VORTA_CHECK_OFFSET(VortaUnaryMapJob, input, 0);
VORTA_CHECK_OFFSET(VortaUnaryMapJob, output, 8);
VORTA_CHECK_OFFSET(VortaUnaryMapJob, length, 16);
VORTA_CHECK_OFFSET(VortaUnaryMapJob, param0, 20);
VORTA_CHECK_OFFSET(VortaUnaryMapJob, param1, 24);
VORTA_CHECK_SIZE(VortaUnaryMapJob, 28);

/* The int32 clip keeps its bounds further on; bytes 20 to 31 are not read. */
typedef struct VORTA_PACKED VortaClipInt32Job {
  const void* input;
  void* output;
  int32_t length;
  uint8_t unused[12];
  int32_t lo;
  int32_t hi;
} VortaClipInt32Job;
VORTA_CHECK_OFFSET(VortaClipInt32Job, length, 16);
VORTA_CHECK_OFFSET(VortaClipInt32Job, lo, 32);
VORTA_CHECK_OFFSET(VortaClipInt32Job, hi, 36);
VORTA_CHECK_SIZE(VortaClipInt32Job, 40);

/* Members without a length: the job index is the element index. */
typedef struct VORTA_PACKED VortaDirectMapJob {
  const void* input;
  void* output;
} VortaDirectMapJob;
VORTA_CHECK_OFFSET(VortaDirectMapJob, output, 8);
VORTA_CHECK_SIZE(VortaDirectMapJob, 16);

typedef struct VORTA_PACKED VortaQuantizeJob {
  const void* input;
  void* output;
  float scale;
  int32_t zeroPoint;
} VortaQuantizeJob;
VORTA_CHECK_OFFSET(VortaQuantizeJob, scale, 16);
VORTA_CHECK_OFFSET(VortaQuantizeJob, zeroPoint, 20);
VORTA_CHECK_SIZE(VortaQuantizeJob, 24);

#define VORTA_EXPORT_MAPS_ABS_INT32 "afb22a5c332cb75fc97b66447e14a7f0"
#define VORTA_EXPORT_MAPS_AFFINE "b8efe427af5d21e61c2043d0c7279cbe"
#define VORTA_EXPORT_MAPS_BIT_REMAP_INT32 "31df84733eb331756f38852bda5d2be3"
#define VORTA_EXPORT_MAPS_CAST_BOOL_TO_INT32 "507094e60c973478328fd9c1f3e04bb0"
#define VORTA_EXPORT_MAPS_CAST_FLOAT_TO_HALF "f1a167c77318f3f70ee2def7cd78c7d1"
#define VORTA_EXPORT_MAPS_CAST_FLOAT_TO_INT32 "f45f6974b804afa8eb43e85f37814ea8"
#define VORTA_EXPORT_MAPS_CAST_HALF_TO_FLOAT "f4a715f22671445f23ed87701a946acc"
#define VORTA_EXPORT_MAPS_CAST_INT32_TO_FLOAT "860b26c35bf03c0fd099aaad218c9f9a"
#define VORTA_EXPORT_MAPS_CAST_INT64_TO_INT32 "5a8195855c917bded1bc58f43e4f582b"
#define VORTA_EXPORT_MAPS_CAST_INT8_TO_INT32 "494c00e028c78ce5e6e3d28e6d152cf9"
#define VORTA_EXPORT_MAPS_CAST_UINT8_TO_INT32 "3f3e595dfbd29d9f4619cf21160f8525"
#define VORTA_EXPORT_MAPS_CEIL_FLOAT "21fdf7b97fb4c03229a317127b6f9d66"
#define VORTA_EXPORT_MAPS_CLIP_FLOAT "2bf3b5adcef8bedbff1dc02f2da42aef"
#define VORTA_EXPORT_MAPS_CLIP_INT32 "4476e9dc48ba7b9b080efd28587f22da"
#define VORTA_EXPORT_MAPS_FLOOR_FLOAT "4d4290c89041769105aaf793e5298fc9"
#define VORTA_EXPORT_MAPS_HARD_SWISH "0c96f9187bce74a674ef614fd2e66fae"
#define VORTA_EXPORT_MAPS_IN_PLACE_PASS "eaba6933d2d88790529637c6502ff876"
#define VORTA_EXPORT_MAPS_IS_NAN "ec8e632558c6c99ed03f567f8c5ac752"
#define VORTA_EXPORT_MAPS_LOGICAL_NOT_INT32 "0c533845cb57ee9f2305277465802bcb"
#define VORTA_EXPORT_MAPS_NEGATE_INT32 "51b43e2ad2a5c63d82e2b64a59f411c8"
#define VORTA_EXPORT_MAPS_QUANTIZE_UINT8 "353998124a81e4ce2738964b567616a8"
#define VORTA_EXPORT_MAPS_RECIPROCAL_FLOAT "9d4725941b6345ecf6e8dd07e6222c22"
#define VORTA_EXPORT_MAPS_RELU "13790fdabb36dc7bfcda4e03844df92c"
#define VORTA_EXPORT_MAPS_RELU6 "026a35c3466e0631f7df8dc4da3bc0b7"
#define VORTA_EXPORT_MAPS_ROUND_FLOAT "8ce0d156ff177b4381cdeab0833c612b"
#define VORTA_EXPORT_MAPS_SIGN_INT32 "b40054c77f54c855114643e4d3f0a9b3"
#define VORTA_EXPORT_MAPS_SOFT_SIGN "93f767472340edb806c7ecb657e21dd8"
#define VORTA_EXPORT_MAPS_SQRT_FLOAT "f5a3cbe1edce2a38664faa582f7a2d5f"
#define VORTA_EXPORT_MAPS_SQUARE_FLOAT "13e99a3aaeba09bd49d8f11c8e71d476"
#define VORTA_EXPORT_MAPS_SQUARE_INT32 "0a1ed481c09f9eccd5bdf517763a9ac0"
#define VORTA_EXPORT_MAPS_THRESHOLDED_RELU "c530ff65dd8f88a77c26dba5e1624ec7"
#define VORTA_EXPORT_MAPS_TWO_SLOPE "668f42f3123253bc693961feee1ea324"
#define VORTA_EXPORT_TRANSCENDENTAL_ACOS "3a67e31c820990965f348da891c8e8c8"
#define VORTA_EXPORT_TRANSCENDENTAL_ACOSH "40e60662bbb857fecb0ef789869cd70f"
#define VORTA_EXPORT_TRANSCENDENTAL_ASINH "674d2530ea3be739e653679a1da0c858"
#define VORTA_EXPORT_TRANSCENDENTAL_ATANH "077b975dd17f8f4f8f9eb22afdd6bec1"
#define VORTA_EXPORT_TRANSCENDENTAL_CELU "f2242c0f1a438012f7483e8f0c0d5590"
#define VORTA_EXPORT_TRANSCENDENTAL_COS "d44be5bb72affe6e344a03cda95193e3"
#define VORTA_EXPORT_TRANSCENDENTAL_COSH "165457d309c58244a85dfa4a3d9ce5f0"
#define VORTA_EXPORT_TRANSCENDENTAL_ELU "df971a3ed8f42e32115e565e2b69a668"
#define VORTA_EXPORT_TRANSCENDENTAL_ERF "a7d00f57547e87c2d3dedeab1844ebc3"
#define VORTA_EXPORT_TRANSCENDENTAL_EXP "cedd2e3f2b630df26122234f45d119f2"
#define VORTA_EXPORT_TRANSCENDENTAL_GELU_TANH "c302c26a0e34eb765a4fb73cc154a5c3"
#define VORTA_EXPORT_TRANSCENDENTAL_LOG "29a71135744d92b45e5cef7f5d12faf4"
#define VORTA_EXPORT_TRANSCENDENTAL_SIGMOID "b95f301ac2b2dd8bc0cb8ff1afe617e4"
#define VORTA_EXPORT_TRANSCENDENTAL_SIN "628b12e6708ed6a5c7ba8b1d922aa9c2"
#define VORTA_EXPORT_TRANSCENDENTAL_SINH "e787cc9adaad9d84c5e7ceea6ea715c6"
#define VORTA_EXPORT_TRANSCENDENTAL_SOFTPLUS "7ceb1552fd6f2c70e747d959f1bdec4b"
#define VORTA_EXPORT_TRANSCENDENTAL_SWISH "7dd6e375cb7a477bd64dc9adb409081e"
#define VORTA_EXPORT_TRANSCENDENTAL_TAN "db78eb029ccf73bb99dc94c03110c8b1"
#define VORTA_EXPORT_TRANSCENDENTAL_TANH "8e1c9ec55e1a345a1c14c4a41afb3ba6"

/* ---- broadcast two-input operators -----------------------------------------
 * Two odometers over the flat output, one per input, digit 0 innermost. For
 * digit k of input X: dimsX[k] is its extent; stepsX[0] is 1 when X streams
 * along the innermost digit and 0 when it stays on one element; stepsX[k] for
 * k >= 1 is the change of X's element offset when digit k goes up by one and
 * every lower digit wraps to 0. The job runs over the output's elements. */
typedef struct VortaBroadcastLayout {
  int32_t dimsA[8];
  int32_t stepsA[8];
  int32_t rankA;  /* 1 to 8 */
  int32_t unused; /* the host's; never read */
  int32_t dimsB[8];
  int32_t stepsB[8];
  int32_t rankB;
} VortaBroadcastLayout;
VORTA_CHECK_OFFSET(VortaBroadcastLayout, stepsA, 32);
VORTA_CHECK_OFFSET(VortaBroadcastLayout, rankA, 64);
VORTA_CHECK_OFFSET(VortaBroadcastLayout, dimsB, 72);
VORTA_CHECK_OFFSET(VortaBroadcastLayout, stepsB, 104);
VORTA_CHECK_OFFSET(VortaBroadcastLayout, rankB, 136);
VORTA_CHECK_SIZE(VortaBroadcastLayout, 140);

typedef struct VORTA_PACKED VortaBroadcastBinaryJob {
  const void* inputA;
  const void* inputB;
  void* output; /* output index i is element i */
  VortaBroadcastLayout layout;
} VortaBroadcastBinaryJob;
VORTA_CHECK_OFFSET(VortaBroadcastBinaryJob, inputB, 8);
VORTA_CHECK_OFFSET(VortaBroadcastBinaryJob, output, 16);
VORTA_CHECK_OFFSET(VortaBroadcastBinaryJob, layout, 24);
VORTA_CHECK_SIZE(VortaBroadcastBinaryJob, 164);

typedef struct VORTA_PACKED VortaBroadcastWeightedSumJob {
  const void* inputA;
  const void* inputB;
  void* output;
  float alpha;
  float beta;
  VortaBroadcastLayout layout;
} VortaBroadcastWeightedSumJob;
VORTA_CHECK_OFFSET(VortaBroadcastWeightedSumJob, alpha, 24);
VORTA_CHECK_OFFSET(VortaBroadcastWeightedSumJob, beta, 28);
VORTA_CHECK_OFFSET(VortaBroadcastWeightedSumJob, layout, 32);
VORTA_CHECK_SIZE(VortaBroadcastWeightedSumJob, 172);

#define VORTA_EXPORT_BROADCAST_ADD_FLOAT "0dbd2aae5802a4d7fc81ee138e5540af"
#define VORTA_EXPORT_BROADCAST_ADD_INT32 "79db02dca0472b1c60c75d4e5c4d9844"
#define VORTA_EXPORT_BROADCAST_AND_INT32 "e607c17e21335de4331ed08a85f07444"
#define VORTA_EXPORT_BROADCAST_DIVIDE_FLOAT "240e15b25079787f3717de0739449f12"
#define VORTA_EXPORT_BROADCAST_DIVIDE_INT32 "26e76ae9f4cd1cc4bd6430bde1ae5a7c"
#define VORTA_EXPORT_BROADCAST_EQUAL_FLOAT "d4cd74c1e37fb9b51348b12ea9986e58"
#define VORTA_EXPORT_BROADCAST_EQUAL_INT32 "706b13dcb46f2acca6c3f0e8a9956971"
#define VORTA_EXPORT_BROADCAST_GREATER_EQUAL_FLOAT "2f8d3a8ac93747f418f40f8184cefda3"
#define VORTA_EXPORT_BROADCAST_GREATER_EQUAL_INT32 "8e6d0e7857fac4f4be9c42f077950f77"
#define VORTA_EXPORT_BROADCAST_GREATER_FLOAT "02fb511797f099c557b4ce37b95f2258"
#define VORTA_EXPORT_BROADCAST_GREATER_INT32 "0b084ec759f5dd9663ac695f6df0ec60"
#define VORTA_EXPORT_BROADCAST_LESS_EQUAL_FLOAT "526eb12769d96756f50cdb853fc534ce"
#define VORTA_EXPORT_BROADCAST_LESS_EQUAL_INT32 "aa00f41216fc19fb12f9e5adf4459cc5"
#define VORTA_EXPORT_BROADCAST_LESS_FLOAT "b780850da158a830d0c46222b36d3a43"
#define VORTA_EXPORT_BROADCAST_LESS_INT32 "0d3422cc2aca18dfa7b90f8e4736bd91"
#define VORTA_EXPORT_BROADCAST_MAX_FLOAT "0935bf79e4bed599e0ec29d60524fb7a"
#define VORTA_EXPORT_BROADCAST_MAX_INT32 "9b72e9d06aead2c1f8d00e6e7a308836"
#define VORTA_EXPORT_BROADCAST_MIN_FLOAT "14d2d62b5bc9f27a0b4dc7f2ec201f2c"
#define VORTA_EXPORT_BROADCAST_MIN_INT32 "6690658aa2cda1e06c0d3782e820a364"
#define VORTA_EXPORT_BROADCAST_MODULO_FLOAT "d7ff0aa558cb508f9ffdc4f8ad182f76"
#define VORTA_EXPORT_BROADCAST_MODULO_INT32 "2594b37bdb04d923f0a7605987b0cee7"
#define VORTA_EXPORT_BROADCAST_MULTIPLY_FLOAT "226e230832482eefb14902f4a6f24133"
#define VORTA_EXPORT_BROADCAST_MULTIPLY_INT32 "2b64cacca121522da54a66a965cd9bfd"
#define VORTA_EXPORT_BROADCAST_OR_INT32 "8de51a8ee99b498f0d7dc97bb645620b"
#define VORTA_EXPORT_BROADCAST_PRELU "87e5b5da845c168ae9e380ea7d01ac5e"
#define VORTA_EXPORT_BROADCAST_POW "11c75a95519497554d1b247344c0479e"
#define VORTA_EXPORT_BROADCAST_POW_INT "a29e3ed4c23b16a9c9f13bfb76f6d92d"
#define VORTA_EXPORT_BROADCAST_REMAINDER_FLOAT "f34f822f5ef053ac563d4d74358f43a5"
#define VORTA_EXPORT_BROADCAST_REMAINDER_INT32 "a6372d4404aa225313b1e54175e91862"
#define VORTA_EXPORT_BROADCAST_SUBTRACT_FLOAT "52047ee84608b5bc17dd128c215a740d"
#define VORTA_EXPORT_BROADCAST_SUBTRACT_INT32 "aff74ae6db9b7b4ba08a34c21ea8c670"
#define VORTA_EXPORT_BROADCAST_WEIGHTED_SUM "eb87d33488e1d3b0f5bce0ae2dc0f911"
#define VORTA_EXPORT_BROADCAST_XOR_INT32 "8eea2c4aac9cd21daa7996eb1f70c05e"

/* ---- axis reductions --------------------------------------------------------
 * The input is a dense row-major block [outer][N][S] and the output [outer][S];
 * the host runs the job over outer x S output indices. */
typedef struct VORTA_PACKED VortaAxisReduceJob {
  const void* input;
  void* output;
  int32_t N; /* elements along the reduced axis, at least 1 */
  int32_t S; /* inner size: the distance between neighbours along the axis, at least 1 */
} VortaAxisReduceJob;
VORTA_CHECK_OFFSET(VortaAxisReduceJob, input, 0);
VORTA_CHECK_OFFSET(VortaAxisReduceJob, output, 8);
VORTA_CHECK_OFFSET(VortaAxisReduceJob, N, 16);
VORTA_CHECK_OFFSET(VortaAxisReduceJob, S, 20);
VORTA_CHECK_SIZE(VortaAxisReduceJob, 24);

/* The mean members also leave 1/N in the record (written on every batch). */
typedef struct VORTA_PACKED VortaAxisMeanJob {
  const void* input;
  void* output;
  int32_t N;
  int32_t S;
  float reciprocal;
  uint32_t padding; /* not read or written */
} VortaAxisMeanJob;
VORTA_CHECK_OFFSET(VortaAxisMeanJob, N, 16);
VORTA_CHECK_OFFSET(VortaAxisMeanJob, S, 20);
VORTA_CHECK_OFFSET(VortaAxisMeanJob, reciprocal, 24);
VORTA_CHECK_SIZE(VortaAxisMeanJob, 32);

#define VORTA_EXPORT_REDUCTIONS_L1_FLOAT "3f5404510fcde213f92a1db8e42b83af"
#define VORTA_EXPORT_REDUCTIONS_L1_INT32 "01fe47faaa32ad5e6357fec79fcfcbcf"
#define VORTA_EXPORT_REDUCTIONS_L2_FLOAT "62366e2f02f59c02e9f0ca5cd56164cc"
#define VORTA_EXPORT_REDUCTIONS_LOG_SUM_EXP_FLOAT "5be07dec52598d8743f7bd4390735645"
#define VORTA_EXPORT_REDUCTIONS_LOG_SUM_FLOAT "30f539984eb55932be7088c160f34c27"
#define VORTA_EXPORT_REDUCTIONS_MAX_FLOAT "8bc7898e8c55f1392509b19b7a4bf42c"
#define VORTA_EXPORT_REDUCTIONS_MAX_INT32 "c87a2def43234dfd89be0aa0ef1d272a"
#define VORTA_EXPORT_REDUCTIONS_MEAN_FLOAT "b68e65c7c4c639fc9e305b2bb03f7627"
#define VORTA_EXPORT_REDUCTIONS_MEAN_SQUARE_FLOAT "20c6f9570635136f5bedecc786bfd2cd"
#define VORTA_EXPORT_REDUCTIONS_MIN_FLOAT "d5f536006d40ea2b1fe8bb708f0c3be2"
#define VORTA_EXPORT_REDUCTIONS_MIN_INT32 "219c6f9f32b0cc50bb7765bd5bc8c83b"
#define VORTA_EXPORT_REDUCTIONS_PRODUCT_FLOAT "2ee13bdeadc3b45c081bca4d7be301c6"
#define VORTA_EXPORT_REDUCTIONS_PRODUCT_INT32 "9f8d620db8e4f17047be0a789392d146"
#define VORTA_EXPORT_REDUCTIONS_SQRT_SUM_FLOAT "c63e94831c61d518b3c5eaf1377ad057"
#define VORTA_EXPORT_REDUCTIONS_SUM_FLOAT "5901fd9e1f406d5759027d92b5dc8990"
#define VORTA_EXPORT_REDUCTIONS_SUM_INT32 "79e652835de9745a2082c973fda008ad"
#define VORTA_EXPORT_REDUCTIONS_SUM_SQUARE_FLOAT "0e7912937c55a2aae7f0be541da365f0"
#define VORTA_EXPORT_REDUCTIONS_SUM_SQUARE_INT32 "3689fadd9b012eca6d135baa126b08a7"

/* ---- XXH3 hashing with copy (direct calls) ----------------------------------
 * Inputs longer than 240 bytes; when destination is not null the input is also
 * copied there (length bytes, not overlapping the input). The 128-bit form
 * writes the low half first to result and returns result. */
typedef uint64_t(VORTA_CALL* VortaXxh3Hash64WithCopyFn)(const uint8_t* input, uint8_t* destination,
                                                         int64_t length, const uint8_t* secret);
typedef uint64_t*(VORTA_CALL* VortaXxh3Hash128WithCopyFn)(const uint8_t* input,
                                                           uint8_t* destination, int64_t length,
                                                           const uint8_t* secret,
                                                           uint64_t* result);
#define VORTA_EXPORT_XXH3_HASH128_WITH_COPY "f7daf29273ab2f86d86c27c3a1d6eeb5"
#define VORTA_EXPORT_XXH3_HASH64_WITH_COPY "93df17b7366cd622dfa5ea2d3c75cf0b"

/* ---- container disposal (direct calls) ---------------------------------------
 * Each takes the address of the container's record (or header slot) and
 * releases what it owns under its allocator handle; the nothing member takes no
 * argument. */
typedef void(VORTA_CALL* VortaDisposeFn)(void* record);
typedef void(VORTA_CALL* VortaDisposeNothingFn)(void);
#define VORTA_EXPORT_DISPOSAL_BIT_ARRAY "9ec4cbd609d0ce32be9a43e477fa08be"
#define VORTA_EXPORT_DISPOSAL_BLOCK_LIST "1d663b8d3110406501ef71e24cbc8c20"
#define VORTA_EXPORT_DISPOSAL_BLOCK_LIST_2 "ca60ab232d19a9f4380a530fa0d222cf"
#define VORTA_EXPORT_DISPOSAL_BOXED_BUFFER "36a800eeeae3c643da5520fa383c8c70"
#define VORTA_EXPORT_DISPOSAL_BOXED_BUFFER_2 "59142aef52ef9b6ab273da58974494a1"
#define VORTA_EXPORT_DISPOSAL_HASH_CONTAINER "027d1c28103a1381ae64161c5340b997"
#define VORTA_EXPORT_DISPOSAL_LIST "4a1dc7df3f09b836e86a41d0d8fb4229"
#define VORTA_EXPORT_DISPOSAL_NOTHING "660453e77e7446c547511a17e62a4458"
#define VORTA_EXPORT_DISPOSAL_QUEUE "68a8ea65a4f1ea752d1138be3be73a9a"
#define VORTA_EXPORT_DISPOSAL_QUEUE_DATA "9158ad0c7b1f439e6e4b8e153f6320c3"
#define VORTA_EXPORT_DISPOSAL_RING_QUEUE "b223785fcbdbe4a27e2d3722e3db36c3"
#define VORTA_EXPORT_DISPOSAL_SINGLE_ALLOCATION "baf840f8150b604b0fd300ceb19dd50e"
#define VORTA_EXPORT_DISPOSAL_SINGLE_ALLOCATION_INDEX_ONLY "276b96e48754d7f5ba865bd7f5b37c11"
#define VORTA_EXPORT_DISPOSAL_TEXT "760037f9e4b42ec56ef1759249aa8afe"

/* ---- custom allocators -------------------------------------------------------
 * The request record of a custom allocator function, and the function shape an
 * allocator table entry holds: it allocates when `pointer` is null and
 * releases `pointer` otherwise, and returns a status (0 served, -1 cannot
 * serve, -2 over budget). The entry-table kernels take a request record. */
typedef struct VORTA_PACKED VortaAllocationBlock {
  void* pointer;          /* allocation: null in, memory out; release: the memory */
  int32_t items;          /* 1 to allocate, 0 to release */
  uint16_t allocatorIndex;
  uint16_t allocatorVersion;
  int32_t bytesPerItem;   /* allocation: the size; release: the size as allocated */
  int32_t allocatedItems; /* 0 on allocation, 1 on release */
  uint8_t log2Alignment;
  uint8_t reserved[7];
} VortaAllocationBlock;
VORTA_CHECK_OFFSET(VortaAllocationBlock, pointer, 0);
VORTA_CHECK_OFFSET(VortaAllocationBlock, items, 8);
VORTA_CHECK_OFFSET(VortaAllocationBlock, allocatorIndex, 12);
VORTA_CHECK_OFFSET(VortaAllocationBlock, allocatorVersion, 14);
VORTA_CHECK_OFFSET(VortaAllocationBlock, bytesPerItem, 16);
VORTA_CHECK_OFFSET(VortaAllocationBlock, allocatedItems, 20);
VORTA_CHECK_OFFSET(VortaAllocationBlock, log2Alignment, 24);
VORTA_CHECK_SIZE(VortaAllocationBlock, 32);
typedef int32_t(VORTA_CALL* VortaCustomAllocatorFn)(void* state, VortaAllocationBlock* block);
typedef void(VORTA_CALL* VortaAllocateEntryTableFn)(void* request);
#define VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE "164a9957f2c75e5d4b481d1ceff90393"
#define VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE_2 "b78f808503c8b5fe97a83e833bd5871d"
#define VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE_FOR_RECORD "428d454056b9288c93f4435d6e6f7fda"
#define VORTA_EXPORT_ALLOCATORS_ALLOCATE_ENTRY_TABLE_FOR_RECORD_2 "959783104064e8c81fba5d33d94ead01"
#define VORTA_EXPORT_ALLOCATORS_ARENA_ALLOCATOR "cf20d690c33ab495d44c548cd6a31428"
#define VORTA_EXPORT_ALLOCATORS_BUMP_ALLOCATOR "478bf3abafa12cba2083fb45bca79b9c"
#define VORTA_EXPORT_ALLOCATORS_SLAB_ALLOCATOR "2434a4c10d01dbab5e7438b2b580d1d1"
#define VORTA_EXPORT_ALLOCATORS_TRACKING_ALLOCATOR "07fd39dcd121e0de66cd5435146dd2c2"

/* ---- matrix multiplication and convolution -------------------------------- */
/* Batched matrix product: job indices are batches x tilesPerMatrix, each
 * owning a band of the longer side of one output matrix. The panels are
 * scratch the job allocates on first use (or finds set by the host, at least
 * the documented sizes: aPanel tileK x tileM floats, bPanel tileK x tileN). */
typedef struct VORTA_PACKED VortaMatMulJob {
  int32_t aBatchSize[8];  /* divisors of the A batch walk */
  int32_t aBatchStep[8];  /* steps of the A batch walk, in matrices */
  uint8_t unused0[8];
  int32_t bBatchSize[8];
  int32_t bBatchStep[8];
  uint8_t unused1[16];
  const float* aMatrices;
  const float* bMatrices;
  float* outMatrices;  /* one M x N matrix per batch, back to back */
  int32_t M, N, K;
  int32_t lda, ldb, ldc;
  uint8_t transA;  /* A is stored K x M */
  uint8_t transB;  /* B is stored N x K */
  uint8_t accumulate;
  uint8_t unused2[5];
  int32_t tilesPerMatrix;
  int32_t tileM, tileN, tileK;
  /* Scratch, allocated by the job on first use and kept (never released by us). */
  float* aPanel;
  float* bPanel;
  float* cTile;
} VortaMatMulJob;
VORTA_CHECK_OFFSET(VortaMatMulJob, aBatchStep, 32);
VORTA_CHECK_OFFSET(VortaMatMulJob, bBatchSize, 72);
VORTA_CHECK_OFFSET(VortaMatMulJob, bBatchStep, 104);
VORTA_CHECK_OFFSET(VortaMatMulJob, aMatrices, 152);
VORTA_CHECK_OFFSET(VortaMatMulJob, bMatrices, 160);
VORTA_CHECK_OFFSET(VortaMatMulJob, outMatrices, 168);
VORTA_CHECK_OFFSET(VortaMatMulJob, M, 176);
VORTA_CHECK_OFFSET(VortaMatMulJob, N, 180);
VORTA_CHECK_OFFSET(VortaMatMulJob, K, 184);
VORTA_CHECK_OFFSET(VortaMatMulJob, lda, 188);
VORTA_CHECK_OFFSET(VortaMatMulJob, ldb, 192);
VORTA_CHECK_OFFSET(VortaMatMulJob, ldc, 196);
VORTA_CHECK_OFFSET(VortaMatMulJob, transA, 200);
VORTA_CHECK_OFFSET(VortaMatMulJob, transB, 201);
VORTA_CHECK_OFFSET(VortaMatMulJob, accumulate, 202);
VORTA_CHECK_OFFSET(VortaMatMulJob, tilesPerMatrix, 208);
VORTA_CHECK_OFFSET(VortaMatMulJob, tileM, 212);
VORTA_CHECK_OFFSET(VortaMatMulJob, tileN, 216);
VORTA_CHECK_OFFSET(VortaMatMulJob, tileK, 220);
VORTA_CHECK_OFFSET(VortaMatMulJob, aPanel, 224);
VORTA_CHECK_OFFSET(VortaMatMulJob, bPanel, 232);
VORTA_CHECK_OFFSET(VortaMatMulJob, cTile, 240);
VORTA_CHECK_SIZE(VortaMatMulJob, 248);

/* Grouped convolution over two or three spatial dimensions with bias and a
 * lower clamp: job indices are images x groups x tilesPerImage, a tile being
 * 120 output positions (or 64 output channels when there are more channels
 * than positions). */
typedef struct VORTA_PACKED VortaConvJob {
  const float* input;    /* [images][groups * inChannels][inPlane] */
  float* output;         /* [images][groups * outChannels][outSpatial] */
  const float* bias;     /* one per output channel */
  const float* weights;  /* [groups * outChannels][inChannels * kernelSize] */
  uint8_t hasBias;
  uint8_t unused0[3];
  int32_t tilesPerImage;  /* job indices per (image, group) */
  uint8_t unused1[4];
  int32_t groups;
  int32_t inChannels;   /* per group */
  int32_t outChannels;  /* per group */
  int32_t spatialRank;  /* 2 or less: two spatial dimensions, else three */
  int32_t inPlane;
  int32_t kernelSize;
  int32_t outSpatial;
  /* Extents outermost first: (H, W) in two dimensions, (D, H, W) in three. */
  int32_t inSize[3];
  int32_t kernel[3];
  int32_t outSize[3];
  int32_t stride[3];
  int32_t padBegin[3];
  int32_t unused2[3];
  int32_t dilation[3];
  float minValue;  /* lower clamp of every output */
  uint8_t unused3[8];
  /* Scratch of kConvScratchBytes, allocated by the job on first use and kept; */
  /* accumulator points into its second half. */
  float* columns;
  float* accumulator;
} VortaConvJob;
VORTA_CHECK_OFFSET(VortaConvJob, output, 8);
VORTA_CHECK_OFFSET(VortaConvJob, bias, 16);
VORTA_CHECK_OFFSET(VortaConvJob, weights, 24);
VORTA_CHECK_OFFSET(VortaConvJob, hasBias, 32);
VORTA_CHECK_OFFSET(VortaConvJob, tilesPerImage, 36);
VORTA_CHECK_OFFSET(VortaConvJob, groups, 44);
VORTA_CHECK_OFFSET(VortaConvJob, inChannels, 48);
VORTA_CHECK_OFFSET(VortaConvJob, outChannels, 52);
VORTA_CHECK_OFFSET(VortaConvJob, spatialRank, 56);
VORTA_CHECK_OFFSET(VortaConvJob, inPlane, 60);
VORTA_CHECK_OFFSET(VortaConvJob, kernelSize, 64);
VORTA_CHECK_OFFSET(VortaConvJob, outSpatial, 68);
VORTA_CHECK_OFFSET(VortaConvJob, inSize, 72);
VORTA_CHECK_OFFSET(VortaConvJob, kernel, 84);
VORTA_CHECK_OFFSET(VortaConvJob, outSize, 96);
VORTA_CHECK_OFFSET(VortaConvJob, stride, 108);
VORTA_CHECK_OFFSET(VortaConvJob, padBegin, 120);
VORTA_CHECK_OFFSET(VortaConvJob, dilation, 144);
VORTA_CHECK_OFFSET(VortaConvJob, minValue, 156);
VORTA_CHECK_OFFSET(VortaConvJob, columns, 168);
VORTA_CHECK_OFFSET(VortaConvJob, accumulator, 176);
VORTA_CHECK_SIZE(VortaConvJob, 184);
#define VORTA_EXPORT_MATMUL_FLOAT "ccbcd27cf5481b58f6b454456e31db3d"
#define VORTA_EXPORT_CONV_FLOAT "8d344fc206a3deec43add40022db37ce"

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
#ifndef __cplusplus
#include <stdbool.h> /* bool results */
#endif

/* Three floats, 12 bytes; direct-call kernels take and write them by pointer. */
typedef struct VORTA_PACKED VortaVec3 {
  float x, y, z;
} VortaVec3;
VORTA_CHECK_OFFSET(VortaVec3, x, 0);
VORTA_CHECK_OFFSET(VortaVec3, y, 4);
VORTA_CHECK_OFFSET(VortaVec3, z, 8);
VORTA_CHECK_SIZE(VortaVec3, 12);

/* A rotation: vector part (x, y, z) and scalar part w, 16 bytes. */
typedef struct VORTA_PACKED VortaQuat {
  float x, y, z, w;
} VortaQuat;
VORTA_CHECK_OFFSET(VortaQuat, x, 0);
VORTA_CHECK_OFFSET(VortaQuat, y, 4);
VORTA_CHECK_OFFSET(VortaQuat, z, 8);
VORTA_CHECK_OFFSET(VortaQuat, w, 12);
VORTA_CHECK_SIZE(VortaQuat, 16);

/* The record the segment-shortening kernel writes: new start, midpoint, new end. */
typedef struct VORTA_PACKED VortaSegment {
  VortaVec3 start, middle, end;
} VortaSegment;
VORTA_CHECK_OFFSET(VortaSegment, start, 0);
VORTA_CHECK_OFFSET(VortaSegment, middle, 12);
VORTA_CHECK_OFFSET(VortaSegment, end, 24);
VORTA_CHECK_SIZE(VortaSegment, 36);

/* An evenly sampled float curve over [0, 1] (embedded in the tween records).
 * Wrap modes before 0 and after 1: VORTA_WRAP_LOOP, VORTA_WRAP_PING_PONG, any
 * other value clamps. */
typedef struct VORTA_PACKED VortaSampledCurve {
  const float* samples;
  int32_t sampleCount; /* at least 1 */
  int32_t reserved0;   /* not read */
  int32_t preWrap;
  int32_t postWrap;
} VortaSampledCurve;
VORTA_CHECK_OFFSET(VortaSampledCurve, samples, 0);
VORTA_CHECK_OFFSET(VortaSampledCurve, sampleCount, 8);
VORTA_CHECK_OFFSET(VortaSampledCurve, preWrap, 16);
VORTA_CHECK_OFFSET(VortaSampledCurve, postWrap, 20);
VORTA_CHECK_SIZE(VortaSampledCurve, 24);
#define VORTA_WRAP_LOOP 2
#define VORTA_WRAP_PING_PONG 4

/* Entry shapes. Vectors and rotations by pointer, scalars by value; kernels
 * returning bool set the low byte of the result register. */
typedef float(VORTA_CALL* VortaEaseFn)(float from, float to, float time, float rate);
typedef void(VORTA_CALL* VortaEaseVec3Fn)(const VortaVec3* from, const VortaVec3* to, float time,
                                          VortaVec3* out, float rate);
typedef VortaVec3*(VORTA_CALL* VortaQuadraticPointFn)(const VortaVec3* p0, const VortaVec3* p1,
                                                      const VortaVec3* p2, float t,
                                                      VortaVec3* out);
typedef VortaVec3*(VORTA_CALL* VortaCubicPointFn)(const VortaVec3* p0, const VortaVec3* p1,
                                                  const VortaVec3* p2, const VortaVec3* p3,
                                                  float t, VortaVec3* out);
typedef void(VORTA_CALL* VortaCurveSampleFn)(int32_t count, float reach, const VortaVec3* start,
                                             const VortaVec3* direction, const VortaVec3* end,
                                             VortaVec3** points);
typedef bool(VORTA_CALL* VortaTrimmedCurveFn)(int32_t count, float reach, const VortaVec3* start,
                                              const VortaVec3* direction, const VortaVec3* end,
                                              VortaVec3** points, float minimumLength,
                                              float trimStart, float trimEnd);
typedef bool(VORTA_CALL* VortaTrimmedQuadraticFn)(int32_t count, const VortaVec3* start,
                                                  const VortaVec3* control, const VortaVec3* end,
                                                  VortaVec3** points, float minimumLength,
                                                  float trimStart, float trimEnd);
typedef void(VORTA_CALL* VortaQuadraticToCubicFn)(const VortaVec3* first,
                                                  const VortaVec3* control,
                                                  const VortaVec3* last, VortaVec3* out0,
                                                  VortaVec3* out1, VortaVec3* out2,
                                                  VortaVec3* out3);
typedef float(VORTA_CALL* VortaChordLengthFn)(const VortaVec3* p0, const VortaVec3* p1,
                                              const VortaVec3* p2, const VortaVec3* p3,
                                              int32_t count);
typedef VortaVec3*(VORTA_CALL* VortaMotionFn)(const VortaVec3* position,
                                              const VortaVec3* velocity,
                                              const VortaVec3* acceleration, float t,
                                              VortaVec3* out);

typedef void(VORTA_CALL* VortaVec3BinaryFn)(const VortaVec3* a, const VortaVec3* b,
                                            VortaVec3* out);
typedef float(VORTA_CALL* VortaVec3BinaryZFn)(const VortaVec3* a, const VortaVec3* b,
                                              VortaVec3* out);
typedef void(VORTA_CALL* VortaSubScaledFn)(const VortaVec3* a, const VortaVec3* b, float s,
                                           VortaVec3* out);
typedef void(VORTA_CALL* VortaProjectOnLineFn)(const VortaVec3* origin, const VortaVec3* dir,
                                               const VortaVec3* p, VortaVec3* out);
typedef VortaVec3*(VORTA_CALL* VortaProjectReaimFn)(const VortaVec3* origin,
                                                    const VortaVec3* dir, const VortaVec3* p,
                                                    const VortaVec3* target, float* distance,
                                                    VortaVec3* out);
typedef void(VORTA_CALL* VortaLineDistanceFn)(const VortaVec3* origin, const VortaVec3* p,
                                              const VortaVec3* dir, float* out);
typedef float*(VORTA_CALL* VortaProjectedLengthFn)(const VortaVec3* a, const VortaVec3* b,
                                                   const VortaVec3* dir, float* out1,
                                                   float* out2);
typedef float(VORTA_CALL* VortaDirectionFn)(const VortaVec3* a, const VortaVec3* b,
                                            VortaVec3* dirOut, float* sqrOut, float* lenOut);
typedef float(VORTA_CALL* VortaDistanceSqFn)(const VortaVec3* a, const VortaVec3* b);
typedef bool(VORTA_CALL* VortaVec3TestFn)(const VortaVec3* a, const VortaVec3* b, float r);
typedef void(VORTA_CALL* VortaDivideApartFn)(const VortaVec3* a, const VortaVec3* b,
                                             VortaVec3* out, float eps);
typedef VortaVec3*(VORTA_CALL* VortaFitRatioFn)(const VortaVec3* a, const VortaVec3* b,
                                                const VortaVec3* v, float eps, VortaVec3* out);
typedef float(VORTA_CALL* VortaHalfExtentFn)(const VortaVec3* size, const VortaVec3* target,
                                             const VortaVec3* extent, float margin);
typedef void(VORTA_CALL* VortaPerpendicularFn)(const VortaVec3* v, VortaVec3* out);
typedef void(VORTA_CALL* VortaMoveTowardFn)(const VortaVec3* from, const VortaVec3* to,
                                            float step, VortaVec3* out);
typedef bool(VORTA_CALL* VortaShortenSegmentFn)(const VortaVec3* a, const VortaVec3* b,
                                                float trimA, float trimB,
                                                VortaSegment** segment);
typedef float(VORTA_CALL* VortaRadialFalloffFn)(const VortaVec3* a, const VortaVec3* b,
                                                float inner, float outer);
typedef bool(VORTA_CALL* VortaOutsideRangeFn)(const VortaVec3* a, const VortaVec3* b,
                                              float nearRadius, float farRadius, float num,
                                              float den);
typedef void(VORTA_CALL* VortaClampedFalloffFn)(const VortaVec3* a, const VortaVec3* b,
                                                float range, float scale, float low, float high,
                                                float* out);
typedef void(VORTA_CALL* VortaScalarFalloffFn)(float scale, float dist, float range, float low,
                                               float high, float* out);

typedef void(VORTA_CALL* VortaVectorAngleFn)(const VortaVec3* a, const VortaVec3* b, float* out);
typedef void(VORTA_CALL* VortaRotationAngleFn)(const VortaQuat* q1, const VortaQuat* q2,
                                               float* out);
typedef float(VORTA_CALL* VortaJointAngleFn)(const VortaVec3* a, const VortaVec3* pivot,
                                             const VortaQuat* frame, const VortaVec3* tip);
typedef float(VORTA_CALL* VortaJointOpennessFn)(const VortaVec3* a, const VortaVec3* pivot,
                                                const VortaQuat* frame, const VortaVec3* tip,
                                                float low, float high);
typedef void(VORTA_CALL* VortaRotateAboutFn)(VortaVec3* out, const VortaVec3* origin,
                                             const VortaQuat* rotation, const VortaVec3* point);
typedef void(VORTA_CALL* VortaAxisRotationFn)(VortaVec3* out, int32_t selector,
                                              const VortaQuat* rotation, float s);
/* The 32-bit result is not meaningful. */
typedef uint32_t(VORTA_CALL* VortaLookRotationFn)(const VortaVec3* forward, const VortaVec3* up,
                                                  VortaQuat* out);

#define VORTA_EXPORT_EASING_BOUNCE3 "944197a6c18b440af6a3c7e184b0a8ea"
#define VORTA_EXPORT_EASING_BOUNCE3_VEC3 "cf0ccdf495de6c69724e7970b57d6f23"
#define VORTA_EXPORT_EASING_BOUNCE4 "ac8b4cf9148106aaf5217bf17aaee241"
#define VORTA_EXPORT_EASING_BOUNCE4_VEC3 "eea26d7b91896fe8944ae736daa5a372"
#define VORTA_EXPORT_EASING_BENT_LERP "a04d15623e0ace385aa84304c2f44186"
#define VORTA_EXPORT_EASING_SHIFTED_QUADRATIC "6ae5920e95b1db9d6fc7cbe7f7508557"
#define VORTA_EXPORT_EASING_QUADRATIC_POINT "63b2f9981d71a44d924aa7283d84d208"
#define VORTA_EXPORT_EASING_CUBIC_POINT "aad1b4ef46d6523c44b0358e80aa6bea"
#define VORTA_EXPORT_EASING_SAMPLE_CURVE "1c4a5ee6e6e3402955d801fcdb9a08d2"
#define VORTA_EXPORT_EASING_SAMPLE_CURVE_TWIN "c60fbbac7190bc97c311c175407f76a7"
#define VORTA_EXPORT_EASING_SAMPLE_TRIMMED "8e6f95903615f98ff38ca8f2be4e8857"
#define VORTA_EXPORT_EASING_SAMPLE_TRIMMED_QUADRATIC "db919a7c8d587391570e91c9e21ea427"
#define VORTA_EXPORT_EASING_QUADRATIC_TO_CUBIC "8fe48647e184103032dc65ec1eceb39e"
#define VORTA_EXPORT_EASING_CHORD_LENGTH "25701448b1f69ae71b4afdea19cf3cac"
#define VORTA_EXPORT_EASING_CONSTANT_ACCELERATION "13b19916d3e922efc8b53b928e3c4d02"

#define VORTA_EXPORT_GEOMETRY_PLANE_PROJECT "1819bc9925667b008fd6c3e6019ccf71"
#define VORTA_EXPORT_GEOMETRY_PLANE_PROJECT_TWIN "97d13f55156b1b37e784278d9f6eb4c6"
#define VORTA_EXPORT_GEOMETRY_SUB_SCALED "f1c7f8e7e831ef19052e8c5ce916a0f5"
#define VORTA_EXPORT_GEOMETRY_PROJECT_ON_LINE "7329d85342bb9b210a4d73736896a97a"
#define VORTA_EXPORT_GEOMETRY_PROJECT_REAIM "ab7660213d5d731af491eb397364d3f5"
#define VORTA_EXPORT_GEOMETRY_LINE_DISTANCE "6c0a80fbd493bdaec24ecd185cb0710c"
#define VORTA_EXPORT_GEOMETRY_PROJECTED_LENGTH "cb1d19c66aa9717f998237f4f1b14e13"
#define VORTA_EXPORT_GEOMETRY_DIRECTION "ed0df4aaa6dfa655df2ce8f660cf6297"
#define VORTA_EXPORT_GEOMETRY_DISTANCE_SQ "4dc57432e9e688d5153547b300cb86f2"
#define VORTA_EXPORT_GEOMETRY_WITHIN_RANGE "1f5954d5199b755de462c537b1e97960"
#define VORTA_EXPORT_GEOMETRY_APPROX_EQUAL "eb34c8e60335e02c0acbdc14c457d562"
#define VORTA_EXPORT_GEOMETRY_APPROX_EQUAL_TWIN "38d2c22e2d0048672a6cb84d921d5238"
#define VORTA_EXPORT_GEOMETRY_MULTIPLY "189b94d20814c463563211a5fc88d9a4"
#define VORTA_EXPORT_GEOMETRY_MULTIPLY_Z "4a9f2d0909c3d8debf4369f5b66c2c2b"
#define VORTA_EXPORT_GEOMETRY_DIVIDE_APART "97617acd6f54253917fdba9be8f754d0"
#define VORTA_EXPORT_GEOMETRY_DIVIDE_APART_TWIN "2f1cfb62c82230bea1c5e4483198cf31"
#define VORTA_EXPORT_GEOMETRY_FIT_RATIO "a22ad97cf3b85d2b5f1b74672e4a9214"
#define VORTA_EXPORT_GEOMETRY_HALF_EXTENT "c8e226abeb56708b8945cf150e548cc3"
#define VORTA_EXPORT_GEOMETRY_DOUBLE_CROSS "0efc5e11c4e2815f50262ff4ffe5d4d6"
#define VORTA_EXPORT_GEOMETRY_DOUBLE_CROSS_TWIN "1745ec9b2dfd8892465691a8bc6501f2"
#define VORTA_EXPORT_GEOMETRY_PERPENDICULAR "129828f5f7843aff998314f0456a7420"
#define VORTA_EXPORT_GEOMETRY_MOVE_TOWARD "f7dff2bd72db729912dbed4d76410ac0"
#define VORTA_EXPORT_GEOMETRY_SHORTEN_SEGMENT "b8ed76391201c41cc936f3980b01a312"
#define VORTA_EXPORT_GEOMETRY_RADIAL_FALLOFF "13f911d1e17414feb0430b9164b30ce7"
#define VORTA_EXPORT_GEOMETRY_OUTSIDE_RANGE "29319a8ddceb068e8998451518358c75"
#define VORTA_EXPORT_GEOMETRY_CLAMPED_FALLOFF "bd3c60f4bc640b7f76538b20da89f266"
#define VORTA_EXPORT_GEOMETRY_SCALAR_FALLOFF "b5118d24736a64b3b5909549d3f93ab2"

#define VORTA_EXPORT_ROTATION_VECTOR_ANGLE "01f8a636d5cdcc50bd56c5fd2984144a"
#define VORTA_EXPORT_ROTATION_ROTATION_ANGLE "9972d5c311b51ff2ddfb7a6a287dfd91"
#define VORTA_EXPORT_ROTATION_JOINT_ANGLE "7f33688305e0900e2a3e10d40589d9cf"
#define VORTA_EXPORT_ROTATION_JOINT_OPENNESS "e2831de22df28a8b92b6f7e311b07b65"
#define VORTA_EXPORT_ROTATION_ROTATE_ABOUT "f0340a4ae3753cc3d1ba7ea1b5435d86"
#define VORTA_EXPORT_ROTATION_AXIS "3b10ec09f612b5f61060aad8c91ddd31"
#define VORTA_EXPORT_ROTATION_LOOK_PROJECTED "8fb68744f5c26c14a5ed573359a26f93"
#define VORTA_EXPORT_ROTATION_LOOK_PROJECTED_TWIN "a9bd2aa243b63987555271cf24b42b3a"
#define VORTA_EXPORT_ROTATION_LOOK "56a36c2389379e44d3a29b6c72f61b0a"
#define VORTA_EXPORT_ROTATION_LOOK_TWIN "8719466fc91fb9605ebc271437e7fd0c"

/* ---- direct-call maths: poses, motion, tweens, aiming, culling ------------- */

/* A rotation followed by a position: the frame of the local-direction kernels
 * and the directional cone tests. */
typedef struct VORTA_PACKED VortaFrame {
  VortaQuat rotation;
  VortaVec3 position;
} VortaFrame;
VORTA_CHECK_OFFSET(VortaFrame, rotation, 0);
VORTA_CHECK_OFFSET(VortaFrame, position, 16);
VORTA_CHECK_SIZE(VortaFrame, 28);

/* A position followed by a rotation: every other pose argument (and the origin
 * and rotation of the axis-constrained point). */
typedef struct VORTA_PACKED VortaPose {
  VortaVec3 position;
  VortaQuat rotation;
} VortaPose;
VORTA_CHECK_OFFSET(VortaPose, position, 0);
VORTA_CHECK_OFFSET(VortaPose, rotation, 12);
VORTA_CHECK_SIZE(VortaPose, 28);

/* One tracked hand joint; bit 1 of flags marks it valid (record 0: the hand). */
typedef struct VORTA_PACKED VortaHandJoint {
  uint32_t unused;
  VortaVec3 position;
  VortaQuat rotation;
  uint8_t reserved[28];
  uint32_t flags;
} VortaHandJoint;
VORTA_CHECK_OFFSET(VortaHandJoint, position, 4);
VORTA_CHECK_OFFSET(VortaHandJoint, rotation, 16);
VORTA_CHECK_OFFSET(VortaHandJoint, flags, 60);
VORTA_CHECK_SIZE(VortaHandJoint, 64);
#define VORTA_HAND_JOINT_COUNT 26
#define VORTA_HAND_JOINT_VALID 2u

/* The destination of the path refresh: the points and how many it holds. */
typedef struct VORTA_PACKED VortaPointList {
  VortaVec3* points;
  int32_t count;
  uint32_t reserved;
} VortaPointList;
VORTA_CHECK_OFFSET(VortaPointList, points, 0);
VORTA_CHECK_OFFSET(VortaPointList, count, 8);
VORTA_CHECK_SIZE(VortaPointList, 16);

/* The tween steps. The plain four-float step reads bytes 16 to 111 only; the
 * moded one also mode and modeFactor. */
typedef struct VORTA_PACKED VortaTween4Step {
  float base[4];
  float from[4];
  float to[4];
  uint8_t phase;
  uint8_t reserved0[7];
  VortaSampledCurve curve;
  float current[4];
  float rate;
  uint32_t reserved1;
  float* result;
  uint8_t reserved2[8];
  uint8_t mode;
  uint8_t reserved3[3];
  float modeFactor;
} VortaTween4Step;
VORTA_CHECK_OFFSET(VortaTween4Step, from, 16);
VORTA_CHECK_OFFSET(VortaTween4Step, to, 32);
VORTA_CHECK_OFFSET(VortaTween4Step, phase, 48);
VORTA_CHECK_OFFSET(VortaTween4Step, curve, 56);
VORTA_CHECK_OFFSET(VortaTween4Step, current, 80);
VORTA_CHECK_OFFSET(VortaTween4Step, rate, 96);
VORTA_CHECK_OFFSET(VortaTween4Step, result, 104);
VORTA_CHECK_OFFSET(VortaTween4Step, mode, 120);
VORTA_CHECK_OFFSET(VortaTween4Step, modeFactor, 124);
VORTA_CHECK_SIZE(VortaTween4Step, 128);

typedef struct VORTA_PACKED VortaTween3Step {
  uint8_t reserved0[12];
  float from[3];
  float to[3];
  uint8_t phase;
  uint8_t reserved1[3];
  VortaSampledCurve curve;
  float current[3];
  float rate;
  float* result;
  uint8_t reserved2[8];
} VortaTween3Step;
VORTA_CHECK_OFFSET(VortaTween3Step, from, 12);
VORTA_CHECK_OFFSET(VortaTween3Step, to, 24);
VORTA_CHECK_OFFSET(VortaTween3Step, phase, 36);
VORTA_CHECK_OFFSET(VortaTween3Step, curve, 40);
VORTA_CHECK_OFFSET(VortaTween3Step, current, 64);
VORTA_CHECK_OFFSET(VortaTween3Step, rate, 76);
VORTA_CHECK_OFFSET(VortaTween3Step, result, 80);
VORTA_CHECK_SIZE(VortaTween3Step, 96);

typedef struct VORTA_PACKED VortaTween2Step {
  uint8_t reserved0[8];
  float from[2];
  float to[2];
  uint8_t phase;
  uint8_t reserved1[7];
  VortaSampledCurve curve;
  float current[2];
  float rate;
  uint32_t reserved2;
  float* result;
  uint8_t reserved3[8];
} VortaTween2Step;
VORTA_CHECK_OFFSET(VortaTween2Step, from, 8);
VORTA_CHECK_OFFSET(VortaTween2Step, to, 16);
VORTA_CHECK_OFFSET(VortaTween2Step, phase, 24);
VORTA_CHECK_OFFSET(VortaTween2Step, curve, 32);
VORTA_CHECK_OFFSET(VortaTween2Step, current, 56);
VORTA_CHECK_OFFSET(VortaTween2Step, rate, 64);
VORTA_CHECK_OFFSET(VortaTween2Step, result, 72);
VORTA_CHECK_SIZE(VortaTween2Step, 88);

typedef struct VORTA_PACKED VortaTween1Step {
  uint32_t reserved0;
  float from;
  float to;
  uint8_t phase;
  uint8_t reserved1[3];
  VortaSampledCurve curve;
  float current;
  float rate;
  float* result;
} VortaTween1Step;
VORTA_CHECK_OFFSET(VortaTween1Step, from, 4);
VORTA_CHECK_OFFSET(VortaTween1Step, to, 8);
VORTA_CHECK_OFFSET(VortaTween1Step, phase, 12);
VORTA_CHECK_OFFSET(VortaTween1Step, curve, 16);
VORTA_CHECK_OFFSET(VortaTween1Step, current, 40);
VORTA_CHECK_OFFSET(VortaTween1Step, rate, 44);
VORTA_CHECK_OFFSET(VortaTween1Step, result, 48);
VORTA_CHECK_SIZE(VortaTween1Step, 56);

/* A host array header: only the leading address is read. */
typedef struct VORTA_PACKED VortaHostArray {
  void* data;
  uint64_t reserved;
} VortaHostArray;
VORTA_CHECK_SIZE(VortaHostArray, 16);

/* Emitter culling around a listener. Per emitter: sourcePoses and sourceFrames
 * 64 bytes, rangeParams (maxRange, rolloff), extraPair 8 bytes, columnWords
 * four words, layers 4 bytes (layer in the low 5 bits of the first), gains one
 * float, spheres (x, y, z, radius), ids one word. Per accepted emitter:
 * outPoses and outFrames 64 bytes, outIds one word; outBatches (first, end). */
typedef struct VORTA_PACKED VortaEmitterCullArgs {
  VortaHostArray sourcePoses;
  VortaHostArray sourceFrames;
  uint8_t reserved0[16];
  VortaHostArray rangeParams;
  VortaHostArray extraPair;
  VortaHostArray columnWords;
  VortaHostArray layers;
  uint8_t reserved1[16];
  VortaHostArray gains;
  VortaHostArray spheres;
  VortaHostArray ids;
  float listener[3];
  uint8_t reserved2[12];
  uint32_t layerMask;
  uint32_t reserved3;
  VortaHostArray candidates;
  int32_t candidateCount;
  float maxDistance;
  VortaHostArray outPoses;
  VortaHostArray outFrames;
  VortaHostArray outIds;
  VortaHostArray outBatches;
  int32_t* outBatchCount;
} VortaEmitterCullArgs;
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, sourceFrames, 16);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, rangeParams, 48);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, extraPair, 64);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, columnWords, 80);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, layers, 96);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, gains, 128);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, spheres, 144);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, ids, 160);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, listener, 176);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, layerMask, 200);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, candidates, 208);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, candidateCount, 224);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, maxDistance, 228);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outPoses, 232);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outFrames, 248);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outIds, 264);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outBatches, 280);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outBatchCount, 296);
VORTA_CHECK_SIZE(VortaEmitterCullArgs, 304);
/* Accepted emitters are cut into batches of at most this many. */
#define VORTA_EMITTER_BATCH 250

/* Entry signatures. Flags documented as a low bit are read from bit 0 only,
 * other bool flags from the low byte; int32 arguments from the low 32 bits. */
typedef float*(VORTA_CALL* VortaFlightTimeFn)(float speed, float gravity, float factor,
                                             float height, float extraTime, float* out);
typedef float(VORTA_CALL* VortaBoomStepFn)(float factor, float distance, float limit,
                                          const VortaVec3* direction, VortaVec3* out,
                                          float* outSum, float* outStep);
typedef float(VORTA_CALL* VortaBoomReachStepFn)(float factor, float distance, float base,
                                               float limit, const VortaVec3* direction,
                                               VortaVec3* out, float* outSum, float* outStep);
typedef VortaVec3*(VORTA_CALL* VortaAdvanceClampFn)(const VortaVec3* value, const VortaVec3* rate,
                                                    bool bounded, const VortaVec3* lower,
                                                    const VortaVec3* upper, float dt1, float dt2,
                                                    float dt3, VortaVec3* out);
typedef bool(VORTA_CALL* VortaConeTestFn)(int32_t mode, float angleDeg, bool flatten,
                                         const VortaVec3* a, const VortaVec3* b);
typedef bool(VORTA_CALL* VortaTrimToBudgetFn)(float budget, bool clamp, const VortaVec3* point,
                                             const VortaVec3* start, VortaVec3* end,
                                             float* total);
typedef void(VORTA_CALL* VortaLocalDirectionFn)(VortaVec3* out, const VortaVec3* offset,
                                               int32_t mode, const VortaFrame* frame,
                                               const VortaFrame* target, float s);
typedef void(VORTA_CALL* VortaLocalDirectionByRefFn)(VortaVec3* out, const VortaVec3* offset,
                                                    const int32_t* mode, const VortaFrame* frame,
                                                    const VortaFrame* target);
typedef VortaVec3*(VORTA_CALL* VortaAttachmentPointFn)(
    const VortaVec3* origin, const VortaQuat* r1, const VortaQuat* r2, const VortaVec3* scale,
    bool flag, const VortaVec3* v, const VortaVec3* b, const VortaVec3* point, VortaVec3* out);
typedef float(VORTA_CALL* VortaPlanarSpreadFn)(int32_t side, const void* ignored,
                                              const VortaVec3* rootPosition,
                                              const VortaQuat* rootRotation, const VortaVec3* p1,
                                              const VortaVec3* p2, const VortaVec3* p3,
                                              const VortaVec3* p4, float low, float high);
typedef float(VORTA_CALL* VortaPlanarBendFn)(const VortaVec3* rootPosition,
                                            const VortaQuat* rootRotation, const VortaVec3* p1,
                                            const VortaVec3* p2, const VortaVec3* p3,
                                            const VortaVec3* p4, float low, float high);
typedef float(VORTA_CALL* VortaCurlFn)(int32_t threeJoints, const VortaVec3* p0,
                                      const VortaVec3* p1, const VortaQuat* frame1,
                                      const VortaVec3* p2, const VortaQuat* frame2,
                                      const VortaVec3* p3, const VortaQuat* frame3,
                                      const VortaVec3* p4, float low1, float high1, float low2,
                                      float high2, float low3, float high3);
typedef void(VORTA_CALL* VortaInterpolationStepFn)(VortaPose* a, VortaVec3* s, const VortaPose* b,
                                                  const VortaVec3* t, float dt, float duration,
                                                  float* elapsed);
typedef float(VORTA_CALL* VortaOpennessFn)(const VortaVec3* p0, const VortaVec3* p1,
                                          const VortaQuat* frame1, const VortaVec3* p2,
                                          const VortaQuat* frame2, const VortaVec3* p3, float low1,
                                          float high1, float low2, float high2);
typedef VortaVec3*(VORTA_CALL* VortaAxisConstrainFn)(const float* point, const VortaPose* frame,
                                                     int32_t mode, bool keepX, bool keepY,
                                                     bool keepZ, VortaVec3* out);
typedef void(VORTA_CALL* VortaPoseInFrameFn)(const VortaPose* a, const VortaPose* b, float* out);
typedef void(VORTA_CALL* VortaRatioScaleFn)(const VortaVec3* v, const VortaVec3* current,
                                           const VortaVec3* a, const VortaVec3* b, bool clamp,
                                           float gain, float deadZone, const VortaVec3* lower,
                                           const VortaVec3* upper, VortaVec3* out);
typedef int32_t(VORTA_CALL* VortaPathRefreshFn)(int32_t start, int32_t n, float budget, bool blend,
                                               bool useBudget, float f,
                                               VortaVec3* const* source,
                                               VortaVec3* const* previous,
                                               VortaPointList* destination);
typedef bool(VORTA_CALL* VortaDirectionalConeFn)(int32_t axisMode, int32_t testMode,
                                                int32_t targetMode, float angleDeg, bool flatten,
                                                const VortaVec3* offset,
                                                const VortaQuat* axisRotation,
                                                const VortaFrame* frame, const VortaFrame* target,
                                                float side);
typedef bool(VORTA_CALL* VortaDirectionalConeFirstTableFn)(
    int32_t axisMode, int32_t testMode, int32_t targetMode, float angleDeg,
    const VortaVec3* offset, const VortaQuat* axisRotation, const VortaFrame* frame,
    const VortaFrame* target, bool flatten, float side);
typedef VortaQuat*(VORTA_CALL* VortaComposePoseFn)(const VortaVec3* origin, const VortaQuat* r,
                                                   const VortaVec3* v, const VortaQuat* qa,
                                                   const VortaQuat* qb, VortaVec3* outPosition,
                                                   VortaQuat* outRotation);
typedef void(VORTA_CALL* VortaHandJointsFn)(VortaHandJoint* const* source,
                                           VortaPose* const* output, void* unused1,
                                           void* unused2);
typedef void(VORTA_CALL* VortaThrowAssistFn)(const VortaVec3* from, const VortaVec3* to,
                                            const VortaVec3* velocity, float gravity,
                                            float maxAngleDeg, float minSpeed,
                                            float speedCapFactor, float blend, float threshold,
                                            VortaVec3* out);
typedef void(VORTA_CALL* VortaTwoStageSmoothFn)(VortaPose* a, VortaVec3* p,
                                               const VortaPose* target,
                                               const VortaVec3* targetPoint, float dt,
                                               bool movePosition, float positionRate,
                                               float positionFactor, bool moveRotation,
                                               float rotationRate, float rotationFactor,
                                               bool movePoint, float pointRate, float pointFactor);

typedef void(VORTA_CALL* VortaTween4StepFn)(const VortaTween4Step* step);
typedef uint32_t(VORTA_CALL* VortaTween4ModeStepFn)(const VortaTween4Step* step);
typedef void(VORTA_CALL* VortaTween1StepFn)(const VortaTween1Step* step);
typedef void(VORTA_CALL* VortaPositionFollowFn)(const float* current, const float* target,
                                               float smoothing, float snapDistance, float* out);
typedef void(VORTA_CALL* VortaRotationFollowTwoBasesFn)(const float* baseA, const float* target,
                                                       const float* baseB, float blendRate,
                                                       float angleLimitA, float angleLimitB,
                                                       float blendScale, float* out);
typedef float*(VORTA_CALL* VortaPoseFollowFn)(const float* current, const float* currentRotation,
                                             const float* target, const float* targetRotation,
                                             float smoothing, float snapDistance, float snapAngle,
                                             float* outPosition, float* outRotation);
typedef void(VORTA_CALL* VortaSpeedDriveFn)(const float* velocity, const float* direction,
                                           float speedCap, const float* axis, const float* push,
                                           float lowScale, float highScale, float gainAlong,
                                           float gainAgainst, float fullEffectAt,
                                           uint8_t carryEnabled, float carryDamping,
                                           float* carry, float* speed, float deltaTime,
                                           float* result);
typedef int32_t(VORTA_CALL* VortaLongerThanFn)(const float* v, float limit);
typedef void(VORTA_CALL* VortaSetFloatControlFn)(uint32_t value);
typedef int32_t(VORTA_CALL* VortaProbeFn)(void);

typedef void(VORTA_CALL* VortaTween3StepFn)(const VortaTween3Step* step);
typedef void(VORTA_CALL* VortaTween2StepFn)(const VortaTween2Step* step);
typedef float(VORTA_CALL* VortaStagedEaseFn)(float t, float p);
typedef void(VORTA_CALL* VortaEmitterCullFn)(const VortaEmitterCullArgs* args);
typedef void(VORTA_CALL* VortaAimFn)(const float* anchor, const float* eye,
                                    const float* aimDirection, const float* up,
                                    const float* target, float distanceScale, float zoomScale,
                                    float* rotationOut, float* factorOut, float* zoomOut);

#define VORTA_EXPORT_POSE_FLIGHT_TIME "8008a6a3699780086c12ba5f1e4708d7"
#define VORTA_EXPORT_POSE_BOOM_STEP "df27f962efaa79731715cfa641dbd7ac"
#define VORTA_EXPORT_POSE_BOOM_REACH_STEP "30cd4b053d1276ba6e25dda69ba981e0"
#define VORTA_EXPORT_POSE_ADVANCE_CLAMP "c1d63f109aae977902338c147017af56"
#define VORTA_EXPORT_POSE_CONE_TEST "b4b81fd9b5c963be8ba85e0d6a7cbf24"
#define VORTA_EXPORT_POSE_TRIM_TO_BUDGET "4e509619013155cf0bcd3db17ef56b1b"
#define VORTA_EXPORT_POSE_LOCAL_DIRECTION "65de7d2204a1e10f2250c90b243b10ef"
#define VORTA_EXPORT_POSE_LOCAL_DIRECTION_BY_REF "11e170df12c955c12f50785c07022b9f"
#define VORTA_EXPORT_POSE_ATTACHMENT_POINT "9cb9cf971e315f2fd2c9f66410fd9f72"
#define VORTA_EXPORT_POSE_PLANAR_SPREAD "5f51fa9bf8124233efd224099de2ddb8"
#define VORTA_EXPORT_POSE_PLANAR_BEND "7ff21cb61ac6a8390d3860bba28430dc"
#define VORTA_EXPORT_POSE_CURL "56cc3b6f068b334b83e59add8d36000a"
#define VORTA_EXPORT_POSE_INTERPOLATION_STEP "fbf8a8bea50a64ea6167190933a8c2ec"
#define VORTA_EXPORT_POSE_OPENNESS "011daec511c22bf17932a43acccf31dd"
#define VORTA_EXPORT_POSE_AXIS_CONSTRAIN "8e6846f7e4ef61c1e84db2157a9f15e7"
#define VORTA_EXPORT_POSE_IN_FRAME "f254710114b3015fcc8337307d1eac3f"
#define VORTA_EXPORT_POSE_RATIO_SCALE "999bc20f879c063e23e71d42f662b971"
#define VORTA_EXPORT_POSE_PATH_REFRESH "0a9a1a48f398318d8f22ebd795db28b3"
#define VORTA_EXPORT_POSE_DIRECTIONAL_CONE "34876e102f6d6bca0265e02ab5d11e58"
#define VORTA_EXPORT_POSE_DIRECTIONAL_CONE_FIRST_TABLE "829f4df2e4b029e5525415e09cbcf7b6"
#define VORTA_EXPORT_POSE_COMPOSE "d25cb729a424e7fa5ef9105d2c698524"
#define VORTA_EXPORT_POSE_HAND_JOINTS "90f654e7d4148ae1636b3d9df8bee384"
#define VORTA_EXPORT_POSE_THROW_ASSIST "1e08dab93568e9f4a5078990b82d492b"
#define VORTA_EXPORT_POSE_TWO_STAGE_SMOOTH "9047fd4b6010891c75ac987c92c57b84"

#define VORTA_EXPORT_TWEENS_TWEEN4_STEP "34aec427743d7d01c0cb7a219c9fbe32"
#define VORTA_EXPORT_TWEENS_TWEEN4_MODE_STEP "25939b8474af666369f4cf1d8ab2eefc"
#define VORTA_EXPORT_TWEENS_TWEEN1_STEP "c06f54b5eb2bc9082fba4f33dc266ab3"
#define VORTA_EXPORT_TWEENS_POSITION_FOLLOW "8249a29e4a374a92c1d46ce75d536213"
#define VORTA_EXPORT_TWEENS_ROTATION_FOLLOW_TWO_BASES "31fc113e5d7b7812a6f3a88d21bfd40f"
#define VORTA_EXPORT_TWEENS_POSE_FOLLOW "be8e44ac4851501881c06c4a06350c64"
#define VORTA_EXPORT_TWEENS_SPEED_DRIVE "3fbc413bdf4ca83ec4d7d1bd9c7a8750"
#define VORTA_EXPORT_TWEENS_LONGER_THAN "e69ec81caacc942294c0fb8df3384c9e"
#define VORTA_EXPORT_TWEENS_SET_FLOAT_CONTROL "da352d92cabf024fc9986011d52a4537"
#define VORTA_EXPORT_TWEENS_PROBE "8c2be93e18276203cbd918daa2748a10"

#define VORTA_EXPORT_AIMING_TWEEN3_STEP "8b2561c181baea92bb80a409701e9b50"
#define VORTA_EXPORT_AIMING_TWEEN2_STEP "3084844e7184a69cd445cd0b0e6bab4a"
#define VORTA_EXPORT_AIMING_STAGED_EASE "85f7960146e9f8ac4446266cd9babc8a"
#define VORTA_EXPORT_AIMING_EMITTER_CULL "aa309157da5950aa53ed6075709e6e40"
#define VORTA_EXPORT_AIMING_AIM "e9df46149c75cbf1185bdaa5e4cf8cb3"

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
