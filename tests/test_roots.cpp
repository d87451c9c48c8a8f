// SPDX-License-Identifier: GPL-3.0-or-later
// Root finding through the stand-in host: btFindRoot (all roots on an
// interval), pqrt (one root by continued-fraction iteration) and netn
// (systems of nonlinear equations).
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "kernels/linear_solve.h"
#include "tests/support.h"

namespace {

using hostsim::Host;
using Args = std::vector<HostValue>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kSqrt2 = std::numbers::sqrt2;

using Phi = double (*)(double);

class RootsTest : public LibraryTest {
protected:
    // A script function of one parameter whose body is `phi`; it records the
    // abscissas it is evaluated at.
    HostValue function_of(Phi phi) {
        return host.function(1, [this, phi](std::span<HostValue> p) {
            points.push_back(p[0].real());
            return make_real(phi(p[0].real()));
        });
    }
    std::vector<double> roots_of(const HostValue& r) { return host.read(r).values; }

    std::vector<double> points;
};

std::vector<std::pair<std::string, int64_t>> only(const char* name, int64_t code) { return {{name, code}}; }

// ---- btFindRoot --------------------------------------------------------------------

struct RootCase {
    const char* label;
    Phi f;
    double a, b, h;
    Args tail;  // max and eps, when given
    std::vector<double> expected;
    double tolerance;
};

const RootCase kRootCases[] = {
    {"x*x-2 on [-2, 2]", [](double x) { return x * x - 2; }, -2, 2, 0.1, {}, {-kSqrt2, kSqrt2}, 1e-6},
    // The first point is already a root; the walk goes on from 0.125.
    {"x on [0, 1]", [](double x) { return x; }, 0, 1, 0.25, {}, {0.0}, 0.0},
    {"sin on [0, 20], max 3", [](double x) { return std::sin(x); }, 0, 20, 0.5, {integer(3)},
     {0.0, std::numbers::pi, 2 * std::numbers::pi}, 1e-6},
    // A pole with a sign change is found like a root: the bisection stops on width.
    {"1/x on [-1, 1]", [](double x) { return 1 / x; }, -1, 1, 0.3, {}, {0.0}, 1e-6},
    {"x*x+1 has none", [](double x) { return x * x + 1; }, -3, 3, 0.1, {}, {}, 0.0},
    // Eleven roots, the default max of 10 keeps the first ten.
    {"sin on [0, 32], default max", [](double x) { return std::sin(x); }, 0, 32, 0.5, {},
     {0, 1 * std::numbers::pi, 2 * std::numbers::pi, 3 * std::numbers::pi, 4 * std::numbers::pi,
      5 * std::numbers::pi, 6 * std::numbers::pi, 7 * std::numbers::pi, 8 * std::numbers::pi,
      9 * std::numbers::pi},
     1e-6},
    // A max far beyond what the interval can hold needs no buffer of that size.
    {"x-0.5, max 2^62", [](double x) { return x - 0.5; }, 0, 1, 0.3, {integer(int64_t{1} << 62), real(1e-9)}, {0.5},
     1e-9},
    // eps below the spacing of doubles: the bisection ends on neighbouring doubles.
    {"x*x-2, eps 1e-300", [](double x) { return x * x - 2; }, 1, 2, 0.1, {integer(10), real(1e-300)}, {kSqrt2},
     4e-16},
    // Where f is not a number there is no sign change to bisect.
    {"sqrt(x)-1 on [-1, 2]", [](double x) { return std::sqrt(x) - 1; }, -1, 2, 0.3, {}, {1.0}, 2e-6},
};

TEST_F(RootsTest, BtFindRootFindsTheRootsInOrder) {
    for (const RootCase& c : kRootCases) {
        SCOPED_TRACE(c.label);
        host.clear_errors();
        Args args{function_of(c.f), real(c.a), real(c.b), real(c.h)};
        args.insert(args.end(), c.tail.begin(), c.tail.end());
        const int64_t returned_before = host.fun_re_obj_calls();
        const HostValue r = host.call("math::btFindRoot", args);
        EXPECT_TRUE(host.errors().empty());
        if (c.expected.empty()) {
            EXPECT_TRUE(is_empty_result(r));
            continue;
        }
        ASSERT_EQ(r.base_type, kTypeRealArray);
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(host.fun_re_obj_calls(), returned_before + 1);
        const hostsim::ArrayContents roots = host.read(r);
        EXPECT_EQ(roots.shape, std::vector<int64_t>{static_cast<int64_t>(c.expected.size())});
        ASSERT_EQ(roots.values.size(), c.expected.size());
        for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_NEAR(roots.values[i], c.expected[i], c.tolerance) << i;
    }
}

TEST_F(RootsTest, BtFindRootResumesHalfAStepBeyondARoot) {
    Args args{function_of([](double x) { return x; }), real(0), real(1), real(0.25)};
    host.call("math::btFindRoot", args);
    ASSERT_GE(points.size(), 3u);
    EXPECT_EQ(points[0], 0.0);
    EXPECT_EQ(points[1], 0.125);
    EXPECT_EQ(points[2], 0.375);
    // The walk ends once x passes b + h / 2, at most one and a half steps beyond b.
    EXPECT_LE(points.back(), 1.0 + 1.5 * 0.25);
}

TEST_F(RootsTest, BtFindRootDefaultsAreMax10AndEps1e6) {
    const HostValue f = function_of([](double x) { return std::cos(x); });
    Args given{f, real(0), real(40), real(0.7), integer(10), real(1e-6)};
    Args omitted{f, real(0), real(40), real(0.7)};
    const std::vector<double> with = roots_of(host.call("math::btFindRoot", given));
    const std::vector<double> without = roots_of(host.call("math::btFindRoot", omitted));
    ASSERT_EQ(with.size(), 10u);
    ASSERT_EQ(without.size(), with.size());
    for (size_t i = 0; i < with.size(); ++i) EXPECT_TRUE(same_bits(with[i], without[i])) << i;
}

TEST_F(RootsTest, BtFindRootRefusals) {
    const HostValue f = function_of([](double x) { return x; });
    const HostValue two = host.function(2, [](std::span<HostValue>) { return make_real(0); });
    const HostValue assigns = host.function(1, [](std::span<HostValue>) { return make_real(0); }, true);
    struct Refusal {
        const char* label;
        Args args;
        int64_t code;
    };
    const Refusal refusals[] = {
        {"three arguments", {f, real(0), real(1)}, 1},
        {"seven arguments", {f, real(0), real(1), real(0.1), integer(3), real(1e-6), real(0)}, 1},
        {"f a real", {real(1), real(0), real(1), real(0.1)}, 2},
        {"f a string", {host.string("f"), real(0), real(1), real(0.1)}, 2},
        {"two parameters", {two, real(0), real(1), real(0.1)}, 3},
        {"assigns its parameter", {assigns, real(0), real(1), real(0.1)}, 4},
        {"a = b", {f, real(1), real(1), real(0.1)}, 5},
        {"a > b", {f, real(2), real(1), real(0.1)}, 5},
        {"h = 0", {f, real(0), real(1), real(0)}, 5},
        {"h < 0", {f, real(0), real(1), real(-0.1)}, 5},
        {"eps = 0", {f, real(0), real(1), real(0.1), integer(3), real(0)}, 5},
        {"max = 0", {f, real(0), real(1), real(0.1), integer(0)}, 5},
        {"max a real", {f, real(0), real(1), real(0.1), real(3.0)}, 5},
        {"a an integer", {f, integer(0), real(1), real(0.1)}, 5},
        {"h an integer", {f, real(0), real(1), integer(1)}, 5},
        {"eps an integer", {f, real(0), real(1), real(0.1), integer(3), integer(1)}, 5},
        {"NaN a", {f, real(kNaN), real(1), real(0.1)}, 5},
        {"NaN h", {f, real(0), real(1), real(kNaN)}, 5},
        {"NaN eps", {f, real(0), real(1), real(0.1), integer(3), real(kNaN)}, 5},
        {"infinite a", {f, real(-kInf), real(1), real(0.1)}, 5},
        {"infinite b", {f, real(0), real(kInf), real(0.1)}, 5},
        // Steps that no longer move x: the walk would stand still.
        {"h below the spacing at 1e6", {f, real(1e6), real(1e6 + 1), real(1e-11)}, 5},
        {"h of one spacing at 1", {f, real(1), real(2), real(std::ldexp(1.0, -52))}, 5},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.label);
        host.clear_errors();
        points.clear();
        Args args = r.args;
        EXPECT_TRUE(is_empty_result(host.call("math::btFindRoot", args)));
        EXPECT_EQ(reported(), only("math::btFindRoot", r.code));
        EXPECT_TRUE(points.empty());
    }
}

