// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks of the matrix product share: square operands of
// uniform random values, and the timing loop of one product with its
// GFLOP/s counter.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#ifdef HOSTMATH_HAVE_OPENBLAS
#include <cblas.h>
#endif

struct Operands {
    std::vector<double> a, b, c;
};

inline Operands operands(int64_t n) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    Operands o{std::vector<double>(n * n), std::vector<double>(n * n), std::vector<double>(n * n)};
    for (double& x : o.a) x = dist(rng);
    for (double& x : o.b) x = dist(rng);
    return o;
}

// Times product(a, b, c, n) on n x n operands; 2 n^3 operations per product.
template <class Product>
void time_product(benchmark::State& state, int64_t n, Product product) {
    Operands o = operands(n);
    for (auto _ : state) {
        product(o.a.data(), o.b.data(), o.c.data(), n);
        benchmark::DoNotOptimize(o.c.data());
        benchmark::ClobberMemory();
    }
    state.counters["GFLOPS"] = benchmark::Counter(2.0 * n * n * n * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

#ifdef HOSTMATH_HAVE_OPENBLAS
// The reference: OpenBLAS dgemm, c = a b on row-major n x n operands.
inline void openblas_product(const double* a, const double* b, double* c, int64_t n) {
    const int ni = static_cast<int>(n);
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, ni, ni, ni, 1.0, a, ni, b, ni, 0.0, c, ni);
}
#endif
