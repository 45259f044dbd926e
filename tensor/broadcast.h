// The two-input broadcast jobs: int32 and float arithmetic, comparisons,
// bitwise operations, minimum and maximum, the parametric rectifier, the
// weighted sum and the two powers, all over the same odometer walk.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(BroadcastAddInt32);
VORTA_JOB_BODY(BroadcastSubtractInt32);
VORTA_JOB_BODY(BroadcastMultiplyInt32);
VORTA_JOB_BODY(BroadcastDivideInt32);
VORTA_JOB_BODY(BroadcastRemainderInt32);
VORTA_JOB_BODY(BroadcastModuloInt32);
VORTA_JOB_BODY(BroadcastMinInt32);
VORTA_JOB_BODY(BroadcastMaxInt32);
VORTA_JOB_BODY(BroadcastAndInt32);
VORTA_JOB_BODY(BroadcastOrInt32);
VORTA_JOB_BODY(BroadcastXorInt32);
VORTA_JOB_BODY(BroadcastEqualInt32);
VORTA_JOB_BODY(BroadcastLessInt32);
VORTA_JOB_BODY(BroadcastLessEqualInt32);
VORTA_JOB_BODY(BroadcastGreaterInt32);
VORTA_JOB_BODY(BroadcastGreaterEqualInt32);
VORTA_JOB_BODY(BroadcastAddFloat);
VORTA_JOB_BODY(BroadcastSubtractFloat);
VORTA_JOB_BODY(BroadcastMultiplyFloat);
VORTA_JOB_BODY(BroadcastDivideFloat);
VORTA_JOB_BODY(BroadcastRemainderFloat);
VORTA_JOB_BODY(BroadcastModuloFloat);
VORTA_JOB_BODY(BroadcastMinFloat);
VORTA_JOB_BODY(BroadcastMaxFloat);
VORTA_JOB_BODY(BroadcastPRelu);
VORTA_JOB_BODY(BroadcastWeightedSum);
VORTA_JOB_BODY(BroadcastPow);
VORTA_JOB_BODY(BroadcastPowInt);
VORTA_JOB_BODY(BroadcastEqualFloat);
VORTA_JOB_BODY(BroadcastLessFloat);
VORTA_JOB_BODY(BroadcastLessEqualFloat);
VORTA_JOB_BODY(BroadcastGreaterFloat);
VORTA_JOB_BODY(BroadcastGreaterEqualFloat);

}  // namespace vorta::VORTA_NS
