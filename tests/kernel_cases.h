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
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"
#include "tensor/matmul_records.h"
#include "tests/scene_frame.h"
#include "tests/variant_test.h"
#include "vorta/vorta.h"

namespace kcases {

// What a buffer holds: its element type decides how it is filled at random.
enum class Gen { F32, F32Unit, F32Positive, I32, I64, Half, U8, Bool };
// InOut: filled before the call, written by it; Scratch: written, not compared.
enum class Role { In, Out, InOut, Scratch };

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
  std::vector<uint8_t> additional;  // the job's additional record, if it takes one
  std::shared_ptr<void> host;       // host state the case refers to (a scene, say)
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
// The same on raw memory (host blocks, guarded buffers), and the reverse.
template <class T>
void Set(void* base, size_t at, T v) {
  memcpy(static_cast<uint8_t*>(base) + at, &v, sizeof v);
}
template <class T>
T Get(const void* base, size_t at) {
  T v;
  memcpy(&v, static_cast<const uint8_t*>(base) + at, sizeof v);
  return v;
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

// Runs the kernel on the case with every buffer guarded, and every block the
// kernel takes from the host too; releases the scratch it took (private
// records only).
inline Result Run(const Kernel& k, const Case& c, vorta::host::JobOptions opt, bool atStart) {
  InstallFaultHandler();
  vorta::host::SetGuardedAllocations(true);
  std::vector<uint8_t> record = c.record;
  std::vector<std::unique_ptr<GuardedBuffer>> mem;
  for (const Buf& b : c.bufs) {
    mem.push_back(std::make_unique<GuardedBuffer>(b.init, atStart, b.role == Role::In));
    Put(record, b.at, mem.back()->data());
  }
  const std::vector<uint8_t> sent = record;
  opt.privateRecords = c.privateRecords;
  CurrentKernel().store(k.name.c_str());
  std::vector<uint8_t> additional = c.additional;
  vorta::host::RunJob(vorta::host::LinkedJob(k.exportName), record.data(), record.size(),
                      c.length, opt, additional.empty() ? nullptr : additional.data());
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
    if (c.bufs[i].role == Role::In || c.bufs[i].role == Role::Scratch) continue;
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

// A record of `bytes` bytes filled with a pattern the kernel must not read.
inline Case Blank(size_t bytes, int32_t length) {
  Case c;
  c.record.assign(bytes, 0x5c);
  c.length = length;
  c.text = "length " + std::to_string(length);
  return c;
}

// The span record with its two parameters at 20 and 28 (the scaled exponential
// linear unit), or the int32 affine map's at 32 and 36.
inline auto SpanWide(Gen in, Gen out, uint32_t p0, uint32_t p1, size_t bytes) {
  return [=](std::mt19937_64& rng, int32_t size) {
    Case c = Blank(bytes, Size(rng, size));
    Put(c.record, 16, c.length);
    std::vector<uint8_t> p(8);
    Fill(in == Gen::I32 ? Gen::I32 : Gen::F32Positive, p.data(), 2, rng);
    memcpy(c.record.data() + p0, p.data(), 4);
    memcpy(c.record.data() + p1, p.data() + 4, 4);
    c.bufs = {Input(0, in, size_t(c.length), rng), Output(8, out, size_t(c.length))};
    return c;
  };
}

// Direct-loop records with parameters after the two addresses.
inline auto DirectWith(Gen in, Gen out, size_t bytes, uint32_t outAt,
                       std::function<void(Case&, std::mt19937_64&)> params) {
  return [=](std::mt19937_64& rng, int32_t size) {
    Case c = Blank(bytes, Size(rng, size));
    params(c, rng);
    c.bufs = {Input(0, in, size_t(c.length), rng), Output(outAt, out, size_t(c.length))};
    return c;
  };
}

// Axis jobs over [outer][N][S]: one output per line (arg reductions), or one
// per element (softmax, hardmax, cumulative sums with their flags at 24).
enum class AxisOut { Line, Element, CumSum };
inline auto AxisJob(Gen in, Gen out, AxisOut shape) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int32_t n = 1 + int32_t(rng() % 40), s = 1 + int32_t(rng() % (rng() % 2 ? 1 : 9));
    const int32_t outer = std::max<int32_t>(0, Size(rng, size) / (s * 2 + n / 8));
    Case c = Blank(shape == AxisOut::CumSum ? sizeof(VortaCumulativeSumJob) : sizeof(VortaAxisReduceJob),
                   outer * s);
    Put(c.record, 16, n), Put(c.record, 20, s);
    if (shape == AxisOut::CumSum) Put(c.record, 24, uint8_t(rng() % 2)), Put(c.record, 25, uint8_t(rng() % 2));
    const size_t elements = size_t(outer) * n * s;
    c.bufs = {Input(0, in, elements, rng),
              Output(8, out, shape == AxisOut::Line ? size_t(c.length) : elements)};
    c.text = "outer " + std::to_string(outer) + " N " + std::to_string(n) + " S " + std::to_string(s);
    return c;
  };
}

// Row statistics and the normalisation tails, `rows` jobs of d elements.
enum class RowJob { Stats, Layer, Rms };
inline auto Rows(RowJob kind) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int32_t d = int32_t(rng() % 40) + (kind == RowJob::Stats ? 0 : 1);
    const int32_t rows = Size(rng, std::max(1, size / 8));
    const size_t n = size_t(rows) * d;
    if (kind == RowJob::Stats) {
      Case c = Blank(sizeof(VortaRowStatsJob), rows);
      Put(c.record, 16, d);
      c.bufs = {Input(0, Gen::F32Unit, n, rng), Output(8, Gen::F32, 2 * size_t(rows))};
      return c;
    }
    Case c = Blank(kind == RowJob::Layer ? sizeof(VortaLayerNormJob) : sizeof(VortaRmsNormJob), rows);
    Put(c.record, 0, 1e-5f), Put(c.record, 4, d);
    c.bufs = {Input(16, Gen::F32Unit, n, rng), Input(24, Gen::F32Unit, size_t(d), rng)};
    if (kind == RowJob::Layer) {
      std::vector<uint8_t> stats(8 * size_t(rows));
      Fill(Gen::F32Positive, stats.data(), 2 * size_t(rows), rng);
      c.bufs.push_back(Input(32, Gen::F32Unit, size_t(d), rng));
      c.bufs.push_back(Buf{Role::In, 40, Gen::F32Positive, stats});
      c.bufs.push_back(Output(48, Gen::F32, n));
    } else {
      c.bufs.push_back(Input(32, Gen::F32Positive, size_t(rows), rng));
      c.bufs.push_back(Output(40, Gen::F32, n));
    }
    return c;
  };
}

// Per-channel jobs over [outer][K][I], one index per element.
inline auto Channels(bool batchNorm) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int32_t k = 1 + int32_t(rng() % 6), i = 1 + int32_t(rng() % 9);
    const int32_t outer = Size(rng, std::max(1, size / (k * i)));
    const int32_t count = outer * k * i;
    Case c = Blank(batchNorm ? sizeof(VortaBatchNormJob) : sizeof(VortaChannelAffineJob), count);
    const uint32_t first = batchNorm ? 16 : 8;
    if (batchNorm) Put(c.record, 0, 1e-3f), Put(c.record, 4, k), Put(c.record, 8, i);
    else Put(c.record, 0, k), Put(c.record, 4, i);
    c.bufs = {Input(first, Gen::F32, size_t(count), rng), Input(first + 8, Gen::F32Unit, size_t(k), rng),
              Input(first + 16, Gen::F32Unit, size_t(k), rng)};
    if (batchNorm) {
      c.bufs.push_back(Input(first + 24, Gen::F32Unit, size_t(k), rng));
      c.bufs.push_back(Input(first + 32, Gen::F32Positive, size_t(k), rng));
    }
    c.bufs.push_back(Output(first + (batchNorm ? 40 : 24), Gen::F32, size_t(count)));
    return c;
  };
}

// Categorical sampling: rows of class probabilities, one uniform per sample.
inline Case Categorical(std::mt19937_64& rng, int32_t size) {
  const int32_t per = 1 + int32_t(rng() % 9), classes = int32_t(rng() % 7);
  const int32_t rows = Size(rng, std::max(1, size / per));
  Case c = Blank(sizeof(VortaCategoricalSampleJob), rows * per);
  Put(c.record, 24, per), Put(c.record, 28, classes);
  Buf uniforms = Input(8, Gen::F32Unit, size_t(c.length), rng);
  for (size_t i = 0; i < uniforms.init.size(); i += 4) {
    float u;
    memcpy(&u, &uniforms.init[i], 4);
    u = std::fabs(u);
    memcpy(&uniforms.init[i], &u, 4);
  }
  c.bufs = {Input(0, Gen::F32Positive, size_t(rows) * classes, rng), uniforms,
            Output(16, Gen::I32, size_t(c.length))};
  return c;
}

