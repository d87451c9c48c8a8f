// SPDX-License-Identifier: GPL-3.0-or-later
// Finds hard cases for the correct rounding of exp, log, log10, sinh, cosh,
// tanh and pow: among random arguments, those whose exact result lies
// nearest a rounding boundary (the midpoint between two doubles), measured
// in ulps with 160-bit arithmetic. Prints the closest few per function as
// table rows for tests/test_elementary_exp.cpp.
//   g++ -std=c++20 -O2 scripts/exp_log_hard_cases.cpp -lmpfr -lgmp -o /tmp/hard
//   /tmp/hard 2000000
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include <mpfr.h>

namespace {

using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// |y / ulp - (integer + 1/2)|, in ulps of the double nearest y (normal
// results only).
double distance_to_midpoint(mpfr_t y) {
    mpfr_t t;
    mpfr_init2(t, 160);
    const double below = mpfr_get_d(y, MPFR_RNDZ);
    const double ulp = std::nextafter(std::fabs(below), 1e308) - std::fabs(below);
    mpfr_sub_d(t, y, below, MPFR_RNDN);
    mpfr_abs(t, t, MPFR_RNDN);
    mpfr_div_d(t, t, ulp, MPFR_RNDN);
    const double d = std::fabs(mpfr_get_d(t, MPFR_RNDN) - 0.5);
    mpfr_clear(t);
    return d;
}

struct Case {
    double distance;
    double x;
    double y;
};

void keep(std::vector<Case>& best, Case c) {
    best.push_back(c);
    std::sort(best.begin(), best.end(), [](const Case& a, const Case& b) { return a.distance < b.distance; });
    if (best.size() > 6) best.pop_back();
}

void print(const char* name, const std::vector<Case>& best, bool binary) {
    for (const Case& c : best) {
        if (binary) std::printf("    {\"%s\", %a, %a},  // 2^%.1f ulp\n", name, c.x, c.y, std::log2(c.distance));
        else std::printf("    {\"%s\", %a},  // 2^%.1f ulp\n", name, c.x, std::log2(c.distance));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    std::mt19937_64 rng(20261211);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    mpfr_t mx, my, r;
    mpfr_inits2(160, mx, my, r, static_cast<mpfr_ptr>(nullptr));
    // Argument ranges with normal results: a uniform part and a part spread
    // over the binary exponents.
    const struct {
        const char* name;
        Unary f;
        double lo, hi;
        int min_exponent, max_exponent;
    } unary[] = {
        {"exp", mpfr_exp, -708.0, 709.7, -60, 9},   {"log", mpfr_log, 0.0, 4.0, -1074, 1023},
        {"log10", mpfr_log10, 0.0, 4.0, -1074, 1023}, {"sinh", mpfr_sinh, -710.0, 710.0, -30, 9},
        {"cosh", mpfr_cosh, -710.0, 710.0, -30, 9},  {"tanh", mpfr_tanh, -19.0, 19.0, -30, 4},
    };
    for (const auto& u : unary) {
        std::vector<Case> best;
        for (long i = 0; i < n; ++i) {
            double x = i % 2 ? u.lo + (u.hi - u.lo) * unit(rng)
                             : std::ldexp(1.0 + unit(rng), u.min_exponent + static_cast<int>(rng() % (u.max_exponent - u.min_exponent)));
            if (u.lo == 0.0) x = std::fabs(x);
            mpfr_set_d(mx, x, MPFR_RNDN);
            u.f(r, mx, MPFR_RNDN);
            keep(best, {distance_to_midpoint(r), x, 0.0});
        }
        print(u.name, best, false);
    }
    std::vector<Case> best;
    for (long i = 0; i < n; ++i) {
        const double x = i % 2 ? 1000.0 * unit(rng) : std::ldexp(1.0 + unit(rng), static_cast<int>(rng() % 2000) - 1000);
        const double bound = 700.0 / std::max(std::fabs(std::log(x)), 1e-300);
        const double y = i % 2 ? -50.0 + 100.0 * unit(rng) : (2.0 * unit(rng) - 1.0) * std::min(bound, 1e300);
        mpfr_set_d(mx, x, MPFR_RNDN);
        mpfr_set_d(my, y, MPFR_RNDN);
        mpfr_pow(r, mx, my, MPFR_RNDN);
        if (mpfr_get_exp(r) < -1020 || mpfr_get_exp(r) > 1023) continue;
        keep(best, {distance_to_midpoint(r), x, y});
    }
    print("pow", best, true);
    mpfr_clears(mx, my, r, static_cast<mpfr_ptr>(nullptr));
    return 0;
}
