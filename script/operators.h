// SPDX-License-Identifier: GPL-3.0-or-later
// Handlers the operator dispatcher (entry/dispatch.cpp) routes to, whichever
// family they live in. Like script/script_functions.h for the script
// functions, this is where the families and the dispatcher meet, so that no
// family includes another's headers. Operand-form handlers read a fixed
// number of operands (two for binary operators, one for functions of one
// operand); call-form handlers are script functions and check their own count.
#pragma once

#include "host/host_abi.h"

namespace hostmath {

using OperandHandler = HostValue* (*)(HostValue* result, HostValue* operands, void* ctx);

#define HOSTMATH_OPERAND_HANDLER(name) HostValue* name(HostValue* result, HostValue* operands, void* ctx)

// Arithmetic (ops/arithmetic.cpp).
HOSTMATH_OPERAND_HANDLER(op_add);
HOSTMATH_OPERAND_HANDLER(op_subtract);
HOSTMATH_OPERAND_HANDLER(op_multiply);
HOSTMATH_OPERAND_HANDLER(op_elem_multiply);
HOSTMATH_OPERAND_HANDLER(op_elem_divide);
HOSTMATH_OPERAND_HANDLER(op_elem_power);

// Element-wise functions (ops/elementwise.cpp).
HOSTMATH_OPERAND_HANDLER(op_sqrt);
HOSTMATH_OPERAND_HANDLER(op_exp);
HOSTMATH_OPERAND_HANDLER(op_ln);
HOSTMATH_OPERAND_HANDLER(op_lg);
HOSTMATH_OPERAND_HANDLER(op_sin);
HOSTMATH_OPERAND_HANDLER(op_cos);
HOSTMATH_OPERAND_HANDLER(op_tan);
HOSTMATH_OPERAND_HANDLER(op_asin);
HOSTMATH_OPERAND_HANDLER(op_acos);
HOSTMATH_OPERAND_HANDLER(op_atan);
HOSTMATH_OPERAND_HANDLER(op_sinh);
HOSTMATH_OPERAND_HANDLER(op_cosh);
HOSTMATH_OPERAND_HANDLER(op_tanh);
HOSTMATH_OPERAND_HANDLER(op_abs);
HOSTMATH_OPERAND_HANDLER(op_floor);
HOSTMATH_OPERAND_HANDLER(op_ceil);
HOSTMATH_OPERAND_HANDLER(op_atan2);
HOSTMATH_OPERAND_HANDLER(op_fmod);

// Transpose (ops/transpose.cpp).
HOSTMATH_OPERAND_HANDLER(op_transpose);

// Call form (ops/copy.cpp); outa is the script function of script/script_functions.h.
HostValue* copy(HostValue* result, int64_t last_index, HostValue* operands, void* ctx);

// Call form (array/): iteration, indexed assignment and indexed read. Sum
// (code 39) is the script function of script/script_functions.h.
HostValue* op_in(HostValue* result, int64_t last_index, HostValue* operands, void* ctx);
HostValue* op_oset(HostValue* result, int64_t last_index, HostValue* operands, void* ctx);
HostValue* op_oget(HostValue* result, int64_t last_index, HostValue* operands, void* ctx);

}  // namespace hostmath
