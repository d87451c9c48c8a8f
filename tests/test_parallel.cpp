// SPDX-License-Identifier: GPL-3.0-or-later
// Work split across threads: the fork-join helpers on their own, and every
// operation that uses them, whose results must not change by a bit with the
// thread count (HOSTMATH_THREADS, read at load).

#include <xmmintrin.h>

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kernels/inverse.h"
#include "kernels/matmul.h"
#include "kernels/parallel.h"
#include "ops/binary.h"
#include "ops/transpose.h"
#include "tests/support.h"

namespace {

namespace parallel = hostmath::parallel;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kThreadCounts[] = {1, 2, 3, 7};

// ---- floating-point modes -------------------------------------------------------

// MXCSR: rounding (bits 13-14), flush-to-zero (15), denormals-are-zero (6)
// and the exception masks (7-12); bits 0-5 are the sticky flags.
constexpr unsigned kMxcsrControl = 0xFFC0;
constexpr unsigned kFlushToZero = 0x8000;
constexpr unsigned kDenormalsAreZero = 0x0040;

struct FloatingPointMode {
    const char* name;
    int rounding;
    bool flush;  // flush-to-zero and denormals-are-zero
};

// The four rounding directions, and flush-to-zero with denormals-are-zero
// in the default direction and in the one a host was seen to use with it.
const FloatingPointMode kModes[] = {
    {"to nearest", FE_TONEAREST, false},
    {"upward", FE_UPWARD, false},
    {"downward", FE_DOWNWARD, false},
    {"toward zero", FE_TOWARDZERO, false},
    {"to nearest, FTZ and DAZ", FE_TONEAREST, true},
    {"toward zero, FTZ and DAZ", FE_TOWARDZERO, true},
};

// Sets the calling thread's mode (fesetround sets the x87 unit and MXCSR
// alike) and restores the whole environment when it goes, MXCSR explicitly
// too, whatever a runtime's fenv_t keeps of it.
class ModeOnThisThread {
public:
    explicit ModeOnThisThread(const FloatingPointMode& mode) : mxcsr_(_mm_getcsr()) {
        std::fegetenv(&saved_);
        std::fesetround(mode.rounding);
        if (mode.flush) _mm_setcsr(_mm_getcsr() | kFlushToZero | kDenormalsAreZero);
    }
    ~ModeOnThisThread() {
        std::fesetenv(&saved_);
        _mm_setcsr(mxcsr_);
    }
    ModeOnThisThread(const ModeOnThisThread&) = delete;
    ModeOnThisThread& operator=(const ModeOnThisThread&) = delete;

private:
    std::fenv_t saved_;
    unsigned mxcsr_;
};

// The mode a thread computes in: MXCSR's control bits and the x87 control
// word (rounding, precision and masks), which both glibc's and mingw-w64's
// fenv_t hold first, as the processor's fnstenv stores it.
struct ThreadMode {
    unsigned mxcsr = 0;
    uint16_t x87 = 0;
    bool operator==(const ThreadMode&) const = default;
};

ThreadMode mode_of_this_thread() {
    std::fenv_t env;
    std::fegetenv(&env);
    ThreadMode m;
    m.mxcsr = _mm_getcsr() & kMxcsrControl;
    std::memcpy(&m.x87, &env, sizeof m.x87);
    return m;
}

// ---- splitting and counting -----------------------------------------------------

TEST(ParallelRanges, PartsCoverTheRangeInOrderOnGrainBoundaries) {
    struct Case {
        int64_t begin, end, grain;
        int parts;
    };
    const Case cases[] = {
        {0, 10, 1, 3},    {5, 1000, 16, 7}, {0, 3, 1, 7},   {0, 100, 512, 2},
        {7, 7, 4, 3},     {-20, 20, 6, 4},  {0, 1, 1, 1},   {0, 4097, 512, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.begin << ", " << c.end << ") grain " << c.grain << " in "
                                        << c.parts);
        int64_t next = c.begin, smallest = INT64_MAX, largest = 0;
        for (int p = 0; p < c.parts; ++p) {
            const parallel::Range r = parallel::part_of(c.begin, c.end, c.grain, p, c.parts);
            if (r.empty()) continue;
            EXPECT_EQ(r.begin, next);
            if (r.end != c.end) {
                EXPECT_EQ((r.end - c.begin) % c.grain, 0);
            }
            next = r.end;
            smallest = std::min(smallest, r.end - r.begin);
            largest = std::max(largest, r.end - r.begin);
        }
        EXPECT_EQ(next, std::max(c.begin, c.end));
        // Parts differ by at most one grain, and the last may hold a partial one.
        if (c.begin < c.end) {
            EXPECT_LE(largest - smallest, 2 * c.grain - 1);
        }
    }
}

TEST(ParallelThreadCount, ReadsHostmathThreads) {
    const int fallback = 5;
    const struct {
        const char* text;
        int want;
    } cases[] = {
        {nullptr, fallback}, {"", fallback},   {"0", fallback},   {"1", 1},         {"7", 7},
        {"abc", fallback},   {"-2", fallback}, {"3x", fallback},  {" 4", fallback}, {"99999999999999999999", 256},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parallel::parse_thread_count(c.text, fallback), c.want) << (c.text ? c.text : "(unset)");
    }

