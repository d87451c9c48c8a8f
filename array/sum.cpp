// SPDX-License-Identifier: GPL-3.0-or-later
// Sum: the total of all elements, or the sums along one dimension. The
// script function "math::Sum" and the handler of operator code 39 are this
// one function.
//
// Every sum is a running sum from 0.0 in increasing index order
// (kernels/runs.h); the statistics and running sums of data/ walk the same
// runs with the same step, so mean and cumsum agree with Sum to the bit.
#include "kernels/runs.h"
#include "script/along.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

constexpr const HostChar* kSumKey = u"math::Sum";

enum SumCode : int64_t {
    kBadArgumentCount = 1,
    kNoArray = kAlongCodeNotAnArray,
    kNoNewArray = 4,
};

constexpr RunKernel kSums{nullptr, [](const double* a, const Runs& runs, double, double*, double* out) {
                              sum_runs(a, runs, out);
                          }};

}  // namespace

HostValue* Sum(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1 || nargs > 2) return fail(result, kSumKey, kBadArgumentCount, ctx);
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, kSumKey, kNoArray, ctx);
    return reduce_along({kSumKey, kNoNewArray, result, ctx}, *a, nargs == 2 ? &args[1] : nullptr, kSums);
}

}  // namespace hostmath
