// SPDX-License-Identifier: GPL-3.0-or-later
// Quadrature: script functions integrated by the eight GSL routines.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <span>
#include <string>
#include <vector>

#include "examples/tour.h"

namespace {

// Calls a quadrature function with every argument, abserr and status last
// (received into the variables err and status), and prints the exact value.
void integrate(hostsim::Host& host, const char* key, std::vector<Arg> args, double exact) {
    args.emplace_back("err", make_empty());
    args.emplace_back("status", make_empty());
    call(host, key, args);
    std::printf("  (exact %.17g)\n", exact);
}

}  // namespace

void tour_quadrature(hostsim::Host& host) {
    std::printf("\n== Quadrature of script functions ==\n");
    host.clear_errors();
    say("Each math::gsl_q* function integrates a script function of one parameter with the\n"
        "GSL routine of the same name. The two last arguments receive the error estimate and\n"
        "the GSL status; to pass them, every optional argument before them is passed too.");

    const Arg square = define(host, "square(x) = x * x", 1, [](std::span<HostValue> p) {
        return make_real(p[0].real() * p[0].real());
    });
    const Arg gauss = define(host, "gauss(x) = exp(-x * x)", 1, [](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(std::exp(-x * x));
    });
    const Arg inverse_sqrt = define(host, "inverse_sqrt(x) = 1.0 / sqrt(abs(x))", 1, [](std::span<HostValue> p) {
        return make_real(1.0 / std::sqrt(std::fabs(p[0].real())));
    });
    const Arg growth = define(host, "growth(x) = exp(x)", 1, [](std::span<HostValue> p) {
        return make_real(std::exp(p[0].real()));
    });
    const Arg one = define(host, "one(x) = 1.0", 1, [](std::span<HostValue>) { return make_real(1.0); });
    const double sqrt_pi = std::sqrt(std::numbers::pi);

    say("gsl_qng(f, a, b, epsabs, epsrel, abserr, status): fixed Gauss-Kronrod rules, no workspace.");
    integrate(host, "math::gsl_qng", {square, 0.0, 1.0, 1e-6, 1e-6}, 1.0 / 3);
    say("gsl_qag(f, a, b, epsabs, epsrel, limit, key, abserr, status): adaptive, with rule key.");
    integrate(host, "math::gsl_qag", {gauss, 0.0, 1.0, 0.0, 1e-12, 50, constant(host, "math::gsl_gauss61")},
              sqrt_pi / 2 * std::erf(1.0));
    say("gsl_qags(f, a, b, epsabs, epsrel, limit, abserr, status): for integrable singularities.");
    integrate(host, "math::gsl_qags", {inverse_sqrt, 0.0, 1.0, 0.0, 1e-10, 50}, 2.0);
    say("gsl_qagp(f, pts, epsabs, epsrel, limit, abserr, status): pts holds the limits and, between\n"
        "them, the known singular points.");
    integrate(host, "math::gsl_qagp",
              {inverse_sqrt, nested(host, "math::ra1", {-1.0, 0.0, 1.0}), 0.0, 1e-10, 50}, 4.0);
    say("gsl_qagi(f, epsabs, epsrel, limit, abserr, status): over (-inf, inf).");
    integrate(host, "math::gsl_qagi", {gauss, 0.0, 1e-10, 50}, sqrt_pi);
    say("gsl_qagiu(f, a, epsabs, epsrel, limit, abserr, status): over [a, inf).");
    integrate(host, "math::gsl_qagiu", {gauss, 0.0, 0.0, 1e-10, 50}, sqrt_pi / 2);
    say("gsl_qagil(f, b, epsabs, epsrel, limit, abserr, status): over (-inf, b].");
    integrate(host, "math::gsl_qagil", {growth, 1.0, 0.0, 1e-10, 50}, std::numbers::e);
    say("gsl_qawc(f, a, b, c, epsabs, epsrel, limit, abserr, status): the principal value of\n"
        "f(x) / (x - c) over [a, b].");
    integrate(host, "math::gsl_qawc", {one, -1.0, 1.0, 0.5, 0.0, 1e-10, 50}, -std::log(3.0));

    say("Without the trailing arguments only the integral comes back, with the defaults\n"
        "epsabs = epsrel = 1e-6 and limit = 10:");
    call(host, "math::gsl_qag", {gauss, 0.0, 1.0});

    say("A double integral: the outer integrand calls math::gsl_qag for the inner one (each\n"
        "routine allows six nested calls at once).");
    double y = 0.0;
    const Arg inner = define(host, "inner(x) = exp(-(x * x + y * y))", 1, [&y](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(std::exp(-(x * x + y * y)));
    });
    const Arg outer =
        define(host, "outer(y) = math::gsl_qag(inner, 0.0, 1.0, 0.0, 1e-12)", 1, [&host, &y, inner](std::span<HostValue> p) {
            y = p[0].real();
            return host.call("math::gsl_qag", {inner.value, make_real(0), make_real(1), make_real(0), make_real(1e-12)});
        });
    const double erf_part = sqrt_pi / 2 * std::erf(1.0);
    integrate(host, "math::gsl_qag", {outer, 0.0, 1.0, 0.0, 1e-12, 50, 4}, erf_part * erf_part);

    say("A GSL failure is a run error of kind -1 whose code is GSL's status; the integral and\n"
        "the outputs are still delivered. 11 (GSL_EMAXITER): the subinterval limit was reached.");
    integrate(host, "math::gsl_qag", {inverse_sqrt, 0.0, 1.0, 0.0, 1e-10, 5, 1}, 2.0);
    say("18 (GSL_EROUND): an integral of 0 cannot meet a relative tolerance; give an epsabs.");
    const Arg sine = define(host, "sine(x) = sin(x)", 1, [](std::span<HostValue> p) {
        return make_real(std::sin(p[0].real()));
    });
    integrate(host, "math::gsl_qags", {sine, 0.0, 2.0 * std::numbers::pi, 0.0, 1e-10, 50}, 0.0);
    say("An integrand must return a real: 1 instead of 1.0 is code 6, and nothing is written back.");
    const Arg integer_one = define(host, "integer_one(x) = 1", 1, [](std::span<HostValue>) { return make_integer(1); });
    integrate(host, "math::gsl_qng", {integer_one, 0.0, 1.0, 1e-6, 1e-6}, 1.0);
}
