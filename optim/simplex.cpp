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

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>

#include "kernels/allocation.h"
#include "kernels/scratch.h"
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
// The most coordinates a search takes. GSL's simplex holds (n + 1) * n
// doubles (8 MB at this n) beside a few vectors of n; Nelder-Mead stopped
// being a sensible method long before.
constexpr int64_t kMostCoordinates = 1000;

// ---- nesting state -------------------------------------------------------------------

struct Slot {
    ResolvedFunction f;
    bool failed;     // f returned a non-real, or (array form) let go of its vector
    bool unbounded;  // f was -infinity at a point: no minimum to approach
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
    // GSL never takes a vertex whose value is not finite, so it would walk
    // on towards -infinity for ever.
    if (value == -HUGE_VAL) slot.unbounded = true;
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

// The minimiser's own state as the GSL the library builds lays it out
// (nmsimplex2's vertices x1, one per row, and their values y1); read, never
// written. Checked against n before use: a layout that does not fit leaves
// the vertices unwatched, and only a best value that is not finite counts
// as stuck.
struct SimplexState {
    gsl_matrix* x1;
    gsl_vector* y1;
    gsl_vector* ws1;
    gsl_vector* ws2;
    gsl_vector* center;
    gsl_vector* delta;
    gsl_vector* xmc;
    double S2;
    unsigned long count;
};

// Tells when the search can go no further: f was -infinity at a point or
// its best value is not finite (f unbounded below, or NaN at every vertex),
// or an iteration moved no vertex. An iteration moves at most the worst vertex, unless it shrinks
// the whole simplex, which changes the simplex's size or its values; so the
// worst vertex, the values and the size before a step tell, at O(n) a step.
class SimplexWatch {
public:
    SimplexWatch(gsl_multimin_fminimizer* m, const Slot& slot, double* scratch)
        : m_(m), slot_(slot), n_(slot.n), values_(scratch), worst_(scratch + slot.n + 1) {
        const size_t n = n_;
        const auto* state = static_cast<const SimplexState*>(m->state);
        const bool fits = state->x1 != nullptr && state->x1->size1 == n + 1 && state->x1->size2 == n &&
                          state->x1->tda == n && state->y1 != nullptr && state->y1->size == n + 1 &&
                          state->y1->stride == 1;
        state_ = fits ? state : nullptr;
    }
    void before_step() {
        stepped_ = true;
        size_ = gsl_multimin_fminimizer_size(m_);
        if (state_ == nullptr) return;
        std::copy_n(state_->y1->data, n_ + 1, values_);
        worst_row_ = worst_vertex();
        std::copy_n(row(worst_row_), n_, worst_);
    }
    bool stuck() const {
        if (slot_.unbounded || !std::isfinite(gsl_multimin_fminimizer_minimum(m_))) return true;
        if (!stepped_ || state_ == nullptr) return false;
        return same(state_->y1->data, values_, n_ + 1) && same(row(worst_row_), worst_, n_) &&
               std::bit_cast<uint64_t>(gsl_multimin_fminimizer_size(m_)) == std::bit_cast<uint64_t>(size_);
    }

private:
    const double* row(size_t i) const { return state_->x1->data + i * n_; }
    // The vertex GSL's step moves first: the highest value, the first on
    // ties, found by the same scan as GSL's.
    size_t worst_vertex() const {
        const double* y = state_->y1->data;
        size_t hi = 0;
        double lo_value = y[0], hi_value = y[0];
        for (size_t i = 1; i < n_ + 1; ++i) {
            if (y[i] < lo_value) {
                lo_value = y[i];
            } else if (y[i] > hi_value) {
                hi_value = y[i];
                hi = i;
            }
        }
        return hi;
    }
    static bool same(const double* a, const double* b, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) return false;
        }
        return true;
    }

    gsl_multimin_fminimizer* m_;
    const Slot& slot_;
    size_t n_;
    const SimplexState* state_;
    double* values_;  // n + 1
    double* worst_;   // n
    size_t worst_row_ = 0;
    double size_ = 0.0;
    bool stepped_ = false;
};

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
    Scratch<double> watched(2 * static_cast<int64_t>(n) + 1);
    if (!s || !watched.ok()) return refused(kCodeNoMemory);
    gsl_multimin_function objective{&evaluate_objective, n, nullptr};
    // Setting up evaluates f at the n + 1 corners of the first simplex.
    out.status = gsl_multimin_fminimizer_set(s.get(), &objective, out.x.get(), steps.get());
    gsl_multimin_fminimizer* m = s.get();
    return iterate_vector(
        slot, settings.maxit, std::move(out), [m] { return gsl_multimin_fminimizer_iterate(m); },
        [m, &settings] {
            return gsl_multimin_test_size(gsl_multimin_fminimizer_size(m), settings.tol) == GSL_SUCCESS;
        },
        [m] { return gsl_multimin_fminimizer_x(m); }, SimplexWatch(m, slot, watched.get()));
}

// Steps that run while the call holds its level.
Outcome minimize_at_level(Slot& slot, std::span<HostValue> args, void* ctx) {
    slot.failed = false;
    slot.unbounded = false;
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
    if (n > kMostCoordinates) return refused(kCodeNoMemory);
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
