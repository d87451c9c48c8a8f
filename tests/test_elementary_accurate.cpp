// SPDX-License-Identifier: GPL-3.0-or-later
// The accurate path's memory (elementary/accurate.cpp): the arguments that
// ask MPFR for the most (trigonometric reduction of the largest doubles,
// results that may be subnormal, atan2 of very different magnitudes) take
// nothing from the heap and stay within kAccurateMemoryBound, on threads of
// their own arena and on more threads than there are arenas.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <iostream>
#include <latch>
#include <limits>
#include <thread>
#include <vector>

#include "elementary/accurate.h"

namespace {

namespace el = hostmath::elementary;
using el::Accurate;

constexpr double kMax = std::numeric_limits<double>::max();

template <Accurate F>
double one(double x, double) {
    return el::accurately(F, x);
}

// Each reaches MPFR from the library's own functions wholesale.
const struct {
    double (*f)(double, double);
    double a, b;
} kDemanding[] = {
    {one<Accurate::kSin>, kMax, 0},       {one<Accurate::kCos>, -0x1.ad6da62c784fap+1020, 0},
    {one<Accurate::kTan>, 1e308, 0},      {one<Accurate::kSin>, 0x1.8p+21, 0},
    {one<Accurate::kExp>, -744.9, 0},     {one<Accurate::kExp>, -708.5, 0},
    {el::accurate_atan2, 0x1p-1000, 1.5}, {el::accurate_pow, 0.75, 1800.25},
    {el::accurate_pow, 0x1.0000058b07f27p+0, 0x1.6146f9af72e9cp+35},
    // GSL's log1p and expm1 (the distributions' tails), atanh and acosh.
    {one<Accurate::kLog1p>, -0x1.fffffffffffffp-1, 0}, {one<Accurate::kExpm1>, 709.7, 0},
    {one<Accurate::kAtanh>, 0x1.fffffffffffffp-1, 0},  {one<Accurate::kAcosh>, kMax, 0},
};

std::vector<uint64_t> evaluate_all() {
    std::vector<uint64_t> bits;
    for (const auto& d : kDemanding) bits.push_back(std::bit_cast<uint64_t>(d.f(d.a, d.b)));
    return bits;
}

TEST(AccurateMemory, DemandingArgumentsStayWithinTheBound) {
    const std::vector<uint64_t> first = evaluate_all();
    // Warm caches give the same bits.
    EXPECT_EQ(evaluate_all(), first);
    EXPECT_EQ(el::accurate_memory().heap_requests, 0u);
    EXPECT_LE(el::accurate_memory().most_bytes, el::kAccurateMemoryBound);
    std::cout << "accurate path: at most " << el::accurate_memory().most_bytes << " bytes of an arena\n";
}

// More threads at once than there are arenas, each ending as the library's
// workers do: those without an arena share one, and every arena is handed
// back, so a second wave finds them free again.
TEST(AccurateMemory, ParallelThreadsBeyondTheArenasGetTheSameBits) {
    const std::vector<uint64_t> expected = evaluate_all();
    for (int wave = 0; wave < 2; ++wave) {
        const size_t threads = el::kAccurateArenas + 8;
        std::latch all_started(static_cast<ptrdiff_t>(threads));
        std::vector<std::vector<uint64_t>> got(threads);
        std::vector<std::thread> pool;
        for (size_t t = 0; t < threads; ++t) {
            pool.emplace_back([&, t] {
                all_started.arrive_and_wait();
                got[t] = evaluate_all();
                el::release_thread_caches();
            });
        }
        for (std::thread& t : pool) t.join();
        for (size_t t = 0; t < threads; ++t) EXPECT_EQ(got[t], expected) << "wave " << wave << ", thread " << t;
    }
    EXPECT_EQ(el::accurate_memory().heap_requests, 0u);
    EXPECT_LE(el::accurate_memory().most_bytes, el::kAccurateMemoryBound);
}

}  // namespace
