// SPDX-License-Identifier: GPL-3.0-or-later
// exp, log, log10 and pow, correctly rounded: special values first (C99
// Annex F), then the double-double cores of exp_log_core.h with the rounding
// test, and the accurate path for what the test rejects.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "elementary/accurate.h"
#include "elementary/elementary.h"
#include "elementary/exp_log_core.h"

namespace hostmath::elementary {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The largest double whose exponential is finite (just below log of the
// largest double); every larger one overflows, even rounded to nearest.
constexpr double kExpLargestFinite = 0x1.62e42fefa39efp+9;
// Below this (just above -1022 ln2) e^x may be subnormal, where rounding
// happens on a coarser grid than the core's result: the accurate path.
constexpr double kExpNormalFrom = -708.39;
// Below this e^x < 2^-1075, which rounds to +0.
constexpr double kExpZeroBelow = -745.2;

// log's and log10's bounds: the core's, and for log10 one more product
// in double-double (under 2^-103).
constexpr double kLogBound = kLogCoreError;
constexpr double kLog10Bound = kLogCoreError + 0x1p-100;

// Bounds on |y log x| beyond which x^y overflows or underflows to zero
// whatever the rounding error of the double estimate (relative 2^-51).
constexpr double kPowOverflowAbove = 709.79;
// Where y times the log's high part lies between kExpNormalFrom and this
// (just under log of the largest double), x^y is finite and normal: the
// rest of y log x, under 2^-16.6, cannot carry it past either end. Its
// exponential is then rounded and scaled through its exponent bits.
constexpr double kPowNormalBelow = 709.78;

}  // namespace

namespace {

// The second attempt, kept out of line: it runs about once in 10^4 calls.
[[gnu::noinline]] std::optional<double> exp_second(double x) {
    return scaled_if_sure(exp_core({x, 0.0}), kExpCoreError);
}

}  // namespace

std::optional<double> exp_fast(double x) {
    if (std::isnan(x)) return x + x;
    if (x > kExpLargestFinite) return kInfinity;
    if (x < kExpNormalFrom) {
        if (x < kExpZeroBelow) return 0.0;
        return std::nullopt;
    }
    if (auto v = scaled_if_sure(exp_quick({x, 0.0}), kExpQuickError)) return v;
    return exp_second(x);
}

namespace {

// log and log10 of what is not positive and finite, and of 1.
bool is_log_special(double x) { return !(x > 0 && x < kInfinity) || x == 1; }

double log_special(double x) {
    if (std::isnan(x)) return x + x;
    if (x == 0) return -kInfinity;
    if (x < 0) return kNaN;
    return x == 1 ? 0.0 : x;
}

constexpr DoubleDouble kLog10E = {tables::kLog10EHi, tables::kLog10ELo};

// The second attempts, kept out of line: they run about once in 10^4 calls
// and would only crowd the first ones.
[[gnu::noinline]] std::optional<double> log_second(double x) { return round_if_sure(log_core(x), kLogBound); }
[[gnu::noinline]] std::optional<double> log10_second(double x) {
    return round_if_sure(multiply(log_core(x), kLog10E), kLog10Bound);
}

}  // namespace

// The quick estimate first, then the double-double core.
std::optional<double> log_fast(double x) {
    if (is_log_special(x)) return log_special(x);
    const LogEstimate quick = log_estimate(x);
    if (auto v = round_if_sure_within(quick.v, quick.error)) return v;
    return log_second(x);
}

// log10(e) (under 2^-107 relative) times log x in double-double (under
// 2^-103 relative more).
std::optional<double> log10_fast(double x) {
    if (is_log_special(x)) return log_special(x);
    const LogEstimate quick = log_estimate(x);
    const DoubleDouble quick10 = multiply(quick.v, kLog10E);
    const double error = quick.error * 0.4343 + 0x1p-100 * std::fabs(quick10.hi);
    if (auto v = round_if_sure_within(quick10, error)) return v;
    return log10_second(x);
}

namespace {

bool is_integer(double y) { return std::floor(y) == y; }
// Odd integers are all below 2^53 in magnitude.
bool is_odd_integer(double y) { return is_integer(y) && std::fabs(y) < 0x1p53 && std::fmod(y, 2.0) != 0; }

// x^y where x or y is zero, infinite or NaN, or x is 1 or -1 and y
// infinite: Annex F's table. Nothing for finite nonzero x and y.
std::optional<double> pow_special(double x, double y) {
    if (y == 0 || x == 1) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return x + y;
    if (std::isinf(y)) {
        const double ax = std::fabs(x);
        if (ax == 1) return 1.0;
        return (ax < 1) == (y < 0) ? kInfinity : 0.0;
    }
    if (x == 0 || std::isinf(x)) {
        // 0^y and inf^y: 0 or inf by the sign of y (reversed for zero), with
        // the sign of x where y is an odd integer.
        const bool large = (x == 0) == (y < 0);
        const double magnitude = large ? kInfinity : 0.0;
        return is_odd_integer(y) && std::signbit(x) ? -magnitude : magnitude;
    }
    return std::nullopt;
}

// e^(y log x) for positive finite x != 1 and finite nonzero y, from log x
// known to within log_error: z = y log x in double-double errs by
// |y| log_error + 2^-100 |z|, which e^z turns into the same relative error,
// added to the exponential core's own (Core, to core_error).
// Nothing where the rounding is in doubt or the result may be subnormal.
template <Scaled (*Core)(DoubleDouble)>
std::optional<double> exp_of_product(DoubleDouble log_x, double log_error, double y, double core_error) {
    const double estimate = log_x.hi * y;
    if (estimate > kPowOverflowAbove) return kInfinity;
    if (estimate < kExpNormalFrom) {
        if (estimate < kExpZeroBelow) return 0.0;
        return std::nullopt;
    }
    // |y| < 2^63 here (|log x| >= 2^-53 for x != 1), so the product cannot
    // overflow its splitting.
    const DoubleDouble z = multiply(log_x, y);
    // Defensive: a product that is not a number would reach the reduction's
    // conversion to an integer; the accurate path decides instead.
    if (!std::isfinite(z.hi) || !std::isfinite(z.lo)) return std::nullopt;
    const double bound = core_error + (std::fabs(y) * log_error + 0x1p-100 * std::fabs(estimate)) * kSlack;
    return scaled_if_sure(Core(z), bound);
}

[[gnu::noinline]] std::optional<double> pow_second(double x, double y) {
    const DoubleDouble log_x = log_core(x);
    return exp_of_product<exp_core>(log_x, kLogCoreError * std::fabs(log_x.hi), y, kExpCoreError);
}

}  // namespace

// x^y = e^(y log x) for every x and y: the special values, negative x, then
// first with the quick logarithm and exponential and then with the
// double-double cores (log to 2^-79 relative, whose error stays under
// 2^-69.4 absolutely in z where |z| < 746).
[[gnu::noinline]] std::optional<double> pow_general(double x, double y) {
    if (auto special = pow_special(x, y)) return special;
    bool negate = false;
    if (x < 0) {
        if (!is_integer(y)) return kNaN;
        negate = is_odd_integer(y);
        x = -x;
        // (-1)^y: log x is 0 here, and a y beyond 2^996 would not survive
        // the splitting of the product y log x.
        if (x == 1) return negate ? -1.0 : 1.0;
    }
    const LogEstimate quick = log_quick(x);
    std::optional<double> v = exp_of_product<exp_quick>(quick.v, quick.error, y, kExpQuickError);
    if (!v) v = pow_second(x, y);
    if (v && negate) return -*v;
    return v;
}

// The bits of x from 1 - 2^-9 up to 1 + 2^-9: there log x is small, and
// the quick logarithm's error is relative to it rather than absolute.
constexpr uint64_t kNearOneFrom = std::bit_cast<uint64_t>(1.0 - 0x1p-9);
constexpr uint64_t kNearOneCount = std::bit_cast<uint64_t>(1.0 + 0x1p-9) - kNearOneFrom;

// The common case first: x positive, normal and not within 2^-9 of 1,
// 2^-64 <= |y| < 2^10 (no special value, log x finite and y log x far from
// overflowing the product), and e^(y log x) normal: tests on the bits of x
// and y, one on the product, one constant error bound, and the result
// scaled through its exponent bits. Everything else takes pow_general's
// way, and what the rounding test rejects the double-double cores'
// (pow_second).
std::optional<double> pow_fast(double x, double y) {
    const auto x_bits = std::bit_cast<uint64_t>(x);
    const auto y_exponent = (std::bit_cast<uint64_t>(y) >> 52) & 0x7ff;
    if ((x_bits >> 52) - 1 >= 0x7fe || y_exponent - (1023 - 64) >= 64 + 10 || x_bits - kNearOneFrom <= kNearOneCount)
        return pow_general(x, y);
    const PowProduct q = pow_product(reduce_for_log(x_bits, 0), y);
    if (!(q.p.hi > kExpNormalFrom && q.p.hi < kPowNormalBelow)) return pow_general(x, y);
    const Scaled e = pow_quick(q, y);
    if (auto v = round_if_sure(e.v, kPowQuickError)) return scale_normal(*v, e.scale);
    return pow_second(x, y);
}

double exp(double x) { return correctly_rounded<exp_fast, Accurate::kExp>(x); }
double log(double x) { return correctly_rounded<log_fast, Accurate::kLog>(x); }
double log10(double x) { return correctly_rounded<log10_fast, Accurate::kLog10>(x); }

double pow(double x, double y) {
    if (auto v = pow_fast(x, y)) return *v;
    return accurate_pow(x, y);
}

}  // namespace hostmath::elementary
