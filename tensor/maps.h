// The one-input element-wise map and cast jobs.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(MapCastInt32ToFloat);
VORTA_JOB_BODY(MapCastFloatToInt32);
VORTA_JOB_BODY(MapNegateInt32);
VORTA_JOB_BODY(MapAbsInt32);
VORTA_JOB_BODY(MapSignInt32);
VORTA_JOB_BODY(MapAffineInt32);
VORTA_JOB_BODY(MapLogicalNotInt32);
VORTA_JOB_BODY(MapSquareInt32);
VORTA_JOB_BODY(MapNegateFloat);
VORTA_JOB_BODY(MapAbsFloat);
VORTA_JOB_BODY(MapSignFloat);
VORTA_JOB_BODY(MapSquareFloat);
VORTA_JOB_BODY(MapSqrtFloat);
VORTA_JOB_BODY(MapReciprocalFloat);
VORTA_JOB_BODY(MapCeilFloat);
VORTA_JOB_BODY(MapFloorFloat);
VORTA_JOB_BODY(MapRoundFloat);
VORTA_JOB_BODY(MapRelu);
VORTA_JOB_BODY(MapRelu6);
VORTA_JOB_BODY(MapSoftSign);
VORTA_JOB_BODY(MapHardSwish);
VORTA_JOB_BODY(MapTwoSlope);
VORTA_JOB_BODY(MapThresholdedRelu);
VORTA_JOB_BODY(MapAffine);
VORTA_JOB_BODY(MapClipFloat);
VORTA_JOB_BODY(MapClipInt32);
VORTA_JOB_BODY(MapIsNan);
VORTA_JOB_BODY(MapCastHalfToFloat);
VORTA_JOB_BODY(MapCastFloatToHalf);
VORTA_JOB_BODY(MapCastInt64ToInt32);
VORTA_JOB_BODY(MapCastUint8ToInt32);
VORTA_JOB_BODY(MapCastInt8ToInt32);
VORTA_JOB_BODY(MapCastBoolToInt32);
VORTA_JOB_BODY(MapQuantizeUint8);
VORTA_JOB_BODY(MapBitRemapInt32);
VORTA_JOB_BODY(MapBitDecodeInt32);
VORTA_JOB_BODY(MapCastDoubleToFloat);
VORTA_JOB_BODY(MapInPlacePass);

}  // namespace vorta::VORTA_NS
