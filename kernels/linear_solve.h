// SPDX-License-Identifier: GPL-3.0-or-later
// Gaussian elimination with full pivoting, in a fixed order of operations so
// that the same system gives the same bits everywhere.
#pragma once

#include <cstdint>

#include "kernels/matmul.h"

namespace hostmath {

enum class SolveResult { kSolved, kSingular, kNoMemory };

// Solves A z = b in place: `a` is n x n, row-major, and is destroyed; `b`
// becomes z. Singular when a pivot, or the last diagonal element, is
// negligible next to 1 (at most 2^-53). kNoMemory when the n column numbers
// the pivoting records cannot be allocated. `kernel` names the instruction
// set of the row updates; every kernel gives the same bits.
SolveResult solve_full_pivoting(double* a, double* b, int64_t n, MatmulKernel kernel = best_kernel());

}  // namespace hostmath
