// SPDX-License-Identifier: GPL-3.0-or-later
// math::arrayfun against a loop that calls the same script function body
// directly.
//
// The library side maps 10^6 elements through the registered function, as
// the host calls it, in the output form (so that neither side allocates per
// call); each element costs one QeCal into the stand-in host, which calls
// the script function's raw body. The direct side writes each element into
// the function's parameter records and calls the same raw body through a
// function pointer, as the host does, checking that a real comes back. After
// the runs one line per body gives library time / direct time (what the
// library adds per element beyond the script call). A short run:
//   bench_arrayfun --benchmark_min_time=0.2 --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

namespace {

constexpr int64_t kElements = 1000000;

HostValue square(HostValue* params, void*) { return make_real(params[0].real() * params[0].real()); }
HostValue hypotenuse(HostValue* params, void*) {
    return make_real(std::sqrt(params[0].real() * params[0].real() + params[1].real() * params[1].real()));
}

struct Body {
    const char* name;
    int nparams;
    hostsim::RawScriptBody raw;
};
const Body kBodies[] = {{"x*x", 1, square}, {"sqrt(x*x+y*y)", 2, hypotenuse}};

std::vector<double> inputs(int64_t n) {
    std::vector<double> v(static_cast<size_t>(n));
    for (int64_t j = 0; j < n; ++j) v[static_cast<size_t>(j)] = static_cast<double>(j % 1000) * 0.001;
    return v;
}

void run_library(benchmark::State& state, const Body& body) {
    hostsim::Host& host = hostsim::Host::get();
    const ScriptFn arrayfun = host.function_key("math::arrayfun")->fn;
    const std::vector<double> x = inputs(kElements);
    std::vector<HostValue> args{host.function(body.nparams, body.raw, nullptr)};
    for (int q = 0; q < body.nparams; ++q) args.push_back(host.array({kElements}, x));
    args.push_back(host.array({kElements}));
    const int64_t last = static_cast<int64_t>(args.size()) - 1;
    HostValue result{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(arrayfun(&result, last, args.data(), host.context()));
        benchmark::ClobberMemory();
    }
    if (result.base_type != kTypeRealArray || !host.errors().empty()) state.SkipWithError("arrayfun refused");
}

void run_direct(benchmark::State& state, const Body& body) {
    const std::vector<double> x = inputs(kElements);
    std::vector<const double*> in(static_cast<size_t>(body.nparams), x.data());
    std::vector<double> out(static_cast<size_t>(kElements));
    HostValue params[2] = {make_empty(), make_empty()};
    hostsim::RawScriptBody raw = body.raw;
    benchmark::DoNotOptimize(raw);  // called through the pointer, as the host does
    bool all_real = true;
    for (auto _ : state) {
        for (int64_t j = 0; j < kElements; ++j) {
            for (int q = 0; q < body.nparams; ++q) params[q] = make_real(in[static_cast<size_t>(q)][j]);
            const HostValue r = raw(params, nullptr);
            if (r.base_type != kTypeReal) {
                all_real = false;
                break;
            }
            out[static_cast<size_t>(j)] = r.real();
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (!all_real) state.SkipWithError("a value that is no real");
}

}  // namespace

int main(int argc, char** argv) {
    HostedLibrary hosted;
    for (const Body& body : kBodies) {
        benchmark::RegisterBenchmark((std::string("library/") + body.name).c_str(), run_library, body)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("direct/") + body.name).c_str(), run_direct, body)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nlibrary / direct time for %lld elements, and the library's extra time per element:\n",
                static_cast<long long>(kElements));
    for (const Body& body : kBodies) {
        const RatioReporter::Times* library = reporter.find(std::string("library/") + body.name);
        const RatioReporter::Times* direct = reporter.find(std::string("direct/") + body.name);
        if (library == nullptr || direct == nullptr) continue;
        std::printf("  %-16s ratio %.3f   %+.2f ns per element\n", body.name, library->cpu / direct->cpu,
                    (library->cpu - direct->cpu) * 1e9 / static_cast<double>(kElements));
    }
    return 0;
}
