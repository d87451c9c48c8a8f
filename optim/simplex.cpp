// SPDX-License-Identifier: GPL-3.0-or-later
// fminsearch: a local minimum of a script function of n variables by the
// Nelder-Mead simplex method (GSL gsl_multimin_fminimizer_nmsimplex2).
//
// f comes in netn's two forms, told apart by its parameter count: f(xa) with
// one math vector of n elements that the library fills with the point (the
// array form), or f(x1, ..., xn) with n >= 2 reals (the scalar form). The
// vector of the array form is made once per call and handed to the host as a
// kept object, so that an evaluation costs one script call.
//
// Calls nest like the other searches: the function counts its active calls
// (script/nesting.h) and keeps one slot per level with what it evaluates there.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multimin.h>
#include <gsl/gsl_vector.h>

#include <bit>
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

constexpr Entry kEntry{u"math::fminsearch", 2, 5};

// The family's codes as fminsearch uses them: 3 when f takes no parameter, 4
// for x0 not an array or with fewer elements than f's coordinates, 6 for tol
// or step not a real > 0, or maxit not an integer >= 1, 8 also when in the
// array form f has let go of its vector.
constexpr int64_t kCodeNoParameter = kCodeParameterCount;
constexpr int64_t kCodeBadX0 = kCodeBadStart;

constexpr double kDefaultTolerance = 1e-8;
constexpr int64_t kIterationsPerCoordinate = 200;
// The initial simplex reaches this share of each coordinate's magnitude, or
// kStepAtZero where the coordinate is 0.
constexpr double kRelativeStep = 0.05;
constexpr double kStepAtZero = 0.00025;

// ---- nesting state -------------------------------------------------------------------

struct Slot {
    ResolvedFunction f;
    bool failed;     // f returned a non-real, or (array form) let go of its vector
    size_t n;        // coordinates
    HostValue xa;    // array form: the library's vector; empty in the scalar form
    double* xa_data;
};

Nesting<Slot> g_nesting;

bool array_form(const Slot& slot) { return slot.xa.word1 != 0; }

// f at x: the point goes into the vector or the reals f receives, and the
// value comes back as a real. GSL cannot be stopped from here, so a failure
// marks the slot; the driver stops after the iteration.
double evaluate_objective(const gsl_vector* x, void*) {
    Slot& slot = g_nesting.current();
    // After a failure f is not called again: the vector may be gone, and the
    // search ends with code 8 once GSL hands control back.
    if (slot.failed) return std::nan("");
    HostValue* params = slot.f.params;
    if (array_form(slot)) {
        for (size_t i = 0; i < slot.n; ++i) slot.xa_data[i] = gsl_vector_get(x, i);
        params[0] = slot.xa;
    } else {
        for (size_t i = 0; i < slot.n; ++i) params[i] = make_real(gsl_vector_get(x, i));
    }
    HostValue buffer;
    const HostValue* returned = host().QeCal(&buffer, slot.f.handle, params);
    const bool is_real_value = returned->base_type == kTypeReal;
    const double value = std::bit_cast<double>(returned->word1);
    if (!is_real_value) slot.failed = true;
    if (array_form(slot)) {
        // The next point goes into the library's own vector, which f may have let go of.
        const RealArray* xa = lookup_array(slot.xa);
        if (xa == nullptr || xa->count != static_cast<int64_t>(slot.n)) {
            slot.failed = true;
        } else {
            slot.xa_data = xa->data;
        }
    }
    return value;
}

// ---- arguments -----------------------------------------------------------------------

struct Settings {
    double tol = kDefaultTolerance;
    int64_t maxit = 0;   // kIterationsPerCoordinate * n unless given
    double step = 0.0;   // 0: the default, per coordinate
};

bool read_positive(const HostValue& v, double* out) {
    if (!is_real(v) || !(v.real() > 0.0) || !std::isfinite(v.real())) return false;
    *out = v.real();
    return true;
}

