// SPDX-License-Identifier: GPL-3.0-or-later
// reshape, ndgrid, Sum (script function and operator 39) and the iteration
// operator (code 38).
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using ShapeTest = LibraryTest;
using Errors = std::vector<std::pair<std::string, int64_t>>;
using Values = std::vector<double>;
using Shape = std::vector<int64_t>;

constexpr int32_t kIn = 38;
constexpr int32_t kSumCode = 39;

HostValue i(int64_t v) { return make_integer(v); }

Values ramp(size_t n) {
    Values v(n);
    for (size_t k = 0; k < n; ++k) v[k] = static_cast<double>(k + 1);
    return v;
}

// ---- reshape ----------------------------------------------------------------

TEST_F(ShapeTest, ReshapeInItsThreeForms) {
    const struct {
        Shape before;
        std::vector<HostValue> sizes;
        Shape after;
    } cases[] = {
        {{2, 3}, {}, {6}},
        {{6}, {}, {6}},
        {{2, 3}, {i(3), i(2)}, {3, 2}},
        {{6}, {i(2), i(3)}, {2, 3}},
        {{2, 3}, {i(6), i(1)}, {6, 1}},
        {{2, 3, 4}, {i(4), i(3), i(2)}, {4, 3, 2}},
        {{2, 3, 4}, {i(1), i(1), i(24)}, {1, 1, 24}},
    };
    for (int32_t ext : {key(), int32_t{kTypeRealArray}}) {
        for (const auto& c : cases) {
            int64_t count = 1;
            for (int64_t s : c.before) count *= s;
            HostValue a = host.array(c.before, ramp(static_cast<size_t>(count)), ext);
            const double* data = host.object(a)->data;
            std::vector<HostValue> args{a};
            args.insert(args.end(), c.sizes.begin(), c.sizes.end());
            HostValue r = host.call("math::reshape", args);
            EXPECT_EQ(r.word1, a.word1);
            EXPECT_EQ(r.ext_type, ext);
            EXPECT_EQ(host.read(a).shape, c.after);
            EXPECT_EQ(host.object(a)->data, data);
            EXPECT_EQ(host.read(a).values, ramp(static_cast<size_t>(count)));
        }
    }
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.new_sys_obj_calls(), 0);
}

TEST_F(ShapeTest, ReshapeRefusalsChangeNothing) {
    const int64_t big = int64_t{1} << 32;
    const struct {
        Shape shape;
        std::vector<HostValue> sizes;
        int64_t code;
    } cases[] = {
        {{2, 3}, {i(6)}, 1},
        {{2, 3, 4}, {}, 1},
        {{2, 3, 4}, {i(6), i(4)}, 1},
        {{2, 3}, {i(1), i(2), i(3)}, 1},
        {{2, 3, 4}, {i(2), i(3), i(2), i(2)}, 1},
        {{2, 3, 4}, {i(24), i(1), i(0)}, 3},
        {{2, 3, 4}, {i(2), make_real(3), i(4)}, 3},
        {{2, 3, 4}, {i(2), i(-3), i(-4)}, 3},
        {{2, 3, 4}, {i(2), i(3), i(5)}, 4},
        {{2, 3}, {i(4), i(2)}, 4},
        {{2, 3}, {i(2), make_real(3)}, 4},
        {{2, 3}, {i(-2), i(-3)}, 4},
        // Products that wrap around in 64 bits.
        {{2, 3}, {i(big + 6), i(big)}, 4},
        {{1, 1, 1}, {i(big), i(big), i(big)}, 4},
        {{0, 3}, {i(big), i(big)}, 4},
    };
    for (const auto& c : cases) {
        host.clear_errors();
        HostValue a = host.array(c.shape);
        std::vector<HostValue> args{a};
        args.insert(args.end(), c.sizes.begin(), c.sizes.end());
        HostValue r = host.call("math::reshape", args);
        EXPECT_TRUE(is_empty_result(r));
        EXPECT_EQ(reported(), (Errors{{"math::reshape", c.code}})) << c.sizes.size() << " " << c.code;
        EXPECT_EQ(host.read(a).shape, c.shape);
    }
    host.clear_errors();
    host.call("math::reshape", {});
    host.call("math::reshape", {make_real(1)});
    host.call("math::reshape", {make_integer(1), i(1), i(1)});
    EXPECT_EQ(reported(), (Errors{{"math::reshape", 1}, {"math::reshape", 2}, {"math::reshape", 2}}));
}

