// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline batch kernel of the Fourier transform: eight lanes as plain
// arrays, which the compiler keeps in SSE2 registers on x86-64.
#include "kernels/fft_kernels.h"

namespace hostmath::fft_detail {
namespace {

#define HOSTMATH_FFT_TARGET

struct V {
    double v[8];
};

inline V add(const V& a, const V& b) {
    V r;
    for (int l = 0; l < 8; ++l) r.v[l] = a.v[l] + b.v[l];
    return r;
}
inline V sub(const V& a, const V& b) {
    V r;
    for (int l = 0; l < 8; ++l) r.v[l] = a.v[l] - b.v[l];
    return r;
}
inline V mul(const V& a, const V& b) {
    V r;
    for (int l = 0; l < 8; ++l) r.v[l] = a.v[l] * b.v[l];
    return r;
}
inline V splat(double x) {
    V r;
    for (double& lane : r.v) lane = x;
    return r;
}
inline V load(const double* p) {
    V r;
    for (int l = 0; l < 8; ++l) r.v[l] = p[l];
    return r;
}
inline void store(double* p, const V& a) {
    for (int l = 0; l < 8; ++l) p[l] = a.v[l];
}
inline void load_pairs(const double* p, V& re, V& im) {
    for (int l = 0; l < 8; ++l) {
        re.v[l] = p[2 * l];
        im.v[l] = p[2 * l + 1];
    }
}
inline void store_pairs(double* p, const V& re, const V& im) {
    for (int l = 0; l < 8; ++l) {
        p[2 * l] = re.v[l];
        p[2 * l + 1] = im.v[l];
    }
}

#include "kernels/fft_passes.h"

#undef HOSTMATH_FFT_TARGET

}  // namespace

BatchKernel baseline_batch() { return run_batch; }

}  // namespace hostmath::fft_detail
