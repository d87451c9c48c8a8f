// SPDX-License-Identifier: GPL-3.0-or-later
// What the searches over script functions in optim/ share: their run-error
// codes and report kinds, and the checks every call makes on entry.
#pragma once

#include <cstdint>

#include "array/math_array.h"
#include "array/nesting.h"

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

}  // namespace hostmath::optim
