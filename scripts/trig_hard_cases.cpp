// SPDX-License-Identifier: GPL-3.0-or-later
// Searches random arguments of sin, cos, tan, asin, acos, atan and atan2 for
// those whose exact value lies nearest to the midpoint between two doubles,
// the hardest to round, and prints the best of each as C++ table rows for
// tests/test_elementary_trig.cpp. Run once by hand:
//   g++ -O2 scripts/trig_hard_cases.cpp -lmpfr -o /tmp/hard && /tmp/hard 1500000
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <mpfr.h>

namespace {

struct Candidate {
    double y, x;
    double distance;  // |exact / ulp - midpoint| in ulps
};

std::mt19937_64 engine(20261211);

double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine); }

// |x| = m 2^e with e uniform in [lo, hi], random sign.
double spread(int lo, int hi) {
    const int e = std::uniform_int_distribution<int>(lo, hi)(engine);
    return std::ldexp(uniform(1.0, 2.0), e) * (engine() & 1 ? -1.0 : 1.0);
}

// Distance of the exact value to the nearest midpoint between two doubles,
// in ulps of the result (0 is the hardest).
double distance_to_midpoint(mpfr_t v) {
    if (mpfr_zero_p(v) || !mpfr_number_p(v)) return 1.0;
    const double rounded = mpfr_get_d(v, MPFR_RNDN);
    const double ulp = std::nextafter(std::fabs(rounded), INFINITY) - std::fabs(rounded);
    MPFR_DECL_INIT(d, 200);
    mpfr_sub_d(d, v, rounded, MPFR_RNDN);
    mpfr_abs(d, d, MPFR_RNDN);
    mpfr_div_d(d, d, ulp, MPFR_RNDN);
    return 0.5 - mpfr_get_d(d, MPFR_RNDN);
}

template <class Draw, class Evaluate>
void search(const char* name, long count, Draw draw, Evaluate evaluate) {
    std::vector<Candidate> best;
    MPFR_DECL_INIT(v, 160);
    for (long n = 0; n < count; ++n) {
        const Candidate c0 = draw();
        evaluate(v, c0.y, c0.x);
        const double d = distance_to_midpoint(v);
        if (best.size() < 12 || d < best.back().distance) {
            best.push_back({c0.y, c0.x, d});
            std::sort(best.begin(), best.end(), [](auto& a, auto& b) { return a.distance < b.distance; });
            if (best.size() > 12) best.pop_back();
        }
    }
    for (const Candidate& c : best)
        std::printf("    {\"%s\", %a, %a},  // %.3g ulp from a midpoint\n", name, c.y, c.x, c.distance);
}

using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

template <class Draw>
void search_unary(const char* name, long count, Unary f, Draw draw) {
    search(name, count, [&] { return Candidate{draw(), 0.0, 0.0}; },
           [&](mpfr_t v, double y, double) {
               MPFR_DECL_INIT(a, 53);
               mpfr_set_d(a, y, MPFR_RNDN);
               f(v, a, MPFR_RNDN);
           });
}

}  // namespace

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
    auto trig_argument = [] { return engine() & 1 ? uniform(-100.0, 100.0) : spread(-27, 20); };
    search_unary("sin", count, mpfr_sin, trig_argument);
    search_unary("cos", count, mpfr_cos, trig_argument);
    search_unary("tan", count, mpfr_tan, trig_argument);
    auto unit = [] { return engine() & 1 ? uniform(-1.0, 1.0) : std::copysign(1.0 - std::fabs(spread(-53, -1)), spread(0, 0)); };
    search_unary("asin", count, mpfr_asin, unit);
    search_unary("acos", count, mpfr_acos, unit);
    search_unary("atan", count, mpfr_atan, [] { return spread(-27, 55); });
    search("atan2", count, [] { return Candidate{spread(-40, 40), spread(-40, 40), 0.0}; },
           [](mpfr_t v, double y, double x) {
               MPFR_DECL_INIT(a, 53);
               MPFR_DECL_INIT(b, 53);
               mpfr_set_d(a, y, MPFR_RNDN);
               mpfr_set_d(b, x, MPFR_RNDN);
               mpfr_atan2(v, a, b, MPFR_RNDN);
           });
    return 0;
}
