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

using UnaryFunction = double (*)(double);
using BinaryFunction = double (*)(double, double);

void unary(benchmark::State& state, UnaryFunction f, Data data) {
    const std::vector<double>& x = arguments(data);
    for (auto _ : state) {
        double sum = 0.0;
        for (const double a : x) sum += f(a);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kArguments));
}

void binary(benchmark::State& state, BinaryFunction f) {
    const std::vector<double> y = arguments(Data::kWide, 0);
    const std::vector<double>& x = arguments(Data::kWide, 1);
    for (auto _ : state) {
        double sum = 0.0;
        for (size_t i = 0; i < kArguments; ++i) sum += f(y[i], x[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kArguments));
}

// Each the C library's function, called through the same kind of pointer
// as the library's.
double c_sin(double x) { return std::sin(x); }
double c_cos(double x) { return std::cos(x); }
double c_tan(double x) { return std::tan(x); }
double c_asin(double x) { return std::asin(x); }
double c_acos(double x) { return std::acos(x); }
double c_atan(double x) { return std::atan(x); }
double c_atan2(double y, double x) { return std::atan2(y, x); }

struct UnaryCase {
    const char* name;
    UnaryFunction library;
    UnaryFunction c;
    Data data;
};

const UnaryCase kUnaryCases[] = {
    {"sin_100", el::sin, c_sin, Data::kSmall}, {"cos_100", el::cos, c_cos, Data::kSmall},
    {"tan_100", el::tan, c_tan, Data::kSmall}, {"sin_1e6", el::sin, c_sin, Data::kLarge},
    {"cos_1e6", el::cos, c_cos, Data::kLarge}, {"tan_1e6", el::tan, c_tan, Data::kLarge},
    {"asin", el::asin, c_asin, Data::kUnit},   {"acos", el::acos, c_acos, Data::kUnit},
    {"atan", el::atan, c_atan, Data::kWide},
};

void register_all() {
    auto options = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1); };
    for (const UnaryCase& u : kUnaryCases) {
        options(benchmark::RegisterBenchmark((std::string("BM_") + u.name + "/library").c_str(), unary, u.library, u.data));
        options(benchmark::RegisterBenchmark((std::string("BM_") + u.name + "/c").c_str(), unary, u.c, u.data));
    }
    options(benchmark::RegisterBenchmark("BM_atan2/library", binary, el::atan2));
    options(benchmark::RegisterBenchmark("BM_atan2/c", binary, c_atan2));
}

}  // namespace

int main(int argc, char** argv) {
    register_all();
    RatioReporter reporter;
    reporter.run(argc, argv, 3);
    std::printf("\nlibrary time / C library time on 1e7 arguments (target <= 2.0):\n");
    std::vector<std::string> names;
    for (const UnaryCase& u : kUnaryCases) names.push_back(u.name);
    names.push_back("atan2");
    for (const std::string& name : names) {
        const RatioReporter::Times* library = reporter.find("BM_" + name + "/library");
        const RatioReporter::Times* c = reporter.find("BM_" + name + "/c");
        if (library != nullptr && c != nullptr) std::printf("  %-8s %.2f\n", name.c_str(), library->real / c->real);
    }
    benchmark::Shutdown();
    return 0;
}
