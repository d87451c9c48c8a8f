// SPDX-License-Identifier: GPL-3.0-or-later
// Optimisation: a bracketed root, a minimum on an interval, the Rosenbrock
// valley in both forms of fminsearch, an exponential decay fitted to noisy
// samples, and an integrable singularity through gsl_cquad.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <vector>

#include "examples/tour.h"

namespace {

double rosenbrock(double x, double y) { return (1.0 - x) * (1.0 - x) + 100.0 * (y - x * x) * (y - x * x); }

void a_root_and_a_minimum(hostsim::Host& host) {
    say("fzero(f, a, b, epsabs, epsrel, maxit): Brent's method from a bracket [a, b] over which\n"
        "f changes sign.");
    const Arg f = define(host, "f(x) = cos(x) - x", 1, [](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(std::cos(x) - x);
    });
    call(host, "math::fzero", {f, 0.0, 1.0});
    call(host, "math::fzero", {f, 0.0, 1.0, 1e-3, 0.0, 100});
    say("Without a sign change over [a, b] there is no bracket: code 5.");
    call(host, "math::fzero", {f, 1.0, 2.0});

    say("fminbnd(f, a, b, epsabs, epsrel, maxit): a local minimum on [a, b] by Brent's method,\n"
        "after golden-section narrowing has found a point below both ends. The quartic has\n"
        "one minimum on each side of 0.");
    const Arg quartic = define(host, "quartic(x) = x^4 - 2.0*x^2 + 0.5*x", 1, [](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(x * x * x * x - 2.0 * x * x + 0.5 * x);
    });
    call(host, "math::fminbnd", {quartic, 0.0, 2.0});
    call(host, "math::fminbnd", {quartic, -2.0, 0.0, 1e-7, 1e-7, 100});
    say("With 5 iterations the search stops early: the current estimate and a soft stop (kind -2).");
    call(host, "math::fminbnd", {quartic, 0.0, 2.0, 1e-7, 1e-7, 5});
}

void the_rosenbrock_valley(hostsim::Host& host) {
    say("fminsearch(f, x0, tol, maxit, step): Nelder-Mead from x0. In the scalar form f takes\n"
        "the n coordinates as reals; the minimum of the Rosenbrock valley is at (1, 1).");
    const Arg rosen = define(host, "rosen(x, y) = (1.0 - x)^2 + 100.0 * (y - x^2)^2", 2, [](std::span<HostValue> p) {
        return make_real(rosenbrock(p[0].real(), p[1].real()));
    });
    const Arg x0 = call(host, "math::ra1", {-1.2, 1.0}, "x0");
    const Arg scalar_form = keep(host, "m", nested(host, "math::fminsearch", {rosen, x0, 1e-10, 1000}));
    call(host, "math::outa", {scalar_form, 16});

    say("In the array form f takes one parameter, a vector xa holding the point: the same\n"
        "search, the same bits.");
    const Arg rosen_a = define(host, "rosen_a(xa) = (1.0 - xa(0))^2 + 100.0 * (xa(1) - xa(0)^2)^2", 1,
                               [&host](std::span<HostValue> p) {
                                   const double* xa = host.object(p[0])->data;
                                   return make_real(rosenbrock(xa[0], xa[1]));
                               });
    const Arg array_form = keep(host, "ma", nested(host, "math::fminsearch", {rosen_a, x0, 1e-10, 1000}));
    call(host, "math::outa", {array_form, 16});
}

// Samples of 2.0 * exp(-0.3 * x) at x = 0, 0.5, ... 5.5 with noise uniform in
// [-0.025, 0.025), rounded to three decimals as a measurement would be. The
// generator's output is fixed by its seed on every platform (and so is the
// noise, an exact scaling of it), unlike the standard library's distributions.
std::vector<double> noisy_decay(const std::vector<double>& x) {
    std::mt19937 generator(2026);
    std::vector<double> y;
    for (double xi : x) {
        const double noise = 0.05 * (static_cast<double>(generator()) / 4294967296.0 - 0.5);
        y.push_back(std::round(1000.0 * (2.0 * std::exp(-0.3 * xi) + noise)) / 1000.0);
    }
    return y;
}

void a_decay_fitted_to_noisy_samples(hostsim::Host& host) {
    say("lsqfit(f, p0, x, y, w, tol, maxit): the parameters p of the model f(x, p1, ..., pk)\n"
        "that minimise the sum of squared residuals, from p0 (Levenberg-Marquardt). Twelve\n"
        "samples of 2.0 * exp(-0.3 * x) with noise of at most 0.025 (a fixed seed):");
    std::vector<double> x;
    for (int i = 0; i < 12; ++i) x.push_back(0.5 * i);
    const std::vector<double> y = noisy_decay(x);
    std::vector<Arg> xs_args, ys_args;
    for (size_t i = 0; i < x.size(); ++i) {
        xs_args.emplace_back(x[i]);
        ys_args.emplace_back(y[i]);
    }
    const Arg xs = call(host, "math::ra1", std::move(xs_args), "xs");
    const Arg ys = call(host, "math::ra1", std::move(ys_args), "ys");
    const Arg model = define(host, "model(x, a, k) = a * exp(k * x)", 3, [](std::span<HostValue> p) {
        return make_real(p[1].real() * std::exp(p[2].real() * p[0].real()));
    });
    const Arg p0 = call(host, "math::ra1", {1.0, -0.1}, "p0");
    const Arg fitted = keep(host, "p", nested(host, "math::lsqfit", {model, p0, xs, ys}));
    say("The fitted amplitude a and rate k (the samples were made with 2.0 and -0.3):");
    call(host, "math::outa", {fitted, 16});
    say("Weights (here the later, smaller samples count four times), a tolerance and a budget:");
    const Arg weights = keep(host, "w", nested(host, "math::ra1", {1.0, 1.0, 1.0, 1.0, 1.0, 1.0,  //
                                                                  4.0, 4.0, 4.0, 4.0, 4.0, 4.0}));
    call(host, "math::lsqfit", {model, p0, xs, ys, weights, 1e-10, 200});
}

void an_integrable_singularity(hostsim::Host& host) {
    say("gsl_cquad(f, a, b, epsabs, epsrel, limit, abserr, status): GSL's doubly adaptive\n"
        "quadrature, which drops an infinite or NaN value of f at an isolated point. ln(x) /\n"
        "sqrt(x) is -inf at 0 and its integral over [0, 1] is -4; err and status receive the\n"
        "error estimate and GSL's status.");
    const Arg f = define(host, "log_over_sqrt(x) = ln(x) / sqrt(x)", 1, [](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(std::log(x) / std::sqrt(x));
    });
    std::vector<Arg> args = {f, 0.0, 1.0, 0.0, 1e-10, 100, Arg("err", make_empty()), Arg("status", make_empty())};
    call(host, "math::gsl_cquad", args);
    say("1.0 / sqrt(x), infinite at 0, integrates to 2:");
    const Arg inverse_sqrt = define(host, "inverse_sqrt(x) = 1.0 / sqrt(x)", 1, [](std::span<HostValue> p) {
        return make_real(1.0 / std::sqrt(p[0].real()));
    });
    std::vector<Arg> again = {inverse_sqrt, 0.0, 1.0, 0.0, 1e-10, 100, Arg("err", make_empty()),
                              Arg("status", make_empty())};
    call(host, "math::gsl_cquad", again);
}

}  // namespace

void tour_optim(hostsim::Host& host) {
    std::printf("\n== Optimisation ==\n");
    host.clear_errors();
    a_root_and_a_minimum(host);
    the_rosenbrock_valley(host);
    a_decay_fitted_to_noisy_samples(host);
    an_integrable_singularity(host);
}
