// SPDX-License-Identifier: GPL-3.0-or-later
// Quadrature through the library against GSL called directly.
//
// Each integral runs twice with the same plain C++ integrand: once through
// the library, as a script function of the stand-in host (its lean raw
// body) that the registered driver integrates, and once as a gsl_function
// handed straight to the same GSL routine with a workspace of the same size.
// Both sides allocate and free their workspace per integral. The tolerances
// are tight so that every integral makes a good number of evaluations, and
// the evaluations per integral are shown as a counter.
//
// At the end one line per integral gives the ratio of library time to
// native time, each the least CPU time per integral over the repetitions
// (the target is at most 1.3). A short run:
//   bench_quadrature --benchmark_min_time=0.2 --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_sf_bessel.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

namespace {

double gauss(double x) { return std::exp(-x * x); }
double inverse_sqrt(double x) { return 1.0 / std::sqrt(x); }
double bell(double x) { return 1.0 / (1.0 + x * x); }
double smooth(double x) { return std::cos(x) * std::exp(x); }
// A costlier integrand, closer to what a script function costs.
double bessel(double x) { return gsl_sf_bessel_J0(x); }

// The two wrappings of one C++ integrand.
template <double (*Phi)(double)>
HostValue script_body(HostValue* params, void*) {
    return make_real(Phi(params[0].real()));
}
template <double (*Phi)(double)>
double gsl_body(double x, void*) {
    return Phi(x);
}

struct Integral {
    const char* name;
    const char* key;  // the library's function
    hostsim::RawScriptBody script;
    double (*native)(double, void*);
    std::vector<HostValue> rest;  // the arguments after f
    // The same integral with GSL directly.
    int (*direct)(gsl_function*, gsl_integration_workspace*, double*, double*);
};

constexpr size_t kLimit = 100;

std::vector<Integral> integrals() {
    const HostValue tight = make_real(1e-13);
    const HostValue zero = make_real(0.0);
    const HostValue limit = make_integer(kLimit);
    return {
        {"qag_gauss41_exp(-x^2)_[0,1]", "math::gsl_qag", script_body<gauss>, gsl_body<gauss>,
         {zero, make_real(1.0), zero, tight, limit, make_integer(GSL_INTEG_GAUSS41)},
         [](gsl_function* f, gsl_integration_workspace* w, double* r, double* e) {
             return gsl_integration_qag(f, 0.0, 1.0, 0.0, 1e-13, kLimit, GSL_INTEG_GAUSS41, w, r, e);
         }},
        {"qag_gauss15_exp(-x^2)_[0,10]", "math::gsl_qag", script_body<gauss>, gsl_body<gauss>,
         {zero, make_real(10.0), zero, tight, limit, make_integer(GSL_INTEG_GAUSS15)},
         [](gsl_function* f, gsl_integration_workspace* w, double* r, double* e) {
             return gsl_integration_qag(f, 0.0, 10.0, 0.0, 1e-13, kLimit, GSL_INTEG_GAUSS15, w, r, e);
         }},
        {"qags_1/sqrt(x)_[0,1]", "math::gsl_qags", script_body<inverse_sqrt>, gsl_body<inverse_sqrt>,
         {zero, make_real(1.0), zero, make_real(1e-12), limit},
         [](gsl_function* f, gsl_integration_workspace* w, double* r, double* e) {
             return gsl_integration_qags(f, 0.0, 1.0, 0.0, 1e-12, kLimit, w, r, e);
         }},
        {"qagi_1/(1+x^2)", "math::gsl_qagi", script_body<bell>, gsl_body<bell>, {zero, make_real(1e-10), limit},
         [](gsl_function* f, gsl_integration_workspace* w, double* r, double* e) {
             return gsl_integration_qagi(f, 0.0, 1e-10, kLimit, w, r, e);
         }},
        {"qawc_cos(x)e^x/(x-0.5)_[-1,1]", "math::gsl_qawc", script_body<smooth>, gsl_body<smooth>,
         {make_real(-1.0), make_real(1.0), make_real(0.5), zero, make_real(1e-10), limit},
         [](gsl_function* f, gsl_integration_workspace* w, double* r, double* e) {
             return gsl_integration_qawc(f, -1.0, 1.0, 0.5, 0.0, 1e-10, kLimit, w, r, e);
         }},
        {"qag_gauss21_J0(x)_[0,50]", "math::gsl_qag", script_body<bessel>, gsl_body<bessel>,
         {zero, make_real(50.0), zero, tight, limit, make_integer(GSL_INTEG_GAUSS21)},
         [](gsl_function* f, gsl_integration_workspace* w, double* r, double* e) {
             return gsl_integration_qag(f, 0.0, 50.0, 0.0, 1e-13, kLimit, GSL_INTEG_GAUSS21, w, r, e);
         }},
    };
}

// The library side: the registered driver called as the host calls it.
void run_library(benchmark::State& state, const Integral& integral) {
    hostsim::Host& host = hostsim::Host::get();
    const ScriptFn driver = host.function_key(integral.key)->fn;
    std::vector<HostValue> args{host.function(1, integral.script, nullptr)};
    args.insert(args.end(), integral.rest.begin(), integral.rest.end());
    const int64_t last = static_cast<int64_t>(args.size()) - 1;
    const int64_t evaluations_before = host.qecal_calls();
    HostValue result{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(driver(&result, last, args.data(), host.context()));
        benchmark::ClobberMemory();
    }
    if (result.base_type != kTypeReal || !host.errors().empty()) {
        state.SkipWithError("the library refused the integral");
    }
    state.counters["evaluations"] = static_cast<double>(host.qecal_calls() - evaluations_before) /
                                    static_cast<double>(state.iterations());
    state.counters["value"] = result.real();
}

// The native side: the same GSL routine with the integrand as a gsl_function.
void run_native(benchmark::State& state, const Integral& integral) {
    gsl_function f{integral.native, nullptr};
    double value = 0.0, abserr = 0.0;
    int status = 0;
    for (auto _ : state) {
        gsl_integration_workspace* w = gsl_integration_workspace_alloc(kLimit);
        status = integral.direct(&f, w, &value, &abserr);
        gsl_integration_workspace_free(w);
        benchmark::DoNotOptimize(value);
        benchmark::ClobberMemory();
    }
    if (status != GSL_SUCCESS) state.SkipWithError("GSL failed on the integral");
    state.counters["value"] = value;
}

}  // namespace

int main(int argc, char** argv) {
    HostedLibrary library;

    const std::vector<Integral> all = integrals();
    for (const Integral& integral : all) {
        benchmark::RegisterBenchmark((std::string("library/") + integral.name).c_str(), run_library, integral);
        benchmark::RegisterBenchmark((std::string("native/") + integral.name).c_str(), run_native, integral);
    }
    RatioReporter reporter;
    reporter.run(argc, argv);

    std::printf("\nlibrary / native time per integral (target <= 1.3), and the library's extra time per evaluation:\n");
    for (const Integral& integral : all) {
        const RatioReporter::Times* library = reporter.find(std::string("library/") + integral.name);
        const RatioReporter::Times* native = reporter.find(std::string("native/") + integral.name);
        if (library == nullptr || native == nullptr) continue;
        const double evaluations = library->counters.count("evaluations") ? library->counters.at("evaluations") : 0.0;
        if (evaluations > 0.0) {
            std::printf("  %-32s ratio %.3f   %4.0f evaluations   %+.1f ns per evaluation\n", integral.name,
                        library->cpu / native->cpu, evaluations, (library->cpu - native->cpu) * 1e9 / evaluations);
        }
    }
    benchmark::Shutdown();
    return 0;
}
