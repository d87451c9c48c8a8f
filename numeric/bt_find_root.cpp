// SPDX-License-Identifier: GPL-3.0-or-later
// btFindRoot: every real root of a script function of one parameter on an
// interval. A walk with a fixed step takes each point where the function is
// already small enough as a root and refines each sign change by bisection;
// after every root the walk resumes half a step beyond it.
//
// All state is local and the function is evaluated through a record of the
// scan's own, so a script function may call btFindRoot again while it is
// being evaluated.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {
namespace {

constexpr const HostChar* kName = u"math::btFindRoot";

// Run-error codes, reported with kind 1.
enum FindRootCode : int64_t {
    kCodeArgumentCount = 1,  // not 4 to 6 arguments
    kCodeNotAFunction = 2,   // f is not a script function the host can resolve
    kCodeNotOneParameter = 3,
    kCodeAssignsParameter = 4,  // f assigns to its parameter
    kCodeBadArgument = 5,       // a, b, h, max or eps of the wrong kind or out of range
    kCodeNoRootBuffer = 6,
    kCodeNotReal = 7,  // an evaluation returned something other than a real
};

constexpr int64_t kDefaultMax = 10;
constexpr double kDefaultEps = 1e-6;

// What a scan comes to, when it is not the number of roots found.
constexpr int64_t kOutcomeInterrupted = -1;  // a run error became pending during a bisection
constexpr int64_t kOutcomeNotReal = -2;

struct Inputs {
    double a = 0.0;
    double b = 0.0;
    double h = 0.0;
    int64_t max = kDefaultMax;
    double eps = kDefaultEps;
};

// Whether half a step still moves every point the walk adds to. The walk
// adds h and h / 2 to points between a and b + 1.5 h; where that no longer
// changes a point, the walk would stand still for ever. A quarter step that
// moves the largest of these points means that half a step is at least one
// spacing of doubles everywhere on the walk. Infinite ends fail here too.
bool step_moves_the_walk(const Inputs& in) {
    const double farthest = std::max(std::fabs(in.a), std::fabs(in.b + in.h * 0.5 + in.h));
    return farthest + in.h * 0.25 > farthest;
}

// The roots the walk can record: each one moves it on by about half a step
// (at least a quarter step, whatever the rounding), so a buffer of this size
// is enough even when max asks for far more.
int64_t most_roots(const Inputs& in) {
    const double room = (in.b + in.h * 0.5 - in.a) / (in.h * 0.25) + 4.0;
    return room < static_cast<double>(in.max) ? static_cast<int64_t>(room) : in.max;
}

// Arguments 2 to 6, in the order the checks are stated: max and eps first,
// then the ranges and the kinds of a, b and h.
bool read_inputs(std::span<const HostValue> args, Inputs* in) {
    if (args.size() > 4) {
        if (!is_integer(args[4])) return false;
        in->max = args[4].integer();
    }
    if (args.size() > 5) {
        if (!is_real(args[5])) return false;
        in->eps = args[5].real();
    }
    if (!is_real(args[1]) || !is_real(args[2]) || !is_real(args[3])) return false;
    in->a = args[1].real();
    in->b = args[2].real();
    in->h = args[3].real();
    // Written so that NaN fails every test.
    if (!(in->a < in->b) || !(in->h > 0.0) || !(in->eps > 0.0) || in->max < 1) return false;
    return step_moves_the_walk(*in);
}

class Scan {
public:
    Scan(void* handle, const Inputs& in, std::span<double> roots)
        : handle_(handle), in_(in), half_(in.h * 0.5), end_(in.b + half_), roots_(roots) {}