TEST_F(RootsTest, BtFindRootSmallestMovingStepIsAccepted) {
    // Four spacings of doubles at 1: half a step still moves every point of the walk.
    Args args{function_of([](double x) { return x - 1.5; }), real(1), real(1 + std::ldexp(1.0, -40)),
              real(std::ldexp(1.0, -50))};
    host.call("math::btFindRoot", args);
    EXPECT_TRUE(host.errors().empty());
    EXPECT_FALSE(points.empty());
}

TEST_F(RootsTest, BtFindRootFunctionThatReturnsAnInteger) {
    Args args{host.function(1, [](std::span<HostValue> p) {
                  return p[0].real() < 0.5 ? make_real(1.0) : make_integer(0);
              }),
              real(0), real(1), real(0.1)};
    EXPECT_TRUE(is_empty_result(host.call("math::btFindRoot", args)));
    EXPECT_EQ(reported(), only("math::btFindRoot", 7));
}

TEST_F(RootsTest, BtFindRootPendingRunError) {
    // Pending on entry: nothing evaluated, nothing reported.
    host.set_pending(true);
    Args args{function_of([](double x) { return x; }), real(0), real(1), real(0.1)};
    EXPECT_TRUE(is_empty_result(host.call("math::btFindRoot", args)));
    EXPECT_TRUE(points.empty());
    EXPECT_TRUE(host.errors().empty());
    host.set_pending(false);

    // Raised by f during the walk: the roots found so far come back.
    const HostValue walk = host.function(1, [this](std::span<HostValue> p) {
        const double x = p[0].real();
        if (x > 1.8) host.raise("script", 1);
        return make_real(x * x - 2);
    });
    Args walking{walk, real(-2), real(2), real(0.1)};
    const std::vector<double> found = roots_of(host.call("math::btFindRoot", walking));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(found[1], kSqrt2, 1e-6);
    host.set_pending(false);
    host.clear_errors();

    // Raised during a bisection: the scan ends with nothing, and nothing more is reported.
    const HostValue bisecting = host.function(1, [this](std::span<HostValue> p) {
        const double x = p[0].real();
        if (x > 0.5 && x < 0.6) host.raise("script", 1);
        return make_real(x - 0.57);
    });
    Args bisected{bisecting, real(0), real(1), real(0.1)};
    EXPECT_TRUE(is_empty_result(host.call("math::btFindRoot", bisected)));
    EXPECT_EQ(reported(), only("script", 1));
}

