// The register-tiled inner kernel shared by the matrix product and the
// convolution, and the panel packing that feeds it.
//
// Every output accumulates its products in increasing k, one multiply-add step
// at a time, starting from zero or from the value already in the output. In the
// SSE2 variant a step is a rounded product followed by a rounded sum, so the
// result is exactly that of the plain sequential loop, whatever the tiling; the
// AVX2 variant fuses each step into one multiply-add. Since the per-output order
// never depends on how the work is cut, panel depths and block sizes are chosen
// for the cache alone.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "frame/services.h"
#include "frame/simd.h"

namespace vorta::VORTA_NS {

// A register tile: Rows output rows by Vectors vectors of kLanes columns. The
// matrix product uses 6 rows by 2 vectors: twelve accumulators, two B vectors
// and the A broadcast fill the sixteen vector registers (6 x 16 in AVX2, 6 x 8
// in SSE2). The convolution uses 4 rows by 3 vectors (also twelve
// accumulators), which divides its 64 x 120 tiles exactly in both variants.
template <int Rows_, int Vectors_>
struct TileShape {
  static constexpr int kRows = Rows_;
  static constexpr int kVectors = Vectors_;
  static constexpr int kCols = Vectors_ * kLanes;
};
using MatMulTile = TileShape<6, 2>;
using ConvTile = TileShape<4, 3>;

static inline __attribute__((always_inline)) VFloat MulAdd(VFloat acc, VFloat a, VFloat b) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VFloat>(_mm256_fmadd_ps(reinterpret_cast<__m256>(a),
                                                  reinterpret_cast<__m256>(b),
                                                  reinterpret_cast<__m256>(acc)));
#else
  return acc + a * b;
#endif
}

static inline __attribute__((always_inline)) VFloat Broadcast(const float* p) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VFloat>(_mm256_broadcast_ss(p));
#else
  return reinterpret_cast<VFloat>(_mm_load1_ps(p));
#endif
}

static constexpr inline size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

// Scratch from the host's untracked allocator, taken on first use and kept in
// the record; the host owns it from then on.
static inline float* HostScratch(uint64_t bytes) {
  return static_cast<float*>(ServiceSlot<svc::Malloc>(kMalloc)(bytes, 64, 2));
}

// ---- the A operand of one register tile -------------------------------------

// How many copies of each A element the packing stores. The AVX2 variant
// broadcasts an element from memory as it multiplies; SSE2 has no broadcasting
// load (a load and a shuffle compete with the arithmetic), so its packing
// stores every element already spread across the four lanes.
#if defined(VORTA_VARIANT_AVX2)
constexpr int kACopies = 1;
#else
constexpr int kACopies = kLanes;
#endif

// A packed sliver: element (r, k) at p[(k * Stride + r) * kACopies].
template <int Stride>
struct PackedSliver {
  const float* p;
  VFloat Row(int r) const {
    if constexpr (kACopies == 1)
      return Broadcast(p + r);
    else
      return *reinterpret_cast<const VFloat*>(p + r * kACopies);
  }
  void Next() { p += Stride * kACopies; }
};

// Rows used in place: element (r, k) at p[r * ld + k].
struct RowSliver {
  const float* p;
  ptrdiff_t ld;
  VFloat Row(int r) const { return Broadcast(p + r * ld); }
  void Next() { p += 1; }
};

// An A block packed by PackA: slivers of Tile::kRows rows.
template <class Tile>
struct PackedA {
  typedef PackedSliver<Tile::kRows> Sliver;
  const float* p;
  ptrdiff_t depth;
  Sliver At(int32_t row) const { return Sliver{p + row * depth * kACopies}; }
};

// An A block used in place, row-major.
struct RowsA {
  typedef RowSliver Sliver;
  const float* p;
  ptrdiff_t ld;
  Sliver At(int32_t row) const { return Sliver{p + row * ld, ld}; }
};

// The B operand of TileMultiply. Packed (by PackB): the columns from j on form
// a sliver at p + j * depth with a row stride of its width rounded up to
// kLanes. In place: column j of row k at p[k * ld + j].
struct BPanel {
  const float* p;
  ptrdiff_t ld;
  bool packed;
};

// ---- the register tile --------------------------------------------------------

