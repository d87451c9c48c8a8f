// SPDX-License-Identifier: GPL-3.0-or-later
// The nine quadrature functions, driven through the stand-in host with
// integrands that are script functions.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "host/binding.h"
#include "integration/quadrature.h"
#include "script/script_functions.h"
#include "tests/support.h"

namespace {

using hostsim::Host;
using hostsim::RunError;
using Args = std::vector<HostValue>;


// A script function of one parameter whose body is `phi`.
HostValue integrand(Host& host, double (*phi)(double)) {
    return host.function(1, [phi](std::span<HostValue> p) { return make_real(phi(p[0].real())); });
}

Args with_function(const HostValue& f, Args rest) {
    rest.insert(rest.begin(), f);
    return rest;
}

// One known integral per routine: the integrand, the required arguments
// after f, the optional inputs at their stated defaults, and the optional
// inputs that the known integral needs to converge (empty: the defaults do).
struct Known {
    const char* key;
    double (*phi)(double);
    Args (*required)(Host&);
    Args defaults;
    Args tuning;
    double expected;

    Args args(Host& host, const HostValue& f) const {
        Args a = with_function(f, required(host));
        a.insert(a.end(), tuning.begin(), tuning.end());
        return a;
    }
    Args args_with_defaults(Host& host, const HostValue& f) const {
        Args a = with_function(f, required(host));
        a.insert(a.end(), defaults.begin(), defaults.end());
        return a;
    }
};

double square(double x) { return x * x; }
double gauss(double x) { return std::exp(-x * x); }
double inverse_sqrt(double x) { return 1.0 / std::sqrt(x); }
double inverse_sqrt_distance_to_1(double x) { return 1.0 / std::sqrt(std::fabs(x - 1.0)); }
double decay(double x) { return std::exp(-x); }
double growth(double x) { return std::exp(x); }
double one(double) { return 1.0; }

const double kErf1 = 0.746824132812427025;  // integral of exp(-x*x) over [0, 1]

const Known kKnown[] = {
    {"math::gsl_qng", square, [](Host&) { return Args{real(0), real(1)}; }, {real(1e-6), real(1e-6)}, {}, 1.0 / 3.0},
    {"math::gsl_qag", gauss, [](Host&) { return Args{real(0), real(1)}; },
     {real(1e-6), real(1e-6), integer(10), integer(4)}, {}, kErf1},
    {"math::gsl_qags", inverse_sqrt, [](Host&) { return Args{real(0), real(1)}; },
     {real(1e-6), real(1e-6), integer(10)}, {}, 2.0},
    // Over [0, 2] with the singular point 1 named; ten subintervals are too few here.
    {"math::gsl_qagp", inverse_sqrt_distance_to_1, [](Host& h) { return Args{h.array({3}, {0, 1, 2})}; },
     {real(1e-6), real(1e-6), integer(10)}, {real(1e-6), real(1e-6), integer(30)}, 4.0},
    {"math::gsl_qagi", gauss, [](Host&) { return Args{}; }, {real(1e-6), real(1e-6), integer(10)}, {},
     std::sqrt(std::numbers::pi)},
    {"math::gsl_qagiu", decay, [](Host&) { return Args{real(0)}; }, {real(1e-6), real(1e-6), integer(10)}, {}, 1.0},
    {"math::gsl_qagil", growth, [](Host&) { return Args{real(0)}; }, {real(1e-6), real(1e-6), integer(10)}, {}, 1.0},
    // Principal value of the integral of 1/(x - 0.5) over [-1, 1].
    {"math::gsl_qawc", one, [](Host&) { return Args{real(-1), real(1), real(0.5)}; },
     {real(1e-6), real(1e-6), integer(10)}, {}, -std::log(3.0)},
    // The doubly-adaptive routine, with its own default limit of 100 intervals.
    {"math::gsl_cquad", inverse_sqrt, [](Host&) { return Args{real(0), real(1)}; },
     {real(1e-6), real(1e-6), integer(100)}, {}, 2.0},
};

const Known& known(std::string_view key) {
    return *std::find_if(std::begin(kKnown), std::end(kKnown), [&](const Known& k) { return k.key == key; });
}

class QuadratureTest : public LibraryTest {
protected:
    HostValue call(std::string_view key, Args& args) { return host.call(key, args); }

