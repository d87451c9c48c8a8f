// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of interpolation, polynomial evaluation and the Fourier transforms
// through the stand-in host, each against a reference called directly on
// the same data in the same run:
// - interp1: a cubic spline through 1000 points evaluated at 10^6 ascending
//   points, against gsl_interp_init and gsl_interp_eval with an accelerator
//   (target: at most 1.1x GSL's time);
// - polyval: degree 8 at 10^7 points, against gsl_poly_eval in a loop (the
//   same Horner order), on one thread and on every hardware thread;
// - fft of complex input at n = 2^20, 10^6, 3 2^18 and the prime 1,000,003,
//   on one thread and on every hardware thread, against FFTW
//   (fftw_plan_dft_1d, FFTW_ESTIMATE, the same thread count, planned
//   outside the timing; target: at least 0.8 of its speed) and against
//   GSL's transforms on one thread (wavetable and workspace made per call;
//   not at the prime, where they take minutes);
// - fft over a sweep of smooth and prime lengths, as time per n log2(n)
//   (scripts/plots.sh draws it).
// Every side writes a fresh result buffer per iteration, as the library does.
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <gsl/gsl_fft_complex.h>
#include <gsl/gsl_interp.h>
#include <gsl/gsl_poly.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "kernels/parallel.h"

