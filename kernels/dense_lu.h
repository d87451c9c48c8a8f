// SPDX-License-Identifier: GPL-3.0-or-later
// LU factorisation with partial pivoting, the solves that use it, and the
// Cholesky factorisation: host-free kernels on row-major n x n matrices.
//
// Every element's arithmetic is fixed. Elimination step s (s = 0 .. n-2)
// picks as pivot row the first row r >= s holding the largest |a(r, s)| (a
// NaN is never chosen), swaps whole rows s and r, and for every row r > s
// stores l = a(r, s) / a(s, s) in a(r, s) and sets a(r, j) = a(r, j) - l *
// a(s, j) for j > s: each element receives its updates one at a time in
// increasing s. Substitutions subtract one term at a time from the running
// value in the stated order; nothing forms a partial sum. No fused
// multiply-add anywhere. Faster variants must keep exactly these operations.
#pragma once

#include <cstdint>

#include "kernels/matmul.h"

namespace hostmath {

enum class LuStatus { kFactored, kSingular };

// Factors a in place into L (unit lower, below the diagonal) and U; pivot[s]
// receives the row swapped with row s at step s (s = 0 .. n-2) and *swaps
// the number of steps whose pivot row differed from s. kSingular when a
// step finds no candidate of nonzero magnitude (every one 0 or NaN) or the
// last pivot is exactly 0; `a` then holds partial results.
LuStatus lu_factor(double* a, int64_t n, int64_t* pivot, int64_t* swaps, int threads = 1);
// The same, blocked: each panel of kPanelWidth columns is factored in a
// copy of its columns, then the rest of the matrix takes its swaps, its rows
// of U and its updates through the product's kernels, shared by up to
// `threads` threads while the calling thread factors the next panel. Every
// element still receives its updates one at a time in increasing step
// order, so the factors are bit-identical to the plain elimination's.
LuStatus lu_factor_with(MatmulKernel kernel, double* a, int64_t n, int64_t* pivot, int64_t* swaps, int threads);
// The elimination exactly as it reads, one element at a time.
LuStatus lu_factor_plain(double* a, int64_t n, int64_t* pivot, int64_t* swaps);

// Solves with the factors of lu_factor, in place on the n x k row-major b:
// the rows of b swapped as the elimination swapped them, then for each
// column forward substitution y(r) = b(r) - l(r, 0) y(0) - ... - l(r, r-1)
// y(r-1), then back substitution x(r) = (y(r) - u(r, r+1) x(r+1) - ... -
// u(r, n-1) x(n-1)) / u(r, r), r from n-1 down to 0.
void lu_solve(const double* lu, int64_t n, const int64_t* pivot, double* b, int64_t k);

// u(0,0) * u(1,1) * ... * u(n-1,n-1) from 1.0 in that order, negated when
// the number of swaps is odd.
double lu_determinant(const double* lu, int64_t n, int64_t swaps);

// The lower Cholesky factor of the lower triangle of a, in place: for j = 0
// .. n-1, d = a(j, j) - l(j, 0)^2 - ... - l(j, j-1)^2, l(j, j) = sqrt(d), and
// for i > j, l(i, j) = (a(i, j) - l(i, 0) l(j, 0) - ... - l(i, j-1) l(j,
// j-1)) / l(j, j). The upper triangle becomes 0. False (a partly
// overwritten) at the first d that is not positive or is NaN.
bool cholesky_factor(double* a, int64_t n, int threads = 1);
// The same, blocked as lu_factor_with is: each element's terms are taken in
// the same order, so the factor is bit-identical to the plain one's.
bool cholesky_factor_with(MatmulKernel kernel, double* a, int64_t n, int threads);
bool cholesky_factor_plain(double* a, int64_t n);

// The threads worth using for a factorisation of order n: 1 to the thread limit.
int factor_threads(int64_t n);

}  // namespace hostmath
