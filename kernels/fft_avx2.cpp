// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX2 batch kernel of the Fourier transform: eight lanes in two ymm
// registers, multiplication and addition kept apart (no fused multiply-add).
#include "kernels/fft_kernels.h"

#if HOSTMATH_X86_64
#include <immintrin.h>

namespace hostmath::fft_detail {
namespace {

#define HOSTMATH_FFT_TARGET HOSTMATH_TARGET("avx2")

struct V {
    __m256d lo, hi;
};

HOSTMATH_FFT_TARGET inline V add(const V& a, const V& b) { return {_mm256_add_pd(a.lo, b.lo), _mm256_add_pd(a.hi, b.hi)}; }
HOSTMATH_FFT_TARGET inline V sub(const V& a, const V& b) { return {_mm256_sub_pd(a.lo, b.lo), _mm256_sub_pd(a.hi, b.hi)}; }
HOSTMATH_FFT_TARGET inline V mul(const V& a, const V& b) { return {_mm256_mul_pd(a.lo, b.lo), _mm256_mul_pd(a.hi, b.hi)}; }
HOSTMATH_FFT_TARGET inline V splat(double x) { return {_mm256_set1_pd(x), _mm256_set1_pd(x)}; }
HOSTMATH_FFT_TARGET inline V load(const double* p) { return {_mm256_loadu_pd(p), _mm256_loadu_pd(p + 4)}; }
HOSTMATH_FFT_TARGET inline void store(double* p, const V& a) {
    _mm256_storeu_pd(p, a.lo);
    _mm256_storeu_pd(p + 4, a.hi);
}
// Four pairs (r0 i0 r1 i1 | r2 i2 r3 i3) into (r0 r1 r2 r3) and (i0 i1 i2 i3).
HOSTMATH_FFT_TARGET inline void split4(const double* p, __m256d& re, __m256d& im) {
    const __m256d a = _mm256_loadu_pd(p), b = _mm256_loadu_pd(p + 4);
    const __m256d lo = _mm256_permute2f128_pd(a, b, 0x20), hi = _mm256_permute2f128_pd(a, b, 0x31);
    re = _mm256_unpacklo_pd(lo, hi);
    im = _mm256_unpackhi_pd(lo, hi);
}
HOSTMATH_FFT_TARGET inline void join4(double* p, __m256d re, __m256d im) {
    const __m256d lo = _mm256_unpacklo_pd(re, im), hi = _mm256_unpackhi_pd(re, im);
    _mm256_storeu_pd(p, _mm256_permute2f128_pd(lo, hi, 0x20));
    _mm256_storeu_pd(p + 4, _mm256_permute2f128_pd(lo, hi, 0x31));
}
HOSTMATH_FFT_TARGET inline void load_pairs(const double* p, V& re, V& im) {
    split4(p, re.lo, im.lo);
    split4(p + 8, re.hi, im.hi);
}
HOSTMATH_FFT_TARGET inline void store_pairs(double* p, const V& re, const V& im) {
    join4(p, re.lo, im.lo);
    join4(p + 8, re.hi, im.hi);
}

#include "kernels/fft_passes.h"

#undef HOSTMATH_FFT_TARGET

}  // namespace

BatchKernel avx2_batch() { return run_batch; }

}  // namespace hostmath::fft_detail

#endif
