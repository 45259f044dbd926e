// Declares a parallel job body in the variant being compiled.
#pragma once
#include "frame/abi.h"
#include "frame/variant.h"

#define VORTA_JOB_BODY(name)                                                              \
  VORTA_MSABI void name(void* job, void* additional, void* patch, ::vorta::BatchRanges* ranges, \
                        uint32_t jobIndex)
