// SPDX-License-Identifier: GPL-3.0-or-later
#include "entry/registry.h"

#include <iterator>

#include "script/script_functions.h"

namespace hostmath {

// Order matters: it is the registration order. A null function marks a row
// whose function is not part of this build; it is neither registered nor
// deleted.
constexpr FunctionEntry kFunctionRows[] = {
    {u"toreal", toreal, kAnyArgs},
    {u"SetArray", SetArray, kAnyArgs},
    {u"ra1", ra1, kAnyArgs},
    {u"matrix", matrix, kAnyArgs},
    {u"outa", outa, kAnyArgs},
    {u"subg", subg, kAnyArgs},
    {u"subs", subs, kAnyArgs},
    {u"row", row, 2},
    {u"col", col, 2},
    {u"linspace", linspace, 2},
    {u"zeros", zeros, kAnyArgs},
    {u"ones", ones, kAnyArgs},
    {u"eye", eye, kAnyArgs},
    {u"rand", rand, kAnyArgs},
    {u"randn", randn, kAnyArgs},
    {u"Sum", Sum, kAnyArgs},
    {u"reshape", reshape, kAnyArgs},
    {u"ndgrid", ndgrid, kAnyArgs},
    {u"arrayfun", arrayfun, kAnyArgs},
    {u"inv", inv, 0},
    {u"netn", netn, kAnyArgs},
    {u"btFindRoot", btFindRoot, kAnyArgs},
    {u"pqrt", pqrt, 2},
    {u"gsl_qng", gsl_qng, kAnyArgs},
    {u"gsl_qag", gsl_qag, kAnyArgs},
    {u"gsl_qags", gsl_qags, kAnyArgs},
    {u"gsl_qagp", gsl_qagp, kAnyArgs},
    {u"gsl_qagi", gsl_qagi, kAnyArgs},
    {u"gsl_qagiu", gsl_qagiu, kAnyArgs},
    {u"gsl_qagil", gsl_qagil, kAnyArgs},
    {u"gsl_qawc", gsl_qawc, kAnyArgs},
    {u"gsl_ode", gsl_ode, kAnyArgs},
    // The added families follow, so that every earlier key keeps its place.
    // linalg/
    {u"solve", solve, kAnyArgs},
    {u"det", det, kAnyArgs},
    {u"chol", chol, kAnyArgs},
    {u"lstsq", lstsq, kAnyArgs},
    {u"eig", eig, kAnyArgs},
    {u"svd", svd, kAnyArgs},
    // data/
    {u"interp1", interp1, kAnyArgs},
    {u"polyfit", polyfit, kAnyArgs},
    {u"polyval", polyval, kAnyArgs},
    {u"polyroots", polyroots, kAnyArgs},
    {u"mean", mean, kAnyArgs},
    {u"var", var, kAnyArgs},
    {u"std", standard_deviation, kAnyArgs},
    {u"min", minimum, kAnyArgs},
    {u"max", maximum, kAnyArgs},
    {u"median", median, kAnyArgs},
    {u"quantile", quantile, kAnyArgs},
    {u"sort", sort, kAnyArgs},
    {u"cumsum", cumsum, kAnyArgs},
    {u"cumprod", cumprod, kAnyArgs},
    {u"fft", fft, kAnyArgs},
    {u"ifft", ifft, kAnyArgs},
    // optim/
    {u"fzero", fzero, kAnyArgs},
    {u"fminbnd", fminbnd, kAnyArgs},
    {u"fminsearch", fminsearch, kAnyArgs},
    {u"lsqfit", lsqfit, kAnyArgs},
    {u"gsl_cquad", gsl_cquad, kAnyArgs},
    // special/
    {u"gamma", gamma, kAnyArgs},
    {u"lgamma", lgamma, kAnyArgs},
    {u"psi", psi, kAnyArgs},
    {u"beta", beta, kAnyArgs},
    {u"lbeta", lbeta, kAnyArgs},
    {u"erf", erf, kAnyArgs},
    {u"erfc", erfc, kAnyArgs},
    {u"gammainc", gammainc, kAnyArgs},
    {u"betainc", betainc, kAnyArgs},
    {u"besselj", besselj, kAnyArgs},
    {u"bessely", bessely, kAnyArgs},
    {u"besseli", besseli, kAnyArgs},
    {u"besselk", besselk, kAnyArgs},
    {u"airy", airy, kAnyArgs},
    {u"expint", expint, kAnyArgs},
    {u"zeta", zeta, kAnyArgs},
    {u"ellipk", ellipk, kAnyArgs},
    {u"ellipe", ellipe, kAnyArgs},
    {u"lambertw", lambertw, kAnyArgs},
    {u"pdf", pdf, kAnyArgs},
    {u"cdf", cdf, kAnyArgs},
    {u"icdf", icdf, kAnyArgs},
    {u"random", random, kAnyArgs},
    {u"randseed", randseed, kAnyArgs},
};
static_assert(std::size(kFunctionRows) == kFunctionCount);
const std::array<FunctionEntry, kFunctionCount> kFunctionTable = std::to_array(kFunctionRows);

// Order matters: registration order, after "math::pi" and "math::real_s".
constexpr ConstantEntry kConstantRows[] = {
    {u"zeros", 0},       {u"ones", 1},        {u"eye", 2},        {u"rand", 3},
    {u"randn", 4},       {u"gsl_gauss15", 1}, {u"gsl_gauss21", 2}, {u"gsl_gauss31", 3},
    {u"gsl_gauss41", 4}, {u"gsl_gauss51", 5}, {u"gsl_gauss61", 6}, {u"gsl_rk2", 0},
    {u"gsl_rk4", 1},     {u"gsl_rkf45", 2},   {u"gsl_rkck", 3},   {u"gsl_rk8pd", 4},
    {u"gsl_rk2imp", 5},  {u"gsl_rk2simp", 6}, {u"gsl_rk4imp", 7}, {u"gsl_bsimp", 8},
    {u"gsl_gear1", 9},   {u"gsl_gear2", 10},
    // The interpolation methods of interp1.
    {u"interp_linear", 0}, {u"interp_cspline", 1}, {u"interp_akima", 2}, {u"interp_steffen", 3},
    // The distributions of pdf, cdf, icdf and random.
    {u"dist_normal", 0}, {u"dist_lognormal", 1}, {u"dist_exponential", 2}, {u"dist_gamma", 3},
    {u"dist_beta", 4}, {u"dist_chi2", 5}, {u"dist_t", 6}, {u"dist_f", 7},
    {u"dist_uniform", 8}, {u"dist_weibull", 9}, {u"dist_binomial", 10}, {u"dist_poisson", 11},
};
static_assert(std::size(kConstantRows) == kConstantCount);
const std::array<ConstantEntry, kConstantCount> kConstantTable = std::to_array(kConstantRows);

}  // namespace hostmath
