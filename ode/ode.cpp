// SPDX-License-Identifier: GPL-3.0-or-later
// Integration of ODE systems whose right-hand side is a script function,
// with the GSL evolution routines of the gsl_odeiv interface.
//
// gsl_ode checks its arguments, resolves the right-hand side (and the
// Jacobian, when one is given) once, and lets GSL step the system from one
// output time to the next. GSL calls the adapters below, which evaluate the
// script functions through the host. The result has one row per output
// time: the time reached, then the state.
//
// A right-hand side may call gsl_ode again: the routine counts its active
// calls and keeps one slot per level (script/nesting.h), as the quadrature
// routines do.
#include "ode/ode.h"

#include <gsl/gsl_errno.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>

#include "kernels/allocation.h"
#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/nesting.h"
#include "script/script_functions.h"

namespace hostmath {
namespace {

constexpr const HostChar* kName = u"math::gsl_ode";

// Run-error codes, reported with kind 1.
enum OdeCode : int64_t {
    kCodeTooDeep = 1,          // six calls are already active
    kCodeArgumentCount = 2,    // number of arguments outside 5 to 11
    kCodeNotAFunction = 3,     // f, or a given Jacobian, is not a script function the host can resolve
    kCodeParameterCount = 4,   // f does not take 2n + 2 parameters (n >= 1), or the Jacobian n^2 + 2n + 2
    kCodeBadArgument = 5,      // times, y0 or an optional argument
    kCodeNoMemory = 6,         // the state vector or the result array could not be allocated
    kCodeScriptValue = 7,      // a script function returned a non-integer or left a non-real output
    kCodeBudgetExhausted = 8,  // a step budget ran out and a hard failure was asked for
    // GSL could not allocate the stepper, the control or the evolution
    // object. The documented codes stop at 8; this one follows them and is
    // listed in docs/ode.md.
    kCodeNoGslObject = 9,
};
// The other report kinds: a GSL status, and the soft end of a step budget.
constexpr int32_t kKindGslStatus = -1;
constexpr int32_t kKindSoftStop = -2;
constexpr int64_t kCodeSoftBudget = 1;

constexpr int64_t kLeastArguments = 5;
constexpr int64_t kMostArguments = 11;
constexpr double kDefaultTolerance = 1e-6;
constexpr double kDefaultInitialStep = 1e-6;
constexpr int32_t kDefaultMaxSteps = 10000;
constexpr uint32_t kDefaultStepType = 1;  // gsl_rk4

// Every element of a row that is never written: a quiet NaN.
constexpr uint64_t kUnwrittenBits = 0x7FF8000000000000;

// GSL's step types by the value a script passes, the constants gsl_rk2 (0)
// to gsl_gear2 (10): the order matters. rk2simp (6) and bsimp (8) are
// refused; both need the Jacobian on every step, and this interface's
// rk2simp writes past its own state when it is allocated.
const gsl_odeiv_step_type* const* const kStepTypes[] = {
    &gsl_odeiv_step_rk2,     // 0
    &gsl_odeiv_step_rk4,     // 1
    &gsl_odeiv_step_rkf45,   // 2
    &gsl_odeiv_step_rkck,    // 3
    &gsl_odeiv_step_rk8pd,   // 4
    &gsl_odeiv_step_rk2imp,  // 5
    nullptr,                 // 6: rk2simp
    &gsl_odeiv_step_rk4imp,  // 7
    nullptr,                 // 8: bsimp
    &gsl_odeiv_step_gear1,   // 9
    &gsl_odeiv_step_gear2,   // 10
};

// ---- nesting state -----------------------------------------------------------------

// The script functions of the call at one level. Their parameter records
// are laid out as t, y1 ... yn, then the outputs, then the pass-through value.
struct Slot {
    ResolvedFunction rhs;       // outputs: dy1/dt ... dyn/dt
    ResolvedFunction jacobian;  // outputs: J11 ... Jnn row after row, df1/dt ... dfn/dt; null handle: none
    size_t n;                   // the number of state variables
    bool failed;                // a script function handed back a value of the wrong kind
};

Nesting<Slot> g_nesting;

size_t rhs_param_count(size_t n) { return 2 * n + 2; }
size_t jacobian_param_count(size_t n) { return n * n + 2 * n + 2; }

// ---- the adapters ------------------------------------------------------------------------

// Called by GSL several times per step: no allocation, no lookup, no
// conversion beyond writing the records and reading them back. GSL cannot be
// told about a value of the wrong kind, so it only marks the slot; the driver
// reports it when GSL is done.

void put_real(HostValue& record, double d) {
    record.word1 = std::bit_cast<uint64_t>(d);
    record.ext_type = kTypeReal;
    record.base_type = kTypeReal;
}

// What an evaluation returned: whether it was an integer, and its payload's
// low 32 bits, which are GSL's status whatever the type.
struct Returned {
    bool integer;
    int status;
};

// Writes t, y and the pass-through value into the function's own records
// and evaluates it once. Only the type and the payload word of the returned
// record are needed, and they are read before any other host call can
// reuse it.
Returned evaluate(const ResolvedFunction& f, size_t param_count, double t, std::span<const double> y,
                  const HostValue& pass) {
    HostValue* records = f.params;
    put_real(records[0], t);
    for (size_t i = 0; i < y.size(); ++i) put_real(records[1 + i], y[i]);
    records[param_count - 1] = pass;
    HostValue buffer;
    const HostValue* returned = host().QeCal(&buffer, f.handle, records);
    return {returned->base_type == kTypeInteger, static_cast<int32_t>(static_cast<uint32_t>(returned->word1))};
}

// Takes the values a script function assigned to its output records; false
// when any of them is not a real (its payload is taken all the same).
bool take_reals(const HostValue* records, std::span<double> out) {
    // Any bit set marks a type that is not real; no branch per record.
    int32_t other_types = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        other_types |= records[i].base_type ^ kTypeReal;
        out[i] = records[i].real();
    }
    return other_types == 0;
}

// N is the number of state variables when it is known at compile time, 0 otherwise.
template <size_t N>
int evaluate_rhs(double t, const double y[], double dydt[], void* pass) {
    Slot& slot = g_nesting.current();
    const size_t n = N != 0 ? N : slot.n;
    const Returned r = evaluate(slot.rhs, rhs_param_count(n), t, {y, n}, *static_cast<const HostValue*>(pass));
    const bool reals = take_reals(slot.rhs.params + 1 + n, {dydt, n});
    if (!r.integer || !reals) slot.failed = true;
    return r.status;
}

// The right-hand-side adapter GSL gets for n state variables, indexed by n
// (entry 0 serves any n). Small systems get one whose loops have a fixed
// length: on a cheap right-hand side, their bookkeeping is a good part of
// what an evaluation costs on this side of the host.
using RhsAdapter = int (*)(double t, const double y[], double dydt[], void* pass);
constexpr RhsAdapter kSmallRhsAdapters[] = {evaluate_rhs<0>, evaluate_rhs<1>, evaluate_rhs<2>, evaluate_rhs<3>,
                                            evaluate_rhs<4>};
RhsAdapter rhs_adapter(size_t n) { return n < std::size(kSmallRhsAdapters) ? kSmallRhsAdapters[n] : evaluate_rhs<0>; }

// dfdy is GSL's n x n matrix in row-major order, the order of the records.
int evaluate_jacobian(double t, const double y[], double* dfdy, double dfdt[], void* pass) {
    Slot& slot = g_nesting.current();
    const size_t n = slot.n;
    const Returned r =
        evaluate(slot.jacobian, jacobian_param_count(n), t, {y, n}, *static_cast<const HostValue*>(pass));
    const HostValue* outputs = slot.jacobian.params + 1 + n;
    const bool matrix_reals = take_reals(outputs, {dfdy, n * n});
    const bool time_reals = take_reals(outputs + n * n, {dfdt, n});
    if (!r.integer || !matrix_reals || !time_reals) slot.failed = true;
    return r.status;
}

// ---- GSL objects ---------------------------------------------------------------------------

// The three objects of one call, freed in the order evolution, control, stepper.
struct GslObjects {
    Owned<gsl_odeiv_step, gsl_odeiv_step_free> step;
    Owned<gsl_odeiv_control, gsl_odeiv_control_free> control;
    Owned<gsl_odeiv_evolve, gsl_odeiv_evolve_free> evolve;

