// The data-movement jobs, through their exports on the reference host's job
// system, on both variants, under one and several workers with odd, random and
// empty batches. Each reference is a loop over coordinates computed from the
// shapes alone; every output sits between guard cells. Words are compared
// exactly (nothing is interpreted except the float scatter reductions, which
// the reference replays in float in index order).
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <bit>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "tests/datamove_util.h"
#include "vorta/vorta.h"

namespace {

using namespace vorta_test;
using Shape = std::vector<int32_t>;

class DataMove : public VariantTest {};

// Strides (innermost first) that never send two coordinates to one element,
// some negative; with zeros allowed (reads only) a dimension may stay put.
std::vector<int32_t> InjectiveStrides(std::mt19937_64& rng, const Shape& inner, bool zeros) {
  std::vector<int32_t> s(inner.size());
  int64_t reach = 0;
  for (size_t k = 0; k < inner.size(); ++k) {
    int64_t m = reach + 1 + rng() % 2;
    if (zeros && rng() % 6 == 0) m = 0;
    s[k] = static_cast<int32_t>(rng() % 3 == 0 ? -m : m);
    reach += std::llabs(s[k]) * (inner[k] - 1);
  }
  return s;
}

// The element range sum_k (offset_k + c_k * stride_k) spans; returns the lowest.
int64_t Lowest(const Shape& inner, const std::vector<int32_t>& strides, int64_t base,
               int64_t* highest) {
  int64_t lo = base, hi = base;
  for (size_t k = 0; k < inner.size(); ++k) {
    int64_t e = int64_t(strides[k]) * (inner[k] - 1);
    (e < 0 ? lo : hi) += e;
  }
  *highest = hi;
  return lo;
}

// Shapes here are innermost first, as the slice and gather records take them.
int64_t StridedAddress(int64_t i, const Shape& inner, const std::vector<int32_t>& strides,
                       int64_t base) {
  int64_t a = base;
  for (size_t k = 0; k < inner.size(); ++k) {
    a += (i % inner[k]) * strides[k];
    i /= inner[k];
  }
  return a;
}

// Slice read, slice write and the strided gather: the same strided address on
// one side, contiguous on the other.
enum class Strided { Read, Write, Gather };

void CheckStrided(Strided kind, uint64_t seed) {
  std::mt19937_64 rng(seed);
  for (const auto& options : Schedules(seed)) {
    const int rank = Uniform(rng, 1, 8);
    Shape inner = RandomShape(rng, rank);
    std::reverse(inner.begin(), inner.end());
    const std::vector<int32_t> strides = InjectiveStrides(rng, inner, kind != Strided::Write);
    std::vector<int32_t> offsets(rank, 0);
    if (kind != Strided::Gather)
      for (auto& o : offsets) o = Uniform(rng, -3, 3);
    const int64_t base = std::accumulate(offsets.begin(), offsets.end(), int64_t(0));
    int64_t hi;
    const int64_t lo = Lowest(inner, strides, base, &hi);
    const int64_t n = Product(inner), span = hi - lo + 1;
    Words contiguous(n, rng), strided(span, rng);
    const int64_t shift = -lo;  // the strided tensor's element 0 inside the buffer
    std::vector<uint32_t> want = kind == Strided::Write ? strided.Values() : std::vector<uint32_t>(n);
    for (int64_t i = 0; i < n; ++i) {
      const int64_t a = StridedAddress(i, inner, strides, base) + shift;
      if (kind == Strided::Write) want[a] = contiguous[i]; else want[i] = strided[a];
    }
    if (kind == Strided::Gather) {
      VortaStridedGatherJob job{strided.data() + shift, contiguous.data(), {}, {}, rank};
      std::copy(inner.begin(), inner.end(), job.shape);
      std::copy(strides.begin(), strides.end(), job.strides);
      RunExport(VORTA_EXPORT_DATAMOVE_STRIDED_GATHER, job, n, options);
    } else {
      const bool read = kind == Strided::Read;
      VortaStridedCopyJob job{read ? static_cast<void*>(strided.data() + shift) : contiguous.data(),
                              read ? static_cast<void*>(contiguous.data()) : strided.data() + shift,
                              {}, {}, {}, rank};
      std::copy(inner.begin(), inner.end(), job.shape);
      std::copy(offsets.begin(), offsets.end(), job.offsets);
      std::copy(strides.begin(), strides.end(), job.strides);
      RunExport(read ? VORTA_EXPORT_DATAMOVE_SLICE_READ : VORTA_EXPORT_DATAMOVE_SLICE_WRITE, job, n,
                options);
    }
    const Words& out = kind == Strided::Write ? strided : contiguous;
    EXPECT_EQ(out.Values(), want) << "rank " << rank;
    EXPECT_TRUE(contiguous.GuardsIntact() && strided.GuardsIntact());
  }
}

TEST_P(DataMove, StridedSidesMatchTheirAddresses) {
  for (uint64_t seed = 1; seed <= 12; ++seed) {
    CheckStrided(Strided::Read, seed);
    CheckStrided(Strided::Write, seed * 7);
    CheckStrided(Strided::Gather, seed * 13);
  }
}

// Permutations of a row-major source, tile-sized and ragged, so that the
// transposed-tile path meets partial bands, ragged columns and outer digits.
TEST_P(DataMove, TransposesOfEveryShape) {
  struct Case { Shape source; std::vector<int> order; };  // order: output dim k reads source dim order[k]
  const Case cases[] = {{{64, 48}, {1, 0}}, {{37, 29}, {1, 0}}, {{3, 17, 9}, {0, 2, 1}},
                        {{5, 8, 16}, {2, 0, 1}}, {{2, 3, 33, 4}, {0, 3, 1, 2}}, {{1, 40, 7}, {0, 2, 1}}};
  std::mt19937_64 rng(3);
  std::vector<vorta::host::JobOptions> schedules = Schedules(4);
  schedules.push_back(Schedule(2, 700, true, false, 5));  // batches of whole tile bands
  schedules.push_back(Schedule(1, 1 << 20, false, false, 6));
  for (const Case& c : cases)
    for (const auto& options : schedules) {
      const Shape rowMajor = RowMajor(c.source);
      Shape outShape;
      std::vector<int32_t> outStrides;
      for (int d : c.order) outShape.push_back(c.source[d]), outStrides.push_back(rowMajor[d]);
      const int64_t n = Product(c.source);
      Words src(n, rng), dst(n);
      VortaStridedGatherJob job{src.data(), dst.data(), {}, {}, int32_t(outShape.size())};
      for (size_t k = 0; k < outShape.size(); ++k) {  // innermost first
        job.shape[k] = outShape[outShape.size() - 1 - k];
        job.strides[k] = outStrides[outShape.size() - 1 - k];
      }
      RunExport(VORTA_EXPORT_DATAMOVE_STRIDED_GATHER, job, n, options);
      std::vector<uint32_t> want(n);
      for (int64_t i = 0; i < n; ++i) {
        const auto co = Coordinates(i, outShape);
        int64_t a = 0;
        for (size_t k = 0; k < co.size(); ++k) a += co[k] * outStrides[k];
        want[i] = src[a];
      }
      EXPECT_EQ(dst.Values(), want);
      EXPECT_TRUE(dst.GuardsIntact());
    }
}

// A transpose large enough to be streamed past the caches, in blocks that
// batches cut at any row.
TEST_P(DataMove, LargeTransposeStreams) {
  const int32_t rows = 1028, cols = 1024;  // output rows x columns; the source is cols x rows
  std::mt19937_64 rng(19);
  Words src(int64_t(rows) * cols, rng);
  for (const auto& options : {Schedule(1, 1 << 21, false, false, 1), Schedule(2, 9000, true, false, 2),
                              Schedule(3, 3000, true, true, 3)}) {
    Words dst(src.size());
    VortaStridedGatherJob job{src.data(), dst.data(), {cols, rows}, {rows, 1}, 2};
    RunExport(VORTA_EXPORT_DATAMOVE_STRIDED_GATHER, job, dst.size(), options);
    for (int32_t r = 0; r < rows; ++r)
      for (int32_t c = 0; c < cols; ++c)
        ASSERT_EQ(dst[int64_t(r) * cols + c], src[int64_t(c) * rows + r]) << r << ", " << c;
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

// Expand and tile: a source digit is the output digit modulo the source extent.
TEST_P(DataMove, BroadcastsExpandAndTile) {
  std::mt19937_64 rng(11);
  for (const char* entry : {VORTA_EXPORT_DATAMOVE_BROADCAST, VORTA_EXPORT_DATAMOVE_BROADCAST_2})
    for (int rank = 0; rank <= 8; ++rank)
      for (const auto& options : Schedules(rank)) {
        const Shape out = RandomShape(rng, rank);
        Shape in(rank);
        for (int k = 0; k < rank; ++k) {
          const int pick = rng() % 3;
          in[k] = pick == 0 ? 1 : pick == 1 ? out[k] : Uniform(rng, 1, out[k]);
        }
        const Shape inStrides = RowMajor(in);
        Words src(std::max<int64_t>(1, Product(in)), rng), dst(Product(out));
        VortaBroadcastJob job{};
        job.rank = rank;
        RightAligned(job.outShape, out);
        RightAligned(job.outStrides, RowMajor(out));
        for (int k = 0; k < rank; ++k)  // a size-1 digit is 0 whatever divisor it names
          if (out[k] == 1 && rng() % 2) job.outStrides[8 - rank + k] = int32_t(rng() % 3);
        RightAligned(job.inShape, in);
        RightAligned(job.inStrides, inStrides);
        job.source = src.data();
        job.destination = dst.data();
        RunExport(entry, job, dst.size(), options);
        std::vector<uint32_t> want(dst.size());
        for (size_t i = 0; i < want.size(); ++i) {
          const auto c = Coordinates(i, out);
          int64_t a = 0;
          for (int k = 0; k < rank; ++k) a += (c[k] % in[k]) * inStrides[k];
          want[i] = src[a];
        }
        EXPECT_EQ(dst.Values(), want) << "rank " << rank;
        EXPECT_TRUE(dst.GuardsIntact());
      }
}

// Output digits that do not nest (a column-major output order): every index
// still takes the literal digits (i div outStrides) mod outShape.
TEST_P(DataMove, BroadcastWithUnnestedOutputDigits) {
  std::mt19937_64 rng(13);
  for (const auto& options : Schedules(2)) {
    const int32_t rows = 5, cols = 7;
    Words src(cols, rng), dst(rows * cols);
    VortaBroadcastJob job{};
    job.rank = 2;
    RightAligned(job.outShape, {rows, cols});
    RightAligned(job.outStrides, {1, rows});  // row digit innermost in memory
    RightAligned(job.inShape, {1, cols});
    RightAligned(job.inStrides, {0, 1});
    job.source = src.data();
    job.destination = dst.data();
    RunExport(VORTA_EXPORT_DATAMOVE_BROADCAST, job, dst.size(), options);
    for (int32_t i = 0; i < rows * cols; ++i) ASSERT_EQ(dst[i], src[(i / rows) % cols]) << i;
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

TEST_P(DataMove, CopiesAndRowCopies) {
  std::mt19937_64 rng(5);
  Words src(300, rng), dst(300, rng);
  std::vector<uint32_t> want = dst.Values();
  VortaCopyJob copy{src.data(), dst.data(), 101, 7, 150};
  std::copy(src.data() + 7, src.data() + 108, want.begin() + 150);
  reinterpret_cast<VortaCopyFn>(vorta::host::LinkedKernel(VORTA_EXPORT_DATAMOVE_COPY))(&copy);
  EXPECT_EQ(dst.Values(), want);
  for (const auto& options : Schedules(9)) {
    Words rows(400, rng);
    std::vector<uint32_t> rowsWant = rows.Values();
    VortaStridedRowCopyJob job{src.data(), rows.data(), 13, 19, 4, 2, 11};
    for (int r = 0; r < 20; ++r)
      std::copy_n(src.data() + 4 + r * 13, 11, rowsWant.begin() + 2 + r * 19);
    RunExport(VORTA_EXPORT_DATAMOVE_STRIDED_ROW_COPY, job, 20, options);
    EXPECT_EQ(rows.Values(), rowsWant);
    EXPECT_TRUE(rows.GuardsIntact() && dst.GuardsIntact());
  }
}

// Diagonals at and near the int32 limits clamp: no wrap turns "keep all" into
// "keep none".
TEST_P(DataMove, TrianglesClampEveryDiagonal) {
  const int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
  std::mt19937_64 rng(17);
  for (bool lower : {true, false})
    for (int32_t diagonal : {0, -1, 1, 3, -4, 9, 100, kMax, kMax - 1, kMax - 5, kMin, kMin + 1})
      for (const auto& options : Schedules(diagonal & 7)) {
        const int32_t len = Uniform(rng, 1, 12), perMatrix = Uniform(rng, 1, 6), rows = 3 * perMatrix + 1;
        Words in(int64_t(len) * rows, rng), out(int64_t(len) * rows);
        VortaTriangleJob job{in.data(), out.data(), len, perMatrix, diagonal};
        RunExport(lower ? VORTA_EXPORT_DATAMOVE_LOWER_TRIANGLE : VORTA_EXPORT_DATAMOVE_UPPER_TRIANGLE,
                  job, rows, options);
        std::vector<uint32_t> want(out.size());
        for (int32_t r = 0; r < rows; ++r)
          for (int32_t c = 0; c < len; ++c) {
            const int64_t edge = int64_t(r % perMatrix) + diagonal;
            const bool keep = lower ? c <= edge : c >= edge;
            want[r * len + c] = keep ? in[r * len + c] : 0;
          }
        EXPECT_EQ(out.Values(), want) << (lower ? "lower " : "upper ") << diagonal;
        EXPECT_TRUE(out.GuardsIntact());
      }
}

// Indices from below -extent to above it: -1 is the last slice, anything still
// outside after one wrap gives zero words.
TEST_P(DataMove, GatherAlongAnAxis) {
  std::mt19937_64 rng(23);
  for (int round = 0; round < 6; ++round)
    for (const auto& options : Schedules(round)) {
      const int32_t outer = Uniform(rng, 1, 4), axis = Uniform(rng, 1, 9), inner = Uniform(rng, 1, 20),
                    count = Uniform(rng, 1, 12);
      Words in(int64_t(outer) * axis * inner, rng), out(int64_t(outer) * count * inner);
      std::vector<int32_t> idx(count);
      for (auto& v : idx) v = RandomIndex(rng, axis);
      VortaGatherAxisJob job{in.data(), idx.data(), out.data(), axis, inner, count};
      RunExport(VORTA_EXPORT_DATAMOVE_GATHER_AXIS, job, out.size(), options);
      std::vector<uint32_t> want;
      for (int32_t o = 0; o < outer; ++o)
        for (int32_t j = 0; j < count; ++j)
          for (int32_t n = 0; n < inner; ++n) {
            int64_t e;
            want.push_back(Wrapped(idx[j], axis, &e) ? in[(o * axis + e) * inner + n] : 0);
          }
      EXPECT_EQ(out.Values(), want);
      EXPECT_TRUE(out.GuardsIntact());
    }
}

// Element gathers and scatters along one axis of [outer][axis][inner]. With
// several workers the scatter targets are distinct (the job takes no locks);
// one worker also meets repeated targets, applied in index order.
struct AxisCase {
  int32_t outer, dataAxis, indexAxis, inner;
};

float F(uint32_t u) { return std::bit_cast<float>(u); }
uint32_t U(float f) { return std::bit_cast<uint32_t>(f); }
uint32_t Reduce(int32_t reduction, uint32_t target, uint32_t update) {
  switch (reduction) {
    case 0: return update;
    case 1: return U(F(target) + F(update));
    case 2: return U(F(update) * F(target));
    default: return target;
  }
}

// Small floats: products and sums keep their bits comparable (no NaN payloads).
Words SmallFloats(size_t n, std::mt19937_64& rng) {
  Words w(n);
  for (size_t i = 0; i < n; ++i) w[i] = U(float(Uniform(rng, -40, 40)) / 8.0f);
  return w;
}

std::vector<int32_t> AxisIndices(std::mt19937_64& rng, const AxisCase& c, bool distinct) {
  std::vector<int32_t> idx(int64_t(c.outer) * c.indexAxis * c.inner);
  for (int32_t o = 0; o < c.outer; ++o)
    for (int32_t n = 0; n < c.inner; ++n) {
      std::vector<int32_t> perm(c.dataAxis);
      std::iota(perm.begin(), perm.end(), 0);
      std::shuffle(perm.begin(), perm.end(), rng);
      for (int32_t j = 0; j < c.indexAxis; ++j) {
        int32_t v = distinct ? perm[j] : RandomIndex(rng, c.dataAxis);
        if (distinct && rng() % 3 == 0) v -= c.dataAxis;  // the same slice, wrapped
        idx[(o * c.indexAxis + j) * c.inner + n] = v;
      }
    }
  return idx;
}

TEST_P(DataMove, ElementGatherAndScatterAlongAnAxis) {
  std::mt19937_64 rng(29);
  for (int round = 0; round < 5; ++round)
    for (const auto& options : Schedules(round)) {
      const bool distinct = options.workers > 1;
      const int32_t dataAxis = Uniform(rng, 1, 7);
      const AxisCase c{Uniform(rng, 1, 4), dataAxis, distinct ? Uniform(rng, 1, dataAxis) : Uniform(rng, 1, 9),
                       Uniform(rng, 1, 6)};
      const std::vector<int32_t> idx = AxisIndices(rng, c, distinct);
      const int64_t n = idx.size();
      Words data = SmallFloats(int64_t(c.outer) * c.dataAxis * c.inner, rng);
      Words gathered(n);
      VortaGatherElementsAxisJob g{c.dataAxis, c.inner, c.inner, c.indexAxis * c.inner,
                                   data.data(), idx.data(), gathered.data()};
      RunExport(VORTA_EXPORT_DATAMOVE_GATHER_ELEMENTS_AXIS, g, n, options);
      Words updates = SmallFloats(n, rng);
      for (int32_t reduction = 0; reduction <= 3; ++reduction) {
        Words target(data.size());
        std::copy_n(data.data(), data.size(), target.data());
        VortaScatterElementsAxisJob s{c.dataAxis, c.inner, c.inner, c.indexAxis * c.inner, reduction, 0,
                                      updates.data(), idx.data(), target.data()};
        RunExport(VORTA_EXPORT_DATAMOVE_SCATTER_ELEMENTS_AXIS, s, n, options);
        std::vector<uint32_t> want = data.Values();
        for (int64_t i = 0; i < n; ++i) {
          const int64_t inner = i % c.inner, o = i / (int64_t(c.indexAxis) * c.inner);
          int64_t e;
          if (Wrapped(idx[i], c.dataAxis, &e)) {
            uint32_t& t = want[(o * c.dataAxis + e) * c.inner + inner];
            t = Reduce(reduction, t, updates[i]);
          }
        }
        EXPECT_EQ(target.Values(), want) << "reduction " << reduction;
        EXPECT_TRUE(target.GuardsIntact());
      }
      for (int64_t i = 0; i < n; ++i) {
        const int64_t inner = i % c.inner, o = i / (int64_t(c.indexAxis) * c.inner);
        int64_t e;
        const uint32_t want = Wrapped(idx[i], c.dataAxis, &e) ? data[(o * c.dataAxis + e) * c.inner + inner] : 0;
        ASSERT_EQ(gathered[i], want) << i;
      }
      EXPECT_TRUE(gathered.GuardsIntact());
    }
}

// The scatter over up to eight dimensions: data extents at least the update
// extents; the axis coordinate is the index, the last axis included.
TEST_P(DataMove, ScatterElementsOverEveryRankAndAxis) {
  std::mt19937_64 rng(31);
  for (int rank = 1; rank <= 8; ++rank)
    for (int axis = 0; axis < rank; ++axis) {
      const auto options = Schedules(rank * 8 + axis)[(rank + axis) % 5];
      const bool distinct = options.workers > 1;
      const Shape upd = RandomShape(rng, rank, 400);
      Shape dat = upd;
      for (int k = 0; k < rank; ++k) dat[k] += Uniform(rng, 0, 2);
      if (distinct) dat[axis] = std::max(dat[axis], upd[axis]);
      const Shape ds = RowMajor(dat), us = RowMajor(upd);
      const int64_t n = Product(upd);
      std::vector<int32_t> idx(n);
      for (int64_t i = 0; i < n; ++i) {  // distinct: coordinate c maps to slice perm(c)
        const auto c = Coordinates(i, upd);
        idx[i] = distinct ? int32_t((c[axis] * 3 + 1) % dat[axis]) : RandomIndex(rng, dat[axis]);
      }
      if (distinct && std::gcd(3, dat[axis]) != 1)
        for (int64_t i = 0; i < n; ++i) idx[i] = int32_t(Coordinates(i, upd)[axis]) - (i % 2 ? dat[axis] : 0);
      Words updates = SmallFloats(n, rng), data = SmallFloats(Product(dat), rng);
      for (int32_t reduction : {0, 1, 2, 5}) {
        Words target(data.size());
        std::copy_n(data.data(), data.size(), target.data());
        VortaScatterElementsJob job{dat[axis], axis, rank, reduction, {}, {}, updates.data(), idx.data(),
                                    target.data()};
        std::copy(ds.begin(), ds.end(), job.dataStrides);
        std::copy(us.begin(), us.end(), job.updateStrides);
        RunExport(VORTA_EXPORT_DATAMOVE_SCATTER_ELEMENTS, job, n, options);
        std::vector<uint32_t> want = data.Values();
        for (int64_t i = 0; i < n; ++i) {
          auto c = Coordinates(i, upd);
          int64_t e;
          if (!Wrapped(idx[i], dat[axis], &e)) continue;
          c[axis] = e;
          int64_t t = 0;
          for (int k = 0; k < rank; ++k) t += c[k] * ds[k];
          want[t] = Reduce(reduction, want[t], updates[i]);
        }
        EXPECT_EQ(target.Values(), want) << "rank " << rank << " axis " << axis << " reduction " << reduction;
        EXPECT_TRUE(target.GuardsIntact());
      }
    }
}

// One-hot along every axis, the inner size above and below the depth.
TEST_P(DataMove, OneHotAlongEveryAxis) {
  std::mt19937_64 rng(37);
  for (int rank = 1; rank <= 6; ++rank)
    for (int axis = 0; axis < rank; ++axis)
      for (const auto& options : Schedules(rank + axis)) {
        Shape out = RandomShape(rng, rank, 600);
        const int32_t depth = out[axis];
        Shape idxShape = out;
        idxShape.erase(idxShape.begin() + axis);
        std::vector<int32_t> idx(Product(idxShape));
        for (auto& v : idx) v = Uniform(rng, -depth - 1, depth);
        Words dst(Product(out));
        VortaOneHotJob job{idx.data(), dst.data(), 0x3f800000u, 0xbadf00du, rank, 0, depth, axis, {}, {}};
        RightAligned(job.shape, out);
        RightAligned(job.strides, RowMajor(out));
        RunExport(VORTA_EXPORT_DATAMOVE_ONE_HOT, job, dst.size(), options);
        const Shape idxStrides = RowMajor(idxShape);
        std::vector<uint32_t> want(dst.size());
        for (size_t i = 0; i < want.size(); ++i) {
          const auto c = Coordinates(i, out);
          int64_t pos = 0;
          for (int k = 0, j = 0; k < rank; ++k)
            if (k != axis) pos += c[k] * idxStrides[j++];
          int64_t e = idx[pos] < 0 ? int64_t(idx[pos]) + depth : idx[pos];
          want[i] = e == c[axis] ? job.onValue : job.offValue;
        }
        ASSERT_EQ(dst.Values(), want) << "rank " << rank << " axis " << axis;
        EXPECT_TRUE(dst.GuardsIntact());
      }
}

VORTA_INSTANTIATE_VARIANTS(Variants, DataMove);

}  // namespace