bool read_settings(std::span<const HostValue> args, size_t n, Settings* s) {
    s->maxit = kIterationsPerCoordinate * static_cast<int64_t>(n);
    if (args.size() > 2 && !read_positive(args[2], &s->tol)) return false;
    if (args.size() > 3) {
        if (!is_integer(args[3]) || args[3].integer() < 1) return false;
        s->maxit = args[3].integer();
    }
    if (args.size() > 4 && !read_positive(args[4], &s->step)) return false;
    return true;
}

// ---- the search ----------------------------------------------------------------------

using Minimizer = Owned<gsl_multimin_fminimizer, gsl_multimin_fminimizer_free>;
using Outcome = VectorOutcome;
constexpr auto refused = refused_vector;

// The start point and the initial simplex size of every coordinate.
bool start_vectors(const RealArray& x0, size_t n, double step, Vector* x, Vector* steps) {
    x->reset(allocate_gated(gsl_vector_alloc, n));
    if (*x) steps->reset(allocate_gated(gsl_vector_alloc, n));
    if (!*steps) return false;
    for (size_t i = 0; i < n; ++i) {
        const double xi = x0.data[i];
        gsl_vector_set(x->get(), i, xi);
        const double own = xi == 0.0 ? kStepAtZero : kRelativeStep * std::fabs(xi);
        gsl_vector_set(steps->get(), i, step > 0.0 ? step : own);
    }
    return true;
}

Outcome search(Slot& slot, const RealArray& x0, const Settings& settings) {
    const size_t n = slot.n;
    Outcome out;
    Vector steps;
    if (!start_vectors(x0, n, settings.step, &out.x, &steps)) return refused(kCodeNoMemory);
    Minimizer s{allocate_gated(gsl_multimin_fminimizer_alloc, gsl_multimin_fminimizer_nmsimplex2, n)};
    if (!s) return refused(kCodeNoMemory);
    gsl_multimin_function objective{&evaluate_objective, n, nullptr};
    // Setting up evaluates f at the n + 1 corners of the first simplex.
    out.status = gsl_multimin_fminimizer_set(s.get(), &objective, out.x.get(), steps.get());
    gsl_multimin_fminimizer* m = s.get();
    return iterate_vector(
        slot, settings.maxit, std::move(out), [m] { return gsl_multimin_fminimizer_iterate(m); },
        [m, &settings] {
            return gsl_multimin_test_size(gsl_multimin_fminimizer_size(m), settings.tol) == GSL_SUCCESS;
        },
        [m] { return gsl_multimin_fminimizer_x(m); });
}

// Steps that run while the call holds its level.
Outcome minimize_at_level(Slot& slot, std::span<HostValue> args, void* ctx) {
    slot.failed = false;
    slot.xa = make_empty();
    if (!resolve_function(args[0], &slot.f)) return refused(kCodeNotAFunction);
    if (slot.f.last_param < 0) return refused(kCodeNoParameter);
    const RealArray* x0 = lookup_array(args[1]);
    if (x0 == nullptr) return refused(kCodeBadX0);
    const bool array = slot.f.last_param == 0;
    const int64_t n = array ? x0->count : int64_t{slot.f.last_param} + 1;
    if (n < 1 || x0->count < n) return refused(kCodeBadX0);
    slot.n = static_cast<size_t>(n);
    Settings settings;
    if (!read_settings(args, slot.n, &settings)) return refused(kCodeBadControl);
    if (array) {
        RealArray* xa = new_array_shaped(std::span<const int64_t>(&n, 1));
        if (xa == nullptr) return refused(kCodeNoMemory);
        save_arrays_begin(ctx, args.data());
        tag_array(&slot.xa, xa);
        save_array(ctx, &slot.xa, args.data());
        slot.xa_data = xa->data;
    }
    return search(slot, *x0, settings);
}

}  // namespace

HostValue* fminsearch(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return run_nested(
        g_nesting, kEntry, result, last_index, args, ctx,
        [ctx](Slot& slot, std::span<HostValue> arguments) { return minimize_at_level(slot, arguments, ctx); },
        [result, ctx](const Outcome& out) { return deliver_vector(result, kEntry.name, out, ctx); });
}

}  // namespace hostmath
