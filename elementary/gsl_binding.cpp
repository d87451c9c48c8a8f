// SPDX-License-Identifier: GPL-3.0-or-later
// What the library's copy of GSL calls instead of the platform's mathematical
// functions: the build renames GSL's references in that copy
// (elementary/gsl_binding.syms, cmake/bound-gsl.cmake), exp to
// hostmath_gsl_exp and so on, so that GSL's step controls, wavetables and
// error estimates give the same bits on every processor and platform.
// C names, since GSL's C objects call them; hidden in the library like the
// rest. sincos is there because the compiler fuses a sin and a cos of the
// same argument into one call of it; hypot for GSL's Givens rotations and
// Householder reflections (eig, svd, lstsq).
#include "elementary/elementary.h"
#include "elementary/hypot.h"

namespace el = hostmath::elementary;

extern "C" {

double hostmath_gsl_exp(double x) { return el::exp(x); }
double hostmath_gsl_log(double x) { return el::log(x); }
double hostmath_gsl_log10(double x) { return el::log10(x); }
double hostmath_gsl_pow(double x, double y) { return el::pow(x, y); }
double hostmath_gsl_sinh(double x) { return el::sinh(x); }
double hostmath_gsl_cosh(double x) { return el::cosh(x); }
double hostmath_gsl_tanh(double x) { return el::tanh(x); }

double hostmath_gsl_sin(double x) { return el::sin(x); }
double hostmath_gsl_cos(double x) { return el::cos(x); }
void hostmath_gsl_sincos(double x, double* sine, double* cosine) {
    *sine = el::sin(x);
    *cosine = el::cos(x);
}
double hostmath_gsl_tan(double x) { return el::tan(x); }
double hostmath_gsl_asin(double x) { return el::asin(x); }
double hostmath_gsl_acos(double x) { return el::acos(x); }
double hostmath_gsl_atan(double x) { return el::atan(x); }
double hostmath_gsl_atan2(double y, double x) { return el::atan2(y, x); }

double hostmath_gsl_hypot(double x, double y) { return el::hypot(x, y); }

}  // extern "C"
