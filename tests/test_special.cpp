// SPDX-License-Identifier: GPL-3.0-or-later
// The special functions through the stand-in host: their values against
// MPFR over their domains (the largest relative error in ulps per function,
// which docs/special.md quotes), exact values at known points, arguments as
// numbers and arrays, NaN through every operand, arguments that must not
// make an element loop, the same bits on 1, 2, 3 and 7 threads, and every
// code.
#include <mpfr.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "elementary/elementary.h"
#include "tests/support.h"

namespace {

using Args = std::vector<HostValue>;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using SpecialTest = LibraryTest;
namespace el = hostmath::elementary;

// f(x) computed with MPFR at 256 bits.
using Exact = std::function<void(mpfr_ptr, mpfr_srcptr)>;

// |got - exact| in units of the last place of the exact value rounded to a
// double (subnormal spacing at the bottom of the range).
// An exact value beyond the doubles wants the infinity of its sign.
double ulps(double got, mpfr_srcptr exact) {
    if (mpfr_zero_p(exact)) return got == 0.0 ? 0.0 : kInf;
    if (mpfr_get_exp(exact) > 1024) return got == (mpfr_sgn(exact) > 0 ? kInf : -kInf) ? 0.0 : kInf;
    // Below the normal numbers GSL's underflow gives 0 or a subnormal value.
    if (mpfr_get_exp(exact) < -1021) return std::fabs(got) < 0x1p-1022 ? 0.0 : kInf;
    if (!std::isfinite(got)) return kInf;
    MPFR_DECL_INIT(diff, 256);
    mpfr_sub_d(diff, exact, got, MPFR_RNDN);
    mpfr_abs(diff, diff, MPFR_RNDN);
    const long e = std::max<long>(mpfr_get_exp(exact) - 53, -1074);
    mpfr_mul_2si(diff, diff, -e, MPFR_RNDN);
    return mpfr_get_d(diff, MPFR_RNDN);
}

struct Accuracy {
    const char* name;  // as docs/special.md writes it
    std::string key;
    Args leading;      // arguments before x (an order)
    Exact exact;
    Values points;
    double bound;  // ulps the test holds it to
    // Where the function oscillates, the size of its swing at x, else 0:
    // points where |f| is below a hundredth of it are left out, since next
    // to a zero a relative error in ulps says nothing of the absolute
    // accuracy GSL keeps there.
    std::function<double(double)> swing = nullptr;
};

// Uniform in [lo, hi], and log-uniform in [lo, hi] (lo > 0).
Values uniform(double lo, double hi, int n, uint64_t seed) {
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> d(lo, hi);
    Values v(static_cast<size_t>(n));
    for (double& x : v) x = d(g);
    return v;
}
// The library's exp and log, so that the points are the same on every platform.
Values log_uniform(double lo, double hi, int n, uint64_t seed) {
    Values v = uniform(el::log(lo), el::log(hi), n, seed);
    for (double& x : v) x = el::exp(x);
    return v;
}
Values joined(std::initializer_list<Values> parts) {
    Values v;
    for (const Values& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}
// The size lgamma and psi keep away from their zeros: 1 near 1 and 2 (and
// psi's at 1.46), growing as log |x| below 0, where they cross 0 once
// between any two poles.
double log_swing(double x) { return 1.0 + el::log(1.0 + std::fabs(x)); }

// Keeps the points at least `gap` away from each whole number (poles of
// gamma and psi on the negative axis, the trivial zeros of zeta).
Values off_whole_numbers(Values v, double gap) {
    for (double& x : v) {
        if (std::fabs(x - std::round(x)) < gap) x = std::round(x) + (x < std::round(x) ? -gap : gap);
    }
    return v;
}

std::vector<Accuracy> accuracy_table() {
    auto unary = [](int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t)) {
        return [f](mpfr_ptr r, mpfr_srcptr x) { f(r, x, MPFR_RNDN); };
    };
    std::vector<Accuracy> t = {
        {"gamma", "math::gamma", {}, unary(mpfr_gamma),
         joined({uniform(0.0, 171.0, 1500, 1), off_whole_numbers(uniform(-170.0, 0.0, 500, 2), 1e-3),
                 log_uniform(1e-300, 1.0, 200, 3)}),
         2700},
        {"lgamma", "math::lgamma", {},
         [](mpfr_ptr r, mpfr_srcptr x) {
             int sign = 0;
             mpfr_lgamma(r, &sign, x, MPFR_RNDN);
         },
         joined({log_uniform(1e-300, 1e300, 1500, 4), uniform(0.0, 10.0, 500, 5),
                 off_whole_numbers(uniform(-170.0, 0.0, 500, 6), 1e-3)}),
         900, log_swing},
        {"psi", "math::psi", {}, unary(mpfr_digamma),
         joined({log_uniform(1e-300, 1e300, 1500, 7), uniform(0.0, 10.0, 500, 8),
                 off_whole_numbers(uniform(-100.0, 0.0, 500, 9), 1e-3)}),
         13600, log_swing},
        {"erf", "math::erf", {}, unary(mpfr_erf), joined({uniform(-6.0, 6.0, 2000, 10), log_uniform(1e-300, 1.0, 200, 11)}),
         5},
        {"erfc", "math::erfc", {}, unary(mpfr_erfc), uniform(-6.0, 27.0, 2000, 12), 720},
        {"expint", "math::expint", {},
         [](mpfr_ptr r, mpfr_srcptr x) {  // E1(x) = -Ei(-x)
             MPFR_DECL_INIT(m, 256);
             mpfr_neg(m, x, MPFR_RNDN);
             mpfr_eint(r, m, MPFR_RNDN);
             mpfr_neg(r, r, MPFR_RNDN);
         },
         joined({log_uniform(1e-300, 700.0, 1500, 13), uniform(-700.0, -0.5, 500, 14)}), 4},
        {"zeta", "math::zeta", {}, unary(mpfr_zeta),
         joined({uniform(1.01, 100.0, 1000, 15), uniform(-0.99, 0.99, 300, 16),
                 off_whole_numbers(uniform(-170.0, -1.0, 700, 17), 1e-3)}),
         670},
        {"airy Ai", "math::airy", {}, unary(mpfr_ai), joined({uniform(-2.0, 100.0, 1500, 18), uniform(-50.0, -2.0, 500, 19)}),
         24000, [](double x) { return x < -1.0 ? el::pow(-x, -0.25) / std::sqrt(M_PI) : 0.0; }},
    };
    // J_n and Y_n swing within sqrt(2 / (pi x)) past their turning point x = n.
    auto bessel_swing = [](int n) {
        return [n](double x) { return std::fabs(x) > n + 1.0 ? std::sqrt(2.0 / (M_PI * std::fabs(x))) : 0.0; };
    };
    const struct {
        int n;
        double j_bound, y_bound;
    } orders[] = {{0, 30, 28}, {1, 25, 31}, {2, 880, 28}, {5, 3000, 96}, {10, 3600, 114}, {30, 1600, 377}, {100, 32000, 24000}};
    for (const auto& [n, j_bound, y_bound] : orders) {
        t.push_back({"besselj", "math::besselj", {make_integer(n)},
                     [n = n](mpfr_ptr r, mpfr_srcptr x) { mpfr_jn(r, n, x, MPFR_RNDN); },
                     joined({uniform(-200.0, 200.0, 300, 20 + static_cast<uint64_t>(n)), log_uniform(1e-5, 1.0, 50, 40)}), j_bound,
                     bessel_swing(n)});
        t.push_back({"bessely", "math::bessely", {make_integer(n)},
                     [n = n](mpfr_ptr r, mpfr_srcptr x) { mpfr_yn(r, n, x, MPFR_RNDN); },
                     joined({uniform(0.0, 200.0, 300, 60 + static_cast<uint64_t>(n)), log_uniform(1e-5, 1.0, 50, 80)}), y_bound,
                     bessel_swing(n)});
    }
    return t;
}

}  // namespace

