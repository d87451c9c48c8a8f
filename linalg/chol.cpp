// SPDX-License-Identifier: GPL-3.0-or-later
// math::chol: the lower Cholesky factor of a symmetric positive definite
// matrix, from its lower triangle (kernels/dense_lu.h has the exact order).
#include <algorithm>

#include "kernels/dense_lu.h"
#include "kernels/scratch.h"
#include "linalg/matrix_args.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {
constexpr HostChar kCholKey[] = u"math::chol";
}  // namespace

HOSTMATH_SCRIPT_FUNCTION(chol) {
    using namespace linalg;
    write_empty(result);
    if (last_index != 0) return fail(result, kCholKey, kCodeArgumentCount, ctx);
    Matrix a;
    if (const int64_t code = read_square(args[0], &a)) return fail(result, kCholKey, code, ctx);
    const int64_t n = a.rows;
    // Factored in scratch, so that only a complete factor is handed over.
    Scratch<double> l(n * n);
    if (!l.ok()) return fail(result, kCholKey, kCodeNoMemory, ctx);
    std::copy(a.data, a.data + n * n, l.get());
    if (!cholesky_factor(l.get(), n, factor_threads(n))) return fail(result, kCholKey, kCodeNotPositiveDefinite, ctx);
    RealArray* out = new_matrix(n, n);
    if (out == nullptr) return fail(result, kCholKey, kCodeNoMemory, ctx);
    std::copy(l.get(), l.get() + n * n, out->data);
    return return_new_array(result, out, ctx);
}

}  // namespace hostmath
