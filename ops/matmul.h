// The matrix product behind operator "*" on two arrays.
#pragma once

#include "host/host_abi.h"

namespace hostmath {

// Product of two looked-up arrays for operator "*", reporting under "math *".
// The result record already holds the empty result. Arrays that are not
// both two-dimensional give the empty result without a report.
HostValue* multiply_matrices(HostValue* result, const RealArray& a, const RealArray& b, void* ctx);

}  // namespace hostmath
