// XXH3 long-input hashing of a byte buffer with a caller-supplied 192-byte
// secret, optionally copying the buffer in the same pass.
#pragma once
#include <stdint.h>

#include "frame/abi.h"
#include "frame/variant.h"

namespace vorta::VORTA_NS {

// The 64-bit hash of length bytes at input. When destination is not null the
// input is also copied there (length bytes, no overlap with the input).
// Inputs of 240 bytes or fewer take other paths of the algorithm; the host
// hashes them elsewhere.
VORTA_MSABI uint64_t Xxh3Hash64WithCopy(const uint8_t* input, uint8_t* destination,
                                        int64_t length, const uint8_t* secret);

// The 128-bit hash, low half first, written to result; returns result.
VORTA_MSABI uint64_t* Xxh3Hash128WithCopy(const uint8_t* input, uint8_t* destination,
                                          int64_t length, const uint8_t* secret,
                                          uint64_t* result);

}  // namespace vorta::VORTA_NS