// Row copies between two strided row layouts, one index per row.
inline Case RowCopy(std::mt19937_64& rng, int32_t size) {
  const int32_t count = int32_t(rng() % 12), rows = Size(rng, std::max(1, size / 6));
  const int32_t srcStride = count + int32_t(rng() % 4), dstStride = count + int32_t(rng() % 4);
  const int32_t srcOffset = int32_t(rng() % 3), dstOffset = int32_t(rng() % 3);
  Case c = Blank(sizeof(VortaStridedRowCopyJob), rows);
  Put(c.record, 16, srcStride), Put(c.record, 20, dstStride), Put(c.record, 24, srcOffset);
  Put(c.record, 28, dstOffset), Put(c.record, 32, count);
  auto extent = [&](int32_t stride, int32_t offset) {
    return rows ? size_t(offset) + size_t(rows - 1) * stride + count : 0;
  };
  c.bufs = {Input(0, Gen::I32, extent(srcStride, srcOffset), rng),
            Output(8, Gen::I32, extent(dstStride, dstOffset))};
  return c;
}

// Lower or upper triangles of square-ish matrices, one index per row.
inline Case Triangle(std::mt19937_64& rng, int32_t size) {
  const int32_t len = 1 + int32_t(rng() % 12), perMatrix = 1 + int32_t(rng() % 6);
  const int32_t rows = Size(rng, std::max(1, size / 6));
  Case c = Blank(sizeof(VortaTriangleJob), rows);
  Put(c.record, 16, len), Put(c.record, 20, perMatrix), Put(c.record, 24, int32_t(rng() % 9) - 4);
  c.bufs = {Input(0, Gen::I32, size_t(rows) * len, rng), Output(8, Gen::I32, size_t(rows) * len)};
  return c;
}

// Slices along an axis picked by indices, some negative, some outside even after the wrap.
inline Case GatherAxis(std::mt19937_64& rng, int32_t size) {
  const int32_t axis = 1 + int32_t(rng() % 9), inner = 1 + int32_t(rng() % 20), count = 1 + int32_t(rng() % 12);
  const int32_t outer = Size(rng, std::max(1, size / (count * inner)));
  Case c = Blank(sizeof(VortaGatherAxisJob), outer * count * inner);
  Put(c.record, 24, axis), Put(c.record, 28, inner), Put(c.record, 32, count);
  Buf idx = Input(8, Gen::I32, size_t(count), rng);
  for (size_t j = 0; j < size_t(count); ++j) Put(idx.init, 4 * j, int32_t(rng() % (3 * axis)) - 2 * axis + 1);
  c.bufs = {Input(0, Gen::I32, size_t(outer) * axis * inner, rng), idx,
            Output(16, Gen::I32, size_t(c.length))};
  return c;
}

// Expand or tile: right-aligned shapes, the input digit the output digit modulo its extent.
inline Case BroadcastCopy(std::mt19937_64& rng, int32_t size) {
  const int32_t rank = 1 + int32_t(rng() % 4);
  std::vector<int32_t> out(rank), in(rank);
  size_t count;
  do {
    count = 1;
    for (int k = 0; k < rank; ++k) {
      out[k] = 1 + int32_t(rng() % 7);
      in[k] = rng() % 3 == 0 ? 1 : rng() % 2 ? out[k] : 1 + int32_t(rng() % out[k]);
      count *= size_t(out[k]);
    }
  } while (count > size_t(std::max(size, 1)) * 2);
  Case c = Blank(sizeof(VortaBroadcastJob), int32_t(count));
  Put(c.record, 0, rank);
  int32_t outStride = 1, inStride = 1;
  for (int k = rank; k-- > 0;) {
    const size_t slot = size_t(8 - rank + k);
    Put(c.record, 4 + 4 * slot, out[k]), Put(c.record, 36 + 4 * slot, outStride);
    Put(c.record, 68 + 4 * slot, in[k]), Put(c.record, 100 + 4 * slot, inStride);
    outStride *= out[k], inStride *= in[k];
  }
  c.bufs = {Input(136, Gen::I32, size_t(inStride), rng), Output(144, Gen::I32, count)};
  return c;
}

// A transpose: the source's row-major dimensions read in a random order.
inline Case Transpose(std::mt19937_64& rng, int32_t size) {
  const int32_t rank = 1 + int32_t(rng() % 4);
  std::vector<int32_t> dims(rank), order(rank);
  size_t count;
  do {
    count = 1;
    for (int32_t& d : dims) d = 1 + int32_t(rng() % 8), count *= size_t(d);
  } while (count > size_t(std::max(size, 1)) * 2);
  for (int k = 0; k < rank; ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<int32_t> strides(rank);  // of the source's row-major dimensions, innermost last
  int32_t stride = 1;
  for (int k = rank; k-- > 0;) strides[k] = stride, stride *= dims[k];
  Case c = Blank(sizeof(VortaStridedGatherJob), int32_t(count));
  for (int k = 0; k < rank; ++k) {  // output dimension k (0 innermost) is source dimension order[k]
    Put(c.record, 16 + 4 * size_t(k), dims[order[k]]);
    Put(c.record, 48 + 4 * size_t(k), strides[order[k]]);
  }
  Put(c.record, 80, rank);
  c.bufs = {Input(0, Gen::I32, count, rng), Output(8, Gen::I32, count)};
  return c;
}

// Box overlaps of every pair in each batch item, one index per pair.
inline Case Overlap(std::mt19937_64& rng, int32_t size) {
  const int32_t B = 1 + int32_t(rng() % 12), batches = Size(rng, std::max(1, size / 40));
  Case c = Blank(sizeof(VortaOverlapJob), B * B * batches);
  Put(c.record, 16, B), Put(c.record, 20, 0.1f * float(rng() % 8)), Put(c.record, 24, int32_t(rng() % 2));
  c.bufs = {Input(0, Gen::F32Positive, size_t(B) * batches * 4, rng), Output(8, Gen::U8, size_t(c.length))};
  return c;
}

// Greedy selection over overlap flags, one index per (batch item, class) row;
// scores with ties, the order array as scratch.
inline Case Select(std::mt19937_64& rng, int32_t size) {
  const int32_t B = 1 + int32_t(rng() % 12), classes = 1 + int32_t(rng() % 3);
  const int32_t batches = Size(rng, std::max(1, size / 40)), rows = batches * classes;
  Case c = Blank(sizeof(VortaSelectJob), rows);
  Put(c.record, 32, classes), Put(c.record, 36, B), Put(c.record, 40, 1 + int32_t(rng() % B));
  Put(c.record, 44, 0.25f);
  Buf flags = Input(0, Gen::U8, size_t(B) * B * batches, rng);
  for (uint8_t& f : flags.init) f &= 1;
  Buf scores = Input(8, Gen::F32Positive, size_t(rows) * B, rng);
  for (size_t i = 0; i < scores.init.size(); i += 4) Put(scores.init, i, 0.25f * float(rng() % 5));
  Buf order = Output(16, Gen::I32, size_t(rows) * B);
  order.role = Role::Scratch;
  c.bufs = {flags, scores, order, Output(24, Gen::I32, size_t(rows) * B)};
  return c;
}

// The K largest or smallest along the axis, one index per line.
inline Case TopK(std::mt19937_64& rng, int32_t size) {
  const int32_t n = 1 + int32_t(rng() % 30), s = 1 + int32_t(rng() % (rng() % 2 ? 1 : 9));
  const int32_t k = 1 + int32_t(rng() % n), outer = Size(rng, std::max(1, size / (s * 2 + n / 8)));
  Case c = Blank(sizeof(VortaTopKJob), outer * s);
  Put(c.record, 24, n), Put(c.record, 28, s), Put(c.record, 32, k), Put(c.record, 36, rng() % 2 ? 1 : -1);
  Buf x = Input(0, Gen::F32Unit, size_t(outer) * n * s, rng);
  for (size_t i = 0; i < x.init.size(); i += 4) Put(x.init, i, 0.125f * float(rng() % 9));  // ties
  c.bufs = {x, Output(8, Gen::F32, size_t(outer) * k * s), Output(16, Gen::I32, size_t(outer) * k * s)};
  return c;
}

// Generators: an output only (at 0, or at 8 after the probabilities), a
// length in the record where the kernel has one, parameters after it.
enum class Fill0 { Constant, FloatRange, IntRange, Uniform, Normal, Bernoulli };
inline auto Generator(Fill0 kind) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int32_t n = Size(rng, size);
    static const size_t kBytes[] = {sizeof(VortaFillJob), sizeof(VortaFloatRangeJob), sizeof(VortaIntRangeJob),
                                    sizeof(VortaRandomFillJob), sizeof(VortaRandomFillJob), sizeof(VortaBernoulliJob)};
    Case c = Blank(kBytes[int(kind)], n);
    const uint32_t seed = uint32_t(rng());
    switch (kind) {
      case Fill0::Constant: Put(c.record, 8, seed); break;
      case Fill0::FloatRange: Put(c.record, 8, n), Put(c.record, 12, -3.5f), Put(c.record, 16, 0.37f); break;
      case Fill0::IntRange: Put(c.record, 8, n), Put(c.record, 24, int32_t(seed)), Put(c.record, 28, int32_t(rng())); break;
      case Fill0::Uniform: Put(c.record, 8, seed), Put(c.record, 12, -2.0f), Put(c.record, 16, 5.0f); break;
      case Fill0::Normal: Put(c.record, 8, seed), Put(c.record, 12, 1.0f), Put(c.record, 16, 0.5f); break;
      case Fill0::Bernoulli: Put(c.record, 16, seed), Put(c.record, 20, int32_t(rng() % 2)); break;
    }
    if (kind == Fill0::Bernoulli) {
      c.bufs = {Input(0, Gen::F32Unit, size_t(n), rng), Output(8, Gen::I32, size_t(n))};
    } else {
      const bool floats = kind == Fill0::FloatRange || kind == Fill0::Uniform || kind == Fill0::Normal;
      c.bufs = {Output(0, floats ? Gen::F32 : Gen::I32, size_t(n))};
    }
    return c;
  };
}

