// SPDX-License-Identifier: GPL-3.0-or-later
// Interpolation, the polynomials and the Fourier transforms through the
// stand-in host: small exact cases, polyval against Horner's loop bit for
// bit on several thread counts, and every code (the transforms' accuracy:
// tests/test_fourier.cpp).
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using Args = std::vector<HostValue>;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using DataTest = LibraryTest;

HostValue interp(hostsim::Host& host, const Values& x, const Values& y, const HostValue& xi, int64_t method) {
    const auto n = static_cast<int64_t>(x.size());
    return host.call("math::interp1", {host.array({n}, x), host.array({n}, y), xi, make_integer(method)});
}

double horner(const Values& c, double x) {
    double p = c.back();
    for (size_t k = c.size() - 1; k-- > 0;) p = p * x + c[k];
    return p;
}

}  // namespace

TEST_F(DataTest, InterpolationSmallExactCases) {
    const Values x{0, 1, 2}, y{0, 1, 0};
    const struct {
        const char* what;
        int64_t method;
        double at;
        double want;
    } cases[] = {
        {"linear, inside", 0, 0.25, 0.25},
        {"linear, second piece", 0, 1.5, 0.5},
        {"linear, first point", 0, 0.0, 0.0},
        {"linear, last point", 0, 2.0, 0.0},
        // Natural spline: M1 = -3, so S(x) = -x^3/2 + 3x/2 on [0, 1].
        {"cspline", 1, 0.5, 0.6875},
        {"steffen, at a point", 3, 1.0, 1.0},
        {"below the first point", 0, -0.5, kNaN},
        {"above the last point", 1, 2.5, kNaN},
        {"NaN", 0, kNaN, kNaN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const HostValue r = interp(host, x, y, make_real(c.at), c.method);
        ASSERT_EQ(r.base_type, kTypeReal);
        if (std::isnan(c.want)) {
            EXPECT_TRUE(std::isnan(r.real()));
        } else {
            EXPECT_EQ(r.real(), c.want);
        }
    }
    // Every method reproduces a line; an array of points keeps its shape.
    const Values lx{0, 1, 2.5, 3, 4.5, 6}, ly{1, 3, 6, 7, 10, 13};
    for (int64_t method = 0; method < 4; ++method) {
        const HostValue r = interp(host, lx, ly, host.array({2, 2}, {0.5, 2, 5.25, 6}), method);
        const hostsim::ArrayContents got = host.read(r);
        EXPECT_EQ(got.shape, (std::vector<int64_t>{2, 2}));
        const Values want{2, 5, 11.5, 13};
        for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got.values[i], want[i], 1e-14) << "method " << method;
    }
    // The default method is linear, and plain host arrays are taken as math arrays.
    const HostValue plain = host.call("math::interp1", {host.array({3}, x, kTypeRealArray), host.array({1, 3}, y),
                                                       make_real(0.5)});
    EXPECT_EQ(plain.real(), 0.5);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(DataTest, SteffenStaysMonotone) {
    const Values x{0, 1, 2, 3, 4}, y{0, 0, 0.1, 1, 1};
    Values at;
    for (int i = 0; i <= 400; ++i) at.push_back(i / 100.0);
    const Values got = host.read(interp(host, x, y, host.array({401}, at), 3)).values;
    for (size_t i = 1; i < got.size(); ++i) {
        EXPECT_LE(got[i - 1], got[i]) << at[i];
        EXPECT_GE(got[i], 0.0);
        EXPECT_LE(got[i], 1.0);
    }
}

TEST_F(DataTest, InterpolationMinimumPointCounts) {
    const struct {
        int64_t method;
        int64_t fewest;  // refused below this with code 6
    } methods[] = {{0, 2}, {1, 3}, {2, 5}, {3, 3}};
    for (const auto& m : methods) {
        for (int64_t n = 2; n <= m.fewest; ++n) {
            SCOPED_TRACE("method " + std::to_string(m.method) + ", n = " + std::to_string(n));
            Values x, y;
            for (int64_t i = 0; i < n; ++i) {
                x.push_back(static_cast<double>(i));
                y.push_back(static_cast<double>(i * i));
            }
            host.clear_errors();
            const HostValue r = interp(host, x, y, make_real(0.0), m.method);
            if (n < m.fewest) {
                EXPECT_TRUE(is_empty_result(r));
                EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math::interp1", 6}}));
            } else {
                EXPECT_EQ(r.real(), 0.0);
                EXPECT_TRUE(host.errors().empty());
            }
        }
    }
}

TEST_F(DataTest, PolynomialFitRecoversItsPolynomial) {
    // y = 1 - 2x + 3x^2 without noise.
    Values x, y;
    for (int i = 0; i < 7; ++i) {
        const double t = -1.5 + 0.5 * i;
        x.push_back(t);
        y.push_back(1 - 2 * t + 3 * t * t);
    }
    const HostValue c = host.call("math::polyfit", {host.array({7}, x), host.array({1, 7}, y), make_integer(2)});
    const hostsim::ArrayContents got = host.read(c);
    ASSERT_EQ(got.shape, std::vector<int64_t>{3});
    EXPECT_NEAR(got.values[0], 1.0, 1e-13);
    EXPECT_NEAR(got.values[1], -2.0, 1e-13);
    EXPECT_NEAR(got.values[2], 3.0, 1e-13);
    // Degree 0 is the mean; degree n - 1 interpolates.
    const HostValue mean = host.call("math::polyfit", {host.array({4}, {1, 2, 3, 4}), host.array({4}, {1, 2, 4, 9}),
                                                      make_integer(0)});
    EXPECT_NEAR(host.read(mean).values[0], 4.0, 1e-14);
    const HostValue through = host.call("math::polyfit", {host.array({2}, {1, 3}), host.array({2}, {5, 9}),
                                                         make_integer(1)});
    EXPECT_NEAR(host.read(through).values[0], 3.0, 1e-14);
    EXPECT_NEAR(host.read(through).values[1], 2.0, 1e-14);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(DataTest, PolyvalIsHornerFromTheTopBitForBit) {
    EXPECT_EQ(host.call("math::polyval", {host.array({3}, {1, 2, 3}), make_real(2)}).real(), 17.0);
    // Horner's order: ((1e16) x + 1) x - 1e16 at x = 1 loses the 1 in the
    // first sum, where the powers summed from the bottom would keep it.
    EXPECT_EQ(host.call("math::polyval", {host.array({3}, {-1e16, 1, 1e16}), make_real(1)}).real(), 0.0);
    const Values c = random_values(9, 3);
    // Enough elements for several threads, in a count that splits unevenly.
    const int64_t n = (int64_t{1} << 17) + 4099;
    const Values x = random_values(n, 4);
    Values want(static_cast<size_t>(n));
    for (size_t i = 0; i < want.size(); ++i) want[i] = horner(c, x[i]);
    for (const char* threads : {"1", "3", "7"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        ASSERT_TRUE(reload_with_threads(host, threads));
        const HostValue r = host.call("math::polyval", {host.array({9}, c), host.array({1, n}, x)});
        const hostsim::ArrayContents got = host.read(r);
        EXPECT_EQ(got.shape, (std::vector<int64_t>{1, n}));
        size_t differ = 0;
        for (size_t i = 0; i < want.size(); ++i) differ += !same_bits(got.values[i], want[i]);
        EXPECT_EQ(differ, 0u);
    }
    hostsim::set_environment("HOSTMATH_THREADS", std::nullopt);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(DataTest, PolynomialRootsOrderedByRealThenImaginaryPart) {
    const struct {
        const char* what;
        Values c;
        Values rows;  // (real, imaginary) per root
    } cases[] = {
        {"(x - 1)(x - 2)(x + 3)", {6, -7, 0, 1}, {-3, 0, 1, 0, 2, 0}},
        {"trailing zeros of either sign are dropped", {6, -7, 0, 1, 0, -0.0}, {-3, 0, 1, 0, 2, 0}},
        {"x^2 + 1", {1, 0, 1}, {0, -1, 0, 1}},
        {"a root at 0", {0, -1, 1}, {0, 0, 1, 0}},
        {"linear", {3, -2}, {1.5, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto n = static_cast<int64_t>(c.c.size());
        const hostsim::ArrayContents got = host.read(host.call("math::polyroots", {host.array({n}, c.c)}));
        const auto degree = static_cast<int64_t>(c.rows.size() / 2);
        EXPECT_EQ(got.shape, (std::vector<int64_t>{degree, 2}));
        ASSERT_EQ(got.values.size(), c.rows.size());
        for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_NEAR(got.values[i], c.rows[i], 1e-14) << i;
    }
    EXPECT_TRUE(host.errors().empty());
}

// A leading coefficient tiny against the others: the companion matrix would
// hold an infinity, on which GSL's balancing never ends. The roots come from
// the rescaled polynomial: here complex pairs of modulus 2^537 and 1e300.
TEST_F(DataTest, PolynomialRootsOfAnOverflowingCompanionAreRescaled) {
    struct Case {
        Values c;
        double modulus;  // of both roots: sqrt(c0 / c2)
    };
    for (const Case& k : {Case{{1, 0x1p-1074, 0x1p-1074}, 0x1p537}, Case{{1e300, 1, 1e-300}, 1e300}}) {
        host.clear_errors();
        const HostValue r = host.call("math::polyroots", {host.array({static_cast<int64_t>(k.c.size())}, k.c)});
        EXPECT_TRUE(host.errors().empty());
        const Values roots = host.read(r).values;
        ASSERT_EQ(roots.size(), 4u);
        for (int i = 0; i < 2; ++i) EXPECT_NEAR(std::hypot(roots[2 * i], roots[2 * i + 1]) / k.modulus, 1.0, 1e-12);
    }
}

TEST_F(DataTest, EveryCode) {
    const HostValue x3 = host.array({3}, {0, 1, 2});
    const HostValue y3 = host.array({3}, {1, 2, 3});
    const HostValue v2 = host.array({2}, {1, 2});
    const HostValue square = host.array({2, 2}, {1, 2, 3, 4});
    const HostValue empty = host.array({0});
    const HostValue one = make_real(1);
    const struct {
        const char* key;
        Args args;
        int64_t code;
    } refusals[] = {
        {"math::interp1", {x3, y3}, 1},
        {"math::interp1", {x3, y3, one, make_integer(0), one}, 1},
        {"math::interp1", {one, y3, one}, 2},
        {"math::interp1", {x3, make_integer(1), one}, 2},
        {"math::interp1", {x3, v2, one}, 3},
        {"math::interp1", {host.array({1}, {0}), host.array({1}, {0}), one}, 3},
        {"math::interp1", {square, square, one}, 3},
        {"math::interp1", {host.array({3}, {0, 2, 1}), y3, one}, 4},
        {"math::interp1", {host.array({3}, {0, 1, 1}), y3, one}, 4},
        {"math::interp1", {host.array({3}, {0, kNaN, 2}), y3, one}, 4},
        {"math::interp1", {host.array({3}, {0, 1, kInf}), y3, one}, 4},
        {"math::interp1", {x3, y3, make_integer(1)}, 5},
        {"math::interp1", {x3, y3, host.string("1")}, 5},
        {"math::interp1", {x3, y3, one, make_integer(4)}, 6},
        {"math::interp1", {x3, y3, one, make_integer(-1)}, 6},
        {"math::interp1", {x3, y3, one, make_real(1)}, 6},
        {"math::interp1", {x3, y3, one, make_integer(2)}, 6},  // akima needs 5 points
        {"math::polyfit", {x3, y3}, 1},
        {"math::polyfit", {one, y3, make_integer(1)}, 2},
        {"math::polyfit", {x3, one, make_integer(1)}, 2},
        {"math::polyfit", {x3, v2, make_integer(1)}, 3},
        {"math::polyfit", {square, square, make_integer(1)}, 3},
        {"math::polyfit", {x3, y3, make_integer(-1)}, 4},
        {"math::polyfit", {x3, y3, make_integer(3)}, 4},
        {"math::polyfit", {x3, y3, make_real(1)}, 4},
        {"math::polyfit", {x3, host.array({3}, {1, kNaN, 3}), make_integer(1)}, 5},
        {"math::polyfit", {host.array({3}, {0, 1, kInf}), y3, make_integer(1)}, 5},
        {"math::polyfit", {host.array({3}, {0, 1, 1e200}), y3, make_integer(2)}, 5},  // x^2 overflows
        {"math::polyfit", {host.array({3}, {1, 1, 2}), y3, make_integer(2)}, 6},
        {"math::polyfit", {host.array({3}, {1, 1, 1}), y3, make_integer(1)}, 6},
        {"math::polyval", {v2}, 1},
        {"math::polyval", {one, one}, 2},
        {"math::polyval", {empty, one}, 2},
        {"math::polyval", {square, one}, 2},
        {"math::polyval", {v2, make_integer(1)}, 3},
        {"math::polyval", {v2, host.string("1")}, 3},
        {"math::polyroots", {v2, v2}, 1},
        {"math::polyroots", {one}, 2},
        {"math::polyroots", {square}, 2},
        {"math::polyroots", {empty}, 3},
        {"math::polyroots", {host.array({3}, {5, 0, -0.0})}, 3},
        {"math::polyroots", {host.array({3}, {0, 0, 0})}, 3},
        {"math::polyroots", {host.array({3}, {1, kNaN, 1})}, 5},
        {"math::polyroots", {host.array({2}, {kInf, 1})}, 5},
        {"math::fft", {}, 1},
        {"math::fft", {v2, v2}, 1},
        {"math::fft", {one}, 2},
        {"math::fft", {empty}, 3},
        {"math::fft", {host.array({2, 3})}, 3},
        {"math::fft", {host.array({3, 3})}, 3},
        {"math::fft", {host.array({2, 2, 2})}, 3},
        {"math::ifft", {v2, v2}, 1},
        {"math::ifft", {make_integer(1)}, 2},
        {"math::ifft", {host.array({0, 2})}, 3},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(std::string(r.key) + " code " + std::to_string(r.code));
        expect_refused(host, r.key, r.args, r.code);
    }
}

TEST_F(DataTest, NonFiniteValuesPropagate) {
    // y may hold anything: NaN and infinities reach the values near them.
    const HostValue r = interp(host, {0, 1, 2}, {0, kNaN, 1}, host.array({2}, {0.5, 1.5}), 0);
    for (double v : host.read(r).values) EXPECT_TRUE(std::isnan(v));
    EXPECT_TRUE(std::isnan(host.call("math::polyval", {host.array({2}, {1, kNaN}), make_real(2)}).real()));
    EXPECT_EQ(host.call("math::polyval", {host.array({2}, {1, 1}), make_real(kInf)}).real(), kInf);
    const Values f = host.read(host.call("math::fft", {host.array({4}, {1, kInf, 0, 0})})).values;
    EXPECT_TRUE(std::isinf(f[0]) || std::isnan(f[0]));
    EXPECT_TRUE(host.errors().empty());
}
