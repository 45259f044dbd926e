// Loading the kernel library.
#include "host/module.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

#include "host/host.h"

namespace vorta::host {

void* Module::Kernel(const char* exportName) const {
  if (!handle || !exportName) return nullptr;
  return dlsym(handle, exportName);
}

Module LoadSharedModule(const char* path) {
  Module m;
  dlerror();
  m.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!m.handle) {
    const char* err = dlerror();
    throw std::runtime_error(std::string("cannot load ") + (path ? path : "(null)") + ": " +
                             (err ? err : "unknown error"));
  }
  dlerror();
  void* init = dlsym(m.handle, "vorta.initialize");
  if (!init) {
    const char* err = dlerror();
    throw std::runtime_error(std::string(path) + " does not export vorta.initialize" +
                             (err ? std::string(": ") + err : std::string()));
  }
  m.initialize = reinterpret_cast<VORTA_MSABI void (*)(ExternalResolver)>(init);
  return m;
}

Module LoadAndInitialize(const char* path) {
  Module m = LoadSharedModule(path);
  m.initialize(Resolver());
  return m;
}

std::string DefaultLibraryPath() {
  if (const char* env = getenv("VORTA_LIBRARY"); env && *env) return env;
#ifdef VORTA_LIBRARY_PATH
  if (access(VORTA_LIBRARY_PATH, R_OK) == 0) return VORTA_LIBRARY_PATH;
#endif
  std::string dir;
  for (int up = 0; up < 5; ++up) {
    std::string candidate = dir + "build/libvorta.so";
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
    dir += "../";
  }
#ifdef VORTA_LIBRARY_PATH
  return VORTA_LIBRARY_PATH;
#else
  return "build/libvorta.so";
#endif
}

}  // namespace vorta::host
