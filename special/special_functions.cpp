// SPDX-License-Identifier: GPL-3.0-or-later
// The special functions, element-wise (special/elementwise.h): each a row
// naming GSL's gsl_sf_*_e function. GSL's value stands for every element:
// NaN where GSL reports a domain error, +-infinity on overflow, 0 (or GSL's
// subnormal) on underflow; no run error is reported for an element.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_mode.h>
#include <gsl/gsl_sf_airy.h>
#include <gsl/gsl_sf_bessel.h>
#include <gsl/gsl_sf_ellint.h>
#include <gsl/gsl_sf_erf.h>
#include <gsl/gsl_sf_expint.h>
#include <gsl/gsl_sf_gamma.h>
#include <gsl/gsl_sf_lambert.h>
#include <gsl/gsl_sf_psi.h>
#include <gsl/gsl_sf_zeta.h>

#include <cmath>
#include <initializer_list>
#include <limits>

#include "elementary/elementary.h"
#include "elementary/hypot.h"
#include "script/script_functions.h"
#include "special/elementwise.h"

namespace hostmath {

namespace {

using special::Operands;

enum Code : int64_t {
    kCodeNotOperand = 2,  // an argument neither a number nor an array
    kCodeSelector = 4,    // upper, which or branch not one of its integers
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// GSL's value of f at the arguments: NaN for a domain error, whatever GSL
// left in the result, and NaN where GSL gave up without writing one (its
// iterations that did not converge).
template <class F, class... A>
inline double sf(F f, A... a) {
    gsl_sf_result r{kNaN, 0.0};
    return f(a..., &r) == GSL_EDOM ? kNaN : r.val;
}

// ---- the workers ----------------------------------------------------------------

// A function as a type of its own, so that each worker inlines it.
template <auto F>
inline constexpr auto inlined = [](auto... v) { return F(v...); };

// NAME(x1, ..., xN).
template <int N, class F>
HostValue* elementwise(HostValue* result, int64_t last_index, HostValue* args, void* ctx, const HostChar* key, F f) {
    write_empty(result);
    if (last_index + 1 != N) return fail(result, key, special::kCodeCount, ctx);
    Operands<N> o;
    if (int64_t code = special::read_operands<N>(args, kCodeNotOperand, &o)) return fail(result, key, code, ctx);
    return special::evaluate<N>(result, o, key, ctx, f);
}

// NAME(x1, ..., xN [, selector]): the selector an integer among `allowed`
// (default 0), handed to f first.
template <int N, class F>
HostValue* selected(HostValue* result, int64_t last_index, HostValue* args, void* ctx, const HostChar* key,
                    std::initializer_list<int64_t> allowed, F f) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs != N && nargs != N + 1) return fail(result, key, special::kCodeCount, ctx);
    Operands<N> o;
    if (int64_t code = special::read_operands<N>(args, kCodeNotOperand, &o)) return fail(result, key, code, ctx);
    int64_t selector = 0;
    if (nargs == N + 1) {
        if (!is_integer(args[N])) return fail(result, key, kCodeSelector, ctx);
        selector = args[N].integer();
        bool known = false;
        for (int64_t a : allowed) known = known || a == selector;
        if (!known) return fail(result, key, kCodeSelector, ctx);
    }
    const int s = static_cast<int>(selector);
    return special::evaluate<N>(result, o, key, ctx, [s, &f](auto... v) { return f(s, v...); });
}

// ---- Bessel functions -------------------------------------------------------------

// Whole orders up to this size go to GSL's integer-order functions, whose
// tests square the order in an int; larger ones to the real-order functions.
constexpr double kLargestIntegerOrder = 46340.0;
// Above this order K_nu is the uniform asymptotic expansion in the order
// (large_order_k): GSL's real-order K recurs upward once per unit of order,
// and its own K_n takes the expansion above order about 220.
constexpr double kRecurrenceOrderLimit = 1000.0;

enum class Bessel : uint8_t { J, Y, I, K };

// K_nu(x) for a large order nu: the expansion GSL's scaled K uses (Debye's
// polynomials u1 to u5 in t = 1 / sqrt(1 + z^2), z = x / nu), evaluated
// without GSL's factor e^x, which overflows where K itself is still a
// double (x near 0.66 nu):
//   sqrt(pi / (2 nu sqrt(1 + z^2))) e^(-nu eta) (1 - u1/nu + u2/nu^2 - u3/nu^3 + u4/nu^4 - u5/nu^5),
//   eta = sqrt(1 + z^2) + ln(z / (1 + sqrt(1 + z^2))).
double large_order_k(double nu, double x) {
    if (!(x > 0.0)) return kNaN;
    const double z = x / nu;
    const double root = elementary::hypot(1.0, z);
    const double pre = std::sqrt(M_PI / (2.0 * nu * root));
    const double eta = root + elementary::log(z / (1.0 + root));
    double t[16];
    t[0] = 1.0;
    for (int i = 1; i < 16; ++i) t[i] = t[i - 1] / root;
    const double u1 = (3.0 * t[1] - 5.0 * t[3]) / 24.0;
    const double u2 = (81.0 * t[2] - 462.0 * t[4] + 385.0 * t[6]) / 1152.0;
    const double u3 = (30375.0 * t[3] - 369603.0 * t[5] + 765765.0 * t[7] - 425425.0 * t[9]) / 414720.0;
    const double u4 = (4465125.0 * t[4] - 94121676.0 * t[6] + 349922430.0 * t[8] - 446185740.0 * t[10] +
                       185910725.0 * t[12]) /
                      39813120.0;
    const double u5 = (1519035525.0 * t[5] - 49286948607.0 * t[7] + 284499769554.0 * t[9] - 614135872350.0 * t[11] +
                       566098157625.0 * t[13] - 188699385875.0 * t[15]) /
                      6688604160.0;
    const double sum = 1.0 - u1 / nu + u2 / (nu * nu) - u3 / (nu * nu * nu) + u4 / (nu * nu * nu * nu) -
                       u5 / (nu * nu * nu * nu * nu);
    return pre * elementary::exp(-nu * eta) * sum;
}

// Of order nu at x: whole orders by the integer-order functions (negative
// ones by their reflection: J and Y change sign with odd orders, I and K
// never), other orders by the real-order ones, which take no negative order
// and no negative x. At infinite x or order, the limits.
template <Bessel B>
double bessel(double nu, double x) {
    const bool whole = nu == std::floor(nu) && std::isfinite(nu);
    const bool odd = whole && std::fmod(nu, 2.0) != 0.0;
    if (!whole && nu < 0.0) return kNaN;
    if (std::isinf(x)) {
        if (x < 0.0 && (B == Bessel::Y || B == Bessel::K)) return kNaN;
        if (B != Bessel::I) return 0.0;  // J and Y swing ever less, K decays
        return x < 0.0 && odd ? -kInf : kInf;
    }
    if (std::isinf(nu)) {  // +infinity: the order outgrows every x
        if (B == Bessel::Y) return x > 0.0 ? -kInf : kNaN;
        if (B == Bessel::K) return x > 0.0 ? kInf : kNaN;
        return 0.0;
    }
    if (whole && std::fabs(nu) <= kLargestIntegerOrder) {
        const int n = static_cast<int>(nu);
        double v = kNaN;
        switch (B) {
            case Bessel::J: return sf(gsl_sf_bessel_Jn_e, n, x);
            case Bessel::Y:
                v = sf(gsl_sf_bessel_Yn_e, n, x);
                // GSL reports an overflow near 0 without a value: Y_n goes to
                // -infinity there, Y_-n to (-1)^n times that.
                if (std::isnan(v) && x > 0.0) v = n < 0 && odd ? kInf : -kInf;
                return v;
            case Bessel::I:
                v = sf(gsl_sf_bessel_In_e, n, x);
                return std::isinf(v) && x < 0.0 && odd ? -kInf : v;  // GSL's overflow is +infinity
            case Bessel::K:
                v = sf(gsl_sf_bessel_Kn_e, n, x);
                return std::isnan(v) && x > 0.0 ? kInf : v;  // the overflow near 0, as for Y
        }
    }
    // J_nu(0) = I_nu(0) = 0 for nu > 0, where GSL's real-order J takes x > 0 only.
    if (x == 0.0 && nu > 0.0 && (B == Bessel::J || B == Bessel::I)) return 0.0;
    double sign = 1.0;
    if (nu < 0.0) {
        nu = -nu;
        if ((B == Bessel::J || B == Bessel::Y) && odd) sign = -1.0;
    }
    switch (B) {
        case Bessel::J: return sign * sf(gsl_sf_bessel_Jnu_e, nu, x);
        case Bessel::Y: return sign * sf(gsl_sf_bessel_Ynu_e, nu, x);
        case Bessel::I: return sf(gsl_sf_bessel_Inu_e, nu, x);
        case Bessel::K: return nu > kRecurrenceOrderLimit ? large_order_k(nu, x) : sf(gsl_sf_bessel_Knu_e, nu, x);
    }
    return kNaN;
}

// ---- the gamma family, the error functions, E1 and zeta ------------------------

// The poles of gamma and psi, and every double at or below -2^52 (all of
// them whole): NaN, where GSL's lngamma would give 0 for lack of a fraction.
inline bool pole(double x) { return x <= 0.0 && x == std::floor(x); }

double gamma_value(double x) { return pole(x) ? kNaN : sf(gsl_sf_gamma_e, x); }
double lgamma_value(double x) { return pole(x) ? kNaN : sf(gsl_sf_lngamma_e, x); }
double psi_value(double x) { return pole(x) ? kNaN : sf(gsl_sf_psi_e, x); }

// B(a, b) and ln B(a, b) tend to 0 and -infinity as a or b grows without
// bound (the other positive).
double beta_value(double a, double b) {
    if (std::isinf(a) || std::isinf(b)) return a > 0.0 && b > 0.0 ? 0.0 : kNaN;
    return sf(gsl_sf_beta_e, a, b);
}
double lbeta_value(double a, double b) {
    if (std::isinf(a) || std::isinf(b)) return a > 0.0 && b > 0.0 ? -kInf : kNaN;
    return sf(gsl_sf_lnbeta_e, a, b);
}

double erf_value(double x) { return std::isinf(x) ? std::copysign(1.0, x) : sf(gsl_sf_erf_e, x); }
double erfc_value(double x) { return std::isinf(x) ? (x > 0.0 ? 0.0 : 2.0) : sf(gsl_sf_erfc_e, x); }

// P(a, x) or Q(a, x): all of the mass lies below x = +infinity.
double gammainc_value(int upper, double x, double a) {
    if (x == kInf && a > 0.0 && a < kInf) return upper == 1 ? 0.0 : 1.0;
    return upper == 1 ? sf(gsl_sf_gamma_inc_Q_e, a, x) : sf(gsl_sf_gamma_inc_P_e, a, x);
}

// E1 is negative below 0 (-Ei(-x)), where GSL's overflow is +infinity all the same.
double expint_value(double x) {
    const double v = sf(gsl_sf_expint_E1_e, x);
    return x < 0.0 && std::isinf(v) ? -kInf : v;
}

// Below s = -170 GSL's zeta overflows as +infinity; the sign of zeta(s) for
// s < 0 is that of sin(pi s / 2) (0 at the even whole numbers, where GSL
// gives 0). At -infinity it has no limit.
double zeta_value(double s) {
    if (s == -kInf) return kNaN;
    const double v = sf(gsl_sf_zeta_e, s);
    if (!(s < 0.0 && std::isinf(v))) return v;
    double turn = std::fmod(s / 2.0, 2.0);  // s / 2 modulo 2, in [0, 2)
    if (turn < 0.0) turn += 2.0;
    return turn > 1.0 ? -kInf : kInf;
}

// ---- the others needing a word ---------------------------------------------------

// Ai, Bi, Ai', Bi' by `which` 0 to 3. Towards -infinity Ai and Bi swing
// ever less; their derivatives ever more.
double airy_value(int which, double x) {
    if (x == -kInf) return which < 2 ? 0.0 : kNaN;
    switch (which) {
        case 1: return sf(gsl_sf_airy_Bi_e, x, gsl_mode_t{GSL_PREC_DOUBLE});
        case 2: return sf(gsl_sf_airy_Ai_deriv_e, x, gsl_mode_t{GSL_PREC_DOUBLE});
        case 3: return sf(gsl_sf_airy_Bi_deriv_e, x, gsl_mode_t{GSL_PREC_DOUBLE});
        default: return sf(gsl_sf_airy_Ai_e, x, gsl_mode_t{GSL_PREC_DOUBLE});
    }
}

// The complete integrals of parameter m = k^2: NaN outside [0, 1]; at 1,
// K is +infinity and E is 1 (GSL's functions stop short of k = 1).
double complete_k(double m) {
    if (m < 0.0 || m > 1.0) return kNaN;
    if (m == 1.0) return kInf;
    return sf(gsl_sf_ellint_Kcomp_e, std::sqrt(m), gsl_mode_t{GSL_PREC_DOUBLE});
}
double complete_e(double m) {
    if (m < 0.0 || m > 1.0) return kNaN;
    if (m == 1.0) return 1.0;
    return sf(gsl_sf_ellint_Ecomp_e, std::sqrt(m), gsl_mode_t{GSL_PREC_DOUBLE});
}

// W(+infinity) = +infinity; GSL's W_-1 gives W_0 above 0.
double lambertw_value(int branch, double x) {
    if (x == kInf) return kInf;
    return branch == -1 ? sf(gsl_sf_lambert_Wm1_e, x) : sf(gsl_sf_lambert_W0_e, x);
}

}  // namespace

