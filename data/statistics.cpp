// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics along a dimension (mean, var, std, min, max, median,
// quantile), sort and the running sums (cumsum, cumprod). Each is a kernel
// over runs (kernels/runs.h) that script/along.h applies along k as Sum
// reads it: the statistics give one value per run in Sum's shape, sort and
// the running sums a's shape. mean, var and cumsum add with Sum's own step
// in Sum's order, so a mean is Sum's sum divided by the count and cumsum's
// last element is Sum's total, to the bit.
#include <algorithm>
#include <cmath>
#include <limits>

#include "data/sorting.h"
#include "kernels/runs.h"
#include "script/along.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

enum Code : int64_t {
    kCodeArgumentCount = 1,
    kCodeNotAnArray = kAlongCodeNotAnArray,
    kCodeProbability = 4,
    kCodeNoMemory = 7,
};

// The value of a run without elements: one fixed NaN (0.0 / 0.0 would give
// the processor's own pattern).
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool is_nan(double x) { return x != x; }

// ---- sums and extremes: one walk each ---------------------------------------

void mean_runs(const double* a, const Runs& r, double* out) {
    sum_runs(a, r, out);
    const double count = static_cast<double>(r.along);
    for (int64_t run = 0; run < r.count(); ++run) out[run] = r.along == 0 ? kNaN : out[run] / count;
}

// Two walks: the means into `centres`, then the squares of the deviations
// from them in the same order. One element's sum of squares is already its
// variance: 0.0, or NaN when the element is not finite.
void variance_runs(const double* a, const Runs& r, double* centres, double* out) {
    if (r.along == 0) {
        std::fill_n(out, r.count(), kNaN);
        return;
    }
    mean_runs(a, r, centres);
    const auto square_of_deviation = [centres](double sum, double x, int64_t run) {
        const double d = x - centres[run];
        return sum + d * d;
    };
    walk_runs<Write::kFinal>(a, r, 0.0, square_of_deviation, out);
    const double divisor = static_cast<double>(r.along - 1);
    for (int64_t run = 0; run < r.count(); ++run) {
        if (r.along == 0) out[run] = kNaN;
        if (r.along > 1) out[run] = out[run] / divisor;
    }
}

// The first NaN met stays; otherwise only a strictly smaller (larger)
// value takes over, so the first of equal values stands (-0 before +0 or
// the other way round). The start, an infinity, is replaced by the first
// element or equal to it.
constexpr auto min_step = [](double m, double x, int64_t) { return is_nan(m) ? m : (x < m || is_nan(x)) ? x : m; };
constexpr auto max_step = [](double m, double x, int64_t) { return is_nan(m) ? m : (x > m || is_nan(x)) ? x : m; };

template <class Step>
void extreme_runs(const double* a, const Runs& r, double start, Step step, double* out) {
    walk_runs<Write::kFinal>(a, r, start, step, out);
    if (r.along == 0) std::fill_n(out, r.count(), kNaN);
}

// ---- order statistics: a selection on a copy of each run ----------------------

// Equal values differ only in the sign of a zero. The stable ascending
// order keeps zeros in the run's order, after the negative elements, so the
// zero at sorted position i is the (i - negatives)-th zero of the run.
double zero_at(const double* a, const Runs& r, int64_t run, int64_t i) {
    const double* x = a + r.start_of(run);
    int64_t negatives = 0;
    for (int64_t t = 0; t < r.along; ++t) negatives += x[t * r.stride()] < 0.0 ? 1 : 0;
    int64_t wanted = i - negatives;
    for (int64_t t = 0; t < r.along; ++t) {
        const double v = x[t * r.stride()];
        if (v == 0.0 && wanted-- == 0) return v;
    }
    return 0.0;
}

