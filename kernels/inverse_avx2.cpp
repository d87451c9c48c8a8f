// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX2 span kernels of the inversion: four independent elements per
// operation, multiplication and subtraction kept apart (no fused
// multiply-add), so each element is rounded exactly as in the scalar step.
#include "kernels/inverse_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

#include <cmath>

namespace hostmath::inverse_detail {
namespace {

HOSTMATH_TARGET("avx2")
void update_avx2(double* x, const double* r, int64_t len, double m) {
    const __m256d vm = _mm256_set1_pd(m);
    int64_t j = 0;
    for (; j + 4 <= len; j += 4) {
        _mm256_storeu_pd(x + j, _mm256_sub_pd(_mm256_loadu_pd(x + j), _mm256_mul_pd(_mm256_loadu_pd(r + j), vm)));
    }
    for (; j < len; ++j) x[j] = x[j] - r[j] * m;
}

HOSTMATH_TARGET("avx2")
double update_max_avx2(double* x, const double* r, int64_t len, double m) {
    const __m256d vm = _mm256_set1_pd(m);
    const __m256d no_sign = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    // MAXPD returns its second operand when the first is NaN: NaN never wins.
    // Four running maxima: one would chain every iteration on its latency.
    __m256d best[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
    int64_t j = 0;
    for (; j + 16 <= len; j += 16) {
        HOSTMATH_UNROLL
        for (int q = 0; q < 4; ++q) {
            const double* xq = x + j + 4 * q;
            const __m256d v = _mm256_sub_pd(_mm256_loadu_pd(xq), _mm256_mul_pd(_mm256_loadu_pd(r + j + 4 * q), vm));
            _mm256_storeu_pd(x + j + 4 * q, v);
            best[q] = _mm256_max_pd(_mm256_and_pd(v, no_sign), best[q]);
        }
    }
    for (; j + 4 <= len; j += 4) {
        const __m256d v = _mm256_sub_pd(_mm256_loadu_pd(x + j), _mm256_mul_pd(_mm256_loadu_pd(r + j), vm));
        _mm256_storeu_pd(x + j, v);
        best[0] = _mm256_max_pd(_mm256_and_pd(v, no_sign), best[0]);
    }
    best[0] = _mm256_max_pd(best[1], best[0]);
    best[2] = _mm256_max_pd(best[3], best[2]);
    best[0] = _mm256_max_pd(best[2], best[0]);
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, best[0]);
    double largest = 0.0;
    for (double lane : lanes) largest = lane > largest ? lane : largest;
    for (; j < len; ++j) {
        x[j] = x[j] - r[j] * m;
        if (std::fabs(x[j]) > largest) largest = std::fabs(x[j]);
    }
    return largest;
}

HOSTMATH_TARGET("avx2")
void update4_avx2(double* x, const double* const r[4], const double m[4], int64_t from, int64_t to) {
    const __m256d m0 = _mm256_set1_pd(m[0]), m1 = _mm256_set1_pd(m[1]);
    const __m256d m2 = _mm256_set1_pd(m[2]), m3 = _mm256_set1_pd(m[3]);
    int64_t j = from;
    for (; j + 4 <= to; j += 4) {
        __m256d v = _mm256_loadu_pd(x + j);
        v = _mm256_sub_pd(v, _mm256_mul_pd(_mm256_loadu_pd(r[0] + j), m0));
        v = _mm256_sub_pd(v, _mm256_mul_pd(_mm256_loadu_pd(r[1] + j), m1));
        v = _mm256_sub_pd(v, _mm256_mul_pd(_mm256_loadu_pd(r[2] + j), m2));
        v = _mm256_sub_pd(v, _mm256_mul_pd(_mm256_loadu_pd(r[3] + j), m3));
        _mm256_storeu_pd(x + j, v);
    }
    for (; j < to; ++j) x[j] = (((x[j] - r[0][j] * m[0]) - r[1][j] * m[1]) - r[2][j] * m[2]) - r[3][j] * m[3];
}

}  // namespace

const SpanKernels& avx2_spans() {
    static constexpr SpanKernels kernels{update_avx2, update_max_avx2, update4_avx2};
    return kernels;
}

}  // namespace hostmath::inverse_detail

#endif
