// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX2 tile kernel: 6 rows x 8 columns, twelve independent accumulators
// (enough to cover the latency of the additions), each register lane
// building one element of c. Multiplication and addition stay separate
// instructions: a fused multiply-add would round once instead of twice.
#include "kernels/matmul_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

namespace hostmath::matmul_detail {
namespace {

constexpr int kRows = kAvx2Rows;
constexpr int kVectors = kAvx2Cols / 4;
static_assert(kAvx2Cols % 4 == 0);

template <bool kSubtract>
HOSTMATH_TARGET("avx2")
void avx2_tile(int64_t kc, const double* ap, const double* bp, double* c, int64_t ldc, bool accumulate) {
    constexpr int nr = 4 * kVectors;
    __m256d acc[kRows][kVectors];
    HOSTMATH_UNROLL
    for (int r = 0; r < kRows; ++r) {
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) {
            acc[r][v] = accumulate ? _mm256_loadu_pd(c + r * ldc + 4 * v) : _mm256_setzero_pd();
        }
    }
    for (int64_t p = 0; p < kc; ++p, ap += kRows, bp += nr) {
        __m256d b[kVectors];
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) b[v] = _mm256_loadu_pd(bp + 4 * v);
        HOSTMATH_UNROLL
        for (int r = 0; r < kRows; ++r) {
            const __m256d a = _mm256_broadcast_sd(ap + r);
            HOSTMATH_UNROLL
            for (int v = 0; v < kVectors; ++v) {
                const __m256d term = _mm256_mul_pd(a, b[v]);
                acc[r][v] = kSubtract ? _mm256_sub_pd(acc[r][v], term) : _mm256_add_pd(acc[r][v], term);
            }
        }
    }
    HOSTMATH_UNROLL
    for (int r = 0; r < kRows; ++r) {
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) _mm256_storeu_pd(c + r * ldc + 4 * v, acc[r][v]);
    }
}

}  // namespace

const KernelPlan& avx2_plan() {
    static constexpr KernelPlan plan{kRows, 4 * kVectors, 256, 96, 2048, avx2_tile<false>, avx2_tile<true>};
    return plan;
}

}  // namespace hostmath::matmul_detail

#endif
