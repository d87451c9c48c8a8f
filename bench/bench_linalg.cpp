// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the linear-algebra functions through the stand-in host, against
// LAPACK from OpenBLAS on as many threads (where it is installed):
// - solve (n = 1000, one right-hand side), det and chol (n = 1000) against
//   dgesv, dgetrf and dpotrf, on one thread and on every hardware thread;
// - solve and chol against dgesv and dpotrf over n = 250 to 2000, with a
//   GFLOP/s counter each (2/3 n^3 and 1/3 n^3), for the pictures that
//   scripts/plots.sh linalg draws;
// - lstsq (1000 x 200), eig (symmetric and general, n = 500) and svd
//   (500 x 300) against dgels, dsyevd, dgeev and dgesvd, printed only.
// LAPACK works on a fresh copy of its input in every iteration, as the
// library does. After the runs it prints each ratio, and, since solve, det
// and chol keep every multiplication and subtraction rounded on its own,
// the same ratios read against this processor's ceiling for separately
// rounded multiply-adds (BM_Arithmetic, measured in the same run): the
// fraction of its fused rate that any bit-exact elimination can reach.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/arithmetic_ceiling.h"
#include "bench/loaded_host.h"
#include "bench/random_matrix.h"
#include "bench/ratio_reporter.h"
#include "kernels/parallel.h"

#ifdef HOSTMATH_HAVE_OPENBLAS
#include <cblas.h>
extern "C" {
void dgesv_(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b, const int* ldb, int* info);
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info);
void dgels_(const char* trans, const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b,
            const int* ldb, double* work, const int* lwork, int* info);
void dsyevd_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
             const int* lwork, int* iwork, const int* liwork, int* info);
void dgeev_(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr, double* wi,
            double* vl, const int* ldvl, double* vr, const int* ldvr, double* work, const int* lwork, int* info);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info);
}
#endif