    // Integrates the routine's known integrand, which calls the same routine
    // again on its first evaluation at each depth, until a call is refused.
    // Returns the number of active calls at the refusal.
    int deepest_nesting(const Known& k) {
        return ::deepest_nesting(
            host, 1,
            [&](const HostValue& self) {
                Args args = k.args(host, self);
                return call(k.key, args);
            },
            [&](std::span<HostValue> p) { return make_real(k.phi(p[0].real())); });
    }
};

std::vector<RunError> only(std::string_view key, int64_t code) { return {RunError{1, std::string(key), code}}; }

// ---- known integrals and defaults ------------------------------------------------------

TEST_F(QuadratureTest, EachRoutineIntegratesItsKnownIntegral) {
    for (const Known& k : kKnown) {
        SCOPED_TRACE(k.key);
        host.clear_errors();
        Args args = k.args(host, integrand(host, k.phi));
        const HostValue r = call(k.key, args);
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_EQ(r.ext_type, kTypeReal);
        EXPECT_NEAR(r.real(), k.expected, 1e-6 * std::max(1.0, std::fabs(k.expected)));
        EXPECT_TRUE(host.errors().empty());
    }
}

// Omitted tolerances, limit and key behave exactly like their stated defaults:
// the same evaluations, the same value to the bit.
TEST_F(QuadratureTest, OmittedInputsTakeTheirDefaults) {
    for (const Known& k : kKnown) {
        SCOPED_TRACE(k.key);
        host.clear_errors();
        const HostValue f = integrand(host, k.phi);
        Args implicit = with_function(f, k.required(host));
        Args explicit_ = k.args_with_defaults(host, f);
        int64_t before = host.qecal_calls();
        const double a = call(k.key, implicit).real();
        const int64_t implicit_evaluations = host.qecal_calls() - before;
        before = host.qecal_calls();
        const auto implicit_errors = host.errors();
        host.clear_errors();
        const double b = call(k.key, explicit_).real();
        EXPECT_EQ(host.errors(), implicit_errors);
        host.clear_errors();
        EXPECT_EQ(host.qecal_calls() - before, implicit_evaluations);
        EXPECT_TRUE(same_bits(a, b));
    }
}

// The default limit of 10 subintervals is what stops this one: limit 11 goes further.
TEST_F(QuadratureTest, DefaultLimitIsTenSubintervals) {
    const HostValue f = integrand(host, inverse_sqrt);
    Args implicit{f, real(0), real(1)};
    Args ten{f, real(0), real(1), real(1e-6), real(1e-6), integer(10)};
    Args eleven{f, real(0), real(1), real(1e-6), real(1e-6), integer(11)};
    const double a = call("math::gsl_qag", implicit).real();
    const double b = call("math::gsl_qag", ten).real();
    const double c = call("math::gsl_qag", eleven).real();
    EXPECT_TRUE(same_bits(a, b));
    EXPECT_FALSE(same_bits(a, c));
    const std::vector<RunError> limit_reached(3, RunError{-1, "math::gsl_qag", GSL_EMAXITER});
    EXPECT_EQ(host.errors(), limit_reached);
}

// ---- out-parameters ---------------------------------------------------------------------

TEST_F(QuadratureTest, WritesTheErrorEstimateAndStatusWhenPresent) {
    struct Case {
        const char* key;
        Args args;  // after f; unwritten outs hold the string "x"
        int abserr_at;
        int status_at;  // -1: none
    };
    const HostValue x = host.string("x");
    const Case cases[] = {
        {"math::gsl_qag", {real(0), real(1), real(1e-6), real(1e-6), integer(10), integer(4), x}, 7, -1},
        {"math::gsl_qag", {real(0), real(1), real(1e-6), real(1e-6), integer(10), integer(4), x, x}, 7, 8},
        {"math::gsl_qagi", {real(1e-6), real(1e-6), integer(10), x}, 4, -1},
        {"math::gsl_qagi", {real(1e-6), real(1e-6), integer(10), x, x}, 4, 5},
        {"math::gsl_qng", {real(0), real(1), real(1e-6), real(1e-6), x, x}, 5, 6},
        {"math::gsl_qawc", {real(-1), real(1), real(0.5), real(1e-6), real(1e-6), integer(10), x, x}, 7, 8},
        {"math::gsl_cquad", {real(0), real(1), real(1e-6), real(1e-6), integer(100), x}, 6, -1},
        {"math::gsl_cquad", {real(0), real(1), real(1e-6), real(1e-6), integer(1000), x, x}, 6, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " with " << c.args.size() + 1 << " arguments");
        const Known& k = known(c.key);
        Args args = with_function(integrand(host, k.phi), c.args);
        const HostValue r = call(c.key, args);
        ASSERT_EQ(r.base_type, kTypeReal);
        const HostValue& abserr = args[static_cast<size_t>(c.abserr_at)];
        EXPECT_EQ(abserr.base_type, kTypeReal);
        EXPECT_EQ(abserr.ext_type, kTypeReal);
        EXPECT_GE(abserr.real(), 0.0);
        EXPECT_LT(abserr.real(), 1e-6 * std::max(1.0, std::fabs(k.expected)));
        if (c.status_at >= 0) {
            const HostValue& status = args[static_cast<size_t>(c.status_at)];
            EXPECT_EQ(status.base_type, kTypeInteger);
            EXPECT_EQ(status.ext_type, kTypeInteger);
            EXPECT_EQ(status.integer(), GSL_SUCCESS);
        }
        for (size_t i = 1; i < args.size(); ++i) {
            if (static_cast<int>(i) != c.abserr_at && static_cast<int>(i) != c.status_at) {
                EXPECT_EQ(args[i].word1, c.args[i - 1].word1) << "argument " << i;
            }
        }
    }
}

// Reaching the subinterval limit is a GSL failure: reported with kind -1 and
// GSL's status, and GSL's best value, estimate and status are still delivered,
// the same as GSL computes them when called directly.
TEST_F(QuadratureTest, ReportsGslStatusAndStillDeliversTheIntegral) {
    Args args{integrand(host, inverse_sqrt), real(0), real(1), real(1e-10), real(1e-10), integer(5), integer(1),
              integer(0), integer(0)};
    const HostValue r = call("math::gsl_qag", args);

    // This program's own GSL, which is not the library's copy, must not abort either.
    gsl_error_handler_t* handler = gsl_set_error_handler_off();
    gsl_function direct{[](double x, void*) { return inverse_sqrt(x); }, nullptr};
    gsl_integration_workspace* w = gsl_integration_workspace_alloc(5);
    double value = 0.0, abserr = 0.0;
    const int status = gsl_integration_qag(&direct, 0, 1, 1e-10, 1e-10, 5, 1, w, &value, &abserr);
    gsl_integration_workspace_free(w);
    gsl_set_error_handler(handler);

    ASSERT_EQ(status, GSL_EMAXITER);
    EXPECT_EQ(host.errors(), (std::vector<RunError>{{-1, "math::gsl_qag", status}}));
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_TRUE(same_bits(r.real(), value));
    EXPECT_TRUE(same_bits(args[7].real(), abserr));
    EXPECT_EQ(args[8].base_type, kTypeInteger);
    EXPECT_EQ(args[8].integer(), status);
}

int g_program_handler_calls = 0;
void count_program_handler_call(const char*, const char*, int, int) { ++g_program_handler_calls; }

// The library has its own GSL and with it GSL's error handler: a handler this
// program installs in its own GSL is never called by a failure inside the
// library's GSL, and neither does a program's return to GSL's default
// handler (null, which aborts) abort the library. The failure is reported
// with GSL's status as always.
TEST_F(QuadratureTest, GslFailureReachesNoErrorHandlerOfTheProgram) {
    for (gsl_error_handler_t* handler : {&count_program_handler_call, static_cast<gsl_error_handler_t*>(nullptr)}) {
        SCOPED_TRACE(handler ? "counting handler" : "default handler");
        host.clear_errors();
        g_program_handler_calls = 0;
        gsl_error_handler_t* previous = gsl_set_error_handler(handler);
        Args args{integrand(host, inverse_sqrt), real(0), real(1), real(1e-10), real(1e-10), integer(5), integer(1),
                  integer(0), integer(0)};
        const HostValue r = call("math::gsl_qag", args);
        gsl_set_error_handler(previous);

        EXPECT_EQ(g_program_handler_calls, 0);
        EXPECT_EQ(host.errors(), (std::vector<RunError>{{-1, "math::gsl_qag", GSL_EMAXITER}}));
        EXPECT_EQ(r.base_type, kTypeReal);
        EXPECT_EQ(args[8].integer(), GSL_EMAXITER);
    }
}

// gsl_cquad hands back what GSL's doubly-adaptive routine computes when driven
// directly, to the bit, with its estimate and status: here on a singular
// integrand, on a divergent one (GSL calls it a success; the library reports
// GSL_EDIVERGE with GSL's estimate) and on one that is NaN at an end point
// with the smallest workspace.
TEST_F(QuadratureTest, CquadDeliversWhatGslComputes) {
    struct Case {
        double (*phi)(double);
        double a, b;
        size_t limit;
    };
    const Case cases[] = {
        {inverse_sqrt, 0, 1, 100},
        {[](double x) { return 1.0 / x; }, 0, 1, 10},
        {[](double x) { return x == 0 ? NAN : std::sin(x) / x; }, 0, 1, 3},
    };
    gsl_error_handler_t* handler = gsl_set_error_handler_off();
    for (const Case& c : cases) {
        host.clear_errors();
        const HostValue marker = host.string("x");
        Args args{integrand(host, c.phi), real(c.a), real(c.b), real(1e-10), real(1e-10),
                  integer(static_cast<int64_t>(c.limit)), marker, marker};
        const HostValue r = call("math::gsl_cquad", args);

        gsl_function direct{[](double x, void* phi) { return reinterpret_cast<double (*)(double)>(phi)(x); },
                            reinterpret_cast<void*>(c.phi)};
        gsl_integration_cquad_workspace* w = gsl_integration_cquad_workspace_alloc(c.limit);
        double value = 0.0, abserr = 0.0;
        size_t nevals = 0;
        int status = gsl_integration_cquad(&direct, c.a, c.b, 1e-10, 1e-10, w, &value, &abserr, &nevals);
        gsl_integration_cquad_workspace_free(w);
        // A success whose result or error estimate is not finite has diverged.
        if (status == GSL_SUCCESS && !(std::isfinite(value) && std::isfinite(abserr))) status = GSL_EDIVERGE;

        SCOPED_TRACE(testing::Message() << "status " << status);
        ASSERT_EQ(r.base_type, kTypeReal);
        EXPECT_TRUE(same_bits(r.real(), value));
        EXPECT_TRUE(same_bits(args[6].real(), std::fabs(abserr)));  // a magnitude
        EXPECT_EQ(args[7].integer(), status);
        const std::vector<RunError> expected =
            status == GSL_SUCCESS ? std::vector<RunError>{} : std::vector<RunError>{{-1, "math::gsl_cquad", status}};
        EXPECT_EQ(host.errors(), expected);
    }
    gsl_set_error_handler(handler);
}

// ---- refusals -------------------------------------------------------------------------------

TEST_F(QuadratureTest, RefusesBadArgumentsWithTheFirstFailingCheck) {
    const HostValue f = integrand(host, gauss);
    const HostValue two = host.function(2, [](std::span<HostValue>) { return make_real(0); });
    const HostValue text = host.string("f");
    const HostValue one_point = host.array({1}, {0});
    struct Case {
        const char* key;
        Args args;
        int64_t code;
    };
    const Case cases[] = {
        // argument counts, checked before f
        {"math::gsl_qag", {f, real(0)}, 2},
        {"math::gsl_qag", {real(0), real(0)}, 2},
        {"math::gsl_qag", Args(10, real(0)), 2},
        {"math::gsl_qng", Args(8, real(0)), 2},
        {"math::gsl_qagp", {f}, 2},
        {"math::gsl_qagi", Args(7, real(0)), 2},
        {"math::gsl_qawc", {f, real(0), real(1)}, 2},
        // f, checked before the other inputs
        {"math::gsl_qag", {real(1), real(0), real(1)}, 3},
        {"math::gsl_qag", {text, integer(0), real(1)}, 3},
        {"math::gsl_qagi", {integer(1)}, 3},
        {"math::gsl_qag", {two, integer(0), real(1)}, 4},
        // the other inputs
        {"math::gsl_qag", {f, integer(0), real(1)}, 5},
        {"math::gsl_qag", {f, real(0), integer(1)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(-1e-9)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), integer(0)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(NAN)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(-1)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(4)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(101)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), real(10)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(-1)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(10), integer(0)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(10), integer(7)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(10), integer(-1)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(10), integer(int64_t{1} << 32)}, 5},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(10), real(4)}, 5},
        {"math::gsl_qagp", {f, one_point}, 5},
        {"math::gsl_qagp", {f, real(0)}, 5},
        {"math::gsl_qagiu", {f, integer(0)}, 5},
        {"math::gsl_qagil", {f, integer(0)}, 5},
        {"math::gsl_qawc", {f, real(0), real(1), integer(0)}, 5},
        {"math::gsl_qags", {f, real(0), real(1), real(0), real(1e-6), integer(200)}, 5},
        {"math::gsl_qng", {f, real(0), real(1), real(0), real(-1e-6)}, 5},
        {"math::gsl_cquad", {f, real(0)}, 2},
        {"math::gsl_cquad", Args(9, real(0)), 2},
        {"math::gsl_cquad", {two, real(0), real(1)}, 4},
        {"math::gsl_cquad", {f, real(0), integer(1)}, 5},
        {"math::gsl_cquad", {f, real(0), real(1), real(-1), real(1e-6)}, 5},
        {"math::gsl_cquad", {f, real(0), real(1), real(0), real(1e-6), integer(2)}, 5},
        {"math::gsl_cquad", {f, real(0), real(1), real(0), real(1e-6), integer(1001)}, 5},
        {"math::gsl_cquad", {f, real(0), real(1), real(0), real(1e-6), integer(-1)}, 5},
    };
    const int64_t evaluations = host.qecal_calls();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.key);
        host.clear_errors();
        Args args = c.args;
        EXPECT_TRUE(is_empty_result(call(c.key, args)));
        EXPECT_EQ(host.errors(), only(c.key, c.code));
    }
    EXPECT_EQ(host.qecal_calls(), evaluations);
    // Every refusal gave its level back.
    host.clear_errors();
    for (const Known& k : kKnown) EXPECT_EQ(deepest_nesting(k), 6) << k.key;
}

