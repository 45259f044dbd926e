// The index-tuple jobs: gather elements, gather and scatter by tuples, select
// and the layout sum, through their exports on both variants and under one and
// several workers. References index numpy-style from the shapes (never from
// the record's tables); the sum is replayed in float in the stated order, so it
// must agree bit for bit.
#include <gtest/gtest.h>
#include <stdint.h>

#include <algorithm>
#include <bit>
#include <numeric>
#include <random>
#include <vector>

#include "tests/datamove_util.h"
#include "vorta/vorta.h"

namespace {

using namespace vorta_test;
using Shape = std::vector<int32_t>;

class GatherScatter : public VariantTest {};

int64_t Dot(const std::vector<int64_t>& c, const Shape& strides) {
  int64_t a = 0;
  for (size_t k = 0; k < c.size(); ++k) a += c[k] * strides[k];
  return a;
}

// Output extents at most the data's, except along the axis.
TEST_P(GatherScatter, GatherElementsEveryRankAndAxis) {
  std::mt19937_64 rng(41);
  for (int rank = 1; rank <= 8; ++rank)
    for (int axis = 0; axis < rank; ++axis)
      for (const auto& options : Schedules(rank * 3 + axis)) {
        const Shape data = RandomShape(rng, rank, 500);
        Shape out = data;
        for (int k = 0; k < rank; ++k) out[k] = k == axis ? Uniform(rng, 1, 6) : Uniform(rng, 1, data[k]);
        const Shape ds = RowMajor(data), os = RowMajor(out);
        Words src(Product(data), rng), dst(Product(out));
        std::vector<int32_t> idx(dst.size());
        for (auto& v : idx) v = RandomIndex(rng, data[axis]);
        VortaGatherElementsJob job{data[axis], axis, rank, {}, {}, 0, src.data(), idx.data(), dst.data()};
        std::copy(os.begin(), os.end(), job.outputStrides);
        std::copy(ds.begin(), ds.end(), job.dataStrides);
        RunExport(VORTA_EXPORT_GATHER_SCATTER_GATHER_ELEMENTS, job, dst.size(), options);
        std::vector<uint32_t> want(dst.size());
        for (size_t i = 0; i < want.size(); ++i) {
          auto c = Coordinates(i, out);
          int64_t e;
          const bool ok = Wrapped(idx[i], data[axis], &e);
          c[axis] = e;
          want[i] = ok ? src[Dot(c, ds)] : 0;
        }
        ASSERT_EQ(dst.Values(), want) << "rank " << rank << " axis " << axis;
        EXPECT_TRUE(dst.GuardsIntact());
      }
}

// Data [batch][tuple dims][slice dims], indices [batch][extra][tupleLength],
// output [batch][extra][slice dims].
TEST_P(GatherScatter, GatherTuplesWithBatchDimensions) {
  std::mt19937_64 rng(43);
  for (int round = 0; round < 40; ++round) {
    const auto options = Schedules(round)[round % 5];
    const int dataRank = Uniform(rng, 1, 6);
    const int batch = Uniform(rng, 0, dataRank - 1);
    const int tuple = Uniform(rng, 1, dataRank - batch);
    const int extra = Uniform(rng, 0, std::min(2, 8 - dataRank));
    const Shape data = RandomShape(rng, dataRank, 400);
    Shape idxShape(data.begin(), data.begin() + batch), outShape = idxShape;
    for (int k = 0; k < extra; ++k) {
      const int32_t e = Uniform(rng, 1, 4);
      idxShape.push_back(e), outShape.push_back(e);
    }
    idxShape.push_back(tuple);
    outShape.insert(outShape.end(), data.begin() + batch + tuple, data.end());
    std::vector<int32_t> idx(Product(idxShape));
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = RandomIndex(rng, data[batch + i % tuple]);
    Words src(Product(data), rng), dst(Product(outShape));
    VortaGatherTuplesJob job{};
    job.data = src.data();
    job.indices = idx.data();
    job.output = dst.data();
    job.batchDims = batch;
    job.tupleLength = tuple;
    job.outputRank = int32_t(outShape.size());
    RightAligned(job.outputDims, outShape);
    RightAligned(job.outputStrides, RowMajor(outShape));
    job.dataRank = dataRank;
    RightAligned(job.dataDims, data);
    RightAligned(job.dataStrides, RowMajor(data));
    job.indicesRank = int32_t(idxShape.size());
    RightAligned(job.indicesDims, idxShape, 0x5555);
    RightAligned(job.indicesStrides, RowMajor(idxShape));
    RunExport(VORTA_EXPORT_GATHER_SCATTER_GATHER_TUPLES, job, dst.size(), options);
    const Shape ds = RowMajor(data), is = RowMajor(idxShape);
    std::vector<uint32_t> want(dst.size());
    for (size_t i = 0; i < want.size(); ++i) {
      const auto o = Coordinates(i, outShape);
      std::vector<int64_t> ic(o.begin(), o.begin() + batch + extra), dc(o.begin(), o.begin() + batch);
      ic.push_back(0);
      bool ok = true;
      for (int n = 0; n < tuple; ++n) {
        ic.back() = n;
        int64_t g;
        ok = Wrapped(idx[Dot(ic, is)], data[batch + n], &g) && ok;
        dc.push_back(g);
      }
      dc.insert(dc.end(), o.begin() + batch + extra, o.end());
      want[i] = ok ? src[Dot(dc, ds)] : 0;
    }
    ASSERT_EQ(dst.Values(), want) << "round " << round;
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

uint32_t Reduce(bool isFloat, int32_t reduction, uint32_t target, uint32_t update) {
  const float a = std::bit_cast<float>(target), b = std::bit_cast<float>(update);
  switch (reduction) {
    case 0: return update;
    case 1: return isFloat ? std::bit_cast<uint32_t>(a + b) : target + update;
    case 2: return isFloat ? std::bit_cast<uint32_t>(b * a) : target * update;
    default: return target;
  }
}

// Output [tuple dims][slice]. With several workers every tuple is distinct; one
// worker also meets repeats, tupleLength 0 and negative components (skipped).
TEST_P(GatherScatter, ScatterTuplesFloatAndInt32) {
  std::mt19937_64 rng(47);
  for (bool isFloat : {true, false})
    for (int round = 0; round < 30; ++round) {
      const auto options = Schedules(round)[round % 5];
      const bool distinct = options.workers > 1;
      const int tuple = distinct ? Uniform(rng, 1, 4) : Uniform(rng, 0, 4);
      const Shape lead = RandomShape(rng, tuple, 60);
      const int32_t size = Uniform(rng, 1, 9);
      const int64_t slices = Product(lead);
      const int64_t count = distinct ? Uniform(rng, 1, int32_t(slices)) : Uniform(rng, 1, 12);
      std::vector<int64_t> order(slices);
      std::iota(order.begin(), order.end(), 0);
      std::shuffle(order.begin(), order.end(), rng);
      std::vector<int32_t> idx;
      for (int64_t s = 0; s < count; ++s) {
        auto c = Coordinates(distinct ? order[s] : int64_t(rng() % slices), lead);
        if (!distinct && tuple > 0 && rng() % 6 == 0) c[rng() % tuple] = -1 - int64_t(rng() % 2);
        for (int64_t v : c) idx.push_back(int32_t(v));
      }
      Words out(slices * size), updates(count * size);
      for (size_t i = 0; i < out.size(); ++i) out[i] = isFloat ? std::bit_cast<uint32_t>(float(Uniform(rng, -9, 9))) : uint32_t(rng());
      for (size_t i = 0; i < updates.size(); ++i) updates[i] = isFloat ? std::bit_cast<uint32_t>(float(Uniform(rng, -9, 9)) / 4) : uint32_t(rng());
      const Shape sliceStrides = RowMajor(lead);
      for (int32_t reduction : {0, 1, 2, 3}) {
        Words got(out.size());
        std::copy_n(out.data(), out.size(), got.data());
        VortaScatterTuplesJob job{reduction, size, tuple, {}, {}, idx.data(), updates.data(), got.data()};
        std::copy(sliceStrides.begin(), sliceStrides.end(), job.sliceStrides);
        RunExport(isFloat ? VORTA_EXPORT_GATHER_SCATTER_SCATTER_TUPLES_FLOAT
                          : VORTA_EXPORT_GATHER_SCATTER_SCATTER_TUPLES_INT32,
                  job, count * size, options);
        std::vector<uint32_t> want = out.Values();
        for (int64_t s = 0; s < count; ++s) {
          std::vector<int64_t> c(idx.begin() + s * tuple, idx.begin() + (s + 1) * tuple);
          if (std::any_of(c.begin(), c.end(), [](int64_t v) { return v < 0; })) continue;
          const int64_t g = Dot(c, sliceStrides);
          for (int32_t p = 0; p < size; ++p)
            want[g * size + p] = Reduce(isFloat, reduction, want[g * size + p], updates[s * size + p]);
        }
        ASSERT_EQ(got.Values(), want) << (isFloat ? "float" : "int32") << " round " << round
                                      << " reduction " << reduction;
        EXPECT_TRUE(got.GuardsIntact());
      }
    }
}

// Each input of extent 1, the output's or (tiling) in between, in every dimension.
TEST_P(GatherScatter, SelectBroadcastsAllThreeInputs) {
  std::mt19937_64 rng(53);
  for (int rank = 0; rank <= 8; ++rank)
    for (const auto& options : Schedules(rank)) {
      const Shape out = RandomShape(rng, rank, 800);
      Shape in[3];
      for (auto& s : in) {
        s.resize(rank);
        for (int k = 0; k < rank; ++k) {
          const int pick = rng() % 4;
          s[k] = pick == 0 ? 1 : pick == 3 ? Uniform(rng, 1, out[k]) : out[k];
        }
      }
      Words cond(Product(in[0])), tv(Product(in[1]), rng), fv(Product(in[2]), rng), dst(Product(out));
      for (size_t i = 0; i < cond.size(); ++i) cond[i] = rng() % 2 ? 0 : uint32_t(rng() | 1) << (rng() % 32);
      VortaConditionSelectJob job{};
      job.rank = rank;
      RightAligned(job.outputDims, out);
      RightAligned(job.outputStrides, RowMajor(out));
      RightAligned(job.conditionDims, in[0]);
      RightAligned(job.conditionStrides, RowMajor(in[0]));
      RightAligned(job.trueDims, in[1]);
      RightAligned(job.trueStrides, RowMajor(in[1]));
      RightAligned(job.falseDims, in[2]);
      RightAligned(job.falseStrides, RowMajor(in[2]));
      job.condition = reinterpret_cast<const int32_t*>(cond.data());
      job.trueValues = tv.data();
      job.falseValues = fv.data();
      job.output = dst.data();
      RunExport(VORTA_EXPORT_GATHER_SCATTER_SELECT, job, dst.size(), options);
      std::vector<uint32_t> want(dst.size());
      for (size_t i = 0; i < want.size(); ++i) {
        const auto c = Coordinates(i, out);
        int64_t at[3] = {};
        for (int s = 0; s < 3; ++s) {
          const Shape st = RowMajor(in[s]);
          for (int k = 0; k < rank; ++k) at[s] += (c[k] % in[s][k]) * st[k];
        }
        want[i] = cond[at[0]] != 0 ? tv[at[1]] : fv[at[2]];
      }
      ASSERT_EQ(dst.Values(), want) << "rank " << rank;
      EXPECT_TRUE(dst.GuardsIntact());
    }
}

// A random set of input dimensions reduced; outputs in the kept dimensions'
// order. The float sum runs r = 0, 1, ... from 0.0, as the reference replays it.
TEST_P(GatherScatter, LayoutSumInOrder) {
  std::mt19937_64 rng(59);
  for (int round = 0; round < 40; ++round) {
    const auto options = Schedules(round)[round % 5];
    const int rank = Uniform(rng, 1, 6);
    const Shape input = RandomShape(rng, rank, 1200);
    const Shape is = RowMajor(input);
    Shape kept, keptStrides, red, redStrides;
    for (int k = 0; k < rank; ++k) {
      const bool reduce = rng() % 2;
      (reduce ? red : kept).push_back(input[k]);
      (reduce ? redStrides : keptStrides).push_back(is[k]);
    }
    int64_t count = Product(red);
    if (round % 10 == 9) red.clear(), redStrides.clear(), count = Uniform(rng, 0, 5);  // rank 0: base n times
    Words src(Product(input));
    std::mt19937 values(round);
    for (size_t i = 0; i < src.size(); ++i) src[i] = std::bit_cast<uint32_t>(RandomFloat(values, round % 2));
    Words dst(Product(kept), 0x12345678u);
    VortaLayoutSumJob job{};
    job.reducedRank = int32_t(red.size());
    job.reducedCount = int32_t(count);
    job.outputRank = int32_t(kept.size());
    RightAligned(job.reducedDims, red);
    RightAligned(job.reducedDivisors, RowMajor(red));
    RightAligned(job.reducedInputStrides, redStrides, 0);
    RightAligned(job.outputDims, kept);
    RightAligned(job.outputDivisors, RowMajor(kept));
    RightAligned(job.keptInputStrides, keptStrides, 0);
    job.input = reinterpret_cast<const float*>(src.data());
    job.output = reinterpret_cast<float*>(dst.data());
    RunExport(VORTA_EXPORT_GATHER_SCATTER_LAYOUT_SUM, job, dst.size(), options);
    for (size_t i = 0; i < dst.size(); ++i) {
      const int64_t base = Dot(Coordinates(i, kept), keptStrides);
      float sum = 0.0f;
      for (int64_t r = 0; r < count; ++r)
        sum += std::bit_cast<float>(src[base + (red.empty() ? 0 : Dot(Coordinates(r, red), redStrides))]);
      ASSERT_TRUE(SameFloat(std::bit_cast<float>(dst[i]), sum)) << "round " << round << " output " << i;
    }
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

VORTA_INSTANTIATE_VARIANTS(Variants, GatherScatter);

}  // namespace
