// SPDX-License-Identifier: GPL-3.0-or-later
// Every call ends, in time its inputs explain, and says when its answer is
// not one: searches whose bracket or simplex can go no further, integrands
// that are NaN or diverge, singular values of large matrices, failures that
// belong to a nested call, and results made before a later failure.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using hostsim::Host;
using hostsim::RunError;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int64_t kHugeMaxit = int64_t{1} << 62;
constexpr int64_t kGslEdom = 1;
constexpr int64_t kGslEdiverge = 22;
constexpr int64_t kGslEnoprog = 27;

HostValue one_parameter(Host& host, double (*phi)(double)) {
    return host.function(1, [phi](std::span<HostValue> p) { return make_real(phi(p[0].real())); });
}

using BoundedCallsTest = LibraryTest;

// ---- searches that can go no further end -------------------------------------------------

// With epsabs 0 the interval test never accepts a bracket around a root at
// exactly 0; Brent's solver stops moving there without evaluating f.
TEST_F(BoundedCallsTest, FzeroEndsWhereTheBracketCanShrinkNoFurther) {
    struct Case {
        double (*phi)(double);
        double a, b;
        int64_t maxit;
    };
    const Case cases[] = {
        {[](double x) { return std::sin(x); }, -1.0, 2.0, 100000000},
        {[](double x) { return std::sin(x); }, -1.0, 2.0, kHugeMaxit},
        {[](double x) { return x * x * x; }, -0.5, 1.0, kHugeMaxit},
    };
    for (const Case& c : cases) {
        host.clear_errors();
        const int64_t before = host.qecal_calls();
        const HostValue r =
            host.call("math::fzero", {one_parameter(host, c.phi), real(c.a), real(c.b), real(0.0), real(1e-10),
                                      integer(c.maxit)});
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_LT(std::fabs(r.real()), 1e-100);
        EXPECT_TRUE(host.errors().empty());
        EXPECT_LT(host.qecal_calls() - before, 2000);
    }
}

TEST_F(BoundedCallsTest, FminbndRanksNaNAboveEveryNumber) {
    const HostValue nan_above = one_parameter(host, [](double x) { return x > 0.3 ? kNaN : (x - 0.2) * (x - 0.2); });
    const HostValue r = host.call("math::fminbnd", {nan_above, real(0.0), real(1.0)});
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_NEAR(r.real(), 0.2, 1e-6);
    EXPECT_TRUE(host.errors().empty());

    // NaN everywhere: no minimum, the result NaN with code 5.
    const HostValue r2 = host.call("math::fminbnd", {one_parameter(host, [](double) { return kNaN; }), real(0.0), real(1.0)});
    ASSERT_EQ(r2.base_type, kTypeReal);
    EXPECT_TRUE(std::isnan(r2.real()));
    EXPECT_EQ(host.errors(), (std::vector<RunError>{{1, "math::fminbnd", 5}}));
}

// A minimum at exactly 0 with epsabs 0: the bracket closes on it.
TEST_F(BoundedCallsTest, FminbndEndsWhereTheBracketCanShrinkNoFurther) {
    const int64_t before = host.qecal_calls();
    const HostValue r = host.call("math::fminbnd", {one_parameter(host, [](double x) { return std::fabs(x); }), real(-1.0),
                                                    real(2.0), real(0.0), real(1e-10), integer(kHugeMaxit)});
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_LT(std::fabs(r.real()), 1e-150);
    EXPECT_TRUE(host.errors().empty());
    EXPECT_LT(host.qecal_calls() - before, 10000);
}

HostValue two_coordinates(Host& host, double (*phi)(double, double)) {
    return host.function(2, [phi](std::span<HostValue> p) { return make_real(phi(p[0].real(), p[1].real())); });
}

// f unbounded below, or a tolerance no simplex reaches: the search ends
// with its estimate and GSL_ENOPROG instead of running to maxit. f NaN at
// the start: GSL's set-up refuses it (GSL_EBADFUNC).
TEST_F(BoundedCallsTest, FminsearchEndsWhenItCanGoNoFurther) {
    struct Case {
        double (*phi)(double, double);
        double tol;
        int64_t status;
    };
    const Case cases[] = {
        {[](double x, double y) { return x + y; }, 1e-8, kGslEnoprog},
        {[](double x, double y) { return (x - 1.0) * (x - 1.0) + (y - 2.0) * (y - 2.0); }, 5e-324, kGslEnoprog},
        {[](double, double) { return kNaN; }, 1e-8, 9},
    };
    for (const Case& c : cases) {
        host.clear_errors();
        const int64_t before = host.qecal_calls();
        const HostValue r = host.call("math::fminsearch", {two_coordinates(host, c.phi), host.array({2}, {0.5, 0.5}),
                                                           real(c.tol), integer(kHugeMaxit)});
        EXPECT_EQ(host.read(r).values.size(), 2u);
        EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math::fminsearch", c.status}}));
        EXPECT_EQ(host.errors()[0].kind, -1);
        EXPECT_LT(host.qecal_calls() - before, 100000);
    }
}

