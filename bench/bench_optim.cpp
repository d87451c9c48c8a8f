// SPDX-License-Identifier: GPL-3.0-or-later
// The searches of optim/ and gsl_cquad through the library against the same
// GSL routine driven directly.
//
// Each problem runs three times with the same plain C++ body, a script
// function of the stand-in host: once through the registered function, and
// twice in a GSL loop whose objective evaluates the same script function
// through the host's QeCal, writing the argument records and reading the
// value back as the library must (the host's floor). The bare loop makes no
// other host call; the asking loop also makes the calls the library must
// make by its contract: GetFor once per call, and TestRunErr on entry, after
// the evaluations that start a search and once per iteration. The ratio
// to the bare loop is what a script pays over GSL driven directly (the target
// is at most 1.1); the ratio to the asking loop is what the library adds of
// its own: its argument checks, its bookkeeping per iteration, its result.
// Each ratio is the median over the repetitions.
//
// A short run:
//   bench_optim --benchmark_min_time=0.2s --benchmark_repetitions=9
#include <benchmark/benchmark.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_min.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_multimin.h>
#include <gsl/gsl_roots.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

// The stand-in host's own entry points, as the library reaches them.
extern "C" HostValue* QeCal(HostValue* result_buf, void* handle, HostValue* args);
extern "C" int32_t TestRunErr(void);
extern "C" int32_t GetFor(void* reserved1, int64_t reserved2, int64_t fn_word, void** out_word, void** out_handle,
                          HostValue** out_params, int32_t* out_last_param);

