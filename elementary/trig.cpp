// SPDX-License-Identifier: GPL-3.0-or-later
// sin, cos and tan correctly rounded to nearest.
//
// x = k pi/128 + r, |r| <= pi/256 (a little more from the rounding of k),
// by Cody-Waite reduction with pi/128 in three parts; k below 2^26, so the
// first product is exact and r is a double-double to about 2^-134 |k|.
// With j = k mod 256, sin(x) = sin(j pi/128 + r) = S_j cos r + C_j sin r
// from a table of S_j = sin(j pi/128) over the whole circle (C_j is
// S_(j+64)); cos x is sin of k + 64, tan x the quotient of the two.
//
// Error bounds (absolute, on the double-double before the rounding test):
// - S_j != 0: S_j and C_j are at least sin(pi/256) apart from the
//   combination, no cancellation; the largest terms are the error of the
//   double evaluation of r^3 P(r^2) (<= 2^-72.6), the product C_j sl and
//   the last addition of the low part (<= 2^-74.6 each) and the dropped
//   C_lo sl (<= 2^-75.6): in all below 2^-71.9, taken as 2^-70.
// - S_j = 0 (j = 0, 128): the value is +-sin r, whose error is relative: below 2^-65.5 |r|
//   (the double evaluation of r^3 P(r^2), relative r^2/6 * 4 ulps), taken
//   as 2^-64 |result|.
// - the reduction adds 2^-134 |k| (the three parts and their products),
//   and sin and cos have slope at most 1.
// Above |x| = 1.5 * 2^20 (k would pass 2^26) the functions take the
// accurate path wholesale.
#include <cmath>
#include <cstdint>

#include "elementary/accurate.h"
#include "elementary/elementary.h"
#include "elementary/trig_kernels.h"
#include "elementary/trig_tables.h"

