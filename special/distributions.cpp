// SPDX-License-Identifier: GPL-3.0-or-later
#include "special/distributions.h"

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_sf_gamma.h>

#include <cmath>
#include <limits>

#include "elementary/elementary.h"

namespace hostmath::special {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
// GSL counts in unsigned int: binomial n and every k it takes.
constexpr double kLargestCount = 4294967295.0;
// The largest Poisson mean random draws for: GSL's draw adds counts in an
// unsigned int, which this mean and its spread stay far below.
constexpr double kLargestPoissonDrawMean = 2147483648.0;

// Scales, shapes and means are positive normal numbers: GSL's beta
// functions are NaN at subnormal parameters, and its quantiles search on
// for ever when the cdf is NaN.
constexpr double kLeastParameter = std::numeric_limits<double>::min();
bool positive(double a, double) { return a >= kLeastParameter; }
bool both_positive(double a, double b) { return a >= kLeastParameter && b >= kLeastParameter; }
bool second_positive(double, double b) { return b >= kLeastParameter; }
bool ordered(double a, double b) { return a < b; }
bool binomial_valid(double p, double n) {
    return p >= 0.0 && p <= 1.0 && n >= 0.0 && n <= kLargestCount && n == std::floor(n);
}

// GSL's beta quantile bisects on the beta cdf and never ends where that is
// NaN, as it is where its continued fraction needs more than its 512 terms:
// near the mean once a + b runs into the hundreds of thousands, and across
// (0, 1) beyond. The quantiles of beta and F (a beta quantile of nu1 / 2,
// nu2 / 2) are computed up to a + b = 10^5 and NaN above.
constexpr double kLargestBetaQuantileSum = 1e5;
double beta_quantile(double q, double a, double b) {
    return a + b <= kLargestBetaQuantileSum ? gsl_cdf_beta_Pinv(q, a, b) : kNaN;
}
double f_quantile(double q, double n1, double n2) {
    return n1 / 2.0 + n2 / 2.0 <= kLargestBetaQuantileSum ? gsl_cdf_fdist_Pinv(q, n1, n2) : kNaN;
}

double zero(double, double) { return 0.0; }
double one(double, double) { return 1.0; }
double minus_infinity(double, double) { return -kInf; }
double infinity(double, double) { return kInf; }
double first_parameter(double a, double) { return a; }
double second_parameter(double, double b) { return b; }

unsigned count(double k) { return static_cast<unsigned>(k); }

// Binomial with k > n (possibly beyond 32 bits): no mass, P(X <= k) = 1.
double binomial_pdf(double k, double p, double n) { return k > n ? 0.0 : gsl_ran_binomial_pdf(count(k), p, count(n)); }
double binomial_p(double k, double p, double n) { return k >= n ? 1.0 : gsl_cdf_binomial_P(count(k), p, count(n)); }
double binomial_q(double k, double p, double n) { return k >= n ? 0.0 : gsl_cdf_binomial_Q(count(k), p, count(n)); }

// Poisson beyond 32-bit counts by the formulas GSL's own functions use:
// the mass exp(k ln mu - ln k! - mu), P(X <= k) = Q(k + 1, mu) of the gamma
// distribution.
double poisson_pdf(double k, double mu, double) {
    if (k <= kLargestCount) return gsl_ran_poisson_pdf(count(k), mu);
    return elementary::exp(k * elementary::log(mu) - gsl_sf_lngamma(k + 1.0) - mu);
}
double poisson_p(double k, double mu, double) {
    return k <= kLargestCount ? gsl_cdf_poisson_P(count(k), mu) : gsl_cdf_gamma_Q(mu, k + 1.0, 1.0);
}
double poisson_q(double k, double mu, double) {
    return k <= kLargestCount ? gsl_cdf_poisson_Q(count(k), mu) : gsl_cdf_gamma_P(mu, k + 1.0, 1.0);
}

// clang-format off
const Distribution kDistributions[kDistributionCount] = {
    // normal (mu, sigma): GSL's Gaussian of x - mu
    {2, false, second_positive,
     [](double x, double m, double s) { return gsl_ran_gaussian_pdf(x - m, s); },
     [](double x, double m, double s) { return gsl_cdf_gaussian_P(x - m, s); },
     [](double x, double m, double s) { return gsl_cdf_gaussian_Q(x - m, s); },
     [](double q, double m, double s) { return m + gsl_cdf_gaussian_Pinv(q, s); },
     minus_infinity, infinity,
     [](const gsl_rng* r, double m, double s) { return m + gsl_ran_gaussian(r, s); }},
    // lognormal (zeta, sigma)
    {2, false, second_positive,
     [](double x, double z, double s) { return gsl_ran_lognormal_pdf(x, z, s); },
     [](double x, double z, double s) { return gsl_cdf_lognormal_P(x, z, s); },
     [](double x, double z, double s) { return gsl_cdf_lognormal_Q(x, z, s); },
     [](double q, double z, double s) { return gsl_cdf_lognormal_Pinv(q, z, s); },
     zero, infinity,
     [](const gsl_rng* r, double z, double s) { return gsl_ran_lognormal(r, z, s); }},
    // exponential (mean mu)
    {1, false, positive,
     [](double x, double m, double) { return gsl_ran_exponential_pdf(x, m); },
     [](double x, double m, double) { return gsl_cdf_exponential_P(x, m); },
     [](double x, double m, double) { return gsl_cdf_exponential_Q(x, m); },
     [](double q, double m, double) { return gsl_cdf_exponential_Pinv(q, m); },
     zero, infinity,
     [](const gsl_rng* r, double m, double) { return gsl_ran_exponential(r, m); }},
    // gamma (shape a, scale b)
    {2, false, both_positive,
     [](double x, double a, double b) { return gsl_ran_gamma_pdf(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_gamma_P(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_gamma_Q(x, a, b); },
     [](double q, double a, double b) { return gsl_cdf_gamma_Pinv(q, a, b); },
     zero, infinity,
     [](const gsl_rng* r, double a, double b) { return gsl_ran_gamma(r, a, b); }},
    // beta (a, b)
    {2, false, both_positive,
     [](double x, double a, double b) { return gsl_ran_beta_pdf(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_beta_P(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_beta_Q(x, a, b); },
     beta_quantile,
     zero, one,
     [](const gsl_rng* r, double a, double b) { return gsl_ran_beta(r, a, b); }},
    // chi-squared (nu)
    {1, false, positive,
     [](double x, double n, double) { return gsl_ran_chisq_pdf(x, n); },
     [](double x, double n, double) { return gsl_cdf_chisq_P(x, n); },
     [](double x, double n, double) { return gsl_cdf_chisq_Q(x, n); },
     [](double q, double n, double) { return gsl_cdf_chisq_Pinv(q, n); },
     zero, infinity,
     [](const gsl_rng* r, double n, double) { return gsl_ran_chisq(r, n); }},
    // Student's t (nu)
    {1, false, positive,
     [](double x, double n, double) { return gsl_ran_tdist_pdf(x, n); },
     [](double x, double n, double) { return gsl_cdf_tdist_P(x, n); },
     [](double x, double n, double) { return gsl_cdf_tdist_Q(x, n); },
     [](double q, double n, double) { return gsl_cdf_tdist_Pinv(q, n); },
     minus_infinity, infinity,
     [](const gsl_rng* r, double n, double) { return gsl_ran_tdist(r, n); }},
    // F (nu1, nu2)
    {2, false, both_positive,
     [](double x, double a, double b) { return gsl_ran_fdist_pdf(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_fdist_P(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_fdist_Q(x, a, b); },
     f_quantile,
     zero, infinity,
     [](const gsl_rng* r, double a, double b) { return gsl_ran_fdist(r, a, b); }},
    // uniform on [a, b)
    {2, false, ordered,
     [](double x, double a, double b) { return gsl_ran_flat_pdf(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_flat_P(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_flat_Q(x, a, b); },
     [](double q, double a, double b) { return gsl_cdf_flat_Pinv(q, a, b); },
     first_parameter, second_parameter,
     [](const gsl_rng* r, double a, double b) { return gsl_ran_flat(r, a, b); }},
    // Weibull (scale a, shape b)
    {2, false, both_positive,
     [](double x, double a, double b) { return gsl_ran_weibull_pdf(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_weibull_P(x, a, b); },
     [](double x, double a, double b) { return gsl_cdf_weibull_Q(x, a, b); },
     [](double q, double a, double b) { return gsl_cdf_weibull_Pinv(q, a, b); },
     zero, infinity,
     [](const gsl_rng* r, double a, double b) { return gsl_ran_weibull(r, a, b); }},
    // binomial (p, n)
    {2, true, binomial_valid, binomial_pdf, binomial_p, binomial_q, nullptr,
     zero, second_parameter,
     [](const gsl_rng* r, double p, double n) { return static_cast<double>(gsl_ran_binomial(r, p, count(n))); }},
    // Poisson (mu)
    {1, true, positive, poisson_pdf, poisson_p, poisson_q, nullptr,
     zero, infinity,
     [](const gsl_rng* r, double m, double) { return static_cast<double>(gsl_ran_poisson(r, m)); }},
};
// clang-format on

bool in_domain(const Distribution& d, double p1, double p2) {
    return std::isfinite(p1) && std::isfinite(p2) && d.valid(p1, p2);
}

// The mean and standard deviation a discrete quantile search starts from.
void moments(const Distribution& d, double p1, double p2, double* mean, double* deviation) {
    if (&d == &kDistributions[10]) {
        *mean = p2 * p1;
        *deviation = std::sqrt(p2 * p1 * (1.0 - p1));
    } else {
        *mean = p1;
        *deviation = std::sqrt(p1);
    }
}

// The first of k = 0, 1, ..., last at which the lower tail P(X <= k) reaches
// q (0 < q < 1; the tail is 1 at last). The search starts from the normal
// approximation's quantile (within a few units of the answer), gallops away
// from it in doubling steps until P(X <= k) brackets q, and halves the
// bracket: a few dozen evaluations of P, and never more than the doublings
// a double can take.
double discrete_quantile(const Distribution& d, double q, double p1, double p2) {
    const double last = d.last(p1, p2);
    auto reaches = [&](double k) { return k >= last || d.lower_tail(k, p1, p2) >= q; };
    double mean = 0.0, deviation = 0.0;
    moments(d, p1, p2, &mean, &deviation);
    const double start = std::fmin(std::fmax(std::floor(mean + deviation * gsl_cdf_ugaussian_Pinv(q)), 0.0), last);
    // Invariant: P(X <= below) < q (below = -1: no k), P(X <= above) >= q.
    double below = -1.0, above = start;
    double step = 1.0;
    if (reaches(start)) {
        while (above > 0.0) {
            const double k = std::fmax(above - step, 0.0);
            if (!reaches(k)) {
                below = k;
                break;
            }
            above = k;
            step *= 2.0;
        }
    } else {
        below = start;
        for (;;) {
            const double k = std::fmin(below + step, last);
            if (std::isinf(k)) {
                above = std::numeric_limits<double>::max();
                break;
            }
            if (reaches(k)) {
                above = k;
                break;
            }
            below = k;
            step *= 2.0;
        }
    }
    for (;;) {
        const double middle = std::floor(below + (above - below) / 2.0);
        if (!(middle > below && middle < above)) return above;
        if (reaches(middle)) {
            above = middle;
        } else {
            below = middle;
        }
    }
}

bool whole(double x) { return x == std::floor(x); }

}  // namespace

const Distribution* distribution(int64_t dist) {
    return dist >= 0 && dist < kDistributionCount ? &kDistributions[dist] : nullptr;
}

double density(const Distribution& d, double x, double p1, double p2) {
    if (!in_domain(d, p1, p2)) return kNaN;
    if (std::isinf(x)) return 0.0;
    if (d.discrete && (x < 0.0 || !whole(x))) return 0.0;
    return d.pdf(x, p1, p2);
}

double probability(const Distribution& d, double x, double p1, double p2, bool upper) {
    if (!in_domain(d, p1, p2)) return kNaN;
    if (std::isinf(x) || (d.discrete && x < 0.0)) return (x > 0.0) != upper ? 1.0 : 0.0;
    if (d.discrete) x = std::floor(x);
    return upper ? d.upper_tail(x, p1, p2) : d.lower_tail(x, p1, p2);
}

double quantile(const Distribution& d, double q, double p1, double p2) {
    if (!in_domain(d, p1, p2) || !(q >= 0.0 && q <= 1.0)) return kNaN;
    if (q == 0.0) return d.first(p1, p2);
    if (q == 1.0) return d.last(p1, p2);
    return d.discrete ? discrete_quantile(d, q, p1, p2) : d.quantile(q, p1, p2);
}

bool drawable(const Distribution& d, double p1, double p2) {
    if (!in_domain(d, p1, p2)) return false;
    return &d != &kDistributions[11] || p1 <= kLargestPoissonDrawMean;
}

}  // namespace hostmath::special