TEST_F(QuadratureTest, AcceptsTheEdgesOfEveryRange) {
    const HostValue f = integrand(host, gauss);
    const HostValue g = integrand(host, inverse_sqrt_distance_to_1);
    struct Case {
        const char* key;
        Args args;
    };
    const Case cases[] = {
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(5), integer(1)}},
        {"math::gsl_qag", {f, real(0), real(1), real(0), real(1e-6), integer(100), integer(6)}},
        {"math::gsl_qag", {f, real(0), real(1), real(1e-6), real(0)}},
        // only the key's low 32 bits count: 2^32 + 4 is key 4
        {"math::gsl_qag", {f, real(0), real(1), real(1e-6), real(1e-6), integer(10), integer((int64_t{1} << 32) + 4)}},
        // a plain host array, without the private key
        {"math::gsl_qagp", {g, host.array({3}, {0, 1, 2}, kTypeRealArray), real(1e-6), real(1e-6), integer(30)}},
        {"math::gsl_qagp", {f, host.array({2}, {0, 1})}},
        {"math::gsl_cquad", {f, real(0), real(1), real(0), real(1e-6), integer(3)}},
        {"math::gsl_cquad", {f, real(0), real(1), real(0), real(1e-6), integer(1000)}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        host.clear_errors();
        Args args = cases[i].args;
        EXPECT_EQ(call(cases[i].key, args).base_type, kTypeReal);
        EXPECT_TRUE(host.errors().empty());
    }
}

