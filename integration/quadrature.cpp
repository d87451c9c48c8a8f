// SPDX-License-Identifier: GPL-3.0-or-later
// Quadrature of script functions with the GSL integration routines.
//
// Each of the nine script functions is one instance of a generic driver:
// the routines differ only in their argument layouts and in the GSL call,
// and both are data in kRoutines below. A driver checks its arguments,
// resolves the script function once, and lets GSL call the integrand
// adapter, which evaluates the script function through the host for every
// abscissa.
//
// Integrations nest: an integrand may call any of the nine functions again.
// Each routine counts its own active calls (script/nesting.h) and keeps one
// slot per level with the script function being integrated there.
#include "integration/quadrature.h"

#include <gsl/gsl_errno.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <span>

#include "kernels/allocation.h"
#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/nesting.h"
#include "script/script_functions.h"

namespace hostmath {
namespace {

// Run-error codes, reported with kind 1 under the driver's full name.
enum QuadratureCode : int64_t {
    kCodeTooDeep = 1,           // six calls of this routine are already active
    kCodeArgumentCount = 2,     // number of arguments outside the routine's range
    kCodeNotAFunction = 3,      // f is not a script function the host can resolve
    kCodeNotOneParameter = 4,   // f does not take exactly one parameter
    kCodeBadArgument = 5,       // a limit, the point list, a tolerance, limit or key
    kCodeIntegrandNotReal = 6,  // an evaluation returned something other than a real
    // The workspace for `limit` subintervals, or the copy of the points,
    // could not be allocated. The documented codes stop at 6; this one
    // follows them and is listed in docs/quadrature.md.
    kCodeNoWorkspace = 7,
};

constexpr double kDefaultTolerance = 1e-6;
constexpr int kDefaultKey = GSL_INTEG_GAUSS41;

// The range and default of `limit`: subintervals for the QUADPACK routines,
// intervals of the doubly-adaptive routine's heap for gsl_cquad.
struct LimitRange {
    uint64_t least;
    uint64_t greatest;
    uint64_t fallback;  // the default
};
constexpr LimitRange kSubintervalLimits{5, 100, 10};
constexpr LimitRange kCquadLimits{3, 1000, 100};

// ---- argument layouts -------------------------------------------------------

// What an argument position holds.
enum class Arg : uint8_t {
    Function,   // f, the script function of one parameter
    Lower,      // a
    Upper,      // b
    Pole,       // c, the point of the Cauchy weight 1/(x - c)
    Points,     // pts: the limits and the known singular points between them
    EpsAbs,
    EpsRel,
    Limit,
    Key,
    AbsErrOut,  // receives the error estimate when present
    StatusOut,  // receives the GSL status when present
};

// Positions that every call must fill: they lead every layout.
constexpr bool is_required(Arg a) {
    return a == Arg::Function || a == Arg::Lower || a == Arg::Upper || a == Arg::Pole || a == Arg::Points;
}

// The inputs of one integration, after the checks; the optional ones hold
// their defaults until an argument replaces them.
struct Problem {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    // The break points as the script gave them, then the call's own copy:
    // GSL reads them between evaluations of the integrand, which may let go
    // of the script's array.
    double* pts = nullptr;
    size_t npts = 0;
    Scratch<double> pts_copy;
    double epsabs = kDefaultTolerance;
    double epsrel = kDefaultTolerance;
    size_t limit = 0;  // the routine's default until an argument replaces it
    int key = kDefaultKey;
};

// ---- workspaces ---------------------------------------------------------------------

// Which workspace a routine integrates in: none (gsl_qng), the QUADPACK
// routines' list of subintervals, or gsl_cquad's heap of intervals.
enum class WorkspaceKind : uint8_t { None, Subintervals, Cquad };

// The call's workspace; only the one of its routine's kind is allocated.
struct Workspaces {
    Owned<gsl_integration_workspace, gsl_integration_workspace_free> subintervals;
    Owned<gsl_integration_cquad_workspace, gsl_integration_cquad_workspace_free> cquad;
};

quadrature::WorkspaceAllocator g_allocate_workspace = gsl_integration_workspace_alloc;

// False when the workspace the routine needs could not be allocated.
bool allocate_workspace(WorkspaceKind kind, size_t limit, Workspaces* w) {
    switch (kind) {
        case WorkspaceKind::None: return true;
        case WorkspaceKind::Subintervals:
            w->subintervals.reset(allocate_gated(g_allocate_workspace, limit));
            return w->subintervals != nullptr;
        case WorkspaceKind::Cquad:
            w->cquad.reset(allocate_gated(gsl_integration_cquad_workspace_alloc, limit));
            return w->cquad != nullptr;
    }
    return false;
}

// One GSL routine called on a checked problem in its workspace.
using GslCall = int (*)(gsl_function* f, const Problem& p, Workspaces& w, double* result, double* abserr);

// How far GSL's answer is taken as it comes. The eight QUADPACK routines
// hand on GSL's status and share one failure flag with the enclosing call of
// the same routine. gsl_cquad checks what GSL calls success (NaN at more
// than one abscissa, a non-finite end, result or error estimate) and keeps a
// failure with the level whose integrand misbehaved.
enum class Checking : uint8_t { AsGslSays, OwnChecks };

struct Routine {
    const HostChar* name;
    std::span<const Arg> args;  // in argument order
    WorkspaceKind workspace;
    LimitRange limits;
    GslCall call;
    Checking checking = Checking::AsGslSays;

