// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic operators + - * .* ./ .^ through the operator dispatcher.
#include <cmath>
#include <limits>
#include <optional>

#include "elementary/elementary.h"
#include "tests/support.h"

namespace {

constexpr int32_t kPlus = 0, kMinus = 1, kTimes = 2, kElemTimes = 25, kElemOver = 26, kElemPower = 28;

enum class Form { ArrayArray, ArrayReal, RealArray };

struct ResultCase {
    int32_t code;
    Form form;
    std::vector<double> expected;
};

// a = {1, -2, 4, 3}, b = {2, 4, -8, 2}, x = 2.0: every result is exact.
const ResultCase kResultCases[] = {
    {kPlus, Form::ArrayArray, {3, 2, -4, 5}},
    {kPlus, Form::ArrayReal, {3, 0, 6, 5}},
    {kPlus, Form::RealArray, {3, 0, 6, 5}},
    {kMinus, Form::ArrayArray, {-1, -6, 12, 1}},
    {kMinus, Form::ArrayReal, {-1, -4, 2, 1}},
    {kMinus, Form::RealArray, {1, 4, -2, -1}},
    {kTimes, Form::ArrayReal, {2, -4, 8, 6}},
    {kTimes, Form::RealArray, {2, -4, 8, 6}},
    {kElemTimes, Form::ArrayArray, {2, -8, -32, 6}},
    {kElemTimes, Form::ArrayReal, {2, -4, 8, 6}},
    {kElemTimes, Form::RealArray, {2, -4, 8, 6}},
    {kElemOver, Form::ArrayArray, {0.5, -0.5, -0.5, 1.5}},
    {kElemOver, Form::ArrayReal, {0.5, -1, 2, 1.5}},
    {kElemOver, Form::RealArray, {2, -1, 0.5, 2.0 / 3.0}},
    {kElemPower, Form::ArrayArray, {1, 16, 0x1p-16, 9}},
    {kElemPower, Form::ArrayReal, {1, 4, 16, 9}},
    {kElemPower, Form::RealArray, {2, 0.25, 16, 8}},
};

std::vector<HostValue> operands_for(hostsim::Host& host, Form form) {
    HostValue a = host.array({2, 2}, {1, -2, 4, 3});
    HostValue b = host.array({2, 2}, {2, 4, -8, 2});
    HostValue x = make_real(2.0);
    switch (form) {
        case Form::ArrayArray: return {a, b};
        case Form::ArrayReal: return {a, x};
        case Form::RealArray: return {x, a};
    }
    return {};
}

TEST_F(LibraryTest, ArithmeticOperatorsComputeEachElement) {
    for (const ResultCase& c : kResultCases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " form " << static_cast<int>(c.form));
        const int64_t handed_over = host.fun_re_obj_calls();
        std::vector<HostValue> operands = operands_for(host, c.form);
        HostValue r = host.apply(c.code, operands);
        EXPECT_TRUE(reported().empty());
        ASSERT_EQ(r.base_type, kTypeRealArray);
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(host.fun_re_obj_calls(), handed_over + 1);
        hostsim::ArrayContents got = host.read(r);
        EXPECT_EQ(got.shape, (std::vector<int64_t>{2, 2}));
        EXPECT_EQ(got.values, c.expected);
    }
}

// .^ is the library's own pow, bit for bit, on inexact results, and gives
// the documented values in the special cases.
TEST_F(LibraryTest, ElementPowerIsTheLibrarysOwnPow) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double x, y;
        std::optional<double> want;  // none: inexact, only the library's pow decides
    } cases[] = {
        {2.0, 10.0, 1024.0},   {-8.0, 1.0 / 3.0, nan},   {-0.0, -1.0, -kInf}, {0.0, -1.0, kInf},
        {-2.0, 3.0, -8.0},     {0.5, 1074.0, 0x1p-1074}, {2.0, 1024.0, kInf}, {kInf, -0.5, 0.0},
        {1.0, nan, 1.0},       {10.0, -0.5, {}},         {1.0001, 1e5, {}},   {3.7, -2.25, {}},
        {0.999, -7e5, {}},
    };
    std::vector<double> xs, ys;
    for (const auto& c : cases) {
        xs.push_back(c.x);
        ys.push_back(c.y);
    }
    const int64_t n = static_cast<int64_t>(xs.size());
    const std::vector<double> got = host.read(host.apply(kElemPower, {host.array({n}, xs), host.array({n}, ys)})).values;
    ASSERT_EQ(got.size(), xs.size());
    for (size_t i = 0; i < xs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << xs[i] << " .^ " << ys[i] << ": " << got[i]);
        EXPECT_TRUE(same_bits(got[i], hostmath::elementary::pow(xs[i], ys[i])));
        if (const std::optional<double> want = cases[i].want) {
            EXPECT_TRUE(std::isnan(*want) ? std::isnan(got[i]) : same_bits(got[i], *want));
        }
    }
    EXPECT_TRUE(reported().empty());
}

