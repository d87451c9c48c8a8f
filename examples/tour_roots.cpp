// SPDX-License-Identifier: GPL-3.0-or-later
// Root finding: all roots on an interval, one root from a start value, and a
// root of a system of equations, each of a script function.
#include <cmath>
#include <cstdio>
#include <span>
#include <vector>

#include "examples/tour.h"

namespace {

long long last_code(const hostsim::Host& host) {
    return host.errors().empty() ? 0LL : static_cast<long long>(host.errors().back().code);
}

void roots_of_a_polynomial(hostsim::Host& host) {
    // p(x) = x^3 - 2x^2 - 5x + 6 = (x + 2)(x - 1)(x - 3)
    const HostValue p = host.function(1, [](std::span<HostValue> a) {
        const double x = a[0].real();
        return make_real(((x - 2) * x - 5) * x + 6);
    });
    std::vector<HostValue> args{p, make_real(-4), make_real(4), make_real(0.25), make_integer(10), make_real(1e-10)};
    host.clear_errors();
    const HostValue r = host.call("math::btFindRoot", args);
    std::printf("btFindRoot(p, -4.0, 4.0, 0.25, 10, 1e-10) with p(x) = x^3 - 2x^2 - 5x + 6:\n  ");
    if (r.base_type != kTypeRealArray) {
        std::printf("no roots (code %lld)\n", last_code(host));
        return;
    }
    for (double root : host.read(r).values) std::printf("% .12f  ", root);
    std::printf("\n");
}

void a_fixed_point(hostsim::Host& host) {
    // The fixed point of cos: the root of cos(x) - x.
    const HostValue f = host.function(1, [](std::span<HostValue> a) {
        const double x = a[0].real();
        return make_real(std::cos(x) - x);
    });
    std::vector<HostValue> args{f, make_real(0.0), make_real(1e-12)};
    host.clear_errors();
    const HostValue r = host.call("math::pqrt", args);
    if (r.base_type != kTypeInteger) {
        std::printf("pqrt refused (code %lld)\n", last_code(host));
        return;
    }
    std::printf("pqrt(f, x = 0.0, 1e-12) with f(x) = cos(x) - x:\n  x = %.15f after %lld pass(es), cos(x) = %.15f\n",
                args[1].real(), static_cast<long long>(r.integer()), std::cos(args[1].real()));
}

void a_nonlinear_system(hostsim::Host& host) {
    // The circle x^2 + y^2 = 4 meets the parabola y = x^2 - 1; in the scalar
    // form the script function receives x and y and assigns both residuals.
    const HostValue f = host.function(4, [](std::span<HostValue> a) {
        const double x = a[0].real();
        const double y = a[1].real();
        a[2] = make_real(x * x + y * y - 4);
        a[3] = make_real(x * x - 1 - y);
        return make_empty();
    });
    const HostValue start = host.array({2}, {1.0, 1.0});
    std::vector<HostValue> args{f, start, make_real(1e-12)};
    host.clear_errors();
    const HostValue r = host.call("math::netn", args);
    const std::vector<double> x = host.read(start).values;
    std::printf("netn(f, x = [1, 1], 1e-12) for x^2 + y^2 = 4 and y = x^2 - 1:\n");
    if (r.base_type != kTypeInteger) {
        std::printf("  refused (code %lld)\n", last_code(host));
        return;
    }
    std::printf("  result %lld (updates made), x = [%.15f, %.15f]\n", static_cast<long long>(r.integer()), x[0], x[1]);
    std::printf("  exact: x = sqrt((1 + sqrt(13)) / 2) = %.15f, y = x^2 - 1 = %.15f\n",
                std::sqrt((1 + std::sqrt(13.0)) / 2), (1 + std::sqrt(13.0)) / 2 - 1);
}

}  // namespace

void tour_roots(hostsim::Host& host) {
    std::printf("\n== Root finding ==\n");
    std::printf("btFindRoot walks an interval and bisects every sign change; pqrt iterates a continued\n"
                "fraction from a start value; netn solves f(x) = 0 for n equations in n unknowns.\n\n");
    roots_of_a_polynomial(host);
    a_fixed_point(host);
    a_nonlinear_system(host);
}