// Y[r][0 .. Vectors * kLanes) for r < Rows, from Y itself (accumulate) or zero,
// plus the products of `depth` steps of A and B. With Copy, each step's B
// vectors are also stored to `copy` (packed, Vectors * kLanes floats a step),
// so the first tile over B read in place packs it for the tiles after it.
template <int Rows, int Vectors, class Sliver, bool Copy = false>
__attribute__((noinline)) void MicroTile(Sliver a, const float* b, ptrdiff_t ldb, ptrdiff_t depth,
                                         float* y, ptrdiff_t ldy, bool accumulate,
                                         float* copy = nullptr) {
  VFloat acc[Rows][Vectors];
#pragma GCC unroll 6
  for (int r = 0; r < Rows; ++r)
#pragma GCC unroll 3
    for (int v = 0; v < Vectors; ++v)
      acc[r][v] = accumulate ? Load<VFloat>(y + r * ldy + v * kLanes) : VFloat{};
  for (ptrdiff_t k = 0; k < depth; ++k) {
    VFloat bv[Vectors];
#pragma GCC unroll 3
    for (int v = 0; v < Vectors; ++v) bv[v] = Load<VFloat>(b + v * kLanes);
    if constexpr (Copy) {
#pragma GCC unroll 3
      for (int v = 0; v < Vectors; ++v) Store(copy + v * kLanes, bv[v]);
      copy += Vectors * kLanes;
    }
#pragma GCC unroll 6
    for (int r = 0; r < Rows; ++r) {
      const VFloat av = a.Row(r);
#pragma GCC unroll 3
      for (int v = 0; v < Vectors; ++v) acc[r][v] = MulAdd(acc[r][v], av, bv[v]);
    }
    a.Next();
    b += ldb;
  }
#pragma GCC unroll 6
  for (int r = 0; r < Rows; ++r)
#pragma GCC unroll 3
    for (int v = 0; v < Vectors; ++v) Store(y + r * ldy + v * kLanes, acc[r][v]);
}

template <class Sliver>
using MicroTileFn = void (*)(Sliver, const float*, ptrdiff_t, ptrdiff_t, float*, ptrdiff_t, bool,
                             float*);

// The register tile for `rows` rows (1 .. Tile::kRows) and `vectors` vectors
// (1 .. Tile::kVectors).
template <class Tile, class Sliver, bool Copy = false, int R = Tile::kRows>
static inline MicroTileFn<Sliver> PickMicroTile(int rows, int vectors) {
  static_assert(Tile::kVectors <= 3);
  if constexpr (R > 1) {
    if (rows < R) return PickMicroTile<Tile, Sliver, Copy, R - 1>(rows, vectors);
  }
  if constexpr (Tile::kVectors >= 3) {
    if (vectors == 3) return &MicroTile<R, 3, Sliver, Copy>;
  }
  if constexpr (Tile::kVectors >= 2) {
    if (vectors == 2) return &MicroTile<R, 2, Sliver, Copy>;
  }
  return &MicroTile<R, 1, Sliver, Copy>;
}

