// Element-wise "+" on two arrays of 10^7 elements through the host's
// operator call (hostsim's dispatcher, operator code 0) against a plain loop
// that writes a freshly allocated result. Both sides pay for a new result
// of the same size and free it again, so the ratio measures the library's
// overhead and loop. Prints reference time / library time (target >= 0.9).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

namespace {

constexpr int64_t kElements = 10'000'000;

std::vector<double> ramp(double start) {
    std::vector<double> v(static_cast<size_t>(kElements));
    for (size_t i = 0; i < v.size(); ++i) v[i] = start + 0.5 * static_cast<double>(i);
    return v;
}

void BM_AddThroughHost(benchmark::State& state) {
    hostsim::Host& host = loaded_host(kElements);
    std::vector<HostValue> operands{host.array({kElements}, ramp(1.0)), host.array({kElements}, ramp(-3.0))};
    for (auto _ : state) {
        HostValue r = host.apply(0, operands);
        benchmark::DoNotOptimize(r);
        if (!host.release(r)) state.SkipWithError("no array came back");
    }
    host.release(operands[0]);
    host.release(operands[1]);
    state.SetItemsProcessed(state.iterations() * kElements);
}

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
BENCHMARK(BM_AddThroughHost)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);


}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const RatioReporter::Times* plain = reporter.find("BM_AddPlainLoop");
    const RatioReporter::Times* library = reporter.find("BM_AddThroughHost");
    if (plain != nullptr && library != nullptr) {
        std::printf("speed of + on 1e7 elements relative to a plain loop: %.3f (target >= 0.9)\n",
                    plain->real / library->real);
    }
    unload_host();
    benchmark::Shutdown();
    return 0;
}
