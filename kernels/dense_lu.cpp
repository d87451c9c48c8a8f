#include "kernels/dense_lu.h"

#include <algorithm>
#include <cmath>

namespace hostmath {

namespace {

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

}  // namespace

LuStatus lu_factor(double* a, int64_t n, int64_t* pivot, int64_t* swaps) {
    *swaps = 0;
    for (int64_t s = 0; s + 1 < n; ++s) {
        const int64_t p = pivot_row(a, n, s);
        if (p < 0) return LuStatus::kSingular;
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
            for (int64_t j = s + 1; j < n; ++j) row[j] = row[j] - l * u[j];
        }
    }
    if (a[n * n - 1] == 0.0) return LuStatus::kSingular;
    return LuStatus::kFactored;
}

void lu_solve(const double* lu, int64_t n, const int64_t* pivot, double* b, int64_t k) {
    for (int64_t s = 0; s + 1 < n; ++s) {
        if (pivot[s] != s) swap_rows(b, k, s, pivot[s]);
    }
    // Row by row, so that every column's running value gets its terms in
    // the stated order while the inner loop runs across the columns.
    for (int64_t r = 1; r < n; ++r) {
        double* br = b + r * k;
        for (int64_t s = 0; s < r; ++s) {
            const double l = lu[r * n + s];
            const double* bs = b + s * k;
            for (int64_t c = 0; c < k; ++c) br[c] = br[c] - l * bs[c];
        }
    }
    for (int64_t r = n - 1; r >= 0; --r) {
        double* br = b + r * k;
        for (int64_t q = r + 1; q < n; ++q) {
            const double u = lu[r * n + q];
            const double* bq = b + q * k;
            for (int64_t c = 0; c < k; ++c) br[c] = br[c] - u * bq[c];
        }
        const double d = lu[r * n + r];
        for (int64_t c = 0; c < k; ++c) br[c] = br[c] / d;
    }
}

double lu_determinant(const double* lu, int64_t n, int64_t swaps) {
    double det = 1.0;
    for (int64_t i = 0; i < n; ++i) det = det * lu[i * n + i];
    return swaps % 2 != 0 ? -det : det;
}

bool cholesky_factor(double* a, int64_t n) {
    for (int64_t j = 0; j < n; ++j) {
        double* lj = a + j * n;
        double d = lj[j];
        for (int64_t k = 0; k < j; ++k) d = d - lj[k] * lj[k];
        if (!(d > 0.0)) return false;
        const double diag = std::sqrt(d);
        lj[j] = diag;
        std::fill(lj + j + 1, lj + n, 0.0);
        for (int64_t i = j + 1; i < n; ++i) {
            double* li = a + i * n;
            double x = li[j];
            for (int64_t k = 0; k < j; ++k) x = x - li[k] * lj[k];
            li[j] = x / diag;
        }
    }
    return true;
}

}  // namespace hostmath