TEST_F(SpecialTest, ValuesAgainstMpfrOverTheirDomains) {
    std::printf("largest relative error in ulps (J, Y and Ai away from their zeros):\n");
    for (const Accuracy& a : accuracy_table()) {
        Args args = a.leading;
        args.push_back(host.array({static_cast<int64_t>(a.points.size())}, a.points));
        const hostsim::ArrayContents got = host.read(host.call(a.key, args));
        ASSERT_EQ(got.values.size(), a.points.size()) << a.name;
        MPFR_DECL_INIT(x, 256);
        MPFR_DECL_INIT(exact, 256);
        double worst = 0.0, worst_at = 0.0;
        int points = 0;
        for (size_t i = 0; i < a.points.size(); ++i) {
            mpfr_set_d(x, a.points[i], MPFR_RNDN);
            a.exact(exact, x);
            if (!mpfr_number_p(exact)) continue;
            const double t = a.points[i];
            if (a.swing && std::fabs(mpfr_get_d(exact, MPFR_RNDN)) < 0.01 * a.swing(t)) continue;
            const double e = ulps(got.values[i], exact);
            EXPECT_LE(e, a.bound) << a.name << " at " << t << ": " << got.values[i];
            ++points;
            if (e > worst) {
                worst = e;
                worst_at = t;
            }
        }
        const std::string order = a.leading.empty() ? "" : " n = " + std::to_string(a.leading[0].integer());
        std::printf("  %-16s %10.2f at %-24.17g (%d points)\n", (a.name + order).c_str(), worst, worst_at, points);
    }
}

