// Internal to the matrix inversion: the row kernels of one elimination step,
// one per instruction set (array/inverse*.cpp).
#pragma once

#include <cstdint>

#include "ops/matmul_kernels.h"

namespace hostmath::inverse_detail {

// Step k for one row other than k, whose pivot column is already in place:
// row[j] = row[j] - pivot_row[j] * m for every j != k, where m is row[k] as
// it was on entry, then row[k] = -(m * pivot_row[k]). Returns the largest
// magnitude among the new values in columns [search_from, n), NaN never
// counting, or 0.0 when there are none; search_from is k + 1 for rows below
// the pivot and n for rows above it. Column k may be written with any value
// before its final one.
using RowSweep = double (*)(double* row, const double* pivot_row, int64_t n, int64_t k, int64_t search_from);

double sweep_row_baseline(double* row, const double* pivot_row, int64_t n, int64_t k, int64_t search_from);
#if HOSTMATH_X86_64
double sweep_row_avx2(double* row, const double* pivot_row, int64_t n, int64_t k, int64_t search_from);
double sweep_row_avx512(double* row, const double* pivot_row, int64_t n, int64_t k, int64_t search_from);
#endif

}  // namespace hostmath::inverse_detail
