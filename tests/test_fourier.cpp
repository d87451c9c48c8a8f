// SPDX-License-Identifier: GPL-3.0-or-later
// The Fourier transforms: accuracy against a transform in extended
// precision for every length from 1 to 4096 and for long smooth and prime
// lengths, through the stand-in host; the same bits on every vector kernel
// and thread count; small exact cases.
#include <cmath>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "kernels/fft.h"
#include "tests/support.h"

namespace {

using Values = std::vector<double>;
using Wide = std::complex<long double>;
using FourierTest = LibraryTest;

// e^(-2 pi i e / n) in extended precision, the angle reduced exactly to a
// quarter turn q and an angle below pi/2 first.
Wide wide_root(uint64_t e, uint64_t n) {
    e %= n;
    const uint64_t q = 4 * e / n, rest = 4 * e - q * n;
    const long double t = 1.57079632679489661923132169163975144L * static_cast<long double>(rest) / static_cast<long double>(n);
    const long double c = std::cos(t), s = std::sin(t);
    const Wide turns[4] = {{c, -s}, {-s, -c}, {-c, s}, {s, c}};
    return turns[q];
}

// Without the checks for infinities of the library's complex product.
Wide times(const Wide& a, const Wide& b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// In place, radix 2, for a power of two.
void wide_radix2(std::vector<Wide>& x) {
    const size_t n = x.size();
    std::vector<Wide> roots(n / 2);
    for (size_t k = 0; k < n / 2; ++k) roots[k] = wide_root(k, n);
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1)
        for (size_t i = 0; i < n; i += len)
            for (size_t k = 0; k < len / 2; ++k) {
                const Wide a = x[i + k], b = times(x[i + k + len / 2], roots[k * (n / len)]);
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
}

// The forward transform in extended precision: radix 2, or Bluestein's
// convolution through radix 2 for any other length.
std::vector<Wide> wide_transform(const Values& pairs) {
    const size_t n = pairs.size() / 2;
    std::vector<Wide> x(n);
    for (size_t j = 0; j < n; ++j) x[j] = {pairs[2 * j], pairs[2 * j + 1]};
    if ((n & (n - 1)) == 0) {
        wide_radix2(x);
        return x;
    }
    size_t m = 1;
    while (m < 2 * n - 1) m <<= 1;
    std::vector<Wide> chirp(n), a(m), b(m);
    for (size_t k = 0; k < n; ++k) chirp[k] = wide_root((k * k) % (2 * n), 2 * n);
    for (size_t k = 0; k < n; ++k) {
        a[k] = times(x[k], chirp[k]);
        b[k] = std::conj(chirp[k]);
        if (k > 0) b[m - k] = b[k];
    }
    wide_radix2(a);
    wide_radix2(b);
    for (size_t k = 0; k < m; ++k) a[k] = std::conj(times(a[k], b[k]));
    wide_radix2(a);
    for (size_t k = 0; k < n; ++k) x[k] = times(std::conj(a[k]), chirp[k]) / static_cast<long double>(m);
    return x;
}

double rms(const Values& v) {
    long double s = 0;
    for (double x : v) s += static_cast<long double>(x) * x;
    return static_cast<double>(std::sqrt(s / static_cast<long double>(v.size())));
}

// The rms of got - want over the rms of `scale`, in units of 2^-53.
double relative_rms(const Values& got, const std::vector<Wide>& want, const Values& scale) {
    long double s = 0;
    for (size_t k = 0; k < want.size(); ++k) {
        const long double dr = got[2 * k] - want[k].real(), di = got[2 * k + 1] - want[k].imag();
        s += dr * dr + di * di;
    }
    const double err = static_cast<double>(std::sqrt(s / static_cast<long double>(scale.size())));
    return err / rms(scale) / 0x1p-53;
}

std::vector<Wide> widened(const Values& pairs) {
    std::vector<Wide> x(pairs.size() / 2);
    for (size_t j = 0; j < x.size(); ++j) x[j] = {pairs[2 * j], pairs[2 * j + 1]};
    return x;
}

// The accuracy of a good transform: 3 log2(n) units of 2^-53 of the input's rms.
double allowed(int64_t n) { return 3.0 * std::max(1.0, std::log2(static_cast<double>(n))); }

// fft against the extended-precision transform (the error over the
// input's rms scaled to the transform's, sqrt(n) larger), and ifft of fft
// against the input.
void check_accuracy(hostsim::Host& host, int64_t n, uint64_t seed) {
    SCOPED_TRACE("n = " + std::to_string(n));
    const Values x = random_values(2 * n, seed);
    const HostValue input = n == 1 ? host.array({1}, {x[0]}) : host.array({n, 2}, x);
    const Values pairs = n == 1 ? Values{x[0], 0.0} : x;
    const HostValue forward = host.call("math::fft", {input});
    const Values got = host.read(forward).values;
    ASSERT_EQ(got.size(), static_cast<size_t>(2 * n));
    Values scaled(pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) scaled[i] = pairs[i] * std::sqrt(static_cast<double>(n));
    EXPECT_LE(relative_rms(got, wide_transform(pairs), scaled), allowed(n));
    if (n > 1) {  // one row of two is no complex input
        const Values back = host.read(host.call("math::ifft", {forward})).values;
        EXPECT_LE(relative_rms(back, widened(pairs), pairs), allowed(n));
    }
    host.release(forward);
    host.release(input);
}

}  // namespace

TEST_F(FourierTest, EveryLengthUpTo4096IsAccurate) {
    for (int64_t n = 1; n <= 4096; ++n) check_accuracy(host, n, static_cast<uint64_t>(n));
    EXPECT_TRUE(host.errors().empty());
}

// Long smooth lengths, one with radix-61 stages, and a prime that
// quadratic methods would take minutes over.
TEST_F(FourierTest, LongLengthsAreAccurate) {
    for (int64_t n : {int64_t{1} << 20, int64_t{3} << 18, int64_t{61} * 61 * 64, int64_t{1000003}})
        check_accuracy(host, n, 7);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(FourierTest, SmallExactCases) {
    // A column vector of reals, one real (its transform is itself), and an
    // impulse at 1 of length 8 (the eighth roots of unity).
    EXPECT_EQ(host.read(host.call("math::fft", {host.array({2, 1}, {1, 2})})).values, (Values{3, 0, -1, 0}));
    EXPECT_EQ(host.read(host.call("math::fft", {host.array({1}, {5})})).values, (Values{5, 0}));
    EXPECT_EQ(host.read(host.call("math::ifft", {host.array({4}, {4, 0, 0, 0})})).values, (Values{1, 0, 1, 0, 1, 0, 1, 0}));
    const Values root8 = host.read(host.call("math::fft", {host.array({8}, {0, 1, 0, 0, 0, 0, 0, 0})})).values;
    const double h = 0x1.6a09e667f3bcdp-1;
    const Values want8{1, 0, h, -h, 0, -1, -h, -h, -1, 0, -h, h, 0, 1, h, h};
    for (size_t i = 0; i < want8.size(); ++i) EXPECT_TRUE(same_bits(root8[i], want8[i])) << i << ": " << std::hexfloat << root8[i];
    EXPECT_TRUE(host.errors().empty());
}

// Lengths through every path: one short transform, four-step with whole and
// partial groups of lanes, radices 8, 4, 2, 3, 5, 7 and a generic odd one,
// and the convolution.
TEST(FourierKernels, SameBitsOnEveryKernelAndThreadCount) {
    for (int64_t n : {int64_t{7}, int64_t{60}, int64_t{1000}, int64_t{3} * 5 * 7 * 11 * 13 * 8, int64_t{59} * 61 * 3,
                      int64_t{1} << 16, int64_t{4099}, int64_t{2} * 100003}) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Values x = random_values(2 * n, 3);
        for (bool inverse : {false, true}) {
            Values first = x;
            hostmath::dft::Transform plan(n, 1);
            ASSERT_TRUE(plan.ok());
            plan.run_with(hostmath::MatmulKernel::kBaseline, first.data(), inverse);
            for (hostmath::MatmulKernel kernel : hostmath::kAllMatmulKernels) {
                if (!hostmath::kernel_supported(kernel)) continue;
                for (int threads : {1, 2, 3, 8}) {
                    Values got = x;
                    hostmath::dft::Transform t(n, threads);
                    ASSERT_TRUE(t.ok());
                    t.run_with(kernel, got.data(), inverse);
                    size_t differing = 0;
                    for (size_t i = 0; i < got.size(); ++i) differing += !same_bits(got[i], first[i]);
                    EXPECT_EQ(differing, 0u) << hostmath::kernel_name(kernel) << ", " << threads << " threads";
                }
            }
        }
    }
}

// Each twiddle within about an ulp of e^(-2 pi i e/n) and exactly symmetric.
TEST(FourierKernels, ExactRootsAreWithinAnUlp) {
    for (int64_t n : {int64_t{3}, int64_t{8}, int64_t{1000}, int64_t{1000003}, int64_t{1} << 40}) {
        for (int64_t e : {int64_t{0}, int64_t{1}, n / 8, n / 3, n / 2, n - 1, (n * 5) / 7}) {
            double re, im;
            hostmath::dft::exact_root(e, n, &re, &im);
            const Wide want = wide_root(static_cast<uint64_t>(e), static_cast<uint64_t>(n));
            EXPECT_LE(std::fabs(re - static_cast<double>(want.real())), 0x1p-53) << n << " " << e;
            EXPECT_LE(std::fabs(im - static_cast<double>(want.imag())), 0x1p-53) << n << " " << e;
        }
    }
}
