// Not built yet: every handler here returns the empty result.
#include "array/math_array.h"
#include "ops/operators.h"

namespace hostmath {

HostValue* op_sqrt(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_exp(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_ln(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_lg(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_sin(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_cos(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_tan(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_asin(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_acos(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_atan(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_sinh(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_cosh(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_tanh(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_abs(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_floor(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_ceil(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_atan2(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_fmod(HostValue* result, HostValue*, void*) { return write_empty(result); }

}  // namespace hostmath
