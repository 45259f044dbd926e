// The SSE2 and AVX2 variants of every job kernel on the same random records and
// the same split: integer, mask, index, min/max and bit-pattern results
// identical, float results within the kernel's bound (see kernel_cases.h: none
// for the maps, the casts and the broadcast arithmetic, which round once in
// both; a few ulp for the transcendental maps and the powers, whose vector
// forms differ in fused steps; the regrouping bound of a sum for the float
// reductions and the dot products).
#include <gtest/gtest.h>

#include "tests/kernel_cases.h"

namespace {

using kcases::Kernels;

class VariantAgreement : public ::testing::TestWithParam<size_t> {};

// How far b is from a, as a multiple of the bound (0: same bits); NaN only
// agrees with NaN.
double Excess(float a, float b, const kcases::Bound& bound) {
  if (vorta_test::SameFloat(a, b)) return 0;
  if (std::isnan(a) || std::isnan(b) || (bound.rel == 0 && bound.abs == 0)) return INFINITY;
  if (std::isinf(a) || std::isinf(b)) return a == b ? 0 : INFINITY;
  const double allowed = bound.abs + bound.rel * std::fabs(double(a));
  return std::fabs(double(a) - double(b)) / allowed;
}

TEST_P(VariantAgreement, Sse2AndAvx2Agree) {
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP() << "no AVX2";
  const kcases::Kernel& k = Kernels()[GetParam()];
  std::mt19937_64 rng(0xa9e0000u + GetParam());
  double worst = 0;  // the largest difference seen, in units of the bound
  for (int round = 0; round < 6; ++round) {
    vorta::host::InitializeLinked(vorta::CpuVariant::Sse2);  // some records ask the library for tables
    const kcases::Case c = k.make(rng, round < 2 ? 20 : 500);
    const vorta::host::JobOptions opt = vorta_test::Schedule(2, 5, true, false, rng());
    vorta::host::InitializeLinked(vorta::CpuVariant::Sse2);
    const kcases::Result sse = kcases::Run(k, c, opt, false);
    vorta::host::InitializeLinked(vorta::CpuVariant::Avx2);
    const kcases::Result avx = kcases::Run(k, c, opt, true);
    for (size_t o = 0; o < sse.outputs.size(); ++o) {
      const std::vector<uint8_t>& a = sse.outputs[o];
      const std::vector<uint8_t>& b = avx.outputs[o];
      if (!kcases::IsFloat(sse.gens[o])) {
        ASSERT_TRUE(a == b) << k.name << " " << c.text << ": output " << o << " differs";
        continue;
      }
      for (size_t i = 0; i + 4 <= a.size(); i += 4) {
        float x, y;
        memcpy(&x, &a[i], 4), memcpy(&y, &b[i], 4);
        worst = std::max(worst, Excess(x, y, k.bound));
        ASSERT_LE(Excess(x, y, k.bound), 1.0)
            << k.name << " " << c.text << ": element " << i / 4 << " SSE2 " << x << " AVX2 "
            << y;
      }
    }
  }
  if (worst > 0) printf("%s: variants differ by up to %.3g of the bound\n", k.name.c_str(), worst);
}

INSTANTIATE_TEST_SUITE_P(Variants, VariantAgreement,
                         ::testing::Range<size_t>(0, Kernels().size()), kcases::KernelName);

}  // namespace
