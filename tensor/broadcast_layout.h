// The broadcast walk every two-input operator runs. A batch of output indices
// is turned into a position in both inputs once (the only divisions); the
// batch is then covered in runs, each ending where either input's innermost
// digit ends, along which each input either streams or stays on one element.
//
// An element operation Op names its element types (Op::InA, Op::InB, Op::Out),
// whether it may take whole vectors (Op::kBlocked) and maps a lane of A and a
// lane of B to a lane of Out; it is called on vectors for whole blocks and on
// scalars for the tail, so both run the same arithmetic.
#pragma once
#include "frame/batch_loop.h"
#include "frame/simd.h"
#include "tensor/broadcast_records.h"

namespace vorta::VORTA_NS {

// Wrapping int32 sums, on scalars and lanes (signed overflow is undefined in
// C++). Element offsets wrap like the host's own layout arithmetic.
template <class L>
using UintOf = std::conditional_t<sizeof(L) == 4, uint32_t, VUint>;
template <class L>
static inline __attribute__((always_inline)) L WrapAdd(L a, L b) {
  return Bits<L>(Bits<UintOf<L>>(a) + Bits<UintOf<L>>(b));
}
template <class L>
static inline __attribute__((always_inline)) L WrapSub(L a, L b) {
  return Bits<L>(Bits<UintOf<L>>(a) - Bits<UintOf<L>>(b));
}

// One input's odometer: a counter per digit and the element offset they select.
struct Odometer {
  static constexpr int32_t kMaxDigits = 8;
  const int32_t* dims;
  const int32_t* steps;
  int32_t rank;
  int32_t offset = 0;
  int32_t counters[kMaxDigits] = {};

  // Positions the odometer on output index `begin`: the digits of begin in the
  // mixed radix of dims, each quotient weighted by its step (which adds up to
  // the offset of those digits for steps built from strides). A layout that
  // breaks the host's rules may give wrong elements but never a division by
  // zero or a digit beyond the eighth.
  Odometer(const int32_t* d, const int32_t* s, int32_t r, int32_t begin)
      : dims(d), steps(s), rank(r < 1 ? 1 : r > kMaxDigits ? kMaxDigits : r) {
    for (int32_t e = begin, k = 0; e > 0 && k < kMaxDigits && dims[k] > 0; ++k) {
      counters[k] = e % dims[k];
      offset = WrapAdd(offset, WrapMul(e, steps[k]));
      e /= dims[k];
    }
  }

  int32_t Left() const { return dims[0] - counters[0]; }

