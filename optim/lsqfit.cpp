// SPDX-License-Identifier: GPL-3.0-or-later
// lsqfit: nonlinear least squares for a model given as a script function
// f(x, p1, ..., pk), with GSL's trust-region Levenberg-Marquardt solver
// (gsl_multifit_nlinear) and its finite-difference Jacobian.
//
// Residual i is sqrt(w(i)) * (f(x(i), p) - y(i)), each product and difference
// rounded on its own. The data are copied once per call, since f may let go
// of the script's arrays while the fit runs.
//
// Calls nest like the other searches: the function counts its active calls
// (script/nesting.h) and keeps one slot per level with what it evaluates there.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>

#include "kernels/allocation.h"
#include "script/math_array.h"
#include "script/nesting.h"
#include "kernels/scratch.h"
#include "script/script_functions.h"
#include "optim/search.h"

namespace hostmath {
namespace {

using namespace optim;

constexpr Entry kEntry{u"math::lsqfit", 4, 7};

// The family's codes as lsqfit uses them: 3 when f takes fewer than two
// parameters, 4 for p0 not a vector of k elements, 5 for x, y or w not
// vectors, counts that differ, fewer data than parameters or a weight that is
// not above 0, 6 for tol not a real above 0 or maxit not an integer >= 1.
constexpr int64_t kCodeTooFewParameters = kCodeParameterCount;
constexpr int64_t kCodeBadP0 = kCodeBadStart;

constexpr double kDefaultTolerance = 1e-8;
constexpr double kGradientTolerance = 1e-8;
constexpr double kCostTolerance = 0.0;
constexpr int64_t kDefaultMaxIterations = 100;

// ---- nesting state -------------------------------------------------------------------

// The data, copied: x, y and sqrt(w), m of each.
struct Data {
    Scratch<double> block;
    size_t m = 0;
    const double* x() const { return block.get(); }
    const double* y() const { return block.get() + m; }
    const double* root_w() const { return block.get() + 2 * m; }
};

struct Slot {
    ResolvedFunction f;
    bool failed;  // f returned something other than a real
    const Data* data;
};

Nesting<Slot> g_nesting;

// The residuals at the parameters p. A non-real value marks the slot and
// stops GSL's iteration with a failed evaluation.
int residuals(const gsl_vector* p, void*, gsl_vector* r) {
    Slot& slot = g_nesting.current();
    const Data& d = *slot.data;
    HostValue* params = slot.f.params;
    for (size_t i = 0; i < d.m; ++i) {
        // f may have assigned to its parameters: all are written again for each point.
        params[0] = make_real(d.x()[i]);
        for (size_t j = 0; j < p->size; ++j) params[j + 1] = make_real(gsl_vector_get(p, j));
        HostValue buffer;
        const HostValue* returned = host().QeCal(&buffer, slot.f.handle, params);
        if (returned->base_type != kTypeReal) {
            slot.failed = true;
            return GSL_EBADFUNC;
        }
        const double value = std::bit_cast<double>(returned->word1);
        gsl_vector_set(r, i, d.root_w()[i] * (value - d.y()[i]));
    }
    return GSL_SUCCESS;
}

// ---- arguments -----------------------------------------------------------------------

// One dimension, or two of which one has size 1, accounting for every element.
const RealArray* vector_arg(const HostValue& v) {
    const RealArray* a = lookup_array(v);
    if (a == nullptr || !has_consistent_shape(*a)) return nullptr;
    const bool vector = a->ndims == 1 || (a->ndims == 2 && (a->dims[0] == 1 || a->dims[1] == 1));
    return vector ? a : nullptr;
}

struct Settings {
    double tol = kDefaultTolerance;
    int64_t maxit = kDefaultMaxIterations;
};

bool read_settings(std::span<const HostValue> args, Settings* s) {
    if (args.size() > 5) {
        if (!is_real(args[5]) || !(args[5].real() > 0.0)) return false;
        s->tol = args[5].real();
    }
    if (args.size() > 6) {
        if (!is_integer(args[6]) || args[6].integer() < 1) return false;
        s->maxit = args[6].integer();
    }
    return true;
}

// The script's data as checked: x, y and the weights (null for all 1).
struct DataArgs {
    const RealArray* x = nullptr;
    const RealArray* y = nullptr;
    const RealArray* w = nullptr;
};

// x, y and w (an empty value for w: all 1); 0 or code 5.
int64_t check_data(std::span<const HostValue> args, size_t k, DataArgs* d) {
    d->x = vector_arg(args[2]);
    d->y = vector_arg(args[3]);
    const bool weighted = args.size() > 4 && !is_empty_value(args[4]);
    d->w = weighted ? vector_arg(args[4]) : nullptr;
    if (d->x == nullptr || d->y == nullptr || (weighted && d->w == nullptr)) return kCodeBadData;
    if (d->x->count != d->y->count || (weighted && d->w->count != d->x->count)) return kCodeBadData;
    if (d->x->count < static_cast<int64_t>(k)) return kCodeBadData;
    if (weighted && !std::all_of(d->w->data, d->w->data + d->w->count, [](double wi) { return wi > 0.0; })) {
        return kCodeBadData;
    }
    return 0;
}

// The checked data into the call's own copy; false when it cannot be had.
bool copy_data(const DataArgs& a, Data* d) {
    d->m = static_cast<size_t>(a.x->count);
    d->block = Scratch<double>(3 * a.x->count);
    if (!d->block.ok()) return false;
    double* block = d->block.get();
    std::copy_n(a.x->data, d->m, block);
    std::copy_n(a.y->data, d->m, block + d->m);
    for (size_t i = 0; i < d->m; ++i) block[2 * d->m + i] = a.w != nullptr ? std::sqrt(a.w->data[i]) : 1.0;
    return true;
}

// ---- the fit --------------------------------------------------------------------------

using Workspace = Owned<gsl_multifit_nlinear_workspace, gsl_multifit_nlinear_free>;

// A fit whose residuals at the current parameters are not all finite can go
// no further: no step from there can be judged, and GSL's tests on such a
// cost may even accept it.
struct ResidualsWatch {
    gsl_multifit_nlinear_workspace* fitter;
    void before_step() {}
    bool stuck() const {
        const gsl_vector* r = gsl_multifit_nlinear_residual(fitter);
        for (size_t i = 0; i < r->size; ++i) {
            if (!std::isfinite(gsl_vector_get(r, i))) return true;
        }
        return false;
    }
};
using Outcome = VectorOutcome;  // x: the current parameters
constexpr auto refused = refused_vector;

Outcome fit(Slot& slot, const RealArray& p0, const Data& data, const Settings& settings) {
    const size_t k = static_cast<size_t>(p0.count);
    Outcome out;
    out.x.reset(allocate_gated(gsl_vector_alloc, k));
    if (!out.x) return refused(kCodeNoMemory);
    std::copy_n(p0.data, k, out.x->data);
    const gsl_multifit_nlinear_parameters parameters = gsl_multifit_nlinear_default_parameters();
    Workspace w{allocate_gated(gsl_multifit_nlinear_alloc, gsl_multifit_nlinear_trust, &parameters, data.m, k)};
    if (!w) return refused(kCodeNoMemory);
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = residuals;
    fdf.df = nullptr;  // GSL's finite differences
    fdf.fvv = nullptr;
    fdf.n = data.m;
    fdf.p = k;
    fdf.params = nullptr;
    // Setting up evaluates the residuals at p0.
    out.status = gsl_multifit_nlinear_init(out.x.get(), &fdf, w.get());
    // An iteration that can make no progress returns GSL_ENOPROG, which ends the fit.
    gsl_multifit_nlinear_workspace* fitter = w.get();
    return iterate_vector(
        slot, settings.maxit, std::move(out), [fitter] { return gsl_multifit_nlinear_iterate(fitter); },
        [fitter, &settings] {
            int info = 0;
            return gsl_multifit_nlinear_test(settings.tol, kGradientTolerance, kCostTolerance, &info, fitter) ==
                   GSL_SUCCESS;
        },
        [fitter] { return gsl_multifit_nlinear_position(fitter); }, ResidualsWatch{fitter});
}

// Steps that run while the call holds its level.
Outcome fit_at_level(Slot& slot, std::span<const HostValue> args) {
    slot.failed = false;
    if (!resolve_function(args[0], &slot.f)) return refused(kCodeNotAFunction);
    if (slot.f.last_param < 1) return refused(kCodeTooFewParameters);
    const size_t k = static_cast<size_t>(slot.f.last_param);
    const RealArray* p0 = vector_arg(args[1]);
    if (p0 == nullptr || p0->count != static_cast<int64_t>(k)) return refused(kCodeBadP0);
    DataArgs given;
    if (const int64_t code = check_data(args, k, &given); code != 0) return refused(code);
    Settings settings;
    if (!read_settings(args, &settings)) return refused(kCodeBadControl);
    Data data;
    if (!copy_data(given, &data)) return refused(kCodeNoMemory);
    slot.data = &data;
    return fit(slot, *p0, data, settings);
}

}  // namespace

HostValue* lsqfit(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return run_nested(
        g_nesting, kEntry, result, last_index, args, ctx,
        [](Slot& slot, std::span<HostValue> arguments) { return fit_at_level(slot, arguments); },
        [result, ctx](const Outcome& out) { return deliver_vector(result, kEntry.name, out, ctx); });
}

}  // namespace hostmath
