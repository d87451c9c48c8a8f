// SPDX-License-Identifier: GPL-3.0-or-later
// The discrete Fourier transform behind math::fft and math::ifft.
//
// X(k) = sum over j of x(j) e^(-2 pi i jk/n), and the inverse with e^(+...)
// and the factor 1/n, for every length n >= 1 in O(n log n) operations:
// - a length whose prime factors are all at most kLargestRadix is split as
//   n = n1 n2 (n2 the largest divisor not above sqrt(n)): n2 transforms of
//   length n1 down the columns of the n1 x n2 array, each element then
//   multiplied by w^(k1 j2), and n1 transforms of length n2 along its rows,
//   written transposed. Each short transform is a self-sorting mixed-radix
//   pass sequence (radices 8, 4, 2, 3, 5, 7 and any odd prime up to
//   kLargestRadix);
// - any other length by Bluestein's convolution: the chirp-weighted input
//   is convolved with the chirp through three transforms of a length
//   M >= 2n - 1 of the form 2^k q, q one of a few small odd numbers.
// The inverse is the conjugate of the forward transform of the conjugate,
// each element then divided by n.
//
// Every twiddle factor is computed from its index alone, the same way on
// every processor (exact_root, two_level_root): results do not depend on
// the vector kernel, the thread count or the platform. The kernels compute
// eight independent short transforms at once, one per vector lane, with
// the same operations in the same order as one transform alone; no sum of
// one output is reassociated and no multiply-add is fused.
#pragma once

#include <cstdint>
#include <memory>

#include "kernels/matmul.h"

namespace hostmath::dft {

// The largest prime factor a length may have to be computed by radix
// passes; a larger one takes the convolution.
inline constexpr int64_t kLargestRadix = 61;

// The transform of n complex numbers stored as (real, imaginary) pairs, in
// place. The plan (twiddle tables and working memory: n complex numbers
// and about 50 sqrt(n) more per thread; 3 M and the same for M with the
// convolution) is made first, so that a caller can give up before it has
// touched anything when memory is short.
class Transform {
public:
    // For up to `threads` threads.
    Transform(int64_t n, int threads);
    ~Transform();
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;
    // Whether the plan's memory could be had.
    bool ok() const;
    // With a vector kernel that must be supported, or the widest one.
    void run_with(MatmulKernel kernel, double* data, bool inverse);
    void run(double* data, bool inverse);

private:
    struct Plan;
    int64_t n_;
    int threads_;
    std::unique_ptr<Plan> plan_;
};

// e^(-2 pi i e / n) for 0 <= e < n, from the library's sine and cosine of
// the angle reduced to [0, pi/4] exactly (in whole multiples of 1/(8n)),
// each within about one unit in the last place.
void exact_root(int64_t e, int64_t n, double* re, double* im);

}  // namespace hostmath::dft
