// SPDX-License-Identifier: GPL-3.0-or-later
// atan, atan2, asin and acos correctly rounded to nearest, all through one
// kernel: the angle of a point (x, y) with y >= 0, both double-doubles.
// With a = min(|x|, y) / max(|x|, y) in [0, 1] the angle is atan a, pi/2 -
// atan a, pi - atan a or pi/2 + atan a by octant; asin x is the angle of
// (sqrt(1 - x^2), |x|) and acos x that of (x, sqrt(1 - x^2)).
//
// atan a = atan c + atan u with c = i/128 the nearest table point and
// u = (a - c) / (1 + a c), |u| <= 2^-8, by a series to u^9. Relative error
// of atan a: the double evaluation of u^3 P(u^2) (4 ulps of u^2/3 <=
// 2^-68.4 relative) and the rounding of the low part (2^-70.6 relative,
// since atan c + atan u >= |u| for i > 0), with the quotients' 2^-98 and
// the table's 2^-107: below 2^-67.9, taken as 2^-65. Adding pi/2 or pi
// keeps it: the angle is then at least pi/4 >= atan a.
//
// That kernel is the second attempt. The first, division-free apart from
// atan's 1/x and asin's sqrt, evaluates f = atan or asin on [0, 1] or
// [0, 1/2] by its Taylor expansion around the nearest c = i/128 to degree 9
// (trig_tables.h's TaylorRow), with f(c) and the linear term exact pairs and
// the rest a polynomial in doubles; asin and acos above 1/2 go through
// asin x = pi/2 - 2 asin(sqrt((1 - x)/2)). Its bound is in `taylor_value`.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "elementary/accurate.h"
#include "elementary/elementary.h"
#include "elementary/trig_kernels.h"
#include "elementary/trig_tables.h"

namespace hostmath::elementary {
namespace {

namespace tables = trig_tables;

constexpr double kRelativeError = 0x1p-65;

// Below this atan x and asin x round to x: the next term of the series is
// under a quarter of an ulp.
constexpr double kTiny = 0x1p-27;
// Above this atan x rounds to pi/2: pi/2 - 1/x lies within a quarter of an
// ulp below pi/2, which is 0.276 ulp above its rounded value.
constexpr double kHuge = 0x1p55;

// Taylor coefficients of atan u = u (1 + u^2 P(u^2)); on |u| <= 2^-8 the
// dropped terms are below 2^-83 relative.
constexpr double kAtan3 = -0x1.5555555555555p-2;
constexpr double kAtan5 = 0x1.999999999999ap-3;
constexpr double kAtan7 = -0x1.2492492492492p-3;
constexpr double kAtan9 = 0x1.c71c71c71c71cp-4;
static_assert(kAtan3 == -1.0 / 3 && kAtan5 == 1.0 / 5 && kAtan7 == -1.0 / 7 && kAtan9 == 1.0 / 9);

constexpr double kQuarterPi = 0x1.921fb54442d18p-1;       // pi/4 rounded
constexpr double kThreeQuarterPi = 0x1.2d97c7f3321d2p+1;  // 3 pi/4 rounded

// atan(y / x) for 0 <= y <= x (1 + 2^-52), given `ratio`, y / x to a few
// ulps. With c = i/128 nearest the ratio,
// u = (y/x - c) / (1 + c y/x) = (y - c x) / (x + c y):
// one double-double division. c has 8 bits, so c x and c y are exact pairs.
DoubleDouble atan_of_ratio(DoubleDouble y, DoubleDouble x, double ratio) {
    const int i = static_cast<int>(ratio * 128.0 + 0.5);
    const double c = i * 0x1p-7;
    const DoubleDouble cx = two_product(c, x.hi);
    const DoubleDouble cy = two_product(c, y.hi);
    // y - c x cancels; its error stays below 2^-104 x, which is absolute
    // 2^-104 on u and relative 2^-96 on the angle (at least 2^-8 for i > 0).
    const DoubleDouble head = two_sum(y.hi, -cx.hi);
    const DoubleDouble numerator = two_sum(head.hi, ((head.lo - cx.lo) + y.lo) - c * x.lo);
    const DoubleDouble sum = two_sum(x.hi, cy.hi);
    const DoubleDouble denominator = fast_two_sum(sum.hi, ((sum.lo + cy.lo) + x.lo) + c * y.lo);
    const DoubleDouble u = divide(numerator, denominator);
    const double v = u.hi * u.hi;
    const double p = v * (kAtan3 + v * (kAtan5 + v * (kAtan7 + v * kAtan9)));
    const DoubleDouble t = tables::kAtanTable[i];
    const DoubleDouble s = two_sum(t.hi, u.hi);
    // atan(uh + ul) = atan uh + ul / (1 + uh^2).
    const double lo = ((t.lo + s.lo) + (u.lo - v * u.lo)) + u.hi * p;
    return fast_two_sum(s.hi, lo);
}

// ---- the first attempt ------------------------------------------------------

// Relative error of `taylor_value`, derived there, below 2^-63.7; the
// callers that scale it by at most 2 (pi/2 - 2 asin s near x = 1/2) use
// kFirstErrorDoubled.
constexpr double kFirstError = 0x1p-62;
constexpr double kFirstErrorDoubled = 0x1p-61;

// a with the 27 lowest bits of its significand cleared: 26 significant bits,
// and a - upper_half(a) is exact.
[[gnu::always_inline]] inline double upper_half(double a) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(a) & ~((uint64_t{1} << 27) - 1));
}

