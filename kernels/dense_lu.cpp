// SPDX-License-Identifier: GPL-3.0-or-later
#include "kernels/dense_lu.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "kernels/inverse_kernels.h"
#include "kernels/parallel.h"
#include "kernels/scratch.h"

namespace hostmath {

namespace {

using inverse_detail::SpanKernels;

// The threads of one factorisation, started once for all its panels.
class Workers {
public:
    explicit Workers(int threads) {
        if (threads > 1) team_.emplace(threads);
    }
    // first() on the calling thread while the other threads take tasks 0 ..
    // count-1 as task(part, index); the calling thread joins them when
    // first() is done (parallel::Team::share_after).
    template <class First, class Task>
    void share_after(First&& first, int64_t count, Task&& task) {
        if (team_) {
            team_->share_after(first, count, task);
            return;
        }
        first();
        for (int64_t i = 0; i < count; ++i) task(0, i);
    }
    int size() const { return team_ ? team_->size() : 1; }

private:
    std::optional<parallel::Team> team_;
};

// The distance between a panel's stored columns, for `rows` rows: whole
// cache lines, an odd number of them, so that the columns do not fall on
// the same few cache sets (a power-of-two stride, at n = 256 say, made the
// copy in and out of the panel several times slower).
constexpr int64_t column_stride(int64_t rows) {
    const int64_t lines = (rows + 7) / 8;
    return 8 * (lines | 1);
}

// Columns per panel of the blocked factorisations: wide enough that the
// trailing update runs as a product with a deep inner dimension, narrow
// enough that the column-by-column panel stays a small part of the work.
constexpr int64_t kPanelWidth = 128;

// Below these orders the blocked factorisations' set-up (scratch, packing
// room) costs more than blocking saves (measured at n = 48 to 300).
constexpr int64_t kLuBlockedFrom = kPanelWidth + kPanelWidth / 2;
constexpr int64_t kCholeskyBlockedFrom = kPanelWidth;

// The first row r in [s, n) with the largest |a(r, s)|, or -1 when no
// candidate has a nonzero magnitude. NaN compares false and is never taken.
int64_t pivot_row(const double* a, int64_t n, int64_t s) {
    double best = 0.0;
    int64_t row = -1;
    for (int64_t r = s; r < n; ++r) {
        const double m = std::fabs(a[r * n + s]);
        if (m > best) {
            best = m;
            row = r;
        }
    }
    return row;
}

void swap_rows(double* a, int64_t width, int64_t r1, int64_t r2) {
    std::swap_ranges(a + r1 * width, a + (r1 + 1) * width, a + r2 * width);
}

// x[j] = x[j] - l * y[j] for j in [0, count): one term for each element.
void subtract_scaled(double* x, double l, const double* y, int64_t count) {
    for (int64_t j = 0; j < count; ++j) x[j] = x[j] - l * y[j];
}

// Step s of the elimination: the pivot search and swap, the multipliers of
// every row below and their updates of columns s+1 .. n-1, one element at a
// time (on the span kernels where given: the same operations, several
// elements at once). False when no pivot can be had.
bool eliminate_step(double* a, int64_t n, int64_t s, int64_t* pivot, int64_t* swaps,
                    const SpanKernels* spans = nullptr) {
    const int64_t p = pivot_row(a, n, s);
    if (p < 0) return false;
    pivot[s] = p;
    if (p != s) {
        swap_rows(a, n, s, p);
        ++*swaps;
    }
    const double* u = a + s * n;
    const double d = u[s];
    for (int64_t r = s + 1; r < n; ++r) {
        double* row = a + r * n;
        const double l = row[s] / d;
        row[s] = l;
        if (spans != nullptr) {
            spans->update(row + s + 1, u + s + 1, n - s - 1, l);
        } else {
            subtract_scaled(row + s + 1, l, u + s + 1, n - s - 1);
        }
    }
    return true;
}

LuStatus last_pivot(const double* a, int64_t n) {
    return a[n * n - 1] == 0.0 ? LuStatus::kSingular : LuStatus::kFactored;
}

// Rows p0 .. p0+pb-1 of U in columns [lo, hi) to the right of the panel:
// row s takes away l(s, t) times row t for t = p0 .. s-1, in that order,
// four rows t at a time where it can (each element still takes them one
// after the other).
void solve_panel_rows(const SpanKernels& spans, double* a, int64_t n, int64_t p0, int64_t pb, int64_t lo, int64_t hi) {
    for (int64_t s = p0 + 1; s < p0 + pb; ++s) {
        double* row = a + s * n;
        int64_t t = p0;
        for (; t + 4 <= s; t += 4) {
            const double* r[4] = {a + t * n, a + (t + 1) * n, a + (t + 2) * n, a + (t + 3) * n};
            spans.update4(row, r, row + t, lo, hi);
        }
        for (; t < s; ++t) spans.update(row + lo, a + t * n + lo, hi - lo, row[t]);
    }
}

// A panel's columns first .. first+width-1 from row `first` down, copied
// out of the row-major n x n matrix a so that each is a contiguous column:
// t[k * ld + i] = a(first + i, first + k) for i < n - first, with ld =
// column_stride(n - first). Factored there, a panel's column operations
// run along contiguous memory.
class PanelCopy {
public:
    PanelCopy(double* t, double* a, int64_t n, int64_t first, int64_t width)
        : t_(t), a_(a), n_(n), first_(first), width_(width), rows_(n - first), ld_(column_stride(rows_)) {}

