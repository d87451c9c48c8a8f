// SPDX-License-Identifier: GPL-3.0-or-later
// pqrt: one real root of a script function of one parameter near a start
// value. The inverse function x(y) is interpolated through the points of a
// pass by a continued fraction of inverse differences (Thiele), and the
// fraction's value at y = 0 is the next point. A pass has at most eight
// points, the search at most ten passes; the estimate is written back into
// the start-value argument and the result is the number of passes.
//
// All state is local, so a script function may call pqrt again while it is
// being evaluated.
#include <bit>
#include <cmath>
#include <cstdint>

#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {
namespace {

constexpr const HostChar* kName = u"math::pqrt";

// Run-error codes, reported with kind 1; argument 2 is left as it was.
enum PqrtCode : int64_t {
    kCodeNotAFunction = 1,  // f is not a script function the host can resolve
    kCodeNotOneParameter = 2,
    kCodeAssignsParameter = 3,  // f assigns to its parameter
    kCodeBadArgument = 4,       // x or eps not a real, or eps not above 0
    kCodeNotReal = 5,           // an evaluation returned something other than a real
    // An evaluation returned NaN: the point is no root, and going on would
    // only interpolate through it. The documented codes stop at 5; this one
    // follows them and is listed in docs/roots.md.
    kCodeNotANumber = 6,
};

constexpr int kPointsPerPass = 8;
constexpr int kPasses = 10;
// The first three points of a pass lie at these offsets from its start.
constexpr double kStartOffsets[3] = {0.0, 0.1, 0.2};
// Stands in for a quotient whose denominator is negligible next to 1.
constexpr double kHuge = 1e50;

bool negligible(double d) { return std::fabs(d) + 1.0 == 1.0; }

// How an iteration ends: the pass count, or a failure code.
struct Outcome {
    int64_t passes = 0;
    int64_t failure = 0;
};

class Iteration {
public:
    Iteration(void* handle, HostValue* params, double eps) : handle_(handle), params_(params), eps_(eps) {}

    // Runs the passes from x0; *estimate receives the value to write back.
    Outcome run(double x0, double* estimate) {
        *estimate = x0;
        for (int pass = 1; pass <= kPasses; ++pass) {
            if (run_error_pending()) return Outcome{.passes = pass - 1};
            for (int j = 0; j < kPointsPerPass; ++j) {
                const double z = j == 0 ? x0 : j < 3 ? x0 + kStartOffsets[j] : *estimate;
                bool is_real = false;
                const double y = evaluate_at(handle_, params_, z, &is_real);
                if (!is_real) return Outcome{.failure = kCodeNotReal};
                v_[j] = y;
                if (j == 0) {
                    c_[0] = z;
                    *estimate = z;
                } else {
                    c_[j] = inverse_difference(j, z, y);
                    *estimate = continued_fraction(j);
                }
                if (std::isnan(y)) return Outcome{.failure = kCodeNotANumber};
                if (std::fabs(y) < eps_) return Outcome{.passes = pass};
            }
            x0 = *estimate;
        }
        return Outcome{.passes = kPasses};
    }

private:
    // The j-th inverse difference of the pass's points, taken at point j.
    double inverse_difference(int j, double z, double y) const {
        double u = z;
        for (int k = 0; k < j; ++k) {
            const double d = u - c_[k];
            if (negligible(d)) return kHuge;
            u = (y - v_[k]) / d;
        }
        return u;
    }

    // The fraction c0 + (y - v0) / (c1 + (y - v1) / (c2 + ...)) at y = 0,
    // evaluated from the innermost term out.
    double continued_fraction(int j) const {
        double t = 0.0;
        for (int k = j - 1; k >= 0; --k) {
            const double d = c_[k + 1] + t;
            t = negligible(d) ? kHuge : -(v_[k] / d);
        }
        return c_[0] + t;
    }

    void* handle_;
    HostValue* params_;
    const double eps_;
    double c_[kPointsPerPass] = {};
    double v_[kPointsPerPass] = {};
};

}  // namespace

HostValue* pqrt(HostValue* result, int64_t /*last_index: always 2*/, HostValue* args, void* ctx) {
    write_empty(result);
    if (run_error_pending()) return result;

    ResolvedFunction f;
    if (!resolve_function(args[0], &f)) return fail(result, kName, kCodeNotAFunction, ctx);
    if (f.last_param != 0) return fail(result, kName, kCodeNotOneParameter, ctx);
    if (host().ParaModify(f.handle) != 0) return fail(result, kName, kCodeAssignsParameter, ctx);
    // Written so that a NaN eps is refused too.
    if (!is_real(args[1]) || !is_real(args[2]) || !(args[2].real() > 0.0)) {
        return fail(result, kName, kCodeBadArgument, ctx);
    }

    double estimate = 0.0;
    const Outcome out = Iteration(f.handle, f.params, args[2].real()).run(args[1].real(), &estimate);
    if (out.failure != 0) return fail(result, kName, out.failure, ctx);
    // Only the payload changes: the record stays a real.
    args[1].word1 = std::bit_cast<uint64_t>(estimate);
    return write_integer(result, out.passes);
}

}  // namespace hostmath
