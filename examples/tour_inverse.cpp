// SPDX-License-Identifier: GPL-3.0-or-later
// Mapping a script function over arrays, and matrix inversion.
#include <cmath>
#include <cstdio>
#include <span>

#include "examples/tour.h"

namespace {

constexpr int32_t kTimes = 2;  // operator "*": the matrix product of two arrays

void show_errors(hostsim::Host& host) {
    for (const auto& e : host.errors()) {
        std::printf("  run error \"%s\" code %lld\n", e.name.c_str(), static_cast<long long>(e.code));
    }
    host.clear_errors();
}

}  // namespace

void tour_inverse(hostsim::Host& host) {
    std::printf("\n== Mapping a script function, and inversion ==\n");
    host.clear_errors();

    // A script function of two parameters, mapped pairwise over two arrays.
    const HostValue hypot = host.function(2, [](std::span<HostValue> p) {
        return make_real(std::sqrt(p[0].real() * p[0].real() + p[1].real() * p[1].real()));
    });
    const HostValue x = host.call("math::matrix", {host.string("3 5 8\r\n7 9 20\r\n")});
    const HostValue y = host.call("math::matrix", {host.string("4 12 15\r\n24 40 21\r\n")});
    const HostValue r = host.call("math::arrayfun", {hypot, x, y});
    print_array(host, "math::arrayfun(hypot, x, y): one element per pair, as a vector", r);

    // The output form keeps the shape of the array it writes into.
    const HostValue out = host.call("math::zeros", {make_integer(2), make_integer(3)});
    host.call("math::arrayfun", {hypot, x, y, out});
    print_array(host, "math::arrayfun(hypot, x, y, out): out keeps its 2 x 3 shape", out);

    const HostValue a = host.call("math::matrix", {host.string("4 7\r\n2 6\r\n")});
    const HostValue ai = host.call("math::inv", {a});
    print_array(host, "math::inv(matrix(\"4 7; 2 6\")) at 17 significant digits: the exact doubles", ai, 17);

    const HostValue b = host.call("math::matrix", {host.string("2 -1 0 0\r\n-1 2 -1 0\r\n0 -1 2 -1\r\n0 0 -1 2\r\n")});
    const HostValue bi = host.call("math::inv", {b});
    print_array(host, "b = the 4 x 4 second-difference matrix; math::inv(b)", bi);
    print_array(host, "b * math::inv(b): the identity, up to rounding", host.apply(kTimes, {b, bi}));

    std::printf("\nmath::inv of a singular matrix (rows 1 2 and 2 4) is refused:\n");
    host.call("math::inv", {host.call("math::matrix", {host.string("1 2\r\n2 4\r\n")})});
    show_errors(host);
}
