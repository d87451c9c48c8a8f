// SPDX-License-Identifier: GPL-3.0-or-later
// The tiled transpose against the plain double loop on a large matrix, and
// the tiled transpose of 4096 x 4096 on each thread count the machine has.
// Prints the plain/tiled time ratio after the table (above 1: tiling wins)
// and the speed-up over one thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "kernels/parallel.h"
#include "ops/transpose.h"

namespace {

constexpr int64_t kSize = 4096;

struct Matrices {
    std::vector<double> a, t;
    explicit Matrices(int64_t n) : a(static_cast<size_t>(n * n)), t(static_cast<size_t>(n * n)) {
        for (size_t k = 0; k < a.size(); ++k) a[k] = static_cast<double>(k);
    }
};

// The reference: the transpose as the textbook double loop writes it.
void plain_transpose(const double* a, int64_t rows, int64_t cols, double* t) {
    for (int64_t i = 0; i < rows; ++i) {
        for (int64_t j = 0; j < cols; ++j) t[j * rows + i] = a[i * cols + j];
    }
}

void BM_TransposePlain(benchmark::State& state) {
    const int64_t n = state.range(0);
    Matrices m(n);
    for (auto _ : state) {
        plain_transpose(m.a.data(), n, n, m.t.data());
        benchmark::DoNotOptimize(m.t.data());
        benchmark::ClobberMemory();
    }
}

void BM_TransposeTiled(benchmark::State& state) {
    const int64_t n = state.range(0);
    Matrices m(n);
    for (auto _ : state) {
        hostmath::transpose_elements(m.a.data(), n, n, m.t.data());
        benchmark::DoNotOptimize(m.t.data());
        benchmark::ClobberMemory();
    }
}

void BM_TransposeThreads(benchmark::State& state) {
    Matrices m(kSize);
    const int threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        hostmath::transpose_elements(m.a.data(), kSize, kSize, m.t.data(), threads);
        benchmark::DoNotOptimize(m.t.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_TransposePlain)->Arg(kSize)->Arg(kSize + 3)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_TransposeTiled)->Arg(kSize)->Arg(kSize + 3)->Unit(benchmark::kMillisecond)->MinTime(0.5);


}  // namespace

int main(int argc, char** argv) {
    const int hardware = hostmath::parallel::hardware_threads();
    std::printf("hardware threads: %d; thread counts used: 1 to %d\n", hardware, hardware);
    benchmark::RegisterBenchmark("BM_TransposeThreads", BM_TransposeThreads)
        ->DenseRange(1, hardware)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(0.5);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int64_t n : {kSize, kSize + 3}) {
        const RatioReporter::Times* plain = reporter.find("BM_TransposePlain", std::to_string(n));
        const RatioReporter::Times* tiled = reporter.find("BM_TransposeTiled", std::to_string(n));
        if (plain == nullptr || tiled == nullptr) continue;
        std::printf("transpose %lldx%lld: plain / tiled = %.2f\n", static_cast<long long>(n), static_cast<long long>(n),
                    plain->cpu / tiled->cpu);
    }
    if (const RatioReporter::Times* one = reporter.find("BM_TransposeThreads", "1")) {
        std::printf("transpose %lldx%lld, speed-up over one thread:", static_cast<long long>(kSize),
                    static_cast<long long>(kSize));
        for (int t = 1; t <= hardware; ++t) {
            if (const RatioReporter::Times* times = reporter.find("BM_TransposeThreads", std::to_string(t)))
                std::printf("  %d: x%.2f", t, one->real / times->real);
        }
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
