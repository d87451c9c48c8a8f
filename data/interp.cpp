// SPDX-License-Identifier: GPL-3.0-or-later
// math::interp1: one-dimensional interpolation through the points (x(i),
// y(i)) by GSL's piecewise interpolants, with one accelerator per call.
#include <gsl/gsl_interp.h>

#include <array>
#include <limits>

#include "data/vector_args.h"
#include "kernels/allocation.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace data;

constexpr HostChar kInterpKey[] = u"math::interp1";

enum Code : int64_t {
    kCodeCounts = 3,          // x or y no vector, counts differ, or fewer than 2 points
    kCodeAbscissae = 4,       // x not strictly increasing, or not finite
    kCodeNotPoints = 5,       // xi neither a real nor an array
    kCodeMethod = 6,          // not one of the constants, or too few points for it
};

// The methods by their constants interp_linear 0 ... interp_steffen 3.
// GSL's own minimum point counts (2, 3, 5, 3) are the ones refused with code 6.
const std::array<const gsl_interp_type*, 4>& methods() {
    static const std::array<const gsl_interp_type*, 4> table = {gsl_interp_linear, gsl_interp_cspline,
                                                                gsl_interp_akima, gsl_interp_steffen};
    return table;
}

using Interpolant = Owned<gsl_interp, gsl_interp_free>;
using Accelerator = Owned<gsl_interp_accel, gsl_interp_accel_free>;

bool strictly_increasing(const double* x, int64_t n) {
    for (int64_t i = 1; i < n; ++i) {
        if (!(x[i - 1] < x[i])) return false;
    }
    return true;
}

// The method argument, or null when it names none.
const gsl_interp_type* method_of(const HostValue* args, int64_t last_index) {
    if (last_index < 3) return gsl_interp_linear;
    const HostValue& m = args[3];
    if (!is_integer(m) || m.integer() < 0 || m.integer() >= static_cast<int64_t>(methods().size())) return nullptr;
    return methods()[static_cast<size_t>(m.integer())];
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(interp1) {
    write_empty(result);
    if (last_index < 2 || last_index > 3) return fail(result, kInterpKey, kCodeArgumentCount, ctx);
    const RealArray* x = array_arg(args[0]);
    const RealArray* y = array_arg(args[1]);
    if (x == nullptr || y == nullptr) return fail(result, kInterpKey, kCodeNotAnArray, ctx);
    if (!is_vector(*x) || !is_vector(*y) || x->count != y->count || x->count < 2)
        return fail(result, kInterpKey, kCodeCounts, ctx);
    const int64_t n = x->count;
    if (!all_finite(x->data, n) || !strictly_increasing(x->data, n)) return fail(result, kInterpKey, kCodeAbscissae, ctx);
    if (!is_real(args[2]) && array_arg(args[2]) == nullptr) return fail(result, kInterpKey, kCodeNotPoints, ctx);
    const gsl_interp_type* method = method_of(args, last_index);
    if (method == nullptr || n < static_cast<int64_t>(gsl_interp_type_min_size(method)))
        return fail(result, kInterpKey, kCodeMethod, ctx);

    Interpolant interp{allocate_gated(gsl_interp_alloc, method, static_cast<size_t>(n))};
    Accelerator accel{allocate_gated(gsl_interp_accel_alloc)};
    if (!interp || !accel) return fail(result, kInterpKey, kCodeNoMemory, ctx);
    if (const int status = gsl_interp_init(interp.get(), x->data, y->data, static_cast<size_t>(n))) {
        report_kind(-1, kInterpKey, status, ctx);
        return result;
    }
    const double first = x->data[0], last = x->data[n - 1];
    return values_at_points(result, args[2], kInterpKey, kCodeNotPoints, ctx,
                            [&](const double* in, double* out, int64_t count) {
                                for (int64_t i = 0; i < count; ++i) {
                                    const double t = in[i];
                                    // Outside the table, and NaN, without asking GSL, which
                                    // would raise a domain error for each.
                                    out[i] = t >= first && t <= last
                                                 ? gsl_interp_eval(interp.get(), x->data, y->data, t, accel.get())
                                                 : std::numeric_limits<double>::quiet_NaN();
                                }
                            });
}

}  // namespace hostmath
