// SPDX-License-Identifier: GPL-3.0-or-later
#include "kernels/linear_solve.h"

#include <cmath>
#include <utility>

#include "kernels/inverse_kernels.h"
#include "kernels/scratch.h"

namespace hostmath {
namespace {

bool negligible(double d) { return std::fabs(d) + 1.0 == 1.0; }

// The largest |row[q]| over q in [0, count), NaN ignored, never below 0.
// Branch-free, with two chains so that the compares overlap.
double largest_magnitude(const double* row, int64_t count) {
    double m0 = 0.0;
    double m1 = 0.0;
    int64_t q = 0;
    for (; q + 1 < count; q += 2) {
        const double v0 = std::fabs(row[q]);
        const double v1 = std::fabs(row[q + 1]);
        m0 = v0 > m0 ? v0 : m0;
        m1 = v1 > m1 ? v1 : m1;
    }
    if (q < count) {
        const double v = std::fabs(row[q]);
        m0 = v > m0 ? v : m0;
    }
    return m1 > m0 ? m1 : m0;
}

// The pivot of a step: scanning its rows and, in each, its columns, the
// first element whose magnitude is strictly greater than the best so far.
// That is the first occurrence of the largest magnitude, so the rows are
// offered with their largest magnitudes, in scan order, and only the winning
// row is searched for the column. Offering is branch-free: whether a row
// beats the best is as unpredictable as the values.
class PivotSearch {
public:
    explicit PivotSearch(int64_t first_column) : first_(first_column), row_(first_column) {}

    // Row r, whose elements from the first column on have the largest
    // magnitude m (NaN never counting).
    void offer(int64_t r, double m) {
        const bool better = m > best_;
        best_ = better ? m : best_;
        row_ = better ? r : row_;
    }

    double best() const { return best_; }
    int64_t row() const { return row_; }
    // The column of the first element of the winning row with the best
    // magnitude; only when best() > 0.
    int64_t column(const double* a, int64_t n) const {
        const double* row = a + row_ * n;
        int64_t q = first_;
        while (std::fabs(row[q]) != best_) ++q;
        return q;
    }

private:
    int64_t first_;
    double best_ = 0.0;
    int64_t row_;
};

// The row updates of a step, by the width of its rows. Short rows are
// updated fastest by scalar code; from 16 elements on, vectors win, and
// 256-bit ones as much as 512-bit ones, which also pay for waking the wide
// units between solves. Measured, one solve with every row scalar against
// every row in vectors: n = 10 0.49 us against 0.59 (256-bit) and 0.70
// (512-bit); n = 16 about even; n = 24 3.7 against 2.9; n = 32 8.3 against
// 5.6; n = 100 277 against 94, 512-bit no faster.
class RowUpdates {
public:
    explicit RowUpdates(MatmulKernel kernel)
        : vectors_(inverse_detail::spans_of(kernel == MatmulKernel::kAvx512 ? MatmulKernel::kAvx2 : kernel)) {}

    inverse_detail::SpanUpdateMax for_width(int64_t width) const {
        return width < kVectorsFrom ? inverse_detail::baseline_spans().update_max : vectors_.update_max;
    }

private:
    static constexpr int64_t kVectorsFrom = 16;
    const inverse_detail::SpanKernels& vectors_;
};

}  // namespace

// Each step's row updates run across the row, many independent elements per
// instruction (the span kernels of the inversion), and measure the new values
// as they go: the rows after the pivot, from the pivot column on, are exactly
// where the next step searches, in the same order, so the search of step s + 1
// is made during the sweep of step s.
SolveResult solve_full_pivoting(double* a, double* b, int64_t n, MatmulKernel kernel) {
    Scratch<int64_t> pivot_column(n);
    if (!pivot_column.ok()) return SolveResult::kNoMemory;
    const RowUpdates row_updates(kernel);
    auto at = [a, n](int64_t r, int64_t q) -> double& { return a[r * n + q]; };

    PivotSearch pivot(0);
    for (int64_t r = 0; r < n; ++r) pivot.offer(r, largest_magnitude(&at(r, 0), n));
    for (int64_t s = 0; s + 1 < n; ++s) {
        if (negligible(pivot.best())) return SolveResult::kSingular;
        const int64_t pr = pivot.row();
        const int64_t pc = pivot.column(a, n);
        pivot_column[static_cast<size_t>(s)] = pc;
        if (pc != s) {
            for (int64_t r = 0; r < n; ++r) std::swap(at(r, s), at(r, pc));
        }
        if (pr != s) {
            for (int64_t q = s; q < n; ++q) std::swap(at(s, q), at(pr, q));
            std::swap(b[s], b[pr]);
        }
        const double divisor = at(s, s);
        for (int64_t q = s + 1; q < n; ++q) at(s, q) = at(s, q) / divisor;
        b[s] = b[s] / divisor;
        pivot = PivotSearch(s + 1);
        const int64_t width = n - s - 1;
        const inverse_detail::SpanUpdateMax update_max = row_updates.for_width(width);
        for (int64_t r = s + 1; r < n; ++r) {
            const double factor = at(r, s);
            const double largest = update_max(&at(r, s + 1), &at(s, s + 1), width, factor);
            b[r] = b[r] - factor * b[s];
            pivot.offer(r, largest);
        }
    }
    if (n == 0) return SolveResult::kSolved;
    const int64_t last = n - 1;
    if (negligible(at(last, last))) return SolveResult::kSingular;
    b[last] = b[last] / at(last, last);
    for (int64_t r = last - 1; r >= 0; --r) {
        double sum = 0.0;
        for (int64_t q = r + 1; q < n; ++q) sum = sum + at(r, q) * b[q];
        b[r] = b[r] - sum;
    }
    // Undo the column exchanges, last first.
    pivot_column[static_cast<size_t>(last)] = last;
    for (int64_t s = last; s >= 0; --s) {
        const int64_t c = pivot_column[static_cast<size_t>(s)];
        if (c != s) std::swap(b[s], b[c]);
    }
    return SolveResult::kSolved;
}

}  // namespace hostmath
