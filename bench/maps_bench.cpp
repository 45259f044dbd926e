// Throughput of the element-wise map jobs against a memcpy of the same data.
//
// Run (from the repository root, after building):
//   build/bench/maps_bench                              # everything, about a minute
//   build/bench/maps_bench --benchmark_filter=/DRAM/    # only the main-memory sizes
//   build/bench/maps_bench --benchmark_filter=relu      # one member, all sizes
//   build/bench/maps_bench --benchmark_filter=/DRAM/ --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true     (one line; steadier on a busy machine)
//
// Names read  maps/<member>/<variant>/<size>/workers:<n>  and
//             memcpy/in:<bytes>B/<size>/workers:<n>.
// Sizes: L1 = 4 Ki elements (16 KiB of float input), L2 = 64 Ki elements
// (256 KiB), DRAM = 16 Mi elements (64 MiB of float input, plus the output).
// Runs with more than one worker are timed on the wall clock (/real_time).
//
// bytes_per_second counts bytes read plus bytes written: a float-to-float map
// moves 8 bytes per element, the half-to-float cast 6. The memcpy baseline runs
// through the same job system with the same worker count and batches: each
// batch copies the input bytes of its elements (a 4-byte or 2-byte element
// input, the width the map reads) into the output buffer, so it pays the same
// job overhead and reads the same input. Its bytes_per_second counts the bytes
// read plus the bytes written too.
//
// The table printed after the runs divides each map's bytes_per_second by the
// bytes_per_second of the memcpy with the same input width, size and worker
// count. A ratio near 1 means the map runs at copy speed (memory bound, nothing
// left to gain); well below 1 means the arithmetic, or a per-element host call
// as in the half casts, is the limit. With repetitions the table uses medians.
// The table's GB/s are 10^9 bytes per second; the console's bytes_per_second
// column prints G for 2^30.
// At L1 and L2 sizes the two-worker runs mostly measure waking a second worker
// (tens of microseconds per job), for the maps and the baseline alike.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "frame/abi.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/map_records.h"

