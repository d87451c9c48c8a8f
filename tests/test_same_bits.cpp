// SPDX-License-Identifier: GPL-3.0-or-later
// Results whose bits are fixed everywhere: one table of inputs and expected
// bits that the Linux build and the Windows build (under Wine) check alike.
// The element-wise functions and .^ are correctly rounded; fft and ifft
// take their twiddles from the library's sine and cosine; gsl_ode and
// gsl_qags run GSL, whose own calls of pow, exp, sin, ... are bound to the
// library's functions, on right-hand sides and integrands that use those
// functions too (a host computing with the same functions); the special
// functions, the distributions and random's draws are GSL's alone.
#include <cstdint>
#include <cstdio>

#include "elementary/elementary.h"
#include "tests/support.h"

namespace {

using Args = std::vector<HostValue>;
namespace el = hostmath::elementary;

struct Bits {
    const char* what;
    int32_t code;  // operator code
    double x;
    double y;  // second operand of atan2 and .^
    uint64_t expected;
};

constexpr int32_t kExp = 51, kLn = 52, kLg = 53, kSin = 54, kCos = 55, kTan = 56, kAsin = 57, kAcos = 58,
                  kAtan = 59, kSinh = 60, kCosh = 61, kTanh = 62, kAtan2 = 69, kPower = 28;

// Inputs where glibc's FMA and non-FMA variants, or the Windows runtime,
// have been seen to disagree, and plain ones.
const Bits kElementWise[] = {
#include "tests/same_bits_table.inc"
};

double apply(hostsim::Host& host, const Bits& b) {
    const bool two = b.code == kAtan2 || b.code == kPower;
    const HostValue x = host.array({1}, {b.x});
    const HostValue r = two ? host.apply(b.code, {x, host.array({1}, {b.y})}) : host.apply(b.code, {x});
    return host.read(r).values.at(0);
}

std::string hex(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(std::bit_cast<uint64_t>(v)));
    return text;
}

TEST_F(LibraryTest, ElementWiseFunctionsGiveTheTablesBits) {
    for (const Bits& b : kElementWise) {
        const double got = apply(host, b);
        EXPECT_EQ(std::bit_cast<uint64_t>(got), b.expected) << b.what << "(" << b.x << ", " << b.y << "): " << hex(got);
    }
}

// An ODE and a quadrature: each run's result as bits, with the library's
// functions in the script function's body.
struct FixedRun {
    const char* what;
    std::function<double(hostsim::Host&)> result;
    uint64_t expected;
};

double solve_ode(hostsim::Host& host, const char* stepper, bool transcendental) {
    const HostValue f = host.function(4, [transcendental](std::span<HostValue> p) {
        const double t = p[0].real();
        const double y = p[1].real();
        p[2] = make_real(transcendental ? -y * el::cos(t) + el::exp(-t) : -2.0 * y + 1.0);
        return make_integer(0);
    });
    const HostValue times = host.array({3}, {0.0, 1.5, 4.0});
    const HostValue y0 = host.array({1}, {1.0});
    Args args{f, make_empty(), make_empty(), times, y0, make_real(1e-9), make_real(1e-9), *host.constant(stepper)};
    const hostsim::ArrayContents r = host.read(host.call("math::gsl_ode", args));
    return r.values.back();
}

double integrate(hostsim::Host& host, double (*phi)(double)) {
    const HostValue f = host.function(1, [phi](std::span<HostValue> p) { return make_real(phi(p[0].real())); });
    return host.call("math::gsl_qags", {f, make_real(0.0), make_real(1.0), make_real(0.0), make_real(1e-10), make_integer(100)}).real();
}

// Element k (a real part at 2k, an imaginary part at 2k + 1) of the
// transform of a fixed signal of n points.
double transform_element(hostsim::Host& host, const char* key, int64_t n, int64_t i) {
    std::vector<double> v(static_cast<size_t>(2 * n));
    for (size_t j = 0; j < v.size(); ++j) v[j] = static_cast<double>((j * 7919) % 1000) / 1000.0 - 0.5;
    return host.read(host.call(key, {host.array({n, 2}, v)})).values.at(static_cast<size_t>(i));
}

