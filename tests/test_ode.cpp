// SPDX-License-Identifier: GPL-3.0-or-later
// gsl_ode, driven through the stand-in host with right-hand sides (and
// Jacobians) that are script functions.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_odeiv.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "host/binding.h"
#include "ode/ode.h"
#include "script/script_functions.h"
#include "tests/support.h"

namespace {

using hostsim::Host;
using hostsim::RunError;
using Args = std::vector<HostValue>;
using State = std::vector<double>;

const HostValue kEmpty = make_empty();

constexpr uint64_t kUnwrittenBits = 0x7FF8000000000000;
constexpr const char* kOde = "math::gsl_ode";

// dy/dt = f(t, y), written as plain C++.
using Derivative = std::function<void(double t, const double* y, double* dydt)>;

// A right-hand side of n state variables as a script function: it reads t
// and y from its parameters, assigns the derivatives and returns 0.
HostValue rhs(Host& host, size_t n, Derivative f) {
    return host.function(static_cast<int>(2 * n + 2), [n, f](std::span<HostValue> p) {
        State y(n), dydt(n);
        for (size_t i = 0; i < n; ++i) y[i] = p[1 + i].real();
        f(p[0].real(), y.data(), dydt.data());
        for (size_t i = 0; i < n; ++i) p[1 + n + i] = make_real(dydt[i]);
        return make_integer(0);
    });
}

// Systems with closed-form solutions.
struct System {
    const char* name;
    Derivative f;
    State y0;
    State (*exact)(double t);
};

const System kDecay{"decay", [](double, const double* y, double* d) { d[0] = -y[0]; }, {1.0},
                    [](double t) { return State{std::exp(-t)}; }};
const System kOscillator{"oscillator",
                         [](double, const double* y, double* d) {
                             d[0] = y[1];
                             d[1] = -y[0];
                         },
                         {1.0, 0.0}, [](double t) { return State{std::cos(t), -std::sin(t)}; }};
// Five decays at the rates 1 to 5: a system larger than the adapters unrolled for small n.
const System kDecays{"five decays",
                     [](double, const double* y, double* d) {
                         for (int i = 0; i < 5; ++i) d[i] = -(i + 1) * y[i];
                     },
                     {1.0, 1.0, 1.0, 1.0, 1.0}, [](double t) {
                         State y;
                         for (int i = 0; i < 5; ++i) y.push_back(std::exp(-(i + 1) * t));
                         return y;
                     }};
// y' = -50 (y - cos t), y(0) = 0: a fast transient onto a slow solution.
const System kStiff{"stiff", [](double t, const double* y, double* d) { d[0] = -50.0 * (y[0] - std::cos(t)); },
                    {0.0}, [](double t) {
                        return State{(2500.0 * std::cos(t) + 50.0 * std::sin(t) - 2500.0 * std::exp(-50.0 * t)) /
                                     2501.0};
                    }};

// The accepted step types by the constants a script uses.
struct Stepper {
    const char* constant;
    double accuracy;  // reached with the default tolerances on the systems above
};
const Stepper kExplicit[] = {{"math::gsl_rk2", 1e-5},   {"math::gsl_rk4", 1e-5},  {"math::gsl_rkf45", 1e-5},
                             {"math::gsl_rkck", 1e-5},  {"math::gsl_rk8pd", 1e-5}};
const Stepper kImplicit[] = {{"math::gsl_rk2imp", 5e-5}, {"math::gsl_rk4imp", 1e-5}, {"math::gsl_gear1", 5e-3},
                             {"math::gsl_gear2", 1e-4}};

class OdeTest : public LibraryTest {
protected:
    HostValue times(State t) { return host.array({static_cast<int64_t>(t.size())}, t); }
    HostValue vec(State v) { return host.array({static_cast<int64_t>(v.size())}, v); }
    HostValue step_type(const char* constant) { return *host.constant(constant); }

    HostValue call(Args& args) { return host.call(kOde, args); }

    // The arguments of a call with the defaults made explicit, and the step type given.
    Args full(const HostValue& f, const State& t, const State& y0, const HostValue& type) {
        return {f, kEmpty, kEmpty, times(t), vec(y0), real(1e-6), real(1e-6), type, real(1e-6), integer(10000)};
    }

    std::vector<State> rows_of(const HostValue& r) {
        const hostsim::ArrayContents a = host.read(r);
        std::vector<State> rows;
        const size_t width = static_cast<size_t>(a.shape.at(1));
        for (size_t k = 0; k < static_cast<size_t>(a.shape.at(0)); ++k) {
            rows.emplace_back(a.values.begin() + static_cast<ptrdiff_t>(k * width),
                              a.values.begin() + static_cast<ptrdiff_t>((k + 1) * width));
        }
        return rows;
    }

