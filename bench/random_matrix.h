// SPDX-License-Identifier: GPL-3.0-or-later
// The input of the inversion benchmarks: an n x n matrix of values uniform
// in [-1, 1), the same for every run.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

// `count` values uniform in [-1, 1), the same for every run with one seed.
inline std::vector<double> random_values(int64_t count, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(static_cast<size_t>(count));
    for (double& x : v) x = dist(rng);
    return v;
}

inline std::vector<double> random_matrix(int64_t n) { return random_values(n * n, 7); }
