// Matrix inversion behind math::inv: Gauss-Jordan elimination with complete
// pivoting, in place.
//
// The arithmetic is fixed element by element. At step k the pivot is the
// element of largest magnitude among rows and columns k..n-1, the first in
// row-major scan order on ties (NaN is never chosen); it is swapped to
// (k, k), inverted, row k is multiplied by it, every other element becomes
// a(i, j) - a(k, j) * a(i, k), and column k becomes -(a(i, k) * a(k, k)).
// Every variant below performs exactly these rounded operations on exactly
// these operands, so all give bit-identical results; they differ only in how
// many independent elements they compute at once and in when they move data.
#pragma once

#include <cstdint>

#include "ops/matmul.h"

namespace hostmath {

// The pivot for a step, or a partial result of its search over some rows:
// the largest magnitude found and its first position in scan order.
// magnitude 0.0 with row and col -1: nothing larger than 0 was found.
struct Pivot {
    double magnitude = 0.0;
    int64_t row = -1;
    int64_t col = -1;
};

// Partial searches over consecutive row ranges combine in scan order: a
// later range wins only with a strictly larger magnitude.
inline Pivot later_in_scan_order(const Pivot& earlier, const Pivot& later) {
    return later.magnitude > earlier.magnitude ? later : earlier;
}

// The singularity test: a magnitude that vanishes next to 1.0 (at most 2^-53).
inline bool negligible_pivot(double magnitude) { return magnitude + 1.0 == 1.0; }

// Inverts the n x n row-major matrix `a` in place; pivot_rows and pivot_cols
// (n entries each) receive the pivot chosen at each step. Returns false when
// a step finds a negligible pivot; `a` then holds the values after the last
// completed step. The kernel must be supported (kernel_supported).
bool invert_with(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols);
// The same with the fastest kernel for this processor.
bool invert_in_place(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols);
// The elimination exactly as it reads, one element at a time with full row
// and column swaps: the reference the fast variants are checked against.
bool invert_reference(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols);

// ---- the parts of one step, over ranges of rows -----------------------------------
// Rows are independent within a step, so a step may be split into row ranges
// that run in any order (or at once); their pivot searches combine with
// later_in_scan_order, range after range.

// The pivot search of step k over rows [row_begin, row_end) (within k..n-1)
// and columns k..n-1.
Pivot search_pivot(const double* a, int64_t n, int64_t k, int64_t row_begin, int64_t row_end);

// Step k for rows [row_begin, row_end), all but row k: swaps columns k and
// pivot_col in each row, then applies the update and the new column k.
// Row k must already be swapped into place, inverted and scaled
// (prepare_pivot_row). Returns the search of step k + 1 over those rows.
Pivot eliminate_rows(MatmulKernel kernel, double* a, int64_t n, int64_t k, int64_t pivot_col, int64_t row_begin,
                     int64_t row_end);

// Step k for row k: the row swap with pivot_row, the column swap with
// pivot_col, the inversion of a(k, k) and the scaling of the row.
void prepare_pivot_row(double* a, int64_t n, int64_t k, int64_t pivot_row, int64_t pivot_col);

}  // namespace hostmath
