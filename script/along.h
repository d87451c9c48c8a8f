// SPDX-License-Identifier: GPL-3.0-or-later
// Functions that work along one dimension k of an array (Sum, the
// statistics, sort and the running sums) read k one way: without k the last
// dimension; k < 1, k beyond the dimensions, an array of one dimension, or a
// matrix of one row or one column mean all elements as one run in storage
// order (the total case). They share the shapes of their results and the
// order of their checks after their own: k (code 3), in the total case the
// working memory, otherwise the sizes (code 2), the working memory and the
// result, which is made last, so that nothing can fail once it exists.
#pragma once

#include "kernels/runs.h"
#include "script/math_array.h"

namespace hostmath {

// Codes every function along a dimension reports the same way.
inline constexpr int64_t kAlongCodeNotAnArray = 2;  // also: sizes that do not account for the elements
inline constexpr int64_t kAlongCodeDimension = 3;   // k not an integer

// Whether a function along k works over all elements as one run.
bool works_on_everything(const RealArray& a, int64_t k);
// The runs along dimension k, 1 <= k <= a.ndims, of an array whose sizes
// account for its elements.
Runs runs_along(const RealArray& a, int64_t k);

// Work on runs: `work` holds the doubles that work_size asked for.
struct RunKernel {
    int64_t (*work_size)(const Runs& runs);  // null: none
    void (*run)(const double* a, const Runs& runs, double parameter, double* work, double* out);
};

// One call of a function along a dimension, after its own checks of the
// argument count, the array and its other arguments.
struct AlongCall {
    const HostChar* key;
    int64_t no_memory_code;  // working memory or the result cannot be had
    HostValue* result;
    void* ctx;
};

// One value per run: a real in the total case, otherwise a new array with
// Sum's shape (a matrix keeps two dimensions with size k set to 1, more
// dimensions lose size k). `k` is null when the call has none. An array
// without elements has runs of none: each value is the kernel's for an
// empty run.
HostValue* reduce_along(const AlongCall& call, const RealArray& a, const HostValue* k, const RunKernel& kernel,
                        double parameter = 0.0);
// A new array of a's shape, each run of it the kernel's work on a's run.
HostValue* transform_along(const AlongCall& call, const RealArray& a, const HostValue* k, const RunKernel& kernel,
                           double parameter = 0.0);

}  // namespace hostmath
