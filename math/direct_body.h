// Declares a direct-call kernel body with exactly the entry shape of its public
// function-pointer type, so a body cannot drift from the header hosts compile
// against.
#pragma once
#include "frame/abi.h"
#include "frame/variant.h"
#include "vorta/vorta.h"

#define VORTA_DIRECT_BODY(name, Fn) extern __typeof__(*(Fn) nullptr) name
