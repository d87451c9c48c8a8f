// SPDX-License-Identifier: GPL-3.0-or-later
// An array seen as runs along one of its dimensions, and the one walk over
// them that sums, statistics and running sums share.
//
// The row-major elements form `outer` blocks of `along` rows of `inner`
// elements each. Run (o, j) is a[(o * along + t) * inner + j] for t = 0 ..
// along - 1, and its number is o * inner + j. A walk takes every run in
// increasing t whatever the layout, so a sum along a run has one order
// whether the run is contiguous (inner = 1) or strided.
#pragma once

#include <algorithm>
#include <cstdint>

namespace hostmath {

struct Runs {
    int64_t outer = 1;
    int64_t along = 0;
    int64_t inner = 1;

    int64_t count() const { return outer * inner; }
    // The position of run `run`'s first element, and the distance between
    // its elements.
    int64_t start_of(int64_t run) const { return (run / inner) * along * inner + run % inner; }
    int64_t stride() const { return inner; }
};

// All `count` elements as one run in storage order.
inline Runs one_run(int64_t count) { return Runs{1, count, 1}; }

// What a walk writes: the final value of each run, or the value after each
// element at that element's position.
enum class Write : bool { kFinal, kEvery };

// value = step(value, x, run) over each run's elements, from `start`.
// kFinal writes out[run] (count() values); kEvery writes out in a's layout.
template <Write kWrite, class Step>
void walk_runs(const double* a, const Runs& r, double start, Step step, double* out) {
    if (r.inner == 1) {
        // Contiguous runs: the running value stays in a register rather than
        // going through `out`, which the compiler must assume may alias `a`.
        for (int64_t o = 0; o < r.outer; ++o) {
            const double* x = a + o * r.along;
            double value = start;
            if constexpr (kWrite == Write::kEvery) {
                double* y = out + o * r.along;
                for (int64_t t = 0; t < r.along; ++t) y[t] = value = step(value, x[t], o);
            } else {
                for (int64_t t = 0; t < r.along; ++t) value = step(value, x[t], o);
                out[o] = value;
            }
        }
        return;
    }
    // Runs side by side: a whole row of them advances at a time, which keeps
    // each run's order while the independent runs share the loads.
    for (int64_t o = 0; o < r.outer; ++o) {
        const int64_t first = o * r.inner;
        const double* block = a + o * r.along * r.inner;
        if constexpr (kWrite == Write::kEvery) {
            double* y = out + o * r.along * r.inner;
            for (int64_t t = 0; t < r.along; ++t) {
                const double* row = block + t * r.inner;
                double* now = y + t * r.inner;
                if (t == 0) {
                    for (int64_t j = 0; j < r.inner; ++j) now[j] = step(start, row[j], first + j);
                } else {
                    const double* before = now - r.inner;
                    for (int64_t j = 0; j < r.inner; ++j) now[j] = step(before[j], row[j], first + j);
                }
            }
        } else {
            double* value = out + first;
            std::fill_n(value, r.inner, start);
            for (int64_t t = 0; t < r.along; ++t) {
                const double* row = block + t * r.inner;
                for (int64_t j = 0; j < r.inner; ++j) value[j] = step(value[j], row[j], first + j);
            }
        }
    }
}

// The step of every running sum: Sum, mean, var and cumsum add with it.
inline constexpr auto add_step = [](double sum, double x, int64_t) { return sum + x; };

// Each run's sum from 0.0 in increasing index order.
inline void sum_runs(const double* a, const Runs& r, double* out) { walk_runs<Write::kFinal>(a, r, 0.0, add_step, out); }

// Run `run`'s elements copied into `copy` (along elements), in order.
inline void gather_run(const double* a, const Runs& r, int64_t run, double* copy) {
    const double* x = a + r.start_of(run);
    for (int64_t t = 0; t < r.along; ++t) copy[t] = x[t * r.stride()];
}

// `copy` (along elements) written into run `run` of `out`, laid out like a.
inline void scatter_run(const double* copy, const Runs& r, int64_t run, double* out) {
    double* y = out + r.start_of(run);
    for (int64_t t = 0; t < r.along; ++t) y[t * r.stride()] = copy[t];
}

}  // namespace hostmath
