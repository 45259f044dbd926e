// Long-input XXH3 with copy, through its exports, against Debian's libxxhash
// (an independent implementation) on random secrets and inputs, on both
// instruction-set variants, with and without a destination.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <random>
#include <vector>

#include "host/host.h"
#include "host/linked_module.h"

namespace {

namespace host = vorta::host;
using vorta::CpuVariant;

typedef uint64_t(VORTA_MSABI* Hash64Fn)(const uint8_t* input, uint8_t* destination,
                                        int64_t length, const uint8_t* secret);
typedef uint64_t*(VORTA_MSABI* Hash128Fn)(const uint8_t* input, uint8_t* destination,
                                          int64_t length, const uint8_t* secret,
                                          uint64_t* result);

constexpr size_t kSecretBytes = 192;

Hash64Fn Hash64() {
  return reinterpret_cast<Hash64Fn>(host::LinkedKernel("93df17b7366cd622dfa5ea2d3c75cf0b"));
}
Hash128Fn Hash128() {
  return reinterpret_cast<Hash128Fn>(host::LinkedKernel("f7daf29273ab2f86d86c27c3a1d6eeb5"));
}

void FillRandom(uint8_t* p, size_t n, std::mt19937_64& rng) {
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(rng());
}

struct Hashes {
  uint64_t h64;
  uint64_t low, high;
  bool operator==(const Hashes& o) const {
    return h64 == o.h64 && low == o.low && high == o.high;
  }
};

Hashes Reference(const uint8_t* input, size_t length, const uint8_t* secret) {
  XXH128_hash_t h = XXH3_128bits_withSecret(input, length, secret, kSecretBytes);
  return {XXH3_64bits_withSecret(input, length, secret, kSecretBytes), h.low64, h.high64};
}

// Both kernels on one input. With a destination, checks that it holds the input
// afterwards and that the guard bytes around it are untouched.
Hashes Kernels(const uint8_t* input, size_t length, const uint8_t* secret, bool copy,
               size_t destinationOffset = 0) {
  Hashes out{};
  constexpr size_t kGuard = 64;
  std::vector<uint8_t> dst;
  uint8_t* d = nullptr;
  if (copy) {
    dst.assign(length + 2 * kGuard + 64, 0xA5);
    // 64-byte aligned base, then the requested misalignment.
    uintptr_t base = (reinterpret_cast<uintptr_t>(dst.data()) + kGuard + 63) & ~uintptr_t(63);
    d = reinterpret_cast<uint8_t*>(base + destinationOffset);
  }
  out.h64 = Hash64()(input, d, static_cast<int64_t>(length), secret);
  if (copy) {
    EXPECT_EQ(memcmp(d, input, length), 0) << "64-bit kernel copy, length " << length;
    memset(d, 0x5A, length);
  }
  uint64_t result[2] = {1, 2};
  uint64_t* r = Hash128()(input, d, static_cast<int64_t>(length), secret, result);
  EXPECT_EQ(r, result);
  out.low = result[0];
  out.high = result[1];
  if (copy) {
    EXPECT_EQ(memcmp(d, input, length), 0) << "128-bit kernel copy, length " << length;
    const bool before = std::all_of(dst.data(), d, [](uint8_t b) { return b == 0xA5; });
    const bool after =
        std::all_of(d + length, dst.data() + dst.size(), [](uint8_t b) { return b == 0xA5; });
    EXPECT_TRUE(before && after) << "written outside the destination, length " << length;
  }
  return out;
}

class Xxh3 : public ::testing::TestWithParam<CpuVariant> {
 protected:
  void SetUp() override {
    if (GetParam() == CpuVariant::Avx2 && !host::CanRunAvx2()) GTEST_SKIP() << "no AVX2";
    host::InitializeLinked(GetParam());
  }
};

TEST_P(Xxh3, EveryLengthFrom241To4200MatchesTheReference) {
  std::mt19937_64 rng(241 + static_cast<int>(GetParam()));
  std::vector<uint8_t> buffer(4200 + 16);
  uint8_t secret[kSecretBytes];
  for (size_t length = 241; length <= 4200; ++length) {
    if (length % 97 == 241 % 97) FillRandom(secret, kSecretBytes, rng);
    // A different misalignment of input and destination for each length.
    const size_t offset = length % 16;
    uint8_t* input = buffer.data() + offset;
    FillRandom(input, length, rng);
    const Hashes want = Reference(input, length, secret);
    const bool copy = (length & 1) != 0;
    ASSERT_EQ(Kernels(input, length, secret, copy, (length / 2) % 16), want)
        << "length " << length << (copy ? " with destination" : "");
  }
}

// Lengths around multiples of 64 and 1024 (stripe and block edges, the
// multiple-of-1024-plus-1 case, the final partial stripe), up to several MiB and
// across the size where the copy switches to streaming stores.
TEST_P(Xxh3, LengthsAroundStripesAndBlocksUpToMegabytes) {
  std::mt19937_64 rng(7 + static_cast<int>(GetParam()));
  std::vector<size_t> lengths;
  for (size_t base : {size_t(1024), size_t(4096), size_t(65536), size_t(1) << 20,
                      (size_t(4) << 20) - 1024, size_t(4) << 20, size_t(6) << 20}) {
    for (int delta : {-65, -64, -63, -1, 0, 1, 63, 64, 65, 1023}) lengths.push_back(base + delta);
  }
  for (size_t k = 5; k <= 40; k += 7) lengths.push_back(64 * k + 1024 * k);
  const size_t maxLength = *std::max_element(lengths.begin(), lengths.end());
  std::vector<uint8_t> buffer(maxLength + 16);
  FillRandom(buffer.data(), buffer.size(), rng);
  uint8_t secret[kSecretBytes];
  for (size_t length : lengths) {
    FillRandom(secret, kSecretBytes, rng);
    const uint8_t* input = buffer.data() + length % 8;
    const Hashes want = Reference(input, length, secret);
    EXPECT_EQ(Kernels(input, length, secret, false), want) << "length " << length;
    // An aligned destination (streamed when large) and a misaligned one.
    EXPECT_EQ(Kernels(input, length, secret, true, 0), want) << "length " << length;
    EXPECT_EQ(Kernels(input, length, secret, true, 8), want) << "length " << length;
  }
}

// The input and the secret end right before an inaccessible page: a read past
// either end faults.
TEST_P(Xxh3, ReadsNothingPastTheInputOrTheSecret) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t span = 3 * page;
  uint8_t* region = static_cast<uint8_t*>(
      mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(region, MAP_FAILED);
  ASSERT_EQ(mprotect(region + span, page, PROT_NONE), 0);
  std::mt19937_64 rng(99);
  FillRandom(region, span, rng);
  uint8_t* secret = region + span - kSecretBytes;
  std::vector<uint8_t> copyOfSecret(secret, secret + kSecretBytes);
  for (size_t length : {size_t(241), size_t(1025), size_t(2 * page), size_t(3 * page - 300)}) {
    // The secret shares the tail of the region with the end of the input.
    const uint8_t* input = region + span - length;
    std::vector<uint8_t> in(input, input + length);
    const Hashes want = Reference(in.data(), length, copyOfSecret.data());
    EXPECT_EQ(Kernels(input, length, secret, false), want) << "length " << length;
    EXPECT_EQ(Kernels(input, length, secret, true, 3), want) << "length " << length;
  }
  munmap(region, span + page);
}

INSTANTIATE_TEST_SUITE_P(Variants, Xxh3, ::testing::Values(CpuVariant::Sse2, CpuVariant::Avx2),
                         [](const auto& info) { return host::VariantName(info.param); });

// The two variants on the same random inputs give the same integers.
TEST(Xxh3Variants, AgreeExactly) {
  if (!host::CanRunAvx2()) GTEST_SKIP() << "no AVX2";
  std::mt19937_64 rng(2024);
  std::vector<uint8_t> input(300000);
  FillRandom(input.data(), input.size(), rng);
  uint8_t secret[kSecretBytes];
  FillRandom(secret, kSecretBytes, rng);
  std::uniform_int_distribution<size_t> len(241, input.size());
  std::vector<size_t> lengths;
  for (int i = 0; i < 64; ++i) lengths.push_back(len(rng));
  std::vector<Hashes> sse2, avx2;
  host::InitializeLinked(CpuVariant::Sse2);
  for (size_t n : lengths) sse2.push_back(Kernels(input.data(), n, secret, (n & 1) != 0, n % 16));
  host::InitializeLinked(CpuVariant::Avx2);
  for (size_t n : lengths) avx2.push_back(Kernels(input.data(), n, secret, (n & 2) != 0, n % 32));
  for (size_t i = 0; i < lengths.size(); ++i)
    EXPECT_EQ(sse2[i], avx2[i]) << "length " << lengths[i];
}

}  // namespace
