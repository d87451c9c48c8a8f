// SPDX-License-Identifier: GPL-3.0-or-later
// Transpose (operator code 8): the n x m transpose of an m x n array.
#include "ops/transpose.h"

#include <algorithm>

#include "kernels/parallel.h"
#include "script/math_array.h"
#include "script/operators.h"

namespace hostmath {

namespace {

constexpr const HostChar* kTransposeKey = u"math AT";

enum TransposeCode : int64_t {
    kNoArray = 1,
    kNotTwoDimensional = 2,
    kNoNewArray = 3,
};

// Edge of the square tiles. A tile reads 16 rows of 16 doubles of a and
// writes as many of t (2 KiB each): few enough lines to stay in the
// level-1 cache even when a power-of-two row length maps them all to the
// same cache sets. On 4096 x 4096 it measured faster than 8, 32 or 64.
constexpr int64_t kTile = 16;

}  // namespace

void transpose_elements(const double* a, int64_t rows, int64_t cols, double* t, int threads) {
    // Without elements the tile loops would still step through the other
    // size, 4611686018427387904 x 0 included.
    if (rows <= 0 || cols <= 0) return;
    // Each thread takes a band of a's columns, which is a band of t's rows:
    // the threads write disjoint stretches of t.
    parallel::for_ranges(threads, 0, cols, kTile, [&](int64_t first_col, int64_t end_col) {
        for (int64_t i0 = 0; i0 < rows; i0 += kTile) {
            const int64_t i1 = std::min(i0 + kTile, rows);
            for (int64_t j0 = first_col; j0 < end_col; j0 += kTile) {
                const int64_t j1 = std::min(j0 + kTile, end_col);
                for (int64_t i = i0; i < i1; ++i) {
                    for (int64_t j = j0; j < j1; ++j) t[j * rows + i] = a[i * cols + j];
                }
            }
        }
    });
}

// After a failure the result stays a null array with the math-array type
// words. An array whose sizes disagree with its element count (which no
// array the library makes has) is refused like one that is not a matrix.
HostValue* op_transpose(HostValue* result, HostValue* operands, void* ctx) {
    write_null_array(result);
    RealArray* a = lookup_array(operands[0]);
    if (a == nullptr) {
        report(kTransposeKey, kNoArray, ctx);
        return result;
    }
    if (a->ndims != 2 || !has_consistent_shape(*a)) {
        report(kTransposeKey, kNotTwoDimensional, ctx);
        return result;
    }
    const int64_t rows = a->dims[0];
    const int64_t cols = a->dims[1];
    RealArray* t = new_matrix(cols, rows);
    if (t == nullptr) {
        report(kTransposeKey, kNoNewArray, ctx);
        return result;
    }
    transpose_elements(a->data, rows, cols, t->data, parallel::threads_for(a->count, kTransposeElementsPerThread));
    return return_new_array(result, t, ctx);
}

}  // namespace hostmath