// Average or max pooling of float planes; windows clipped to the input.
inline Case Pool(std::mt19937_64& rng, int32_t size) {
  int32_t v[10];  // inH, inW, outH, outW, kH, kW, sH, sW, padTop, padLeft
  for (int a = 0; a < 2; ++a) {
    v[4 + a] = 1 + int32_t(rng() % 3);
    v[6 + a] = 1 + int32_t(rng() % 2);
    v[8 + a] = int32_t(rng() % v[4 + a]);
    v[a] = v[4 + a] + int32_t(rng() % 9);
    v[2 + a] = (v[a] + 2 * v[8 + a] - v[4 + a]) / v[6 + a] + 1;
  }
  const int32_t planes = Size(rng, std::max(1, size / (v[2] * v[3])));
  Case c = Blank(sizeof(VortaPool2dJob), planes * v[2] * v[3]);
  for (int i = 0; i < 10; ++i) Put(c.record, 16 + 4 * size_t(i), v[i]);
  c.bufs = {Input(0, Gen::F32, size_t(planes) * v[0] * v[1], rng), Output(8, Gen::F32, size_t(c.length))};
  return c;
}

// Padding of up to three dimensions in every mode; pads shorter than the extent.
inline Case Pad(std::mt19937_64& rng, int32_t size) {
  const int32_t rank = 1 + int32_t(rng() % 3);
  Case c = Blank(sizeof(VortaPadJob), 0);
  Put(c.record, 16, uint32_t(rng() % 5)), Put(c.record, 20, uint32_t(rng()));
  size_t in = 1, out = 1;
  for (int k = 0; k < rank; ++k) {
    const int32_t extent = 1 + int32_t(rng() % (size < 64 ? 3 : 9));
    const int32_t before = int32_t(rng() % extent), after = int32_t(rng() % extent);
    Put(c.record, 24 + 4 * size_t(k), extent);
    Put(c.record, 56 + 4 * size_t(k), extent + before + after);
    Put(c.record, 88 + 4 * size_t(k), int32_t(in));
    Put(c.record, 120 + 4 * size_t(k), before);
    in *= size_t(extent), out *= size_t(extent + before + after);
  }
  Put(c.record, 152, rank);
  c.length = int32_t(out);
  c.bufs = {Input(0, Gen::I32, in, rng), Output(8, Gen::I32, out)};
  return c;
}

// Upsampling by whole factors, one index per input element.
inline Case Upsample(std::mt19937_64& rng, int32_t size) {
  const int32_t inW = 1 + int32_t(rng() % 9), fy = 1 + int32_t(rng() % 3), fx = 1 + int32_t(rng() % 3);
  const int32_t rows = Size(rng, std::max(1, size / (inW * fy * fx)));
  Case c = Blank(sizeof(VortaUpsampleJob), rows * inW);
  Put(c.record, 20, inW), Put(c.record, 24, fy), Put(c.record, 28, fx);
  c.bufs = {Input(0, Gen::I32, size_t(c.length), rng), Output(8, Gen::I32, size_t(c.length) * fy * fx)};
  return c;
}

// Normalisation apply: instances of `spatial` elements, channel = instance mod channels.
inline Case NormApply(std::mt19937_64& rng, int32_t size) {
  const int32_t channels = 1 + int32_t(rng() % 4), spatial = 1 + int32_t(rng() % 40);
  const int32_t instances = Size(rng, std::max(1, size / spatial));
  Case c = Blank(sizeof(VortaNormApplyJob), instances * spatial);
  Put(c.record, 0, 1e-5f), Put(c.record, 4, channels), Put(c.record, 8, spatial);
  c.bufs = {Input(16, Gen::F32, size_t(c.length), rng), Input(24, Gen::F32Unit, size_t(channels), rng),
            Input(32, Gen::F32Unit, size_t(channels), rng),
            Input(40, Gen::F32Positive, 2 * size_t(instances), rng), Output(48, Gen::F32, size_t(c.length))};
  return c;
}

// The depth-bounds records: two random view matrices, then the item array
// (at 128) and its count (at 136); one index per (view, item).
inline Case TwoViews(size_t bytes, int32_t count, std::mt19937_64& rng) {
  Case c = Blank(bytes, 2 * count);
  std::vector<uint8_t> views(128);
  Fill(Gen::F32Unit, views.data(), 32, rng);
  memcpy(c.record.data(), views.data(), 128);
  Put(c.record, 136, count);
  return c;
}

// Depth bounds of boxes under two random views.
inline Case BoxDepth(std::mt19937_64& rng, int32_t size) {
  const int32_t boxes = Size(rng, std::max(1, size / 2));
  Case c = TwoViews(sizeof(VortaDepthBoundsJob), boxes, rng);
  c.bufs = {Input(128, Gen::F32Unit, size_t(boxes) * VORTA_DEPTH_BOUNDS_BOX_STRIDE / 4, rng),
            Output(144, Gen::F32, 4 * size_t(boxes))};
  return c;
}

// Depth bounds of spot and point lights under two random views.
inline Case LightDepth(std::mt19937_64& rng, int32_t size) {
  const int32_t lights = Size(rng, std::max(1, size / 2));
  Case c = TwoViews(sizeof(VortaLightDepthBoundsJob), lights, rng);
  Buf records = Input(128, Gen::F32Unit, size_t(lights) * sizeof(VortaLightRecord) / 4, rng);
  for (int32_t l = 0; l < lights; ++l) {
    const size_t at = size_t(l) * sizeof(VortaLightRecord);
    Put(records.init, at + offsetof(VortaLightRecord, lightType), int32_t(rng() % 3));
    Put(records.init, at + offsetof(VortaLightRecord, range), 0.1f + float(rng() % 100) / 10);
    Put(records.init, at + offsetof(VortaLightRecord, spotAngle), 1.0f + float(rng() % 170));
  }
  c.bufs = {records, Output(144, Gen::F32, 4 * size_t(lights))};
  return c;
}

// Screen-row spans of random lights and boxes around the test frame's two
// views, perspective or orthographic; one index per (view, item). The binning
// keeps working fields in its record and takes box scratch from the host.
inline Case ScreenRows(std::mt19937_64& rng, int32_t size) {
  std::mt19937 r32{uint32_t(rng())};
  const scene_frame::Frame f(rng() % 2 == 0);
  const int lights = int(rng() % uint64_t(2 + size / 6)), boxes = int(rng() % uint64_t(2 + size / 6));
  const int items = lights + boxes, entries = scene_frame::Frame::kRows + 1;
  const std::vector<VortaLightRecord> l = scene_frame::RandomLights(f, lights, r32);
  const std::vector<float> b = scene_frame::RandomBoxes(f, boxes, r32);
  VortaScreenBinningJob job{};
  f.Fill(job);
  job.lightCount = lights, job.itemsPerView = items, job.entriesPerItem = entries;
  Case c = Blank(sizeof job, 2 * items);
  memcpy(c.record.data(), &job, sizeof job);
  c.privateRecords = true;
  Buf lightBytes{Role::In, 0, Gen::U8, std::vector<uint8_t>(l.size() * sizeof(VortaLightRecord))};
  if (!l.empty()) memcpy(lightBytes.init.data(), l.data(), lightBytes.init.size());
  Buf boxBytes{Role::In, 16, Gen::F32, std::vector<uint8_t>(4 * b.size())};
  if (!b.empty()) memcpy(boxBytes.init.data(), b.data(), boxBytes.init.size());
  c.bufs = {lightBytes, boxBytes, Output(32, Gen::I32, size_t(2 * items) * entries)};
  c.text = std::to_string(lights) + " lights, " + std::to_string(boxes) + " boxes" +
           (f.orthographic ? ", orthographic" : "");
  return c;
}

// The transform tracking job over a scene of the reference host whose
// transforms match the caches, lag behind them or are marked dirty; either
// scheduling mode, a shuffled sorted order.
struct TrackedScene {
  vorta::host::Scene scene;
  std::unique_ptr<vorta::host::TransformArray> array;
};

