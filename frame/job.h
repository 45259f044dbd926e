// Declares a parallel job body in the variant being compiled.
#pragma once
#include "frame/abi.h"
#include "frame/variant.h"

#define VORTA_JOB_BODY(name)                                                              \
  VORTA_MSABI void name(void* job, void* additional, void* patch, ::vorta::BatchRanges* ranges, \
                        uint32_t jobIndex)

// A job body that hands its record, as `const Job*`, to a family's run loop
// (the loop itself, possibly a template-id with commas, is the last argument).
#define VORTA_JOB_RUNNING(name, Job, ...) \
  VORTA_JOB_BODY(name) { __VA_ARGS__(static_cast<const Job*>(job), ranges, jobIndex); }
