// SPDX-License-Identifier: GPL-3.0-or-later
// The tile kernel every x86-64 processor runs: SSE2, two columns per
// register. Elsewhere a scalar tile of the same shape.
#include "kernels/matmul_kernels.h"

#if HOSTMATH_X86_64
#include <emmintrin.h>
#endif

namespace hostmath::matmul_detail {
namespace {

constexpr int kRows = kBaselineRows;
constexpr int kVectors = kBaselineCols / 2;
static_assert(kBaselineCols % 2 == 0);

#if HOSTMATH_X86_64

template <bool kSubtract>
void sse2_tile(int64_t kc, const double* ap, const double* bp, double* c, int64_t ldc, bool accumulate) {
    constexpr int nr = 2 * kVectors;
    __m128d acc[kRows][kVectors];
    HOSTMATH_UNROLL
    for (int r = 0; r < kRows; ++r) {
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) {
            acc[r][v] = accumulate ? _mm_loadu_pd(c + r * ldc + 2 * v) : _mm_setzero_pd();
        }
    }
    for (int64_t p = 0; p < kc; ++p, ap += kRows, bp += nr) {
        __m128d b[kVectors];
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) b[v] = _mm_loadu_pd(bp + 2 * v);
        HOSTMATH_UNROLL
        for (int r = 0; r < kRows; ++r) {
            const __m128d a = _mm_set1_pd(ap[r]);
            HOSTMATH_UNROLL
            for (int v = 0; v < kVectors; ++v) {
                const __m128d term = _mm_mul_pd(a, b[v]);
                acc[r][v] = kSubtract ? _mm_sub_pd(acc[r][v], term) : _mm_add_pd(acc[r][v], term);
            }
        }
    }
    HOSTMATH_UNROLL
    for (int r = 0; r < kRows; ++r) {
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) _mm_storeu_pd(c + r * ldc + 2 * v, acc[r][v]);
    }
}

constexpr TileKernel kTile = sse2_tile<false>;
constexpr TileKernel kSubtractTile = sse2_tile<true>;

#else

template <bool kSubtract>
void scalar_tile(int64_t kc, const double* ap, const double* bp, double* c, int64_t ldc, bool accumulate) {
    constexpr int nr = 2 * kVectors;
    double acc[kRows][nr];
    for (int r = 0; r < kRows; ++r) {
        for (int j = 0; j < nr; ++j) acc[r][j] = accumulate ? c[r * ldc + j] : 0.0;
    }
    for (int64_t p = 0; p < kc; ++p, ap += kRows, bp += nr) {
        for (int r = 0; r < kRows; ++r) {
            for (int j = 0; j < nr; ++j) {
                const double term = ap[r] * bp[j];
                acc[r][j] = kSubtract ? acc[r][j] - term : acc[r][j] + term;
            }
        }
    }
    for (int r = 0; r < kRows; ++r) {
        for (int j = 0; j < nr; ++j) c[r * ldc + j] = acc[r][j];
    }
}

constexpr TileKernel kTile = scalar_tile<false>;
constexpr TileKernel kSubtractTile = scalar_tile<true>;

#endif

}  // namespace

const KernelPlan& baseline_plan() {
    static constexpr KernelPlan plan{kRows, 2 * kVectors, 256, 64, 2048, kTile, kSubtractTile};
    return plan;
}

}  // namespace hostmath::matmul_detail
