// SPDX-License-Identifier: GPL-3.0-or-later
// Element-wise "+" on two arrays of 10^7 elements through the host's
// operator call (hostsim's dispatcher, operator code 0) against a plain loop
// that writes a freshly allocated result. Both sides pay for a new result
// of the same size and free it again, so the ratio measures the library's
// overhead and loop. Prints reference time / library time on one thread
// (target >= 0.9), and the speed-up of "+" and exp (operator code 51) on
// each thread count the machine has, the library loaded with
// HOSTMATH_THREADS set to it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"
#include "kernels/parallel.h"

namespace {

constexpr int64_t kElements = 10'000'000;

constexpr int32_t kAdd = 0, kExp = 51;

std::vector<double> ramp(double start) {
    std::vector<double> v(static_cast<size_t>(kElements));
    for (size_t i = 0; i < v.size(); ++i) v[i] = start + 1e-3 * static_cast<double>(i % 20000);  // exp stays finite
    return v;
}

void through_host(benchmark::State& state, int32_t code, int operand_count) {
    hostsim::Host& host = loaded_host(kElements, static_cast<int>(state.range(0)));
    std::vector<HostValue> operands{host.array({kElements}, ramp(1e-7)), host.array({kElements}, ramp(-3.0))};
    operands.resize(static_cast<size_t>(operand_count));
    for (auto _ : state) {
        HostValue r = host.apply(code, operands);
        benchmark::DoNotOptimize(r);
        if (!host.release(r)) state.SkipWithError("no array came back");
    }
    for (const HostValue& v : operands) host.release(v);
    state.SetItemsProcessed(state.iterations() * kElements);
}

void BM_AddThroughHost(benchmark::State& state) { through_host(state, kAdd, 2); }
void BM_ExpThroughHost(benchmark::State& state) { through_host(state, kExp, 1); }

void BM_AddPlainLoop(benchmark::State& state) {
    const std::vector<double> a = ramp(1.0);
    const std::vector<double> b = ramp(-3.0);
    for (auto _ : state) {
        double* r = new double[static_cast<size_t>(kElements)];
        for (int64_t i = 0; i < kElements; ++i) r[i] = a[static_cast<size_t>(i)] + b[static_cast<size_t>(i)];
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
        delete[] r;
    }
    state.SetItemsProcessed(state.iterations() * kElements);
}

BENCHMARK(BM_AddPlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
void thread_counts(benchmark::internal::Benchmark* b) {
    for (int t = 1; t <= hostmath::parallel::hardware_threads(); ++t) b->Arg(t);
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
}
BENCHMARK(BM_AddThroughHost)->Apply(thread_counts);
BENCHMARK(BM_ExpThroughHost)->Apply(thread_counts);

}  // namespace

int main(int argc, char** argv) {
    std::printf("hardware threads: %d; thread counts used: 1 to %d\n", hostmath::parallel::hardware_threads(),
                hostmath::parallel::hardware_threads());
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const RatioReporter::Times* plain = reporter.find("BM_AddPlainLoop");
    const RatioReporter::Times* library = reporter.find("BM_AddThroughHost", "1");
    if (plain != nullptr && library != nullptr) {
        std::printf("speed of + on 1e7 elements on one thread relative to a plain loop: %.3f (target >= 0.9)\n",
                    plain->real / library->real);
    }
    for (const char* name : {"BM_AddThroughHost", "BM_ExpThroughHost"})
        reporter.print_speedups(name, "1e7 elements", hostmath::parallel::hardware_threads());
    unload_host();
    benchmark::Shutdown();
    return 0;
}
