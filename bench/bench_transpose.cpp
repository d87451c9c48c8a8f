// The tiled transpose against the plain double loop on a large matrix.
// Prints the plain/tiled time ratio after the table (above 1: tiling wins).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

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

// Console output as usual, keeping each run's time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int64_t n : {kSize, kSize + 3}) {
        char plain_name[96];
        char tiled_name[96];
        std::snprintf(plain_name, sizeof plain_name, "BM_TransposePlain/%lld/min_time:0.500", static_cast<long long>(n));
        std::snprintf(tiled_name, sizeof tiled_name, "BM_TransposeTiled/%lld/min_time:0.500", static_cast<long long>(n));
        const auto plain = reporter.times.find(plain_name);
        const auto tiled = reporter.times.find(tiled_name);
        if (plain == reporter.times.end() || tiled == reporter.times.end()) continue;
        std::printf("transpose %lldx%lld: plain / tiled = %.2f\n", static_cast<long long>(n), static_cast<long long>(n),
                    plain->second / tiled->second);
    }
    benchmark::Shutdown();
    return 0;
}