// Points where the value is known exactly or to the last digit, and the
// ends of each domain.
TEST_F(SpecialTest, KnownValuesAndTheEndsOfTheDomains) {
    const struct {
        const char* key;
        Args args;
        double want;
        double tolerance;  // relative; 0: exactly
    } cases[] = {
        {"math::gamma", {make_real(5.0)}, 24.0, 0},
        {"math::gamma", {make_integer(5)}, 24.0, 0},
        {"math::gamma", {make_real(0.5)}, 1.7724538509055160273, 1e-15},
        {"math::gamma", {make_real(0.0)}, kNaN, 0},
        {"math::gamma", {make_real(-2.0)}, kNaN, 0},
        {"math::gamma", {make_real(172.0)}, kInf, 0},
        {"math::lgamma", {make_real(1.0)}, 0.0, 0},
        {"math::lgamma", {make_real(-0.5)}, 1.2655121234846453965, 1e-15},
        {"math::psi", {make_real(1.0)}, -0.57721566490153286061, 1e-15},
        {"math::beta", {make_real(2.0), make_real(3.0)}, 1.0 / 12.0, 1e-15},
        {"math::lbeta", {make_real(2.0), make_real(3.0)}, -2.4849066497880003102, 1e-15},
        {"math::erf", {make_real(0.0)}, 0.0, 0},
        {"math::erf", {make_real(kInf)}, 1.0, 0},
        {"math::erfc", {make_real(-kInf)}, 2.0, 0},
        {"math::expint", {make_real(-710.0)}, -kInf, 0},
        {"math::zeta", {make_real(-201.0)}, -kInf, 0},
        {"math::zeta", {make_real(-200.0)}, 0.0, 0},
        {"math::besseli", {make_integer(3), make_real(-720.0)}, -kInf, 0},
        {"math::bessely", {make_integer(100), make_real(1e-3)}, -kInf, 0},
        {"math::bessely", {make_integer(-101), make_real(1e-3)}, kInf, 0},
        {"math::besselk", {make_integer(200), make_real(1e-3)}, kInf, 0},
        {"math::besselj", {make_real(2.5), make_real(kInf)}, 0.0, 0},
        {"math::besselk", {make_real(kInf), make_real(1.0)}, kInf, 0},
        // Large orders by the uniform expansion: against GSL's recurrence,
        // where that stays finite; 0 where GSL's scaled value overflows; a
        // finite value where K neither overflows nor underflows (x = 0.6627 nu).
        {"math::besselk", {make_real(1001.5), make_real(900.0)}, 6.9462875884556617e-170, 1e-12},
        {"math::besselk", {make_real(3000.25), make_real(2500.0)}, 0.0, 0},
        {"math::besselk", {make_real(1e6), make_real(662743.4)}, 1.18506e-3, 1e-4},
        {"math::lgamma", {make_real(-kInf)}, kNaN, 0},
        {"math::gammainc", {make_real(kInf), make_real(2.0)}, 1.0, 0},
        {"math::beta", {make_real(kInf), make_real(2.0)}, 0.0, 0},
        {"math::erfc", {make_real(10.0)}, 2.0884875837625447570e-45, 1e-14},
        {"math::gammainc", {make_real(1.0), make_real(1.0)}, 0.63212055882855767840, 1e-15},
        {"math::gammainc", {make_real(1.0), make_real(1.0), make_integer(1)}, 0.36787944117144233402, 1e-15},
        {"math::gammainc", {make_real(100.0), make_real(1.0), make_integer(1)}, 3.7200759760208359630e-44, 1e-14},
        {"math::gammainc", {make_real(-1.0), make_real(1.0)}, kNaN, 0},
        {"math::betainc", {make_real(0.5), make_real(2.0), make_real(2.0)}, 0.5, 1e-14},
        {"math::betainc", {make_real(1.5), make_real(2.0), make_real(2.0)}, kNaN, 0},
        {"math::besselj", {make_integer(0), make_real(0.0)}, 1.0, 0},
        {"math::besselj", {make_integer(-3), make_real(2.0)}, -0.12894324947440205110, 1e-14},
        {"math::besselj", {make_real(0.5), make_real(1.0)}, 0.67139670714180309042, 1e-14},  // sqrt(2/pi) sin 1
        {"math::besselj", {make_real(-0.5), make_real(1.0)}, kNaN, 0},
        {"math::besselj", {make_real(2.5), make_real(0.0)}, 0.0, 0},
        {"math::bessely", {make_integer(-1), make_real(1.0)}, 0.78121282130028871655, 1e-14},
        {"math::bessely", {make_integer(1), make_real(0.0)}, kNaN, 0},
        {"math::besseli", {make_integer(-2), make_real(1.0)}, 0.13574766976703828118, 1e-14},
        {"math::besselk", {make_real(0.5), make_real(1.0)}, 0.46106850444789452, 1e-14},  // sqrt(pi/2) e^-1
        {"math::besselk", {make_integer(2), make_real(-1.0)}, kNaN, 0},
        {"math::airy", {make_real(0.0)}, 0.35502805388781723926, 1e-15},
        {"math::airy", {make_real(0.0), make_integer(1)}, 0.61492662744600073515, 1e-15},
        {"math::airy", {make_real(0.0), make_integer(2)}, -0.25881940379280679840, 1e-15},
        {"math::airy", {make_real(0.0), make_integer(3)}, 0.44828835735382635791, 1e-15},
        {"math::expint", {make_real(1.0)}, 0.21938393439552027368, 1e-15},
        {"math::expint", {make_real(0.0)}, kNaN, 0},
        {"math::zeta", {make_real(2.0)}, 1.6449340668482264365, 1e-15},
        {"math::zeta", {make_real(-1.0)}, -1.0 / 12.0, 1e-15},
        {"math::zeta", {make_real(1.0)}, kNaN, 0},
        {"math::ellipk", {make_real(0.0)}, M_PI / 2.0, 1e-15},
        {"math::ellipk", {make_real(0.5)}, 1.8540746773013719184, 1e-15},
        {"math::ellipk", {make_real(1.0)}, kInf, 0},
        {"math::ellipk", {make_real(-0.1)}, kNaN, 0},
        {"math::ellipe", {make_real(0.5)}, 1.3506438810476755025, 1e-15},
        {"math::ellipe", {make_real(1.0)}, 1.0, 0},
        {"math::ellipe", {make_real(1.5)}, kNaN, 0},
        {"math::lambertw", {make_real(1.0)}, 0.56714329040978387300, 1e-15},
        {"math::lambertw", {make_real(-0.2), make_integer(-1)}, -2.5426413577735264243, 1e-15},
        {"math::lambertw", {make_real(-1.0)}, kNaN, 0},
    };
    for (auto c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.args[0].base_type == kTypeReal ? c.args[0].real() : 0.0));
        host.clear_errors();
        const HostValue r = host.call(c.key, c.args);
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_TRUE(host.errors().empty());
        if (std::isnan(c.want)) {
            EXPECT_TRUE(std::isnan(r.real())) << r.real();
        } else if (c.tolerance == 0) {
            EXPECT_EQ(r.real(), c.want);
        } else {
            EXPECT_NEAR(r.real(), c.want, c.tolerance * std::fabs(c.want));
        }
    }
}

