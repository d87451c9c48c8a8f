// Not built yet: every handler here returns the empty result.
#include "array/math_array.h"
#include "ops/operators.h"

namespace hostmath {

HostValue* op_add(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_subtract(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_multiply(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_elem_multiply(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_elem_divide(HostValue* result, HostValue*, void*) { return write_empty(result); }
HostValue* op_elem_power(HostValue* result, HostValue*, void*) { return write_empty(result); }

}  // namespace hostmath