  void Advance(int32_t run) {
    offset = WrapAdd(offset, WrapMul(run, steps[0]));
    counters[0] += run;
    if (counters[0] != dims[0]) return;
    for (int32_t k = 0; k + 1 < rank; ++k) {
      offset = WrapAdd(offset, steps[k + 1]);
      counters[k] = 0;
      if (++counters[k + 1] != dims[k + 1]) return;
    }
  }
};

// Covers output indices [begin, end) in runs: fn(outputIndex, offsetA, offsetB, count).
template <class RunFn>
static inline __attribute__((always_inline)) void WalkBroadcast(const BroadcastLayout& layout,
                                                                int32_t begin, int32_t end,
                                                                RunFn&& fn) {
  Odometer a(layout.dimsA, layout.stepsA, layout.rankA, begin);
  Odometer b(layout.dimsB, layout.stepsB, layout.rankB, begin);
  int32_t cursor = begin;
  int32_t remaining = end - begin;
  while (remaining > 0) {
    int32_t run = a.Left() < b.Left() ? a.Left() : b.Left();
    if (run > remaining) run = remaining;
    if (run <= 0) return;  // only a broken layout gets here; stop rather than spin
    fn(cursor, a.offset, b.offset, run);
    cursor += run;
    remaining -= run;
    if (remaining <= 0) return;
    a.Advance(run);
    b.Advance(run);
  }
}

// Which inputs advance along a run; the other is read once for the whole run.
enum class RunShape { Both, AStreams, BStreams };

// Elements per block: eight, whatever the vector width.
constexpr int32_t kBroadcastBlock = kLanes > 8 ? kLanes : 8;

// True when the blocked path gives the element-by-element results for a
// streaming input at `in`: the output is the input itself, or does not start
// less than one block after it (taken unsigned, so an output before the input
// qualifies). Otherwise an element written early would be read later.
static inline __attribute__((always_inline)) bool BlockSafe(const void* in, const void* out) {
  const uintptr_t gap = reinterpret_cast<uintptr_t>(out) - reinterpret_cast<uintptr_t>(in);
  return gap == 0 || gap >= uintptr_t(kBroadcastBlock) * 4;
}

// One run of `count` output elements. A fixed operand is read once, before any
// element is written. Loads and stores go through memcpy: the host may view one
// buffer as both element types.
template <RunShape kShape, class Op>
static inline __attribute__((always_inline)) void BroadcastRun(const Op& op,
                                                               const typename Op::InA* a,
                                                               const typename Op::InB* b,
                                                               typename Op::Out* out,
                                                               int32_t count) {
  using A = typename Op::InA;
  using B = typename Op::InB;
  constexpr bool kFixedA = kShape == RunShape::BStreams;
  constexpr bool kFixedB = kShape == RunShape::AStreams;
  const A a0 = Load<A>(a);
  const B b0 = Load<B>(b);
  int32_t j = 0;
  if constexpr (Op::kBlocked) {
    using VA = typename VecOf<A>::type;
    using VB = typename VecOf<B>::type;
    if (count >= kBroadcastBlock && (kFixedA || BlockSafe(a, out)) &&
        (kFixedB || BlockSafe(b, out))) {
      const VA va0 = Splat<VA>(a0);
      const VB vb0 = Splat<VB>(b0);
      for (; j + kBroadcastBlock <= count; j += kBroadcastBlock) {
        for (int32_t u = j; u < j + kBroadcastBlock; u += kLanes) {
          Store(out + u, op(kFixedA ? va0 : Load<VA>(a + u), kFixedB ? vb0 : Load<VB>(b + u)));
        }
      }
    }
  }
  for (; j < count; ++j) {
    Store(out + j, op(kFixedA ? a0 : Load<A>(a + j), kFixedB ? b0 : Load<B>(b + j)));
  }
}

// The whole job: the batch loop, the walk, and the run shape the layout gives
// (when A stays put along a run, B streams whatever its innermost step says).
template <class Op, class Job>
static inline __attribute__((always_inline)) void RunBroadcast(const Job* job,
                                                                  BatchRanges* ranges,
                                                                  uint32_t jobIndex) {
  const Op op(job);
  const BroadcastLayout layout = job->layout;  // a local copy: output stores cannot alias it
  const auto* a = static_cast<const typename Op::InA*>(job->inputA);
  const auto* b = static_cast<const typename Op::InB*>(job->inputB);
  auto* out = static_cast<typename Op::Out*>(job->output);
  const RunShape shape = layout.stepsA[0] == 0   ? RunShape::BStreams
                         : layout.stepsB[0] == 0 ? RunShape::AStreams
                                                 : RunShape::Both;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    WalkBroadcast(layout, begin, end, [&](int32_t at, int32_t offsetA, int32_t offsetB, int32_t n) {
      switch (shape) {
        case RunShape::Both:
          BroadcastRun<RunShape::Both>(op, a + offsetA, b + offsetB, out + at, n);
          break;
        case RunShape::AStreams:
          BroadcastRun<RunShape::AStreams>(op, a + offsetA, b + offsetB, out + at, n);
          break;
        case RunShape::BStreams:
          BroadcastRun<RunShape::BStreams>(op, a + offsetA, b + offsetB, out + at, n);
          break;
      }
    });
  });
}

}  // namespace vorta::VORTA_NS
