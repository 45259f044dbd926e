// What the light jobs share: the light record, the spot-light rule and the
// sine and cosine they use.
#pragma once
#include <immintrin.h>
#include <sleef.h>
#include <vorta/vorta.h>

#include "scene/geometry.h"

namespace vorta {
using LightRecord = ::VortaLightRecord;
}  // namespace vorta

namespace vorta::VORTA_NS {

// Only type 0 is a spot light. Every other type is a sphere of `range`, in the
// depth bounds and in the binning alike, so both jobs bound the same volume
// (a sphere contains any cone of the same range, so no other type loses area).
constexpr int32_t kSpotLight = 0;

constexpr float kDegreesToRadians = 0.017453292f;

// SLEEF's 3.5-ULP sine and cosine in their SSE2 form in both variants, so the
// two variants give the same bounds and spans.
static inline float LightSin(float x) {
  return _mm_cvtss_f32(Sleef_sinf4_u35sse2(_mm_set1_ps(x)));
}
static inline float LightCos(float x) {
  return _mm_cvtss_f32(Sleef_cosf4_u35sse2(_mm_set1_ps(x)));
}

}  // namespace vorta::VORTA_NS
