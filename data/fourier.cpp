// SPDX-License-Identifier: GPL-3.0-or-later
// math::fft and math::ifft: the library's own transform (kernels/fft.h).
// Its plan comes first; the result array is then the transform's buffer:
// its rows (real, imaginary) are the pairs the transform works on, so the
// input is copied in once and transformed in place.
#include "data/vector_args.h"
#include "kernels/fft.h"
#include "kernels/parallel.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace data;

constexpr HostChar kFftKey[] = u"math::fft";
constexpr HostChar kIfftKey[] = u"math::ifft";

constexpr int64_t kCodeShape = 3;  // neither a vector of reals nor an n x 2 array of complex numbers

// A thread joins a transform only for at least this many points of its own.
constexpr int64_t kPointsPerThread = int64_t{1} << 15;

// n complex numbers: a vector of n >= 1 reals (imaginary parts 0), or an
// n x 2 array of rows (real, imaginary) with n >= 2. 0 when neither.
int64_t complex_count(const RealArray& a, bool* is_complex) {
    *is_complex = a.ndims == 2 && a.dims[0] >= 2 && a.dims[1] == 2 && has_consistent_shape(a);
    if (*is_complex) return a.dims[0];
    return is_vector(a) ? a.count : 0;
}

void copy_in(const RealArray& a, bool is_complex, int64_t n, double* packed) {
    if (is_complex) {
        for (int64_t i = 0; i < 2 * n; ++i) packed[i] = a.data[i];
        return;
    }
    for (int64_t i = 0; i < n; ++i) {
        packed[2 * i] = a.data[i];
        packed[2 * i + 1] = 0.0;
    }
}

HostValue* fourier(bool inverse, HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    const HostChar* key = inverse ? kIfftKey : kFftKey;
    write_empty(result);
    if (last_index != 0) return fail(result, key, kCodeArgumentCount, ctx);
    const RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, key, kCodeNotAnArray, ctx);
    bool is_complex = false;
    const int64_t n = complex_count(*a, &is_complex);
    if (n < 1) return fail(result, key, kCodeShape, ctx);

    // The plan comes first: once the result exists it is handed over.
    dft::Transform transform(n, parallel::threads_for(n, kPointsPerThread));
    if (!transform.ok()) return fail(result, key, kCodeNoMemory, ctx);
    RealArray* out = new_matrix(n, 2);
    if (out == nullptr) return fail(result, key, kCodeNoMemory, ctx);
    copy_in(*a, is_complex, n, out->data);
    transform.run(out->data, inverse);
    return return_new_array(result, out, ctx);
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(fft) { return fourier(false, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(ifft) { return fourier(true, result, last_index, args, ctx); }

}  // namespace hostmath
