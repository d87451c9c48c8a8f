// SPDX-License-Identifier: GPL-3.0-or-later
// Sub-arrays: indexing, slices, reshaping, a grid, sums and iteration.
#include <cstdio>
#include <string>
#include <vector>

#include "examples/tour.h"

namespace {

// for y1, y2 in a: the iteration operator hands out two elements per call
// and keeps the position in the loop's state.
void two_at_a_time(hostsim::Host& host, const Arg& a) {
    std::printf("\nfor y1, y2 in %s\n ", a.text.c_str());
    HostValue state = make_integer(0);
    for (;;) {
        std::vector<HostValue> operands = {a.value, state, make_empty(), make_empty()};
        const int64_t n = host.apply(kIn, operands).integer();
        if (n <= 0) break;
        std::printf(" (%s", script_text(host, operands[2]).c_str());
        if (n == 2) std::printf(", %s", script_text(host, operands[3]).c_str());
        std::printf(")");
        state = operands[1];
    }
    std::printf("\n");
}

}  // namespace

void tour_subarrays(hostsim::Host& host) {
    std::printf("\n== Sub-arrays, shapes, grids and sums ==\n");
    host.clear_errors();
    say("Indices count from 0; the all marker, written :, stands for every row or column.");

    const Arg a = call(host, "math::matrix", {host.string("1 2 3 4\r\n5 6 7 8\r\n9 10 11 12\r\n")}, "a");
    apply(host, kRead, {a, 1, 2});
    apply(host, kRead, {a, 1, all_marker()});
    call(host, "math::subg", {a, all_marker(), 1, 2});
    call(host, "math::subg", {a, 0, 1, 1, 2});
    call(host, "math::subg", {a, 2});
    apply(host, kAssign, {a, 2, 3, -1.0});
    call(host, "math::subs", {a, all_marker(), 0, nested(host, "math::linspace", {0.1, 0.3, 3})});
    say("An element value must be a real, an index an integer.");
    apply(host, kAssign, {a, 2, 3, -1});
    call(host, "math::subg", {a, 3, all_marker()});

    const Arg v = call(host, "math::subg", {a}, "v");
    call(host, "math::reshape", {v});
    call(host, "math::reshape", {v, 6, 2});

    std::vector<Arg> grid = {nested(host, "math::linspace", {0.0, 1.0, 3}),
                             nested(host, "math::linspace", {10.0, 40.0, 4}), Arg("gx", make_empty()),
                             Arg("gy", make_empty())};
    call(host, "math::ndgrid", grid);

    call(host, "math::Sum", {a});
    call(host, "math::Sum", {a, 1});
    call(host, "math::Sum", {a, 0});

    two_at_a_time(host, a);
}
