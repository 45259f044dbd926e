// Name-to-address resolution of the host services.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "host/host.h"

namespace vorta::host {
namespace {

struct ServiceEntry {
  const char* name;
  void* address;
};

template <class F>
void* Addr(F f) {
  return reinterpret_cast<void*>(f);
}

const ServiceEntry kServices[] = {
    {"Orvex.Jobs.LowLevel.Unsafe.JobsUtility::GetWorkStealingRange",
     Addr(&service::GetWorkStealingRange)},
    {"Orvex.Jobs.LowLevel.Unsafe.JobsUtility::get_ThreadIndexCount",
     Addr(&service::GetThreadIndexCount)},
    {"Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Malloc", Addr(&service::Malloc)},
    {"Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MallocTracked",
     Addr(&service::MallocTracked)},
    {"Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::Free", Addr(&service::Free)},
    {"Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::FreeTracked", Addr(&service::FreeTracked)},
    {"Orvex.Collections.LowLevel.Unsafe.UnsafeUtility::MemCpyReplicate",
     Addr(&service::MemCpyReplicate)},
    {"Orvex.Vorta.LowLevel.VortaCompilerService::GetOrCreateSharedMemory",
     Addr(&service::GetOrCreateSharedMemory)},
    {"vorta_abort", Addr(&service::Abort)},
    {"OrvexEngine.Jobs.TransformAccess::GetLocalScale", Addr(&service::GetLocalScale)},
    {"OrvexEngine.Jobs.TransformAccess::GetLocalToWorldMatrix",
     Addr(&service::GetLocalToWorldMatrix)},
    {"OrvexEngine.Jobs.TransformAccess::GetPosition", Addr(&service::GetPosition)},
    {"OrvexEngine.Jobs.TransformAccess::GetRotation", Addr(&service::GetRotation)},
    {"OrvexEngine.Jobs.TransformAccessArray::GetSortedToUserIndex",
     Addr(&service::GetSortedToUserIndex)},
    {"OrvexEngine.Jobs.TransformAccessArray::GetSortedTransformAccess",
     Addr(&service::GetSortedTransformAccess)},
    {"OrvexEngine.Mathf::HalfToFloat", Addr(&service::HalfToFloat)},
    {"OrvexEngine.Mathf::FloatToHalf", Addr(&service::FloatToHalf)},
    {"OrvexEngine.Quaternion::Inverse_Injected", Addr(&service::QuaternionInverse)},
    {"OrvexEngine.Vector3::Slerp_Injected", Addr(&service::Vector3Slerp)},
};
constexpr size_t kServiceCount = sizeof(kServices) / sizeof(kServices[0]);
static_assert(kServiceCount == 19, "the module resolves 19 host services");

std::mutex& LogMutex() {
  static std::mutex m;
  return m;
}
std::atomic<bool> g_logOn{false};  // written under LogMutex
std::vector<std::string>& LogNames() {
  static std::vector<std::string> v;
  return v;
}
std::vector<std::string>& UnknownNames() {
  static std::vector<std::string> v;
  return v;
}

// What an unknown name resolves to. The module stores the address without
// testing it, so the failure shows only if a kernel actually calls it.
VORTA_MSABI void UnknownService() {
  std::string names;
  {
    std::lock_guard<std::mutex> lock(LogMutex());
    for (const std::string& n : UnknownNames()) names += (names.empty() ? "" : ", ") + n;
  }
  fprintf(stderr,
          "vorta host: a kernel called a host service this host does not provide "
          "(unknown names resolved: %s)\n",
          names.empty() ? "none recorded" : names.c_str());
  fflush(stderr);
  abort();
}

VORTA_MSABI void* Resolve(const char* name) {
  void* found = nullptr;
  if (name) {
    for (const ServiceEntry& e : kServices) {
      if (strcmp(e.name, name) == 0) {
        found = e.address;
        break;
      }
    }
  }
  if (g_logOn.load(std::memory_order_relaxed) || !found) {
    std::lock_guard<std::mutex> lock(LogMutex());
    std::string n = name ? name : "(null)";
    if (g_logOn) LogNames().push_back(n);
    if (!found) {
      bool seen = false;
      for (const std::string& u : UnknownNames()) seen = seen || u == n;
      if (!seen) UnknownNames().push_back(n);
    }
  }
  return found ? found : reinterpret_cast<void*>(&UnknownService);
}

}  // namespace

ExternalResolver Resolver() { return &Resolve; }

void StartResolverLog() {
  std::lock_guard<std::mutex> lock(LogMutex());
  g_logOn = true;
}

void StopResolverLog() {
  std::lock_guard<std::mutex> lock(LogMutex());
  g_logOn = false;
  LogNames().clear();
}

std::vector<std::string> TakeResolverLog() {
  std::lock_guard<std::mutex> lock(LogMutex());
  std::vector<std::string> out;
  out.swap(LogNames());
  return out;
}

size_t ServiceCount() { return kServiceCount; }

const char* ServiceName(size_t i) { return i < kServiceCount ? kServices[i].name : nullptr; }

}  // namespace vorta::host