    hostsim::set_environment("HOSTMATH_THREADS", "3");
    parallel::configure_from_environment();
    EXPECT_EQ(parallel::thread_limit(), 3);
    hostsim::set_environment("HOSTMATH_THREADS", std::nullopt);
    parallel::configure_from_environment();
    EXPECT_EQ(parallel::thread_limit(), parallel::hardware_threads());
    EXPECT_GE(parallel::hardware_threads(), 1);
    parallel::set_thread_limit(1);
}

TEST(ParallelThreadCount, EachThreadGetsAtLeastItsShare) {
    parallel::set_thread_limit(4);
    EXPECT_EQ(parallel::threads_for(199, 100), 1);  // two threads would get less than 100 each
    EXPECT_EQ(parallel::threads_for(200, 100), 2);
    EXPECT_EQ(parallel::threads_for(399, 100), 3);
    EXPECT_EQ(parallel::threads_for(int64_t{1} << 60, 100), 4);
    parallel::set_thread_limit(1);
    EXPECT_EQ(parallel::threads_for(int64_t{1} << 60, 100), 1);
}

// ---- the team -----------------------------------------------------------------

// A team runs job after job on the same threads: every index is handled
// exactly once per job, and every thread takes a part.
TEST(ParallelTeam, EveryIndexOnceOnEveryThreadJobAfterJob) {
    constexpr int64_t kCount = 1001;
    for (int threads : kThreadCounts) {
        parallel::Team team(threads);
        ASSERT_EQ(team.size(), threads);
        std::vector<int> visits(kCount, 0);
        std::vector<std::thread::id> by(kCount);
        for (int job = 0; job < 50; ++job) {
            team.for_ranges(0, kCount, 8, [&](int64_t lo, int64_t hi) {
                for (int64_t i = lo; i < hi; ++i) {
                    ++visits[i];
                    by[i] = std::this_thread::get_id();
                }
            });
        }
        for (int64_t i = 0; i < kCount; ++i) ASSERT_EQ(visits[i], 50) << i << " with " << threads << " threads";
        EXPECT_EQ(std::set<std::thread::id>(by.begin(), by.end()).size(), static_cast<size_t>(threads));
        EXPECT_EQ(by[0], std::this_thread::get_id()) << "the caller takes the first part";
    }
}

// Tasks shared out beside the caller's own first job: the caller runs it
// before any task of its own while the other threads take tasks, every task
// runs once on the thread that reports its number.
TEST(ParallelTeam, SharedTasksRunOnceBesideTheCallersFirstJob) {
    constexpr int64_t kCount = 97;
    for (int threads : kThreadCounts) {
        parallel::Team team(threads);
        std::vector<int> visits(kCount, 0), part_of_task(kCount, -1);
        std::vector<std::thread::id> by(kCount);
        std::thread::id first_by;
        std::atomic<bool> worker_took_task{false};
        bool caller_busy = false, caller_took_task_while_busy = false;
        team.share_after(
            [&] {
                first_by = std::this_thread::get_id();
                caller_busy = true;
                // With workers, the first job lasts until one of them has
                // taken a task (or long enough that one should have).
                const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (threads > 1 && !worker_took_task && std::chrono::steady_clock::now() < give_up) {
                    std::this_thread::yield();
                }
                caller_busy = false;
            },
            kCount,
            [&](int part, int64_t i) {
                ++visits[i];
                part_of_task[i] = part;
                by[i] = std::this_thread::get_id();
                if (part == 0 && caller_busy) caller_took_task_while_busy = true;
                if (part != 0) worker_took_task = true;
            });
        EXPECT_EQ(first_by, std::this_thread::get_id());
        EXPECT_FALSE(caller_took_task_while_busy);
        EXPECT_EQ(worker_took_task, threads > 1) << threads << " threads";
        for (int64_t i = 0; i < kCount; ++i) {
            ASSERT_EQ(visits[i], 1) << i << " with " << threads << " threads";
            ASSERT_GE(part_of_task[i], 0);
            ASSERT_LT(part_of_task[i], threads);
            if (part_of_task[i] == 0) {
                EXPECT_EQ(by[i], std::this_thread::get_id());
            }
        }
    }
}

