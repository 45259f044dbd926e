// Job records of the axis jobs; the definitions are the public header's. The
// input is a dense row-major block [outer][N][S] and the output [outer][S]; the
// host runs the job over outer × S output indices.
#pragma once
#include "vorta/vorta.h"

namespace vorta {

using AxisReduceJob = ::VortaAxisReduceJob;
using AxisMeanJob = ::VortaAxisMeanJob;  // also leaves 1/N in the record

}  // namespace vorta
