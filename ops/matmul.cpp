// Not built yet: the product returns the empty result.
#include "ops/matmul.h"

#include "array/math_array.h"

namespace hostmath {

HostValue* multiply_matrices(HostValue* result, const RealArray&, const RealArray&, void*) {
    return write_empty(result);
}

}  // namespace hostmath
