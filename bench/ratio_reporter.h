// SPDX-License-Identifier: GPL-3.0-or-later
// The console reporter every benchmark here uses: it prints as usual and
// keeps, for each benchmark, the least time per iteration over its
// repetitions (the run least disturbed by the rest of the machine), so that
// the benchmark can print its speed as a ratio against a reference measured
// in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0.0;  // seconds per iteration
        double cpu = 0.0;
        std::map<std::string, double> counters;
        std::vector<double> cpu_runs;  // of every repetition, in order

        // The median CPU time per iteration over the repetitions: steadier
        // than the least where other work comes and goes on the machine.
        double median_cpu() const {
            std::vector<double> sorted = cpu_runs;
            std::sort(sorted.begin(), sorted.end());
            const size_t n = sorted.size();
            if (n == 0) return cpu;
            return n % 2 == 1 ? sorted[n / 2] : 0.5 * (sorted[n / 2 - 1] + sorted[n / 2]);
        }
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0) continue;
            const double n = static_cast<double>(run.iterations);
            const std::string key = key_of(run.run_name.function_name, run.run_name.args);
            auto [it, fresh] = times_.try_emplace(key);
            Times& t = it->second;
            const double real = run.real_accumulated_time / n;
            const double cpu = run.cpu_accumulated_time / n;
            t.real = fresh ? real : std::min(t.real, real);
            t.cpu = fresh ? cpu : std::min(t.cpu, cpu);
            t.cpu_runs.push_back(cpu);
            for (const auto& [name, counter] : run.counters) t.counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The times of a benchmark by its registered name and, for one with
    // arguments, their text ("1024"); null when it did not run.
    const Times* find(const std::string& name, const std::string& args = "") const {
        auto it = times_.find(key_of(name, args));
        return it == times_.end() ? nullptr : &it->second;
    }
    const std::map<std::string, Times>& all() const { return times_; }

    // One line: "<name> on <what>, speed-up over one thread:  1: x1.00  2: x..."
    // for a benchmark registered with the thread count as its argument, in
    // real time, for every count from 1 to `most` that ran.
    void print_speedups(const std::string& name, const char* what, int most) const {
        const Times* one = find(name, "1");
        if (one == nullptr) return;
        std::printf("%s on %s, speed-up over one thread:", name.c_str(), what);
        for (int t = 1; t <= most; ++t) {
            if (const Times* times = find(name, std::to_string(t))) std::printf("  %d: x%.2f", t, one->real / times->real);
        }
        std::printf("\n");
    }

    // Initialises Google Benchmark from the command line and runs the
    // registered benchmarks through this reporter. They are repeated
    // `repetitions` times unless the command line says how often, so that
    // the ratios rest on the least disturbed runs.
    void run(int argc, char** argv, int repetitions = 5) {
        std::vector<char*> arguments(argv, argv + argc);
        std::string repeat = "--benchmark_repetitions=" + std::to_string(repetitions);
        bool repeated = false;
        for (int i = 1; i < argc; ++i) repeated |= std::string(argv[i]).starts_with("--benchmark_repetitions");
        if (!repeated) arguments.push_back(repeat.data());
        int count = static_cast<int>(arguments.size());
        benchmark::Initialize(&count, arguments.data());
        benchmark::RunSpecifiedBenchmarks(this);
    }

private:
    static std::string key_of(const std::string& name, const std::string& args) {
        return args.empty() ? name : name + "/" + args;
    }
    std::map<std::string, Times> times_;
};
