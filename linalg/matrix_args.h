// SPDX-License-Identifier: GPL-3.0-or-later
// What every linear-algebra function shares: its codes, the checks of its
// matrix and right-hand-side arguments, and the GSL matrices it works in.
#pragma once

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cstdint>

#include "kernels/allocation.h"
#include "script/math_array.h"

namespace hostmath::linalg {

// One set of codes for the family (reported with kind 1).
enum Code : int64_t {
    kCodeArgumentCount = 1,
    kCodeNotAnArray = 2,         // A
    kCodeShape = 3,              // A's shape
    kCodeRightSideNotArray = 4,  // B
    kCodeNotPositiveDefinite = 4,
    kCodeRightSideShape = 5,  // B's shape
    kCodeNotFinite = 5,       // an element that is not finite, where refused
    kCodeSingular = 6,        // or rank deficient
    kCodeNoMemory = 7,
};

// A two-dimensional array argument whose sizes account for its elements.
struct Matrix {
    const double* data = nullptr;
    int64_t rows = 0;
    int64_t cols = 0;
};
// 0, or the code for A: not an array (2), or not two-dimensional (3).
int64_t read_matrix(const HostValue& v, Matrix* out);
// As read_matrix, and square of order at least 1 (else 3).
int64_t read_square(const HostValue& v, Matrix* out);

// A right-hand side of `rows` rows: an array of one dimension of `rows`
// elements, a 1 x rows or rows x 1 array (one column), or rows x k.
struct RightSide {
    const RealArray* array = nullptr;
    int64_t cols = 0;  // k
};
// 0, or the code for B: not an array (4), or not of `rows` rows (5).
int64_t read_right_side(const HostValue& v, int64_t rows, RightSide* out);

bool all_finite(const double* x, int64_t count);

// GSL objects owned by one call, allocated through the allocation gate.
using GslMatrix = Owned<gsl_matrix, gsl_matrix_free>;
using GslVector = Owned<gsl_vector, gsl_vector_free>;
GslMatrix new_gsl_matrix(int64_t rows, int64_t cols);
GslVector new_gsl_vector(int64_t size);
// A row-major rows x cols block as a new GSL matrix (null when it cannot be had).
GslMatrix gsl_copy_of(const double* data, int64_t rows, int64_t cols);

// The out-argument records from `first` on, as far as the call passed them:
// each receives a new array, written in full before it is stored.
class OutArguments {
public:
    OutArguments(HostValue* args, int64_t nargs, int64_t first, void* ctx)
        : args_(args), nargs_(nargs), first_(first), ctx_(ctx) {}
    bool given(int64_t i) const { return first_ + i < nargs_; }
    // Stores the filled array a in out-argument i.
    void store(int64_t i, RealArray* a);

private:
    HostValue* args_;
    int64_t nargs_;
    int64_t first_;
    void* ctx_;
    bool begun_ = false;
};

}  // namespace hostmath::linalg
