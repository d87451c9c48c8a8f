// SPDX-License-Identifier: GPL-3.0-or-later
// Mapping a script function over arrays, and matrix inversion.
#include <cmath>
#include <cstdio>
#include <span>

#include "examples/tour.h"

void tour_inverse(hostsim::Host& host) {
    std::printf("\n== Mapping a script function, and inversion ==\n");
    host.clear_errors();

    // A script function of two parameters, mapped pairwise over two arrays.
    const Arg hypot = define(host, "hypot(x, y) = sqrt(x * x + y * y)", 2, [](std::span<HostValue> p) {
        return make_real(std::sqrt(p[0].real() * p[0].real() + p[1].real() * p[1].real()));
    });
    const Arg x = call(host, "math::matrix", {host.string("3 5 8\r\n7 9 20\r\n")}, "x");
    const Arg y = call(host, "math::matrix", {host.string("4 12 15\r\n24 40 21\r\n")}, "y");
    say("One element per pair, as a vector:");
    call(host, "math::arrayfun", {hypot, x, y});
    say("The output form writes into out, which keeps its 2 x 3 shape:");
    const Arg out = call(host, "math::zeros", {2, 3}, "out");
    call(host, "math::arrayfun", {hypot, x, y, out});

    const Arg a = call(host, "math::matrix", {host.string("4 7\r\n2 6\r\n")}, "a");
    say("At 17 significant digits outa shows the exact doubles of the inverse:");
    call(host, "math::outa", {nested(host, "math::inv", {a}), 17});

    const Arg b =
        call(host, "math::matrix", {host.string("2 -1 0 0\r\n-1 2 -1 0\r\n0 -1 2 -1\r\n0 0 -1 2\r\n")}, "b");
    const Arg bi = call(host, "math::inv", {b}, "bi");
    say("b * bi is the identity up to rounding:");
    apply(host, kTimes, {b, bi});

    say("A singular matrix reports code 4; the result holds the partly eliminated values:");
    call(host, "math::inv", {nested(host, "math::matrix", {host.string("1 2\r\n2 4\r\n")})});
}
