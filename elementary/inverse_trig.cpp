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

// atan a for a in [0, 1 + 2^-52].
DoubleDouble atan_of_unit(DoubleDouble a) {
    const int i = static_cast<int>(a.hi * 128.0 + 0.5);
    const double c = i * 0x1p-7;
    // a.hi - c is exact (Sterbenz for i > 0), a.hi c exact as a pair.
    const DoubleDouble numerator = two_sum(a.hi - c, a.lo);
    const DoubleDouble ac = two_product(a.hi, c);
    const DoubleDouble one_ac = two_sum(1.0, ac.hi);
    const DoubleDouble denominator = fast_two_sum(one_ac.hi, (one_ac.lo + ac.lo) + a.lo * c);
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
// underflow and both far from overflow.
Bounded angle(DoubleDouble x, DoubleDouble y) {
    const bool left = x.hi < 0.0;
    const DoubleDouble ax = left ? negate(x) : x;
    const bool steep = y.hi > ax.hi;
    const DoubleDouble a = steep ? divide(ax, y) : divide(y, ax);
    const DoubleDouble t = atan_of_unit(a);
    constexpr DoubleDouble kZero{0.0, 0.0};
    DoubleDouble v;
    if (steep) {
        v = offset(tables::kHalfPi, t, !left);
    } else {
        v = offset(left ? tables::kPi : kZero, t, left);
    }
    return {v, kRelativeError * std::fabs(v.hi)};
}

// sqrt(1 - x^2) for |x| <= 1; 1 - x^2 is exact as a pair.
DoubleDouble cosine_side(double x) {
    const DoubleDouble square = two_product(x, x);
    const DoubleDouble d = two_sum(1.0, -square.hi);
    return square_root(fast_two_sum(d.hi, d.lo - square.lo));
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
    return with_sign(rounded(angle(single(std::signbit(x) ? -ax : ax), single(ay))), std::signbit(y));
}

}  // namespace

namespace fast {

std::optional<double> atan(double x) {
    const double ax = std::fabs(x);
    if (ax < kTiny) return x;
    if (std::isnan(x)) return x + x;
    if (ax > kHuge) return std::copysign(tables::kHalfPi.hi, x);
    return with_sign(rounded(angle(single(1.0), single(ax))), x < 0.0);
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
    return with_sign(rounded(angle(cosine_side(ax), single(ax))), x < 0.0);
}

std::optional<double> acos(double x) {
    if (!(std::fabs(x) <= 1.0)) return std::isnan(x) ? x + x : std::numeric_limits<double>::quiet_NaN();
    return rounded(angle(single(x), cosine_side(x)));
}

}  // namespace fast

double atan(double x) {
    if (const std::optional<double> v = fast::atan(x)) return *v;
    return accurately(Accurate::kAtan, x);
}

double atan2(double y, double x) {
    if (const std::optional<double> v = fast::atan2(y, x)) return *v;
    return accurate_atan2(y, x);
}

double asin(double x) {
    if (const std::optional<double> v = fast::asin(x)) return *v;
    return accurately(Accurate::kAsin, x);
}

double acos(double x) {
    if (const std::optional<double> v = fast::acos(x)) return *v;
    return accurately(Accurate::kAcos, x);
}

}  // namespace hostmath::elementary