// f(ah + al) for 0 <= ah <= the table's last point and |al| <= 2^-52 ah, f
// the function of `rows`, as hi + lo with |f - hi - lo| <= 2^-63.7 f(ah).
//
// With c = i/128 nearest, h = ah - c is exact (Sterbenz for i >= 1, ah
// being within [c/2, 2c]) and |h| <= 2^-8. f(c + h) = T0 + T1 h + h^2 q(h)
// + f'(ah) al, q = T2 + .. + T9 h^7. T1 h is split as t1_head upper_half(h)
// (26 bits times 26 bits: exact) plus the small rest, and T0 + that product
// is an exact pair (fast_two_sum: |T1 h| <= 0.0045 < T0 for i >= 1, T0 = 0
// for i = 0). Relative to F = f(ah), with u = 2^-53 and rho = |h^2 q| / F
// <= 2^-14.5 (largest at i = 1; h^2 / 3 at i = 0):
// - h^2 q in doubles: the coefficients, the products and sums of the Estrin
//   scheme, h^2 and the last product, all attenuated by powers of h: below
//   7 u rho = 2^-64.7;
// - the four additions of the tail, each below u (rho + 2^-25): 2^-65.4;
// - the rounding of lo: u (2^-53 + rho) = 2^-67.4, and the same again in
//   `rounded`;
// - f'(ah) al taken as (T1 + 2 T2 h) al: |3 T3 h^2 al| <= 2^-67.8 F, since
//   ah f'(ah) <= 1.16 F for both functions on their ranges;
// - t1_rest h, t1_head (h - upper_half(h)), T0's pair, the truncation
//   (2^-76, trig_tables.h): each below 2^-76.
// In all below 2^-63.7 F, taken as 2^-62 (kFirstError) with |hi| for F.
[[gnu::always_inline]] inline DoubleDouble taylor_value(const tables::TaylorRow* rows, double ah, double al) {
    const int i = static_cast<int>(ah * 128.0 + 0.5);
    const tables::TaylorRow& row = rows[i];
    const double h = ah - i * 0x1p-7;
    const double head = upper_half(h);
    const double* t = row.t;
    const double z = h * h;
    const double q = ((t[0] + t[1] * h) + z * (t[2] + t[3] * h)) + (z * z) * ((t[4] + t[5] * h) + z * (t[6] + t[7] * h));
    const DoubleDouble s = fast_two_sum(row.t0_hi, row.t1_head * head);
    const double slope = (row.t1_head + 2.0 * t[0] * h) * al;
    const double tail = (((z * q + row.t1_rest * h) + row.t1_head * (h - head)) + row.t0_lo) + slope;
    return {s.hi, s.lo + tail};
}

// base + sign t as an unnormalised pair, for |t| <= |base| or base = 0: the
// first sum exact, the rest adding u |t.lo| at most.
[[gnu::always_inline]] inline DoubleDouble plus(DoubleDouble base, DoubleDouble t, double sign) {
    const DoubleDouble s = two_sum(base.hi, sign * t.hi);
    return {s.hi, (s.lo + base.lo) + sign * t.lo};
}

[[gnu::always_inline]] inline std::optional<double> first_rounded(DoubleDouble v, double relative_error) {
    return rounded({v, relative_error * std::fabs(v.hi)});
}

// atan |x| for 2^-27 <= |x| <= 2^55. Above 1 as pi/2 - atan(1/|x|), 1/|x|
// a pair: the remainder 1 - ah |x| is exact as two_product's pair less 1
// (Sterbenz). The angle is then at least pi/4 >= atan(1/|x|), which keeps
// the relative bound.
std::optional<double> atan_first(double ax) {
    if (ax <= 1.0) return first_rounded(taylor_value(tables::kAtanTaylor, ax, 0.0), kFirstError);
    const double ah = 1.0 / ax;
    const DoubleDouble p = two_product(ah, ax);
    const double al = -((p.hi - 1.0) + p.lo) * ah;
    return first_rounded(plus(tables::kHalfPi, taylor_value(tables::kAtanTaylor, ah, al), -1.0), kFirstError);
}

