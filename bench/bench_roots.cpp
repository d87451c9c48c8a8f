// SPDX-License-Identifier: GPL-3.0-or-later
// Root finding through the library against calling the script function
// directly.
//
// Each case runs twice with the same plain C++ body, a script function of
// the stand-in host: once through the registered btFindRoot, pqrt or netn,
// and once in a bare loop that evaluates the same script function through
// the host (QeCal) as often as one library call does, writing the argument
// records and reading the values back as the library must. The ratio of the
// two is what the library adds per evaluation (the target is at most 1.1):
// its scan, iteration or linear solve, and the host calls the routine makes
// besides QeCal (the run-error test per step, the lookups of netn's vectors).
//
// A short run:
//   bench_roots --benchmark_min_time=0.2 --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

namespace {

using Args = std::vector<HostValue>;

// ---- the script functions ---------------------------------------------------------------

HostValue square_minus_2(HostValue* p, void*) {
    const double x = p[0].real();
    return make_real(x * x - 2);
}
HostValue square_plus_1(HostValue* p, void*) {
    const double x = p[0].real();
    return make_real(x * x + 1);
}
HostValue cos_minus_x(HostValue* p, void*) {
    const double x = p[0].real();
    return make_real(std::cos(x) - x);
}
HostValue sine(HostValue* p, void*) { return make_real(std::sin(p[0].real())); }

constexpr int kLarge = 10;

// The values of the systems, on plain arrays.
void linear_pair(const double* x, double* y) {
    y[0] = x[0] + x[1] - 3;
    y[1] = x[0] - x[1] - 1;
}
void circle(const double* x, double* y) {
    y[0] = x[0] * x[0] + x[1] * x[1] - 4;
    y[1] = x[0] - x[1];
}
// A 10 x 10 system in which every equation depends on every unknown.
void coupled(const double* x, double* y) {
    double s = 0.0;
    for (int j = 0; j < kLarge; ++j) s = s + std::sin(x[j]);
    for (int i = 0; i < kLarge; ++i) y[i] = x[i] + 0.1 * s - 1.0 - 0.05 * i;
}

// The same with a term of its own for every pair of equation and unknown: a
// function whose evaluation costs about what a short script's does.
void dense(const double* x, double* y) {
    for (int i = 0; i < kLarge; ++i) {
        double s = 0.0;
        for (int j = 0; j < kLarge; ++j) s = s + std::sin(x[j] + 0.1 * (i - j));
        y[i] = x[i] + 0.05 * s - 1.0;
    }
}

// f(x1, ..., xn, y1, ..., yn) and f(xa, ya) over a system of N equations.
template <int N, void (*F)(const double*, double*)>
HostValue scalar_form(HostValue* p, void*) {
    double x[N], y[N];
    for (int i = 0; i < N; ++i) x[i] = p[i].real();
    F(x, y);
    for (int i = 0; i < N; ++i) p[N + i] = make_real(y[i]);
    return make_empty();
}
template <int N, void (*F)(const double*, double*)>
HostValue array_form(HostValue* p, void*) {
    hostsim::Host& host = hostsim::Host::get();
    F(host.object(p[0])->data, host.object(p[1])->data);
    return make_empty();
}

// ---- the cases ----------------------------------------------------------------------------

enum class Shape { OneVariable, Scalars, Vectors };

struct Case {
    const char* name;
    const char* key;
    Shape shape;
    int n;        // unknowns (1 for btFindRoot and pqrt)
    int params;   // of the script function
    hostsim::RawScriptBody body;
    std::vector<double> start;  // netn's start point; pqrt's start value
    Args settings;              // the arguments after f and x (or after f for btFindRoot)
};

std::vector<Case> cases() {
    const HostValue eps = make_real(1e-10);
    return {
        {"btFindRoot_x*x-2_[-2,2]", "math::btFindRoot", Shape::OneVariable, 1, 1, square_minus_2, {},
         {make_real(-2), make_real(2), make_real(0.1)}},
        {"btFindRoot_sin_[0,20]_max3", "math::btFindRoot", Shape::OneVariable, 1, 1, sine, {},
         {make_real(0), make_real(20), make_real(0.5), make_integer(3)}},
        // A long walk: the cost of each step, with the call's fixed cost spread thin.
        {"btFindRoot_sin_[0,100]_h0.01", "math::btFindRoot", Shape::OneVariable, 1, 1, sine, {},
         {make_real(0), make_real(100), make_real(0.01), make_integer(100)}},
        {"pqrt_x*x-2_from_1", "math::pqrt", Shape::OneVariable, 1, 1, square_minus_2, {1.0}, {eps}},
        {"pqrt_cos(x)-x_from_0", "math::pqrt", Shape::OneVariable, 1, 1, cos_minus_x, {0.0}, {make_real(1e-12)}},
        // No real root: all ten passes of eight points.
        {"pqrt_x*x+1_ten_passes", "math::pqrt", Shape::OneVariable, 1, 1, square_plus_1, {0.5}, {eps}},
        {"netn_linear_pair_scalars", "math::netn", Shape::Scalars, 2, 4, scalar_form<2, linear_pair>, {0, 0}, {eps}},
        {"netn_circle_scalars", "math::netn", Shape::Scalars, 2, 4, scalar_form<2, circle>, {1, 0.5}, {eps}},
        {"netn_circle_vectors", "math::netn", Shape::Vectors, 2, 2, array_form<2, circle>, {1, 0.5}, {eps}},
        {"netn_10x10_scalars", "math::netn", Shape::Scalars, kLarge, 2 * kLarge, scalar_form<kLarge, coupled>,
         std::vector<double>(kLarge, 0.0), {eps}},
        {"netn_10x10_vectors", "math::netn", Shape::Vectors, kLarge, 2, array_form<kLarge, coupled>,
         std::vector<double>(kLarge, 0.0), {eps}},
        {"netn_10x10_dense_scalars", "math::netn", Shape::Scalars, kLarge, 2 * kLarge, scalar_form<kLarge, dense>,
         std::vector<double>(kLarge, 0.0), {eps}},
        {"netn_10x10_dense_vectors", "math::netn", Shape::Vectors, kLarge, 2, array_form<kLarge, dense>,
         std::vector<double>(kLarge, 0.0), {eps}},
    };
}

// The arguments of one library call: f, the start (netn's array, pqrt's
// real) and the settings.
Args arguments(hostsim::Host& host, const Case& c) {
    Args args{host.function(c.params, c.body, nullptr)};
    if (c.key == std::string("math::netn")) {
        args.push_back(host.array({c.n}, c.start));
    } else if (!c.start.empty()) {
        args.push_back(make_real(c.start[0]));
    }
    args.insert(args.end(), c.settings.begin(), c.settings.end());
    return args;
}

// The library side: the registered function called as the host calls it.
void run_library(benchmark::State& state, const Case& c) {
    hostsim::Host& host = hostsim::Host::get();
    const ScriptFn routine = host.function_key(c.key)->fn;
    Args args = arguments(host, c);
    const HostValue x = args[1];
    const Args fresh = args;
    const int64_t last = static_cast<int64_t>(args.size()) - 1;
    const int64_t evaluations_before = host.qecal_calls();
    HostValue result{};
    size_t saved = host.saved_records().size();
    for (auto _ : state) {
        // Every call starts from the same point: pqrt and netn write theirs back.
        args[1] = fresh[1];
        if (x.base_type == kTypeRealArray) {
            std::memcpy(host.object(x)->data, c.start.data(), c.start.size() * sizeof(double));
        }
        benchmark::DoNotOptimize(routine(&result, last, args.data(), host.context()));
        benchmark::ClobberMemory();
        // The arrays a call hands over are the host's to drop, as a script would.
        if (result.base_type == kTypeRealArray) host.release(result);
        for (; saved < host.saved_records().size(); ++saved) host.release(host.saved_records()[saved]);
    }
    if (result.base_type == kTypeEmpty || !host.errors().empty()) state.SkipWithError("the library refused the case");
    state.counters["evaluations"] = static_cast<double>(host.qecal_calls() - evaluations_before) /
                                    static_cast<double>(state.iterations());
}

// The reference: the same script function evaluated straight through the
// host at the very points one library call evaluates it at, in order.
void run_direct(benchmark::State& state, const Case& c, const std::vector<double>& points) {
    hostsim::Host& host = hostsim::Host::get();
    const HostValue f = host.function(c.params, c.body, nullptr);
    void* unused = nullptr;
    void* handle = nullptr;
    HostValue* params = nullptr;
    int32_t last_param = 0;
    host.GetFor(static_cast<int64_t>(f.word1), &unused, &handle, &params, &last_param);
    const HostValue xa = host.array({c.n});
    const HostValue ya = host.array({c.n});
    double* xa_data = host.object(xa)->data;
    double* ya_data = host.object(ya)->data;
    const size_t n = static_cast<size_t>(c.n);
    std::vector<double> values(n);
    double sink = 0.0;
    for (auto _ : state) {
        for (size_t e = 0; e + n <= points.size(); e += n) {
            const double* point = &points[e];
            HostValue buffer;
            switch (c.shape) {
                case Shape::OneVariable: {
                    params[0] = make_real(point[0]);
                    const HostValue* r = host.QeCal(&buffer, handle, params);
                    if (r->base_type != kTypeReal) sink = -1;
                    values[0] = r->real();
                    break;
                }
                case Shape::Scalars:
                    for (size_t i = 0; i < n; ++i) params[i] = make_real(point[i]);
                    host.QeCal(&buffer, handle, params);
                    for (size_t i = 0; i < n; ++i) values[i] = params[n + i].real();
                    break;
                case Shape::Vectors:
                    std::memcpy(xa_data, point, n * sizeof(double));
                    params[0] = xa;
                    params[1] = ya;
                    host.QeCal(&buffer, handle, params);
                    std::memcpy(values.data(), ya_data, n * sizeof(double));
                    break;
            }
            sink = sink + values[0];
        }
        benchmark::DoNotOptimize(sink);
        benchmark::ClobberMemory();
    }
}

// Records the points a script function is evaluated at, then evaluates it.
struct Recorder {
    const Case* c;
    std::vector<double> points;

