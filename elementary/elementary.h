// SPDX-License-Identifier: GPL-3.0-or-later
// The library's own elementary functions of binary64, correctly rounded to
// nearest on the whole range: the result is the exact value rounded once, so
// it is the same bits on every compiler, CPU and platform. Special values,
// signed zeros, subnormals, overflow and underflow behave as C99 Annex F
// describes. Host-free; nothing else of the project is included here.
#pragma once

namespace hostmath::elementary {

double exp(double x);
double log(double x);
double log10(double x);
double sinh(double x);
double cosh(double x);
double tanh(double x);
double pow(double x, double y);

double sin(double x);
double cos(double x);
double tan(double x);
double asin(double x);
double acos(double x);
double atan(double x);
double atan2(double y, double x);

}  // namespace hostmath::elementary
