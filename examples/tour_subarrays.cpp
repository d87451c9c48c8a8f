// SPDX-License-Identifier: GPL-3.0-or-later
// Sub-arrays: indexing, slices, reshaping, a grid, sums and iteration.
#include <cstdio>
#include <vector>

#include "examples/tour.h"

namespace {

// Operator codes the host uses for what a script writes.
enum Op : int32_t { kIn = 38, kSum = 39, kAssign = 47, kRead = 48 };

HostValue i(int64_t v) { return make_integer(v); }
const HostValue kAll = make_option(kOptionAll);

}  // namespace

void tour_subarrays(hostsim::Host& host) {
    std::printf("\n== Sub-arrays, shapes, grids and sums ==\n");

    HostValue a = host.call("math::matrix", {host.string("1 2 3 4\r\n5 6 7 8\r\n9 10 11 12\r\n")});
    print_array(host, "a = math::matrix(\"1 2 3 4\\r\\n5 6 7 8\\r\\n9 10 11 12\")", a);

    std::printf("\na(1, 2) reads one element as a real: %g\n", host.apply(kRead, {a, i(1), i(2)}).real());
    print_array(host, "a(1, :), row 1 (the all marker for the columns)", host.apply(kRead, {a, i(1), kAll}));
    print_array(host, "math::subg(a, 0, 1, 1, 2): rows 0..1, columns 1..2",
                host.call("math::subg", {a, i(0), i(1), i(1), i(2)}));

    host.apply(kAssign, {a, i(2), i(3), make_real(-1.0)});
    host.call("math::subs", {a, kAll, i(0), host.call("math::linspace", {make_real(0.1), make_real(0.3), i(3)})});
    print_array(host, "a(2, 3) = -1.0, then column 0 = math::linspace(0.1, 0.3, 3) with math::subs", a);

    HostValue v = host.call("math::subg", {a});
    host.call("math::reshape", {v});
    print_array(host, "v = math::subg(a), math::reshape(v): one dimension, the same storage", v);
    host.call("math::reshape", {v, i(6), i(2)});
    print_array(host, "math::reshape(v, 6, 2)", v);

    std::vector<HostValue> grid = {host.call("math::linspace", {make_real(0.0), make_real(1.0), i(3)}),
                                   host.call("math::linspace", {make_real(10.0), make_real(40.0), i(4)}),
                                   make_empty(), make_empty()};
    host.call("math::ndgrid", grid);
    print_array(host, "math::ndgrid(x, y, gx, gy) with x = 0, 0.5, 1 and y = 10, 20, 30, 40: gx", grid[2]);
    print_array(host, "gy", grid[3]);

    print_array(host, "math::Sum(a): the sum of each row", host.call("math::Sum", {a}));
    print_array(host, "math::Sum(a, 1): the sum of each column", host.call("math::Sum", {a, i(1)}));
    std::printf("\nmath::Sum(a, 0): the total, %g\n", host.apply(kSum, {a, i(0)}).real());

    std::printf("\nfor x, y in a (two elements per pass):");
    HostValue state = i(0);
    for (;;) {
        std::vector<HostValue> ops = {a, state, make_empty(), make_empty()};
        const int64_t n = host.apply(kIn, ops).integer();
        if (n <= 0) break;
        std::printf("  (%g%s", ops[2].real(), n == 2 ? ", " : ")");
        if (n == 2) std::printf("%g)", ops[3].real());
        state = ops[1];
    }
    std::printf("\n");

    host.clear_errors();
    host.call("math::subg", {a, i(3), kAll});
    for (const auto& e : host.errors()) {
        std::printf("\nmath::subg(a, 3, :) is refused (row 3 of 3 rows): run error \"%s\" code %lld\n", e.name.c_str(),
                    static_cast<long long>(e.code));
    }
    host.clear_errors();
}
