// SPDX-License-Identifier: GPL-3.0-or-later
// sinh, cosh and tanh, correctly rounded, from the exponential core:
// (e^a - e^-a)/2, (e^a + e^-a)/2 and their quotient for a = |x| in the
// middle range, e^a/2 alone where e^-a no longer counts, and Taylor's series
// of sinh near 0, where e^a - e^-a would cancel.
#include <cmath>
#include <limits>
#include <optional>

#include "elementary/accurate.h"
#include "elementary/elementary.h"
#include "elementary/exp_log_core.h"

namespace hostmath::elementary {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Below these sinh x and tanh x round to x (x^2/6 and x^2/3 stay under
// 2^-54 of x) and cosh x to 1 (x^2/2 < 2^-53).
constexpr double kSinhIsX = 0x1p-26;
constexpr double kTanhIsX = 0x1p-27;
constexpr double kCoshIsOne = 0x1p-26;
// Below this the series, above it e^a - e^-a: coth(1/8) < 8.03, so the
// difference loses at most 3 bits.
constexpr double kSeriesBelow = 0.125;
// Beyond this e^-a < 2^-72 e^a: sinh and cosh are e^a/2 to that error.
constexpr double kOneSidedFrom = 25.0;
// Beyond this sinh and cosh overflow (their threshold is 710.4758...).
constexpr double kHyperbolicOverflowAbove = 711.0;
// Beyond this 1 - tanh x < 2 e^-38.2 < 2^-54: tanh rounds to 1.
constexpr double kTanhIsOneAbove = 19.1;
// From here tanh x = 1 - 2 / (e^2a + 1) with the quotient in double (see
// tanh_near_one), and between kTanhQuickFrom and here from the quick
// exponential.
constexpr double kTanhNearOneFrom = 7.0;
constexpr double kTanhQuickFrom = 1.0;

// Bounds, from the cores' and the steps' errors (see each computation).
constexpr double kSeriesError = 0x1p-68;
constexpr double kSinhMiddleBound = 0x1p-70;   // 8.03 * 2 kExpCoreError + sums
constexpr double kCoshMiddleBound = 0x1p-73;   // 2 kExpCoreError + sums
constexpr double kOneSidedBound = 0x1p-71;     // kExpCoreError + 2^-72
constexpr double kOneSidedQuickBound = kExpQuickError + 0x1p-72;
constexpr double kTanhSeriesBound = 0x1p-67;   // kSeriesError + 2 kExpCoreError + quotient
constexpr double kTanhMiddleBound = 0x1p-70;   // (e^2a - 1) / (e^2a + 1): 4.5 kExpCoreError + kExpCoreError + quotient
constexpr double kTanhQuickBound = 0x1p-66;    // the same from a >= 1: 1.16 kExpQuickError + kExpQuickError + quotient
constexpr double kTanhNearOneBound = 0x1p-69;  // see tanh_near_one

// sinh a for 0 <= a < 1/8: a + a^3 (1/6 + a^2 (1/120 + ... + a^8/13!)),
// the bracket's first coefficient in double-double. The series' tail after
// a^13 is under 2^-82 of the sum; the bracket's double part (under 2^-12.9)
// errs by 2^-65, which a^2 <= 2^-6 and 1/6 bring to 2^-71 of the result.
DoubleDouble sinh_series(double a) {
    using namespace tables;
    const DoubleDouble square = two_product(a, a);
    const double s = square.hi;
    const double t = s * (kInv120 + s * (kInv5040 + s * (kInv362880 + s * (kInv39916800 + s * kInv6227020800))));
    const DoubleDouble head = fast_two_sum(kInv6.hi, t);
    const DoubleDouble bracket = {head.hi, head.lo + kInv6.lo};
    const DoubleDouble cube = multiply(square, a);
    const DoubleDouble odd = multiply(cube, bracket);
    const DoubleDouble sum = fast_two_sum(a, odd.hi);
    return fast_two_sum(sum.hi, sum.lo + odd.lo);
}

DoubleDouble unscaled(Scaled e) {
    const double factor = power_of_two(e.scale);  // |scale| <= 64 where it is used
    return {e.v.hi * factor, e.v.lo * factor};
}

// e^a and e^-a, 0 <= a < kOneSidedFrom, each to kExpCoreError + 2^-100
// (the second as the quotient 1 / e^a).
struct Exponentials {
    DoubleDouble plus;
    DoubleDouble minus;
};
Exponentials exponentials(double a) {
    const DoubleDouble plus = unscaled(exp_core({a, 0.0}));
    return {plus, divide({1.0, 0.0}, plus)};
}

DoubleDouble negated(DoubleDouble v) { return {-v.hi, -v.lo}; }
DoubleDouble halved(DoubleDouble v) { return {0.5 * v.hi, 0.5 * v.lo}; }

// The second attempt of half_exponential, kept out of line: it runs about
// once in 10^4 calls.
[[gnu::noinline]] std::optional<double> half_exponential_second(double a) {
    return scaled_if_sure(exp_core({a, 0.0}), kOneSidedBound, -1);
}

// e^a / 2 rounded, for a >= kOneSidedFrom, overflow included.
std::optional<double> half_exponential(double a) {
    if (auto v = scaled_if_sure(exp_quick({a, 0.0}), kOneSidedQuickBound, -1)) return v;
    return half_exponential_second(a);
}

// (e^2a - 1) / (e^2a + 1) from the given core, for 1/8 <= a <= kTanhNearOneFrom.
// e^2a - 1 >= e^(1/4) - 1 loses at most e^(1/4) / (e^(1/4) - 1) < 4.5 in
// relative accuracy, and from a = 1 on e^2 / (e^2 - 1) < 1.16.
template <Scaled (*Core)(DoubleDouble)>
std::optional<double> tanh_by_quotient(double a, double bound) {
    const DoubleDouble twice = unscaled(Core({2 * a, 0.0}));  // |scale| <= 64
    return round_if_sure(divide(add(twice, -1.0), add(twice, 1.0)), bound);
}

[[gnu::noinline]] std::optional<double> tanh_second(double a) {
    return tanh_by_quotient<exp_core>(a, kTanhMiddleBound);
}

// tanh a = 1 - d, d = 2 / (e^2a + 1), for kTanhNearOneFrom <= a <= kTanhIsOneAbove:
// d from e^2a's high part (kExpQuickError + 2^-53 together), one sum and one
// quotient in double errs by under 2^-51.4 of d < 2 e^-14 < 2^-19.2, that
// is under 2^-70.6 of the result (> 1 - 2^-19.2); 1 - d is exact as a pair.
std::optional<double> tanh_near_one(double a) {
    const Scaled e = exp_quick({2 * a, 0.0});
    const double d = 2.0 / (e.v.hi * power_of_two(e.scale) + 1.0);
    return round_if_sure(fast_two_sum(1.0, -d), kTanhNearOneBound);
}

std::optional<double> with_sign_of(std::optional<double> v, double x) {
    if (v && std::signbit(x)) return -*v;
    return v;
}

}  // namespace

std::optional<double> sinh_fast(double x) {
    const double a = std::fabs(x);
    if (std::isnan(x) || a < kSinhIsX) return x;
    if (a > kHyperbolicOverflowAbove) return std::copysign(kInfinity, x);
    if (a < kSeriesBelow) return with_sign_of(round_if_sure(sinh_series(a), kSeriesError), x);
    if (a >= kOneSidedFrom) return with_sign_of(half_exponential(a), x);
    const Exponentials e = exponentials(a);
    return with_sign_of(round_if_sure(halved(add(e.plus, negated(e.minus))), kSinhMiddleBound), x);
}

std::optional<double> cosh_fast(double x) {
    const double a = std::fabs(x);
    if (std::isnan(x)) return x + x;
    if (a < kCoshIsOne) return 1.0;
    if (a > kHyperbolicOverflowAbove) return kInfinity;
    if (a >= kOneSidedFrom) return half_exponential(a);
    const Exponentials e = exponentials(a);
    return round_if_sure(halved(add(e.plus, e.minus)), kCoshMiddleBound);
}

std::optional<double> tanh_fast(double x) {
    const double a = std::fabs(x);
    if (std::isnan(x) || a < kTanhIsX) return x;
    if (a > kTanhIsOneAbove) return std::copysign(1.0, x);
    if (a < kSeriesBelow) {
        const Exponentials e = exponentials(a);
        const DoubleDouble sinh = sinh_series(a);
        return with_sign_of(round_if_sure(divide({2 * sinh.hi, 2 * sinh.lo}, add(e.plus, e.minus)), kTanhSeriesBound),
                            x);
    }
    if (a >= kTanhNearOneFrom) {
        if (auto v = tanh_near_one(a)) return with_sign_of(v, x);
    } else if (a >= kTanhQuickFrom) {
        if (auto v = tanh_by_quotient<exp_quick>(a, kTanhQuickBound)) return with_sign_of(v, x);
    }
    return with_sign_of(tanh_second(a), x);
}

double sinh(double x) { return correctly_rounded<sinh_fast, Accurate::kSinh>(x); }
double cosh(double x) { return correctly_rounded<cosh_fast, Accurate::kCosh>(x); }
double tanh(double x) { return correctly_rounded<tanh_fast, Accurate::kTanh>(x); }

}  // namespace hostmath::elementary
