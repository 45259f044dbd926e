// The parameterised maps (hard sigmoid, the error-function GELU, shrink, the
// infinity test, half to float, dequantize), categorical sampling, the
// selected-box list and three small direct-call utilities.
#pragma once
#include <vorta/vorta.h>

#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(MapHardSigmoid);
VORTA_JOB_BODY(MapGeluErf);
VORTA_JOB_BODY(MapShrink);
VORTA_JOB_BODY(MapIsInfinity);
VORTA_JOB_BODY(MapHalfToFloatFlushed);
VORTA_JOB_BODY(MapDequantizeUint8);
VORTA_JOB_BODY(SampleCategorical);
VORTA_MSABI void ListSelectedBoxes(::VortaSelectedBoxList* list);
VORTA_MSABI void ZeroFill(::VortaZeroFillArgs* args);
VORTA_MSABI int32_t ReadControlState();
VORTA_MSABI int32_t ReturnZero();

}  // namespace vorta::VORTA_NS
