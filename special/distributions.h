// SPDX-License-Identifier: GPL-3.0-or-later
// The twelve distributions behind math::pdf, cdf, icdf and random, indexed
// by the values of the dist_* constants (0 to 11). Each entry gathers GSL's
// functions for one distribution: density, lower and upper tail, quantile
// and draw.
#pragma once

#include <gsl/gsl_rng.h>

#include <cstdint>

namespace hostmath::special {

struct Distribution {
    int params;     // 1 or 2 (p1, p2); p2 is 0 for one
    bool discrete;  // values on the whole numbers 0, 1, ...
    // Whether finite parameters lie in the distribution's domain.
    bool (*valid)(double p1, double p2);
    // The density (the probability mass of a discrete one at a whole x >= 0).
    double (*pdf)(double x, double p1, double p2);
    // P(X <= x) and P(X > x) at a finite x (a whole x >= 0 for a discrete one).
    double (*lower_tail)(double x, double p1, double p2);
    double (*upper_tail)(double x, double p1, double p2);
    // The x with P(X <= x) = q for 0 < q < 1 (continuous ones).
    double (*quantile)(double q, double p1, double p2);
    // The ends of the support: the quantiles of 0 and 1.
    double (*first)(double p1, double p2);
    double (*last)(double p1, double p2);
    // One draw from r by GSL's method for the distribution, for parameters
    // in the domain (and, for Poisson, a mean GSL's 32-bit counts hold).
    double (*draw)(const gsl_rng* r, double p1, double p2);
};

inline constexpr int64_t kDistributionCount = 12;
// The distribution of a dist argument's value, or null.
const Distribution* distribution(int64_t dist);

// One element's value. Parameters the distribution does not accept (or that
// are not finite) give NaN, and so does a probability q below 0 or above 1.
double density(const Distribution& d, double x, double p1, double p2);
double probability(const Distribution& d, double x, double p1, double p2, bool upper);
double quantile(const Distribution& d, double q, double p1, double p2);
// Whether random may draw with these parameters.
bool drawable(const Distribution& d, double p1, double p2);

}  // namespace hostmath::special