    void load() {
        for (int64_t i = 0; i < rows_; ++i) {
            const double* src = a_ + (first_ + i) * n_ + first_;
            for (int64_t k = 0; k < width_; ++k) t_[k * ld_ + i] = src[k];
        }
    }
    void store() const {
        for (int64_t i = 0; i < rows_; ++i) {
            double* dst = a_ + (first_ + i) * n_ + first_;
            for (int64_t k = 0; k < width_; ++k) dst[k] = t_[k * ld_ + i];
        }
    }

protected:
    // Columns per block of a panel's factorisation: each block takes the
    // terms of the panel's earlier columns in one product, then its own
    // columns one by one.
    static constexpr int64_t kSubWidth = 16;

    double* column(int64_t k) const { return t_ + k * ld_; }

    double* t_;
    double* a_;
    int64_t n_, first_, width_, rows_, ld_;
};

// An LU panel, factored in its copy (PanelCopy): a step's multipliers, its
// updates and the next pivot search run down contiguous columns. The
// columns are taken a block of kSubWidth at a time: a block first takes the terms of every earlier step of the panel
// (the rows above it by substitution, the rows from its first step down in
// one product), then its own steps run one by one. Every element still
// takes its terms one at a time in increasing step order. Rows are swapped
// inside the panel's columns only (swap_columns does the rest).
class LuPanel : public PanelCopy {
public:
    using PanelCopy::PanelCopy;

