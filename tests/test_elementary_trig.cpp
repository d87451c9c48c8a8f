// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded sin, cos, tan, asin, acos, atan and atan2 against
// MPFR (the accurate path rounds MPFR's value once to binary64): random
// arguments over the whole range, arguments whose value lies nearest a
// rounding boundary, arguments next to multiples of pi/2, and special
// values. Every result must be the correctly rounded one, bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <mpfr.h>

#include "elementary/accurate.h"
#include "elementary/elementary.h"
#include "elementary/trig_kernels.h"
#include "elementary/trig_tables.h"

namespace {

namespace el = hostmath::elementary;
using el::Accurate;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMin = std::numeric_limits<double>::min();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kDenormMin = std::numeric_limits<double>::denorm_min();

// Equal bits, or both NaN.
bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

std::string show(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

struct Unary {
    const char* name;
    double (*f)(double);
    std::optional<double> (*fast)(double);
    Accurate reference;
};

constexpr Unary kUnary[] = {
    {"sin", el::sin, el::fast::sin, Accurate::kSin},    {"cos", el::cos, el::fast::cos, Accurate::kCos},
    {"tan", el::tan, el::fast::tan, Accurate::kTan},    {"asin", el::asin, el::fast::asin, Accurate::kAsin},
    {"acos", el::acos, el::fast::acos, Accurate::kAcos}, {"atan", el::atan, el::fast::atan, Accurate::kAtan},
};

const Unary& unary(const std::string& name) {
    for (const Unary& u : kUnary)
        if (name == u.name) return u;
    throw std::invalid_argument(name);
}

// Arguments of a kind, drawn reproducibly.
class Draw {
public:
    explicit Draw(uint64_t seed) : engine_(seed) {}
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
    // m 2^e with e uniform in [lo, hi], m in [1, 2), either sign.
    double spread(int lo, int hi) {
        const int e = std::uniform_int_distribution<int>(lo, hi)(engine_);
        return std::copysign(std::ldexp(uniform(1.0, 2.0), e), sign());
    }
    // Any finite double: random bits, NaNs and infinities redrawn.
    double any() {
        for (;;) {
            const double v = std::bit_cast<double>(engine_());
            if (std::isfinite(v)) return v;
        }
    }
    double sign() { return engine_() & 1 ? -1.0 : 1.0; }
    bool coin() { return engine_() & 1; }

private:
    std::mt19937_64 engine_;
};

// Arguments per function and class; each class is a share of the draws.
double trig_argument(Draw& d, int n) {
    switch (n % 4) {
        case 0: return d.uniform(-100.0, 100.0);
        case 1: return d.spread(-30, 20);             // the reduction's whole range and below
        case 2: return d.uniform(-1.5e6, 1.5e6);
        default: return n % 64 == 3 ? d.any() : d.spread(-1074, 0);  // huge: the accurate path
    }
}
double unit_argument(Draw& d, int n) {
    switch (n % 3) {
        case 0: return d.uniform(-1.0, 1.0);
        case 1: return d.sign() * (1.0 - std::fabs(d.spread(-53, -1)));  // near +-1
        default: return d.spread(-1074, -1);
    }
}
double atan_argument(Draw& d, int n) { return n % 2 ? d.uniform(-10.0, 10.0) : d.any(); }

double argument_for(const std::string& name, Draw& d, int n) {
    if (name == "sin" || name == "cos" || name == "tan") return trig_argument(d, n);
    if (name == "atan") return atan_argument(d, n);
    return unit_argument(d, n);
}

constexpr int kDraws = 200000;

TEST(ElementaryTrig, RandomArgumentsRoundCorrectly) {
    for (const Unary& u : kUnary) {
        Draw draw(0x5eed + static_cast<uint64_t>(&u - kUnary));
        int wrong = 0, rejected = 0;
        for (int n = 0; n < kDraws; ++n) {
            const double x = argument_for(u.name, draw, n);
            const double expected = el::accurately(u.reference, x);
            const double got = u.f(x);
            if (!same(got, expected) && ++wrong <= 5)
                ADD_FAILURE() << u.name << "(" << show(x) << ") = " << show(got) << ", not " << show(expected);
            if (std::fabs(x) < 1.5e6 && !u.fast(x)) ++rejected;
        }
        EXPECT_EQ(wrong, 0) << u.name;
        std::printf("%s: the fast path gave up on %d of %d arguments\n", u.name, rejected, kDraws);
        EXPECT_LT(rejected, kDraws / 1000) << u.name;
    }
}

TEST(ElementaryTrig, RandomPairsRoundCorrectlyInAtan2) {
    Draw draw(0xa7a2);
    int wrong = 0, rejected = 0;
    for (int n = 0; n < kDraws; ++n) {
        const bool wide = n % 4 == 0;
        const double y = wide ? draw.any() : draw.spread(-60, 60);
        const double x = wide ? draw.any() : draw.spread(-60, 60);
        const double expected = el::accurate_atan2(y, x);
        const double got = el::atan2(y, x);
        if (!same(got, expected) && ++wrong <= 5)
            ADD_FAILURE() << "atan2(" << show(y) << ", " << show(x) << ") = " << show(got) << ", not " << show(expected);
        if (!wide && !el::fast::atan2(y, x)) ++rejected;
    }
    EXPECT_EQ(wrong, 0);
    std::printf("atan2: the fast path gave up on %d of %d pairs\n", rejected, kDraws * 3 / 4);
    EXPECT_LT(rejected, kDraws / 1000);
}

// Doubles nearest to k pi/2 and their neighbours: sin, cos or tan is tiny
// there and all its bits come from the argument reduction.
TEST(ElementaryTrig, ArgumentsNextToMultiplesOfHalfPi) {
    Draw draw(0x9012);
    MPFR_DECL_INIT(m, 200);
    int wrong = 0;
    for (int n = 0; n < 3000; ++n) {
        const long k = n < 1000 ? n + 1 : static_cast<long>(draw.uniform(1.0, 9.5e5));
        mpfr_const_pi(m, MPFR_RNDN);
        mpfr_mul_si(m, m, k, MPFR_RNDN);
        mpfr_div_2ui(m, m, 1, MPFR_RNDN);
        const double x = mpfr_get_d(m, MPFR_RNDN);
        for (const double a : {x, std::nextafter(x, 0.0), std::nextafter(x, kInf), -x}) {
            for (const Unary& u : {unary("sin"), unary("cos"), unary("tan")}) {
                const double expected = el::accurately(u.reference, a);
                if (!same(u.f(a), expected) && ++wrong <= 5)
                    ADD_FAILURE() << u.name << "(" << show(a) << ") = " << show(u.f(a)) << ", not " << show(expected);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

// Found by scripts/trig_hard_cases.cpp among 1.5 * 10^6 random arguments per
// function: the exact value lies within a few 10^-7 ulp of a midpoint, so
// the fast path must give up and the accurate path decide.
struct HardCase {
    const char* name;
    double y;  // the argument; atan2's first
    double x;  // atan2's second
};
constexpr HardCase kHardCases[] = {
#include "tests/elementary_trig_hard_cases.inc"
};

TEST(ElementaryTrig, HardestFoundCasesRoundCorrectly) {
    for (const HardCase& c : kHardCases) {
        const bool pair = std::string(c.name) == "atan2";
        const double expected = pair ? el::accurate_atan2(c.y, c.x) : el::accurately(unary(c.name).reference, c.y);
        const double got = pair ? el::atan2(c.y, c.x) : unary(c.name).f(c.y);
        EXPECT_TRUE(same(got, expected)) << c.name << "(" << show(c.y) << (pair ? ", " + show(c.x) : "") << ") = "
                                         << show(got) << ", not " << show(expected);
    }
    // The accurate path decided them all without the heap, within its bound.
    EXPECT_EQ(el::accurate_memory().heap_requests, 0u);
    EXPECT_LE(el::accurate_memory().most_bytes, el::kAccurateMemoryBound);
}

struct Special {
    const char* name;
    double x;
    double expected;
};

// pi and its fractions rounded to nearest.
constexpr double kPi = 0x1.921fb54442d18p+1, kHalfPi = 0x1.921fb54442d18p+0, kQuarterPi = 0x1.921fb54442d18p-1;

const Special kSpecials[] = {
    {"sin", 0.0, 0.0}, {"sin", -0.0, -0.0}, {"sin", kInf, kNaN}, {"sin", -kInf, kNaN}, {"sin", kNaN, kNaN},
    {"sin", kDenormMin, kDenormMin}, {"sin", -kMin, -kMin}, {"sin", 0x1p-27, 0x1p-27},
    {"sin", kMax, 0x1.452fc98b34e97p-8},
    {"cos", 0.0, 1.0}, {"cos", -0.0, 1.0}, {"cos", kInf, kNaN}, {"cos", kNaN, kNaN}, {"cos", kDenormMin, 1.0},
    {"cos", kMax, -0x1.fffe62ecfab75p-1},
    {"tan", 0.0, 0.0}, {"tan", -0.0, -0.0}, {"tan", kInf, kNaN}, {"tan", -kInf, kNaN}, {"tan", kNaN, kNaN},
    {"tan", -kDenormMin, -kDenormMin}, {"tan", kHalfPi, 0x1.d02967c31cdb5p+53},
    {"asin", 0.0, 0.0}, {"asin", -0.0, -0.0}, {"asin", 1.0, kHalfPi}, {"asin", -1.0, -kHalfPi},
    {"asin", 0x1.0000000000001p0, kNaN}, {"asin", -kInf, kNaN}, {"asin", kNaN, kNaN}, {"asin", -kDenormMin, -kDenormMin},
    {"asin", 0.5, 0x1.0c152382d7366p-1},
    {"acos", 1.0, 0.0}, {"acos", -1.0, kPi}, {"acos", 0.0, kHalfPi}, {"acos", -0.0, kHalfPi},
    {"acos", 0.5, 0x1.0c152382d7366p+0}, {"acos", -0x1.0000000000001p0, kNaN}, {"acos", kInf, kNaN},
    {"acos", kNaN, kNaN}, {"acos", kDenormMin, kHalfPi},
    {"atan", 0.0, 0.0}, {"atan", -0.0, -0.0}, {"atan", 1.0, kQuarterPi}, {"atan", -1.0, -kQuarterPi},
    {"atan", kInf, kHalfPi}, {"atan", -kInf, -kHalfPi}, {"atan", kNaN, kNaN}, {"atan", kMax, kHalfPi},
    {"atan", -kDenormMin, -kDenormMin}, {"atan", 0x1p55, kHalfPi},
};

TEST(ElementaryTrig, SpecialValues) {
    for (const Special& s : kSpecials) {
        const Unary& u = unary(s.name);
        EXPECT_TRUE(same(u.f(s.x), s.expected)) << s.name << "(" << show(s.x) << ") = " << show(u.f(s.x));
        EXPECT_TRUE(same(el::accurately(u.reference, s.x), s.expected)) << "reference " << s.name << "(" << show(s.x) << ")";
    }
}

struct Special2 {
    double y, x, expected;
};

// The signed zeros and infinities of each quadrant.
const Special2 kAtan2Specials[] = {
    {0.0, 1.0, 0.0},        {-0.0, 1.0, -0.0},         {0.0, 0.0, 0.0},          {-0.0, 0.0, -0.0},
    {0.0, -0.0, kPi},       {-0.0, -0.0, -kPi},        {0.0, -1.0, kPi},         {-0.0, -1.0, -kPi},
    {1.0, 0.0, kHalfPi},    {1.0, -0.0, kHalfPi},      {-1.0, 0.0, -kHalfPi},    {-1.0, -0.0, -kHalfPi},
    {kInf, 1.0, kHalfPi},   {-kInf, -1.0, -kHalfPi},   {kInf, kInf, kQuarterPi}, {-kInf, kInf, -kQuarterPi},
    {kInf, -kInf, 0x1.2d97c7f3321d2p+1},               {-kInf, -kInf, -0x1.2d97c7f3321d2p+1},
    {1.0, kInf, 0.0},       {-1.0, kInf, -0.0},        {1.0, -kInf, kPi},        {-1.0, -kInf, -kPi},
    {kNaN, 1.0, kNaN},      {1.0, kNaN, kNaN},         {kNaN, kInf, kNaN},
    {1.0, 1.0, kQuarterPi}, {-1.0, -1.0, -0x1.2d97c7f3321d2p+1},
    {kMax, kMax, kQuarterPi}, {kDenormMin, kDenormMin, kQuarterPi}, {kMax, kDenormMin, kHalfPi},
    {kDenormMin, kMax, 0.0},  {kDenormMin, -kMax, kPi},  {kMin, 2.0, 0x1p-1023},  {-kDenormMin, 0.5, -2 * kDenormMin},
};

TEST(ElementaryTrig, Atan2SpecialValuesAndQuadrants) {
    for (const Special2& s : kAtan2Specials) {
        EXPECT_TRUE(same(el::atan2(s.y, s.x), s.expected))
            << "atan2(" << show(s.y) << ", " << show(s.x) << ") = " << show(el::atan2(s.y, s.x));
        EXPECT_TRUE(same(el::accurate_atan2(s.y, s.x), s.expected)) << "reference atan2(" << show(s.y) << ", " << show(s.x) << ")";
    }
}

// The generated constants are the values MPFR rounds them to.
double nearest(const std::function<void(mpfr_t)>& value, double* lo = nullptr) {
    MPFR_DECL_INIT(v, 300);
    value(v);
    const double hi = mpfr_get_d(v, MPFR_RNDN);
    if (lo) {
        mpfr_sub_d(v, v, hi, MPFR_RNDN);
        *lo = mpfr_get_d(v, MPFR_RNDN);
    }
    return hi;
}

void expect_pair(const el::DoubleDouble& entry, const std::function<void(mpfr_t)>& value, const std::string& what) {
    double lo = 0.0;
    const double hi = nearest(value, &lo);
    EXPECT_TRUE(same(entry.hi, hi) && same(entry.lo, lo)) << what;
}

TEST(ElementaryTrig, TablesAreTheValuesRounded) {
    namespace t = el::trig_tables;
    auto pi_times = [](long k, int shift) {
        return [=](mpfr_t v) {
            mpfr_const_pi(v, MPFR_RNDN);
            mpfr_mul_si(v, v, k, MPFR_RNDN);
            mpfr_div_2si(v, v, shift, MPFR_RNDN);
        };
    };
    for (int j = 0; j <= 255; ++j)
        expect_pair(t::kSinTable[j], [&](mpfr_t v) { pi_times(j, 7)(v); mpfr_sin(v, v, MPFR_RNDN); }, "sin " + std::to_string(j));
    for (int i = 0; i <= 128; ++i)
        expect_pair(t::kAtanTable[i], [&](mpfr_t v) { mpfr_set_si_2exp(v, i, -7, MPFR_RNDN); mpfr_atan(v, v, MPFR_RNDN); },
                    "atan " + std::to_string(i));
    expect_pair(t::kHalfPi, pi_times(1, 1), "pi/2");
    expect_pair(t::kPi, pi_times(1, 0), "pi");
    EXPECT_TRUE(same(t::k128OverPi, nearest([](mpfr_t v) { mpfr_const_pi(v, MPFR_RNDN); mpfr_ui_div(v, 128, v, MPFR_RNDN); })));
    // The three parts of pi/128: the first of 27 bits, the sum within 2^-138 of pi/128.
    EXPECT_EQ(std::ldexp(t::kPiOver128[0], 32), std::trunc(std::ldexp(t::kPiOver128[0], 32)));
    MPFR_DECL_INIT(v, 300);
    pi_times(1, 7)(v);
    for (const double part : t::kPiOver128) mpfr_sub_d(v, v, part, MPFR_RNDN);
    EXPECT_LT(std::fabs(mpfr_get_d(v, MPFR_RNDN)), 0x1p-138);
}

// Each Taylor row, summed exactly in MPFR at points across its interval,
// agrees with the function there to far below the first attempt's 2^-62:
// the coefficients, their rounding and the dropped terms together.
TEST(ElementaryTrig, TaylorRowsMatchTheirFunction) {
    struct Table {
        const el::trig_tables::TaylorRow* rows;
        int last;
        int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    };
    const Table tables[] = {{el::trig_tables::kAtanTaylor, 128, mpfr_atan}, {el::trig_tables::kAsinTaylor, 64, mpfr_asin}};
    MPFR_DECL_INIT(sum, 300);
    MPFR_DECL_INIT(power, 300);
    MPFR_DECL_INIT(term, 300);
    MPFR_DECL_INIT(exact, 300);
    for (const Table& table : tables) {
        for (int i = 0; i <= table.last; ++i) {
            const el::trig_tables::TaylorRow& row = table.rows[i];
            for (const double h : {-0x1p-8, -0x1.3p-10, 0x1.7p-12, 0x1.8p-9, 0x1p-8}) {
                const double c = i * 0x1p-7;
                if (c + h < 0.0) continue;
                mpfr_set_d(sum, row.t0_hi, MPFR_RNDN);
                mpfr_add_d(sum, sum, row.t0_lo, MPFR_RNDN);
                mpfr_set_d(power, h, MPFR_RNDN);
                for (const double t1 : {row.t1_head, row.t1_rest}) {
                    mpfr_mul_d(term, power, t1, MPFR_RNDN);
                    mpfr_add(sum, sum, term, MPFR_RNDN);
                }
                for (const double coefficient : row.t) {
                    mpfr_mul_d(power, power, h, MPFR_RNDN);
                    mpfr_mul_d(term, power, coefficient, MPFR_RNDN);
                    mpfr_add(sum, sum, term, MPFR_RNDN);
                }
                mpfr_set_d(exact, c, MPFR_RNDN);
                mpfr_add_d(exact, exact, h, MPFR_RNDN);
                table.f(exact, exact, MPFR_RNDN);
                mpfr_sub(sum, sum, exact, MPFR_RNDN);
                mpfr_div(sum, sum, exact, MPFR_RNDN);
                EXPECT_LT(std::fabs(mpfr_get_d(sum, MPFR_RNDN)), 0x1p-66) << "row " << i << " at " << show(h);
            }
        }
    }
}

}  // namespace
