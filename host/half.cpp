// IEEE binary16 <-> binary32 conversion, bit by bit (no F16C), rounding to
// nearest with ties to even.
#include <string.h>

#include "host/host.h"

namespace vorta::host {
namespace {

uint32_t FloatBits(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}

float BitsFloat(uint32_t u) {
  float f;
  memcpy(&f, &u, 4);
  return f;
}

}  // namespace

float HalfBitsToFloat(uint16_t h) {
  uint32_t sign = static_cast<uint32_t>(h & 0x8000u) << 16;
  uint32_t exp = (h >> 10) & 0x1fu;
  uint32_t mant = h & 0x3ffu;
  if (exp == 0x1f)  // infinity, or NaN with its payload (quiet bit included)
    return BitsFloat(sign | 0x7f800000u | (mant << 13));
  if (exp == 0) {
    if (mant == 0) return BitsFloat(sign);
    // Subnormal: mant * 2^-24. Shift the leading one up to the implicit bit.
    int e = -14;
    while ((mant & 0x400u) == 0) {
      mant <<= 1;
      --e;
    }
    mant &= 0x3ffu;
    return BitsFloat(sign | static_cast<uint32_t>(e + 127) << 23 | (mant << 13));
  }
  return BitsFloat(sign | (exp + 112u) << 23 | (mant << 13));
}

uint16_t FloatToHalfBits(float value) {
  uint32_t x = FloatBits(value);
  uint16_t sign = static_cast<uint16_t>((x >> 16) & 0x8000u);
  x &= 0x7fffffffu;
  if (x > 0x7f800000u) {
    // NaN: keep the top payload bits and force the quiet bit, so a NaN never
    // turns into an infinity.
    return static_cast<uint16_t>(sign | 0x7e00u | ((x >> 13) & 0x3ffu));
  }
  // 65520 is halfway between 65504 (the largest half) and 65536; the tie goes
  // to the even neighbour, which is infinity.
  if (x >= 0x477ff000u) return static_cast<uint16_t>(sign | 0x7c00u);
  if (x >= 0x38800000u) {
    // Normal half: rebias the exponent and round off 13 mantissa bits. A carry
    // out of the mantissa moves into the exponent, which is the right result.
    uint32_t h = ((x >> 23) - 112u) << 10 | ((x >> 13) & 0x3ffu);
    uint32_t rest = x & 0x1fffu;
    if (rest > 0x1000u || (rest == 0x1000u && (h & 1u))) ++h;
    return static_cast<uint16_t>(sign | h);
  }
  // Subnormal half (or zero): the value in units of 2^-24. Anything up to and
  // including 2^-25 (the tie with zero) rounds to zero.
  if (x <= 0x33000000u) return sign;
  uint32_t e = x >> 23;  // 102..112
  uint32_t mant = (x & 0x7fffffu) | 0x800000u;
  uint32_t shift = 126u - e;  // 14..24
  uint32_t h = mant >> shift;
  uint32_t rest = mant & ((1u << shift) - 1u);
  uint32_t halfway = 1u << (shift - 1u);
  if (rest > halfway || (rest == halfway && (h & 1u))) ++h;  // may carry into the smallest normal
  return static_cast<uint16_t>(sign | h);
}

namespace service {

VORTA_MSABI float HalfToFloat(uint32_t half) {
  return HalfBitsToFloat(static_cast<uint16_t>(half));
}

VORTA_MSABI uint32_t FloatToHalf(float value) { return FloatToHalfBits(value); }

}  // namespace service
}  // namespace vorta::host
