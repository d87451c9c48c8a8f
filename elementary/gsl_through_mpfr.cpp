// SPDX-License-Identifier: GPL-3.0-or-later
// log1p, expm1, acosh and atanh for the library's copy of GSL, computed with
// MPFR alone, correctly rounded, with no fast path. acosh and atanh are
// called only by GSL's complex functions (gsl_complex_arccosh and the like),
// which share an object file with gsl_complex_abs, the one the library uses;
// the library never reaches them. log1p and expm1 are reached by the tails
// and quantiles of some distributions (exponential, Weibull, t, F, beta,
// binomial), each a few times per value, where a microsecond of MPFR is
// paid for a result that is the same bits everywhere.
#include <cmath>

#include "elementary/accurate.h"

namespace {

using hostmath::elementary::Accurate;
using hostmath::elementary::accurately;

// Below 2^-1000, log1p(x), expm1(x) and atanh(x) differ from x by less than a
// relative 2^-1000, far less than half of x's spacing: x is the rounded
// result.
constexpr double kTiny = 0x1p-1000;

}  // namespace

// Through the accurate path, so that MPFR takes its memory from the calling
// thread's arena there, on the library's worker threads too.
extern "C" {

double hostmath_gsl_log1p(double x) { return std::fabs(x) < kTiny ? x : accurately(Accurate::kLog1p, x); }
double hostmath_gsl_expm1(double x) { return std::fabs(x) < kTiny ? x : accurately(Accurate::kExpm1, x); }
double hostmath_gsl_atanh(double x) { return std::fabs(x) < kTiny ? x : accurately(Accurate::kAtanh, x); }
double hostmath_gsl_acosh(double x) { return accurately(Accurate::kAcosh, x); }

}  // extern "C"
