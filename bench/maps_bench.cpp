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
// moves 8 bytes per element, the half-to-float cast 6, the float64 cast 12. The memcpy baseline runs
// through the same job system with the same worker count and batches: each
// batch copies the input bytes of its elements (a 4-byte or 2-byte element
// input, or 8 for the float64 cast: the width the map reads) into the output buffer, so it pays the same
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
using vorta::JobEntry;

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
  Buffer doubles;
  Buffer output;  // 8 bytes per element: wide enough for the 8-byte copy
};

Arrays& ArraysFor(int32_t elements) {
  static std::map<int32_t, Arrays> cache;
  auto it = cache.find(elements);
  if (it != cache.end()) return it->second;
  Arrays a;
  a.floats = AllocateBuffer(size_t(elements) * 4);
  a.halves = AllocateBuffer(size_t(elements) * 2);
  a.doubles = AllocateBuffer(size_t(elements) * 8);
  a.output = AllocateBuffer(size_t(elements) * 8);
  auto* f = reinterpret_cast<float*>(a.floats.get());
  auto* h = reinterpret_cast<uint16_t*>(a.halves.get());
  auto* d = reinterpret_cast<double*>(a.doubles.get());
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> dist(-8.0f, 8.0f);
  for (int32_t i = 0; i < elements; ++i) {
    f[i] = dist(rng);
    h[i] = vorta::host::FloatToHalfBits(f[i]);
    d[i] = double(f[i]) * 1e9;  // some beyond the clamp
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

enum class Input { Float, Half, Double };

struct Member {
  const char* name;
  const char* exportName;
  Input input;
  int inBytes;
  int outBytes;
  bool direct;  // DirectMapJob record (no length field)
  float param0;  // the words at 20 and 24
  float param1;
  int outputOffset = 8;     // where the record keeps the output pointer
  uint32_t tail[3] = {};    // the words at 28, 32 and 36
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
    // the further maps that call no host service
    {"asin", "0836f6dfa8033e3688ea0d96cbe2cdf9", Input::Float, 4, 4, false, 0, 0},
    {"atan", "233033982c81b8ee429c85a5994308db", Input::Float, 4, 4, false, 0, 0},
    {"negate", "0fdbd03be5a86b6b1b565f59508dddf0", Input::Float, 4, 4, false, 0, 0},
    {"abs", "554464b2a8348dea7d71342dc06d3af2", Input::Float, 4, 4, false, 0, 0},
    {"sign", "911230af2337e5eff5ad0283cb1509d2", Input::Float, 4, 4, false, 0, 0},
    {"selu", "9768558757fda616da5a87558ded6817", Input::Float, 4, 4, false, 1.6732632f, 0, 8,
     {0x3f867d5f /* 1.050701 */}},
    {"affine_int32", "cad1e8dda5783131a29255343107f23f", Input::Float, 4, 4, false, 0, 0, 8,
     {0, 2654435761u, 12345}},
    {"bit_decode", "d2a4234f3958190a9fc0a7d2ca4674c3", Input::Float, 4, 4, true, 0, 0, 16},
    {"cast_double", "b34f43e5a8617d0c8c85d1ca2f67788c", Input::Double, 8, 4, true, 0, 0},
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
  const void* input = m.input == Input::Half     ? a.halves.get()
                      : m.input == Input::Double ? a.doubles.get()
                                                 : a.floats.get();
  JobEntry entry = vorta::host::LinkedJob(m.exportName);

  // The widest record any member reads: input at 0, length at 16 (span
  // members), output where the member keeps it, parameters from 20 on.
  uint8_t record[40] = {};
  void* output = a.output.get();
  const uint32_t words[5] = {FloatBits(m.param0), FloatBits(m.param1), m.tail[0], m.tail[1],
                             m.tail[2]};
  memcpy(record + 20, words, sizeof words);
  if (!m.direct) memcpy(record + 16, &elements, 4);
  memcpy(record, &input, 8);
  memcpy(record + m.outputOffset, &output, 8);  // a direct record may keep it at 16
  const size_t recordSize = sizeof record;

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
  const uint8_t* source = elementBytes == 2   ? a.halves.get()
                          : elementBytes == 8 ? a.doubles.get()
                                              : a.floats.get();
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
      for (int inBytes : {4, 2, 8}) {
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
          // Maps that call no host service run at memory speed: at least 0.9 of
          // memcpy at main-memory size (the half casts call the host per element).
          const bool hostCall = std::string(m.name).find("half") != std::string::npos;
          g_ratioPairs.push_back({name, CopyName(m.inBytes, s, workers), false,
                                  std::string(s.name) == "DRAM" && !hostCall ? 0.9 : 0.0});
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
