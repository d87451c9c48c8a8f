// SPDX-License-Identifier: GPL-3.0-or-later
// subg and subs in every argument form and their refusals in the order they
// are tested; indexed reads (operator 48) and writes (operator 47) of
// arrays of one, two and three dimensions through the dispatcher.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using SubarrayTest = LibraryTest;
using Errors = std::vector<std::pair<std::string, int64_t>>;
using Values = std::vector<double>;
using Shape = std::vector<int64_t>;

constexpr int32_t kAssign = 47;
constexpr int32_t kRead = 48;

const HostValue kAll = make_option(kOptionAll);
HostValue i(int64_t v) { return make_integer(v); }

// a(i, j) = 10 i + j, 3 x 4.
Values tens(int64_t rows, int64_t cols) {
    Values v;
    for (int64_t r = 0; r < rows; ++r) {
        for (int64_t c = 0; c < cols; ++c) v.push_back(static_cast<double>(10 * r + c));
    }
    return v;
}

std::vector<HostValue> with(HostValue first, std::vector<HostValue> rest, std::vector<HostValue> tail = {}) {
    std::vector<HostValue> all{first};
    all.insert(all.end(), rest.begin(), rest.end());
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
}

TEST_F(SubarrayTest, SubgCutsEveryForm) {
    struct Case {
        std::vector<HostValue> idx;
        Shape shape;
        Values values;
    } cases[] = {
        {{}, {3, 4}, tens(3, 4)},
        {{i(1), i(2)}, {1, 1}, {12}},
        {{i(2), kAll}, {1, 4}, {20, 21, 22, 23}},
        {{kAll, i(3)}, {3, 1}, {3, 13, 23}},
        {{kAll, i(1), i(2)}, {3, 2}, {1, 2, 11, 12, 21, 22}},
        {{kAll, i(3), i(3)}, {3, 1}, {3, 13, 23}},
        {{i(0), i(1), kAll}, {2, 4}, {0, 1, 2, 3, 10, 11, 12, 13}},
        {{i(2), i(2), kAll}, {1, 4}, {20, 21, 22, 23}},
        {{i(1), i(2), i(1), i(3)}, {2, 3}, {11, 12, 13, 21, 22, 23}},
        {{i(0), i(0), i(0), i(0)}, {1, 1}, {0}},
    };
    // A plain host array is cut like a math array; the result is a new math array.
    for (int32_t ext : {key(), int32_t{kTypeRealArray}}) {
        HostValue a = host.array({3, 4}, tens(3, 4), ext);
        for (const Case& c : cases) {
            const int64_t handed = host.fun_re_obj_calls();
            std::vector<HostValue> args = with(a, c.idx);
            HostValue r = host.call("math::subg", args);
            ASSERT_EQ(r.base_type, kTypeRealArray) << c.idx.size();
            EXPECT_EQ(r.ext_type, key());
            EXPECT_NE(r.word1, a.word1);
            EXPECT_EQ(host.read(r).shape, c.shape);
            EXPECT_EQ(host.read(r).values, c.values);
            EXPECT_EQ(host.fun_re_obj_calls(), handed + 1);
        }
        EXPECT_EQ(host.read(a).values, tens(3, 4));
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(SubarrayTest, SubgRefusesInOrder) {
    HostValue a = host.array({3, 4}, tens(3, 4));
    HostValue v = host.array({12}, tens(3, 4));
    HostValue c = host.array({2, 3, 2});
    const HostValue step = make_option(kOptionStep);
    struct Case {
        std::vector<HostValue> args;
        int64_t code;
    } cases[] = {
        {{}, 1},
        {{a, i(0), i(0), i(0), i(0), i(0)}, 1},
        {{make_real(1.0)}, 2},
        {{make_integer(3), i(0), i(0)}, 2},
        {{v}, 3},
        {{c, i(0), i(0)}, 3},
        {{a, make_real(2.0)}, 2},
        {{a, make_real(1.0), i(2)}, 5},
        {{a, kAll, i(4)}, 5},
        {{a, kAll, i(-1)}, 5},
        {{a, step, i(1)}, 5},
        {{a, i(1), step}, 5},
        {{a, i(3), kAll}, 5},
        {{a, i(-1), i(0)}, 5},
        {{a, i(0), i(4)}, 5},
        {{a, kAll, kAll}, 5},
        {{a, kAll, i(2), i(1)}, 5},
        {{a, i(2), i(1), kAll}, 5},
        {{a, i(0), i(1), i(2)}, 5},
        {{a, kAll, i(0), i(4)}, 5},
        {{a, i(0), i(3), kAll}, 5},
        {{a, i(1), i(0), i(0), i(1)}, 5},
        {{a, i(0), i(1), i(0), i(4)}, 5},
        {{a, i(0), i(1), kAll, i(1)}, 5},
    };
    for (auto& c : cases) {
        host.clear_errors();
        const int64_t made = host.new_sys_obj_calls();
        HostValue r = host.call("math::subg", c.args);
        EXPECT_TRUE(is_empty_result(r)) << c.args.size() << " " << c.code;
        EXPECT_EQ(reported(), (Errors{{"math::subg", c.code}})) << c.args.size();
        EXPECT_EQ(host.new_sys_obj_calls(), made);
    }
    host.clear_errors();
    host.fail_new_sys_obj_at(1);
    EXPECT_TRUE(is_empty_result(host.call("math::subg", {a, i(1), kAll})));
    EXPECT_EQ(reported(), (Errors{{"math::subg", 6}}));
}

// The random fills draw from the generators of rand and randn, so the
// sequences interleave: these are the first three numbers of each after load.
TEST_F(SubarrayTest, SubgFillsByPattern) {
    HostValue a = host.array({2, 3});
    const struct {
        int64_t code;
        Values values;
    } cases[] = {
        {0, {0, 0, 0, 0, 0, 0}},
        {1, {1, 1, 1, 1, 1, 1}},
        {2, {1, 0, 0, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        HostValue r = host.call("math::subg", {a, i(c.code)});
        EXPECT_EQ(host.read(r).shape, (Shape{2, 3}));
        EXPECT_EQ(host.read(r).values, c.values) << c.code;
    }
    EXPECT_EQ(host.read(host.call("math::subg", {host.array({3, 2}), i(2)})).values, (Values{1, 0, 0, 1, 0, 0}));

    HostValue pair = host.array({1, 2});
    EXPECT_EQ(host.read(host.call("math::subg", {pair, i(3)})).values,
              (Values{0.2113189697265625, 0.049163818359375}));
    EXPECT_EQ(host.read(host.call("math::subg", {pair, i(4)})).values,
              (Values{-1.092681884765625, -0.876617431640625}));
    EXPECT_EQ(host.read(host.call("math::rand", {i(1), i(1)})).values, (Values{0.1446380615234375}));
    EXPECT_EQ(host.read(host.call("math::randn", {i(1), i(1)})).values, (Values{0.749603271484375}));
    EXPECT_TRUE(host.errors().empty());

    // An unknown pattern is reported and the new array (zeros) is still the result.
    host.set_new_array_fill(-7.0);
    HostValue r = host.call("math::subg", {a, i(5)});
    EXPECT_EQ(reported(), (Errors{{"math::subg", 4}}));
    ASSERT_EQ(r.base_type, kTypeRealArray);
    EXPECT_EQ(host.read(r).values, (Values{0, 0, 0, 0, 0, 0}));
}

TEST_F(SubarrayTest, SubsWritesEveryForm) {
    // b holds 1, 2, ...; `written` lists the positions of a (3 x 4) that
    // receive them, in order.
    struct Case {
        std::vector<HostValue> idx;
        Shape b_shape;
        std::vector<int> written;
    } cases[] = {
        {{}, {3, 4}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {{i(1), i(2)}, {1, 1}, {6}},
        {{i(1), kAll}, {4}, {4, 5, 6, 7}},
        {{i(2), kAll}, {1, 4}, {8, 9, 10, 11}},
        {{kAll, i(2)}, {3, 1}, {2, 6, 10}},
        {{kAll, i(0)}, {3}, {0, 4, 8}},
        {{kAll, i(1), i(2)}, {3, 2}, {1, 2, 5, 6, 9, 10}},
        {{i(0), i(1), kAll}, {2, 4}, {0, 1, 2, 3, 4, 5, 6, 7}},
        {{i(1), i(2), i(1), i(3)}, {2, 3}, {5, 6, 7, 9, 10, 11}},
        {{i(2), i(2), i(3), i(3)}, {1, 1}, {11}},
    };
    for (int32_t ext : {key(), int32_t{kTypeRealArray}}) {
        for (const Case& c : cases) {
            HostValue a = host.array({3, 4}, {}, ext);
            Values b_values;
            for (size_t t = 0; t < c.written.size(); ++t) b_values.push_back(static_cast<double>(t + 1));
            HostValue b = host.array(c.b_shape, b_values, ext);
            Values expected(12, 0.0);
            for (size_t t = 0; t < c.written.size(); ++t) expected[static_cast<size_t>(c.written[t])] = b_values[t];
            std::vector<HostValue> args = with(a, c.idx, {b});
            HostValue r = host.call("math::subs", args);
            EXPECT_EQ(r.word1, a.word1);
            EXPECT_EQ(r.ext_type, ext);
            EXPECT_EQ(host.read(a).values, expected) << c.idx.size();
        }
    }
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

TEST_F(SubarrayTest, SubsRefusesInOrderAndWritesNothing) {
    HostValue a = host.array({3, 4}, tens(3, 4));
    HostValue b23 = host.array({2, 3});
    HostValue one_d1 = host.array({1});
    const struct Case {
        std::vector<HostValue> args;
        int64_t code;
    } cases[] = {
        {{a}, 1},
        {{a, i(0), b23}, 1},
        {{a, b23, b23}, 1},
        {{a, i(0), i(0), i(0), i(0), i(0), b23}, 1},
        {{make_real(1), b23}, 2},
        {{host.array({12}), b23}, 3},
        {{a, make_real(1)}, 2},
        {{a, i(9), i(9), make_real(1)}, 2},  // the source is tested before any index
        {{a, b23}, 4},
        {{a, host.array({4, 3})}, 4},
        {{a, i(1), i(2), one_d1}, 4},
        {{a, i(1), i(2), b23}, 4},
        {{a, kAll, i(2), host.array({1, 3})}, 4},
        {{a, kAll, i(2), host.array({4})}, 4},
        {{a, i(1), kAll, host.array({4, 1})}, 4},
        {{a, kAll, i(1), i(2), b23}, 4},
        {{a, i(0), i(1), i(1), i(2), host.array({2, 3})}, 4},
        {{a, i(9), i(0), b23}, 5},  // a bad index with a misfit source: the index counts
        {{a, make_real(1), kAll, b23}, 5},
        {{a, kAll, i(4), b23}, 5},
        {{a, make_option(kOptionRange), i(1), b23}, 5},
        {{a, kAll, i(2), i(1), b23}, 5},
        {{a, i(0), i(3), kAll, b23}, 5},
        {{a, i(0), i(1), i(2), b23}, 5},
        {{a, i(1), i(0), i(0), i(1), b23}, 5},
        {{a, i(0), i(1), i(0), i(4), b23}, 5},
    };
    for (auto c : cases) {
        host.clear_errors();
        HostValue r = host.call("math::subs", c.args);
        EXPECT_TRUE(is_empty_result(r)) << c.args.size() << " " << c.code;
        EXPECT_EQ(reported(), (Errors{{"math::subs", c.code}})) << c.args.size() << " " << c.code;
    }
    EXPECT_EQ(host.read(a).values, tens(3, 4));
}

// Single elements of any number of dimensions are read as reals by the operator.
TEST_F(SubarrayTest, IndexedReadsOfElements) {
    HostValue v = host.array({5}, {0, 1, 2, 3, 4});
    HostValue a = host.array({3, 4}, tens(3, 4), kTypeRealArray);
    Values c_values(24);
    for (size_t k = 0; k < c_values.size(); ++k) c_values[k] = static_cast<double>(k);
    HostValue c = host.array({2, 3, 4}, c_values);
    const struct {
        std::vector<HostValue> operands;
        double expected;
    } cases[] = {
        {{v, i(0)}, 0},        {{v, i(4)}, 4},       {{a, i(1), i(2)}, 12},
        {{a, i(2), i(3)}, 23}, {{c, i(1), i(2), i(3)}, 23}, {{c, i(0), i(1), i(0)}, 4},
    };
    for (auto cs : cases) {
        HostValue r = host.apply(kRead, cs.operands);
        EXPECT_EQ(r.base_type, kTypeReal);
        EXPECT_EQ(r.ext_type, kTypeReal);
        EXPECT_EQ(r.real(), cs.expected);
    }
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.new_sys_obj_calls(), 0);
}

// Every other form on a matrix is subg's, with subg's results and errors.
TEST_F(SubarrayTest, IndexedReadsOfMatricesPassOtherFormsToSubg) {
    HostValue a = host.array({3, 4}, tens(3, 4));
    EXPECT_EQ(host.read(host.apply(kRead, {a})).values, tens(3, 4));
    EXPECT_EQ(host.read(host.apply(kRead, {a, i(1), kAll})).values, (Values{10, 11, 12, 13}));
    EXPECT_EQ(host.read(host.apply(kRead, {a, i(0), i(1), i(2), i(3)})).values, (Values{2, 3, 12, 13}));
    EXPECT_EQ(host.read(host.apply(kRead, {host.array({2, 2}), i(2)})).values, (Values{1, 0, 0, 1}));
    EXPECT_TRUE(host.errors().empty());
    host.apply(kRead, {a, make_real(1)});
    host.apply(kRead, {a, i(3), i(0)});
    host.apply(kRead, {a, i(0), i(0), i(0)});
    EXPECT_EQ(reported(), (Errors{{"math::subg", 2}, {"math::subg", 5}, {"math::subg", 5}}));
}

TEST_F(SubarrayTest, IndexedReadRefusals) {
    HostValue v = host.array({5});
    HostValue c = host.array({2, 3, 4});
    const struct {
        std::vector<HostValue> operands;
        int64_t code;
    } cases[] = {
        {{}, 1},
        {{make_real(1), i(0)}, 2},
        {{v}, 3},
        {{v, i(0), i(0)}, 3},
        {{v, i(5)}, 4},
        {{v, i(-1)}, 4},
        {{v, make_real(0)}, 4},
        {{c, i(0), i(0)}, 3},
        {{c, i(0), i(0), i(0), i(0)}, 3},
        {{c, i(2), i(0), i(0)}, 4},
        {{c, i(0), i(0), i(4)}, 4},
        {{c, i(0), kAll, i(0)}, 4},
    };
    for (auto cs : cases) {
        host.clear_errors();
        HostValue r = host.apply(kRead, cs.operands);
        EXPECT_TRUE(is_empty_result(r));
        EXPECT_EQ(reported(), (Errors{{"math oget", cs.code}})) << cs.operands.size() << " " << cs.code;
    }
}

TEST_F(SubarrayTest, IndexedWrites) {
    HostValue v = host.array({3});
    HostValue a = host.array({2, 3}, {}, kTypeRealArray);
    HostValue c = host.array({2, 2, 2});
    const struct {
        std::vector<HostValue> operands;
        HostValue target;
        size_t position;
    } cases[] = {
        {{v, i(2), make_real(7.5)}, v, 2},
        {{a, i(1), i(0), make_real(-1)}, a, 3},
        {{c, i(1), i(0), i(1), make_real(4)}, c, 5},
    };
    for (auto cs : cases) {
        Values expected = host.read(cs.target).values;
        expected[cs.position] = cs.operands.back().real();
        HostValue r = host.apply(kAssign, cs.operands);
        EXPECT_EQ(r.word1, cs.target.word1);
        EXPECT_EQ(r.ext_type, cs.target.ext_type);
        EXPECT_EQ(host.read(cs.target).values, expected);
    }
    // Whole arrays of any number of dimensions, and subs's forms on a matrix.
    host.apply(kAssign, {c, host.array({2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8})});
    EXPECT_EQ(host.read(c).values, (Values{1, 2, 3, 4, 5, 6, 7, 8}));
    host.apply(kAssign, {a, i(0), kAll, host.array({3}, {1, 2, 3})});
    host.apply(kAssign, {a, kAll, i(1), i(2), host.array({2, 2}, {5, 6, 7, 8})});
    EXPECT_EQ(host.read(a).values, (Values{1, 5, 6, -1, 7, 8}));
    EXPECT_TRUE(host.errors().empty());
    host.apply(kAssign, {a, kAll, i(1), host.array({1, 2})});
    host.apply(kAssign, {a, make_option(kOptionStep), i(1), host.array({2})});
    EXPECT_EQ(reported(), (Errors{{"math::subs", 4}, {"math::subs", 5}}));
    EXPECT_EQ(host.read(a).values, (Values{1, 5, 6, -1, 7, 8}));
}

TEST_F(SubarrayTest, IndexedWriteRefusals) {
    HostValue a = host.array({2, 3}, {1, 2, 3, 4, 5, 6});
    HostValue c = host.array({2, 2, 2});
    const struct {
        std::vector<HostValue> operands;
        int64_t code;
    } cases[] = {
        {{a}, 1},
        {{make_real(1), make_real(1)}, 2},
        {{a, make_real(1)}, 2},
        {{c, host.array({2, 4})}, 3},
        {{c, host.array({2, 2, 3})}, 3},
        {{a, host.array({3, 2})}, 3},
        {{a, i(1), make_real(1)}, 3},
        {{a, i(2), i(0), make_real(1)}, 3},
        {{a, make_real(0), i(0), make_real(1)}, 3},
        {{c, i(0), i(0), i(-1), make_real(1)}, 3},
        {{a, i(0), i(0), i(3)}, 4},
        {{c, i(0), i(0), i(0), a}, 4},
    };
    for (auto cs : cases) {
        host.clear_errors();
        HostValue r = host.apply(kAssign, cs.operands);
        EXPECT_TRUE(is_empty_result(r));
        EXPECT_EQ(reported(), (Errors{{"math oset", cs.code}})) << cs.operands.size() << " " << cs.code;
    }
    EXPECT_EQ(host.read(a).values, (Values{1, 2, 3, 4, 5, 6}));
}

// Sizes that claim more elements than an array holds never lead a read or
// write outside it.
TEST_F(SubarrayTest, SizesBeyondTheElementsAreRefused) {
    HostValue a = host.array({2, 3});
    HostValue c = host.array({2, 2, 2});
    host.object(a)->dims[0] = 1000;
    host.object(c)->dims[2] = 1000;
    host.call("math::subg", {a});
    host.call("math::subs", {a, i(999), kAll, host.array({3})});
    host.apply(kRead, {a, i(999), i(0)});
    host.apply(kRead, {c, i(1), i(1), i(999)});
    host.apply(kAssign, {c, i(1), i(1), i(999), make_real(1)});
    EXPECT_EQ(reported(), (Errors{{"math::subg", 3}, {"math::subs", 3}, {"math::subg", 3}, {"math oget", 4},
                                  {"math oset", 3}}));
}

}  // namespace
