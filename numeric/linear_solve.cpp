#include "numeric/linear_solve.h"

#include <cmath>
#include <utility>

#include "array/scratch.h"

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

// The pivot of step s: scanning rows s.. and, in each, columns s.., the
// first element whose magnitude is strictly greater than the best so far.
// That is the first occurrence of the largest magnitude, so each row is
// measured first and searched only when it holds a new largest value.
double find_pivot(const double* a, int64_t n, int64_t s, int64_t* pr, int64_t* pc) {
    double best = 0.0;
    for (int64_t r = s; r < n; ++r) {
        const double* row = a + r * n + s;
        const double m = largest_magnitude(row, n - s);
        if (!(m > best)) continue;
        int64_t q = 0;
        while (std::fabs(row[q]) != m) ++q;
        best = m;
        *pr = r;
        *pc = s + q;
    }
    return best;
}

}  // namespace

SolveResult solve_full_pivoting(double* a, double* b, int64_t n) {
    Scratch<int64_t> pivot_column(n);
    if (!pivot_column.ok()) return SolveResult::kNoMemory;
    auto at = [a, n](int64_t r, int64_t q) -> double& { return a[r * n + q]; };

    for (int64_t s = 0; s + 1 < n; ++s) {
        int64_t pr = s;
        int64_t pc = s;
        if (negligible(find_pivot(a, n, s, &pr, &pc))) return SolveResult::kSingular;
        pivot_column[static_cast<size_t>(s)] = pc;
        if (pc != s) {
            for (int64_t r = 0; r < n; ++r) std::swap(at(r, s), at(r, pc));
        }
        if (pr != s) {
            for (int64_t q = s; q < n; ++q) std::swap(at(s, q), at(pr, q));
            std::swap(b[s], b[pr]);
        }
        const double pivot = at(s, s);
        for (int64_t q = s + 1; q < n; ++q) at(s, q) = at(s, q) / pivot;
        b[s] = b[s] / pivot;
        for (int64_t r = s + 1; r < n; ++r) {
            const double factor = at(r, s);
            for (int64_t q = s + 1; q < n; ++q) at(r, q) = at(r, q) - factor * at(s, q);
            b[r] = b[r] - factor * b[s];
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
