// SPDX-License-Identifier: GPL-3.0-or-later
// fzero and fminbnd, driven through the stand-in host with script functions,
// against GSL's Brent solvers driven directly on the same problems.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_min.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_multimin.h>
#include <gsl/gsl_roots.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using hostsim::Host;
using hostsim::RunError;
using Args = std::vector<HostValue>;


constexpr double kGolden = 0.6180339887498949;

double cos_minus_x(double x) { return std::cos(x) - x; }
double cube_minus_2(double x) { return x * x * x - 2.0; }
double quartic(double x) { return x * x * x * x - 2.0 * x * x + 0.5 * x; }
double shifted_cosh(double x) { return std::cosh(x - 0.3); }

// A script function of one parameter whose body is `phi`, counting nothing:
// the host counts the evaluations (qecal_calls).
HostValue objective(Host& host, double (*phi)(double)) {
    return host.function(1, [phi](std::span<HostValue> p) { return make_real(phi(p[0].real())); });
}

// What GSL's Brent solver computes when driven directly: the estimate after
// the loop, its status, the iterations and evaluations it took.
struct Direct {
    double x;
    int status;
    int64_t iterations;
    int64_t evaluations;
};

// Counts the evaluations of the wrapped function.
struct Counted {
    double (*phi)(double);
    int64_t evaluations = 0;
    static double call(double x, void* self) {
        auto* c = static_cast<Counted*>(self);
        ++c->evaluations;
        return c->phi(x);
    }
};

template <class Set, class Iterate, class Estimate, class Test>
Direct drive(Counted& counted, int64_t maxit, Set set, Iterate iterate, Estimate estimate, Test test) {
    gsl_function f{&Counted::call, &counted};
    set(&f);
    Direct d{0.0, GSL_CONTINUE, 0, 0};
    do {
        ++d.iterations;
        const int status = iterate();
        d.x = estimate();
        if (status != GSL_SUCCESS) {
            d.status = status;
            break;
        }
        d.status = test();
    } while (d.status == GSL_CONTINUE && d.iterations < maxit);
    d.evaluations = counted.evaluations;
    return d;
}

Direct direct_root(double (*phi)(double), double a, double b, double eps, int64_t maxit) {
    gsl_root_fsolver* s = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
    Counted counted{phi};
    const Direct d = drive(
        counted, maxit, [&](gsl_function* f) { gsl_root_fsolver_set(s, f, a, b); },
        [&] { return gsl_root_fsolver_iterate(s); }, [&] { return gsl_root_fsolver_root(s); },
        [&] { return gsl_root_test_interval(gsl_root_fsolver_x_lower(s), gsl_root_fsolver_x_upper(s), eps, eps); });
    gsl_root_fsolver_free(s);
    return d;
}

// From the first golden-section pair, which for these problems already holds
// a point below both ends. The library counts that pair as its first iteration.
Direct direct_minimum(double (*phi)(double), double a, double b, double eps, int64_t maxit) {
    gsl_min_fminimizer* s = gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent);
    Counted counted{phi};
    const double x1 = b - kGolden * (b - a);
    const double x2 = a + kGolden * (b - a);
    const double m = phi(x1) <= phi(x2) ? x1 : x2;
    const Direct d = drive(
        counted, maxit - 1,
        [&](gsl_function* f) {
            gsl_min_fminimizer_set_with_values(s, f, m, phi(m), a, phi(a), b, phi(b));
        },
        [&] { return gsl_min_fminimizer_iterate(s); }, [&] { return gsl_min_fminimizer_x_minimum(s); },
        [&] {
            return gsl_min_test_interval(gsl_min_fminimizer_x_lower(s), gsl_min_fminimizer_x_upper(s), eps, eps);
        });
    gsl_min_fminimizer_free(s);
    // The library evaluated both ends and both golden points itself.
    return Direct{d.x, d.status, d.iterations + 1, d.evaluations + 4};
}

struct Problem {
    const char* key;
    double (*phi)(double);
    double a, b;
    double expected;  // the root or minimum, to the default tolerance
};

const Problem kProblems[] = {
    {"math::fzero", cos_minus_x, 0.0, 1.0, 0.739085133215160642},
    {"math::fzero", cube_minus_2, 0.0, 2.0, 1.259921049894873165},
    {"math::fminbnd", quartic, 0.0, 2.0, 0.930402926326275},
    {"math::fminbnd", shifted_cosh, -1.0, 2.0, 0.3},
};

Direct drive_directly(const Problem& p, double eps, int64_t maxit) {
    return std::string_view(p.key) == "math::fzero" ? direct_root(p.phi, p.a, p.b, eps, maxit)
                                                    : direct_minimum(p.phi, p.a, p.b, eps, maxit);
}

double default_tolerance(std::string_view key) { return key == "math::fzero" ? 1e-12 : 1e-7; }

std::vector<RunError> only(std::string_view key, int64_t code) { return {RunError{1, std::string(key), code}}; }

class OptimTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        handler_ = gsl_set_error_handler_off();
    }
    void TearDown() override {
        gsl_set_error_handler(handler_);
        LibraryTest::TearDown();
    }

    // f calls the same function again on its first evaluation at each depth,
    // until a call is refused. Returns the number of active calls at the refusal.
    int deepest_nesting(const char* key, double (*phi)(double), double a, double b) {
        return ::deepest_nesting(
            host, 1, [&](const HostValue& self) { return host.call(key, {self, real(a), real(b)}); },
            [phi](std::span<HostValue> p) { return make_real(phi(p[0].real())); });
    }

