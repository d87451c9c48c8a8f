// SPDX-License-Identifier: GPL-3.0-or-later
// mean, var, min, max and cumsum through the stand-in host on 10^7
// elements: in total (a vector of 10^7), along the rows (k = 2) and down the
// columns (k = 1) of a 3162 x 3162 matrix, each against a plain loop that
// does the same arithmetic in the same order and, where the library returns
// a new array, allocates one of the same size. sort against std::stable_sort
// on the same data (a copy sorted in a new array): in total and each row.
// Prints reference time / library time per case (target >= 0.9), in CPU
// time: on a shared machine the wall-clock time mostly measures the other
// processes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bench/loaded_host.h"
#include "bench/ratio_reporter.h"
#include "hostsim/hostsim.h"

namespace {

constexpr int64_t kTotal = 10'000'000;
constexpr int64_t kSide = 3162;  // 3162^2 = 9,998,244

std::vector<double> random_data(int64_t n) {
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) x = dist(rng);
    return v;
}

// The three layouts: (rows, columns, k) with k = 0 for the total.
struct Layout {
    const char* name;
    int64_t rows;
    int64_t cols;
    int64_t k;
};
constexpr Layout kLayouts[] = {{"total", 1, kTotal, 0}, {"rows", kSide, kSide, 2}, {"columns", kSide, kSide, 1}};

const std::vector<double>& data_of(const Layout& l) {
    static const std::vector<double> total = random_data(kTotal);
    static const std::vector<double> square = random_data(kSide * kSide);
    return l.k == 0 ? total : square;
}

// ---- the library, through the host -------------------------------------------------------

void library(benchmark::State& state, const char* key, const Layout& l) {
    hostsim::Host& host = loaded_host(kTotal);
    const HostValue a = l.k == 0 ? host.array({kTotal}, data_of(l)) : host.array({l.rows, l.cols}, data_of(l));
    for (auto _ : state) {
        std::vector<HostValue> args{a, make_integer(l.k)};
        const HostValue r = host.call(key, args);
        benchmark::DoNotOptimize(r);
        if (r.base_type == kTypeRealArray && !host.release(r)) state.SkipWithError("no array came back");
        if (r.base_type != kTypeRealArray && r.base_type != kTypeReal) state.SkipWithError("no result");
    }
    host.release(a);
}

// ---- the plain loops -------------------------------------------------------------------------

// Folds: one value per run from `start`, runs along rows or down columns
// (all columns side by side, a row at a time, as anyone would write it).
template <class Step>
void fold(const double* a, const Layout& l, double start, Step step, double* out) {
    if (l.k == 1) {
        for (int64_t c = 0; c < l.cols; ++c) out[c] = start;
        for (int64_t r = 0; r < l.rows; ++r) {
            for (int64_t c = 0; c < l.cols; ++c) out[c] = step(out[c], a[r * l.cols + c], c);
        }
        return;
    }
    for (int64_t r = 0; r < l.rows; ++r) {
        double v = start;
        for (int64_t c = 0; c < l.cols; ++c) v = step(v, a[r * l.cols + c], r);
        out[r] = v;
    }
}

int64_t runs(const Layout& l) { return l.k == 1 ? l.cols : l.rows; }
int64_t along(const Layout& l) { return l.k == 1 ? l.rows : l.cols; }

void plain_mean(const double* a, const Layout& l, double* out) {
    fold(a, l, 0.0, [](double s, double x, int64_t) { return s + x; }, out);
    for (int64_t j = 0; j < runs(l); ++j) out[j] = out[j] / static_cast<double>(along(l));
}

void plain_var(const double* a, const Layout& l, double* out) {
    std::vector<double> means(static_cast<size_t>(runs(l)));
    plain_mean(a, l, means.data());
    fold(a, l, 0.0, [&](double s, double x, int64_t j) {
        const double d = x - means[static_cast<size_t>(j)];
        return s + d * d;
    }, out);
    for (int64_t j = 0; j < runs(l); ++j) out[j] = out[j] / static_cast<double>(along(l) - 1);
}

