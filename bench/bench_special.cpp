// SPDX-License-Identifier: GPL-3.0-or-later
// The special functions and distributions per element: each through the
// host's call on an array of 2^16 elements, on one thread, against GSL's
// function called directly in a loop over the same data into a freshly
// allocated result (target: at most 1.1x GSL's time). The reference is the
// same GSL the library links, bound to the library's elementary functions
// (bench/CMakeLists.txt), so the ratio measures the call and the array walk
// alone. Then the speed-up of besselj and of cdf on 2^20 elements on each
// thread count the machine has.
#include <benchmark/benchmark.h>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_mode.h>
#include <gsl/gsl_sf_airy.h>
#include <gsl/gsl_sf_bessel.h>
#include <gsl/gsl_sf_erf.h>
#include <gsl/gsl_sf_expint.h>
#include <gsl/gsl_sf_gamma.h>
#include <gsl/gsl_sf_lambert.h>
#include <gsl/gsl_sf_psi.h>
#include <gsl/gsl_sf_zeta.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"
#include "kernels/parallel.h"

namespace {

constexpr int64_t kElements = int64_t{1} << 16;
constexpr int64_t kLargeElements = int64_t{1} << 20;

std::vector<double> spread(int64_t n, double lo, double hi) {
    std::vector<double> v(static_cast<size_t>(n));
    for (size_t i = 0; i < v.size(); ++i) v[i] = lo + (hi - lo) * static_cast<double>((i * 7919) % 10007) / 10007.0;
    return v;
}

template <class F, class... A>
double sf(F f, A... a) {
    gsl_sf_result r;
    f(a..., &r);
    return r.val;
}

struct Case {
    const char* name;
    const char* key;
    std::vector<HostValue> leading;  // numbers before the array
    std::vector<HostValue> trailing;  // numbers after it
    double lo, hi;                    // the array's range
    std::function<double(double)> direct;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        {"gamma", "math::gamma", {}, {}, 0.1, 170.0, [](double x) { return sf(gsl_sf_gamma_e, x); }},
        {"lgamma", "math::lgamma", {}, {}, 0.1, 1000.0, [](double x) { return sf(gsl_sf_lngamma_e, x); }},
        {"psi", "math::psi", {}, {}, 0.1, 100.0, [](double x) { return sf(gsl_sf_psi_e, x); }},
        {"erf", "math::erf", {}, {}, -5.0, 5.0, [](double x) { return sf(gsl_sf_erf_e, x); }},
        {"erfc", "math::erfc", {}, {}, -5.0, 25.0, [](double x) { return sf(gsl_sf_erfc_e, x); }},
        {"gammainc", "math::gammainc", {}, {make_real(3.5)}, 0.0, 20.0, [](double x) { return sf(gsl_sf_gamma_inc_P_e, 3.5, x); }},
        {"betainc", "math::betainc", {}, {make_real(2.5), make_real(4.0)}, 0.0, 1.0, [](double x) { return sf(gsl_sf_beta_inc_e, 2.5, 4.0, x); }},
        {"beta", "math::beta", {}, {make_real(2.5)}, 0.1, 50.0, [](double x) { return sf(gsl_sf_beta_e, x, 2.5); }},
        {"besselj", "math::besselj", {make_integer(3)}, {}, 0.0, 100.0, [](double x) { return sf(gsl_sf_bessel_Jn_e, 3, x); }},
        {"besselj nu", "math::besselj", {make_real(2.5)}, {}, 0.0, 100.0, [](double x) { return sf(gsl_sf_bessel_Jnu_e, 2.5, x); }},
        {"bessely", "math::bessely", {make_integer(1)}, {}, 0.1, 100.0, [](double x) { return sf(gsl_sf_bessel_Yn_e, 1, x); }},
        {"besseli", "math::besseli", {make_integer(2)}, {}, 0.0, 50.0, [](double x) { return sf(gsl_sf_bessel_In_e, 2, x); }},
        {"besselk", "math::besselk", {make_integer(2)}, {}, 0.1, 50.0, [](double x) { return sf(gsl_sf_bessel_Kn_e, 2, x); }},
        {"airy", "math::airy", {}, {}, -20.0, 20.0, [](double x) { return sf(gsl_sf_airy_Ai_e, x, gsl_mode_t{GSL_PREC_DOUBLE}); }},
        {"expint", "math::expint", {}, {}, 0.01, 50.0, [](double x) { return sf(gsl_sf_expint_E1_e, x); }},
        {"zeta", "math::zeta", {}, {}, 1.5, 50.0, [](double x) { return sf(gsl_sf_zeta_e, x); }},
        {"lambertw", "math::lambertw", {}, {}, 0.0, 100.0, [](double x) { return sf(gsl_sf_lambert_W0_e, x); }},
        {"cdf normal", "math::cdf", {make_integer(0)}, {make_real(1.0), make_real(2.0)}, -5.0, 7.0,
         [](double x) { return gsl_cdf_gaussian_P(x - 1.0, 2.0); }},
        {"cdf gamma", "math::cdf", {make_integer(3)}, {make_real(2.5), make_real(1.5)}, 0.0, 20.0,
         [](double x) { return gsl_cdf_gamma_P(x, 2.5, 1.5); }},
        {"icdf t", "math::icdf", {make_integer(6)}, {make_real(5.0)}, 0.001, 0.999,
         [](double q) { return gsl_cdf_tdist_Pinv(q, 5.0); }},
    };
    return table;
}