// s(i), and s(i + 1) when asked, of run `run`'s stable ascending order.
// `copy` holds the run without NaN; the selection reorders it.
struct Neighbours {
    double at = 0.0;
    double next = 0.0;
};
Neighbours order_statistics(const double* a, const Runs& r, int64_t run, double* copy, int64_t i, bool with_next) {
    double* end = copy + r.along;
    std::nth_element(copy, copy + i, end);
    // Everything behind position i is at least s(i): s(i + 1) is the least of it.
    Neighbours s{copy[i], with_next ? *std::min_element(copy + i + 1, end) : 0.0};
    if (s.at == 0.0) s.at = zero_at(a, r, run, i);
    if (with_next && s.next == 0.0) s.next = zero_at(a, r, run, i + 1);
    return s;
}

// out[run] = pick(run, copy) for each run copied into `copy`: NaN for an
// empty run, the first NaN of a run that holds one.
template <class Pick>
void select_runs(const double* a, const Runs& r, double* copy, double* out, Pick pick) {
    for (int64_t run = 0; run < r.count(); ++run) {
        if (r.along == 0) {
            out[run] = kNaN;
            continue;
        }
        gather_run(a, r, run, copy);
        const double* nan = std::find_if(copy, copy + r.along, is_nan);
        out[run] = nan != copy + r.along ? *nan : pick(run, copy);
    }
}

void median_runs(const double* a, const Runs& r, double* copy, double* out) {
    const int64_t n = r.along;
    const int64_t i = (n - 1) / 2;
    select_runs(a, r, copy, out, [&](int64_t run, double* c) {
        const Neighbours s = order_statistics(a, r, run, c, i, n % 2 == 0);
        return n % 2 == 0 ? (s.at + s.next) / 2.0 : s.at;
    });
}

// delta = (n - 1) p, i = floor(delta): (1 - (delta - i)) s(i) + (delta - i) s(i + 1),
// and s(i) itself when delta is whole (an infinity at i + 1 leaves it alone).
void quantile_runs(const double* a, const Runs& r, double p, double* copy, double* out) {
    const double delta = static_cast<double>(r.along - 1) * p;
    const double whole = std::floor(delta);
    const double fraction = delta - whole;
    const auto i = static_cast<int64_t>(whole);
    select_runs(a, r, copy, out, [&](int64_t run, double* c) {
        const Neighbours s = order_statistics(a, r, run, c, i, fraction != 0.0);
        return fraction == 0.0 ? s.at : (1.0 - fraction) * s.at + fraction * s.next;
    });
}

// ---- sort: each run sorted in the result ------------------------------------------

// Contiguous runs are sorted where they land in the result; strided ones are
// gathered, sorted and scattered back.
int64_t sort_work(const Runs& r) { return r.inner == 1 ? r.along : 2 * r.along; }

void sort_runs(const double* a, const Runs& r, double* work, double* out) {
    if (r.inner == 1) {
        std::copy(a, a + r.outer * r.along, out);
        for (int64_t o = 0; o < r.outer; ++o) data::stable_sort_values(out + o * r.along, r.along, work);
        return;
    }
    double* copy = work;
    double* buffer = work + r.along;
    for (int64_t run = 0; run < r.count(); ++run) {
        gather_run(a, r, run, copy);
        data::stable_sort_values(copy, r.along, buffer);
        scatter_run(copy, r, run, out);
    }
}

// ---- the functions ------------------------------------------------------------------

// Runs of no elements need no centres: an empty array may have sizes whose
// runs are far more than its elements, and the work stays within those.
int64_t one_per_run(const Runs& r) { return r.along == 0 ? 0 : r.count(); }
int64_t one_run_long(const Runs& r) { return r.along; }

// What a function gives: one value per run (Sum's shape), or a's shape.
enum class Result : bool { kPerRun, kShapeOfA };

struct AlongFunction {
    const HostChar* key;
    Result result;
    bool takes_probability;  // quantile's p, before k
    RunKernel kernel;
};

constexpr AlongFunction kMean{u"math::mean", Result::kPerRun, false,
                              {nullptr, [](const double* a, const Runs& r, double, double*, double* out) {
                                   mean_runs(a, r, out);
                               }}};
