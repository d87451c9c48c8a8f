// SPDX-License-Identifier: GPL-3.0-or-later
#include "entry/dispatch.h"

#include <array>

#include "script/math_array.h"
#include "script/operators.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

enum class Form : uint8_t { Refused, Operand, Call, HostShownPlain, HostTaggedResult };

struct OperatorRoute {
    Form form = Form::Refused;
    OperandHandler operand = nullptr;
    ScriptFn call = nullptr;
};

constexpr int32_t kMaxOperatorCode = 70;

constexpr OperatorRoute operand(OperandHandler h) { return {Form::Operand, h, nullptr}; }
constexpr OperatorRoute call(ScriptFn h) { return {Form::Call, nullptr, h}; }

// Indexed by operator code; the codes are the host's and fixed. Codes left
// out are refused.
constexpr std::array<OperatorRoute, kMaxOperatorCode + 1> make_routes() {
    std::array<OperatorRoute, kMaxOperatorCode + 1> r{};
    r[0] = operand(op_add);
    r[1] = operand(op_subtract);
    r[2] = operand(op_multiply);
    r[8] = operand(op_transpose);
    r[25] = operand(op_elem_multiply);
    r[26] = operand(op_elem_divide);
    r[28] = operand(op_elem_power);
    r[38] = call(op_in);
    r[39] = call(Sum);
    r[44] = {Form::HostShownPlain, nullptr, nullptr};
    r[45] = call(copy);
    r[46] = {Form::HostTaggedResult, nullptr, nullptr};
    r[47] = call(op_oset);
    r[48] = call(op_oget);
    r[49] = call(outa);
    r[50] = operand(op_sqrt);
    r[51] = operand(op_exp);
    r[52] = operand(op_ln);
    r[53] = operand(op_lg);
    r[54] = operand(op_sin);
    r[55] = operand(op_cos);
    r[56] = operand(op_tan);
    r[57] = operand(op_asin);
    r[58] = operand(op_acos);
    r[59] = operand(op_atan);
    r[60] = operand(op_sinh);
    r[61] = operand(op_cosh);
    r[62] = operand(op_tanh);
    r[63] = operand(op_abs);
    r[64] = operand(op_floor);
    r[65] = operand(op_ceil);
    r[69] = operand(op_atan2);
    r[70] = operand(op_fmod);
    return r;
}

constexpr auto kRoutes = make_routes();

// The host's own operator, run with the first operand shown as a plain real
// array; afterwards that operand carries the private key whatever it had.
HostValue* host_operator_plain_first(HostValue* result, int64_t last_index, HostValue* operands, void* ctx,
                                     int32_t code) {
    HostValue buffer = make_empty();
    operands[0].ext_type = kTypeRealArray;
    *result = *host().ExeOperator(&buffer, last_index, operands, ctx, code, kTypeRealArray);
    operands[0].ext_type = private_key();
    return result;
}

// The host's own operator; a plain real-array result becomes a math array.
HostValue* host_operator_tagged(HostValue* result, int64_t last_index, HostValue* operands, void* ctx,
                                int32_t code) {
    HostValue buffer = make_empty();
    *result = *host().ExeOperator(&buffer, last_index, operands, ctx, code, kTypeRealArray);
    if (result->ext_type == kTypeRealArray) result->ext_type = private_key();
    return result;
}

}  // namespace

HostValue* dispatch_operator(HostValue* result, int64_t last_index, HostValue* operands, void* ctx,
                             int32_t code) {
    const OperatorRoute route =
        (code >= 0 && code <= kMaxOperatorCode) ? kRoutes[static_cast<size_t>(code)] : OperatorRoute{};
    switch (route.form) {
        case Form::Operand: {
            HostValue own = make_empty();
            *result = *route.operand(&own, operands, ctx);
            return result;
        }
        case Form::Call: {
            HostValue* filled = route.call(result, last_index, operands, ctx);
            if (filled != result) *result = *filled;
            return result;
        }
        case Form::HostShownPlain:
            return host_operator_plain_first(result, last_index, operands, ctx, code);
        case Form::HostTaggedResult:
            return host_operator_tagged(result, last_index, operands, ctx, code);
        case Form::Refused:
            break;
    }
    report(u"math 无法识别的运算符！", code, ctx);
    return write_empty(result);
}

}  // namespace hostmath
