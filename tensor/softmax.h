// Softmax and log-softmax along an axis of an [outer][N][S] view.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(SoftmaxFloat);
VORTA_JOB_BODY(LogSoftmaxFloat);

}  // namespace vorta::VORTA_NS
