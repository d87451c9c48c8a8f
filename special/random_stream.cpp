// SPDX-License-Identifier: GPL-3.0-or-later
#include "special/random_stream.h"

#include "kernels/allocation.h"

namespace hostmath::special {

namespace {

// Freed by close_random_stream, or by the owner's destructor when the module
// goes without an unload.
Owned<gsl_rng, gsl_rng_free> g_stream;

}  // namespace

void open_random_stream() { g_stream.reset(allocate_gated(gsl_rng_alloc, gsl_rng_mt19937)); }

void close_random_stream() { g_stream.reset(); }

gsl_rng* random_stream() {
    if (g_stream == nullptr) open_random_stream();
    return g_stream.get();
}

bool reseed_random_stream(uint64_t s) {
    gsl_rng* r = random_stream();
    if (r == nullptr) return false;
    // unsigned long has 32 bits on Windows and 64 on Linux: the same seed on both.
    gsl_rng_set(r, static_cast<unsigned long>(s & 0xFFFFFFFFu));
    return true;
}

}  // namespace hostmath::special
