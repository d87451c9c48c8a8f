// SPDX-License-Identifier: GPL-3.0-or-later
// A least-significant-digit radix sort on the keys of data/sorting.h: stable
// by construction, linear in n, and free of comparisons whose outcome a NaN
// would spoil. Short runs take an insertion sort, which needs no counts.
#include "data/sorting.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace hostmath::data {

namespace {

constexpr int kDigitBits = 8;
constexpr int kDigits = 64 / kDigitBits;
constexpr size_t kBuckets = size_t{1} << kDigitBits;
// Below this many elements the passes' counts cost more than they save.
constexpr int64_t kInsertionLimit = 48;

size_t digit(double x, int d) { return static_cast<size_t>(sort_key(x) >> (d * kDigitBits)) & (kBuckets - 1); }

void insertion_sort(double* x, int64_t n) {
    for (int64_t i = 1; i < n; ++i) {
        const double v = x[i];
        const uint64_t key = sort_key(v);
        int64_t j = i;
        // Strictly greater: an equal key stays behind, which keeps the order.
        for (; j > 0 && sort_key(x[j - 1]) > key; --j) x[j] = x[j - 1];
        x[j] = v;
    }
}

void radix_sort(double* x, int64_t n, double* buffer) {
    std::array<std::array<int64_t, kBuckets>, kDigits> counts{};
    for (int64_t i = 0; i < n; ++i) {
        const uint64_t key = sort_key(x[i]);
        for (int d = 0; d < kDigits; ++d) ++counts[d][static_cast<size_t>(key >> (d * kDigitBits)) & (kBuckets - 1)];
    }
    double* from = x;
    double* to = buffer;
    for (int d = 0; d < kDigits; ++d) {
        std::array<int64_t, kBuckets>& offset = counts[d];
        // A digit that every element shares moves nothing.
        if (offset[digit(from[0], d)] == n) continue;
        int64_t next = 0;
        for (int64_t& c : offset) {
            const int64_t here = c;
            c = next;
            next += here;
        }
        for (int64_t i = 0; i < n; ++i) {
            const double v = from[i];
            to[offset[digit(v, d)]++] = v;
        }
        std::swap(from, to);
    }
    if (from != x) std::memcpy(x, from, static_cast<size_t>(n) * sizeof(double));
}

}  // namespace

void stable_sort_values(double* x, int64_t n, double* buffer) {
    if (n <= kInsertionLimit) {
        insertion_sort(x, n);
    } else {
        radix_sort(x, n, buffer);
    }
}

}  // namespace hostmath::data
