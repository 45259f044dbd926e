// The shared SampledCurve evaluation (used by the tween kernels) on its wrap
// modes, compiled here from the library's header as the SSE2 variant does.
#define VORTA_VARIANT_SSE2 1
#include <gtest/gtest.h>

#include <cmath>

#include "math/sampled_curve.h"
#include "variant_test.h"

namespace {

// Samples 0, 1, ..., 4 over [0, 1]: the curve's value at x is 4x inside.
const float kSamples[5] = {0, 1, 2, 3, 4};

struct WrapCase {
  int32_t pre, post;
  float x, want;
};
constexpr int32_t kClamp = 0, kLoop = VORTA_WRAP_LOOP, kPing = VORTA_WRAP_PING_PONG;
const WrapCase kWrapCases[] = {
    {kClamp, kLoop, 1.25f, 1.0f},   {kLoop, kClamp, -0.25f, 3.0f}, {kClamp, kPing, 1.5f, 2.0f},
    {kClamp, kPing, 2.0f, 0.0f},    {kClamp, kClamp, 3.0f, 4.0f},  {kClamp, kClamp, -3.0f, 0.0f},
    {kPing, kClamp, -0.25f, 1.0f},  {kClamp, kLoop, 2.0f, 0.0f},   {kLoop, kClamp, -1.0f, 4.0f},
    {kClamp, kClamp, 0.625f, 2.5f}, {kClamp, kClamp, 1.0f, 4.0f},  {7, 9, 0.0f, 0.0f},
};

TEST(SampledCurve, WrapModes) {
  for (const WrapCase& c : kWrapCases) {
    const VortaSampledCurve curve{kSamples, 5, 0, c.pre, c.post};
    EXPECT_EQ(vorta::sse2::Sample(curve, c.x), c.want)
        << "pre " << c.pre << " post " << c.post << " at " << c.x;
  }
}

TEST(SampledCurve, OneSampleAndNonFiniteParameters) {
  const VortaSampledCurve one{kSamples + 3, 1, 0, kLoop, kPing};
  EXPECT_EQ(vorta::sse2::Sample(one, std::nanf("")), 3.0f);
  EXPECT_EQ(vorta::sse2::Sample(one, -1e30f), 3.0f);
  // NaN, or an infinity that a wrap turns into NaN, gives NaN without reading
  // outside the samples.
  for (int32_t wrap : {kClamp, kLoop, kPing}) {
    const VortaSampledCurve curve{kSamples, 5, 0, wrap, wrap};
    EXPECT_TRUE(std::isnan(vorta::sse2::Sample(curve, std::nanf(""))));
    if (wrap != kClamp) EXPECT_TRUE(std::isnan(vorta::sse2::Sample(curve, INFINITY)));
  }
}

}  // namespace
