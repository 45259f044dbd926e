// One table of every job kernel: how to build a random record the host's
// contract allows (with its buffers and their roles), how long the job is, and
// how closely the two variants must agree. The split-invariance, guard-page,
// variant-agreement and stress tests all run from it.
//
// Buffers are placed against inaccessible pages (mmap + mprotect), inputs
// read-only: a stray write or read outside a buffer stops the process with the
// kernel's name printed by the fault handler.
#pragma once
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/matmul_records.h"
#include "tests/variant_test.h"
#include "vorta/vorta.h"

namespace kcases {

// What a buffer holds: its element type decides how it is filled at random.
enum class Gen { F32, F32Unit, F32Positive, I32, I64, Half, U8, Bool };
enum class Role { In, Out, InOut };  // InOut: filled before the call, written by it

struct Buf {
  Role role;
  uint32_t at;  // offset of its address in the record
  Gen gen;
  std::vector<uint8_t> init;  // contents before the call (outputs: a fill pattern)
};

struct Case {
  std::vector<uint8_t> record;
  std::vector<Buf> bufs;
  int32_t length = 0;
  bool privateRecords = false;      // the kernel writes into its record
  std::vector<uint32_t> scratchAt;  // record offsets of scratch the kernel allocates
  std::string text;                 // the shape, for failure messages
};

// Float outputs of the two variants agree when |a - b| <= abs + rel * |a|
// (or both are NaN); every other output bit for bit.
struct Bound {
  double rel = 0, abs = 0;
};

struct Kernel {
  std::string name;
  const char* exportName;
  const char* family;
  std::function<Case(std::mt19937_64&, int32_t size)> make;  // size: about how many indices
  Bound bound;
};

// ---- filling --------------------------------------------------------------------

inline bool IsFloat(Gen g) { return g == Gen::F32 || g == Gen::F32Unit || g == Gen::F32Positive; }

inline size_t ElemSize(Gen g) {
  switch (g) {
    case Gen::I64: return 8;
    case Gen::Half: return 2;
    case Gen::U8:
    case Gen::Bool: return 1;
    default: return 4;
  }
}

inline uint32_t RandomInt(std::mt19937_64& rng) {
  static const uint32_t kSpecial[] = {0, 1, 0xffffffffu, 0x80000000u, 0x7fffffffu, 2, 31, 32};
  if (rng() % 6 == 0) return kSpecial[rng() % 8];
  return uint32_t(int32_t(rng()) >> (rng() % 32));
}

inline void Fill(Gen g, uint8_t* p, size_t count, std::mt19937_64& rng) {
  std::mt19937 r32{uint32_t(rng())};
  for (size_t i = 0; i < count; ++i) {
    switch (g) {
      case Gen::F32: {
        float f = vorta_test::RandomFloat(r32, true);
        if (rng() % 5 == 0) f = std::ldexp(f, int(rng() % 60) - 30);
        memcpy(p + 4 * i, &f, 4);
        break;
      }
      case Gen::F32Unit: {
        float f = vorta_test::RandomFloat(r32, false);
        memcpy(p + 4 * i, &f, 4);
        break;
      }
      case Gen::F32Positive: {
        float f = 0.05f + std::fabs(vorta_test::RandomFloat(r32, false));
        memcpy(p + 4 * i, &f, 4);
        break;
      }
      case Gen::I32: {
        uint32_t v = RandomInt(rng);
        memcpy(p + 4 * i, &v, 4);
        break;
      }
      case Gen::I64: {
        int64_t v = int64_t(rng()) >> (rng() % 64);
        memcpy(p + 8 * i, &v, 8);
        break;
      }
      case Gen::Half: {
        uint16_t v = uint16_t(rng());
        memcpy(p + 2 * i, &v, 2);
        break;
      }
      case Gen::U8: p[i] = uint8_t(rng()); break;
      case Gen::Bool: p[i] = rng() % 3 == 0 ? 0 : uint8_t(rng()); break;
    }
  }
}

inline Buf Input(uint32_t at, Gen g, size_t count, std::mt19937_64& rng) {
  Buf b{Role::In, at, g, std::vector<uint8_t>(count * ElemSize(g))};
  Fill(g, b.init.data(), count, rng);
  return b;
}
inline Buf Output(uint32_t at, Gen g, size_t count) {
  return Buf{Role::Out, at, g, std::vector<uint8_t>(count * ElemSize(g), 0xa5)};
}

template <class T>
void Put(std::vector<uint8_t>& record, size_t at, T v) {
  memcpy(record.data() + at, &v, sizeof v);
}

// ---- running ---------------------------------------------------------------------

// The kernel being run, for the fault handler.
inline std::atomic<const char*>& CurrentKernel() {
  static std::atomic<const char*> name{nullptr};
  return name;
}

inline void OnFault(int sig) {
  const char* name = CurrentKernel().load();
  const char head[] = "\n*** memory fault outside a buffer in kernel ";
  ssize_t ignored = write(2, head, sizeof head - 1);
  if (name) ignored = write(2, name, strlen(name));
  ignored = write(2, "\n", 1);
  (void)ignored;
  signal(sig, SIG_DFL);
  raise(sig);
}

inline void InstallFaultHandler() {
  static bool installed = [] {
    struct sigaction sa{};
    sa.sa_handler = OnFault;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);
    return true;
  }();
  (void)installed;
}

