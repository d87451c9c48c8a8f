// SPDX-License-Identifier: GPL-3.0-or-later
// The tour: one section per part of the library, each a function of its own
// file. Every call is printed in its script form, with all its arguments,
// before its result (examples/tour_script.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/hostsim.h"

void tour_arrays(hostsim::Host& host);
void tour_subarrays(hostsim::Host& host);
void tour_quadrature(hostsim::Host& host);
void tour_roots(hostsim::Host& host);
void tour_inverse(hostsim::Host& host);
void tour_ode(hostsim::Host& host);
void tour_linalg(hostsim::Host& host);
void tour_data(hostsim::Host& host);
void tour_statistics(hostsim::Host& host);
void tour_optim(hostsim::Host& host);
void tour_special(hostsim::Host& host);

// ---- the script form (examples/tour_script.cpp) -----------------------------

// An argument as a script writes it: its value, and its text, which is either
// a literal written from the value (0.5, 5, "1 2", true, :, empty) or the
// name of a variable, a constant or an expression.
struct Arg {
    HostValue value;
    std::string text;
    Arg(HostValue v);  // NOLINT: a literal reads as what it is
    Arg(int v) : Arg(make_integer(v)) {}      // NOLINT: 5
    Arg(double v) : Arg(make_real(v)) {}      // NOLINT: 5.0
    Arg(bool v) : Arg(make_logical(v)) {}     // NOLINT: true
    Arg(std::string name, HostValue v) : value(v), text(std::move(name)) {}
};

// The all marker, as this documentation writes it.
Arg all_marker();
// A registered constant, written by its key.
Arg constant(hostsim::Host& host, const std::string& key);
// A script function, printed once as its definition ("f(x) = x * x"); the
// text before the parenthesis becomes its name.
Arg define(hostsim::Host& host, const std::string& definition, int nparams, hostsim::ScriptBody body);

// Runs one statement and prints it in script form: "target = key(args)"
// (or the operator's own form for an operator code), then its result (an
// array as math::outa prints it), the output arguments it changed and the
// run errors reported since the last statement. Output arguments are
// written back into `args`. The result comes back with the statement's
// text, or with `target` as its name, to be passed on.
Arg call(hostsim::Host& host, const std::string& key, std::vector<Arg>& args, const std::string& target = "");
Arg call(hostsim::Host& host, const std::string& key, std::vector<Arg>&& args, const std::string& target = "");
Arg apply(hostsim::Host& host, int32_t code, std::vector<Arg>&& args, const std::string& target = "");
// The same call, run without printing, for use as an argument of another:
// math::outa(sqrt(a), 12). Its run errors are printed with that statement.
Arg nested(hostsim::Host& host, const std::string& key, std::vector<Arg>&& args);
Arg nested(hostsim::Host& host, int32_t code, std::vector<Arg>&& args);

// "target = expression" for a nested call whose result a later statement
// prints (with outa's options, say): the statement and its run errors only.
Arg keep(hostsim::Host& host, const std::string& target, const Arg& expression);

// The script text of a value: a real always with a point or an exponent,
// strings quoted with \r and \n escaped.
std::string script_text(hostsim::Host& host, const HostValue& v);
// A comment line of the tour.
void say(const char* text);

// Operator codes the host uses for what a script writes.
enum Operator : int32_t {
    kPlus = 0,
    kMinus = 1,
    kTimes = 2,
    kTranspose = 8,
    kElemTimes = 25,
    kElemDivide = 26,
    kElemPower = 28,
    kIn = 38,
    kSum = 39,
    kCopy = 45,
    kAssign = 47,
    kRead = 48,
    kOuta = 49,
    kSqrt = 50,
    kAtan2 = 69,
};
