// SPDX-License-Identifier: GPL-3.0-or-later
// math::pdf, cdf and icdf, element-wise over x (or q) and the parameters
// (special/elementwise.h), and math::random and randseed, which draw from
// the library's own generator (special/random_stream.h) on the host's
// thread, element 0 first.
#include <limits>

#include "script/script_functions.h"
#include "special/distributions.h"
#include "special/elementwise.h"
#include "special/random_stream.h"

namespace hostmath {

namespace {

using special::Distribution;
using special::Operands;

enum Code : int64_t {
    kCodeDistribution = 2,  // dist not one of the dist_* constants
    kCodeNotOperand = 4,    // x, q or a parameter of a kind no element can come from; upper not 0
                            // or 1; random: a parameter that is not a number; randseed: no whole s >= 0
    kCodeSizes = 5,         // random: sizes that rand would refuse too
};

const Distribution* read_distribution(const HostValue& v) {
    return is_integer(v) ? special::distribution(v.integer()) : nullptr;
}

// NAME(dist, x, p1 [, p2] [, flag]): the flag (cdf's upper) an integer 0 or
// 1 when `flagged`. f(d, x, p1, p2, flag) gives each element.
template <class F>
HostValue* distribution_function(HostValue* result, int64_t last_index, HostValue* args, void* ctx,
                                 const HostChar* key, bool flagged, F f) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1) return fail(result, key, special::kCodeCount, ctx);
    const Distribution* d = read_distribution(args[0]);
    if (d == nullptr) return fail(result, key, kCodeDistribution, ctx);
    const int64_t fixed = 2 + d->params;
    if (nargs != fixed && !(flagged && nargs == fixed + 1)) return fail(result, key, special::kCodeCount, ctx);
    // x, p1 and p2, with p2 = 0 for a distribution of one parameter.
    const HostValue operands[3] = {args[1], args[2], d->params == 2 ? args[3] : make_real(0.0)};
    Operands<3> o;
    if (int64_t code = special::read_operands<3>(operands, kCodeNotOperand, &o)) return fail(result, key, code, ctx);
    bool flag = false;
    if (nargs == fixed + 1) {
        const HostValue& v = args[fixed];
        if (!is_integer(v) || (v.integer() != 0 && v.integer() != 1)) return fail(result, key, kCodeNotOperand, ctx);
        flag = v.integer() == 1;
    }
    return special::evaluate<3>(result, o, key, ctx,
                                [d, flag, &f](double x, double p1, double p2) { return f(*d, x, p1, p2, flag); });
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(pdf) {
    return distribution_function(result, last_index, args, ctx, u"math::pdf", false,
                                 [](const Distribution& d, double x, double p1, double p2, bool) {
                                     return special::density(d, x, p1, p2);
                                 });
}

HOSTMATH_SCRIPT_FUNCTION(cdf) {
    return distribution_function(result, last_index, args, ctx, u"math::cdf", true,
                                 [](const Distribution& d, double x, double p1, double p2, bool upper) {
                                     return special::probability(d, x, p1, p2, upper);
                                 });
}

HOSTMATH_SCRIPT_FUNCTION(icdf) {
    return distribution_function(result, last_index, args, ctx, u"math::icdf", false,
                                 [](const Distribution& d, double q, double p1, double p2, bool) {
                                     return special::quantile(d, q, p1, p2);
                                 });
}

// random(dist, p1 [, p2], rows, cols) draws into a new rows x cols array,
// random(dist, p1 [, p2], a) into the array a, in place, as rand does.
// Every check comes before the first draw, so a refused call leaves the
// generator where it was; parameters outside the domain give NaN without
// drawing.
HOSTMATH_SCRIPT_FUNCTION(random) {
    constexpr HostChar kKey[] = u"math::random";
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1) return fail(result, kKey, special::kCodeCount, ctx);
    const Distribution* d = read_distribution(args[0]);
    if (d == nullptr) return fail(result, kKey, kCodeDistribution, ctx);
    const int64_t sizes = nargs - 1 - d->params;
    if (sizes != 1 && sizes != 2) return fail(result, kKey, special::kCodeCount, ctx);
    double p[2] = {0.0, 0.0};
    for (int k = 0; k < d->params; ++k) {
        if (!is_number(args[1 + k])) return fail(result, kKey, kCodeNotOperand, ctx);
        p[k] = number_value(args[1 + k]);
    }
    const HostValue* size_args = args + 1 + d->params;
    RealArray* in_place = nullptr;
    if (sizes == 1) {
        in_place = array_arg(size_args[0]);
        if (in_place == nullptr) return fail(result, kKey, kCodeSizes, ctx);
    } else if (!is_size(size_args[0]) || !is_size(size_args[1])) {
        return fail(result, kKey, kCodeSizes, ctx);
    }
    const bool draws = special::drawable(*d, p[0], p[1]);
    gsl_rng* stream = draws ? special::random_stream() : nullptr;
    if (draws && stream == nullptr) return fail(result, kKey, special::kCodeNoMemory, ctx);
    RealArray* a = in_place;
    if (a == nullptr) {
        a = new_matrix(size_args[0].integer(), size_args[1].integer());
        if (a == nullptr) return fail(result, kKey, special::kCodeNoMemory, ctx);
        return_new_array(result, a, ctx);
    } else {
        return_argument(result, size_args[0]);
    }
    for (double& e : elements(*a)) e = draws ? d->draw(stream, p[0], p[1]) : std::numeric_limits<double>::quiet_NaN();
    return result;
}

HOSTMATH_SCRIPT_FUNCTION(randseed) {
    constexpr HostChar kKey[] = u"math::randseed";
    write_empty(result);
    if (last_index != 0) return fail(result, kKey, special::kCodeCount, ctx);
    if (!is_integer(args[0]) || args[0].integer() < 0) return fail(result, kKey, kCodeNotOperand, ctx);
    if (!special::reseed_random_stream(static_cast<uint64_t>(args[0].integer())))
        return fail(result, kKey, special::kCodeNoMemory, ctx);
    return write_integer(result, 0);
}

}  // namespace hostmath
