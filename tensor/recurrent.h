// One time step of a long short-term memory layer for every batch element.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(RecurrentStep);

}  // namespace vorta::VORTA_NS