    // The number of roots found, or kOutcomeInterrupted or kOutcomeNotReal.
    int64_t run() {
        double x = in_.a;
        double fx = 0.0;
        if (!evaluate(x, &fx)) return kOutcomeNotReal;
        do {
            if (count_ == static_cast<int64_t>(roots_.size())) break;
            if (run_error_pending()) break;
            if (std::fabs(fx) < in_.eps) {
                record(x);
                x = x + half_;
                if (!evaluate(x, &fx)) return kOutcomeNotReal;
                continue;
            }
            const double x2 = x + in_.h;
            double f2 = 0.0;
            if (!evaluate(x2, &f2)) return kOutcomeNotReal;
            if (std::fabs(f2) < in_.eps) {
                record(x2);
                x = x2 + half_;
                if (!evaluate(x, &fx)) return kOutcomeNotReal;
            } else if (fx * f2 > 0.0 || std::isnan(fx) || std::isnan(f2)) {
                // No sign change. A value that is not a number is none either:
                // bisecting towards it would record a root that is not there.
                x = x2;
                fx = f2;
            } else {
                const int64_t bisected = bisect(x, x2, fx, &x, &fx);
                if (bisected != 0) return bisected;
            }
        } while (x <= end_);
        return count_;
    }

private:
    // Refines the sign change between lo and hi, records the root and moves
    // the walk on beyond it; 0, or the outcome that ends the scan.
    int64_t bisect(double lo, double hi, double flo, double* x, double* fx) {
        for (;;) {
            if (run_error_pending()) return kOutcomeInterrupted;
            const double mid = (lo + hi) * 0.5;
            // A midpoint equal to an end means lo and hi are neighbouring
            // doubles: the bracket cannot narrow further, whatever eps asks,
            // so it counts as narrow enough.
            if (std::fabs(hi - lo) < in_.eps || mid == lo || mid == hi) {
                record(mid);
                *x = hi + half_;
                return evaluate(*x, fx) ? 0 : kOutcomeNotReal;
            }
            double fm = 0.0;
            if (!evaluate(mid, &fm)) return kOutcomeNotReal;
            if (std::fabs(fm) < in_.eps) {
                record(mid);
                *x = mid + half_;
                return evaluate(*x, fx) ? 0 : kOutcomeNotReal;
            }
            if (flo * fm < 0.0) {
                hi = mid;
            } else {
                lo = mid;
                flo = fm;
            }
        }
    }

    bool evaluate(double x, double* fx) {
        bool is_real = false;
        *fx = evaluate_at(handle_, &point_, x, &is_real);
        return is_real;
    }

    void record(double r) { roots_[static_cast<size_t>(count_++)] = r; }

    void* handle_;
    const Inputs& in_;
    const double half_;
    const double end_;
    std::span<double> roots_;  // as many as the scan may record
    int64_t count_ = 0;
    HostValue point_ = make_real(0.0);  // the abscissa, the function's one argument
};

HostValue* deliver(HostValue* result, std::span<const double> roots, void* ctx) {
    const int64_t sizes[1] = {static_cast<int64_t>(roots.size())};
    RealArray* a = new_array_shaped(sizes);
    if (a == nullptr) return result;  // no report: the result stays empty
    std::copy(roots.begin(), roots.end(), a->data);
    return return_new_array(result, a, ctx);
}

}  // namespace

HostValue* btFindRoot(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    if (run_error_pending()) return result;
    if (last_index < 3 || last_index > 5) return fail(result, kName, kCodeArgumentCount, ctx);
    const std::span<const HostValue> arguments(args, static_cast<size_t>(last_index + 1));

    ResolvedFunction f;  // its own parameter records are not used: the scan has one
    if (!resolve_function(args[0], &f)) return fail(result, kName, kCodeNotAFunction, ctx);
    if (f.last_param != 0) return fail(result, kName, kCodeNotOneParameter, ctx);
    if (host().ParaModify(f.handle) != 0) return fail(result, kName, kCodeAssignsParameter, ctx);
    Inputs in;
    if (!read_inputs(arguments, &in)) return fail(result, kName, kCodeBadArgument, ctx);

    Scratch<double> roots(most_roots(in));
    if (!roots.ok()) return fail(result, kName, kCodeNoRootBuffer, ctx);
    const int64_t outcome = Scan(f.handle, in, {roots.get(), roots.size()}).run();
    if (outcome == kOutcomeNotReal) return fail(result, kName, kCodeNotReal, ctx);
    if (outcome <= 0) return result;  // no roots, or interrupted: no report
    return deliver(result, {roots.get(), static_cast<size_t>(outcome)}, ctx);
}

}  // namespace hostmath