// The angle of (ax, ay) for ax, ay > 0 (x negative when `left`), the
// smaller at least 2^-800 of the larger, the larger in [2^-100, 2^990]:
// atan of the ratio a = min / max as a pair (the remainder min - ah max exact
// as for 1/x above, nothing underflowing), then t, pi/2 -+ t or pi - t by
// octant, each at least as large as t: the relative bound holds.
std::optional<double> atan2_first(double ay, double ax, bool left) {
    const bool steep = ay > ax;
    const double smaller = steep ? ax : ay, larger = steep ? ay : ax;
    const double ah = smaller / larger;
    const DoubleDouble p = two_product(ah, larger);
    const double al = ((smaller - p.hi) - p.lo) / larger;
    const DoubleDouble t = taylor_value(tables::kAtanTaylor, ah, al);
    constexpr DoubleDouble kZero{0.0, 0.0};
    if (steep) return first_rounded(plus(tables::kHalfPi, t, left ? 1.0 : -1.0), kFirstError);
    return first_rounded(plus(left ? tables::kPi : kZero, t, left ? -1.0 : 1.0), kFirstError);
}

// sqrt(z) as a pair, for 2^-54 <= z <= 1/4: the remainder z - sh^2 from
// two_product, its leading difference exact (Sterbenz).
[[gnu::always_inline]] inline DoubleDouble root(double z) {
    const double sh = std::sqrt(z);
    const DoubleDouble p = two_product(sh, sh);
    return {sh, ((z - p.hi) - p.lo) / (2.0 * sh)};
}

// 2 asin(sqrt((1 - ax)/2)) for 1/2 <= ax < 1: 1 - ax is exact (Sterbenz).
[[gnu::always_inline]] inline DoubleDouble twice_asin_of_root(double ax) {
    const DoubleDouble s = root(0.5 * (1.0 - ax));
    const DoubleDouble g = taylor_value(tables::kAsinTaylor, s.hi, s.lo);
    return {2.0 * g.hi, 2.0 * g.lo};
}

// asin |x| for 2^-27 <= |x| < 1. Above 1/2, pi/2 - 2 asin s with 2 asin s
// <= pi/3 and the result >= pi/6: the error at most doubles.
std::optional<double> asin_first(double ax) {
    if (ax < 0.5) return first_rounded(taylor_value(tables::kAsinTaylor, ax, 0.0), kFirstError);
    return first_rounded(plus(tables::kHalfPi, twice_asin_of_root(ax), -1.0), kFirstErrorDoubled);
}

// acos x for |x| < 1: pi/2 - asin x below 1/2 (asin x at most half the
// result), 2 asin s above, pi - 2 asin s below -1/2 (2 asin s at most half
// the result).
std::optional<double> acos_first(double x) {
    const double ax = std::fabs(x);
    const double sign = x < 0.0 ? -1.0 : 1.0;
    if (ax < 0.5) return first_rounded(plus(tables::kHalfPi, taylor_value(tables::kAsinTaylor, ax, 0.0), -sign), kFirstError);
    const DoubleDouble g = twice_asin_of_root(ax);
    if (x > 0.0) return first_rounded(g, kFirstError);
    return first_rounded(plus(tables::kPi, g, -1.0), kFirstError);
}

// base + t or base - t, for base 0 or |base| > 2 |t|.
DoubleDouble offset(DoubleDouble base, DoubleDouble t, bool subtract) {
    if (subtract) t = negate(t);
    const DoubleDouble s = two_sum(base.hi, t.hi);
    return fast_two_sum(s.hi, (s.lo + base.lo) + t.lo);
}

// The angle of (x, y) for y >= 0, not both zero, with min/max far from
// underflow and both far from overflow. `ratio` is min(|x|, y) / max(|x|, y)
// to a few ulps, which the caller finds with the division it has anyway.
Bounded angle(DoubleDouble x, DoubleDouble y, double ratio) {
    const bool left = x.hi < 0.0;
    const DoubleDouble ax = left ? negate(x) : x;
    const bool steep = y.hi > ax.hi;
    const DoubleDouble t = steep ? atan_of_ratio(ax, y, ratio) : atan_of_ratio(y, ax, ratio);
    constexpr DoubleDouble kZero{0.0, 0.0};
    const DoubleDouble v = steep ? offset(tables::kHalfPi, t, !left) : offset(left ? tables::kPi : kZero, t, left);
    return {v, kRelativeError * std::fabs(v.hi)};
}

// min(a, b) / max(a, b) for a, b >= 0, not both zero.
double ratio_of(double a, double b) { return a > b ? b / a : a / b; }

