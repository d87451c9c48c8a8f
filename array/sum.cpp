// SPDX-License-Identifier: GPL-3.0-or-later
// Sum: the total of all elements, or the sums along one dimension. The
// script function "math::Sum" and the handler of operator code 39 are this
// one function.
//
// Every sum is a running sum from 0.0 in increasing index order; sums along
// a dimension add whole rows of the elements behind it at a time, which
// keeps each sum's order while the independent sums run side by side.
#include <algorithm>

#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

constexpr const HostChar* kSumKey = u"math::Sum";

enum SumCode : int64_t {
    kBadArgumentCount = 1,
    kNoArray = 2,
    kBadDimension = 3,
    kNoNewArray = 4,
};

double running_sum(const double* x, int64_t n) {
    double s = 0.0;
    for (int64_t i = 0; i < n; ++i) s += x[i];
    return s;
}

// A dimension outside the array, a vector, or a matrix of one row or one
// column: the sum of everything.
bool sums_everything(const RealArray& a, int64_t k) {
    if (k < 1 || k > a.ndims || a.ndims == 1) return true;
    return a.ndims == 2 && (a.dims[0] == 1 || a.dims[1] == 1);
}

// The elements as `outer` blocks of `along` rows of `inner` elements each:
// out[o * inner + j] = sum over t of a[(o * along + t) * inner + j].
void sum_along(const double* a, int64_t outer, int64_t along, int64_t inner, double* out) {
    if (inner == 1) {
        // Contiguous runs: each sum stays in a register rather than going
        // through `out`, which the compiler must assume may alias `a`.
        for (int64_t o = 0; o < outer; ++o) out[o] = running_sum(a + o * along, along);
        return;
    }
    for (int64_t o = 0; o < outer; ++o) {
        double* r = out + o * inner;
        const double* block = a + o * along * inner;
        std::fill_n(r, inner, 0.0);
        for (int64_t t = 0; t < along; ++t) {
            const double* row = block + t * inner;
            for (int64_t j = 0; j < inner; ++j) r[j] += row[j];
        }
    }
}

// The sizes of the result: a matrix keeps two dimensions with size k set to
// 1, more dimensions lose size k.
int64_t result_sizes(const RealArray& a, int64_t k, int64_t* sizes) {
    if (a.ndims == 2) {
        sizes[0] = k == 1 ? 1 : a.dims[0];
        sizes[1] = k == 2 ? 1 : a.dims[1];
        return 2;
    }
    int64_t n = 0;
    for (int64_t d = 0; d < a.ndims; ++d) {
        if (d != k - 1) sizes[n++] = a.dims[d];
    }
    return n;
}

}  // namespace

HostValue* Sum(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1 || nargs > 2) return fail(result, kSumKey, kBadArgumentCount, ctx);
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, kSumKey, kNoArray, ctx);
    if (nargs == 2 && !is_integer(args[1])) return fail(result, kSumKey, kBadDimension, ctx);
    const int64_t k = nargs == 2 ? args[1].integer() : a->ndims;
    if (sums_everything(*a, k)) return write_real(result, running_sum(a->data, a->count));
    // Sizes that disagree with the element count would lead the sums outside it.
    if (!has_consistent_shape(*a)) return fail(result, kSumKey, kNoArray, ctx);
    Scratch<int64_t> sizes(a->ndims);
    if (!sizes.ok()) return fail(result, kSumKey, kNoNewArray, ctx);
    const int64_t nsizes = result_sizes(*a, k, sizes.get());
    RealArray* s = new_array_shaped({sizes.get(), static_cast<size_t>(nsizes)});
    if (s == nullptr) return fail(result, kSumKey, kNoNewArray, ctx);
    return_new_array(result, s, ctx);
    // With no elements every sum is 0.0 (the result may still have
    // elements: 0 x 3 summed over rows is 1 x 3). Otherwise every size is at
    // least 1 and the loops of sum_along run count times in all.
    if (a->count == 0) {
        std::ranges::fill(elements(*s), 0.0);
        return result;
    }
    int64_t outer = 1;
    int64_t inner = 1;
    for (int64_t d = 0; d < k - 1; ++d) outer *= a->dims[d];
    for (int64_t d = k; d < a->ndims; ++d) inner *= a->dims[d];
    sum_along(a->data, outer, a->dims[k - 1], inner, s->data);
    return result;
}

}  // namespace hostmath
