// SPDX-License-Identifier: GPL-3.0-or-later
// Special functions and probability distributions: values at a few points
// and over an array, a confidence interval and a test from the quantiles
// and tails, draws from the library's own generator.
#include <cstdio>

#include "examples/tour.h"

void tour_special(hostsim::Host& host) {
    std::printf("\n== Special functions ==\n");
    host.clear_errors();

    say("Gamma, its logarithm (no overflow) and digamma; an integer argument is taken as a real here.");
    call(host, "math::gamma", {5});
    call(host, "math::gamma", {0.5});
    call(host, "math::lgamma", {1000.0});
    call(host, "math::psi", {1.0});
    say("Element by element over an array, a number going with every element:");
    const Arg x = call(host, "math::linspace", {0.0, 10.0, 6}, "x");
    call(host, "math::besselj", {0, x});
    call(host, "math::besselj", {2.5, x});
    call(host, "math::besselk", {1, x});
    call(host, "math::gammainc", {x, 2.0});
    call(host, "math::gammainc", {x, 2.0, 1});
    say("Two arrays of the same shape pair their elements:");
    call(host, "math::beta", {x, x});
    call(host, "math::erfc", {nested(host, "math::ra1", {1.0, 5.0, 10.0, 27.0})});
    call(host, "math::airy", {-2.5});
    call(host, "math::airy", {-2.5, 1});
    call(host, "math::expint", {1.0});
    call(host, "math::zeta", {2.0});
    call(host, "math::ellipk", {0.5});
    call(host, "math::ellipe", {0.5});
    say("Lambert's W solves w e^w = x: the principal branch, and the lower one on [-1/e, 0):");
    call(host, "math::lambertw", {1.0});
    call(host, "math::lambertw", {-0.2, -1});
    say("Outside a domain the value is NaN, with no run error; a pole of gamma too:");
    call(host, "math::gamma", {-2.0});
    call(host, "math::ellipk", {1.5});
    say("Arrays of different sizes are code 3, a selector other than its integers code 4:");
    call(host, "math::beta", {x, nested(host, "math::ra1", {1.0, 2.0})});
    call(host, "math::airy", {1.0, 5});

    std::printf("\n== Probability distributions ==\n");
    host.clear_errors();
    const Arg normal = constant(host, "math::dist_normal");
    const Arg t = constant(host, "math::dist_t");
    say("The standard normal: density, both tails, and the quantile of 0.975:");
    call(host, "math::pdf", {normal, 0.0, 0.0, 1.0});
    call(host, "math::cdf", {normal, 1.96, 0.0, 1.0});
    call(host, "math::cdf", {normal, 1.96, 0.0, 1.0, 1});
    call(host, "math::icdf", {normal, 0.975, 0.0, 1.0});
    say("Far out the upper tail keeps its digits, where 1 - P(X <= x) is 0:");
    call(host, "math::cdf", {normal, 30.0, 0.0, 1.0, 1});
    say("A 95% confidence interval for a mean: 12 measurements, mean 10.3, standard deviation\n"
        "0.6; half-width = t quantile (11 degrees of freedom) * 0.6 / sqrt(12).");
    call(host, "math::icdf", {t, 0.975, 11.0}, "tq");
    say("so the interval is 10.3 -+ 2.2010 * 0.17321 = [9.919, 10.681].");
    say("A two-sided test of mean 10 against those measurements: t = (10.3 - 10) / (0.6 / sqrt(12.)),\n"
        "p-value = 2 P(T > |t|):");
    call(host, "math::cdf", {t, 1.7320508075688772, 11.0, 1}, "upper");
    say("Discrete quantiles: the least k with P(X <= k) >= q:");
    call(host, "math::icdf", {constant(host, "math::dist_binomial"), 0.5, 0.3, 20.0});
    call(host, "math::icdf", {constant(host, "math::dist_poisson"), nested(host, "math::ra1", {0.01, 0.5, 0.99}), 4.5});
    say("Draws from the library's generator (GSL's mt19937), the same on every platform; randseed\n"
        "restarts it:");
    call(host, "math::randseed", {2024});
    call(host, "math::random", {normal, 10.0, 2.0, 2, 3});
    call(host, "math::random", {constant(host, "math::dist_poisson"), 4.5, 1, 6});
    call(host, "math::randseed", {2024});
    call(host, "math::random", {normal, 10.0, 2.0, 2, 3});
    say("A parameter outside its domain gives NaN; dist not a constant is code 2:");
    call(host, "math::pdf", {normal, 0.0, 0.0, -1.0});
    call(host, "math::pdf", {15, 0.0, 0.0, 1.0});
}
