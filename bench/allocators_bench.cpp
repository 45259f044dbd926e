// Arena allocator throughput with one and two threads on one arena.
//
// Run (from the repository root, after building):
//   build/bench/allocators_bench
//   build/bench/allocators_bench --benchmark_repetitions=5
//
// Each iteration, every thread makes 1024 allocations of 16 to 256 bytes from
// the shared arena, waits for the others, releases them all and waits again,
// so that every block's live count returns to zero and the arena stays the
// same size however long the run. items_per_second counts allocations (each
// with its release); the two-thread figure is for both threads together, on
// the wall clock. The arena's first block is large enough that it never grows.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <barrier>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "frame/allocation.h"
#include "host/linked_module.h"

namespace {

using vorta::AllocationBlock;
using vorta::CpuVariant;

typedef int32_t(VORTA_MSABI* AllocatorFn)(void* state, AllocationBlock* block);

constexpr int kPerIteration = 1024;
constexpr uint64_t kBlockBytes = uint64_t(64) << 20;

struct Arena {
  uint8_t state[40] = {};
  std::vector<uint8_t> table = std::vector<uint8_t>(24 * 4, 0);
  void* memory = nullptr;
  std::unique_ptr<std::barrier<>> phase;
};
Arena gArena;

void Setup(int threads) {
  if (!gArena.memory) gArena.memory = aligned_alloc(0x4000, kBlockBytes);
  memset(gArena.state, 0, sizeof gArena.state);
  std::fill(gArena.table.begin(), gArena.table.end(), 0);
  memcpy(&gArena.table[0], &gArena.memory, 8);
  memcpy(&gArena.table[8], &kBlockBytes, 8);
  uint8_t* t = gArena.table.data();
  memcpy(gArena.state + 8, &t, 8);
  gArena.state[32] = 1;  // releases enabled
  gArena.phase = std::make_unique<std::barrier<>>(threads);
}

void BM_Arena(benchmark::State& state, CpuVariant variant) {
  if (state.thread_index() == 0) {
    vorta::host::InitializeLinked(variant);
    Setup(state.threads());
  }
  auto arena =
      reinterpret_cast<AllocatorFn>(vorta::host::LinkedKernel("cf20d690c33ab495d44c548cd6a31428"));
  std::vector<AllocationBlock> blocks(kPerIteration);
  std::mt19937 rng(state.thread_index() + 1);
  std::vector<int32_t> sizes(kPerIteration);
  for (int32_t& s : sizes) s = 16 + int32_t(rng() % 241);
  for (auto _ : state) {
    for (int i = 0; i < kPerIteration; ++i) {
      AllocationBlock& b = blocks[i];
      b = AllocationBlock{};
      b.items = 1;
      b.bytesPerItem = sizes[i];
      if (arena(gArena.state, &b) != 0) state.SkipWithError("allocation failed");
    }
    gArena.phase->arrive_and_wait();
    for (AllocationBlock& b : blocks) {
      b.items = 0;
      arena(gArena.state, &b);
    }
    gArena.phase->arrive_and_wait();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kPerIteration);
}

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("allocators_bench");
  for (CpuVariant v : variants) {
    const std::string name = std::string("arena/") + vorta::host::VariantName(v);
    benchmark::RegisterBenchmark(name.c_str(), BM_Arena, v)
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
