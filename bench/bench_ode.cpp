// SPDX-License-Identifier: GPL-3.0-or-later
// gsl_ode through the library against GSL driven directly.
//
// The Van der Pol oscillator y1' = y2, y2' = mu (1 - y1^2) y2 - y1 from
// y = (2, 0), integrated from 0 to 20 with an output every 0.1 (201 rows),
// tolerances 1e-6 and an initial step of 1e-6. Each solve runs three ways,
// all with the same C++ arithmetic, each allocating its stepper, control and
// evolution object per solve and stepping interval by interval as gsl_ode
// does:
//   library     gsl_ode, called as the host calls it, with the right-hand side
//               a script function of the stand-in host (its lean raw body);
//               mu reaches it as the pass-through value;
//   native      GSL with the right-hand side as a plain gsl_odeiv_system;
//   host share  GSL with a right-hand side that only moves its values through
//               the stand-in host's QeCal as the library must: t, y and mu
//               into the script function's records, the same script body,
//               the derivatives back out of its records.
// The host share is what any bridge to the host must pay; the target is at
// most 1.1 against it. A short run:
//   bench_ode --benchmark_min_time=0.2 --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_odeiv.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

// The stand-in host's own entry point, as the library reaches it.
extern "C" HostValue* QeCal(HostValue* result_buf, void* handle, HostValue* args);

namespace {

constexpr double kStart = 0.0;
constexpr double kEnd = 20.0;
constexpr double kEvery = 0.1;
constexpr int kOutputs = 201;
constexpr double kTolerance = 1e-6;
constexpr double kInitialStep = 1e-6;

void van_der_pol(double mu, const double* y, double* dydt) {
    dydt[0] = y[1];
    dydt[1] = mu * (1.0 - y[0] * y[0]) * y[1] - y[0];
}

// The script function's body: parameters t, y1, y2, d1, d2, p (= mu).
HostValue van_der_pol_script(HostValue* params, void*) {
    const double y[2] = {params[1].real(), params[2].real()};
    double dydt[2];
    van_der_pol(params[5].real(), y, dydt);
    params[3] = make_real(dydt[0]);
    params[4] = make_real(dydt[1]);
    return make_integer(0);
}

int native_rhs(double, const double y[], double dydt[], void* mu) {
    van_der_pol(*static_cast<const double*>(mu), y, dydt);
    return GSL_SUCCESS;
}

// The script function as GetFor gives it, and the value passed through.
struct HostShare {
    void* handle;
    HostValue* params;
    HostValue mu;
};

int host_share_rhs(double t, const double y[], double dydt[], void* share) {
    const auto* s = static_cast<const HostShare*>(share);
    HostValue* p = s->params;
    p[0] = make_real(t);
    p[1] = make_real(y[0]);
    p[2] = make_real(y[1]);
    p[5] = s->mu;
    HostValue buffer;
    const HostValue* r = QeCal(&buffer, s->handle, p);
    dydt[0] = p[3].real();
    dydt[1] = p[4].real();
    return static_cast<int>(r->integer());
}

std::vector<double> output_times() {
    std::vector<double> t(kOutputs);
    for (int k = 0; k < kOutputs; ++k) t[static_cast<size_t>(k)] = kStart + kEvery * k;
    t.back() = kEnd;
    return t;
}

struct Problem {
    const char* name;
    double mu;
    int step_type;  // the value of the gsl_* constant
    const gsl_odeiv_step_type* const* gsl_type;
};

const Problem kProblems[] = {
    {"vdp_mu1_rk8pd", 1.0, 4, &gsl_odeiv_step_rk8pd},
    {"vdp_mu1_rkf45", 1.0, 2, &gsl_odeiv_step_rkf45},
    {"vdp_mu10_rk4imp", 10.0, 7, &gsl_odeiv_step_rk4imp},
    {"vdp_mu10_gear2", 10.0, 10, &gsl_odeiv_step_gear2},
};

// GSL driven directly, as gsl_ode drives it; the rows go to a fresh buffer
// per solve, as the library's go to a fresh array. Returns the last y1.
double solve_directly(const Problem& problem, const gsl_odeiv_system& system, const std::vector<double>& t) {
    gsl_odeiv_step* step = gsl_odeiv_step_alloc(*problem.gsl_type, 2);
    gsl_odeiv_control* control = gsl_odeiv_control_y_new(kTolerance, kTolerance);
    gsl_odeiv_evolve* evolve = gsl_odeiv_evolve_alloc(2);
    std::vector<double> rows(t.size() * 3);
    double y[2] = {2.0, 0.0};
    double now = t[0], h = kInitialStep;
    rows[0] = now;
    rows[1] = y[0];
    rows[2] = y[1];
    for (size_t k = 1; k < t.size(); ++k) {
        while (t[k] > now) {
            if (gsl_odeiv_evolve_apply(evolve, control, step, &system, &now, t[k], &h, y) != GSL_SUCCESS) {
                break;
            }
        }
        rows[3 * k] = now;
        rows[3 * k + 1] = y[0];
        rows[3 * k + 2] = y[1];
    }
    gsl_odeiv_evolve_free(evolve);
    gsl_odeiv_control_free(control);
    gsl_odeiv_step_free(step);
    benchmark::DoNotOptimize(rows.data());
    return rows[rows.size() - 2];
}

void run_library(benchmark::State& state, const Problem& problem) {
    hostsim::Host& host = hostsim::Host::get();
    const ScriptFn gsl_ode = host.function_key("math::gsl_ode")->fn;
    const std::vector<double> t = output_times();
    std::vector<HostValue> args{host.function(6, van_der_pol_script, nullptr),
                                make_empty(),
                                make_real(problem.mu),
                                host.array({kOutputs}, t),
                                host.array({2}, {2.0, 0.0}),
                                make_real(kTolerance),
                                make_real(kTolerance),
                                make_integer(problem.step_type),
                                make_real(kInitialStep)};
    const int64_t last = static_cast<int64_t>(args.size()) - 1;
    const int64_t evaluations_before = host.qecal_calls();
    double last_y1 = 0.0;
    HostValue result{};
    for (auto _ : state) {
        gsl_ode(&result, last, args.data(), host.context());
        last_y1 = host.object(result)->data[kOutputs * 3 - 2];
        // The host frees what the script lets go of; so does the stand-in.
        host.release(result);
        benchmark::ClobberMemory();
    }
    if (!host.errors().empty()) state.SkipWithError("the library reported a run error");
    state.counters["evaluations"] = static_cast<double>(host.qecal_calls() - evaluations_before) /
                                    static_cast<double>(state.iterations());
    state.counters["y1(20)"] = last_y1;
}

void run_native(benchmark::State& state, const Problem& problem) {
    const std::vector<double> t = output_times();
    double mu = problem.mu;
    const gsl_odeiv_system system{native_rhs, nullptr, 2, &mu};
    double last_y1 = 0.0;
    for (auto _ : state) last_y1 = solve_directly(problem, system, t);
    state.counters["y1(20)"] = last_y1;
}

void run_host_share(benchmark::State& state, const Problem& problem) {
    hostsim::Host& host = hostsim::Host::get();
    const std::vector<double> t = output_times();
    const HostValue f = host.function(6, van_der_pol_script, nullptr);
    HostShare share{nullptr, nullptr, make_real(problem.mu)};
    void* word = nullptr;
    int32_t last_param = 0;
    host.GetFor(static_cast<int64_t>(f.word1), &word, &share.handle, &share.params, &last_param);
    const gsl_odeiv_system system{host_share_rhs, nullptr, 2, &share};
    double last_y1 = 0.0;
    for (auto _ : state) last_y1 = solve_directly(problem, system, t);
    state.counters["y1(20)"] = last_y1;
}

}  // namespace