void BM_Library(benchmark::State& state, const Case* c) {
    hostsim::Host& host = loaded_host(kLargeElements, 1);
    std::vector<HostValue> args = c->leading;
    const HostValue x = host.array({kElements}, spread(kElements, c->lo, c->hi));
    args.push_back(x);
    args.insert(args.end(), c->trailing.begin(), c->trailing.end());
    for (auto _ : state) {
        HostValue r = host.call(c->key, args);
        benchmark::DoNotOptimize(r);
        if (!host.release(r)) state.SkipWithError("no array came back");
    }
    host.release(x);
    state.SetItemsProcessed(state.iterations() * kElements);
}

void BM_Direct(benchmark::State& state, const Case* c) {
    const std::vector<double> x = spread(kElements, c->lo, c->hi);
    for (auto _ : state) {
        double* r = new double[static_cast<size_t>(kElements)];
        for (int64_t i = 0; i < kElements; ++i) r[i] = c->direct(x[static_cast<size_t>(i)]);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
        delete[] r;
    }
    state.SetItemsProcessed(state.iterations() * kElements);
}

void BM_Threads(benchmark::State& state, const char* key, std::vector<HostValue> leading, std::vector<HostValue> trailing) {
    hostsim::Host& host = loaded_host(kLargeElements, static_cast<int>(state.range(0)));
    const HostValue x = host.array({kLargeElements}, spread(kLargeElements, 0.5, 60.0));
    leading.push_back(x);
    leading.insert(leading.end(), trailing.begin(), trailing.end());
    for (auto _ : state) {
        HostValue r = host.call(key, leading);
        benchmark::DoNotOptimize(r);
        if (!host.release(r)) state.SkipWithError("no array came back");
    }
    host.release(x);
    state.SetItemsProcessed(state.iterations() * kLargeElements);
}

}  // namespace

int main(int argc, char** argv) {
    gsl_set_error_handler_off();
    for (const Case& c : cases()) {
        benchmark::RegisterBenchmark((std::string("Direct/") + c.name).c_str(), BM_Direct, &c)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Library/") + c.name).c_str(), BM_Library, &c)->Unit(benchmark::kMillisecond);
    }
    auto threads = [](benchmark::internal::Benchmark* b) {
        for (int t = 1; t <= hostmath::parallel::hardware_threads(); ++t) b->Arg(t);
        b->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    benchmark::RegisterBenchmark("Threads/besselj", BM_Threads, "math::besselj", std::vector<HostValue>{make_real(2.5)},
                                 std::vector<HostValue>{})
        ->Apply(threads);
    benchmark::RegisterBenchmark("Threads/cdf", BM_Threads, "math::cdf", std::vector<HostValue>{make_integer(3)},
                                 std::vector<HostValue>{make_real(2.5), make_real(1.5)})
        ->Apply(threads);
    RatioReporter reporter;
    reporter.run(argc, argv, 3);
    std::printf("\nper element, library over GSL called directly, one thread (target <= 1.1):\n");
    for (const Case& c : cases()) {
        const RatioReporter::Times* direct = reporter.find(std::string("Direct/") + c.name);
        const RatioReporter::Times* library = reporter.find(std::string("Library/") + c.name);
        if (direct == nullptr || library == nullptr) continue;
        std::printf("  %-11s %7.1f ns  %7.1f ns  %.3f\n", c.name, 1e9 * direct->real / kElements,
                    1e9 * library->real / kElements, library->real / direct->real);
    }
    for (const char* name : {"Threads/besselj", "Threads/cdf"})
        reporter.print_speedups(name, "2^20 elements", hostmath::parallel::hardware_threads());
    unload_host();
    benchmark::Shutdown();
    return 0;
}