namespace {

constexpr int64_t kTablePoints = 1000;
constexpr int64_t kInterpPoints = 1'000'000;
constexpr int64_t kPolyvalPoints = 10'000'000;
constexpr int64_t kFftLengths[] = {int64_t{1} << 20, 1'000'000, int64_t{3} << 18, 1'000'003};
constexpr int64_t kPrimeLength = 1'000'003;
// The sweep: smooth lengths 2^k and 3 2^k, and the first prime above each.
constexpr int64_t kSweepLengths[] = {1024,    1031,    3072,    3079,    16384,   16411,   49152,    49157,
                                     262144,  262147,  786432,  786433,  4194304, 4194319, 12582912, 12582917};
const std::vector<double> kCoefficients{0.5, -1.25, 0.75, 2.0, -0.125, 0.3, -0.7, 0.01, 1.5};

int hardware() { return hostmath::parallel::hardware_threads(); }

std::vector<double> ramp(int64_t n, double first, double last) {
    std::vector<double> v(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) v[static_cast<size_t>(i)] = first + (last - first) * static_cast<double>(i) / static_cast<double>(n - 1);
    return v;
}

std::vector<double> table_values() {
    std::vector<double> y = ramp(kTablePoints, 0.0, 1.0);
    for (size_t i = 0; i < y.size(); ++i) y[i] = y[i] * y[i] + 0.1 * static_cast<double>(i % 7);
    return y;
}

std::vector<double> signal(int64_t n) {
    std::vector<double> v(static_cast<size_t>(2 * n));
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<double>((i * 7919) % 1000) / 1000.0 - 0.5;
    return v;
}

// One script call per iteration, its result released.
void through_host(benchmark::State& state, const char* key, const std::vector<HostValue>& args, int64_t items) {
    hostsim::Host& host = hostsim::Host::get();
    for (auto _ : state) {
        std::vector<HostValue> call = args;
        const HostValue r = host.call(key, call);
        if (!host.errors().empty() || !host.release(r)) state.SkipWithError("the call failed");
    }
    state.SetItemsProcessed(state.iterations() * items);
}

// ---- interp1 ------------------------------------------------------------------

void BM_Interp1(benchmark::State& state) {
    hostsim::Host& host = loaded_host(int64_t{1} << 26, 1);
    const std::vector<HostValue> args{host.array({kTablePoints}, ramp(kTablePoints, 0.0, 10.0)),
                                      host.array({kTablePoints}, table_values()),
                                      host.array({kInterpPoints}, ramp(kInterpPoints, 0.0, 10.0)), make_integer(1)};
    through_host(state, "math::interp1", args, kInterpPoints);
    for (const HostValue& a : args) host.release(a);
}

void BM_GslInterp(benchmark::State& state) {
    const std::vector<double> x = ramp(kTablePoints, 0.0, 10.0), y = table_values();
    const std::vector<double> xi = ramp(kInterpPoints, 0.0, 10.0);
    for (auto _ : state) {
        gsl_interp* interp = gsl_interp_alloc(gsl_interp_cspline, kTablePoints);
        gsl_interp_accel* accel = gsl_interp_accel_alloc();
        gsl_interp_init(interp, x.data(), y.data(), kTablePoints);
        std::unique_ptr<double[]> out(new double[kInterpPoints]);
        for (int64_t i = 0; i < kInterpPoints; ++i)
            out[static_cast<size_t>(i)] = gsl_interp_eval(interp, x.data(), y.data(), xi[static_cast<size_t>(i)], accel);
        benchmark::DoNotOptimize(out.get());
        gsl_interp_accel_free(accel);
        gsl_interp_free(interp);
    }
    state.SetItemsProcessed(state.iterations() * kInterpPoints);
}

// ---- polyval ------------------------------------------------------------------

void BM_Polyval(benchmark::State& state) {
    hostsim::Host& host = loaded_host(int64_t{1} << 26, static_cast<int>(state.range(0)));
    const std::vector<HostValue> args{host.array({static_cast<int64_t>(kCoefficients.size())}, kCoefficients),
                                      host.array({kPolyvalPoints}, ramp(kPolyvalPoints, -1.0, 1.0))};
    through_host(state, "math::polyval", args, kPolyvalPoints);
    for (const HostValue& a : args) host.release(a);
}

void BM_GslPolyEval(benchmark::State& state) {
    const std::vector<double> x = ramp(kPolyvalPoints, -1.0, 1.0);
    for (auto _ : state) {
        std::unique_ptr<double[]> out(new double[kPolyvalPoints]);
        for (int64_t i = 0; i < kPolyvalPoints; ++i)
            out[static_cast<size_t>(i)] = gsl_poly_eval(kCoefficients.data(), static_cast<int>(kCoefficients.size()), x[static_cast<size_t>(i)]);
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(state.iterations() * kPolyvalPoints);
}

// ---- fft ----------------------------------------------------------------------

// Arguments: n, threads.
void BM_Fft(benchmark::State& state) {
    const int64_t n = state.range(0);
    hostsim::Host& host = loaded_host(int64_t{1} << 26, static_cast<int>(state.range(1)));
    const std::vector<HostValue> args{host.array({n, 2}, signal(n))};
    through_host(state, "math::fft", args, n);
    host.release(args[0]);
    state.counters["ns_per_nlogn"] =
        benchmark::Counter(static_cast<double>(n) * std::log2(static_cast<double>(n)) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_GslFft(benchmark::State& state) {
    const int64_t n = state.range(0);
    const std::vector<double> input = signal(n);
    const bool radix2 = (n & (n - 1)) == 0;
    for (auto _ : state) {
        std::unique_ptr<double[]> data(new double[static_cast<size_t>(2 * n)]);
        std::memcpy(data.get(), input.data(), input.size() * sizeof(double));
        if (radix2) {
            gsl_fft_complex_radix2_forward(data.get(), 1, static_cast<size_t>(n));
        } else {
            gsl_fft_complex_wavetable* w = gsl_fft_complex_wavetable_alloc(static_cast<size_t>(n));
            gsl_fft_complex_workspace* s = gsl_fft_complex_workspace_alloc(static_cast<size_t>(n));
            gsl_fft_complex_forward(data.get(), 1, static_cast<size_t>(n), w, s);
            gsl_fft_complex_workspace_free(s);
            gsl_fft_complex_wavetable_free(w);
        }
        benchmark::DoNotOptimize(data.get());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// Arguments: n, threads.
void BM_Fftw(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> input = signal(n);
    auto* in = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n)));
    auto* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n)));
    fftw_plan_with_nthreads(static_cast<int>(state.range(1)));
    const fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    for (auto _ : state) {
        std::memcpy(in, input.data(), input.size() * sizeof(double));
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
    state.SetItemsProcessed(state.iterations() * n);
}

struct Pair {
    const char* library;
    const char* reference;
    const char* args;           // the library's
    const char* reference_args;
};
constexpr Pair kGslPairs[] = {
    {"BM_Interp1", "BM_GslInterp", "", ""},
    {"BM_Polyval", "BM_GslPolyEval", "1", ""},
};

void print_fft_ratios(const RatioReporter& reporter) {
    std::printf("\nfft, complex input: speed as a fraction of FFTW's (its time over fft's; target at least 0.8)\n");
    std::printf("  %-9s %-7s %10s %10s %7s %10s %9s\n", "n", "threads", "fft ms", "FFTW ms", "speed", "GSL ms", "vs GSL");
    std::vector<int> threads{1};
    if (hardware() > 1) threads.push_back(hardware());
    for (int64_t n : kFftLengths)
        for (int t : threads) {
            const std::string args = std::to_string(n) + "/" + std::to_string(t);
            const RatioReporter::Times* lib = reporter.find("BM_Fft", args);
            const RatioReporter::Times* fftw = reporter.find("BM_Fftw", args);
            const RatioReporter::Times* gsl = t == 1 ? reporter.find("BM_GslFft", std::to_string(n)) : nullptr;
            if (lib == nullptr || fftw == nullptr) continue;
            std::printf("  %-9lld %-7d %10.2f %10.2f %7.3f", static_cast<long long>(n), t, lib->real * 1e3, fftw->real * 1e3,
                        fftw->real / lib->real);
            if (gsl != nullptr) {
                std::printf(" %10.2f %8.1fx\n", gsl->real * 1e3, gsl->real / lib->real);
            } else {
                std::printf("\n");
            }
        }
    std::printf("\nfft over smooth and prime lengths (one thread): ns per n log2(n)\n");
    for (int64_t n : kSweepLengths) {
        const RatioReporter::Times* lib = reporter.find("BM_Fft", std::to_string(n) + "/1");
        if (lib == nullptr) continue;
        std::printf("  sweep %lld %.4f\n", static_cast<long long>(n),
                    lib->real * 1e9 / (static_cast<double>(n) * std::log2(static_cast<double>(n))));
    }
}

void print_ratios(const RatioReporter& reporter) {
    std::printf("\nTime as a multiple of the reference's (GSL: target at most 1.1)\n");
    for (const Pair& p : kGslPairs) {
        const RatioReporter::Times* lib = reporter.find(p.library, p.args);
        const RatioReporter::Times* ref = reporter.find(p.reference, p.reference_args);
        if (lib == nullptr || ref == nullptr) continue;
        std::printf("  %-11s %-8s %9.2f ms   %-12s %9.2f ms   %5.3fx\n", p.library + 3, p.args, lib->real * 1e3,
                    p.reference + 3, ref->real * 1e3, lib->real / ref->real);
    }
    const std::string all = std::to_string(hardware());
    const RatioReporter::Times* threaded = reporter.find("BM_Polyval", all);
    const RatioReporter::Times* ref = reporter.find("BM_GslPolyEval");
    if (hardware() > 1 && threaded != nullptr && ref != nullptr)
        std::printf("  polyval on %s threads: %.2f ms, %5.3fx GSL's one-thread time\n", all.c_str(), threaded->real * 1e3,
                    threaded->real / ref->real);
    print_fft_ratios(reporter);
}

}  // namespace

int main(int argc, char** argv) {
    auto add = [](const char* name, void (*fn)(benchmark::State&)) {
        return benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    add("BM_Interp1", BM_Interp1);
    add("BM_GslInterp", BM_GslInterp);
    auto* polyval = add("BM_Polyval", BM_Polyval)->Arg(1);
    if (hardware() > 1) polyval->Arg(hardware());
    add("BM_GslPolyEval", BM_GslPolyEval);
    fftw_init_threads();
    auto* fft = add("BM_Fft", BM_Fft);
    auto* fftw = add("BM_Fftw", BM_Fftw);
    auto* gsl = add("BM_GslFft", BM_GslFft);
    for (int64_t n : kFftLengths) {
        for (int t : {1, hardware()}) {
            if (t > 1 && hardware() == 1) continue;
            fft->Args({n, t});
            fftw->Args({n, t});
        }
        if (n != kPrimeLength) gsl->Arg(n);
    }
    for (int64_t n : kSweepLengths) fft->Args({n, 1});
    RatioReporter reporter;
    reporter.run(argc, argv, 5);
    benchmark::Shutdown();
    unload_host();
    print_ratios(reporter);
    fftw_cleanup_threads();
    return 0;
}
