// SPDX-License-Identifier: GPL-3.0-or-later
#include "kernels/qr_least_squares.h"

#include <gsl/gsl_linalg.h>

#include <algorithm>
#include <cmath>

namespace hostmath {

QrLeastSquares::Outcome QrLeastSquares::factorise(const StridedMatrix& a) {
    rows_ = a.rows;
    cols_ = a.cols;
    const auto m = static_cast<size_t>(rows_), n = static_cast<size_t>(cols_);
    qr_.reset(allocate_gated(gsl_matrix_alloc, m, n));
    t_.reset(allocate_gated(gsl_matrix_alloc, n, n));
    rhs_.reset(allocate_gated(gsl_vector_alloc, m));
    x_.reset(allocate_gated(gsl_vector_alloc, m));
    work_.reset(allocate_gated(gsl_vector_alloc, n));
    if (!qr_ || !t_ || !rhs_ || !x_ || !work_) return Outcome::kNoMemory;
    for (size_t i = 0; i < m; ++i) {
        for (size_t j = 0; j < n; ++j) {
            gsl_matrix_set(qr_.get(), i, j, a.at(static_cast<int64_t>(i), static_cast<int64_t>(j)));
        }
    }
    gsl_status_ = gsl_linalg_QR_decomp_r(qr_.get(), t_.get());
    if (gsl_status_ != 0) return Outcome::kFactorFailed;
    return rank_deficient() ? Outcome::kRankDeficient : Outcome::kFactorised;
}

bool QrLeastSquares::rank_deficient() const {
    double largest = 0.0;
    for (int64_t j = 0; j < cols_; ++j) {
        largest = std::max(largest, std::fabs(gsl_matrix_get(qr_.get(), static_cast<size_t>(j), static_cast<size_t>(j))));
    }
    const double floor = 0x1p-52 * static_cast<double>(rows_) * largest;
    for (int64_t i = 0; i < cols_; ++i) {
        if (!(std::fabs(gsl_matrix_get(qr_.get(), static_cast<size_t>(i), static_cast<size_t>(i))) > floor)) return true;
    }
    return false;
}

void QrLeastSquares::solve(const double* b, int64_t b_stride, double* x, int64_t x_stride) {
    for (int64_t i = 0; i < rows_; ++i) gsl_vector_set(rhs_.get(), static_cast<size_t>(i), b[i * b_stride]);
    gsl_linalg_QR_lssolve_r(qr_.get(), t_.get(), rhs_.get(), x_.get(), work_.get());
    for (int64_t j = 0; j < cols_; ++j) x[j * x_stride] = gsl_vector_get(x_.get(), static_cast<size_t>(j));
}

}  // namespace hostmath
