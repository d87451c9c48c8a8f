// SPDX-License-Identifier: GPL-3.0-or-later
// The polynomials: math::polyfit (least squares on the Vandermonde matrix,
// by the QR of kernels/qr_least_squares.h), math::polyval (Horner from the
// top, element by element) and math::polyroots (GSL's companion-matrix
// solver). Coefficients are stored in ascending powers: c0, c1, ..., cd.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>

#include <algorithm>
#include <cmath>

#include "data/vector_args.h"
#include "kernels/allocation.h"
#include "kernels/parallel.h"
#include "kernels/qr_least_squares.h"
#include "kernels/scratch.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace data;

constexpr HostChar kPolyfitKey[] = u"math::polyfit";
constexpr HostChar kPolyvalKey[] = u"math::polyval";
constexpr HostChar kPolyrootsKey[] = u"math::polyroots";

enum Code : int64_t {
    kCodeShape = 3,       // polyfit: x or y no vector, counts differ; polyval: x neither a real nor an array;
                          // polyroots: degree below 1
    kCodeDegree = 4,      // polyfit: d not an integer in [0, n)
    kCodeNotFinite = 5,   // polyfit: x, y or a power of x not finite; polyroots: a coefficient
    kCodeSingular = 6,    // polyfit: rank deficient (fewer distinct x than d + 1)
};

// ---- polyfit ------------------------------------------------------------------

// The n x (d + 1) Vandermonde matrix, column by column: column 0 is 1,
// column j is column j - 1 times x, each product rounded.
void fill_vandermonde(const double* x, int64_t n, int64_t columns, double* v) {
    for (int64_t i = 0; i < n; ++i) v[i] = 1.0;
    for (int64_t j = 1; j < columns; ++j) {
        const double* previous = v + (j - 1) * n;
        double* column = v + j * n;
        for (int64_t i = 0; i < n; ++i) column[i] = previous[i] * x[i];
    }
}

// The number of different values among x[0 .. n-1] (all finite), counted
// in a sorted copy.
int64_t distinct_count(const double* x, int64_t n, double* copy) {
    std::copy(x, x + n, copy);
    std::sort(copy, copy + n);
    int64_t distinct = n > 0 ? 1 : 0;
    for (int64_t i = 1; i < n; ++i) distinct += copy[i] != copy[i - 1];
    return distinct;
}

// ---- polyval ------------------------------------------------------------------

// Horner's rule from the top, each product and sum rounded on its own.
inline double horner(const double* c, int64_t degree, double x) {
    double p = c[degree];
    for (int64_t k = degree - 1; k >= 0; --k) p = p * x + c[k];
    return p;
}

// A thread needs this many multiply-adds of its own before it joins.
constexpr int64_t kMultiplyAddsPerThread = int64_t{1} << 17;
constexpr int64_t kElementGrain = 512;

// Every element is computed alone, so the split across threads keeps the bits.
void evaluate_elements(const double* c, int64_t degree, const double* in, double* out, int64_t n) {
    int64_t work = 0;
    if (!checked_mul(n, std::max<int64_t>(degree, 1), &work)) work = INT64_MAX;
    parallel::for_ranges(parallel::threads_for(work, kMultiplyAddsPerThread), 0, n, kElementGrain,
                         [&](int64_t lo, int64_t hi) {
                             for (int64_t i = lo; i < hi; ++i) out[i] = horner(c, degree, in[i]);
                         });
}

// ---- polyroots ----------------------------------------------------------------

// The highest degree polyroots takes. The companion matrix holds d^2 doubles
// and its eigenvalues take some 10 d^3 operations (a second at about 700 on
// this library's machines); roots of a polynomial of higher degree are
// swamped by rounding long before.
constexpr int64_t kMostDegree = 512;

using PolyWorkspace = Owned<gsl_poly_complex_workspace, gsl_poly_complex_workspace_free>;

// Ascending by real part, then by imaginary part, NaN after every number.
bool root_before(const double* a, const double* b) {
    for (int part = 0; part < 2; ++part) {
        const bool a_nan = std::isnan(a[part]), b_nan = std::isnan(b[part]);
        if (a_nan != b_nan) return b_nan;
        if (!a_nan && a[part] != b[part]) return a[part] < b[part];
    }
    return false;
}

