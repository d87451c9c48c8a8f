// SPDX-License-Identifier: GPL-3.0-or-later
// outa's element text, checked directly on the pure formatter.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "ops/number_format.h"

namespace {

std::string formatted(double v, int p) {
    const hostmath::FormattedNumber f = hostmath::format_number(v, p);
    EXPECT_EQ(static_cast<size_t>(f.length), std::strlen(f.text));
    return std::string(f.text, static_cast<size_t>(f.length));
}

struct FormatCase {
    double v;
    int p;
    const char* text;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(NumberFormat, Table) {
    const FormatCase cases[] = {
        // The stated examples at 6 digits.
        {1, 6, "1."},
        {0.5, 6, "0.5"},
        {123.456, 6, "123.456"},
        {100000, 6, "100000"},
        {1234567, 6, "1.23457e+006"},
        {0.01, 6, "1.e-002"},
        {0, 6, "0."},
        {-2.5, 6, "-2.5"},
        // Negative zero keeps its sign, as the C library prints it.
        {-0.0, 6, "-0."},
        {-1234567, 6, "-1.23457e+006"},
        {0.1, 6, "0.1"},
        {0.012345678, 6, "1.23457e-002"},
        {123456.4, 6, "123456"},
        {1e-5, 6, "1.e-005"},
        {1e300, 6, "1.e+300"},
        {std::numeric_limits<double>::max(), 6, "1.79769e+308"},
        {std::numeric_limits<double>::denorm_min(), 6, "4.94066e-324"},
        // Rounding that carries into a new digit: the form follows the
        // exponent of the value before rounding.
        {999999.7, 6, "1000000"},      // exponent 5: fixed, no decimals
        {9999999.6, 6, "1.e+007"},     // exponent 6: scientific, exponent of the rounded value
        {0.99999997, 6, "1."},         // exponent -1: fixed with 6 decimals
        {0.099999997, 6, "1.e-001"},   // exponent -2: scientific
        {-999999.7, 6, "-1000000"},
        {0.09999999999999999, 6, "1.e-001"},  // the double just below 0.1 has exponent -2
        // Smallest precision.
        {3.14159, 2, "3.1"},
        {99.7, 2, "100"},
        {150, 2, "1.5e+002"},
        {0.25, 2, "0.25"},
        {-0.126, 2, "-0.13"},
        {10, 2, "10"},
        // Largest precision: every significant digit of the double shows.
        {0.1, 18, "0.100000000000000006"},
        {1.0 / 3.0, 18, "0.333333333333333315"},
        {123456789012345678.0, 18, "123456789012345680"},
        {1e18, 18, "1.e+018"},
        {0.001, 18, "1.00000000000000002e-003"},
        {-std::numeric_limits<double>::max(), 18, "-1.79769313486231571e+308"},
        // Non-finite values.
        {kInf, 6, "inf"},
        {-kInf, 6, "-inf"},
        {kNaN, 6, "nan"},
        {-kNaN, 18, "nan"},
    };
    for (const FormatCase& c : cases) EXPECT_EQ(formatted(c.v, c.p), c.text) << c.v << " at " << c.p;
}

// Every text fits the field: at most p + 7 characters.
TEST(NumberFormat, LongestTextIsPrecisionPlusSeven) {
    const double values[] = {-std::numeric_limits<double>::max(), -1.2345678901234567e-300, -0.12345678901234567,
                             -9.9999999999999999e-2, -123456789.123456789, -std::numeric_limits<double>::denorm_min()};
    for (int p = hostmath::kMinPrecision; p <= hostmath::kMaxPrecision; ++p) {
        for (double v : values) EXPECT_LE(formatted(v, p).size(), static_cast<size_t>(p + 7)) << v << " at " << p;
    }
}

// The exponent of the exact value, from the full decimal expansion (a double
// has at most 767 significant digits).
int exact_exponent(double v) {
    char buf[1100];
    std::snprintf(buf, sizeof buf, "%.800e", v);
    return std::atoi(std::strchr(buf, 'e') + 1);
}

// The doubles nearest to each power of ten are where printing could round
// into the next power; the exponent must be that of the exact value.
TEST(NumberFormat, DecimalExponentAtEveryPowerOfTen) {
    for (int k = -324; k <= 308; ++k) {
        char text[16];
        std::snprintf(text, sizeof text, "1e%d", k);
        const double x = std::strtod(text, nullptr);
        double below = x;
        double above = x;
        for (int step = 0; step < 3; ++step) {
            for (double v : {below, above}) {
                if (v == 0 || !std::isfinite(v)) continue;
                EXPECT_EQ(hostmath::decimal_exponent(v), exact_exponent(v)) << text;
                EXPECT_EQ(hostmath::decimal_exponent(-v), exact_exponent(v)) << text;
            }
            below = std::nextafter(below, 0.0);
            above = std::nextafter(above, kInf);
        }
    }
}

}  // namespace

#ifndef _WIN32
// The host process may run in a locale whose decimal separator is a comma:
// the numbers keep their point and their trimmed zeros. The locale is built
// for the test where the system can (skipped where it cannot).
TEST(NumberFormat, TheHostsLocaleDoesNotChangeTheText) {
    const std::string dir = testing::TempDir() + "hostmath-locale";
    const std::string build = "mkdir -p '" + dir + "' && localedef -i de_DE -f UTF-8 '" + dir +
                              "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0) GTEST_SKIP() << "no de_DE locale can be built here";
    setenv("LOCPATH", dir.c_str(), 1);
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "the locale does not load";
    const std::string half = formatted(0.5, 6), one = formatted(1, 6), small = formatted(-1e-7, 6);
    std::setlocale(LC_NUMERIC, before.c_str());
    unsetenv("LOCPATH");
    EXPECT_EQ(half, "0.5");
    EXPECT_EQ(one, "1.");
    EXPECT_EQ(small, "-1.e-007");
}
#endif
