// SPDX-License-Identifier: GPL-3.0-or-later
// What the trigonometric functions and their inverses share: the fast
// paths' entry points (each gives the correctly rounded result, or nothing
// when its error bound cannot decide the rounding), the double-double
// quotient and square root, and the rounding test.
#pragma once

#include <cmath>
#include <optional>

#include "elementary/double_double.h"

namespace hostmath::elementary {

namespace fast {
// The fast paths alone, for the tests that count how often they give up.
std::optional<double> sin(double x);
std::optional<double> cos(double x);
std::optional<double> tan(double x);
std::optional<double> asin(double x);
std::optional<double> acos(double x);
std::optional<double> atan(double x);
std::optional<double> atan2(double y, double x);
}  // namespace fast

// An approximation of a value v with |v - (value.hi + value.lo)| <= error.
struct Bounded {
    DoubleDouble value;
    double error;
};

// v rounded to nearest when every point of [hi + lo - error, hi + lo + error]
// rounds to the same double; nothing when the interval straddles a rounding
// boundary. Both ends are a single rounding of an exact sum, and rounding is
// monotonic, so agreement of the ends decides v. The rounding of lo +- error
// itself moves an end by at most 2^-53 |lo + error|, far inside the slack
// every caller's error bound keeps.
inline std::optional<double> rounded(const Bounded& b) {
    const double up = b.value.hi + (b.value.lo + b.error);
    const double down = b.value.hi + (b.value.lo - b.error);
    if (up != down) return std::nullopt;
    return up;
}

// n / d with a relative error below 2^-100, for d.hi far from underflow and
// overflow: one correction step from the remainder, whose leading part
// n.hi - q d.hi is exact (Sterbenz).
inline DoubleDouble divide(DoubleDouble n, DoubleDouble d) {
    const double q = n.hi / d.hi;
    const DoubleDouble p = multiply(d, q);
    const double rest = ((n.hi - p.hi) - p.lo) + n.lo;
    return fast_two_sum(q, rest / d.hi);
}

// sqrt(a) for a >= 0 with a relative error below 2^-100: the correctly
// rounded square root corrected by one Newton step on the exact remainder.
inline DoubleDouble square_root(DoubleDouble a) {
    const double s = std::sqrt(a.hi);
    if (s == 0.0) return {0.0, 0.0};
    const DoubleDouble p = two_product(s, s);
    const double rest = ((a.hi - p.hi) - p.lo) + a.lo;
    return fast_two_sum(s, rest / (2.0 * s));
}

inline DoubleDouble negate(DoubleDouble a) { return {-a.hi, -a.lo}; }

}  // namespace hostmath::elementary
