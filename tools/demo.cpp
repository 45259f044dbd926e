// vorta_demo: what the library is for, on real data, through its exports.
//
//   vorta_demo [--variant sse2|avx2|auto] [--workers N] [--json] [--library PATH]
//              [--data DIR] [--heat-map FILE.png] [--help]
//
// Part one evaluates a small convolutional network on the 360 held-out 8 x 8
// handwritten digits and checks it against torch; part two runs one frame of
// the scene side (transforms, light bounds and binning, depth bins and tile
// masks) and writes a heat map of lights per screen tile.
//
// With --variant auto (the default) the demo loads build/libvorta.so with
// dlopen and initialises it as a host does; the library's own processor probe
// picks the variant. sse2 or avx2 use the library objects linked into the demo
// instead, bound to that variant. Exit status: 0 when every check passes, 1
// when one fails, 2 when the library or the data cannot be loaded.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <exception>
#include <string>

#include "host/linked_module.h"
#include "host/module.h"
#include "tools/demo_common.h"

#ifndef VORTA_DEMO_DATA_DIR
#define VORTA_DEMO_DATA_DIR "tools/digits"
#endif

namespace demo {

void RunOnWorkers(vorta::JobEntry job, void* record, size_t size, int32_t length,
                  const Options& options, const std::vector<size_t>& scratchOffsets) {
  vorta::host::JobOptions o;
  o.workers = options.workers;
  o.privateRecords = true;
  vorta::host::RunJob(job, record, size, length, o);
  if (scratchOffsets.size() == 0) return;
  for (const std::vector<uint8_t>& copy : vorta::host::LastPrivateRecords()) {
    for (size_t offset : scratchOffsets) {
      void* mine = nullptr;
      void* given = nullptr;
      memcpy(&mine, copy.data() + offset, sizeof mine);
      memcpy(&given, static_cast<const uint8_t*>(record) + offset, sizeof given);
      if (mine && mine != given) vorta::host::service::Free(mine, 2);
    }
  }
}

namespace {

struct LoadedKernels : Kernels {
  vorta::host::Module module;
  std::string path;
  void* Find(const char* name) const override {
    void* p = module.Kernel(name);
    if (!p) {
      fprintf(stderr, "vorta_demo: %s does not export %s\n", path.c_str(), name);
      exit(2);
    }
    return p;
  }
};

struct LinkedKernels : Kernels {
  void* Find(const char* name) const override { return vorta::host::LinkedKernel(name); }
};

void Usage(FILE* out) {
  fprintf(out,
          "usage: vorta_demo [--variant sse2|avx2|auto] [--workers N] [--json]\n"
          "                  [--library PATH] [--data DIR] [--heat-map FILE.png] [--help]\n"
          "  --variant   auto (default): load the library and let its probe choose;\n"
          "              sse2 / avx2: run the linked objects bound to that variant\n"
          "  --workers   job-system workers (default: one per core)\n"
          "  --json      print the results as one JSON object\n"
          "  --library   the library to load with --variant auto (default build/libvorta.so)\n"
          "  --data      the digits, weights and torch reference (default %s)\n"
          "  --heat-map  where to write the lights-per-tile PNG (default build/light_heat_map.png)\n",
          VORTA_DEMO_DATA_DIR);
}

}  // namespace
}  // namespace demo

int main(int argc, char** argv) {
  demo::Options options;
  options.dataDir = VORTA_DEMO_DATA_DIR;
  options.heatMap = "build/light_heat_map.png";
  std::string variant = "auto", library;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        fprintf(stderr, "vorta_demo: %s needs a value\n", a.c_str());
        demo::Usage(stderr);
        exit(2);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      demo::Usage(stdout);
      return 0;
    } else if (a == "--variant") {
      variant = value();
    } else if (a == "--workers") {
      options.workers = atoi(value().c_str());
    } else if (a == "--json") {
      options.json = true;
    } else if (a == "--library") {
      library = value();
    } else if (a == "--data") {
      options.dataDir = value();
    } else if (a == "--heat-map") {
      options.heatMap = value();
    } else {
      fprintf(stderr, "vorta_demo: unknown option %s\n", a.c_str());
      demo::Usage(stderr);
      return 2;
    }
  }
  if (options.workers < 0 || options.workers > 64 ||
      (variant != "auto" && variant != "sse2" && variant != "avx2")) {
    demo::Usage(stderr);
    return 2;
  }

  demo::LoadedKernels loaded;
  demo::LinkedKernels linked;
  const demo::Kernels* kernels = &linked;
  vorta::CpuVariant used;
  if (variant == "auto") {
    loaded.path = library.empty() ? vorta::host::DefaultLibraryPath() : library;
    try {
      loaded.module = vorta::host::LoadAndInitialize(loaded.path.c_str());
    } catch (const std::exception& e) {
      fprintf(stderr, "vorta_demo: %s\n", e.what());
      return 2;
    }
    kernels = &loaded;
    used = vorta::host::ProbedVariant();
  } else {
    used = variant == "avx2" ? vorta::CpuVariant::Avx2 : vorta::CpuVariant::Sse2;
    if (used == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) {
      fprintf(stderr, "vorta_demo: this processor cannot run the AVX2 variant\n");
      return 2;
    }
    vorta::host::InitializeLinked(used);
  }
  const int workers = options.workers ? options.workers : vorta::host::DefaultWorkerCount();
  const char* how = variant == "auto" ? "loaded library, probe's choice" : "linked objects, forced";

  std::string json;
  if (options.json) {
    json = "{\"variant\": \"" + std::string(vorta::host::VariantName(used)) +
           "\", \"workers\": " + std::to_string(workers) + ", ";
  } else {
    printf("vorta demo: %s variant (%s), %d workers\n\n", vorta::host::VariantName(used), how,
           workers);
  }
  bool ok = demo::RunNetwork(*kernels, options, options.json ? &json : nullptr);
  if (options.json) json += ", ";
  else printf("\n");
  ok = demo::RunScene(*kernels, options, options.json ? &json : nullptr) && ok;
  if (options.json) printf("%s, \"ok\": %s}\n", json.c_str(), ok ? "true" : "false");
  else printf("\n%s\n", ok ? "every check passed" : "a check FAILED");
  return ok ? 0 : 1;
}
