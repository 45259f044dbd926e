// Cumulative sums: each line adds its elements strictly in running order (from
// position N − 1 down with reverse), one addition per element, float32 in IEEE
// arithmetic and int32 wrapping. An inclusive output is the sum after adding its
// own element, an exclusive one the sum before; each element is read before its
// own output is written, so the inclusive form may run in place.
//
// Contiguous lines run four side by side (four independent chains of additions)
// and strided lines of one outer block one lane each, which gives what one line
// after another gives unless the output overlaps the input without being it;
// then lines go one at a time.
#include "tensor/cumsum.h"

#include <vorta/vorta.h>

#include "frame/batch_loop.h"
#include "tensor/axis_folds.h"
#include "tensor/axis_walk.h"

namespace vorta {
using CumulativeSumJob = ::VortaCumulativeSumJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// Adds x to the running sum and gives the value to store.
template <bool kExclusive, class L>
static inline __attribute__((always_inline)) L Advance(L& acc, L x) {
  const L before = acc;
  acc = Add()(acc, x);
  return kExclusive ? before : acc;
}

// R contiguous lines of N elements side by side, position p of line r at r·N + p.
template <int R, bool kExclusive, class T>
static inline void ScanRows(const T* x, T* y, int32_t N, bool reverse) {
  T acc[R] = {};
  const int64_t step = reverse ? -1 : 1;
  for (int64_t t = 0, p = reverse ? N - 1 : 0; t < N; ++t, p += step)
    for (int r = 0; r < R; ++r) y[r * int64_t(N) + p] = Advance<kExclusive>(acc[r], x[r * int64_t(N) + p]);
}

// m ≤ kLineChunk neighbouring lines, position p of line j at p·S + j.
template <bool kExclusive, class T>
static inline void ScanLines(const T* x, T* y, int64_t S, int32_t N, int32_t m, bool reverse) {
  T acc[kLineChunk];
  EachLane<T>(m, [&]<class L>(int32_t j) { Store(acc + j, Splat<L>(0)); });
  const int64_t step = reverse ? -S : S;
  for (int64_t t = 0, p = reverse ? (N - 1) * S : 0; t < N; ++t, p += step)
    EachLane<T>(m, [&]<class L>(int32_t j) {
      L a = Load<L>(acc + j);
      Store(y + p + j, Advance<kExclusive>(a, Load<L>(x + p + j)));
      Store(acc + j, a);
    });
}

template <class T, bool kExclusive>
static inline void RunScan(const CumulativeSumJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  const T* in = static_cast<const T*>(j->input);
  T* out = static_cast<T*>(j->output);
  const int32_t N = j->N, S = j->S;
  const bool reverse = j->reverse != 0;
  constexpr int kRows = 4;
  const bool rowsApart = LinesApart(in, out, int64_t(kRows) * N * int64_t(sizeof(T)));
  const int32_t together = LinesApart(in, out, int64_t(N) * S * int64_t(sizeof(T))) ? kLineChunk : 1;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkAxis(
        N, S, begin, end,
        [&](int64_t first, int32_t count) {
          int64_t o = first;
          if (rowsApart)
            for (; o + kRows <= first + count; o += kRows)
              ScanRows<kRows, kExclusive>(in + o * N, out + o * N, N, reverse);
          for (; o < first + count; ++o) ScanRows<1, kExclusive>(in + o * N, out + o * N, N, reverse);
        },
        [&](int64_t offset, int32_t m, int64_t) {
          for (int32_t c = 0; c < m; c += together)
            ScanLines<kExclusive>(in + offset + c, out + offset + c, S, N,
                                  m - c < together ? m - c : together, reverse);
        });
  });
}

template <class T>
static void RunCumulativeSum(const CumulativeSumJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  if (j->exclusive) RunScan<T, true>(j, ranges, jobIndex);
  else RunScan<T, false>(j, ranges, jobIndex);
}

}  // namespace

VORTA_JOB_RUNNING(CumulativeSumFloat, CumulativeSumJob, RunCumulativeSum<float>)
VORTA_JOB_RUNNING(CumulativeSumInt32, CumulativeSumJob, RunCumulativeSum<int32_t>)

}  // namespace vorta::VORTA_NS
