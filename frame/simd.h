// Lane types for the variant being compiled: four lanes of 32 bits in the SSE2
// variant, eight in the AVX2 variant. Element operations are written once as
// templates over a lane type L that is either a scalar (float, int32_t) or a
// vector of them, with the helpers below overloaded for both, so the blocked
// fast path and the element-by-element tail run the very same arithmetic.
#pragma once
#include <immintrin.h>
#include <stdint.h>

#include <type_traits>

#include "frame/variant.h"

namespace vorta::VORTA_NS {

#if defined(VORTA_VARIANT_AVX2)
constexpr int kLanes = 8;
#else
constexpr int kLanes = 4;
#endif

typedef float VFloat __attribute__((vector_size(kLanes * 4)));
typedef int32_t VInt __attribute__((vector_size(kLanes * 4)));
typedef uint32_t VUint __attribute__((vector_size(kLanes * 4)));
typedef int64_t VInt64 __attribute__((vector_size(kLanes * 8)));
typedef double VDouble __attribute__((vector_size(kLanes * 8)));
typedef int8_t VInt8 __attribute__((vector_size(kLanes)));
typedef uint8_t VUint8 __attribute__((vector_size(kLanes)));

// The vector of kLanes elements of T.
template <class T> struct VecOf;
template <> struct VecOf<float> { typedef VFloat type; };
template <> struct VecOf<int32_t> { typedef VInt type; };
template <> struct VecOf<uint32_t> { typedef VUint type; };
template <> struct VecOf<int64_t> { typedef VInt64 type; };
template <> struct VecOf<double> { typedef VDouble type; };
template <> struct VecOf<int8_t> { typedef VInt8 type; };
template <> struct VecOf<uint8_t> { typedef VUint8 type; };

// Lane-shaped companions: the int32 / float / mask type with L's lane count.
template <class L> struct LaneTraits;
template <> struct LaneTraits<float> { typedef int32_t Int; typedef float Float; typedef bool Mask; };
template <> struct LaneTraits<int32_t> { typedef int32_t Int; typedef float Float; typedef bool Mask; };
template <> struct LaneTraits<VFloat> { typedef VInt Int; typedef VFloat Float; typedef VInt Mask; };
template <> struct LaneTraits<VInt> { typedef VInt Int; typedef VFloat Float; typedef VInt Mask; };
template <class L> using IntOf = typename LaneTraits<L>::Int;
template <class L> using FloatOf = typename LaneTraits<L>::Float;
template <class L> using MaskOf = typename LaneTraits<L>::Mask;

template <class V, class T>
static inline __attribute__((always_inline)) V Load(const T* p) {
  V v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

template <class T, class V>
static inline __attribute__((always_inline)) void Store(T* p, V v) {
  __builtin_memcpy(p, &v, sizeof v);
}

// Same bits, other type.
template <class To, class From>
static inline __attribute__((always_inline)) To Bits(From x) {
  static_assert(sizeof(To) == sizeof(From));
  To t;
  __builtin_memcpy(&t, &x, sizeof t);
  return t;
}

// A lane type with every lane equal to x.
template <class L, class S>
static inline __attribute__((always_inline)) L Splat(S x) {
  if constexpr (std::is_arithmetic_v<L>) {
    return static_cast<L>(x);
  } else {
    // A bit-pattern broadcast, not 0 + x: that would turn -0 into +0 and quiet a
    // signalling NaN.
    typedef __typeof__(L{}[0]) E;
    E e = static_cast<E>(x);
    if constexpr (sizeof(E) == 4 && sizeof(L) == 32) {
      return Bits<L>(_mm256_set1_epi32(Bits<int32_t>(e)));
    } else if constexpr (sizeof(E) == 4 && sizeof(L) == 16) {
      return Bits<L>(_mm_set1_epi32(Bits<int32_t>(e)));
    } else {
      L v;
      for (unsigned i = 0; i < sizeof(L) / sizeof(E); ++i) v[i] = e;
      return v;
    }
  }
}


// mask ? a : b, lane by lane. A vector mask lane is all ones or all zeros.
template <class L>
static inline __attribute__((always_inline)) L Select(bool m, L a, L b) { return m ? a : b; }
template <class L>
static inline __attribute__((always_inline)) L Select(VInt m, L a, L b) {
  VInt ai = Bits<VInt>(a), bi = Bits<VInt>(b);
  return Bits<L>((ai & m) | (bi & ~m));
}

// (a < b) ? a : b and (a > b) ? a : b, the library's float minimum and maximum
// steps: exactly what the processor's min and max instructions compute (the
// second operand when either is NaN or both are equal).
static inline __attribute__((always_inline)) float MinStep(float a, float b) { return a < b ? a : b; }
static inline __attribute__((always_inline)) float MaxStep(float a, float b) { return a > b ? a : b; }
static inline __attribute__((always_inline)) VFloat MinStep(VFloat a, VFloat b) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VFloat>(_mm256_min_ps(reinterpret_cast<__m256>(a), reinterpret_cast<__m256>(b)));
#else
  return reinterpret_cast<VFloat>(_mm_min_ps(reinterpret_cast<__m128>(a), reinterpret_cast<__m128>(b)));
#endif
}
static inline __attribute__((always_inline)) VFloat MaxStep(VFloat a, VFloat b) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VFloat>(_mm256_max_ps(reinterpret_cast<__m256>(a), reinterpret_cast<__m256>(b)));
#else
  return reinterpret_cast<VFloat>(_mm_max_ps(reinterpret_cast<__m128>(a), reinterpret_cast<__m128>(b)));
#endif
}