// sqrt(1 - x^2) for |x| <= 1 (1 - x^2 is exact as a pair), and the ratio
// of the smaller of |x| and the root to the larger. The root's correction
// step and the ratio share one division by the root.
struct CosineSide {
    DoubleDouble root;
    double ratio;
};

CosineSide cosine_side(double x) {
    const double ax = std::fabs(x);
    const DoubleDouble square = two_product(ax, ax);
    const DoubleDouble d0 = two_sum(1.0, -square.hi);
    const DoubleDouble d = fast_two_sum(d0.hi, d0.lo - square.lo);
    const double s = std::sqrt(d.hi);
    if (s == 0.0) return {{0.0, 0.0}, 0.0};
    const double inverse = 1.0 / s;
    const DoubleDouble p = two_product(s, s);
    const double rest = ((d.hi - p.hi) - p.lo) + d.lo;
    const DoubleDouble root = fast_two_sum(s, rest * (0.5 * inverse));
    return {root, ax > s ? s / ax : ax * inverse};
}

constexpr DoubleDouble single(double x) { return {x, 0.0}; }

std::optional<double> with_sign(std::optional<double> v, bool negative) {
    if (v && negative) return -*v;
    return v;
}

// atan2 for finite nonzero x and y: scaled together by a power of two
// (exact) so that the larger is in [2^-100, 2^990]; nothing when the smaller
// is then below 2^-800 of the larger (the angle near 0 may be subnormal).
std::optional<double> angle_of_finite(double y, double x) {
    double ax = std::fabs(x), ay = std::fabs(y);
    const double larger = ax > ay ? ax : ay;
    const double scale = larger > 0x1p990 ? 0x1p-600 : larger < 0x1p-100 ? 0x1p1000 : 1.0;
    ax *= scale;
    ay *= scale;
    const double smaller = ax > ay ? ay : ax;
    if (smaller < larger * scale * 0x1p-800) return std::nullopt;
    if (const std::optional<double> v = atan2_first(ay, ax, std::signbit(x))) return with_sign(v, std::signbit(y));
    return with_sign(rounded(angle(single(std::signbit(x) ? -ax : ax), single(ay), ratio_of(ax, ay))), std::signbit(y));
}

}  // namespace

namespace fast {

std::optional<double> atan(double x) {
    const double ax = std::fabs(x);
    if (ax < kTiny) return x;
    if (std::isnan(x)) return x + x;
    if (ax > kHuge) return std::copysign(tables::kHalfPi.hi, x);
    if (const std::optional<double> v = atan_first(ax)) return with_sign(v, x < 0.0);
    return with_sign(rounded(angle(single(1.0), single(ax), ax > 1.0 ? 1.0 / ax : ax)), x < 0.0);
}

std::optional<double> atan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return x + y;
    if (y == 0.0) return std::signbit(x) ? std::copysign(tables::kPi.hi, y) : y;
    if (std::isinf(y)) {
        const double v = std::isinf(x) ? (x > 0.0 ? kQuarterPi : kThreeQuarterPi) : tables::kHalfPi.hi;
        return std::copysign(v, y);
    }
    if (std::isinf(x)) return std::copysign(x > 0.0 ? 0.0 : tables::kPi.hi, y);
    if (x == 0.0) return std::copysign(tables::kHalfPi.hi, y);
    return angle_of_finite(y, x);
}

std::optional<double> asin(double x) {
    const double ax = std::fabs(x);
    if (ax < kTiny) return x;
    if (!(ax <= 1.0)) return std::isnan(x) ? x + x : std::numeric_limits<double>::quiet_NaN();
    if (ax < 1.0)
        if (const std::optional<double> v = asin_first(ax)) return with_sign(v, x < 0.0);
    const CosineSide side = cosine_side(ax);
    return with_sign(rounded(angle(side.root, single(ax), side.ratio)), x < 0.0);
}

std::optional<double> acos(double x) {
    if (!(std::fabs(x) <= 1.0)) return std::isnan(x) ? x + x : std::numeric_limits<double>::quiet_NaN();
    if (std::fabs(x) < 1.0)
        if (const std::optional<double> v = acos_first(x)) return v;
    const CosineSide side = cosine_side(x);
    return rounded(angle(single(x), side.root, side.ratio));
}

}  // namespace fast

double atan(double x) { return fast_or_accurate(fast::atan(x), Accurate::kAtan, x); }
double asin(double x) { return fast_or_accurate(fast::asin(x), Accurate::kAsin, x); }
double acos(double x) { return fast_or_accurate(fast::acos(x), Accurate::kAcos, x); }

double atan2(double y, double x) {
    if (const std::optional<double> v = fast::atan2(y, x)) return *v;
    return accurate_atan2(y, x);
}

}  // namespace hostmath::elementary
