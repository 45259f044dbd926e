// The reference host: every service the kernels resolve by name, a job system
// that runs parallel kernels on a pool of worker threads, and the small scene
// the transform services read. Tests, benchmarks and the demo all use it.
//
// Every service is callable from any thread at the same time.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include "frame/abi.h"

namespace vorta::host {

// ---------------------------------------------------------------------------
// Resolver

// The resolver to hand to `vorta.initialize`. It maps each of the 19 service
// names to its implementation (the same address every time). An unknown name
// gets a callable stub that, if ever called, reports the unknown names and
// aborts the process; the resolver itself never returns null.
ExternalResolver Resolver();

// Records every name the resolver is asked for, in order (thread-safe).
// Off until StartResolverLog; TakeResolverLog returns the names recorded so far
// and clears the record (recording stays on).
void StartResolverLog();
std::vector<std::string> TakeResolverLog();
void StopResolverLog();

// The number of distinct service names the resolver knows (19).
size_t ServiceCount();
// The exact resolver string of service i, 0 <= i < ServiceCount().
const char* ServiceName(size_t i);

// ---------------------------------------------------------------------------
// Memory

struct MemoryEvent {
  enum Kind { Malloc, MallocTracked, Free, FreeTracked } kind;
  void* ptr;
  uint64_t size;       // releases: the size the block was allocated with (0 for null or unknown)
  uint32_t alignment;  // as requested (releases: as allocated)
  uint32_t allocator;  // allocator index or packed allocator handle, as passed
};

// Records every memory service call, in order (thread-safe). Off until
// StartMemoryLog; TakeMemoryLog returns the record and clears it.
void StartMemoryLog();
std::vector<MemoryEvent> TakeMemoryLog();
void StopMemoryLog();

// Blocks obtained from MallocTracked and not yet released through FreeTracked.
int64_t LiveAllocations();
// Blocks obtained from Malloc and not yet released through Free.
int64_t LiveUntrackedAllocations();

// While on, every block from Malloc and MallocTracked lies in its own mapping
// against an inaccessible page on each side (alternately starting at the first
// accessible byte and ending at the last), filled with 0xcd unless zeroing was
// asked for: a kernel touching outside what it allocated faults. Blocks keep
// the placement they were made with when the mode changes.
void SetGuardedAllocations(bool on);

// Number of GetOrCreateSharedMemory calls since the process started.
int SharedMemoryCallCount();

// ---------------------------------------------------------------------------
// Worker thread indices

// What get_ThreadIndexCount reports. Defaults to the pool's worker count
// (hardware concurrency, at least 2).
void SetThreadIndexCount(uint32_t count);
uint32_t ThreadIndexCount();
// Number of worker threads a job with `workers = 0` uses.
int DefaultWorkerCount();

// ---------------------------------------------------------------------------
// Abort

// A kernel called vorta_abort(type, message). Thrown by host code once control
// is back in the host; never thrown through kernel frames.
struct KernelAbort : std::exception {
  std::string type;
  std::string message;
  std::string text;  // "type: message"
  KernelAbort(std::string t, std::string m);
  const char* what() const noexcept override { return text.c_str(); }
};

namespace detail {
// Runs fn(ctx) with an abort guard on this thread. Returns false when fn
// returned normally, true when the kernel called vorta_abort (the abort is then
// pending on this thread). C++ exceptions from fn pass through unchanged.
bool RunGuarded(void (*fn)(void*), void* ctx);
// The abort recorded by this thread's last RunGuarded that returned true.
KernelAbort PendingAbort();
[[noreturn]] void ThrowPendingAbort();
}  // namespace detail

// Calls f() under the abort guard; if a kernel it calls aborts, control comes
// back here and KernelAbort is thrown. f itself must not own objects with
// destructors that are alive across the kernel call: the abort unwinds kernel
// frames with longjmp, and f's frame is one of them. Call the kernel with
// values and references prepared outside f.
template <class F>
void CallGuarded(F&& f) {
  using Fn = std::remove_reference_t<F>;
  if (detail::RunGuarded([](void* p) { (*static_cast<Fn*>(p))(); },
                         const_cast<void*>(static_cast<const void*>(&f))))
    detail::ThrowPendingAbort();
}

// ---------------------------------------------------------------------------
// Half conversion (IEEE binary16, round to nearest even; quiet NaN stays NaN)

float HalfBitsToFloat(uint16_t half);
uint16_t FloatToHalfBits(float value);

// ---------------------------------------------------------------------------
// Scene and transform arrays

// One scene transform: world position, world rotation (x, y, z, w), local
// scale and the local-to-world matrix (column-major).
struct Transform {
  float position[3];
  float rotation[4];
  float localScale[3];
  float localToWorld[16];
};

class Scene;

// The 16-byte value the transform services take: which scene, which transform.
struct TransformAccess {
  Scene* scene;
  int64_t index;
};
static_assert(sizeof(TransformAccess) == 16, "transform access values are 16 bytes");

// Column-major T * R * S.
void ComposeTrs(const float position[3], const float rotation[4], const float scale[3],
                float out[16]);

class Scene {
 public:
  // Adds a transform whose matrix is T * R * S of the given parts.
  int32_t Add(const float position[3], const float rotation[4], const float scale[3]);
  // Adds a transform exactly as given (the matrix need not match the parts).
  int32_t Add(const Transform& t);
  // Replaces the parts and rebuilds the matrix from them.
  void SetTrs(int32_t index, const float position[3], const float rotation[4],
              const float scale[3]);
  Transform& At(int32_t index) { return transforms_.at(static_cast<size_t>(index)); }
  const Transform& At(int32_t index) const { return transforms_.at(static_cast<size_t>(index)); }
  size_t Size() const { return transforms_.size(); }
  TransformAccess Access(int32_t index) { return {this, index}; }

