// Calling convention and the basic shapes every kernel and host service share.
// Exports and host services use the Windows x64 convention on every platform,
// so a host written for the engine's native ABI can call us unchanged.
#pragma once
#include <stdint.h>

#define VORTA_MSABI __attribute__((ms_abi))
#define VORTA_HIDDEN __attribute__((visibility("hidden")))

namespace vorta {

// The host's opaque descriptor of a job's index space; only handed back to it.
struct BatchRanges;

// Looks a host service up by its dotted name.
typedef void* (VORTA_MSABI* ExternalResolver)(const char* name);

// Every parallel job: record, additional pointer, patch pointer, ranges, job index.
typedef void (VORTA_MSABI* JobEntry)(void* job, void* additional, void* patch,
                                     BatchRanges* ranges, uint32_t jobIndex);

enum class CpuVariant : uint32_t { Sse2 = 0, Avx2 = 1 };

// Host service signatures, as the kernels call them.
namespace svc {
typedef uintptr_t (VORTA_MSABI* GetWorkStealingRange)(BatchRanges* ranges, uint32_t jobIndex,
                                                      int32_t* begin, int32_t* end);
typedef uint32_t (VORTA_MSABI* GetThreadIndexCount)();
typedef void* (VORTA_MSABI* Malloc)(uint64_t size, uint32_t alignment, uint32_t allocator);
typedef void* (VORTA_MSABI* MallocTracked)(uint64_t size, uint32_t alignment, uint32_t handle,
                                           uint32_t zero);
typedef void (VORTA_MSABI* Free)(void* ptr, uint32_t allocator);
typedef void (VORTA_MSABI* FreeTracked)(void* ptr, uint32_t handle);
typedef void (VORTA_MSABI* MemCpyReplicate)(void* dst, const void* src, uint32_t size,
                                            uint32_t count);
typedef void* (VORTA_MSABI* GetOrCreateSharedMemory)(const void* key16, uint32_t size,
                                                     uint32_t alignment);
typedef void (VORTA_MSABI* Abort)(const char* exceptionType, const char* message);
typedef float (VORTA_MSABI* HalfToFloat)(uint32_t half);
typedef uint32_t (VORTA_MSABI* FloatToHalf)(float value);
typedef void (VORTA_MSABI* QuaternionInverse)(const float* q, float* out);
typedef void (VORTA_MSABI* Vector3Slerp)(const float* a, const float* b, float t, float* out);
// The transform services are typed by the transform job that uses them.
typedef void* (VORTA_MSABI* Opaque)();
}  // namespace svc

}  // namespace vorta