namespace {

using Args = std::vector<HostValue>;

// ---- the script functions ------------------------------------------------------------

HostValue cos_minus_x(HostValue* p, void*) {
    const double x = p[0].real();
    return make_real(std::cos(x) - x);
}
HostValue quartic(HostValue* p, void*) {
    const double x = p[0].real();
    return make_real(x * x * x * x - 2.0 * x * x + 0.5 * x);
}
HostValue inverse_sqrt(HostValue* p, void*) { return make_real(1.0 / std::sqrt(p[0].real())); }
HostValue rosenbrock(HostValue* p, void*) {
    const double a = 1.0 - p[0].real();
    const double b = p[1].real() - p[0].real() * p[0].real();
    return make_real(a * a + 100.0 * b * b);
}
HostValue decay(HostValue* p, void*) { return make_real(p[1].real() * std::exp(p[2].real() * p[0].real())); }

// ---- the script function as GetFor gives it ---------------------------------------------------

struct HostShare {
    int64_t fn_word = 0;
    void* handle = nullptr;
    HostValue* params = nullptr;
};

HostShare resolve(int64_t fn_word) {
    HostShare share{.fn_word = fn_word};
    void* word = nullptr;
    int32_t last_param = 0;
    GetFor(nullptr, 0, share.fn_word, &word, &share.handle, &share.params, &last_param);
    return share;
}

// Whether a reference loop makes the host calls the library's contract asks
// for besides QeCal, or none.
enum class Asks { kNothing, kAsRequired };

// A pending-run-error test, where the library makes one.
template <Asks A>
void ask_pending() {
    if constexpr (A == Asks::kAsRequired) benchmark::DoNotOptimize(TestRunErr());
}

// The start of a call: the pending-run-error test and the lookup of f, which
// the library makes on every call.
template <Asks A>
HostShare enter(const HostShare& share) {
    if constexpr (A == Asks::kAsRequired) {
        ask_pending<A>();
        return resolve(share.fn_word);
    }
    return share;
}

double call_with(const HostShare& s, std::initializer_list<double> values) {
    size_t i = 0;
    for (double v : values) s.params[i++] = make_real(v);
    HostValue buffer;
    return QeCal(&buffer, s.handle, s.params)->real();
}

double scalar_objective(double x, void* share) { return call_with(*static_cast<HostShare*>(share), {x}); }

// The data of the fit: y = 2 exp(-0.15 x) with a small wobble, at 20 points.
struct FitData {
    std::vector<double> x, y;
};
FitData fit_data() {
    FitData d;
    for (int i = 0; i < 20; ++i) {
        d.x.push_back(0.5 * i);
        d.y.push_back(2.0 * std::exp(-0.15 * 0.5 * i) + 0.01 * std::sin(1.0 + i));
    }
    return d;
}

// ---- the problems ----------------------------------------------------------------------------------

// GSL driven directly, the objective through QeCal, making the host calls
// `A` says; returns a value to keep.
using Direct = double (*)(const HostShare&);

struct Problem {
    const char* name;
    const char* key;
    int32_t params;
    hostsim::RawScriptBody body;
    std::function<Args(hostsim::Host&, const HostValue& f)> args;
    Direct bare;
    Direct asking;
};

template <Asks A>
double direct_fzero(const HostShare& given) {
    HostShare share = enter<A>(given);
    gsl_function f{scalar_objective, &share};
    gsl_root_fsolver* s = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
    gsl_root_fsolver_set(s, &f, 0.0, 1.0);
    // The library evaluates the two ends itself and asks after each.
    ask_pending<A>();
    ask_pending<A>();
    int status = GSL_CONTINUE;
    for (int i = 0; i < 100 && status == GSL_CONTINUE; ++i) {
        gsl_root_fsolver_iterate(s);
        ask_pending<A>();
        status = gsl_root_test_interval(gsl_root_fsolver_x_lower(s), gsl_root_fsolver_x_upper(s), 1e-12, 1e-12);
    }
    const double root = gsl_root_fsolver_root(s);
    gsl_root_fsolver_free(s);
    return root;
}

template <Asks A>
double direct_fminbnd(const HostShare& given) {
    HostShare share = enter<A>(given);
    gsl_function f{scalar_objective, &share};
    const double g = 0.6180339887498949;
    const double fa = scalar_objective(0.0, f.params);
    ask_pending<A>();
    const double fb = scalar_objective(2.0, f.params);
    ask_pending<A>();
    const double x1 = 2.0 - g * 2.0, x2 = 0.0 + g * 2.0;
    const double f1 = scalar_objective(x1, f.params), f2 = scalar_objective(x2, f.params);
    ask_pending<A>();  // the first narrowing step, which finds the interior point here
    gsl_min_fminimizer* s = gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent);
    if (f1 <= f2) {
        gsl_min_fminimizer_set_with_values(s, &f, x1, f1, 0.0, fa, 2.0, fb);
    } else {
        gsl_min_fminimizer_set_with_values(s, &f, x2, f2, 0.0, fa, 2.0, fb);
    }
    ask_pending<A>();  // the set-up evaluates f once
    int status = GSL_CONTINUE;
    for (int i = 1; i < 100 && status == GSL_CONTINUE; ++i) {
        gsl_min_fminimizer_iterate(s);
        ask_pending<A>();
        status = gsl_min_test_interval(gsl_min_fminimizer_x_lower(s), gsl_min_fminimizer_x_upper(s), 1e-7, 1e-7);
    }
    const double x = gsl_min_fminimizer_x_minimum(s);
    gsl_min_fminimizer_free(s);
    return x;
}

template <Asks A>
double direct_fminsearch(const HostShare& given) {
    HostShare share = enter<A>(given);
    gsl_multimin_function f{[](const gsl_vector* v, void* s) {
                                return call_with(*static_cast<HostShare*>(s), {gsl_vector_get(v, 0), gsl_vector_get(v, 1)});
                            },
                            2, &share};
    gsl_vector* x = gsl_vector_alloc(2);
    gsl_vector* steps = gsl_vector_alloc(2);
    gsl_vector_set(x, 0, -1.2);
    gsl_vector_set(x, 1, 1.0);
    gsl_vector_set(steps, 0, 0.05 * 1.2);
    gsl_vector_set(steps, 1, 0.05 * 1.0);
    gsl_multimin_fminimizer* s = gsl_multimin_fminimizer_alloc(gsl_multimin_fminimizer_nmsimplex2, 2);
    gsl_multimin_fminimizer_set(s, &f, x, steps);
    int status = GSL_CONTINUE;
    for (int i = 0; i < 400 && status == GSL_CONTINUE; ++i) {
        ask_pending<A>();
        if (gsl_multimin_fminimizer_iterate(s) != GSL_SUCCESS) break;
        status = gsl_multimin_test_size(gsl_multimin_fminimizer_size(s), 1e-8);
    }
    ask_pending<A>();  // the library asks once more before it looks at the last test
    const double x0 = gsl_vector_get(s->x, 0);
    gsl_multimin_fminimizer_free(s);
    gsl_vector_free(steps);
    gsl_vector_free(x);
    return x0;
}

