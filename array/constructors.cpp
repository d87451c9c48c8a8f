// SPDX-License-Identifier: GPL-3.0-or-later
// Array constructors and converters: matrix, zeros, ones, eye, linspace,
// row, col, ra1, SetArray and toreal.
//
// New arrays are zero-filled wherever a call writes no element of its own
// (an element argument of the wrong kind, or fewer element arguments than
// elements), so that a script never sees what the host's allocation held.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "array/number_text.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

constexpr HostChar kMatrixKey[] = u"math::matrix";
constexpr HostChar kZerosKey[] = u"math::zeros";
constexpr HostChar kOnesKey[] = u"math::ones";
constexpr HostChar kEyeKey[] = u"math::eye";
constexpr HostChar kRa1Key[] = u"math::ra1";
constexpr HostChar kSetArrayKey[] = u"math::SetArray";

// Element values from argument records, for matrix and ra1: a number is
// converted, anything else is reported with code 1 and leaves its element
// at 0. Arguments beyond the elements are not read.
void take_element_arguments(std::span<double> out, const HostValue* args, int64_t nargs, const HostChar* key,
                            void* ctx) {
    std::ranges::fill(out, 0.0);
    const size_t given = std::min(out.size(), static_cast<size_t>(std::max<int64_t>(nargs, 0)));
    for (size_t k = 0; k < given; ++k) {
        if (is_number(args[k])) {
            out[k] = number_value(args[k]);
        } else {
            report(key, 1, ctx);
        }
    }
}

// ---- matrix ---------------------------------------------------------------

HostValue* matrix_from_text(HostValue* result, const HostChar* text, void* ctx) {
    const TextRows rows = measure_rows(text);
    if (rows.fault == TextRows::Fault::RaggedRows) return fail(result, kMatrixKey, 2, ctx);
    if (rows.fault == TextRows::Fault::BadCharacter) return fail(result, kMatrixKey, 3, ctx);
    if (rows.tokens == 0) return result;
    RealArray* a = new_matrix(rows.tokens / rows.columns, rows.columns);
    if (a == nullptr) return result;
    // The first pass has vouched for the text: it fills the array exactly.
    bool bad_character = false;
    read_numbers(text, elements(*a), &bad_character);
    return return_new_array(result, a, ctx);
}

HostValue* matrix_from_elements(HostValue* result, int64_t nargs, HostValue* args, void* ctx) {
    if (!is_size(args[0]) || !is_size(args[1])) return fail(result, kMatrixKey, 1, ctx);
    RealArray* a = new_matrix(args[0].integer(), args[1].integer());
    if (a == nullptr) return result;
    take_element_arguments(elements(*a), args + 2, nargs - 2, kMatrixKey, ctx);
    return return_new_array(result, a, ctx);
}

// ---- zeros, ones, eye: one shape, three fills ---------------------------------

using ArrayFill = void (*)(RealArray&);

void fill_zeros(RealArray& a) { std::ranges::fill(elements(a), 0.0); }
void fill_ones(RealArray& a) { std::ranges::fill(elements(a), 1.0); }

// Ones on the diagonal of the array read as a matrix of size-1 rows and
// size-2 columns; with more dimensions only the first rows x columns
// elements are written. An array of fewer than two dimensions has no second
// size: it is read as a single row, so its first element is 1 and the rest
// 0. No element beyond the element count is written, whatever the sizes say.
void fill_identity(RealArray& a) {
    const int64_t rows = a.ndims >= 2 ? a.dims[0] : 1;
    const int64_t cols = a.ndims >= 2 ? a.dims[1] : a.count;
    if (rows <= 0 || cols <= 0) return;
    std::span<double> e = elements(a);
    int64_t k = 0;
    for (int64_t i = 0; i < rows && k < a.count; ++i) {
        for (int64_t j = 0; j < cols && k < a.count; ++j, ++k) e[static_cast<size_t>(k)] = i == j ? 1.0 : 0.0;
    }
}

// f(array) fills a math array in place; f(rows, columns) fills a new one.
HostValue* shape_fill(HostValue* result, int64_t last_index, HostValue* args, void* ctx, const HostChar* key,
                      ArrayFill fill) {
    write_empty(result);
    switch (last_index + 1) {
        case 1: {
            RealArray* a = array_arg(args[0]);
            if (a == nullptr) return fail(result, key, 1, ctx);
            fill(*a);
            return return_argument(result, args[0]);
        }
        case 2: {
            if (!is_size(args[0]) || !is_size(args[1])) return fail(result, key, 2, ctx);
            RealArray* a = new_matrix(args[0].integer(), args[1].integer());
            if (a == nullptr) return fail(result, key, 3, ctx);
            fill(*a);
            return return_new_array(result, a, ctx);
        }
        default:
            return fail(result, key, 4, ctx);
    }
}

// ---- linspace, row, col: one worker, three shapes ----------------------------

enum class VectorShape : uint8_t { Vector, Row, Column };

RealArray* new_vector(int64_t n, VectorShape shape) {
    switch (shape) {
        case VectorShape::Row:
            return new_matrix(1, n);
        case VectorShape::Column:
            return new_matrix(n, 1);
        case VectorShape::Vector:
            break;
    }
    const int64_t sizes[1] = {n};
    return new_array_shaped(sizes);
}

// n points from a to b. Each is computed from its index rather than by
// adding the step repeatedly, and the last one is b exactly.
HostValue* points_by_count(HostValue* result, double a, double b, int64_t n, VectorShape shape, void* ctx) {
    if (n < 1) return result;
    RealArray* v = new_vector(n, shape);
    if (v == nullptr) return result;
    const double step = n >= 2 ? (b - a) / static_cast<double>(n - 1) : 0.0;
    std::span<double> e = elements(*v);
    for (size_t i = 0; i < e.size(); ++i) e[i] = a + static_cast<double>(i) * step;
    e.back() = b;
    return return_new_array(result, v, ctx);
}

