// SPDX-License-Identifier: GPL-3.0-or-later
// copy (operator code 45): duplicate an array, or copy elements of one array
// into another in place.
#include <algorithm>

#include "script/math_array.h"
#include "script/operators.h"

namespace hostmath {

namespace {

constexpr const HostChar* kCopyKey = u"math copy";

enum CopyCode : int64_t {
    kBadOperandCount = 1,
    kNoArray = 2,
    kOutOfBounds = 3,
    kNoNewArray = 4,
};

// Whether [start, start + n) lies within `count` elements, compared as exact
// integers: start + n is never formed, so no wrap-around can let a range through.
bool range_fits(int64_t start, int64_t n, int64_t count) {
    return start >= 0 && n >= 0 && start <= count && n <= count - start;
}

// a[i + t] = b[j + t] for t = 0 .. n-1, strictly in ascending order of t with
// each element read after all earlier ones are written: within one array a
// destination that lies after an overlapping source repeats the first
// elements, which memmove would not.
void copy_ascending(double* a, const double* b, int64_t n) {
    for (int64_t t = 0; t < n; ++t) a[t] = b[t];
}

HostValue* duplicate(HostValue* result, HostValue* operands, void* ctx) {
    RealArray* a = array_arg(operands[0]);
    if (a == nullptr) return fail(result, kCopyKey, kNoArray, ctx);
    RealArray* c = new_array_like(*a);
    if (c == nullptr) return fail(result, kCopyKey, kNoNewArray, ctx);
    std::copy_n(a->data, a->count, c->data);
    return return_new_array(result, c, ctx);
}

// a, b: every element of b into a; the shapes are not compared.
HostValue* copy_all(HostValue* result, HostValue* operands, void* ctx) {
    RealArray* a = array_arg(operands[0]);
    RealArray* b = array_arg(operands[1]);
    if (a == nullptr || b == nullptr) return fail(result, kCopyKey, kNoArray, ctx);
    if (a->count != b->count) return fail(result, kCopyKey, kOutOfBounds, ctx);
    copy_ascending(a->data, b->data, a->count);
    return return_argument(result, operands[0]);
}

// a, i, b, j, n: n elements of b from position j into a from position i.
HostValue* copy_range(HostValue* result, HostValue* operands, void* ctx) {
    RealArray* a = array_arg(operands[0]);
    RealArray* b = array_arg(operands[2]);
    if (a == nullptr || b == nullptr) return fail(result, kCopyKey, kNoArray, ctx);
    const HostValue& i = operands[1];
    const HostValue& j = operands[3];
    const HostValue& n = operands[4];
    if (!is_integer(i) || !is_integer(j) || !is_integer(n) || n.integer() < 1 ||
        !range_fits(i.integer(), n.integer(), a->count) || !range_fits(j.integer(), n.integer(), b->count))
        return fail(result, kCopyKey, kOutOfBounds, ctx);
    copy_ascending(a->data + i.integer(), b->data + j.integer(), n.integer());
    return return_argument(result, operands[0]);
}

}  // namespace

// The operand count is checked before any operand is touched, so that a
// call with no operands reads nothing.
HostValue* copy(HostValue* result, int64_t last_index, HostValue* operands, void* ctx) {
    switch (last_index) {
        case 0:
            return duplicate(result, operands, ctx);
        case 1:
            return copy_all(result, operands, ctx);
        case 4:
            return copy_range(result, operands, ctx);
        default:
            return fail(result, kCopyKey, kBadOperandCount, ctx);
    }
}

}  // namespace hostmath
