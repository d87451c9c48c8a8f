// SPDX-License-Identifier: GPL-3.0-or-later
// ODE integration: a script-defined system stepped by GSL, printed with outa.
#include <cstdio>
#include <span>
#include <vector>

#include "examples/tour.h"

namespace {

void show_errors(const hostsim::Host& host) {
    for (const hostsim::RunError& e : host.errors()) {
        std::printf("  run error: kind %d, %s, code %lld\n", e.kind, e.name.c_str(), static_cast<long long>(e.code));
    }
}

}  // namespace

void tour_ode(hostsim::Host& host) {
    std::printf("\n== ODE integration ==\n");
    std::printf("math::gsl_ode(f, jac, p, times, y0, ...) integrates dy/dt = f(t, y). For n state variables\n"
                "f takes t, y1..yn, d1..dn, p: it assigns the derivatives to d1..dn and returns the integer 0.\n"
                "The result has one row per output time: the time, then y1..yn.\n");

    // A damped oscillator, y1' = y2, y2' = -y1 - c y2, with the damping c
    // passed through as p.
    const HostValue damped = host.function(6, [](std::span<HostValue> p) {
        const double y1 = p[1].real(), y2 = p[2].real(), c = p[5].real();
        p[3] = make_real(y2);
        p[4] = make_real(-y1 - c * y2);
        return make_integer(0);
    });
    std::vector<double> t;
    for (int k = 0; k <= 8; ++k) t.push_back(0.5 * k);
    const HostValue times = host.array({static_cast<int64_t>(t.size())}, t);
    const HostValue y0 = host.array({2}, {1.0, 0.0});
    const HostValue rkf45 = *host.constant("math::gsl_rkf45");
    host.clear_errors();
    const HostValue rows = host.call("math::gsl_ode", {damped, make_empty(), make_real(0.5), times, y0, make_real(1e-8),
                                                       make_real(1e-8), rkf45});
    print_array(host, "y1'' + 0.5 y1' + y1 = 0 from (1, 0), rkf45, tolerances 1e-8: rows t, y1, y2", rows, 8, true);

    // A step budget that runs out: the rows not reached are NaN.
    std::printf("\nWith an initial step of 0.1 and at most 6 steps per output interval, the integration\n"
                "stops in the third interval: the rows not reached are NaN, and a soft stop is reported:\n");
    host.clear_errors();
    const HostValue cut = host.call("math::gsl_ode", {damped, make_empty(), make_real(0.5), times, y0, make_real(1e-8),
                                                      make_real(1e-8), rkf45, make_real(0.1), make_integer(6)});
    print_array(host, "the same with h = 0.1 and at most 6 steps per interval", cut, 8, true);
    show_errors(host);
}
