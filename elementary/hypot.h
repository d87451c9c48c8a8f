// SPDX-License-Identifier: GPL-3.0-or-later
// hypot(x, y) = sqrt(x^2 + y^2) correctly rounded to nearest, without
// spurious overflow or underflow. GSL's Givens rotations and norms call it
// (the library's copy of GSL is bound to this one, elementary/gsl_binding.cpp).
#pragma once

namespace hostmath::elementary {

double hypot(double x, double y);

// How many calls of hypot could not decide the rounding in double-double
// and decided it exactly; for tests and measurements only.
unsigned long long hypot_exact_decisions();

}  // namespace hostmath::elementary
