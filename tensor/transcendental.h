// The transcendental element-wise maps: exponential, logarithm, hyperbolic
// functions and their inverses, the logistic family and the exponential linear
// units, the error function, the tanh-form GELU, the trigonometric functions
// and the inverse sine, cosine and tangent.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(MapExp);
VORTA_JOB_BODY(MapLog);
VORTA_JOB_BODY(MapSinh);
VORTA_JOB_BODY(MapCosh);
VORTA_JOB_BODY(MapTanh);
VORTA_JOB_BODY(MapAsinh);
VORTA_JOB_BODY(MapAcosh);
VORTA_JOB_BODY(MapAtanh);
VORTA_JOB_BODY(MapSigmoid);
VORTA_JOB_BODY(MapSwish);
VORTA_JOB_BODY(MapSoftplus);
VORTA_JOB_BODY(MapElu);
VORTA_JOB_BODY(MapCelu);
VORTA_JOB_BODY(MapSelu);
VORTA_JOB_BODY(MapErf);
VORTA_JOB_BODY(MapGeluTanh);
VORTA_JOB_BODY(MapAsin);
VORTA_JOB_BODY(MapAcos);
VORTA_JOB_BODY(MapAtan);
VORTA_JOB_BODY(MapCos);
VORTA_JOB_BODY(MapSin);
VORTA_JOB_BODY(MapTan);

}  // namespace vorta::VORTA_NS
