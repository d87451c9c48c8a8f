// math::inv and the Gauss-Jordan elimination behind it.
//
// The fast elimination keeps every rounded operation of the plain one and
// changes only how the data is walked:
// - each step is one sweep over the rows; a row's update (sub-steps 6 and 7)
//   runs across its columns, many independent elements per instruction, and
//   the row's share of the next step's pivot search runs on the new values
//   while they are still in registers;
// - the column swap of a step is done row by row inside that sweep, instead
//   of a strided pass over the whole matrix;
// - the closing unscramble does its row swaps first and then, row by row, all
//   column swaps of that row (row and column permutations commute, so the
//   elements land exactly where the step-by-step swaps put them).
#include "array/inverse.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "array/inverse_kernels.h"
#include "array/math_array.h"
#include "array/scratch.h"
#include "entry/script_functions.h"

namespace hostmath {

namespace inverse_detail {

double sweep_row_baseline(double* row, const double* pivot_row, int64_t n, int64_t k, int64_t search_from) {
    const double m = row[k];
    for (int64_t j = 0; j < search_from; ++j) row[j] = row[j] - pivot_row[j] * m;
    double largest = 0.0;
    for (int64_t j = search_from; j < n; ++j) {
        const double x = row[j] - pivot_row[j] * m;
        row[j] = x;
        if (std::fabs(x) > largest) largest = std::fabs(x);
    }
    row[k] = -(m * pivot_row[k]);
    return largest;
}

}  // namespace inverse_detail

namespace {

constexpr HostChar kInvKey[] = u"math::inv";

enum InverseCode : int64_t {
    kNotAnArray = 1,
    kNotSquare = 2,   // also a shape that does not account for the elements
    kNoMemory = 3,    // the result array or an index table
    kSingular = 4,
};

inverse_detail::RowSweep sweep_of(MatmulKernel kernel) {
#if HOSTMATH_X86_64
    switch (kernel) {
        case MatmulKernel::kAvx512: return inverse_detail::sweep_row_avx512;
        case MatmulKernel::kAvx2: return inverse_detail::sweep_row_avx2;
        case MatmulKernel::kBaseline: break;
    }
#else
    (void)kernel;
#endif
    return inverse_detail::sweep_row_baseline;
}

double* row_of(double* a, int64_t n, int64_t i) { return a + i * n; }
const double* row_of(const double* a, int64_t n, int64_t i) { return a + i * n; }

void swap_rows(double* a, int64_t n, int64_t r, int64_t s) {
    std::swap_ranges(row_of(a, n, r), row_of(a, n, r) + n, row_of(a, n, s));
}

void swap_columns(double* a, int64_t n, int64_t c, int64_t d) {
    for (int64_t i = 0; i < n; ++i) std::swap(a[i * n + c], a[i * n + d]);
}

// The first column in [from, n) whose magnitude equals `magnitude`.
int64_t first_column_of(const double* row, int64_t n, int64_t from, double magnitude) {
    int64_t j = from;
    while (j < n && std::fabs(row[j]) != magnitude) ++j;
    return j;
}

// The steps' closing permutation: for k = n-1 down to 0, rows k and
// pivot_cols[k] change places, and columns k and pivot_rows[k].
void unscramble(double* a, int64_t n, const int64_t* pivot_rows, const int64_t* pivot_cols) {
    for (int64_t k = n - 1; k >= 0; --k) {
        if (pivot_cols[k] != k) swap_rows(a, n, k, pivot_cols[k]);
    }
    for (int64_t i = 0; i < n; ++i) {
        double* row = row_of(a, n, i);
        for (int64_t k = n - 1; k >= 0; --k) {
            if (pivot_rows[k] != k) std::swap(row[k], row[pivot_rows[k]]);
        }
    }
}

}  // namespace

// ---- the parts of one step ----------------------------------------------------------

Pivot search_pivot(const double* a, int64_t n, int64_t k, int64_t row_begin, int64_t row_end) {
    Pivot best;
    for (int64_t i = row_begin; i < row_end; ++i) {
        const double* row = row_of(a, n, i);
        for (int64_t j = k; j < n; ++j) {
            if (std::fabs(row[j]) > best.magnitude) best = Pivot{std::fabs(row[j]), i, j};
        }
    }
    return best;
}

void prepare_pivot_row(double* a, int64_t n, int64_t k, int64_t pivot_row, int64_t pivot_col) {
    if (pivot_row != k) swap_rows(a, n, k, pivot_row);
    double* row = row_of(a, n, k);
    if (pivot_col != k) std::swap(row[k], row[pivot_col]);
    row[k] = 1.0 / row[k];
    const double inverse = row[k];
    for (int64_t j = 0; j < k; ++j) row[j] = row[j] * inverse;
    for (int64_t j = k + 1; j < n; ++j) row[j] = row[j] * inverse;
}

Pivot eliminate_rows(MatmulKernel kernel, double* a, int64_t n, int64_t k, int64_t pivot_col, int64_t row_begin,
                     int64_t row_end) {
    const inverse_detail::RowSweep sweep = sweep_of(kernel);
    const double* pivot_row = row_of(a, n, k);
    Pivot best;
    for (int64_t i = row_begin; i < row_end; ++i) {
        if (i == k) continue;
        double* row = row_of(a, n, i);
        if (pivot_col != k) std::swap(row[k], row[pivot_col]);
        const int64_t search_from = i > k ? k + 1 : n;
        const double largest = sweep(row, pivot_row, n, k, search_from);
        // Only a strictly larger row maximum can move the pivot; its first
        // column is then found on the row just written, still in cache.
        if (largest > best.magnitude) best = Pivot{largest, i, first_column_of(row, n, search_from, largest)};
    }
    return best;
}

// ---- whole inversions -------------------------------------------------------------------

bool invert_with(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols) {
    if (n <= 0) return true;
    Pivot pivot = search_pivot(a, n, 0, 0, n);
    for (int64_t k = 0; k < n; ++k) {
        if (negligible_pivot(pivot.magnitude)) return false;
        pivot_rows[k] = pivot.row;
        pivot_cols[k] = pivot.col;
        prepare_pivot_row(a, n, k, pivot.row, pivot.col);
        pivot = eliminate_rows(kernel, a, n, k, pivot.col, 0, n);
    }
    unscramble(a, n, pivot_rows, pivot_cols);
    return true;
}

bool invert_in_place(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols) {
    // The sweep streams the matrix through the cache once per step; 512-bit
    // registers only help where they run at full width.
    const MatmulKernel kernel = best_kernel();
    return invert_with(kernel, a, n, pivot_rows, pivot_cols);
}

bool invert_reference(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols) {
    for (int64_t k = 0; k < n; ++k) {
        double big = 0.0;
        int64_t pr = k, pc = k;
        for (int64_t i = k; i < n; ++i) {
            for (int64_t j = k; j < n; ++j) {
                if (std::fabs(a[i * n + j]) > big) {
                    big = std::fabs(a[i * n + j]);
                    pr = i;
                    pc = j;
                }
            }
        }
        pivot_rows[k] = pr;
        pivot_cols[k] = pc;
        if (big + 1.0 == 1.0) return false;
        if (pr != k) swap_rows(a, n, k, pr);
        if (pc != k) swap_columns(a, n, k, pc);
        a[k * n + k] = 1.0 / a[k * n + k];
        for (int64_t j = 0; j < n; ++j) {
            if (j != k) a[k * n + j] = a[k * n + j] * a[k * n + k];
        }
        for (int64_t i = 0; i < n; ++i) {
            if (i == k) continue;
            for (int64_t j = 0; j < n; ++j) {
                if (j != k) a[i * n + j] = a[i * n + j] - a[k * n + j] * a[i * n + k];
            }
        }
        for (int64_t i = 0; i < n; ++i) {
            if (i != k) a[i * n + k] = -(a[i * n + k] * a[k * n + k]);
        }
    }
    for (int64_t k = n - 1; k >= 0; --k) {
        if (pivot_cols[k] != k) swap_rows(a, n, k, pivot_cols[k]);
        if (pivot_rows[k] != k) swap_columns(a, n, k, pivot_rows[k]);
    }
    return true;
}

// ---- the script function -------------------------------------------------------------------

HOSTMATH_SCRIPT_FUNCTION(inv) {
    (void)last_index;  // registered for exactly one argument
    // Every failure returns this null array, or the new array once it exists.
    write_null_array(result);
    const RealArray* a = lookup_array(args[0]);
    if (a == nullptr) {
        report(kInvKey, kNotAnArray, ctx);
        return result;
    }
    if (a->ndims != 2 || a->dims[0] != a->dims[1] || !has_consistent_shape(*a)) {
        report(kInvKey, kNotSquare, ctx);
        return result;
    }
    const int64_t n = a->dims[0];
    RealArray* inverse = new_matrix(n, n);
    if (inverse == nullptr) {
        report(kInvKey, kNoMemory, ctx);
        return result;
    }
    if (n > 0) std::memcpy(inverse->data, a->data, static_cast<size_t>(n * n) * sizeof(double));
    return_new_array(result, inverse, ctx);
    Scratch<int64_t> pivot_rows(n), pivot_cols(n);
    if (!pivot_rows.ok() || !pivot_cols.ok()) {
        report(kInvKey, kNoMemory, ctx);
        return result;
    }
    if (!invert_in_place(inverse->data, n, pivot_rows.get(), pivot_cols.get())) report(kInvKey, kSingular, ctx);
    return result;
}

}  // namespace hostmath