TEST_F(RootsTest, BtFindRootCalledAgainFromInsideAnEvaluation) {
    // f(x) = (the positive root of y*y - x*x - 1) - 1.5; its own record keeps each call apart.
    double shift = 0;
    const HostValue inner_function =
        host.function(1, [&shift](std::span<HostValue> q) { return make_real(q[0].real() * q[0].real() - shift); });
    const HostValue outer = host.function(1, [&](std::span<HostValue> p) {
        const double x = p[0].real();
        shift = x * x + 1;
        Args inner{inner_function, real(0), real(4), real(0.25), integer(1), real(1e-12)};
        const std::vector<double> r = roots_of(host.call("math::btFindRoot", inner));
        return make_real(r.at(0) - 1.5);
    });
    Args args{outer, real(0), real(2), real(0.2), integer(1), real(1e-9)};
    const std::vector<double> found = roots_of(host.call("math::btFindRoot", args));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0], std::sqrt(1.25), 1e-8);
    EXPECT_TRUE(host.errors().empty());
}

// ---- pqrt ------------------------------------------------------------------------------

struct PqrtCase {
    const char* label;
    Phi f;
    double x0, eps;
    int64_t passes;
    double expected;
    double tolerance;
};

const PqrtCase kPqrtCases[] = {
    {"x*x-2 from 1", [](double x) { return x * x - 2; }, 1, 1e-10, 1, kSqrt2, 1e-10},
    {"cos(x)-x from 0", [](double x) { return std::cos(x) - x; }, 0, 1e-12, 1, 0.739085133215161, 1e-12},
    // The start point is a root: one evaluation, x stays.
    {"x-3 from 3", [](double x) { return x - 3; }, 3, 1e-6, 1, 3.0, 0.0},
    // No real root: ten passes, the last estimate written back.
    {"x*x+1 from 0.5", [](double x) { return x * x + 1; }, 0.5, 1e-6, 10, kNaN, 0.0},
};

TEST_F(RootsTest, PqrtConvergesOnTheDocumentedExamples) {
    for (const PqrtCase& c : kPqrtCases) {
        SCOPED_TRACE(c.label);
        points.clear();
        Args args{function_of(c.f), real(c.x0), real(c.eps)};
        const HostValue r = host.call("math::pqrt", args);
        ASSERT_EQ(r.base_type, kTypeInteger);
        EXPECT_EQ(r.ext_type, kTypeInteger);
        EXPECT_EQ(r.integer(), c.passes);
        EXPECT_EQ(args[1].base_type, kTypeReal);
        EXPECT_EQ(args[1].ext_type, kTypeReal);
        if (!std::isnan(c.expected)) {
            EXPECT_NEAR(args[1].real(), c.expected, c.tolerance);
        }
        EXPECT_LE(points.size(), 80u);
        EXPECT_TRUE(host.errors().empty());
    }
}

TEST_F(RootsTest, PqrtPassStartsAtTheOffsetsThenTheEstimates) {
    Args args{function_of([](double x) { return x * x + 1; }), real(0.5), real(1e-6)};
    host.call("math::pqrt", args);
    ASSERT_GE(points.size(), 4u);
    EXPECT_EQ(points[0], 0.5);
    EXPECT_EQ(points[1], 0.5 + 0.1);
    EXPECT_EQ(points[2], 0.5 + 0.2);
    // Ten passes of eight points when nothing converges.
    EXPECT_EQ(points.size(), 80u);
    // The second pass starts from the estimate that ended the first.
    EXPECT_EQ(points[9], points[8] + 0.1);
}