// Writes the degree x 2 rows of `roots` (packed real, imaginary) to out in order.
void write_sorted_roots(const double* roots, int64_t degree, double* out, Scratch<int64_t>& order) {
    for (int64_t i = 0; i < degree; ++i) order[static_cast<size_t>(i)] = i;
    // Equal roots keep GSL's order, by their positions: the order is total,
    // and the sort needs no memory of its own.
    std::sort(order.get(), order.get() + degree, [&](int64_t a, int64_t b) {
        if (root_before(roots + 2 * a, roots + 2 * b)) return true;
        return !root_before(roots + 2 * b, roots + 2 * a) && a < b;
    });
    for (int64_t i = 0; i < degree; ++i) {
        out[2 * i] = roots[2 * order[static_cast<size_t>(i)]];
        out[2 * i + 1] = roots[2 * order[static_cast<size_t>(i)] + 1];
    }
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(polyfit) {
    write_empty(result);
    if (last_index != 2) return fail(result, kPolyfitKey, kCodeArgumentCount, ctx);
    const RealArray* x = array_arg(args[0]);
    const RealArray* y = array_arg(args[1]);
    if (x == nullptr || y == nullptr) return fail(result, kPolyfitKey, kCodeNotAnArray, ctx);
    if (!is_vector(*x) || !is_vector(*y) || x->count != y->count) return fail(result, kPolyfitKey, kCodeShape, ctx);
    const int64_t n = x->count;
    if (!is_integer(args[2]) || args[2].integer() < 0 || args[2].integer() >= n)
        return fail(result, kPolyfitKey, kCodeDegree, ctx);
    const int64_t columns = args[2].integer() + 1;
    if (!all_finite(x->data, n) || !all_finite(y->data, n)) return fail(result, kPolyfitKey, kCodeNotFinite, ctx);

    Scratch<double> vandermonde(n * columns);  // columns <= n, so the product does not overflow
    if (!vandermonde.ok()) return fail(result, kPolyfitKey, kCodeNoMemory, ctx);
    // Fewer distinct abscissae than coefficients make the matrix singular
    // exactly, though rounding in the QR can leave a diagonal element just
    // above the rank test's threshold (x = 1, 1, 2 for a quadratic).
    if (distinct_count(x->data, n, vandermonde.get()) < columns) return fail(result, kPolyfitKey, kCodeSingular, ctx);
    fill_vandermonde(x->data, n, columns, vandermonde.get());
    if (!all_finite(vandermonde.get(), n * columns)) return fail(result, kPolyfitKey, kCodeNotFinite, ctx);
    QrLeastSquares qr;
    switch (qr.factorise(StridedMatrix{vandermonde.get(), n, columns, 1, n})) {
        case QrLeastSquares::Outcome::kFactorised: break;
        case QrLeastSquares::Outcome::kNoMemory: return fail(result, kPolyfitKey, kCodeNoMemory, ctx);
        case QrLeastSquares::Outcome::kRankDeficient: return fail(result, kPolyfitKey, kCodeSingular, ctx);
        case QrLeastSquares::Outcome::kFactorFailed:
            report_kind(-1, kPolyfitKey, qr.gsl_status(), ctx);
            return result;
    }
    RealArray* c = new_vector(columns);
    if (c == nullptr) return fail(result, kPolyfitKey, kCodeNoMemory, ctx);
    qr.solve(y->data, 1, c->data, 1);
    return return_new_array(result, c, ctx);
}

HOSTMATH_SCRIPT_FUNCTION(polyval) {
    write_empty(result);
    if (last_index != 1) return fail(result, kPolyvalKey, kCodeArgumentCount, ctx);
    const RealArray* c = array_arg(args[0]);
    if (c == nullptr || !is_vector(*c) || c->count < 1) return fail(result, kPolyvalKey, kCodeNotAnArray, ctx);
    const double* coefficients = c->data;
    const int64_t degree = c->count - 1;
    return values_at_points(result, args[1], kPolyvalKey, kCodeShape, ctx,
                            [&](const double* in, double* out, int64_t n) {
                                evaluate_elements(coefficients, degree, in, out, n);
                            });
}

namespace {

// GSL finds the roots as the eigenvalues of the companion matrix, whose
// last column holds -c(k) / c(d). Its balancing loops without end once a
// column's sum overflows (a leading coefficient tiny against the others),
// and its QR steps square entries. So where some |c(k) / c(d)| exceeds
// 2^500, the roots are found as those of p(2^e y), an exact rescaling
// whose coefficients c(k) 2^(e k) give ratios within 2^500, and multiplied
// by 2^e afterwards (huge roots may become infinite). Every other
// polynomial goes to GSL as it stands. Returns e >= 0.
int64_t root_scale_exponent(const double* c, int64_t degree) {
    constexpr int64_t kLargestRatio = 500;  // as a power of two
    const int64_t top = std::ilogb(c[degree]);
    int64_t e = 0;
    for (int64_t k = 0; k < degree; ++k) {
        if (c[k] == 0.0) continue;
        // log2 |c(k) / c(d)| < ilogb c(k) - ilogb c(d) + 1
        const int64_t excess = int64_t{std::ilogb(c[k])} - top + 1 - kLargestRatio;
        if (excess > 0) e = std::max(e, (excess + degree - k - 1) / (degree - k));
    }
    return e;
}

// c(k) 2^(-e (d - k)) for k < d, c(d) unchanged: p(2^e y) / 2^(e d).
void scale_coefficients(const double* c, int64_t degree, int64_t e, double* out) {
    for (int64_t k = 0; k < degree; ++k) out[k] = std::ldexp(c[k], static_cast<int>(std::max<int64_t>(-e * (degree - k), -4200)));
    out[degree] = c[degree];
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(polyroots) {
    write_empty(result);
    if (last_index != 0) return fail(result, kPolyrootsKey, kCodeArgumentCount, ctx);
    const RealArray* c = array_arg(args[0]);
    if (c == nullptr || !is_vector(*c)) return fail(result, kPolyrootsKey, kCodeNotAnArray, ctx);
    int64_t terms = c->count;
    while (terms > 0 && c->data[terms - 1] == 0.0) --terms;  // -0.0 too
    const int64_t degree = terms - 1;
    if (degree < 1) return fail(result, kPolyrootsKey, kCodeShape, ctx);
    if (!all_finite(c->data, terms)) return fail(result, kPolyrootsKey, kCodeNotFinite, ctx);
    if (degree > kMostDegree) return fail(result, kPolyrootsKey, kCodeNoMemory, ctx);
    const int64_t e = root_scale_exponent(c->data, degree);

    PolyWorkspace workspace{allocate_gated(gsl_poly_complex_workspace_alloc, static_cast<size_t>(terms))};
    Scratch<double> roots(2 * degree);
    Scratch<int64_t> order(degree);
    Scratch<double> scaled(e != 0 ? terms : 0);
    if (!workspace || !roots.ok() || !order.ok() || !scaled.ok()) return fail(result, kPolyrootsKey, kCodeNoMemory, ctx);
    const double* coefficients = c->data;
    if (e != 0) {
        scale_coefficients(c->data, degree, e, scaled.get());
        coefficients = scaled.get();
    }
    if (const int status = gsl_poly_complex_solve(coefficients, static_cast<size_t>(terms), workspace.get(), roots.get())) {
        report_kind(-1, kPolyrootsKey, status, ctx);
        return result;
    }
    for (int64_t i = 0; e != 0 && i < 2 * degree; ++i) roots[static_cast<size_t>(i)] = std::ldexp(roots[static_cast<size_t>(i)], static_cast<int>(e));
    RealArray* out = new_matrix(degree, 2);
    if (out == nullptr) return fail(result, kPolyrootsKey, kCodeNoMemory, ctx);
    write_sorted_roots(roots.get(), degree, out->data, order);
    return return_new_array(result, out, ctx);
}

}  // namespace hostmath