// The pivot search of an elimination: the element of largest magnitude, the
// first one in scan order among equals, never a NaN, none when all are 0.
struct Pivot {
    double magnitude = 0.0;
    int64_t index = -1;
};

Pivot search_range(const std::vector<double>& v, int64_t lo, int64_t hi) {
    Pivot best;
    for (int64_t i = lo; i < hi; ++i) {
        if (std::fabs(v[i]) > best.magnitude) best = {std::fabs(v[i]), i};
    }
    return best;
}

Pivot later_if_larger(const Pivot& so_far, const Pivot& next) {
    return next.magnitude > so_far.magnitude ? next : so_far;
}

TEST(ParallelTeam, ReductionKeepsTheFirstOfEqualCandidates) {
    constexpr int64_t kCount = 97;
    const auto with = [](std::vector<std::pair<int64_t, double>> at) {
        std::vector<double> v(kCount, 0.5);
        for (auto [i, x] : at) v[i] = x;
        return v;
    };
    const struct {
        const char* what;
        std::vector<double> values;
        int64_t want;
    } cases[] = {
        {"equal largest in every part", with({{5, -3.0}, {40, 3.0}, {60, 3.0}, {96, -3.0}}), 5},
        {"equal largest at the end of one part and the start of the next", with({{47, 2.0}, {48, -2.0}, {49, 2.0}}),
         47},
        {"NaNs before the largest", with({{0, kNaN}, {1, -kNaN}, {70, 4.0}, {71, kNaN}}), 70},
        {"infinity beats all", with({{3, 9.0}, {90, -kInf}, {91, kInf}}), 90},
        {"largest last", with({{96, 1.0}}), 96},
        {"all zero: none", std::vector<double>(kCount, 0.0), -1},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(search_range(c.values, 0, kCount).index, c.want) << c.what;
        for (int threads : kThreadCounts) {
            parallel::Team team(threads);
            for (int64_t grain : {1, 7}) {
                const Pivot got = team.reduce_ranges(
                    0, kCount, grain, Pivot{},
                    [&](int64_t lo, int64_t hi) { return search_range(c.values, lo, hi); }, later_if_larger);
                EXPECT_EQ(got.index, c.want) << c.what << ", " << threads << " threads, grain " << grain;
            }
        }
    }
}

// The threads of a team started before the caller changed its mode still
// run every job in the caller's mode of that job, and in the default mode
// again once the caller is back in it.
TEST(ParallelTeam, WorkersRunInTheCallersFloatingPointMode) {
    constexpr int kThreads = 4;
    parallel::Team team(kThreads);
    ASSERT_EQ(team.size(), kThreads);
    const auto modes_of_parts = [&team] {
        std::vector<ThreadMode> seen(kThreads);
        team.for_numbered_ranges(0, kThreads, 1, [&](int part, int64_t, int64_t) { seen[part] = mode_of_this_thread(); });
        return seen;
    };
    const ThreadMode initial = mode_of_this_thread();
    for (const FloatingPointMode& mode : kModes) {
        ModeOnThisThread on(mode);
        const ThreadMode caller = mode_of_this_thread();
        for (const ThreadMode& part : modes_of_parts()) {
            EXPECT_EQ(part.mxcsr, caller.mxcsr) << mode.name;
            EXPECT_EQ(part.x87, caller.x87) << mode.name;
        }
    }
    EXPECT_EQ(mode_of_this_thread(), initial);
    for (const ThreadMode& part : modes_of_parts()) EXPECT_EQ(part, initial);
}

// ---- operations: the same bits on every thread count ----------------------------

// Doubles of mixed sign and magnitude (e^x neither always overflows nor
// underflows), with zeros of both signs, infinities and NaNs among them.
std::vector<double> mixed_values(int64_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    std::uniform_int_distribution<int> exponent(-12, 9);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) x = std::ldexp((rng() & 1) ? -mantissa(rng) : mantissa(rng), exponent(rng));
    const double specials[] = {0.0, -0.0, kInf, -kInf, kNaN, 1.0, -1.0};
    for (size_t i = 0; i < v.size(); i += 997) v[i] = specials[(i / 997) % std::size(specials)];
    return v;
}

