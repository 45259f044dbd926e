// The element steps and folds of the axis sums, shared by the reductions, the
// row statistics and the softmax family: float lanes in IEEE arithmetic, int32
// lanes wrapping. A fold is what the axis walk folds (see axis_walk.h).
#pragma once
#include <stdint.h>

#include <type_traits>

#include "frame/simd.h"

namespace vorta::VORTA_NS {

template <class L>
constexpr bool kFloatLanes = std::is_same_v<FloatOf<L>, L>;

// ---- element steps: float lanes in IEEE arithmetic, int32 lanes wrapping ----

struct Same {
  template <class L> L operator()(L x) const { return x; }
};
struct Square {
  template <class L> L operator()(L x) const {
    if constexpr (kFloatLanes<L>) return x * x;
    else return WrapMul(x, x);
  }
};
// The float magnitude clears the sign bit; the int32 one keeps -2147483648.
struct Magnitude {
  template <class L> L operator()(L x) const {
    if constexpr (kFloatLanes<L>) return Abs(x);
    else return Select(x < Splat<L>(0), WrapNeg(x), x);
  }
};
struct Add {
  template <class L> L operator()(L a, L b) const {
    if constexpr (kFloatLanes<L>) return a + b;
    else if constexpr (sizeof(L) == 4) return L(uint32_t(a) + uint32_t(b));
    else return Bits<L>(Bits<VUint>(a) + Bits<VUint>(b));
  }
};
struct Multiply {
  template <class L> L operator()(L a, L b) const {
    if constexpr (kFloatLanes<L>) return a * b;
    else return WrapMul(a, b);
  }
};
struct Smaller {
  template <class L> L operator()(L a, L b) const { return Select(b < a, b, a); }
};
struct Larger {
  template <class L> L operator()(L a, L b) const { return Select(b > a, b, a); }
};

template <class T_, class MapStep, class JoinStep, int64_t kIdentity>
struct Fold {
  typedef T_ T;
  template <class L> L Identity() const { return Splat<L>(T(kIdentity)); }
  template <class L> L Map(L x, int32_t) const { return MapStep()(x); }
  template <class L> L Combine(L a, L b) const { return JoinStep()(a, b); }
};

using SumFloat = Fold<float, Same, Add, 0>;
using SquareSumFloat = Fold<float, Square, Add, 0>;

}  // namespace vorta::VORTA_NS
