// XXH3 long-input hashing with the copy folded into the hashing pass: every
// input word is loaded once, stored to the destination and accumulated.
//
// The eight 64-bit accumulators live in registers as 64-bit lanes (four SSE2
// registers or two AVX2 registers); the stripe accumulation and the scramble
// are written once over the lane type. All arithmetic is on integers, so both
// variants give the same hash.
#include "containers/xxh3.h"

#include <type_traits>

#include "containers/lanes64.h"

namespace vorta::VORTA_NS {
namespace {

constexpr int64_t kStripeBytes = 64;
constexpr int kStripesPerBlock = 16;
constexpr int64_t kBlockBytes = kStripeBytes * kStripesPerBlock;
constexpr int kSecretAdvance = 8;       // secret offset step from one stripe to the next
constexpr int kScrambleSecret = 128;
constexpr int kLastStripeSecret = 121;  // 192 - 64 - 7
constexpr int kMergeLowSecret = 11;
constexpr int kMergeHighSecret = 117;   // 192 - 64 - 11

constexpr uint64_t kPrime32_1 = 0x9E3779B1u;
constexpr uint64_t kPrime64_1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime64_2 = 0xC2B2AE3D27D4EB4Full;

alignas(64) constexpr uint64_t kInitialAccumulators[8] = {
    0xC2B2AE3Du,           0x9E3779B185EBCA87ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
    0x85EBCA77C2B2AE63ull, 0x85EBCA77u,           0x27D4EB2F165667C5ull, 0x9E3779B1u};

// Destinations this large are written with non-temporal stores: they would not
// stay in cache anyway, and streaming saves reading every destination line in
// before it is overwritten.
constexpr int64_t kStreamingBytes = int64_t(4) << 20;

// How far ahead of the stripe being hashed the input is fetched into L1.
constexpr int kPrefetchBytes = 512;

typedef Lanes64 L;
typedef L::V V;
constexpr int kRegs = kStripeBytes / L::kBytes;

// How a hashed stripe reaches the destination, and whether the input is
// prefetched ahead (it pays off when reading alone from memory; with ordinary
// stores the hardware prefetcher does better left to itself).
struct NoCopy {
  static constexpr bool kPrefetch = true;
  static inline __attribute__((always_inline)) void Put(uint8_t*, V) {}
};
struct CopyStore {
  static constexpr bool kPrefetch = false;
  static inline __attribute__((always_inline)) void Put(uint8_t* p, V v) { L::Store(p, v); }
};
struct CopyStream {
  static constexpr bool kPrefetch = true;
  static inline __attribute__((always_inline)) void Put(uint8_t* p, V v) { L::Stream(p, v); }
};

static inline uint64_t Read64(const uint8_t* p) {
  uint64_t v;
  __builtin_memcpy(&v, p, 8);
  return v;
}

// acc[i ^ 1] += d[i]; acc[i] += lo32(d[i] ^ key[i]) * hi32(d[i] ^ key[i]).
template <class Out>
static inline __attribute__((always_inline)) void AccumulateStripe(V* acc, const uint8_t* in,
                                                                   uint8_t* out,
                                                                   const uint8_t* key) {
  if (Out::kPrefetch) {
    _mm_prefetch(reinterpret_cast<const char*>(in) + kPrefetchBytes, _MM_HINT_T0);
  }
  for (int j = 0; j < kRegs; ++j) {
    V d = L::Load(in + j * L::kBytes);
    __asm__("" : "+x"(d));  // one load serves the copy, the key mix and the swap
    Out::Put(out + j * L::kBytes, d);
    const V x = L::Xor(d, L::Load(key + j * L::kBytes));
    const V product = L::MulLow32(x, L::ShiftRight<32>(x));
    acc[j] = L::Add(acc[j], L::SwapPairs(d));
    acc[j] = L::Add(acc[j], product);
    // Keeps the sums in stripe order: left free, the compiler regroups the adds of
    // an unrolled block into a tree whose partial sums spill to the stack.
    __asm__("" : "+x"(acc[j]));
  }
}

// acc = (acc ^ (acc >> 47) ^ key) * PRIME32_1, the 64-by-32-bit product taken
// as two 32-by-32-bit halves.
static inline __attribute__((always_inline)) void Scramble(V* acc, const uint8_t* key) {
  const V prime = L::Splat(kPrime32_1);
  for (int j = 0; j < kRegs; ++j) {
    V a = L::Xor(acc[j], L::ShiftRight<47>(acc[j]));
    a = L::Xor(a, L::Load(key + j * L::kBytes));
    const V low = L::MulLow32(a, prime);
    const V high = L::MulLow32(L::ShiftRight<32>(a), prime);
    acc[j] = L::Add(low, L::ShiftLeft<32>(high));
  }
}

// The accumulators after every stripe of the input. With a destination, the
// full blocks and the stripes after them are stored as they are hashed; the
// last stripe (the final 64 bytes) is stored whole, which rewrites bytes already
// there with the same values and covers the tail the stripes did not reach.
template <class Out>
static __attribute__((noinline)) void AccumulateAll(uint64_t* accOut, const uint8_t* in,
                                                    uint8_t* out, int64_t length,
                                                    const uint8_t* secret) {
  V acc[kRegs];
  for (int j = 0; j < kRegs; ++j) acc[j] = L::Load(kInitialAccumulators + j * (L::kBytes / 8));

  const int64_t blocks = (length - 1) / kBlockBytes;
  for (int64_t b = 0; b < blocks; ++b) {
    const uint8_t* blockIn = in + b * kBlockBytes;
    uint8_t* blockOut = out + b * kBlockBytes;
    // The secret words are reloaded for every block (they stay in L1): hoisted
    // out of the loop they would not fit in registers and be spilled instead.
    const uint8_t* key = secret;
    __asm__ volatile("" : "+r"(key));
#pragma GCC unroll 16
    for (int s = 0; s < kStripesPerBlock; ++s) {
      AccumulateStripe<Out>(acc, blockIn + s * kStripeBytes, blockOut + s * kStripeBytes,
                            key + s * kSecretAdvance);
    }
    Scramble(acc, key + kScrambleSecret);
  }

  const int64_t stripes = ((length - 1) % kBlockBytes) / kStripeBytes;
  const uint8_t* restIn = in + blocks * kBlockBytes;
  uint8_t* restOut = out + blocks * kBlockBytes;
  for (int64_t s = 0; s < stripes; ++s) {
    AccumulateStripe<Out>(acc, restIn + s * kStripeBytes, restOut + s * kStripeBytes,
                          secret + s * kSecretAdvance);
  }

  if constexpr (std::is_same_v<Out, NoCopy>) {
    AccumulateStripe<NoCopy>(acc, in + length - kStripeBytes, out, secret + kLastStripeSecret);
  } else {
    if constexpr (std::is_same_v<Out, CopyStream>) _mm_sfence();
    AccumulateStripe<CopyStore>(acc, in + length - kStripeBytes, out + length - kStripeBytes,
                                secret + kLastStripeSecret);
  }

  for (int j = 0; j < kRegs; ++j) L::Store(accOut + j * (L::kBytes / 8), acc[j]);
}

static void HashState(uint64_t* acc, const uint8_t* input, uint8_t* destination, int64_t length,
                      const uint8_t* secret) {
  if (!destination) {
    // Never written: stands in for the destination so no pointer is formed from null.
    AccumulateAll<NoCopy>(acc, input, const_cast<uint8_t*>(input), length, secret);
  } else if (length >= kStreamingBytes && (reinterpret_cast<uintptr_t>(destination) & 15) == 0) {
    AccumulateAll<CopyStream>(acc, input, destination, length, secret);
  } else {
    AccumulateAll<CopyStore>(acc, input, destination, length, secret);
  }
}

// The full 128-bit product of a and b, its halves combined by XOR.
static inline uint64_t Fold(uint64_t a, uint64_t b) {
  const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  return static_cast<uint64_t>(p) ^ static_cast<uint64_t>(p >> 64);
}

static inline uint64_t Avalanche(uint64_t h) {
  h ^= h >> 37;
  h *= 0x165667919E3779F9ull;
  return h ^ (h >> 32);
}

static uint64_t Merge(const uint64_t* acc, const uint8_t* key, uint64_t start) {
  uint64_t v = start;
  for (int i = 0; i < 4; ++i) {
    v += Fold(acc[2 * i] ^ Read64(key + 16 * i), acc[2 * i + 1] ^ Read64(key + 16 * i + 8));
  }
  return Avalanche(v);
}

}  // namespace

VORTA_MSABI uint64_t Xxh3Hash64WithCopy(const uint8_t* input, uint8_t* destination,
                                        int64_t length, const uint8_t* secret) {
  alignas(32) uint64_t acc[8];
  HashState(acc, input, destination, length, secret);
  return Merge(acc, secret + kMergeLowSecret, static_cast<uint64_t>(length) * kPrime64_1);
}

VORTA_MSABI uint64_t* Xxh3Hash128WithCopy(const uint8_t* input, uint8_t* destination,
                                          int64_t length, const uint8_t* secret,
                                          uint64_t* result) {
  alignas(32) uint64_t acc[8];
  HashState(acc, input, destination, length, secret);
  const uint64_t n = static_cast<uint64_t>(length);
  result[0] = Merge(acc, secret + kMergeLowSecret, n * kPrime64_1);
  result[1] = Merge(acc, secret + kMergeHighSecret, ~(n * kPrime64_2));
  return result;
}

}  // namespace vorta::VORTA_NS
