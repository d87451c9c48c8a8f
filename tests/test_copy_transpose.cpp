// SPDX-License-Identifier: GPL-3.0-or-later
// copy (operator code 45) and transpose (operator code 8).
#include <cstdint>
#include <limits>
#include <vector>

#include "ops/transpose.h"
#include "tests/support.h"

namespace {

constexpr int32_t kCopy = 45;
constexpr int32_t kTranspose = 8;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool same_record(const HostValue& a, const HostValue& b) {
    return a.word1 == b.word1 && a.word2 == b.word2 && a.word3 == b.word3 && a.ext_type == b.ext_type &&
           a.base_type == b.base_type;
}

using CopyTest = LibraryTest;
using TransposeTest = LibraryTest;

// ---- copy -----------------------------------------------------------------------

TEST_F(CopyTest, OneOperandMakesAnIndependentBitExactCopy) {
    HostValue a = host.array({2, 3}, {1, -0.0, kNaN, 4, 5, 6});
    HostValue c = host.apply(kCopy, {a});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(c.ext_type, key());
    EXPECT_EQ(c.base_type, kTypeRealArray);
    EXPECT_NE(c.word1, a.word1);
    EXPECT_EQ(host.fun_re_obj_calls(), 1);
    const auto copy = host.read(c);
    const auto source = host.read(a);
    EXPECT_EQ(copy.shape, (std::vector<int64_t>{2, 3}));
    for (size_t t = 0; t < 6; ++t) EXPECT_TRUE(same_bits(copy.values[t], source.values[t])) << t;

    host.object(c)->data[0] = 99;
    EXPECT_EQ(host.read(a).values[0], 1);
}

TEST_F(CopyTest, OneOperandOfAPlainHostArrayGivesAMathArray) {
    HostValue a = host.array({3}, {1, 2, 3}, kTypeRealArray);
    HostValue c = host.apply(kCopy, {a});
    EXPECT_EQ(c.ext_type, key());
    EXPECT_EQ(host.read(c).shape, (std::vector<int64_t>{3}));
}

TEST_F(CopyTest, TwoOperandsCopyInStorageOrderWhateverTheShapes) {
    HostValue a = host.array({2, 3}, {0, 0, 0, 0, 0, 0}, kTypeRealArray);
    HostValue b = host.array({3, 2}, {1, 2, 3, 4, 5, 6});
    HostValue r = host.apply(kCopy, {a, b});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_TRUE(same_record(r, a));  // the argument's own record, extended type -252 included
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
    EXPECT_EQ(host.read(a).shape, (std::vector<int64_t>{2, 3}));
    EXPECT_EQ(host.read(a).values, (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

struct RangeCase {
    HostValue i, j, n;
    int64_t code;                 // 0: accepted
    std::vector<double> a_after;  // a starts as 10, 20, 30, 40; b is 1, 2, 3
};

TEST_F(CopyTest, FiveOperandsCheckTheRangesExactly) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    const std::vector<double> unchanged{10, 20, 30, 40};
    const RangeCase cases[] = {
        {make_integer(1), make_integer(0), make_integer(3), 0, {10, 1, 2, 3}},
        {make_integer(0), make_integer(1), make_integer(2), 0, {2, 3, 30, 40}},
        {make_integer(2), make_integer(0), make_integer(3), 3, unchanged},  // 2 + 3 > 4
        {make_integer(0), make_integer(1), make_integer(3), 3, unchanged},  // 1 + 3 > 3
        {make_integer(-1), make_integer(0), make_integer(1), 3, unchanged},
        {make_integer(0), make_integer(-1), make_integer(1), 3, unchanged},
        {make_integer(0), make_integer(0), make_integer(0), 3, unchanged},
        {make_integer(0), make_integer(0), make_integer(-2), 3, unchanged},
        {make_real(1), make_integer(0), make_integer(1), 3, unchanged},
        {make_integer(0), make_real(0), make_integer(1), 3, unchanged},
        {make_integer(0), make_integer(0), make_real(1), 3, unchanged},
        // Sums that would wrap around in 64 bits.
        {make_integer(kMax), make_integer(0), make_integer(2), 3, unchanged},
        {make_integer(2), make_integer(0), make_integer(kMax), 3, unchanged},
        {make_integer(0), make_integer(kMax), make_integer(kMax), 3, unchanged},
    };
    for (const RangeCase& c : cases) {
        host.clear_errors();
        HostValue a = host.array({4}, {10, 20, 30, 40});
        HostValue b = host.array({3}, {1, 2, 3});
        HostValue r = host.apply(kCopy, {a, c.i, b, c.j, c.n});
        if (c.code == 0) {
            EXPECT_TRUE(host.errors().empty());
            EXPECT_TRUE(same_record(r, a));
        } else {
            EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math copy", c.code}}));
            EXPECT_TRUE(is_empty_result(r));
        }
        EXPECT_EQ(host.read(a).values, c.a_after) << c.i.integer() << " " << c.j.integer() << " " << c.n.integer();
    }
}

TEST_F(CopyTest, OverlapWithinOneArrayCopiesElementByElementAscending) {
    HostValue a = host.array({4}, {1, 2, 3, 4});
    host.apply(kCopy, {a, make_integer(1), a, make_integer(0), make_integer(3)});
    EXPECT_EQ(host.read(a).values, (std::vector<double>{1, 1, 1, 1}));

    HostValue s = host.array({4}, {1, 2, 3, 4});
    host.apply(kCopy, {s, make_integer(0), s, make_integer(1), make_integer(3)});
    EXPECT_EQ(host.read(s).values, (std::vector<double>{2, 3, 4, 4}));
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(CopyTest, FailuresReportTheirCodeAndLeaveTheArraysAlone) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    HostValue b = host.array({2, 2}, {5, 6, 7, 8});
    HostValue big = host.array({5}, {});
    HostValue a_as_real = a;
    a_as_real.base_type = kTypeReal;
    HostValue stranger = make_array_value(nullptr, kTypeRealArray);
    struct {
        std::vector<HostValue> operands;
        int64_t code;
    } cases[] = {
        {{}, 1},
        {{a, b, b}, 1},
        {{a, b, b, b}, 1},
        {{a, make_integer(0), b, make_integer(0), make_integer(1), b}, 1},
        {{make_real(1)}, 2},
        {{stranger}, 2},
        {{a_as_real}, 2},
        {{a, make_real(2)}, 2},
        {{a_as_real, b}, 2},
        {{a, stranger}, 2},
        {{a, make_integer(0), make_real(2), make_integer(0), make_integer(1)}, 2},
        {{stranger, make_integer(0), b, make_integer(0), make_integer(1)}, 2},
        {{a, big}, 3},
    };
    for (auto& c : cases) {
        host.clear_errors();
        HostValue r = host.apply(kCopy, c.operands);
        EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math copy", c.code}}))
            << c.operands.size();
        EXPECT_TRUE(is_empty_result(r));
    }
    EXPECT_EQ(host.read(a).values, (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

TEST_F(CopyTest, HostRefusingTheNewArrayIsCodeFour) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    host.fail_new_sys_obj_at(1);
    HostValue r = host.apply(kCopy, {a});
    EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math copy", 4}}));
    EXPECT_TRUE(is_empty_result(r));
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

// ---- transpose --------------------------------------------------------------------

TEST_F(TransposeTest, TwoByThree) {
    HostValue a = host.array({2, 3}, {1, 2, 3, 4, 5, 6}, kTypeRealArray);
    HostValue t = host.apply(kTranspose, {a});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(t.ext_type, key());
    EXPECT_EQ(t.base_type, kTypeRealArray);
    EXPECT_EQ(host.fun_re_obj_calls(), 1);
    const auto r = host.read(t);
    EXPECT_EQ(r.shape, (std::vector<int64_t>{3, 2}));
    EXPECT_EQ(r.values, (std::vector<double>{1, 4, 2, 5, 3, 6}));
}

// Without elements the transpose swaps the sizes and loops over nothing, so
// huge sizes next to a 0 return at once.
TEST_F(TransposeTest, WithoutElementsSwapsTheSizesPromptly) {
    for (int64_t huge : {int64_t{4294967296}, int64_t{4611686018427387904}}) {
        for (auto shape : {std::vector<int64_t>{huge, 0}, std::vector<int64_t>{0, huge}}) {
            HostValue t = host.apply(kTranspose, {host.array_with_header(0, shape, 2)});
            const auto r = host.read(t);
            EXPECT_EQ(r.shape, (std::vector<int64_t>{shape[1], shape[0]}));
            EXPECT_TRUE(r.values.empty());
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

// Sizes on both sides of the tile edge, so partial tiles are covered.
TEST_F(TransposeTest, MatchesThePlainLoopAcrossTiles) {
    const int64_t m = 67;
    const int64_t n = 45;
    std::vector<double> values(static_cast<size_t>(m * n));
    for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<double>(k) * 0.5 - 7;
    HostValue t = host.apply(kTranspose, {host.array({m, n}, values)});
    const auto r = host.read(t);
    ASSERT_EQ(r.shape, (std::vector<int64_t>{n, m}));
    for (int64_t i = 0; i < m; ++i) {
        for (int64_t j = 0; j < n; ++j) ASSERT_EQ(r.values[static_cast<size_t>(j * m + i)], values[static_cast<size_t>(i * n + j)]);
    }
}

TEST(TransposeElements, EqualsThePlainLoopForEveryShape) {
    const std::pair<int64_t, int64_t> shapes[] = {{1, 1}, {1, 100}, {100, 1}, {32, 32}, {33, 31}, {64, 96}, {0, 5}, {5, 0}};
    for (auto [m, n] : shapes) {
        std::vector<double> a(static_cast<size_t>(m * n));
        for (size_t k = 0; k < a.size(); ++k) a[k] = static_cast<double>(k);
        std::vector<double> blocked(a.size() + 1, -1), plain(a.size() + 1, -1);
        hostmath::transpose_elements(a.data(), m, n, blocked.data());
        for (int64_t i = 0; i < m; ++i)
            for (int64_t j = 0; j < n; ++j) plain[static_cast<size_t>(j * m + i)] = a[static_cast<size_t>(i * n + j)];
        EXPECT_EQ(blocked, plain) << m << "x" << n;  // the extra last element stays untouched
    }
}

TEST_F(TransposeTest, FailuresLeaveANullMathArray) {
    HostValue vector = host.array({3}, {1, 2, 3});
    HostValue cube = host.array({2, 2, 2}, {});
    HostValue matrix = host.array({2, 2}, {1, 2, 3, 4});
    struct {
        HostValue operand;
        bool fail_new;
        int64_t code;
    } cases[] = {
        {make_real(2), false, 1},
        {make_array_value(nullptr, kTypeRealArray), false, 1},
        {vector, false, 2},
        {cube, false, 2},
        {matrix, true, 3},
    };
    for (auto& c : cases) {
        host.clear_errors();
        if (c.fail_new) host.fail_new_sys_obj_at(1);
        HostValue r = host.apply(kTranspose, {c.operand});
        EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math AT", c.code}}));
        // The dispatcher copies the operator's whole record: words 2 and 3 are 0, not the host's fill.
        EXPECT_EQ(r.word1, 0u);
        EXPECT_EQ(r.word2, 0u);
        EXPECT_EQ(r.word3, 0u);
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(r.base_type, kTypeRealArray);
    }
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

}  // namespace
