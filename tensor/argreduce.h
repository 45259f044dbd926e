// Arg-min, arg-max and hardmax along an axis of an [outer][N][S] view.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(ArgMinFirstFloat);
VORTA_JOB_BODY(ArgMinLastFloat);
VORTA_JOB_BODY(ArgMaxFirstFloat);
VORTA_JOB_BODY(ArgMaxLastFloat);
VORTA_JOB_BODY(ArgMinFirstInt32);
VORTA_JOB_BODY(ArgMinLastInt32);
VORTA_JOB_BODY(ArgMaxFirstInt32);
VORTA_JOB_BODY(ArgMaxLastInt32);
VORTA_JOB_BODY(HardmaxFloat);

}  // namespace vorta::VORTA_NS
