// SPDX-License-Identifier: GPL-3.0-or-later
// The ceiling a product that rounds every multiplication can reach on this
// processor, measured rather than assumed.
//
// The library's product adds each term as a multiplication followed by an
// addition, both rounded, because that is what makes it bit-identical to the
// ascending loop; a BLAS dgemm issues one fused multiply-add per term. Where
// the processor executes multiplications, additions and fused operations on
// the same pipes (recent Intel cores), a term costs the library two
// instructions and the BLAS one, so the library can reach at most half of the
// fused rate; where additions have pipes of their own (AMD Zen 4), both reach
// the same rate. BM_Arithmetic measures both rates with independent
// accumulators, on the widest vectors the processor has, on 1 to all threads.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define HOSTMATH_BENCH_CEILING 1
#endif

namespace arithmetic_ceiling {

#ifdef HOSTMATH_BENCH_CEILING

constexpr int64_t kRounds = 4'000'000;

// acc[i] = acc[i] + a * b over 4 kA accumulators, kRounds times: kA
// multipliers a and four b give each accumulator a pair (a, b) of its own,
// so that no two products are the same, and enough accumulators to cover the
// latency of either kind. The multipliers pass through an empty asm
// statement each round so that no multiplication is hoisted out of the loop.
// Returns a lane of the sum so that nothing is dropped. One definition per
// vector width, each compiled for its own instruction set.
#define HOSTMATH_CEILING_ROUNDS(name, isa, reg, kA, V, mul, add, fma, set)        \
    template <bool kFused>                                                        \
    __attribute__((target(isa))) double name() {                                  \
        constexpr int kAcc = 4 * (kA);                                            \
        V acc[kAcc], a[kA], b[4];                                                 \
        for (int i = 0; i < kAcc; ++i) acc[i] = set(0.5 + i);                     \
        for (int i = 0; i < (kA); ++i) a[i] = set(1.0000003 + 1e-7 * i);          \
        for (int i = 0; i < 4; ++i) b[i] = set(0.999999 + 1e-7 * i);              \
        for (int64_t r = 0; r < kRounds; ++r) {                                   \
            _Pragma("GCC unroll 4") for (int i = 0; i < (kA); ++i) __asm__ volatile("" : "+" reg(a[i])); \
            _Pragma("GCC unroll 4") for (int i = 0; i < 4; ++i) __asm__ volatile("" : "+" reg(b[i]));    \
            _Pragma("GCC unroll 16") for (int i = 0; i < kAcc; ++i) {             \
                if constexpr (kFused) {                                           \
                    acc[i] = fma(a[i / 4], b[i % 4], acc[i]);                     \
                } else {                                                          \
                    acc[i] = add(acc[i], mul(a[i / 4], b[i % 4]));                \
                }                                                                 \
            }                                                                     \
        }                                                                         \
        V total = acc[0];                                                         \
        for (int i = 1; i < kAcc; ++i) total = add(total, acc[i]);                \
        double lanes[sizeof(V) / sizeof(double)];                                 \
        __builtin_memcpy(lanes, &total, sizeof(V));                               \
        return lanes[0];                                                          \
    }

HOSTMATH_CEILING_ROUNDS(rounds512, "avx512f", "v", 3, __m512d, _mm512_mul_pd, _mm512_add_pd, _mm512_fmadd_pd, _mm512_set1_pd)
HOSTMATH_CEILING_ROUNDS(rounds256, "avx2,fma", "x", 2, __m256d, _mm256_mul_pd, _mm256_add_pd, _mm256_fmadd_pd, _mm256_set1_pd)
#undef HOSTMATH_CEILING_ROUNDS

inline bool has_avx512() { return __builtin_cpu_supports("avx512f"); }
inline bool has_fma() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }
inline int lanes() { return has_avx512() ? 8 : 4; }
// Multiply-adds per round: the accumulators of each width.
inline int accumulators() { return has_avx512() ? 12 : 8; }
inline const char* vectors() { return has_avx512() ? "512-bit" : "256-bit"; }

// One thread's rounds, on the widest vectors that have a fused multiply-add.
inline double rounds(bool fused) {
    if (has_avx512()) return fused ? rounds512<true>() : rounds512<false>();
    return fused ? rounds256<true>() : rounds256<false>();
}

// Operations of one BM_Arithmetic iteration on `threads` threads (two per
// multiply-add).
inline double flops_per_iteration(int threads) {
    return 2.0 * lanes() * accumulators() * static_cast<double>(kRounds) * threads;
}

// Arguments: fused (1) or separate (0), and the thread count. The counter is
// the rate of all threads together, in GFLOP/s (two per multiply-add).
inline void BM_Arithmetic(benchmark::State& state) {
    const bool fused = state.range(0) != 0;
    const int threads = static_cast<int>(state.range(1));
    std::vector<double> sinks(static_cast<size_t>(threads));
    for (auto _ : state) {
        std::vector<std::thread> team;
        for (int t = 1; t < threads; ++t) team.emplace_back([&sinks, t, fused] { sinks[t] = rounds(fused); });
        sinks[0] = rounds(fused);
        for (std::thread& worker : team) worker.join();
        benchmark::DoNotOptimize(sinks.data());
    }
    const double flops = flops_per_iteration(threads);
    state.counters["GFLOPS"] = benchmark::Counter(flops * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

// Registers BM_Arithmetic for both kinds on each thread count, where the
// processor has the fused operation to compare with.
inline void register_ceiling(const std::vector<int>& thread_counts) {
    if (!has_fma()) return;
    auto* b = benchmark::RegisterBenchmark("BM_Arithmetic", BM_Arithmetic);
    for (int t : thread_counts) b->Args({0, t})->Args({1, t});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.2)->Repetitions(3);
}

#else

inline void register_ceiling(const std::vector<int>&) {}
inline double flops_per_iteration(int) { return 0.0; }
inline const char* vectors() { return "no"; }

#endif

}  // namespace arithmetic_ceiling
