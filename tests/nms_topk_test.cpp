// Box overlap flags against a float64 IoU, the greedy selection against a
// stable sort and a plain greedy walk, and top-k against a full stable sort.
#include <gtest/gtest.h>
#include <vorta/vorta.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "tests/variant_test.h"

namespace {

using vorta_test::Schedule;
constexpr float kInf = INFINITY;

// IoU in double from the corner intervals; a zero union counts as IoU 0.
double IouRef(const float* p, const float* q, int format) {
  auto interval = [&](const float* b, int axis, double& lo, double& hi) {
    if (format == 1) {
      lo = double(b[axis]) - 0.5 * b[axis + 2];
      hi = double(b[axis]) + 0.5 * b[axis + 2];
    } else {
      lo = std::min(b[axis], b[axis + 2]);
      hi = std::max(b[axis], b[axis + 2]);
    }
  };
  double pl[2], ph[2], ql[2], qh[2];
  for (int a = 0; a < 2; ++a) interval(p, a, pl[a], ph[a]), interval(q, a, ql[a], qh[a]);
  double inter = 1, ap = 1, aq = 1;
  for (int a = 0; a < 2; ++a) {
    const double w = std::min(ph[a], qh[a]) - std::max(pl[a], ql[a]);
    if (w < 0) return -1;  // disjoint: never flagged
    inter *= w, ap *= ph[a] - pl[a], aq *= qh[a] - ql[a];
  }
  const double uni = ap + aq - inter;
  return uni == 0 ? 0 : inter / uni;
}

// Random boxes on a small grid, so that identical, touching and zero-area boxes are common.
std::vector<float> RandomBoxes(std::mt19937& rng, int count, int format) {
  std::vector<float> b(4 * count);
  for (int i = 0; i < count; ++i) {
    float* x = &b[4 * i];
    if (i > 0 && rng() % 6 == 0) {
      std::copy(x - 4, x, x);  // a duplicate of the previous box
      continue;
    }
    for (int k = 0; k < 4; ++k) x[k] = float(rng() % 9) * 0.5f;
    if (format == 1 && rng() % 5 == 0) x[2 + rng() % 2] = 0;  // zero width or height
  }
  return b;
}

class NmsTest : public vorta_test::VariantTest {};

TEST_P(NmsTest, OverlapAndSelectionMatchReferences) {
  std::mt19937 rng(11);
  for (int format : {0, 1}) {
    for (int B : {1, 7, 33}) {
      const int batches = 3, classes = 2;
      const float thr = std::vector<float>{0.0f, 0.3f, 0.5f, -1.0f}[rng() % 4];
      auto boxes = RandomBoxes(rng, B * batches, format);
      std::vector<uint8_t> flags(size_t(B) * B * batches, 7);
      VortaOverlapJob ov{boxes.data(), flags.data(), B, thr, format, 0};
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_OVERLAP), &ov, sizeof ov,
                          B * B * batches, Schedule(3, 5, true, true, B));
      for (int g = 0; g < batches; ++g)
        for (int i = 0; i < B; ++i)
          for (int j = 0; j < B; ++j) {
            const double iou = IouRef(&boxes[4 * (g * B + i)], &boxes[4 * (g * B + j)], format);
            if (std::fabs(iou - thr) < 1e-5) continue;  // rounding decides
            ASSERT_EQ(flags[(g * B + i) * B + j], iou > thr ? 1 : 0) << format << " " << i << " " << j << " " << iou;
          }
      // Scores with many ties; the selection walks a stable descending order.
      const int rows = batches * classes;
      std::vector<float> scores(size_t(rows) * B);
      for (auto& s : scores) s = float(rng() % 5) * 0.25f;
      std::vector<int32_t> order(scores.size()), selected(scores.size(), 99);
      const int maxOut = std::max(1, B - 2);
      VortaSelectJob sel{flags.data(), scores.data(), order.data(), selected.data(), classes, B, maxOut, 0.25f};
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_SELECT), &sel, sizeof sel, rows,
                          Schedule(2, 1, false, true, 5));
      for (int r = 0; r < rows; ++r) {
        const float* s = &scores[size_t(r) * B];
        std::vector<int> idx(B);
        std::iota(idx.begin(), idx.end(), 0);
        std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return s[a] > s[b]; });
        std::vector<int> want;
        for (int o : idx) {
          if (0.25f > s[o] || int(want.size()) == maxOut) break;
          bool sup = false;
          for (int k : want) sup |= flags[(size_t(r / classes) * B + o) * B + k] != 0;
          if (!sup) want.push_back(o);
        }
        for (size_t k = 0; k < want.size(); ++k) ASSERT_EQ(selected[size_t(r) * B + k], want[k]) << r;
        if (int(want.size()) < maxOut) ASSERT_EQ(selected[size_t(r) * B + want.size()], -1);
        if (int(want.size()) + 1 < B) ASSERT_EQ(selected[size_t(r) * B + want.size() + 1], 99);
      }
    }
  }
}

