// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics along a dimension, sort and the running sums through the
// stand-in host: small exact cases, Sum's reading of k for every function,
// NaN, zeros and empty runs, sort's stability, GSL's quantile definition
// to the bit, and every code.
#include <gsl/gsl_statistics_double.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "data/sorting.h"
#include "tests/support.h"

namespace {

using Args = std::vector<HostValue>;
using Errors = std::vector<std::pair<std::string, int64_t>>;
using Shape = std::vector<int64_t>;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const char* const kStatistics[] = {"math::mean", "math::var",    "math::std",      "math::min",
                                   "math::max",  "math::median", "math::quantile"};
const char* const kSameShape[] = {"math::sort", "math::cumsum", "math::cumprod"};

HostValue i(int64_t v) { return make_integer(v); }
HostValue r(double v) { return make_real(v); }

// A NaN with its own payload, to tell which NaN came through.
double nan_with(uint64_t payload) { return std::bit_cast<double>(uint64_t{0x7ff8000000000000} | payload); }

bool same_values(const Values& a, const Values& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same_bits);
}

std::string text(const Values& v) {
    std::string s;
    for (double x : v) s += std::to_string(x) + (std::signbit(x) ? "(-) " : " ");
    return s;
}

// The position of each run's last element along dimension k (0: the one
// run of the whole array), in the order of Sum's results.
std::vector<size_t> run_ends(const Shape& shape, int64_t k) {
    int64_t count = 1;
    for (int64_t s : shape) count *= s;
    if (k == 0) return {static_cast<size_t>(count - 1)};
    int64_t outer = 1, inner = 1;
    for (int64_t d = 0; d < k - 1; ++d) outer *= shape[static_cast<size_t>(d)];
    for (size_t d = static_cast<size_t>(k); d < shape.size(); ++d) inner *= shape[d];
    const int64_t along = shape[static_cast<size_t>(k - 1)];
    std::vector<size_t> ends;
    for (int64_t o = 0; o < outer; ++o) {
        for (int64_t j = 0; j < inner; ++j) ends.push_back(static_cast<size_t>((o * along + along - 1) * inner + j));
    }
    return ends;
}

class StatisticsTest : public LibraryTest {
protected:
    // The call's result as shape and values: a real is shape {} and one value.
    struct Outcome {
        Shape shape;
        Values values;
    };
    Outcome run(const std::string& name, Args args) {
        const HostValue v = host.call(name, args);
        if (v.base_type == kTypeReal) return {{}, {v.real()}};
        EXPECT_EQ(v.base_type, kTypeRealArray) << name;
        if (v.base_type != kTypeRealArray) return {};
        EXPECT_EQ(v.ext_type, key());
        const auto contents = host.read(v);
        return {contents.shape, contents.values};
    }

    // The function's extra arguments before k: quantile's p.
    static Args middle(const std::string& key) { return key == "math::quantile" ? Args{r(0.3)} : Args{}; }
};

// ---- small exact cases --------------------------------------------------------------