private:
    gsl_error_handler_t* handler_ = nullptr;
};

// ---- results ----------------------------------------------------------------------------------

// The same bits and the same number of evaluations as GSL's Brent solver
// driven directly: fzero's two end values are handed to GSL, not evaluated again.
TEST_F(OptimTest, MatchesGslBrentDrivenDirectly) {
    for (const Problem& p : kProblems) {
        SCOPED_TRACE(testing::Message() << p.key << " from " << p.a);
        host.clear_errors();
        const double eps = default_tolerance(p.key);
        const Direct d = drive_directly(p, eps, 100);
        ASSERT_EQ(d.status, GSL_SUCCESS);
        const int64_t before = host.qecal_calls();
        const HostValue r = host.call(p.key, {objective(host, p.phi), real(p.a), real(p.b)});
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_EQ(r.ext_type, kTypeReal);
        EXPECT_TRUE(same_bits(r.real(), d.x)) << r.real() << " vs " << d.x;
        EXPECT_EQ(host.qecal_calls() - before, d.evaluations);
        EXPECT_NEAR(r.real(), p.expected, 10 * eps);
        EXPECT_TRUE(host.errors().empty());
    }
}

// Omitted tolerances and maxit behave exactly like their stated defaults.
TEST_F(OptimTest, OmittedInputsTakeTheirDefaults) {
    for (const Problem& p : kProblems) {
        SCOPED_TRACE(p.key);
        const HostValue f = objective(host, p.phi);
        const double eps = default_tolerance(p.key);
        const double implicit = host.call(p.key, {f, real(p.a), real(p.b)}).real();
        const double explicit_ = host.call(p.key, {f, real(p.a), real(p.b), real(eps), real(eps), integer(100)}).real();
        EXPECT_TRUE(same_bits(implicit, explicit_));
        const double looser = host.call(p.key, {f, real(p.a), real(p.b), real(1e-3), real(0)}).real();
        EXPECT_NEAR(looser, p.expected, 2e-3);
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(OptimTest, FzeroTakesAnEndWhereFIsExactlyZero) {
    const HostValue line = objective(host, [](double x) { return x; });
    const HostValue both = objective(host, [](double x) { return x * (x - 1.0); });
    struct Case {
        HostValue f;
        double a, b, expected;
    };
    const Case cases[] = {{line, 0.0, 1.0, 0.0}, {line, -1.0, 0.0, 0.0}, {both, 0.0, 1.0, 0.0}};
    for (const Case& c : cases) {
        const int64_t before = host.qecal_calls();
        const HostValue r = host.call("math::fzero", {c.f, real(c.a), real(c.b)});
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_TRUE(same_bits(r.real(), c.expected));
        EXPECT_EQ(host.qecal_calls() - before, 2);
    }
    EXPECT_TRUE(host.errors().empty());
}

// Without a point below both ends, fminbnd narrows to the lower end: a for an
// increasing f, b for a decreasing one, a when f is constant.
TEST_F(OptimTest, FminbndOfAMonotoneFunctionIsTheLowerEnd) {
    struct Case {
        double (*phi)(double);
        double expected;
    };
    const Case cases[] = {
        {[](double x) { return x; }, 1.0},
        {[](double x) { return -x * x; }, 2.0},
        {[](double) { return 3.0; }, 1.0},
    };
    for (const Case& c : cases) {
        const HostValue r = host.call("math::fminbnd", {objective(host, c.phi), real(1.0), real(2.0)});
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_TRUE(same_bits(r.real(), c.expected)) << r.real();
    }
    EXPECT_TRUE(host.errors().empty());
}

// ---- budgets and GSL statuses -------------------------------------------------------------------

// Reaching maxit delivers the current estimate with a kind -2 report, code 1.
TEST_F(OptimTest, ReachingMaxitDeliversTheCurrentEstimate) {
    for (const Problem& p : kProblems) {
        SCOPED_TRACE(p.key);
        host.clear_errors();
        const Direct d = drive_directly(p, 1e-15, 2);
        ASSERT_EQ(d.iterations, 2);
        ASSERT_EQ(d.status, GSL_CONTINUE);
        const HostValue r =
            host.call(p.key, {objective(host, p.phi), real(p.a), real(p.b), real(1e-15), real(1e-15), integer(2)});
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_TRUE(same_bits(r.real(), d.x));
        EXPECT_EQ(host.errors(), (std::vector<RunError>{{-2, p.key, 1}}));
    }
    // While fminbnd is still narrowing, the estimate is the lower end.
    host.clear_errors();
    const HostValue r = host.call("math::fminbnd", {objective(host, [](double x) { return x; }), real(1.0),
                                                    real(2.0), real(1e-9), real(1e-9), integer(3)});
    EXPECT_TRUE(same_bits(r.real(), 1.0));
    EXPECT_EQ(host.errors(), (std::vector<RunError>{{-2, "math::fminbnd", 1}}));
}

// A value GSL refuses inside an iteration (here an infinity from the first
// evaluation after the start) ends the search with a kind -1 report of GSL's
// status, and the current estimate is the result.
TEST_F(OptimTest, GslStatusIsReportedWithTheCurrentEstimate) {
    const struct {
        const char* key;
        double (*phi)(double);
        double b;
        int64_t starting_evaluations;
    } cases[] = {{"math::fzero", cos_minus_x, 1.0, 2}, {"math::fminbnd", quartic, 2.0, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        host.clear_errors();
        int64_t evaluations = 0;
        const HostValue f = host.function(1, [&](std::span<HostValue> p) {
            return make_real(++evaluations > c.starting_evaluations ? INFINITY : c.phi(p[0].real()));
        });
        const HostValue r = host.call(c.key, {f, real(0), real(c.b)});
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_GE(r.real(), 0.0);
        EXPECT_LE(r.real(), c.b);
        EXPECT_EQ(host.errors(), (std::vector<RunError>{{-1, c.key, GSL_EBADFUNC}}));
        EXPECT_EQ(evaluations, c.starting_evaluations + 1);
    }
}

// ---- refusals ---------------------------------------------------------------------------------

TEST_F(OptimTest, RefusesBadArgumentsWithTheFirstFailingCheck) {
    const HostValue f = objective(host, cos_minus_x);
    const HostValue two = host.function(2, [](std::span<HostValue>) { return make_real(0); });
    const HostValue text = host.string("f");
    struct Case {
        Args args;
        int64_t code;
    };
    // For both functions; fzero's own code 5 follows.
    const Case cases[] = {
        {{f, real(0)}, 1},
        {Args(7, real(0)), 1},
        {{real(1), real(0), real(1)}, 2},
        {{text, integer(0), real(1)}, 2},
        {{two, integer(0), real(1)}, 3},
        {{f, integer(0), real(1)}, 4},
        {{f, real(0), integer(1)}, 4},
        {{f, real(NAN), real(1)}, 4},
        {{f, real(0), real(INFINITY)}, 4},
        {{f, real(-INFINITY), real(1)}, 4},
        {{f, real(1), real(1)}, 4},
        {{f, real(1), real(0), real(-1)}, 4},
        {{f, real(0), real(1), real(-1e-9)}, 6},
        {{f, real(0), real(1), real(NAN)}, 6},
        {{f, real(0), real(1), integer(0)}, 6},
        {{f, real(0), real(1), real(1e-6), real(-1)}, 6},
        {{f, real(0), real(1), real(0), real(0)}, 6},
        {{f, real(0), real(1), real(1e-6), real(1e-6), integer(0)}, 6},
        {{f, real(0), real(1), real(1e-6), real(1e-6), integer(-5)}, 6},
        {{f, real(0), real(1), real(1e-6), real(1e-6), real(10)}, 6},
    };
    for (const char* key : {"math::fzero", "math::fminbnd"}) {
        const int64_t evaluations = host.qecal_calls();
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(testing::Message() << key << " case " << i);
            host.clear_errors();
            Args args = cases[i].args;
            EXPECT_TRUE(is_empty_result(host.call(key, args)));
            EXPECT_EQ(host.errors(), only(key, cases[i].code));
        }
        EXPECT_EQ(host.qecal_calls(), evaluations);
        // Every refusal gave its level back.
        host.clear_errors();
        EXPECT_EQ(deepest_nesting(key, cos_minus_x, 0.0, 1.0), 6);
    }
}

// Code 5: f(a) and f(b) do not bracket a root, which fzero sees after
// evaluating both ends: the same sign, a NaN, or an infinity GSL cannot start from.
TEST_F(OptimTest, FzeroRefusesEndsWithoutASignChange) {
    const struct {
        double (*phi)(double);
    } cases[] = {
        {[](double x) { return x * x + 1.0; }},
        {[](double x) { return -x - 1.0; }},
        {[](double x) { return x == 0.0 ? NAN : x; }},
        {[](double x) { return x == 1.0 ? NAN : x - 0.5; }},
        {[](double x) { return x == 1.0 ? INFINITY : x - 0.5; }},
    };
    for (const auto& c : cases) {
        host.clear_errors();
        const int64_t before = host.qecal_calls();
        EXPECT_TRUE(is_empty_result(host.call("math::fzero", {objective(host, c.phi), real(0), real(1)})));
        EXPECT_EQ(host.errors(), only("math::fzero", 5));
        EXPECT_EQ(host.qecal_calls() - before, 2);
    }
}

// Code 8 at the first evaluation and at a later one: the search stops there.
TEST_F(OptimTest, NonRealValueEndsTheSearchWithCode8) {
    for (const char* key : {"math::fzero", "math::fminbnd"}) {
        for (int64_t at : {1, 2, 5}) {
            SCOPED_TRACE(testing::Message() << key << " at evaluation " << at);
            host.clear_errors();
            int64_t evaluations = 0;
            const HostValue f = host.function(1, [&](std::span<HostValue> p) {
                return ++evaluations == at ? make_integer(0) : make_real(quartic(p[0].real()) - 0.1);
            });
            EXPECT_TRUE(is_empty_result(host.call(key, {f, real(0), real(2)})));
            EXPECT_EQ(host.errors(), only(key, 8));
            // fminbnd evaluates both golden points before looking at either.
            const int64_t pair = std::string_view(key) == "math::fminbnd" && (at == 3 || at == 4) ? 4 : at;
            EXPECT_EQ(evaluations, pair);
        }
    }
}

// ---- pending run errors -------------------------------------------------------------------------

TEST_F(OptimTest, PendingRunErrorEndsTheCallWithoutReport) {
    for (const char* key : {"math::fzero", "math::fminbnd"}) {
        SCOPED_TRACE(key);
        // On entry: nothing is read, not even the argument count.
        const int64_t evaluations_before = host.qecal_calls();
        host.set_pending(true);
        EXPECT_TRUE(is_empty_result(host.call(key, {objective(host, quartic), real(0), real(2)})));
        Args too_many(9, real(0));
        EXPECT_TRUE(is_empty_result(host.call(key, too_many)));
        host.set_pending(false);
        EXPECT_EQ(host.qecal_calls(), evaluations_before);
        // Raised by f at its second evaluation, and at a later iteration.
        for (int64_t at : {2, 7}) {
            int64_t evaluations = 0;
            const HostValue f = host.function(1, [&](std::span<HostValue> p) {
                if (++evaluations == at) host.set_pending(true);
                return make_real(quartic(p[0].real()) - 0.1);
            });
            EXPECT_TRUE(is_empty_result(host.call(key, {f, real(0), real(2)})));
            host.set_pending(false);
            EXPECT_EQ(evaluations, std::string_view(key) == "math::fminbnd" && at == 3 ? 4 : at);
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// A run error f raises at the last evaluation of a search, in the iteration
// that the interval test accepts or that spends the budget, still ends the
// call with the empty result: nothing computed after it is delivered or reported.
TEST_F(OptimTest, RunErrorRaisedInTheLastIterationEndsTheCall) {
    for (const Problem& p : kProblems) {
        for (const int64_t maxit : {100, 2}) {
            SCOPED_TRACE(testing::Message() << p.key << " from " << p.a << ", maxit " << maxit);
            const double eps = default_tolerance(p.key);
            const Args args_without_f = {real(p.a), real(p.b), real(eps), real(eps), integer(maxit)};
            auto run = [&](const HostValue& f) {
                Args args = {f};
                args.insert(args.end(), args_without_f.begin(), args_without_f.end());
                return host.call(p.key, args);
            };
            // The evaluations a whole search takes.
            host.clear_errors();
            const int64_t before = host.qecal_calls();
            ASSERT_EQ(run(objective(host, p.phi)).base_type, kTypeReal);
            const int64_t last = host.qecal_calls() - before;
            host.clear_errors();
            int64_t evaluations = 0;
            const HostValue raising = host.function(1, [&](std::span<HostValue> x) {
                if (++evaluations == last) host.set_pending(true);
                return make_real(p.phi(x[0].real()));
            });
            const HostValue r = run(raising);
            host.set_pending(false);
            EXPECT_TRUE(is_empty_result(r));
            EXPECT_EQ(evaluations, last);
            EXPECT_TRUE(host.errors().empty());
        }
    }
}

// fminbnd's golden-section narrowing counts against maxit: when it spends the
// whole budget on finding a point below both ends, that point is the result,
// with the budget's report, and Brent's method takes no step.
TEST_F(OptimTest, FminbndNarrowingCanSpendTheWholeBudget) {
    const double a = 0.0, b = 2.0;
    const double x1 = b - kGolden * (b - a);
    const double x2 = a + kGolden * (b - a);
    const double m = quartic(x1) <= quartic(x2) ? x1 : x2;
    ASSERT_LT(quartic(m), std::min(quartic(a), quartic(b)));
    const int64_t before = host.qecal_calls();
    const HostValue r =
        host.call("math::fminbnd", {objective(host, quartic), real(a), real(b), real(1e-7), real(1e-7), integer(1)});
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_TRUE(same_bits(r.real(), m)) << r.real() << " vs " << m;
    EXPECT_EQ(host.qecal_calls() - before, 4);
    EXPECT_EQ(host.errors(), (std::vector<RunError>{{-2, "math::fminbnd", 1}}));
}

// ---- nesting --------------------------------------------------------------------------------------

TEST_F(OptimTest, EachFunctionNestsSixDeep) {
    for (const Problem& p : kProblems) {
        SCOPED_TRACE(p.key);
        host.clear_errors();
        EXPECT_EQ(deepest_nesting(p.key, p.phi, p.a, p.b), 6);
        EXPECT_EQ(host.errors(), only(p.key, 9));
    }
}

// At six active fzero calls a seventh is refused with code 9, ahead of the
// pending-error test, while fminbnd, which counts its own levels, still runs.
TEST_F(OptimTest, SeventhCallIsRefusedAheadOfAPendingError) {
    HostValue seventh{}, other{};
    const HostValue quartic_f = objective(host, quartic);
    bool reached = false;
    const HostValue r = nest_six_deep(
        host, [&](const HostValue& self) { return host.call("math::fzero", {self, real(0), real(1)}); },
        [&](const HostValue& self) {
            host.set_pending(true);
            seventh = host.call("math::fzero", {self, real(0), real(1)});
            host.set_pending(false);
            other = host.call("math::fminbnd", {quartic_f, real(0), real(2)});
        },
        cos_minus_x, &reached);
    EXPECT_TRUE(reached);
    EXPECT_TRUE(is_empty_result(seventh));
    ASSERT_EQ(other.base_type, kTypeReal);
    EXPECT_NEAR(other.real(), 0.930402926326275, 1e-6);
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_NEAR(r.real(), 0.739085133215160642, 1e-12);
    EXPECT_EQ(host.errors(), only("math::fzero", 9));
}

// A nested search inside f: the minimum over y of (y - 1)^2 + g(y), where
// g(y) is the root of x^3 - y: fminbnd over a function that calls fzero.
TEST_F(OptimTest, NestedCallsOfBothFunctions) {
    double y = 0.0;
    const HostValue cube = host.function(1, [&](std::span<HostValue> p) {
        const double x = p[0].real();
        return make_real(x * x * x - y);
    });
    const HostValue outer = host.function(1, [&](std::span<HostValue> p) {
        y = p[0].real();
        const HostValue root = host.call("math::fzero", {cube, real(0), real(2)});
        return make_real((y - 1.0) * (y - 1.0) + (root.real() - 1.0) * (root.real() - 1.0));
    });
    const HostValue r = host.call("math::fminbnd", {outer, real(0.5), real(3)});
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_NEAR(r.real(), 1.0, 1e-6);
    EXPECT_TRUE(host.errors().empty());
}

}  // namespace

// ---- fminsearch -------------------------------------------------------------------------------------

namespace {

double rosenbrock(const double* x) {
    const double a = 1.0 - x[0];
    const double b = x[1] - x[0] * x[0];
    return a * a + 100.0 * b * b;
}

// GSL's Nelder-Mead driven directly from x0 with the library's default
// steps: the point after the loop, the iterations and the evaluations.
struct DirectSimplex {
    std::vector<double> x;
    int status;
    int64_t iterations;
    int64_t evaluations;
};

DirectSimplex direct_simplex(std::vector<double> x0, double tol, int64_t maxit) {
    const size_t n = x0.size();
    int64_t evaluations = 0;
    gsl_multimin_function f{[](const gsl_vector* v, void* count) {
                                ++*static_cast<int64_t*>(count);
                                return rosenbrock(v->data);
                            },
                            n, &evaluations};
    gsl_vector* x = gsl_vector_alloc(n);
    gsl_vector* steps = gsl_vector_alloc(n);
    for (size_t i = 0; i < n; ++i) {
        gsl_vector_set(x, i, x0[i]);
        gsl_vector_set(steps, i, x0[i] == 0.0 ? 0.00025 : 0.05 * std::fabs(x0[i]));
    }
    gsl_multimin_fminimizer* s = gsl_multimin_fminimizer_alloc(gsl_multimin_fminimizer_nmsimplex2, n);
    gsl_multimin_fminimizer_set(s, &f, x, steps);
    DirectSimplex d{{}, GSL_CONTINUE, 0, 0};
    do {
        ++d.iterations;
        d.status = gsl_multimin_fminimizer_iterate(s);
        if (d.status != GSL_SUCCESS) break;
        d.status = gsl_multimin_test_size(gsl_multimin_fminimizer_size(s), tol);
    } while (d.status == GSL_CONTINUE && d.iterations < maxit);
    for (size_t i = 0; i < n; ++i) d.x.push_back(gsl_vector_get(s->x, i));
    d.evaluations = evaluations;
    gsl_multimin_fminimizer_free(s);
    gsl_vector_free(steps);
    gsl_vector_free(x);
    return d;
}

class FminsearchTest : public OptimTest {
protected:
    // Rosenbrock's function in the scalar form f(x, y) and the array form f(xa).
    HostValue scalar_form() {
        return host.function(2, [](std::span<HostValue> p) {
            const double x[2] = {p[0].real(), p[1].real()};
            return make_real(rosenbrock(x));
        });
    }
    HostValue array_form() {
        return host.function(1, [this](std::span<HostValue> p) { return make_real(rosenbrock(host.object(p[0])->data)); });
    }
    std::vector<double> values(const HostValue& r) const { return host.read(r).values; }
};

}  // namespace

TEST_F(FminsearchTest, BothFormsMatchGslNelderMeadDrivenDirectly) {
    const DirectSimplex d = direct_simplex({-1.2, 1.0}, 1e-8, 400);
    ASSERT_EQ(d.status, GSL_SUCCESS);
    for (const HostValue& f : {scalar_form(), array_form()}) {
        host.clear_errors();
        const int64_t before = host.qecal_calls();
        const HostValue r = host.call("math::fminsearch", {f, host.array({2}, {-1.2, 1.0})});
        ASSERT_NE(host.object(r), nullptr);
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(host.read(r).shape, (std::vector<int64_t>{2}));
        const std::vector<double> x = values(r);
        ASSERT_EQ(x.size(), 2u);
        EXPECT_TRUE(same_bits(x[0], d.x[0]) && same_bits(x[1], d.x[1])) << x[0] << ", " << x[1];
        EXPECT_NEAR(x[0], 1.0, 1e-4);
        EXPECT_EQ(host.qecal_calls() - before, d.evaluations);
        EXPECT_TRUE(host.errors().empty());
    }
    // The scalar form takes the first n elements of a longer x0, and the
    // defaults behave as stated.
    const HostValue r = host.call("math::fminsearch", {scalar_form(), host.array({3}, {-1.2, 1.0, 7.0}), real(1e-8),
                                                       integer(400)});
    const std::vector<double> x = values(r);
    ASSERT_EQ(x.size(), 2u);
    EXPECT_TRUE(same_bits(x[0], d.x[0]) && same_bits(x[1], d.x[1]));
}

TEST_F(FminsearchTest, ReachingMaxitDeliversTheCurrentPoint) {
    const DirectSimplex d = direct_simplex({-1.2, 1.0}, 1e-8, 5);
    ASSERT_EQ(d.status, GSL_CONTINUE);
    const HostValue r =
        host.call("math::fminsearch", {scalar_form(), host.array({2}, {-1.2, 1.0}), real(1e-8), integer(5)});
    const std::vector<double> x = values(r);
    ASSERT_EQ(x.size(), 2u);
    EXPECT_TRUE(same_bits(x[0], d.x[0]) && same_bits(x[1], d.x[1]));
    EXPECT_EQ(host.errors(), (std::vector<RunError>{{-2, "math::fminsearch", 1}}));
}

TEST_F(FminsearchTest, RefusesBadArgumentsWithTheFirstFailingCheck) {
    const HostValue f = scalar_form();
    const HostValue three = host.function(3, [](std::span<HostValue>) { return make_real(0); });
    const HostValue none = host.function(0, [](std::span<HostValue>) { return make_real(0); });
    const HostValue x0 = host.array({2}, {1, 1});
    struct Case {
        Args args;
        int64_t code;
    };
    const Case cases[] = {
        {{f}, 1},
        {Args(6, real(0)), 1},
        {{real(1), x0}, 2},
        {{host.string("f"), real(0)}, 2},
        {{none, x0}, 3},
        {{f, real(1)}, 4},
        {{three, x0}, 4},
        {{array_form(), host.array({0})}, 4},
        {{f, x0, real(0)}, 6},
        {{f, x0, real(-1)}, 6},
        {{f, x0, real(NAN)}, 6},
        {{f, x0, integer(1)}, 6},
        {{f, x0, real(1e-6), integer(0)}, 6},
        {{f, x0, real(1e-6), real(10)}, 6},
        {{f, x0, real(1e-6), integer(10), real(0)}, 6},
        {{f, x0, real(1e-6), integer(10), real(INFINITY)}, 6},
        {{f, x0, real(1e-6), integer(10), integer(1)}, 6},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        host.clear_errors();
        Args args = cases[i].args;
        EXPECT_TRUE(is_empty_result(host.call("math::fminsearch", args)));
        EXPECT_EQ(host.errors(), only("math::fminsearch", cases[i].code));
    }
    EXPECT_EQ(host.qecal_calls(), 0);
}

// Code 8: a non-real value, at the first evaluation or a later one, or an
// array-form f that let go of its vector.
TEST_F(FminsearchTest, NonRealValueOrALostVectorIsCode8) {
    for (int64_t at : {1, 3, 20}) {
        host.clear_errors();
        int64_t evaluations = 0;
        const HostValue f = host.function(2, [&](std::span<HostValue> p) {
            const double x[2] = {p[0].real(), p[1].real()};
            return ++evaluations == at ? make_integer(1) : make_real(rosenbrock(x));
        });
        EXPECT_TRUE(is_empty_result(host.call("math::fminsearch", {f, host.array({2}, {-1.2, 1.0})})));
        EXPECT_EQ(host.errors(), only("math::fminsearch", 8)) << at;
    }
    host.clear_errors();
    int64_t evaluations = 0;
    const HostValue dropping = host.function(1, [&](std::span<HostValue> p) {
        const double value = rosenbrock(host.object(p[0])->data);
        if (++evaluations == 4) host.release(p[0]);
        return make_real(value);
    });
    EXPECT_TRUE(is_empty_result(host.call("math::fminsearch", {dropping, host.array({2}, {-1.2, 1.0})})));
    EXPECT_EQ(host.errors(), only("math::fminsearch", 8));
    EXPECT_LE(evaluations, 6);
}

TEST_F(FminsearchTest, PendingRunErrorEndsTheCallWithoutReport) {
    host.set_pending(true);
    EXPECT_TRUE(is_empty_result(host.call("math::fminsearch", {scalar_form(), host.array({2}, {0, 0})})));
    host.set_pending(false);
    EXPECT_EQ(host.qecal_calls(), 0);
    for (int64_t at : {1, 30}) {
        int64_t evaluations = 0;
        const HostValue f = host.function(2, [&](std::span<HostValue> p) {
            if (++evaluations == at) host.set_pending(true);
            const double x[2] = {p[0].real(), p[1].real()};
            return make_real(rosenbrock(x));
        });
        EXPECT_TRUE(is_empty_result(host.call("math::fminsearch", {f, host.array({2}, {-1.2, 1.0})})));
        host.set_pending(false);
        // The first simplex takes three evaluations before the first test.
        EXPECT_LE(evaluations, std::max<int64_t>(at, 3) + 2);
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(FminsearchTest, NestsSixDeepAndRefusesTheSeventhWithCode9) {
    const int deepest = ::deepest_nesting(
        host, 2,
        [&](const HostValue& self) {
            return host.call("math::fminsearch", {self, host.array({2}, {0.5, 0.5}), real(1e-3)});
        },
        [](std::span<HostValue> p) {
            const double x[2] = {p[0].real(), p[1].real()};
            return make_real(rosenbrock(x));
        });
    EXPECT_EQ(deepest, 6);
    EXPECT_EQ(host.errors(), only("math::fminsearch", 9));
}

// ---- lsqfit -----------------------------------------------------------------------------------------

namespace {

double exponential(double x, const double* p) { return p[0] * std::exp(p[1] * x); }

struct FitData {
    std::vector<double> x, y, w;  // w empty: unweighted
};

FitData decay_data(bool weighted) {
    FitData d;
    for (int i = 0; i < 10; ++i) {
        d.x.push_back(0.5 * i);
        d.y.push_back(2.0 * std::exp(-0.3 * 0.5 * i) + 0.01 * std::sin(1.0 + i));
        if (weighted) d.w.push_back(1.0 + 0.25 * i);
    }
    return d;
}

// GSL's trust-region Levenberg-Marquardt driven directly on the same residuals.
struct DirectFit {
    std::vector<double> p;
    int status;
    int64_t iterations;
};

DirectFit direct_fit(const FitData& d, std::vector<double> p0, int64_t maxit) {
    const size_t m = d.x.size(), k = p0.size();
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = [](const gsl_vector* p, void* data, gsl_vector* r) -> int {
        const FitData& fd = *static_cast<const FitData*>(data);
        for (size_t i = 0; i < fd.x.size(); ++i) {
            const double root_w = fd.w.empty() ? 1.0 : std::sqrt(fd.w[i]);
            gsl_vector_set(r, i, root_w * (exponential(fd.x[i], p->data) - fd.y[i]));
        }
        return GSL_SUCCESS;
    };
    fdf.n = m;
    fdf.p = k;
    fdf.params = const_cast<FitData*>(&d);
    const gsl_multifit_nlinear_parameters parameters = gsl_multifit_nlinear_default_parameters();
    gsl_multifit_nlinear_workspace* w = gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &parameters, m, k);
    gsl_vector* start = gsl_vector_alloc(k);
    for (size_t j = 0; j < k; ++j) gsl_vector_set(start, j, p0[j]);
    gsl_multifit_nlinear_init(start, &fdf, w);
    DirectFit out{{}, GSL_CONTINUE, 0};
    do {
        ++out.iterations;
        out.status = gsl_multifit_nlinear_iterate(w);
        if (out.status != GSL_SUCCESS) break;
        int info = 0;
        out.status = gsl_multifit_nlinear_test(1e-8, 1e-8, 0.0, &info, w);
    } while (out.status == GSL_CONTINUE && out.iterations < maxit);
    for (size_t j = 0; j < k; ++j) out.p.push_back(gsl_vector_get(gsl_multifit_nlinear_position(w), j));
    gsl_vector_free(start);
    gsl_multifit_nlinear_free(w);
    return out;
}

class LsqfitTest : public OptimTest {
protected:
    HostValue model() {
        return host.function(3, [](std::span<HostValue> p) {
            const double params[2] = {p[1].real(), p[2].real()};
            return make_real(exponential(p[0].real(), params));
        });
    }
    Args fit_args(const HostValue& f, const FitData& d) {
        Args a{f, host.array({2}, {1.0, -0.1}), host.array({int64_t(d.x.size())}, d.x),
               host.array({int64_t(d.y.size())}, d.y)};
        if (!d.w.empty()) a.push_back(host.array({int64_t(d.w.size())}, d.w));
        return a;
    }
};

}  // namespace

TEST_F(LsqfitTest, MatchesGslLevenbergMarquardtDrivenDirectly) {
    for (bool weighted : {false, true}) {
        SCOPED_TRACE(weighted ? "weighted" : "unweighted");
        host.clear_errors();
        const FitData d = decay_data(weighted);
        const DirectFit direct = direct_fit(d, {1.0, -0.1}, 100);
        ASSERT_EQ(direct.status, GSL_SUCCESS);
        Args args = fit_args(model(), d);
        const HostValue r = host.call("math::lsqfit", args);
        ASSERT_NE(host.object(r), nullptr);
        EXPECT_EQ(host.read(r).shape, (std::vector<int64_t>{2}));
        const std::vector<double> p = host.read(r).values;
        EXPECT_TRUE(same_bits(p[0], direct.p[0]) && same_bits(p[1], direct.p[1])) << p[0] << ", " << p[1];
        EXPECT_NEAR(p[0], 2.0, 0.02);
        EXPECT_NEAR(p[1], -0.3, 0.01);
        EXPECT_TRUE(host.errors().empty());
    }
    // An empty w, and the stated defaults, change nothing.
    const FitData d = decay_data(false);
    const DirectFit direct = direct_fit(d, {1.0, -0.1}, 100);
    Args args = fit_args(model(), d);
    args.insert(args.end(), {make_empty(), real(1e-8), integer(100)});
    const std::vector<double> p = host.read(host.call("math::lsqfit", args)).values;
    EXPECT_TRUE(same_bits(p[0], direct.p[0]) && same_bits(p[1], direct.p[1]));
}

TEST_F(LsqfitTest, ReachingMaxitDeliversTheCurrentParameters) {
    const FitData d = decay_data(false);
    const DirectFit direct = direct_fit(d, {1.0, -0.1}, 2);
    ASSERT_EQ(direct.status, GSL_CONTINUE);
    Args args = fit_args(model(), d);
    args.insert(args.end(), {make_empty(), real(1e-8), integer(2)});
    const std::vector<double> p = host.read(host.call("math::lsqfit", args)).values;
    ASSERT_EQ(p.size(), 2u);
    EXPECT_TRUE(same_bits(p[0], direct.p[0]) && same_bits(p[1], direct.p[1]));
    EXPECT_EQ(host.errors(), (std::vector<RunError>{{-2, "math::lsqfit", 1}}));
}

TEST_F(LsqfitTest, RefusesBadArgumentsWithTheFirstFailingCheck) {
    const HostValue f = model();
    const HostValue one = host.function(1, [](std::span<HostValue>) { return make_real(0); });
    const HostValue p0 = host.array({2}, {1, 1});
    const HostValue x = host.array({3}, {0, 1, 2});
    const HostValue y = host.array({3}, {1, 2, 3});
    struct Case {
        Args args;
        int64_t code;
    };
    const Case cases[] = {
        {{f, p0, x}, 1},
        {Args(8, real(0)), 1},
        {{real(0), p0, x, y}, 2},
        {{one, p0, x, y}, 3},
        {{f, real(1), x, y}, 4},
        {{f, host.array({3}, {1, 1, 1}), x, y}, 4},
        {{f, host.array({2, 2}, {1, 1, 1, 1}), x, y}, 4},
        {{f, p0, real(0), y}, 5},
        {{f, p0, x, host.array({2}, {1, 2})}, 5},
        {{f, p0, host.array({1}, {0}), host.array({1}, {1})}, 5},
        {{f, p0, host.array({2, 3}, {0, 1, 2, 3, 4, 5}), host.array({6}, {0, 1, 2, 3, 4, 5})}, 5},
        {{f, p0, x, y, host.array({3}, {1, 0, 1})}, 5},
        {{f, p0, x, y, host.array({3}, {1, -1, 1})}, 5},
        {{f, p0, x, y, host.array({3}, {1, NAN, 1})}, 5},
        {{f, p0, x, y, host.array({2}, {1, 1})}, 5},
        {{f, p0, x, y, real(1)}, 5},
        {{f, p0, x, y, make_empty(), real(0)}, 6},
        {{f, p0, x, y, make_empty(), integer(1)}, 6},
        {{f, p0, x, y, make_empty(), real(1e-6), integer(0)}, 6},
        {{f, p0, x, y, make_empty(), real(1e-6), real(5)}, 6},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        host.clear_errors();
        Args args = cases[i].args;
        EXPECT_TRUE(is_empty_result(host.call("math::lsqfit", args)));
        EXPECT_EQ(host.errors(), only("math::lsqfit", cases[i].code));
    }
    EXPECT_EQ(host.qecal_calls(), 0);
    // A column or row of two dimensions is a vector too.
    host.clear_errors();
    Args column{f, host.array({2, 1}, {1, 1}), host.array({1, 3}, {0, 1, 2}), y};
    EXPECT_NE(host.object(host.call("math::lsqfit", column)), nullptr);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LsqfitTest, NonRealValueIsCode8AndPendingErrorsEndTheFit) {
    const FitData d = decay_data(false);
    for (int64_t at : {1, 25}) {
        host.clear_errors();
        int64_t evaluations = 0;
        const HostValue f = host.function(3, [&](std::span<HostValue> p) {
            const double params[2] = {p[1].real(), p[2].real()};
            return ++evaluations == at ? make_integer(0) : make_real(exponential(p[0].real(), params));
        });
        Args args = fit_args(f, d);
        EXPECT_TRUE(is_empty_result(host.call("math::lsqfit", args)));
        EXPECT_EQ(host.errors(), only("math::lsqfit", 8));
        EXPECT_EQ(evaluations, at);
    }
    host.clear_errors();
    host.set_pending(true);
    Args args = fit_args(model(), d);
    EXPECT_TRUE(is_empty_result(host.call("math::lsqfit", args)));
    host.set_pending(false);
    int64_t evaluations = 0;
    const HostValue f = host.function(3, [&](std::span<HostValue> p) {
        if (++evaluations == 45) host.set_pending(true);
        const double params[2] = {p[1].real(), p[2].real()};
        return make_real(exponential(p[0].real(), params));
    });
    Args later = fit_args(f, d);
    EXPECT_TRUE(is_empty_result(host.call("math::lsqfit", later)));
    host.set_pending(false);
    // The iteration under way finishes its evaluations; no further one starts.
    EXPECT_GE(evaluations, 45);
    EXPECT_LT(evaluations, 45 + 40);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LsqfitTest, NestsSixDeepAndRefusesTheSeventhWithCode9) {
    const FitData d = decay_data(false);
    const int deepest = ::deepest_nesting(
        host, 3,
        [&](const HostValue& self) {
            Args args = fit_args(self, d);
            return host.call("math::lsqfit", args);
        },
        [](std::span<HostValue> p) {
            const double params[2] = {p[1].real(), p[2].real()};
            return make_real(exponential(p[0].real(), params));
        });
    EXPECT_EQ(deepest, 6);
    EXPECT_EQ(host.errors(), only("math::lsqfit", 9));
}
