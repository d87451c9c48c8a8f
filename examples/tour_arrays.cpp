// SPDX-License-Identifier: GPL-3.0-or-later
// Math arrays: constructors, filling, operators and printing.
#include <cstdio>

#include "examples/tour.h"

void tour_arrays(hostsim::Host& host) {
    std::printf("\n== Math arrays ==\n");
    host.clear_errors();

    const Arg a = call(host, "math::matrix", {host.string("1 2 3\r\n4 5 6\r\n")}, "a");
    call(host, "math::matrix", {2, 2, 1, 2.5});
    call(host, "math::ra1", {1, 2.5, 3});
    call(host, "math::linspace", {0.0, 1.0, 5});
    call(host, "math::linspace", {0.0, 1.0, 0.25});
    say("The kind of the third argument chooses the form: 5.0 is a step, so there are no points.");
    call(host, "math::linspace", {0.0, 1.0, 5.0});
    call(host, "math::rand", {2, 4});

    say("Filling in place: SetArray writes from the first element on and returns the array.");
    Arg v = call(host, "math::zeros", {1, 4}, "v");
    call(host, "math::SetArray", {v, host.string("1, 2, 3")});
    call(host, "math::SetArray", {v, 7, 8.5});
    say("A plain host real array (one the library did not make) is accepted wherever an array is:\n"
        "p is a 2 x 2 host array holding 1 2 3 4. eye fills it in place; it stays a plain array.");
    const Arg plain("p", host.array({2, 2}, {1, 2, 3, 4}, kTypeRealArray));
    call(host, "math::eye", {plain});

    say("toreal splits a pair of reals into its two output arguments.");
    std::vector<Arg> split = {Arg("z", make_pair(1.5, -2.0)), Arg("re", make_empty()), Arg("im", make_empty())};
    call(host, "math::toreal", split);

    say("Operators: a scalar must be a real (2.0, not 2).");
    apply(host, kPlus, {a, nested(host, "math::ones", {2, 3})});
    apply(host, kTimes, {0.5, a});
    apply(host, kElemTimes, {a, a});
    apply(host, kElemPower, {a, 2.0});
    apply(host, kElemPower, {a, 2});
    const Arg t = apply(host, kTranspose, {a}, "t");
    apply(host, kCopy, {a}, "c");
    apply(host, kAtan2, {1.0, nested(host, "math::ra1", {0.0, 1.0})});
    say("outa's options: 6 significant digits, right-aligned, with index labels.");
    call(host, "math::outa", {nested(host, kTimes, {a, t}), 6, true, true});
    call(host, "math::outa", {nested(host, kSqrt, {a}), 12});
    say("outa writes p significant digits (default 6): fixed while the exponent of the\n"
        "element lies from -1 to p - 1, else scientific with a three-digit exponent;\n"
        "zeros after the point are dropped, the point stays.");
    apply(host, kMinus, {nested(host, "math::eye", {3, 3}), 1e-7});

    say("Refused calls report a run error: the key and a code of the function's page.");
    call(host, "math::zeros", {2.0, 3});
}