// The simplex holds (n + 1) n doubles: beyond 1000 coordinates the call is
// refused before anything is made or allocated.
TEST_F(BoundedCallsTest, FminsearchRefusesMoreCoordinatesThanItCanHold) {
    const HostValue f = host.function(1, [](std::span<HostValue>) { return make_real(1.0); });
    for (int64_t n : {int64_t{1001}, int64_t{30000}, int64_t{48960}}) {
        const int64_t made = host.new_sys_obj_calls();
        const int64_t probed = host.probed_allocations();
        expect_refused(host, "math::fminsearch", {f, host.array({n}, std::vector<double>(static_cast<size_t>(n), 1.0))}, 7);
        EXPECT_EQ(host.new_sys_obj_calls(), made);
        EXPECT_EQ(host.probed_allocations(), probed);
    }
    host.clear_errors();
    const HostValue r = host.call("math::fminsearch", {f, host.array({1000}, std::vector<double>(1000, 1.0)), real(1e-8),
                                                       integer(1)});
    EXPECT_EQ(host.read(r).values.size(), 1000u);
}

// ---- gsl_cquad does not take GSL's success on trust ------------------------------------------

TEST_F(BoundedCallsTest, CquadReportsWhatGslCallsSuccess) {
    struct Case {
        const char* what;
        double (*phi)(double);
        double a, b;
        int64_t status;  // 0: success
        bool nan_result;
    };
    const Case cases[] = {
        {"NaN on half the interval", [](double x) { return x > 0.0 ? kNaN : 1.0; }, -1.0, 1.0, kGslEdom, true},
        {"NaN everywhere", [](double) { return kNaN; }, 0.0, 1.0, kGslEdom, true},
        {"infinite end", [](double) { return 1.0; }, 0.0, kInf, kGslEdom, true},
        {"NaN end", [](double) { return 1.0; }, kNaN, 1.0, kGslEdom, true},
        {"diverges", [](double x) { return 1.0 / x; }, -1.0, 1.0, kGslEdiverge, false},
        {"reversed limits", [](double x) { return x * x; }, 1.0, 0.0, 0, false},
        {"NaN at one end point only", [](double x) { return x == 0.0 ? kNaN : 1.0; }, 0.0, 1.0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        std::vector<HostValue> args{one_parameter(host, c.phi), real(c.a), real(c.b), real(1e-10), real(1e-10),
                                    integer(100), real(-1.0), integer(-1)};
        const HostValue r = host.call("math::gsl_cquad", args);
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_EQ(std::isnan(r.real()), c.nan_result);
        EXPECT_EQ(args[7].integer(), c.status);
        EXPECT_FALSE(args[6].real() < 0.0);
        if (c.status == 0) {
            EXPECT_TRUE(host.errors().empty());
            EXPECT_TRUE(std::isfinite(args[6].real()));
        } else {
            EXPECT_EQ(host.errors(), (std::vector<RunError>{{-1, "math::gsl_cquad", c.status}}));
        }
    }
}

// ---- a failure belongs to the call whose f misbehaved ----------------------------------------

// f of the outer call runs a nested call of the same function whose script
// function returns an integer; the nested call fails with its own code, and
// the outer one goes on to its result.
TEST_F(BoundedCallsTest, NestedFailuresStayWithTheNestedCall) {
    struct Case {
        const char* key;
        int params;  // of both script functions
        int64_t code;
        std::function<std::vector<HostValue>(Host&, const HostValue& f)> arguments;
        std::function<double(std::span<HostValue>)> value;
    };
    const std::vector<Case> cases = {
        {"math::fzero", 1, 8, [](Host&, const HostValue& f) { return std::vector<HostValue>{f, real(0.0), real(1.0)}; },
         [](std::span<HostValue> p) { return p[0].real() - 0.3; }},
        {"math::fminbnd", 1, 8, [](Host&, const HostValue& f) { return std::vector<HostValue>{f, real(0.0), real(1.0)}; },
         [](std::span<HostValue> p) { return (p[0].real() - 0.3) * (p[0].real() - 0.3); }},
        {"math::fminsearch", 2, 8,
         [](Host& h, const HostValue& f) { return std::vector<HostValue>{f, h.array({2}, {0.0, 0.0})}; },
         [](std::span<HostValue> p) { return (p[0].real() - 1.0) * (p[0].real() - 1.0) + p[1].real() * p[1].real(); }},
        {"math::lsqfit", 2, 8,
         [](Host& h, const HostValue& f) {
             return std::vector<HostValue>{f, h.array({1}, {1.0}), h.array({3}, {1.0, 2.0, 3.0}),
                                           h.array({3}, {2.0, 4.0, 6.0})};
         },
         [](std::span<HostValue> p) { return p[0].real() * p[1].real(); }},
        {"math::gsl_cquad", 1, 6, [](Host&, const HostValue& f) { return std::vector<HostValue>{f, real(0.0), real(1.0)}; },
         [](std::span<HostValue> p) { return p[0].real(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        host.clear_errors();
        const HostValue bad = host.function(c.params, [](std::span<HostValue>) { return make_integer(1); });
        bool nested = false;
        const HostValue good = host.function(c.params, [&](std::span<HostValue> p) {
            const double v = c.value(p);
            if (!nested) {
                nested = true;
                std::vector<HostValue> inner = c.arguments(host, bad);
                EXPECT_TRUE(is_empty_result(host.call(c.key, inner)));
            }
            return make_real(v);
        });
        std::vector<HostValue> outer = c.arguments(host, good);
        const HostValue r = host.call(c.key, outer);
        EXPECT_FALSE(is_empty_result(r));
        EXPECT_EQ(host.errors(), (std::vector<RunError>{{1, c.key, c.code}}));
    }
}

// ---- singular values of larger matrices --------------------------------------------------------

// A = H1 H2 H3 diag(s) H4 H5 H6 with Householder reflections H: dense,
// with singular values s known to rounding.
std::vector<double> with_singular_values(int64_t m, int64_t n, const std::vector<double>& s, uint64_t seed) {
    std::vector<double> a(static_cast<size_t>(m * n), 0.0);
    for (int64_t i = 0; i < static_cast<int64_t>(s.size()); ++i) a[static_cast<size_t>(i * n + i)] = s[static_cast<size_t>(i)];
    auto unit = [&](int64_t len, uint64_t k) {
        std::vector<double> v = random_values(len, seed * 31 + k);
        double norm = 0.0;
        for (double x : v) norm += x * x;
        norm = std::sqrt(norm);
        for (double& x : v) x /= norm;
        return v;
    };
    for (uint64_t k = 0; k < 3; ++k) {
        const std::vector<double> u = unit(m, k);  // a <- (I - 2 u u^T) a
        for (int64_t j = 0; j < n; ++j) {
            double dot = 0.0;
            for (int64_t i = 0; i < m; ++i) dot += u[static_cast<size_t>(i)] * a[static_cast<size_t>(i * n + j)];
            for (int64_t i = 0; i < m; ++i) a[static_cast<size_t>(i * n + j)] -= 2.0 * dot * u[static_cast<size_t>(i)];
        }
        const std::vector<double> w = unit(n, k + 10);  // a <- a (I - 2 w w^T)
        for (int64_t i = 0; i < m; ++i) {
            double dot = 0.0;
            for (int64_t j = 0; j < n; ++j) dot += a[static_cast<size_t>(i * n + j)] * w[static_cast<size_t>(j)];
            for (int64_t j = 0; j < n; ++j) a[static_cast<size_t>(i * n + j)] -= 2.0 * dot * w[static_cast<size_t>(j)];
        }
    }
    return a;
}

TEST_F(BoundedCallsTest, SingularValuesOfLargeMatricesAreRight) {
    struct Size {
        int64_t m, n;
    };
    for (const Size size : {Size{150, 120}, Size{500, 500}}) {
        SCOPED_TRACE(testing::Message() << size.m << " x " << size.n);
        const int64_t p = std::min(size.m, size.n);
        std::vector<double> s(static_cast<size_t>(p));
        for (int64_t i = 0; i < p; ++i) s[static_cast<size_t>(i)] = std::pow(10.0, -6.0 * static_cast<double>(i) / static_cast<double>(p));
        const std::vector<double> a = with_singular_values(size.m, size.n, s, 7);
        std::vector<HostValue> args{host.array({size.m, size.n}, a), real(0.0)};
        const HostValue r = host.call("math::svd", args);
        ASSERT_TRUE(host.errors().empty());
        const std::vector<double> got = host.read(r).values;
        ASSERT_EQ(got.size(), s.size());
        const double tolerance = 64.0 * static_cast<double>(p) * 0x1p-52;  // times the largest, 1
        for (size_t i = 0; i < s.size(); ++i) EXPECT_NEAR(got[i], s[i], tolerance) << i;
        // U's columns orthonormal.
        const std::vector<double> u = host.read(args[1]).values;
        double worst = 0.0;
        for (int64_t j = 0; j < 3; ++j) {
            for (int64_t k = 0; k < p; ++k) {
                double dot = 0.0;
                for (int64_t i = 0; i < size.m; ++i) dot += u[static_cast<size_t>(i * p + j)] * u[static_cast<size_t>(i * p + k)];
                worst = std::max(worst, std::fabs(dot - (j == k ? 1.0 : 0.0)));
            }
        }
        EXPECT_LT(worst, tolerance);
    }
}

// ---- results are made before any is handed over --------------------------------------------------

TEST_F(BoundedCallsTest, NoOutputIsHandedOverBeforeALaterFailure) {
    struct Case {
        const char* key;
        std::vector<double> a;
        size_t outputs;
    };
    const Case cases[] = {
        {"math::svd", {2.0, 1.0, 1.0, 3.0}, 2},
        {"math::eig", {2.0, 1.0, 1.0, 3.0}, 1},  // symmetric
        {"math::eig", {2.0, 1.0, -1.0, 3.0}, 1},  // general
    };
    for (const Case& c : cases) {
        for (int64_t failing = 1; failing <= static_cast<int64_t>(c.outputs) + 1; ++failing) {
            SCOPED_TRACE(testing::Message() << c.key << " with array " << failing << " refused");
            std::vector<HostValue> args{host.array({2, 2}, c.a)};
            for (size_t i = 0; i < c.outputs; ++i) args.push_back(real(-1.0));
            host.clear_errors();
            host.fail_new_sys_obj_at(failing);
            const HostValue r = host.call(c.key, args);
            host.fail_new_sys_obj_at(0);
            EXPECT_TRUE(is_empty_result(r));
            EXPECT_EQ(host.errors(), (std::vector<RunError>{{1, c.key, 7}}));
            for (size_t i = 1; i < args.size(); ++i) EXPECT_EQ(args[i].real(), -1.0);
        }
    }
}

// ---- shapes --------------------------------------------------------------------------------------

// A size of 0 empties an array whatever its other sizes are: such an array
// is no inconsistent one.
TEST_F(BoundedCallsTest, AZeroSizeEmptiesAnArrayWhateverTheOtherSizes) {
    const int64_t big = int64_t{1} << 32;
    const HostValue a = host.array_with_header(0, {big, big, 0}, 3);
    const HostValue sorted = host.call("math::sort", {a, integer(3)});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.read(sorted).shape, (std::vector<int64_t>{big, big, 0}));
    const HostValue means = host.call("math::mean", {a, integer(1)});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.read(means).shape, (std::vector<int64_t>{big, 0}));
}


// Every argument is checked before lsqfit copies its data: with the copy's
// allocation failing (in builds with fault injection) a bad tolerance is
// still code 6.
TEST_F(BoundedCallsTest, LsqfitChecksItsControlsBeforeCopyingData) {
    const HostValue f = host.function(2, [](std::span<HostValue> p) { return make_real(p[0].real() * p[1].real()); });
    const HostValue x = host.array({3}, {1.0, 2.0, 3.0});
    const HostValue y = host.array({3}, {2.0, 4.0, 6.0});
    host.fail_allocation_at(1);
    expect_refused(host, "math::lsqfit", {f, host.array({1}, {1.0}), x, y, HostValue{}, real(0.0)}, 6);
    host.fail_allocation_at(0);
}


// ---- GSL's iterations on matrices and polynomials that mix scales -------------------------------

// Elements far below the largest (subnormal beside 1, or beside 1e-70)
// left GSL's symmetric solver stepping for ever; eig ends on every such
// matrix, with values to the rounding of the largest element.
TEST_F(BoundedCallsTest, EigEndsOnMatricesThatMixScales) {
    const double tiny = 5e-324;
    for (double top : {1.0, 1e-70, 1e-10}) {
        SCOPED_TRACE(top);
        host.clear_errors();
        const HostValue r = host.call("math::eig", {host.array({3, 3}, {top, 0, 0, 0, -tiny, 1e-310, 0, 1e-310, tiny})});
        ASSERT_TRUE(host.errors().empty());
        const std::vector<double> values = host.read(r).values;
        ASSERT_EQ(values.size(), 3u);
        EXPECT_EQ(values[2], top);
        EXPECT_LT(std::fabs(values[0]), top * 0x1p-400);
    }
    // Random symmetric and general 3 x 3 and 4 x 4 matrices from a palette
    // of scales: every call ends, with values or a reported GSL status.
    const double palette[] = {0.0, 1.0, -1.0, 1e-10, 1e-70, -1e-150, 1e-300, 1e-310, -1e-320, tiny, 1e300};
    std::mt19937_64 rng(11);
    for (int trial = 0; trial < 3000; ++trial) {
        const int64_t n = 3 + trial % 2;
        const bool symmetric = trial % 3 != 0;
        std::vector<double> a(static_cast<size_t>(n * n));
        for (int64_t i = 0; i < n; ++i) {
            for (int64_t j = 0; j < n; ++j) {
                const double v = palette[rng() % std::size(palette)];
                a[static_cast<size_t>(i * n + j)] = v;
                if (symmetric && j < i) a[static_cast<size_t>(i * n + j)] = a[static_cast<size_t>(j * n + i)];
            }
        }
        host.clear_errors();
        std::vector<HostValue> args{host.array({n, n}, a), real(0.0)};
        const HostValue r = host.call("math::eig", args);
        const HostValue s = host.call("math::svd", {host.array({n, n}, a)});
        for (const RunError& e : host.errors()) EXPECT_EQ(e.kind, -1);
        if (host.errors().empty()) {
            EXPECT_FALSE(is_empty_result(r) || is_empty_result(s));
        }
    }
}

TEST_F(BoundedCallsTest, PolyrootsEndsWithATinyLeadingCoefficient) {
    const HostValue cubic = host.call("math::polyroots", {host.array({4}, {1.0, 1.0, 1.0, 1e-308})});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.read(cubic).values.size(), 6u);
    const std::vector<double> r = host.read(host.call("math::polyroots", {host.array({3}, {1.0, 1.0, 1e-308})})).values;
    EXPECT_TRUE(host.errors().empty());
    ASSERT_EQ(r.size(), 4u);
    // The large root to full precision; the small one, 2^-1023 of it, only
    // to the rounding of the large one (a companion matrix's eigenvalues are
    // exact to its norm).
    EXPECT_NEAR(r[0] / -1e308, 1.0, 1e-12);
    EXPECT_LE(std::fabs(r[2]), 1.0);
    EXPECT_EQ(r[1], 0.0);
    EXPECT_EQ(r[3], 0.0);
}


// NaN from the model: the fit ends with GSL_ENOPROG and the parameters it
// reached, never a silent success.
TEST_F(BoundedCallsTest, LsqfitNeverPassesOffNaNResidualsAsAFit) {
    struct Case {
        const char* what;
        double (*phi)(double, double);
    };
    const Case cases[] = {
        {"NaN everywhere", [](double, double) { return kNaN; }},
        {"NaN away from the start", [](double x, double p) { return p > 1.5 ? kNaN : p * x; }},
        {"NaN at one abscissa", [](double x, double p) { return x == 2.0 ? kNaN : p * x; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        const HostValue f = host.function(2, [phi = c.phi](std::span<HostValue> p) {
            return make_real(phi(p[0].real(), p[1].real()));
        });
        const HostValue r = host.call("math::lsqfit", {f, host.array({1}, {1.0}), host.array({3}, {1.0, 2.0, 3.0}),
                                                       host.array({3}, {2.0, 4.0, 6.0})});
        EXPECT_EQ(host.read(r).values.size(), 1u);
        EXPECT_EQ(host.errors(), (std::vector<RunError>{{-1, "math::lsqfit", kGslEnoprog}}));
    }
}


// The companion matrix of degree d costs d^2 doubles and some 10 d^3
// operations: beyond degree 512, code 7 before anything is allocated.
TEST_F(BoundedCallsTest, PolyrootsRefusesADegreeBeyondItsLimit) {
    const int64_t probed = host.probed_allocations();
    expect_refused(host, "math::polyroots", {host.array({4100}, std::vector<double>(4100, 1.0))}, 7);
    EXPECT_EQ(host.probed_allocations(), probed);
    std::vector<double> c(513, 0.0);
    c[0] = -1.0;
    c[512] = 1.0;  // x^512 = 1: the roots of unity
    host.clear_errors();
    EXPECT_EQ(host.read(host.call("math::polyroots", {host.array({513}, c)})).values.size(), 1024u);
    EXPECT_TRUE(host.errors().empty());
}

}  // namespace
