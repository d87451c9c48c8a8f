// SPDX-License-Identifier: GPL-3.0-or-later
// Quadrature: script functions integrated by the eight GSL routines.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <span>
#include <vector>

#include "examples/tour.h"

namespace {

// Calls a quadrature function with an error-estimate and a status argument
// at the end, and prints what came back.
void show(hostsim::Host& host, const char* label, const char* key, std::vector<HostValue> args, double exact) {
    args.push_back(make_empty());  // abserr out
    args.push_back(make_empty());  // status out
    host.clear_errors();
    const HostValue r = host.call(key, args);
    if (r.base_type != kTypeReal) {
        std::printf("  %-48s refused (code %lld)\n", label,
                    host.errors().empty() ? 0LL : static_cast<long long>(host.errors().back().code));
        return;
    }
    const HostValue& abserr = args[args.size() - 2];
    const HostValue& status = args[args.size() - 1];
    std::printf("  %-48s % .15f  +- %.1e  (status %lld, exact % .15f)\n", label, r.real(), abserr.real(),
                static_cast<long long>(status.integer()), exact);
}

}  // namespace

void tour_quadrature(hostsim::Host& host) {
    std::printf("\n== Quadrature of script functions ==\n");
    std::printf("Each math::gsl_q* function integrates a one-parameter script function with the GSL\n"
                "routine of the same name; optional trailing arguments receive the error estimate and status.\n\n");

    // A plain integral and a singular one.
    const HostValue gauss = host.function(1, [](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(std::exp(-x * x));
    });
    const HostValue inverse_sqrt = host.function(1, [](std::span<HostValue> p) {
        return make_real(1.0 / std::sqrt(p[0].real()));
    });
    show(host, "gsl_qag   exp(-x^2) over [0, 1]", "math::gsl_qag",
         {gauss, make_real(0), make_real(1), make_real(0), make_real(1e-12), make_integer(50), make_integer(4)},
         std::sqrt(std::numbers::pi) / 2 * std::erf(1.0));
    show(host, "gsl_qags  1/sqrt(x) over [0, 1] (singular at 0)", "math::gsl_qags",
         {inverse_sqrt, make_real(0), make_real(1), make_real(0), make_real(1e-10), make_integer(50)}, 2.0);

    // Infinite ranges.
    std::printf("\nInfinite ranges are mapped onto (0, 1] inside GSL:\n");
    show(host, "gsl_qagi  exp(-x^2) over (-inf, inf)", "math::gsl_qagi",
         {gauss, make_real(0), make_real(1e-10), make_integer(50)}, std::sqrt(std::numbers::pi));
    show(host, "gsl_qagiu exp(-x^2) over [0, inf)", "math::gsl_qagiu",
         {gauss, make_real(0), make_real(0), make_real(1e-10), make_integer(50)}, std::sqrt(std::numbers::pi) / 2);

    // A Cauchy principal value: the routine supplies the weight 1/(x - c).
    std::printf("\nA Cauchy principal value: gsl_qawc integrates f(x)/(x - c) across the pole at c:\n");
    const HostValue one = host.function(1, [](std::span<HostValue>) { return make_real(1.0); });
    show(host, "gsl_qawc  PV of 1/(x - 0.5) over [-1, 1]", "math::gsl_qawc",
         {one, make_real(-1), make_real(1), make_real(0.5), make_real(0), make_real(1e-10), make_integer(50)},
         -std::log(3.0));

    // A double integral: the integrand itself calls gsl_qag.
    std::printf("\nA double integral: the outer integrand calls math::gsl_qag for the inner one\n"
                "(each routine allows six nested calls at once):\n");
    double y = 0.0;
    const HostValue inner = host.function(1, [&y](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(std::exp(-(x * x + y * y)));
    });
    const HostValue outer = host.function(1, [&host, &y, inner](std::span<HostValue> p) {
        y = p[0].real();
        return host.call("math::gsl_qag", {inner, make_real(0), make_real(1), make_real(0), make_real(1e-12)});
    });
    const double erf_part = std::sqrt(std::numbers::pi) / 2 * std::erf(1.0);
    show(host, "exp(-(x^2+y^2)) over [0, 1] x [0, 1]", "math::gsl_qag",
         {outer, make_real(0), make_real(1), make_real(0), make_real(1e-12), make_integer(50), make_integer(4)},
         erf_part * erf_part);

    // What a failure looks like.
    std::printf("\nA GSL failure is reported as a run error of kind -1, and the best value is still returned:\n");
    show(host, "gsl_qag   1/sqrt(x) with only 5 subintervals", "math::gsl_qag",
         {inverse_sqrt, make_real(0), make_real(1), make_real(0), make_real(1e-10), make_integer(5), make_integer(1)},
         2.0);
    for (const hostsim::RunError& e : host.errors()) {
        std::printf("  run error: kind %d, %s, code %lld\n", e.kind, e.name.c_str(), static_cast<long long>(e.code));
    }
}
