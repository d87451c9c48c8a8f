// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX-512 tile kernel: 6 rows x 32 columns, 24 independent accumulators
// in 32 registers, each lane building one element of c. Few rows keep the
// broadcasts of a few: where 512-bit operations are split in two, each
// broadcast takes a slot of the arithmetic pipes. Multiplication and
// addition stay separate instructions: a fused multiply-add would round once
// instead of twice.
#include "kernels/matmul_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

namespace hostmath::matmul_detail {
namespace {

constexpr int kRows = kAvx512Rows;
constexpr int kVectors = kAvx512Cols / 8;
static_assert(kAvx512Cols % 8 == 0);

template <bool kSubtract>
HOSTMATH_TARGET("avx512f")
void avx512_tile(int64_t kc, const double* ap, const double* bp, double* c, int64_t ldc, bool accumulate) {
    constexpr int nr = 8 * kVectors;
    __m512d acc[kRows][kVectors];
    HOSTMATH_UNROLL
    for (int r = 0; r < kRows; ++r) {
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) {
            acc[r][v] = accumulate ? _mm512_loadu_pd(c + r * ldc + 8 * v) : _mm512_setzero_pd();
        }
    }
    for (int64_t p = 0; p < kc; ++p, ap += kRows, bp += nr) {
        __m512d b[kVectors];
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) b[v] = _mm512_loadu_pd(bp + 8 * v);
        HOSTMATH_UNROLL
        for (int r = 0; r < kRows; ++r) {
            const __m512d a = _mm512_set1_pd(ap[r]);
            HOSTMATH_UNROLL
            for (int v = 0; v < kVectors; ++v) {
                const __m512d term = _mm512_mul_pd(a, b[v]);
                acc[r][v] = kSubtract ? _mm512_sub_pd(acc[r][v], term) : _mm512_add_pd(acc[r][v], term);
            }
        }
    }
    HOSTMATH_UNROLL
    for (int r = 0; r < kRows; ++r) {
        HOSTMATH_UNROLL
        for (int v = 0; v < kVectors; ++v) _mm512_storeu_pd(c + r * ldc + 8 * v, acc[r][v]);
    }
}

}  // namespace

const KernelPlan& avx512_plan() {
    static constexpr KernelPlan plan{kRows, 8 * kVectors, 256, 120, 2048, avx512_tile<false>, avx512_tile<true>};
    return plan;
}

}  // namespace hostmath::matmul_detail

#endif