// a = [3 1 8; 6 4 2] by rows (no k or k = 2), by columns (k = 1) and in total (k = 0).
TEST_F(StatisticsTest, SmallExactCases) {
    const Values a{3, 1, 8, 6, 4, 2};
    const struct {
        const char* key;
        Args middle;
        Values rows, columns, total;
    } cases[] = {
        {"math::mean", {}, {4, 4}, {4.5, 2.5, 5}, {4}},
        {"math::var", {}, {13, 4}, {4.5, 4.5, 18}, {6.8}},
        {"math::std", {}, {std::sqrt(13.0), 2}, {std::sqrt(4.5), std::sqrt(4.5), std::sqrt(18.0)}, {std::sqrt(6.8)}},
        {"math::min", {}, {1, 2}, {3, 1, 2}, {1}},
        {"math::max", {}, {8, 6}, {6, 4, 8}, {8}},
        {"math::median", {}, {3, 4}, {4.5, 2.5, 5}, {3.5}},
        {"math::quantile", {r(0.25)}, {2, 3}, {3.75, 1.75, 3.5}, {2.25}},
        {"math::quantile", {r(0.0)}, {1, 2}, {3, 1, 2}, {1}},
        {"math::quantile", {r(1.0)}, {8, 6}, {6, 4, 8}, {8}},
        {"math::sort", {}, {1, 3, 8, 2, 4, 6}, {3, 1, 2, 6, 4, 8}, {1, 2, 3, 4, 6, 8}},
        {"math::cumsum", {}, {3, 4, 12, 6, 10, 12}, {3, 1, 8, 9, 5, 10}, {3, 4, 12, 18, 22, 24}},
        {"math::cumprod", {}, {3, 3, 24, 6, 24, 48}, {3, 1, 8, 18, 4, 16}, {3, 3, 24, 144, 576, 1152}},
    };
    for (const auto& c : cases) {
        const bool same_shape = std::string(c.key).find("sort") != std::string::npos ||
                                std::string(c.key).find("cum") != std::string::npos;
        for (int32_t ext : {key(), int32_t{kTypeRealArray}}) {
            const HostValue m = host.array({2, 3}, a, ext);
            const auto with = [&](std::optional<int64_t> k) {
                Args args{m};
                args.insert(args.end(), c.middle.begin(), c.middle.end());
                if (k) args.push_back(i(*k));
                return run(c.key, args);
            };
            const Outcome rows = with(std::nullopt), by_rows = with(2), columns = with(1), total = with(0);
            EXPECT_EQ(rows.shape, same_shape ? Shape({2, 3}) : Shape({2, 1})) << c.key;
            EXPECT_EQ(columns.shape, same_shape ? Shape({2, 3}) : Shape({1, 3})) << c.key;
            EXPECT_EQ(total.shape, same_shape ? Shape({2, 3}) : Shape{}) << c.key;
            EXPECT_TRUE(same_values(rows.values, c.rows)) << c.key << ": " << text(rows.values);
            EXPECT_TRUE(same_values(by_rows.values, c.rows)) << c.key;
            EXPECT_TRUE(same_values(columns.values, c.columns)) << c.key << ": " << text(columns.values);
            EXPECT_TRUE(same_values(total.values, c.total)) << c.key << ": " << text(total.values);
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// ---- Sum's reading of k ------------------------------------------------------------------

// For every function and every k, the statistics have Sum's shape and the
// others a's; mean is Sum's sum over the count, and cumsum's last element
// along each run is Sum's sum, to the bit.
TEST_F(StatisticsTest, EveryFunctionReadsKAsSumDoes) {
    const Shape shapes[] = {{2, 3}, {1, 5}, {5, 1}, {6}, {2, 3, 4}, {3, 1, 2, 2}};
    const std::optional<int64_t> ks[] = {std::nullopt, -1, 0, 1, 2, 3, 4, 5};
    for (const Shape& shape : shapes) {
        int64_t count = 1;
        for (int64_t s : shape) count *= s;
        const Values v = random_values(count, 7 + static_cast<uint64_t>(count));
        const HostValue a = host.array(shape, v);
        for (const auto& k : ks) {
            Args tail;
            if (k) tail.push_back(i(*k));
            Args sum_args{a};
            sum_args.insert(sum_args.end(), tail.begin(), tail.end());
            const Outcome sum = run("math::Sum", sum_args);
            // Sum's runs: each sum's run length is count / number of sums.
            const double along = static_cast<double>(count / static_cast<int64_t>(sum.values.size()));
            for (const char* key : kStatistics) {
                Args args{a};
                for (const HostValue& m : middle(key)) args.push_back(m);
                args.insert(args.end(), tail.begin(), tail.end());
                EXPECT_EQ(run(key, args).shape, sum.shape) << key << " k=" << (k ? *k : 99);
            }
            Args args{a};
            args.insert(args.end(), tail.begin(), tail.end());
            const Outcome mean = run("math::mean", args);
            for (size_t j = 0; j < sum.values.size(); ++j) EXPECT_TRUE(same_bits(mean.values[j], sum.values[j] / along));
            for (const char* key : kSameShape) EXPECT_EQ(run(key, args).shape, shape) << key;
            const Values cumsum = run("math::cumsum", args).values;
            const std::vector<size_t> ends = run_ends(shape, sum.shape.empty() ? 0 : k.value_or(static_cast<int64_t>(shape.size())));
            ASSERT_EQ(ends.size(), sum.values.size());
            for (size_t j = 0; j < ends.size(); ++j) EXPECT_TRUE(same_bits(cumsum[ends[j]], sum.values[j]));
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// ---- NaN, infinities, zeros and empty runs -----------------------------------------------

TEST_F(StatisticsTest, NanZerosAndEmptyRuns) {
    const double nan1 = nan_with(1), nan2 = nan_with(2);
    const struct {
        const char* key;
        Shape shape;
        Values a;
        Args tail;  // p and k
        Values expected;
    } cases[] = {
        // The first NaN met is the result, payload and all.
        {"math::min", {4}, {1, nan1, -5, nan2}, {}, {nan1}},
        {"math::max", {4}, {1, 7, nan2, nan1}, {}, {nan2}},
        {"math::median", {3}, {nan2, 1, nan1}, {}, {nan2}},
        {"math::quantile", {3}, {1, 2, nan1}, {r(0.0)}, {nan1}},
        {"math::mean", {2}, {1, kInf}, {}, {kInf}},
        // Among equal values the first met stands.
        {"math::min", {2}, {0.0, -0.0}, {}, {0.0}},
        {"math::min", {2}, {-0.0, 0.0}, {}, {-0.0}},
        {"math::max", {2}, {-0.0, 0.0}, {}, {-0.0}},
        // The stable order keeps zeros as they came: [+0, -0, 5] and [-0, +0, 1].
        {"math::median", {3}, {0.0, -0.0, 5}, {}, {-0.0}},
        {"math::median", {3}, {-0.0, 1, 0.0}, {}, {0.0}},
        {"math::median", {7}, {-0.0, 0.0, 0.0, 0.0, 0.0, 5, 6}, {}, {0.0}},  // a selection alone gives -0
        {"math::quantile", {2}, {0.0, -0.0}, {r(1.0)}, {-0.0}},
        {"math::quantile", {2}, {-0.0, 0.0}, {r(0.0)}, {-0.0}},
        // A whole delta takes s(i) alone, so an infinity beside it stays out.
        {"math::quantile", {3}, {1, kInf, 2}, {r(0.5)}, {2}},
        {"math::quantile", {3}, {1, kInf, 2}, {r(0.75)}, {kInf}},
        {"math::median", {2}, {1e308, 1e308}, {}, {kInf}},  // (s(i) + s(i+1)) / 2, as written
        // One element along the runs: var 0.0 when finite, NaN otherwise.
        {"math::var", {1, 2, 2}, {5, kInf, nan1, -0.0}, {i(1)}, {0, kNaN, kNaN, 0}},
        {"math::std", {1}, {-3}, {}, {0}},
        // The running sum starts from 0.0 as Sum does (-0 + nothing is +0); the product from 1.0.
        {"math::cumsum", {2}, {-0.0, -0.0}, {}, {0.0, 0.0}},
        {"math::cumprod", {2}, {-0.0, 2}, {}, {-0.0, -0.0}},
        {"math::cumprod", {3}, {2, kInf, 0}, {}, {2, kInf, kNaN}},
        // Runs of no elements: NaN for every statistic.
        {"math::mean", {0, 3}, {}, {i(1)}, {kNaN, kNaN, kNaN}},
        {"math::var", {0, 2}, {}, {i(1)}, {kNaN, kNaN}},
        {"math::std", {0}, {}, {}, {kNaN}},
        {"math::min", {2, 0}, {}, {i(2)}, {kNaN, kNaN}},
        {"math::max", {0}, {}, {}, {kNaN}},
        {"math::median", {0, 2}, {}, {i(1)}, {kNaN, kNaN}},
        {"math::quantile", {0}, {}, {r(0.5)}, {kNaN}},
        {"math::sort", {0, 3}, {}, {i(1)}, {}},
        {"math::cumsum", {0}, {}, {}, {}},
    };
    for (const auto& c : cases) {
        Args args{host.array(c.shape, c.a)};
        args.insert(args.end(), c.tail.begin(), c.tail.end());
        const Values got = run(c.key, args).values;
        ASSERT_EQ(got.size(), c.expected.size()) << c.key;
        for (size_t j = 0; j < got.size(); ++j) {
            // kNaN stands for any NaN (arithmetic makes the processor's
            // pattern); NaNs with a payload must come through as they are.
            const bool any_nan = same_bits(c.expected[j], kNaN);
            EXPECT_TRUE(any_nan ? std::isnan(got[j]) : same_bits(got[j], c.expected[j]))
                << c.key << " case " << text(c.a) << "-> " << text(got);
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// ---- sort ---------------------------------------------------------------------------------

// What the library's sort must equal: std::stable_sort by the documented
// order (NaN last, -0 equal to +0), which keeps equal elements as they came.
Values stable_reference(Values v) {
    std::stable_sort(v.begin(), v.end(), [](double a, double b) {
        return hostmath::data::sort_key(a) < hostmath::data::sort_key(b);
    });
    return v;
}

TEST_F(StatisticsTest, SortIsStableWithNanLast) {
    const double nan1 = nan_with(1), nan2 = nan_with(2), nan3 = -nan_with(3);
    const Values a{3, nan1, -0.0, 1, 0.0, nan3, -kInf, -0.0, nan2, kInf, -1};
    const Values sorted{-kInf, -1, -0.0, 0.0, -0.0, 1, 3, kInf, nan1, nan3, nan2};
    EXPECT_TRUE(same_values(run("math::sort", {host.array({11}, a)}).values, sorted));

    // Long runs take the radix passes: many duplicates, zeros of both signs
    // and NaNs among random values, sorted in total and along each dimension.
    Values big = random_values(3000, 11);
    for (size_t j = 0; j < big.size(); j += 7) big[j] = std::round(big[j] * 4.0);  // duplicates
    for (size_t j = 3; j < big.size(); j += 31) big[j] = j % 2 == 0 ? -0.0 : 0.0;
    for (size_t j = 5; j < big.size(); j += 97) big[j] = nan_with(j);
    big[10] = 1e300;
    big[11] = -4.9e-324;
    EXPECT_TRUE(same_values(run("math::sort", {host.array({3000}, big)}).values, stable_reference(big)));
    const HostValue m = host.array({100, 30}, big);
    const Values by_rows = run("math::sort", {m}).values;
    const Values by_columns = run("math::sort", {m, i(1)}).values;
    for (size_t row = 0; row < 100; ++row) {
        const Values part(big.begin() + static_cast<ptrdiff_t>(row * 30), big.begin() + static_cast<ptrdiff_t>(row * 30 + 30));
        EXPECT_TRUE(same_values(Values(by_rows.begin() + static_cast<ptrdiff_t>(row * 30),
                                       by_rows.begin() + static_cast<ptrdiff_t>(row * 30 + 30)),
                                stable_reference(part)));
    }
    for (size_t col = 0; col < 30; ++col) {
        Values column, sorted_column;
        for (size_t row = 0; row < 100; ++row) {
            column.push_back(big[row * 30 + col]);
            sorted_column.push_back(by_columns[row * 30 + col]);
        }
        EXPECT_TRUE(same_values(sorted_column, stable_reference(column))) << "column " << col;
    }
    EXPECT_TRUE(host.errors().empty());
}

// ---- GSL's definitions, to the bit ----------------------------------------------------------

TEST_F(StatisticsTest, QuantileAndMedianAreGslsOnTheSortedValues) {
    for (int64_t n : {1, 2, 3, 10, 101, 1000}) {
        const Values v = random_values(n, static_cast<uint64_t>(n));
        Values s = v;
        std::sort(s.begin(), s.end());
        const HostValue a = host.array({n}, v);
        EXPECT_TRUE(same_bits(run("math::median", {a}).values[0], gsl_stats_median_from_sorted_data(s.data(), 1, s.size())));
        for (double p : {0.0, 0.1, 0.25, 0.5, 0.7, 0.9, 0.999, 1.0}) {
            const double expected = gsl_stats_quantile_from_sorted_data(s.data(), 1, s.size(), p);
            EXPECT_TRUE(same_bits(run("math::quantile", {a, r(p)}).values[0], expected)) << n << " " << p;
        }
    }
}

// ---- codes ---------------------------------------------------------------------------------

TEST_F(StatisticsTest, EveryCode) {
    const HostValue a = host.array({2, 3}, {1, 2, 3, 4, 5, 6});
    // Sizes that do not account for the elements: refused along a dimension,
    // where the runs follow the sizes, and by sort and the running sums, whose
    // result takes a's sizes; the statistics' total reads the elements alone.
    const HostValue odd = host.array_with_header(6, {2, 4}, 2);
    std::vector<std::string> keys(std::begin(kStatistics), std::end(kStatistics));
    keys.insert(keys.end(), std::begin(kSameShape), std::end(kSameShape));
    for (const std::string& key : keys) {
        const bool statistic = std::ranges::count(kStatistics, key) == 1;
        const Args p = middle(key);
        const auto with = [&](Args head, Args tail) {
            head.insert(head.end(), p.begin(), p.end());
            head.insert(head.end(), tail.begin(), tail.end());
            return head;
        };
        const struct {
            Args args;
            int64_t code;  // 0: a real comes back
        } cases[] = {
            {{}, 1},
            {with({a}, {i(1), i(1)}), 1},
            {with({r(1)}, {}), 2},
            {with({make_integer(1)}, {i(1)}), 2},
            {with({odd}, {i(1)}), 2},
            {with({odd}, {i(0)}), statistic ? 0 : 2},
            {with({a}, {r(1)}), 3},
            {with({a}, {make_empty()}), 3},
        };
        for (const auto& c : cases) {
            host.clear_errors();
            Args args = c.args;
            const HostValue v = host.call(key, args);
            const Errors expected = c.code == 0 ? Errors{} : Errors{{key, c.code}};
            EXPECT_TRUE(c.code == 0 ? v.base_type == kTypeReal : is_empty_result(v)) << key;
            EXPECT_EQ(reported(), expected) << key << " " << c.args.size();
        }
        host.clear_errors();
        host.fail_new_sys_obj_at(1);
        Args rows = with({a}, {});
        EXPECT_TRUE(is_empty_result(host.call(key, rows)));
        EXPECT_EQ(reported(), (Errors{{key, 7}}));
    }
    // quantile's p: a real in [0, 1], checked before k; with one argument the count is wrong.
    host.clear_errors();
    for (const HostValue& p : {i(0), r(-0.5), r(1.0000000000000002), r(kNaN), make_empty()}) {
        host.call("math::quantile", {a, p, r(1)});
    }
    host.call("math::quantile", {a});
    EXPECT_EQ(reported(), (Errors{{"math::quantile", 4},
                                  {"math::quantile", 4},
                                  {"math::quantile", 4},
                                  {"math::quantile", 4},
                                  {"math::quantile", 4},
                                  {"math::quantile", 1}}));
}

}  // namespace
