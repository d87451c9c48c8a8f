// SPDX-License-Identifier: GPL-3.0-or-later
// The script form of the tour: every call is printed as a script writes it,
// with all its arguments, then run through the stand-in host, then followed
// by its result, the output arguments it changed and its run errors.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "examples/tour.h"

namespace {

// Where a statement goes: a registered function, or an operator code.
struct Callee {
    std::string key;
    int32_t code = -1;
};

// The host's built-in functions on arrays, by operator code, from 50 on.
constexpr const char* kFunctionNames[] = {"sqrt", "exp",  "ln",   "lg",   "sin", "cos",   "tan", "asin",
                                          "acos", "atan", "sinh", "cosh", "tanh", "abs", "floor", "ceil"};

std::string infix_symbol(int32_t code) {
    switch (code) {
        case kPlus: return "+";
        case kMinus: return "-";
        case kTimes: return "*";
        case kElemTimes: return ".*";
        case kElemDivide: return "./";
        case kElemPower: return ".^";
        default: return "";
    }
}

std::string function_name(int32_t code) {
    if (code >= kSqrt && code < kSqrt + 16) return kFunctionNames[code - kSqrt];
    switch (code) {
        case kSum: return "Sum";
        case kCopy: return "copy";
        case kOuta: return "outa";
        case kAtan2: return "atan2";
        case kAtan2 + 1: return "fmod";
        default: return "operator" + std::to_string(code);
    }
}

std::string joined(const std::vector<Arg>& args, size_t from, size_t to) {
    std::string s;
    for (size_t i = from; i < to && i < args.size(); ++i) s += (i > from ? ", " : "") + args[i].text;
    return s;
}

// An operand inside a larger expression: a compound one gets parentheses.
std::string operand(const Arg& a) {
    return a.text.find(' ') == std::string::npos || a.text.back() == ')' ? a.text : "(" + a.text + ")";
}

// The statement as a script writes it.
std::string script_form(const Callee& c, const std::vector<Arg>& args) {
    if (c.code < 0) return c.key + "(" + joined(args, 0, args.size()) + ")";
    const std::string symbol = infix_symbol(c.code);
    if (!symbol.empty() && args.size() == 2) return operand(args[0]) + " " + symbol + " " + operand(args[1]);
    switch (c.code) {
        case kTranspose: return operand(args[0]) + "'";
        case kRead: return args[0].text + "(" + joined(args, 1, args.size()) + ")";
        case kAssign:
            if (args.size() == 2) return args[0].text + " = " + args[1].text;
            return args[0].text + "(" + joined(args, 1, args.size() - 1) + ") = " + args.back().text;
        default: return function_name(c.code) + "(" + joined(args, 0, args.size()) + ")";
    }
}

bool is_outa(const Callee& c) { return c.key == "math::outa" || c.code == kOuta; }

bool same_record(const HostValue& a, const HostValue& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// What outa printed, without the carriage returns and the two opening line breaks.
std::string printed(const std::string& text) {
    std::string plain;
    for (char c : text) {
        if (c != '\r') plain += c;
    }
    while (!plain.empty() && plain.front() == '\n') plain.erase(0, 1);
    return plain;
}

// An array as math::outa prints it with its defaults.
void print_array(hostsim::Host& host, const HostValue& a) {
    host.clear_output();
    std::vector<HostValue> args = {a};
    host.call("math::outa", args);
    std::printf("%s", printed(host.output()).c_str());
}

// A value that came back: arrays as outa prints them, anything else in script form.
void print_value(hostsim::Host& host, const std::string& prefix, const HostValue& v) {
    if (v.base_type == kTypeRealArray && host.object(v) != nullptr) {
        if (!prefix.empty()) std::printf("  %s=\n", prefix.c_str());
        print_array(host, v);
        return;
    }
    if (v.base_type == kTypeRealArray) {
        std::printf("  %s= a null math array\n", prefix.c_str());
        return;
    }
    std::printf("  %s= %s\n", prefix.c_str(), script_text(host, v).c_str());
}

void print_run_errors(hostsim::Host& host) {
    for (const hostsim::RunError& e : host.errors()) {
        std::printf("  ! run error \"%s\" code %lld", e.name.c_str(), static_cast<long long>(e.code));
        if (e.kind != 1) std::printf(" (kind %d)", e.kind);
        std::printf("\n");
    }
    host.clear_errors();
}

HostValue run(hostsim::Host& host, const Callee& c, std::vector<Arg>& args) {
    std::vector<HostValue> values;
    for (const Arg& a : args) values.push_back(a.value);
    host.clear_output();
    const HostValue r = c.code < 0 ? host.call(c.key, values) : host.apply(c.code, values);
    for (size_t i = 0; i < args.size(); ++i) args[i].value = values[i];
    return r;
}

Arg statement(hostsim::Host& host, const Callee& c, std::vector<Arg>& args, const std::string& target) {
    const std::string form = script_form(c, args);
    std::printf("\n%s%s\n", target.empty() ? "" : (target + " = ").c_str(), form.c_str());
    std::vector<HostValue> before;
    for (const Arg& a : args) before.push_back(a.value);
    const HostValue r = run(host, c, args);
    if (is_outa(c)) {
        std::printf("%s  = %s\n", printed(host.output()).c_str(), script_text(host, r).c_str());
    } else {
        print_value(host, "", r);
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (!same_record(before[i], args[i].value)) print_value(host, args[i].text + " ", args[i].value);
    }
    print_run_errors(host);
    return Arg(target.empty() ? form : target, r);
}

// Shortest text that reads back as the same double: without an exponent
// where that stays short (10.0, 0.25, 50.599999999999994), else with one.
std::string shortest(double d) {
    char buf[64];
    const double magnitude = std::fabs(d);
    if (magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16)) {
        for (int decimals = 0; decimals <= 20; ++decimals) {
            std::snprintf(buf, sizeof buf, "%.*f", decimals, d);
            if (std::strtod(buf, nullptr) == d) return buf;
        }
    }
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*e", digits - 1, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return buf;
}

// A real literal: always with a point or an exponent (written without a
// plus sign or leading zeros), so that it never reads as an integer.
std::string real_text(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    std::string s = shortest(d);
    const size_t e = s.find('e');
    if (e == std::string::npos) return s.find('.') == std::string::npos ? s + ".0" : s;
    std::string mantissa = s.substr(0, e);
    std::string exponent = s.substr(e + 1);
    const bool negative = exponent[0] == '-';
    exponent.erase(0, exponent.find_first_not_of("+-0"));
    return mantissa + "e" + (negative ? "-" : "") + exponent;
}

std::string pair_text(double re, double im) {
    std::string s("(");
    s.append(real_text(re)).append(", ").append(real_text(im)).append(")");
    return s;
}

std::string quoted(const std::string& utf8) {
    std::string s = "\"";
    for (char c : utf8) {
        if (c == '\r') {
            s += "\\r";
        } else if (c == '\n') {
            s += "\\n";
        } else if (c == '"' || c == '\\') {
            s += std::string("\\") + c;
        } else {
            s += c;
        }
    }
    return s + "\"";
}

}  // namespace