    static HostValue body(HostValue* p, void* user) {
        auto* self = static_cast<Recorder*>(user);
        const Case& c = *self->c;
        for (int i = 0; i < c.n; ++i) {
            self->points.push_back(c.shape == Shape::Vectors ? hostsim::Host::get().object(p[0])->data[i]
                                                              : p[i].real());
        }
        return c.body(p, nullptr);
    }
};

// The points, n coordinates each, at which one library call evaluates f.
std::vector<double> points_of_one_call(const Case& c) {
    hostsim::Host& host = hostsim::Host::get();
    Recorder recorder{&c, {}};
    Args args = arguments(host, c);
    args[0] = host.function(c.params, &Recorder::body, &recorder);
    host.call(c.key, args);
    return recorder.points;
}

}  // namespace

int main(int argc, char** argv) {
    HostedLibrary hosted;
    hostsim::Host& host = hosted.host();
    // Arrays are left as allocated, as the real host leaves them.
    host.set_new_array_fill(std::nullopt);

    const std::vector<Case> all = cases();
    std::vector<std::vector<double>> points;
    for (const Case& c : all) points.push_back(points_of_one_call(c));
    for (size_t k = 0; k < all.size(); ++k) {
        benchmark::RegisterBenchmark((std::string("library/") + all[k].name).c_str(), run_library, all[k]);
        benchmark::RegisterBenchmark((std::string("direct/") + all[k].name).c_str(), run_direct, all[k], points[k]);
    }
    RatioReporter reporter;
    reporter.run(argc, argv);

    // The extra time e per evaluation is the library's own; a function whose
    // evaluation costs d brings the ratio to (d + e) / d, which is at most 1.1
    // once d reaches 10 e. That cost is printed as the break-even.
    std::printf("\nlibrary / direct time for the same evaluations (target <= 1.1); per evaluation: the direct cost, "
                "the library's extra time, and the cost of a function from which the ratio is at most 1.1:\n");
    for (size_t k = 0; k < all.size(); ++k) {
        const RatioReporter::Times* library = reporter.find(std::string("library/") + all[k].name);
        const RatioReporter::Times* direct = reporter.find(std::string("direct/") + all[k].name);
        const size_t evaluations = points[k].size() / static_cast<size_t>(all[k].n);
        if (library == nullptr || direct == nullptr || evaluations == 0) continue;
        const double n = static_cast<double>(evaluations);
        const double extra_ns = (library->cpu - direct->cpu) * 1e9 / n;
        std::printf("  %-32s ratio %.3f   %5.0f evaluations   direct %7.1f ns   extra %+6.1f ns   1.1 from %6.0f ns\n",
                    all[k].name, library->cpu / direct->cpu, n, direct->cpu * 1e9 / n, extra_ns,
                    std::max(0.0, 10.0 * extra_ns));
    }
    benchmark::Shutdown();
    return 0;
}
