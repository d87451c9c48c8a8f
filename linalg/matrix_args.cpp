// SPDX-License-Identifier: GPL-3.0-or-later
#include "linalg/matrix_args.h"

#include <algorithm>
#include <cmath>

namespace hostmath::linalg {

int64_t read_matrix(const HostValue& v, Matrix* out) {
    const RealArray* a = array_arg(v);
    if (a == nullptr) return kCodeNotAnArray;
    if (a->ndims != 2 || !has_consistent_shape(*a)) return kCodeShape;
    *out = Matrix{a->data, a->dims[0], a->dims[1]};
    return 0;
}

int64_t read_square(const HostValue& v, Matrix* out) {
    if (const int64_t code = read_matrix(v, out)) return code;
    return out->rows == out->cols && out->rows >= 1 ? int64_t{0} : int64_t{kCodeShape};
}

int64_t read_right_side(const HostValue& v, int64_t rows, RightSide* out) {
    const RealArray* b = array_arg(v);
    if (b == nullptr) return kCodeRightSideNotArray;
    if (!has_consistent_shape(*b)) return kCodeRightSideShape;
    int64_t cols = 0;
    if (b->ndims == 1 && b->dims[0] == rows) {
        cols = 1;
    } else if (b->ndims == 2 && b->dims[0] == rows) {
        cols = b->dims[1];
    } else if (b->ndims == 2 && b->dims[0] == 1 && b->dims[1] == rows) {
        cols = 1;  // a row vector holds its column contiguously as well
    } else {
        return kCodeRightSideShape;
    }
    *out = RightSide{b, cols};
    return 0;
}

bool all_finite(const double* x, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        if (!std::isfinite(x[i])) return false;
    }
    return true;
}

GslMatrix new_gsl_matrix(int64_t rows, int64_t cols) {
    return GslMatrix{allocate_gated(gsl_matrix_alloc, static_cast<size_t>(rows), static_cast<size_t>(cols))};
}

GslVector new_gsl_vector(int64_t size) { return GslVector{allocate_gated(gsl_vector_alloc, static_cast<size_t>(size))}; }

GslMatrix gsl_copy_of(const double* data, int64_t rows, int64_t cols, int exponent) {
    GslMatrix m = new_gsl_matrix(rows, cols);
    if (!m) return m;
    for (int64_t i = 0; i < rows; ++i) {
        for (int64_t j = 0; j < cols; ++j) {
            gsl_matrix_set(m.get(), static_cast<size_t>(i), static_cast<size_t>(j),
                           std::ldexp(data[i * cols + j], -exponent));
        }
    }
    return m;
}

int scale_exponent(const double* x, int64_t count) {
    double largest = 0.0;
    for (int64_t i = 0; i < count; ++i) largest = std::max(largest, std::fabs(x[i]));
    if (largest == 0.0 || (largest >= 0x1p-256 && largest <= 0x1p256)) return 0;
    int exponent = 0;
    std::frexp(largest, &exponent);
    return exponent;
}

void OutArguments::store(int64_t i, RealArray* a) {
    if (!begun_) {
        save_arrays_begin(ctx_, args_);
        begun_ = true;
    }
    HostValue* record = &args_[first_ + i];
    tag_array(record, a);
    save_array(ctx_, record, args_);
}

}  // namespace hostmath::linalg
