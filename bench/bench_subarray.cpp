// SPDX-License-Identifier: GPL-3.0-or-later
// Copies of rows and blocks by subg and subs, reshape, and Sum, each through
// the stand-in host on 10^7 elements, against a plain loop that does the
// same copy or the same sums in the same order. Where the library returns a
// new array, the plain loop allocates and frees one of the same size too.
// Prints reference time / library time per operation (target >= 0.8), in
// CPU time: on a shared machine the wall-clock time mostly measures the
// other processes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

namespace {

// Sources of 10^4 x 2000; every copy and sum covers 10^7 elements.
constexpr int64_t kRows = 10'000;
constexpr int64_t kCols = 2'000;
constexpr int64_t kHalf = kCols / 2;
constexpr int64_t kCopied = kRows * kHalf;

std::vector<double> ramp(int64_t n) {
    std::vector<double> v(static_cast<size_t>(n));
    for (size_t i = 0; i < v.size(); ++i) v[i] = 0.25 * static_cast<double>(i % 1000);
    return v;
}

HostValue i(int64_t v) { return make_integer(v); }
const HostValue kAll = make_option(kOptionAll);

// ---- the library, through the host ---------------------------------------------

// A call that returns a new array, which the host then drops.
void run_new(benchmark::State& state, const char* key, std::vector<HostValue> tail, int64_t rows, int64_t cols) {
    hostsim::Host& host = loaded_host(kRows * kCols);
    HostValue a = host.array({rows, cols}, ramp(rows * cols));
    std::vector<HostValue> args{a};
    args.insert(args.end(), tail.begin(), tail.end());
    for (auto _ : state) {
        std::vector<HostValue> call_args = args;
        HostValue r = host.call(key, call_args);
        benchmark::DoNotOptimize(r);
        if (!host.release(r)) state.SkipWithError("no array came back");
    }
    host.release(a);
}

void BM_SubgRows(benchmark::State& state) {
    run_new(state, "math::subg", {i(0), i(kRows / 2 - 1), kAll}, kRows, kCols);
}
void BM_SubgBlock(benchmark::State& state) {
    run_new(state, "math::subg", {i(0), i(kRows - 1), i(kHalf / 2), i(kHalf / 2 + kHalf - 1)}, kRows, kCols);
}
void BM_SumRows(benchmark::State& state) { run_new(state, "math::Sum", {i(2)}, kRows, kHalf); }
void BM_SumColumns(benchmark::State& state) { run_new(state, "math::Sum", {i(1)}, kRows, kHalf); }

void BM_SumTotal(benchmark::State& state) {
    hostsim::Host& host = loaded_host(kRows * kCols);
    HostValue a = host.array({kRows, kHalf}, ramp(kCopied));
    for (auto _ : state) {
        HostValue r = host.call("math::Sum", {a, i(0)});
        benchmark::DoNotOptimize(r);
    }
    host.release(a);
}

// subs writes b into a in place.
void run_subs(benchmark::State& state, std::vector<HostValue> idx, int64_t b_rows, int64_t b_cols) {
    hostsim::Host& host = loaded_host(kRows * kCols);
    HostValue a = host.array({kRows, kCols});
    HostValue b = host.array({b_rows, b_cols}, ramp(b_rows * b_cols));
    std::vector<HostValue> args{a};
    args.insert(args.end(), idx.begin(), idx.end());
    args.push_back(b);
    for (auto _ : state) {
        std::vector<HostValue> call_args = args;
        HostValue r = host.call("math::subs", call_args);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    host.release(a);
    host.release(b);
}

void BM_SubsRows(benchmark::State& state) { run_subs(state, {i(0), i(kRows / 2 - 1), kAll}, kRows / 2, kCols); }
void BM_SubsBlock(benchmark::State& state) {
    run_subs(state, {i(0), i(kRows - 1), i(kHalf / 2), i(kHalf / 2 + kHalf - 1)}, kRows, kHalf);
}

// reshape moves no element: two calls that turn the matrix into a vector and back.
void BM_Reshape(benchmark::State& state) {
    hostsim::Host& host = loaded_host(kRows * kCols);
    HostValue a = host.array({kRows, kHalf}, ramp(kCopied));
    for (auto _ : state) {
        HostValue r = host.call("math::reshape", {a});
        benchmark::DoNotOptimize(r);
        r = host.call("math::reshape", {a, i(kRows), i(kHalf)});
        benchmark::DoNotOptimize(r);
    }
    host.release(a);
}

// ---- the plain loops ----------------------------------------------------------------

void copy_block(const double* a, int64_t a_cols, int64_t row0, int64_t rows, int64_t col0, int64_t cols, double* out) {
    for (int64_t r = 0; r < rows; ++r) {
        for (int64_t c = 0; c < cols; ++c) out[r * cols + c] = a[(row0 + r) * a_cols + col0 + c];
    }
}

// Each iteration allocates a result of n elements, as the library's host
// does, lets `body` fill it, and frees it.
template <class Body>
void plain_into_new(benchmark::State& state, int64_t n, Body body) {
    for (auto _ : state) {
        double* out = new double[static_cast<size_t>(n)];
        body(out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        delete[] out;
    }
}

void plain_cut(benchmark::State& state, int64_t rows, int64_t col0, int64_t cols) {
    const std::vector<double> a = ramp(kRows * kCols);
    plain_into_new(state, rows * cols, [&](double* out) { copy_block(a.data(), kCols, 0, rows, col0, cols, out); });
}

void BM_PlainCutRows(benchmark::State& state) { plain_cut(state, kRows / 2, 0, kCols); }
void BM_PlainCutBlock(benchmark::State& state) { plain_cut(state, kRows, kHalf / 2, kHalf); }

void plain_write(benchmark::State& state, int64_t rows, int64_t col0, int64_t cols) {
    std::vector<double> a(static_cast<size_t>(kRows * kCols));
    const std::vector<double> b = ramp(rows * cols);
    for (auto _ : state) {
        for (int64_t r = 0; r < rows; ++r) {
            double* to = a.data() + r * kCols + col0;
            const double* from = b.data() + r * cols;
            for (int64_t c = 0; c < cols; ++c) to[c] = from[c];
        }
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

void BM_PlainWriteRows(benchmark::State& state) { plain_write(state, kRows / 2, 0, kCols); }
void BM_PlainWriteBlock(benchmark::State& state) { plain_write(state, kRows, kHalf / 2, kHalf); }

// The same sums in the same order: each a running sum from 0.0.
void BM_PlainSumRows(benchmark::State& state) {
    const std::vector<double> a = ramp(kCopied);
    plain_into_new(state, kRows, [&](double* out) {
        for (int64_t r = 0; r < kRows; ++r) {
            double s = 0.0;
            for (int64_t c = 0; c < kHalf; ++c) s += a[static_cast<size_t>(r * kHalf + c)];
            out[r] = s;
        }
    });
}

void BM_PlainSumColumns(benchmark::State& state) {
    const std::vector<double> a = ramp(kCopied);
    plain_into_new(state, kHalf, [&](double* out) {
        for (int64_t c = 0; c < kHalf; ++c) out[c] = 0.0;
        for (int64_t r = 0; r < kRows; ++r) {
            for (int64_t c = 0; c < kHalf; ++c) out[c] += a[static_cast<size_t>(r * kHalf + c)];
        }
    });
}

void BM_PlainSumTotal(benchmark::State& state) {
    const std::vector<double> a = ramp(kCopied);
    for (auto _ : state) {
        double s = 0.0;
        for (double x : a) s += x;
        benchmark::DoNotOptimize(s);
    }
}

// A copy of all 10^7 elements: what reshape would cost if it moved them.
void BM_PlainCopyAll(benchmark::State& state) { plain_cut(state, kRows, 0, kHalf); }

#define HOSTMATH_RATIO_BENCH(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)
HOSTMATH_RATIO_BENCH(BM_PlainCutRows);
HOSTMATH_RATIO_BENCH(BM_SubgRows);
HOSTMATH_RATIO_BENCH(BM_PlainCutBlock);
HOSTMATH_RATIO_BENCH(BM_SubgBlock);
HOSTMATH_RATIO_BENCH(BM_PlainWriteRows);
HOSTMATH_RATIO_BENCH(BM_SubsRows);
HOSTMATH_RATIO_BENCH(BM_PlainWriteBlock);
HOSTMATH_RATIO_BENCH(BM_SubsBlock);
HOSTMATH_RATIO_BENCH(BM_PlainCopyAll);
HOSTMATH_RATIO_BENCH(BM_Reshape);
HOSTMATH_RATIO_BENCH(BM_PlainSumRows);
HOSTMATH_RATIO_BENCH(BM_SumRows);
HOSTMATH_RATIO_BENCH(BM_PlainSumColumns);
HOSTMATH_RATIO_BENCH(BM_SumColumns);
HOSTMATH_RATIO_BENCH(BM_PlainSumTotal);
HOSTMATH_RATIO_BENCH(BM_SumTotal);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // (what, reference, library): printed as reference time / library time.
    const char* pairs[][3] = {
        {"subg rows", "BM_PlainCutRows", "BM_SubgRows"},
        {"subg block", "BM_PlainCutBlock", "BM_SubgBlock"},
        {"subs rows", "BM_PlainWriteRows", "BM_SubsRows"},
        {"subs block", "BM_PlainWriteBlock", "BM_SubsBlock"},
        {"reshape (vs copying)", "BM_PlainCopyAll", "BM_Reshape"},
        {"Sum along rows", "BM_PlainSumRows", "BM_SumRows"},
        {"Sum along columns", "BM_PlainSumColumns", "BM_SumColumns"},
        {"Sum total", "BM_PlainSumTotal", "BM_SumTotal"},
    };
    std::printf("\nspeed relative to a plain loop over 1e7 elements, CPU time (target >= 0.8):\n");
    for (const auto& p : pairs) {
        const RatioReporter::Times* plain = reporter.find(p[1]);
        const RatioReporter::Times* library = reporter.find(p[2]);
        if (plain == nullptr || library == nullptr) continue;
        std::printf("  %-22s %8.3f\n", p[0], plain->cpu / library->cpu);
    }
    unload_host();
    benchmark::Shutdown();
    return 0;
}
