// SPDX-License-Identifier: GPL-3.0-or-later
// math::fft and math::ifft: GSL's complex transforms, radix 2 for a power
// of two and mixed radix (with a wavetable and workspace per call) for any
// other length. The result array is the transform's own buffer: its rows
// (real, imaginary) are GSL's packed complex layout, so the input is copied
// in once and transformed in place.
#include <gsl/gsl_fft_complex.h>

#include "data/vector_args.h"
#include "kernels/allocation.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace data;

constexpr HostChar kFftKey[] = u"math::fft";
constexpr HostChar kIfftKey[] = u"math::ifft";

constexpr int64_t kCodeShape = 3;  // neither a vector of reals nor an n x 2 array of complex numbers

using Wavetable = Owned<gsl_fft_complex_wavetable, gsl_fft_complex_wavetable_free>;
using Workspace = Owned<gsl_fft_complex_workspace, gsl_fft_complex_workspace_free>;

struct Direction {
    const HostChar* key;
    int (*radix2)(gsl_complex_packed_array, size_t, size_t);
    int (*mixed_radix)(gsl_complex_packed_array, size_t, size_t, const gsl_fft_complex_wavetable*,
                       gsl_fft_complex_workspace*);
};
constexpr Direction kForward{kFftKey, gsl_fft_complex_radix2_forward, gsl_fft_complex_forward};
// GSL's inverse transforms divide by n.
constexpr Direction kInverse{kIfftKey, gsl_fft_complex_radix2_inverse, gsl_fft_complex_inverse};

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

bool is_power_of_two(int64_t n) { return (n & (n - 1)) == 0; }

// GSL's tables for a length that is no power of two (radix 2 needs none).
struct MixedRadixTables {
    Wavetable wavetable;
    Workspace workspace;
    bool ok() const { return wavetable && workspace; }
};
MixedRadixTables tables_for(int64_t n) {
    const auto size = static_cast<size_t>(n);
    return {Wavetable{allocate_gated(gsl_fft_complex_wavetable_alloc, size)},
            Workspace{allocate_gated(gsl_fft_complex_workspace_alloc, size)}};
}

HostValue* fourier(const Direction& d, HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    if (last_index != 0) return fail(result, d.key, kCodeArgumentCount, ctx);
    const RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, d.key, kCodeNotAnArray, ctx);
    bool is_complex = false;
    const int64_t n = complex_count(*a, &is_complex);
    if (n < 1) return fail(result, d.key, kCodeShape, ctx);

    // The tables come first: once the result exists it is handed over.
    const bool radix2 = is_power_of_two(n);
    MixedRadixTables tables;
    if (!radix2) {
        tables = tables_for(n);
        if (!tables.ok()) return fail(result, d.key, kCodeNoMemory, ctx);
    }
    RealArray* out = new_matrix(n, 2);
    if (out == nullptr) return fail(result, d.key, kCodeNoMemory, ctx);
    copy_in(*a, is_complex, n, out->data);
    const auto size = static_cast<size_t>(n);
    const int status = radix2 ? d.radix2(out->data, 1, size)
                              : d.mixed_radix(out->data, 1, size, tables.wavetable.get(), tables.workspace.get());
    // GSL fails only on a length or stride it was not built for, which these
    // calls never pass; were it to, the report says so and the array, as the
    // transform left it, is still the result.
    if (status != 0) report_kind(-1, d.key, status, ctx);
    return return_new_array(result, out, ctx);
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(fft) { return fourier(kForward, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(ifft) { return fourier(kInverse, result, last_index, args, ctx); }

}  // namespace hostmath
