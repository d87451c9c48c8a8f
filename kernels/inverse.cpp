// SPDX-License-Identifier: GPL-3.0-or-later
// The Gauss-Jordan elimination behind math::inv (array/inv.cpp).
//
// The fast elimination keeps every rounded operation of the plain one and
// changes only how the data is walked:
// - each step is one sweep over the rows after the pivot; a row's update runs
//   across its columns, many independent elements per instruction, and the
//   row's share of the next step's pivot search runs on the new values while
//   they are still in registers;
// - the column swap of a step is done row by row inside that sweep, instead
//   of a strided pass over the whole matrix;
// - the updates that neither the next search nor the next pivot row reads
//   wait for the end of a window of steps, and are then applied row by row,
//   several steps per pass (GaussJordan below);
// - the closing unscramble does its row swaps first and then, row by row, all
//   column swaps of that row (row and column permutations commute, so the
//   elements land exactly where the step-by-step swaps put them);
// - on a large matrix, the sweeps with their searches and the catch-ups are
//   shared among the threads of one team that lives for the whole call
//   (SharedElimination below): rows are independent within a sweep and
//   within a catch-up, so no element changes with the thread count.
#include "kernels/inverse.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "kernels/inverse_kernels.h"
#include "kernels/parallel.h"
#include "kernels/scratch.h"

