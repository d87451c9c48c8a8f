// Not built yet: every function here returns the empty result.
#include "array/math_array.h"
#include "entry/script_functions.h"

namespace hostmath {

HostValue* toreal(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* SetArray(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* ra1(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* matrix(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* row(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* col(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* linspace(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* zeros(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* ones(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* eye(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }

}  // namespace hostmath
