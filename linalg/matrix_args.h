// SPDX-License-Identifier: GPL-3.0-or-later
// What every linear-algebra function shares: its codes, the checks of its
// matrix and right-hand-side arguments, and the GSL matrices it works in.
#pragma once

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cmath>
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
// How a matrix goes to GSL's iterative solvers (eig, svd): times
// 2^-exponent, an exact scaling, and with the elements that then lie below
// flush_below taken as 0.
//
// A matrix whose largest magnitude lies far from 1 (below 2^-256 or above
// 2^256) is brought into [0.5, 1): that keeps the solvers away from
// subnormal numbers (on a matrix of nothing else GSL's symmetric solver
// never converges) and from overflow, and scales eigenvalues and singular
// values exactly. A matrix with nonzero elements below 2^-500 of its largest
// is brought into [0.5, 1) too, and those elements are taken as 0: beside
// the largest they change no eigenvalue or singular value by more than
// 2^-500 of it, far below any solver's rounding error, and left in, their
// products underflow and GSL's symmetric solver can step for ever without
// deflating them. Any other matrix goes to GSL as it is.
struct SolverScaling {
    int exponent = 0;
    double flush_below = 0.0;
    double apply(double x) const {
        const double scaled = std::ldexp(x, -exponent);
        return std::fabs(scaled) < flush_below ? 0.0 : scaled;
    }
};
SolverScaling solver_scaling(const double* x, int64_t count);

// A row-major rows x cols block (or its transpose) as a new GSL matrix, each
// element as `scaling` makes it; null when it cannot be had.
GslMatrix gsl_copy_of(const double* data, int64_t rows, int64_t cols, const SolverScaling& scaling = {},
                      bool transpose = false);

// The out-argument records from `first` on, as far as the call passed them:
// each receives a new array, written in full before it is stored.
class OutArguments {
public:
    OutArguments(HostValue* args, int64_t nargs, int64_t first, void* ctx)
        : args_(args), nargs_(nargs), first_(first), ctx_(ctx) {}
    bool given(int64_t i) const { return first_ + i < nargs_; }
    // Stores the filled array a in out-argument i.
    void store(int64_t i, RealArray* a);
    // Hands an array made for the call but not used (a later one could not
    // be made) to the host in a record of the library's own: the host owns
    // it from then on, and no record the script sees is written. Null: nothing.
    void hand_back(RealArray* a);

private:
    void begin();

    HostValue* args_;
    int64_t nargs_;
    int64_t first_;
    void* ctx_;
    bool begun_ = false;
};

}  // namespace hostmath::linalg
