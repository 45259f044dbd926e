// Padding (and cropping) of up to eight dimensions of 32-bit elements in the
// constant, reflect, edge, symmetric and wrap modes.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(Pad);

}  // namespace vorta::VORTA_NS
