// The block replicator and the pair release, both through host services.
#include "tensor/buffer_utilities.h"

#include "frame/services.h"
#include "vorta/vorta.h"

namespace vorta::VORTA_NS {
namespace {

template <class T>
T Read(const void* args) {
  T t;
  __builtin_memcpy(&t, args, sizeof t);
  return t;
}

// Pieces a block too large for the service's 32-bit size is copied in.
constexpr uint64_t kPieceBytes = uint64_t(1) << 31;

}  // namespace

// A negative count or number of copies describes no block: nothing is copied
// (the service would take either as a size of up to 4 GiB). A block of 4 GiB or
// more, whose size does not fit the service's 32 bits, goes copy by copy in pieces.
VORTA_MSABI void ReplicateBlock(const void* args) {
  const auto a = Read<VortaReplicateBlockArgs>(args);
  if (a.count < 0 || a.copies < 0) return;
  const auto replicate = ServiceSlot<svc::MemCpyReplicate>(kMemCpyReplicate);
  const uint64_t bytes = uint64_t(a.count) * 4;
  if (bytes <= UINT32_MAX) {
    replicate(a.destination, a.source, uint32_t(bytes), uint32_t(a.copies));
    return;
  }
  auto* dst = static_cast<uint8_t*>(a.destination);
  const auto* src = static_cast<const uint8_t*>(a.source);
  for (int32_t copy = 0; copy < a.copies; ++copy, dst += bytes)
    for (uint64_t done = 0; done < bytes; done += kPieceBytes) {
      const uint64_t piece = bytes - done < kPieceBytes ? bytes - done : kPieceBytes;
      replicate(dst + done, src + done, uint32_t(piece), 1);
    }
}

// The label goes to the host unchanged.
VORTA_MSABI void ReleaseBufferPair(const void* args) {
  const auto a = Read<VortaBufferPairArgs>(args);
  const auto release = ServiceSlot<svc::Free>(kFree);
  if (a.first) release(a.first, uint32_t(a.allocator));
  if (a.second) release(a.second, uint32_t(a.allocator));
}

}  // namespace vorta::VORTA_NS
