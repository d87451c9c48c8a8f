// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX-512 batch kernel of the Fourier transform: eight lanes in one zmm
// register, multiplication and addition kept apart (no fused multiply-add).
#include "kernels/fft_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

namespace hostmath::fft_detail {
namespace {

#define HOSTMATH_FFT_TARGET HOSTMATH_TARGET("avx512f")

using V = __m512d;

HOSTMATH_FFT_TARGET inline V add(const V& a, const V& b) { return _mm512_add_pd(a, b); }
HOSTMATH_FFT_TARGET inline V sub(const V& a, const V& b) { return _mm512_sub_pd(a, b); }
HOSTMATH_FFT_TARGET inline V mul(const V& a, const V& b) { return _mm512_mul_pd(a, b); }
HOSTMATH_FFT_TARGET inline V splat(double x) { return _mm512_set1_pd(x); }
HOSTMATH_FFT_TARGET inline V load(const double* p) { return _mm512_loadu_pd(p); }
HOSTMATH_FFT_TARGET inline void store(double* p, const V& a) { _mm512_storeu_pd(p, a); }
HOSTMATH_FFT_TARGET inline void load_pairs(const double* p, V& re, V& im) {
    const __m512d a = _mm512_loadu_pd(p), b = _mm512_loadu_pd(p + 8);
    re = _mm512_permutex2var_pd(a, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), b);
    im = _mm512_permutex2var_pd(a, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), b);
}
HOSTMATH_FFT_TARGET inline void store_pairs(double* p, const V& re, const V& im) {
    _mm512_storeu_pd(p, _mm512_permutex2var_pd(re, _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), im));
    _mm512_storeu_pd(p + 8, _mm512_permutex2var_pd(re, _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15), im));
}

#include "kernels/fft_passes.h"

#undef HOSTMATH_FFT_TARGET

}  // namespace

BatchKernel avx512_batch() { return run_batch; }

}  // namespace hostmath::fft_detail

#endif
