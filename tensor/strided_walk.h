// The strided walk shared by the slice, transpose, broadcast, gather, scatter,
// select and sum jobs: a flat index space split into up to eight digits (digit
// 0 innermost), carried into the element offsets of up to three strided sides.
// A batch is turned into digits once (the only divisions); it is then covered
// in runs along digit 0 in which every side moves by a fixed step, and one
// odometer step per run carries the digits and offsets on.
//
// Each side sees digit k modulo its own extent (a side of extent 1 stays on one
// element, one of the digit's extent follows it, a smaller one tiles), times its
// step. A layout whose digits do not nest (a divisor that is not the product of
// the inner extents) is walked one index at a time by the literal formula,
// never wrongly and never with a division by zero.
#pragma once
#include <stdint.h>

#include "frame/variant.h"

namespace vorta::VORTA_NS {

constexpr int32_t kWalkDigits = 8;
constexpr int64_t kUnboundedModulus = INT64_MAX;
// A side extent that never wraps before the digit does.
constexpr int64_t kFollow = INT64_MAX;

template <int kSides>
struct WalkLayout {
  int32_t rank;                       // digits in use, 1 to 8
  int64_t divisor[kWalkDigits];       // digit k of index i is (i mod modulus[k]) div divisor[k]
  int64_t modulus[kWalkDigits];
  int64_t extent[kWalkDigits];        // modulus / divisor where that divides
  int64_t sideExtent[kSides][kWalkDigits];
  int64_t step[kSides][kWalkDigits];  // element offset per unit of the side's digit
  int64_t base[kSides];

  explicit WalkLayout(int32_t digits) : rank(digits < 1 ? 1 : digits > 8 ? 8 : digits) {
    for (int k = 0; k < kWalkDigits; ++k) {
      divisor[k] = modulus[k] = extent[k] = 1;
      for (int s = 0; s < kSides; ++s) sideExtent[s][k] = 1, step[s][k] = 0;
    }
    for (int s = 0; s < kSides; ++s) base[s] = 0;
  }

  // Digit k is (i div t) mod n.
  void Digit(int k, int64_t t, int64_t n) {
    divisor[k] = t < 1 ? 1 : t;
    extent[k] = n < 1 ? 1 : n;
    // Past the int64 range no index reaches the wrap: the digit is i div t.
    if (__builtin_mul_overflow(divisor[k], extent[k], &modulus[k])) modulus[k] = kUnboundedModulus;
  }
  // Digit k is (i mod outer) div t: digits by successive division, where
  // outer is the divisor of the next outer digit (kUnboundedModulus for none).
  void Successive(int k, int64_t t, int64_t outer) {
    divisor[k] = t < 1 ? 1 : t;
    modulus[k] = outer < 1 ? 1 : outer;
    extent[k] = outer == kUnboundedModulus ? INT32_MAX : modulus[k] / divisor[k];
    if (extent[k] < 1) extent[k] = 1;
  }
  // Side s reads digit k modulo e, with the given step.
  void Side(int s, int k, int64_t e, int64_t stride) {
    sideExtent[s][k] = e < 1 ? 1 : e;
    step[s][k] = stride;
  }

  // Folds each digit into the one below it wherever every side moves through
  // the pair as through one digit: staying on one element in both, or stepping
  // on linearly without tiling. Runs then reach across whole blocks. Only for
  // walks whose users read offsets, not digit counters.
  void MergeDigits() {
    if (!Regular()) return;
    int low = 0;
    for (int k = 1; k < rank; ++k) {
      if (Trivial(k)) continue;  // always 0: contributes nothing
      int64_t whole;
      bool merge = extent[low] != 1 && !__builtin_mul_overflow(extent[low], extent[k], &whole) &&
                   whole < kUnboundedModulus;
      for (int s = 0; s < kSides && merge; ++s) {
        const bool stays = sideExtent[s][low] == 1 && sideExtent[s][k] == 1;
        const bool linear = sideExtent[s][low] >= extent[low] && sideExtent[s][k] >= extent[k] &&
                            step[s][k] == step[s][low] * extent[low];
        merge = stays || linear;
      }
      if (merge) {
        for (int s = 0; s < kSides; ++s)
          if (sideExtent[s][low] != 1 || sideExtent[s][k] != 1) sideExtent[s][low] = kFollow;
        extent[low] = whole;
        modulus[low] = modulus[k];
        continue;
      }
      if (extent[low] != 1) ++low;  // a digit of extent 1 below is simply replaced
      divisor[low] = divisor[k], modulus[low] = modulus[k], extent[low] = extent[k];
      for (int s = 0; s < kSides; ++s) sideExtent[s][low] = sideExtent[s][k], step[s][low] = step[s][k];
    }
    for (int k = low + 1; k < rank; ++k) {
      divisor[k] = modulus[k] = extent[k] = 1;
      for (int s = 0; s < kSides; ++s) sideExtent[s][k] = 1, step[s][k] = 0;
    }
    rank = low + 1;
  }

  // A digit that is 0 for every index: (i mod t) div t.
  bool Trivial(int k) const { return modulus[k] == divisor[k]; }