    int64_t required() const {
        int64_t n = 0;
        while (n < static_cast<int64_t>(args.size()) && is_required(args[static_cast<size_t>(n)])) ++n;
        return n;
    }
    int64_t most() const { return static_cast<int64_t>(args.size()); }
};

using enum Arg;
constexpr Arg kQngArgs[] = {Function, Lower, Upper, EpsAbs, EpsRel, AbsErrOut, StatusOut};
constexpr Arg kQagArgs[] = {Function, Lower, Upper, EpsAbs, EpsRel, Limit, Key, AbsErrOut, StatusOut};
constexpr Arg kQagsArgs[] = {Function, Lower, Upper, EpsAbs, EpsRel, Limit, AbsErrOut, StatusOut};
constexpr Arg kQagpArgs[] = {Function, Points, EpsAbs, EpsRel, Limit, AbsErrOut, StatusOut};
constexpr Arg kQagiArgs[] = {Function, EpsAbs, EpsRel, Limit, AbsErrOut, StatusOut};
constexpr Arg kQagiuArgs[] = {Function, Lower, EpsAbs, EpsRel, Limit, AbsErrOut, StatusOut};
constexpr Arg kQagilArgs[] = {Function, Upper, EpsAbs, EpsRel, Limit, AbsErrOut, StatusOut};
constexpr Arg kQawcArgs[] = {Function, Lower, Upper, Pole, EpsAbs, EpsRel, Limit, AbsErrOut, StatusOut};
constexpr Arg kCquadArgs[] = {Function, Lower, Upper, EpsAbs, EpsRel, Limit, AbsErrOut, StatusOut};

// Indexes into kRoutines; the order of the two must agree.
enum RoutineId : size_t { kQng, kQag, kQags, kQagp, kQagi, kQagiu, kQagil, kQawc, kCquad, kRoutineCount };

constexpr auto kNone = WorkspaceKind::None;
constexpr auto kSubintervals = WorkspaceKind::Subintervals;

constexpr Routine kRoutines[kRoutineCount] = {
    {u"math::gsl_qng", kQngArgs, kNone, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces&, double* r, double* e) {
         size_t neval = 0;  // not handed to the script
         return gsl_integration_qng(f, p.a, p.b, p.epsabs, p.epsrel, r, e, &neval);
     }},
    {u"math::gsl_qag", kQagArgs, kSubintervals, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         return gsl_integration_qag(f, p.a, p.b, p.epsabs, p.epsrel, p.limit, p.key, w.subintervals.get(), r, e);
     }},
    {u"math::gsl_qags", kQagsArgs, kSubintervals, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         return gsl_integration_qags(f, p.a, p.b, p.epsabs, p.epsrel, p.limit, w.subintervals.get(), r, e);
     }},
    {u"math::gsl_qagp", kQagpArgs, kSubintervals, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         return gsl_integration_qagp(f, p.pts, p.npts, p.epsabs, p.epsrel, p.limit, w.subintervals.get(), r, e);
     }},
    {u"math::gsl_qagi", kQagiArgs, kSubintervals, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         return gsl_integration_qagi(f, p.epsabs, p.epsrel, p.limit, w.subintervals.get(), r, e);
     }},
    {u"math::gsl_qagiu", kQagiuArgs, kSubintervals, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         return gsl_integration_qagiu(f, p.a, p.epsabs, p.epsrel, p.limit, w.subintervals.get(), r, e);
     }},
    {u"math::gsl_qagil", kQagilArgs, kSubintervals, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         return gsl_integration_qagil(f, p.b, p.epsabs, p.epsrel, p.limit, w.subintervals.get(), r, e);
     }},
    {u"math::gsl_qawc", kQawcArgs, kSubintervals, kSubintervalLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         return gsl_integration_qawc(f, p.a, p.b, p.c, p.epsabs, p.epsrel, p.limit, w.subintervals.get(), r, e);
     }},
    // The limit only sizes the workspace: gsl_cquad takes no limit of its own.
    {u"math::gsl_cquad", kCquadArgs, WorkspaceKind::Cquad, kCquadLimits,
     [](gsl_function* f, const Problem& p, Workspaces& w, double* r, double* e) {
         size_t nevals = 0;  // not handed to the script
         return gsl_integration_cquad(f, p.a, p.b, p.epsabs, p.epsrel, w.cquad.get(), r, e, &nevals);
     },
     Checking::OwnChecks},
};

