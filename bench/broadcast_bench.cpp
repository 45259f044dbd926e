// Throughput of the broadcast float add against a memcpy of the same bytes.
//
// Run (from the repository root, after building):
//   build/bench/broadcast_bench                              # everything
//   build/bench/broadcast_bench --benchmark_filter=/DRAM/    # main-memory sizes only
//   build/bench/broadcast_bench --benchmark_repetitions=3    # steadier on a busy machine
//
// Names read  broadcast/<shape>/<variant>/<size>/workers:<n>  and
//             memcpy/6B/<size>/workers:<n>.
// Shapes, all with A full, of shape [rows, 256]: "stream" adds a full B (both
// streaming, one run per batch); "row" adds B of shape [1, 256] (B streams and
// restarts every row, so batches are cut into runs of 256); "column" adds B of
// shape [rows, 1] (read once per run of 256); "scalar" adds a single value.
// Sizes: L2 = 64 Ki output elements, DRAM = 16 Mi (64 MiB per full tensor).
//
// The memcpy baseline runs through the same job system with the same batches:
// each batch copies 6 bytes per output index, so that it reads plus writes the
// 12 bytes per index that the streaming add reads (8) plus writes (4). Every
// benchmark counts output elements as items, so the table's ratios are
//   stream over memcpy   the add's throughput over copying the same bytes,
//   row/column/scalar over stream   what a broadcast operand costs or saves,
//   AVX2 over SSE2       the wider variant's gain (memory bound: near 1).
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "frame/abi.h"
#include "tensor/broadcast_records.h"

namespace {

using vorta::BatchRanges;
using vorta::BroadcastBinaryJob;
using vorta::BroadcastLayout;
using vorta::CpuVariant;

constexpr const char* kAddFloat = "0dbd2aae5802a4d7fc81ee138e5540af";
constexpr int32_t kRow = 256;

const bench::SizeClass kSizes[] = {{"L2", 64 << 10}, {"DRAM", 16 << 20}};

enum class Shape { Stream, Row, Column, Scalar };
const char* ShapeName(Shape s) {
  switch (s) {
    case Shape::Stream: return "stream";
    case Shape::Row: return "row";
    case Shape::Column: return "column";
    default: return "scalar";
  }
}

// A of shape [n / 256, 256] against B of the shape's form, as a host lays them out.
BroadcastLayout LayoutFor(Shape s, int32_t n) {
  BroadcastLayout l{};
  l.dimsA[0] = n, l.stepsA[0] = 1, l.rankA = 1;  // A is full: one digit
  l.rankB = 1;
  switch (s) {
    case Shape::Stream:
      l.dimsB[0] = n, l.stepsB[0] = 1;
      break;
    case Shape::Row:  // B restarts every row
      l.dimsB[0] = kRow, l.stepsB[0] = 1, l.dimsB[1] = n / kRow, l.stepsB[1] = -kRow, l.rankB = 2;
      break;
    case Shape::Column:  // B stays on one element per row
      l.dimsB[0] = kRow, l.stepsB[0] = 0, l.dimsB[1] = n / kRow, l.stepsB[1] = 1, l.rankB = 2;
      break;
    case Shape::Scalar:
      l.dimsB[0] = n, l.stepsB[0] = 0;
      break;
  }
  return l;
}

void BM_Add(benchmark::State& state, Shape shape, CpuVariant variant, int32_t n, int workers) {
  bench::UseVariant(variant);
  bench::InOut& a = bench::InOutFor(n, -8.0f, 8.0f);
  bench::InOut& b = bench::InOutFor(n + 1, -8.0f, 8.0f);  // a second full tensor
  BroadcastBinaryJob job{a.input.get(), b.input.get(), a.output.get(), LayoutFor(shape, n)};
  const vorta::JobEntry entry = vorta::host::LinkedJob(kAddFloat);
  vorta::host::RunJob(entry, &job, sizeof job, n, bench::Workers(workers));  // warm up, untimed
  for (auto _ : state) {
    vorta::host::RunJob(entry, &job, sizeof job, n, bench::Workers(workers));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * n);
}

using bench::CopyBatches;
using bench::CopyJob;

void BM_Memcpy(benchmark::State& state, int32_t n, int workers) {
  // 6 * n bytes on each side.
  bench::InOut& source = bench::InOutFor(n / 2 * 3 + 1, -8.0f, 8.0f);
  CopyJob job{reinterpret_cast<const uint8_t*>(source.input.get()),
              reinterpret_cast<uint8_t*>(source.output.get()), 6};  // 6 bytes per index
  vorta::host::RunJob(&CopyBatches, &job, sizeof job, n, bench::Workers(workers));  // untimed
  for (auto _ : state) {
    vorta::host::RunJob(&CopyBatches, &job, sizeof job, n, bench::Workers(workers));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * n);
}

std::vector<bench::RatioPair> g_pairs;

std::string AddName(Shape s, CpuVariant v, const bench::SizeClass& size, int workers) {
  return std::string("broadcast/") + ShapeName(s) + "/" + vorta::host::VariantName(v) + "/" +
         size.name + "/workers:" + std::to_string(workers);
}

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("broadcast_bench");
  for (const bench::SizeClass& size : kSizes) {
    for (int workers : {1, 2}) {
      const std::string copy = "memcpy/6B/" + std::string(size.name) + "/workers:" +
                               std::to_string(workers);
      auto* b = benchmark::RegisterBenchmark(copy.c_str(), BM_Memcpy, size.elements, workers);
      b->Unit(benchmark::kMicrosecond)->UseRealTime();
      for (CpuVariant v : variants) {
        for (Shape s : {Shape::Stream, Shape::Row, Shape::Column, Shape::Scalar}) {
          const std::string name = AddName(s, v, size, workers);
          b = benchmark::RegisterBenchmark(name.c_str(), BM_Add, s, v, size.elements, workers);
          b->Unit(benchmark::kMicrosecond)->UseRealTime();
          g_pairs.push_back({name, s == Shape::Stream ? copy : AddName(Shape::Stream, v, size, workers)});
          if (v == CpuVariant::Avx2)
            g_pairs.push_back({name, AddName(s, CpuVariant::Sse2, size, workers)});
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Broadcast float add", "items_per_second",
                              g_pairs);
}
