// Release of the host's native containers: the data buffer through the
// allocator that owns it, the header reset to read as destroyed, then the
// header itself. Each kernel takes one pointer, whose shape is in disposal.cpp.
#pragma once
#include "frame/abi.h"
#include "frame/allocation.h"
#include "frame/variant.h"

namespace vorta::VORTA_NS {

VORTA_MSABI void DisposeBitArray(void* record);
VORTA_MSABI void DisposeList(void* headerSlot);
VORTA_MSABI void DisposeText(void* headerSlot);
VORTA_MSABI void DisposeRingQueue(void* headerSlot);
VORTA_MSABI void DisposeHashContainer(void* headerSlot);
VORTA_MSABI void DisposeQueue(void* header);
VORTA_MSABI void DisposeQueueData(void* record);
VORTA_MSABI void DisposeBoxedBuffer(void* record);
VORTA_MSABI void DisposeSingleAllocation(void* record);
VORTA_MSABI void DisposeSingleAllocationIndexOnly(void* record);
VORTA_MSABI void DisposeBlockList(AllocationBlock* list);
VORTA_MSABI void DisposeNothing();

}  // namespace vorta::VORTA_NS
