// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX-512 span kernels of the inversion: eight independent elements per
// operation, multiplication and subtraction kept apart (no fused
// multiply-add), so each element is rounded exactly as in the scalar step.
#include "kernels/inverse_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

#include <cmath>

namespace hostmath::inverse_detail {
namespace {

HOSTMATH_TARGET("avx512f")
void update_avx512(double* x, const double* r, int64_t len, double m) {
    const __m512d vm = _mm512_set1_pd(m);
    int64_t j = 0;
    for (; j + 8 <= len; j += 8) {
        _mm512_storeu_pd(x + j, _mm512_sub_pd(_mm512_loadu_pd(x + j), _mm512_mul_pd(_mm512_loadu_pd(r + j), vm)));
    }
    for (; j < len; ++j) x[j] = x[j] - r[j] * m;
}

HOSTMATH_TARGET("avx512f")
double update_max_avx512(double* x, const double* r, int64_t len, double m) {
    const __m512d vm = _mm512_set1_pd(m);
    // MAXPD returns its second operand when the first is NaN: NaN never wins.
    // (The masked form, all lanes set, spares GCC 12 a false uninitialised warning.)
    // Four running maxima: one would chain every iteration on its latency.
    __m512d best[4] = {_mm512_setzero_pd(), _mm512_setzero_pd(), _mm512_setzero_pd(), _mm512_setzero_pd()};
    int64_t j = 0;
    for (; j + 32 <= len; j += 32) {
        HOSTMATH_UNROLL
        for (int q = 0; q < 4; ++q) {
            const double* xq = x + j + 8 * q;
            const __m512d v = _mm512_sub_pd(_mm512_loadu_pd(xq), _mm512_mul_pd(_mm512_loadu_pd(r + j + 8 * q), vm));
            _mm512_storeu_pd(x + j + 8 * q, v);
            best[q] = _mm512_mask_max_pd(best[q], 0xFF, _mm512_abs_pd(v), best[q]);
        }
    }
    for (; j + 8 <= len; j += 8) {
        const __m512d v = _mm512_sub_pd(_mm512_loadu_pd(x + j), _mm512_mul_pd(_mm512_loadu_pd(r + j), vm));
        _mm512_storeu_pd(x + j, v);
        best[0] = _mm512_mask_max_pd(best[0], 0xFF, _mm512_abs_pd(v), best[0]);
    }
    best[0] = _mm512_mask_max_pd(best[0], 0xFF, best[1], best[0]);
    best[2] = _mm512_mask_max_pd(best[2], 0xFF, best[3], best[2]);
    best[0] = _mm512_mask_max_pd(best[0], 0xFF, best[2], best[0]);
    alignas(64) double lanes[8];
    _mm512_store_pd(lanes, best[0]);
    double largest = 0.0;
    for (double lane : lanes) largest = lane > largest ? lane : largest;
    for (; j < len; ++j) {
        x[j] = x[j] - r[j] * m;
        if (std::fabs(x[j]) > largest) largest = std::fabs(x[j]);
    }
    return largest;
}

HOSTMATH_TARGET("avx512f")
void update4_avx512(double* x, const double* const r[4], const double m[4], int64_t from, int64_t to) {
    const __m512d m0 = _mm512_set1_pd(m[0]), m1 = _mm512_set1_pd(m[1]);
    const __m512d m2 = _mm512_set1_pd(m[2]), m3 = _mm512_set1_pd(m[3]);
    int64_t j = from;
    for (; j + 8 <= to; j += 8) {
        __m512d v = _mm512_loadu_pd(x + j);
        v = _mm512_sub_pd(v, _mm512_mul_pd(_mm512_loadu_pd(r[0] + j), m0));
        v = _mm512_sub_pd(v, _mm512_mul_pd(_mm512_loadu_pd(r[1] + j), m1));
        v = _mm512_sub_pd(v, _mm512_mul_pd(_mm512_loadu_pd(r[2] + j), m2));
        v = _mm512_sub_pd(v, _mm512_mul_pd(_mm512_loadu_pd(r[3] + j), m3));
        _mm512_storeu_pd(x + j, v);
    }
    for (; j < to; ++j) x[j] = (((x[j] - r[0][j] * m[0]) - r[1][j] * m[1]) - r[2][j] * m[2]) - r[3][j] * m[3];
}

}  // namespace

const SpanKernels& avx512_spans() {
    static constexpr SpanKernels kernels{update_avx512, update_max_avx512, update4_avx512};
    return kernels;
}

}  // namespace hostmath::inverse_detail

#endif