    // Solves decay on [0, 1] from inside its own right-hand side, one level
    // deeper on the first evaluation at each depth, until a call is refused.
    // Returns the number of active calls at the refusal. `solve` calls gsl_ode.
    int deepest_nesting(const std::function<HostValue(Args&)>& solve) {
        int depth = 0;
        int deepest = 0;
        bool probing = true;
        HostValue self{};
        self = host.function(4, [&](std::span<HostValue> p) {
            if (probing) {
                deepest = std::max(deepest, ++depth);
                Args inner{self, kEmpty, kEmpty, times({0, 1}), vec({1})};
                if (is_empty_result(solve(inner)) || depth > 10) probing = false;
                --depth;
            }
            p[2] = make_real(-p[1].real());
            return make_integer(0);
        });
        Args args{self, kEmpty, kEmpty, times({0, 1}), vec({1})};
        solve(args);
        return deepest;
    }
    int deepest_nesting() {
        return deepest_nesting([this](Args& args) { return call(args); });
    }
};

std::vector<RunError> only(int32_t kind, int64_t code) { return {RunError{kind, kOde, code}}; }

bool unwritten(const State& row) {
    return std::all_of(row.begin(), row.end(), [](double d) { return std::bit_cast<uint64_t>(d) == kUnwrittenBits; });
}

// The oscillator integrated by GSL directly, stepped as gsl_ode steps it
// with its default tolerances (1e-6) and initial step (1e-6): the rows, and
// the evolution steps per interval.
struct Direct {
    std::vector<State> rows;
    std::vector<int64_t> steps;
};
Direct integrate_directly(const gsl_odeiv_step_type* type, const State& t) {
    const gsl_odeiv_system system{[](double, const double y[], double d[], void*) -> int {
                                      d[0] = y[1];
                                      d[1] = -y[0];
                                      return GSL_SUCCESS;
                                  },
                                  nullptr, 2, nullptr};
    gsl_odeiv_step* step = gsl_odeiv_step_alloc(type, 2);
    gsl_odeiv_control* control = gsl_odeiv_control_y_new(1e-6, 1e-6);
    gsl_odeiv_evolve* evolve = gsl_odeiv_evolve_alloc(2);
    Direct out;
    double now = t[0], h = 1e-6, y[2] = {1.0, 0.0};
    out.rows.push_back({now, y[0], y[1]});
    for (size_t k = 1; k < t.size(); ++k) {
        int64_t steps = 0;
        while (t[k] > now) {
            EXPECT_EQ(gsl_odeiv_evolve_apply(evolve, control, step, &system, &now, t[k], &h, y), GSL_SUCCESS);
            ++steps;
        }
        out.rows.push_back({now, y[0], y[1]});
        out.steps.push_back(steps);
    }
    gsl_odeiv_evolve_free(evolve);
    gsl_odeiv_control_free(control);
    gsl_odeiv_step_free(step);
    return out;
}

// ---- solutions -------------------------------------------------------------------------------

TEST_F(OdeTest, EveryStepperFollowsTheClosedForms) {
    const State t = {0.0, 0.5, 1.0, 2.0};
    struct Case {
        const System& system;
        std::span<const Stepper> steppers;
    };
    const Case cases[] = {{kDecay, kExplicit},      {kDecay, kImplicit},  {kOscillator, kExplicit},
                          {kOscillator, kImplicit}, {kDecays, kExplicit}, {kDecays, kImplicit},
                          {kStiff, kImplicit}};
    for (const Case& c : cases) {
        for (const Stepper& s : c.steppers) {
            SCOPED_TRACE(testing::Message() << c.system.name << " with " << s.constant);
            host.clear_errors();
            const int64_t returned_before = host.fun_re_obj_calls();
            Args args = full(rhs(host, c.system.y0.size(), c.system.f), t, c.system.y0, step_type(s.constant));
            const HostValue r = call(args);
            ASSERT_EQ(r.base_type, kTypeRealArray);
            EXPECT_EQ(r.ext_type, key());
            EXPECT_EQ(host.fun_re_obj_calls(), returned_before + 1);
            EXPECT_TRUE(host.errors().empty());
            const size_t n = c.system.y0.size();
            EXPECT_EQ(host.read(r).shape, (std::vector<int64_t>{4, static_cast<int64_t>(n + 1)}));
            const std::vector<State> rows = rows_of(r);
            for (size_t k = 0; k < t.size(); ++k) {
                EXPECT_EQ(rows[k][0], t[k]) << "row " << k;
                const State exact = k == 0 ? c.system.y0 : c.system.exact(t[k]);
                for (size_t i = 0; i < n; ++i) EXPECT_NEAR(rows[k][1 + i], exact[i], s.accuracy) << "row " << k;
            }
        }
    }
}

// Each constant selects its GSL stepper, and the library drives it exactly
// as a direct caller would: the same rows to the bit.
TEST_F(OdeTest, EachStepTypeConstantSelectsItsGslStepper) {
    const struct {
        const char* constant;
        const gsl_odeiv_step_type* const* type;
    } cases[] = {
        {"math::gsl_rk2", &gsl_odeiv_step_rk2},       {"math::gsl_rk4", &gsl_odeiv_step_rk4},
        {"math::gsl_rkf45", &gsl_odeiv_step_rkf45},   {"math::gsl_rkck", &gsl_odeiv_step_rkck},
        {"math::gsl_rk8pd", &gsl_odeiv_step_rk8pd},   {"math::gsl_rk2imp", &gsl_odeiv_step_rk2imp},
        {"math::gsl_rk4imp", &gsl_odeiv_step_rk4imp}, {"math::gsl_gear1", &gsl_odeiv_step_gear1},
        {"math::gsl_gear2", &gsl_odeiv_step_gear2},
    };
    const State t = {0, 0.25, 1, 2};
    const HostValue f = rhs(host, 2, kOscillator.f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.constant);
        const std::vector<State> expected = integrate_directly(*c.type, t).rows;
        Args args{f, kEmpty, kEmpty, times(t), vec({1, 0}), real(1e-6), real(1e-6), step_type(c.constant)};
        const std::vector<State> rows = rows_of(call(args));
        for (size_t k = 0; k < t.size(); ++k) {
            for (size_t j = 0; j < 3; ++j) EXPECT_TRUE(same_bits(rows[k][j], expected[k][j])) << k << ", " << j;
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// Omitted optional arguments behave exactly like their stated defaults
// (tolerances 1e-6, rk4, h 1e-6, 10000 steps, soft failure): the same
// evaluations, the same values to the bit.
TEST_F(OdeTest, OmittedArgumentsTakeTheirDefaults) {
    const HostValue f = rhs(host, 2, kOscillator.f);
    Args implicit{f, kEmpty, kEmpty, times({0, 1, 3}), vec({1, 0})};
    Args explicit_ = full(f, {0, 1, 3}, {1, 0}, integer(1));
    explicit_.push_back(make_logical(false));
    int64_t before = host.qecal_calls();
    const HostValue a = call(implicit);
    const int64_t implicit_evaluations = host.qecal_calls() - before;
    before = host.qecal_calls();
    const HostValue b = call(explicit_);
    EXPECT_EQ(host.qecal_calls() - before, implicit_evaluations);
    const std::vector<double> va = host.read(a).values, vb = host.read(b).values;
    ASSERT_EQ(va.size(), vb.size());
    for (size_t i = 0; i < va.size(); ++i) EXPECT_TRUE(same_bits(va[i], vb[i])) << i;
    EXPECT_TRUE(host.errors().empty());
}

// Output times that do not increase take no step: the row repeats the time
// and state reached so far, and later rows go on from there.
TEST_F(OdeTest, OutputTimesThatDoNotIncreaseRepeatTheCurrentRow) {
    const HostValue f = rhs(host, 1, kDecay.f);
    struct Case {
        State t;
        std::vector<size_t> repeats;  // row k repeats row k - 1
    };
    const Case cases[] = {
        {{0, 1, 0.5}, {2}},
        {{0, 1, 1, 2}, {2}},
        {{0, -1, 1}, {1}},
        {{0, NAN, 1}, {1}},
        {{2, 2}, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "times of " << c.t.size() << " starting " << c.t[0] << ", " << c.t[1]);
        Args args{f, kEmpty, kEmpty, times(c.t), vec({1})};
        const std::vector<State> rows = rows_of(call(args));
        for (size_t k : c.repeats) {
            EXPECT_TRUE(same_bits(rows[k][0], rows[k - 1][0]) && same_bits(rows[k][1], rows[k - 1][1])) << k;
        }
        const State& last = rows.back();
        if (last[0] == 1.0) {
            EXPECT_NEAR(last[1], std::exp(-1.0), 1e-5);
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// ---- the pass-through value ------------------------------------------------------------------

TEST_F(OdeTest, EmptyThirdArgumentPassesTheIntervalIndex) {
    std::vector<std::pair<double, HostValue>> seen;  // (t, p) per evaluation
    const HostValue f = host.function(4, [&](std::span<HostValue> p) {
        seen.emplace_back(p[0].real(), p[3]);
        p[2] = make_real(-p[1].real());
        return make_integer(0);
    });
    Args args{f, kEmpty, kEmpty, times({0, 1, 2, 3}), vec({1})};
    call(args);
    ASSERT_FALSE(seen.empty());
    for (const auto& [t, p] : seen) {
        ASSERT_EQ(p.base_type, kTypeInteger);
        EXPECT_EQ(p.ext_type, kTypeInteger);
        // An evaluation at an output time may belong to either interval that meets there.
        EXPECT_GE(p.integer(), static_cast<int64_t>(std::ceil(t)) - 1) << t;
        EXPECT_LE(p.integer(), static_cast<int64_t>(std::floor(t))) << t;
    }
    EXPECT_EQ(seen.back().second.integer(), 2);
}

TEST_F(OdeTest, PassThroughValueOfEachKindArrivesAsItStands) {
    const HostValue samples[] = {
        real(2.5), integer(-3), make_logical(true), make_pair(1, 2), make_option(13), host.string("p"),
        host.array({2}, {1, 2}), host.function(1, [](std::span<HostValue>) { return make_real(0); }),
        HostValue{1, 2, 3, 77, 99},
    };
    for (const HostValue& sample : samples) {
        SCOPED_TRACE(testing::Message() << "base type " << sample.base_type);
        std::vector<HostValue> seen;
        const HostValue f = host.function(4, [&](std::span<HostValue> p) {
            seen.push_back(p[3]);
            p[2] = make_real(0);
            return make_integer(0);
        });
        Args args{f, kEmpty, sample, times({0, 1, 2}), vec({1})};
        call(args);
        ASSERT_FALSE(seen.empty());
        for (const HostValue& p : seen) EXPECT_EQ(std::memcmp(&p, &sample, sizeof p), 0);
    }
    EXPECT_TRUE(host.errors().empty());
}

// ---- refusals ----------------------------------------------------------------------------------

TEST_F(OdeTest, RefusesBadArgumentsWithTheFirstFailingCheck) {
    const HostValue f = rhs(host, 1, kDecay.f);
    const HostValue f2 = rhs(host, 2, kOscillator.f);
    const auto params = [&](int n) { return host.function(n, [](std::span<HostValue>) { return make_integer(0); }); };
    const HostValue t = times({0, 1});
    const HostValue y = vec({1});
    const HostValue text = host.string("f");
    const HostValue stranger = make_array_value(nullptr, kTypeRealArray);
    const HostValue unknown_function{12345, 0, 0, kTypeFunction, kTypeFunction};
    const auto with = [&](Args tail) {
        Args a{f, kEmpty, kEmpty, t, y};
        a.insert(a.end(), tail.begin(), tail.end());
        return a;
    };
    struct Case {
        Args args;
        int64_t code;
    };
    const Case cases[] = {
        // argument counts, checked before anything else
        {{f, kEmpty, kEmpty, t}, 2},
        {Args(12, real(0)), 2},
        {{real(0), kEmpty, kEmpty, t}, 2},
        // f
        {{real(1), kEmpty, kEmpty, t, y}, 3},
        {{text, kEmpty, kEmpty, t, y}, 3},
        {{unknown_function, kEmpty, kEmpty, t, y}, 3},
        {{real(1), real(1), kEmpty, real(0), real(0)}, 3},
        {{params(3), kEmpty, kEmpty, t, y}, 4},
        {{params(5), kEmpty, kEmpty, t, y}, 4},
        {{params(2), kEmpty, kEmpty, t, y}, 4},
        {{params(1), kEmpty, kEmpty, t, y}, 4},
        // the Jacobian, checked before the arrays
        {{f, real(1), kEmpty, t, y}, 3},
        {{f, integer(0), kEmpty, real(0), y}, 3},
        {{f, params(4), kEmpty, t, y}, 4},
        {{f, params(6), kEmpty, t, y}, 4},
        {{f2, params(9), kEmpty, t, vec({1, 0})}, 4},
        // times and y0
        {{f, kEmpty, kEmpty, real(0), y}, 5},
        {{f, kEmpty, kEmpty, stranger, y}, 5},
        {{f, kEmpty, kEmpty, times({0}), y}, 5},
        {{f, kEmpty, kEmpty, t, vec({1, 2})}, 5},
        {{f2, kEmpty, kEmpty, t, y}, 5},
        {{f, kEmpty, kEmpty, t, real(1)}, 5},
        // the optional arguments, in order
        {with({real(-1e-9)}), 5},
        {with({real(NAN)}), 5},
        {with({integer(0)}), 5},
        {with({real(0), real(-1)}), 5},
        {with({real(0), real(0), integer(6)}), 5},
        {with({real(0), real(0), integer(8)}), 5},
        {with({real(0), real(0), integer(11)}), 5},
        {with({real(0), real(0), integer(-1)}), 5},
        {with({real(0), real(0), integer((int64_t{1} << 32) + 8)}), 5},
        {with({real(0), real(0), real(1)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(0)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(-1)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(NAN)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), integer(1)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(1e-6), integer(0)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(1e-6), integer(-5)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(1e-6), integer(int64_t{1} << 32)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(1e-6), real(100)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(1e-6), integer(100), integer(1)}), 5},
        {with({real(1e-6), real(1e-6), integer(1), real(1e-6), integer(100), real(1)}), 5},
    };
    const int64_t evaluations = host.qecal_calls();
    const int64_t arrays = host.new_sys_obj_calls();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        host.clear_errors();
        Args args = cases[i].args;
        EXPECT_TRUE(is_empty_result(call(args)));
        EXPECT_EQ(host.errors(), only(1, cases[i].code));
    }
    EXPECT_EQ(host.qecal_calls(), evaluations);
    EXPECT_EQ(host.new_sys_obj_calls(), arrays);
    // Every refusal gave its level back.
    host.clear_errors();
    EXPECT_EQ(deepest_nesting(), 6);
}

TEST_F(OdeTest, AcceptsTheEdgesOfEveryRange) {
    const HostValue f = rhs(host, 1, kDecay.f);
    const auto with = [&](Args tail) {
        Args a{f, kEmpty, kEmpty, times({0, 1}), vec({1})};
        a.insert(a.end(), tail.begin(), tail.end());
        return a;
    };
    const Args cases[] = {
        with({real(0), real(1e-6)}),
        with({real(1e-6), real(0)}),
        with({real(1e-6), real(1e-6), integer(0)}),
        with({real(1e-6), real(1e-6), integer(10)}),
        // only the low 32 bits of the step type and of the budget count
        with({real(1e-6), real(1e-6), integer((int64_t{1} << 32) + 4)}),
        with({real(1e-6), real(1e-6), integer(4), real(1e-6), integer((int64_t{1} << 32) + 10000)}),
        with({real(1e-6), real(1e-6), integer(4), real(1e-6), integer(INT32_MAX), make_logical(true)}),
        with({real(1e-6), real(1e-6), integer(4), real(1.0)}),
        with({real(1e-6), real(1e-6), integer(4), real(INFINITY)}),
        // plain host arrays, without the private key, and a matrix of n elements as y0
        {f, kEmpty, kEmpty, host.array({2}, {0, 1}, kTypeRealArray), host.array({1}, {1}, kTypeRealArray)},
        {f, kEmpty, kEmpty, host.array({1, 2}, {0, 1}), host.array({1, 1}, {1})},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        host.clear_errors();
        Args args = cases[i];
        const HostValue r = call(args);
        ASSERT_EQ(r.base_type, kTypeRealArray);
        EXPECT_TRUE(host.errors().empty());
        EXPECT_NEAR(rows_of(r)[1][1], std::exp(-1.0), 1e-4);
    }
}

TEST_F(OdeTest, PendingRunErrorReturnsEmptyWithoutReport) {
    host.set_pending(true);
    Args args{rhs(host, 1, kDecay.f), kEmpty, kEmpty, times({0, 1}), vec({1})};
    EXPECT_TRUE(is_empty_result(call(args)));
    Args too_few(2, real(0));
    EXPECT_TRUE(is_empty_result(call(too_few)));
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.qecal_calls(), 0);
    EXPECT_EQ(host.new_sys_obj_calls(), 0);
}

// ---- step budgets --------------------------------------------------------------------------------

// The library steps exactly as GSL does when called directly. The budget
// counts evolution steps per output interval, including the step that
// reaches the output time: a budget one short of what an interval needs
// leaves it incomplete. Every element after the last completed row is then
// the quiet NaN, whatever the host put in the new array; the rows before
// keep their values.
TEST_F(OdeTest, BudgetCountsEveryStepOfAnIntervalAndFillsTheRestWithNaN) {
    host.set_new_array_fill(-777.0);
    const State t = {0, 0.25, 1, 2, 4};
    const Direct direct = integrate_directly(gsl_odeiv_step_rk4, t);
    const int64_t most = *std::max_element(direct.steps.begin(), direct.steps.end());
    const size_t first_longest = static_cast<size_t>(
        std::find(direct.steps.begin(), direct.steps.end(), most) - direct.steps.begin()) + 1;
    int64_t total = 0;
    for (int64_t s : direct.steps) total += s;
    ASSERT_GT(most, 1);
    ASSERT_GT(total, most);

    const HostValue f = rhs(host, 2, kOscillator.f);
    const auto solve = [&](int64_t budget, Args hard) {
        Args args{f, kEmpty, kEmpty, times(t), vec({1, 0}), real(1e-6), real(1e-6), integer(1), real(1e-6),
                  integer(budget)};
        args.insert(args.end(), hard.begin(), hard.end());
        return rows_of(call(args));
    };
    const std::vector<State> complete = solve(most, {});
    EXPECT_TRUE(host.errors().empty());
    for (size_t k = 0; k < t.size(); ++k) {
        for (size_t j = 0; j < 3; ++j) EXPECT_TRUE(same_bits(complete[k][j], direct.rows[k][j])) << k << ", " << j;
    }

    struct Case {
        Args hard;
        std::vector<RunError> errors;
    };
    const Case cases[] = {
        {{}, only(-2, 1)},
        {{make_logical(false)}, only(-2, 1)},
        {{make_logical(true)}, only(1, 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hard.size() << " hard-failure arguments");
        host.clear_errors();
        const std::vector<State> rows = solve(most - 1, c.hard);
        EXPECT_EQ(host.errors(), c.errors);
        for (size_t k = 0; k < rows.size(); ++k) {
            if (k < first_longest) {
                for (size_t j = 0; j < 3; ++j) EXPECT_TRUE(same_bits(rows[k][j], complete[k][j])) << k;
            } else {
                EXPECT_TRUE(unwritten(rows[k])) << "row " << k;
            }
        }
    }
    host.clear_errors();
    EXPECT_EQ(deepest_nesting(), 6);
}

// ---- what the script functions hand back ------------------------------------------------------------

// Rows after a failed step or a run error are the quiet NaN as well.
TEST_F(OdeTest, ScriptFunctionFailures) {
    host.set_new_array_fill(-777.0);
    struct Case {
        const char* what;
        HostValue (*answer)(Host& host, double t, std::span<HostValue> p);  // assigns p, returns the result
        std::vector<RunError> errors;
        size_t rows_written;  // of 4, at times 0, 1, 2, 3
        bool derivatives_given = true;  // before t = 1.5
    };
    const Case cases[] = {
        {"returns the real 0.0",
         [](Host&, double, std::span<HostValue> p) {
             p[2] = make_real(-p[1].real());
             return make_real(0.0);
         },
         only(1, 7), 4},
        {"assigns an integer from t = 1.5",
         [](Host&, double t, std::span<HostValue> p) {
             p[2] = t < 1.5 ? make_real(-p[1].real()) : make_integer(0);
             return make_integer(0);
         },
         only(1, 7), 4},
        {"assigns nothing",
         [](Host&, double, std::span<HostValue>) { return make_integer(0); }, only(1, 7), 4, false},
        {"returns the status 5 from t = 1.5",
         [](Host&, double t, std::span<HostValue> p) {
             p[2] = make_real(-p[1].real());
             return make_integer(t < 1.5 ? 0 : 5);
         },
         only(-1, 5), 2},
        // GSL takes the low 32 bits of the payload as the status.
        {"returns 2^32 + 9 from t = 1.5",
         [](Host&, double t, std::span<HostValue> p) {
             p[2] = make_real(-p[1].real());
             return make_integer(t < 1.5 ? int64_t{1} << 32 : (int64_t{1} << 32) + 9);
         },
         only(-1, 9), 2},
        {"returns the status 5 and a pair from t = 1.5",
         [](Host&, double t, std::span<HostValue> p) {
             p[2] = t < 1.5 ? make_real(-p[1].real()) : make_pair(0, 0);
             return make_integer(t < 1.5 ? 0 : 5);
         },
         {{-1, kOde, 5}, {1, kOde, 7}}, 2},
        {"raises a run error from t = 1.5",
         [](Host& host, double t, std::span<HostValue> p) {
             if (t >= 1.5 && !host.pending()) host.raise("script", 42);
             p[2] = make_real(-p[1].real());
             return make_integer(0);
         },
         {{1, "script", 42}}, 2},
        {"raises a run error and returns a real from t = 1.5",
         [](Host& host, double t, std::span<HostValue> p) {
             if (t >= 1.5 && !host.pending()) host.raise("script", 42);
             p[2] = make_real(-p[1].real());
             return t < 1.5 ? make_integer(0) : make_real(0);
         },
         {{1, "script", 42}, {1, kOde, 7}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        host.set_pending(false);
        const HostValue f = host.function(4, [&](std::span<HostValue> p) { return c.answer(host, p[0].real(), p); });
        Args args{f, kEmpty, kEmpty, times({0, 1, 2, 3}), vec({1})};
        const HostValue r = call(args);
        EXPECT_EQ(host.errors(), c.errors);
        ASSERT_EQ(r.base_type, kTypeRealArray);
        const std::vector<State> rows = rows_of(r);
        for (size_t k = 0; k < rows.size(); ++k) {
            if (k < c.rows_written) {
                EXPECT_EQ(rows[k][0], static_cast<double>(k));
                EXPECT_FALSE(std::isnan(rows[k][1])) << "row " << k;
            } else {
                EXPECT_TRUE(unwritten(rows[k])) << "row " << k;
            }
        }
        if (c.derivatives_given) {
            EXPECT_NEAR(rows[1][1], std::exp(-1.0), 1e-5);
        }
    }
    host.set_pending(false);
    host.clear_errors();
    EXPECT_EQ(deepest_nesting(), 6);
}

// ---- the Jacobian -------------------------------------------------------------------------------

// None of the accepted step types evaluates the Jacobian in this GSL: the
// implicit ones solve their stages by iteration. A Jacobian is resolved and
// checked, and leaves every result as it is.
TEST_F(OdeTest, GivenJacobianIsResolvedAndLeavesResultsUnchanged) {
    int64_t jacobian_calls = 0;
    const HostValue jacobian = host.function(10, [&](std::span<HostValue> p) {
        ++jacobian_calls;
        p[3] = make_real(0);
        p[4] = make_real(1);
        p[5] = make_real(-1);
        p[6] = make_real(0);
        p[7] = make_real(0);
        p[8] = make_real(0);
        return make_integer(0);
    });
    const HostValue f = rhs(host, 2, kOscillator.f);
    for (const auto& steppers : {std::span<const Stepper>(kExplicit), std::span<const Stepper>(kImplicit)}) {
        for (const Stepper& s : steppers) {
            SCOPED_TRACE(s.constant);
            Args without = full(f, {0, 1, 2}, {1, 0}, step_type(s.constant));
            Args with = without;
            with[1] = jacobian;
            const std::vector<double> a = host.read(call(without)).values;
            const std::vector<double> b = host.read(call(with)).values;
            ASSERT_EQ(a.size(), b.size());
            for (size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(same_bits(a[i], b[i])) << i;
        }
    }
    EXPECT_EQ(jacobian_calls, 0);
    EXPECT_TRUE(host.errors().empty());
}

// ---- nesting ------------------------------------------------------------------------------------------

// y' = z(t), where z(t) = exp(-t) comes from an inner gsl_ode call that
// solves z' = -z from 0 to t: y(t) = 1 - exp(-t).
TEST_F(OdeTest, RightHandSideSolvesAnInnerSystem) {
    const HostValue inner = rhs(host, 1, kDecay.f);
    const HostValue outer = host.function(4, [&](std::span<HostValue> p) {
        const double t = p[0].real();
        double z = 1.0;
        if (t > 0.0) {
            Args args{inner, kEmpty, kEmpty, times({0, t}), vec({1}), real(1e-10), real(1e-10)};
            z = rows_of(call(args))[1][1];
        }
        p[2] = make_real(z);
        return make_integer(0);
    });
    Args args{outer, kEmpty, real(0), times({0, 1, 2}), vec({0}), real(1e-8), real(1e-8), integer(4)};
    const std::vector<State> rows = rows_of(call(args));
    EXPECT_NEAR(rows[1][1], 1.0 - std::exp(-1.0), 1e-7);
    EXPECT_NEAR(rows[2][1], 1.0 - std::exp(-2.0), 1e-7);
    EXPECT_TRUE(host.errors().empty());
}

// Six calls nest; the seventh is refused with code 1 ahead of the pending-error test.
TEST_F(OdeTest, SixCallsNestAndTheSeventhIsRefused) {
    EXPECT_EQ(deepest_nesting(), 6);
    EXPECT_EQ(host.errors(), only(1, 1));

    int depth = 0;
    HostValue seventh{};
    HostValue self{};
    self = host.function(4, [&](std::span<HostValue> p) {
        if (depth < 6) {
            ++depth;
            Args inner{self, kEmpty, kEmpty, times({0, 1}), vec({1})};
            if (depth < 6) {
                call(inner);
            } else {
                host.set_pending(true);
                seventh = call(inner);
                host.set_pending(false);
            }
        }
        p[2] = make_real(-p[1].real());
        return make_integer(0);
    });
    host.clear_errors();
    Args args{self, kEmpty, kEmpty, times({0, 1}), vec({1})};
    EXPECT_EQ(call(args).base_type, kTypeRealArray);
    EXPECT_TRUE(is_empty_result(seventh));
    EXPECT_EQ(host.errors(), only(1, 1));
}

// A nested call neither hides the enclosing call's failed evaluation nor
// keeps its own failure from the enclosing call.
TEST_F(OdeTest, FailedEvaluationsSurviveNestedCalls) {
    const HostValue good = rhs(host, 1, kDecay.f);
    const HostValue bad = host.function(4, [](std::span<HostValue> p) {
        p[2] = make_real(-p[1].real());
        return make_real(0);
    });
    struct Case {
        HostValue first_result;  // of the outer right-hand side's first evaluation
        HostValue nested;        // solved by its second evaluation
        std::vector<RunError> errors;
    };
    const Case cases[] = {
        {real(0), good, only(1, 7)},
        {integer(0), bad, {{1, kOde, 7}, {1, kOde, 7}}},
        {integer(0), good, {}},
    };
    for (const Case& c : cases) {
        host.clear_errors();
        int evaluation = 0;
        const HostValue outer = host.function(4, [&](std::span<HostValue> p) {
            ++evaluation;
            if (evaluation == 2) {
                Args inner{c.nested, kEmpty, kEmpty, times({0, 1}), vec({1})};
                call(inner);
            }
            p[2] = make_real(-p[1].real());
            return evaluation == 1 ? c.first_result : make_integer(0);
        });
        Args args{outer, kEmpty, kEmpty, times({0, 1}), vec({1})};
        EXPECT_EQ(call(args).base_type, kTypeRealArray);
        EXPECT_EQ(host.errors(), c.errors);
    }
}

// ---- allocation --------------------------------------------------------------------------------------

TEST_F(OdeTest, ResultArrayThatCannotBeMadeReportsCode6) {
    const HostValue f = rhs(host, 1, kDecay.f);
    // The host refuses the array.
    host.fail_new_sys_obj_at(1);
    Args args{f, kEmpty, kEmpty, times({0, 1}), vec({1})};
    EXPECT_TRUE(is_empty_result(call(args)));
    EXPECT_EQ(host.errors(), only(1, 6));
    // m (n + 1) elements would overflow 64 bits: refused before the host is asked.
    host.clear_errors();
    const HostValue t = times({0, 1});
    host.object(t)->count = std::numeric_limits<int64_t>::max() / 2 + 1;
    const int64_t arrays = host.new_sys_obj_calls();
    Args overflowing{f, kEmpty, kEmpty, t, vec({1})};
    EXPECT_TRUE(is_empty_result(call(overflowing)));
    EXPECT_EQ(host.errors(), only(1, 6));
    EXPECT_EQ(host.new_sys_obj_calls(), arrays);
    EXPECT_EQ(host.qecal_calls(), 0);
    host.object(t)->count = 2;
    host.clear_errors();
    EXPECT_EQ(deepest_nesting(), 6);
}

// Driven on the library's object files linked into this test, so that the
// GSL allocators can be replaced; their host interface is bound to the
// stand-in host here, as load would bind it.
class LinkedOdeTest : public OdeTest {
protected:
    void SetUp() override {
        OdeTest::SetUp();
        bind_linked_library(key());
        gsl_set_error_handler_off();
    }
    void TearDown() override {
        hostmath::ode::set_gsl_allocators({});
        unbind_linked_library();
        OdeTest::TearDown();
    }

    HostValue call_linked(Args& args) {
        HostValue result{};
        return *hostmath::gsl_ode(&result, static_cast<int64_t>(args.size()) - 1, args.data(), host.context());
    }
};

TEST_F(LinkedOdeTest, MissingGslObjectReportsCode9AndLeavesNoArray) {
    using hostmath::ode::GslAllocators;
    const GslAllocators failing[] = {
        {.step = [](const gsl_odeiv_step_type*, size_t) -> gsl_odeiv_step* { return nullptr; }},
        {.control = [](double, double) -> gsl_odeiv_control* { return nullptr; }},
        {.evolve = [](size_t) -> gsl_odeiv_evolve* { return nullptr; }},
    };
    const HostValue f = rhs(host, 1, kDecay.f);
    for (const GslAllocators& allocators : failing) {
        host.clear_errors();
        hostmath::ode::set_gsl_allocators(allocators);
        Args args{f, kEmpty, kEmpty, times({0, 1}), vec({1})};
        EXPECT_TRUE(is_empty_result(call_linked(args)));
        EXPECT_EQ(host.errors(), only(1, 9));
    }
    EXPECT_EQ(host.new_sys_obj_calls(), 0);
    EXPECT_EQ(host.qecal_calls(), 0);

    // The level was given back every time: six nested calls fit, the seventh is refused.
    hostmath::ode::set_gsl_allocators({});
    host.clear_errors();
    EXPECT_EQ(deepest_nesting([this](Args& args) { return call_linked(args); }), 6);
    EXPECT_EQ(host.errors(), only(1, 1));
}

// No accepted step type calls the Jacobian, so the Jacobian adapter is
// exercised by a stepper of the test's own: rk4, which first evaluates the
// system's Jacobian at the step's start and keeps what it delivered.
struct JacobianProbe {
    static inline gsl_odeiv_step_type type{};
    static inline int calls = 0;
    static inline int status = 0;
    static inline double dfdy[4] = {};
    static inline double dfdt[2] = {};

    static int apply(void* state, size_t dim, double t, double h, double y[], double yerr[], const double dydt_in[],
                     double dydt_out[], const gsl_odeiv_system* system) {
        ++calls;
        status = GSL_ODEIV_JA_EVAL(system, t, y, dfdy, dfdt);
        if (status != GSL_SUCCESS) return status;
        return gsl_odeiv_step_rk4->apply(state, dim, t, h, y, yerr, dydt_in, dydt_out, system);
    }
    static gsl_odeiv_step* allocate(const gsl_odeiv_step_type*, size_t dim) {
        type = *gsl_odeiv_step_rk4;
        type.apply = apply;
        return gsl_odeiv_step_alloc(&type, dim);
    }
};

TEST_F(LinkedOdeTest, JacobianAdapterFillsGslsMatrixAndTimeDerivatives) {
    hostmath::ode::set_gsl_allocators({.step = JacobianProbe::allocate});
    const HostValue f = rhs(host, 2, kOscillator.f);
    struct Case {
        const char* what;
        HostValue entry;   // J21, as the Jacobian assigns it
        HostValue result;  // what the Jacobian returns
        std::vector<RunError> errors;
    };
    const Case cases[] = {
        {"reals", real(-1), integer(0), {}},
        {"an integer entry", integer(-1), integer(0), only(1, 7)},
        {"a real result", real(-1), real(0), only(1, 7)},
        {"a non-zero status", real(-1), integer(3), only(-1, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        JacobianProbe::calls = 0;
        std::vector<HostValue> passed;
        const HostValue jacobian = host.function(10, [&](std::span<HostValue> p) {
            passed.push_back(p[9]);
            EXPECT_EQ(p[0].base_type, kTypeReal);
            // J = [[0, 1], [J21, 0]] at the state (y1, y2); df/dt = (y1, y2).
            p[3] = make_real(0);
            p[4] = make_real(1);
            p[5] = c.entry;
            p[6] = make_real(0);
            p[7] = p[1];
            p[8] = p[2];
            return c.result;
        });
        Args args{f, jacobian, real(7.5), times({0, 1}), vec({1, 0})};
        const HostValue r = call_linked(args);
        EXPECT_EQ(host.errors(), c.errors);
        ASSERT_EQ(r.base_type, kTypeRealArray);
        ASSERT_GT(JacobianProbe::calls, 0);
        EXPECT_EQ(passed.size(), static_cast<size_t>(JacobianProbe::calls));
        for (const HostValue& p : passed) EXPECT_TRUE(p.base_type == kTypeReal && p.real() == 7.5);
        EXPECT_EQ(JacobianProbe::dfdy[0], 0.0);
        EXPECT_EQ(JacobianProbe::dfdy[1], 1.0);
        // The payload is taken whatever the entry's type.
        EXPECT_EQ(std::bit_cast<uint64_t>(JacobianProbe::dfdy[2]), c.entry.word1);
        EXPECT_EQ(JacobianProbe::dfdy[3], 0.0);
        // Taken at the last step's start, the state written into the records.
        const std::vector<State> rows = rows_of(r);
        if (c.errors.empty()) {
            EXPECT_NEAR(rows[1][1], std::cos(1.0), 1e-5);
            EXPECT_NE(JacobianProbe::dfdt[0], 0.0);
        } else if (c.errors[0].kind == -1) {
            EXPECT_EQ(JacobianProbe::calls, 1);
            EXPECT_EQ(JacobianProbe::dfdt[0], 1.0);
            EXPECT_EQ(JacobianProbe::dfdt[1], 0.0);
            EXPECT_TRUE(unwritten(rows[1]));
        }
    }
}

}  // namespace

// The right-hand side lets go of the times array while the call steps
// through it: the call works on its own copy and gives the same rows.
TEST_F(OdeTest, TimesReleasedByTheRightHandSideAreNotReadAgain) {
    auto solve = [&](bool release) {
        const HostValue t = times({0, 0.5, 1, 2});
        int calls = 0;
        const HostValue f = host.function(4, [&, t](std::span<HostValue> p) {
            if (++calls == 2 && release) host.release(t);
            p[2] = make_real(-p[1].real());
            return make_integer(0);
        });
        Args args{f, kEmpty, kEmpty, t, vec({1})};
        return host.read(call(args)).values;
    };
    const std::vector<double> undisturbed = solve(false);
    const std::vector<double> released = solve(true);
    ASSERT_EQ(released.size(), undisturbed.size());
    for (size_t i = 0; i < released.size(); ++i) EXPECT_TRUE(same_bits(released[i], undisturbed[i])) << i;
    EXPECT_TRUE(host.errors().empty());
}
