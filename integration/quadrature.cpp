// Not built yet: every function here returns the empty result.
#include "array/math_array.h"
#include "entry/script_functions.h"

namespace hostmath {

HostValue* gsl_qng(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* gsl_qag(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* gsl_qags(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* gsl_qagp(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* gsl_qagi(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* gsl_qagiu(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* gsl_qagil(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }
HostValue* gsl_qawc(HostValue* result, int64_t, HostValue*, void*) { return write_empty(result); }

}  // namespace hostmath