struct FailureCase {
    const char* what;
    int32_t code;
    const char* name;
    std::vector<HostValue> (*operands)(hostsim::Host&);
    int64_t error;
};

// A record of base type -252 whose payload is no array the host made.
HostValue unknown_array() {
    static RealArray stranger{};
    return make_array_value(&stranger, kTypeRealArray);
}

const FailureCase kFailureCases[] = {
    {"array + integer", kPlus, "math +", [](hostsim::Host& h) { return std::vector{h.array({2}, {1, 2}), make_integer(2)}; }, 1},
    {"integer * array", kTimes, "math *", [](hostsim::Host& h) { return std::vector{make_integer(2), h.array({2}, {1, 2})}; }, 1},
    {"real - real", kMinus, "math -", [](hostsim::Host&) { return std::vector{make_real(1.0), make_real(2.0)}; }, 1},
    {"array .* logical", kElemTimes, "math .*", [](hostsim::Host& h) { return std::vector{h.array({2}), make_logical(true)}; }, 1},
    {"unknown + array", kPlus, "math +", [](hostsim::Host& h) { return std::vector{unknown_array(), h.array({2})}; }, 2},
    {"array ./ unknown", kElemOver, "math ./", [](hostsim::Host& h) { return std::vector{h.array({2}), unknown_array()}; }, 2},
    {"unknown .^ real", kElemPower, "math .^", [](hostsim::Host&) { return std::vector{unknown_array(), make_real(2.0)}; }, 2},
    {"real * unknown", kTimes, "math *", [](hostsim::Host&) { return std::vector{make_real(2.0), unknown_array()}; }, 2},
    {"unknown * array", kTimes, "math *", [](hostsim::Host& h) { return std::vector{unknown_array(), h.array({2, 2})}; }, 2},
    {"2x3 + 3x2", kPlus, "math +", [](hostsim::Host& h) { return std::vector{h.array({2, 3}), h.array({3, 2})}; }, 3},
    {"2x3 - 6", kMinus, "math -", [](hostsim::Host& h) { return std::vector{h.array({2, 3}), h.array({6})}; }, 3},
    {"2x3x1 .* 2x3", kElemTimes, "math .*", [](hostsim::Host& h) { return std::vector{h.array({2, 3, 1}), h.array({2, 3})}; }, 3},
};

TEST_F(LibraryTest, ArithmeticOperatorsRefuseBadOperandsBeforeCreatingAnything) {
    for (const FailureCase& c : kFailureCases) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        std::vector<HostValue> operands = c.operands(host);
        const int64_t created = host.new_sys_obj_calls();
        HostValue r = host.apply(c.code, operands);
        EXPECT_TRUE(is_empty_result(r));
        EXPECT_EQ(host.new_sys_obj_calls(), created);
        EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{c.name, c.error}}));
    }
}

TEST_F(LibraryTest, ArithmeticOperatorsReportARefusedResultArray) {
    const std::pair<int32_t, const char*> operators[] = {{kPlus, "math +"},      {kMinus, "math -"},
                                                         {kTimes, "math *"},     {kElemTimes, "math .*"},
                                                         {kElemOver, "math ./"}, {kElemPower, "math .^"}};
    for (const auto& [code, name] : operators) {
        SCOPED_TRACE(name);
        host.clear_errors();
        HostValue a = host.array({2}, {1, 2});
        host.fail_new_sys_obj_at(1);
        EXPECT_TRUE(is_empty_result(host.apply(code, {a, make_real(2.0)})));
        EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{name, 4}}));
        if (code != kTimes) {
            host.clear_errors();
            host.fail_new_sys_obj_at(1);
            EXPECT_TRUE(is_empty_result(host.apply(code, {a, a})));
            EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{name, 4}}));
        }
    }
}

TEST_F(LibraryTest, DivisionByZeroGivesSignedInfinityWithoutReport) {
    HostValue r = host.apply(kElemOver, {make_real(1.0), host.array({3}, {0.0, -0.0, 4.0})});
    EXPECT_TRUE(reported().empty());
    const std::vector<double> got = host.read(r).values;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(got, (std::vector<double>{inf, -inf, 0.25}));
}

TEST_F(LibraryTest, PowerOfOneHalfGivesRootsAndNaNs) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    HostValue r = host.apply(kElemPower, {host.array({4}, {4, 2.25, -1, nan}), make_real(0.5)});
    EXPECT_TRUE(reported().empty());
    const std::vector<double> got = host.read(r).values;
    EXPECT_EQ(got[0], 2.0);
    EXPECT_EQ(got[1], 1.5);
    EXPECT_TRUE(std::isnan(got[2]));
    EXPECT_TRUE(std::isnan(got[3]));
}

