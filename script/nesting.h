// SPDX-License-Identifier: GPL-3.0-or-later
// Re-entrant script-function routines: the quadrature functions and gsl_ode
// may be called again from inside the script functions they evaluate. Each
// such routine counts its active calls (its nesting level) and keeps one slot
// per level with what the call at that level resolved. The adapter GSL is
// serving always belongs to the innermost active call of its routine, so it
// finds its slot through the routine's current level.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace hostmath {

// Slot must have a `bool failed`: set by the adapters when a script function
// hands back a value of the wrong kind. It is kept per level rather than in
// one flag per routine: a nested call starts by clearing its own flag, and
// must not wipe out a failure that the enclosing call has already seen. The
// quadrature functions and gsl_ode still count a nested call's failure
// against the enclosing call of the same routine (pass_failure_up), as one
// shared flag would have it; the optimisers and gsl_cquad keep each failure
// with the call whose script function misbehaved.
template <class Slot>
struct Nesting {
    static constexpr int32_t kMaxActiveCalls = 6;

    int32_t level = -1;  // of the innermost active call; -1 while none is active
    std::array<Slot, kMaxActiveCalls> slots{};

    bool full() const { return level + 1 >= kMaxActiveCalls; }
    Slot& current() { return slots[static_cast<size_t>(level)]; }
    // Called once a call has given its level back: a failure it saw fails the
    // enclosing call of the same routine too, if there is one.
    void pass_failure_up(bool failed) {
        if (failed && level >= 0) current().failed = true;
    }
};

// Takes the next level for the lifetime of the object, so that every way out
// of a driver gives it back.
template <class Slot>
class LevelTaken {
public:
    explicit LevelTaken(Nesting<Slot>& nesting) : nesting_(nesting), level_(++nesting.level) {}
    ~LevelTaken() { --nesting_.level; }
    LevelTaken(const LevelTaken&) = delete;
    LevelTaken& operator=(const LevelTaken&) = delete;
    Slot& slot() { return nesting_.slots[static_cast<size_t>(level_)]; }

private:
    Nesting<Slot>& nesting_;
    int32_t level_;
};

}  // namespace hostmath
