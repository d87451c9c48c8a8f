// SPDX-License-Identifier: GPL-3.0-or-later
// math::inv: checks its argument, copies it into the result array and
// inverts that in place with the elimination of kernels/inverse.h.
#include <cstdint>
#include <cstring>

#include "kernels/inverse.h"
#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {
namespace {

constexpr HostChar kInvKey[] = u"math::inv";

enum InverseCode : int64_t {
    kNotAnArray = 1,
    kNotSquare = 2,   // also a shape that does not account for the elements
    kNoMemory = 3,    // the result array or an index table
    kSingular = 4,
};

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(inv) {
    (void)last_index;  // registered for exactly one argument
    // Every failure returns this null array, or the new array once it exists.
    write_null_array(result);
    const RealArray* a = lookup_array(args[0]);
    if (a == nullptr) {
        report(kInvKey, kNotAnArray, ctx);
        return result;
    }
    if (a->ndims != 2 || a->dims[0] != a->dims[1] || !has_consistent_shape(*a)) {
        report(kInvKey, kNotSquare, ctx);
        return result;
    }
    const int64_t n = a->dims[0];
    RealArray* inverse = new_matrix(n, n);
    if (inverse == nullptr) {
        report(kInvKey, kNoMemory, ctx);
        return result;
    }
    if (n > 0) std::memcpy(inverse->data, a->data, static_cast<size_t>(n * n) * sizeof(double));
    return_new_array(result, inverse, ctx);
    Scratch<int64_t> pivot_rows(n), pivot_cols(n);
    if (!pivot_rows.ok() || !pivot_cols.ok()) {
        report(kInvKey, kNoMemory, ctx);
        return result;
    }
    // The threads are joined before anything below reports to the host.
    switch (invert_in_place(inverse->data, n, pivot_rows.get(), pivot_cols.get(), inverse_threads(n))) {
        case Inversion::kInverted: break;
        case Inversion::kSingular: report(kInvKey, kSingular, ctx); break;
        case Inversion::kNoMemory: report(kInvKey, kNoMemory, ctx); break;
    }
    return result;
}

}  // namespace hostmath