    // Loaded, factored and stored back; false when a step finds no pivot.
    bool factor_in_place(const SpanKernels& spans, ProductPanels& products, int64_t* pivot, int64_t* swaps) {
        load();
        const bool factored = factor(spans, products, pivot, swaps);
        store();
        return factored;
    }

private:
    bool factor(const SpanKernels& spans, ProductPanels& products, int64_t* pivot, int64_t* swaps) {
        const int64_t steps = std::min(width_, rows_ - 1);  // no step for the matrix's last column
        for (int64_t s0 = 0; s0 < width_; s0 += kSubWidth) {
            const int64_t end = std::min(s0 + kSubWidth, width_);
            if (s0 > 0) take_earlier_steps(spans, products, s0, end);
            for (int64_t s = s0; s < std::min(end, steps); ++s) {
                if (!step(spans, s, end, pivot, swaps)) return false;
            }
        }
        return true;
    }
    // Columns [s0, end) take the terms of steps 0 .. s0-1: rows t+1 .. s0-1
    // those of step t by substitution, t ascending; rows s0 down all of them
    // in one product. Stored as columns, that part is the row-major
    // (end - s0) x (rows - s0) block c - (its columns' rows 0 .. s0-1, the
    // U part) times (the multipliers of steps 0 .. s0-1 from row s0 down,
    // each a row).
    void take_earlier_steps(const SpanKernels& spans, ProductPanels& products, int64_t s0, int64_t end) const {
        for (int64_t t = 0; t + 1 < s0; ++t) {
            for (int64_t j = s0; j < end; ++j) {
                spans.update(column(j) + t + 1, column(t) + t + 1, s0 - t - 1, column(j)[t]);
            }
        }
        multiply_subtract_in(products, 0, column(s0), ld_, column(0) + s0, ld_, column(s0) + s0, ld_, end - s0, s0,
                             rows_ - s0);
    }
    // Step s: the pivot (the first row from s down with the largest
    // magnitude, never a NaN), the swap, the multipliers below it and their
    // updates of the block's later columns [s + 1, end).
    bool step(const SpanKernels& spans, int64_t s, int64_t end, int64_t* pivot, int64_t* swaps) {
        double* l = column(s);
        const int64_t p = largest_from(l, s);
        if (p < 0) return false;
        pivot[first_ + s] = first_ + p;
        if (p != s) {
            for (int64_t k = 0; k < width_; ++k) std::swap(column(k)[s], column(k)[p]);
            ++*swaps;
        }
        const double d = l[s];
        for (int64_t i = s + 1; i < rows_; ++i) l[i] = l[i] / d;
        for (int64_t j = s + 1; j < end; ++j) spans.update(column(j) + s + 1, l + s + 1, rows_ - s - 1, column(j)[s]);
        return true;
    }
    // The first i >= from with the largest |v[i]|, or -1 when none is
    // nonzero; NaN compares false and is never taken.
    int64_t largest_from(const double* v, int64_t from) const {
        double best = 0.0;
        int64_t at = -1;
        for (int64_t i = from; i < rows_; ++i) {
            const double m = std::fabs(v[i]);
            if (m > best) {
                best = m;
                at = i;
            }
        }
        return at;
    }
};

// The swaps of steps [first, end) (those below n - 1), in their order, in
// columns [lo, hi).
void swap_columns(double* a, int64_t n, int64_t first, int64_t end, const int64_t* pivot, int64_t lo, int64_t hi) {
    for (int64_t s = first; s < std::min(end, n - 1); ++s) {
        const int64_t p = pivot[s];
        if (p != s) std::swap_ranges(a + s * n + lo, a + s * n + hi, a + p * n + lo);
    }
}

// Substitution for one column. Each value is a chain of subtractions along
// a row of the factors; the chains of kChains consecutive rows run side by
// side over the terms they can already take, so that no chain waits on the
// latency of its own last subtraction, and then finish one by one.
constexpr int64_t kChains = 8;

// y(r) = b(r) - l(r, 0) y(0) - ... - l(r, r-1) y(r-1), r ascending.
void forward_column(const double* lu, int64_t n, double* b) {
    for (int64_t r0 = 0; r0 < n; r0 += kChains) {
        const int64_t count = std::min(kChains, n - r0);
        double acc[kChains];
        for (int64_t i = 0; i < count; ++i) acc[i] = b[r0 + i];
        for (int64_t s = 0; s < r0; ++s) {
            for (int64_t i = 0; i < count; ++i) acc[i] = acc[i] - lu[(r0 + i) * n + s] * b[s];
        }
        for (int64_t i = 0; i < count; ++i) {
            for (int64_t s = r0; s < r0 + i; ++s) acc[i] = acc[i] - lu[(r0 + i) * n + s] * b[s];
            b[r0 + i] = acc[i];
        }
    }
}

// x(r) = (y(r) - u(r, r+1) x(r+1) - ... - u(r, n-1) x(n-1)) / u(r, r), r
// descending. Every row's first term needs the value just found, so the
// rows cannot overlap as in the forward direction.
void back_column(const double* lu, int64_t n, double* b) {
    for (int64_t r = n - 1; r >= 0; --r) {
        const double* u = lu + r * n;
        double x = b[r];
        for (int64_t q = r + 1; q < n; ++q) x = x - u[q] * b[q];
        b[r] = x / u[r];
    }
}

}  // namespace

int factor_threads(int64_t n) {
    // Each thread should have a product's worth of multiply-adds in the
    // first trailing update to be worth its start.
    const double work = static_cast<double>(n) * static_cast<double>(n) * kPanelWidth;
    return parallel::threads_for(work < 0x1p62 ? static_cast<int64_t>(work) : INT64_MAX, kMultiplyAddsPerThread);
}

LuStatus lu_factor_plain(double* a, int64_t n, int64_t* pivot, int64_t* swaps) {
    *swaps = 0;
    for (int64_t s = 0; s + 1 < n; ++s) {
        if (!eliminate_step(a, n, s, pivot, swaps)) return LuStatus::kSingular;
    }
    return last_pivot(a, n);
}

namespace {

// The plain elimination with its row updates on the span kernels: for
// orders where blocking does not pay.
LuStatus lu_factor_unblocked(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot, int64_t* swaps) {
    const SpanKernels& spans = inverse_detail::spans_of(kernel_supported(kernel) ? kernel : MatmulKernel::kBaseline);
    *swaps = 0;
    for (int64_t s = 0; s + 1 < n; ++s) {
        if (!eliminate_step(a, n, s, pivot, swaps, &spans)) return LuStatus::kSingular;
    }
    return last_pivot(a, n);
}

// Columns of the trailing update handed out at a time: four of the widest
// kernel's tiles, and few enough pieces that taking one costs little.
constexpr int64_t kUpdateColumns = kPanelWidth;
// Columns per task of the swaps left of a panel.
constexpr int64_t kSwapColumns = 4 * kPanelWidth;

// After the panel [p0, right) is factored, the rest of the matrix takes its
// updates: the panel's swaps, the rows of U to the right of the panel, and
// the panel's terms in order for every element below and right of it. The next panel [right, next_end) is done first,
// on the calling thread, and factored there while the other threads update
// the columns beyond it a piece at a time (look-ahead); the calling thread
// joins them when its panel is done. Nothing the two sides touch overlaps:
// the next panel's steps swap rows only inside its own columns. False when
// the next panel finds no pivot.
bool update_and_factor_next(Workers& workers, ProductPanels& panels, LuPanel next, const SpanKernels& spans,
                            ProductPanels& panel_products, double* a, int64_t n, int64_t p0, int64_t right,
                            int64_t next_end, int64_t* pivot, int64_t* swaps) {
    const int64_t pb = right - p0, rows = n - right;
    const auto update_columns = [&](int part, int64_t lo, int64_t hi) {
        swap_columns(a, n, p0, right, pivot, lo, hi);
        solve_panel_rows(spans, a, n, p0, pb, lo, hi);
        multiply_subtract_in(panels, part, a + right * n + p0, n, a + p0 * n + lo, n, a + right * n + lo, n, rows, pb,
                             hi - lo);
    };
    bool next_factored = true;
    const int64_t pieces = (n - next_end + kUpdateColumns - 1) / kUpdateColumns;
    const int64_t left_strips = (p0 + kSwapColumns - 1) / kSwapColumns;
    workers.share_after(
        [&] {
            update_columns(0, right, next_end);
            next_factored = next.factor_in_place(spans, panel_products, pivot, swaps);
        },
        pieces + left_strips,
        [&](int part, int64_t task) {
            if (task < pieces) {
                const int64_t lo = next_end + task * kUpdateColumns;
                update_columns(part, lo, std::min(lo + kUpdateColumns, n));
            } else {
                // The panel's swaps left of it, after the updates: nothing
                // reads those columns again, and a swap's scattered rows
                // would only hold up the next panel on the calling thread.
                const int64_t lo = (task - pieces) * kSwapColumns;
                swap_columns(a, n, p0, right, pivot, lo, std::min(lo + kSwapColumns, p0));
            }
        });
    return next_factored;
}

}  // namespace

LuStatus lu_factor_with(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot, int64_t* swaps, int threads) {
    if (!kernel_supported(kernel)) kernel = MatmulKernel::kBaseline;
    const SpanKernels& spans = inverse_detail::spans_of(kernel);
    Scratch<double> panel_columns(kPanelWidth * column_stride(n));
    if (!panel_columns.ok()) return lu_factor_plain(a, n, pivot, swaps);
    Workers workers(threads);
    // Packing room for the trailing update's pieces on every thread, and for
    // the panel's own products on the calling thread; without it the
    // products run unpacked, to the same bits.
    ProductPanels panels(kernel, n, kPanelWidth, std::max(kPanelWidth, kUpdateColumns), workers.size());
    ProductPanels panel_products(kernel, kPanelWidth, kPanelWidth, n, 1);
    const auto panel_at = [&](int64_t p0) {
        return LuPanel(panel_columns.get(), a, n, p0, std::min(kPanelWidth, n - p0));
    };
    *swaps = 0;
    if (!panel_at(0).factor_in_place(spans, panel_products, pivot, swaps)) return LuStatus::kSingular;
    for (int64_t p0 = 0; p0 + kPanelWidth < n; p0 += kPanelWidth) {
        const int64_t right = p0 + kPanelWidth, next_end = std::min(right + kPanelWidth, n);
        if (!update_and_factor_next(workers, panels, panel_at(right), spans, panel_products, a, n, p0, right, next_end,
                                    pivot, swaps)) {
            return LuStatus::kSingular;
        }
    }
    // The last panel's swaps left of it (each earlier panel's were a task
    // beside the next panel).
    const int64_t last = (n - 1) / kPanelWidth * kPanelWidth;
    swap_columns(a, n, last, n, pivot, 0, last);
    return last_pivot(a, n);
}

LuStatus lu_factor(double* a, int64_t n, int64_t* pivot, int64_t* swaps, int threads) {
    if (n < kLuBlockedFrom) return lu_factor_unblocked(best_kernel(), a, n, pivot, swaps);
    return lu_factor_with(best_kernel(), a, n, pivot, swaps, threads);
}

void lu_solve(const double* lu, int64_t n, const int64_t* pivot, double* b, int64_t k) {
    for (int64_t s = 0; s + 1 < n; ++s) {
        if (pivot[s] != s) swap_rows(b, k, s, pivot[s]);
    }
    if (k == 1) {
        forward_column(lu, n, b);
        back_column(lu, n, b);
        return;
    }
    // Row by row, so that every column's running value gets its terms in
    // the stated order while the inner loop runs across the columns.
    for (int64_t r = 1; r < n; ++r) {
        double* br = b + r * k;
        for (int64_t s = 0; s < r; ++s) subtract_scaled(br, lu[r * n + s], b + s * k, k);
    }
    for (int64_t r = n - 1; r >= 0; --r) {
        double* br = b + r * k;
        for (int64_t q = r + 1; q < n; ++q) subtract_scaled(br, lu[r * n + q], b + q * k, k);
        const double d = lu[r * n + r];
        for (int64_t c = 0; c < k; ++c) br[c] = br[c] / d;
    }
}

double lu_determinant(const double* lu, int64_t n, int64_t swaps) {
    double det = 1.0;
    for (int64_t i = 0; i < n; ++i) det = det * lu[i * n + i];
    return swaps % 2 != 0 ? -det : det;
}

namespace {

// Columns j0 .. end-1 of the factor, rows j0 .. n-1, from the values in a
// that already carry the terms of every column before j0: column j takes
// away its terms of columns j0 .. j-1, in that order, then the square root
// or the division. False at a d that is not positive or is NaN.
bool cholesky_columns(double* a, int64_t n, int64_t j0, int64_t end) {
    for (int64_t j = j0; j < end; ++j) {
        double* lj = a + j * n;
        double d = lj[j];
        for (int64_t k = j0; k < j; ++k) d = d - lj[k] * lj[k];
        if (!(d > 0.0)) return false;
        const double diag = std::sqrt(d);
        lj[j] = diag;
        for (int64_t i = j + 1; i < n; ++i) {
            double* li = a + i * n;
            double x = li[j];
            for (int64_t k = j0; k < j; ++k) x = x - li[k] * lj[k];
            li[j] = x / diag;
        }
    }
    return true;
}

void clear_upper(double* a, int64_t n) {
    for (int64_t j = 0; j + 1 < n; ++j) std::fill(a + j * n + j + 1, a + (j + 1) * n, 0.0);
}

}  // namespace

bool cholesky_factor_plain(double* a, int64_t n) {
    if (!cholesky_columns(a, n, 0, n)) return false;
    clear_upper(a, n);
    return true;
}

namespace {

// A Cholesky panel, factored in its copy (PanelCopy); the part of the copy
// below the panel is the transposed operand the trailing update reads.
class PanelColumns : public PanelCopy {
public:
    using PanelCopy::PanelCopy;