inline Case Tracking(std::mt19937_64& rng, int32_t size) {
  const int32_t n = Size(rng, size);
  Case c = Blank(sizeof(VortaTransformTrackingJob), n);
  auto held = std::make_shared<TrackedScene>();
  Buf pos = Input(0, Gen::F32Unit, 3 * size_t(n), rng), rot = Input(16, Gen::F32Unit, 4 * size_t(n), rng);
  Buf scl = Input(32, Gen::F32Positive, 3 * size_t(n), rng);
  std::vector<int32_t> ids(static_cast<size_t>(n));
  for (int32_t u = 0; u < n; ++u) {
    float p[3], q[4], sc[3];
    memcpy(p, &pos.init[12 * size_t(u)], 12), memcpy(q, &rot.init[16 * size_t(u)], 16);
    memcpy(sc, &scl.init[12 * size_t(u)], 12);
    switch (rng() % 5) {
      case 0: p[rng() % 3] += 0.5f; break;
      case 1: q[rng() % 4] += 0.25f; break;
      case 2: for (float& x : q) x = -x; break;
      case 3: sc[rng() % 3] *= 2.0f; break;
    }
    ids[size_t(u)] = held->scene.Add(p, q, sc);
  }
  held->array = std::make_unique<vorta::host::TransformArray>(held->scene, ids);
  std::vector<int32_t> sorted(static_cast<size_t>(n));
  for (int32_t u = 0; u < n; ++u) sorted[size_t(u)] = u;
  std::shuffle(sorted.begin(), sorted.end(), rng);
  held->array->SetSortedOrder(sorted);
  Buf source = Input(64, Gen::I32, size_t(n), rng);
  for (size_t u = 0; u < size_t(n); ++u) Put(source.init, 4 * u, int32_t(rng() % 2));
  auto inOut = [&](uint32_t at, Gen g, size_t count) {
    Buf b = Input(at, g, count, rng);
    b.role = Role::InOut;
    return b;
  };
  pos.role = rot.role = scl.role = Role::InOut;
  c.bufs = {pos, rot, scl, inOut(48, Gen::U8, size_t(n)), source, Input(80, Gen::F32Unit, 16 * size_t(n), rng),
            inOut(96, Gen::F32, 16 * size_t(n)), inOut(112, Gen::F32, 16 * size_t(n)),
            inOut(128, Gen::F32, 4 * size_t(n))};
  Put(c.record, 144, rng() % 2 ? 0.01f : 0.0f);
  const VortaTransformJobTarget target{held->array->Handle(), int32_t(rng() % 2)};
  c.additional.resize(sizeof target);
  memcpy(c.additional.data(), &target, sizeof target);
  c.host = held;
  c.text = std::to_string(n) + " objects, mode " + std::to_string(target.mode);
  return c;
}

// Select by a condition, all three inputs broadcast (right-aligned tables at
// 4 + 64 t: dims then strides, t = 0 output, 1 condition, 2 true, 3 false).
inline Case ConditionSelect(std::mt19937_64& rng, int32_t size) {
  const int32_t rank = 1 + int32_t(rng() % 4);
  std::vector<int32_t> out(rank);
  size_t count;
  do {
    count = 1;
    for (int32_t& d : out) d = 1 + int32_t(rng() % 7), count *= size_t(d);
  } while (count > size_t(std::max(size, 1)) * 2);
  Case c = Blank(sizeof(VortaConditionSelectJob), int32_t(count));
  Put(c.record, 0, rank);
  size_t elements[4];
  for (int t = 0; t < 4; ++t) {
    int32_t stride = 1;
    for (int k = rank; k-- > 0;) {
      const int32_t d = t == 0 || rng() % 3 ? out[k] : 1 + int32_t(rng() % out[k]);
      const size_t slot = size_t(8 - rank + k);
      Put(c.record, 4 + 64 * size_t(t) + 4 * slot, d), Put(c.record, 36 + 64 * size_t(t) + 4 * slot, stride);
      stride *= d;
    }
    elements[t] = size_t(stride);
  }
  Buf condition = Input(264, Gen::I32, elements[1], rng);
  for (size_t i = 0; i < condition.init.size(); i += 4) Put(condition.init, i, int32_t(rng() % 2));
  c.bufs = {condition, Input(272, Gen::I32, elements[2], rng), Input(280, Gen::I32, elements[3], rng),
            Output(288, Gen::I32, count)};
  return c;
}

// Slice read (strided source) or write (strided destination) of up to three
// dimensions, dimension 0 innermost, strides wide enough never to alias.
inline auto Slice(bool write) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int32_t rank = 1 + int32_t(rng() % 3);
    Case c = Blank(sizeof(VortaStridedCopyJob), 0);
    size_t count = 1, extent = 1;
    int32_t stride = 1 + int32_t(rng() % 2);
    for (int k = 0; k < rank; ++k) {
      const int32_t d = 1 + int32_t(rng() % (size < 64 ? 3 : 8)), offset = int32_t(rng() % 3);
      Put(c.record, 16 + 4 * size_t(k), d), Put(c.record, 48 + 4 * size_t(k), offset);
      Put(c.record, 80 + 4 * size_t(k), stride);
      extent += size_t(offset) + size_t(d - 1) * stride;
      count *= size_t(d);
      stride = stride * d + int32_t(rng() % 3) + 2;  // past every offset of the lower digits
    }
    Put(c.record, 112, rank);
    c.length = int32_t(count);
    if (write) {
      Buf strided = Input(8, Gen::I32, extent, rng);
      strided.role = Role::InOut;
      c.bufs = {Input(0, Gen::I32, count, rng), strided};
    } else {
      c.bufs = {Input(0, Gen::I32, extent, rng), Output(8, Gen::I32, count)};
    }
    return c;
  };
}

// Element gather and scatter along an axis of [outer][axis][inner]: the
// scatter's indices are distinct within each column, so no two updates meet.
inline auto ElementsAxis(bool scatter) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int32_t dataAxis = 1 + int32_t(rng() % 7), inner = 1 + int32_t(rng() % 6);
    const int32_t indexAxis = 1 + int32_t(rng() % (scatter ? dataAxis : 9));
    const int32_t outer = Size(rng, std::max(1, size / (indexAxis * inner)));
    const int32_t n = outer * indexAxis * inner;
    Case c = Blank(scatter ? sizeof(VortaScatterElementsAxisJob) : sizeof(VortaGatherElementsAxisJob), n);
    Put(c.record, 0, dataAxis);
    Put(c.record, 4, inner), Put(c.record, 8, inner), Put(c.record, 12, indexAxis * inner);
    Buf idx = Input(scatter ? 32 : 24, Gen::I32, size_t(n), rng);
    for (int32_t o = 0; o < outer; ++o)
      for (int32_t m = 0; m < inner; ++m) {
        std::vector<int32_t> rows(static_cast<size_t>(dataAxis));
        for (int32_t r = 0; r < dataAxis; ++r) rows[size_t(r)] = r;
        std::shuffle(rows.begin(), rows.end(), rng);
        for (int32_t j = 0; j < indexAxis; ++j) {
          int32_t v = scatter ? rows[size_t(j)] - (rng() % 2 ? dataAxis : 0)
                              : int32_t(rng() % (3 * dataAxis)) - 2 * dataAxis + 1;
          Put(idx.init, 4 * (size_t(o * indexAxis + j) * inner + m), v);
        }
      }
    const size_t data = size_t(outer) * dataAxis * inner;
    if (scatter) {
      Put(c.record, 16, int32_t(rng() % 4));
      Buf target = Input(40, Gen::F32Unit, data, rng);
      target.role = Role::InOut;
      c.bufs = {Input(24, Gen::F32Unit, size_t(n), rng), idx, target};
    } else {
      c.bufs = {Input(16, Gen::I32, data, rng), idx, Output(32, Gen::I32, size_t(n))};
    }
    return c;
  };
}

// One-hot along a random axis of a row-major output of rank 1 to 4.
inline Case OneHot(std::mt19937_64& rng, int32_t size) {
  const int32_t rank = 1 + int32_t(rng() % 4), axis = int32_t(rng() % rank);
  std::vector<int32_t> out(rank);
  size_t count;
  do {
    count = 1;
    for (int32_t& d : out) d = 1 + int32_t(rng() % 6), count *= size_t(d);
  } while (count > size_t(std::max(size, 1)) * 2);
  const int32_t depth = out[axis];
  Case c = Blank(sizeof(VortaOneHotJob), int32_t(count));
  Put(c.record, 16, 0x3f800000u), Put(c.record, 20, 0xbadf00du), Put(c.record, 24, rank);
  Put(c.record, 32, depth), Put(c.record, 36, axis);
  int32_t stride = 1;
  for (int k = rank; k-- > 0;) {
    const size_t slot = size_t(8 - rank + k);
    Put(c.record, 40 + 4 * slot, out[k]), Put(c.record, 72 + 4 * slot, stride);
    stride *= out[k];
  }
  Buf idx = Input(0, Gen::I32, count / size_t(depth), rng);
  for (size_t i = 0; i < idx.init.size(); i += 4) Put(idx.init, i, int32_t(rng() % (2 * depth + 2)) - depth - 1);
  c.bufs = {idx, Output(8, Gen::I32, count)};
  return c;
}

