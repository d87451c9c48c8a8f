// SPDX-License-Identifier: GPL-3.0-or-later
// The mathematical functions that the library's copy of GSL calls beside
// the elementary functions, correctly rounded: hypot against MPFR's, and
// log1p, acosh and atanh on a table. On the library's objects linked into
// the test.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <random>

#include "elementary/hypot.h"
#include "tests/support.h"

namespace {

namespace el = hostmath::elementary;

// hypot(x, y) rounded once to nearest binary64, subnormals and overflow included.
double reference_hypot(double x, double y) {
    const mpfr_exp_t emin = mpfr_get_emin();
    const mpfr_exp_t emax = mpfr_get_emax();
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    MPFR_DECL_INIT(mx, 53);
    MPFR_DECL_INIT(my, 53);
    MPFR_DECL_INIT(r, 53);
    mpfr_set_d(mx, x, MPFR_RNDN);
    mpfr_set_d(my, y, MPFR_RNDN);
    const int ternary = mpfr_hypot(r, mx, my, MPFR_RNDN);
    mpfr_subnormalize(r, ternary, MPFR_RNDN);
    const double result = mpfr_get_d(r, MPFR_RNDN);
    mpfr_set_emin(emin);
    mpfr_set_emax(emax);
    return result;
}

// Counts the arguments whose result differs from the reference, and reports the first few.
class Mismatches {
public:
    void check(double x, double y) {
        const double got = el::hypot(x, y);
        const double want = reference_hypot(x, y);
        if (same_bits(got, want) || (std::isnan(got) && std::isnan(want))) return;
        if (++count_ <= 5) {
            ADD_FAILURE() << std::hexfloat << "hypot(" << x << ", " << y << ") = " << got << ", correctly rounded "
                          << want;
        }
    }
    int count() const { return count_; }

private:
    int count_ = 0;
};

// Any finite number, from random bits: the exponent field taken modulo its
// all-ones value.
double finite_from_bits(uint64_t bits) {
    const uint64_t exponent = ((bits >> 52) & 0x7ff) % 0x7ff;
    return std::bit_cast<double>((bits & ~(uint64_t{0x7ff} << 52)) | exponent << 52);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinNormal = std::numeric_limits<double>::min();
constexpr double kMinSubnormal = std::numeric_limits<double>::denorm_min();

TEST(Hypot, SpecialValues) {
    struct Case {
        double x, y, expected;
    };
    const Case cases[] = {
        {kInf, kNaN, kInf},     {kNaN, -kInf, kInf},    {kNaN, 1.0, kNaN},        {0.0, 0.0, 0.0},
        {-0.0, -0.0, 0.0},      {-3.0, 4.0, 5.0},       {0.0, -2.5, 2.5},         {kMax, kMax, kInf},
        {kMax, 1.0, kMax},      {0x1p1023, 0x1p1023, 0x1.6a09e667f3bcdp+1023},
        {kMinSubnormal, kMinSubnormal, kMinSubnormal}, {3 * kMinSubnormal, 4 * kMinSubnormal, 5 * kMinSubnormal},
        {kMinNormal, kMinNormal, 0x1.6a09e667f3bcdp-1022}, {1.0, 0x1p-27, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hexfloat << c.x << ", " << c.y);
        const double got = el::hypot(c.x, c.y);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(got));
        } else {
            EXPECT_TRUE(same_bits(got, c.expected)) << std::hexfloat << got;
            EXPECT_TRUE(same_bits(got, reference_hypot(c.x, c.y)));
        }
    }
}

// Random arguments over the whole range: pairs of any two finite numbers,
// and pairs whose exponents lie close, where both squares count.
TEST(Hypot, CorrectlyRoundedOnRandomArguments) {
    std::mt19937_64 random(20240611);
    Mismatches mismatches;
    for (int i = 0; i < 300000; ++i) {
        const double x = finite_from_bits(random());
        const double y = finite_from_bits(random());
        mismatches.check(x, y);
        if (x == 0) continue;
        int e = 0;
        const double significand = std::frexp(y, &e);
        mismatches.check(x, std::ldexp(significand, std::ilogb(x) + static_cast<int>(random() % 61) - 30));
    }
    EXPECT_EQ(mismatches.count(), 0);
}

