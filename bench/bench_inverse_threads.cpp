// SPDX-License-Identifier: GPL-3.0-or-later
// How the matrix inversion behind math::inv scales with threads:
// - inv through the stand-in host at n = 1000 and 2000, the library loaded
//   with HOSTMATH_THREADS = 1 to every hardware thread. After the runs it
//   prints the speed-up over one thread in real time, and in the calling
//   thread's CPU time, which shows how evenly the work is split even where
//   the other threads find no free core;
// - where sharing a step pays: the elimination of order 512 on two threads
//   with the least work a thread must get per step (min_per_thread) set from
//   2^12 to 2^18 elements, and orders 181 to 724 on one and two threads with
//   the library's threshold (kInverseElementsPerThread).
// Prints the thread counts it used.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/random_matrix.h"
#include "bench/ratio_reporter.h"
#include "kernels/inverse.h"
#include "kernels/parallel.h"

namespace {

constexpr int64_t kHostSizes[] = {1000, 2000};
constexpr int64_t kShareOrder = 512;
constexpr int64_t kOrders[] = {181, 256, 362, 512, 724};

int hardware() { return hostmath::parallel::hardware_threads(); }

// inv through the host: the result array is created, filled, inverted and
// released in each iteration.
void BM_InvThroughHost(benchmark::State& state) {
    const int64_t n = state.range(0);
    hostsim::Host& host = loaded_host(kHostSizes[std::size(kHostSizes) - 1] * kHostSizes[std::size(kHostSizes) - 1],
                                      static_cast<int>(state.range(1)));
    const HostValue a = host.array({n, n}, random_matrix(n));
    for (auto _ : state) {
        const HostValue r = host.call("math::inv", {a});
        if (!host.errors().empty() || !host.release(r)) state.SkipWithError("inv failed");
    }
    host.release(a);
}

// The elimination alone (the input copy is not timed).
void invert(benchmark::State& state, int64_t n, int threads, int64_t min_per_thread) {
    const std::vector<double> input = random_matrix(n);
    std::vector<double> a(input.size());
    std::vector<int64_t> rows(static_cast<size_t>(n)), cols(rows);
    for (auto _ : state) {
        state.PauseTiming();
        a = input;
        state.ResumeTiming();
        const hostmath::Inversion result = hostmath::invert_with(hostmath::inverse_kernel(), a.data(), n, rows.data(),
                                                                 cols.data(), threads, min_per_thread);
        if (result != hostmath::Inversion::kInverted) state.SkipWithError("not inverted");
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

// Args: threads, log2 of min_per_thread.
void BM_StepShare(benchmark::State& state) {
    invert(state, kShareOrder, static_cast<int>(state.range(0)), int64_t{1} << state.range(1));
}

// Args: n, threads.
void BM_Order(benchmark::State& state) {
    invert(state, state.range(0), static_cast<int>(state.range(1)), hostmath::kInverseElementsPerThread);
}

void print_ratios(const RatioReporter& reporter) {
    for (int64_t n : kHostSizes) {
        const RatioReporter::Times* one = reporter.find("BM_InvThroughHost", std::to_string(n) + "/1");
        if (one == nullptr) continue;
        std::printf("\ninv, n = %lld: speed-up over one thread (real time; calling thread's CPU time)\n",
                    static_cast<long long>(n));
        for (int t = 1; t <= hardware(); ++t) {
            const RatioReporter::Times* times = reporter.find("BM_InvThroughHost", std::to_string(n) + "/" + std::to_string(t));
            if (times == nullptr) continue;
            std::printf("  %2d threads: %9.1f ms  x%5.2f   CPU %9.1f ms  x%5.2f\n", t, times->real * 1e3,
                        one->real / times->real, times->cpu * 1e3, one->cpu / times->cpu);
        }
    }
    if (const RatioReporter::Times* one = reporter.find("BM_StepShare", "1/30")) {
        std::printf("\nn = %lld on 2 threads / 1 thread, by the least elements per thread and step\n",
                    static_cast<long long>(kShareOrder));
        for (int shift = 12; shift <= 18; ++shift) {
            if (const RatioReporter::Times* two = reporter.find("BM_StepShare", "2/" + std::to_string(shift)))
                std::printf("  2^%d: real %6.3f  CPU %6.3f\n", shift, two->real / one->real, two->cpu / one->cpu);
        }
    }
    std::printf("\nat the library's threshold, 2 threads / 1 thread, by order\n");
    for (int64_t n : kOrders) {
        const RatioReporter::Times* one = reporter.find("BM_Order", std::to_string(n) + "/1");
        const RatioReporter::Times* two = reporter.find("BM_Order", std::to_string(n) + "/2");
        if (one != nullptr && two != nullptr)
            std::printf("  %4lld: real %6.3f  CPU %6.3f\n", static_cast<long long>(n), two->real / one->real,
                        two->cpu / one->cpu);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("hardware threads: %d; thread counts used: 1 to %d through the host, 1 and 2 for the threshold\n",
                hardware(), hardware());
    benchmark::RegisterBenchmark("BM_InvThroughHost", BM_InvThroughHost)->Apply([](auto* b) {
        for (int64_t n : kHostSizes) {
            for (int t = 1; t <= hardware(); ++t) b->Args({n, t});
        }
        b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.2);
    });
    benchmark::RegisterBenchmark("BM_StepShare", BM_StepShare)->Apply([](auto* b) {
        b->Args({1, 30});
        for (int shift = 12; shift <= 18; ++shift) b->Args({2, shift});
        b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);
    });
    benchmark::RegisterBenchmark("BM_Order", BM_Order)->Apply([](auto* b) {
        for (int64_t n : kOrders) {
            for (int t : {1, 2}) b->Args({n, t});
        }
        b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);
    });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_ratios(reporter);
    unload_host();
    benchmark::Shutdown();
    return 0;
}