TEST_P(NmsTest, OtherBoxFormatsAbort) {
  float box[4] = {};
  uint8_t flag = 0;
  VortaOverlapJob ov{box, &flag, 1, 0.5f, 2, 0};
  try {
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_OVERLAP), &ov, sizeof ov, 1);
    FAIL() << "no abort";
  } catch (const vorta::host::KernelAbort& a) {
    EXPECT_EQ(a.type, "System.ArgumentOutOfRangeException");
    EXPECT_EQ(a.message, "");
  }
}

void RunTopK(const std::vector<float>& x, int outer, int N, int S, int K, int dir,
             std::vector<float>& values, std::vector<int32_t>& indices, const vorta::host::JobOptions& o) {
  values.assign(size_t(outer) * K * S, -99.0f);
  indices.assign(values.size(), -99);
  VortaTopKJob job{x.data(), values.data(), indices.data(), N, S, K, dir};
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_NMS_TOPK_TOPK), &job, sizeof job, outer * S, o);
}

TEST_P(NmsTest, TopKMatchesAStableSort) {
  std::mt19937 rng(5);
  struct Shape { int outer, N, S, K; } shapes[] = {
      {3, 1, 2, 1}, {2, 5, 3, 2}, {1, 1000, 1, 5}, {4, 257, 1, 100}, {2, 64, 5, 64}, {1, 20000, 1, 17}, {3, 31, 2, 7}};
  for (const auto& sh : shapes) {
    for (int dir : {1, -1}) {
      for (int pattern = 0; pattern < 3; ++pattern) {  // random with ties, ascending, descending
        std::vector<float> x(size_t(sh.outer) * sh.N * sh.S);
        for (size_t i = 0; i < x.size(); ++i)
          x[i] = pattern == 0 ? float(int(rng() % 41) - 20) * 0.5f : pattern == 1 ? float(i) : -float(i);
        if (pattern == 0 && x.size() > 3) x[1] = -0.0f, x[2] = 0.0f, x[3] = 3e38f;
        std::vector<float> v;
        std::vector<int32_t> ix;
        RunTopK(x, sh.outer, sh.N, sh.S, sh.K, dir, v, ix, Schedule(2, 3, true, true, sh.N));
        for (int q = 0; q < sh.outer; ++q)
          for (int r = 0; r < sh.S; ++r) {
            std::vector<int> idx(sh.N);
            std::iota(idx.begin(), idx.end(), 0);
            auto at = [&](int k) { return x[(size_t(q) * sh.N + k) * sh.S + r]; };
            std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return at(a) * dir > at(b) * dir; });
            for (int t = 0; t < sh.K; ++t) {
              const size_t slot = (size_t(q) * sh.K + t) * sh.S + r;
              ASSERT_EQ(ix[slot], idx[t]) << sh.N << " " << dir << " " << pattern << " slot " << t;
              ASSERT_TRUE(vorta_test::SameFloat(v[slot], at(idx[t])));
            }
          }
      }
    }
  }
  // The documented example, and NaN values: any order, but K distinct positions with their values.
  std::vector<float> v;
  std::vector<int32_t> ix;
  RunTopK({-1, -5, 3, -2}, 1, 4, 1, 2, -1, v, ix, {});
  EXPECT_EQ(v, (std::vector<float>{-5, -2}));
  EXPECT_EQ(ix, (std::vector<int32_t>{1, 3}));
  RunTopK({-1, -5, 3, -2}, 1, 4, 1, 2, 1, v, ix, {});
  EXPECT_EQ(v, (std::vector<float>{3, -1}));
  EXPECT_EQ(ix, (std::vector<int32_t>{2, 0}));
  std::vector<float> x(300);
  for (auto& e : x) e = vorta_test::RandomFloat(rng, true);
  for (int K : {40, 5}) {
    RunTopK(x, 1, 300, 1, K, 1, v, ix, {});
    std::vector<int32_t> sorted = ix;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (int t = 0; t < K; ++t) ASSERT_TRUE(ix[t] >= 0 && ix[t] < 300 && vorta_test::SameFloat(v[t], x[ix[t]]));
    EXPECT_EQ(v[0], kInf);  // +inf is among the specials and beats every number
  }
}

VORTA_INSTANTIATE_VARIANTS(Variants, NmsTest);

}  // namespace
