// SPDX-License-Identifier: GPL-3.0-or-later
// Math arrays: constructors, operators and printing.
#include <cstdio>
#include <string>

#include "examples/tour.h"

namespace {

// Operator codes the host uses for what a script writes.
enum Op : int32_t { kPlus = 0, kMinus = 1, kTimes = 2, kTranspose = 8, kElemTimes = 25, kSqrt = 50 };

}  // namespace

// Prints an array the way a script would: through math::outa, whose text
// arrives at the host's output function.
void print_array(hostsim::Host& host, const char* title, HostValue a, int64_t precision, bool labels) {
    std::printf("\n%s", title);
    host.clear_output();
    std::vector<HostValue> args = {a, make_integer(precision), make_logical(true), make_logical(labels)};
    HostValue n = host.call("math::outa", args);
    std::string text = host.output();
    std::string plain;
    for (char c : text) {
        if (c != '\r') plain += c;
    }
    std::printf("%s  (outa wrote %lld characters)\n", plain.c_str(), static_cast<long long>(n.integer()));
}

void tour_arrays(hostsim::Host& host) {
    std::printf("\n== Math arrays ==\n");

    HostValue a = host.call("math::matrix", {host.string("1 2 3\r\n4 5 6\r\n")});
    print_array(host, "a = math::matrix(\"1 2 3\\r\\n4 5 6\")", a);

    HostValue b = host.call("math::ones", {make_integer(2), make_integer(3)});
    HostValue sum = host.apply(kPlus, {a, b});
    print_array(host, "a + math::ones(2, 3)", sum);

    HostValue scaled = host.apply(kTimes, {make_real(0.5), a});
    print_array(host, "0.5 * a", scaled);

    HostValue squares = host.apply(kElemTimes, {a, a});
    print_array(host, "a .* a", squares);

    HostValue at = host.apply(kTranspose, {a});
    HostValue product = host.apply(kTimes, {a, at});
    print_array(host, "a * a' (matrix product, with index labels)", product, 6, true);

    HostValue roots = host.apply(kSqrt, {a});
    print_array(host, "sqrt(a) at 12 significant digits", roots, 12);

    HostValue t = host.call("math::linspace", {make_real(0.0), make_real(1.0), make_integer(5)});
    print_array(host, "math::linspace(0.0, 1.0, 5)", t);

    HostValue big = host.apply(kMinus, {host.call("math::eye", {make_integer(3), make_integer(3)}),
                                        make_real(1e-7)});
    print_array(host, "math::eye(3, 3) - 1e-7 (the scientific form)", big);

    HostValue r = host.call("math::rand", {make_integer(2), make_integer(4)});
    print_array(host, "math::rand(2, 4): the same numbers in every session", r);

    host.clear_errors();
    HostValue bad = host.call("math::zeros", {make_real(2.0), make_integer(3)});
    std::printf("\nmath::zeros(2.0, 3) is refused: ");
    for (const auto& e : host.errors()) std::printf("run error \"%s\" code %lld\n", e.name.c_str(), static_cast<long long>(e.code));
    (void)bad;
    host.clear_errors();
}
