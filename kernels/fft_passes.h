// SPDX-License-Identifier: GPL-3.0-or-later
// The batch kernel of the Fourier transform, written once over eight-lane
// vectors and compiled once per instruction set: kernels/fft_baseline.cpp,
// fft_avx2.cpp and fft_avx512.cpp include it inside an anonymous namespace
// of hostmath::fft_detail after defining
//   HOSTMATH_FFT_TARGET      the function attribute of their instruction set;
//   V                        eight doubles, one per lane;
//   add, sub, mul            lane by lane, each result rounded once;
//   splat(x)                 x in every lane;
//   load(p), store(p, v)     eight consecutive doubles;
//   load_pairs(p, re, im)    eight (real, imaginary) pairs into two vectors;
//   store_pairs(p, re, im)   the reverse.
// Every lane goes through exactly the operations a lone transform would,
// in the same order, so every instruction set gives the same bits.
// No include guard: each including file gets its own copy.

struct CV {
    V re, im;
};

// Elements of a batch buffer: element j holds 8 real parts, then 8
// imaginary parts, at slot(j) (kernels/fft_kernels.h).
HOSTMATH_FFT_TARGET inline CV get(const double* p, int64_t j) { return {load(p + slot(j)), load(p + slot(j) + 8)}; }
HOSTMATH_FFT_TARGET inline void put(double* p, int64_t j, const CV& v) {
    store(p + slot(j), v.re);
    store(p + slot(j) + 8, v.im);
}

HOSTMATH_FFT_TARGET inline CV cadd(const CV& a, const CV& b) { return {add(a.re, b.re), add(a.im, b.im)}; }
HOSTMATH_FFT_TARGET inline CV csub(const CV& a, const CV& b) { return {sub(a.re, b.re), sub(a.im, b.im)}; }
// a times w: (a.re w.re - a.im w.im, a.re w.im + a.im w.re).
HOSTMATH_FFT_TARGET inline CV cmul(const CV& a, const V& wr, const V& wi) {
    return {sub(mul(a.re, wr), mul(a.im, wi)), add(mul(a.re, wi), mul(a.im, wr))};
}

// ---- butterflies: the forward transform of a few points, in place ------------

HOSTMATH_FFT_TARGET inline void radix2(CV* x) {
    const CV a = x[0], b = x[1];
    x[0] = cadd(a, b);
    x[1] = csub(a, b);
}

// Outputs 0, 1, 2, 3 of the 4-point transform of x0, x1, x2, x3.
HOSTMATH_FFT_TARGET inline void four_point(const CV& x0, const CV& x1, const CV& x2, const CV& x3, CV* y) {
    const CV a = cadd(x0, x2), b = csub(x0, x2), c = cadd(x1, x3), d = csub(x1, x3);
    y[0] = cadd(a, c);
    y[2] = csub(a, c);
    y[1] = {add(b.re, d.im), sub(b.im, d.re)};  // b - i d
    y[3] = {sub(b.re, d.im), add(b.im, d.re)};  // b + i d
}

HOSTMATH_FFT_TARGET inline void radix4(CV* x) {
    CV y[4];
    four_point(x[0], x[1], x[2], x[3], y);
    for (int t = 0; t < 4; ++t) x[t] = y[t];
}

HOSTMATH_FFT_TARGET inline void radix8(CV* x) {
    // sqrt(1/2) rounded to nearest: the real part of w_8.
    const V h = splat(0x1.6a09e667f3bcdp-1);
    CV e[4], o[4];
    four_point(x[0], x[2], x[4], x[6], e);
    four_point(x[1], x[3], x[5], x[7], o);
    // o1 w_8 = ((re + im) h, (im - re) h); o3 w_8^3 = ((im - re) h, -(re + im) h).
    const CV t1 = {mul(add(o[1].re, o[1].im), h), mul(sub(o[1].im, o[1].re), h)};
    const CV t3 = {mul(sub(o[3].im, o[3].re), h), mul(add(o[3].re, o[3].im), h)};
    x[0] = cadd(e[0], o[0]);
    x[4] = csub(e[0], o[0]);
    x[1] = cadd(e[1], t1);
    x[5] = csub(e[1], t1);
    x[2] = {add(e[2].re, o[2].im), sub(e[2].im, o[2].re)};  // e2 - i o2
    x[6] = {sub(e[2].re, o[2].im), add(e[2].im, o[2].re)};
    x[3] = {add(e[3].re, t3.re), sub(e[3].im, t3.im)};
    x[7] = {sub(e[3].re, t3.re), add(e[3].im, t3.im)};
}

// An odd radix p (P when known at compile time, else p) from the roots
// w_p^t = (cos, -sin): with s_j = x_j + x_(p-j), d_j = x_j - x_(p-j),
//   X_0 = x_0 + s_1 + ... + s_h,
//   A_k = x_0 + s_1 c_k + s_2 c_2k + ...,   B_k = d_1 r_k + d_2 r_2k + ...
// (c, r the real and imaginary parts of the roots, indices mod p), and
// X_k = A_k + i B_k = (A.re - B.im, A.im + B.re), X_(p-k) = A_k - i B_k.
template <int P>
HOSTMATH_FFT_TARGET inline void radix_odd(CV* x, int p_runtime, const double* roots) {
    const int p = P != 0 ? P : p_runtime;
    const int h = (p - 1) / 2;
    constexpr int kHalf = P != 0 ? (P - 1) / 2 : static_cast<int>((dft::kLargestRadix - 1) / 2);
    CV s[kHalf], d[kHalf];
    for (int j = 1; j <= h; ++j) {
        s[j - 1] = cadd(x[j], x[p - j]);
        d[j - 1] = csub(x[j], x[p - j]);
    }
    const CV x0 = x[0];
    CV sum = x0;
    for (int j = 0; j < h; ++j) sum = cadd(sum, s[j]);
    for (int k = 1; k <= h; ++k) {
        CV a = x0, b;
        for (int j = 1; j <= h; ++j) {
            const double* w = roots + 2 * ((j * k) % p);
            const V c = splat(w[0]), r = splat(w[1]);
            a = cadd(a, {mul(s[j - 1].re, c), mul(s[j - 1].im, c)});
            const CV term = {mul(d[j - 1].re, r), mul(d[j - 1].im, r)};
            b = j == 1 ? term : cadd(b, term);
        }
        x[k] = {sub(a.re, b.im), add(a.im, b.re)};
        x[p - k] = {add(a.re, b.im), sub(a.im, b.re)};
    }
    x[0] = sum;
}

