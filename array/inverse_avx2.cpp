// The AVX2 row kernel of the inversion: four independent elements per
// operation, multiplication and subtraction kept apart (no fused
// multiply-add), so each element is rounded exactly as in the scalar step.
#include "array/inverse_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

#include <cmath>

namespace hostmath::inverse_detail {

HOSTMATH_TARGET("avx2")
double sweep_row_avx2(double* row, const double* pivot_row, int64_t n, int64_t k, int64_t search_from) {
    const double m = row[k];
    const __m256d vm = _mm256_set1_pd(m);
    const __m256d no_sign = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    int64_t j = 0;
    for (; j + 4 <= search_from; j += 4) {
        const __m256d x = _mm256_sub_pd(_mm256_loadu_pd(row + j), _mm256_mul_pd(_mm256_loadu_pd(pivot_row + j), vm));
        _mm256_storeu_pd(row + j, x);
    }
    for (; j < search_from; ++j) row[j] = row[j] - pivot_row[j] * m;
    // MAXPD returns its second operand when the first is NaN: NaN never wins.
    __m256d best = _mm256_setzero_pd();
    for (; j + 4 <= n; j += 4) {
        const __m256d x = _mm256_sub_pd(_mm256_loadu_pd(row + j), _mm256_mul_pd(_mm256_loadu_pd(pivot_row + j), vm));
        _mm256_storeu_pd(row + j, x);
        best = _mm256_max_pd(_mm256_and_pd(x, no_sign), best);
    }
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, best);
    double largest = 0.0;
    for (double lane : lanes) largest = lane > largest ? lane : largest;
    for (; j < n; ++j) {
        const double x = row[j] - pivot_row[j] * m;
        row[j] = x;
        if (std::fabs(x) > largest) largest = std::fabs(x);
    }
    row[k] = -(m * pivot_row[k]);
    return largest;
}

}  // namespace hostmath::inverse_detail

#endif
