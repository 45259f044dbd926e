// Data movement against memcpy of the same bytes: the strided gather as a
// transpose of a 4096 x 4096 float matrix, and the gather along an axis of
// 1,000 rows of 768 floats out of 50,000.
//
// Run (from the repository root, after building):
//   build/bench/datamove_bench
//   build/bench/datamove_bench --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true     (one line; steadier on a busy machine)
//
// Names read  transpose/<variant>/workers:<n>, memcpy/transpose/workers:<n>,
//             gather/<variant>/<batches>/workers:<n>, memcpy/rows/<batches>/workers:<n>.
// Each worker gets its own copy of the record, as a host's job system gives it.
// The transpose baseline copies the same 64 MiB through the same job system
// with the same batches; the gather baseline copies the same 1,000 rows (the
// same random picks) with one memcpy per row, in batches of rows. <batches> is
// "auto" (the job system's default) or "row" (one row of 768 elements, or one
// row for the baseline, per batch). bytes_per_second counts bytes written;
// the table divides each rate by its baseline's.
#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_util.h"
#include "frame/abi.h"
#include "host/host.h"
#include "host/linked_module.h"
#include "vorta/vorta.h"

namespace {

using vorta::BatchRanges;
using vorta::CpuVariant;

constexpr int32_t kSide = 4096;
constexpr int32_t kRows = 50000, kRowLength = 768, kPicked = 1000;

vorta::host::JobOptions Options(int workers, int32_t batch) {
  vorta::host::JobOptions o = bench::Workers(workers);
  o.batchSize = batch;
  o.privateRecords = true;
  return o;
}

template <class Record>
void Run(benchmark::State& state, vorta::JobEntry entry, Record& record, int32_t length,
         const vorta::host::JobOptions& o, int64_t bytes) {
  vorta::host::RunJob(entry, &record, sizeof record, length, o);  // warm up, untimed
  for (auto _ : state) {
    vorta::host::RunJob(entry, &record, sizeof record, length, o);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

// ---- transpose ----------------------------------------------------------------

bench::InOut& Matrix() { return bench::InOutFor(kSide * kSide, -1.0f, 1.0f); }

void BM_Transpose(benchmark::State& state, CpuVariant v, int workers) {
  bench::UseVariant(v);
  bench::InOut& m = Matrix();
  VortaStridedGatherJob job{m.input.get(), m.output.get(), {kSide, kSide}, {kSide, 1}, 2};
  Run(state, vorta::host::LinkedJob(VORTA_EXPORT_DATAMOVE_STRIDED_GATHER), job, kSide * kSide,
      Options(workers, 0), int64_t(kSide) * kSide * 4);
}

struct CopyRecord {
  const uint8_t* source;
  uint8_t* destination;
  size_t unit;  // bytes per index
};

VORTA_MSABI void CopyBatches(void* record, void*, void*, BatchRanges* ranges, uint32_t jobIndex) {
  const auto* c = static_cast<const CopyRecord*>(record);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)
    if (begin < end)
      memcpy(c->destination + begin * c->unit, c->source + begin * c->unit, (end - begin) * c->unit);
}

void BM_MemcpyMatrix(benchmark::State& state, int workers) {
  bench::InOut& m = Matrix();
  CopyRecord c{reinterpret_cast<const uint8_t*>(m.input.get()),
               reinterpret_cast<uint8_t*>(m.output.get()), 4};
  Run(state, &CopyBatches, c, kSide * kSide, Options(workers, 0), int64_t(kSide) * kSide * 4);
}

// ---- gather along an axis --------------------------------------------------------

struct Table {
  bench::FloatBuffer rows = bench::AllocateFloats(size_t(kRows) * kRowLength);
  bench::FloatBuffer out = bench::AllocateFloats(size_t(kPicked) * kRowLength);
  std::vector<int32_t> picks = std::vector<int32_t>(kPicked);
  Table() {
    std::mt19937 rng(9);
    for (auto& p : picks) p = int32_t(rng() % kRows);
    for (size_t i = 0; i < size_t(kRows) * kRowLength; i += 1024) rows.get()[i] = float(i);
  }
};
Table& Rows() {
  static Table t;
  return t;
}

void BM_Gather(benchmark::State& state, CpuVariant v, int workers, int32_t batch) {
  bench::UseVariant(v);
  Table& t = Rows();
  VortaGatherAxisJob job{t.rows.get(), t.picks.data(), t.out.get(), kRows, kRowLength, kPicked};
  Run(state, vorta::host::LinkedJob(VORTA_EXPORT_DATAMOVE_GATHER_AXIS), job, kPicked * kRowLength,
      Options(workers, batch), int64_t(kPicked) * kRowLength * 4);
}

struct RowsRecord {
  const float* rows;
  const int32_t* picks;
  float* out;
};

VORTA_MSABI void CopyRows(void* record, void*, void*, BatchRanges* ranges, uint32_t jobIndex) {
  const auto* r = static_cast<const RowsRecord*>(record);
  int32_t begin, end;
  while (vorta::host::service::GetWorkStealingRange(ranges, jobIndex, &begin, &end) & 0xff)
    for (int32_t j = begin; j < end; ++j)
      memcpy(r->out + size_t(j) * kRowLength, r->rows + size_t(r->picks[j]) * kRowLength,
             kRowLength * 4);
}

void BM_MemcpyRows(benchmark::State& state, int workers, int32_t batch) {
  Table& t = Rows();
  RowsRecord r{t.rows.get(), t.picks.data(), t.out.get()};
  Run(state, &CopyRows, r, kPicked, Options(workers, batch), int64_t(kPicked) * kRowLength * 4);
}

std::vector<bench::RatioPair> g_pairs;

void RegisterAll() {
  const std::vector<CpuVariant> variants = bench::AvailableVariants("datamove_bench");
  for (int workers : {1, 2}) {
    const std::string w = "/workers:" + std::to_string(workers);
    const std::string copy = "memcpy/transpose" + w;
    bench::Timing(benchmark::RegisterBenchmark(copy.c_str(), BM_MemcpyMatrix, workers), workers);
    for (CpuVariant v : variants) {
      const std::string name = std::string("transpose/") + vorta::host::VariantName(v) + w;
      bench::Timing(benchmark::RegisterBenchmark(name.c_str(), BM_Transpose, v, workers), workers);
      g_pairs.push_back({name, copy, false, 0.7});
    }
    for (bool rowBatches : {false, true}) {
      const std::string b = rowBatches ? "/row" : "/auto";
      const std::string rows = "memcpy/rows" + b + w;
      bench::Timing(benchmark::RegisterBenchmark(rows.c_str(), BM_MemcpyRows, workers,
                                                 rowBatches ? 1 : 0), workers);
      for (CpuVariant v : variants) {
        const std::string name = std::string("gather/") + vorta::host::VariantName(v) + b + w;
        bench::Timing(benchmark::RegisterBenchmark(name.c_str(), BM_Gather, v, workers,
                                                   rowBatches ? kRowLength : 0), workers);
        g_pairs.push_back({name, rows, false, 0.8});
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv, RegisterAll, "Data movement", "bytes_per_second",
                              g_pairs);
}
