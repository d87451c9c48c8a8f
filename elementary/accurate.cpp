// SPDX-License-Identifier: GPL-3.0-or-later
#include "elementary/accurate.h"

#include <cstddef>
#include <iterator>

#include <mpfr.h>

namespace hostmath::elementary {
namespace {

using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
using Binary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);

// Indexed by Accurate; the order is the enumeration's.
constexpr Unary kUnary[] = {
    mpfr_exp, mpfr_log, mpfr_log10, mpfr_sinh, mpfr_cosh, mpfr_tanh,
    mpfr_sin, mpfr_cos, mpfr_tan, mpfr_asin, mpfr_acos, mpfr_atan,
};
static_assert(std::size(kUnary) == static_cast<size_t>(Accurate::kAtan) + 1);

// The exponent range of binary64 in MPFR's convention (m * 2^e with
// m in [1/2, 1)), set for one evaluation and restored after it: the range is
// per thread and may be another component's setting.
class Binary64Range {
public:
    Binary64Range() : emin_(mpfr_get_emin()), emax_(mpfr_get_emax()) {
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
    }
    ~Binary64Range() {
        mpfr_set_emin(emin_);
        mpfr_set_emax(emax_);
    }
    Binary64Range(const Binary64Range&) = delete;
    Binary64Range& operator=(const Binary64Range&) = delete;

private:
    mpfr_exp_t emin_;
    mpfr_exp_t emax_;
};

// Rounds once to 53 bits, then once more to the subnormal grid where the
// result is that small: together a single correct rounding to binary64.
double to_binary64(mpfr_ptr r, int ternary) {
    ternary = mpfr_subnormalize(r, ternary, MPFR_RNDN);
    return mpfr_get_d(r, MPFR_RNDN);
}

}  // namespace

double accurately(Accurate f, double x) {
    Binary64Range range;
    // Variables on the stack: MPFR's own temporaries stay small at 53 bits.
    MPFR_DECL_INIT(mx, 53);
    MPFR_DECL_INIT(r, 53);
    mpfr_set_d(mx, x, MPFR_RNDN);
    return to_binary64(r, kUnary[static_cast<size_t>(f)](r, mx, MPFR_RNDN));
}

namespace {
double binary(Binary f, double a, double b) {
    Binary64Range range;
    MPFR_DECL_INIT(ma, 53);
    MPFR_DECL_INIT(mb, 53);
    MPFR_DECL_INIT(r, 53);
    mpfr_set_d(ma, a, MPFR_RNDN);
    mpfr_set_d(mb, b, MPFR_RNDN);
    return to_binary64(r, f(r, ma, mb, MPFR_RNDN));
}
}  // namespace

double accurate_atan2(double y, double x) { return binary(mpfr_atan2, y, x); }
double accurate_pow(double x, double y) { return binary(mpfr_pow, x, y); }

void release_thread_caches() { mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE); }

}  // namespace hostmath::elementary