const FixedRun kRuns[] = {
    {"gsl_ode rkf45, arithmetic", [](hostsim::Host& h) { return solve_ode(h, "math::gsl_rkf45", false); }, 0x3fe0015fc1dd427a},
    {"gsl_ode rk8pd, arithmetic", [](hostsim::Host& h) { return solve_ode(h, "math::gsl_rk8pd", false); }, 0x3fe0015fc20dca9f},
    {"gsl_ode rkf45, cos and exp", [](hostsim::Host& h) { return solve_ode(h, "math::gsl_rkf45", true); }, 0x401779d1db283f8d},
    {"gsl_ode rk8pd, cos and exp", [](hostsim::Host& h) { return solve_ode(h, "math::gsl_rk8pd", true); }, 0x401779d1d744251d},
    {"gsl_qags, exp(-x) sin(3x)", [](hostsim::Host& h) { return integrate(h, [](double x) { return el::exp(-x) * el::sin(3.0 * x); }); }, 0x3fd9dc3f674d814e},
    {"gsl_qags, log(x) / sqrt(x)", [](hostsim::Host& h) { return integrate(h, [](double x) { return el::log(x) / std::sqrt(x); }); }, 0xc010000000000060},
    {"fft, 1000 points, X(4) imaginary", [](hostsim::Host& h) { return transform_element(h, "math::fft", 1000, 9); }, 0xbfea51a083d23181},
    {"fft, 4096 points, X(7) imaginary", [](hostsim::Host& h) { return transform_element(h, "math::fft", 4096, 15); }, 0x3fdbf72b8b4f34bc},
    {"fft, 1009 points, X(500) real", [](hostsim::Host& h) { return transform_element(h, "math::fft", 1009, 1000); }, 0x3fe5e49511e065a2},
    {"ifft, 3 7 61 points, x(1) imaginary", [](hostsim::Host& h) { return transform_element(h, "math::ifft", 1281, 3); }, 0x3f47ff1e872c79a0},
    {"gsl_qags, pow(x, -0.3) cosh(x)", [](hostsim::Host& h) { return integrate(h, [](double x) { return el::pow(x, -0.3) * el::cosh(x); }); }, 0x3ff9f71eb976a126},
};

TEST_F(LibraryTest, OdeAndQuadratureGiveTheTablesBits) {
    for (const FixedRun& run : kRuns) {
        host.clear_errors();
        const double got = run.result(host);
        EXPECT_TRUE(host.errors().empty()) << run.what << ": " << (host.errors().empty() ? 0 : host.errors()[0].code);
        EXPECT_EQ(std::bit_cast<uint64_t>(got), run.expected) << run.what << ": " << got << " " << hex(got);
    }
}

// A special function, a distribution's function or random's draws (after
// randseed(s) when s >= 0, the first element), at integer and real arguments
// as written.
struct CallBits {
    const char* key;
    std::vector<HostValue> args;
    int64_t seed;
    uint64_t expected;
};

HostValue i(int64_t v) { return make_integer(v); }
HostValue r(double v) { return make_real(v); }

const CallBits kCalls[] = {
#include "tests/same_bits_calls.inc"
};

TEST_F(LibraryTest, SpecialFunctionsAndDistributionsGiveTheTablesBits) {
    for (const CallBits& c : kCalls) {
        host.clear_errors();
        if (c.seed >= 0) host.call("math::randseed", {make_integer(c.seed)});
        std::vector<HostValue> args = c.args;
        const HostValue v = host.call(c.key, args);
        const double got = v.base_type == kTypeReal ? v.real() : host.read(v).values.at(0);
        EXPECT_TRUE(host.errors().empty()) << c.key;
        EXPECT_EQ(std::bit_cast<uint64_t>(got), c.expected) << c.key << " " << got << " " << hex(got);
    }
}

}  // namespace
