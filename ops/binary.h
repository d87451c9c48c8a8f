// SPDX-License-Identifier: GPL-3.0-or-later
// The workers behind every element-wise operation on arrays: one loop per
// shape of operation (one operand; array with array; array with real; real
// with array), each instantiated with the operation as an inlined functor,
// and the operand checks shared by the operators of two operands.
//
// The loops run once over flat storage with no per-element checks, so the
// compiler can vectorise them where the operation allows it. The result is
// always a fresh host array, so it never aliases an operand; operands may
// alias each other (a + a), which is harmless because they are only read.
#pragma once

#include <cstdint>

#include "kernels/parallel.h"
#include "script/math_array.h"

namespace hostmath {

// ---- the loops ------------------------------------------------------------------

// How many elements a thread needs of its own before it joins a loop, by
// what one element costs (docs/performance.md, "Threads", has the
// measurements): an operation the processor does in a few instructions, or
// a call into the mathematical library.
inline constexpr int64_t kInlineElementsPerThread = int64_t{1} << 17;
inline constexpr int64_t kCalledElementsPerThread = int64_t{1} << 15;

// Threads split the elements in stretches of whole cache lines and pages.
inline constexpr int64_t kElementGrain = 512;

template <class F>
inline void map_range(const double* __restrict a, double* __restrict r, int64_t n, F f) {
    for (int64_t i = 0; i < n; ++i) r[i] = f(a[i]);
}

template <class Op>
inline void combine_range(const double* __restrict a, const double* __restrict b, double* __restrict r, int64_t n,
                          Op op) {
    for (int64_t i = 0; i < n; ++i) r[i] = op(a[i], b[i]);
}

// The loops over n elements, split across threads when each thread gets
// at least `per_thread` of them; every element is computed alike.
template <class F>
inline void map_elements(const double* a, double* r, int64_t n, int64_t per_thread, F f) {
    parallel::for_ranges(parallel::threads_for(n, per_thread), 0, n, kElementGrain,
                         [&](int64_t lo, int64_t hi) { map_range(a + lo, r + lo, hi - lo, f); });
}

template <class Op>
inline void combine_elements(const double* a, const double* b, double* r, int64_t n, int64_t per_thread, Op op) {
    parallel::for_ranges(parallel::threads_for(n, per_thread), 0, n, kElementGrain,
                         [&](int64_t lo, int64_t hi) { combine_range(a + lo, b + lo, r + lo, hi - lo, op); });
}

// ---- functions of one operand ---------------------------------------------------

// A function of one operand applied to every element. The failure result is
// a null array with the math-array type words, written before anything else.
// Codes: 1 the host finds no array for the operand, 2 no result array.
template <class F>
HostValue* map_one(HostValue* result, const HostValue& operand, void* ctx, const HostChar* name, int64_t per_thread,
                   F f) {
    write_null_array(result);
    const RealArray* a = lookup_array(operand);
    if (a == nullptr) {
        report(name, 1, ctx);
        return result;
    }
    RealArray* r = new_array_like(*a);
    if (r == nullptr) {
        report(name, 2, ctx);
        return result;
    }
    map_elements(a->data, r->data, a->count, per_thread, f);
    return return_new_array(result, r, ctx);
}

// ---- operations of two operands -------------------------------------------------

// The run-error codes of an operation of two operands. The arithmetic
// operators and atan2/fmod check the same things but number them
// differently.
struct BinaryCodes {
    int64_t refused_pair;      // the base types are no accepted pair
    int64_t no_array_of_two;   // array with array: the host finds no array for either
    int64_t no_array_with_real;  // array with real: the host finds no array for the array
    int64_t ndims_differ;
    int64_t size_differs;      // some dimension (or the element count) differs
    int64_t no_result;         // the host cannot create the result array
};

inline constexpr BinaryCodes kArithmeticCodes{1, 2, 2, 3, 3, 4};
inline constexpr BinaryCodes kTwoArgumentFunctionCodes{1, 1, 2, 2, 3, 4};

struct BinaryOperation {
    const HostChar* name;
    BinaryCodes codes;
    int64_t per_thread;  // elements a thread needs to join the loop
};

enum class OperandPair : uint8_t { ArrayWithArray, ArrayWithReal, RealWithArray };

// The operands of a binary operation once classified and looked up:
// `array` is the left array (the only one in the forms with a real),
// `right` the right array of two, `real` the real's value.
struct BinaryOperands {
    OperandPair pair = OperandPair::ArrayWithArray;
    const RealArray* array = nullptr;
    const RealArray* right = nullptr;
    double real = 0.0;
};

// Classifies the pair by base types and looks the arrays up; 0 on success,
// otherwise the code to report.
int64_t take_operands(const HostValue* operands, const BinaryCodes& codes, BinaryOperands* out);
// 0 when two arrays have the same shape, otherwise the code to report.
int64_t compare_shapes(const RealArray& a, const RealArray& b, const BinaryCodes& codes);

// Creates the result with the shape of the (left) array operand and fills
// it by `op`, applied as op(left, right) in each form.
template <class Op>
HostValue* combine_into_new(HostValue* result, const BinaryOperands& o, const BinaryOperation& operation, void* ctx,
                            Op op) {
    RealArray* r = new_array_like(*o.array);
    if (r == nullptr) return fail(result, operation.name, operation.codes.no_result, ctx);
    const double* a = o.array->data;
    const int64_t n = o.array->count;
    const double x = o.real;
    switch (o.pair) {
        case OperandPair::ArrayWithArray:
            combine_elements(a, o.right->data, r->data, n, operation.per_thread, op);
            break;
        case OperandPair::ArrayWithReal:
            map_elements(a, r->data, n, operation.per_thread, [op, x](double v) { return op(v, x); });
            break;
        case OperandPair::RealWithArray:
            map_elements(a, r->data, n, operation.per_thread, [op, x](double v) { return op(x, v); });
            break;
    }
    return return_new_array(result, r, ctx);
}

// An element-wise operation of two operands: the empty result first, then
// the pair, the lookups, the shapes, the result, the elements.
template <class Op>
HostValue* combine_two(HostValue* result, const HostValue* operands, void* ctx, const BinaryOperation& operation,
                       Op op) {
    write_empty(result);
    BinaryOperands o;
    if (int64_t code = take_operands(operands, operation.codes, &o)) return fail(result, operation.name, code, ctx);
    if (o.pair == OperandPair::ArrayWithArray) {
        if (int64_t code = compare_shapes(*o.array, *o.right, operation.codes))
            return fail(result, operation.name, code, ctx);
    }
    return combine_into_new(result, o, operation, ctx, op);
}

}  // namespace hostmath