namespace {

constexpr int64_t kOrder = 1000;

int hardware() { return hostmath::parallel::hardware_threads(); }

// A symmetric positive definite matrix: the random one times its transpose, plus n on the diagonal.
std::vector<double> spd_matrix(int64_t n) {
    const std::vector<double> m = random_matrix(n);
    std::vector<double> a(static_cast<size_t>(n * n));
    for (int64_t i = 0; i < n; ++i) {
        for (int64_t j = 0; j <= i; ++j) {
            double s = 0.0;
            for (int64_t k = 0; k < n; ++k) s += m[static_cast<size_t>(i * n + k)] * m[static_cast<size_t>(j * n + k)];
            a[static_cast<size_t>(i * n + j)] = a[static_cast<size_t>(j * n + i)] = s + (i == j ? static_cast<double>(n) : 0.0);
        }
    }
    return a;
}

// A script call per iteration, its result released.
void through_host(benchmark::State& state, const char* key, const std::vector<std::vector<int64_t>>& shapes,
                  const std::vector<std::vector<double>>& inputs, int threads, int outs = 0) {
    hostsim::Host& host = loaded_host(int64_t{1} << 24, threads);
    std::vector<HostValue> args;
    for (size_t i = 0; i < shapes.size(); ++i) args.push_back(host.array(shapes[i], inputs[i]));
    for (auto _ : state) {
        std::vector<HostValue> call = args;
        for (int o = 0; o < outs; ++o) call.push_back(make_empty());
        const HostValue r = host.call(key, call);
        if (!host.errors().empty() || (r.base_type == kTypeRealArray && !host.release(r)))
            state.SkipWithError("the call failed");
        for (int o = 0; o < outs; ++o) host.release(call[args.size() + static_cast<size_t>(o)]);
    }
    for (const HostValue& a : args) host.release(a);
}

const std::vector<double>& square_input() {
    static const std::vector<double> a = random_matrix(kOrder);
    return a;
}
const std::vector<double>& spd_input() {
    static const std::vector<double> a = spd_matrix(kOrder);
    return a;
}

void BM_Solve(benchmark::State& state) {
    through_host(state, "math::solve", {{kOrder, kOrder}, {kOrder}}, {square_input(), random_values(kOrder, 3)},
                 static_cast<int>(state.range(0)));
}
void BM_Det(benchmark::State& state) {
    through_host(state, "math::det", {{kOrder, kOrder}}, {square_input()}, static_cast<int>(state.range(0)));
}
void BM_Chol(benchmark::State& state) {
    through_host(state, "math::chol", {{kOrder, kOrder}}, {spd_input()}, static_cast<int>(state.range(0)));
}
void BM_Lstsq(benchmark::State& state) {
    through_host(state, "math::lstsq", {{1000, 200}, {1000}}, {random_values(200000, 4), random_values(1000, 5)},
                 static_cast<int>(state.range(0)));
}
void BM_EigSymmetric(benchmark::State& state) {
    through_host(state, "math::eig", {{500, 500}}, {spd_matrix(500)}, static_cast<int>(state.range(0)), 1);
}
void BM_EigGeneral(benchmark::State& state) {
    through_host(state, "math::eig", {{500, 500}}, {random_matrix(500)}, static_cast<int>(state.range(0)), 1);
}
void BM_Svd(benchmark::State& state) {
    through_host(state, "math::svd", {{500, 300}}, {random_values(150000, 6)}, static_cast<int>(state.range(0)), 2);
}

// Operations of a factorisation of order n, for the GFLOP/s counters.
double lu_flops(int64_t n) { return 2.0 / 3.0 * static_cast<double>(n) * static_cast<double>(n) * static_cast<double>(n); }
double chol_flops(int64_t n) { return lu_flops(n) / 2.0; }

void set_rate(benchmark::State& state, double flops) {
    state.counters["GFLOPS"] = benchmark::Counter(flops * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

// Arguments: n and the thread count.
void BM_SolveN(benchmark::State& state) {
    const int64_t n = state.range(0);
    through_host(state, "math::solve", {{n, n}, {n}}, {random_matrix(n), random_values(n, 3)},
                 static_cast<int>(state.range(1)));
    set_rate(state, lu_flops(n));
}
void BM_CholN(benchmark::State& state) {
    const int64_t n = state.range(0);
    through_host(state, "math::chol", {{n, n}}, {spd_matrix(n)}, static_cast<int>(state.range(1)));
    set_rate(state, chol_flops(n));
}

#ifdef HOSTMATH_HAVE_OPENBLAS
// LAPACK on a fresh copy per iteration (column-major: the transpose of the
// row-major input, which for these timings is as good as the input itself).
template <class Run>
void lapack(benchmark::State& state, const std::vector<double>& input, Run run, int threads_arg = 0) {
    openblas_set_num_threads(static_cast<int>(state.range(threads_arg)));
    std::vector<double> a(input.size());
    for (auto _ : state) {
        std::memcpy(a.data(), input.data(), input.size() * sizeof(double));
        if (run(a.data()) != 0) state.SkipWithError("LAPACK failed");
        benchmark::ClobberMemory();
    }
}

void BM_Dgesv(benchmark::State& state) {
    const int n = kOrder, one = 1;
    std::vector<int> ipiv(n);
    const std::vector<double> b0 = random_values(kOrder, 3);
    std::vector<double> b(b0);
    lapack(state, square_input(), [&](double* a) {
        b = b0;
        int info = 0;
        dgesv_(&n, &one, a, &n, ipiv.data(), b.data(), &n, &info);
        return info;
    });
}
void BM_Dgetrf(benchmark::State& state) {
    const int n = kOrder;
    std::vector<int> ipiv(n);
    lapack(state, square_input(), [&](double* a) {
        int info = 0;
        dgetrf_(&n, &n, a, &n, ipiv.data(), &info);
        return info;
    });
}
void BM_Dpotrf(benchmark::State& state) {
    const int n = kOrder;
    lapack(state, spd_input(), [&](double* a) {
        int info = 0;
        dpotrf_("L", &n, a, &n, &info);
        return info;
    });
}
void BM_DgesvN(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0)), one = 1;
    std::vector<int> ipiv(static_cast<size_t>(n));
    const std::vector<double> b0 = random_values(n, 3);
    std::vector<double> b(b0);
    lapack(
        state, random_matrix(n),
        [&](double* a) {
            b = b0;
            int info = 0;
            dgesv_(&n, &one, a, &n, ipiv.data(), b.data(), &n, &info);
            return info;
        },
        1);
    set_rate(state, lu_flops(n));
}
void BM_DpotrfN(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    lapack(
        state, spd_matrix(n),
        [&](double* a) {
            int info = 0;
            dpotrf_("L", &n, a, &n, &info);
            return info;
        },
        1);
    set_rate(state, chol_flops(n));
}
void BM_Dgels(benchmark::State& state) {
    const int m = 1000, n = 200, one = 1, lwork = 64 * 1000;
    std::vector<double> work(lwork);
    const std::vector<double> b0 = random_values(1000, 5);
    std::vector<double> b(b0);
    lapack(state, random_values(200000, 4), [&](double* a) {
        b = b0;
        int info = 0;
        dgels_("N", &m, &n, &one, a, &m, b.data(), &m, work.data(), &lwork, &info);
        return info;
    });
}
void BM_Dsyevd(benchmark::State& state) {
    const int n = 500, lwork = 1 + 6 * n + 2 * n * n, liwork = 3 + 5 * n;
    std::vector<double> w(n), work(lwork);
    std::vector<int> iwork(liwork);
    lapack(state, spd_matrix(500), [&](double* a) {
        int info = 0;
        dsyevd_("V", "L", &n, a, &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
        return info;
    });
}
void BM_Dgeev(benchmark::State& state) {
    const int n = 500, one = 1, lwork = 8 * n;
    std::vector<double> wr(n), wi(n), vr(static_cast<size_t>(n) * n), work(lwork);
    lapack(state, random_matrix(500), [&](double* a) {
        int info = 0;
        dgeev_("N", "V", &n, a, &n, wr.data(), wi.data(), nullptr, &one, vr.data(), &n, work.data(), &lwork, &info);
        return info;
    });
}
void BM_Dgesvd(benchmark::State& state) {
    const int m = 500, n = 300, lwork = 8 * 500 * 4;
    std::vector<double> s(n), u(static_cast<size_t>(m) * n), vt(static_cast<size_t>(n) * n), work(lwork);
    lapack(state, random_values(150000, 6), [&](double* a) {
        int info = 0;
        dgesvd_("S", "S", &m, &n, a, &m, s.data(), u.data(), &m, vt.data(), &n, work.data(), &lwork, &info);
        return info;
    });
}
#endif

struct Pair {
    const char* library;
    const char* reference;
    bool exact;  // bit-exact elimination: read against the separately rounded ceiling too
};
constexpr Pair kPairs[] = {
    {"BM_Solve", "BM_Dgesv", true},          {"BM_Det", "BM_Dgetrf", true},          {"BM_Chol", "BM_Dpotrf", true},
    {"BM_Lstsq", "BM_Dgels", false},         {"BM_EigSymmetric", "BM_Dsyevd", false}, {"BM_EigGeneral", "BM_Dgeev", false},
    {"BM_Svd", "BM_Dgesvd", false},
};

// The separately rounded rate as a fraction of the fused one, on `threads` threads.
double ceiling_fraction(const RatioReporter& reporter, int threads) {
    const std::string t = std::to_string(threads);
    const RatioReporter::Times* separate = reporter.find("BM_Arithmetic", "0/" + t);
    const RatioReporter::Times* fused = reporter.find("BM_Arithmetic", "1/" + t);
    if (separate == nullptr || fused == nullptr) return 0.0;
    return fused->real / separate->real;  // the same work: the inverse ratio of the times
}

void print_ratios(const RatioReporter& reporter, const std::vector<int>& thread_counts) {
    for (int threads : thread_counts) {
        const std::string t = std::to_string(threads);
        const double ceiling = ceiling_fraction(reporter, threads);
        std::printf("\n%d thread(s): speed as a fraction of LAPACK", threads);
        if (ceiling > 0.0) std::printf(" (separately rounded ceiling: %.3f of the fused rate)", ceiling);
        std::printf("\n");
        for (const Pair& p : kPairs) {
            const RatioReporter::Times* lib = reporter.find(p.library, t);
            const RatioReporter::Times* ref = reporter.find(p.reference, t);
            if (lib == nullptr) continue;
            std::printf("  %-16s %9.2f ms", p.library + 3, lib->real * 1e3);
            if (ref != nullptr) {
                std::printf("   %-7s %9.2f ms   %5.3f of LAPACK", p.reference + 3, ref->real * 1e3, ref->real / lib->real);
                if (p.exact && ceiling > 0.0) std::printf("   %5.3f against the ceiling", ref->real / lib->real / ceiling);
            }
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> thread_counts{1};
    if (hardware() > 1) thread_counts.push_back(hardware());
    auto add = [&](const char* name, void (*fn)(benchmark::State&)) {
        auto* b = benchmark::RegisterBenchmark(name, fn);
        for (int t : thread_counts) b->Arg(t);
        b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
    };
    add("BM_Solve", BM_Solve);
    add("BM_Det", BM_Det);
    add("BM_Chol", BM_Chol);
    add("BM_Lstsq", BM_Lstsq);
    add("BM_EigSymmetric", BM_EigSymmetric);
    add("BM_EigGeneral", BM_EigGeneral);
    add("BM_Svd", BM_Svd);
    auto add_sizes = [&](const char* name, void (*fn)(benchmark::State&)) {
        auto* b = benchmark::RegisterBenchmark(name, fn);
        for (int64_t n : {250, 500, 1000, 2000}) {
            for (int t : thread_counts) b->Args({n, t});
        }
        b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
    };
    add_sizes("BM_SolveN", BM_SolveN);
    add_sizes("BM_CholN", BM_CholN);
#ifdef HOSTMATH_HAVE_OPENBLAS
    std::printf("OpenBLAS core: %s\n", openblas_get_corename());
    add("BM_Dgesv", BM_Dgesv);
    add("BM_Dgetrf", BM_Dgetrf);
    add("BM_Dpotrf", BM_Dpotrf);
    add("BM_Dgels", BM_Dgels);
    add("BM_Dsyevd", BM_Dsyevd);
    add("BM_Dgeev", BM_Dgeev);
    add("BM_Dgesvd", BM_Dgesvd);
    add_sizes("BM_DgesvN", BM_DgesvN);
    add_sizes("BM_DpotrfN", BM_DpotrfN);
#else
    std::printf("OpenBLAS not found: no comparison with LAPACK\n");
#endif
    arithmetic_ceiling::register_ceiling(thread_counts);
    RatioReporter reporter;
    reporter.run(argc, argv, 3);
    benchmark::Shutdown();
    unload_host();
    print_ratios(reporter, thread_counts);
    return 0;
}