static inline bool MaskAnd(bool a, bool b) { return a && b; }
static inline VInt MaskAnd(VInt a, VInt b) { return a & b; }
static inline bool MaskOr(bool a, bool b) { return a || b; }
static inline VInt MaskOr(VInt a, VInt b) { return a | b; }
static inline bool MaskNot(bool a) { return !a; }
static inline VInt MaskNot(VInt a) { return ~a; }
// True where the mask lane is set, as an int32 lane of 1 or 0.
static inline int32_t MaskToOne(bool m) { return m ? 1 : 0; }
static inline VInt MaskToOne(VInt m) { return m & 1; }

static inline bool IsNan(float x) { return x != x; }
static inline VInt IsNan(VFloat x) { return x != x; }

static inline __attribute__((always_inline)) float Abs(float x) {
  return Bits<float>(Bits<uint32_t>(x) & 0x7fffffffu);
}
static inline __attribute__((always_inline)) VFloat Abs(VFloat x) {
  return Bits<VFloat>(Bits<VUint>(x) & 0x7fffffffu);
}

// The sign bit of s on the magnitude of m.
template <class L>
static inline __attribute__((always_inline)) L CopySign(L m, L s) {
  using U = IntOf<L>;
  U mi = Bits<U>(m), si = Bits<U>(s);
  U signBit = Splat<U>(INT32_MIN);
  return Bits<L>((mi & ~signBit) | (si & signBit));
}

// Truncation toward zero with the processor's out-of-range answer: NaN and
// values outside the int32 range give INT32_MIN (the "integer indefinite").
static inline __attribute__((always_inline)) int32_t TruncToInt(float x) {
  return _mm_cvttss_si32(_mm_set_ss(x));
}
static inline __attribute__((always_inline)) VInt TruncToInt(VFloat x) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VInt>(_mm256_cvttps_epi32(reinterpret_cast<__m256>(x)));
#else
  return reinterpret_cast<VInt>(_mm_cvttps_epi32(reinterpret_cast<__m128>(x)));
#endif
}

static inline __attribute__((always_inline)) float ToFloat(int32_t x) {
  return static_cast<float>(x);
}
static inline __attribute__((always_inline)) VFloat ToFloat(VInt x) {
  return __builtin_convertvector(x, VFloat);
}

static inline __attribute__((always_inline)) float Sqrt(float x) {
  return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(x)));
}
static inline __attribute__((always_inline)) VFloat Sqrt(VFloat x) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VFloat>(_mm256_sqrt_ps(reinterpret_cast<__m256>(x)));
#else
  return reinterpret_cast<VFloat>(_mm_sqrt_ps(reinterpret_cast<__m128>(x)));
#endif
}

// Wrapping int32 arithmetic (signed overflow is undefined in C++).
template <class L>
static inline __attribute__((always_inline)) L WrapNeg(L x) {
  if constexpr (sizeof(L) == 4) {
    return static_cast<L>(0u - static_cast<uint32_t>(x));
  } else {
    return Bits<L>(VUint{} - Bits<VUint>(x));
  }
}
template <class L>
static inline __attribute__((always_inline)) L WrapMul(L a, L b) {
  if constexpr (sizeof(L) == 4) {
    return static_cast<L>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
  } else {
    return Bits<L>(Bits<VUint>(a) * Bits<VUint>(b));
  }
}

}  // namespace vorta::VORTA_NS
