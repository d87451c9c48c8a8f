#include "numeric/linear_solve.h"

#include <cmath>
#include <utility>

#include "array/scratch.h"

namespace hostmath {
namespace {

bool negligible(double d) { return std::fabs(d) + 1.0 == 1.0; }

}  // namespace

SolveResult solve_full_pivoting(double* a, double* b, int64_t n) {
    Scratch<int64_t> pivot_column(n);
    if (!pivot_column.ok()) return SolveResult::kNoMemory;
    auto at = [a, n](int64_t r, int64_t q) -> double& { return a[r * n + q]; };

    for (int64_t s = 0; s + 1 < n; ++s) {
        // The first element of largest magnitude, scanning row by row.
        double best = 0.0;
        int64_t pr = s;
        int64_t pc = s;
        for (int64_t r = s; r < n; ++r) {
            for (int64_t q = s; q < n; ++q) {
                if (std::fabs(at(r, q)) > best) {
                    best = std::fabs(at(r, q));
                    pr = r;
                    pc = q;
                }
            }
        }
        if (negligible(best)) return SolveResult::kSingular;
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
