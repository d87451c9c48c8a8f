// SPDX-License-Identifier: GPL-3.0-or-later
// What interpolation, the polynomials and the Fourier transforms share: the
// codes every function of the family reports alike, the vector test, and
// the evaluation of a function at a real or at every element of an array.
#pragma once

#include <cmath>
#include <cstdint>

#include "script/math_array.h"

namespace hostmath::data {

// Reported with kind 1 by every function here; the other codes are each function's own.
enum SharedCode : int64_t {
    kCodeArgumentCount = 1,
    kCodeNotAnArray = 2,
    kCodeNoMemory = 7,
};

// One dimension, or two of which one has size 1, with sizes that account
// for the elements: the elements are then the vector's, in order.
inline bool is_vector(const RealArray& a) {
    const bool shaped = a.ndims == 1 || (a.ndims == 2 && (a.dims[0] == 1 || a.dims[1] == 1));
    return shaped && has_consistent_shape(a);
}

// A new one-dimensional array of n elements, or null.
inline RealArray* new_vector(int64_t n) {
    const int64_t sizes[1] = {n};
    return new_array_shaped(sizes);
}

inline bool all_finite(const double* x, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        if (!std::isfinite(x[i])) return false;
    }
    return true;
}

// The points a function is evaluated at: a real gives a real result, an
// array a new array of its shape with the values at its elements.
// fill(in, out, n) writes the values at in[0 .. n-1] to out. A point
// argument of any other kind is reported with `not_points`.
template <class Fill>
HostValue* values_at_points(HostValue* result, const HostValue& points, const HostChar* key, int64_t not_points,
                            void* ctx, Fill&& fill) {
    if (is_real(points)) {
        const double x = points.real();
        double y = 0.0;
        fill(&x, &y, 1);
        return write_real(result, y);
    }
    const RealArray* a = array_arg(points);
    if (a == nullptr) return fail(result, key, not_points, ctx);
    RealArray* out = new_array_like(*a);
    if (out == nullptr) return fail(result, key, kCodeNoMemory, ctx);
    fill(a->data, out->data, a->count);
    return return_new_array(result, out, ctx);
}

}  // namespace hostmath::data