TEST_F(RootsTest, PqrtRefusalsLeaveXAlone) {
    const HostValue f = function_of([](double x) { return x - 1; });
    struct Refusal {
        const char* label;
        HostValue f, x, eps;
        int64_t code;
    };
    const Refusal refusals[] = {
        {"f a real", real(1), real(0), real(1e-6), 1},
        {"two parameters", host.function(2, [](std::span<HostValue>) { return make_real(0); }), real(0), real(1e-6), 2},
        {"assigns its parameter", host.function(1, [](std::span<HostValue>) { return make_real(0); }, true), real(0),
         real(1e-6), 3},
        {"x an integer", f, integer(1), real(1e-6), 4},
        {"eps an integer", f, real(0), integer(1), 4},
        {"eps = 0", f, real(0), real(0), 4},
        {"eps NaN", f, real(0), real(kNaN), 4},
        {"returns an integer", host.function(1, [](std::span<HostValue>) { return make_integer(1); }), real(0),
         real(1e-6), 5},
        // NaN is no root: reported, where counting it as converged would hand back the start.
        {"returns NaN", function_of([](double) { return kNaN; }), real(0.25), real(1e-6), 6},
        {"NaN later in the pass", function_of([](double x) { return x > 0.3 ? kNaN : x - 1; }), real(0.25),
         real(1e-6), 6},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.label);
        host.clear_errors();
        Args args{r.f, r.x, r.eps};
        const HostValue before = args[1];
        EXPECT_TRUE(is_empty_result(host.call("math::pqrt", args)));
        EXPECT_EQ(reported(), only("math::pqrt", r.code));
        EXPECT_EQ(args[1].word1, before.word1);
    }
}

TEST_F(RootsTest, PqrtPendingRunError) {
    host.set_pending(true);
    Args args{function_of([](double x) { return x; }), real(5), real(1e-6)};
    EXPECT_TRUE(is_empty_result(host.call("math::pqrt", args)));
    EXPECT_TRUE(points.empty());
    EXPECT_EQ(args[1].real(), 5.0);
    host.set_pending(false);

    // Raised during the first pass: the passes completed and the current estimate.
    int calls = 0;
    Args raising{host.function(1, [&](std::span<HostValue> p) {
                     if (++calls == 8) host.raise("script", 1);
                     return make_real(p[0].real() * p[0].real() + 1);
                 }),
                 real(0.5), real(1e-6)};
    const HostValue r = host.call("math::pqrt", raising);
    ASSERT_EQ(r.base_type, kTypeInteger);
    EXPECT_EQ(r.integer(), 1);
    EXPECT_EQ(calls, 8);
    EXPECT_NE(raising[1].real(), 0.5);
}

TEST_F(RootsTest, PqrtCalledAgainFromInsideAnEvaluation) {
    // f(a) = (the root of y*y - a) - 1.2, each inner root found by pqrt itself.
    double target = 0;
    const HostValue inner = host.function(1, [&target](std::span<HostValue> q) {
        return make_real(q[0].real() * q[0].real() - target);
    });
    const HostValue outer = host.function(1, [&](std::span<HostValue> p) {
        target = p[0].real();
        Args args{inner, real(1), real(1e-14)};
        host.call("math::pqrt", args);
        return make_real(args[1].real() - 1.2);
    });
    Args args{outer, real(1), real(1e-10)};
    const HostValue r = host.call("math::pqrt", args);
    ASSERT_EQ(r.base_type, kTypeInteger);
    EXPECT_NEAR(args[1].real(), 1.44, 1e-9);
    EXPECT_TRUE(host.errors().empty());
}

// ---- netn ------------------------------------------------------------------------------

// A system in both forms: `values` gives f(x) for n coordinates.
struct System {
    const char* label;
    int n;
    void (*values)(const double* x, double* y);
    std::vector<double> start;
    std::vector<double> root;  // empty: only the residual is checked
};

const System kSystems[] = {
    {"linear pair", 2,
     [](const double* x, double* y) {
         y[0] = x[0] + x[1] - 3;
         y[1] = x[0] - x[1] - 1;
     },
     {0, 0}, {2, 1}},
    {"circle and diagonal", 2,
     [](const double* x, double* y) {
         y[0] = x[0] * x[0] + x[1] * x[1] - 4;
         y[1] = x[0] - x[1];
     },
     {1, 0.5}, {kSqrt2, kSqrt2}},
    {"3 x 3", 3,
     [](const double* x, double* y) {
         y[0] = x[0] + x[1] + x[2] - 6;
         y[1] = x[0] * x[1] * x[2] - 6;
         y[2] = x[0] * x[0] + x[1] * x[1] + x[2] * x[2] - 14;
     },
     {0.8, 2.3, 3.1}, {}},
};