int64_t first_difference(const std::vector<double>& got, const std::vector<double>& want) {
    if (got.size() != want.size()) return 0;
    for (size_t i = 0; i < want.size(); ++i) {
        if (!same_bits(got[i], want[i])) return static_cast<int64_t>(i);
    }
    return -1;
}

class ThreadCountTest : public LibraryTest {
protected:
    void TearDown() override {
        hostsim::set_environment("HOSTMATH_THREADS", std::nullopt);
        LibraryTest::TearDown();
    }

    void reload_with_threads(int threads) {
        host.unload();
        host.close();
        hostsim::set_environment("HOSTMATH_THREADS", std::to_string(threads));
        ASSERT_TRUE(host.open());
        ASSERT_EQ(host.load(), 1);
    }

    // Applies the operator with the library loaded for each thread count
    // and compares every result, shape and bits, with the one-thread result.
    void expect_same_on_every_thread_count(const std::string& what, int32_t code,
                                           const std::vector<HostValue>& operands) {
        hostsim::ArrayContents one;
        for (int threads : kThreadCounts) {
            reload_with_threads(threads);
            std::vector<HostValue> args = operands;
            const HostValue r = host.apply(code, args);
            ASSERT_NE(host.object(r), nullptr) << what << " on " << threads << " threads";
            hostsim::ArrayContents got = host.read(r);
            host.release(r);
            if (threads == 1) {
                one = std::move(got);
                continue;
            }
            EXPECT_EQ(got.shape, one.shape) << what << " on " << threads << " threads";
            EXPECT_EQ(first_difference(got.values, one.values), -1) << what << " on " << threads << " threads";
        }
        EXPECT_TRUE(host.errors().empty());
    }
};

// Large enough that even the cheapest operation runs on 7 threads, and a
// count that does not split evenly into 2, 3 or 7 parts of whole grains.
constexpr int64_t kElements = 7 * hostmath::kInlineElementsPerThread + 4099;
static_assert((kElements / hostmath::kElementGrain + 1) % 2 != 0 && (kElements / hostmath::kElementGrain + 1) % 3 != 0 &&
              (kElements / hostmath::kElementGrain + 1) % 7 != 0);

TEST_F(ThreadCountTest, ElementWiseOperatorsAndFunctions) {
    const HostValue a = host.array({kElements}, mixed_values(kElements, 1));
    const HostValue b = host.array({kElements}, mixed_values(kElements, 2));
    const HostValue x = make_real(-1.5);
    const struct {
        const char* what;
        int32_t code;
        std::vector<HostValue> operands;
    } cases[] = {
        {"a + b", 0, {a, b}},   {"a + x", 0, {a, x}},       {"a - b", 1, {a, b}},
        {"x - a", 1, {x, a}},   {"a * x", 2, {a, x}},       {"a .* b", 25, {a, b}},
        {"a ./ b", 26, {a, b}}, {"x ./ a", 26, {x, a}},     {"a .^ b", 28, {a, b}},
        {"a .^ x", 28, {a, x}}, {"atan2(a, b)", 69, {a, b}}, {"fmod(a, x)", 70, {a, x}},
    };
    for (const auto& c : cases) expect_same_on_every_thread_count(c.what, c.code, c.operands);
    for (int32_t code = 50; code <= 65; ++code) {
        expect_same_on_every_thread_count("function " + std::to_string(code), code, {a});
    }
}

TEST_F(ThreadCountTest, MatrixProduct) {
    // 211 x 523 times 523 x 149: more than 7 threads' worth of multiply-adds,
    // and rows that do not split evenly into register tiles.
    static_assert(int64_t{211} * 523 * 149 >= 7 * hostmath::kMultiplyAddsPerThread);
    expect_same_on_every_thread_count(
        "product", 2, {host.array({211, 523}, mixed_values(211 * 523, 3)), host.array({523, 149}, mixed_values(523 * 149, 4))});
}

