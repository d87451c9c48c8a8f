// SPDX-License-Identifier: GPL-3.0-or-later
// The one worker behind every element-wise function of special/. It takes N
// operands: plain numbers (integers are read as doubles, since orders and
// degrees come as whole numbers) and arrays of either kind the library reads.
// When no operand is an array it returns one real. Otherwise it makes a new
// math array shaped like the arrays, which must all agree, and computes each
// element from the elements at the same position, with every number repeated
// for every element. f never sees a NaN: the first NaN operand is the value.
//
// Each element is computed alone by the same code whatever the number of
// threads, so a large array splits across the team as the element-wise
// operators do, with the same bits.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "kernels/parallel.h"
#include "script/math_array.h"

namespace hostmath::special {

// The codes every function of special/ reports alike.
enum SharedCode : int64_t {
    kCodeCount = 1,
    kCodeSizesDiffer = 3,
    kCodeNoMemory = 7,
};

// A thread needs this many elements of its own before it joins: each costs
// one special function, tens to hundreds of nanoseconds, so a few thousand
// outweigh a thread's start. Threads split in stretches of whole cache lines.
inline constexpr int64_t kElementsPerThread = int64_t{1} << 12;
inline constexpr int64_t kElementGrain = 512;

template <int N>
struct Operands {
    std::array<const double*, N> data{};  // an array's elements, or null for a number
    std::array<double, N> number{};
    const RealArray* shape = nullptr;  // the first array; null when all are numbers
};

// Reads args[0 .. N-1]: 0, or `not_operand` for a value that is neither a
// number nor an array, or kCodeSizesDiffer for arrays of different shapes.
template <int N>
int64_t read_operands(const HostValue* args, int64_t not_operand, Operands<N>* out) {
    for (int k = 0; k < N; ++k) {
        const HostValue& v = args[k];
        if (is_number(v)) {
            out->number[k] = number_value(v);
            continue;
        }
        const RealArray* a = array_arg(v);
        if (a == nullptr) return not_operand;
        if (out->shape == nullptr) {
            out->shape = a;
        } else if (!same_shape(*out->shape, *a) || out->shape->count != a->count) {
            return kCodeSizesDiffer;
        }
        out->data[k] = a->data;
    }
    return 0;
}

// f(v[0], ..., v[N-1]), or the first NaN among them.
template <int N, class F>
inline double value_at(const std::array<double, N>& v, F& f) {
    for (double x : v) {
        if (std::isnan(x)) return x;
    }
    return std::apply(f, v);
}

// The result of f over the operands: a real, or a new array (code 7 when
// the host cannot make it).
template <int N, class F>
HostValue* evaluate(HostValue* result, const Operands<N>& o, const HostChar* key, void* ctx, F f) {
    if (o.shape == nullptr) return write_real(result, value_at<N>(o.number, f));
    RealArray* r = new_array_like(*o.shape);
    if (r == nullptr) return fail(result, key, kCodeNoMemory, ctx);
    double* out = r->data;
    const int64_t n = o.shape->count;
    parallel::for_ranges(parallel::threads_for(n, kElementsPerThread), 0, n, kElementGrain,
                         [&o, &f, out](int64_t lo, int64_t hi) {
                             std::array<double, N> v = o.number;
                             for (int64_t i = lo; i < hi; ++i) {
                                 for (int k = 0; k < N; ++k) {
                                     if (o.data[k] != nullptr) v[k] = o.data[k][i];
                                 }
                                 out[i] = value_at<N>(v, f);
                             }
                         });
    return return_new_array(result, r, ctx);
}

}  // namespace hostmath::special