TEST_F(QuadratureTest, GaussKronrodKeyConstantsSelectTheRule) {
    const HostValue f = integrand(host, gauss);
    const HostValue key = *host.constant("math::gsl_gauss41");
    Args by_constant{f, real(0), real(1), real(1e-6), real(1e-6), integer(10), key};
    Args by_default{f, real(0), real(1)};
    EXPECT_TRUE(same_bits(call("math::gsl_qag", by_constant).real(), call("math::gsl_qag", by_default).real()));
}

TEST_F(QuadratureTest, PendingRunErrorReturnsEmptyWithoutReport) {
    host.set_pending(true);
    for (const Known& k : kKnown) {
        Args args = k.args(host, integrand(host, k.phi));
        EXPECT_TRUE(is_empty_result(call(k.key, args))) << k.key;
        Args too_many(12, real(0));
        EXPECT_TRUE(is_empty_result(call(k.key, too_many))) << k.key;
    }
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.qecal_calls(), 0);
}

// ---- the integrand's values -----------------------------------------------------------------

TEST_F(QuadratureTest, IntegrandReturningNonRealReportsCode6AndWritesNothingBack) {
    const HostValue ints = host.function(1, [](std::span<HostValue>) { return make_integer(1); });
    for (const Known& k : kKnown) {
        SCOPED_TRACE(k.key);
        host.clear_errors();
        Args args = with_function(ints, k.required(host));
        EXPECT_TRUE(is_empty_result(call(k.key, args)));
        // gsl_qagi and friends may also fail in GSL on this integrand; that report comes first.
        ASSERT_FALSE(host.errors().empty());
        EXPECT_EQ(host.errors().back(), (RunError{1, k.key, 6}));
        for (size_t i = 0; i + 1 < host.errors().size(); ++i) EXPECT_EQ(host.errors()[i].kind, -1);
    }
    host.clear_errors();
    const HostValue marker = host.string("untouched");
    Args full{ints, real(0), real(1), real(1e-6), real(1e-6), integer(10), integer(4), marker, marker};
    EXPECT_TRUE(is_empty_result(call("math::gsl_qag", full)));
    EXPECT_EQ(host.errors(), only("math::gsl_qag", 6));
    EXPECT_EQ(full[7].word1, marker.word1);
    EXPECT_EQ(full[8].word1, marker.word1);
    EXPECT_EQ(full[8].base_type, hostsim::kTypeString);
    host.clear_errors();
    EXPECT_EQ(deepest_nesting(known("math::gsl_qag")), 6);
}