// One stage from `in` to `out` (see Stage in kernels/fft_kernels.h).
template <int R>
HOSTMATH_FFT_TARGET void run_stage(const Stage& st, int64_t m, const double* in, double* out) {
    const int r = R != 0 ? R : st.radix;
    constexpr int kPoints = R != 0 ? R : static_cast<int>(dft::kLargestRadix);
    const int64_t span = st.span, stride = m / r, blocks = m / (static_cast<int64_t>(r) * span);
    for (int64_t q = 0; q < blocks; ++q) {
        for (int64_t jj = 0; jj < span; ++jj) {
            const int64_t j = q * span + jj;
            CV x[kPoints];
            for (int t = 0; t < r; ++t) x[t] = get(in, j + t * stride);
            if (span > 1) {
                const double* w = st.twiddles + 2 * jj * (r - 1);
                for (int t = 1; t < r; ++t) x[t] = cmul(x[t], splat(w[2 * (t - 1)]), splat(w[2 * (t - 1) + 1]));
            }
            if constexpr (R == 2) {
                radix2(x);
            } else if constexpr (R == 4) {
                radix4(x);
            } else if constexpr (R == 8) {
                radix8(x);
            } else {
                radix_odd<R>(x, r, st.roots);
            }
            const int64_t base = q * span * r + jj;
            for (int t = 0; t < r; ++t) put(out, base + t * span, x[t]);
        }
    }
}

// The whole short transform; the result is in a or in b, as returned.
HOSTMATH_FFT_TARGET double* run_plan(const ShortPlan& plan, double* a, double* b) {
    for (int s = 0; s < plan.stages; ++s) {
        const Stage& st = plan.stage[s];
        switch (st.radix) {
            case 2: run_stage<2>(st, plan.m, a, b); break;
            case 3: run_stage<3>(st, plan.m, a, b); break;
            case 4: run_stage<4>(st, plan.m, a, b); break;
            case 5: run_stage<5>(st, plan.m, a, b); break;
            case 7: run_stage<7>(st, plan.m, a, b); break;
            case 8: run_stage<8>(st, plan.m, a, b); break;
            default: run_stage<0>(st, plan.m, a, b); break;
        }
        double* t = a;
        a = b;
        b = t;
    }
    return a;
}

HOSTMATH_FFT_TARGET void run_batch(const BatchJob& job, int64_t group, double* work) {
    const int64_t m = job.plan->m, first = kLanes * group;
    const int64_t lanes = job.count - first < kLanes ? job.count - first : kLanes;
    double* a = work + ((-reinterpret_cast<intptr_t>(work) / static_cast<intptr_t>(sizeof(double))) & 7);
    double* b = a + slot(m);

    // Gather: whole groups of consecutive sequences as pairs, anything else
    // lane by lane (missing lanes are zero and are never stored).
    if (job.src_lane == 1 && lanes == kLanes) {
        for (int64_t j = 0; j < m; ++j) {
            V re, im;
            load_pairs(job.src + 2 * (j * job.src_step + first), re, im);
            put(a, j, {re, im});
        }
    } else {
        for (int64_t i = 0; i < slot(m); ++i) a[i] = 0.0;
        for (int64_t l = 0; l < lanes; ++l) {
            const double* s = job.src + 2 * (first + l) * job.src_lane;
            for (int64_t j = 0; j < m; ++j) {
                a[slot(j) + l] = s[2 * j * job.src_step];
                a[slot(j) + 8 + l] = s[2 * j * job.src_step + 1];
            }
        }
    }

    double* y = run_plan(*job.plan, a, b);

    if (job.lane_roots != nullptr) {
        // Result k of sequence 8 g + l times w_n^(k 8 g) w_n^(k l), counted from first_sequence.
        const int64_t n = job.roots->n, step = (job.first_sequence + first) % n;
        int64_t e = 0;
        for (int64_t k = 0; k < m; ++k) {
            double gr, gi;
            two_level_root(*job.roots, e, &gr, &gi);
            const double* lane = job.lane_roots + 16 * k;
            const CV w = cmul({load(lane), load(lane + 8)}, splat(gr), splat(gi));
            put(y, k, cmul(get(y, k), w.re, w.im));
            e += step;
            if (e >= n) e -= n;
        }
    }

    if (job.dst_lane == 1 && lanes == kLanes) {
        for (int64_t j = 0; j < m; ++j) {
            const CV v = get(y, j);
            store_pairs(job.dst + 2 * (j * job.dst_step + first), v.re, v.im);
        }
    } else {
        for (int64_t l = 0; l < lanes; ++l) {
            double* d = job.dst + 2 * (first + l) * job.dst_lane;
            for (int64_t j = 0; j < m; ++j) {
                d[2 * j * job.dst_step] = y[slot(j) + l];
                d[2 * j * job.dst_step + 1] = y[slot(j) + 8 + l];
            }
        }
    }
}