namespace hostmath {

namespace inverse_detail {
namespace {

void update_baseline(double* x, const double* r, int64_t len, double m) {
    for (int64_t j = 0; j < len; ++j) x[j] = x[j] - r[j] * m;
}

double update_max_baseline(double* x, const double* r, int64_t len, double m) {
    double largest = 0.0;
    for (int64_t j = 0; j < len; ++j) {
        x[j] = x[j] - r[j] * m;
        if (std::fabs(x[j]) > largest) largest = std::fabs(x[j]);
    }
    return largest;
}

void update4_baseline(double* x, const double* const r[4], const double m[4], int64_t from, int64_t to) {
    for (int64_t j = from; j < to; ++j) {
        x[j] = (((x[j] - r[0][j] * m[0]) - r[1][j] * m[1]) - r[2][j] * m[2]) - r[3][j] * m[3];
    }
}

}  // namespace

const SpanKernels& baseline_spans() {
    static constexpr SpanKernels kernels{update_baseline, update_max_baseline, update4_baseline};
    return kernels;
}

const SpanKernels& spans_of(MatmulKernel kernel) {
#if HOSTMATH_X86_64
    switch (kernel) {
        case MatmulKernel::kAvx512: return avx512_spans();
        case MatmulKernel::kAvx2: return avx2_spans();
        case MatmulKernel::kBaseline: break;
    }
#else
    (void)kernel;
#endif
    return baseline_spans();
}

}  // namespace inverse_detail

namespace {

double* row_of(double* a, int64_t n, int64_t i) { return a + i * n; }
const double* row_of(const double* a, int64_t n, int64_t i) { return a + i * n; }

void swap_rows(double* a, int64_t n, int64_t r, int64_t s) {
    std::swap_ranges(row_of(a, n, r), row_of(a, n, r) + n, row_of(a, n, s));
}

void swap_columns(double* a, int64_t n, int64_t c, int64_t d) {
    for (int64_t i = 0; i < n; ++i) std::swap(a[i * n + c], a[i * n + d]);
}

// The first column in [from, n) whose magnitude equals `magnitude`.
int64_t first_column_of(const double* row, int64_t n, int64_t from, double magnitude) {
    int64_t j = from;
    while (j < n && std::fabs(row[j]) != magnitude) ++j;
    return j;
}

}  // namespace

// ---- the parts of one step ----------------------------------------------------------

Pivot search_pivot(const double* a, int64_t n, int64_t k, int64_t row_begin, int64_t row_end) {
    Pivot best;
    for (int64_t i = row_begin; i < row_end; ++i) {
        const double* row = row_of(a, n, i);
        for (int64_t j = k; j < n; ++j) {
            if (std::fabs(row[j]) > best.magnitude) best = Pivot{std::fabs(row[j]), i, j};
        }
    }
    return best;
}

void unscramble(double* a, int64_t n, const int64_t* pivot_rows, const int64_t* pivot_cols) {
    for (int64_t k = n - 1; k >= 0; --k) {
        if (pivot_cols[k] != k) swap_rows(a, n, k, pivot_cols[k]);
    }
    for (int64_t i = 0; i < n; ++i) {
        double* row = row_of(a, n, i);
        for (int64_t k = n - 1; k >= 0; --k) {
            if (pivot_rows[k] != k) std::swap(row[k], row[pivot_rows[k]]);
        }
    }
}

// ---- the lagging elimination ----------------------------------------------------------
//
// Step k = first_ + u of a window treats every row i != k alike: it swaps
// columns k and the pivot column, then x(j) <- x(j) - R_u(j) * m for every
// j != k, where R_u is the step's scaled pivot row and m = x(k), and then
// x(k) <- -(m * R_u(k)). Done at once is only what the next pivot search and
// the next pivot row read: for the rows after k, the swap, column k and the
// columns after k. Lagging are
// - for a row after k: the columns before k; m is kept for them (the row's
//   multipliers). Nothing after step u moves these columns: later swaps
//   only exchange columns after later pivots. Rows after k change places
//   only with each other, and their multipliers with them;
// - for a row before k: the whole step, replayed as above when the window
//   ends, step after step. Such a row never changes place, and the kept
//   pivot rows are in the column order of their own step, which the replay
//   rebuilds by doing each step's swap in turn.
// The row that becomes a pivot is brought up to date first (begin_step).

GaussJordan::GaussJordan(MatmulKernel kernel, double* a, int64_t n)
    : spans_(&inverse_detail::spans_of(kernel)), a_(a), n_(n), lag_rows_(kWindow * n), lag_cols_(n * kWindow) {}

void GaussJordan::begin_step(int64_t k, const Pivot& pivot) {
    k_ = k;
    const int64_t u_now = steps_++;
    pivot_cols_[u_now] = pivot.col;
    if (pivot.row != k) {
        swap_rows(a_, n_, k, pivot.row);
        std::swap_ranges(multipliers_of(k), multipliers_of(k) + u_now, multipliers_of(pivot.row));
    }
    double* pivot_row = row(k);
    if (pivot.col != k) std::swap(pivot_row[k], pivot_row[pivot.col]);
    catch_up_after(pivot_row, multipliers_of(k), u_now);
    pivot_row[k] = 1.0 / pivot_row[k];
    const double inverse = pivot_row[k];
    for (int64_t j = 0; j < k; ++j) pivot_row[j] = pivot_row[j] * inverse;
    for (int64_t j = k + 1; j < n_; ++j) pivot_row[j] = pivot_row[j] * inverse;
    std::copy(pivot_row, pivot_row + n_, pivot_row_of(u_now));
}

Pivot GaussJordan::eliminate_rows(int64_t row_begin, int64_t row_end) {
    const int64_t k = k_;
    const int64_t u_now = steps_ - 1;
    const int64_t pivot_col = pivot_cols_[u_now];
    const double* pivot_row = pivot_row_of(u_now);
    Pivot best;
    for (int64_t i = std::max(row_begin, k + 1); i < row_end; ++i) {
        double* x = row(i);
        if (pivot_col != k) std::swap(x[k], x[pivot_col]);
        const double m = x[k];
        multipliers_of(i)[u_now] = m;
        x[k] = -(m * pivot_row[k]);
        const double largest = spans_->update_max(x + k + 1, pivot_row + k + 1, n_ - k - 1, m);
        // Only a strictly larger row maximum can move the pivot; its first
        // column is then found on the row just written, still in cache.
        if (largest > best.magnitude) best = Pivot{largest, i, first_column_of(x, n_, k + 1, largest)};
    }
    return best;
}

void GaussJordan::catch_up_after(double* x, const double* c, int64_t steps) {
    int64_t u = 0;
    for (; u + 4 <= steps; u += 4) {
        const double* r[4] = {pivot_row_of(u), pivot_row_of(u + 1), pivot_row_of(u + 2), pivot_row_of(u + 3)};
        const int64_t pivot = first_ + u;
        spans_->update4(x, r, c + u, 0, pivot);
        // Column pivot + q - 1 lags only behind steps u + q and later.
        for (int64_t q = 1; q < 4; ++q) {
            double& e = x[pivot + q - 1];
            for (int64_t p = q; p < 4; ++p) e = e - r[p][pivot + q - 1] * c[u + p];
        }
    }
    for (; u < steps; ++u) spans_->update(x, pivot_row_of(u), first_ + u, c[u]);
}

void GaussJordan::replay(double* x, int64_t u_from) {
    int64_t u = u_from;
    for (; u + 4 <= steps_; u += 4) {
        // The columns that the four steps swap or pivot on take their exact
        // sequence on the side; every other column takes the four updates
        // in one pass, and the side values are put back over what that pass
        // wrote to theirs.
        constexpr int kMost = 8;
        int64_t cols[kMost];
        double vals[kMost];
        int count = 0;
        const auto slot = [&](int64_t j) {
            for (int t = 0; t < count; ++t) {
                if (cols[t] == j) return t;
            }
            cols[count] = j;
            vals[count] = x[j];
            return count++;
        };
        for (int q = 0; q < 4; ++q) {
            slot(first_ + u + q);
            slot(pivot_cols_[u + q]);
        }
        const double* r[4];
        double m[4];
        for (int q = 0; q < 4; ++q) {
            const int64_t k = first_ + u + q;
            r[q] = pivot_row_of(u + q);
            std::swap(vals[slot(k)], vals[slot(pivot_cols_[u + q])]);
            const int pivot = slot(k);
            m[q] = vals[pivot];
            for (int t = 0; t < count; ++t) {
                if (t != pivot) vals[t] = vals[t] - r[q][cols[t]] * m[q];
            }
            vals[pivot] = -(m[q] * r[q][k]);
        }
        spans_->update4(x, r, m, 0, n_);
        for (int t = 0; t < count; ++t) x[cols[t]] = vals[t];
    }
    for (; u < steps_; ++u) {
        const int64_t k = first_ + u;
        const double* r = pivot_row_of(u);
        if (pivot_cols_[u] != k) std::swap(x[k], x[pivot_cols_[u]]);
        const double m = x[k];
        spans_->update(x, r, k, m);
        spans_->update(x + k + 1, r + k + 1, n_ - k - 1, m);
        x[k] = -(m * r[k]);
    }
}

void GaussJordan::catch_up_rows(int64_t row_begin, int64_t row_end) {
    const int64_t end = first_ + steps_;  // the window's end
    for (int64_t i = row_begin; i < row_end; ++i) {
        if (i >= end) {
            catch_up_after(row(i), multipliers_of(i), steps_);
        } else {
            // A pivot row of the window lags behind the steps after its own.
            replay(row(i), i < first_ ? 0 : i - first_ + 1);
        }
    }
}

int64_t GaussJordan::catch_up_cut(int part, int parts) const {
    if (part <= 0) return 0;
    if (part >= parts) return n_;
    // The work of rows [0, r) is about r * n for r up to the window's end,
    // and `end` more for each row after it.
    const int64_t end = first_ + steps_;
    const double before = static_cast<double>(end) * static_cast<double>(n_);
    const double total = before + static_cast<double>(n_ - end) * static_cast<double>(end);
    const double target = total * part / parts;
    const double rows = target <= before ? target / static_cast<double>(n_)
                                         : static_cast<double>(end) + (target - before) / static_cast<double>(end);
    return std::clamp<int64_t>(static_cast<int64_t>(std::ceil(rows)), 0, n_);
}

void GaussJordan::end_window() {
    first_ += steps_;
    steps_ = 0;
}

// ---- whole inversions -------------------------------------------------------------------

namespace {

// The steps of one inversion on a team. The calling thread does the serial
// part of each step (the pivot row); the sweeps and pivot searches over rows
// and the catch-ups go to the team, in parts whose results do not depend on
// how the rows are cut.
class SharedElimination {
public:
    SharedElimination(GaussJordan& elimination, parallel::Team& team, int64_t n, int64_t min_per_thread)
        : elimination_(elimination), team_(team), n_(n), min_per_thread_(min_per_thread) {}

