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
    return with_sign(rounded(angle(single(std::signbit(x) ? -ax : ax), single(ay), ratio_of(ax, ay))), std::signbit(y));
}

}  // namespace

namespace fast {

std::optional<double> atan(double x) {
    const double ax = std::fabs(x);
    if (ax < kTiny) return x;
    if (std::isnan(x)) return x + x;
    if (ax > kHuge) return std::copysign(tables::kHalfPi.hi, x);
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
    const CosineSide side = cosine_side(ax);
    return with_sign(rounded(angle(side.root, single(ax), side.ratio)), x < 0.0);
}

std::optional<double> acos(double x) {
    if (!(std::fabs(x) <= 1.0)) return std::isnan(x) ? x + x : std::numeric_limits<double>::quiet_NaN();
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