// A buffer between two inaccessible pages: its first byte right after the
// lower one (atStart) or its last byte right before the upper one.
class GuardedBuffer {
 public:
  GuardedBuffer(const std::vector<uint8_t>& init, bool atStart, bool readOnly) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t body = (init.size() + page - 1) / page * page;
    size_ = body + 2 * page;
    base_ = static_cast<uint8_t*>(
        mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base_ == MAP_FAILED) abort();
    if (body) mprotect(base_ + page, body, PROT_READ | PROT_WRITE);
    data_ = atStart ? base_ + page : base_ + page + body - init.size();
    if (!init.empty()) memcpy(data_, init.data(), init.size());
    if (readOnly && body) mprotect(base_ + page, body, PROT_READ);
  }
  ~GuardedBuffer() { munmap(base_, size_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  uint8_t* data() const { return data_; }

 private:
  uint8_t* base_;
  uint8_t* data_;
  size_t size_;
};

struct Result {
  std::vector<std::vector<uint8_t>> outputs;  // Out and InOut buffers, in table order
  std::vector<Gen> gens;
  bool recordKept = true;  // a shared record came back unchanged
};

// Runs the kernel on the case with every buffer guarded; releases the scratch
// the kernel took from the host (private records only).
inline Result Run(const Kernel& k, const Case& c, vorta::host::JobOptions opt, bool atStart) {
  InstallFaultHandler();
  std::vector<uint8_t> record = c.record;
  std::vector<std::unique_ptr<GuardedBuffer>> mem;
  for (const Buf& b : c.bufs) {
    mem.push_back(std::make_unique<GuardedBuffer>(b.init, atStart, b.role == Role::In));
    Put(record, b.at, mem.back()->data());
  }
  const std::vector<uint8_t> sent = record;
  opt.privateRecords = c.privateRecords;
  CurrentKernel().store(k.name.c_str());
  vorta::host::RunJob(vorta::host::LinkedJob(k.exportName), record.data(), record.size(),
                      c.length, opt);
  CurrentKernel().store(nullptr);
  if (c.privateRecords && !c.scratchAt.empty()) {
    for (const std::vector<uint8_t>& used : vorta::host::LastPrivateRecords())
      for (uint32_t at : c.scratchAt) {
        void* p;
        memcpy(&p, used.data() + at, sizeof p);
        if (p) vorta::host::service::Free(p, 2);
      }
  }
  Result r;
  r.recordKept = c.privateRecords || record == sent;
  for (size_t i = 0; i < c.bufs.size(); ++i) {
    if (c.bufs[i].role == Role::In) continue;
    const uint8_t* p = mem[i]->data();
    r.outputs.emplace_back(p, p + c.bufs[i].init.size());
    r.gens.push_back(c.bufs[i].gen);
  }
  return r;
}

// ---- record builders, one per record shape ---------------------------------------

inline int32_t Size(std::mt19937_64& rng, int32_t size) {
  return rng() % 8 == 0 ? int32_t(rng() % 4) : 1 + int32_t(rng() % uint64_t(size));
}

// The span loop record (length and two parameters) or its clip variant.
inline auto Span(Gen in, Gen out, Gen params = Gen::F32Unit, bool clip = false) {
  return [=](std::mt19937_64& rng, int32_t size) {
    Case c;
    c.length = Size(rng, size);
    c.record.assign(clip ? sizeof(VortaClipInt32Job) : sizeof(VortaUnaryMapJob), 0x5c);
    Put(c.record, 16, c.length);
    std::vector<uint8_t> p(8);
    Fill(params == Gen::I32 ? Gen::I32 : Gen::F32Unit, p.data(), 2, rng);
    if (params == Gen::F32Positive) Fill(Gen::F32Positive, p.data(), 2, rng);
    if (clip) {
      int32_t lo = int32_t(rng()) >> (rng() % 32), hi = int32_t(rng()) >> (rng() % 32);
      if (rng() % 4 != 0 && lo > hi) std::swap(lo, hi);
      Put(c.record, 32, lo), Put(c.record, 36, hi);
    } else {
      memcpy(c.record.data() + 20, p.data(), 8);
    }
    c.bufs = {Input(0, in, size_t(c.length), rng), Output(8, out, size_t(c.length))};
    c.text = "length " + std::to_string(c.length);
    return c;
  };
}

// Input and output addresses only (the job index is the element index); the
// quantiser adds a scale and zero point.
inline auto Direct(Gen in, Gen out, bool quantize = false) {
  return [=](std::mt19937_64& rng, int32_t size) {
    Case c;
    c.length = Size(rng, size);
    c.record.assign(quantize ? sizeof(VortaQuantizeJob) : sizeof(VortaDirectMapJob), 0);
    if (quantize) {
      Put(c.record, 16, 0.01f + float(rng() % 1000) / 400.0f);
      Put(c.record, 20, int32_t(rng() % 300) - 20);
    }
    c.bufs = {Input(0, in, size_t(c.length), rng), Output(8, out, size_t(c.length))};
    c.text = "length " + std::to_string(c.length);
    return c;
  };
}

// The in-place pass: one array, read and written.
inline Case InPlace(std::mt19937_64& rng, int32_t size) {
  Case c;
  c.length = Size(rng, size);
  c.record.assign(8, 0);
  Buf b = Input(0, Gen::I32, size_t(c.length), rng);
  b.role = Role::InOut;
  c.bufs = {b};
  c.text = "length " + std::to_string(c.length);
  return c;
}

// One input's odometer over an output shape (outermost first): digits
// innermost first, step 0 where the input is broadcast.
inline void Odometer(const std::vector<int32_t>& out, const std::vector<bool>& full,
                     bool unitFirst, int32_t* dims, int32_t* steps, int32_t* rank) {
  std::vector<int32_t> d, s;
  if (unitFirst) d.push_back(1), s.push_back(0);
  int32_t natural = 1;
  for (size_t k = out.size(); k-- > 0;) {
    d.push_back(out[k]);
    s.push_back(full[k] ? natural : 0);
    if (full[k]) natural *= out[k];
  }
  for (int k = 0; k < 8; ++k) dims[k] = steps[k] = 0x5a5a5a5a;
  for (size_t k = 0; k < d.size(); ++k) {
    dims[k] = d[k];
    steps[k] = k == 0 ? s[0] : s[k] - d[k - 1] * s[k - 1];
  }
  *rank = int32_t(d.size());
}

inline size_t Elements(const std::vector<int32_t>& out, const std::vector<bool>& full) {
  size_t n = 1;
  for (size_t k = 0; k < out.size(); ++k) n *= full[k] ? size_t(out[k]) : 1;
  return n;
}

// Two broadcast inputs into an output of rank 1 to 4; the weighted sum has
// alpha and beta before the layout.
inline auto Broadcast(Gen a, Gen b, Gen out, bool weighted = false) {
  return [=](std::mt19937_64& rng, int32_t size) {
    Case c;
    std::vector<int32_t> shape;
    size_t count;
    do {
      shape.assign(1 + rng() % 4, 1);
      for (int32_t& d : shape) d = 1 + int32_t(rng() % (rng() % 3 == 0 ? 30 : 6));
      count = 1;
      for (int32_t d : shape) count *= size_t(d);
    } while (count > size_t(std::max(size, 1)) * 2);
    std::vector<bool> fa(shape.size(), true), fb(shape.size(), true);
    for (size_t k = 0; k < shape.size(); ++k) {
      if (rng() % 3 == 0) fa[k] = false;
      if (rng() % 3 == 0) fb[k] = false;
    }
    const uint32_t layoutAt = weighted ? 32 : 24;
    c.record.assign(layoutAt + sizeof(VortaBroadcastLayout), 0);
    VortaBroadcastLayout layout;
    memset(&layout, 0, sizeof layout);
    const bool fixedRun = !fa.back() && !fb.back() && shape.back() > 1;
    Odometer(shape, fa, fixedRun, layout.dimsA, layout.stepsA, &layout.rankA);
    Odometer(shape, fb, false, layout.dimsB, layout.stepsB, &layout.rankB);
    layout.unused = 0x13579bdf;
    memcpy(c.record.data() + layoutAt, &layout, sizeof layout);
    if (weighted) {
      std::vector<uint8_t> ab(8);
      Fill(Gen::F32Unit, ab.data(), 2, rng);
      memcpy(c.record.data() + 24, ab.data(), 8);
    }
    c.length = int32_t(count);
    c.bufs = {Input(0, a, Elements(shape, fa), rng), Input(8, b, Elements(shape, fb), rng),
              Output(16, out, count)};
    c.text = "output of " + std::to_string(count) + " rank " + std::to_string(shape.size());
    return c;
  };
}

// [outer][N][S] reduced over N; the mean members also write 1/N into the record.
inline auto Axis(Gen in, Gen out, bool mean) {
  return [=](std::mt19937_64& rng, int32_t size) {
    Case c;
    const int32_t n = 1 + int32_t(rng() % 40), s = 1 + int32_t(rng() % (rng() % 2 ? 1 : 9));
    const int32_t outer = std::max<int32_t>(0, Size(rng, size) / (s * 2 + n / 8));
    c.record.assign(mean ? sizeof(VortaAxisMeanJob) : sizeof(VortaAxisReduceJob), 0);
    Put(c.record, 16, n), Put(c.record, 20, s);
    c.privateRecords = mean;
    c.length = outer * s;
    c.bufs = {Input(0, in, size_t(outer) * n * s, rng), Output(8, out, size_t(c.length))};
    c.text = "outer " + std::to_string(outer) + " N " + std::to_string(n) + " S " +
             std::to_string(s);
    return c;
  };
}

// One product, possibly transposed, padded or accumulating; the kernel takes its
// panels from the host.
inline Case MatMul(std::mt19937_64& rng, int32_t size) {
  Case c;
  vorta::MatMulJob j;
  memset(&j, 0, sizeof j);
  for (int i = 0; i < 8; ++i) j.aBatchSize[i] = j.bBatchSize[i] = 1;
  j.M = 1 + int32_t(rng() % 40), j.N = 1 + int32_t(rng() % 40), j.K = int32_t(rng() % 50);
  if (size < 64) j.M = std::min(j.M, 5), j.N = std::min(j.N, 7);
  j.transA = rng() % 2, j.transB = rng() % 2, j.accumulate = rng() % 2;
  j.lda = (j.transA ? j.M : j.K) + int32_t(rng() % 3);
  j.ldb = (j.transB ? j.K : j.N) + int32_t(rng() % 3);
  j.ldc = j.N + int32_t(rng() % 3);
  j.tileM = 1 + int32_t(rng() % 16), j.tileN = 1 + int32_t(rng() % 16), j.tileK = 5;
  j.tilesPerMatrix = j.M < j.N ? (j.N + j.tileN - 1) / j.tileN : (j.M + j.tileM - 1) / j.tileM;
  c.record.resize(sizeof j);
  memcpy(c.record.data(), &j, sizeof j);
  c.length = j.tilesPerMatrix;
  c.privateRecords = true;
  c.scratchAt = {224, 232, 240};
  const size_t aRows = j.transA ? j.K : j.M, bRows = j.transB ? j.N : j.K;
  // Each stored row is lda long except the last, which needs only the used part.
  auto extent = [](size_t rows, int32_t ld, int32_t used) {
    return rows ? (rows - 1) * size_t(ld) + size_t(used) : 0;
  };
  Buf out = Input(168, Gen::F32Unit, extent(size_t(j.M), j.ldc, j.N), rng);
  out.role = Role::InOut;
  c.bufs = {Input(152, Gen::F32Unit, extent(aRows, j.lda, j.transA ? j.M : j.K), rng),
            Input(160, Gen::F32Unit, extent(bRows, j.ldb, j.transB ? j.K : j.N), rng), out};
  c.text = "M " + std::to_string(j.M) + " N " + std::to_string(j.N) + " K " +
           std::to_string(j.K) + " trans " + std::to_string(j.transA) +
           std::to_string(j.transB) + " acc " + std::to_string(j.accumulate);
  return c;
}

// A two-dimensional grouped convolution, strided, padded and dilated at random.
inline Case Conv(std::mt19937_64& rng, int32_t size) {
  Case c;
  vorta::ConvJob j;
  memset(&j, 0, sizeof j);
  const int32_t images = 1 + int32_t(rng() % 2), groups = 1 + int32_t(rng() % 2);
  j.groups = groups;
  j.inChannels = 1 + int32_t(rng() % 4);
  j.outChannels = 1 + int32_t(rng() % (size < 64 ? 3 : 70));
  j.spatialRank = 2;
  int32_t outSize[2];
  for (int a = 0; a < 2; ++a) {
    j.kernel[a] = 1 + int32_t(rng() % 3);
    j.stride[a] = 1 + int32_t(rng() % 2);
    j.dilation[a] = 1 + int32_t(rng() % 2);
    j.padBegin[a] = int32_t(rng() % 2);
    const int32_t padEnd = int32_t(rng() % 2);
    const int32_t span = j.dilation[a] * (j.kernel[a] - 1) + 1;
    j.inSize[a] = span + int32_t(rng() % (size < 64 ? 4 : 14));
    outSize[a] = (j.inSize[a] + j.padBegin[a] + padEnd - span) / j.stride[a] + 1;
    j.outSize[a] = outSize[a];
  }
  j.inSize[2] = j.kernel[2] = j.outSize[2] = j.stride[2] = j.dilation[2] = 1;
  j.inPlane = j.inSize[0] * j.inSize[1];
  j.kernelSize = j.kernel[0] * j.kernel[1];
  j.outSpatial = outSize[0] * outSize[1];
  j.hasBias = rng() % 2;
  j.minValue = rng() % 2 ? -std::numeric_limits<float>::infinity() : 0.0f;
  j.tilesPerImage = j.outChannels < j.outSpatial
                        ? (j.outSpatial + vorta::kConvTilePositions - 1) / vorta::kConvTilePositions
                        : (j.outChannels + vorta::kConvTileChannels - 1) / vorta::kConvTileChannels;
  c.record.resize(sizeof j);
  memcpy(c.record.data(), &j, sizeof j);
  c.length = images * groups * j.tilesPerImage;
  c.privateRecords = true;
  c.scratchAt = {168};
  const size_t inC = size_t(groups) * j.inChannels, outC = size_t(groups) * j.outChannels;
  c.bufs = {Input(0, Gen::F32Unit, images * inC * j.inPlane, rng),
            Output(8, Gen::F32, images * outC * j.outSpatial),
            Input(16, Gen::F32Unit, outC, rng),
            Input(24, Gen::F32Unit, outC * j.inChannels * j.kernelSize, rng)};
  c.text = "images " + std::to_string(images) + " groups " + std::to_string(groups) + " in " +
           std::to_string(j.inChannels) + " out " + std::to_string(j.outChannels) + " spatial " +
           std::to_string(j.outSpatial);
  return c;
}

// ---- the table ----------------------------------------------------------------------

inline const std::vector<Kernel>& Kernels() {
  static const std::vector<Kernel> table = [] {
    using G = Gen;
    constexpr double kEps = 0x1p-24;
    const Bound exact{};
    // Sleef's vector forms: the SSE2 and AVX2 code paths differ in fused steps.
    const Bound transcendental{8 * kEps, 1e-37};
    // Regrouped sums of up to 40 terms in [-1, 1]: 2 N eps times the sum of magnitudes.
    const Bound regrouped{80 * kEps, 80 * 40 * kEps};
    std::vector<Kernel> k = {
#define SPAN(name, in, out, ...) {#name, VORTA_EXPORT_MAPS_##name, "maps", Span(G::in, G::out, ##__VA_ARGS__), exact}
        SPAN(ABS_INT32, I32, I32), SPAN(NEGATE_INT32, I32, I32), SPAN(SIGN_INT32, I32, I32),
        SPAN(LOGICAL_NOT_INT32, I32, I32), SPAN(SQUARE_INT32, I32, I32),
        SPAN(CAST_INT32_TO_FLOAT, I32, F32), SPAN(CAST_FLOAT_TO_INT32, F32, I32),
        SPAN(SQUARE_FLOAT, F32, F32), SPAN(SQRT_FLOAT, F32, F32),
        SPAN(RECIPROCAL_FLOAT, F32, F32), SPAN(CEIL_FLOAT, F32, F32),
        SPAN(FLOOR_FLOAT, F32, F32), SPAN(ROUND_FLOAT, F32, F32), SPAN(RELU, F32, F32),
        SPAN(RELU6, F32, F32), SPAN(SOFT_SIGN, F32, F32), SPAN(HARD_SWISH, F32, F32),
        SPAN(TWO_SLOPE, F32, F32), SPAN(THRESHOLDED_RELU, F32, F32), SPAN(AFFINE, F32, F32),
        SPAN(CLIP_FLOAT, F32, F32), SPAN(IS_NAN, F32, I32),
        SPAN(CLIP_INT32, I32, I32, G::I32, true),
#undef SPAN
#define DIRECT(name, in, out, ...) {#name, VORTA_EXPORT_MAPS_##name, "maps", Direct(G::in, G::out, ##__VA_ARGS__), exact}
        DIRECT(CAST_HALF_TO_FLOAT, Half, F32), DIRECT(CAST_FLOAT_TO_HALF, F32, Half),
        DIRECT(CAST_INT64_TO_INT32, I64, I32), DIRECT(CAST_UINT8_TO_INT32, U8, I32),
        DIRECT(CAST_INT8_TO_INT32, U8, I32), DIRECT(CAST_BOOL_TO_INT32, Bool, I32),
        DIRECT(BIT_REMAP_INT32, I32, I32), DIRECT(QUANTIZE_UINT8, F32, U8, true),
#undef DIRECT
        {"IN_PLACE_PASS", VORTA_EXPORT_MAPS_IN_PLACE_PASS, "maps", InPlace, exact},
#define TRANS(name, ...) {#name, VORTA_EXPORT_TRANSCENDENTAL_##name, "transcendental", Span(G::F32, G::F32, ##__VA_ARGS__), transcendental}
        TRANS(EXP), TRANS(LOG), TRANS(SINH), TRANS(COSH), TRANS(TANH), TRANS(ASINH),
        TRANS(ACOSH), TRANS(ATANH), TRANS(SIGMOID), TRANS(SWISH), TRANS(SOFTPLUS),
        TRANS(ELU, G::F32Positive), TRANS(CELU, G::F32Positive), TRANS(ERF), TRANS(GELU_TANH),
        TRANS(ACOS), TRANS(COS), TRANS(SIN), TRANS(TAN),
#undef TRANS
#define BCAST(name, a, b, out, ...) {#name, VORTA_EXPORT_BROADCAST_##name, "broadcast", Broadcast(G::a, G::b, G::out, ##__VA_ARGS__), exact}
#define BINT(name) BCAST(name, I32, I32, I32)
#define BFLT(name) BCAST(name, F32, F32, F32)
        BINT(ADD_INT32), BINT(SUBTRACT_INT32), BINT(MULTIPLY_INT32), BINT(DIVIDE_INT32),
        BINT(REMAINDER_INT32), BINT(MODULO_INT32), BINT(MIN_INT32), BINT(MAX_INT32),
        BINT(AND_INT32), BINT(OR_INT32), BINT(XOR_INT32), BINT(EQUAL_INT32), BINT(LESS_INT32),
        BINT(LESS_EQUAL_INT32), BINT(GREATER_INT32), BINT(GREATER_EQUAL_INT32),
        BFLT(ADD_FLOAT), BFLT(SUBTRACT_FLOAT), BFLT(MULTIPLY_FLOAT), BFLT(DIVIDE_FLOAT),
        BFLT(REMAINDER_FLOAT), BFLT(MODULO_FLOAT), BFLT(MIN_FLOAT), BFLT(MAX_FLOAT),
        BFLT(PRELU), BCAST(EQUAL_FLOAT, F32, F32, I32), BCAST(LESS_FLOAT, F32, F32, I32),
        BCAST(LESS_EQUAL_FLOAT, F32, F32, I32), BCAST(GREATER_FLOAT, F32, F32, I32),
        BCAST(GREATER_EQUAL_FLOAT, F32, F32, I32), BCAST(WEIGHTED_SUM, F32, F32, F32, true),
#undef BINT
#undef BFLT
        // The powers: AVX2 may fuse inside the exponential and logarithm.
        {"POW", VORTA_EXPORT_BROADCAST_POW, "broadcast", Broadcast(G::F32, G::F32, G::F32),
         {2 * kEps, 1e-37}},
        {"POW_INT", VORTA_EXPORT_BROADCAST_POW_INT, "broadcast",
         Broadcast(G::F32, G::I32, G::F32), {2 * kEps, 1e-37}},
#undef BCAST
#define AXIS(name, in, out, mean, bound) {#name, VORTA_EXPORT_REDUCTIONS_##name, "reductions", Axis(G::in, G::out, mean), bound}
        AXIS(SUM_INT32, I32, I32, false, exact), AXIS(PRODUCT_INT32, I32, I32, false, exact),
        AXIS(MIN_INT32, I32, I32, false, exact), AXIS(MAX_INT32, I32, I32, false, exact),
        AXIS(SUM_SQUARE_INT32, I32, I32, false, exact), AXIS(L1_INT32, I32, I32, false, exact),
        AXIS(MIN_FLOAT, F32, F32, false, exact), AXIS(MAX_FLOAT, F32, F32, false, exact),
        AXIS(SUM_FLOAT, F32Unit, F32, false, regrouped),
        AXIS(PRODUCT_FLOAT, F32Unit, F32, false, regrouped),
        AXIS(MEAN_FLOAT, F32Unit, F32, true, regrouped),
        AXIS(MEAN_SQUARE_FLOAT, F32Unit, F32, true, regrouped),
        AXIS(SUM_SQUARE_FLOAT, F32Unit, F32, false, regrouped),
        AXIS(L1_FLOAT, F32Unit, F32, false, regrouped),
        AXIS(L2_FLOAT, F32Unit, F32, false, regrouped),
        AXIS(SQRT_SUM_FLOAT, F32Positive, F32, false, regrouped),
        AXIS(LOG_SUM_FLOAT, F32Positive, F32, false, regrouped),
        AXIS(LOG_SUM_EXP_FLOAT, F32Unit, F32, false, regrouped),
#undef AXIS
        // Dot products of up to 50 terms in [-1, 1], regrouped and fused by AVX2.
        {"MATMUL_FLOAT", VORTA_EXPORT_MATMUL_FLOAT, "matmul", MatMul, {0, 2 * 51 * 51 * kEps}},
        {"CONV_FLOAT", VORTA_EXPORT_CONV_FLOAT, "matmul", Conv, {0, 2 * 37 * 37 * kEps}},
    };
    for (Kernel& kernel : k) kernel.name = std::string(kernel.family) + "_" + kernel.name;
    return k;
  }();
  return table;
}

// The same outputs: bit for bit, except that a float NaN matches any NaN (the
// library fixes no NaN sign or payload; the scalar tail and the vector blocks
// may give NaNs of different signs). NaN-only differences are counted.
inline bool SameOutputs(const Result& a, const Result& b, int64_t* nanOnly = nullptr) {
  if (a.outputs.size() != b.outputs.size()) return false;
  for (size_t o = 0; o < a.outputs.size(); ++o) {
    if (a.outputs[o] == b.outputs[o]) continue;
    if (!IsFloat(a.gens[o]) || a.outputs[o].size() != b.outputs[o].size()) return false;
    for (size_t i = 0; i < a.outputs[o].size(); i += 4) {
      if (memcmp(&a.outputs[o][i], &b.outputs[o][i], 4) == 0) continue;
      float x, y;
      memcpy(&x, &a.outputs[o][i], 4), memcpy(&y, &b.outputs[o][i], 4);
      if (!std::isnan(x) || !std::isnan(y)) return false;
      if (nanOnly) ++*nanOnly;
    }
  }
  return true;
}

// Where two runs' outputs first differ, for failure messages.
inline std::string FirstDifference(const Result& a, const Result& b) {
  for (size_t o = 0; o < a.outputs.size(); ++o) {
    const size_t width = ElemSize(a.gens[o]);
    for (size_t i = 0; i < a.outputs[o].size(); i += width) {
      if (memcmp(&a.outputs[o][i], &b.outputs[o][i], width) == 0) continue;
      if (IsFloat(a.gens[o])) {
        float x, y;
        memcpy(&x, &a.outputs[o][i], 4), memcpy(&y, &b.outputs[o][i], 4);
        if (std::isnan(x) && std::isnan(y)) continue;
      }
      uint64_t x = 0, y = 0;
      memcpy(&x, &a.outputs[o][i], width), memcpy(&y, &b.outputs[o][i], width);
      char text[120];
      snprintf(text, sizeof text, "output %zu element %zu: %#llx against %#llx", o, i / width,
               static_cast<unsigned long long>(x), static_cast<unsigned long long>(y));
      return text;
    }
  }
  return "no difference";
}

inline std::string KernelName(const ::testing::TestParamInfo<size_t>& info) {
  return Kernels()[info.param].name;
}

}  // namespace kcases