// One recurrent cell step, one index per batch element, every activation kind.
inline Case RecurrentStep(std::mt19937_64& rng, int32_t size) {
  const int32_t hs = 1 + int32_t(rng() % 40), batch = Size(rng, std::max(1, size / 40));
  const int32_t inStride = 4 * hs + int32_t(rng() % 4), outStride = hs + int32_t(rng() % 3);
  Case c = Blank(sizeof(VortaRecurrentStepJob), batch);
  Put(c.record, 64, int32_t(rng() % 8)), Put(c.record, 68, inStride), Put(c.record, 72, outStride);
  Put(c.record, 76, hs), Put(c.record, 80, uint8_t(rng() % 2)), Put(c.record, 84, rng() % 2 ? 2.5f : 3.4e38f);
  for (int g = 0; g < 3; ++g) {
    Put(c.record, 88 + 12 * size_t(g), int32_t(rng() % 12));
    Put(c.record, 92 + 12 * size_t(g), 0.1f + 0.1f * float(rng() % 9));
    Put(c.record, 96 + 12 * size_t(g), 0.1f * float(rng() % 10) - 0.5f);
  }
  auto rows = [&](int32_t stride, int32_t used) { return batch ? size_t(batch - 1) * stride + used : 0; };
  Buf cell = Input(40, Gen::F32Unit, size_t(batch) * hs, rng), hidden = Input(48, Gen::F32Unit, size_t(batch) * hs, rng);
  cell.role = hidden.role = Role::InOut;
  Buf seq = Input(56, Gen::I32, size_t(batch), rng);
  for (size_t i = 0; i < seq.init.size(); i += 4) Put(seq.init, i, int32_t(rng() % 10));
  c.bufs = {Input(0, Gen::F32Unit, 3 * size_t(hs), rng), Input(8, Gen::F32Unit, 8 * size_t(hs), rng),
            Input(16, Gen::F32Unit, rows(inStride, 4 * hs), rng), Input(24, Gen::F32Unit, size_t(batch) * 4 * hs, rng),
            Output(32, Gen::F32, rows(outStride, hs)), cell, hidden, seq};
  return c;
}

// Region pooling over feature maps, regions partly outside, one index per output.
inline Case RoiAlign(std::mt19937_64& rng, int32_t size) {
  const int32_t images = 1 + int32_t(rng() % 2), ch = 1 + int32_t(rng() % 3);
  const int32_t h = 1 + int32_t(rng() % 9), w = 1 + int32_t(rng() % 13);
  const int32_t ph = 1 + int32_t(rng() % 3), pw = 1 + int32_t(rng() % 4);
  const int32_t regions = Size(rng, std::max(1, size / (ch * ph * pw)));
  Case c = Blank(sizeof(VortaRoiAlignJob), regions * ch * ph * pw);
  Put(c.record, 0, rng() % 2 ? 1.0f : 0.5f);
  const int32_t v[] = {ch, h, w, h * w, ch * h * w, ph, pw};
  for (int i = 0; i < 7; ++i) Put(c.record, 8 + 4 * size_t(i), v[i]);
  Put(c.record, 36, 1.0f / float(ph)), Put(c.record, 40, 1.0f / float(pw));
  Put(c.record, 44, int32_t(rng() % 3)), Put(c.record, 48, int32_t(rng() % 2));
  Buf boxes = Input(64, Gen::F32, 4 * size_t(regions), rng);
  for (size_t i = 0; i < boxes.init.size(); i += 4) Put(boxes.init, i, float(int(rng() % 200) - 30) * 0.1f);
  Buf index = Input(72, Gen::I32, size_t(regions), rng);
  for (size_t i = 0; i < index.init.size(); i += 4) Put(index.init, i, int32_t(rng() % images));
  c.bufs = {Input(56, Gen::F32Unit, size_t(images) * ch * h * w, rng), boxes, index,
            Output(80, Gen::F32, size_t(c.length))};
  return c;
}

// Grid sampling of two or three dimensions, grid points mostly near [-1, 1]
// with some far outside and non-finite; one index per output element.
inline auto GridSample(int dims) {
  return [=](std::mt19937_64& rng, int32_t size) {
    int32_t extent[3] = {1, 1, 1};
    for (int a = 0; a < dims; ++a) extent[a] = 1 + int32_t(rng() % 7);
    const int32_t plane = extent[0] * extent[1] * extent[2], ch = 1 + int32_t(rng() % 3);
    const int32_t spatial = 1 + int32_t(rng() % 20), n = Size(rng, std::max(1, size / (ch * spatial)));
    Case c = Blank(dims == 2 ? sizeof(VortaGridSample2DJob) : sizeof(VortaGridSample3DJob), n * ch * spatial);
    Put(c.record, 24, int32_t(rng() % 3)), Put(c.record, 32, int32_t(rng() % 2)), Put(c.record, 36, uint8_t(rng() % 2));
    uint32_t at = 40;
    for (int a = dims; a-- > 0;) Put(c.record, at, extent[a]), at += 4;  // outermost first
    Put(c.record, at, plane), Put(c.record, at + 8, ch), Put(c.record, at + 12, spatial);
    Buf grid = Input(8, Gen::F32Unit, size_t(n) * spatial * dims, rng);
    for (size_t i = 0; i < grid.init.size(); i += 4) {
      float g;
      memcpy(&g, &grid.init[i], 4);
      if (rng() % 8 == 0) g = rng() % 2 ? std::numeric_limits<float>::quiet_NaN() : g * 9.0f;
      Put(grid.init, i, g * 1.3f);
    }
    c.bufs = {Input(0, Gen::F32Unit, size_t(n) * ch * plane, rng), grid, Output(16, Gen::F32, size_t(c.length))};
    return c;
  };
}

// Nearest or linear resizing of two or three dimensions: the tables come from
// the library's own table builder (a host calls it the same way), the job
// then runs over blocks x output positions.
inline auto Resize(bool linear) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int32_t dims = 2 + int32_t(rng() % 2);
    VortaResizeTableArgs a;
    memset(&a, 0, sizeof a);
    a.dims = dims;
    int64_t planeIn = 1, planeOut = 1, positions = 0;
    for (int k = 0; k < dims; ++k) {
      a.inSize[k] = 1 + int32_t(rng() % 9), a.outSize[k] = 1 + int32_t(rng() % (size < 64 ? 4 : 12));
      a.scale[k] = float(a.inSize[k]) / float(a.outSize[k]);
      a.offset[k] = rng() % 2 ? 0.5f * a.scale[k] - 0.5f : 0.0f;
      planeIn *= a.inSize[k], planeOut *= a.outSize[k], positions += a.outSize[k];
    }
    a.roundMode = 2 + int32_t(rng() % 2);
    const int32_t blocks = Size(rng, std::max<int32_t>(1, size / int32_t(planeOut)));
    std::vector<uint8_t> tables(4 * size_t(positions) * (linear ? 3 : 1));
    a.tables = tables.data();
    reinterpret_cast<VortaResizeTableFn>(vorta::host::LinkedKernel(
        linear ? VORTA_EXPORT_RESIZE_LINEAR_TABLES : VORTA_EXPORT_RESIZE_NEAREST_TABLES))(&a);
    Case c = Blank(sizeof(VortaResizeJob), blocks * int32_t(planeOut));
    Put(c.record, 24, dims), Put(c.record, 28, int32_t(planeIn));
    for (int k = 0; k < 3; ++k) Put(c.record, 32 + 4 * size_t(k), k < dims ? a.outSize[k] : 0);
    c.bufs = {Input(0, linear ? Gen::F32 : Gen::I32, size_t(blocks) * planeIn, rng),
              Buf{Role::In, 8, Gen::I32, tables}, Output(16, linear ? Gen::F32 : Gen::I32, size_t(c.length))};
    return c;
  };
}

inline std::vector<int32_t> RandomDims(std::mt19937_64& rng, int rank, int32_t most) {
  std::vector<int32_t> d(static_cast<size_t>(rank));
  for (int32_t& e : d) e = 1 + int32_t(rng() % uint64_t(most));
  return d;
}
inline std::vector<int32_t> RowMajor(const std::vector<int32_t>& dims) {
  std::vector<int32_t> s(dims.size());
  int32_t stride = 1;
  for (size_t k = dims.size(); k-- > 0;) s[k] = stride, stride *= dims[k];
  return s;
}
inline size_t Product(const std::vector<int32_t>& dims) {
  size_t n = 1;
  for (int32_t d : dims) n *= size_t(d);
  return n;
}
// Eight int32 slots at `at`, the values right-aligned (slot 7 the last).
inline void RightAligned(std::vector<uint8_t>& record, size_t at, const std::vector<int32_t>& v) {
  for (size_t k = 0; k < v.size(); ++k) Put(record, at + 4 * (8 - v.size() + k), v[k]);
}

