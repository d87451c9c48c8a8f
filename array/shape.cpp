// SPDX-License-Identifier: GPL-3.0-or-later
// reshape gives an array new sizes in place (no element moves: the new
// sizes reinterpret the row-major storage); ndgrid builds grid arrays from
// vectors and stores them into its output arguments.
#include <algorithm>
#include <span>

#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

constexpr const HostChar* kReshapeKey = u"math::reshape";
constexpr const HostChar* kNdgridKey = u"math::ndgrid";

enum ReshapeCode : int64_t {
    kBadForm = 1,
    kReshapeNoArray = 2,
    kBadSize = 3,
    kBadProduct = 4,
};

enum NdgridCode : int64_t {
    kBadArgumentCount = 1,
    kInputNoArray = 2,
    kInputNotVector = 3,
    kNoMemory = 4,
};

// a, m, n: two sizes whose product is the element count. Negative sizes are
// refused even when their product fits; a size 0 only fits an empty array.
bool sizes_fit(const HostValue& m, const HostValue& n, int64_t count) {
    int64_t product = 0;
    return is_integer(m) && is_integer(n) && checked_mul(m.integer(), n.integer(), &product) && product == count;
}

HostValue* reshape_to_vector(HostValue* result, RealArray& a, const HostValue& record) {
    if (a.ndims == 2) {
        a.ndims = 1;
        a.dims[0] = a.count;
    }
    return return_argument(result, record);
}

// Every test comes before the first size is written.
HostValue* reshape_to_matrix(HostValue* result, RealArray& a, HostValue* args, void* ctx) {
    if (!sizes_fit(args[1], args[2], a.count)) return fail(result, kReshapeKey, kBadProduct, ctx);
    a.dims[0] = args[1].integer();
    a.dims[1] = args[2].integer();
    a.ndims = 2;
    return return_argument(result, args[0]);
}

HostValue* reshape_general(HostValue* result, RealArray& a, HostValue* args, int64_t nsizes, void* ctx) {
    if (nsizes != a.ndims) return fail(result, kReshapeKey, kBadForm, ctx);
    const HostValue* sizes = args + 1;
    int64_t product = 1;
    for (int64_t k = 0; k < nsizes; ++k) {
        if (!is_size(sizes[k])) return fail(result, kReshapeKey, kBadSize, ctx);
    }
    for (int64_t k = 0; k < nsizes; ++k) {
        if (!checked_mul(product, sizes[k].integer(), &product)) return fail(result, kReshapeKey, kBadProduct, ctx);
    }
    if (product != a.count) return fail(result, kReshapeKey, kBadProduct, ctx);
    for (int64_t k = 0; k < nsizes; ++k) a.dims[k] = sizes[k].integer();
    return return_argument(result, args[0]);
}

// Grid k: element i of x at every position whose index k is i, that is,
// each element repeated `inner` times (the product of the lengths after k),
// the whole run repeated `outer` times (the product of those before). Filled
// as soon as it is made, so that a grid stored before a later one fails
// holds its values.
void fill_grid(const RealArray& x, int64_t outer, int64_t inner, double* out) {
    for (int64_t o = 0; o < outer; ++o) {
        for (int64_t i = 0; i < x.count; ++i) out = std::fill_n(out, inner, x.data[i]);
    }
}

}  // namespace

HostValue* reshape(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1 || nargs == 2) return fail(result, kReshapeKey, kBadForm, ctx);
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, kReshapeKey, kReshapeNoArray, ctx);
    if (nargs <= 3 && a->ndims > 2) return fail(result, kReshapeKey, kBadForm, ctx);
    if (nargs == 1) return reshape_to_vector(result, *a, args[0]);
    if (nargs == 3) return reshape_to_matrix(result, *a, args, ctx);
    return reshape_general(result, *a, args, nargs - 1, ctx);
}

HostValue* ndgrid(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 4 || nargs % 2 != 0) return fail(result, kNdgridKey, kBadArgumentCount, ctx);
    const int64_t inputs = nargs / 2;
    Scratch<int64_t> length(inputs);
    if (!length.ok()) return fail(result, kNdgridKey, kNoMemory, ctx);
    for (int64_t k = 0; k < inputs; ++k) {
        RealArray* x = array_arg(args[k]);
        if (x == nullptr) return fail(result, kNdgridKey, kInputNoArray, ctx);
        if (x->ndims != 1 || !has_consistent_shape(*x)) return fail(result, kNdgridKey, kInputNotVector, ctx);
        length[k] = x->count;
    }
    const std::span<const int64_t> lengths(length.get(), static_cast<size_t>(inputs));
    int64_t total = 0;
    if (!checked_product(lengths, &total)) return fail(result, kNdgridKey, kNoMemory, ctx);
    save_arrays_begin(ctx, args);
    // With elements, every length is at least 1 and outer x length x inner is
    // the total. Without, nothing is written and outer stays 1, so that the
    // passes stay within the inputs' elements: the lengths before an empty one
    // alone may promise far more.
    int64_t outer = 1;
    for (int64_t k = 0; k < inputs; ++k) {
        const int64_t inner = total == 0 ? 0 : total / outer / length[k];
        RealArray* g = new_array_shaped(lengths);
        if (g == nullptr) return fail(result, kNdgridKey, kNoMemory, ctx);
        fill_grid(*array_arg(args[k]), outer, inner, g->data);
        HostValue* record = &args[inputs + k];
        tag_array(record, g);
        save_array(ctx, record, args);
        if (total != 0) outer *= length[k];
    }
    return return_argument(result, args[0]);
}

}  // namespace hostmath