class NetnTest : public RootsTest {
protected:
    // f(x1, ..., xn, y1, ..., yn).
    HostValue scalar_form(const System& s) {
        return host.function(2 * s.n, [this, &s](std::span<HostValue> p) {
            ++evaluations;
            double x[8], y[8];
            for (int i = 0; i < s.n; ++i) x[i] = p[static_cast<size_t>(i)].real();
            s.values(x, y);
            for (int i = 0; i < s.n; ++i) p[static_cast<size_t>(s.n + i)] = make_real(y[i]);
            return make_empty();
        });
    }
    // f(xa, ya).
    HostValue array_form(const System& s) {
        return host.function(2, [this, &s](std::span<HostValue> p) {
            ++evaluations;
            RealArray* xa = host.object(p[0]);
            RealArray* ya = host.object(p[1]);
            s.values(xa->data, ya->data);
            return make_empty();
        });
    }
    HostValue start(const System& s, size_t extra = 0) {
        std::vector<double> v = s.start;
        v.resize(v.size() + extra, 7.0);
        return host.array({static_cast<int64_t>(v.size())}, v);
    }
    int evaluations = 0;
};

TEST_F(NetnTest, SolvesInBothFormsWithTheSameBits) {
    for (const System& s : kSystems) {
        SCOPED_TRACE(s.label);
        host.clear_errors();
        Args scalar{scalar_form(s), start(s, 1), real(1e-12)};
        Args array{array_form(s), start(s), real(1e-12)};
        const HostValue rs = host.call("math::netn", scalar);
        const HostValue ra = host.call("math::netn", array);
        ASSERT_EQ(rs.base_type, kTypeInteger);
        ASSERT_EQ(ra.base_type, kTypeInteger);
        EXPECT_GT(rs.integer(), 0);
        EXPECT_EQ(rs.integer(), ra.integer());
        const std::vector<double> xs = host.read(scalar[1]).values;
        const std::vector<double> xa = host.read(array[1]).values;
        double y[8];
        s.values(xs.data(), y);
        for (int i = 0; i < s.n; ++i) {
            EXPECT_TRUE(same_bits(xs[static_cast<size_t>(i)], xa[static_cast<size_t>(i)])) << i;
            EXPECT_LT(std::fabs(y[i]), 1e-12) << i;
            if (!s.root.empty()) {
                EXPECT_NEAR(xs[static_cast<size_t>(i)], s.root[static_cast<size_t>(i)], 1e-12);
            }
        }
        EXPECT_EQ(xs.back(), 7.0);  // beyond the first n: untouched
        EXPECT_TRUE(host.errors().empty());
    }
}

TEST_F(NetnTest, LinearPairInOneUpdate) {
    const System& s = kSystems[0];
    Args args{scalar_form(s), start(s)};
    const HostValue r = host.call("math::netn", args);
    EXPECT_EQ(r.integer(), 1);
    const std::vector<double> x = host.read(args[1]).values;
    EXPECT_NEAR(x[0], 2.0, 1e-12);
    EXPECT_NEAR(x[1], 1.0, 1e-12);
    // The point and its two displacements, then the converged point.
    EXPECT_EQ(evaluations, 4);
}