// Gather elements along an axis of a row-major tensor of rank 1 to 4 (tables
// outermost first), indices from below the extent to beyond it.
inline Case GatherElements(std::mt19937_64& rng, int32_t size) {
  const int rank = 1 + int(rng() % 4), axis = int(rng() % rank);
  const std::vector<int32_t> data = RandomDims(rng, rank, size < 64 ? 3 : 6);
  std::vector<int32_t> out(data);
  for (int k = 0; k < rank; ++k) out[k] = k == axis ? 1 + int32_t(rng() % 5) : 1 + int32_t(rng() % data[k]);
  Case c = Blank(sizeof(VortaGatherElementsJob), int32_t(Product(out)));
  Put(c.record, 0, data[axis]), Put(c.record, 4, axis), Put(c.record, 8, rank);
  const auto os = RowMajor(out), ds = RowMajor(data);
  for (int k = 0; k < rank; ++k) Put(c.record, 12 + 4 * size_t(k), os[k]), Put(c.record, 44 + 4 * size_t(k), ds[k]);
  Buf idx = Input(88, Gen::I32, size_t(c.length), rng);
  for (size_t i = 0; i < idx.init.size(); i += 4) Put(idx.init, i, int32_t(rng() % (3 * data[axis])) - 2 * data[axis] + 1);
  c.bufs = {Input(80, Gen::I32, Product(data), rng), idx, Output(96, Gen::I32, size_t(c.length))};
  return c;
}

// Float sums over a random subset of the input's dimensions, in order.
inline Case LayoutSum(std::mt19937_64& rng, int32_t size) {
  const int rank = 1 + int(rng() % 4);
  const std::vector<int32_t> input = RandomDims(rng, rank, size < 64 ? 3 : 7), is = RowMajor(input);
  std::vector<int32_t> kept, keptStrides, red, redStrides;
  for (int k = 0; k < rank; ++k) {
    const bool reduce = rng() % 2;
    (reduce ? red : kept).push_back(input[size_t(k)]);
    (reduce ? redStrides : keptStrides).push_back(is[size_t(k)]);
  }
  Case c = Blank(sizeof(VortaLayoutSumJob), int32_t(Product(kept)));
  Put(c.record, 0, int32_t(red.size())), Put(c.record, 4, int32_t(Product(red))), Put(c.record, 8, int32_t(kept.size()));
  RightAligned(c.record, 12, red), RightAligned(c.record, 44, RowMajor(red)), RightAligned(c.record, 76, redStrides);
  RightAligned(c.record, 108, kept), RightAligned(c.record, 140, RowMajor(kept)), RightAligned(c.record, 172, keptStrides);
  c.bufs = {Input(208, Gen::F32, Product(input), rng), Output(216, Gen::F32, size_t(c.length))};
  return c;
}

// Scatter of whole slices by index tuples; every tuple distinct, so no two
// updates meet. One index per updated element.
inline auto ScatterTuples(bool isFloat) {
  return [=](std::mt19937_64& rng, int32_t size) {
    const int tuple = 1 + int(rng() % 3);
    const std::vector<int32_t> lead = RandomDims(rng, tuple, 5);
    const int32_t slice = 1 + int32_t(rng() % 9), slices = int32_t(Product(lead));
    const int32_t count = std::min<int32_t>(1 + int32_t(rng() % slices), std::max(1, size / slice));
    std::vector<int32_t> order(static_cast<size_t>(slices));
    for (int32_t i = 0; i < slices; ++i) order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), rng);
    Case c = Blank(sizeof(VortaScatterTuplesJob), count * slice);
    Put(c.record, 0, int32_t(rng() % 4)), Put(c.record, 4, slice), Put(c.record, 8, tuple);
    const auto strides = RowMajor(lead);
    for (int k = 0; k < tuple; ++k) Put(c.record, 12 + 4 * size_t(k), strides[size_t(k)]);
    Buf idx = Input(56, Gen::I32, size_t(count) * tuple, rng);
    for (int32_t s = 0; s < count; ++s) {
      int32_t rest = order[size_t(s)];
      for (int k = 0; k < tuple; ++k)
        Put(idx.init, 4 * (size_t(s) * tuple + k), rest / strides[size_t(k)]), rest %= strides[size_t(k)];
    }
    Buf out = Input(72, isFloat ? Gen::F32Unit : Gen::I32, size_t(slices) * slice, rng);
    out.role = Role::InOut;
    c.bufs = {idx, Input(64, isFloat ? Gen::F32Unit : Gen::I32, size_t(count) * slice, rng), out};
    return c;
  };
}

// Scatter of elements over a tensor of rank 1 to 4 along an axis; each
// update's axis coordinate maps to its own data slice, so no two meet.
inline Case ScatterElements(std::mt19937_64& rng, int32_t size) {
  const int rank = 1 + int(rng() % 4), axis = int(rng() % rank);
  const std::vector<int32_t> upd = RandomDims(rng, rank, size < 64 ? 3 : 6);
  std::vector<int32_t> dat(upd);
  for (int32_t& d : dat) d += int32_t(rng() % 3);
  const int32_t n = int32_t(Product(upd));
  Case c = Blank(sizeof(VortaScatterElementsJob), n);
  Put(c.record, 0, dat[axis]), Put(c.record, 4, axis), Put(c.record, 8, rank), Put(c.record, 12, int32_t(rng() % 4));
  const auto ds = RowMajor(dat), us = RowMajor(upd);
  for (int k = 0; k < rank; ++k) Put(c.record, 16 + 4 * size_t(k), ds[k]), Put(c.record, 48 + 4 * size_t(k), us[k]);
  Buf idx = Input(88, Gen::I32, size_t(n), rng);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t coordinate = (i / us[axis]) % upd[axis];  // the update's own slice, wrapped or not
    Put(idx.init, 4 * size_t(i), coordinate - (rng() % 2 ? dat[axis] : 0));
  }
  Buf data = Input(96, Gen::F32Unit, Product(dat), rng);
  data.role = Role::InOut;
  c.bufs = {Input(80, Gen::F32Unit, size_t(n), rng), idx, data};
  return c;
}

// Slices gathered by index tuples: data [batch][tuple dims][slice dims],
// indices [batch][extra][tuple], output [batch][extra][slice dims].
inline Case GatherTuples(std::mt19937_64& rng, int32_t size) {
  const int dataRank = 1 + int(rng() % 4), batch = int(rng() % dataRank);
  const int tuple = 1 + int(rng() % (dataRank - batch)), extra = int(rng() % 3);
  const std::vector<int32_t> data = RandomDims(rng, dataRank, size < 64 ? 3 : 5);
  std::vector<int32_t> idxShape(data.begin(), data.begin() + batch), outShape = idxShape;
  for (int k = 0; k < extra; ++k) {
    const int32_t e = 1 + int32_t(rng() % 3);
    idxShape.push_back(e), outShape.push_back(e);
  }
  idxShape.push_back(tuple);
  outShape.insert(outShape.end(), data.begin() + batch + tuple, data.end());
  Case c = Blank(sizeof(VortaGatherTuplesJob), int32_t(Product(outShape)));
  Put(c.record, 24, batch), Put(c.record, 28, tuple), Put(c.record, 32, int32_t(outShape.size()));
  RightAligned(c.record, 36, outShape), RightAligned(c.record, 68, RowMajor(outShape));
  Put(c.record, 100, dataRank), RightAligned(c.record, 104, data), RightAligned(c.record, 136, RowMajor(data));
  Put(c.record, 168, int32_t(idxShape.size())), RightAligned(c.record, 204, RowMajor(idxShape));
  Buf idx = Input(8, Gen::I32, Product(idxShape), rng);
  for (size_t i = 0; i < idx.init.size() / 4; ++i) {
    const int32_t extent = data[size_t(batch) + i % size_t(tuple)];
    Put(idx.init, 4 * i, int32_t(rng() % (2 * extent + 2)) - extent - 1);
  }
  c.bufs = {Input(0, Gen::I32, Product(data), rng), idx, Output(16, Gen::I32, size_t(c.length))};
  return c;
}

// Column-to-image with bias, one output row (channel) per index; column
// positions partly outside the image.
inline Case Col2Im(std::mt19937_64& rng, int32_t size) {
  int32_t v[12];  // kernelH, kernelW, inputH, inputW, outputH, outputW, dilation, pad, stride (H, W)
  for (int a = 0; a < 2; ++a) {
    v[a] = 1 + int32_t(rng() % 3), v[2 + a] = 1 + int32_t(rng() % 6), v[4 + a] = 1 + int32_t(rng() % 8);
    v[6 + a] = 1 + int32_t(rng() % 2), v[8 + a] = int32_t(rng() % 2), v[10 + a] = 1 + int32_t(rng() % 2);
  }
  const int32_t rowLength = v[4] * v[5], offset = int32_t(rng() % 3);
  const int32_t channels = Size(rng, std::max(1, size / rowLength));
  Case c = Blank(sizeof(VortaCol2ImJob), channels);
  Put(c.record, 24, uint8_t(rng() % 2)), Put(c.record, 28, offset);
  Put(c.record, 32, v[2] * v[3]), Put(c.record, 36, v[0] * v[1]), Put(c.record, 40, rowLength);
  for (int i = 0; i < 12; ++i) Put(c.record, 44 + 4 * size_t(i), v[i]);
  c.bufs = {Input(0, Gen::F32Unit, size_t(channels) * v[2] * v[3] * v[0] * v[1], rng),
            Input(8, Gen::F32Unit, size_t(channels), rng),
            Output(16, Gen::F32, size_t(offset) + size_t(channels) * rowLength)};
  return c;
}