    // The pivot search of step 0.
    Pivot first_pivot(const double* a) {
        return over_rows(0, [&](int64_t lo, int64_t hi) { return search_pivot(a, n_, 0, lo, hi); });
    }
    // Step k's sweep over the rows after k; returns the pivot of step k + 1.
    Pivot eliminate(int64_t k) {
        return over_rows(k + 1, [&](int64_t lo, int64_t hi) { return elimination_.eliminate_rows(lo, hi); });
    }
    void catch_up() {
        const int parts = team_.size();
        if (parts == 1) {
            elimination_.catch_up_rows(0, n_);
            return;
        }
        team_.for_ranges(0, parts, 1, [&](int64_t first, int64_t last) {
            for (int64_t p = first; p < last; ++p) {
                const int part = static_cast<int>(p);
                elimination_.catch_up_rows(elimination_.catch_up_cut(part, parts),
                                           elimination_.catch_up_cut(part + 1, parts));
            }
        });
    }

private:
    // part(lo, hi) over rows [first, n) of n - first elements each, shared
    // when each thread gets at least min_per_thread elements, the partial
    // searches combined in scan order.
    template <class Part>
    Pivot over_rows(int64_t first, Part&& part) {
        const int64_t len = n_ - first;
        if (team_.size() == 1 || len * len < 2 * min_per_thread_) return part(first, n_);
        const int64_t grain = std::max<int64_t>(1, min_per_thread_ / len);
        return team_.reduce_ranges(first, n_, grain, Pivot{}, part, later_in_scan_order);
    }

