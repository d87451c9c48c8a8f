// SPDX-License-Identifier: GPL-3.0-or-later
// The library's correctly rounded exp, log, log10, sinh, cosh, tanh and pow
// against the platform's own functions on the same 10^7 random arguments in
// the same run, each over a realistic spread: exp on [-700, 700], log and
// log10 on positive doubles of every binary exponent, sinh and cosh on
// [-700, 700], tanh on [-20, 20], pow on x in (0, 1000] and y in [-50, 50].
// Prints library time / platform time per function (target <= 2.0), and
// the same for CPU time, which a busy machine disturbs less.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "elementary/elementary.h"

namespace {

namespace el = hostmath::elementary;

constexpr size_t kArguments = 10'000'000;

std::vector<double> uniform(double lo, double hi, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> d(lo, hi);
    std::vector<double> v(kArguments);
    for (double& x : v) x = d(rng);
    return v;
}

// Positive doubles spread evenly over the binary exponents, subnormals
// included.
std::vector<double> every_exponent(uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> d(1.0, 2.0);
    std::vector<double> v(kArguments);
    for (double& x : v) x = std::ldexp(d(rng), static_cast<int>(rng() % 2098) - 1074);
    return v;
}

const std::vector<double>& exp_arguments() { static const auto v = uniform(-700.0, 700.0, 1); return v; }
const std::vector<double>& log_arguments() { static const auto v = every_exponent(2); return v; }
const std::vector<double>& tanh_arguments() { static const auto v = uniform(-20.0, 20.0, 3); return v; }
const std::vector<double>& pow_bases() { static const auto v = uniform(0x1p-40, 1000.0, 4); return v; }
const std::vector<double>& pow_exponents() { static const auto v = uniform(-50.0, 50.0, 5); return v; }

void one_argument(benchmark::State& state, double (*f)(double), const std::vector<double>& x) {
    for (auto _ : state) {
        double sum = 0.0;
        for (double v : x) sum += f(v);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kArguments));
}

void two_arguments(benchmark::State& state, double (*f)(double, double)) {
    const std::vector<double>& x = pow_bases();
    const std::vector<double>& y = pow_exponents();
    for (auto _ : state) {
        double sum = 0.0;
        for (size_t i = 0; i < kArguments; ++i) sum += f(x[i], y[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kArguments));
}

// The platform's functions by address, as the library's are called: both
// sides pay for a call.
double platform_exp(double x) { return std::exp(x); }
double platform_log(double x) { return std::log(x); }
double platform_log10(double x) { return std::log10(x); }
double platform_sinh(double x) { return std::sinh(x); }
double platform_cosh(double x) { return std::cosh(x); }
double platform_tanh(double x) { return std::tanh(x); }
double platform_pow(double x, double y) { return std::pow(x, y); }

struct Unary {
    const char* name;
    double (*library)(double);
    double (*platform)(double);
    const std::vector<double>& (*arguments)();
};
constexpr Unary kUnary[] = {
    {"exp", el::exp, platform_exp, exp_arguments},       {"log", el::log, platform_log, log_arguments},
    {"log10", el::log10, platform_log10, log_arguments}, {"sinh", el::sinh, platform_sinh, exp_arguments},
    {"cosh", el::cosh, platform_cosh, exp_arguments},    {"tanh", el::tanh, platform_tanh, tanh_arguments},
};

std::string library_name(const char* name) { return std::string("BM_Library_") + name; }
std::string platform_name(const char* name) { return std::string("BM_Platform_") + name; }

void configure(benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5); }

void print_ratio(const RatioReporter& reporter, const char* name) {
    const RatioReporter::Times* library = reporter.find(library_name(name));
    const RatioReporter::Times* platform = reporter.find(platform_name(name));
    if (library == nullptr || platform == nullptr) return;
    std::printf("%-6s on 1e7 arguments: library / platform time %.2f (target <= 2.0), CPU time %.2f\n", name,
                library->real / platform->real, library->cpu / platform->cpu);
}

}  // namespace

int main(int argc, char** argv) {
    for (const Unary& u : kUnary) {
        benchmark::RegisterBenchmark(library_name(u.name).c_str(), [u](benchmark::State& state) {
            one_argument(state, u.library, u.arguments());
        })->Apply(configure);
        benchmark::RegisterBenchmark(platform_name(u.name).c_str(), [u](benchmark::State& state) {
            one_argument(state, u.platform, u.arguments());
        })->Apply(configure);
    }
    benchmark::RegisterBenchmark(library_name("pow").c_str(), two_arguments, el::pow)->Apply(configure);
    benchmark::RegisterBenchmark(platform_name("pow").c_str(), two_arguments, platform_pow)->Apply(configure);
    RatioReporter reporter;
    reporter.run(argc, argv, 3);
    for (const Unary& u : kUnary) print_ratio(reporter, u.name);
    print_ratio(reporter, "pow");
    benchmark::Shutdown();
    return 0;
}
