// SPDX-License-Identifier: GPL-3.0-or-later
// The iteration operator (code 38): hands consecutive elements of an array
// to the loop variables, one batch per call. The script's iteration state
// (an integer position, or empty once the walk is over) carries the position
// from call to call; the operator keeps nothing itself.
//
// Arguments: a, state, [step marker, s], [range marker, first, last], y1, ..., yp.
#include <algorithm>
#include <limits>

#include "script/math_array.h"
#include "script/operators.h"

namespace hostmath {

namespace {

constexpr const HostChar* kInKey = u"math::in";

enum InCode : int64_t {
    kBadArgumentCount = 1,
    kNoData = 2,
    kBadState = 4,
    kBadStep = 5,
    kBadRange = 6,
};

struct Walk {
    int64_t step = 1;
    int64_t first = 0;
    int64_t last = 0;
    int64_t first_variable = 2;  // argument index
};

// The position one step on; false when it would leave the 64-bit range,
// which lies beyond every element in the direction of the step.
bool advance(int64_t pos, int64_t step, int64_t* next) {
    if (step > 0 ? pos > std::numeric_limits<int64_t>::max() - step
                 : pos < std::numeric_limits<int64_t>::min() - step)
        return false;
    *next = pos + step;
    return true;
}

bool within(const Walk& w, int64_t pos) { return w.step > 0 ? pos <= w.last : pos >= w.last; }

HostValue* in_failure(HostValue* result, int64_t code, void* ctx) {
    report(kInKey, code, ctx);
    return write_integer(result, 0);
}

}  // namespace

HostValue* op_in(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_integer(result, 0);
    const int64_t nargs = last_index + 1;
    if (nargs < 2) return in_failure(result, kBadArgumentCount, ctx);
    int64_t words[4] = {};
    const double* data = host().GetArray(&args[0], ctx, words);
    if (data == nullptr) return in_failure(result, kNoData, ctx);
    const int64_t length = words[0];
    HostValue& state = args[1];
    if (is_empty_value(state)) return result;
    if (!is_integer(state)) return in_failure(result, kBadState, ctx);
    int64_t pos = state.integer();
    if (pos < 0 || pos >= length) return result;

    Walk w;
    w.last = length - 1;
    int64_t next = 2;
    if (next < nargs && is_option(args[next], kOptionStep)) {
        if (next + 1 >= nargs || !is_integer(args[next + 1]) || args[next + 1].integer() == 0)
            return in_failure(result, kBadStep, ctx);
        w.step = args[next + 1].integer();
        next += 2;
    }
    if (next < nargs && is_option(args[next], kOptionRange)) {
        if (next + 2 >= nargs || !is_integer(args[next + 1]) || !is_integer(args[next + 2]))
            return in_failure(result, kBadRange, ctx);
        w.first = std::clamp(args[next + 1].integer(), int64_t{0}, length - 1);
        w.last = std::clamp(args[next + 2].integer(), int64_t{0}, length - 1);
        next += 3;
    }
    w.first_variable = next;
    const bool in_range = w.step > 0 ? (w.first <= pos && pos <= w.last) : (w.last <= pos && pos <= w.first);
    if (!in_range) return result;

    int64_t filled = 0;
    bool passed = false;
    for (int64_t v = w.first_variable; v < nargs && !passed; ++v) {
        args[v] = make_real(data[pos]);
        ++filled;
        passed = !advance(pos, w.step, &pos) || !within(w, pos);
    }
    if (!passed && filled == 0) passed = !advance(pos, w.step, &pos);
    if (passed) {
        state = make_empty();
    } else {
        state.word1 = static_cast<uint64_t>(pos);
    }
    return write_integer(result, w.first_variable >= nargs ? -1 : filled);
}

}  // namespace hostmath
