// SPDX-License-Identifier: GPL-3.0-or-later
// The distributions through the stand-in host: densities and tails against
// closed forms, the upper tail kept far out, quantiles that invert the
// tails (the least k for the discrete ones), the domains, the draws of the
// library's generator against GSL's mt19937 driven directly, reseeding,
// and every code.
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using Args = std::vector<HostValue>;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

enum Dist : int64_t { kNormal, kLognormal, kExponential, kGamma, kBeta, kChi2, kT, kF, kUniform, kWeibull, kBinomial, kPoisson };

using DistributionTest = LibraryTest;

// dist, x and the parameters as the script passes them, with any trailing arguments.
Args dist_args(Dist d, double x, std::initializer_list<double> params, std::initializer_list<HostValue> tail = {}) {
    Args a{make_integer(d), make_real(x)};
    for (double p : params) a.push_back(make_real(p));
    a.insert(a.end(), tail.begin(), tail.end());
    return a;
}

}  // namespace

TEST_F(DistributionTest, DensitiesAndTailsAgainstClosedForms) {
    const double e = std::exp(1.0);
    const struct {
        const char* what;
        const char* key;
        Args args;
        double want;
        double tolerance = 1e-14;  // relative
    } cases[] = {
        {"normal pdf at mu", "math::pdf", dist_args(kNormal, 3.0, {3.0, 2.0}), 1.0 / (2.0 * std::sqrt(2.0 * M_PI))},
        {"normal cdf 1.96", "math::cdf", dist_args(kNormal, 1.96, {0.0, 1.0}), 0.97500210485177952},
        {"normal upper 1.96", "math::cdf", dist_args(kNormal, 1.96, {0.0, 1.0}, {make_integer(1)}), 0.024997895148220435},
        {"lognormal cdf at e^zeta", "math::cdf", dist_args(kLognormal, e, {1.0, 0.7}), 0.5},
        {"exponential cdf", "math::cdf", dist_args(kExponential, 1.0, {2.0}), 1.0 - std::exp(-0.5)},
        {"exponential pdf", "math::pdf", dist_args(kExponential, 1.0, {2.0}), 0.5 * std::exp(-0.5)},
        {"gamma(1, b) is exponential", "math::cdf", dist_args(kGamma, 1.0, {1.0, 2.0}), 1.0 - std::exp(-0.5)},
        {"beta(2, 1) cdf x^2", "math::cdf", dist_args(kBeta, 0.3, {2.0, 1.0}), 0.09},
        {"beta(2, 1) pdf 2x", "math::pdf", dist_args(kBeta, 0.3, {2.0, 1.0}), 0.6},
        {"chi2(2) cdf", "math::cdf", dist_args(kChi2, 3.0, {2.0}), 1.0 - std::exp(-1.5)},
        {"t(1) is Cauchy", "math::cdf", dist_args(kT, 2.0, {1.0}), 0.5 + std::atan(2.0) / M_PI},
        {"t(1) upper", "math::cdf", dist_args(kT, 2.0, {1.0}, {make_integer(1)}), 0.5 - std::atan(2.0) / M_PI},
        {"F(2, 2) cdf x / (1 + x)", "math::cdf", dist_args(kF, 3.0, {2.0, 2.0}), 0.75},
        {"uniform cdf", "math::cdf", dist_args(kUniform, 2.5, {2.0, 4.0}), 0.25},
        {"uniform pdf", "math::pdf", dist_args(kUniform, 2.5, {2.0, 4.0}), 0.5},
        {"weibull cdf", "math::cdf", dist_args(kWeibull, 2.0, {2.0, 3.0}), 1.0 - std::exp(-1.0)},
        {"binomial pmf", "math::pdf", dist_args(kBinomial, 2.0, {0.5, 4.0}), 0.375},
        {"binomial cdf", "math::cdf", dist_args(kBinomial, 2.0, {0.5, 4.0}), 0.6875},
        {"binomial cdf between whole numbers", "math::cdf", dist_args(kBinomial, 2.9, {0.5, 4.0}), 0.6875},
        {"binomial upper", "math::cdf", dist_args(kBinomial, 2.0, {0.5, 4.0}, {make_integer(1)}), 0.3125},
        {"binomial pmf off the whole numbers", "math::pdf", dist_args(kBinomial, 2.5, {0.5, 4.0}), 0.0},
        {"binomial beyond n", "math::cdf", dist_args(kBinomial, 1e12, {0.5, 4.0}), 1.0},
        {"poisson pmf", "math::pdf", dist_args(kPoisson, 2.0, {3.0}), 4.5 * std::exp(-3.0)},
        {"poisson cdf", "math::cdf", dist_args(kPoisson, 1.0, {3.0}), 4.0 * std::exp(-3.0)},
        {"poisson below 0", "math::cdf", dist_args(kPoisson, -0.5, {3.0}), 0.0},
        {"poisson below 0, upper", "math::cdf", dist_args(kPoisson, -0.5, {3.0}, {make_integer(1)}), 1.0},
        {"normal at infinity", "math::cdf", dist_args(kNormal, kInf, {0.0, 1.0}), 1.0},
        {"normal pdf at infinity", "math::pdf", dist_args(kNormal, -kInf, {0.0, 1.0}), 0.0},
        {"normal icdf", "math::icdf", dist_args(kNormal, 0.975, {10.0, 2.0}), 10.0 + 2.0 * 1.9599639845400540},
        {"exponential icdf", "math::icdf", dist_args(kExponential, 0.5, {2.0}), 2.0 * std::log(2.0)},
        {"uniform icdf", "math::icdf", dist_args(kUniform, 0.25, {2.0, 4.0}), 2.5},
        {"weibull icdf", "math::icdf", dist_args(kWeibull, 1.0 - std::exp(-1.0), {2.0, 3.0}), 2.0},
        {"chi2 icdf", "math::icdf", dist_args(kChi2, 0.95, {1.0}), 3.8414588206941249},
        // GSL's t quantile ends its Newton steps at about 1e-11.
        {"t icdf", "math::icdf", dist_args(kT, 0.975, {10.0}), 2.2281388519649385, 1e-10},
        {"F icdf", "math::icdf", dist_args(kF, 0.75, {2.0, 2.0}), 3.0},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        const HostValue r = host.call(c.key, c.args);
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_NEAR(r.real(), c.want, c.tolerance * std::fmax(std::fabs(c.want), 1e-300));
    }
    EXPECT_TRUE(host.errors().empty());
}

