// SPDX-License-Identifier: GPL-3.0-or-later
// math::lstsq: the least-squares solution of A X = B for an m x n matrix A
// of full column rank (m >= n), by GSL's Householder QR, one column of B at
// a time.
#include <gsl/gsl_linalg.h>

#include <algorithm>
#include <cmath>

#include "linalg/matrix_args.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace linalg;

constexpr HostChar kLstsqKey[] = u"math::lstsq";

// Rank deficient: some |R(i, i)| at most 2^-52 m max |R(j, j)|, or all of them 0.
bool rank_deficient(const gsl_matrix* qr, int64_t m, int64_t n) {
    double largest = 0.0;
    for (int64_t j = 0; j < n; ++j) largest = std::max(largest, std::fabs(gsl_matrix_get(qr, j, j)));
    const double floor = 0x1p-52 * static_cast<double>(m) * largest;
    for (int64_t i = 0; i < n; ++i) {
        if (!(std::fabs(gsl_matrix_get(qr, i, i)) > floor)) return true;
    }
    return false;
}

// The result: B's shape with n in place of its m rows (a row vector stays a row).
RealArray* new_solution(const RealArray& b, int64_t m, int64_t n) {
    int64_t sizes[2] = {b.dims[0], b.ndims == 2 ? b.dims[1] : 0};
    if (b.ndims == 2 && b.dims[0] == 1 && b.dims[1] == m && m != 1) {
        sizes[1] = n;
    } else {
        sizes[0] = n;
    }
    return new_array_shaped(std::span<const int64_t>(sizes, static_cast<size_t>(b.ndims)));
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(lstsq) {
    write_empty(result);
    if (last_index != 1) return fail(result, kLstsqKey, kCodeArgumentCount, ctx);
    Matrix a;
    if (const int64_t code = read_matrix(args[0], &a)) return fail(result, kLstsqKey, code, ctx);
    const int64_t m = a.rows, n = a.cols;
    if (n < 1 || m < n) return fail(result, kLstsqKey, kCodeShape, ctx);
    RightSide b;
    if (const int64_t code = read_right_side(args[1], m, &b)) return fail(result, kLstsqKey, code, ctx);
    const int64_t k = b.cols;
    if (!all_finite(a.data, m * n) || !all_finite(b.array->data, m * k))
        return fail(result, kLstsqKey, kCodeNotFinite, ctx);

    GslMatrix qr = gsl_copy_of(a.data, m, n);
    GslMatrix t = new_gsl_matrix(n, n);
    GslVector column = new_gsl_vector(m);
    GslVector x = new_gsl_vector(m);  // the solution, then the residual
    GslVector work = new_gsl_vector(n);
    if (!qr || !t || !column || !x || !work) return fail(result, kLstsqKey, kCodeNoMemory, ctx);
    if (const int status = gsl_linalg_QR_decomp_r(qr.get(), t.get())) {
        report_kind(-1, kLstsqKey, status, ctx);
        return result;
    }
    if (rank_deficient(qr.get(), m, n)) return fail(result, kLstsqKey, kCodeSingular, ctx);

    RealArray* out = new_solution(*b.array, m, n);
    if (out == nullptr) return fail(result, kLstsqKey, kCodeNoMemory, ctx);
    // The elements of B (and of X) lie row by row, k to a row.
    for (int64_t c = 0; c < k; ++c) {
        for (int64_t i = 0; i < m; ++i) gsl_vector_set(column.get(), i, b.array->data[i * k + c]);
        gsl_linalg_QR_lssolve_r(qr.get(), t.get(), column.get(), x.get(), work.get());
        for (int64_t i = 0; i < n; ++i) out->data[i * k + c] = gsl_vector_get(x.get(), i);
    }
    return return_new_array(result, out, ctx);
}

}  // namespace hostmath