struct FitShare {
    const HostShare* share;
    const FitData* data;
};

template <Asks A>
double direct_lsqfit(const HostShare& given) {
    static const FitData data = fit_data();
    const HostShare share = enter<A>(given);
    FitShare fs{&share, &data};
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = [](const gsl_vector* p, void* s, gsl_vector* r) -> int {
        const auto* fs = static_cast<const FitShare*>(s);
        for (size_t i = 0; i < fs->data->x.size(); ++i) {
            const double v = call_with(*fs->share, {fs->data->x[i], gsl_vector_get(p, 0), gsl_vector_get(p, 1)});
            gsl_vector_set(r, i, 1.0 * (v - fs->data->y[i]));
        }
        return GSL_SUCCESS;
    };
    fdf.n = data.x.size();
    fdf.p = 2;
    fdf.params = &fs;
    const gsl_multifit_nlinear_parameters parameters = gsl_multifit_nlinear_default_parameters();
    gsl_multifit_nlinear_workspace* w = gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &parameters, fdf.n, 2);
    gsl_vector* p0 = gsl_vector_alloc(2);
    gsl_vector_set(p0, 0, 1.0);
    gsl_vector_set(p0, 1, -0.1);
    gsl_multifit_nlinear_init(p0, &fdf, w);
    int status = GSL_CONTINUE;
    for (int i = 0; i < 100 && status == GSL_CONTINUE; ++i) {
        ask_pending<A>();
        if (gsl_multifit_nlinear_iterate(w) != GSL_SUCCESS) break;
        int info = 0;
        status = gsl_multifit_nlinear_test(1e-8, 1e-8, 0.0, &info, w);
    }
    ask_pending<A>();  // the library asks once more before it looks at the last test
    const double a = gsl_vector_get(gsl_multifit_nlinear_position(w), 0);
    gsl_vector_free(p0);
    gsl_multifit_nlinear_free(w);
    return a;
}

// gsl_cquad asks for a pending run error on entry only, as the quadrature functions do.
template <Asks A>
double direct_cquad(const HostShare& given) {
    HostShare share = enter<A>(given);
    gsl_function f{scalar_objective, &share};
    gsl_integration_cquad_workspace* w = gsl_integration_cquad_workspace_alloc(100);
    double value = 0.0, abserr = 0.0;
    size_t nevals = 0;
    gsl_integration_cquad(&f, 0.0, 1.0, 0.0, 1e-10, w, &value, &abserr, &nevals);
    gsl_integration_cquad_workspace_free(w);
    return value;
}

