// SPDX-License-Identifier: GPL-3.0-or-later
// The Fourier transform's plans and driver (kernels/fft.h): twiddle tables,
// the split into column and row passes, the convolution for lengths with a
// large prime factor, and the work shared across a team. Everything is made
// per call, in scratch memory the call owns.
#include "kernels/fft.h"

#include <cmath>
#include <new>

#include "elementary/double_double.h"
#include "elementary/elementary.h"
#include "kernels/allocation.h"
#include "kernels/fft_kernels.h"
#include "kernels/parallel.h"
#include "kernels/scratch.h"

namespace hostmath::dft {

using namespace fft_detail;

void exact_root(int64_t e, int64_t n, double* re, double* im) {
    // The angle 2 pi e / n is 2 pi a / (8 n) with a = 8 e; reflections,
    // exact in whole numbers, bring a into [0, n], an angle in [0, pi/4].
    int64_t a = 8 * e;
    bool negate_sine = false, negate_cosine = false, swap = false;
    if (a > 4 * n) {  // 2 pi - t
        a = 8 * n - a;
        negate_sine = true;
    }
    if (a > 2 * n) {  // pi - t
        a = 4 * n - a;
        negate_cosine = true;
    }
    if (a > n) {  // pi/2 - t
        a = 2 * n - a;
        swap = true;
    }
    if (a == n) {  // pi/4: both are sqrt(1/2) rounded to nearest
        *re = 0x1.6a09e667f3bcdp-1;
        *im = negate_sine ? *re : -*re;
        if (negate_cosine) *re = -*re;
        return;
    }
    // t = pi q with q = a / (4 n) as a double-double, then sin and cos of
    // t = hi + lo from those of hi: sin t = sin hi + cos hi lo, cos t = cos
    // hi - sin hi lo (lo is below half an ulp of hi).
    using elementary::DoubleDouble;
    const double num = static_cast<double>(a), den = static_cast<double>(4 * n);
    const double qh = num / den;
    const DoubleDouble p = elementary::two_product(qh, den);
    const double ql = ((num - p.hi) - p.lo) / den;
    constexpr DoubleDouble kPi{0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
    const DoubleDouble t = elementary::multiply(kPi, DoubleDouble{qh, ql});
    const double sh = elementary::sin(t.hi), ch = elementary::cos(t.hi);
    double s = sh + ch * t.lo, c = ch - sh * t.lo;
    if (swap) {
        const double x = s;
        s = c;
        c = x;
    }
    if (negate_cosine) c = -c;
    if (negate_sine) s = -s;
    *re = c;
    *im = -s;
}

namespace {

bool all_factors_at_most(int64_t n, int64_t largest) {
    for (int64_t p = 2; p <= largest && n > 1; ++p)
        while (n % p == 0) n /= p;
    return n == 1;
}

// The convolution's length: the smallest 2^k q >= n with an odd part q
// that makes few short stages of radix 3 and 5.
int64_t convolution_length(int64_t n) {
    constexpr int64_t kOddParts[] = {1, 3, 5, 9, 15, 25, 27, 45, 75, 125};
    int64_t best = 0;
    for (int64_t q : kOddParts) {
        int64_t m = q;
        while (m < n) m *= 2;
        if (best == 0 || m < best) best = m;
    }
    return best;
}

// The radices of m (all its prime factors at most kLargestRadix), in the
// order the stages take them: eights (with a four or two fours for what is
// left of the power of two), then the odd primes ascending.
int radices_of(int64_t m, int* radix) {
    int count = 0, twos = 0;
    while (m % 2 == 0) {
        m /= 2;
        ++twos;
    }
    if (twos == 1) {
        radix[count++] = 2;
    } else if (twos > 0) {
        int eights = twos / 3;
        if (twos % 3 == 1) --eights;
        for (int i = 0; i < eights; ++i) radix[count++] = 8;
        if (twos % 3 == 1) {
            radix[count++] = 4;
            radix[count++] = 4;
        } else if (twos % 3 == 2) {
            radix[count++] = 4;
        }
    }
    for (int64_t p = 3; m > 1; p += 2)
        while (m % p == 0) {
            m /= p;
            radix[count++] = static_cast<int>(p);
        }
    return count;
}

// A short transform's stages and their twiddles.
class ShortTables {
public:
    bool make(int64_t m) {
        int radix[kMaxStages];
        const int stages = radices_of(m, radix);
        int64_t doubles = 0, span = 1;
        for (int s = 0; s < stages; ++s) {
            doubles += 2 * (radix[s] - 1) * span + (radix[s] % 2 == 1 ? 2 * radix[s] : 0);
            span *= radix[s];
        }
        data_ = Scratch<double>(doubles);
        if (!data_.ok()) return false;
        plan_.m = m;
        plan_.stages = stages;
        double* next = data_.get();
        span = 1;
        for (int s = 0; s < stages; ++s) {
            const int r = radix[s];
            Stage& st = plan_.stage[s];
            st = {r, span, next, nullptr};
            for (int64_t jj = 0; jj < span; ++jj)
                for (int t = 1; t < r; ++t, next += 2) exact_root(jj * t, span * r, next, next + 1);
            if (r % 2 == 1) {
                st.roots = next;
                for (int t = 0; t < r; ++t, next += 2) exact_root(t, r, next, next + 1);
            }
            span *= r;
        }
        return true;
    }
    const ShortPlan& plan() const { return plan_; }

private:
    ShortPlan plan_;
    Scratch<double> data_;
};

// w_n^e for every e in [0, n) as the product of two exact roots.
class RootTables {
public:
    bool make(int64_t n) {
        int shift = 0;
        while ((int64_t{1} << shift) * (int64_t{1} << shift) < n) ++shift;
        const int64_t fine = int64_t{1} << shift, coarse = (n + fine - 1) / fine;
        data_ = Scratch<double>(2 * (fine + coarse));
        if (!data_.ok()) return false;
        double* f = data_.get();
        double* c = f + 2 * fine;
        for (int64_t r = 0; r < fine; ++r) exact_root(r % n, n, f + 2 * r, f + 2 * r + 1);
        for (int64_t q = 0; q < coarse; ++q) exact_root(q * fine, n, c + 2 * q, c + 2 * q + 1);
        roots_ = {c, f, shift, n};
        return true;
    }
    const TwoLevelRoots& roots() const { return roots_; }

private:
    Scratch<double> data_;
    TwoLevelRoots roots_{};
};

BatchKernel batch_kernel(MatmulKernel kernel) {
#if HOSTMATH_X86_64
    switch (kernel) {
        case MatmulKernel::kAvx512: return avx512_batch();
        case MatmulKernel::kAvx2: return avx2_batch();
        case MatmulKernel::kBaseline: break;
    }
#else
    (void)kernel;
#endif
    return baseline_batch();
}

// Points per piece of an element-wise loop shared across the team.
constexpr int64_t kElementGrain = 4096;

// A length whose prime factors are all at most kLargestRadix: n2 column
// transforms of length n1, the twiddles, n1 row transforms of length n2.
class SmoothTransform {
public:
    bool make(int64_t n, int parts) {
        n2_ = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
        while (n2_ * n2_ > n) --n2_;
        while ((n2_ + 1) * (n2_ + 1) <= n) ++n2_;
        while (n % n2_ != 0) --n2_;
        n1_ = n / n2_;
        if (!columns_.make(n1_)) return false;
        if (n2_ == 1) return make_work(parts);
        if (n2_ != n1_ && !rows_.make(n2_)) return false;
        if (!roots_.make(n)) return false;
        lane_roots_ = Scratch<double>(2 * kLanes * n1_);
        if (!lane_roots_.ok()) return false;
        for (int64_t k = 0; k < n1_; ++k)
            for (int l = 0; l < kLanes; ++l) {
                double* w = lane_roots_.get() + 2 * kLanes * k;
                two_level_root(roots_.roots(), (k * l) % n, w + l, w + kLanes + l);
            }
        between_ = Scratch<double>(2 * n);
        if (!between_.ok()) return false;
        return make_work(parts);
    }

    // In place on n pairs.
    void run(BatchKernel kernel, double* data, parallel::Team& team) {
        if (n2_ == 1) {
            const BatchJob job{&columns_.plan(), data, 1, 1, data, 1, 1, 1, nullptr, nullptr, 0};
            kernel(job, 0, work_.get());
            return;
        }
        const ShortPlan& rows = n2_ == n1_ ? columns_.plan() : rows_.plan();
        double* y = between_.get();
        const int64_t n1 = n1_, n2 = n2_, per_part = per_part_;
        double* work = work_.get();
        // Columns: a panel of kPanel columns is copied into the part's
        // staging area row by row, transformed there in place, multiplied
        // by the twiddles and copied out to y: whole runs of kPanel pairs
        // instead of one group of lanes per row of the array.
        team.for_numbered_ranges(0, (n2 + kPanel - 1) / kPanel, 1, [&](int part, int64_t lo, int64_t hi) {
            double* stage = work + per_part * part;
            double* batch = stage + 2 * kPanel * n1;
            for (int64_t p = lo; p < hi; ++p) {
                const int64_t first = p * kPanel, width = n2 - first < kPanel ? n2 - first : kPanel;
                for (int64_t j = 0; j < n1; ++j) copy_pairs(data + 2 * (j * n2 + first), stage + 2 * kPanel * j, width);
                const BatchJob job{&columns_.plan(), stage, kPanel, 1, stage, kPanel, 1, width,
                                   lane_roots_.get(), &roots_.roots(), first};
                for (int64_t g = 0; g * kLanes < width; ++g) kernel(job, g, batch);
                for (int64_t j = 0; j < n1; ++j) copy_pairs(stage + 2 * kPanel * j, y + 2 * (j * n2 + first), width);
            }
        });
        // Rows: kPanel rows at a time, their results staged as kPanel
        // consecutive pairs per output row and copied out.
        team.for_numbered_ranges(0, (n1 + kPanel - 1) / kPanel, 1, [&](int part, int64_t lo, int64_t hi) {
            double* stage = work + per_part * part;
            double* batch = stage + 2 * kPanel * n2;
            for (int64_t p = lo; p < hi; ++p) {
                const int64_t first = p * kPanel, width = n1 - first < kPanel ? n1 - first : kPanel;
                const BatchJob job{&rows, y + 2 * first * n2, 1, n2, stage, kPanel, 1, width, nullptr, nullptr, 0};
                for (int64_t g = 0; g * kLanes < width; ++g) kernel(job, g, batch);
                for (int64_t k = 0; k < n2; ++k) copy_pairs(stage + 2 * kPanel * k, data + 2 * (k * n1 + first), width);
            }
        });
    }

private:
    // Sequences staged together: four groups of lanes.
    static constexpr int64_t kPanel = 4 * kLanes;

    static void copy_pairs(const double* from, double* to, int64_t pairs) {
        for (int64_t i = 0; i < 2 * pairs; ++i) to[i] = from[i];
    }

    bool make_work(int parts) {
        const int64_t longest = n1_ > n2_ ? n1_ : n2_;
        per_part_ = 2 * kPanel * longest + batch_work_doubles(longest);
        work_ = Scratch<double>(per_part_ * parts);
        return work_.ok();
    }

    int64_t n1_ = 1, n2_ = 1, per_part_ = 0;
    ShortTables columns_, rows_;
    RootTables roots_;
    Scratch<double> lane_roots_, between_, work_;
};

// Any other length n by Bluestein's convolution: with c_k = w_2n^(k^2),
// X_k = c_k sum_j (x_j c_j) conj(c_(k-j)), a cyclic convolution of length
// M >= 2n - 1 done by transforms of length M; the filter carries 1/M.
class ConvolutionTransform {
public:
    bool make(int64_t n, int parts) {
        n_ = n;
        m_ = convolution_length(2 * n - 1);
        if (!chirp_.make(2 * n) || !inner_.make(m_, parts)) return false;
        signal_ = Scratch<double>(2 * m_);
        filter_ = Scratch<double>(2 * m_);
        return signal_.ok() && filter_.ok();
    }

    void run(BatchKernel kernel, double* data, parallel::Team& team) {
        double* a = signal_.get();
        double* b = filter_.get();
        const int64_t n = n_, m = m_;
        const double scale = static_cast<double>(m);
        // Zeros where neither the signal nor the filter has a value: a from
        // n on, b from n to m - n.
        team.for_ranges(n, m, kElementGrain, [&](int64_t lo, int64_t hi) {
            for (int64_t k = lo; k < hi; ++k) {
                a[2 * k] = a[2 * k + 1] = 0.0;
                if (k <= m - n) b[2 * k] = b[2 * k + 1] = 0.0;
            }
        });
        // b(k) and b(m - k) for 0 < k < n are the same value, written by
        // the piece that owns k.
        team.for_ranges(0, n, kElementGrain, [&](int64_t lo, int64_t hi) {
            for (int64_t k = lo, e = square_index(lo); k < hi; e = next_square_index(e, k), ++k) {
                double cr, ci;
                two_level_root(chirp_.roots(), e, &cr, &ci);
                const double xr = data[2 * k], xi = data[2 * k + 1];
                a[2 * k] = xr * cr - xi * ci;
                a[2 * k + 1] = xr * ci + xi * cr;
                const double fr = cr / scale, fi = -ci / scale;
                b[2 * k] = fr;
                b[2 * k + 1] = fi;
                if (k > 0) {
                    b[2 * (m - k)] = fr;
                    b[2 * (m - k) + 1] = fi;
                }
            }
        });
        inner_.run(kernel, a, team);
        inner_.run(kernel, b, team);
        // The inverse transform of the product as the conjugate of the
        // forward transform of its conjugate.
        team.for_ranges(0, m, kElementGrain, [&](int64_t lo, int64_t hi) {
            for (int64_t k = lo; k < hi; ++k) {
                const double ar = a[2 * k], ai = a[2 * k + 1], br = b[2 * k], bi = b[2 * k + 1];
                a[2 * k] = ar * br - ai * bi;
                a[2 * k + 1] = -(ar * bi + ai * br);
            }
        });
        inner_.run(kernel, a, team);
        team.for_ranges(0, n, kElementGrain, [&](int64_t lo, int64_t hi) {
            for (int64_t k = lo, e = square_index(lo); k < hi; e = next_square_index(e, k), ++k) {
                double cr, ci;
                two_level_root(chirp_.roots(), e, &cr, &ci);
                const double yr = a[2 * k], yi = -a[2 * k + 1];
                data[2 * k] = yr * cr - yi * ci;
                data[2 * k + 1] = yr * ci + yi * cr;
            }
        });
    }

private:
    // c_k = w_2n^e with e = k^2 mod 2n (k^2 fits 64 bits for any length an
    // array can have); from one k to the next, e grows by 2k + 1.
    int64_t square_index(int64_t k) const {
        return static_cast<int64_t>(static_cast<uint64_t>(k) * static_cast<uint64_t>(k) % static_cast<uint64_t>(2 * n_));
    }
    int64_t next_square_index(int64_t e, int64_t k) const {
        e += 2 * k + 1;
        while (e >= 2 * n_) e -= 2 * n_;
        return e;
    }

    int64_t n_ = 1, m_ = 1;
    RootTables chirp_;
    SmoothTransform inner_;
    Scratch<double> signal_, filter_;
};

void conjugate(double* data, int64_t n, parallel::Team& team) {
    team.for_ranges(0, n, kElementGrain, [&](int64_t lo, int64_t hi) {
        for (int64_t k = lo; k < hi; ++k) data[2 * k + 1] = -data[2 * k + 1];
    });
}

}  // namespace

struct Transform::Plan {
    bool smooth = true;
    SmoothTransform direct;
    ConvolutionTransform convolution;
};

Transform::Transform(int64_t n, int threads) : n_(n), threads_(threads < 1 ? 1 : threads) {
    if (n <= 1 || !allocation_permitted()) return;
    plan_.reset(new (std::nothrow) Plan);
    if (!plan_) return;
    plan_->smooth = all_factors_at_most(n, kLargestRadix);
    const bool made = plan_->smooth ? plan_->direct.make(n, threads_) : plan_->convolution.make(n, threads_);
    if (!made) plan_.reset();
}

Transform::~Transform() = default;

bool Transform::ok() const { return n_ <= 1 || plan_ != nullptr; }

void Transform::run_with(MatmulKernel kernel, double* data, bool inverse) {
    if (n_ <= 1 || !plan_) return;
    const int64_t n = n_;
    parallel::Team team(threads_);
    const BatchKernel batch = batch_kernel(kernel);
    if (inverse) conjugate(data, n, team);
    if (plan_->smooth) {
        plan_->direct.run(batch, data, team);
    } else {
        plan_->convolution.run(batch, data, team);
    }
    if (inverse) {
        const double scale = static_cast<double>(n);
        team.for_ranges(0, n, kElementGrain, [&](int64_t lo, int64_t hi) {
            for (int64_t k = lo; k < hi; ++k) {
                data[2 * k] = data[2 * k] / scale;
                data[2 * k + 1] = -data[2 * k + 1] / scale;
            }
        });
    }
}

void Transform::run(double* data, bool inverse) { run_with(best_kernel(), data, inverse); }

}  // namespace hostmath::dft
