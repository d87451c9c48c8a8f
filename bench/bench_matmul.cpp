// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the matrix product of operator "*": the straightforward
// ascending triple loop, OpenBLAS dgemm on one thread (where it is
// installed), and each of our kernels that this processor runs, on square
// matrices of n = 256 and n = 1024. After the runs it prints, for every
// size, each contender's time relative to the triple loop and to OpenBLAS.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/product_timing.h"
#include "bench/ratio_reporter.h"
#include "kernels/matmul.h"

namespace {

using hostmath::MatmulKernel;

// The product exactly as its definition reads.
void straightforward(const double* a, const double* b, double* c, int64_t m, int64_t k, int64_t n) {
    for (int64_t i = 0; i < m; ++i) {
        for (int64_t j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int64_t p = 0; p < k; ++p) sum = sum + a[i * k + p] * b[p * n + j];
            c[i * n + j] = sum;
        }
    }
}

void BM_Straightforward(benchmark::State& state) {
    time_product(state, state.range(0), [](const double* a, const double* b, double* c, int64_t n) {
        straightforward(a, b, c, n, n, n);
    });
}

void BM_Kernel(benchmark::State& state, MatmulKernel kernel) {
    time_product(state, state.range(0), [kernel](const double* a, const double* b, double* c, int64_t n) {
        hostmath::multiply_with(kernel, a, b, c, n, n, n);
    });
}

void BM_Unpacked(benchmark::State& state) {
    time_product(state, state.range(0), [](const double* a, const double* b, double* c, int64_t n) {
        hostmath::multiply_unpacked(a, b, c, n, n, n);
    });
}

#ifdef HOSTMATH_HAVE_OPENBLAS
void BM_OpenBLAS(benchmark::State& state) {
    time_product(state, state.range(0), openblas_product);
}
#endif

// Few iterations: the machine is shared, and the triple loop at n = 1024
// takes seconds by itself.
void sizes(benchmark::internal::Benchmark* b) { b->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond); }
void timed_sizes(benchmark::internal::Benchmark* b) {
    sizes(b);
    b->MinTime(0.3);
}

// Times per product at each size, as ratios to the triple loop and to OpenBLAS.
void print_ratios(const RatioReporter& reporter) {
    for (const std::string size : {"256", "1024"}) {
        const auto seconds = [&](const std::string& name) {
            const RatioReporter::Times* t = reporter.find(name, size);
            return t == nullptr ? 0.0 : t->real;
        };
        const double loop = seconds("BM_Straightforward");
        const double blas = seconds("BM_OpenBLAS");
        const std::string suffix = "/" + size;
        std::printf("\nn = %s: speed-up over the triple loop, and speed as a fraction of OpenBLAS\n", size.c_str());
        for (const auto& [key, times] : reporter.all()) {
            if (!key.ends_with(suffix)) continue;
            const double t = times.real;
            std::printf("  %-24s %9.3f ms", key.substr(0, key.size() - suffix.size()).c_str(), t * 1e3);
            if (loop > 0) std::printf("   x%6.2f vs loop", loop / t);
            if (blas > 0) std::printf("   %5.3f of OpenBLAS", blas / t);
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef HOSTMATH_HAVE_OPENBLAS
    openblas_set_num_threads(1);
    std::printf("OpenBLAS core: %s, threads: %d\n", openblas_get_corename(), openblas_get_num_threads());
    benchmark::RegisterBenchmark("BM_OpenBLAS", BM_OpenBLAS)->Apply(timed_sizes);
#else
    std::printf("OpenBLAS not found: no comparison with it\n");
#endif
    benchmark::RegisterBenchmark("BM_Straightforward", BM_Straightforward)->Apply(sizes)->Iterations(1);
    benchmark::RegisterBenchmark("BM_Unpacked", BM_Unpacked)->Apply(timed_sizes);
    for (MatmulKernel kernel : hostmath::kAllMatmulKernels) {
        if (!hostmath::kernel_supported(kernel)) {
            std::printf("kernel %s: not supported here\n", hostmath::kernel_name(kernel));
            continue;
        }
        benchmark::RegisterBenchmark((std::string("BM_Kernel_") + hostmath::kernel_name(kernel)).c_str(),
                                     BM_Kernel, kernel)
            ->Apply(timed_sizes);
    }
    std::printf("best kernel: %s\n", hostmath::kernel_name(hostmath::best_kernel()));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratios(reporter);
    return 0;
}
