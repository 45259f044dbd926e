// Job records of the broadcast two-input operators; the definitions are the
// public header's, which lays them out exactly as the host writes them.
#pragma once
#include "vorta/vorta.h"

namespace vorta {

using BroadcastLayout = ::VortaBroadcastLayout;
using BroadcastBinaryJob = ::VortaBroadcastBinaryJob;
using BroadcastWeightedSumJob = ::VortaBroadcastWeightedSumJob;

}  // namespace vorta
