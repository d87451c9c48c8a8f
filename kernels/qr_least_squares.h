// SPDX-License-Identifier: GPL-3.0-or-later
// Least squares by Householder QR (GSL's recursive factorisation and its
// solver), shared by every function that fits a matrix of full column rank:
// the matrix is factorised once, then each right-hand side is solved on its
// own. All working memory passes the allocation gate and is released with
// the object.
#pragma once

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cstdint>

#include "kernels/allocation.h"

namespace hostmath {

// An m x n matrix read through strides: element (i, j) is at
// data[i * row_stride + j * col_stride] (row-major: n, 1; column-major: 1, m).
struct StridedMatrix {
    const double* data;
    int64_t rows;
    int64_t cols;
    int64_t row_stride;
    int64_t col_stride;
    double at(int64_t i, int64_t j) const { return data[i * row_stride + j * col_stride]; }
};

class QrLeastSquares {
public:
    enum class Outcome { kFactorised, kNoMemory, kRankDeficient, kFactorFailed };

    // Factorises a (rows >= cols >= 1). kFactorFailed leaves GSL's status in
    // gsl_status(). Rank deficient: some |R(i, i)| at most 2^-52 m max |R(j, j)|,
    // or all of them 0.
    Outcome factorise(const StridedMatrix& a);
    int gsl_status() const { return gsl_status_; }

    // The least-squares solution for the right-hand side b(i) = b[i * b_stride],
    // i < rows, written to x[j * x_stride], j < cols. Only after kFactorised.
    void solve(const double* b, int64_t b_stride, double* x, int64_t x_stride);

private:
    using GslMatrix = Owned<gsl_matrix, gsl_matrix_free>;
    using GslVector = Owned<gsl_vector, gsl_vector_free>;

    bool rank_deficient() const;

    int64_t rows_ = 0;
    int64_t cols_ = 0;
    int gsl_status_ = 0;
    GslMatrix qr_;
    GslMatrix t_;
    GslVector rhs_;
    GslVector x_;  // the solution, then the residual
    GslVector work_;
};

}  // namespace hostmath