TEST_F(LibraryTest, ScalingKeepsEveryDimension) {
    std::vector<double> values(24);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i) - 7.5;
    HostValue r = host.apply(kTimes, {host.array({2, 3, 4}, values), make_real(2.0)});
    EXPECT_TRUE(reported().empty());
    hostsim::ArrayContents got = host.read(r);
    EXPECT_EQ(got.shape, (std::vector<int64_t>{2, 3, 4}));
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(got.values[i], 2.0 * values[i]);
}

TEST_F(LibraryTest, PlainHostArraysAreAcceptedAndTheResultIsAMathArray) {
    HostValue plain = host.array({2, 2}, {1, 2, 3, 4}, kTypeRealArray);
    HostValue tagged = host.array({2, 2}, {10, 20, 30, 40});
    for (std::vector<HostValue> operands : {std::vector{plain, tagged}, std::vector{plain, plain},
                                                   std::vector{plain, make_real(1.0)}}) {
        HostValue r = host.apply(kPlus, operands);
        EXPECT_TRUE(reported().empty());
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(r.base_type, kTypeRealArray);
        EXPECT_NE(host.object(r), nullptr);
    }
    EXPECT_EQ(host.read(host.apply(kPlus, {plain, tagged})).values, (std::vector<double>{11, 22, 33, 44}));
}

// Neither operand is changed and the result is a new array, also for a + a.
TEST_F(LibraryTest, OperatorsLeaveTheirOperandsAlone) {
    HostValue a = host.array({3}, {1, 2, 3});
    HostValue r = host.apply(kPlus, {a, a});
    EXPECT_NE(r.word1, a.word1);
    EXPECT_EQ(host.read(r).values, (std::vector<double>{2, 4, 6}));
    EXPECT_EQ(host.read(a).values, (std::vector<double>{1, 2, 3}));
}

}  // namespace

// ---- the matrix product through the dispatcher -------------------------------------------

struct ProductCase {
    const char* what;
    std::vector<int64_t> left, right;
    std::vector<int64_t> shape;  // empty: the empty result
    int64_t error;               // 0: no run error
};

const ProductCase kProductCases[] = {
    {"2x3 * 3x4", {2, 3}, {3, 4}, {2, 4}, 0},
    {"1x1 * 1x5", {1, 1}, {1, 5}, {1, 5}, 0},
    {"2x3 * 2x3", {2, 3}, {2, 3}, {}, 3},
    {"3-element vector * 2x2", {3}, {2, 2}, {}, 0},
    {"2x2 * 2x2x1", {2, 2}, {2, 2, 1}, {}, 0},
};

TEST_F(LibraryTest, MatrixProductShapesAndRefusals) {
    for (const ProductCase& c : kProductCases) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        const int64_t created = host.new_sys_obj_calls();
        HostValue r = host.apply(kTimes, {host.array(c.left), host.array(c.right)});
        if (c.shape.empty()) {
            EXPECT_TRUE(is_empty_result(r));
            EXPECT_EQ(host.new_sys_obj_calls(), created);
        } else {
            EXPECT_EQ(host.read(r).shape, c.shape);
            EXPECT_EQ(r.ext_type, key());
        }
        const auto expected = c.error == 0 ? std::vector<std::pair<std::string, int64_t>>{}
                                           : std::vector<std::pair<std::string, int64_t>>{{"math *", c.error}};
        EXPECT_EQ(reported(), expected);
    }
}

TEST_F(LibraryTest, MatrixProductSumsInAscendingOrder) {
    // Row (1, 1e16, -1e16) times the column (1, 1, 1): ascending order gives
    // (1 + 1e16) - 1e16 = 0, not 1.
    HostValue a = host.array({2, 3}, {1, 1e16, -1e16, 1, 2, 3});
    HostValue b = host.array({3, 2}, {1, 0, 1, 1, 1, 2});
    HostValue r = host.apply(kTimes, {a, b});
    EXPECT_EQ(host.read(r).values, (std::vector<double>{0, -1e16, 6, 8}));
    EXPECT_EQ(host.fun_re_obj_calls(), 1);

    host.fail_new_sys_obj_at(1);
    EXPECT_TRUE(is_empty_result(host.apply(kTimes, {a, b})));
    EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math *", 4}}));
}

// An array whose sizes claim more elements than it holds is never read past its end.
TEST_F(LibraryTest, MatrixProductRefusesSizesBeyondTheElements) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    HostValue b = host.array({2, 2}, {1, 0, 0, 1});
    host.object(b)->dims[1] = 200;  // 2 x 200 claimed, 4 held
    EXPECT_TRUE(is_empty_result(host.apply(kTimes, {a, b})));
    EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math *", 3}}));
}
