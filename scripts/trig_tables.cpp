// SPDX-License-Identifier: GPL-3.0-or-later
// Writes elementary/trig_tables.h: the constants of the trigonometric
// functions as exact hexadecimal literals, each the value rounded to nearest
// (a pair hi + lo is the value rounded to 106 bits the double-double way).
// Run once by hand; tests/test_elementary_trig.cpp checks the header against
// MPFR on every build.
//   g++ -O1 scripts/trig_tables.cpp -lmpfr -o /tmp/trig_tables && /tmp/trig_tables > elementary/trig_tables.h
#include <algorithm>
#include <cstdio>
#include <functional>

#include <mpfr.h>

namespace {

constexpr mpfr_prec_t kWorking = 300;

// value = hi + lo: hi rounded to nearest, lo the rest rounded to nearest.
void split_pair(mpfr_t value, double& hi, double& lo) {
    mpfr_t rest;
    mpfr_init2(rest, kWorking);
    hi = mpfr_get_d(value, MPFR_RNDN);
    mpfr_sub_d(rest, value, hi, MPFR_RNDN);
    lo = mpfr_get_d(rest, MPFR_RNDN);
    mpfr_clear(rest);
}

void pair_row(mpfr_t value) {
    double hi = 0.0, lo = 0.0;
    split_pair(value, hi, lo);
    std::printf("    {%a, %a},\n", hi, lo);
}

// pi / 2^shift, times `times`.
void pi_scaled(mpfr_t out, long times, int shift) {
    mpfr_const_pi(out, MPFR_RNDN);
    mpfr_mul_si(out, out, times, MPFR_RNDN);
    mpfr_div_2si(out, out, shift, MPFR_RNDN);
}

// Taylor coefficients T_0 .. T_count-1 of f around c, f = atan or asin,
// from the derivative g = f' and its differential equation:
//   atan: (1 + t^2) g' = -2 t g,  g_(n+1) = -(2 c g_n + g_(n-1)) / (1 + c^2)
//   asin: (1 - t^2) g' = t g,     g_(n+1) = ((2n+1) c g_n + n g_(n-1)) / ((n+1)(1 - c^2))
// with g_n the Taylor coefficients of g, and T_k = g_(k-1) / k.
enum class Kind { kAtan, kAsin };

void taylor(Kind kind, mpfr_t c, int count, mpfr_t* coefficient) {
    mpfr_t g_previous, g, g_next, t, q;
    for (mpfr_t* v : {&g_previous, &g, &g_next, &t, &q}) mpfr_init2(*v, kWorking);
    mpfr_sqr(q, c, MPFR_RNDN);
    if (kind == Kind::kAtan) {
        mpfr_add_ui(q, q, 1, MPFR_RNDN);  // 1 + c^2
        mpfr_atan(coefficient[0], c, MPFR_RNDN);
        mpfr_ui_div(g, 1, q, MPFR_RNDN);
    } else {
        mpfr_ui_sub(q, 1, q, MPFR_RNDN);  // 1 - c^2
        mpfr_asin(coefficient[0], c, MPFR_RNDN);
        mpfr_rec_sqrt(g, q, MPFR_RNDN);
    }
    mpfr_set_ui(g_previous, 0, MPFR_RNDN);
    for (int n = 0; n + 1 < count; ++n) {
        mpfr_div_ui(coefficient[n + 1], g, static_cast<unsigned long>(n + 1), MPFR_RNDN);
        if (kind == Kind::kAtan) {
            mpfr_mul(t, c, g, MPFR_RNDN);
            mpfr_mul_2ui(t, t, 1, MPFR_RNDN);
            mpfr_add(t, t, g_previous, MPFR_RNDN);
            mpfr_div(g_next, t, q, MPFR_RNDN);
            mpfr_neg(g_next, g_next, MPFR_RNDN);
        } else {
            mpfr_mul(t, c, g, MPFR_RNDN);
            mpfr_mul_ui(t, t, static_cast<unsigned long>(2 * n + 1), MPFR_RNDN);
            mpfr_mul_ui(g_next, g_previous, static_cast<unsigned long>(n), MPFR_RNDN);
            mpfr_add(t, t, g_next, MPFR_RNDN);
            mpfr_div(t, t, q, MPFR_RNDN);
            mpfr_div_ui(g_next, t, static_cast<unsigned long>(n + 1), MPFR_RNDN);
        }
        mpfr_swap(g_previous, g);
        mpfr_swap(g, g_next);
    }
    for (mpfr_t* v : {&g_previous, &g, &g_next, &t, &q}) mpfr_clear(*v);
}

constexpr int kTaylorDegree = 9;
constexpr int kTaylorTerms = 40;  // enough to bound what the degree leaves out

// Rows c = i/128, i = 0 .. last: T_0 as a pair, T_1 as a 26-bit head and
// the rest, T_2 .. T_9 rounded to nearest. The comment above the table gives
// the largest sum of the dropped terms |T_k| (2^-8)^k, k > 9, relative to
// the smallest f on the row's interval.
void taylor_table(const char* name, Kind kind, int last) {
    mpfr_t c, rest, dropped, term, h, smallest;
    mpfr_t coefficient[kTaylorTerms];
    for (mpfr_t& v : coefficient) mpfr_init2(v, kWorking);
    for (mpfr_t* v : {&c, &rest, &dropped, &term, &h, &smallest}) mpfr_init2(*v, kWorking);
    double worst = 0.0;
    std::printf("inline constexpr TaylorRow %s[%d] = {\n", name, last + 1);
    for (int i = 0; i <= last; ++i) {
        mpfr_set_si_2exp(c, i, -7, MPFR_RNDN);
        taylor(kind, c, kTaylorTerms, coefficient);
        double t0_hi = 0.0, t0_lo = 0.0;
        split_pair(coefficient[0], t0_hi, t0_lo);
        MPFR_DECL_INIT(head, 26);
        mpfr_set(head, coefficient[1], MPFR_RNDN);
        mpfr_sub(rest, coefficient[1], head, MPFR_RNDN);
        std::printf("    {%a, %a, %a, %a, {", t0_hi, t0_lo, mpfr_get_d(head, MPFR_RNDN), mpfr_get_d(rest, MPFR_RNDN));
        for (int k = 2; k <= kTaylorDegree; ++k) std::printf("%a%s", mpfr_get_d(coefficient[k], MPFR_RNDN), k < kTaylorDegree ? ", " : "}},\n");
        // What the degree drops at |h| = 2^-8, against f at the row's low end
        // (c - 2^-8, or the value itself near zero where f(h) ~ h).
        mpfr_set_ui(dropped, 0, MPFR_RNDN);
        for (int k = kTaylorDegree + 1; k < kTaylorTerms; ++k) {
            mpfr_abs(term, coefficient[k], MPFR_RNDN);
            mpfr_mul_2si(term, term, -8L * k, MPFR_RNDN);
            mpfr_add(dropped, dropped, term, MPFR_RNDN);
        }
        if (i == 0) {
            mpfr_set_si_2exp(h, 1, -8, MPFR_RNDN);
            mpfr_div(dropped, dropped, h, MPFR_RNDN);  // the terms are h^10.. against h: relative at 2^-8 is the worst
        } else {
            mpfr_set_si_2exp(h, 2 * i - 1, -8, MPFR_RNDN);
            if (kind == Kind::kAtan) mpfr_atan(smallest, h, MPFR_RNDN); else mpfr_asin(smallest, h, MPFR_RNDN);
            mpfr_div(dropped, dropped, smallest, MPFR_RNDN);
        }
        worst = std::max(worst, mpfr_get_d(dropped, MPFR_RNDU));
    }
    std::printf("};\n// Largest relative truncation of %s at |h| <= 2^-8: %a.\n\n", name, worst);
    for (mpfr_t& v : coefficient) mpfr_clear(v);
    for (mpfr_t* v : {&c, &rest, &dropped, &term, &h, &smallest}) mpfr_clear(*v);
}

void table(const char* name, int last, const std::function<void(mpfr_t, int)>& entry) {
    mpfr_t v;
    mpfr_init2(v, kWorking);
    std::printf("inline constexpr DoubleDouble %s[%d] = {\n", name, last + 1);
    for (int i = 0; i <= last; ++i) {
        entry(v, i);
        pair_row(v);
    }
    std::printf("};\n\n");
    mpfr_clear(v);
}

}  // namespace

