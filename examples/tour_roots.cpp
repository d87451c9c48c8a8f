// SPDX-License-Identifier: GPL-3.0-or-later
// Root finding: all roots on an interval, one root from a start value, and a
// root of a system of equations, each of a script function.
#include <cmath>
#include <cstdio>
#include <span>
#include <vector>

#include "examples/tour.h"

namespace {

void roots_of_a_polynomial(hostsim::Host& host) {
    say("btFindRoot(f, a, b, h, max, eps) walks [a, b] in steps of h and bisects every sign change.");
    const Arg p = define(host, "p(x) = ((x - 2.0) * x - 5.0) * x + 6.0", 1, [](std::span<HostValue> a) {
        const double x = a[0].real();
        return make_real(((x - 2) * x - 5) * x + 6);
    });
    call(host, "math::btFindRoot", {p, -4.0, 4.0, 0.25, 10, 1e-10});
    say("The limits must be reals: -4 is refused.");
    call(host, "math::btFindRoot", {p, -4, 4.0, 0.25});
}

void a_fixed_point(hostsim::Host& host) {
    say("pqrt(f, x, eps) iterates a continued fraction from x and writes the root into x;\n"
        "the result is the number of passes.");
    const Arg f = define(host, "f(x) = cos(x) - x", 1, [](std::span<HostValue> a) {
        const double x = a[0].real();
        return make_real(std::cos(x) - x);
    });
    std::vector<Arg> args = {f, Arg("x", make_real(0.0)), 1e-12};
    call(host, "math::pqrt", args);
}

void nonlinear_systems(hostsim::Host& host) {
    say("netn(f, x, eps, t, h, k) solves f(x) = 0 for n equations in n unknowns and writes the\n"
        "root into the array x; the result is the number of updates. The circle\n"
        "x1^2 + x2^2 = 4 meets the parabola x2 = x1^2 - 1. In the scalar form f receives\n"
        "x1, x2 and assigns the residuals to y1, y2 (as reals).");
    const Arg scalar = define(host, "g(x1, x2, y1, y2) = { y1 = x1 * x1 + x2 * x2 - 4.0; y2 = x1 * x1 - 1.0 - x2 }",
                              4, [](std::span<HostValue> a) {
                                  const double x1 = a[0].real();
                                  const double x2 = a[1].real();
                                  a[2] = make_real(x1 * x1 + x2 * x2 - 4);
                                  a[3] = make_real(x1 * x1 - 1 - x2);
                                  return make_empty();
                              });
    const Arg x = call(host, "math::ra1", {1.0, 1.0}, "x");
    call(host, "math::netn", {scalar, x, 1e-12});
    call(host, "math::outa", {x, 16});

    say("In the array form f(xa, ya) receives the point as the vector xa and writes the values\n"
        "into the vector ya; n is the number of elements of x.");
    const Arg vector_form = define(host,
                                   "h(xa, ya) = { ya(0) = xa(0) * xa(0) + xa(1) * xa(1) - 4.0; "
                                   "ya(1) = xa(0) * xa(0) - 1.0 - xa(1) }",
                                   2, [&host](std::span<HostValue> a) {
                                       const double* xa = host.object(a[0])->data;
                                       double* ya = host.object(a[1])->data;
                                       ya[0] = xa[0] * xa[0] + xa[1] * xa[1] - 4;
                                       ya[1] = xa[0] * xa[0] - 1 - xa[1];
                                       return make_empty();
                                   });
    const Arg z = call(host, "math::ra1", {1.0, 1.0}, "z");
    call(host, "math::netn", {vector_form, z, 1e-12});
    call(host, "math::outa", {z, 16});
    std::printf("  (exact: x1 = sqrt((1 + sqrt(13)) / 2) = %.17g, x2 = x1^2 - 1 = %.17g)\n",
                std::sqrt((1 + std::sqrt(13.0)) / 2), (1 + std::sqrt(13.0)) / 2 - 1);
}

}  // namespace

void tour_roots(hostsim::Host& host) {
    std::printf("\n== Root finding ==\n");
    host.clear_errors();
    roots_of_a_polynomial(host);
    a_fixed_point(host);
    nonlinear_systems(host);
}
