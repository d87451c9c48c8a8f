// SPDX-License-Identifier: GPL-3.0-or-later
#include "kernels/dense_lu.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "array/scratch.h"
#include "ops/parallel.h"

namespace hostmath {

namespace {

// Columns per panel of the blocked factorisations: wide enough that the
// trailing update runs as a product with a deep inner dimension, narrow
// enough that the column-by-column panel stays a small part of the work.
constexpr int64_t kPanelWidth = 96;

// Below this order the plain loops are as fast as anything blocked.
constexpr int64_t kBlockedFrom = 2 * kPanelWidth;

// The first row r in [s, n) with the largest |a(r, s)|, or -1 when no
// candidate has a nonzero magnitude. NaN compares false and is never taken.
int64_t pivot_row(const double* a, int64_t n, int64_t s) {
    double best = 0.0;
    int64_t row = -1;
    for (int64_t r = s; r < n; ++r) {
        const double m = std::fabs(a[r * n + s]);
        if (m > best) {
            best = m;
            row = r;
        }
    }
    return row;
}

void swap_rows(double* a, int64_t width, int64_t r1, int64_t r2) {
    std::swap_ranges(a + r1 * width, a + (r1 + 1) * width, a + r2 * width);
}

// x[j] = x[j] - l * y[j] for j in [0, count): one term for each element.
void subtract_scaled(double* x, double l, const double* y, int64_t count) {
    for (int64_t j = 0; j < count; ++j) x[j] = x[j] - l * y[j];
}

// Step s of the elimination, as far as column `end` (exclusive): the pivot
// search and swap, the multipliers of every row below, and their updates
// of columns s+1 .. end-1. False when no pivot can be had.
bool eliminate_step(double* a, int64_t n, int64_t s, int64_t end, int64_t* pivot, int64_t* swaps) {
    const int64_t p = pivot_row(a, n, s);
    if (p < 0) return false;
    pivot[s] = p;
    if (p != s) {
        swap_rows(a, n, s, p);
        ++*swaps;
    }
    const double* u = a + s * n;
    const double d = u[s];
    for (int64_t r = s + 1; r < n; ++r) {
        double* row = a + r * n;
        const double l = row[s] / d;
        row[s] = l;
        subtract_scaled(row + s + 1, l, u + s + 1, end - s - 1);
    }
    return true;
}

LuStatus last_pivot(const double* a, int64_t n) {
    return a[n * n - 1] == 0.0 ? LuStatus::kSingular : LuStatus::kFactored;
}

// Rows p0 .. p0+pb-1 of U to the right of the panel: row s takes away
// l(s, t) times row t for t = p0 .. s-1, in that order.
void solve_panel_rows(double* a, int64_t n, int64_t p0, int64_t pb, int threads) {
    const int64_t right = p0 + pb;
    parallel::for_ranges(threads, right, n, 64, [&](int64_t lo, int64_t hi) {
        for (int64_t s = p0 + 1; s < right; ++s) {
            double* row = a + s * n;
            for (int64_t t = p0; t < s; ++t) subtract_scaled(row + lo, row[t], a + t * n + lo, hi - lo);
        }
    });
}

}  // namespace

int factor_threads(int64_t n) {
    // Each thread should have a product's worth of multiply-adds in the
    // first trailing update to be worth its start.
    const double work = static_cast<double>(n) * static_cast<double>(n) * kPanelWidth;
    return parallel::threads_for(work < 0x1p62 ? static_cast<int64_t>(work) : INT64_MAX, kMultiplyAddsPerThread);
}

LuStatus lu_factor_plain(double* a, int64_t n, int64_t* pivot, int64_t* swaps) {
    *swaps = 0;
    for (int64_t s = 0; s + 1 < n; ++s) {
        if (!eliminate_step(a, n, s, n, pivot, swaps)) return LuStatus::kSingular;
    }
    return last_pivot(a, n);
}

LuStatus lu_factor_with(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot, int64_t* swaps, int threads) {
    *swaps = 0;
    for (int64_t p0 = 0; p0 < n; p0 += kPanelWidth) {
        const int64_t pb = std::min(kPanelWidth, n - p0);
        const int64_t right = p0 + pb;
        for (int64_t s = p0; s < right && s + 1 < n; ++s) {
            if (!eliminate_step(a, n, s, right, pivot, swaps)) return LuStatus::kSingular;
        }
        if (right == n) break;
        solve_panel_rows(a, n, p0, pb, threads);
        const int64_t rest = n - right;
        multiply_subtract_with(kernel, a + right * n + p0, n, a + p0 * n + right, n, a + right * n + right, n, rest,
                               pb, rest, threads);
    }
    return last_pivot(a, n);
}

LuStatus lu_factor(double* a, int64_t n, int64_t* pivot, int64_t* swaps, int threads) {
    if (n < kBlockedFrom) return lu_factor_plain(a, n, pivot, swaps);
    return lu_factor_with(best_kernel(), a, n, pivot, swaps, threads);
}

void lu_solve(const double* lu, int64_t n, const int64_t* pivot, double* b, int64_t k) {
    for (int64_t s = 0; s + 1 < n; ++s) {
        if (pivot[s] != s) swap_rows(b, k, s, pivot[s]);
    }
    // Row by row, so that every column's running value gets its terms in
    // the stated order while the inner loop runs across the columns.
    for (int64_t r = 1; r < n; ++r) {
        double* br = b + r * k;
        for (int64_t s = 0; s < r; ++s) subtract_scaled(br, lu[r * n + s], b + s * k, k);
    }
    for (int64_t r = n - 1; r >= 0; --r) {
        double* br = b + r * k;
        for (int64_t q = r + 1; q < n; ++q) subtract_scaled(br, lu[r * n + q], b + q * k, k);
        const double d = lu[r * n + r];
        for (int64_t c = 0; c < k; ++c) br[c] = br[c] / d;
    }
}

double lu_determinant(const double* lu, int64_t n, int64_t swaps) {
    double det = 1.0;
    for (int64_t i = 0; i < n; ++i) det = det * lu[i * n + i];
    return swaps % 2 != 0 ? -det : det;
}

namespace {

// Columns j0 .. end-1 of the factor, rows j0 .. n-1, from the values in a
// that already carry the terms of every column before j0: column j takes
// away its terms of columns j0 .. j-1, in that order, then the square root
// or the division. False at a d that is not positive or is NaN.
bool cholesky_columns(double* a, int64_t n, int64_t j0, int64_t end) {
    for (int64_t j = j0; j < end; ++j) {
        double* lj = a + j * n;
        double d = lj[j];
        for (int64_t k = j0; k < j; ++k) d = d - lj[k] * lj[k];
        if (!(d > 0.0)) return false;
        const double diag = std::sqrt(d);
        lj[j] = diag;
        for (int64_t i = j + 1; i < n; ++i) {
            double* li = a + i * n;
            double x = li[j];
            for (int64_t k = j0; k < j; ++k) x = x - li[k] * lj[k];
            li[j] = x / diag;
        }
    }
    return true;
}

void clear_upper(double* a, int64_t n) {
    for (int64_t j = 0; j + 1 < n; ++j) std::fill(a + j * n + j + 1, a + (j + 1) * n, 0.0);
}

}  // namespace

bool cholesky_factor_plain(double* a, int64_t n) {
    if (!cholesky_columns(a, n, 0, n)) return false;
    clear_upper(a, n);
    return true;
}

bool cholesky_factor_with(MatmulKernel kernel, double* a, int64_t n, int threads) {
    // The panel's columns transposed, so that the trailing update reads
    // them as the product's right operand.
    Scratch<double> transposed(kPanelWidth * n);
    if (!transposed.ok()) return cholesky_factor_plain(a, n);
    for (int64_t p0 = 0; p0 < n; p0 += kPanelWidth) {
        const int64_t pb = std::min(kPanelWidth, n - p0);
        const int64_t right = p0 + pb;
        if (!cholesky_columns(a, n, p0, right)) return false;
        if (right == n) break;
        // t(k, i) = l(i, p0 + k) for the rows i below the panel.
        const int64_t rest = n - right;
        double* t = transposed.get();
        for (int64_t i = 0; i < rest; ++i) {
            for (int64_t k = 0; k < pb; ++k) t[k * rest + i] = a[(right + i) * n + p0 + k];
        }
        // The lower triangle of the rest takes away l(i, k) l(j, k) for the
        // panel's k in order, a block of columns at a time, each from its
        // diagonal down (what lies above it in the block is never read).
        for (int64_t c0 = 0; c0 < rest; c0 += kPanelWidth) {
            const int64_t width = std::min(kPanelWidth, rest - c0);
            multiply_subtract_with(kernel, a + (right + c0) * n + p0, n, t + c0, rest, a + (right + c0) * n + right + c0,
                                   n, rest - c0, pb, width, threads);
        }
    }
    clear_upper(a, n);
    return true;
}

bool cholesky_factor(double* a, int64_t n, int threads) {
    if (n < kBlockedFrom) return cholesky_factor_plain(a, n);
    return cholesky_factor_with(best_kernel(), a, n, threads);
}

}  // namespace hostmath
