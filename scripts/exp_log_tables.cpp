// SPDX-License-Identifier: GPL-3.0-or-later
// Writes elementary/exp_log_tables.h: the tables and constants of the
// exponential and logarithm cores, each value rounded to nearest from 256-bit
// multiple-precision arithmetic and printed as an exact hexadecimal literal.
// Run once when a table changes:
//   g++ -std=c++20 -O2 scripts/exp_log_tables.cpp -lmpfr -lgmp -o /tmp/exp_log_tables
//   /tmp/exp_log_tables > elementary/exp_log_tables.h
#include <cstdio>
#include <utility>

#include <mpfr.h>

namespace {

constexpr mpfr_prec_t kPrecision = 256;

struct Big {
    Big() { mpfr_init2(v, kPrecision); }
    ~Big() { mpfr_clear(v); }
    Big(const Big&) = delete;
    Big& operator=(const Big&) = delete;
    mpfr_t v;
};

// v rounded to `bits` significant bits, then v minus that.
double take(mpfr_t v, mpfr_prec_t bits) {
    Big part;
    mpfr_set(part.v, v, MPFR_RNDN);
    mpfr_prec_round(part.v, bits, MPFR_RNDN);
    const double d = mpfr_get_d(part.v, MPFR_RNDN);
    mpfr_sub_d(v, v, d, MPFR_RNDN);
    return d;
}

// v rounded to a multiple of 2^-grid, then v minus that.
double take_on_grid(mpfr_t v, long grid) {
    Big part;
    mpfr_mul_2si(part.v, v, grid, MPFR_RNDN);
    mpfr_rint(part.v, part.v, MPFR_RNDN);
    mpfr_div_2si(part.v, part.v, grid, MPFR_RNDN);
    const double d = mpfr_get_d(part.v, MPFR_RNDN);
    mpfr_sub_d(v, v, d, MPFR_RNDN);
    return d;
}

void constant(const char* name, double d) { std::printf("inline constexpr double %s = %a;\n", name, d); }

void ln2_pieces() {
    Big v;
    mpfr_const_log2(v.v, MPFR_RNDN);
    // e * kLn2Hi is exact for every binary64 exponent e (|e| < 2^11).
    constant("kLn2Hi", take(v.v, 42));
    constant("kLn2Lo", take(v.v, 53));
    mpfr_const_log2(v.v, MPFR_RNDN);
    mpfr_div_ui(v.v, v.v, 256, MPFR_RNDN);
    // k * kLn2By256Hi and k * kLn2By256Mid are exact for |k| < 2^19.
    constant("kLn2By256Hi", take(v.v, 34));
    constant("kLn2By256Mid", take(v.v, 34));
    constant("kLn2By256Lo", take(v.v, 53));
    mpfr_const_log2(v.v, MPFR_RNDN);
    mpfr_ui_div(v.v, 256, v.v, MPFR_RNDN);
    constant("k256ByLn2", mpfr_get_d(v.v, MPFR_RNDN));
    mpfr_set_ui(v.v, 1, MPFR_RNDN);
    mpfr_exp(v.v, v.v, MPFR_RNDN);
    mpfr_log10(v.v, v.v, MPFR_RNDN);
    constant("kLog10EHi", take(v.v, 53));
    constant("kLog10ELo", take(v.v, 53));
}

// 1/n rounded, as a double or as a pair.
void reciprocal(const char* name, long n, bool pair) {
    Big v;
    mpfr_set_si(v.v, n, MPFR_RNDN);
    mpfr_ui_div(v.v, 1, v.v, MPFR_RNDN);
    if (!pair) {
        constant(name, mpfr_get_d(v.v, MPFR_RNDN));
        return;
    }
    std::printf("inline constexpr DoubleDouble %s = {", name);
    const double hi = take(v.v, 53);
    std::printf("%a, %a};\n", hi, take(v.v, 53));
}

void exp2_table() {
    std::printf("\n// 2^(j/256) for j = 0 .. 255, as hi + lo.\ninline constexpr DoubleDouble kExp2By256[256] = {\n");
    Big v;
    for (int j = 0; j < 256; ++j) {
        mpfr_set_si(v.v, j, MPFR_RNDN);
        mpfr_div_ui(v.v, v.v, 256, MPFR_RNDN);
        mpfr_exp2(v.v, v.v, MPFR_RNDN);
        const double hi = take(v.v, 53);
        std::printf("    {%a, %a},\n", hi, take(v.v, 53));
    }
    std::printf("};\n");
}

void log_table() {
    std::printf(
        "\n// For the significand m in [1, 2) nearest to c = 1 + i/256: inverse = 1/c\n"
        "// rounded to 9 bits, so that m * inverse - 1 (below 2^-8.4 in magnitude, on\n"
        "// the grid of 2^-61) is a double; minus_log = -log(inverse) - ln 2 when\n"
        "// i >= kLogHalvedFrom (c > sqrt 2, so that m/2 near 1 gives a small\n"
        "// logarithm), else -log(inverse), as hi + lo with hi a multiple of 2^-42\n"
        "// (as is kLn2Hi), so that exponent * kLn2Hi + hi is exact.\n"
        "inline constexpr int kLogHalvedFrom = 107;\n"
        "struct LogEntry {\n    double inverse;\n    DoubleDouble minus_log;\n};\n"
        "inline constexpr LogEntry kLogTable[257] = {\n");
    Big v, ln2, c, r;
    mpfr_const_log2(ln2.v, MPFR_RNDN);
    for (int i = 0; i <= 256; ++i) {
        mpfr_set_si(c.v, i, MPFR_RNDN);
        mpfr_div_ui(c.v, c.v, 256, MPFR_RNDN);
        mpfr_add_ui(c.v, c.v, 1, MPFR_RNDN);
        mpfr_ui_div(v.v, 1, c.v, MPFR_RNDN);
        mpfr_prec_round(v.v, 9, MPFR_RNDN);
        const double inverse = mpfr_get_d(v.v, MPFR_RNDN);
        mpfr_prec_round(v.v, kPrecision, MPFR_RNDN);
        // The largest |m * inverse - 1| on the interval, at its ends.
        for (int side : {-1, 1}) {
            mpfr_set_si(r.v, side, MPFR_RNDN);
            mpfr_div_ui(r.v, r.v, 512, MPFR_RNDN);
            mpfr_add(r.v, r.v, c.v, MPFR_RNDN);
            mpfr_mul_d(r.v, r.v, inverse, MPFR_RNDN);
            mpfr_sub_ui(r.v, r.v, 1, MPFR_RNDN);
            mpfr_abs(r.v, r.v, MPFR_RNDN);
            if (mpfr_cmp_ui_2exp(r.v, 1, -8) >= 0) std::fprintf(stderr, "entry %d: reduced argument too large\n", i);
        }
        mpfr_log(v.v, v.v, MPFR_RNDN);
        mpfr_neg(v.v, v.v, MPFR_RNDN);
        if (mpfr_zero_p(v.v)) mpfr_set_zero(v.v, 1);  // +0, not -0: it starts a sum
        if (i >= 107) mpfr_sub(v.v, v.v, ln2.v, MPFR_RNDN);
        const double hi = take_on_grid(v.v, 42);
        std::printf("    {%a, {%a, %a}},\n", inverse, hi, take(v.v, 53));
    }
    std::printf("};\n");
}

}  // namespace

int main() {
    std::printf(
        "// SPDX-License-Identifier: GPL-3.0-or-later\n"
        "// Generated by scripts/exp_log_tables.cpp; do not edit. Every value is the\n"
        "// exact quantity rounded to nearest (a pair holds the rest of it in lo).\n"
        "#pragma once\n\n#include \"elementary/double_double.h\"\n\n"
        "namespace hostmath::elementary::tables {\n\n");
    ln2_pieces();
    std::printf("\n// Taylor coefficients.\n");
    reciprocal("kInv3", 3, true);
    reciprocal("kInv6", 6, true);
    for (auto [name, n] : {std::pair{"kInv5", 5L}, {"kInv7", 7L}, {"kInv9", 9L}, {"kInv10", 10L}, {"kInv24", 24L},
                           {"kInv120", 120L}, {"kInv720", 720L}, {"kInv5040", 5040L}, {"kInv362880", 362880L},
                           {"kInv39916800", 39916800L}, {"kInv6227020800", 6227020800L}})
        reciprocal(name, n, false);
    exp2_table();
    log_table();
    std::printf("\n}  // namespace hostmath::elementary::tables\n");
    return 0;
}