// ---- ndgrid ---------------------------------------------------------------------

TEST_F(ShapeTest, NdgridFillsInOdometerOrder) {
    const struct {
        std::vector<Values> inputs;
        std::vector<Values> grids;
    } cases[] = {
        {{{1, 2}, {5, 6, 7}}, {{1, 1, 1, 2, 2, 2}, {5, 6, 7, 5, 6, 7}}},
        {{{4}, {1, 2}}, {{4, 4}, {1, 2}}},
        {{{1, 2}, {3, 4}, {5, 6}},
         {{1, 1, 1, 1, 2, 2, 2, 2}, {3, 3, 4, 4, 3, 3, 4, 4}, {5, 6, 5, 6, 5, 6, 5, 6}}},
        {{{1, 2}, {}}, {{}, {}}},
        // No elements: the lengths before the empty one alone would ask for 10^12 passes.
        {{Values(1000000, 1.0), Values(1000000, 2.0), {}}, {{}, {}, {}}},
    };
    for (const auto& c : cases) {
        const size_t k = c.inputs.size();
        std::vector<HostValue> args;
        Shape shape;
        for (const Values& x : c.inputs) {
            args.push_back(host.array({static_cast<int64_t>(x.size())}, x, kTypeRealArray));
            shape.push_back(static_cast<int64_t>(x.size()));
        }
        args.resize(2 * k, make_real(0));
        const HostValue first = args[0];
        const int64_t saves = host.fun_save_obj_calls();
        HostValue r = host.call("math::ndgrid", args);
        EXPECT_EQ(r.word1, first.word1);
        EXPECT_EQ(r.ext_type, kTypeRealArray);
        for (size_t g = 0; g < k; ++g) {
            const HostValue& out = args[k + g];
            ASSERT_EQ(out.base_type, kTypeRealArray);
            EXPECT_EQ(out.ext_type, key());
            EXPECT_EQ(host.read(out).shape, shape);
            EXPECT_EQ(host.read(out).values, c.grids[g]) << k << " " << g;
            EXPECT_EQ(host.saved_records()[host.saved_records().size() - k + g].word1, out.word1);
        }
        // One opening call, then one per stored output.
        EXPECT_EQ(host.fun_save_obj_calls(), saves + static_cast<int64_t>(k) + 1);
    }
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

TEST_F(ShapeTest, NdgridRefusals) {
    HostValue x = host.array({2}, {1, 2});
    const struct {
        std::vector<HostValue> args;
        int64_t code;
    } cases[] = {
        {{x, x}, 1},
        {{x, x, x}, 1},
        {{x, x, x, x, x}, 1},
        {{x, make_real(1), i(0), i(0)}, 2},
        {{x, host.array({2, 2}), i(0), i(0)}, 3},
    };
    for (auto c : cases) {
        host.clear_errors();
        EXPECT_TRUE(is_empty_result(host.call("math::ndgrid", c.args)));
        EXPECT_EQ(reported(), (Errors{{"math::ndgrid", c.code}})) << c.args.size();
    }
    // An output the host cannot create: the ones already stored stay.
    host.clear_errors();
    host.fail_new_sys_obj_at(2);
    std::vector<HostValue> args{x, x, i(0), i(0)};
    EXPECT_TRUE(is_empty_result(host.call("math::ndgrid", args)));
    EXPECT_EQ(reported(), (Errors{{"math::ndgrid", 4}}));
    EXPECT_EQ(args[2].base_type, kTypeRealArray);
    EXPECT_EQ(host.read(args[2]).values, (Values{1, 1, 2, 2}));  // stored with its values
    EXPECT_EQ(args[3].base_type, kTypeInteger);
}

// A grid whose element count does not fit 64 bits is refused before any output.
TEST_F(ShapeTest, NdgridRefusesAnOverflowingGrid) {
    std::vector<HostValue> args;
    for (int k = 0; k < 3; ++k) {
        HostValue v = host.array({0});
        host.object(v)->dims[0] = int64_t{1} << 22;
        host.object(v)->count = int64_t{1} << 22;  // sizes consistent; elements never read
        args.push_back(v);
    }
    args.resize(6, i(0));
    const int64_t saves = host.fun_save_obj_calls();
    host.call("math::ndgrid", args);
    EXPECT_EQ(reported(), (Errors{{"math::ndgrid", 4}}));
    EXPECT_EQ(host.fun_save_obj_calls(), saves);
    EXPECT_EQ(host.new_sys_obj_calls(), 0);
}

// ---- Sum ------------------------------------------------------------------------

TEST_F(ShapeTest, SumInEachDirection) {
    const Values v24 = ramp(24);
    const struct {
        Shape shape;
        std::optional<int64_t> k;
        Shape result;  // empty: a real total
        Values values;
    } cases[] = {
        {{2, 3}, {}, {2, 1}, {6, 15}},
        {{2, 3}, 2, {2, 1}, {6, 15}},
        {{2, 3}, 1, {1, 3}, {5, 7, 9}},
        {{2, 3}, 3, {}, {21}},
        {{2, 3}, 0, {}, {21}},
        {{2, 3}, -1, {}, {21}},
        {{1, 5}, 1, {}, {15}},
        {{1, 5}, 2, {}, {15}},
        {{5, 1}, 1, {}, {15}},
        {{6}, 1, {}, {21}},
        {{6}, {}, {}, {21}},
        {{2, 3, 4}, 1, {3, 4}, {14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36}},
        {{2, 3, 4}, 2, {2, 4}, {15, 18, 21, 24, 51, 54, 57, 60}},
        {{2, 3, 4}, {}, {2, 3}, {10, 26, 42, 58, 74, 90}},
        {{2, 3, 4}, 4, {}, {300}},
    };
    for (int32_t code : {0, kSumCode}) {
        for (const auto& c : cases) {
            int64_t count = 1;
            for (int64_t s : c.shape) count *= s;
            std::vector<HostValue> args{host.array(c.shape, Values(v24.begin(), v24.begin() + count), kTypeRealArray)};
            if (c.k) args.push_back(i(*c.k));
            HostValue r = code == 0 ? host.call("math::Sum", args) : host.apply(code, args);
            if (c.result.empty()) {
                ASSERT_EQ(r.base_type, kTypeReal);
                EXPECT_EQ(r.real(), c.values[0]);
            } else {
                ASSERT_EQ(r.base_type, kTypeRealArray);
                EXPECT_EQ(r.ext_type, key());
                EXPECT_EQ(host.read(r).shape, c.result);
                EXPECT_EQ(host.read(r).values, c.values);
            }
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// Each sum runs from 0.0 in increasing index order: 1e16 + 1 + 1 loses both
// ones, while any other grouping keeps them; and -0.0 elements sum to +0.0.
TEST_F(ShapeTest, SumKeepsItsOrder) {
    HostValue a = host.array({3, 2}, {1e16, 1e16, 1, 1, 1, 1});
    EXPECT_EQ(host.read(host.call("math::Sum", {a, i(1)})).values, (Values{1e16, 1e16}));
    HostValue v = host.array({3}, {1e16, 1, 1});
    EXPECT_EQ(host.call("math::Sum", {v}).real(), 1e16);
    HostValue z = host.array({2, 2}, {-0.0, -0.0, -0.0, -0.0});
    for (double s : host.read(host.call("math::Sum", {z})).values) EXPECT_TRUE(same_bits(s, 0.0));
    EXPECT_TRUE(same_bits(host.call("math::Sum", {z, i(0)}).real(), 0.0));
}

TEST_F(ShapeTest, SumRefusals) {
    HostValue a = host.array({2, 3});
    host.call("math::Sum", {});
    host.call("math::Sum", {a, i(1), i(1)});
    host.call("math::Sum", {make_real(1)});
    host.call("math::Sum", {a, make_real(1)});
    host.fail_new_sys_obj_at(1);
    host.call("math::Sum", {a});
    host.apply(kSumCode, {a, i(1), i(2)});
    EXPECT_EQ(reported(), (Errors{{"math::Sum", 1},
                                  {"math::Sum", 1},
                                  {"math::Sum", 2},
                                  {"math::Sum", 3},
                                  {"math::Sum", 4},
                                  {"math::Sum", 1}}));
}

// Arrays with no elements but huge sizes return at once: no loop runs by
// the sizes alone.
TEST_F(ShapeTest, NoElementsHugeSizes) {
    const int64_t big = int64_t{1} << 32;
    HostValue z = host.array({big, 0});
    HostValue r = host.call("math::Sum", {z, i(1)});
    EXPECT_EQ(host.read(r).shape, (Shape{1, 0}));
    host.call("math::Sum", {z});  // big x 1: more than the host grants
    EXPECT_EQ(host.call("math::Sum", {z, i(0)}).real(), 0.0);
    EXPECT_EQ(host.read(host.call("math::Sum", {host.array({0, 3}), i(1)})).values, (Values{0, 0, 0}));
    EXPECT_EQ(host.read(host.call("math::subg", {z})).shape, (Shape{big, 0}));
    EXPECT_EQ(host.read(host.call("math::subg", {z, i(2)})).shape, (Shape{big, 0}));
    host.call("math::subs", {z, host.array({big, 0})});
    host.call("math::subs", {z, i(5), make_option(kOptionAll), host.array({0})});
    HostValue c = host.array({big, 0, big});
    host.call("math::Sum", {c, i(2)});  // big x big does not fit 64 bits
    host.call("math::reshape", {z});
    EXPECT_EQ(host.read(z).shape, (Shape{0}));
    EXPECT_EQ(reported(), (Errors{{"math::Sum", 4}, {"math::Sum", 4}}));
}

// ---- the iteration operator ------------------------------------------------------

// One call of `in`: the result, the state afterwards (nullopt: empty) and
// the loop variables filled.
struct Step {
    int64_t result;
    std::optional<int64_t> state;
    Values filled;
};

class InTest : public LibraryTest {
protected:
    // Runs `in` over `a` from `state` with the given options and `vars` loop
    // variables until it returns 0 or max_calls calls.
    std::vector<Step> walk(HostValue a, std::optional<int64_t> state, std::vector<HostValue> options, size_t vars,
                           int max_calls = 10) {
        std::vector<Step> steps;
        HostValue s = state ? make_integer(*state) : make_empty();
        for (int n = 0; n < max_calls; ++n) {
            std::vector<HostValue> ops{a, s};
            ops.insert(ops.end(), options.begin(), options.end());
            ops.resize(ops.size() + vars, make_empty());
            HostValue r = host.apply(kIn, ops);
            EXPECT_EQ(r.base_type, kTypeInteger);
            s = ops[1];
            Step st{r.integer(), {}, {}};
            if (s.base_type == kTypeInteger) {
                st.state = s.integer();
            } else {
                EXPECT_TRUE(is_empty_result(s));
            }
            for (size_t v = ops.size() - vars; v < ops.size(); ++v) {
                if (ops[v].base_type == kTypeReal) st.filled.push_back(ops[v].real());
            }
            steps.push_back(st);
            if (r.integer() == 0) break;
        }
        return steps;
    }
};

bool operator==(const Step& a, const Step& b) {
    return a.result == b.result && a.state == b.state && a.filled == b.filled;
}
void PrintTo(const Step& s, std::ostream* os) {
    *os << "{" << s.result << ", " << (s.state ? std::to_string(*s.state) : "empty") << ", " << s.filled.size()
        << " filled}";
}

TEST_F(InTest, WalksArrays) {
    HostValue a = host.array({5}, {10, 11, 12, 13, 14}, kTypeRealArray);
    HostValue m = host.array({2, 2}, {1, 2, 3, 4});
    const HostValue step = make_option(kOptionStep);
    const HostValue range = make_option(kOptionRange);
    const std::nullopt_t empty = std::nullopt;
    const struct {
        HostValue array;
        int64_t start;
        std::vector<HostValue> options;
        size_t vars;
        std::vector<Step> steps;
    } cases[] = {
        {a, 0, {}, 2, {{2, 2, {10, 11}}, {2, 4, {12, 13}}, {1, empty, {14}}, {0, empty, {}}}},
        {m, 1, {}, 4, {{3, empty, {2, 3, 4}}, {0, empty, {}}}},
        {a, 0, {step, i(2)}, 1, {{1, 2, {10}}, {1, 4, {12}}, {1, empty, {14}}, {0, empty, {}}}},
        {a, 4, {step, i(-1), range, i(4), i(0)}, 2,
         {{2, 2, {14, 13}}, {2, 0, {12, 11}}, {1, empty, {10}}, {0, empty, {}}}},
        {a, 1, {range, i(-3), i(100)}, 5, {{4, empty, {11, 12, 13, 14}}, {0, empty, {}}}},
        {a, 1, {range, i(1), i(2)}, 5, {{2, empty, {11, 12}}, {0, empty, {}}}},
        {a, 3, {range, i(1), i(2)}, 1, {{0, 3, {}}}},
        {a, 4, {step, i(-1)}, 1, {{0, 4, {}}}},
        {host.array({1}, {9}), 0, {step, i(-1)}, 1, {{1, empty, {9}}, {0, empty, {}}}},
        {a, 7, {}, 1, {{0, 7, {}}}},
        {a, -1, {}, 1, {{0, -1, {}}}},
        {a, 3, {step, i(std::numeric_limits<int64_t>::max())}, 2, {{1, empty, {13}}, {0, empty, {}}}},
        {a, 1, {step, i(std::numeric_limits<int64_t>::min()), range, i(4), i(0)}, 2,
         {{1, empty, {11}}, {0, empty, {}}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(walk(c.array, c.start, c.options, c.vars), c.steps) << c.start << " " << c.options.size();
    }
    EXPECT_EQ(walk(a, std::nullopt, {}, 1), (std::vector<Step>{{0, empty, {}}}));
    EXPECT_TRUE(host.errors().empty());
}

// Without loop variables the position moves one step and the result is -1.
TEST_F(InTest, WithoutLoopVariables) {
    HostValue a = host.array({5});
    EXPECT_EQ(walk(a, 0, {}, 0, 2), (std::vector<Step>{{-1, 1, {}}, {-1, 2, {}}}));
    EXPECT_EQ(walk(a, 4, {make_option(kOptionStep), i(-2)}, 0, 1), (std::vector<Step>{{0, 4, {}}}));
    EXPECT_EQ(walk(a, 4, {make_option(kOptionStep), i(-2), make_option(kOptionRange), i(4), i(0)}, 0, 1),
              (std::vector<Step>{{-1, 2, {}}}));
    EXPECT_EQ(walk(a, 4, {}, 0, 2), (std::vector<Step>{{-1, 5, {}}, {0, 5, {}}}));
}

TEST_F(InTest, Refusals) {
    HostValue a = host.array({5});
    const HostValue step = make_option(kOptionStep);
    const HostValue range = make_option(kOptionRange);
    const struct {
        std::vector<HostValue> operands;
        int64_t code;
    } cases[] = {
        {{a}, 1},
        {{make_real(1), i(0)}, 2},
        {{a, make_real(0)}, 4},
        {{a, i(0), step}, 5},
        {{a, i(0), step, i(0)}, 5},
        {{a, i(0), step, make_real(1)}, 5},
        {{a, i(0), range, i(0)}, 6},
        {{a, i(0), range, i(0), make_real(3)}, 6},
        {{a, i(0), step, i(1), range, i(0)}, 6},
    };
    for (auto c : cases) {
        host.clear_errors();
        const HostValue state = c.operands.size() > 1 ? c.operands[1] : make_empty();
        HostValue r = host.apply(kIn, c.operands);
        EXPECT_EQ(r.base_type, kTypeInteger);
        EXPECT_EQ(r.integer(), 0);
        EXPECT_EQ(reported(), (Errors{{"math::in", c.code}})) << c.operands.size() << " " << c.code;
        if (c.operands.size() > 1) {
            EXPECT_EQ(c.operands[1].word1, state.word1);
        }
    }
}

}  // namespace
