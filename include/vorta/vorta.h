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

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