TEST_F(QuadratureTest, GslFailureIsReportedBeforeCode6) {
    // An integer near the singularity, reals elsewhere; five subintervals cannot meet the tolerance.
    const HostValue f = host.function(1, [](std::span<HostValue> p) {
        const double x = p[0].real();
        return x < 1e-3 ? make_integer(1) : make_real(inverse_sqrt(x));
    });
    Args args{f, real(0), real(1), real(1e-10), real(1e-10), integer(5), integer(1)};
    EXPECT_TRUE(is_empty_result(call("math::gsl_qag", args)));
    ASSERT_EQ(host.errors().size(), 2u);
    EXPECT_EQ(host.errors()[0].kind, -1);
    EXPECT_EQ(host.errors()[0].name, "math::gsl_qag");
    EXPECT_NE(host.errors()[0].code, 0);
    EXPECT_EQ(host.errors()[1], (RunError{1, "math::gsl_qag", 6}));
}

// A nested call of the same routine must not clear a failure its caller has
// already seen, nor pass its own failure up to a caller whose values were all real.
// A nested call of the same routine neither hides the enclosing call's failed
// evaluation nor keeps its own failure from the enclosing call.
TEST_F(QuadratureTest, FailedEvaluationsSurviveNestedCalls) {
    const HostValue good = integrand(host, gauss);
    const HostValue bad = host.function(1, [](std::span<HostValue>) { return make_integer(1); });
    struct Case {
        HostValue first;   // what the outer integrand's first evaluation returns
        HostValue nested;  // integrated by the outer integrand's second evaluation
        bool outer_fails;
        std::vector<RunError> errors;
    };
    const Case cases[] = {
        {integer(1), good, true, only("math::gsl_qag", 6)},
        {real(0.5), bad, true, {{1, "math::gsl_qag", 6}, {1, "math::gsl_qag", 6}}},
    };
    for (const Case& c : cases) {
        host.clear_errors();
        int evaluation = 0;
        const HostValue outer = host.function(1, [&](std::span<HostValue> p) {
            const double x = p[0].real();
            ++evaluation;
            if (evaluation == 1) return c.first;
            if (evaluation == 2) {
                Args inner{c.nested, real(0), real(1)};
                call("math::gsl_qag", inner);
            }
            return make_real(gauss(x));
        });
        Args args{outer, real(0), real(1)};
        const HostValue r = call("math::gsl_qag", args);
        EXPECT_EQ(is_empty_result(r), c.outer_fails);
        EXPECT_EQ(host.errors(), c.errors);
    }
}