// ---- per-routine nesting state -----------------------------------------------

// The script function integrated at one level.
struct Slot {
    ResolvedFunction f;
    bool failed;  // an evaluation returned something other than a real
    // Abscissae where f was NaN: the first of them, and whether another one
    // followed (only gsl_cquad looks at these).
    double first_nan_at;
    int nan_abscissae;  // 0, 1, or 2 for "more than one"
};

Nesting<Slot> g_nesting[kRoutineCount];

// ---- the integrand adapter ------------------------------------------------------

// Called by GSL for every abscissa: no allocation, no lookup, no conversion
// beyond writing one record and reading one back. GSL cannot be stopped from
// here, so a failed evaluation only marks the slot; the driver discards the
// integral when GSL returns.
template <RoutineId R>
double evaluate_integrand(double x, void*) {
    Slot& slot = g_nesting[R].current();
    bool is_real = false;
    const double value = evaluate_at(slot.f.handle, slot.f.params, x, &is_real);
    if (!is_real) slot.failed = true;
    if (std::isnan(value) && slot.nan_abscissae < 2) {
        if (slot.nan_abscissae == 0 || x != slot.first_nan_at) ++slot.nan_abscissae;
        slot.first_nan_at = x;
    }
    return value;
}

// ---- the driver ---------------------------------------------------------------------

// What one call comes to: a refusal code, or GSL's answer.
struct Outcome {
    int64_t refusal = 0;
    int status = GSL_SUCCESS;
    double value = 0.0;
    double abserr = 0.0;
    bool integrand_failed = false;
};

Outcome refused(int64_t code) { return Outcome{.refusal = code}; }

// No integral exists to estimate: NaN with GSL's domain error.
Outcome undefined() {
    const double nan = std::nan("");
    return Outcome{.status = GSL_EDOM, .value = nan, .abserr = nan};
}

// gsl_cquad's answer as far as it can be trusted: a NaN integrand at more
// than one abscissa leaves nothing to integrate, and a success whose result
// or error estimate is not finite has diverged. The error estimate is a
// magnitude, also over reversed limits.
void check_success(const Slot& slot, Outcome* out) {
    if (slot.nan_abscissae > 1) {
        const bool failed = out->integrand_failed;
        *out = undefined();
        out->integrand_failed = failed;
        return;
    }
    out->abserr = std::fabs(out->abserr);
    if (out->status == GSL_SUCCESS && !(std::isfinite(out->value) && std::isfinite(out->abserr))) {
        out->status = GSL_EDIVERGE;
    }
}

// Compared unsigned, so that a negative limit is out of range.
bool read_limit(const HostValue& v, const LimitRange& range, size_t* out) {
    if (!is_integer(v)) return false;
    const uint64_t limit = v.word1;
    if (limit < range.least || limit > range.greatest) return false;
    *out = static_cast<size_t>(limit);
    return true;
}

// Only the integer's low 32 bits count, taken as signed.
bool read_key(const HostValue& v, int* out) {
    if (!is_integer(v)) return false;
    const auto key = static_cast<int32_t>(static_cast<uint32_t>(v.word1));
    if (key < GSL_INTEG_GAUSS15 || key > GSL_INTEG_GAUSS61) return false;
    *out = key;
    return true;
}

// At least the two limits; the data goes to GSL as it stands.
bool read_points(const HostValue& v, Problem* p) {
    RealArray* pts = lookup_array(v);
    if (pts == nullptr || pts->count < 2) return false;
    p->pts = pts->data;
    p->npts = static_cast<size_t>(pts->count);
    return true;
}

// The points into the call's own copy, which GSL then reads.
bool copy_points(Problem* p) {
    p->pts_copy = Scratch<double>(static_cast<int64_t>(p->npts));
    if (!p->pts_copy.ok()) return false;
    std::copy(p->pts, p->pts + p->npts, p->pts_copy.get());
    p->pts = p->pts_copy.get();
    return true;
}