std::vector<Problem> problems() {
    return {
        {"fzero_cos(x)-x_[0,1]", "math::fzero", 1, cos_minus_x,
         [](hostsim::Host&, const HostValue& f) { return Args{f, make_real(0.0), make_real(1.0)}; },
         direct_fzero<Asks::kNothing>, direct_fzero<Asks::kAsRequired>},
        {"fminbnd_quartic_[0,2]", "math::fminbnd", 1, quartic,
         [](hostsim::Host&, const HostValue& f) { return Args{f, make_real(0.0), make_real(2.0)}; },
         direct_fminbnd<Asks::kNothing>, direct_fminbnd<Asks::kAsRequired>},
        {"fminsearch_rosenbrock", "math::fminsearch", 2, rosenbrock,
         [](hostsim::Host& h, const HostValue& f) {
             return Args{f, h.array({2}, {-1.2, 1.0}), make_real(1e-8), make_integer(400)};
         },
         direct_fminsearch<Asks::kNothing>, direct_fminsearch<Asks::kAsRequired>},
        {"lsqfit_exp_decay_20_points", "math::lsqfit", 3, decay,
         [](hostsim::Host& h, const HostValue& f) {
             const FitData d = fit_data();
             return Args{f, h.array({2}, {1.0, -0.1}), h.array({20}, d.x), h.array({20}, d.y)};
         },
         direct_lsqfit<Asks::kNothing>, direct_lsqfit<Asks::kAsRequired>},
        {"cquad_1/sqrt(x)_[0,1]", "math::gsl_cquad", 1, inverse_sqrt,
         [](hostsim::Host&, const HostValue& f) {
             return Args{f, make_real(0.0), make_real(1.0), make_real(0.0), make_real(1e-10)};
         },
         direct_cquad<Asks::kNothing>, direct_cquad<Asks::kAsRequired>},
    };
}

void run_library(benchmark::State& state, const Problem& problem) {
    hostsim::Host& host = hostsim::Host::get();
    const ScriptFn fn = host.function_key(problem.key)->fn;
    Args args = problem.args(host, host.function(problem.params, problem.body, nullptr));
    const int64_t last = static_cast<int64_t>(args.size()) - 1;
    const int64_t evaluations_before = host.qecal_calls();
    HostValue result{};
    for (auto _ : state) {
        fn(&result, last, args.data(), host.context());
        // The host frees what the script lets go of; so does the stand-in.
        if (result.base_type == kTypeRealArray) host.release(result);
        benchmark::ClobberMemory();
    }
    if (!host.errors().empty()) state.SkipWithError("the library reported a run error");
    state.counters["evaluations"] = static_cast<double>(host.qecal_calls() - evaluations_before) /
                                    static_cast<double>(state.iterations());
}

void run_direct(benchmark::State& state, const Problem& problem, Direct direct) {
    hostsim::Host& host = hostsim::Host::get();
    const HostShare share = resolve(static_cast<int64_t>(host.function(problem.params, problem.body, nullptr).word1));
    double kept = 0.0;
    for (auto _ : state) {
        kept = direct(share);
        benchmark::DoNotOptimize(kept);
        benchmark::ClobberMemory();
    }
    state.counters["value"] = kept;
}

}  // namespace

int main(int argc, char** argv) {
    HostedLibrary library;
    const std::vector<Problem> all = problems();
    for (const Problem& problem : all) {
        benchmark::RegisterBenchmark((std::string("library/") + problem.name).c_str(), run_library, problem)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("host_share/") + problem.name).c_str(), run_direct, problem,
                                     problem.bare)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("host_share_asking/") + problem.name).c_str(), run_direct, problem,
                                     problem.asking)
            ->Unit(benchmark::kMicrosecond);
    }
    RatioReporter reporter;
    reporter.run(argc, argv);

    std::printf("\nlibrary time per call, median over the repetitions, against GSL through QeCal (target <= 1.1)\n"
                "and against the same loop with the host calls the library must make (GetFor, TestRunErr):\n");
    for (const Problem& problem : all) {
        const RatioReporter::Times* lib = reporter.find(std::string("library/") + problem.name);
        const RatioReporter::Times* bare = reporter.find(std::string("host_share/") + problem.name);
        const RatioReporter::Times* asking = reporter.find(std::string("host_share_asking/") + problem.name);
        if (lib == nullptr || bare == nullptr || asking == nullptr) continue;
        const double evaluations = lib->counters.count("evaluations") ? lib->counters.at("evaluations") : 0.0;
        std::printf("  %-30s ratio %.3f   without the required host calls %.3f   (they cost %+.1f %%)   %5.0f "
                    "evaluations\n",
                    problem.name, lib->median_cpu() / bare->median_cpu(), lib->median_cpu() / asking->median_cpu(),
                    100.0 * (asking->median_cpu() / bare->median_cpu() - 1.0), evaluations);
    }
    benchmark::Shutdown();
    return 0;
}
