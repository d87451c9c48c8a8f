// SPDX-License-Identifier: GPL-3.0-or-later
// Matrix inversion behind math::inv: Gauss-Jordan elimination with complete
// pivoting, in place.
//
// The arithmetic is fixed element by element. At step k the pivot is the
// element of largest magnitude among rows and columns k..n-1, the first in
// row-major scan order on ties (NaN is never chosen); it is swapped to
// (k, k), inverted, row k is multiplied by it, every other element becomes
// a(i, j) - a(k, j) * a(i, k), and column k becomes -(a(i, k) * a(k, k)).
// Every variant below performs exactly these rounded operations on exactly
// these operands, so all give bit-identical results; they differ only in how
// many independent elements they compute at once and in when they move data.
#pragma once

#include <cstdint>

#include "kernels/matmul.h"
#include "kernels/scratch.h"

namespace hostmath {

namespace inverse_detail {
struct SpanKernels;
}

// The pivot for a step, or a partial result of its search over some rows:
// the largest magnitude found and its first position in scan order.
// magnitude 0.0 with row and col -1: nothing larger than 0 was found.
struct Pivot {
    double magnitude = 0.0;
    int64_t row = -1;
    int64_t col = -1;
};

// Partial searches over consecutive row ranges combine in scan order: a
// later range wins only with a strictly larger magnitude.
inline Pivot later_in_scan_order(const Pivot& earlier, const Pivot& later) {
    return later.magnitude > earlier.magnitude ? later : earlier;
}

// The singularity test: a magnitude that vanishes next to 1.0 (at most 2^-53).
inline bool negligible_pivot(double magnitude) { return magnitude + 1.0 == 1.0; }

enum class Inversion { kInverted, kSingular, kNoMemory };

// A step's sweep and pivot search are split across threads only where each
// thread gets at least this many elements to update (docs/performance.md,
// "Threads", has the measurements behind it); a matrix with fewer than twice
// as many elements stays on one thread altogether.
inline constexpr int64_t kInverseElementsPerThread = int64_t{1} << 15;

// Inverts the n x n row-major matrix `a` in place; pivot_rows and pivot_cols
// (n entries each) receive the pivot chosen at each step. kSingular when a
// step finds a negligible pivot: `a` then holds the values after the last
// completed step. kNoMemory when the working rows cannot be allocated: `a`
// is untouched. The kernel must be supported (kernel_supported).
// With `threads` > 1, one team of that many threads, started and joined
// within the call, shares every step whose sweep gives each thread at least
// `min_per_thread` elements, and every window's catch-up; the result is the
// same, bit for bit, for every thread count. The body does no host call.
Inversion invert_with(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols,
                      int threads = 1, int64_t min_per_thread = kInverseElementsPerThread);
// The fastest kernel for this processor, and the inversion with it.
MatmulKernel inverse_kernel();
Inversion invert_in_place(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols, int threads = 1);
// The threads worth using for a matrix of order n: 1 to the thread limit.
int inverse_threads(int64_t n);
// The elimination exactly as it reads, one element at a time with full row
// and column swaps: the reference the fast variants are checked against.
// False when singular.
bool invert_reference(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols);

// The pivot search of step k over rows [row_begin, row_end) (within k..n-1)
// and columns k..n-1, as the first step needs it.
Pivot search_pivot(const double* a, int64_t n, int64_t k, int64_t row_begin, int64_t row_end);

// The closing permutation after the last step: for k = n-1 down to 0, rows
// k and pivot_cols[k] change places, and columns k and pivot_rows[k].
void unscramble(double* a, int64_t n, const int64_t* pivot_rows, const int64_t* pivot_cols);

// ---- one inversion in progress --------------------------------------------------------
// The fast elimination brings an element up to date only when something
// reads it: the next pivot search reads the rows and columns after the
// pivot, the next step its pivot row. Every other update lags behind by up
// to kWindow steps, kept as the scaled pivot rows of those steps and each
// row's multipliers, and is applied when the window ends, in step order,
// while the row is in cache (catch_up_rows). Each element still receives the
// same updates from the same values in the same order.
//
// A step is one call of begin_step, then eliminate_rows over row ranges
// that together cover every row: the ranges are independent (any split, in
// any order, or at once), and their pivot searches combine in scan order
// with later_in_scan_order. When window_full(), when a pivot is negligible
// and after the last step: catch_up_rows over ranges covering every row (as
// independent), then end_window.
class GaussJordan {
public:
    static constexpr int64_t kWindow = 32;

    GaussJordan(MatmulKernel kernel, double* a, int64_t n);
    bool ok() const { return lag_rows_.ok() && lag_cols_.ok(); }

    // Step k (the next one) with its pivot: swaps, then the pivot row.
    void begin_step(int64_t k, const Pivot& pivot);
    // Step k for rows [row_begin, row_end) (rows up to k are left for the
    // catch-up); returns the pivot search of step k + 1 over those rows.
    Pivot eliminate_rows(int64_t row_begin, int64_t row_end);
    bool window_full() const { return steps_ == kWindow; }
    // Applies the lagging updates of the steps since the window began.
    void catch_up_rows(int64_t row_begin, int64_t row_end);
    // The first row of part `part` of `parts` consecutive row ranges whose
    // catch-ups take about equal work (part `parts` gives n): a row before
    // the window's end replays whole rows, a row after it only the columns
    // before the window's pivots.
    int64_t catch_up_cut(int part, int parts) const;
    void end_window();

private:
    double* row(int64_t i) { return a_ + i * n_; }
    double* pivot_row_of(int64_t u) { return lag_rows_.get() + u * n_; }
    double* multipliers_of(int64_t i) { return lag_cols_.get() + i * kWindow; }
    // The lagging columns of a row after the pivots of the window's first
    // `steps` steps, with the row's multipliers c.
    void catch_up_after(double* x, const double* c, int64_t steps);
    // The window's steps from u_from on, for a row before their pivots.
    void replay(double* x, int64_t u_from);

    const inverse_detail::SpanKernels* spans_;
    double* a_;
    int64_t n_;
    int64_t first_ = 0;  // the window's first step
    int64_t steps_ = 0;  // steps begun in this window
    int64_t k_ = 0;      // the current step
    int64_t pivot_cols_[kWindow] = {};  // of the window's steps
    // Row u: the pivot row of step first_ + u, scaled.
    Scratch<double> lag_rows_;
    // Row i, entry u: a(i, k) of step k = first_ + u before it became
    // -(a(i, k) a(k, k)), for rows after k.
    Scratch<double> lag_cols_;
};

}  // namespace hostmath