// Checks the inputs after f in argument order; false at the first that fails.
bool read_inputs(const Routine& routine, std::span<const HostValue> args, Problem* p) {
    const std::span<const Arg> layout = routine.args;
    p->limit = static_cast<size_t>(routine.limits.fallback);
    for (size_t i = 1; i < args.size(); ++i) {
        const HostValue& v = args[i];
        bool ok = true;
        switch (layout[i]) {
            case Lower: ok = read_real(v, &p->a); break;
            case Upper: ok = read_real(v, &p->b); break;
            case Pole: ok = read_real(v, &p->c); break;
            case Points: ok = read_points(v, p); break;
            case EpsAbs: ok = read_tolerance(v, &p->epsabs); break;
            case EpsRel: ok = read_tolerance(v, &p->epsrel); break;
            case Limit: ok = read_limit(v, routine.limits, &p->limit); break;
            case Key: ok = read_key(v, &p->key); break;
            case Function:
            case AbsErrOut:
            case StatusOut: break;
        }
        if (!ok) return false;
    }
    return true;
}

// Steps that run while the call holds its level: resolve f into the slot,
// check the inputs, integrate. The workspace is released before returning.
Outcome integrate_at_level(const Routine& routine, Slot& slot, gsl_function integrand,
                           std::span<const HostValue> args) {
    if (!resolve_function(args[0], &slot.f)) return refused(kCodeNotAFunction);
    if (slot.f.last_param != 0) return refused(kCodeNotOneParameter);
    Problem problem;
    if (!read_inputs(routine, args, &problem)) return refused(kCodeBadArgument);
    if (problem.pts != nullptr && !copy_points(&problem)) return refused(kCodeNoWorkspace);

    slot.failed = false;
    slot.nan_abscissae = 0;
    Workspaces workspaces;
    if (!allocate_workspace(routine.workspace, problem.limit, &workspaces)) return refused(kCodeNoWorkspace);
    const bool checked = routine.checking == Checking::OwnChecks;
    if (checked && !(std::isfinite(problem.a) && std::isfinite(problem.b))) return undefined();
    Outcome out;
    out.status = routine.call(&integrand, problem, workspaces, &out.value, &out.abserr);
    out.integrand_failed = slot.failed;
    if (checked) check_success(slot, &out);
    return out;
}

// Reports and hands back what the call came to; the level is already given back.
HostValue* deliver(HostValue* result, const Routine& routine, const Outcome& out, std::span<HostValue> args,
                   void* ctx) {
    if (out.refusal != 0) return fail(result, routine.name, out.refusal, ctx);
    // A GSL failure still delivers GSL's best value and the outputs.
    if (out.status != GSL_SUCCESS) report_kind(-1, routine.name, out.status, ctx);
    if (out.integrand_failed) return fail(result, routine.name, kCodeIntegrandNotReal, ctx);
    for (size_t i = 0; i < args.size(); ++i) {
        if (routine.args[i] == AbsErrOut) write_real(&args[i], out.abserr);
        if (routine.args[i] == StatusOut) write_integer(&args[i], out.status);
    }
    return write_real(result, out.value);
}

template <RoutineId R>
HostValue* integrate_script_function(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    const Routine& routine = kRoutines[R];
    Nesting<Slot>& nesting = g_nesting[R];

    write_empty(result);
    if (nesting.full()) return fail(result, routine.name, kCodeTooDeep, ctx);
    if (run_error_pending()) return result;
    // Compared as the last index, so that no count the host passes can overflow.
    if (last_index < routine.required() - 1 || last_index > routine.most() - 1) {
        return fail(result, routine.name, kCodeArgumentCount, ctx);
    }
    const std::span<HostValue> arguments(args, static_cast<size_t>(last_index + 1));

    Outcome out;
    {
        LevelTaken<Slot> level(nesting);
        out = integrate_at_level(routine, level.slot(), gsl_function{&evaluate_integrand<R>, nullptr}, arguments);
    }
    if (routine.checking == Checking::AsGslSays) nesting.pass_failure_up(out.integrand_failed);
    return deliver(result, routine, out, arguments, ctx);
}

}  // namespace

void quadrature::set_workspace_allocator(WorkspaceAllocator allocate) {
    g_allocate_workspace = allocate != nullptr ? allocate : gsl_integration_workspace_alloc;
}

HostValue* gsl_qng(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQng>(result, last_index, args, ctx);
}
HostValue* gsl_qag(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQag>(result, last_index, args, ctx);
}
HostValue* gsl_qags(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQags>(result, last_index, args, ctx);
}
HostValue* gsl_qagp(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQagp>(result, last_index, args, ctx);
}
HostValue* gsl_qagi(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQagi>(result, last_index, args, ctx);
}
HostValue* gsl_qagiu(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQagiu>(result, last_index, args, ctx);
}
HostValue* gsl_qagil(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQagil>(result, last_index, args, ctx);
}
HostValue* gsl_qawc(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kQawc>(result, last_index, args, ctx);
}
HostValue* gsl_cquad(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return integrate_script_function<kCquad>(result, last_index, args, ctx);
}

}  // namespace hostmath
