// SPDX-License-Identifier: GPL-3.0-or-later
// What the searches over script functions in optim/ share: their run-error
// codes and report kinds, the checks every call makes on entry, the way a
// call holds its nesting level, and the iteration loop and result of the
// searches over n variables.
#pragma once

#include <gsl/gsl_errno.h>
#include <gsl/gsl_vector.h>

#include <cstdint>
#include <span>

#include "kernels/allocation.h"
#include "script/math_array.h"
#include "script/nesting.h"

namespace hostmath::optim {

// Run-error codes, reported with kind 1 under the function's full name.
// Codes 4 and 5 name each function's own inputs.
enum Code : int64_t {
    kCodeArgumentCount = 1,   // a count of arguments outside the function's range
    kCodeNotAFunction = 2,    // f is not a script function the host can resolve
    kCodeParameterCount = 3,  // f takes a number of parameters the function cannot use
    kCodeBadStart = 4,        // the interval, or the start point
    kCodeBadData = 5,         // fzero: no sign change over the interval
    kCodeBadControl = 6,      // a tolerance, maxit or step
    kCodeNoMemory = 7,        // GSL's solver, a vector or the result could not be allocated
    kCodeNotReal = 8,         // f returned something other than a real
    kCodeTooDeep = 9,         // six calls of this function are already active
};
// The other report kinds: a GSL status, and the end of the iteration budget.
constexpr int32_t kKindGslStatus = -1;
constexpr int32_t kKindSoftStop = -2;
constexpr int64_t kCodeMaxIterations = 1;

// The checks before any argument is read, in their order: nesting, a pending
// run error (the empty result without a report), the argument count, which is
// compared as the last index so that no count the host passes can overflow.
// True when the call ends here, with `result` written.
template <class Slot>
bool ends_on_entry(const Nesting<Slot>& nesting, const HostChar* name, int64_t last_index, int64_t least,
                   int64_t most, HostValue* result, void* ctx) {
    write_empty(result);
    if (nesting.full()) {
        fail(result, name, kCodeTooDeep, ctx);
        return true;
    }
    if (run_error_pending()) return true;
    if (last_index < least - 1 || last_index > most - 1) {
        fail(result, name, kCodeArgumentCount, ctx);
        return true;
    }
    return false;
}

// A function's name and its least and most argument counts.
struct Entry {
    const HostChar* name;
    int64_t least;
    int64_t most;
};

// The whole call after the entry checks: holds the next nesting level while
// `at_level(slot, arguments)` runs, gives it back and hands the outcome to
// `deliver`. A failure stays with the level whose f misbehaved: the call
// around a nested one that failed goes on, since its own f returned a real.
template <class Slot, class AtLevel, class Deliver>
HostValue* run_nested(Nesting<Slot>& nesting, const Entry& entry, HostValue* result, int64_t last_index,
                      HostValue* args, void* ctx, AtLevel at_level, Deliver deliver) {
    if (ends_on_entry(nesting, entry.name, last_index, entry.least, entry.most, result, ctx)) return result;
    const std::span<HostValue> arguments(args, static_cast<size_t>(last_index + 1));
    decltype(at_level(nesting.slots[0], arguments)) out;
    {
        LevelTaken<Slot> level(nesting);
        out = at_level(level.slot(), arguments);
    }
    return deliver(out);
}

// ---- searches over n variables -----------------------------------------------------

using Vector = Owned<gsl_vector, gsl_vector_free>;

// What a search over n variables comes to: a refusal code, the end by a
// pending run error, or the estimate and how the iterations ended.
struct VectorOutcome {
    int64_t refusal = 0;
    bool interrupted = false;
    int status = GSL_SUCCESS;  // of the set-up or the GSL iteration that failed
    bool budget_spent = false;
    Vector x = nullptr;  // the estimate
};

inline VectorOutcome refused_vector(int64_t code) { return VectorOutcome{.refusal = code}; }

// Watches a search for the point where it can go no further; this one
// leaves that to GSL, which reports it from its own iteration.
struct GslJudgesProgress {
    void before_step() {}
    bool stuck() { return false; }
};

// GSL's iterations, `step()` each, until a step (or the set-up whose status
// `out` holds) fails, f fails, the watch finds the search stuck
// (GSL_ENOPROG: asked first, since GSL's own test may accept a point it
// cannot judge), `accepted()` holds after an iteration or maxit iterations
// are spent. Each
// iteration is preceded by the pending-run-error test. The estimate is then
// copied from `position()` into out.x.
template <class Slot, class Step, class Accepted, class Position, class Watch = GslJudgesProgress>
VectorOutcome iterate_vector(const Slot& slot, int64_t maxit, VectorOutcome out, Step step, Accepted accepted,
                             Position position, Watch watch = {}) {
    for (int64_t iterations = 0;;) {
        if (run_error_pending()) return VectorOutcome{.interrupted = true};
        if (slot.failed) return refused_vector(kCodeNotReal);
        if (out.status != GSL_SUCCESS) break;
        if (watch.stuck()) {
            out.status = GSL_ENOPROG;
            break;
        }
        if (iterations > 0 && accepted()) break;
        if (iterations == maxit) {
            out.budget_spent = true;
            break;
        }
        watch.before_step();
        out.status = step();
        ++iterations;
    }
    gsl_vector_memcpy(out.x.get(), position());
    return out;
}

// The estimate as a new vector, after the reports of a failed GSL step and an
// exhausted budget; code 7 alone when the vector cannot be made.
HostValue* deliver_vector(HostValue* result, const HostChar* name, const VectorOutcome& out, void* ctx);

}  // namespace hostmath::optim
