// SPDX-License-Identifier: GPL-3.0-or-later
// The input of the inversion benchmarks: an n x n matrix of values uniform
// in [-1, 1), the same for every run.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

inline std::vector<double> random_matrix(int64_t n) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> a(static_cast<size_t>(n * n));
    for (double& x : a) x = dist(rng);
    return a;
}
