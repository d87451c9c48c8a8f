// SPDX-License-Identifier: GPL-3.0-or-later
// Operator "*" on two arrays: checks the operands, makes the result array and
// reports; the product itself is kernels/matmul.cpp's.
#include "ops/product.h"

#include <cstdint>

#include "kernels/matmul.h"
#include "kernels/parallel.h"
#include "script/math_array.h"

namespace hostmath {
namespace {

constexpr HostChar kName[] = u"math *";

enum MultiplyError : int64_t {
    kInnerSizesDiffer = 3,
    kNoResultArray = 4,
};

int product_threads(int64_t m, int64_t k, int64_t n) {
    int64_t work = 0;
    if (!checked_mul(m * n, k, &work)) work = INT64_MAX;
    return parallel::threads_for(work, kMultiplyAddsPerThread);
}

}  // namespace

HostValue* multiply_matrices(HostValue* result, const RealArray& a, const RealArray& b, void* ctx) {
    if (a.ndims != 2 || b.ndims != 2) return write_empty(result);  // silently: no report
    const int64_t m = a.dims[0], k = a.dims[1];
    const int64_t n = b.dims[1];
    // Sizes that disagree with an element count (no array the library makes
    // has them) would lead the product outside the elements: refused like
    // sizes that do not fit.
    if (b.dims[0] != k || !has_consistent_shape(a) || !has_consistent_shape(b))
        return fail(result, kName, kInnerSizesDiffer, ctx);
    // new_matrix refuses an m * n that overflows as the host refuses a
    // creation: both are code 4.
    RealArray* c = new_matrix(m, n);
    if (c == nullptr) return fail(result, kName, kNoResultArray, ctx);
    multiply_with(best_kernel(), a.data, b.data, c->data, m, k, n, product_threads(m, k, n));
    return return_new_array(result, c, ctx);
}

}  // namespace hostmath