// Numbers with arrays: the array's shape, each element from the array's
// element and the number; two arrays of one shape element by element.
TEST_F(SpecialTest, NumbersAndArraysElementByElement) {
    const HostValue x = host.array({2, 3}, {0.5, 1, 1.5, 2, 2.5, 3});
    const hostsim::ArrayContents j2 = host.read(host.call("math::besselj", {make_integer(2), x}));
    EXPECT_EQ(j2.shape, (std::vector<int64_t>{2, 3}));
    const hostsim::ArrayContents orders = host.read(host.call("math::besselj", {x, make_real(1.0)}));
    const hostsim::ArrayContents both = host.read(host.call("math::besselj", {x, x}));
    for (size_t i = 0; i < 6; ++i) {
        const double xi = host.read(x).values[i];
        EXPECT_TRUE(same_bits(j2.values[i], host.call("math::besselj", {make_integer(2), make_real(xi)}).real()));
        EXPECT_TRUE(same_bits(orders.values[i], host.call("math::besselj", {make_real(xi), make_real(1.0)}).real()));
        EXPECT_TRUE(same_bits(both.values[i], host.call("math::besselj", {make_real(xi), make_real(xi)}).real()));
    }
    // A plain host real array, three operands, an empty array.
    const HostValue plain = host.array({3}, {0.25, 0.5, 0.75}, kTypeRealArray);
    const hostsim::ArrayContents inc = host.read(host.call("math::betainc", {plain, make_integer(1), plain}));
    EXPECT_EQ(inc.shape, (std::vector<int64_t>{3}));
    EXPECT_NEAR(inc.values[1], 1.0 - std::pow(0.5, 0.5), 1e-15);
    const hostsim::ArrayContents none = host.read(host.call("math::erf", {host.array({0, 4})}));
    EXPECT_EQ(none.shape, (std::vector<int64_t>{0, 4}));
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(SpecialTest, NanInNanOutThroughEveryOperand) {
    const struct {
        const char* key;
        Args args;  // a NaN goes into each numeric position in turn
    } functions[] = {
        {"math::gamma", {make_real(1.5)}},
        {"math::lgamma", {make_real(1.5)}},
        {"math::psi", {make_real(1.5)}},
        {"math::beta", {make_real(1.5), make_real(2.5)}},
        {"math::lbeta", {make_real(1.5), make_real(2.5)}},
        {"math::erf", {make_real(0.5)}},
        {"math::erfc", {make_real(0.5)}},
        {"math::gammainc", {make_real(1.5), make_real(2.5)}},
        {"math::betainc", {make_real(0.5), make_real(1.5), make_real(2.5)}},
        {"math::besselj", {make_real(1.5), make_real(2.5)}},
        {"math::bessely", {make_real(1), make_real(2.5)}},
        {"math::besseli", {make_real(1.5), make_real(2.5)}},
        {"math::besselk", {make_real(2), make_real(2.5)}},
        {"math::airy", {make_real(0.5)}},
        {"math::expint", {make_real(0.5)}},
        {"math::zeta", {make_real(0.5)}},
        {"math::ellipk", {make_real(0.5)}},
        {"math::ellipe", {make_real(0.5)}},
        {"math::lambertw", {make_real(0.5)}},
    };
    for (const auto& f : functions) {
        for (size_t k = 0; k < f.args.size(); ++k) {
            SCOPED_TRACE(std::string(f.key) + " operand " + std::to_string(k));
            Args args = f.args;
            args[k] = make_real(kNaN);
            EXPECT_TRUE(std::isnan(host.call(f.key, args).real()));
            args[k] = host.array({2}, {kNaN, 0.75});
            const hostsim::ArrayContents r = host.read(host.call(f.key, args));
            ASSERT_EQ(r.values.size(), 2u);
            EXPECT_TRUE(std::isnan(r.values[0]));
            EXPECT_FALSE(std::isnan(r.values[1])) << "a value at 0.75";
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// Every function over every pair of extreme arguments: GSL's recurrences
// over the order and its iterations must end, each element in well under a
// millisecond on average.
TEST_F(SpecialTest, ExtremeArgumentsEndPromptly) {
    const Values extremes{0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 2.0, 1e-300, -1e-300, 4.9e-324, 1e300, -1e300, kInf, -kInf,
                          46340.0, 46341.0, 1000.5, 1e9, -1e9 - 0.5, 2147483648.0, 1e17, 0.36787944117144233,
                          -0.36787944117144233, 171.7, -171.5, 700.0, -745.0};
    const int64_t n = static_cast<int64_t>(extremes.size());
    Values first, second;
    for (double a : extremes) {
        for (double b : extremes) {
            first.push_back(a);
            second.push_back(b);
        }
    }
    const HostValue a = host.array({n * n}, first), b = host.array({n * n}, second);
    for (const char* key : {"math::gamma", "math::lgamma", "math::psi", "math::erf", "math::erfc", "math::airy",
                            "math::expint", "math::zeta", "math::ellipk", "math::ellipe", "math::lambertw"}) {
        const auto start = std::chrono::steady_clock::now();
        host.call(key, {a});
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 1.0) << key;
    }
    for (const char* key : {"math::beta", "math::lbeta", "math::gammainc", "math::besselj", "math::bessely",
                            "math::besseli", "math::besselk"}) {
        const auto start = std::chrono::steady_clock::now();
        host.call(key, {a, b});
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 1.0) << key;
    }
    const auto start = std::chrono::steady_clock::now();
    host.call("math::betainc", {host.array({n * n}, Values(first.size(), 0.5)), a, b});
    host.call("math::betainc", {a, b, make_real(2.5)});
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
    EXPECT_TRUE(host.errors().empty());
}

// Every element is computed alone, so the split across threads keeps the
// bits: 1, 2, 3 and 7 threads.
TEST_F(SpecialTest, SameBitsOnEveryThreadCount) {
    const int64_t n = (int64_t{1} << 15) + 4099;
    Values x = random_values(n, 21);
    for (double& v : x) v = 20.0 * v + 0.5;
    const Values orders = random_values(n, 22);
    std::vector<hostsim::ArrayContents> reference;
    for (const char* threads : {"1", "2", "3", "7"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        ASSERT_TRUE(reload_with_threads(host, threads));
        const HostValue xs = host.array({1, n}, x), nus = host.array({1, n}, orders);
        const HostValue results[] = {
            host.call("math::gamma", {xs}),
            host.call("math::besselk", {nus, xs}),
            host.call("math::gammainc", {xs, make_real(3.0), make_integer(1)}),
            host.call("math::cdf", {make_integer(6), xs, make_real(4.5)}),
        };
        for (size_t k = 0; k < std::size(results); ++k) {
            const hostsim::ArrayContents got = host.read(results[k]);
            ASSERT_EQ(got.values.size(), static_cast<size_t>(n));
            if (reference.size() <= k) {
                reference.push_back(got);
                continue;
            }
            size_t differ = 0;
            for (size_t i = 0; i < got.values.size(); ++i) differ += !same_bits(got.values[i], reference[k].values[i]);
            EXPECT_EQ(differ, 0u) << "result " << k;
        }
    }
    hostsim::set_environment("HOSTMATH_THREADS", std::nullopt);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(SpecialTest, EveryCode) {
    const HostValue two = host.array({2}, {1, 2}), three = host.array({3}, {1, 2, 3});
    const HostValue row = host.array({1, 2}, {1, 2});
    expect_refusals(host, {
        {"math::gamma", {}, 1},
        {"math::gamma", {make_real(1), make_real(1)}, 1},
        {"math::beta", {make_real(1)}, 1},
        {"math::betainc", {make_real(1), make_real(1)}, 1},
        {"math::gammainc", {make_real(1), make_real(1), make_integer(0), make_integer(0)}, 1},
        {"math::airy", {make_real(1), make_integer(1), make_integer(1)}, 1},
        {"math::gamma", {host.string("1")}, 2},
        {"math::gamma", {make_logical(true)}, 2},
        {"math::beta", {make_real(1), make_pair(1, 2)}, 2},
        {"math::besselj", {make_empty(), make_real(1)}, 2},
        {"math::beta", {two, three}, 3},
        {"math::beta", {two, row}, 3},  // the same count, another shape
        {"math::betainc", {two, make_real(1), three}, 3},
        {"math::gammainc", {make_real(1), make_real(1), make_integer(2)}, 4},
        {"math::gammainc", {make_real(1), make_real(1), make_real(1)}, 4},
        {"math::airy", {make_real(1), make_integer(4)}, 4},
        {"math::airy", {make_real(1), make_integer(-1)}, 4},
        {"math::lambertw", {make_real(1), make_integer(1)}, 4},
        {"math::lambertw", {make_real(1), make_real(-1)}, 4},
    });
}
