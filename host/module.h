// Loading the kernel library into the host process.
#pragma once

#include <string>

#include "frame/abi.h"

namespace vorta::host {

struct Module {
  void* handle = nullptr;
  VORTA_MSABI void (*initialize)(ExternalResolver) = nullptr;  // `vorta.initialize`
  // The address of an export (a kernel name, or any other symbol), null if missing.
  void* Kernel(const char* exportName) const;
};

// dlopen(path, RTLD_NOW | RTLD_LOCAL) and look up `vorta.initialize`. Throws
// std::runtime_error (with the loader's message) when the library cannot be
// loaded or does not export `vorta.initialize`. The library stays loaded for the
// life of the process.
Module LoadSharedModule(const char* path);

// Loads the module and initialises it with this host's Resolver().
Module LoadAndInitialize(const char* path);

// The kernel library to load: $VORTA_LIBRARY if set, else the library this
// build produced, else build/libvorta.so in the working directory or one of
// its parents.
std::string DefaultLibraryPath();

}  // namespace vorta::host
