// SPDX-License-Identifier: GPL-3.0-or-later
// Internal to the Fourier transform (kernels/fft.cpp): the plans the driver
// makes and the batch kernels, one per instruction set, that run them.
#pragma once

#include <cstdint>

#include "kernels/fft.h"
#include "kernels/matmul.h"
#include "kernels/matmul_kernels.h"

namespace hostmath::fft_detail {

// Independent transforms one batch computes, one per lane: a kernel holds
// them in one, two or four vector registers. The lanes never mix.
inline constexpr int kLanes = 8;
inline constexpr int kMaxStages = 64;

// One self-sorting pass: transforms of length span * radix from `radix`
// of length span each. Element j + t (m / radix) of the input, with
// j = q span + jj, is multiplied by twiddles[jj (radix - 1) + t - 1] (for
// t >= 1 when span > 1), the radix-point transform taken, and output t
// stored at q span radix + jj + t span.
struct Stage {
    int radix;
    int64_t span;
    const double* twiddles;  // (radix - 1) span pairs: w_(span radix)^(jj t)
    const double* roots;     // radix pairs w_radix^t, for odd radices
};

// A transform of length m as a sequence of stages (none for m = 1).
struct ShortPlan {
    int64_t m = 1;
    int stages = 0;
    Stage stage[kMaxStages];
};

// w_n^e = coarse(e / 2^shift) times fine(e mod 2^shift), both exact roots:
// one product of two values within an ulp, the same everywhere.
struct TwoLevelRoots {
    const double* coarse;
    const double* fine;
    int shift;
    int64_t n;
};

inline void two_level_root(const TwoLevelRoots& r, int64_t e, double* re, double* im) {
    const double* c = r.coarse + 2 * (e >> r.shift);
    const double* f = r.fine + 2 * (e & ((int64_t{1} << r.shift) - 1));
    *re = c[0] * f[0] - c[1] * f[1];
    *im = c[0] * f[1] + c[1] * f[0];
}

// Transforms of `count` sequences of plan->m complex numbers: element j of
// sequence s is src[j src_step + s src_lane] (in complex numbers, stored as
// (real, imaginary) pairs) and its result goes to dst[j dst_step + s
// dst_lane]. With lane_roots, result k of sequence s is multiplied by
// w_n^(k S) for S = first_sequence + s = 8g + l (first_sequence a multiple
// of 8), as w_n^(k 8g) w_n^(k l): lane_roots holds w_n^(k l) as m groups
// of 8 real parts then 8 imaginary parts.
struct BatchJob {
    const ShortPlan* plan;
    const double* src;
    int64_t src_step, src_lane;
    double* dst;
    int64_t dst_step, dst_lane;
    int64_t count;
    const double* lane_roots;
    const TwoLevelRoots* roots;
    int64_t first_sequence;
};

// Where element j of a batch buffer starts: 16 doubles per element and
// one element of padding after every 64, so that the elements a pass reads
// together, a power of two apart, do not all fall into the same cache sets.
inline int64_t slot(int64_t j) { return 16 * (j + (j >> 6)); }
// Doubles of working memory a batch of length m needs (two buffers of m
// elements), with room to align them to 64 bytes.
inline int64_t batch_work_doubles(int64_t m) { return 2 * slot(m) + 8; }

// The sequences 8 group .. 8 group + 7 of a job (those below count).
using BatchKernel = void (*)(const BatchJob& job, int64_t group, double* work);

BatchKernel baseline_batch();
#if HOSTMATH_X86_64
BatchKernel avx2_batch();
BatchKernel avx512_batch();
#endif

}  // namespace hostmath::fft_detail