    // Factors the panel's columns a block of kSubWidth at a time. A block
    // first takes away the terms of every panel column before it in one
    // product (each element its terms in ascending order), then its own
    // columns are factored one by one over the block's earlier columns:
    // most of the panel's work runs on the product's kernels. False at a d
    // that is not positive or is NaN.
    bool factor(ProductPanels& products, const SpanKernels& spans) {
        for (int64_t s0 = 0; s0 < width_; s0 += kSubWidth) {
            const int64_t sb = std::min(kSubWidth, width_ - s0);
            if (s0 > 0) take_earlier_columns(products, s0, sb);
            for (int64_t j = s0; j < s0 + sb; ++j) {
                if (!factor_column(spans, j, s0)) return false;
            }
        }
        return true;
    }
    // Loaded, factored and stored back: the panel's columns of the factor in
    // a, the part below the panel kept here for the update of the rest.
    bool factor_in_place(ProductPanels& products, const SpanKernels& spans) {
        load();
        if (!factor(products, spans)) return false;
        store();
        return true;
    }
    // Row k of the transposed part below the panel: l(first + width + i,
    // first + k) at i.
    const double* below(int64_t k) const { return t_ + k * ld_ + width_; }
    int64_t stride() const { return ld_; }

private:
    // Column j of the panel, from the diagonal down: takes away l(i, k) l(j, k)
    // for the panel's k from `first` to j - 1 in order (four at a time where it
    // can), then the square root of the diagonal and the divisions.
    bool factor_column(const SpanKernels& spans, int64_t j, int64_t first) {
        double* col = column(j);
        int64_t k = first;
        for (; k + 4 <= j; k += 4) {
            const double* r[4] = {column(k), column(k + 1), column(k + 2), column(k + 3)};
            const double m[4] = {column(k)[j], column(k + 1)[j], column(k + 2)[j], column(k + 3)[j]};
            spans.update4(col, r, m, j, rows_);
        }
        for (; k < j; ++k) spans.update(col + j, column(k) + j, rows_ - j, column(k)[j]);
        const double d = col[j];
        if (!(d > 0.0)) return false;
        const double diag = std::sqrt(d);
        col[j] = diag;
        for (int64_t i = j + 1; i < rows_; ++i) col[i] = col[i] / diag;
        return true;
    }
    // Columns s0 .. s0+sb-1, rows s0 down, take away l(i, k) l(j, k) for
    // k = 0 .. s0-1 in order. Stored as columns, the block is the row-major
    // sb x (rows - s0) result of (its rows of L) times (L's columns)
    // transposed; its rows of L are copied out as the left operand. What
    // lies above the diagonal inside the block is computed and never read.
    void take_earlier_columns(ProductPanels& products, int64_t s0, int64_t sb) {
        double left[kSubWidth * kPanelWidth];
        for (int64_t r = 0; r < sb; ++r) {
            for (int64_t k = 0; k < s0; ++k) left[r * s0 + k] = column(k)[s0 + r];
        }
        multiply_subtract_in(products, 0, left, s0, t_ + s0, ld_, column(s0) + s0, ld_, sb, s0, rows_ - s0);
    }
};

}  // namespace

bool cholesky_factor_with(MatmulKernel kernel, double* a, int64_t n, int threads) {
    if (!kernel_supported(kernel)) kernel = MatmulKernel::kBaseline;
    const SpanKernels& spans = inverse_detail::spans_of(kernel);
    // Two panels' columns: the one whose terms the rest takes, and the next,
    // factored beside that update.
    const int64_t panel_doubles = kPanelWidth * column_stride(n);
    Scratch<double> scratch(2 * panel_doubles);
    if (!scratch.ok()) return cholesky_factor_plain(a, n);
    Workers workers(threads);
    ProductPanels panels(kernel, n, kPanelWidth, kUpdateColumns, workers.size());
    ProductPanels panel_products(kernel, kPanelWidth, kPanelWidth, n, 1);  // the panel's own, on the calling thread
    double* const buffers[2] = {scratch.get(), scratch.get() + panel_doubles};
    PanelColumns panel(buffers[0], a, n, 0, std::min(kPanelWidth, n));
    if (!panel.factor_in_place(panel_products, spans)) return false;
    for (int64_t p0 = 0, turn = 1;; p0 += kPanelWidth, turn ^= 1) {
        const int64_t right = std::min(p0 + kPanelWidth, n);
        if (right == n) break;
        const int64_t next_end = std::min(right + kPanelWidth, n);
        // Columns [lo, hi) of the lower triangle of the rest, from lo's
        // diagonal down, take away l(i, k) l(j, k) for the panel's k in
        // order (what lies above the diagonal in the piece is never read).
        const auto update_columns = [&](int part, int64_t lo, int64_t hi) {
            multiply_subtract_in(panels, part, a + lo * n + p0, n, panel.below(0) + (lo - right), panel.stride(),
                                 a + lo * n + lo, n, n - lo, right - p0, hi - lo);
        };
        // The next panel's columns first, then that panel factored on the
        // calling thread while the others update the columns beyond it.
        PanelColumns next(buffers[turn], a, n, right, next_end - right);
        bool next_factored = true;
        workers.share_after(
            [&] {
                update_columns(0, right, next_end);
                next_factored = next.factor_in_place(panel_products, spans);
            },
            (n - next_end + kUpdateColumns - 1) / kUpdateColumns,
            [&](int part, int64_t piece) {
                const int64_t lo = next_end + piece * kUpdateColumns;
                update_columns(part, lo, std::min(lo + kUpdateColumns, n));
            });
        if (!next_factored) return false;
        panel = next;
    }
    clear_upper(a, n);
    return true;
}

bool cholesky_factor(double* a, int64_t n, int threads) {
    if (n < kCholeskyBlockedFrom) return cholesky_factor_plain(a, n);
    return cholesky_factor_with(best_kernel(), a, n, threads);
}

}  // namespace hostmath
