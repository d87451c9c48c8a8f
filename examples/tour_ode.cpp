// SPDX-License-Identifier: GPL-3.0-or-later
// ODE integration: a script-defined system stepped by GSL, printed with outa.
#include <cstdio>
#include <span>

#include "examples/tour.h"

void tour_ode(hostsim::Host& host) {
    std::printf("\n== ODE integration ==\n");
    host.clear_errors();
    say("math::gsl_ode(f, jac, p, times, y0, ...) integrates dy/dt = f(t, y). For n state\n"
        "variables f takes t, y1..yn, d1..dn, p: it assigns the derivatives to d1..dn and\n"
        "returns the integer 0. The result has one row per output time: the time, then y1..yn.\n"
        "A damped oscillator y1'' + c y1' + y1 = 0, with the damping c passed through as p:");

    const Arg f = define(host, "f(t, y1, y2, d1, d2, c) = { d1 = y2; d2 = -y1 - c * y2; return 0 }", 6,
                         [](std::span<HostValue> p) {
                             const double y1 = p[1].real(), y2 = p[2].real(), c = p[5].real();
                             p[3] = make_real(y2);
                             p[4] = make_real(-y1 - c * y2);
                             return make_integer(0);
                         });
    const Arg times = call(host, "math::linspace", {0.0, 4.0, 9}, "times");
    const Arg y0 = call(host, "math::ra1", {1.0, 0.0}, "y0");
    const Arg rkf45 = constant(host, "math::gsl_rkf45");
    const Arg r = keep(host, "r", nested(host, "math::gsl_ode", {f, Arg(make_empty()), 0.5, times, y0, 1e-8, 1e-8, rkf45}));
    call(host, "math::outa", {r, 8, true, true});

    say("With an initial step of 0.1 and at most 6 steps per output interval, the integration\n"
        "stops in the third interval: the rows not reached are NaN, and a soft stop (kind -2)\n"
        "is reported.");
    const Arg cut = keep(host, "cut",
                         nested(host, "math::gsl_ode", {f, Arg(make_empty()), 0.5, times, y0, 1e-8, 1e-8, rkf45, 0.1, 6}));
    call(host, "math::outa", {cut, 8, true, true});
}
