// The arena allocator and the chunked pointer lists hammered by several
// threads, built with ThreadSanitizer: a data race in their lock-free paths
// fails the program even when every result happens to come out right.
//
// Linked from the allocator sources of one variant and the reference host's
// memory services, without the rest of the library.
#include <gtest/gtest.h>

#include "allocator_hammer.h"
#include "containers/allocators.h"
#include "frame/services.h"
#include "host/host.h"

namespace {

class AllocatorsUnderTsan : public ::testing::Test {
 protected:
  void SetUp() override {
    vorta::vorta_host_services[vorta::kMallocTracked] =
        reinterpret_cast<void*>(&vorta::host::service::MallocTracked);
    vorta::vorta_host_services[vorta::kFreeTracked] =
        reinterpret_cast<void*>(&vorta::host::service::FreeTracked);
  }
};

TEST_F(AllocatorsUnderTsan, Arena) {
  hammer::HammerArena({&vorta::VORTA_NS::ArenaAllocator}, 4, 6000, 11);
}

TEST_F(AllocatorsUnderTsan, ChunkedPointerLists) {
  hammer::HammerTracking({&vorta::VORTA_NS::TrackingAllocator}, 4, 6000, 12);
}

}  // namespace