    bool ok() const { return step && control && evolve; }
};

const ode::GslAllocators kDefaultAllocators{gsl_odeiv_step_alloc, gsl_odeiv_control_y_new, gsl_odeiv_evolve_alloc};
ode::GslAllocators g_allocators = kDefaultAllocators;

// ---- arguments --------------------------------------------------------------------------------

// The inputs of one integration, after the checks; the optional ones hold
// their defaults until an argument replaces them.
struct Problem {
    const RealArray* time_array = nullptr;  // the start time, then the output times
    const RealArray* y0 = nullptr;
    // The call's own copy of the times: the steps read them between
    // evaluations of the right-hand side, which may let go of the script's array.
    Scratch<double> times;
    double epsabs = kDefaultTolerance;
    double epsrel = kDefaultTolerance;
    const gsl_odeiv_step_type* step_type = *kStepTypes[kDefaultStepType];
    double h = kDefaultInitialStep;
    int64_t max_steps = kDefaultMaxSteps;  // per output interval
    bool hard_failure = false;
};

// Only the integer's low 32 bits count, taken as unsigned, so that a
// negative value is out of range.
bool read_step_type(const HostValue& v, Problem* p) {
    if (!is_integer(v)) return false;
    const auto value = static_cast<uint32_t>(v.word1);
    if (value >= std::size(kStepTypes) || kStepTypes[value] == nullptr) return false;
    p->step_type = *kStepTypes[value];
    return true;
}

// Greater than 0; NaN is refused.
bool read_initial_step(const HostValue& v, Problem* p) {
    if (!is_real(v) || !(v.real() > 0.0)) return false;
    p->h = v.real();
    return true;
}

// Only the integer's low 32 bits count, taken as signed.
bool read_max_steps(const HostValue& v, Problem* p) {
    if (!is_integer(v)) return false;
    const auto steps = static_cast<int32_t>(static_cast<uint32_t>(v.word1));
    if (steps < 1) return false;
    p->max_steps = steps;
    return true;
}

bool read_hard_failure(const HostValue& v, Problem* p) {
    if (!is_logical(v)) return false;
    p->hard_failure = v.word1 != 0;
    return true;
}

// Arguments 6 to 11, in argument order.
using OptionalReader = bool (*)(const HostValue& v, Problem* p);
constexpr OptionalReader kOptionalReaders[] = {
    [](const HostValue& v, Problem* p) { return read_tolerance(v, &p->epsabs); },
    [](const HostValue& v, Problem* p) { return read_tolerance(v, &p->epsrel); },
    read_step_type,
    read_initial_step,
    read_max_steps,
    read_hard_failure,
};
static_assert(std::size(kOptionalReaders) == kMostArguments - kLeastArguments);

// times and y0 (arguments 4 and 5), then the optional arguments; false at
// the first that fails.
bool read_problem(std::span<const HostValue> args, size_t n, Problem* p) {
    p->time_array = lookup_array(args[3]);
    p->y0 = lookup_array(args[4]);
    if (p->time_array == nullptr || p->y0 == nullptr) return false;
    if (p->time_array->count < 2 || p->y0->count != static_cast<int64_t>(n)) return false;
    for (size_t i = kLeastArguments; i < args.size(); ++i) {
        if (!kOptionalReaders[i - kLeastArguments](args[i], p)) return false;
    }
    return true;
}

// What every evaluation receives as its last parameter: a copy of argument
// 3, or, when that is empty, the index of the output interval being
// integrated (0 from the first output time to the second).
class PassThrough {
public:
    explicit PassThrough(const HostValue& arg)
        : value_(is_empty_value(arg) ? make_integer(0) : arg), interval_index_(is_empty_value(arg)) {}
    void enter_interval(int64_t index) {
        if (interval_index_) value_ = make_integer(index);
    }
    HostValue* record() { return &value_; }

private:
    HostValue value_;
    bool interval_index_;
};

// ---- the driver --------------------------------------------------------------------------------

// How one call's stepping ended.
struct Stop {
    int64_t rows_written;
    int status = GSL_SUCCESS;  // of a step that failed
    bool budget_exhausted = false;
};

// Steps from output time to output time and writes each row once it is
// reached: the time, then the state. Stops for good at a pending run error,
// a failed step or an exhausted budget. h and t carry over from interval to
// interval, and the evolution object is never reset.
Stop step_through(const Problem& p, PassThrough& pass, GslObjects& gsl, const gsl_odeiv_system& system,
                  std::span<double> y, std::span<double> rows) {
    const int64_t m = static_cast<int64_t>(p.times.size());
    const size_t width = y.size() + 1;
    const auto write_row = [&](int64_t k, double t) {
        double* row = rows.data() + static_cast<size_t>(k) * width;
        row[0] = t;
        std::copy(y.begin(), y.end(), row + 1);
    };
    double t = p.times[0];
    double h = p.h;
    write_row(0, t);
    for (int64_t k = 1; k < m; ++k) {
        const double t1 = p.times[static_cast<size_t>(k)];
        pass.enter_interval(k - 1);
        int64_t steps = 0;
        // An output time that is not after t takes no step: its row repeats the current one.
        while (t1 > t) {
            if (run_error_pending()) return {k};
            const int status = gsl_odeiv_evolve_apply(gsl.evolve.get(), gsl.control.get(), gsl.step.get(), &system,
                                                      &t, t1, &h, y.data());
            if (status != GSL_SUCCESS) return {k, status};
            // Counted before t is compared with t1: a step that reaches t1 as
            // step max_steps + 1 is still one too many.
            if (++steps > p.max_steps) return {k, GSL_SUCCESS, true};
        }
        write_row(k, t);
    }
    return {m};
}

// What one call comes to: a refusal code, or the array and how its stepping ended.
struct Outcome {
    int64_t refusal = 0;
    RealArray* rows = nullptr;
    Stop stop{0};
    bool hard_failure = false;
    bool script_failed = false;
};

Outcome refused(int64_t code) { return Outcome{.refusal = code}; }

// Everything that runs while the call holds its level: resolve the script
// functions into the slot, check the inputs, allocate, step. The state
// vector and the GSL objects are released before returning.
Outcome solve_at_level(Slot& slot, std::span<const HostValue> args) {
    if (!resolve_function(args[0], &slot.rhs)) return refused(kCodeNotAFunction);
    const int32_t last_param = slot.rhs.last_param;
    if (last_param < 3 || last_param % 2 == 0) return refused(kCodeParameterCount);
    const size_t n = static_cast<size_t>(last_param / 2);
    slot.n = n;
    slot.jacobian = ResolvedFunction{};
    const bool has_jacobian = !is_empty_value(args[1]);
    if (has_jacobian) {
        if (!resolve_function(args[1], &slot.jacobian)) return refused(kCodeNotAFunction);
        if (static_cast<uint64_t>(slot.jacobian.last_param) + 1 != jacobian_param_count(n)) {
            return refused(kCodeParameterCount);
        }
    }
    PassThrough pass(args[2]);
    Problem problem;
    if (!read_problem(args, n, &problem)) return refused(kCodeBadArgument);

    Scratch<double> y(static_cast<int64_t>(n));
    problem.times = Scratch<double>(problem.time_array->count);
    if (!y.ok() || !problem.times.ok()) return refused(kCodeNoMemory);
    std::copy_n(problem.time_array->data, problem.time_array->count, problem.times.get());
    // The GSL objects come before the result array, so that a failure here
    // leaves no array behind that the host was never handed.
    GslObjects gsl;
    // Each through the allocation gate; none after the first that fails.
    gsl.step.reset(allocate_gated(g_allocators.step, problem.step_type, n));
    if (gsl.step) gsl.control.reset(allocate_gated(g_allocators.control, problem.epsabs, problem.epsrel));
    if (gsl.control) gsl.evolve.reset(allocate_gated(g_allocators.evolve, n));
    if (!gsl.ok()) return refused(kCodeNoGslObject);
    RealArray* rows = new_matrix(problem.time_array->count, static_cast<int64_t>(n) + 1);
    if (rows == nullptr) return refused(kCodeNoMemory);

    const gsl_odeiv_system system{rhs_adapter(n), has_jacobian ? evaluate_jacobian : nullptr, n, pass.record()};
    std::copy_n(problem.y0->data, n, y.get());
    slot.failed = false;
    const std::span<double> elements(rows->data, static_cast<size_t>(rows->count));
    const Stop stop = step_through(problem, pass, gsl, system, {y.get(), n}, elements);
    std::fill(elements.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(stop.rows_written) * (n + 1)),
              elements.end(), std::bit_cast<double>(kUnwrittenBits));
    return Outcome{.rows = rows, .stop = stop, .hard_failure = problem.hard_failure, .script_failed = slot.failed};
}

