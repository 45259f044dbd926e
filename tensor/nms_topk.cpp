// Non-maximum suppression and top-k.
//
// The overlap job flags every box pair of a batch item whose intersection over
// union exceeds the threshold; the selection job sorts each row's boxes by
// score (introsort on the row's order scratch) and selects greedily; top-k
// keeps the K best elements of each axis line in a heap built in the line's own
// output slots, so nothing is allocated and a line costs one pass over its data
// plus O(log K) per element that enters. The slots end as the one-by-one
// insertion list would leave them: decreasing key, and among equal keys the
// earlier position first.
#include "tensor/nms_topk.h"

#include <vorta/vorta.h>

#include "frame/batch_loop.h"
#include "frame/simd.h"
#include "tensor/elementary.h"

namespace vorta {
using OverlapJob = ::VortaOverlapJob;
using SelectJob = ::VortaSelectJob;
using TopKJob = ::VortaTopKJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// ---- overlap ----

// Boxes as their two intervals and area, in the rounding of the overlap
// formulas (the centre form's w·0.5 + cx equals cx + w·0.5 bit for bit), for
// one box (L = float) or kLanes boxes (L = VFloat), built from the box's four
// numbers c0..c3.
template <class L>
struct Extent {
  L lo0, lo1, hi0, hi1, area;
};

struct Centre {
  template <class L> static Extent<L> Make(L c0, L c1, L c2, L c3) {
    const L hw = c2 * Splat<L>(0.5f), hh = c3 * Splat<L>(0.5f);
    return {c0 - hw, c1 - hh, hw + c0, c1 + hh, c3 * c2};
  }
};

struct Corners {
  template <class L> static Extent<L> Make(L c0, L c1, L c2, L c3) {
    const L lo0 = MinStep(c0, c2), hi0 = Select(c0 < c2, c2, c0);
    const L lo1 = MinStep(c1, c3), hi1 = Select(c1 < c3, c3, c1);
    return {lo0, lo1, hi0, hi1, (hi0 - lo0) * (hi1 - lo1)};
  }
};

// The four numbers of kLanes consecutive boxes, one vector each.
static inline void LoadBoxes(const float* b, VFloat& c0, VFloat& c1, VFloat& c2, VFloat& c3) {
  __m128 r[kLanes];
  for (int k = 0; k < kLanes; ++k) r[k] = _mm_loadu_ps(b + 4 * k);
  _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
#if defined(VORTA_VARIANT_AVX2)
  _MM_TRANSPOSE4_PS(r[4], r[5], r[6], r[7]);
  c0 = reinterpret_cast<VFloat>(_mm256_set_m128(r[4], r[0]));
  c1 = reinterpret_cast<VFloat>(_mm256_set_m128(r[5], r[1]));
  c2 = reinterpret_cast<VFloat>(_mm256_set_m128(r[6], r[2]));
  c3 = reinterpret_cast<VFloat>(_mm256_set_m128(r[7], r[3]));
#else
  c0 = reinterpret_cast<VFloat>(r[0]);
  c1 = reinterpret_cast<VFloat>(r[1]);
  c2 = reinterpret_cast<VFloat>(r[2]);
  c3 = reinterpret_cast<VFloat>(r[3]);
#endif
}

// 1 where IoU(p, q) > threshold. An empty intersection on either axis gives 0.
// Two boxes whose union has zero area (identical points or segments) have an
// IoU of 0 like touching boxes, rather than 0/0 = NaN.
// Blocks where no pair meets skip the division.
template <class L>
static inline IntOf<L> Overlaps(const Extent<L>& p, const Extent<L>& q, float threshold) {
  const L left = MaxStep(q.lo0, p.lo0), right = MinStep(q.hi0, p.hi0);
  const L top = MaxStep(q.lo1, p.lo1), bottom = MinStep(q.hi1, p.hi1);
  const auto meet = MaskNot(MaskOr(left > right, top > bottom));
  if constexpr (std::is_same_v<L, VFloat>) {
    if (LaneBits(meet) == 0) return VInt{};
  } else {
    if (!meet) return 0;
  }
  const L inter = (bottom - top) * (right - left);
  const L uni = q.area + p.area - inter;
  const L iou = Select(uni == Splat<L>(0.0f), Splat<L>(0.0f), inter / uni);
  return MaskToOne(MaskAnd(meet, iou > Splat<L>(threshold)));
}

template <class Form>
static inline void OverlapRange(const OverlapJob* job, int64_t begin, int64_t end) {
  const int64_t B = job->B, pairs = B * B;
  if (B <= 0) return;
  const float threshold = job->iouThreshold;
  int64_t e = begin;
  while (e < end) {
    const int64_t g = e / pairs, i = (e / B) % B;
    const float* boxes = job->boxes + g * B * 4;
    const float* pb = boxes + i * 4;
    const Extent<float> p = Form::Make(pb[0], pb[1], pb[2], pb[3]);
    const Extent<VFloat> pv{Splat<VFloat>(p.lo0), Splat<VFloat>(p.lo1), Splat<VFloat>(p.hi0), Splat<VFloat>(p.hi1),
                            Splat<VFloat>(p.area)};
    int64_t j = e % B;
    const int64_t stop = e + (B - j) < end ? e + (B - j) : end;  // the rest of row i
    uint8_t* flags = job->flags + (e - j);
    const int64_t rowEnd = j + (stop - e);
    for (; j + kLanes <= rowEnd; j += kLanes) {
      VFloat c0, c1, c2, c3;
      LoadBoxes(boxes + j * 4, c0, c1, c2, c3);
      Store(flags + j, __builtin_convertvector(Overlaps(pv, Form::Make(c0, c1, c2, c3), threshold), VUint8));
    }
    for (; j < rowEnd; ++j) {
      const float* q = boxes + j * 4;
      flags[j] = uint8_t(Overlaps(p, Form::Make(q[0], q[1], q[2], q[3]), threshold));
    }
    e = stop;
  }
}

// ---- selection ----

// True when box a comes before box b: the higher score, then the lower index.
// NaN scores come after every number, in index order, so the order is total.
struct ScoreOrder {
  const float* score;
  bool operator()(int32_t a, int32_t b) const {
    const float sa = score[a], sb = score[b];
    if (sa != sa) return sb != sb && a < b;
    if (sb != sb) return true;
    return sa > sb || (sa == sb && a < b);
  }
};

template <class Less>
static void SiftDown(int32_t* v, int64_t root, int64_t n, const Less& less) {
  for (;;) {
    int64_t child = 2 * root + 1;
    if (child >= n) return;
    if (child + 1 < n && less(v[child], v[child + 1])) ++child;
    if (!less(v[root], v[child])) return;
    int32_t t = v[root];
    v[root] = v[child];
    v[child] = t;
    root = child;
  }
}

template <class Less>
static void HeapSort(int32_t* v, int64_t n, const Less& less) {
  for (int64_t i = n / 2; i-- > 0;) SiftDown(v, i, n, less);
  for (int64_t end = n - 1; end > 0; --end) {
    int32_t t = v[0];
    v[0] = v[end];
    v[end] = t;
    SiftDown(v, 0, end, less);
  }
}

template <class Less>
static void InsertionSort(int32_t* v, int64_t n, const Less& less) {
  for (int64_t i = 1; i < n; ++i) {
    const int32_t x = v[i];
    int64_t j = i;
    for (; j > 0 && less(x, v[j - 1]); --j) v[j] = v[j - 1];
    v[j] = x;
  }
}

// Median-of-three quicksort, insertion sort for ranges of at most 16 entries,
// heapsort below the depth limit.
template <class Less>
static void IntroSort(int32_t* v, int64_t n, int depth, const Less& less) {
  while (n > 16) {
    if (depth-- == 0) return HeapSort(v, n, less);
    int32_t* a = v;
    int32_t* m = v + n / 2;
    int32_t* z = v + n - 1;
    if (less(*m, *a)) { int32_t t = *m; *m = *a; *a = t; }
    if (less(*z, *m)) { int32_t t = *z; *z = *m; *m = t; }
    if (less(*m, *a)) { int32_t t = *m; *m = *a; *a = t; }
    const int32_t pivot = *m;
    int64_t i = 0, j = n - 1;
    for (;;) {  // Hoare partition; the median of three bounds both scans
      while (less(v[i], pivot)) ++i;
      while (less(pivot, v[j])) --j;
      if (i >= j) break;
      int32_t t = v[i];
      v[i] = v[j];
      v[j] = t;
      ++i;
      --j;
    }
    // [0, j] and [j + 1, n): recurse into the smaller part, loop on the larger.
    const int64_t left = j + 1;
    if (left < n - left) {
      IntroSort(v, left, depth, less);
      v += left;
      n -= left;
    } else {
      IntroSort(v + left, n - left, depth, less);
      n = left;
    }
  }
  InsertionSort(v, n, less);
}

// Whether any of the n selected boxes flags this box's row; eight flags are
// gathered per test, so the walk branches once per eight selections.
static inline bool SuppressedBy(const uint8_t* row, const int32_t* selected, int32_t n) {
  int32_t s = 0;
  for (; s + 8 <= n; s += 8) {
    const int any = row[selected[s]] | row[selected[s + 1]] | row[selected[s + 2]] | row[selected[s + 3]] |
                    row[selected[s + 4]] | row[selected[s + 5]] | row[selected[s + 6]] | row[selected[s + 7]];
    if (any) return true;
  }
  for (; s < n; ++s)
    if (row[selected[s]]) return true;
  return false;
}

static void SelectRow(const SelectJob* job, int64_t row) {
  const int64_t B = job->B;
  if (B <= 0) return;
  const int64_t g = job->classes > 0 ? row / job->classes : 0;
  const float* score = job->scores + row * B;
  int32_t* order = job->order + row * B;
  int32_t* selected = job->selected + row * B;
  const uint8_t* flags = job->flags + g * B * B;
  for (int64_t i = 0; i < B; ++i) order[i] = int32_t(i);
  const ScoreOrder less{score};
  IntroSort(order, B, 2 * (63 - __builtin_clzll(uint64_t(B))), less);
  const int32_t maxOut = job->maxOut;
  int32_t n = 0;
  for (int64_t k = 0; k < B && n < maxOut; ++k) {
    const int32_t o = order[k];
    if (job->scoreThreshold > score[o]) break;
    if (!SuppressedBy(flags + int64_t(o) * B, selected, n)) selected[n++] = o;
  }
  if (n < maxOut) selected[n] = -1;
}

// ---- top-k ----

// The slots of one line, K of them at stride S (1 when kUnit), as a heap whose
// root is the worst kept element: the lower key, then the later position. NaN
// keys are worse than every number. Ties go to the earlier position, as a
// stable selection requires.
template <bool kUnit>
struct TopKLine {
  float* values;
  int32_t* indices;
  int64_t stride;
  float direction;