namespace hostmath::elementary {
namespace {

namespace tables = trig_tables;

// Below this sin x and tan x round to x and cos x to 1: the next term of
// the series is under a quarter of an ulp.
constexpr double kTiny = 0x1p-27;
// Up to here |k| < 2^26, and k times the 27-bit first part of pi/128 is exact.
constexpr double kReductionLimit = 0x1.8p20;

constexpr double kEvaluationError = 0x1p-70;
constexpr double kRelativeError = 0x1p-64;
constexpr double kReductionErrorPerStep = 0x1p-134;

// Taylor coefficients of sin r = r (1 + r^2 P(r^2)) and
// cos r = 1 - r^2/2 + r^4 Q(r^2), each the reciprocal rounded to nearest;
// on |r| <= 0.0123 the dropped terms are below 2^-85 relative.
constexpr double kSin3 = -0x1.5555555555555p-3;
constexpr double kSin5 = 0x1.1111111111111p-7;
constexpr double kSin7 = -0x1.a01a01a01a01ap-13;
constexpr double kSin9 = 0x1.71de3a556c734p-19;
constexpr double kCos4 = 0x1.5555555555555p-5;
constexpr double kCos6 = -0x1.6c16c16c16c17p-10;
constexpr double kCos8 = 0x1.a01a01a01a01ap-16;
static_assert(kSin3 == -1.0 / 6 && kSin5 == 1.0 / 120 && kSin7 == -1.0 / 5040 && kSin9 == 1.0 / 362880);
static_assert(kCos4 == 1.0 / 24 && kCos6 == -1.0 / 720 && kCos8 == 1.0 / 40320);

struct Reduced {
    int64_t k;
    DoubleDouble r;
    double error;  // |r - (x - k pi/128)|
};

[[gnu::always_inline]] inline Reduced reduce(double x) {
    // Adding and removing 1.5 * 2^52 rounds to the nearest integer.
    constexpr double kRound = 0x1.8p52;
    const double k = (x * tables::k128OverPi + kRound) - kRound;
    const double head = x - k * tables::kPiOver128[0];  // exact: both multiples of ulp(x)
    const DoubleDouble middle = two_product(k, tables::kPiOver128[1]);
    const DoubleDouble s = two_sum(head, -middle.hi);
    const double tail = (s.lo - middle.lo) - k * tables::kPiOver128[2];
    return {static_cast<int64_t>(k), two_sum(s.hi, tail), std::fabs(k) * kReductionErrorPerStep};
}

// sin r = rh + sl and cos r = 1 + ch + cl, with sl and cl small.
struct SinCosOfR {
    double rh;
    double sl;
    double ch;
    double cl;
};

[[gnu::always_inline]] inline SinCosOfR sin_cos_of(DoubleDouble r) {
    const DoubleDouble square = two_product(r.hi, r.hi);
    const double z = square.hi;
    const double p = z * (kSin3 + z * (kSin5 + z * (kSin7 + z * kSin9)));
    // sin(rh + rl) = sin rh + rl cos rh to far below the bound.
    const double sl = r.hi * p + (r.lo - (0.5 * z) * r.lo);
    const double q = z * z * (kCos4 + z * (kCos6 + z * kCos8));
    const double cl = (-0.5 * square.lo - r.hi * r.lo) + q;
    return {r.hi, sl, -0.5 * square.hi, cl};
}

// sin(k pi/128 + r) = S_j cos r + C_j sin r, j = k mod 256, from the
// whole-circle table: no folding, no sign to apply, no branch on j.
[[gnu::always_inline]] inline Bounded sine_at(int64_t k, SinCosOfR p, double reduction_error) {
    const unsigned j = static_cast<unsigned>(static_cast<uint64_t>(k) & 255u);
    const DoubleDouble s = tables::kSinTable[j];
    const DoubleDouble c = tables::kSinTable[(j + 64) & 255u];
    // S (1 + ch + cl) + C (rh + sl), the three leading terms summed exactly.
    const DoubleDouble c_r = two_product(c.hi, p.rh);
    const DoubleDouble s_ch = two_product(s.hi, p.ch);
    const DoubleDouble first = two_sum(s.hi, c_r.hi);
    const DoubleDouble second = two_sum(first.hi, s_ch.hi);
    const double small = ((s.lo + s_ch.lo) + c_r.lo) + c.lo * p.rh + (s.hi * p.cl + s.lo * p.ch);
    const double lo = (small + (first.lo + second.lo)) + c.hi * p.sl;
    const DoubleDouble v = fast_two_sum(second.hi, lo);
    // S_j = 0 for j = 0 and 128: the value is +-sin r, its error relative.
    const double error = ((j & 127u) == 0 ? kRelativeError * std::fabs(v.hi) : kEvaluationError) + reduction_error;
    return {v, error};
}

// What the argument settles by itself: tiny (`tiny_result`), infinite or
// NaN (NaN), beyond the reduction's range (nothing: the accurate path);
// otherwise `evaluate` of the reduced argument and its sine and cosine.
template <class Evaluate>
std::optional<double> reduced_and_evaluated(double x, double tiny_result, Evaluate evaluate) {
    if (std::fabs(x) < kTiny) return tiny_result;
    if (!(std::fabs(x) < kReductionLimit)) {
        if (std::isfinite(x)) return std::nullopt;
        return x - x;
    }
    const Reduced red = reduce(x);
    return evaluate(red, sin_cos_of(red.r));
}

}  // namespace

namespace fast {

std::optional<double> sin(double x) {
    return reduced_and_evaluated(x, x, [](const Reduced& red, SinCosOfR p) { return rounded(sine_at(red.k, p, red.error)); });
}

std::optional<double> cos(double x) {
    return reduced_and_evaluated(x, 1.0, [](const Reduced& red, SinCosOfR p) { return rounded(sine_at(red.k + 64, p, red.error)); });
}

std::optional<double> tan(double x) {
    return reduced_and_evaluated(x, x, [](const Reduced& red, SinCosOfR p) {
        const Bounded n = sine_at(red.k, p, red.error);
        const Bounded d = sine_at(red.k + 64, p, red.error);
        const Quotient quotient = divide_keeping_inverse(n.value, d.value);
        const DoubleDouble t = quotient.value;
        // |n/d - n'/d'| <= (en + |t| ed) / |d| to first order; the factor
        // covers the rest and the rounding of 1/d.hi (2^-53), the last term
        // the quotient's own 2^-100. No second division.
        const double error = (n.error + std::fabs(t.hi) * d.error) * std::fabs(quotient.inverse) * (1.0 + 0x1p-20) +
                             0x1p-97 * std::fabs(t.hi);
        return rounded({t, error});
    });
}

}  // namespace fast

double sin(double x) { return fast_or_accurate(fast::sin(x), Accurate::kSin, x); }
double cos(double x) { return fast_or_accurate(fast::cos(x), Accurate::kCos, x); }
double tan(double x) { return fast_or_accurate(fast::tan(x), Accurate::kTan, x); }

}  // namespace hostmath::elementary
