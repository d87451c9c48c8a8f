// SPDX-License-Identifier: GPL-3.0-or-later
// math::svd: the singular values of an m x n matrix, descending, and on
// request U (m x p) and V (n x p), p = min(m, n), with A = U diag(s) V^T.
// GSL's Golub-Reinsch method (bidiagonalisation, then implicitly shifted QR
// steps, at most 100 p of them before it reports GSL_EMAXITER) works on A,
// or on A^T when m < n (whose factors are then V and U). Each column of V
// is turned so that its component of largest magnitude (the first on ties)
// is positive, and the matching column of U turns with it. Every result
// array is made before any is handed over, so that a failure hands over
// none.
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

    // The method factors tall x p = left diag(s) right^T.
    const bool transpose = a.rows < a.cols;
    const int64_t p = std::min(a.rows, a.cols);
    const SolverScaling scaling = solver_scaling(a.data, a.rows * a.cols);
    GslMatrix left = gsl_copy_of(a.data, a.rows, a.cols, scaling, transpose);
    GslMatrix right = new_gsl_matrix(p, p);
    GslVector s = new_gsl_vector(p);
    GslVector work = new_gsl_vector(p);
    Scratch<int64_t> order(p);
    if (!left || !right || !s || !work || !order.ok()) return fail(result, kSvdKey, kCodeNoMemory, ctx);
    if (const int status = gsl_linalg_SV_decomp(left.get(), right.get(), s.get(), work.get())) {
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
    // Every array first, each written in full; then the factors asked for
    // are stored and the values returned.
    OutArguments out(args, last_index + 1, 1, ctx);
    const int64_t sizes[1] = {p};
    RealArray* values = new_array_shaped(sizes);
    const gsl_matrix* factors[2] = {u, v};
    RealArray* made[2] = {nullptr, nullptr};
    bool complete = values != nullptr;
    for (int64_t f = 0; f < 2 && out.given(f) && complete; ++f) {
        made[f] = new_matrix(static_cast<int64_t>(factors[f]->size1), p);
        complete = made[f] != nullptr;
    }
    if (!complete) {
        for (RealArray* unused : {values, made[0], made[1]}) out.hand_back(unused);
        return fail(result, kSvdKey, kCodeNoMemory, ctx);
    }
    for (int64_t j = 0; j < p; ++j) {
        const int64_t col = order[static_cast<size_t>(j)];
        values->data[j] = std::ldexp(gsl_vector_get(s.get(), col), scaling.exponent);
        for (int64_t f = 0; f < 2; ++f) {
            if (made[f] != nullptr) put_column(factors[f], col, sign_of(col), made[f], j, p);
        }
    }
    for (int64_t f = 0; f < 2; ++f) {
        if (made[f] != nullptr) out.store(f, made[f]);
    }
    return return_new_array(result, values, ctx);
}

}  // namespace hostmath
