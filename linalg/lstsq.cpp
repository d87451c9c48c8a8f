// SPDX-License-Identifier: GPL-3.0-or-later
// math::lstsq: the least-squares solution of A X = B for an m x n matrix A
// of full column rank (m >= n), by GSL's Householder QR, one column of B at
// a time (kernels/qr_least_squares.h).
#include "kernels/qr_least_squares.h"
#include "linalg/matrix_args.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace linalg;

constexpr HostChar kLstsqKey[] = u"math::lstsq";

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

    QrLeastSquares qr;
    switch (qr.factorise(StridedMatrix{a.data, m, n, n, 1})) {
        case QrLeastSquares::Outcome::kFactorised: break;
        case QrLeastSquares::Outcome::kNoMemory: return fail(result, kLstsqKey, kCodeNoMemory, ctx);
        case QrLeastSquares::Outcome::kRankDeficient: return fail(result, kLstsqKey, kCodeSingular, ctx);
        case QrLeastSquares::Outcome::kFactorFailed: report_kind(-1, kLstsqKey, qr.gsl_status(), ctx); return result;
    }

    RealArray* out = new_solution(*b.array, m, n);
    if (out == nullptr) return fail(result, kLstsqKey, kCodeNoMemory, ctx);
    // The elements of B (and of X) lie row by row, k to a row.
    for (int64_t c = 0; c < k; ++c) qr.solve(b.array->data + c, k, out->data + c, k);
    return return_new_array(result, out, ctx);
}

}  // namespace hostmath
