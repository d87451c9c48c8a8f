// SPDX-License-Identifier: GPL-3.0-or-later
// A root and a minimum of a script function on an interval, with GSL's Brent
// solvers: fzero (gsl_root_fsolver_brent) and fminbnd
// (gsl_min_fminimizer_brent).
//
// Both take f, a, b [, epsabs [, epsrel [, maxit]]] and run the same loop:
// one GSL iteration at a time, asking the host for a pending run error after
// each, until GSL's interval test accepts the bracket or maxit iterations are
// spent. They differ in how they start: fzero needs f to change sign over
// [a, b], fminbnd a point inside with f below both ends, which it looks for by
// golden-section narrowing.
//
// Calls nest like the quadrature functions: each function counts its own
// active calls (script/nesting.h) and keeps one slot per level with the
// script function it evaluates there.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_min.h>
#include <gsl/gsl_roots.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <span>

#include "kernels/allocation.h"
#include "script/math_array.h"
#include "script/nesting.h"
#include "script/script_functions.h"
#include "optim/search.h"

namespace hostmath {
namespace {

using namespace optim;

// The family's codes as these two use them: 3 when f does not take exactly
// one parameter, 4 for a or b not a finite real or a >= b, 5 when f(a) and
// f(b) do not bracket a root (fzero), 6 for a tolerance negative, NaN or both
// 0, or maxit not an integer >= 1.
constexpr int64_t kCodeNotOneParameter = kCodeParameterCount;
constexpr int64_t kCodeBadInterval = kCodeBadStart;
constexpr int64_t kCodeNoSignChange = kCodeBadData;

constexpr int64_t kLeastArguments = 3;
constexpr int64_t kMostArguments = 6;
constexpr int64_t kDefaultMaxIterations = 100;

// (sqrt(5) - 1) / 2: each golden-section step keeps this share of the bracket.
constexpr double kGolden = 0.6180339887498949;

// Iterations in a row that leave the bracket and the estimate as they were
// before the search counts as converged. Brent's root finder reaches such a
// fixed point without evaluating f (its bracket is within the rounding of
// its own step, or f is exactly 0 at the estimate), so it would otherwise
// spin through maxit iterations that no break can reach; the minimiser may
// need a step or two to leave a still point, hence more than one.
constexpr int kStillIterations = 4;

// ---- per-function nesting state --------------------------------------------------------

struct Slot {
    ResolvedFunction f;
    bool failed;        // an evaluation returned something other than a real
    bool saw_a_number;  // some evaluation returned a real that is not NaN
};

enum MethodId : size_t { kFzero, kFminbnd, kMethodCount };

Nesting<Slot> g_nesting[kMethodCount];

// One evaluation of the level's script function; a value that is not a real
// marks the slot, and the driver stops at its next check.
double evaluate(Slot& slot, double x) {
    bool is_real = false;
    const double value = evaluate_at(slot.f.handle, slot.f.params, x, &is_real);
    if (!is_real) slot.failed = true;
    if (!std::isnan(value)) slot.saw_a_number = true;
    return value;
}

// Called by GSL for every evaluation, with the calling level's slot as its
// parameter: no allocation, no lookup, nothing asked but the evaluation.
double evaluate_objective(double x, void* slot) { return evaluate(*static_cast<Slot*>(slot), x); }

// The objective GSL is handed; its parameter is the level's slot.
gsl_function objective_of(Slot& slot) { return gsl_function{&evaluate_objective, &slot}; }

// For the minimiser a NaN ranks above every number. GSL's Brent iteration
// gives up on a NaN (GSL_EBADFUNC); the largest double keeps it searching
// away from the point, as a NaN that ranks above everything would.
double ranked(double value) { return std::isnan(value) ? DBL_MAX : value; }
double evaluate_ranked(double x, void* slot) { return ranked(evaluate(*static_cast<Slot*>(slot), x)); }

// a below b, with NaN above every number (and two NaN equal).
bool ranks_below(double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); }

// ---- arguments -------------------------------------------------------------------------

struct Problem {
    double a = 0.0;
    double b = 0.0;
    double epsabs = 0.0;  // the method's default until an argument replaces it
    double epsrel = 0.0;
    int64_t maxit = kDefaultMaxIterations;
};

bool read_finite(const HostValue& v, double* out) { return read_real(v, out) && std::isfinite(*out); }

bool read_max_iterations(const HostValue& v, int64_t* out) {
    if (!is_integer(v) || v.integer() < 1) return false;
    *out = v.integer();
    return true;
}

// The inputs after f, in argument order; the code of the first that fails, or 0.
int64_t read_problem(std::span<const HostValue> args, Problem* p) {
    if (!read_finite(args[1], &p->a) || !read_finite(args[2], &p->b) || !(p->a < p->b)) return kCodeBadInterval;
    if (args.size() > 3 && !read_tolerance(args[3], &p->epsabs)) return kCodeBadControl;
    if (args.size() > 4 && !read_tolerance(args[4], &p->epsrel)) return kCodeBadControl;
    if (p->epsabs == 0.0 && p->epsrel == 0.0) return kCodeBadControl;
    if (args.size() > 5 && !read_max_iterations(args[5], &p->maxit)) return kCodeBadControl;
    return 0;
}

// ---- what a call comes to -----------------------------------------------------------------

struct Outcome {
    int64_t refusal = 0;       // a kind 1 code, reported with the empty result
    bool interrupted = false;  // a run error is pending: the empty result, no report
    bool only_nan = false;     // fminbnd: f was NaN at every point, reported with NaN
    int status = GSL_SUCCESS;  // of a GSL step that failed
    bool budget_spent = false;
    double x = 0.0;  // the estimate, the result unless refused or interrupted
};

Outcome refused(int64_t code) { return Outcome{.refusal = code}; }
Outcome interrupted() { return Outcome{.interrupted = true}; }
Outcome found(double x) { return Outcome{.x = x}; }

// The checks made after every batch of evaluations, before they are used:
// a pending run error, then a value that was not a real.
bool stopped(const Slot& slot, Outcome* out) {
    if (run_error_pending()) {
        *out = interrupted();
        return true;
    }
    if (slot.failed) {
        *out = refused(kCodeNotReal);
        return true;
    }
    return false;
}

// Where a solver stands after an iteration.
struct Standing {
    double lower, upper, estimate;
    bool operator==(const Standing&) const = default;
};

// GSL's Brent iterations until `accepted` holds for the bracket, the bracket
// has no width left or stands still (kStillIterations), a step fails or the
// budget, counted from `iterations` already spent (fewer than maxit), runs
// out. The start has just asked for a pending run error; each iteration asks
// once, after its evaluation and before anything it computed is used, so
// that a run error f raises in the last iteration still ends the call. The
// estimate is read once, as the loop ends.
template <class Solver>
Outcome iterate(const Slot& slot, const Problem& p, int64_t iterations, Solver& solver) {
    Outcome out;
    Standing before = solver.standing();
    int still = 0;
    for (;;) {
        const int status = solver.iterate();
        ++iterations;
        if (stopped(slot, &out)) return out;
        if (status != GSL_SUCCESS) {
            out.status = status;
            break;
        }
        if (solver.accepted(p.epsabs, p.epsrel)) break;
        const Standing now = solver.standing();
        still = now == before ? still + 1 : 0;
        if (now.lower == now.upper || still == kStillIterations) break;
        before = now;
        if (iterations >= p.maxit) {
            out.budget_spent = true;
            break;
        }
    }
    out.x = solver.estimate();
    return out;
}

// ---- fzero ---------------------------------------------------------------------------------

struct RootSolver {
    gsl_root_fsolver* s;
    int iterate() { return gsl_root_fsolver_iterate(s); }
    double estimate() { return gsl_root_fsolver_root(s); }
    Standing standing() { return {gsl_root_fsolver_x_lower(s), gsl_root_fsolver_x_upper(s), estimate()}; }
    bool accepted(double epsabs, double epsrel) {
        return gsl_root_test_interval(gsl_root_fsolver_x_lower(s), gsl_root_fsolver_x_upper(s), epsabs, epsrel) ==
               GSL_SUCCESS;
    }
};

bool bracket_a_root(double fa, double fb) {
    return std::isfinite(fa) && std::isfinite(fb) && ((fa < 0.0 && fb > 0.0) || (fa > 0.0 && fb < 0.0));
}

// gsl_root_fsolver_set evaluates both ends again: this objective hands it
// the values the driver already has, in order, and evaluates f after them.
struct EndValues {
    Slot* slot;
    double values[2];
    int used;
};

double replay_ends(double x, void* ends) {
    EndValues& e = *static_cast<EndValues*>(ends);
    if (e.used < 2) return e.values[e.used++];
    return evaluate(*e.slot, x);
}

Outcome find_root(Slot& slot, const Problem& p) {
    Owned<gsl_root_fsolver, gsl_root_fsolver_free> solver{
        allocate_gated(gsl_root_fsolver_alloc, gsl_root_fsolver_brent)};
    if (!solver) return refused(kCodeNoMemory);
    Outcome out;
    const double fa = evaluate(slot, p.a);
    if (stopped(slot, &out)) return out;
    const double fb = evaluate(slot, p.b);
    if (stopped(slot, &out)) return out;
    if (fa == 0.0) return found(p.a);
    if (fb == 0.0) return found(p.b);
    if (!bracket_a_root(fa, fb)) return refused(kCodeNoSignChange);

    // GSL keeps a pointer to the objective: once it has the ends, the same
    // record becomes the plain objective, without the replay's test.
    EndValues ends{&slot, {fa, fb}, 0};
    gsl_function objective{&replay_ends, &ends};
    const int status = gsl_root_fsolver_set(solver.get(), &objective, p.a, p.b);
    objective = objective_of(slot);
    if (status != GSL_SUCCESS) return Outcome{.status = status, .x = gsl_root_fsolver_root(solver.get())};
    RootSolver steps{solver.get()};
    return iterate(slot, p, 0, steps);
}

// ---- fminbnd -------------------------------------------------------------------------------

struct MinSolver {
    gsl_min_fminimizer* s;
    int iterate() { return gsl_min_fminimizer_iterate(s); }
    double estimate() { return gsl_min_fminimizer_x_minimum(s); }
    Standing standing() { return {gsl_min_fminimizer_x_lower(s), gsl_min_fminimizer_x_upper(s), estimate()}; }
    bool accepted(double epsabs, double epsrel) {
        return gsl_min_test_interval(gsl_min_fminimizer_x_lower(s), gsl_min_fminimizer_x_upper(s), epsabs,
                                     epsrel) == GSL_SUCCESS;
    }
};

struct Point {
    double x;
    double f;
};

// Where GSL's minimiser can start: a bracket [lo, hi] and a point m strictly
// inside with f(m) below f at both ends.
struct Start {
    Point lo, hi, m;
    bool has_interior;  // false: no such m was found, and lo or hi is the result
};

// The lower end of a bracket, the left one on ties.
double lower_end(const Point& lo, const Point& hi) { return ranks_below(hi.f, lo.f) ? hi.x : lo.x; }

// Golden-section narrowing of [a, b] until a point inside lies below both
// ends, the bracket is within the tolerance, or the budget runs out. Each
// step is one iteration: it asks for a pending run error and evaluates once
// (the first twice). The arithmetic is exactly as written, each operation
// rounded on its own.
Outcome narrow_to_interior(Slot& slot, const Problem& p, Start* start, int64_t* iterations) {
    Outcome out;
    Point lo{p.a, evaluate(slot, p.a)};
    if (stopped(slot, &out)) return out;
    Point hi{p.b, evaluate(slot, p.b)};
    if (stopped(slot, &out)) return out;
    const double x1 = hi.x - kGolden * (hi.x - lo.x);
    Point p1{x1, evaluate(slot, x1)};
    const double x2 = lo.x + kGolden * (hi.x - lo.x);
    Point p2{x2, evaluate(slot, x2)};
    for (*iterations = 1;; ++*iterations) {
        if (stopped(slot, &out)) return out;
        const bool first_lower = !ranks_below(p2.f, p1.f);
        const Point& m = first_lower ? p1 : p2;
        if (ranks_below(m.f, lo.f) && ranks_below(m.f, hi.f)) {
            *start = Start{lo, hi, m, true};
            return out;
        }
        const bool inside = lo.x < p1.x && p1.x <= p2.x && p2.x < hi.x;
        if (!inside || gsl_min_test_interval(lo.x, hi.x, p.epsabs, p.epsrel) == GSL_SUCCESS) {
            *start = Start{lo, hi, lo, false};
            return found(lower_end(lo, hi));
        }
        if (*iterations >= p.maxit) {
            out = found(lower_end(lo, hi));
            out.budget_spent = true;
            *start = Start{lo, hi, lo, false};
            return out;
        }
        if (first_lower) {
            hi = p2;
            p2 = p1;
            const double x = hi.x - kGolden * (hi.x - lo.x);
            p1 = Point{x, evaluate(slot, x)};
        } else {
            lo = p1;
            p1 = p2;
            const double x = lo.x + kGolden * (hi.x - lo.x);
            p2 = Point{x, evaluate(slot, x)};
        }
    }
}

Outcome find_minimum(Slot& slot, const Problem& p) {
    Owned<gsl_min_fminimizer, gsl_min_fminimizer_free> minimizer{
        allocate_gated(gsl_min_fminimizer_alloc, gsl_min_fminimizer_brent)};
    if (!minimizer) return refused(kCodeNoMemory);
    Start start{};
    int64_t iterations = 0;
    Outcome out = narrow_to_interior(slot, p, &start, &iterations);
    if (!start.has_interior) return out;
    // Brent's steps from here: NaN values are handed over ranked.
    start.lo.f = ranked(start.lo.f);
    start.hi.f = ranked(start.hi.f);
    // The narrowing may have spent the budget on finding m: m is then the estimate.
    if (iterations >= p.maxit) {
        out = found(start.m.x);
        out.budget_spent = true;
        return out;
    }

    // GSL's set-up evaluates f once more, at a golden-section point of the bracket.
    gsl_function objective{&evaluate_ranked, &slot};
    const int status = gsl_min_fminimizer_set_with_values(minimizer.get(), &objective, start.m.x, start.m.f,
                                                          start.lo.x, start.lo.f, start.hi.x, start.hi.f);
    if (stopped(slot, &out)) return out;
    if (status != GSL_SUCCESS) return Outcome{.status = status, .x = start.m.x};
    MinSolver steps{minimizer.get()};
    return iterate(slot, p, iterations, steps);
}

// ---- the driver ----------------------------------------------------------------------------

struct Method {
    const HostChar* name;
    double default_tolerance;  // for epsabs and epsrel alike
    Outcome (*search)(Slot& slot, const Problem& p);
    // Reported, with a NaN result, when f was NaN at every point evaluated;
    // 0 where the search cannot get that far (fzero refuses NaN ends).
    int64_t nan_everywhere_code;
};

constexpr Method kMethods[kMethodCount] = {
    {u"math::fzero", 1e-12, find_root, 0},
    // A minimum's location is only determined to about the square root of
    // the precision: the flat bottom of f hides it.
    {u"math::fminbnd", 1e-7, find_minimum, kCodeBadData},
};

// Steps that run while the call holds its level: resolve f into the slot,
// check the inputs, search. GSL's object is released before returning.
Outcome search_at_level(const Method& method, Slot& slot, std::span<const HostValue> args) {
    slot.failed = false;
    slot.saw_a_number = false;
    if (!resolve_function(args[0], &slot.f)) return refused(kCodeNotAFunction);
    if (slot.f.last_param != 0) return refused(kCodeNotOneParameter);
    Problem problem{.epsabs = method.default_tolerance, .epsrel = method.default_tolerance};
    if (const int64_t code = read_problem(args, &problem); code != 0) return refused(code);
    Outcome out = method.search(slot, problem);
    if (method.nan_everywhere_code != 0 && !slot.saw_a_number && !out.interrupted && out.refusal == 0) {
        out = Outcome{.only_nan = true};
    }
    return out;
}

HostValue* deliver(HostValue* result, const Method& method, const Outcome& out, void* ctx) {
    if (out.interrupted) return result;
    if (out.refusal != 0) return fail(result, method.name, out.refusal, ctx);
    if (out.only_nan) {
        fail(result, method.name, method.nan_everywhere_code, ctx);
        return write_real(result, std::nan(""));
    }
    // GSL's failure and an exhausted budget still deliver the current estimate.
    if (out.status != GSL_SUCCESS) report_kind(kKindGslStatus, method.name, out.status, ctx);
    if (out.budget_spent) report_kind(kKindSoftStop, method.name, kCodeMaxIterations, ctx);
    return write_real(result, out.x);
}

template <MethodId M>
HostValue* search_interval(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    // kMethods[M] is a constant: the steps name it rather than capture it.
    return run_nested(
        g_nesting[M], Entry{kMethods[M].name, kLeastArguments, kMostArguments}, result, last_index, args, ctx,
        [](Slot& slot, std::span<HostValue> arguments) {
            return search_at_level(kMethods[M], slot, arguments);
        },
        [result, ctx](const Outcome& out) { return deliver(result, kMethods[M], out, ctx); });
}

}  // namespace

HostValue* fzero(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return search_interval<kFzero>(result, last_index, args, ctx);
}
HostValue* fminbnd(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return search_interval<kFminbnd>(result, last_index, args, ctx);
}

}  // namespace hostmath
