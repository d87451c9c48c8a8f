// SPDX-License-Identifier: GPL-3.0-or-later
// The order the data functions sort by: ascending, NaN after everything,
// and -0 equal to +0, so that a stable sort keeps zeros (and NaNs) in the
// order they came in. Host-free.
#pragma once

#include <bit>
#include <cstdint>

namespace hostmath::data {

// An unsigned key whose order is that order: equal keys for -0 and +0, one
// key above +infinity for every NaN.
inline uint64_t sort_key(double x) {
    if (x != x) return ~uint64_t{0};
    const uint64_t bits = std::bit_cast<uint64_t>(x == 0.0 ? 0.0 : x);
    // Negative numbers reversed below the positive ones.
    return (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
}

// Sorts x[0 .. n) stably in that order; `buffer` has room for n doubles.
void stable_sort_values(double* x, int64_t n, double* buffer);

}  // namespace hostmath::data