    GaussJordan& elimination_;
    parallel::Team& team_;
    int64_t n_;
    int64_t min_per_thread_;
};

}  // namespace

Inversion invert_with(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols,
                      int threads, int64_t min_per_thread) {
    if (n <= 0) return Inversion::kInverted;
    GaussJordan elimination(kernel, a, n);
    if (!elimination.ok()) return Inversion::kNoMemory;
    // Joined when this function returns, on every path.
    parallel::Team team(threads);
    SharedElimination shared(elimination, team, n, min_per_thread);
    Pivot pivot = shared.first_pivot(a);
    for (int64_t k = 0; k < n; ++k) {
        if (negligible_pivot(pivot.magnitude)) {
            shared.catch_up();
            return Inversion::kSingular;
        }
        pivot_rows[k] = pivot.row;
        pivot_cols[k] = pivot.col;
        elimination.begin_step(k, pivot);
        pivot = shared.eliminate(k);
        if (elimination.window_full()) {
            shared.catch_up();
            elimination.end_window();
        }
    }
    shared.catch_up();
    unscramble(a, n, pivot_rows, pivot_cols);
    return Inversion::kInverted;
}

MatmulKernel inverse_kernel() {
    // The widest kernel, even where 512-bit operations are split: unlike the
    // matrix product's, these loops broadcast nothing, and measured faster.
    MatmulKernel kernel = MatmulKernel::kBaseline;
    if (kernel_supported(MatmulKernel::kAvx2)) kernel = MatmulKernel::kAvx2;
    if (kernel_supported(MatmulKernel::kAvx512)) kernel = MatmulKernel::kAvx512;
    return kernel;
}

Inversion invert_in_place(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols, int threads) {
    return invert_with(inverse_kernel(), a, n, pivot_rows, pivot_cols, threads);
}

int inverse_threads(int64_t n) { return parallel::threads_for(n * n, kInverseElementsPerThread); }

bool invert_reference(double* a, int64_t n, int64_t* pivot_rows, int64_t* pivot_cols) {
    for (int64_t k = 0; k < n; ++k) {
        double big = 0.0;
        int64_t pr = k, pc = k;
        for (int64_t i = k; i < n; ++i) {
            for (int64_t j = k; j < n; ++j) {
                if (std::fabs(a[i * n + j]) > big) {
                    big = std::fabs(a[i * n + j]);
                    pr = i;
                    pc = j;
                }
            }
        }
        pivot_rows[k] = pr;
        pivot_cols[k] = pc;
        if (big + 1.0 == 1.0) return false;
        if (pr != k) swap_rows(a, n, k, pr);
        if (pc != k) swap_columns(a, n, k, pc);
        a[k * n + k] = 1.0 / a[k * n + k];
        for (int64_t j = 0; j < n; ++j) {
            if (j != k) a[k * n + j] = a[k * n + j] * a[k * n + k];
        }
        for (int64_t i = 0; i < n; ++i) {
            if (i == k) continue;
            for (int64_t j = 0; j < n; ++j) {
                if (j != k) a[i * n + j] = a[i * n + j] - a[k * n + j] * a[i * n + k];
            }
        }
        for (int64_t i = 0; i < n; ++i) {
            if (i != k) a[i * n + k] = -(a[i * n + k] * a[k * n + k]);
        }
    }
    for (int64_t k = n - 1; k >= 0; --k) {
        if (pivot_cols[k] != k) swap_rows(a, n, k, pivot_cols[k]);
        if (pivot_rows[k] != k) swap_columns(a, n, k, pivot_rows[k]);
    }
    return true;
}

}  // namespace hostmath