// The product's panels are allocated on the calling thread before the
// workers start: no worker asks the host anything (every entry-point call,
// the fault probe included, is checked for its thread), the allocations are
// counted in the same order on every run, and a failing one leaves the
// product to the unpacked loop, with the same bits.
TEST_F(ThreadCountTest, ProductScratchComesFromTheCallingThread) {
    reload_with_threads(4);
    const HostValue a = host.array({256, 256}, mixed_values(256 * 256, 5));
    const HostValue b = host.array({256, 256}, mixed_values(256 * 256, 6));
    const hostsim::ArrayContents reference = host.read(host.apply(2, {a, b}));
    const int64_t made_before = host.allocation_count();
    host.apply(2, {a, b});
    const int64_t allocations = host.allocation_count() - made_before;
    for (int64_t k = 1; k <= allocations; ++k) {
        host.clear_errors();
        host.fail_allocation_at(k);
        const HostValue r = host.apply(2, {a, b});
        ASSERT_TRUE(host.allocation_failure_injected()) << k;
        if (k == 1) {  // the result array
            EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math *", 4}}));
            continue;
        }
        EXPECT_TRUE(host.errors().empty()) << k;
        EXPECT_EQ(first_difference(host.read(r).values, reference.values), -1) << k;
    }
    host.fail_allocation_at(0);
    EXPECT_EQ(host.foreign_thread_calls(), 0);
}

TEST_F(ThreadCountTest, Transpose) {
    constexpr int64_t kRows = 947, kCols = 7 * hostmath::kTransposeElementsPerThread / kRows + 13;
    expect_same_on_every_thread_count("transpose", 8, {host.array({kRows, kCols}, mixed_values(kRows * kCols, 5))});
}

// inv shares the sweep and pivot search of each large step and each
// window's catch-up: the inverse, and for a singular matrix the run error
// and the partly eliminated values, must not change by a bit.
TEST_F(ThreadCountTest, Inversion) {
    // Every one of 7 threads takes part in the first steps, and the rows
    // after a pivot never split evenly into all parts for long.
    constexpr int64_t kOrder = 487;
    static_assert(kOrder * kOrder >= 7 * hostmath::kInverseElementsPerThread);
    std::mt19937_64 rng(12);
    std::uniform_int_distribution<int> small(-3, 3);
    // Integers from -3 to 3: the first pivot searches are full of equal
    // magnitudes in every thread's rows.
    std::vector<double> ties(static_cast<size_t>(kOrder * kOrder));
    for (double& x : ties) x = small(rng);
    // Random values with the last 150 columns zero: no pivot is left after
    // step 336, in the middle of a window.
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> singular(static_cast<size_t>(kOrder * kOrder));
    for (size_t t = 0; t < singular.size(); ++t) singular[t] = t % kOrder >= kOrder - 150 ? 0.0 : uniform(rng);
    const struct {
        const char* what;
        const std::vector<double>& values;
        bool singular;
    } cases[] = {{"ties", ties, false}, {"singular", singular, true}};
    for (const auto& c : cases) {
        hostsim::ArrayContents one;
        for (int threads : kThreadCounts) {
            reload_with_threads(threads);
            host.clear_errors();
            const HostValue r = host.call("math::inv", {host.array({kOrder, kOrder}, c.values)});
            ASSERT_NE(host.object(r), nullptr) << c.what << " on " << threads << " threads";
            const std::vector<hostsim::RunError> want_errors =
                c.singular ? std::vector<hostsim::RunError>{{1, "math::inv", 4}} : std::vector<hostsim::RunError>{};
            EXPECT_EQ(host.errors(), want_errors) << c.what << " on " << threads << " threads";
            hostsim::ArrayContents got = host.read(r);
            host.release(r);
            if (threads == 1) {
                one = std::move(got);
                continue;
            }
            EXPECT_EQ(got.shape, one.shape) << c.what << " on " << threads << " threads";
            EXPECT_EQ(first_difference(got.values, one.values), -1) << c.what << " on " << threads << " threads";
        }
    }
}

// ---- operations in the host's floating-point mode -------------------------------

// mixed_values with tiny numbers in every fifth place: subnormals, numbers
// whose products are subnormal, and arguments whose e^x is, so that
// flush-to-zero and denormals-are-zero change results.
std::vector<double> values_with_subnormals(int64_t n, uint64_t seed) {
    std::vector<double> v = mixed_values(n, seed);
    std::mt19937_64 rng(seed + 1000);
    std::uniform_real_distribution<double> unit(1.0, 2.0);
    for (size_t i = 3; i < v.size(); i += 5) {
        const double m = unit(rng);
        switch ((i / 5) % 3) {
            case 0: v[i] = std::ldexp(m, -1060 + static_cast<int>(i % 13)); break;
            case 1: v[i] = std::ldexp(m, -530 + static_cast<int>(i % 7)); break;
            default: v[i] = -700.0 - 40.0 * (m - 1.0); break;
        }
    }
    return v;
}

