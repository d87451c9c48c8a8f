// SPDX-License-Identifier: GPL-3.0-or-later
// What splitting work across threads costs, and from what size it pays:
// - starting and joining a team per operation, against waking the threads
//   of a team that lives for the whole operation (what an operation of many
//   parallel steps does);
// - each split operation on one and on two threads over a range of sizes
//   around its threshold, so the crossover can be read off the table.
// Prints the thread counts it used.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/ratio_reporter.h"
#include "kernels/matmul.h"
#include "kernels/parallel.h"
#include "ops/binary.h"
#include "ops/transpose.h"

namespace {

namespace parallel = hostmath::parallel;

void BM_TeamStartJoin(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        parallel::Team team(threads);
        team.for_ranges(0, threads, 1, [](int64_t, int64_t) {});
    }
}

void BM_TeamWake(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    parallel::Team team(threads);
    for (auto _ : state) team.for_ranges(0, threads, 1, [](int64_t, int64_t) {});
}

std::vector<double> ramp(int64_t n) {
    std::vector<double> v(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) v[i] = 1e-6 * static_cast<double>(i % 1000);
    return v;
}

// Elements on a number of threads (each loop forced to use them all).
void BM_Add(benchmark::State& state) {
    const int64_t n = state.range(0);
    const int threads = static_cast<int>(state.range(1));
    parallel::set_thread_limit(threads);
    const std::vector<double> a = ramp(n), b = ramp(n);
    std::vector<double> r(static_cast<size_t>(n));
    for (auto _ : state) {
        hostmath::combine_elements(a.data(), b.data(), r.data(), n, 1, [](double x, double y) { return x + y; });
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Exp(benchmark::State& state) {
    const int64_t n = state.range(0);
    const int threads = static_cast<int>(state.range(1));
    parallel::set_thread_limit(threads);
    const std::vector<double> a = ramp(n);
    std::vector<double> r(static_cast<size_t>(n));
    for (auto _ : state) {
        hostmath::map_elements(a.data(), r.data(), n, 1, [](double x) { return std::exp(x); });
        benchmark::DoNotOptimize(r.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Transpose(benchmark::State& state) {
    const int64_t side = state.range(0);
    const int threads = static_cast<int>(state.range(1));
    const std::vector<double> a = ramp(side * side);
    std::vector<double> t(a.size());
    for (auto _ : state) {
        hostmath::transpose_elements(a.data(), side, side, t.data(), threads);
        benchmark::DoNotOptimize(t.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

void BM_Product(benchmark::State& state) {
    const int64_t n = state.range(0);
    const int threads = static_cast<int>(state.range(1));
    const std::vector<double> a = ramp(n * n), b = ramp(n * n);
    std::vector<double> c(a.size());
    for (auto _ : state) {
        hostmath::multiply_with(hostmath::best_kernel(), a.data(), b.data(), c.data(), n, n, n, threads);
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n * n * n);
}

void teams(benchmark::internal::Benchmark* b) {
    for (int t : {2, 4, 8}) b->Arg(t);
    b->UseRealTime();
}
void sizes(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> ns) {
    for (int64_t n : ns) {
        for (int t : {1, 2}) b->Args({n, t});
    }
    b->UseRealTime();
}

BENCHMARK(BM_TeamStartJoin)->Apply(teams);
BENCHMARK(BM_TeamWake)->Apply(teams);
BENCHMARK(BM_Add)->Apply([](auto* b) { sizes(b, {1 << 14, 1 << 16, 1 << 17, 1 << 18, 1 << 20}); });
BENCHMARK(BM_Exp)->Apply([](auto* b) { sizes(b, {1 << 10, 1 << 12, 1 << 13, 1 << 14, 1 << 16}); });
BENCHMARK(BM_Transpose)->Apply([](auto* b) { sizes(b, {128, 256, 362, 512, 1024}); });
BENCHMARK(BM_Product)->Apply([](auto* b) { sizes(b, {32, 64, 96, 128, 192, 256}); });

// Two threads' time over one thread's, per size: below 1 the split pays.
void print_crossovers(const RatioReporter& reporter) {
    for (const char* name : {"BM_Add", "BM_Exp", "BM_Transpose", "BM_Product"}) {
        std::printf("\n%s: time on 2 threads / time on 1 thread\n", name);
        for (const auto& [key, times] : reporter.all()) {
            const std::string prefix = std::string(name) + "/";
            if (!key.starts_with(prefix) || !key.ends_with("/1")) continue;
            const std::string size = key.substr(prefix.size(), key.size() - prefix.size() - 2);
            const RatioReporter::Times* two = reporter.find(name, size + "/2");
            if (two != nullptr) std::printf("  %-8s %6.3f\n", size.c_str(), two->real / times.real);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("hardware threads: %d; this benchmark uses 1 and 2 (teams of 2, 4 and 8)\n",
                parallel::hardware_threads());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_crossovers(reporter);
    return 0;
}
