// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-ins that forward to the platform's functions until the library's
// own correctly rounded exp, log, log10, sinh, cosh, tanh and pow are in.
#include <cmath>

#include "elementary/elementary.h"

namespace hostmath::elementary {

double exp(double x) { return std::exp(x); }
double log(double x) { return std::log(x); }
double log10(double x) { return std::log10(x); }
double sinh(double x) { return std::sinh(x); }
double cosh(double x) { return std::cosh(x); }
double tanh(double x) { return std::tanh(x); }
double pow(double x, double y) { return std::pow(x, y); }

}  // namespace hostmath::elementary