  // True when the digits nest, so that the odometer walk gives the literal
  // digits: each digit's divisor is the modulus of the one below (digits that
  // are always 0 aside, whatever divisor they name).
  bool Regular() const {
    int64_t expected = 1;
    for (int k = 0; k < rank; ++k) {
      if (Trivial(k)) continue;
      if (divisor[k] != expected) return false;
      int64_t whole;
      if (modulus[k] != kUnboundedModulus &&
          (__builtin_mul_overflow(divisor[k], extent[k], &whole) || modulus[k] != whole))
        return false;
      expected = modulus[k];
    }
    return true;
  }
};

template <int kSides>
class StridedWalk {
 public:
  StridedWalk(const WalkLayout<kSides>& layout, int64_t begin)
      : L_(layout), regular_(layout.Regular()) {
    for (int s = 0; s < kSides; ++s)
      for (int k = 0; k < kWalkDigits; ++k) {
        // A side extent at least the digit's follows the digit: never wraps first.
        int64_t e = layout.sideExtent[s][k];
        ext_[s][k] = e >= layout.extent[k] ? layout.extent[k] : e;
      }
    for (int s = 0; s < kSides; ++s) runStep_[s] = ext_[s][0] == 1 ? 0 : layout.step[s][0];
    Seek(begin);
  }

  int64_t Index() const { return index_; }
  int64_t Offset(int s) const { return offset_[s]; }
  // A side's offset change per index along the current run.
  int64_t RunStep(int s) const { return runStep_[s]; }
  int64_t Counter(int k) const { return counter_[k]; }

  // Indices from here on along which every side moves by its run step.
  int64_t Left() const {
    if (!regular_) return 1;
    int64_t n = L_.extent[0] - counter_[0];
    for (int s = 0; s < kSides; ++s) {
      const int64_t e = ext_[s][0];
      if (e > 1 && e < L_.extent[0] && e - side_[s][0] < n) n = e - side_[s][0];
    }
    return n;
  }

  // Moves on by run indices, run <= Left().
  void Advance(int64_t run) {
    index_ += run;
    if (!regular_) {
      Seek(index_);
      return;
    }
    counter_[0] += run;
    for (int s = 0; s < kSides; ++s) {
      if (ext_[s][0] == 1) continue;
      side_[s][0] += run;
      offset_[s] += run * L_.step[s][0];
      if (side_[s][0] == ext_[s][0]) Wrap(s, 0);
    }
    for (int k = 0; counter_[k] == L_.extent[k];) {
      counter_[k] = 0;
      for (int s = 0; s < kSides; ++s) {
        offset_[s] -= side_[s][k] * L_.step[s][k];
        side_[s][k] = 0;
      }
      if (++k == L_.rank) break;
      ++counter_[k];
      for (int s = 0; s < kSides; ++s) {
        if (ext_[s][k] == 1) continue;
        offset_[s] += L_.step[s][k];
        if (++side_[s][k] == ext_[s][k]) Wrap(s, k);
      }
    }
  }

  // Moves digit k on by n (n < extent - counter) when every digit below k is
  // zero and stays so, with no carry: for walks that step over whole rows.
  void AdvanceDigit(int k, int64_t n, int64_t indicesPerUnit) {
    index_ += n * indicesPerUnit;
    counter_[k] += n;
    for (int s = 0; s < kSides; ++s) {
      if (ext_[s][k] == 1) continue;
      side_[s][k] += n;
      offset_[s] += n * L_.step[s][k];
      while (side_[s][k] >= ext_[s][k]) {
        side_[s][k] -= ext_[s][k];
        offset_[s] -= ext_[s][k] * L_.step[s][k];
      }
    }
  }

 private:
  void Wrap(int s, int k) {
    side_[s][k] = 0;
    offset_[s] -= ext_[s][k] * L_.step[s][k];
  }

  // The literal digits of index i and the offsets they give.
  void Seek(int64_t i) {
    index_ = i;
    for (int s = 0; s < kSides; ++s) offset_[s] = L_.base[s];
    for (int k = 0; k < kWalkDigits; ++k) {
      counter_[k] = 0;
      for (int s = 0; s < kSides; ++s) side_[s][k] = 0;
      if (k >= L_.rank || i == 0) continue;  // index 0 has every digit 0
      const int64_t m = L_.modulus[k];
      const int64_t d = (m == kUnboundedModulus ? i : i % m) / L_.divisor[k];
      counter_[k] = d;
      for (int s = 0; s < kSides; ++s) {
        side_[s][k] = d % ext_[s][k];
        offset_[s] += side_[s][k] * L_.step[s][k];
      }
    }
  }

  const WalkLayout<kSides>& L_;
  const bool regular_;
  int64_t index_ = 0;
  int64_t counter_[kWalkDigits];
  int64_t ext_[kSides][kWalkDigits];
  int64_t side_[kSides][kWalkDigits];
  int64_t offset_[kSides];
  int64_t runStep_[kSides];
};

// Covers indices [begin, end) in runs: run(index, walk, count), where side s
// starts at walk.Offset(s) and moves by walk.RunStep(s) per index.
template <int kSides, class RunFn>
static inline __attribute__((always_inline)) void WalkRuns(const WalkLayout<kSides>& layout,
                                                           int64_t begin, int64_t end,
                                                           RunFn&& run) {
  StridedWalk<kSides> walk(layout, begin);
  while (walk.Index() < end) {
    int64_t n = walk.Left();
    if (n > end - walk.Index()) n = end - walk.Index();
    run(walk.Index(), walk, n);
    walk.Advance(n);
  }
}

}  // namespace vorta::VORTA_NS
