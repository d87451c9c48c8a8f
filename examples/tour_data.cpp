// SPDX-License-Identifier: GPL-3.0-or-later
// Data: a curve resampled by each interpolation method, a polynomial fitted,
// evaluated and solved, and the spectrum of a sampled sine with its round
// trip back.
#include <cmath>
#include <cstdio>

#include "examples/tour.h"

void tour_data(hostsim::Host& host) {
    std::printf("\n== Data: interpolation, polynomials, Fourier transforms ==\n");
    host.clear_errors();

    say("Six points of a curve, resampled at nine points with each method; outside [0, 5] is NaN.");
    const Arg x = call(host, "math::linspace", {0.0, 5.0, 6}, "x");
    const Arg y = call(host, "math::matrix", {host.string("0 0.2 1.5 1.6 1.7 3")}, "y");
    const Arg xi = call(host, "math::linspace", {0.0, 6.0, 9}, "xi");
    for (const char* method : {"math::interp_linear", "math::interp_cspline", "math::interp_akima", "math::interp_steffen"})
        call(host, "math::interp1", {x, y, xi, constant(host, method)});
    say("A real point gives a real; cspline needs 3 points, akima 5 (code 6 otherwise):");
    call(host, "math::interp1", {x, y, 2.5, constant(host, "math::interp_cspline")});
    call(host, "math::interp1", {nested(host, "math::linspace", {0.0, 1.0, 4}), nested(host, "math::linspace", {0.0, 1.0, 4}), 0.5,
                                 constant(host, "math::interp_akima")});

    say("A quadratic through five points (1 - 2x + 3x^2), its coefficients in ascending powers:");
    const Arg px = call(host, "math::matrix", {host.string("0 1 2 3 4")}, "px");
    const Arg py = call(host, "math::matrix", {host.string("1 2 9 22 41")}, "py");
    const Arg c = call(host, "math::polyfit", {px, py, 2}, "c");
    say("Evaluated by Horner's rule, the same bits on every processor and thread count:");
    call(host, "math::polyval", {c, xi});
    say("The roots of (x - 1)(x - 2)(x + 3) = 6 - 7x + x^3, and of 1 + x^2: rows (real, imaginary).");
    call(host, "math::polyroots", {nested(host, "math::matrix", {host.string("6 -7 0 1")})});
    call(host, "math::polyroots", {nested(host, "math::matrix", {host.string("1 0 1")})});

    say("Sixteen samples of a sine of three cycles: its spectrum is -8i at k = 3 and 8i at k = 13.");
    const Arg t = call(host, "math::linspace", {0.0, 0.9375, 16}, "t");
    const Arg s = apply(host, kSqrt + 4 /* sin */, {nested(host, kTimes, {Arg("6.0 * math::pi", make_real(6.0 * M_PI)), t})}, "s");
    const Arg spectrum = call(host, "math::fft", {s}, "S");
    say("And back: column 0 is s again, column 1 (the imaginary parts) about 0.");
    call(host, "math::ifft", {spectrum});
    say("A length that is no power of two (mixed radix), complex input as rows (real, imaginary):");
    call(host, "math::fft", {nested(host, "math::matrix", {host.string("1 0\r\n0 1\r\n-1 0")})});
}
