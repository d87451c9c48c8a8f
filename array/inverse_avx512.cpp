// The AVX-512 row kernel of the inversion: eight independent elements per
// operation, multiplication and subtraction kept apart (no fused
// multiply-add), so each element is rounded exactly as in the scalar step.
#include "array/inverse_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

#include <cmath>

namespace hostmath::inverse_detail {

HOSTMATH_TARGET("avx512f")
double sweep_row_avx512(double* row, const double* pivot_row, int64_t n, int64_t k, int64_t search_from) {
    const double m = row[k];
    const __m512d vm = _mm512_set1_pd(m);
    int64_t j = 0;
    for (; j + 8 <= search_from; j += 8) {
        const __m512d x = _mm512_sub_pd(_mm512_loadu_pd(row + j), _mm512_mul_pd(_mm512_loadu_pd(pivot_row + j), vm));
        _mm512_storeu_pd(row + j, x);
    }
    for (; j < search_from; ++j) row[j] = row[j] - pivot_row[j] * m;
    // MAXPD returns its second operand when the first is NaN: NaN never wins.
    // (The masked form, all lanes set, spares GCC 12 a false uninitialised warning.)
    __m512d best = _mm512_setzero_pd();
    for (; j + 8 <= n; j += 8) {
        const __m512d x = _mm512_sub_pd(_mm512_loadu_pd(row + j), _mm512_mul_pd(_mm512_loadu_pd(pivot_row + j), vm));
        _mm512_storeu_pd(row + j, x);
        best = _mm512_mask_max_pd(best, 0xFF, _mm512_abs_pd(x), best);
    }
    alignas(64) double lanes[8];
    _mm512_store_pd(lanes, best);
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