// A general contraction shaped as a batched product A[b][i][k] * B[b][k][j],
// B broadcast over the batch at random.
inline Case Contract(std::mt19937_64& rng, int32_t size) {
  const int32_t bt = 1 + int32_t(rng() % 3), m = 1 + int32_t(rng() % 6), n = 1 + int32_t(rng() % 7);
  const int32_t k = int32_t(rng() % 40);
  const bool shareB = rng() % 2;
  Case c = Blank(sizeof(VortaContractionJob), bt * m * n);
  if (size < 64) c.length = m * n;  // one batch
  const int32_t batches = c.length / (m * n);
  Put(c.record, 0, 1), Put(c.record, 4, k), Put(c.record, 8, 3);
  const int32_t outDims[3] = {batches, m, n}, outA[3] = {m * k, k, 0}, outB[3] = {shareB ? 0 : k * n, 0, 1};
  int32_t divisor = 1;
  for (int d = 2, slot = 7; d >= 0; --d, --slot) {
    Put(c.record, 140 + 4 * size_t(slot), outDims[d]), Put(c.record, 172 + 4 * size_t(slot), divisor);
    Put(c.record, 204 + 4 * size_t(slot), outA[d]), Put(c.record, 236 + 4 * size_t(slot), outB[d]);
    divisor *= outDims[d];
  }
  Put(c.record, 12 + 28, k), Put(c.record, 44 + 28, 1), Put(c.record, 76 + 28, 1), Put(c.record, 108 + 28, n);
  c.bufs = {Input(272, Gen::F32Unit, size_t(batches) * m * k, rng),
            Input(280, Gen::F32Unit, size_t(shareB ? 1 : batches) * k * n, rng),
            Output(288, Gen::F32, size_t(c.length))};
  return c;
}

// Depth bins (linear mapping) of lights and boxes over two views, depths half
// a bin away from every edge; one index per 128 bins of a view.
inline Case DepthBins(std::mt19937_64& rng, int32_t size) {
  const int32_t lights = int32_t(rng() % 40), boxes = int32_t(rng() % 30), views = 1 + int32_t(rng() % 2);
  const int32_t items = lights + boxes, maskWords = (items + 31) / 32 + int32_t(rng() % 2);
  const int32_t binCount = 1 + int32_t(rng() % (size < 64 ? 130 : 300)), chunks = (binCount + 127) / 128;
  Case c = Blank(sizeof(VortaDepthBinJob), views * chunks);
  Put(c.record, 32, 4.0f), Put(c.record, 36, -3.0f), Put(c.record, 40, binCount), Put(c.record, 44, maskWords);
  Put(c.record, 48, lights), Put(c.record, 52, boxes), Put(c.record, 56, chunks), Put(c.record, 60, views);
  Put(c.record, 64, uint8_t(1));
  Buf ranges = Input(16, Gen::F32, 2 * size_t(items) * views, rng);
  for (size_t k = 0; k < ranges.init.size() / 8; ++k) {
    const double a = double(int(rng() % 340) - 20) + 0.5, b = a + double(int(rng() % 66) - 5);
    Put(ranges.init, 8 * k, float((a + 3.0) / 4.0)), Put(ranges.init, 8 * k + 4, float((b + 3.0) / 4.0));
  }
  c.bufs = {Buf{Role::InOut, 0, Gen::I32, std::vector<uint8_t>(4 * size_t(views) * binCount * (maskWords + 2))},
            ranges};
  return c;
}

