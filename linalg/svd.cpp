// SPDX-License-Identifier: GPL-3.0-or-later
// math::svd: the singular values of an m x n matrix, descending, and on
// request U (m x p) and V (n x p), p = min(m, n), with A = U diag(s) V^T.
// GSL's one-sided Jacobi method works on A, or on A^T when m < n (whose
// factors are then V and U). Each column of V is turned so that its
// component of largest magnitude (the first on ties) is positive, and the
// matching column of U turns with it.
#include <gsl/gsl_linalg.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "kernels/scratch.h"
#include "linalg/matrix_args.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace linalg;

constexpr HostChar kSvdKey[] = u"math::svd";

// A (or A^T) as a GSL matrix of at least as many rows as columns.
GslMatrix tall_copy(const Matrix& a, bool transpose) {
    if (!transpose) return gsl_copy_of(a.data, a.rows, a.cols);
    GslMatrix t = new_gsl_matrix(a.cols, a.rows);
    if (!t) return t;
    for (int64_t i = 0; i < a.rows; ++i) {
        for (int64_t j = 0; j < a.cols; ++j) gsl_matrix_set(t.get(), j, i, a.data[i * a.cols + j]);
    }
    return t;
}

// Column `col` of a GSL matrix into column j of a row-major array of p columns, times sign.
void put_column(const gsl_matrix* from, int64_t col, double sign, RealArray* to, int64_t j, int64_t p) {
    for (int64_t i = 0; i < static_cast<int64_t>(from->size1); ++i) to->data[i * p + j] = sign * gsl_matrix_get(from, i, col);
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(svd) {
    write_empty(result);
    if (last_index < 0 || last_index > 2) return fail(result, kSvdKey, kCodeArgumentCount, ctx);
    Matrix a;
    if (const int64_t code = read_matrix(args[0], &a)) return fail(result, kSvdKey, code, ctx);
    if (a.rows < 1 || a.cols < 1) return fail(result, kSvdKey, kCodeShape, ctx);
    if (!all_finite(a.data, a.rows * a.cols)) return fail(result, kSvdKey, kCodeNotFinite, ctx);

    // The Jacobi method factors tall x p = left diag(s) right^T.
    const bool transpose = a.rows < a.cols;
    const int64_t p = std::min(a.rows, a.cols);
    GslMatrix left = tall_copy(a, transpose);
    GslMatrix right = new_gsl_matrix(p, p);
    GslVector s = new_gsl_vector(p);
    Scratch<int64_t> order(p);
    if (!left || !right || !s || !order.ok()) return fail(result, kSvdKey, kCodeNoMemory, ctx);
    if (const int status = gsl_linalg_SV_decomp_jacobi(left.get(), right.get(), s.get())) {
        report_kind(-1, kSvdKey, status, ctx);
        return result;
    }
    const gsl_matrix* u = transpose ? right.get() : left.get();
    const gsl_matrix* v = transpose ? left.get() : right.get();

    // Descending; equal values keep the method's order.
    std::iota(order.get(), order.get() + p, int64_t{0});
    std::stable_sort(order.get(), order.get() + p,
                     [&](int64_t x, int64_t y) { return gsl_vector_get(s.get(), x) > gsl_vector_get(s.get(), y); });

    // The sign that makes the largest component of V's column `col` positive.
    auto sign_of = [v](int64_t col) {
        int64_t at = 0;
        for (int64_t i = 1; i < static_cast<int64_t>(v->size1); ++i) {
            if (std::fabs(gsl_matrix_get(v, i, col)) > std::fabs(gsl_matrix_get(v, at, col))) at = i;
        }
        return gsl_matrix_get(v, at, col) < 0.0 ? -1.0 : 1.0;
    };
    // Each factor asked for is written in full before it is stored.
    OutArguments out(args, last_index + 1, 1, ctx);
    const gsl_matrix* factors[2] = {u, v};
    for (int64_t f = 0; f < 2 && out.given(f); ++f) {
        RealArray* w = new_matrix(static_cast<int64_t>(factors[f]->size1), p);
        if (w == nullptr) return fail(result, kSvdKey, kCodeNoMemory, ctx);
        for (int64_t j = 0; j < p; ++j) {
            const int64_t col = order[static_cast<size_t>(j)];
            put_column(factors[f], col, sign_of(col), w, j, p);
        }
        out.store(f, w);
    }
    const int64_t sizes[1] = {p};
    RealArray* values = new_array_shaped(sizes);
    if (values == nullptr) return fail(result, kSvdKey, kCodeNoMemory, ctx);
    for (int64_t j = 0; j < p; ++j) values->data[j] = gsl_vector_get(s.get(), order[static_cast<size_t>(j)]);
    return return_new_array(result, values, ctx);
}

}  // namespace hostmath