// Y[r][j] = (accumulate ? Y[r][j] : 0) + sum over k < depth of A[r][k] * B[k][j],
// for r < rows and j < cols, the products added in increasing k. Columns are
// walked in slivers of Tile::kCols (B stays in L1 while the A slivers stream
// past it). A sliver whose width is not a whole number of vectors runs on a
// register-tile-sized buffer, so Y is never written beyond column cols.
//
// With `packInto`, B (in place, cols a whole number of vectors) is packed there
// as PackB would lay it out by the first row tile of each sliver, and the
// other row tiles read the packed copy.
template <class Tile, class ABlock>
static void TileMultiply(const ABlock& a, const BPanel& b, int32_t rows, int32_t cols,
                         ptrdiff_t depth, float* y, ptrdiff_t ldy, bool accumulate,
                         float* packInto = nullptr) {
  constexpr int R = Tile::kRows, C = Tile::kCols;
  typedef typename ABlock::Sliver Sliver;
  for (int32_t j = 0; j < cols; j += C) {
    const int32_t width = cols - j < C ? cols - j : C;
    const int vectors = (width + kLanes - 1) / kLanes;
    const float* bs = b.packed ? b.p + j * depth : b.p + j;
    ptrdiff_t ldb = b.packed ? vectors * kLanes : b.ld;
    const bool partial = width != vectors * kLanes;
    for (int32_t r = 0; r < rows; r += R) {
      const int m = rows - r < R ? rows - r : R;
      if (packInto && r == 0) {
        float* packed = packInto + j * depth;
        PickMicroTile<Tile, Sliver, true>(m, vectors)(a.At(r), bs, ldb, depth, y + j, ldy,
                                                      accumulate, packed);
        bs = packed, ldb = vectors * kLanes;
        continue;
      }
      const MicroTileFn<Sliver> tile = PickMicroTile<Tile, Sliver>(m, vectors);
      float* yt = y + r * ldy + j;
      // The next tile starts by reading its outputs: fetch them during this one.
      if (r + R < rows)
        for (int i = 0; i < R; ++i) {
          __builtin_prefetch(yt + (R + i) * ldy);
          __builtin_prefetch(yt + (R + i) * ldy + C - 1);
        }
      if (!partial) {
        tile(a.At(r), bs, ldb, depth, yt, ldy, accumulate, nullptr);
        continue;
      }
      alignas(64) float edge[R * C] = {};
      if (accumulate)
        for (int i = 0; i < m; ++i) __builtin_memcpy(edge + i * C, yt + i * ldy, width * 4u);
      tile(a.At(r), bs, ldb, depth, edge, C, accumulate, nullptr);
      for (int i = 0; i < m; ++i) __builtin_memcpy(yt + i * ldy, edge + i * C, width * 4u);
    }
  }
}

// ---- packing ---------------------------------------------------------------------

// Transposes kLanes x kLanes floats in place: v[i][j] becomes v[j][i].
static inline __attribute__((always_inline)) void Transpose(VFloat* v) {
#if defined(VORTA_VARIANT_AVX2)
  __m256 t[8], u[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_ps(__m256(v[i]), __m256(v[i + 1]));
    t[i + 1] = _mm256_unpackhi_ps(__m256(v[i]), __m256(v[i + 1]));
  }
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_shuffle_ps(t[i], t[i + 2], 0x44);
    u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], 0xee);
    u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0x44);
    u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0xee);
  }
  for (int i = 0; i < 4; ++i) {
    v[i] = VFloat(_mm256_permute2f128_ps(u[i], u[i + 4], 0x20));
    v[i + 4] = VFloat(_mm256_permute2f128_ps(u[i], u[i + 4], 0x31));
  }
#else
  __m128 a = __m128(v[0]), b = __m128(v[1]), c = __m128(v[2]), d = __m128(v[3]);
  _MM_TRANSPOSE4_PS(a, b, c, d);
  v[0] = VFloat(a), v[1] = VFloat(b), v[2] = VFloat(c), v[3] = VFloat(d);
#endif
}

