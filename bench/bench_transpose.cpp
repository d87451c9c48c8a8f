// The tiled transpose against the plain double loop on a large matrix.
// Prints the plain/tiled time ratio after the table (above 1: tiling wins).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
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

BENCHMARK(BM_TransposePlain)->Arg(kSize)->Arg(kSize + 3)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_TransposeTiled)->Arg(kSize)->Arg(kSize + 3)->Unit(benchmark::kMillisecond)->MinTime(0.5);


}  // namespace

int main(int argc, char** argv) {
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
    benchmark::Shutdown();
    return 0;
}
