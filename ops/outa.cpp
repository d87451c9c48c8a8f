// Not built yet: every function here returns the empty result.
#include "array/math_array.h"
#include "entry/script_functions.h"

namespace hostmath {

HostValue* outa(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }

}  // namespace hostmath
