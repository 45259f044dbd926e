// Shared by the data-movement and index-tuple tests: word buffers with guard
// cells, the schedules every job runs under, random shapes and the coordinate
// arithmetic of the reference loops (written from the shapes alone).
#pragma once
#include <gtest/gtest.h>
#include <stdint.h>

#include <random>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tests/variant_test.h"
#include "vorta/vorta.h"

// The records are packed; their int32 tables sit at 4-byte offsets, and x86
// takes unaligned words anyway.
#pragma GCC diagnostic ignored "-Waddress-of-packed-member"

namespace vorta_test {

constexpr uint32_t kGuardWord = 0xdeadbeefu;

// n words between two runs of guard cells; every check also sees that no
// guard cell changed.
class Words {
 public:
  static constexpr size_t kGuard = 24;
  explicit Words(size_t n, uint32_t fill = 0) : cells_(n + 2 * kGuard, kGuardWord), n_(n) {
    for (size_t i = 0; i < n; ++i) cells_[kGuard + i] = fill;
  }
  Words(size_t n, std::mt19937_64& rng) : Words(n) {
    for (size_t i = 0; i < n; ++i) cells_[kGuard + i] = static_cast<uint32_t>(rng());
  }
  uint32_t* data() { return cells_.data() + kGuard; }
  const uint32_t* data() const { return cells_.data() + kGuard; }
  uint32_t& operator[](size_t i) { return data()[i]; }
  size_t size() const { return n_; }
  std::vector<uint32_t> Values() const { return {data(), data() + n_}; }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (cells_[i] != kGuardWord || cells_[kGuard + n_ + i] != kGuardWord) return false;
    return true;
  }

 private:
  std::vector<uint32_t> cells_;
  size_t n_;
};

// One and several workers, single-index, odd, random and empty batches.
inline std::vector<vorta::host::JobOptions> Schedules(uint64_t seed) {
  return {Schedule(1, 1, false, false, seed), Schedule(1, 7, true, true, seed + 1),
          Schedule(3, 5, true, true, seed + 2), Schedule(4, 0, false, false, seed + 3),
          Schedule(2, 33, true, false, seed + 4)};
}

template <class Record>
void RunExport(const char* name, Record& record, int64_t length,
               const vorta::host::JobOptions& options) {
  vorta::host::RunJob(vorta::host::LinkedJob(name), &record, sizeof record,
                      static_cast<int32_t>(length), options);
}

inline int32_t Uniform(std::mt19937_64& rng, int32_t lo, int32_t hi) {
  return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

// Extents of a random shape of `rank` dimensions (outermost first) with at most
// `limit` elements; a few dimensions are 1.
inline std::vector<int32_t> RandomShape(std::mt19937_64& rng, int rank, int64_t limit = 1500) {
  std::vector<int32_t> shape(rank, 1);
  int64_t total = 1;
  for (int k = rank - 1; k >= 0; --k) {
    const int32_t cap = static_cast<int32_t>(std::max<int64_t>(1, std::min<int64_t>(9, limit / total)));
    shape[k] = rng() % 5 == 0 ? 1 : Uniform(rng, 1, cap);
    total *= shape[k];
  }
  return shape;
}

inline int64_t Product(const std::vector<int32_t>& shape) {
  int64_t p = 1;
  for (int32_t e : shape) p *= e;
  return p;
}

// Row-major strides of a shape (outermost first).
inline std::vector<int32_t> RowMajor(const std::vector<int32_t>& shape) {
  std::vector<int32_t> s(shape.size(), 1);
  for (int k = static_cast<int>(shape.size()) - 2; k >= 0; --k) s[k] = s[k + 1] * shape[k + 1];
  return s;
}

// The coordinates (outermost first) of flat index i in a shape.
inline std::vector<int64_t> Coordinates(int64_t i, const std::vector<int32_t>& shape) {
  std::vector<int64_t> c(shape.size());
  for (int k = static_cast<int>(shape.size()) - 1; k >= 0; --k) {
    c[k] = i % shape[k];
    i /= shape[k];
  }
  return c;
}

// Writes a shape's extents into a right-aligned table of 8 slots.
inline void RightAligned(int32_t* slots, const std::vector<int32_t>& values, int32_t fill = 1) {
  const int first = 8 - static_cast<int>(values.size());
  for (int m = 0; m < 8; ++m) slots[m] = m < first ? fill : values[m - first];
}

// Indices mostly in [-extent, extent), one in eight far outside.
inline int32_t RandomIndex(std::mt19937_64& rng, int32_t extent) {
  return rng() % 8 == 0 ? Uniform(rng, -2 * extent - 2, 2 * extent + 1) : Uniform(rng, -extent, extent - 1);
}

// The index wrapped once; false when it is still outside the axis.
inline bool Wrapped(int32_t idx, int32_t extent, int64_t* e) {
  *e = idx < 0 ? int64_t(idx) + extent : idx;
  return *e >= 0 && *e < extent;
}

}  // namespace vorta_test
