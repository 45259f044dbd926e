// Job records of the one-input element-wise maps; the definitions are the
// public header's, which lays them out exactly as the host writes them.
#pragma once
#include "vorta/vorta.h"

#include "vorta/vorta.h"

namespace vorta {

using UnaryMapJob = ::VortaUnaryMapJob;    // members with a length: the span loop
using ClipInt32Job = ::VortaClipInt32Job;  // bounds further on
using DirectMapJob = ::VortaDirectMapJob;  // members without a length: the direct loop
using QuantizeJob = ::VortaQuantizeJob;

// The further maps' own records.
using SeluJob = ::VortaSeluJob;
using AffineInt32Job = ::VortaAffineInt32Job;
using BitDecodeJob = ::VortaBitDecodeJob;

}  // namespace vorta
