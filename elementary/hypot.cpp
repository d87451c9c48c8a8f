// SPDX-License-Identifier: GPL-3.0-or-later
#include "elementary/hypot.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

#include "elementary/double_double.h"

namespace hostmath::elementary {
namespace {

std::atomic<unsigned long long> g_exact_decisions{0};

// The biased exponent field of a positive number: 1 to 2046 for normal
// numbers, 0 for subnormal ones.
int exponent_field(double x) { return static_cast<int>(std::bit_cast<uint64_t>(x) >> 52); }

// 2^e for e in [-1022, 1023], the normal powers of two.
double power_of_two(int e) { return std::bit_cast<double>(static_cast<uint64_t>(e + 1023) << 52); }

// The sign of the exact sum of the terms. They are summed into a
// nonoverlapping expansion (Shewchuk's grow-expansion, zero components
// dropped), whose largest nonzero component outweighs all the others.
template <size_t N>
int exact_sign(const double (&terms)[N]) {
    double expansion[N];
    size_t size = 0;
    for (const double term : terms) {
        double carry = term;
        size_t kept = 0;
        for (size_t i = 0; i < size; ++i) {
            const DoubleDouble s = two_sum(carry, expansion[i]);
            carry = s.hi;
            if (s.lo != 0) expansion[kept++] = s.lo;
        }
        expansion[kept++] = carry;
        size = kept;
    }
    for (size_t i = size; i-- > 0;) {
        if (expansion[i] != 0) return expansion[i] > 0 ? 1 : -1;
    }
    return 0;
}

// The sign of (a^2 + b^2) - (c + d)^2, exactly; every product here is exact
// for the arguments given (no overflow, no underflow, d a power of two or
// an exact small value).
int sign_of_excess(DoubleDouble a2, DoubleDouble b2, double c, double d) {
    const DoubleDouble c2 = two_product(c, c);
    const double terms[] = {a2.hi, a2.lo, b2.hi, b2.lo, -c2.hi, -c2.lo, -2 * c * d, -d * d};
    return exact_sign(terms);
}

// sqrt(a^2 + b^2) for subnormal a >= b: both are whole multiples of 2^-1074
// below 2^-1022, so the result lies below 2^-1021, where binary64's spacing
// is 2^-1074 too. The result is the integer nearest sqrt(m^2 + n^2) for the
// multiples m and n (no ties: m^2 + n^2 is a whole number), times 2^-1074.
double hypot_of_subnormals(double a, double b) {
    const double m = std::ldexp(a, 1074);
    const double n = std::ldexp(b, 1074);
    const DoubleDouble m2 = two_product(m, m);
    const DoubleDouble n2 = two_product(n, n);
    double k = std::floor(std::sqrt(m2.hi + n2.hi));
    while (sign_of_excess(m2, n2, k, 0.5) > 0) k += 1;
    while (k > 0 && sign_of_excess(m2, n2, k, -0.5) < 0) k -= 1;
    return std::ldexp(k, -1074);
}

// The rounding of sqrt(a^2 + b^2) when it lies too close to the midpoint
// between h and its neighbour on the side of l to be decided from h + l:
// the square of the midpoint against the exact sum decides it, ties to even.
double decide_exactly(DoubleDouble a2, DoubleDouble b2, double h, double l) {
    g_exact_decisions.fetch_add(1, std::memory_order_relaxed);
    const double up = l > 0 ? 1 : -1;
    const double neighbour = std::nextafter(h, up * std::numeric_limits<double>::infinity());
    const double half_step = (neighbour - h) / 2;
    const int beyond = sign_of_excess(a2, b2, h, half_step) * static_cast<int>(up);
    if (beyond > 0) return neighbour;
    if (beyond < 0) return h;
    return (std::bit_cast<uint64_t>(h) & 1) == 0 ? h : neighbour;
}

// Relative error of h + l against sqrt(a^2 + b^2) in hypot's fast path, with
// room to spare. The double-double sum of the squares is within 3 * 2^-106
// of the exact sum (2^-105.4 after the square root); r0^2 is within
// 1.5 * 2^-52 of the sum, so dropping the Newton step's second-order term
// costs below 2^-106.8; the residual's two roundings cost 2^-104.4 and the
// division 2^-105.4: together below 2^-103. Sixteen times that is used, so
// that computing l -+ bound in binary64 cannot shrink the interval.
constexpr double kFastPathError = 0x1p-99;

}  // namespace

double hypot(double x, double y) {
    double a = std::fabs(x);
    double b = std::fabs(y);
    // An infinity wins over a NaN.
    if (std::isinf(a) || std::isinf(b)) return std::numeric_limits<double>::infinity();
    if (std::isnan(a) || std::isnan(b)) return a + b;
    if (a < b) std::swap(a, b);
    if (b == 0) return a;
    if (a < 0x1p-1022) return hypot_of_subnormals(a, b);

    // a lies in [2^(fa - 1023), 2^(fa - 1022)) and b below 2^(fb - 1022).
    const int fa = exponent_field(a);
    const int fb = exponent_field(b);
    // b < a * 2^-27: sqrt(a^2 + b^2) < a + a * 2^-55, less than a quarter of
    // a's spacing above it.
    if (fa - fb >= 28) return a;

    // Scaled by a power of two into [2, 4) exactly: b then lies above 2^-77,
    // so that the squares and their rounding errors are normal numbers.
    const double scale = power_of_two(1024 - fa);
    const double as = a * scale;
    const double bs = b * scale;
    const DoubleDouble a2 = two_product(as, as);
    const DoubleDouble b2 = two_product(bs, bs);
    const DoubleDouble sum = add(a2, b2);
    // One Newton step from the correctly rounded root of the leading part:
    // sum.hi - r0^2 is exact (Sterbenz), since r0^2 is within a relative
    // 2^-52 of sum.hi.
    const double r0 = std::sqrt(sum.hi);
    const DoubleDouble r02 = two_product(r0, r0);
    const double residual = ((sum.hi - r02.hi) - r02.lo) + sum.lo;
    const DoubleDouble root = fast_two_sum(r0, residual / (2 * r0));

    const double h = root.hi;
    const double l = root.lo;
    const double bound = h * kFastPathError;
    const double rounded =
        (h + (l - bound) == h && h + (l + bound) == h) ? h : decide_exactly(a2, b2, h, l);
    // Back in two exact steps (2^(fa - 1024) itself may be subnormal); the
    // second rounds only where the result overflows, as the unbounded
    // result does.
    return (rounded * 0.5) * power_of_two(fa - 1023);
}

unsigned long long hypot_exact_decisions() { return g_exact_decisions.load(std::memory_order_relaxed); }

}  // namespace hostmath::elementary
