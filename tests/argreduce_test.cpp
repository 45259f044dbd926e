// Arg-min, arg-max and hardmax through their exports, both variants, one and
// several workers with random, empty and tiny batches, contiguous and strided
// axes. The oracle finds the extreme among the elements that are not NaN by
// value and picks its first or last position; for the float first-occurrence
// members a zero extreme moves to each later zero of the other sign.
#include <gtest/gtest.h>
#include <stdint.h>

#include <cmath>
#include <vector>

#include <vorta/vorta.h>

#include "tensor/axis_records.h"
#include "tests/variant_test.h"

namespace {

using vorta_test::Schedule;
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");

struct Member {
  const char* entry;
  bool isInt, max, last, hardmax;
};
const Member kMembers[] = {
    {VORTA_EXPORT_ARGREDUCE_ARGMIN_FIRST_FLOAT, false, false, false, false},
    {VORTA_EXPORT_ARGREDUCE_ARGMIN_LAST_FLOAT, false, false, true, false},
    {VORTA_EXPORT_ARGREDUCE_ARGMAX_FIRST_FLOAT, false, true, false, false},
    {VORTA_EXPORT_ARGREDUCE_ARGMAX_LAST_FLOAT, false, true, true, false},
    {VORTA_EXPORT_ARGREDUCE_ARGMIN_FIRST_INT32, true, false, false, false},
    {VORTA_EXPORT_ARGREDUCE_ARGMIN_LAST_INT32, true, false, true, false},
    {VORTA_EXPORT_ARGREDUCE_ARGMAX_FIRST_INT32, true, true, false, false},
    {VORTA_EXPORT_ARGREDUCE_ARGMAX_LAST_INT32, true, true, true, false},
    {VORTA_EXPORT_ARGREDUCE_HARDMAX, false, true, false, true},
};

// Elements as doubles (exact for both element types); the position the member must give.
int32_t Want(const Member& m, const std::vector<double>& x) {
  int32_t at = -1;
  for (int32_t k = 0; k < int32_t(x.size()); ++k) {
    if (std::isnan(x[k])) continue;
    const bool beyond = at < 0 || (m.max ? x[k] > x[at] : x[k] < x[at]);
    if (beyond || (x[k] == x[at] && m.last)) at = k;
  }
  if (at < 0) return 0;
  if (x[at] != 0 || m.isInt || m.last || m.hardmax) return at;
  int32_t prev = at;  // a zero extreme: follow the sign changes among the zeros
  for (int32_t k = at + 1; k < int32_t(x.size()); ++k)
    if (x[k] == 0 && std::signbit(x[k]) != std::signbit(x[prev])) at = prev = k;
  return at;
}

struct Shape {
  int32_t outer, N, S;
};

// Runs member m over a tensor given as doubles; gives the output as positions
// (for hardmax, the position of the single 1 of each line, -1 if the line is
// not one-hot).
std::vector<int32_t> RunMember(const Member& m, const std::vector<double>& x, const Shape& s,
                         const vorta::host::JobOptions& opt) {
  std::vector<float> f(x.begin(), x.end());
  std::vector<int32_t> ints(x.begin(), x.end());
  const int32_t lines = s.outer * s.S;
  const size_t outCount = m.hardmax ? x.size() : size_t(lines);
  std::vector<int32_t> out(outCount + 16, 0x5a5a5a5a);
  vorta::AxisReduceJob job{m.isInt ? static_cast<const void*>(ints.data()) : f.data(), out.data() + 8, s.N,
                           s.S};
  vorta::host::RunJob(vorta::host::LinkedJob(m.entry), &job, sizeof job, lines, opt);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(0x5a5a5a5a, out[i]);
    EXPECT_EQ(0x5a5a5a5a, out[outCount + 8 + i]);
  }
  std::vector<int32_t> got(out.begin() + 8, out.begin() + 8 + lines);
  if (!m.hardmax) return got;
  const float* y = reinterpret_cast<const float*>(out.data() + 8);
  for (int32_t o = 0; o < lines; ++o) {
    got[o] = -1;
    int ones = 0, others = 0;
    for (int32_t k = 0; k < s.N; ++k) {
      const float v = y[(o / s.S * s.N + k) * s.S + o % s.S];
      if (v == 1.0f) ++ones, got[o] = k;
      else if (std::bit_cast<uint32_t>(v) != 0) ++others;
    }
    if (ones != 1 || others) got[o] = -1;
  }
  return got;
}

