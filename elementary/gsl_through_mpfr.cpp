// SPDX-License-Identifier: GPL-3.0-or-later
// log1p, expm1, acosh and atanh for the library's copy of GSL, computed with
// MPFR alone, correctly rounded, with no fast path. acosh and atanh are
// called only by GSL's complex functions (gsl_complex_arccosh and the like),
// which share an object file with gsl_complex_abs, the one the library uses;
// the library never reaches them. log1p and expm1 are reached by the tails
// and quantiles of some distributions (exponential, Weibull, t, F, beta,
// binomial), each a few times per value, where a microsecond of MPFR is
// paid for a result that is the same bits everywhere.
#include <mpfr.h>

#include <cmath>

namespace {

using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// f(x) rounded to nearest binary64 for an f whose results, for the
// arguments given, are normal numbers or infinities or NaN: rounding to 53
// bits in MPFR's widest exponent range is then one correct rounding.
double rounded_once(Unary f, double x) {
    const mpfr_exp_t emin = mpfr_get_emin();
    const mpfr_exp_t emax = mpfr_get_emax();
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    MPFR_DECL_INIT(mx, 53);
    MPFR_DECL_INIT(r, 53);
    mpfr_set_d(mx, x, MPFR_RNDN);
    f(r, mx, MPFR_RNDN);
    const double result = mpfr_get_d(r, MPFR_RNDN);
    mpfr_set_emin(emin);
    mpfr_set_emax(emax);
    return result;
}

// Below 2^-1000, log1p(x), expm1(x) and atanh(x) differ from x by less than a
// relative 2^-1000, far less than half of x's spacing: x is the rounded
// result, and the results that MPFR computes are all normal numbers.
constexpr double kTiny = 0x1p-1000;

}  // namespace

extern "C" {

double hostmath_gsl_log1p(double x) { return std::fabs(x) < kTiny ? x : rounded_once(mpfr_log1p, x); }
double hostmath_gsl_expm1(double x) { return std::fabs(x) < kTiny ? x : rounded_once(mpfr_expm1, x); }
double hostmath_gsl_atanh(double x) { return std::fabs(x) < kTiny ? x : rounded_once(mpfr_atanh, x); }
// acosh(x) is NaN below 1, 0 at 1 and at least 2^-26 above it.
double hostmath_gsl_acosh(double x) { return rounded_once(mpfr_acosh, x); }

}  // extern "C"