// An n x n matrix far from singular (n on the diagonal) and mostly zero:
// in the upper rows a few elements are ordinary numbers and a few
// subnormal; the lower rows hold, besides the diagonal, only subnormals in
// the lower columns, so that the lower right block of the inverse is the
// diagonal's inverses and subnormals, which flush-to-zero takes away.
std::vector<double> invertible_with_subnormals(int64_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> v(static_cast<size_t>(n * n), 0.0);
    for (int64_t i = 0; i < n; ++i) {
        for (int64_t j = 0; j < n; ++j) {
            const uint64_t pick = rng() % 100;
            const bool upper = i < n / 2, left = j < n / 2;
            if (upper && pick < 3) {
                v[i * n + j] = unit(rng);
            } else if ((upper || !left) && pick < 10) {
                v[i * n + j] = std::ldexp(unit(rng), -1040);
            }
        }
        v[i * n + i] = static_cast<double>(n);
    }
    return v;
}

// The host's thread in another rounding direction or with flush-to-zero: the
// product, inv and the element-wise operators are still the same bits on
// every thread count, because every worker computes in the caller's mode.
// The mode is set after the library is loaded, so a team whose threads kept
// the mode they started with would show it.
TEST_F(ThreadCountTest, SameBitsInTheHostsFloatingPointMode) {
    constexpr int kCounts[] = {1, 2, 3, 4, 7};
    constexpr int64_t kOrder = 487;  // inv on all of 7 threads in its first steps
    static_assert(kOrder * kOrder >= 7 * hostmath::kInverseElementsPerThread);
    static_assert(int64_t{256} * 256 * 256 >= 7 * hostmath::kMultiplyAddsPerThread);
    const HostValue a = host.array({kElements}, values_with_subnormals(kElements, 7));
    const HostValue b = host.array({kElements}, values_with_subnormals(kElements, 8));
    const HostValue p = host.array({256, 256}, values_with_subnormals(256 * 256, 9));
    const HostValue q = host.array({256, 256}, values_with_subnormals(256 * 256, 10));
    const HostValue m = host.array({kOrder, kOrder}, invertible_with_subnormals(kOrder, 11));
    const HostValue x = make_real(0.75);
    // `arithmetic`: rounded operations alone, whose results the mode must
    // change, or the data would not show a worker in the wrong mode.
    const struct {
        const char* what;
        bool arithmetic;
        std::function<HostValue()> run;
    } cases[] = {
        {"p * q", true, [&] { return host.apply(2, {p, q}); }},
        {"inv(m)", true, [&] { return host.call("math::inv", {m}); }},
        {"a + b", true, [&] { return host.apply(0, {a, b}); }},
        {"a ./ b", true, [&] { return host.apply(26, {a, b}); }},
        {"a .^ x", false, [&] { return host.apply(28, {a, x}); }},
        {"exp(a)", false, [&] { return host.apply(51, {a}); }},
        {"sin(a)", false, [&] { return host.apply(54, {a}); }},
    };
    std::vector<hostsim::ArrayContents> to_nearest;
    for (const FloatingPointMode& mode : kModes) {
        std::vector<hostsim::ArrayContents> one(std::size(cases));
        for (int threads : kCounts) {
            reload_with_threads(threads);
            ModeOnThisThread on(mode);
            for (size_t k = 0; k < std::size(cases); ++k) {
                SCOPED_TRACE(testing::Message() << cases[k].what << ", " << mode.name << ", " << threads << " threads");
                const HostValue r = cases[k].run();
                ASSERT_NE(host.object(r), nullptr);
                hostsim::ArrayContents got = host.read(r);
                host.release(r);
                if (threads == 1) {
                    if (cases[k].arithmetic && !to_nearest.empty()) {
                        EXPECT_NE(first_difference(got.values, to_nearest[k].values), -1) << "the mode changes nothing";
                    }
                    one[k] = std::move(got);
                    continue;
                }
                EXPECT_EQ(got.shape, one[k].shape);
                EXPECT_EQ(first_difference(got.values, one[k].values), -1);
            }
        }
        if (to_nearest.empty()) to_nearest = std::move(one);
    }
    EXPECT_TRUE(host.errors().empty()) << (host.errors().empty() ? "" : host.errors()[0].name + " " + std::to_string(host.errors()[0].code));
}

}  // namespace
