// Not built yet: every function here returns the empty result.
#include "array/math_array.h"
#include "ops/operators.h"

namespace hostmath {

HostValue* copy(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }

}  // namespace hostmath