constexpr AlongFunction kVar{u"math::var", Result::kPerRun, false,
                             {one_per_run, [](const double* a, const Runs& r, double, double* work, double* out) {
                                  variance_runs(a, r, work, out);
                              }}};
constexpr AlongFunction kStd{u"math::std", Result::kPerRun, false,
                             {one_per_run, [](const double* a, const Runs& r, double, double* work, double* out) {
                                  variance_runs(a, r, work, out);
                                  for (int64_t run = 0; run < r.count(); ++run) out[run] = std::sqrt(out[run]);
                              }}};
constexpr AlongFunction kMin{u"math::min", Result::kPerRun, false,
                             {nullptr, [](const double* a, const Runs& r, double, double*, double* out) {
                                  extreme_runs(a, r, std::numeric_limits<double>::infinity(), min_step, out);
                              }}};
constexpr AlongFunction kMax{u"math::max", Result::kPerRun, false,
                             {nullptr, [](const double* a, const Runs& r, double, double*, double* out) {
                                  extreme_runs(a, r, -std::numeric_limits<double>::infinity(), max_step, out);
                              }}};
constexpr AlongFunction kMedian{u"math::median", Result::kPerRun, false,
                                {one_run_long, [](const double* a, const Runs& r, double, double* work, double* out) {
                                     median_runs(a, r, work, out);
                                 }}};
constexpr AlongFunction kQuantile{u"math::quantile", Result::kPerRun, true,
                                  {one_run_long, [](const double* a, const Runs& r, double p, double* work, double* out) {
                                       quantile_runs(a, r, p, work, out);
                                   }}};
constexpr AlongFunction kSort{u"math::sort", Result::kShapeOfA, false,
                              {sort_work, [](const double* a, const Runs& r, double, double* work, double* out) {
                                   sort_runs(a, r, work, out);
                               }}};
constexpr AlongFunction kCumsum{u"math::cumsum", Result::kShapeOfA, false,
                                {nullptr, [](const double* a, const Runs& r, double, double*, double* out) {
                                     walk_runs<Write::kEvery>(a, r, 0.0, add_step, out);
                                 }}};
constexpr AlongFunction kCumprod{u"math::cumprod", Result::kShapeOfA, false,
                                 {nullptr, [](const double* a, const Runs& r, double, double*, double* out) {
                                      walk_runs<Write::kEvery>(a, r, 1.0, [](double p, double x, int64_t) { return p * x; }, out);
                                  }}};

// NAME(a [, k]) or NAME(a, p [, k]): the checks in argument order, then the
// walk along k.
HostValue* call_along(const AlongFunction& f, HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    const int64_t before_k = f.takes_probability ? 2 : 1;
    if (nargs < before_k || nargs > before_k + 1) return fail(result, f.key, kCodeArgumentCount, ctx);
    const RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, f.key, kCodeNotAnArray, ctx);
    double p = 0.0;
    if (f.takes_probability && !(read_real(args[1], &p) && p >= 0.0 && p <= 1.0)) {
        return fail(result, f.key, kCodeProbability, ctx);
    }
    const AlongCall call{f.key, kCodeNoMemory, result, ctx};
    const HostValue* k = nargs > before_k ? &args[before_k] : nullptr;
    return f.result == Result::kPerRun ? reduce_along(call, *a, k, f.kernel, p) : transform_along(call, *a, k, f.kernel, p);
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(mean) { return call_along(kMean, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(var) { return call_along(kVar, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(standard_deviation) { return call_along(kStd, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(minimum) { return call_along(kMin, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(maximum) { return call_along(kMax, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(median) { return call_along(kMedian, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(quantile) { return call_along(kQuantile, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(sort) { return call_along(kSort, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(cumsum) { return call_along(kCumsum, result, last_index, args, ctx); }
HOSTMATH_SCRIPT_FUNCTION(cumprod) { return call_along(kCumprod, result, last_index, args, ctx); }

}  // namespace hostmath