// Points a + i h for i = 0..m, m = (b - a)/h truncated toward zero; a last
// point beyond b (greater than b, for either direction of h) becomes b.
HostValue* points_by_step(HostValue* result, double a, double b, double h, VectorShape shape, void* ctx) {
    if (h == 0.0) return result;
    const double spans = (b - a) / h;
    // Only a quotient in [-2^63, 2^63) converts to int64 without undefined
    // behaviour; NaN and infinities fail the test as well.
    if (!(spans >= -0x1p63 && spans < 0x1p63)) return result;
    const int64_t m = static_cast<int64_t>(spans);
    if (m < 1 || m == std::numeric_limits<int64_t>::max()) return result;
    RealArray* v = new_vector(m + 1, shape);
    if (v == nullptr) return result;
    std::span<double> e = elements(*v);
    for (size_t i = 0; i < e.size(); ++i) e[i] = a + static_cast<double>(i) * h;
    if (e.back() > b) e.back() = b;
    return return_new_array(result, v, ctx);
}

// (a, b, n) or (a, b, h). Nothing is reported: every refusal is the empty result.
HostValue* spaced_points(HostValue* result, HostValue* args, void* ctx, VectorShape shape) {
    write_empty(result);
    const HostValue& a = args[0];
    const HostValue& b = args[1];
    const HostValue& third = args[2];
    if (!is_real(a) || !is_real(b)) return result;
    if (is_integer(third)) return points_by_count(result, a.real(), b.real(), third.integer(), shape, ctx);
    if (is_real(third)) return points_by_step(result, a.real(), b.real(), third.real(), shape, ctx);
    return result;
}

// ---- SetArray ---------------------------------------------------------------------

// The tokens of the text into the elements from the first. A bad character
// ends the filling with code 3; the array is the result all the same.
HostValue* set_from_text(HostValue* result, HostValue* args, RealArray& a, const HostChar* text, void* ctx) {
    bool bad_character = false;
    read_numbers(text, elements(a), &bad_character);
    if (bad_character) report(kSetArrayKey, 3, ctx);
    return return_argument(result, args[0]);
}

// The numbers from argument 2 on into the elements from the first. An
// argument that is no number ends the call with code 2 and the empty
// result; the elements written before it stay written.
HostValue* set_from_numbers(HostValue* result, int64_t nargs, HostValue* args, RealArray& a, void* ctx) {
    std::span<double> e = elements(a);
    const size_t given = std::min(e.size(), static_cast<size_t>(nargs - 1));
    for (size_t k = 0; k < given; ++k) {
        const HostValue& x = args[k + 1];
        if (!is_number(x)) return fail(result, kSetArrayKey, 2, ctx);
        e[k] = number_value(x);
    }
    return return_argument(result, args[0]);
}

}  // namespace

HostValue* matrix(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1) return result;
    if (nargs == 1) {
        const HostChar* text = string_arg(args[0], ctx);
        if (text == nullptr) return fail(result, kMatrixKey, 1, ctx);
        return matrix_from_text(result, text, ctx);
    }
    return matrix_from_elements(result, nargs, args, ctx);
}

HostValue* zeros(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return shape_fill(result, last_index, args, ctx, kZerosKey, fill_zeros);
}

HostValue* ones(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return shape_fill(result, last_index, args, ctx, kOnesKey, fill_ones);
}

HostValue* eye(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return shape_fill(result, last_index, args, ctx, kEyeKey, fill_identity);
}

// Registered for exactly three arguments: the count is not looked at.
HostValue* linspace(HostValue* result, int64_t, HostValue* args, void* ctx) {
    return spaced_points(result, args, ctx, VectorShape::Vector);
}

HostValue* row(HostValue* result, int64_t, HostValue* args, void* ctx) {
    return spaced_points(result, args, ctx, VectorShape::Row);
}

HostValue* col(HostValue* result, int64_t, HostValue* args, void* ctx) {
    return spaced_points(result, args, ctx, VectorShape::Column);
}

HostValue* ra1(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t n = last_index + 1;
    if (n < 1) return result;
    const int64_t sizes[1] = {n};
    RealArray* v = new_array_shaped(sizes);
    if (v == nullptr) return result;
    take_element_arguments(elements(*v), args, n, kRa1Key, ctx);
    return return_new_array(result, v, ctx);
}

HostValue* SetArray(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 2) return result;
    RealArray* a = lookup_array(args[0]);
    if (a == nullptr) return fail(result, kSetArrayKey, 1, ctx);
    if (const HostChar* text = string_arg(args[1], ctx)) {
        if (nargs != 2) return fail(result, kSetArrayKey, 2, ctx);
        return set_from_text(result, args, *a, text, ctx);
    }
    return set_from_numbers(result, nargs, args, *a, ctx);
}

// toreal(z, re, im): splits a pair of reals into two argument records. The
// count is not checked by the host, so the records are written only when
// both were given; with fewer than three arguments nothing is written and
// the answer is false.
HostValue* toreal(HostValue* result, int64_t last_index, HostValue* args, void*) {
    if (last_index < 2 || args[0].base_type != kTypePair) return write_logical(result, false);
    const HostValue z = args[0];
    args[1] = make_real(z.real());
    args[2] = make_real(z.real2());
    return write_logical(result, true);
}

}  // namespace hostmath