std::vector<double> Line(const std::vector<double>& x, const Shape& s, int32_t o) {
  std::vector<double> e(s.N);
  for (int32_t k = 0; k < s.N; ++k) e[k] = x[(int64_t(o / s.S) * s.N + k) * s.S + o % s.S];
  return e;
}

class ArgReduceTest : public vorta_test::VariantTest {};

TEST_P(ArgReduceTest, RandomTensorsWithTiesAndSpecials) {
  const Shape shapes[] = {{5, 1, 1}, {4, 7, 1},  {3, 8, 1},  {3, 9, 1},   {3, 31, 1}, {2, 33, 1},
                          {2, 1000, 1}, {3, 7, 9}, {2, 33, 17}, {1, 1000, 3}, {2, 9, 300}};
  const double special[] = {0.0, -0.0, kInf, -kInf, kNaN, 3.4028234663852886e38, -3.4028234663852886e38,
                            1e-45, -1e-45, 1.0, -1.0};
  const double intSpecial[] = {0, 1, -1, INT32_MIN, INT32_MAX};
  std::mt19937_64 rng(11);
  for (const Member& m : kMembers)
    for (const Shape& s : shapes)
      for (int pass = 0; pass < 3; ++pass) {
        std::vector<double> x(size_t(s.outer) * s.N * s.S);
        for (double& e : x) {
          const int pick = int(rng() % 8);
          if (m.isInt)
            e = pick < 2 ? intSpecial[rng() % 5] : pick < 5 ? double(int(rng() % 7) - 3) : double(int32_t(rng()));
          else if (pass == 2) e = special[rng() % 6];  // zeros of both signs, infinities, NaN
          else
            e = pick < 3   ? special[rng() % std::size(special)]
                : pick < 6 ? double(int(rng() % 5) - 2)
                           : double(std::bit_cast<float>(uint32_t(rng())));
        }
        const auto opt = pass == 0 ? Schedule(1, 0, false, false, 1) : Schedule(3, 2, true, true, pass + 2);
        const auto got = RunMember(m, x, s, opt);
        for (int32_t o = 0; o < int32_t(got.size()); ++o)
          ASSERT_EQ(Want(m, Line(x, s, o)), got[o]) << m.entry << " N " << s.N << " S " << s.S << " line " << o;
      }
}

// Each row as one contiguous line and as the middle line of three side by side.
TEST_P(ArgReduceTest, ListedCases) {
  const double big = 3.4028234663852886e38;
  struct Case {
    int member;
    std::vector<double> row;
    int32_t want;
  } cases[] = {
      {0, {0.0, -0.0}, 1},        {0, {-0.0, 0.0}, 1},   {0, {3, 1, 1}, 1},        {1, {3, 1, 1}, 2},
      {2, {5, kNaN, 1}, 0},       {3, {5, kNaN, 1}, 0},  {0, {kInf, big}, 1},      {2, {-kInf, -big}, 1},
      {1, {kInf, kInf, kInf}, 2}, {3, {-kInf, -kInf}, 1}, {0, {kNaN, kNaN}, 0},     {2, {kNaN, 2, kNaN}, 1},
      {0, {kNaN, kInf, 4}, 2},    {8, {2, 5, 5}, 1},     {8, {-kInf, -kInf}, 0},   {8, {kNaN, 1, kNaN}, 1},
      {8, {-0.0, 0.0}, 0},        {4, {3, 1, 1}, 1},     {5, {3, 1, 1}, 2},        {6, {INT32_MIN, INT32_MIN}, 0},
      {7, {2, INT32_MAX, INT32_MAX, 1}, 2},
  };
  for (const Case& c : cases)
    for (int repeat : {1, 40}) {  // long rows take the lane path
      const Member& m = kMembers[c.member];
      std::vector<double> row;
      for (int r = 0; r < repeat; ++r) row.insert(row.end(), c.row.begin(), c.row.end());
      const int32_t N = int32_t(row.size());
      const int32_t want = Want(m, row);
      if (repeat == 1) EXPECT_EQ(c.want, want) << "case " << c.member << " oracle";
      std::vector<double> three(3 * N, 7.0);
      for (int32_t k = 0; k < N; ++k) three[3 * k + 1] = row[k];
      EXPECT_EQ(want, RunMember(m, row, {1, N, 1}, {})[0]) << c.member << " N " << N;
      EXPECT_EQ(want, RunMember(m, three, {1, N, 3}, {})[1]) << c.member << " N " << N << " strided";
    }
}

VORTA_INSTANTIATE_VARIANTS(ArgReduce, ArgReduceTest);

}  // namespace
