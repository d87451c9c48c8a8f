// SPDX-License-Identifier: GPL-3.0-or-later
// How the matrix product scales with threads: the library's product (the
// kernel operator "*" uses) and OpenBLAS dgemm, each on 1 to all hardware
// threads, on square matrices of n = 256, 512, 1024 and 2048. After the runs
// it prints, per size and thread count, the speed-up over one thread and the
// speed as a fraction of OpenBLAS on the same number of threads (target at
// least 0.9). It also measures the processor's own ceiling for a product that
// rounds every multiplication (bench/arithmetic_ceiling.h) and prints how
// close the library comes to it, and what fraction of OpenBLAS that ceiling
// is: the most any bit-identical product can reach here. With
// --benchmark_out=FILE --benchmark_out_format=json the figures feed
// scripts/plots.sh.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/arithmetic_ceiling.h"
#include "bench/product_timing.h"
#include "bench/ratio_reporter.h"
#include "kernels/matmul.h"
#include "kernels/parallel.h"

namespace {

constexpr int64_t kSizes[] = {256, 512, 1024, 2048};

void BM_Library(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(1));
    time_product(state, state.range(0), [threads](const double* a, const double* b, double* c, int64_t n) {
        hostmath::multiply_with(hostmath::best_kernel(), a, b, c, n, n, n, threads);
    });
}

#ifdef HOSTMATH_HAVE_OPENBLAS
void BM_OpenBLAS(benchmark::State& state) {
    openblas_set_num_threads(static_cast<int>(state.range(1)));
    time_product(state, state.range(0), openblas_product);
}
#endif

std::vector<int> thread_counts() {
    std::vector<int> counts;
    for (int t = 1; t <= hostmath::parallel::hardware_threads(); ++t) counts.push_back(t);
    return counts;
}

void arguments(benchmark::internal::Benchmark* b) {
    for (int64_t n : kSizes) {
        for (int t : thread_counts()) b->Args({n, t});
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);
}

// The rate of a run that does `flops` operations per iteration, in GFLOP/s;
// 0 when it did not run.
double gflops(const RatioReporter::Times* t, double flops) { return t == nullptr ? 0.0 : flops / t->real / 1e9; }

// Per thread count: the rates of separate and fused multiply-adds, the
// library's best product rate as a fraction of the separate rate, and the
// separate rate as a fraction of OpenBLAS's best product rate.
void print_ceiling(const RatioReporter& reporter) {
    if (reporter.find("BM_Arithmetic", "0/1") == nullptr) return;
    std::printf("\nthe ceiling (%s vectors): separate multiply and add, each rounded, against fused multiply-add\n",
                arithmetic_ceiling::vectors());
    for (int t : thread_counts()) {
        const double flops = arithmetic_ceiling::flops_per_iteration(t);
        const double separate = gflops(reporter.find("BM_Arithmetic", "0/" + std::to_string(t)), flops);
        const double fused = gflops(reporter.find("BM_Arithmetic", "1/" + std::to_string(t)), flops);
        if (separate <= 0.0 || fused <= 0.0) continue;
        double library = 0.0, blas = 0.0;
        for (int64_t n : kSizes) {
            const std::string args = std::to_string(n) + "/" + std::to_string(t);
            const double product = 2.0 * static_cast<double>(n) * static_cast<double>(n) * static_cast<double>(n);
            library = std::max(library, gflops(reporter.find("BM_Library", args), product));
            blas = std::max(blas, gflops(reporter.find("BM_OpenBLAS", args), product));
        }
        std::printf("  %2d threads: separate %6.1f GFLOP/s, fused %6.1f (separate/fused %.2f); library's best product"
                    " %.2f of the separate ceiling",
                    t, separate, fused, separate / fused, library / separate);
        if (blas > 0.0) std::printf("; the ceiling is %.2f of OpenBLAS's best", separate / blas);
        std::printf("\n");
    }
}

void print_ratios(const RatioReporter& reporter) {
    for (int64_t n : kSizes) {
        const RatioReporter::Times* one = reporter.find("BM_Library", std::to_string(n) + "/1");
        if (one == nullptr) continue;
        std::printf("\nn = %lld: speed-up over one thread, and speed as a fraction of OpenBLAS on as many threads\n",
                    static_cast<long long>(n));
        for (int t : thread_counts()) {
            const std::string args = std::to_string(n) + "/" + std::to_string(t);
            const RatioReporter::Times* lib = reporter.find("BM_Library", args);
            const RatioReporter::Times* blas = reporter.find("BM_OpenBLAS", args);
            if (lib == nullptr) continue;
            std::printf("  %2d threads: %9.3f ms  x%5.2f over one thread", t, lib->real * 1e3, one->real / lib->real);
            if (blas != nullptr) std::printf("   %5.3f of OpenBLAS (%.3f ms)", blas->real / lib->real, blas->real * 1e3);
            std::printf("\n");
        }
    }
    print_ceiling(reporter);
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("hardware threads: %d; thread counts used: 1 to %d; kernel: %s\n",
                hostmath::parallel::hardware_threads(), hostmath::parallel::hardware_threads(),
                hostmath::kernel_name(hostmath::best_kernel()));
    benchmark::RegisterBenchmark("BM_Library", BM_Library)->Apply(arguments);
    arithmetic_ceiling::register_ceiling(thread_counts());
#ifdef HOSTMATH_HAVE_OPENBLAS
    std::printf("OpenBLAS core: %s\n", openblas_get_corename());
    benchmark::RegisterBenchmark("BM_OpenBLAS", BM_OpenBLAS)->Apply(arguments);
#else
    std::printf("OpenBLAS not found: no comparison with it\n");
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratios(reporter);
    return 0;
}