// clang-format off
HOSTMATH_SCRIPT_FUNCTION(gamma)    { return elementwise<1>(result, last_index, args, ctx, u"math::gamma",  inlined<gamma_value>); }
HOSTMATH_SCRIPT_FUNCTION(lgamma)   { return elementwise<1>(result, last_index, args, ctx, u"math::lgamma", inlined<lgamma_value>); }
HOSTMATH_SCRIPT_FUNCTION(psi)      { return elementwise<1>(result, last_index, args, ctx, u"math::psi",    inlined<psi_value>); }
HOSTMATH_SCRIPT_FUNCTION(beta)     { return elementwise<2>(result, last_index, args, ctx, u"math::beta",   inlined<beta_value>); }
HOSTMATH_SCRIPT_FUNCTION(lbeta)    { return elementwise<2>(result, last_index, args, ctx, u"math::lbeta",  inlined<lbeta_value>); }
HOSTMATH_SCRIPT_FUNCTION(erf)      { return elementwise<1>(result, last_index, args, ctx, u"math::erf",    inlined<erf_value>); }
HOSTMATH_SCRIPT_FUNCTION(erfc)     { return elementwise<1>(result, last_index, args, ctx, u"math::erfc",   inlined<erfc_value>); }
HOSTMATH_SCRIPT_FUNCTION(gammainc) { return selected<2>(result, last_index, args, ctx, u"math::gammainc", {0, 1}, inlined<gammainc_value>); }
HOSTMATH_SCRIPT_FUNCTION(betainc)  { return elementwise<3>(result, last_index, args, ctx, u"math::betainc", [](double x, double a, double b) { return sf(gsl_sf_beta_inc_e, a, b, x); }); }
HOSTMATH_SCRIPT_FUNCTION(besselj)  { return elementwise<2>(result, last_index, args, ctx, u"math::besselj", inlined<bessel<Bessel::J>>); }
HOSTMATH_SCRIPT_FUNCTION(bessely)  { return elementwise<2>(result, last_index, args, ctx, u"math::bessely", inlined<bessel<Bessel::Y>>); }
HOSTMATH_SCRIPT_FUNCTION(besseli)  { return elementwise<2>(result, last_index, args, ctx, u"math::besseli", inlined<bessel<Bessel::I>>); }
HOSTMATH_SCRIPT_FUNCTION(besselk)  { return elementwise<2>(result, last_index, args, ctx, u"math::besselk", inlined<bessel<Bessel::K>>); }
HOSTMATH_SCRIPT_FUNCTION(airy)     { return selected<1>(result, last_index, args, ctx, u"math::airy", {0, 1, 2, 3}, inlined<airy_value>); }
HOSTMATH_SCRIPT_FUNCTION(expint)   { return elementwise<1>(result, last_index, args, ctx, u"math::expint", inlined<expint_value>); }
HOSTMATH_SCRIPT_FUNCTION(zeta)     { return elementwise<1>(result, last_index, args, ctx, u"math::zeta",   inlined<zeta_value>); }
HOSTMATH_SCRIPT_FUNCTION(ellipk)   { return elementwise<1>(result, last_index, args, ctx, u"math::ellipk", inlined<complete_k>); }
HOSTMATH_SCRIPT_FUNCTION(ellipe)   { return elementwise<1>(result, last_index, args, ctx, u"math::ellipe", inlined<complete_e>); }
HOSTMATH_SCRIPT_FUNCTION(lambertw) { return selected<1>(result, last_index, args, ctx, u"math::lambertw", {0, -1}, inlined<lambertw_value>); }
// clang-format on

}  // namespace hostmath