// P(X > x) is computed directly: far out, 1 - P(X <= x) would be 0.
TEST_F(DistributionTest, UpperTailsKeepTheirDigitsFarOut) {
    const struct {
        const char* what;
        Args args;
        double want;
    } cases[] = {
        {"normal at 30 sigma", dist_args(kNormal, 30.0, {0.0, 1.0}, {make_integer(1)}), 4.906713927148187e-198},
        {"chi2(1) at 900: both tails of the normal", dist_args(kChi2, 900.0, {1.0}, {make_integer(1)}), 2.0 * 4.906713927148187e-198},
        {"exponential at 100 means", dist_args(kExponential, 100.0, {1.0}, {make_integer(1)}), std::exp(-100.0)},
        {"poisson(1) beyond 30", dist_args(kPoisson, 30.0, {1.0}, {make_integer(1)}), 4.6180474610271923e-35},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        const double q = host.call("math::cdf", c.args).real();
        EXPECT_NEAR(q, c.want, 1e-12 * c.want);
        Args lower = c.args;
        lower.pop_back();
        EXPECT_EQ(host.call("math::cdf", lower).real(), 1.0);
    }
}

// The least k with P(X <= k) >= q, checked against the library's own cdf,
// from tiny means to huge ones and from the far left tail to the far right.
TEST_F(DistributionTest, DiscreteQuantileIsTheLeastKReachingQ) {
    const struct {
        Dist d;
        Values params;
    } cases[] = {
        {kBinomial, {0.3, 20}},   {kBinomial, {0.001, 1e6}}, {kBinomial, {0.999, 1000}}, {kBinomial, {0.5, 1}},
        {kBinomial, {1e-9, 4e9}}, {kPoisson, {0.01}},        {kPoisson, {3.5}},          {kPoisson, {1000}},
        {kPoisson, {1e7}},        {kPoisson, {1e15}},
    };
    const Values qs{1e-300, 1e-12, 0.001, 0.1, 0.5, 0.9, 0.999, 1.0 - 1e-12, 1.0 - 0x1p-53};
    const auto start = std::chrono::steady_clock::now();
    for (auto c : cases) {
        for (double q : qs) {
            SCOPED_TRACE(std::to_string(c.d) + " " + std::to_string(c.params[0]) + " q " + std::to_string(q));
            auto call = [&](const char* key, double x) {
                Args a{make_integer(c.d), make_real(x)};
                for (double p : c.params) a.push_back(make_real(p));
                return host.call(key, a).real();
            };
            const double k = call("math::icdf", q);
            ASSERT_EQ(k, std::floor(k));
            EXPECT_GE(call("math::cdf", k), q);
            if (k > 0) {
                EXPECT_LT(call("math::cdf", k - 1), q);
            }
            // A q that is exactly P(X <= k) gives k.
            const double exact = call("math::cdf", k);
            if (exact < 1.0) {
                EXPECT_EQ(call("math::icdf", exact), k);
            }
        }
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(DistributionTest, DomainsAndTheEndsOfTheSupport) {
    const struct {
        const char* what;
        const char* key;
        Args args;
        double want;
    } cases[] = {
        {"sigma 0", "math::pdf", dist_args(kNormal, 0.0, {0.0, 0.0}), kNaN},
        {"sigma negative", "math::cdf", dist_args(kNormal, 0.0, {0.0, -1.0}), kNaN},
        {"mu infinite", "math::cdf", dist_args(kNormal, 0.0, {kInf, 1.0}), kNaN},
        {"mean 0", "math::pdf", dist_args(kExponential, 1.0, {0.0}), kNaN},
        {"beta b 0", "math::cdf", dist_args(kBeta, 0.5, {1.0, 0.0}), kNaN},
        {"uniform a = b", "math::pdf", dist_args(kUniform, 0.5, {1.0, 1.0}), kNaN},
        {"p above 1", "math::pdf", dist_args(kBinomial, 1.0, {1.5, 4.0}), kNaN},
        {"n not whole", "math::cdf", dist_args(kBinomial, 1.0, {0.5, 4.5}), kNaN},
        {"n beyond 32 bits", "math::cdf", dist_args(kBinomial, 1.0, {0.5, 4294967296.0}), kNaN},
        {"poisson mean 0", "math::cdf", dist_args(kPoisson, 1.0, {0.0}), kNaN},
        {"q above 1", "math::icdf", dist_args(kNormal, 1.5, {0.0, 1.0}), kNaN},
        {"q below 0", "math::icdf", dist_args(kPoisson, -0.1, {1.0}), kNaN},
        {"normal q 0", "math::icdf", dist_args(kNormal, 0.0, {0.0, 1.0}), -kInf},
        {"normal q 1", "math::icdf", dist_args(kNormal, 1.0, {0.0, 1.0}), kInf},
        {"beta q 1", "math::icdf", dist_args(kBeta, 1.0, {2.0, 3.0}), 1.0},
        {"uniform q 0", "math::icdf", dist_args(kUniform, 0.0, {2.0, 3.0}), 2.0},
        {"gamma q 0", "math::icdf", dist_args(kGamma, 0.0, {2.0, 3.0}), 0.0},
        {"binomial q 1", "math::icdf", dist_args(kBinomial, 1.0, {0.5, 7.0}), 7.0},
        {"binomial q 0", "math::icdf", dist_args(kBinomial, 0.0, {0.5, 7.0}), 0.0},
        {"poisson q 1", "math::icdf", dist_args(kPoisson, 1.0, {2.0}), kInf},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        const double r = host.call(c.key, c.args).real();
        if (std::isnan(c.want)) {
            EXPECT_TRUE(std::isnan(r)) << r;
        } else {
            EXPECT_EQ(r, c.want);
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// Arrays for x and the parameters together, NaN through each.
TEST_F(DistributionTest, ArraysOfPointsAndParameters) {
    const HostValue x = host.array({2, 2}, {-1, 0, 1, kNaN});
    const HostValue sigma = host.array({2, 2}, {1, 2, kNaN, 1}, kTypeRealArray);
    const hostsim::ArrayContents r = host.read(host.call("math::cdf", {make_integer(kNormal), x, make_real(0.0), sigma}));
    EXPECT_EQ(r.shape, (std::vector<int64_t>{2, 2}));
    EXPECT_NEAR(r.values[0], 0.15865525393145705, 1e-15);
    EXPECT_EQ(r.values[1], 0.5);
    EXPECT_TRUE(std::isnan(r.values[2]));
    EXPECT_TRUE(std::isnan(r.values[3]));
    const hostsim::ArrayContents q = host.read(host.call("math::icdf", {make_integer(kPoisson), make_real(0.5), host.array({3}, {1, 10, 100})}));
    EXPECT_EQ(q.values, (Values{1, 10, 100}));
    EXPECT_TRUE(host.errors().empty());
}

// The draws are GSL's from mt19937 with its default seed: the uniform ones
// (a + (b - a) u, exact) bit for bit, the counts exactly.
TEST_F(DistributionTest, DrawsFollowGslsGeneratorFromItsDefaultSeed) {
    std::unique_ptr<gsl_rng, decltype(&gsl_rng_free)> r(gsl_rng_alloc(gsl_rng_mt19937), gsl_rng_free);
    const hostsim::ArrayContents u = host.read(host.call("math::random", {make_integer(kUniform), make_real(-2.0), make_real(3.0), make_integer(3), make_integer(4)}));
    EXPECT_EQ(u.shape, (std::vector<int64_t>{3, 4}));
    for (double v : u.values) EXPECT_TRUE(same_bits(v, gsl_ran_flat(r.get(), -2.0, 3.0)));
    // The stream goes on where the last call left it.
    const hostsim::ArrayContents b = host.read(host.call("math::random", {make_integer(kBinomial), make_real(0.3), make_integer(50), make_integer(1), make_integer(200)}));
    for (double v : b.values) EXPECT_EQ(v, gsl_ran_binomial(r.get(), 0.3, 50));
    const hostsim::ArrayContents p = host.read(host.call("math::random", {make_integer(kPoisson), make_real(4.5), make_integer(200), make_integer(1)}));
    for (double v : p.values) EXPECT_EQ(v, gsl_ran_poisson(r.get(), 4.5));
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(DistributionTest, ReseedingAndParametersOutsideTheDomain) {
    auto draws = [&](Dist d, Args params, int64_t n) {
        Args a{make_integer(d)};
        a.insert(a.end(), params.begin(), params.end());
        a.push_back(make_integer(1));
        a.push_back(make_integer(n));
        return host.read(host.call("math::random", a)).values;
    };
    const Values fresh = draws(kNormal, {make_real(1.0), make_real(2.0)}, 50);
    // randseed(0) is the seed of a fresh load; a seed counts by its low 32 bits.
    EXPECT_EQ(host.call("math::randseed", {make_integer(0)}).integer(), 0);
    EXPECT_EQ(draws(kNormal, {make_real(1.0), make_real(2.0)}, 50), fresh);
    host.call("math::randseed", {make_integer(12345)});
    const Values seeded = draws(kGamma, {make_real(2.5), make_integer(3)}, 50);
    host.call("math::randseed", {make_integer(12345 + (int64_t{1} << 32))});
    EXPECT_EQ(draws(kGamma, {make_real(2.5), make_integer(3)}, 50), seeded);
    // Parameters outside the domain give NaN and draw nothing.
    host.call("math::randseed", {make_integer(7)});
    const Values nan = draws(kNormal, {make_real(0.0), make_real(-1.0)}, 5);
    for (double v : nan) EXPECT_TRUE(std::isnan(v));
    const Values after = draws(kExponential, {make_real(1.0)}, 5);
    host.call("math::randseed", {make_integer(7)});
    EXPECT_EQ(draws(kExponential, {make_real(1.0)}, 5), after);
    // An array argument is filled in place and returned.
    const HostValue a = host.array({2, 2});
    const HostValue r = host.call("math::random", {make_integer(kChi2), make_real(3.0), a});
    EXPECT_EQ(host.object(r), host.object(a));
    for (double v : host.read(a).values) EXPECT_GT(v, 0.0);
    // rand keeps its own generator: its first number is that of a fresh load.
    EXPECT_EQ(host.read(host.call("math::rand", {make_integer(1), make_integer(1)})).values[0], 13849.0 / 65536.0);
    EXPECT_TRUE(host.errors().empty());
}

// The sample mean and variance of many draws, within five standard errors.
TEST_F(DistributionTest, DrawsHaveTheirDistributionsMoments) {
    const int64_t n = 200000;
    const struct {
        Dist d;
        Args params;
        double mean, variance;
    } cases[] = {
        {kNormal, {make_real(3.0), make_real(2.0)}, 3.0, 4.0},
        {kExponential, {make_real(2.0)}, 2.0, 4.0},
        {kGamma, {make_real(3.0), make_real(0.5)}, 1.5, 0.75},
        {kBeta, {make_real(2.0), make_real(3.0)}, 0.4, 0.04},
        {kT, {make_real(5.0)}, 0.0, 5.0 / 3.0},
        {kUniform, {make_real(-1.0), make_real(1.0)}, 0.0, 1.0 / 3.0},
        {kWeibull, {make_real(1.0), make_real(1.0)}, 1.0, 1.0},
        {kBinomial, {make_real(0.3), make_real(10.0)}, 3.0, 2.1},
        {kPoisson, {make_real(7.5)}, 7.5, 7.5},
    };
    for (auto c : cases) {
        SCOPED_TRACE(std::to_string(c.d));
        Args a{make_integer(c.d)};
        a.insert(a.end(), c.params.begin(), c.params.end());
        a.push_back(make_integer(n));
        a.push_back(make_integer(1));
        const Values v = host.read(host.call("math::random", a)).values;
        double sum = 0.0, squares = 0.0;
        for (double x : v) sum += x;
        const double mean = sum / static_cast<double>(n);
        for (double x : v) squares += (x - mean) * (x - mean);
        EXPECT_NEAR(mean, c.mean, 5.0 * std::sqrt(c.variance / static_cast<double>(n)));
        EXPECT_NEAR(squares / static_cast<double>(n - 1), c.variance, 0.05 * c.variance);
    }
}

TEST_F(DistributionTest, EveryCode) {
    const HostValue two = host.array({2}, {1, 2}), three = host.array({3}, {1, 2, 3});
    expect_refusals(host, {
        {"math::pdf", {}, 1},
        {"math::pdf", {make_integer(kNormal), make_real(0), make_real(0)}, 1},
        {"math::pdf", {make_integer(kPoisson), make_real(0), make_real(1), make_real(1)}, 1},
        {"math::cdf", {make_integer(kPoisson), make_real(0), make_real(1), make_integer(1), make_integer(1)}, 1},
        {"math::icdf", {make_integer(kNormal), make_real(0.5), make_real(0), make_real(1), make_integer(1)}, 1},
        {"math::pdf", {make_integer(12), make_real(0), make_real(1)}, 2},
        {"math::cdf", {make_integer(-1), make_real(0), make_real(1)}, 2},
        {"math::icdf", {make_real(0), make_real(0.5), make_real(0), make_real(1)}, 2},
        {"math::pdf", {make_integer(kNormal), two, three, make_real(1)}, 3},
        {"math::cdf", {make_integer(kPoisson), two, three}, 3},
        {"math::pdf", {make_integer(kNormal), host.string("0"), make_real(0), make_real(1)}, 4},
        {"math::icdf", {make_integer(kChi2), make_real(0.5), make_empty()}, 4},
        {"math::cdf", {make_integer(kChi2), make_real(0.5), make_real(1), make_integer(2)}, 4},
        {"math::cdf", {make_integer(kChi2), make_real(0.5), make_real(1), make_real(1)}, 4},
        {"math::random", {}, 1},
        {"math::random", {make_integer(kNormal), make_real(0), make_real(1)}, 1},
        {"math::random", {make_integer(kPoisson), make_real(1), make_integer(1), make_integer(1), make_integer(1)}, 1},
        {"math::random", {make_integer(20), make_real(1), make_integer(1), make_integer(1)}, 2},
        {"math::random", {make_integer(kPoisson), two, make_integer(1), make_integer(1)}, 4},
        {"math::random", {make_integer(kPoisson), make_real(1), make_integer(0), make_integer(1)}, 5},
        {"math::random", {make_integer(kPoisson), make_real(1), make_real(2), make_integer(1)}, 5},
        {"math::random", {make_integer(kPoisson), make_real(1), make_real(2)}, 5},
        {"math::random", {make_integer(kPoisson), make_real(1), make_integer(int64_t{1} << 40), make_integer(int64_t{1} << 40)}, 7},
        {"math::randseed", {}, 1},
        {"math::randseed", {make_integer(1), make_integer(1)}, 1},
        {"math::randseed", {make_integer(-1)}, 4},
        {"math::randseed", {make_real(1)}, 4},
    });
}

// Every distribution's pdf, cdf (both tails) and icdf over every triple of
// extreme arguments: GSL's iterations and the discrete quantile's search
// must end, each element in well under a millisecond on average.
TEST_F(DistributionTest, ExtremeArgumentsEndPromptly) {
    const Values extremes{0.0, -0.0, 1.0, -1.0, 0.5, 1e-300, 4.9e-324, 1.0 - 0x1p-53, 2.0, 1e-7, 1e7, 1e300, -1e300,
                          kInf, -kInf, 4294967295.0, 4294967296.0, 2147483648.5, 1e17};
    Values x, p1, p2;
    for (double a : extremes) {
        for (double b : extremes) {
            for (double c : extremes) {
                x.push_back(a);
                p1.push_back(b);
                p2.push_back(c);
            }
        }
    }
    const auto n = static_cast<int64_t>(x.size());
    const HostValue xs = host.array({n}, x), p1s = host.array({n}, p1), p2s = host.array({n}, p2);
    for (int64_t d = 0; d < 12; ++d) {
        SCOPED_TRACE(std::to_string(d));
        const bool two = d != kExponential && d != kChi2 && d != kT && d != kPoisson;
        Args args{make_integer(d), xs, p1s};
        if (two) args.push_back(p2s);
        const auto start = std::chrono::steady_clock::now();
        for (const char* key : {"math::pdf", "math::cdf", "math::icdf"}) host.call(key, args);
        args.push_back(make_integer(1));
        host.call("math::cdf", args);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    }
    EXPECT_TRUE(host.errors().empty());
}