 private:
  std::vector<Transform> transforms_;
};

// A list of scene transforms in the caller's (user) order, plus the host's
// sorted order over it. The handle the transform job receives is Handle().
class TransformArray {
 public:
  // Sorted order defaults to ascending scene index.
  TransformArray(Scene& scene, std::vector<int32_t> transforms);
  // Sets the sorted order explicitly; sortedToUser must be a permutation of
  // 0..Size()-1 (std::invalid_argument otherwise).
  void SetSortedOrder(std::vector<int32_t> sortedToUser);
  uint64_t Handle() const { return reinterpret_cast<uintptr_t>(this); }
  size_t Size() const { return transforms_.size(); }
  const std::vector<int32_t>& SortedToUser() const { return sortedToUser_; }
  const std::vector<TransformAccess>& SortedAccess() const { return sortedAccess_; }
  Scene& GetScene() const { return *scene_; }
  // False for anything that is not a live TransformArray (checked by the services).
  bool IsValid() const { return magic_ == kMagic; }

  TransformArray(const TransformArray&) = delete;
  TransformArray& operator=(const TransformArray&) = delete;
  ~TransformArray();

 private:
  static constexpr uint64_t kMagic = 0x5452414e53415252ull;
  void Rebuild();
  uint64_t magic_;
  Scene* scene_;
  std::vector<int32_t> transforms_;
  std::vector<int32_t> sortedToUser_;
  std::vector<TransformAccess> sortedAccess_;
};

// ---------------------------------------------------------------------------
// Job system

struct JobOptions {
  // Number of job calls (job indices 0..workers-1). 0: DefaultWorkerCount().
  int workers = 0;
  // Batch size. 0: automatic, length / (workers * 8), at least 64.
  int32_t batchSize = 0;
  // Batch sizes drawn at random from 1 to 2 * batchSize.
  bool randomBatchSizes = false;
  // Seed of every random choice the job makes.
  uint64_t seed = 1;
  // Sprinkle empty (begin == end) batches into every worker's share (a job of
  // length 0 still has no batches at all).
  bool emptyBatches = false;
  // Each call gets its own copy of the job record (recordSize bytes). The copies
  // are NOT copied back into the caller's record; LastPrivateRecords() shows
  // them as the calls left them.
  bool privateRecords = false;
  // Shuffle which thread runs which job index (the caller runs one of them).
  bool shuffleWorkers = false;
};

// Runs a parallel kernel: calls entry(record or its private copy, additional,
// nullptr, ranges, jobIndex) once for each job index, on `workers` threads at
// once (the calling thread is one of them), each call under the abort guard.
// Returns when every call has returned. If any call aborted, throws the first
// KernelAbort after all calls have returned; a C++ exception escaping a call is
// rethrown the same way.
//
// The index space [0, length) is split into one contiguous share per job index
// and each share into batches. GetWorkStealingRange hands a call its own
// share's batches in order, then batches stolen from the other shares; every
// index is handed out exactly once.
//
// The ranges descriptor holds at byte offset 16 the address of an int32 array
// of (begin, end) pairs, pair j being job index j's own share: a job that owns
// one fixed range per job index reads its range there.
void RunJob(JobEntry entry, void* record, size_t recordSize, int32_t length,
            const JobOptions& opt = {}, void* additional = nullptr);

// Statistics of the last RunJob to finish (any thread).
int64_t LastJobBatchCount();  // batches handed out, empty ones included
int64_t LastJobStealCount();  // batches handed to a call from another call's share
// The private record copies of the last RunJob with privateRecords, by job index.
std::vector<std::vector<uint8_t>> LastPrivateRecords();

// ---------------------------------------------------------------------------
// The services themselves, with the signatures the kernels call them with.
// Prefer Resolver(); these are here for benchmarks and direct tests.
namespace service {
VORTA_MSABI uintptr_t GetWorkStealingRange(BatchRanges* ranges, uint32_t jobIndex, int32_t* begin,
                                           int32_t* end);
VORTA_MSABI uint32_t GetThreadIndexCount();
VORTA_MSABI void* Malloc(uint64_t size, uint32_t alignment, uint32_t allocator);
VORTA_MSABI void* MallocTracked(uint64_t size, uint32_t alignment, uint32_t handle, uint32_t zero);
VORTA_MSABI void Free(void* ptr, uint32_t allocator);
VORTA_MSABI void FreeTracked(void* ptr, uint32_t handle);
VORTA_MSABI void MemCpyReplicate(void* dst, const void* src, uint32_t size, uint32_t count);
VORTA_MSABI void* GetOrCreateSharedMemory(const void* key16, uint32_t size, uint32_t alignment);
[[noreturn]] VORTA_MSABI void Abort(const char* exceptionType, const char* message);
VORTA_MSABI float HalfToFloat(uint32_t half);
VORTA_MSABI uint32_t FloatToHalf(float value);
VORTA_MSABI void QuaternionInverse(const float* q, float* out);
VORTA_MSABI void Vector3Slerp(const float* a, const float* b, float t, float* out);
VORTA_MSABI int32_t* GetSortedToUserIndex(uintptr_t arrayHandle);
VORTA_MSABI void* GetSortedTransformAccess(uintptr_t arrayHandle);
VORTA_MSABI void GetPosition(const void* access, float* out);
VORTA_MSABI void GetRotation(const void* access, float* out);
VORTA_MSABI void GetLocalScale(const void* access, float* out);
VORTA_MSABI void GetLocalToWorldMatrix(const void* access, float* out);
}  // namespace service

}  // namespace vorta::host
