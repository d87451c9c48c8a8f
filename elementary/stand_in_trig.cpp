// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-ins that forward to the platform's functions until the library's
// own correctly rounded sin, cos, tan, asin, acos, atan and atan2 are in.
#include <cmath>

#include "elementary/elementary.h"

namespace hostmath::elementary {

double sin(double x) { return std::sin(x); }
double cos(double x) { return std::cos(x); }
double tan(double x) { return std::tan(x); }
double asin(double x) { return std::asin(x); }
double acos(double x) { return std::acos(x); }
double atan(double x) { return std::atan(x); }
double atan2(double y, double x) { return std::atan2(y, x); }

}  // namespace hostmath::elementary
