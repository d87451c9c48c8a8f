// SPDX-License-Identifier: GPL-3.0-or-later
// Operator "*" on two arrays: the matrix product of kernels/matmul.h on the
// host's arrays, with the operator's checks and reports.
#pragma once

#include "host/host_abi.h"

namespace hostmath {

// Product of two looked-up arrays for operator "*", reporting under "math *".
// The result record already holds the empty result. Arrays that are not
// both two-dimensional give the empty result without a report.
HostValue* multiply_matrices(HostValue* result, const RealArray& a, const RealArray& b, void* ctx);

}  // namespace hostmath