// ---- nesting ----------------------------------------------------------------------------------

TEST_F(QuadratureTest, DoubleIntegralThroughANestedCall) {
    // The integral of x*y^2 over [0, 2] x [0, 1] is 2/3.
    double y = 0.0;
    const HostValue inner = host.function(1, [&](std::span<HostValue> p) { return make_real(p[0].real() * y * y); });
    const HostValue outer = host.function(1, [&](std::span<HostValue> p) {
        y = p[0].real();
        return host.call("math::gsl_qag", {inner, real(0), real(2)});
    });
    const HostValue r = host.call("math::gsl_qag", {outer, real(0), real(1)});
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_NEAR(r.real(), 2.0 / 3.0, 1e-12);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(QuadratureTest, EachRoutineNestsSixDeep) {
    for (const Known& k : kKnown) {
        SCOPED_TRACE(k.key);
        host.clear_errors();
        EXPECT_EQ(deepest_nesting(k), 6);
        EXPECT_EQ(host.errors(), only(k.key, 1));
    }
}

// At six active gsl_qag calls a seventh is refused, ahead of the pending-error
// test, while gsl_qags, which counts its own levels, still runs there.
TEST_F(QuadratureTest, SeventhCallIsRefusedWhileOtherRoutinesRun) {
    const HostValue flat = integrand(host, one);
    HostValue seventh{}, other{};
    bool reached = false;
    const HostValue r = nest_six_deep(
        host, [&](const HostValue& self) { return host.call("math::gsl_qag", {self, real(0), real(1)}); },
        [&](const HostValue& self) {
            host.set_pending(true);
            seventh = host.call("math::gsl_qag", {self, real(0), real(1)});
            host.set_pending(false);
            other = host.call("math::gsl_qags", {flat, real(0), real(1)});
        },
        [](double) { return 1.0; }, &reached);
    EXPECT_TRUE(reached);
    EXPECT_TRUE(is_empty_result(seventh));
    ASSERT_EQ(other.base_type, kTypeReal);
    EXPECT_DOUBLE_EQ(other.real(), 1.0);
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_DOUBLE_EQ(r.real(), 1.0);
    EXPECT_EQ(host.errors(), only("math::gsl_qag", 1));
    // The levels are all given back.
    host.clear_errors();
    EXPECT_EQ(deepest_nesting(known("math::gsl_qag")), 6);
    EXPECT_EQ(deepest_nesting(known("math::gsl_qags")), 6);
}

// ---- workspace allocation failure ---------------------------------------------------------------

// Driven on the library's object files linked into this test, so that the
// workspace allocator can be replaced; their host interface is bound to the
// stand-in host here, as load would bind it.
class LinkedQuadratureTest : public QuadratureTest {
protected:
    void SetUp() override {
        QuadratureTest::SetUp();
        bind_linked_library(key());
        gsl_set_error_handler_off();
    }
    void TearDown() override {
        hostmath::quadrature::set_workspace_allocator(nullptr);
        unbind_linked_library();
        QuadratureTest::TearDown();
    }

    HostValue call_linked(ScriptFn fn, Args& args) {
        HostValue result{};
        return *fn(&result, static_cast<int64_t>(args.size()) - 1, args.data(), host.context());
    }

    // Allocations left before the allocator fails.
    static inline int allocations_left = 0;
    static gsl_integration_workspace* allocate_until_exhausted(size_t limit) {
        if (allocations_left == 0) return nullptr;
        --allocations_left;
        return gsl_integration_workspace_alloc(limit);
    }
};

TEST_F(LinkedQuadratureTest, MissingWorkspaceReportsCode7AndGivesTheLevelBack) {
    hostmath::quadrature::set_workspace_allocator(allocate_until_exhausted);
    const HostValue f = integrand(host, gauss);

    allocations_left = 0;
    Args args{f, real(0), real(1), real(1e-6), real(1e-6), integer(10), integer(4), integer(-7), integer(-7)};
    EXPECT_TRUE(is_empty_result(call_linked(hostmath::gsl_qag, args)));
    EXPECT_EQ(host.errors(), only("math::gsl_qag", 7));
    EXPECT_EQ(args[7].integer(), -7);
    EXPECT_EQ(host.qecal_calls(), 0);

    // gsl_qng needs no workspace.
    Args qng{f, real(0), real(1)};
    EXPECT_EQ(call_linked(hostmath::gsl_qng, qng).base_type, kTypeReal);

    // Two levels get their workspaces, the third does not: the nested
    // failure is reported and the outer calls finish.
    host.clear_errors();
    allocations_left = 2;
    int depth = 0;
    HostValue self{};
    self = host.function(1, [&](std::span<HostValue> p) {
        if (depth < 2) {
            ++depth;
            Args inner{self, real(0), real(1)};
            call_linked(hostmath::gsl_qag, inner);
        }
        return make_real(gauss(p[0].real()));
    });
    Args outer{self, real(0), real(1)};
    const HostValue r = call_linked(hostmath::gsl_qag, outer);
    ASSERT_EQ(r.base_type, kTypeReal);
    EXPECT_NEAR(r.real(), kErf1, 1e-9);
    EXPECT_EQ(host.errors(), only("math::gsl_qag", 7));

    // Every level was given back: six nested calls still fit, the seventh is refused.
    hostmath::quadrature::set_workspace_allocator(nullptr);
    host.clear_errors();
    int levels = 0;
    bool probing = true;
    HostValue probe{};
    probe = host.function(1, [&](std::span<HostValue> p) {
        if (probing) {
            ++levels;
            Args inner{probe, real(0), real(1)};
            if (is_empty_result(call_linked(hostmath::gsl_qag, inner)) || levels > 10) probing = false;
        }
        return make_real(gauss(p[0].real()));
    });
    Args probe_args{probe, real(0), real(1)};
    call_linked(hostmath::gsl_qag, probe_args);
    EXPECT_EQ(levels, 6);
    EXPECT_EQ(host.errors(), only("math::gsl_qag", 1));
}

}  // namespace

// The integrand lets go of the break points while GSL integrates: the call
// works on its own copy and gives the same result as an undisturbed one.
TEST_F(QuadratureTest, BreakPointsReleasedByTheIntegrandAreNotReadAgain) {
    const Known& k = known("math::gsl_qagp");
    auto integrate = [&](bool release) {
        const HostValue points = host.array({3}, {0, 1, 2});
        int calls = 0;
        const HostValue f = host.function(1, [&, points](std::span<HostValue> p) {
            if (++calls == 2 && release) host.release(points);
            return make_real(k.phi(p[0].real()));
        });
        Args args{f, points, real(1e-6), real(1e-6), integer(30)};
        return call("math::gsl_qagp", args).real();
    };
    const double undisturbed = integrate(false);
    EXPECT_TRUE(same_bits(integrate(true), undisturbed));
    EXPECT_TRUE(host.errors().empty());
}
