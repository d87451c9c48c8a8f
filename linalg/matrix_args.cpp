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

GslMatrix gsl_copy_of(const double* data, int64_t rows, int64_t cols, const SolverScaling& scaling, bool transpose) {
    GslMatrix m = transpose ? new_gsl_matrix(cols, rows) : new_gsl_matrix(rows, cols);
    if (!m) return m;
    for (int64_t i = 0; i < rows; ++i) {
        for (int64_t j = 0; j < cols; ++j) {
            const auto [r, c] = transpose ? std::pair{j, i} : std::pair{i, j};
            gsl_matrix_set(m.get(), static_cast<size_t>(r), static_cast<size_t>(c), scaling.apply(data[i * cols + j]));
        }
    }
    return m;
}

SolverScaling solver_scaling(const double* x, int64_t count) {
    double largest = 0.0;
    double smallest = HUGE_VAL;  // of the nonzero magnitudes
    for (int64_t i = 0; i < count; ++i) {
        const double m = std::fabs(x[i]);
        largest = std::max(largest, m);
        if (m != 0.0) smallest = std::min(smallest, m);
    }
    if (largest == 0.0) return {};
    constexpr double kWidestSpan = 0x1p-500;
    const bool mixed = smallest < std::ldexp(largest, -500);
    if (!mixed && largest >= 0x1p-256 && largest <= 0x1p256) return {};
    int exponent = 0;
    std::frexp(largest, &exponent);
    return SolverScaling{exponent, mixed ? kWidestSpan : 0.0};
}

void OutArguments::begin() {
    if (!begun_) {
        save_arrays_begin(ctx_, args_);
        begun_ = true;
    }
}

void OutArguments::store(int64_t i, RealArray* a) {
    begin();
    HostValue* record = &args_[first_ + i];
    tag_array(record, a);
    save_array(ctx_, record, args_);
}

void OutArguments::hand_back(RealArray* a) {
    if (a == nullptr) return;
    begin();
    // The host takes the array out of the record and keeps it with the
    // call's context; the record itself may go with this frame.
    HostValue record{};
    tag_array(&record, a);
    save_array(ctx_, &record, args_);
}

}  // namespace hostmath::linalg
