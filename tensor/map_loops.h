// The loops every one-input map runs inside a batch. An element operation Op
// names its element types (Op::In, Op::Out) and maps a lane of In to a lane of
// Out; it is called on vectors for whole blocks and on scalars for the tail.
#pragma once
#include "frame/batch_loop.h"
#include "frame/simd.h"
#include "tensor/map_records.h"

namespace vorta::VORTA_NS {

// Applies op to count consecutive elements, with the results of the element-by-
// element order even where input and output overlap. Whole blocks go kLanes at
// a time when the output is the input itself or lies at least one block after
// it (taken as an unsigned difference, so an output before the input
// qualifies); the four-block unrolled loop also needs four blocks of distance.
// Loads and stores go through memcpy: the host may view one buffer as two
// element types, and the tail must not be reordered on the assumption that it
// cannot.
template <class Op>
static inline __attribute__((always_inline)) void MapElements(const typename Op::In* in,
                                                              typename Op::Out* out,
                                                              int64_t count, const Op& op) {
  using In = typename Op::In;
  using Out = typename Op::Out;
  using VIn = typename VecOf<In>::type;
  constexpr uintptr_t kBlockBytes = kLanes * (sizeof(In) > sizeof(Out) ? sizeof(In) : sizeof(Out));
  const uintptr_t gap = reinterpret_cast<uintptr_t>(out) - reinterpret_cast<uintptr_t>(in);
  int64_t i = 0;
  const bool inPlace = gap == 0 && sizeof(In) >= sizeof(Out);
  if (inPlace || gap >= kBlockBytes) {
    if (inPlace || gap >= 4 * kBlockBytes) {
      for (; i + 4 * kLanes <= count; i += 4 * kLanes) {
        auto r0 = op(Load<VIn>(in + i));
        auto r1 = op(Load<VIn>(in + i + kLanes));
        auto r2 = op(Load<VIn>(in + i + 2 * kLanes));
        auto r3 = op(Load<VIn>(in + i + 3 * kLanes));
        Store(out + i, r0);
        Store(out + i + kLanes, r1);
        Store(out + i + 2 * kLanes, r2);
        Store(out + i + 3 * kLanes, r3);
      }
    }
    for (; i + kLanes <= count; i += kLanes) Store(out + i, op(Load<VIn>(in + i)));
  }
  for (; i < count; ++i) Store(out + i, op(Load<In>(in + i)));
}

// The span loop of members with a length. The host schedules exactly `length`
// indices, so a batch never reaches past it; if one did, the part beyond
// `length` is left alone rather than written out of bounds.
template <class Op, class Job>
static inline __attribute__((always_inline)) void RunSpanMap(const Job* job, BatchRanges* ranges,
                                                             uint32_t jobIndex) {
  const Op op(job);
  const auto* in = static_cast<const typename Op::In*>(job->input);
  auto* out = static_cast<typename Op::Out*>(job->output);
  const int32_t length = job->length;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    int32_t stop = end < length ? end : length;
    if (begin < stop) MapElements(in + begin, out + begin, int64_t(stop) - begin, op);
  });
}

// The direct loop of members without a length: every index of the batch.
template <class Op, class Job>
static inline __attribute__((always_inline)) void RunDirectMap(const Job* job, BatchRanges* ranges,
                                                               uint32_t jobIndex) {
  const Op op(job);
  const auto* in = static_cast<const typename Op::In*>(job->input);
  auto* out = static_cast<typename Op::Out*>(job->output);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    MapElements(in + begin, out + begin, int64_t(end) - begin, op);
  });
}

}  // namespace vorta::VORTA_NS