void plain_min(const double* a, const Layout& l, double* out) {
    fold(a, l, std::numeric_limits<double>::infinity(),
         [](double m, double x, int64_t) { return m != m ? m : (x < m || x != x) ? x : m; }, out);
}

void plain_max(const double* a, const Layout& l, double* out) {
    fold(a, l, -std::numeric_limits<double>::infinity(),
         [](double m, double x, int64_t) { return m != m ? m : (x > m || x != x) ? x : m; }, out);
}

void plain_cumsum(const double* a, const Layout& l, double* out) {
    if (l.k == 1) {
        for (int64_t c = 0; c < l.cols; ++c) out[c] = 0.0 + a[c];
        for (int64_t r = 1; r < l.rows; ++r) {
            for (int64_t c = 0; c < l.cols; ++c) out[r * l.cols + c] = out[(r - 1) * l.cols + c] + a[r * l.cols + c];
        }
        return;
    }
    for (int64_t r = 0; r < l.rows; ++r) {
        double s = 0.0;
        for (int64_t c = 0; c < l.cols; ++c) out[r * l.cols + c] = s = s + a[r * l.cols + c];
    }
}

void plain_sort(const double* a, const Layout& l, double* out) {
    std::copy(a, a + l.rows * l.cols, out);
    for (int64_t r = 0; r < l.rows; ++r) std::stable_sort(out + r * l.cols, out + (r + 1) * l.cols);
}

using Plain = void (*)(const double*, const Layout&, double*);

// Each iteration allocates the result (one value per run, or all of them for
// cumsum and sort; a total needs none), lets the loop fill it and frees it.
void plain(benchmark::State& state, Plain loop, bool every, const Layout& l) {
    const std::vector<double>& a = data_of(l);
    const int64_t size = every ? l.rows * l.cols : runs(l);
    for (auto _ : state) {
        if (l.k == 0 && !every) {
            double total = 0.0;
            loop(a.data(), l, &total);
            benchmark::DoNotOptimize(total);
            continue;
        }
        double* out = new double[static_cast<size_t>(size)];
        loop(a.data(), l, out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        delete[] out;
    }
}

struct Case {
    const char* key;
    Plain loop;
    bool every;  // the result has a's shape
};
constexpr Case kCases[] = {
    {"math::mean", plain_mean, false}, {"math::var", plain_var, false},       {"math::min", plain_min, false},
    {"math::max", plain_max, false},   {"math::cumsum", plain_cumsum, true}, {"math::sort", plain_sort, true},
};

std::string name_of(const char* side, const Case& c, const Layout& l) {
    return std::string(side) + "/" + (c.key + 6) + "/" + l.name;
}

}  // namespace

int main(int argc, char** argv) {
    for (const Case& c : kCases) {
        for (const Layout& l : kLayouts) {
            if (c.loop == plain_sort && l.k == 1) continue;  // std::stable_sort has no strided form
            benchmark::RegisterBenchmark(name_of("plain", c, l).c_str(), [&c, &l](benchmark::State& s) { plain(s, c.loop, c.every, l); })
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.5);
            benchmark::RegisterBenchmark(name_of("library", c, l).c_str(), [&c, &l](benchmark::State& s) { library(s, c.key, l); })
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.5);
        }
    }
    RatioReporter reporter;
    reporter.run(argc, argv, 3);
    std::printf("\nspeed relative to the plain loop (std::stable_sort for sort) on 1e7 elements, CPU time (target >= 0.9):\n");
    for (const Case& c : kCases) {
        for (const Layout& l : kLayouts) {
            const RatioReporter::Times* reference = reporter.find(name_of("plain", c, l));
            const RatioReporter::Times* measured = reporter.find(name_of("library", c, l));
            if (reference == nullptr || measured == nullptr) continue;
            std::printf("  %-8s %-8s %8.3f   (%.1f ms against %.1f ms)\n", c.key + 6, l.name, reference->cpu / measured->cpu,
                        measured->cpu * 1e3, reference->cpu * 1e3);
        }
    }
    unload_host();
    benchmark::Shutdown();
    return 0;
}
