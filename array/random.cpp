// SPDX-License-Identifier: GPL-3.0-or-later
#include "array/random.h"

#include <cstdint>

#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

// next = (2053 * state + 13849) mod 65536, period 65536. Every intermediate
// value is an integer below 2^27, so this gives exactly what the same step
// computed on a state held as a double gives.
class Congruential16 {
public:
    double next() {
        state_ = (2053u * state_ + 13849u) & 0xFFFFu;
        return static_cast<double>(state_) * 0x1p-16;
    }

private:
    uint32_t state_ = 0;  // zero-initialised at load, never reset
};

Congruential16 g_uniform;
Congruential16 g_normal;

}  // namespace

double draw_uniform() { return g_uniform.next(); }

double draw_normal(double mean, double deviation) {
    // Twelve multiples of 1/65536 below 1 add up exactly, in the order drawn.
    double sum = 0.0;
    for (int k = 0; k < 12; ++k) sum += g_normal.next();
    return (sum - 6.0) * deviation + mean;
}

void fill_uniform(std::span<double> elements) {
    for (double& e : elements) e = draw_uniform();
}

void fill_standard_normal(std::span<double> elements) {
    for (double& e : elements) e = draw_normal(0.0, 1.0);
}

namespace {

using Fill = void (*)(std::span<double>);

// rand and randn: fill the argument array in place, or a new rows x columns
// array. Every check comes before the first draw, so a refused call leaves
// the generator where it was.
HostValue* random_array(HostValue* result, int64_t last_index, HostValue* args, void* ctx, const HostChar* key,
                        Fill fill) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs == 1) {
        RealArray* a = array_arg(args[0]);
        if (a == nullptr) return fail(result, key, 1, ctx);
        return_argument(result, args[0]);
        fill(elements(*a));
        return result;
    }
    if (nargs == 2) {
        if (!is_size(args[0]) || !is_size(args[1])) return fail(result, key, 2, ctx);
        RealArray* a = new_matrix(args[0].integer(), args[1].integer());
        if (a == nullptr) return fail(result, key, 3, ctx);
        return_new_array(result, a, ctx);
        fill(elements(*a));
        return result;
    }
    return fail(result, key, 4, ctx);
}

}  // namespace

HostValue* rand(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return random_array(result, last_index, args, ctx, u"math::rand", fill_uniform);
}

HostValue* randn(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    return random_array(result, last_index, args, ctx, u"math::randn", fill_standard_normal);
}

}  // namespace hostmath