int main() {
    mpfr_t v, rest;
    mpfr_init2(v, kWorking);
    mpfr_init2(rest, kWorking);

    std::printf("// SPDX-License-Identifier: GPL-3.0-or-later\n"
                "// Generated by scripts/trig_tables.cpp with MPFR: do not edit by hand.\n"
                "#pragma once\n\n#include \"elementary/double_double.h\"\n\n"
                "namespace hostmath::elementary::trig_tables {\n\n");

    // pi/128 in three parts: the first of 27 bits, so that k * part for
    // |k| < 2^26 is exact, the others rounded to nearest.
    pi_scaled(v, 1, 7);
    MPFR_DECL_INIT(first, 27);
    mpfr_set(first, v, MPFR_RNDZ);
    mpfr_sub(rest, v, first, MPFR_RNDN);
    const double p1 = mpfr_get_d(first, MPFR_RNDN);
    const double p2 = mpfr_get_d(rest, MPFR_RNDN);
    mpfr_sub_d(rest, rest, p2, MPFR_RNDN);
    const double p3 = mpfr_get_d(rest, MPFR_RNDN);
    mpfr_ui_div(rest, 1, v, MPFR_RNDN);
    std::printf("// 128/pi, and pi/128 = kPiOver128[0] + [1] + [2] to about 139 bits.\n");
    std::printf("inline constexpr double k128OverPi = %a;\n", mpfr_get_d(rest, MPFR_RNDN));
    std::printf("inline constexpr double kPiOver128[3] = {%a, %a, %a};\n\n", p1, p2, p3);

    std::printf("// pi/2 and pi.\n");
    pi_scaled(v, 1, 1);
    double hi = 0.0, lo = 0.0;
    split_pair(v, hi, lo);
    std::printf("inline constexpr DoubleDouble kHalfPi = {%a, %a};\n", hi, lo);
    pi_scaled(v, 1, 0);
    split_pair(v, hi, lo);
    std::printf("inline constexpr DoubleDouble kPi = {%a, %a};\n\n", hi, lo);

    std::printf("// sin(j pi/128), j = 0 .. 255: the whole circle, so that no argument is\n"
                "// folded; cos(j pi/128) is entry (j + 64) mod 256.\n");
    table("kSinTable", 255, [](mpfr_t out, int j) { pi_scaled(out, j, 7); mpfr_sin(out, out, MPFR_RNDN); });
    std::printf("// atan(i/128), i = 0 .. 128.\n");
    table("kAtanTable", 128, [](mpfr_t out, int i) { mpfr_set_si_2exp(out, i, -7, MPFR_RNDN); mpfr_atan(out, out, MPFR_RNDN); });

    std::printf("// Taylor expansions f(c + h) = sum T_k h^k around c = i/128, for\n"
                "// |h| <= 2^-8: T_0 = t0_hi + t0_lo, T_1 = t1_head (26 bits) + t1_rest,\n"
                "// t[k - 2] = T_k for k = 2 .. 9.\n"
                "struct TaylorRow {\n    double t0_hi, t0_lo, t1_head, t1_rest;\n    double t[8];\n};\n\n");
    std::printf("// atan around i/128, i = 0 .. 128.\n");
    taylor_table("kAtanTaylor", Kind::kAtan, 128);
    std::printf("// asin around i/128, i = 0 .. 64.\n");
    taylor_table("kAsinTaylor", Kind::kAsin, 64);

    std::printf("}  // namespace hostmath::elementary::trig_tables\n");
    mpfr_clear(v);
    mpfr_clear(rest);
    return 0;
}