// Tile masks from per-row column spans, one index per (view, row).
inline Case TileRanges(std::mt19937_64& rng, int32_t size) {
  const int32_t items = 1 + int32_t(rng() % 70), views = 1 + int32_t(rng() % 2);
  const int32_t rows = 1 + int32_t(rng() % (size < 64 ? 3 : 9)), columns = 1 + int32_t(rng() % 37);
  const int32_t words = (items + 31) / 32, entries = rows + 1;
  Case c = Blank(sizeof(VortaTileRangeJob), views * rows);
  Put(c.record, 32, entries), Put(c.record, 36, items), Put(c.record, 40, words);
  Put(c.record, 44, columns), Put(c.record, 48, rows);
  Buf spans = Input(0, Gen::I32, size_t(views) * items * entries, rng);
  for (size_t i = 0; i < spans.init.size(); i += 4) {
    const int a = int(rng() % uint64_t(columns + 10)) - 5, b = a + int(rng() % 24) - 3;
    Put(spans.init, i, rng() % 5 == 0 ? VORTA_EMPTY_SPAN : int32_t((uint32_t(a) & 0xffff) | (uint32_t(b) << 16)));
  }
  c.bufs = {spans, Buf{Role::InOut, 16, Gen::I32, std::vector<uint8_t>(4 * size_t(views) * rows * columns * words)}};
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
        {"ASIN", VORTA_EXPORT_MAPS_EXTRA_ASIN, "maps_extra", Span(G::F32, G::F32), transcendental},
        {"ATAN", VORTA_EXPORT_MAPS_EXTRA_ATAN, "maps_extra", Span(G::F32, G::F32), transcendental},
        {"NEGATE", VORTA_EXPORT_MAPS_EXTRA_NEGATE, "maps_extra", Span(G::F32, G::F32), exact},
        {"ABS", VORTA_EXPORT_MAPS_EXTRA_ABS, "maps_extra", Span(G::F32, G::F32), exact},
        {"SIGN", VORTA_EXPORT_MAPS_EXTRA_SIGN, "maps_extra", Span(G::F32, G::F32), exact},
        {"SELU", VORTA_EXPORT_MAPS_EXTRA_SELU, "maps_extra",
         SpanWide(G::F32, G::F32, 20, 28, sizeof(VortaSeluJob)), transcendental},
        {"AFFINE_INT32", VORTA_EXPORT_MAPS_EXTRA_AFFINE_INT32, "maps_extra",
         SpanWide(G::I32, G::I32, 32, 36, sizeof(VortaAffineInt32Job)), exact},
        {"BIT_DECODE", VORTA_EXPORT_MAPS_EXTRA_BIT_DECODE, "maps_extra",
         DirectWith(G::I32, G::I32, sizeof(VortaBitDecodeJob), 16, [](Case&, std::mt19937_64&) {}), exact},
        {"CAST_DOUBLE", VORTA_EXPORT_MAPS_EXTRA_CAST_DOUBLE, "maps_extra", Direct(G::I64, G::F32), exact},
        {"HARD_SIGMOID", VORTA_EXPORT_PARAM_MAPS_HARD_SIGMOID, "param_maps", Span(G::F32, G::F32), exact},
        {"SHRINK", VORTA_EXPORT_PARAM_MAPS_SHRINK, "param_maps", Span(G::F32, G::F32, G::F32Positive), exact},
        {"GELU_ERF", VORTA_EXPORT_PARAM_MAPS_GELU_ERF, "param_maps", Span(G::F32, G::F32), transcendental},
        {"INFINITY_TEST", VORTA_EXPORT_PARAM_MAPS_INFINITY_TEST, "param_maps",
         DirectWith(G::F32, G::I32, sizeof(VortaInfinityTestJob), 8,
                    [](Case& c, std::mt19937_64& rng) { Put(c.record, 16, uint8_t(rng() % 2)), Put(c.record, 17, uint8_t(rng() % 2)); }),
         exact},
        {"HALF_TO_FLOAT", VORTA_EXPORT_PARAM_MAPS_HALF_TO_FLOAT, "param_maps", Direct(G::Half, G::F32), exact},
        {"DEQUANTIZE", VORTA_EXPORT_PARAM_MAPS_DEQUANTIZE, "param_maps",
         DirectWith(G::U8, G::F32, sizeof(VortaDequantizeJob), 8,
                    [](Case& c, std::mt19937_64& rng) { Put(c.record, 16, 0.01f * float(1 + rng() % 200)), Put(c.record, 20, uint8_t(rng())); }),
         exact},
        {"CATEGORICAL", VORTA_EXPORT_PARAM_MAPS_CATEGORICAL, "param_maps", Categorical, exact},
#define ARG(name, in, out, shape) {#name, VORTA_EXPORT_ARGREDUCE_##name, "argreduce", AxisJob(G::in, G::out, AxisOut::shape), exact}
        ARG(ARGMIN_FIRST_FLOAT, F32, I32, Line), ARG(ARGMIN_LAST_FLOAT, F32, I32, Line),
        ARG(ARGMAX_FIRST_FLOAT, F32, I32, Line), ARG(ARGMAX_LAST_FLOAT, F32, I32, Line),
        ARG(ARGMIN_FIRST_INT32, I32, I32, Line), ARG(ARGMIN_LAST_INT32, I32, I32, Line),
        ARG(ARGMAX_FIRST_INT32, I32, I32, Line), ARG(ARGMAX_LAST_INT32, I32, I32, Line),
        ARG(HARDMAX, F32, F32, Element),
#undef ARG
        {"SOFTMAX", VORTA_EXPORT_SOFTMAX_SOFTMAX, "softmax", AxisJob(G::F32Unit, G::F32, AxisOut::Element), transcendental},
        {"LOG_SOFTMAX", VORTA_EXPORT_SOFTMAX_LOG_SOFTMAX, "softmax", AxisJob(G::F32Unit, G::F32, AxisOut::Element), regrouped},
        {"CUMSUM_FLOAT", VORTA_EXPORT_CUMSUM_FLOAT, "cumsum", AxisJob(G::F32Unit, G::F32, AxisOut::CumSum), regrouped},
        {"CUMSUM_INT32", VORTA_EXPORT_CUMSUM_INT32, "cumsum", AxisJob(G::I32, G::I32, AxisOut::CumSum), exact},
        {"ROW_STATS", VORTA_EXPORT_NORMALIZATION_ROW_STATS, "normalization", Rows(RowJob::Stats), regrouped},
        {"LAYER_NORM", VORTA_EXPORT_NORMALIZATION_LAYER_NORM, "normalization", Rows(RowJob::Layer), transcendental},
        {"RMS_NORM", VORTA_EXPORT_NORMALIZATION_RMS_NORM, "normalization", Rows(RowJob::Rms), transcendental},
        {"BATCH_NORM", VORTA_EXPORT_NORMALIZATION_BATCH_NORM, "normalization", Channels(true), transcendental},
        {"STRIDED_ROW_COPY", VORTA_EXPORT_DATAMOVE_STRIDED_ROW_COPY, "datamove", RowCopy, exact},
        {"LOWER_TRIANGLE", VORTA_EXPORT_DATAMOVE_LOWER_TRIANGLE, "datamove", Triangle, exact},
        {"UPPER_TRIANGLE", VORTA_EXPORT_DATAMOVE_UPPER_TRIANGLE, "datamove", Triangle, exact},
        {"GATHER_AXIS", VORTA_EXPORT_DATAMOVE_GATHER_AXIS, "datamove", GatherAxis, exact},
        {"BROADCAST", VORTA_EXPORT_DATAMOVE_BROADCAST, "datamove", BroadcastCopy, exact},
        {"BROADCAST_2", VORTA_EXPORT_DATAMOVE_BROADCAST_2, "datamove", BroadcastCopy, exact},
        {"STRIDED_GATHER", VORTA_EXPORT_DATAMOVE_STRIDED_GATHER, "datamove", Transpose, exact},
        {"OVERLAP", VORTA_EXPORT_NMS_TOPK_OVERLAP, "nms_topk", Overlap, exact},
        {"SELECT", VORTA_EXPORT_NMS_TOPK_SELECT, "nms_topk", Select, exact},
        {"TOPK", VORTA_EXPORT_NMS_TOPK_TOPK, "nms_topk", TopK, exact},
        {"FILL", VORTA_EXPORT_RANDOM_FILL, "random", Generator(Fill0::Constant), exact},
        {"FLOAT_RANGE", VORTA_EXPORT_RANDOM_FLOAT_RANGE, "random", Generator(Fill0::FloatRange), exact},
        {"INT_RANGE", VORTA_EXPORT_RANDOM_INT_RANGE, "random", Generator(Fill0::IntRange), exact},
        {"UNIFORM", VORTA_EXPORT_RANDOM_UNIFORM, "random", Generator(Fill0::Uniform), exact},
        {"NORMAL", VORTA_EXPORT_RANDOM_NORMAL, "random", Generator(Fill0::Normal), transcendental},
        {"BERNOULLI", VORTA_EXPORT_RANDOM_BERNOULLI, "random", Generator(Fill0::Bernoulli), exact},
        {"AVERAGE", VORTA_EXPORT_POOLING_AVERAGE, "pooling", Pool, exact},
        {"MAX", VORTA_EXPORT_POOLING_MAX, "pooling", Pool, exact},
        {"PAD", VORTA_EXPORT_PAD, "pad", Pad, exact},
        {"UPSAMPLE", VORTA_EXPORT_RESIZE_UPSAMPLE, "resize", Upsample, exact},
        {"NORM_APPLY", VORTA_EXPORT_CONTRACTION_NORM_APPLY, "contraction", NormApply, transcendental},
        {"BOX_DEPTH_BOUNDS", VORTA_EXPORT_CONTRACTION_BOX_DEPTH_BOUNDS, "contraction", BoxDepth, transcendental},
        {"DEPTH_BOUNDS", VORTA_EXPORT_LIGHT_BINNING_DEPTH_BOUNDS, "light_binning", LightDepth, transcendental},
        {"SELECT", VORTA_EXPORT_GATHER_SCATTER_SELECT, "gather_scatter", ConditionSelect, exact},
        {"SLICE_READ", VORTA_EXPORT_DATAMOVE_SLICE_READ, "datamove", Slice(false), exact},
        {"SLICE_WRITE", VORTA_EXPORT_DATAMOVE_SLICE_WRITE, "datamove", Slice(true), exact},
        {"GATHER_ELEMENTS_AXIS", VORTA_EXPORT_DATAMOVE_GATHER_ELEMENTS_AXIS, "datamove", ElementsAxis(false), exact},
        {"SCATTER_ELEMENTS_AXIS", VORTA_EXPORT_DATAMOVE_SCATTER_ELEMENTS_AXIS, "datamove", ElementsAxis(true), exact},
        {"ONE_HOT", VORTA_EXPORT_DATAMOVE_ONE_HOT, "datamove", OneHot, exact},
        {"STEP", VORTA_EXPORT_LSTM_STEP, "lstm", RecurrentStep, transcendental},
        {"ALIGN", VORTA_EXPORT_ROIALIGN_ALIGN, "roialign", RoiAlign, regrouped},
        {"2D", VORTA_EXPORT_GRIDSAMPLE_2D, "gridsample", GridSample(2), regrouped},
        {"3D", VORTA_EXPORT_GRIDSAMPLE_3D, "gridsample", GridSample(3), regrouped},
        {"NEAREST", VORTA_EXPORT_RESIZE_NEAREST, "resize", Resize(false), exact},
        {"LINEAR", VORTA_EXPORT_RESIZE_LINEAR, "resize", Resize(true), exact},
        {"GATHER_ELEMENTS", VORTA_EXPORT_GATHER_SCATTER_GATHER_ELEMENTS, "gather_scatter", GatherElements, exact},
        {"LAYOUT_SUM", VORTA_EXPORT_GATHER_SCATTER_LAYOUT_SUM, "gather_scatter", LayoutSum, exact},
        {"SCATTER_TUPLES_FLOAT", VORTA_EXPORT_GATHER_SCATTER_SCATTER_TUPLES_FLOAT, "gather_scatter", ScatterTuples(true), exact},
        {"SCATTER_TUPLES_INT32", VORTA_EXPORT_GATHER_SCATTER_SCATTER_TUPLES_INT32, "gather_scatter", ScatterTuples(false), exact},
        {"SCATTER_ELEMENTS", VORTA_EXPORT_DATAMOVE_SCATTER_ELEMENTS, "datamove", ScatterElements, exact},
        {"GATHER_TUPLES", VORTA_EXPORT_GATHER_SCATTER_GATHER_TUPLES, "gather_scatter", GatherTuples, exact},
        {"COL2IM", VORTA_EXPORT_CONTRACTION_COL2IM, "contraction", Col2Im, regrouped},
        {"CONTRACT", VORTA_EXPORT_CONTRACTION_CONTRACT, "contraction", Contract, {0, 2 * 41 * 41 * kEps}},
        {"DEPTH_BINS", VORTA_EXPORT_DEPTHBINS_DEPTH_BINS, "depthbins", DepthBins, exact},
        {"TILE_RANGES", VORTA_EXPORT_DEPTHBINS_TILE_RANGES, "depthbins", TileRanges, exact},
        {"CHANNEL_AFFINE", VORTA_EXPORT_NORMALIZATION_CHANNEL_AFFINE, "normalization", Channels(false), exact},
        {"SCREEN_ROWS", VORTA_EXPORT_LIGHT_BINNING_SCREEN_ROWS, "light_binning", ScreenRows, exact},
        {"TRACKING", VORTA_EXPORT_TRANSFORMS_TRACKING, "transforms", Tracking, transcendental},
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
