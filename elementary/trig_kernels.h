// SPDX-License-Identifier: GPL-3.0-or-later
// What the trigonometric functions and their inverses share: the fast
// paths' entry points (each gives the correctly rounded result, or nothing
// when its error bound cannot decide the rounding), the double-double
// quotient and the rounding test.
#pragma once

#include <cmath>
#include <optional>

#include "elementary/accurate.h"
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
// n.hi - q d.hi is exact (Sterbenz). A single hardware division: the
// quotient's first part need not be the rounded one, the correction takes
// up its error.
struct Quotient {
    DoubleDouble value;
    double inverse;  // 1 / d.hi rounded, for callers that need to scale by 1/d again
};

inline Quotient divide_keeping_inverse(DoubleDouble n, DoubleDouble d) {
    const double inverse = 1.0 / d.hi;
    const double q = n.hi * inverse;
    const DoubleDouble p = multiply(d, q);
    const double rest = ((n.hi - p.hi) - p.lo) + n.lo;
    return {fast_two_sum(q, rest * inverse), inverse};
}

inline DoubleDouble divide(DoubleDouble n, DoubleDouble d) { return divide_keeping_inverse(n, d).value; }

// The fast path's result, or the accurate path's where it gave up.
inline double fast_or_accurate(std::optional<double> fast_result, Accurate f, double x) {
    return fast_result ? *fast_result : accurately(f, x);
}

inline DoubleDouble negate(DoubleDouble a) { return {-a.hi, -a.lo}; }

}  // namespace hostmath::elementary