// Reports and hands back what the call came to; the level is already given
// back and GSL's objects are freed.
HostValue* deliver(HostValue* result, const Outcome& out, void* ctx) {
    if (out.refusal != 0) return fail(result, kName, out.refusal, ctx);
    if (out.stop.status != GSL_SUCCESS) report_kind(kKindGslStatus, kName, out.stop.status, ctx);
    if (out.stop.budget_exhausted) {
        if (out.hard_failure) {
            report(kName, kCodeBudgetExhausted, ctx);
        } else {
            report_kind(kKindSoftStop, kName, kCodeSoftBudget, ctx);
        }
    }
    // The array is returned all the same.
    if (out.script_failed) report(kName, kCodeScriptValue, ctx);
    return return_new_array(result, out.rows, ctx);
}

}  // namespace

void ode::set_gsl_allocators(const GslAllocators& allocators) {
    g_allocators.step = allocators.step != nullptr ? allocators.step : kDefaultAllocators.step;
    g_allocators.control = allocators.control != nullptr ? allocators.control : kDefaultAllocators.control;
    g_allocators.evolve = allocators.evolve != nullptr ? allocators.evolve : kDefaultAllocators.evolve;
}

HostValue* gsl_ode(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    if (g_nesting.full()) return fail(result, kName, kCodeTooDeep, ctx);
    if (run_error_pending()) return result;
    // Compared as the last index, so that no count the host passes can overflow.
    if (last_index < kLeastArguments - 1 || last_index > kMostArguments - 1) {
        return fail(result, kName, kCodeArgumentCount, ctx);
    }
    const std::span<const HostValue> arguments(args, static_cast<size_t>(last_index + 1));

    Outcome out;
    {
        LevelTaken<Slot> level(g_nesting);
        out = solve_at_level(level.slot(), arguments);
    }
    g_nesting.pass_failure_up(out.script_failed);
    return deliver(result, out, ctx);
}

}  // namespace hostmath