// Packs rows x depth of A, element (r, k) at src[r * rowStep + k * depthStep],
// into slivers of Tile::kRows rows (PackedA), kACopies copies of each element.
// A short last sliver keeps the full sliver stride; its missing rows are never
// read. Nothing is written past the last sliver.
template <class Tile>
static void PackA(const float* src, ptrdiff_t rowStep, ptrdiff_t depthStep, int32_t rows,
                  int32_t depth, float* dst) {
  constexpr int R = Tile::kRows;
  // Lanes a transposed column store spills past its R rows.
  constexpr int kSpill = (kLanes - R % kLanes) % kLanes;
  static_assert(R <= 2 * kLanes && kSpill <= R);
  for (int32_t r0 = 0; r0 < rows; r0 += R, dst += R * ptrdiff_t(depth) * kACopies) {
    const int m = rows - r0 < R ? rows - r0 : R;
    const float* s = src + r0 * rowStep;
    // The spill of a sliver's last transposed step lands in the next sliver,
    // written afterwards; the last sliver keeps at least one step for the
    // element loop instead, so the spill never leaves the panel.
    const int32_t keep = kSpill > 0 && r0 + R >= rows ? 1 : 0;
    if constexpr (kACopies > 1) {
      for (int32_t k = 0; k < depth; ++k)
        for (int i = 0; i < m; ++i)
          Store(dst + (k * R + i) * kACopies, Splat<VFloat>(s[i * rowStep + k * depthStep]));
      continue;
    }
    int32_t k = 0;
    if (depthStep == 1 && m == R) {
      // Row-major A: kLanes steps of k at a time through register transposes.
      // Each step's column is stored whole; the lanes past row R land in the
      // next step's slot, which is written afterwards.
      constexpr int kBlocks = (R + kLanes - 1) / kLanes;
      for (; k + kLanes + keep <= depth; k += kLanes) {
        VFloat v[kBlocks][kLanes];
        for (int block = 0; block < kBlocks; ++block) {
          for (int i = 0; i < kLanes; ++i) {
            const int row = block * kLanes + i;
            v[block][i] = row < R ? Load<VFloat>(s + row * rowStep + k) : VFloat{};
          }
          Transpose(v[block]);
        }
        for (int i = 0; i < kLanes; ++i)
          for (int block = 0; block < kBlocks; ++block)
            Store(dst + (k + i) * R + block * kLanes, v[block][i]);
      }
    }
    if (rowStep == 1 && m == R) {
      // Stored transposed: each k already holds the sliver's rows contiguously.
      for (; k < depth; ++k) __builtin_memcpy(dst + k * R, s + k * depthStep, R * 4u);
    } else {
      for (; k < depth; ++k)
        for (int i = 0; i < m; ++i) dst[k * R + i] = s[i * rowStep + k * depthStep];
    }
  }
}

// Packs depth x cols of B, element (k, j) at src[k * depthStep + j * colStep],
// into slivers of Tile::kCols columns (BPanel packed), zero-padding the last
// sliver to whole vectors.
template <class Tile>
static void PackB(const float* src, ptrdiff_t depthStep, ptrdiff_t colStep, int32_t depth,
                  int32_t cols, float* dst) {
  constexpr int C = Tile::kCols;
  const int32_t whole = cols / C * C;
  if (colStep == 1) {
    // Row by row through B as stored, which the prefetchers follow best; each
    // row's pieces go to their slivers.
    for (int32_t k = 0; k < depth; ++k)
      for (int32_t j = 0; j < whole; j += C)
#pragma GCC unroll 3
        for (int v = 0; v < Tile::kVectors; ++v)
          Store(dst + j * ptrdiff_t(depth) + k * C + v * kLanes,
                Load<VFloat>(src + k * depthStep + j + v * kLanes));
  }
  for (int32_t j = colStep == 1 ? whole : 0; j < cols; j += C) {
    const int32_t width = cols - j < C ? cols - j : C;
    const int32_t padded = int32_t(RoundUp(width, kLanes));
    float* d = dst + j * ptrdiff_t(depth);
    const float* s = src + j * colStep;
    if (colStep == 1) {
      for (int32_t k = 0; k < depth; ++k) {
        __builtin_memcpy(d + k * padded, s + k * depthStep, width * 4u);
        for (int32_t i = width; i < padded; ++i) d[k * padded + i] = 0.0f;
      }
    } else if (width == C) {
      // Stored transposed: kLanes columns' runs of k at a time through
      // register transposes, then the rest of k column by column.
      int32_t k = 0;
      for (; k + kLanes <= depth; k += kLanes)
        for (int block = 0; block < Tile::kVectors; ++block) {
          VFloat v[kLanes];
          for (int i = 0; i < kLanes; ++i)
            v[i] = Load<VFloat>(s + (block * kLanes + i) * colStep + k * depthStep);
          Transpose(v);
          for (int i = 0; i < kLanes; ++i) Store(d + (k + i) * C + block * kLanes, v[i]);
        }
      for (; k < depth; ++k)
        for (int i = 0; i < C; ++i) d[k * C + i] = s[i * colStep + k * depthStep];
    } else {
      for (int32_t i = 0; i < width; ++i)
        for (int32_t k = 0; k < depth; ++k) d[k * padded + i] = s[i * colStep + k * depthStep];
      for (int32_t k = 0; k < depth; ++k)
        for (int32_t i = width; i < padded; ++i) d[k * padded + i] = 0.0f;
    }
  }
}

}  // namespace vorta::VORTA_NS
