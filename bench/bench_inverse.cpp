// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the matrix inversion behind math::inv: the elimination exactly as
// it reads (one element at a time, full row and column swaps), each of our
// row kernels that this processor runs, and LAPACK dgetrf + dgetri from
// OpenBLAS on one thread (where it is installed; a reference only: it pivots
// partially and orders its sums its own way). Before timing, every kernel's
// result is checked bit for bit against the plain elimination. After the
// runs it prints, per size, each contender's speed-up over the plain one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/random_matrix.h"
#include "bench/ratio_reporter.h"
#include "kernels/inverse.h"

#ifdef HOSTMATH_HAVE_OPENBLAS
#include <cblas.h>
extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work, const int* lwork, int* info);
}
#endif

namespace {

using hostmath::MatmulKernel;

using Inversion = bool (*)(double* a, int64_t n, int64_t* rows, int64_t* cols);

// Times one inversion per iteration; the copy of the input is not timed.
void run(benchmark::State& state, const std::vector<double>& input, int64_t n, Inversion invert) {
    std::vector<double> a(input.size());
    std::vector<int64_t> rows(static_cast<size_t>(n)), cols(static_cast<size_t>(n));
    for (auto _ : state) {
        state.PauseTiming();
        a = input;
        state.ResumeTiming();
        if (!invert(a.data(), n, rows.data(), cols.data())) state.SkipWithError("singular");
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

void BM_Plain(benchmark::State& state) {
    const int64_t n = state.range(0);
    run(state, random_matrix(n), n, hostmath::invert_reference);
}

template <MatmulKernel K>
bool invert_kernel(double* a, int64_t n, int64_t* rows, int64_t* cols) {
    return hostmath::invert_with(K, a, n, rows, cols) == hostmath::Inversion::kInverted;
}

template <MatmulKernel K>
void BM_Kernel(benchmark::State& state) {
    const int64_t n = state.range(0);
    run(state, random_matrix(n), n, invert_kernel<K>);
}

#ifdef HOSTMATH_HAVE_OPENBLAS
bool invert_lapack(double* a, int64_t n64, int64_t*, int64_t*) {
    const int n = static_cast<int>(n64);
    static std::vector<int> ipiv;
    static std::vector<double> work;
    ipiv.resize(static_cast<size_t>(n));
    work.resize(static_cast<size_t>(64 * n));
    const int lwork = 64 * n;
    int info = 0;
    dgetrf_(&n, &n, a, &n, ipiv.data(), &info);
    if (info != 0) return false;
    dgetri_(&n, a, &n, ipiv.data(), work.data(), &lwork, &info);
    return info == 0;
}

void BM_Lapack(benchmark::State& state) {
    const int64_t n = state.range(0);
    run(state, random_matrix(n), n, invert_lapack);
}
#endif

// The kernel's inverse must equal the plain elimination's bit for bit.
bool agrees_with_plain(MatmulKernel kernel, int64_t n) {
    const std::vector<double> input = random_matrix(n);
    std::vector<double> plain = input, fast = input;
    std::vector<int64_t> r1(static_cast<size_t>(n)), c1(static_cast<size_t>(n)), r2(static_cast<size_t>(n)),
        c2(static_cast<size_t>(n));
    hostmath::invert_reference(plain.data(), n, r1.data(), c1.data());
    hostmath::invert_with(kernel, fast.data(), n, r2.data(), c2.data());
    return std::memcmp(plain.data(), fast.data(), plain.size() * sizeof(double)) == 0;
}

constexpr int64_t kSizes[] = {250, 1000};

void sizes(benchmark::internal::Benchmark* b) {
    for (int64_t n : kSizes) b->Arg(n);
    b->Unit(benchmark::kMillisecond);
}

void print_ratios(const RatioReporter& reporter) {
    for (int64_t n : kSizes) {
        const std::string size = std::to_string(n);
        const RatioReporter::Times* plain = reporter.find("BM_Plain", size);
        const RatioReporter::Times* lapack = reporter.find("BM_Lapack", size);
        const std::string suffix = "/" + size;
        std::printf("\nn = %s: speed-up over the plain elimination, and speed as a fraction of LAPACK\n",
                    size.c_str());
        for (const auto& [key, times] : reporter.all()) {
            if (!key.ends_with(suffix)) continue;
            std::printf("  %-24s %9.2f ms", key.substr(0, key.size() - suffix.size()).c_str(), times.real * 1e3);
            if (plain != nullptr) std::printf("   x%6.2f vs plain", plain->real / times.real);
            if (lapack != nullptr) std::printf("   %5.3f of LAPACK", lapack->real / times.real);
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    struct Contender {
        MatmulKernel kernel;
        void (*bench)(benchmark::State&);
    };
    const Contender contenders[] = {{MatmulKernel::kBaseline, BM_Kernel<MatmulKernel::kBaseline>},
                                    {MatmulKernel::kAvx2, BM_Kernel<MatmulKernel::kAvx2>},
                                    {MatmulKernel::kAvx512, BM_Kernel<MatmulKernel::kAvx512>}};
#ifdef HOSTMATH_HAVE_OPENBLAS
    openblas_set_num_threads(1);
    std::printf("OpenBLAS core: %s, threads: %d\n", openblas_get_corename(), openblas_get_num_threads());
    benchmark::RegisterBenchmark("BM_Lapack", BM_Lapack)->Apply(sizes);
#else
    std::printf("OpenBLAS not found: no comparison with LAPACK\n");
#endif
    benchmark::RegisterBenchmark("BM_Plain", BM_Plain)->Apply(sizes);
    for (const Contender& c : contenders) {
        const char* name = hostmath::kernel_name(c.kernel);
        if (!hostmath::kernel_supported(c.kernel)) {
            std::printf("kernel %s: not supported here\n", name);
            continue;
        }
        for (int64_t n : {7, 64, 250}) {
            if (!agrees_with_plain(c.kernel, n)) {
                std::printf("kernel %s differs from the plain elimination at n = %lld\n", name,
                            static_cast<long long>(n));
                return 1;
            }
        }
        benchmark::RegisterBenchmark((std::string("BM_Kernel_") + name).c_str(), c.bench)->Apply(sizes);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratios(reporter);
    return 0;
}
