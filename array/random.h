// SPDX-License-Identifier: GPL-3.0-or-later
// The library's two pseudo-random generators: one for uniform numbers, one
// for approximately normal numbers. Each is a 16-bit linear congruential
// generator, process-wide, 0 when the module is loaded and never reseeded,
// so every load of the module gives a script the same sequences. The two
// states are separate and never influence each other; every function that
// draws (rand, randn, the random fills of subg) shares them through here.
#pragma once

#include <span>

namespace hostmath {

// Advances the uniform state once: a multiple of 1/65536 in [0, 1).
double draw_uniform();
// Advances the normal state twelve times and returns
// (sum of the twelve numbers - 6) * deviation + mean.
double draw_normal(double mean, double deviation);

// Fill every element in storage order with the next draw, element 0 first.
void fill_uniform(std::span<double> elements);
void fill_standard_normal(std::span<double> elements);  // mean 0, deviation 1

}  // namespace hostmath
