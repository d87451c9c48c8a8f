// SPDX-License-Identifier: GPL-3.0-or-later
// The generator behind math::random: one GSL mt19937 for the library,
// created with GSL's default seed when the library is loaded, freed when it
// is unloaded, advanced by every draw and reseeded by math::randseed. Only
// the host's thread draws from it. rand and randn keep their own generators
// (array/random.h).
#pragma once

#include <gsl/gsl_rng.h>

#include <cstdint>

namespace hostmath::special {

// At load: a fresh generator with GSL's default seed. Should the allocation
// fail, the first draw or reseed tries again, so a script still sees the
// stream of a fresh load.
void open_random_stream();
// At unload (and when the library is unloaded without one).
void close_random_stream();

// The generator; null only when it cannot be allocated.
gsl_rng* random_stream();

// Seeds the generator with the low 32 bits of s (what GSL's mt19937 takes
// on every platform; 0 is GSL's default seed). False when the generator
// cannot be allocated.
bool reseed_random_stream(uint64_t s);

}  // namespace hostmath::special