  int64_t At(int64_t slot) const { return kUnit ? slot : slot * stride; }
  float Key(int64_t slot) const { return values[At(slot)] * direction; }
  static bool Worse(float ka, int32_t ia, float kb, int32_t ib) {
    if (ka != ka) return kb == kb || ia > ib;
    if (kb != kb) return false;
    return ka < kb || (ka == kb && ia > ib);
  }
  bool WorseSlot(int64_t a, int64_t b) const { return Worse(Key(a), indices[At(a)], Key(b), indices[At(b)]); }
  void Swap(int64_t a, int64_t b) const {
    float v = values[At(a)];
    values[At(a)] = values[At(b)];
    values[At(b)] = v;
    int32_t i = indices[At(a)];
    indices[At(a)] = indices[At(b)];
    indices[At(b)] = i;
  }
  // Restores the worst-first order below slot `root` of a heap of n slots.
  void SiftDown(int64_t root, int64_t n) const {
    for (;;) {
      int64_t child = 2 * root + 1;
      if (child >= n) return;
      if (child + 1 < n && WorseSlot(child + 1, child)) ++child;
      if (!WorseSlot(child, root)) return;
      Swap(root, child);
      root = child;
    }
  }
  void SiftUp(int64_t slot) const {
    while (slot > 0) {
      const int64_t parent = (slot - 1) / 2;
      if (!WorseSlot(slot, parent)) return;
      Swap(slot, parent);
      slot = parent;
    }
  }
};

// The largest lane of a vector that holds no NaN, by halves (which of two
// equal zeros it gives does not matter to the comparisons below).
static inline float LargestLane(VFloat v) {
  auto larger = [](VFloat a, VFloat b) { return Select(a > b, a, b); };
#if defined(VORTA_VARIANT_AVX2)
  v = larger(v, __builtin_shuffle(v, VInt{4, 5, 6, 7, 0, 1, 2, 3}));
  v = larger(v, __builtin_shuffle(v, VInt{2, 3, 0, 1, 6, 7, 4, 5}));
  v = larger(v, __builtin_shuffle(v, VInt{1, 0, 3, 2, 5, 4, 7, 6}));
#else
  v = larger(v, __builtin_shuffle(v, VInt{2, 3, 0, 1}));
  v = larger(v, __builtin_shuffle(v, VInt{1, 0, 3, 2}));
#endif
  return v[0];
}

// A floor under the K kept keys of a short contiguous line: the K-th largest
// of the maxima of its blocks (NaN keys ignored). At least K keys reach it, so
// a key below it never ends among the K kept; skipping those keys early spares
// the unpredictable entries at the start of a line. -inf when not worth it.
static float KeyFloor(const float* x, int64_t N, int64_t K, float direction) {
  constexpr int64_t kBlock = 4 * kLanes, kMaxBlocks = 128, kMaxK = 16;
  const float none = -__builtin_inff();
  const int64_t blocks = (N + kBlock - 1) / kBlock;
  if (blocks > kMaxBlocks || K > kMaxK || K > blocks) return none;
  float best[kMaxK];  // the K largest block maxima, descending
  int64_t have = 0;
  const VFloat dir = Splat<VFloat>(direction);
  for (int64_t b = 0; b < blocks; ++b) {
    const int64_t k0 = b * kBlock;
    float m = none;
    if (k0 + kBlock <= N) {
      // NaN keys drop out at the first step (a NaN never compares larger).
      VFloat v[4];
      for (int q = 0; q < 4; ++q) {
        const VFloat key = Load<VFloat>(x + k0 + q * kLanes) * dir;
        v[q] = Select(key > Splat<VFloat>(none), key, Splat<VFloat>(none));
      }
      auto larger = [](VFloat a, VFloat b) { return Select(a > b, a, b); };
      m = LargestLane(larger(larger(v[0], v[1]), larger(v[2], v[3])));
    } else {
      for (int64_t k = k0; k < N; ++k) m = x[k] * direction > m ? x[k] * direction : m;
    }
    if (have == K && !(m > best[K - 1])) continue;
    int64_t at = have < K ? have++ : K - 1;
    for (; at > 0 && best[at - 1] < m; --at) best[at] = best[at - 1];
    best[at] = m;
  }
  return best[K - 1];
}

// Offers the elements of a contiguous line from k on, four vectors at a time:
// blocks whose keys are all at most the worst kept key (or NaN, or below the
// floor) are skipped with one test. Returns where the whole blocks end.
template <bool kUnitDirection, bool kFloor, class Offer>
static inline __attribute__((always_inline)) int64_t SkipBlocks(const float* x, int64_t N, int64_t k,
                                                                float direction, float floorKey,
                                                                const float& root, const Offer& offer) {
  const VFloat dir = Splat<VFloat>(direction), floor = Splat<VFloat>(floorKey);
  for (; k + 4 * kLanes <= N; k += 4 * kLanes) {
    if (root != root) {
      for (int64_t e = k; e < k + 4 * kLanes; ++e) offer(e);
      continue;
    }
    const VFloat r = Splat<VFloat>(root);
    VInt above[4];
    for (int v = 0; v < 4; ++v) {
      VFloat key = Load<VFloat>(x + k + v * kLanes);
      if constexpr (!kUnitDirection) key = key * dir;
      above[v] = key > r;
      if constexpr (kFloor) above[v] = MaskAnd(above[v], key >= floor);
    }
    if (LaneBits(MaskOr(MaskOr(above[0], above[1]), MaskOr(above[2], above[3]))) == 0) continue;
    // Only the lanes above the root at the block's start (and on or above
    // the floor) can end among the kept: the root never gets worse. They are
    // offered in index order.
    for (int v = 0; v < 4; ++v)
      for (int bits = LaneBits(above[v]); bits != 0; bits &= bits - 1) offer(k + v * kLanes + __builtin_ctz(bits));
  }
  return k;
}

template <bool kUnit>
static void TopKLineRun(const float* x, const TopKLine<kUnit>& h, int64_t N, int64_t K) {
  auto in = [&](int64_t k) { return x[kUnit ? k : k * h.stride]; };
  // Fill: the first K elements, as a heap.
  for (int64_t k = 0; k < K; ++k) {
    h.values[h.At(k)] = in(k);
    h.indices[h.At(k)] = int32_t(k);
    h.SiftUp(k);
  }
  // A later element enters when its key is above the worst kept key (a NaN
  // key never does; a NaN root gives way to any number).
  float root = h.Key(0);
  auto offer = [&](int64_t k) {
    const float key = in(k) * h.direction;
    if (key == key && (root != root || key > root)) {
      h.values[0] = in(k);
      h.indices[0] = int32_t(k);
      h.SiftDown(0, K);
      root = h.Key(0);
    }
  };
  int64_t k = K;
  if (kUnit) {
    const float floor = KeyFloor(x, N, K, h.direction);
    // The keys only decide comparisons: with direction 1 they are the values
    // themselves, and a floor of -inf passes every key that beats the root.
    const bool unitDirection = h.direction == 1.0f, useFloor = floor != -__builtin_inff();
    if (unitDirection && !useFloor) k = SkipBlocks<true, false>(x, N, k, h.direction, floor, root, offer);
    else if (unitDirection) k = SkipBlocks<true, true>(x, N, k, h.direction, floor, root, offer);
    else if (!useFloor) k = SkipBlocks<false, false>(x, N, k, h.direction, floor, root, offer);
    else k = SkipBlocks<false, true>(x, N, k, h.direction, floor, root, offer);
  }
  for (; k < N; ++k) offer(k);
  // Heapsort in place: the worst goes to the last slot, the best ends in slot 0.
  for (int64_t n = K - 1; n > 0; --n) {
    h.Swap(0, n);
    h.SiftDown(0, n);
  }
}

static void TopKOne(const TopKJob* job, int64_t line) {
  const int64_t N = job->N, S = job->S;
  if (N < 1 || job->K < 1) return;
  const int64_t K = job->K < N ? job->K : N;  // never reads past the line
  const int64_t q = line / S, r = line % S;
  const float* x = job->input + q * N * S + r;
  const int64_t line0 = (q * job->K) * S + r;  // the output keeps the host's K
  float* values = job->values + line0;
  int32_t* indices = job->indices + line0;
  if (N < 2) {
    values[0] = x[0];
    indices[0] = 0;
  } else if (S == 1) {
    TopKLineRun<true>(x, TopKLine<true>{values, indices, 1, float(job->direction)}, N, K);
  } else {
    TopKLineRun<false>(x, TopKLine<false>{values, indices, S, float(job->direction)}, N, K);
  }
}

}  // namespace

VORTA_JOB_BODY(NmsOverlap) {
  const auto* j = static_cast<const OverlapJob*>(job);
  if (j->boxFormat != 0 && j->boxFormat != 1) Abort("System.ArgumentOutOfRangeException", "");
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    if (j->boxFormat == 1) OverlapRange<Centre>(j, begin, end);
    else OverlapRange<Corners>(j, begin, end);
  });
}

VORTA_JOB_BODY(NmsSelect) {
  const auto* j = static_cast<const SelectJob*>(job);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int32_t row = begin; row < end; ++row) SelectRow(j, row);
  });
}

VORTA_JOB_BODY(TopK) {
  const auto* j = static_cast<const TopKJob*>(job);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int32_t line = begin; line < end; ++line) TopKOne(j, line);
  });
}

}  // namespace vorta::VORTA_NS
