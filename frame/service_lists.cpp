// The six service lists: the externals initialiser of each kernel resolves one
// of them into the shared service slots, and its statics initialiser runs the
// list's statics step. Both are reached from the generated initialiser exports.
#include "frame/services.h"
#include "frame/statics.h"

namespace vorta {

const char* const kServiceNames[kServiceCount] = {
    "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange",
    "Orvex.Jobs.LowLevel.Unsafe.JobsUtility::get_ThreadIndexCount",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Malloc",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MallocTracked",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Free",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::FreeTracked",
    "Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MemCpyReplicate",
    "Orvex.Vorta.LowLevel.VortaCompilerService::GetOrCreateSharedMemory",
    "vorta_abort",
    "OrvexEngine.Jobs.TransformAccess::GetLocalScale",
    "OrvexEngine.Jobs.TransformAccess::GetLocalToWorldMatrix",
    "OrvexEngine.Jobs.TransformAccess::GetPosition",
    "OrvexEngine.Jobs.TransformAccess::GetRotation",
    "OrvexEngine.Jobs.TransformAccessArray::GetSortedToUserIndex",
    "OrvexEngine.Jobs.TransformAccessArray::GetSortedTransformAccess",
    "OrvexEngine.Mathf::HalfToFloat",
    "OrvexEngine.Mathf::FloatToHalf",
    "OrvexEngine.Quaternion::Inverse_Injected",
    "OrvexEngine.Vector3::Slerp_Injected",
};

extern "C" {
void* vorta_host_services[kServiceCount];
ModuleStatics vorta_statics;
}

namespace {

template <uint32_t N>
struct List {
  Service services[N];
};

constexpr List<1> kR1 = {{kGetWorkStealingRange}};
constexpr List<7> kR2 = {{kAbort, kGetThreadIndexCount, kMallocTracked, kFreeTracked,
                          kGetOrCreateSharedMemory, kQuaternionInverse, kVector3Slerp}};
constexpr List<7> kR3 = {{kAbort, kGetWorkStealingRange, kMalloc, kFreeTracked, kMallocTracked,
                          kMemCpyReplicate, kFree}};
constexpr List<3> kR4 = {{kGetWorkStealingRange, kHalfToFloat, kFloatToHalf}};
constexpr List<11> kR5 = {{kAbort, kGetWorkStealingRange, kGetSortedToUserIndex,
                           kGetSortedTransformAccess, kGetPosition, kGetRotation, kGetLocalScale,
                           kGetLocalToWorldMatrix, kFreeTracked, kMallocTracked, kHalfToFloat}};
constexpr List<1> kR6 = {{kAbort}};

// The result is stored as returned: a host that cannot serve a name must still
// hand back something callable.
template <uint32_t N>
void Resolve(ExternalResolver resolver, const List<N>& list) {
  for (uint32_t i = 0; i < N; ++i) {
    Service s = list.services[i];
    vorta_host_services[s] = resolver(kServiceNames[s]);
  }
}

}  // namespace

extern "C" {

VORTA_HIDDEN VORTA_MSABI void vorta_resolve_R1(ExternalResolver r) { Resolve(r, kR1); }
VORTA_HIDDEN VORTA_MSABI void vorta_resolve_R2(ExternalResolver r) { Resolve(r, kR2); }
VORTA_HIDDEN VORTA_MSABI void vorta_resolve_R3(ExternalResolver r) { Resolve(r, kR3); }
VORTA_HIDDEN VORTA_MSABI void vorta_resolve_R4(ExternalResolver r) { Resolve(r, kR4); }
VORTA_HIDDEN VORTA_MSABI void vorta_resolve_R5(ExternalResolver r) { Resolve(r, kR5); }
VORTA_HIDDEN VORTA_MSABI void vorta_resolve_R6(ExternalResolver r) { Resolve(r, kR6); }

VORTA_HIDDEN VORTA_MSABI void vorta_statics_empty() {}

// Runs once per kernel of its list, so every step must land on the same state
// when repeated: the host returns the same shared block for the same key.
VORTA_HIDDEN VORTA_MSABI void vorta_statics_allocator() {
  ModuleStatics& s = vorta_statics;
  for (uint32_t i = 0; i < 6; ++i) s.builtinAllocator[i] = i;
  auto threadIndexCount = ServiceSlot<svc::GetThreadIndexCount>(kGetThreadIndexCount);
  s.threadIndexCount[0] = static_cast<uint16_t>(threadIndexCount());
  s.threadIndexCount[1] = static_cast<uint16_t>(threadIndexCount());
  uint32_t base = 0x8000u - static_cast<uint32_t>(s.threadIndexCount[1]);
  s.threadSlotBase[0] = base;
  s.threadSlotBase[1] = base;
  uint64_t key[2] = {kAllocatorTableKey, 0};
  s.allocatorTable = static_cast<AllocatorTableEntry*>(
      ServiceSlot<svc::GetOrCreateSharedMemory>(kGetOrCreateSharedMemory)(
          key, kAllocatorTableBytes, 16));
}

VORTA_HIDDEN VORTA_MSABI void vorta_statics_rotation() {
  static const uint32_t kBits[4] = {0xBF3504F3u, 0u, 0u, 0x3F3504F3u};
  __builtin_memcpy(vorta_statics.rotationXMinus90, kBits, sizeof kBits);
}

}  // extern "C"

}  // namespace vorta
