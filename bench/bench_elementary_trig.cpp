// SPDX-License-Identifier: GPL-3.0-or-later
// The library's correctly rounded sin, cos, tan, asin, acos, atan and atan2
// against the C library's on the same 10^7 arguments in the same run: sin,
// cos and tan on [-100, 100] and on [-10^6, 10^6], asin and acos on [-1, 1],
// atan on magnitudes from 2^-30 to 2^30, atan2 on pairs of such. Prints
// library time / C library time per function (target <= 2.0).
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

enum class Data { kSmall, kLarge, kUnit, kWide };

std::vector<double> draw(Data data, uint64_t seed) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::vector<double> v(kArguments);
    for (double& x : v) {
        switch (data) {
            case Data::kSmall: x = 100.0 * unit(engine); break;
            case Data::kLarge: x = 1e6 * unit(engine); break;
            case Data::kUnit: x = unit(engine); break;
            case Data::kWide: x = std::ldexp(unit(engine), exponent(engine)); break;
        }
    }
    return v;
}

// The arguments of one kind, kept while consecutive benchmarks use them.
const std::vector<double>& arguments(Data data, uint64_t seed = 1) {
    static std::vector<double> kept;
    static int kept_key = -1;
    const int key = static_cast<int>(data) * 2 + static_cast<int>(seed);
    if (key != kept_key) {
        kept = draw(data, seed);
        kept_key = key;
    }
    return kept;
}

template <double (*F)(double)>
void unary(benchmark::State& state, Data data) {
    const std::vector<double>& x = arguments(data);
    for (auto _ : state) {
        double sum = 0.0;
        for (const double a : x) sum += F(a);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kArguments));
}

template <double (*F)(double, double)>
void binary(benchmark::State& state) {
    const std::vector<double> y = arguments(Data::kWide, 0);
    const std::vector<double>& x = arguments(Data::kWide, 1);
    for (auto _ : state) {
        double sum = 0.0;
        for (size_t i = 0; i < kArguments; ++i) sum += F(y[i], x[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kArguments));
}

double c_sin(double x) { return std::sin(x); }
double c_cos(double x) { return std::cos(x); }
double c_tan(double x) { return std::tan(x); }
double c_asin(double x) { return std::asin(x); }
double c_acos(double x) { return std::acos(x); }
double c_atan(double x) { return std::atan(x); }
double c_atan2(double y, double x) { return std::atan2(y, x); }

void options(benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1); }

#define HOSTMATH_TRIG_PAIR(name, f, data)                                                                   \
    BENCHMARK_CAPTURE(unary<el::f>, name##_library, data)->Name("BM_" #name "/library")->Apply(options); \
    BENCHMARK_CAPTURE(unary<c_##f>, name##_c, data)->Name("BM_" #name "/c")->Apply(options);

HOSTMATH_TRIG_PAIR(sin_100, sin, Data::kSmall)
HOSTMATH_TRIG_PAIR(cos_100, cos, Data::kSmall)
HOSTMATH_TRIG_PAIR(tan_100, tan, Data::kSmall)
HOSTMATH_TRIG_PAIR(sin_1e6, sin, Data::kLarge)
HOSTMATH_TRIG_PAIR(cos_1e6, cos, Data::kLarge)
HOSTMATH_TRIG_PAIR(tan_1e6, tan, Data::kLarge)
HOSTMATH_TRIG_PAIR(asin, asin, Data::kUnit)
HOSTMATH_TRIG_PAIR(acos, acos, Data::kUnit)
HOSTMATH_TRIG_PAIR(atan, atan, Data::kWide)
BENCHMARK(binary<el::atan2>)->Name("BM_atan2/library")->Apply(options);
BENCHMARK(binary<c_atan2>)->Name("BM_atan2/c")->Apply(options);

}  // namespace

int main(int argc, char** argv) {
    RatioReporter reporter;
    reporter.run(argc, argv, 3);
    std::printf("\nlibrary time / C library time on 1e7 arguments (target <= 2.0):\n");
    for (const char* name : {"sin_100", "cos_100", "tan_100", "sin_1e6", "cos_1e6", "tan_1e6", "asin", "acos", "atan", "atan2"}) {
        const RatioReporter::Times* library = reporter.find(std::string("BM_") + name + "/library");
        const RatioReporter::Times* c = reporter.find(std::string("BM_") + name + "/c");
        if (library != nullptr && c != nullptr) std::printf("  %-8s %.2f\n", name, library->real / c->real);
    }
    benchmark::Shutdown();
    return 0;
}