// Arguments whose exact result lies at or next to a midpoint between two
// neighbouring numbers, where the fast path cannot decide and the exact
// decision must: scaled over the whole range, down to subnormal results.
//   Ties: Pythagorean triples a^2 + b^2 = c^2 with a, b below 2^53 and c an
//   odd number in [2^53, 2^54), halfway between two neighbours.
//   Near ties: b = a^2 + k for a below 2^26.5, where sqrt(b^2 + a^2) lies
//   about (k + 1/4) / (2b) from the midpoint b + 1/2.
TEST(Hypot, CorrectlyRoundedAtAndNearMidpoints) {
    std::mt19937_64 random(7);
    Mismatches mismatches;
    const unsigned long long before = el::hypot_exact_decisions();
    int ties = 0;
    const int scales[] = {0, -1074 + 60, -1074 + 2, -1074 - 53 + 10, 1023 - 53, 500, -700};
    while (ties < 2000) {
        const uint64_t q = (uint64_t{1} << 25) + random() % (uint64_t{1} << 25);
        const uint64_t p = static_cast<uint64_t>(static_cast<double>(q) * 2.414213562373095) + random() % 64;
        const uint64_t a = p * p - q * q, b = 2 * p * q, c = p * p + q * q;
        if (c % 2 == 0 || c < (uint64_t{1} << 53) || a >= (uint64_t{1} << 53) || b >= (uint64_t{1} << 53)) continue;
        ++ties;
        for (int s : scales) {
            mismatches.check(std::ldexp(static_cast<double>(a), s), std::ldexp(static_cast<double>(b), s));
        }
    }
    for (int i = 0; i < 10000; ++i) {
        const uint64_t a = (uint64_t{1} << 26) + random() % 30000000;
        for (int k = -3; k <= 3; ++k) {
            const double b = static_cast<double>(a * a) + k;
            for (int s : scales) mismatches.check(std::ldexp(static_cast<double>(a), s), std::ldexp(b, s));
        }
    }
    EXPECT_EQ(mismatches.count(), 0);
    // Nearly all of them need the exact decision; the count shows it was reached.
    EXPECT_GT(el::hypot_exact_decisions() - before, 300000u);
    std::cout << "exact decisions: " << el::hypot_exact_decisions() - before << '\n';
}

}  // namespace

extern "C" {
double hostmath_gsl_log1p(double x);
double hostmath_gsl_acosh(double x);
double hostmath_gsl_atanh(double x);
}

namespace {

// The three functions only GSL's unused complex functions call, with the
// results rounded once (MPFR's): special values, the tiny arguments that
// come back unchanged, and ordinary and far arguments.
TEST(GslUnreached, CorrectlyRoundedOnATable) {
    struct Case {
        double (*f)(double);
        const char* name;
        double x, expected;
    };
    const Case cases[] = {
        {hostmath_gsl_log1p, "log1p", -0.0, -0.0},
        {hostmath_gsl_log1p, "log1p", -1.0, -kInf},
        {hostmath_gsl_log1p, "log1p", -2.0, kNaN},
        {hostmath_gsl_log1p, "log1p", kMinSubnormal, kMinSubnormal},
        {hostmath_gsl_log1p, "log1p", 0x1p-999, 0x1p-999},
        {hostmath_gsl_log1p, "log1p", 0.5, 0x1.9f323ecbf984cp-2},
        {hostmath_gsl_log1p, "log1p", -0.75, -0x1.62e42fefa39efp+0},
        {hostmath_gsl_log1p, "log1p", kInf, kInf},
        {hostmath_gsl_atanh, "atanh", -0.0, -0.0},
        {hostmath_gsl_atanh, "atanh", 1.0, kInf},
        {hostmath_gsl_atanh, "atanh", 2.0, kNaN},
        {hostmath_gsl_atanh, "atanh", -kMinSubnormal, -kMinSubnormal},
        {hostmath_gsl_atanh, "atanh", 0.5, 0x1.193ea7aad030bp-1},
        {hostmath_gsl_atanh, "atanh", 0x1.fffffffffffffp-1, 0x1.2b708872320e2p+4},
        {hostmath_gsl_acosh, "acosh", 1.0, 0.0},
        {hostmath_gsl_acosh, "acosh", 0.5, kNaN},
        {hostmath_gsl_acosh, "acosh", 2.0, 0x1.5124271980435p+0},
        {hostmath_gsl_acosh, "acosh", 0x1.0000000000001p+0, 0x1.6a09e667f3bccp-26},
        {hostmath_gsl_acosh, "acosh", 1e300, 0x1.59bbfd8b83e44p+9},
        {hostmath_gsl_acosh, "acosh", kInf, kInf},
    };
    for (const Case& c : cases) {
        const double got = c.f(c.x);
        SCOPED_TRACE(testing::Message() << std::hexfloat << c.name << "(" << c.x << ") = " << got);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(got));
        } else {
            EXPECT_TRUE(same_bits(got, c.expected));
        }
    }
}

}  // namespace