namespace {

using vorta::BatchRanges;
using vorta::CpuVariant;
using vorta::DirectMapJob;
using vorta::JobEntry;
using vorta::UnaryMapJob;

// ---- sizes and buffers ------------------------------------------------------

struct SizeClass {
  const char* name;
  int32_t elements;
};

const SizeClass kSizes[] = {
    {"L1", 4 << 10},
    {"L2", 64 << 10},
    {"DRAM", 16 << 20},
};

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;

Buffer AllocateBuffer(size_t bytes) {
  bytes = (bytes + 63) & ~size_t(63);
  void* p = aligned_alloc(64, bytes);
  if (!p) {
    fprintf(stderr, "maps_bench: cannot allocate %zu bytes\n", bytes);
    exit(1);
  }
  memset(p, 0, bytes);  // fault every page in before timing
  return Buffer(static_cast<uint8_t*>(p));
}

// The inputs and the output of one size: float inputs in [-8, 8) (their bit
// patterns also serve as int32 inputs), the same values as halves, and an
// output wide enough for four bytes per element. Made on first use and kept.
struct Arrays {
  Buffer floats;
  Buffer halves;
  Buffer output;
};

Arrays& ArraysFor(int32_t elements) {
  static std::map<int32_t, Arrays> cache;
  auto it = cache.find(elements);
  if (it != cache.end()) return it->second;
  Arrays a;
  a.floats = AllocateBuffer(size_t(elements) * 4);
  a.halves = AllocateBuffer(size_t(elements) * 2);
  a.output = AllocateBuffer(size_t(elements) * 4);
  auto* f = reinterpret_cast<float*>(a.floats.get());
  auto* h = reinterpret_cast<uint16_t*>(a.halves.get());
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> dist(-8.0f, 8.0f);
  for (int32_t i = 0; i < elements; ++i) {
    f[i] = dist(rng);
    h[i] = vorta::host::FloatToHalfBits(f[i]);
  }
  return cache.emplace(elements, std::move(a)).first->second;
}

// ---- variants ----------------------------------------------------------------

void UseVariant(CpuVariant variant) {
  static bool initialised = false;
  static CpuVariant current = CpuVariant::Sse2;
  if (initialised && current == variant) return;
  vorta::host::InitializeLinked(variant);
  initialised = true;
  current = variant;
}

// ---- the members -------------------------------------------------------------

enum class Input { Float, Half };

struct Member {
  const char* name;
  const char* exportName;
  Input input;
  int inBytes;
  int outBytes;
  bool direct;  // DirectMapJob record (no length field)
  float param0;
  float param1;
};

const Member kMembers[] = {
    {"relu", "13790fdabb36dc7bfcda4e03844df92c", Input::Float, 4, 4, false, 0, 0},
    {"clip", "2bf3b5adcef8bedbff1dc02f2da42aef", Input::Float, 4, 4, false, -0.5f, 0.5f},
    {"float_to_int", "f45f6974b804afa8eb43e85f37814ea8", Input::Float, 4, 4, false, 0, 0},
    {"half_to_float", "f4a715f22671445f23ed87701a946acc", Input::Half, 2, 4, true, 0, 0},
    {"int_to_float", "860b26c35bf03c0fd099aaad218c9f9a", Input::Float, 4, 4, false, 0, 0},
    {"hard_swish", "0c96f9187bce74a674ef614fd2e66fae", Input::Float, 4, 4, false, 0, 0},
    {"round", "8ce0d156ff177b4381cdeab0833c612b", Input::Float, 4, 4, false, 0, 0},
    {"float_to_half", "f1a167c77318f3f70ee2def7cd78c7d1", Input::Float, 4, 2, true, 0, 0},
};

uint32_t FloatBits(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}

void BM_Map(benchmark::State& state, const Member& m, CpuVariant variant, int32_t elements,
            int workers) {
  UseVariant(variant);
  Arrays& a = ArraysFor(elements);
  const void* input = m.input == Input::Half ? a.halves.get() : a.floats.get();
  JobEntry entry = vorta::host::LinkedJob(m.exportName);

  UnaryMapJob unary{input, a.output.get(), elements, FloatBits(m.param0), FloatBits(m.param1)};
  DirectMapJob direct{input, a.output.get()};
  void* record = m.direct ? static_cast<void*>(&direct) : static_cast<void*>(&unary);
  const size_t recordSize = m.direct ? sizeof direct : sizeof unary;

  vorta::host::JobOptions options;
  options.workers = workers;
  for (auto _ : state) {
    vorta::host::RunJob(entry, record, recordSize, elements, options);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * elements * (m.inBytes + m.outBytes));
  state.SetItemsProcessed(int64_t(state.iterations()) * elements);
}

// ---- the memcpy baseline -----------------------------------------------------

using bench::CopyBatches;
using bench::CopyJob;

void BM_Memcpy(benchmark::State& state, int elementBytes, int32_t elements, int workers) {
  Arrays& a = ArraysFor(elements);
  const uint8_t* source = elementBytes == 2 ? a.halves.get() : a.floats.get();
  CopyJob job{source, a.output.get(), elementBytes};
  vorta::host::JobOptions options;
  options.workers = workers;
  for (auto _ : state) {
    vorta::host::RunJob(&CopyBatches, &job, sizeof job, elements, options);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * elements * elementBytes * 2);
  state.SetItemsProcessed(int64_t(state.iterations()) * elements);
}

// ---- registration ------------------------------------------------------------

std::string MapName(const Member& m, CpuVariant v, const SizeClass& s, int workers) {
  return std::string("maps/") + m.name + "/" + vorta::host::VariantName(v) + "/" + s.name +
         "/workers:" + std::to_string(workers);
}

std::string CopyName(int inBytes, const SizeClass& s, int workers) {
  return "memcpy/in:" + std::to_string(inBytes) + "B/" + s.name +
         "/workers:" + std::to_string(workers);
}

// Which baseline each map is divided by, by registration name.
std::vector<bench::RatioPair> g_ratioPairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("maps_bench");

  const int workerCounts[] = {1, 2};
  for (const SizeClass& s : kSizes) {
    for (int workers : workerCounts) {
      for (int inBytes : {4, 2}) {
        auto* b = benchmark::RegisterBenchmark(CopyName(inBytes, s, workers).c_str(), BM_Memcpy,
                                               inBytes, s.elements, workers);
        b->Unit(benchmark::kMicrosecond);
        if (workers > 1) b->UseRealTime();
      }
      for (const Member& m : kMembers) {
        for (CpuVariant v : variants) {
          std::string name = MapName(m, v, s, workers);
          auto* b = benchmark::RegisterBenchmark(name.c_str(), BM_Map, m, v, s.elements, workers);
          b->Unit(benchmark::kMicrosecond);
          if (workers > 1) b->UseRealTime();
          g_ratioPairs.push_back({name, CopyName(m.inBytes, s, workers)});
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll,
                              "Throughput relative to memcpy of the same bytes", "bytes_per_second",
                              g_ratioPairs);
}
