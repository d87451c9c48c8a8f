// reshape gives an array new sizes in place (no element moves: the new
// sizes reinterpret the row-major storage); ndgrid builds grid arrays from
// vectors and stores them into its output arguments.
#include <algorithm>

#include "array/math_array.h"
#include "array/scratch.h"
#include "entry/script_functions.h"

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

// The grid: output k holds, at position (i1, ..., iK), element ik of input k.
// The counters advance like an odometer, the last fastest; the number of
// passes is the grid's element count.
void fill_grid(int64_t inputs, int64_t total, const double* const* in, const int64_t* length, double* const* out,
               int64_t* counter) {
    std::fill_n(counter, inputs, int64_t{0});
    for (int64_t p = 0; p < total; ++p) {
        for (int64_t k = 0; k < inputs; ++k) out[k][p] = in[k][counter[k]];
        for (int64_t k = inputs - 1; k >= 0; --k) {
            if (++counter[k] < length[k]) break;
            counter[k] = 0;
        }
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
    Scratch<const double*> in(inputs);
    Scratch<int64_t> length(inputs);
    Scratch<double*> out(inputs);
    Scratch<int64_t> counter(inputs);
    if (!in.ok() || !length.ok() || !out.ok() || !counter.ok()) return fail(result, kNdgridKey, kNoMemory, ctx);
    for (int64_t k = 0; k < inputs; ++k) {
        RealArray* x = array_arg(args[k]);
        if (x == nullptr) return fail(result, kNdgridKey, kInputNoArray, ctx);
        if (x->ndims != 1 || !has_consistent_shape(*x)) return fail(result, kNdgridKey, kInputNotVector, ctx);
        in[k] = x->data;
        length[k] = x->count;
    }
    int64_t total = 0;
    if (!checked_product({length.get(), static_cast<size_t>(inputs)}, &total))
        return fail(result, kNdgridKey, kNoMemory, ctx);
    save_arrays_begin(ctx, args);
    for (int64_t k = 0; k < inputs; ++k) {
        RealArray* g = new_array_shaped({length.get(), static_cast<size_t>(inputs)});
        if (g == nullptr) return fail(result, kNdgridKey, kNoMemory, ctx);
        HostValue* record = &args[inputs + k];
        tag_array(record, g);
        save_array(ctx, record, args);
        out[k] = g->data;
    }
    fill_grid(inputs, total, in.get(), length.get(), out.get(), counter.get());
    return return_argument(result, args[0]);
}

}  // namespace hostmath