std::string script_text(hostsim::Host& host, const HostValue& v) {
    switch (v.base_type) {
        case kTypeEmpty: return "empty";
        case kTypeInteger: return std::to_string(v.integer());
        case kTypeReal: return real_text(v.real());
        case kTypeLogical: return v.word1 != 0 ? "true" : "false";
        case kTypePair: return pair_text(v.real(), v.real2());
        case kTypeOption: return v.integer() == kOptionAll ? ":" : std::string("option ").append(std::to_string(v.integer()));
        case kTypeFunction: return "f";
        case hostsim::kTypeString: return quoted(hostsim::to_utf8(host.read_string(v)));
        case kTypeRealArray: return "an array";
        default: return "a value of type " + std::to_string(v.base_type);
    }
}

Arg::Arg(HostValue v) : value(v), text(script_text(hostsim::Host::get(), v)) {}

Arg all_marker() { return Arg(make_option(kOptionAll)); }

Arg constant(hostsim::Host& host, const std::string& key) { return Arg(key, *host.constant(key)); }

Arg define(hostsim::Host& host, const std::string& definition, int nparams, hostsim::ScriptBody body) {
    std::printf("\n%s\n", definition.c_str());
    return Arg(definition.substr(0, definition.find('(')), host.function(nparams, std::move(body)));
}

Arg call(hostsim::Host& host, const std::string& key, std::vector<Arg>& args, const std::string& target) {
    return statement(host, Callee{key}, args, target);
}

Arg call(hostsim::Host& host, const std::string& key, std::vector<Arg>&& args, const std::string& target) {
    return statement(host, Callee{key}, args, target);
}

Arg apply(hostsim::Host& host, int32_t code, std::vector<Arg>&& args, const std::string& target) {
    return statement(host, Callee{"", code}, args, target);
}

Arg nested(hostsim::Host& host, const std::string& key, std::vector<Arg>&& args) {
    const Callee c{key};
    return Arg(script_form(c, args), run(host, c, args));
}

Arg nested(hostsim::Host& host, int32_t code, std::vector<Arg>&& args) {
    const Callee c{"", code};
    return Arg(script_form(c, args), run(host, c, args));
}

Arg keep(hostsim::Host& host, const std::string& target, const Arg& expression) {
    std::printf("\n%s = %s\n", target.c_str(), expression.text.c_str());
    print_run_errors(host);
    return Arg(target, expression.value);
}

void say(const char* text) {
    std::printf("\n// ");
    for (const char* c = text; *c != 0; ++c) {
        if (*c == '\n') {
            std::printf("\n// ");
        } else {
            std::putchar(*c);
        }
    }
    std::printf("\n");
}