int main(int argc, char** argv) {
    HostedLibrary library;
    hostsim::Host& host = library.host();
    // The real host hands out new arrays as they come from its allocator.
    host.set_new_array_fill(std::nullopt);

    for (const Problem& problem : kProblems) {
        benchmark::RegisterBenchmark((std::string("library/") + problem.name).c_str(), run_library, problem)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("host_share/") + problem.name).c_str(), run_host_share, problem)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("native/") + problem.name).c_str(), run_native, problem)
            ->Unit(benchmark::kMicrosecond);
    }
    RatioReporter reporter;
    reporter.run(argc, argv);

    std::printf("\nlibrary time per solve against the host's own share (target <= 1.1) and against native GSL:\n");
    for (const Problem& problem : kProblems) {
        const RatioReporter::Times* library = reporter.find(std::string("library/") + problem.name);
        const RatioReporter::Times* share = reporter.find(std::string("host_share/") + problem.name);
        const RatioReporter::Times* native = reporter.find(std::string("native/") + problem.name);
        if (library == nullptr || share == nullptr || native == nullptr) continue;
        const double evaluations = library->counters.count("evaluations") ? library->counters.at("evaluations") : 0.0;
        std::printf("  %-18s vs host share %.3f   vs native %.3f   %6.0f evaluations   %+.1f ns per evaluation over "
                    "the host share\n",
                    problem.name, library->cpu / share->cpu, library->cpu / native->cpu, evaluations,
                    evaluations > 0.0 ? (library->cpu - share->cpu) * 1e9 / evaluations : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
