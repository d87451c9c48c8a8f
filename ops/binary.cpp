// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/binary.h"

namespace hostmath {

int64_t take_operands(const HostValue* operands, const BinaryCodes& codes, BinaryOperands* out) {
    const HostValue& left = operands[0];
    const HostValue& right = operands[1];
    // Only the base types are tested: plain host real arrays count as arrays
    // as well as math arrays, and integers are no reals.
    if (is_array_type(left) && is_array_type(right)) {
        out->pair = OperandPair::ArrayWithArray;
        out->array = lookup_array(left);
        out->right = lookup_array(right);
        if (out->array == nullptr || out->right == nullptr) return codes.no_array_of_two;
        return 0;
    }
    if (is_array_type(left) && is_real(right)) {
        out->pair = OperandPair::ArrayWithReal;
        out->array = lookup_array(left);
        out->real = right.real();
    } else if (is_real(left) && is_array_type(right)) {
        out->pair = OperandPair::RealWithArray;
        out->array = lookup_array(right);
        out->real = left.real();
    } else {
        return codes.refused_pair;
    }
    return out->array == nullptr ? codes.no_array_with_real : 0;
}

int64_t compare_shapes(const RealArray& a, const RealArray& b, const BinaryCodes& codes) {
    if (a.ndims != b.ndims) return codes.ndims_differ;
    for (int64_t k = 0; k < a.ndims; ++k) {
        if (a.dims[k] != b.dims[k]) return codes.size_differs;
    }
    // Equal sizes imply equal counts for any array the host made; the check
    // keeps the loop inside the right operand even if an object breaks that.
    if (a.count != b.count) return codes.size_differs;
    return 0;
}

}  // namespace hostmath
