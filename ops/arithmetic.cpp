// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic operators: + - .* ./ .^ element by element, and * with a
// real. Each is one instance of the binary worker (ops/binary.h); * on two
// arrays is the matrix product (ops/product.h).
#include "elementary/elementary.h"
#include "ops/binary.h"
#include "ops/product.h"
#include "script/operators.h"

namespace hostmath {

namespace {

struct Plus {
    double operator()(double a, double b) const { return a + b; }
};
struct Minus {
    double operator()(double a, double b) const { return a - b; }
};
struct Times {
    double operator()(double a, double b) const { return a * b; }
};
struct Over {
    double operator()(double a, double b) const { return a / b; }
};
// The library's own pow, correctly rounded: the same bits on every platform.
struct Power {
    double operator()(double a, double b) const { return elementary::pow(a, b); }
};

constexpr BinaryOperation kAdd{u"math +", kArithmeticCodes, kInlineElementsPerThread};
constexpr BinaryOperation kSubtract{u"math -", kArithmeticCodes, kInlineElementsPerThread};
constexpr BinaryOperation kMultiply{u"math *", kArithmeticCodes, kInlineElementsPerThread};
constexpr BinaryOperation kElemMultiply{u"math .*", kArithmeticCodes, kInlineElementsPerThread};
constexpr BinaryOperation kElemDivide{u"math ./", kArithmeticCodes, kInlineElementsPerThread};
constexpr BinaryOperation kElemPower{u"math .^", kArithmeticCodes, kCalledElementsPerThread};

}  // namespace

HostValue* op_add(HostValue* result, HostValue* operands, void* ctx) {
    return combine_two(result, operands, ctx, kAdd, Plus{});
}
HostValue* op_subtract(HostValue* result, HostValue* operands, void* ctx) {
    return combine_two(result, operands, ctx, kSubtract, Minus{});
}
HostValue* op_elem_multiply(HostValue* result, HostValue* operands, void* ctx) {
    return combine_two(result, operands, ctx, kElemMultiply, Times{});
}
HostValue* op_elem_divide(HostValue* result, HostValue* operands, void* ctx) {
    return combine_two(result, operands, ctx, kElemDivide, Over{});
}
HostValue* op_elem_power(HostValue* result, HostValue* operands, void* ctx) {
    return combine_two(result, operands, ctx, kElemPower, Power{});
}

// "*": the matrix product for two arrays; with a real, a scaling in which
// the real is the left factor whichever side it stands on.
HostValue* op_multiply(HostValue* result, HostValue* operands, void* ctx) {
    write_empty(result);
    BinaryOperands o;
    if (int64_t code = take_operands(operands, kMultiply.codes, &o)) return fail(result, kMultiply.name, code, ctx);
    if (o.pair == OperandPair::ArrayWithArray) return multiply_matrices(result, *o.array, *o.right, ctx);
    o.pair = OperandPair::RealWithArray;
    return combine_into_new(result, o, kMultiply, ctx, Times{});
}

}  // namespace hostmath
