// SPDX-License-Identifier: GPL-3.0-or-later
// The data movement of the transpose operator, on its own for the
// benchmark and the tests.
#pragma once

#include <cstdint>

namespace hostmath {

// A thread joins a transpose only for at least this many elements of its
// own (docs/performance.md, "Threads", has the measurements behind it).
inline constexpr int64_t kTransposeElementsPerThread = int64_t{1} << 17;

// t (cols x rows) = transpose of a (rows x cols), both row-major and not
// overlapping, on up to `threads` threads. Works in square tiles so that
// both the rows read and the columns written stay in cache; the result is
// the plain double loop's.
void transpose_elements(const double* a, int64_t rows, int64_t cols, double* t, int threads = 1);

}  // namespace hostmath