TEST_F(NetnTest, OmittedSettingsTakeTheirDefaults) {
    const System& s = kSystems[1];
    Args given{scalar_form(s), start(s), real(1e-8), real(0.1), real(0.1), integer(100)};
    Args three{scalar_form(s), start(s), real(1e-8)};
    Args two{scalar_form(s), start(s)};
    Args two_given{scalar_form(s), start(s), real(1e-6), real(0.1), real(0.1), integer(100)};
    for (Args* a : {&given, &three, &two, &two_given}) host.call("math::netn", *a);
    EXPECT_EQ(host.read(given[1]).values, host.read(three[1]).values);
    EXPECT_EQ(host.read(two[1]).values, host.read(two_given[1]).values);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(NetnTest, ResultsWithoutAnUpdate) {
    const System& pair = kSystems[0];
    struct Case {
        const char* label;
        HostValue f;
        std::vector<double> start;
        Args settings;
        int64_t result;
    };
    const HostValue constant = host.function(2, [](std::span<HostValue> p) {
        RealArray* ya = Host::get().object(p[1]);
        for (int64_t i = 0; i < ya->count; ++i) ya->data[i] = 1.0;
        return make_empty();
    });
    const HostValue singular = host.function(4, [](std::span<HostValue> p) {
        const double v = p[0].real() + p[1].real() - 1;
        p[2] = make_real(v);
        p[3] = make_real(v);
        return make_empty();
    });
    const Case cases[] = {
        {"start already a root", scalar_form(pair), {2, 1}, {}, 0},
        {"k = 1", scalar_form(pair), {0, 0}, {real(1e-6), real(0.1), real(0.1), integer(1)}, 0},
        {"singular matrix", singular, {0, 0}, {}, -1},
        // f = 1 everywhere: the step sums to 1 and beta vanishes.
        {"beta negligible", constant, {0.5}, {}, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        host.clear_errors();
        Args args{c.f, host.array({static_cast<int64_t>(c.start.size())}, c.start)};
        args.insert(args.end(), c.settings.begin(), c.settings.end());
        const HostValue r = host.call("math::netn", args);
        ASSERT_EQ(r.base_type, kTypeInteger);
        EXPECT_EQ(r.integer(), c.result);
        EXPECT_EQ(host.read(args[1]).values, c.start);
        EXPECT_TRUE(host.errors().empty());
    }
}

TEST_F(NetnTest, ArrayFormHandsOverItsTwoVectors) {
    const System& s = kSystems[1];
    const int64_t made = host.new_sys_obj_calls();
    const int64_t saved = host.fun_save_obj_calls();
    Args args{array_form(s), start(s)};
    host.call("math::netn", args);
    EXPECT_EQ(host.new_sys_obj_calls(), made + 2);
    EXPECT_EQ(host.fun_save_obj_calls(), saved + 3);  // the opening call, then one per vector
    ASSERT_EQ(host.saved_records().size(), 2u);
    for (const HostValue& v : host.saved_records()) {
        EXPECT_EQ(v.base_type, kTypeRealArray);
        EXPECT_EQ(v.ext_type, key());
        EXPECT_EQ(host.read(v).shape, std::vector<int64_t>{2});
    }
}

TEST_F(NetnTest, Refusals) {
    const System& s = kSystems[0];
    const HostValue f = scalar_form(s);
    const HostValue x = start(s);
    struct Refusal {
        const char* label;
        Args args;
        int64_t code;
    };
    const Refusal refusals[] = {
        {"one argument", {f}, 1},
        {"seven arguments", {f, x, real(1e-6), real(0.1), real(0.1), integer(10), real(0)}, 1},
        {"f a real", {real(1), x}, 2},
        {"three parameters", {host.function(3, [](std::span<HostValue>) { return make_empty(); }), x}, 3},
        {"no parameters", {host.function(0, [](std::span<HostValue>) { return make_empty(); }), x}, 3},
        {"x a real", {f, real(0)}, 4},
        {"x a pair", {f, make_pair(0, 0)}, 4},
        {"four parameters, x of one element", {f, host.array({1}, {0})}, 5},
        {"eps an integer", {f, x, integer(1)}, 6},
        {"eps = 0", {f, x, real(0)}, 6},
        {"eps NaN", {f, x, real(kNaN)}, 6},
        {"t = 1", {f, x, real(1e-8), real(1.0)}, 6},
        {"t = 0", {f, x, real(1e-8), real(0.0)}, 6},
        {"t NaN", {f, x, real(1e-8), real(kNaN)}, 6},
        {"k = 0", {f, x, real(1e-8), real(0.1), real(0.1), integer(0)}, 6},
        // Kinds are checked: a real's bits read as k would make it about 4.6e18.
        {"k a real", {f, x, real(1e-8), real(0.1), real(0.1), real(100.0)}, 6},
        {"t an integer", {f, x, real(1e-8), integer(1)}, 6},
        {"h an integer", {f, x, real(1e-8), real(0.1), integer(1)}, 6},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.label);
        host.clear_errors();
        evaluations = 0;
        Args args = r.args;
        EXPECT_TRUE(is_empty_result(host.call("math::netn", args)));
        EXPECT_EQ(reported(), only("math::netn", r.code));
        EXPECT_EQ(evaluations, 0);
    }
    // A plain host array is accepted like a math array.
    Args plain{f, host.array({2}, {0, 0}, kTypeRealArray)};
    EXPECT_EQ(host.call("math::netn", plain).integer(), 1);
}

TEST_F(NetnTest, FailuresDuringTheIteration) {
    const System& s = kSystems[1];
    // f lets go of ya: code 8, x untouched.
    const HostValue releasing = host.function(2, [](std::span<HostValue> p) {
        Host::get().release(p[1]);
        return make_empty();
    });
    // Values that are not numbers are no root: code 9, x untouched.
    const HostValue not_numbers = host.function(4, [](std::span<HostValue> p) {
        p[2] = make_real(kNaN);
        p[3] = make_real(kNaN);
        return make_empty();
    });
    struct Case {
        const char* label;
        HostValue f;
        int64_t code;
        bool empty;
    };
    // f assigns a real to its parameter ya at its second call: the vectors
    // the library made are intact, but f no longer holds one of n elements.
    int calls = 0;
    const HostValue real_for_ya = host.function(2, [&](std::span<HostValue> p) {
        s.values(host.object(p[0])->data, host.object(p[1])->data);
        if (++calls == 2) p[1] = make_real(1.0);
        return make_empty();
    });
    // f assigns a vector of another length to xa.
    const HostValue longer_xa = host.function(2, [&](std::span<HostValue> p) {
        s.values(host.object(p[0])->data, host.object(p[1])->data);
        p[0] = host.array({3}, {1, 2, 3});
        return make_empty();
    });
    const Case cases[] = {{"ya released", releasing, 8, false},
                          {"a real assigned to ya", real_for_ya, 8, false},
                          {"a longer vector assigned to xa", longer_xa, 8, false},
                          {"NaN values", not_numbers, 9, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        host.clear_errors();
        Args args{c.f, start(s)};
        const HostValue r = host.call("math::netn", args);
        EXPECT_EQ(reported(), only("math::netn", c.code));
        if (c.empty) {
            EXPECT_TRUE(is_empty_result(r));
        } else {
            ASSERT_EQ(r.base_type, kTypeInteger);
            EXPECT_EQ(r.integer(), 0);
        }
        EXPECT_EQ(host.read(args[1]).values, s.start);
    }

    // f puts its values into a new vector of n elements that it assigns to
    // ya: those are the values the iteration takes.
    host.clear_errors();
    const HostValue new_ya = host.function(2, [&](std::span<HostValue> p) {
        HostValue y = host.array({2});
        s.values(host.object(p[0])->data, host.object(y)->data);
        p[1] = y;
        return make_empty();
    });
    Args replaced{new_ya, start(s), real(1e-12)};
    ASSERT_EQ(host.call("math::netn", replaced).base_type, kTypeInteger);
    EXPECT_TRUE(host.errors().empty());
    const std::vector<double> root = host.read(replaced[1]).values;
    EXPECT_NEAR(root[0], kSqrt2, 1e-12);
    EXPECT_NEAR(root[1], kSqrt2, 1e-12);

    // The temporary vectors cannot be made: code 7 after the opening FunSaveObj.
    host.clear_errors();
    const int64_t saved = host.fun_save_obj_calls();
    host.fail_new_sys_obj_at(2);
    Args args{array_form(s), start(s)};
    EXPECT_TRUE(is_empty_result(host.call("math::netn", args)));
    EXPECT_EQ(reported(), only("math::netn", 7));
    EXPECT_EQ(host.fun_save_obj_calls(), saved + 2);
}

TEST_F(NetnTest, PendingRunError) {
    const System& s = kSystems[1];
    host.set_pending(true);
    Args before{scalar_form(s), start(s)};
    EXPECT_TRUE(is_empty_result(host.call("math::netn", before)));
    EXPECT_EQ(evaluations, 0);
    host.set_pending(false);

    // Raised during the first iteration: the updated point and the one update made.
    evaluations = 0;
    const HostValue raising = host.function(4, [&](std::span<HostValue> p) {
        if (++evaluations == 2) host.raise("script", 1);
        const double x[2] = {p[0].real(), p[1].real()};
        double y[2];
        s.values(x, y);
        p[2] = make_real(y[0]);
        p[3] = make_real(y[1]);
        return make_empty();
    });
    Args during{raising, start(s)};
    const HostValue r = host.call("math::netn", during);
    ASSERT_EQ(r.base_type, kTypeInteger);
    EXPECT_EQ(r.integer(), 1);
    EXPECT_NE(host.read(during[1]).values, s.start);
    EXPECT_EQ(reported(), only("script", 1));
}

TEST_F(NetnTest, CalledAgainFromInsideAnEvaluation) {
    // f(a, b; y1, y2) = (the root of the circle system scaled by a) - (1, 1).
    const System& circle = kSystems[1];
    const HostValue inner = array_form(circle);
    const HostValue outer = host.function(4, [&](std::span<HostValue> p) {
        const double a = p[0].real();
        const double b = p[1].real();
        Args args{inner, host.array({2}, {1, 0.5}), real(1e-13)};
        host.call("math::netn", args);
        const std::vector<double> r = host.read(args[1]).values;
        p[2] = make_real(a * r[0] - 1);
        p[3] = make_real(b * r[1] - 1);
        return make_empty();
    });
    Args args{outer, host.array({2}, {0.5, 0.5}), real(1e-10)};
    const HostValue r = host.call("math::netn", args);
    ASSERT_EQ(r.base_type, kTypeInteger);
    EXPECT_GT(r.integer(), 0);
    const std::vector<double> x = host.read(args[1]).values;
    EXPECT_NEAR(x[0], 1 / kSqrt2, 1e-9);
    EXPECT_NEAR(x[1], 1 / kSqrt2, 1e-9);
    EXPECT_TRUE(host.errors().empty());
}

// ---- the linear solver ------------------------------------------------------------------

// The elimination exactly as documented, in plain loops: the pivot is the
// first element, scanning row by row, whose magnitude beats the best so far.
hostmath::SolveResult plain_solve(std::vector<double> a, std::vector<double>& b, int64_t n) {
    auto at = [&](int64_t r, int64_t q) -> double& { return a[static_cast<size_t>(r * n + q)]; };
    auto bv = [&](int64_t r) -> double& { return b[static_cast<size_t>(r)]; };
    std::vector<int64_t> column(static_cast<size_t>(n));
    for (int64_t s = 0; s + 1 < n; ++s) {
        double best = 0.0;
        int64_t pr = s, pc = s;
        for (int64_t r = s; r < n; ++r) {
            for (int64_t q = s; q < n; ++q) {
                if (std::fabs(at(r, q)) > best) {
                    best = std::fabs(at(r, q));
                    pr = r;
                    pc = q;
                }
            }
        }
        if (best + 1.0 == 1.0) return hostmath::SolveResult::kSingular;
        column[static_cast<size_t>(s)] = pc;
        for (int64_t r = 0; r < n && pc != s; ++r) std::swap(at(r, s), at(r, pc));
        for (int64_t q = s; q < n && pr != s; ++q) std::swap(at(s, q), at(pr, q));
        if (pr != s) std::swap(bv(s), bv(pr));
        for (int64_t q = s + 1; q < n; ++q) at(s, q) = at(s, q) / at(s, s);
        bv(s) = bv(s) / at(s, s);
        for (int64_t r = s + 1; r < n; ++r) {
            for (int64_t q = s + 1; q < n; ++q) at(r, q) = at(r, q) - at(r, s) * at(s, q);
            bv(r) = bv(r) - at(r, s) * bv(s);
        }
    }
    if (std::fabs(at(n - 1, n - 1)) + 1.0 == 1.0) return hostmath::SolveResult::kSingular;
    bv(n - 1) = bv(n - 1) / at(n - 1, n - 1);
    for (int64_t r = n - 2; r >= 0; --r) {
        double sum = 0.0;
        for (int64_t q = r + 1; q < n; ++q) sum = sum + at(r, q) * bv(q);
        bv(r) = bv(r) - sum;
    }
    column[static_cast<size_t>(n - 1)] = n - 1;
    for (int64_t s = n - 1; s >= 0; --s) {
        if (column[static_cast<size_t>(s)] != s) std::swap(bv(s), bv(column[static_cast<size_t>(s)]));
    }
    return hostmath::SolveResult::kSolved;
}

// The solver measures each row as it updates it; ties of magnitude (equal
// values, opposite signs), zeros and NaN must still pick the pivot the plain
// scan picks, and every bit of the solution must agree, with the row updates
// of every instruction set the processor has, on rows shorter and longer than
// their vectors.
TEST(LinearSolve, SameBitsAsThePlainEliminationWithTiesAndNaN) {
    for (const hostmath::MatmulKernel kernel :
         {hostmath::MatmulKernel::kBaseline, hostmath::MatmulKernel::kAvx2, hostmath::MatmulKernel::kAvx512}) {
        if (!hostmath::kernel_supported(kernel)) continue;
        SCOPED_TRACE(hostmath::kernel_name(kernel));
        std::mt19937_64 random(12345);
        const double pool[] = {0.0, -0.0, 1.0, -1.0, 2.0, -2.0, 0.5, 3.0, -3.0, 1e-17, kNaN};
        std::uniform_int_distribution<size_t> pick(0, std::size(pool) - 1);
        std::uniform_real_distribution<double> any(-4.0, 4.0);
        int solved = 0;
        for (int trial = 0; trial < 3000; ++trial) {
            const int64_t n = trial % 5 == 4 ? 13 + trial % 29 : 1 + trial % 12;
            const bool ties = trial % 3 != 0;
            std::vector<double> a(static_cast<size_t>(n * n)), b(static_cast<size_t>(n));
            for (double& v : a) v = ties ? pool[pick(random)] : any(random);
            for (double& v : b) v = any(random);
            if (trial % 7 == 0) a[static_cast<size_t>(trial) % a.size()] = kNaN;
            std::vector<double> expected_b = b;
            const hostmath::SolveResult expected = plain_solve(a, expected_b, n);
            const hostmath::SolveResult got = hostmath::solve_full_pivoting(a.data(), b.data(), n, kernel);
            ASSERT_EQ(got, expected) << "trial " << trial;
            if (got != hostmath::SolveResult::kSolved) continue;
            ++solved;
            for (size_t i = 0; i < b.size(); ++i) ASSERT_TRUE(same_bits(b[i], expected_b[i])) << "trial " << trial;
        }
        EXPECT_GT(solved, 1000);  // the comparison covered solved systems, not only refusals
    }
}

TEST(LinearSolve, FullPivotingSolvesAndDetectsSingularity) {
    // A zero in the leading corner needs both a row and a column exchange.
    double a[9] = {0, 2, 1, 1, 1, 1, 4, 0, 3};
    double b[3] = {4, 4, 10};  // the solution is (1, 1, 2)
    ASSERT_EQ(hostmath::solve_full_pivoting(a, b, 3), hostmath::SolveResult::kSolved);
    EXPECT_NEAR(b[0], 1, 1e-15);
    EXPECT_NEAR(b[1], 1, 1e-15);
    EXPECT_NEAR(b[2], 2, 1e-15);

    double rank_one[4] = {1, 2, 2, 4};
    double c[2] = {1, 2};
    EXPECT_EQ(hostmath::solve_full_pivoting(rank_one, c, 2), hostmath::SolveResult::kSingular);
    double tiny_last[1] = {1e-17};
    double d[1] = {1};
    EXPECT_EQ(hostmath::solve_full_pivoting(tiny_last, d, 1), hostmath::SolveResult::kSingular);
}

}  // namespace
