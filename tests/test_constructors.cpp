// SPDX-License-Identifier: GPL-3.0-or-later
// matrix, zeros, ones, eye, linspace, row, col, ra1, SetArray and toreal,
// driven through the stand-in host.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using Values = std::vector<double>;
using Shape = std::vector<int64_t>;
using Reports = std::vector<std::pair<std::string, int64_t>>;

HostValue I(int64_t v) { return make_integer(v); }
HostValue R(double v) { return make_real(v); }

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kHostFill = 7.0;  // what the host puts into new arrays in these tests

class ConstructorTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        // A visible host fill shows every element the library leaves unwritten.
        host.set_new_array_fill(kHostFill);
    }

    // A new math array handed to the host as the call's result.
    void expect_new_array(const HostValue& r, const Shape& shape, const Values& values) {
        ASSERT_EQ(r.base_type, kTypeRealArray);
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(host.fun_re_obj_calls(), 1);
        const auto contents = host.read(r);
        EXPECT_EQ(contents.shape, shape);
        EXPECT_EQ(contents.values, values);
    }
    // The argument's own record back, no new object handed over.
    void expect_argument_returned(const HostValue& r, const HostValue& arg) {
        EXPECT_EQ(r.word1, arg.word1);
        EXPECT_EQ(r.ext_type, arg.ext_type);
        EXPECT_EQ(r.base_type, arg.base_type);
        EXPECT_EQ(host.fun_re_obj_calls(), 0);
    }
};

// ---- matrix from text -------------------------------------------------------------

struct TextCase {
    const char* text;
    Shape shape;  // empty: no array
    Values values;
    Reports reports;
};

TEST_F(ConstructorTest, MatrixReadsRowsOfNumberText) {
    const std::vector<TextCase> cases = {
        {"1 2 3", {1, 3}, {1, 2, 3}, {}},
        {"1 2\r\n3 4\r\n", {2, 2}, {1, 2, 3, 4}, {}},
        {"1 2\n3 4", {2, 2}, {1, 2, 3, 4}, {}},
        {"1 2\r3 4\r", {2, 2}, {1, 2, 3, 4}, {}},
        {"\n\r\n1,2\n\n\n3,4\n\n", {2, 2}, {1, 2, 3, 4}, {}},
        {" \t1,,\t2 , 3 ", {1, 3}, {1, 2, 3}, {}},
        {"1\n2\n3", {3, 1}, {1, 2, 3}, {}},
        {"-1.5e2 .25 1-2 +7", {1, 4}, {-150, 0.25, 1, 7}, {}},
        {"1 2\n3 4 5", {}, {}, {{"math::matrix", 2}}},
        {"1 2 3\r\n4 5\r\n", {}, {}, {{"math::matrix", 2}}},
        {"1;2", {}, {}, {{"math::matrix", 3}}},
        {"1 2\n3 x", {}, {}, {{"math::matrix", 3}}},
        // The rows are compared at each line end, before the rest is scanned.
        {"1 2\n3\n;", {}, {}, {{"math::matrix", 2}}},
        {"", {}, {}, {}},
        {" ,\t\r\n\n ", {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        host.clear_errors();
        const int64_t handed_before = host.fun_re_obj_calls();
        const HostValue r = host.call("math::matrix", {host.string(c.text)});
        EXPECT_EQ(reported(), c.reports);
        if (c.shape.empty()) {
            EXPECT_TRUE(is_empty_result(r));
            EXPECT_EQ(host.fun_re_obj_calls(), handed_before);
            continue;
        }
        ASSERT_EQ(r.ext_type, key());
        EXPECT_EQ(host.fun_re_obj_calls(), handed_before + 1);
        const auto contents = host.read(r);
        EXPECT_EQ(contents.shape, c.shape);
        EXPECT_EQ(contents.values, c.values);
    }
}

TEST_F(ConstructorTest, MatrixTextTokensConvertLikeStrtod) {
    const HostValue r = host.call("math::matrix", {host.string("-0 e5 +-1 1e 1e+ 2E2 1.2.3 1e400 -1e400 1e-400")});
    const Values v = host.read(r).values;
    const Values expected = {-0.0, 0, 0, 1, 1, 200, 1.2, kInf, -kInf, 0};
    ASSERT_EQ(v.size(), expected.size());
    for (size_t k = 0; k < v.size(); ++k) EXPECT_TRUE(same_bits(v[k], expected[k])) << k << ": " << v[k];
}

// ---- matrix from elements ----------------------------------------------------------

TEST_F(ConstructorTest, MatrixFromElementsConvertsIntegersAndCopiesReals) {
    expect_new_array(host.call("math::matrix", {I(2), I(2), I(1), R(2.5), I(3), R(3.0)}), {2, 2}, {1, 2.5, 3, 3});
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(ConstructorTest, MatrixLeavesMissingElementsAtZero) {
    // Elements without an argument are the library's zeros, not the host's fill.
    expect_new_array(host.call("math::matrix", {I(2), I(2), I(1), R(2.5)}), {2, 2}, {1, 2.5, 0, 0});
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(ConstructorTest, MatrixIgnoresArgumentsBeyondItsElementsUnread) {
    expect_new_array(host.call("math::matrix", {I(2), I(2), I(1), I(2), I(3), I(4), I(5), host.string("x")}),
                     {2, 2}, {1, 2, 3, 4});
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(ConstructorTest, MatrixReportsEachBadElementAndGoesOn) {
    expect_new_array(host.call("math::matrix", {I(1), I(4), I(1), host.string("2"), make_logical(true), R(4)}),
                     {1, 4}, {1, 0, 0, 4});
    EXPECT_EQ(reported(), (Reports{{"math::matrix", 1}, {"math::matrix", 1}}));
}

TEST_F(ConstructorTest, MatrixRefusesBadSizesAndNonText) {
    const std::vector<std::vector<HostValue>> refused = {
        {I(0), I(3)},        {I(3), I(-1)},        {R(2.0), I(2)},     {I(2), R(2.0)},
        {I(2), host.string("2")}, {I(3)},          {R(1.0)},           {host.array({2, 2})},
    };
    for (auto args : refused) {
        host.clear_errors();
        EXPECT_TRUE(is_empty_result(host.call("math::matrix", args)));
        EXPECT_EQ(reported(), (Reports{{"math::matrix", 1}}));
    }
    EXPECT_EQ(host.new_sys_obj_calls(), 0);
}

TEST_F(ConstructorTest, MatrixFailsSilentlyWithoutArgumentsOrAnArray) {
    EXPECT_TRUE(is_empty_result(host.call("math::matrix", {})));
    host.fail_new_sys_obj_at(1);
    EXPECT_TRUE(is_empty_result(host.call("math::matrix", {host.string("1 2")})));
    host.fail_new_sys_obj_at(1);
    EXPECT_TRUE(is_empty_result(host.call("math::matrix", {I(1), I(1), I(5)})));
    // A size product beyond 64 bits is a failed creation, not a wrapped size.
    const int64_t big = int64_t{1} << 62;
    EXPECT_TRUE(is_empty_result(host.call("math::matrix", {I(big), I(4), I(1)})));
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

// ---- zeros, ones, eye -------------------------------------------------------------

TEST_F(ConstructorTest, ZerosOnesEyeMakeNewMatrices) {
    struct Case {
        const char* fn;
        int64_t rows, cols;
        Values values;
    };
    const std::vector<Case> cases = {
        {"math::zeros", 2, 3, {0, 0, 0, 0, 0, 0}},
        {"math::ones", 2, 3, {1, 1, 1, 1, 1, 1}},
        {"math::eye", 2, 3, {1, 0, 0, 0, 1, 0}},
        {"math::eye", 3, 2, {1, 0, 0, 1, 0, 0}},
        {"math::eye", 1, 1, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fn) + " " + std::to_string(c.rows) + "x" + std::to_string(c.cols));
        const HostValue r = host.call(c.fn, {I(c.rows), I(c.cols)});
        ASSERT_EQ(r.ext_type, key());
        const auto contents = host.read(r);
        EXPECT_EQ(contents.shape, (Shape{c.rows, c.cols}));
        EXPECT_EQ(contents.values, c.values);
    }
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.fun_re_obj_calls(), static_cast<int64_t>(cases.size()));
}

TEST_F(ConstructorTest, ZerosOnesEyeReportTheirCodes) {
    HostValue not_array_type = host.array({2, 2});
    not_array_type.base_type = kTypeReal;
    const int64_t big = int64_t{1} << 40;
    struct Case {
        std::vector<HostValue> args;
        int64_t code;
        bool fail_creation = false;
    };
    const std::vector<Case> cases = {
        {{I(2)}, 1},
        {{host.string("1")}, 1},
        {{not_array_type}, 1},
        {{R(2.0), I(3)}, 2},
        {{I(2), R(3.0)}, 2},
        {{I(0), I(3)}, 2},
        {{I(2), I(-3)}, 2},
        {{I(2), I(2)}, 3, true},
        {{I(big), I(big)}, 3},
        {{}, 4},
        {{I(2), I(3), I(4)}, 4},
    };
    for (const char* fn : {"math::zeros", "math::ones", "math::eye"}) {
        for (auto c : cases) {
            SCOPED_TRACE(std::string(fn) + " code " + std::to_string(c.code));
            host.clear_errors();
            if (c.fail_creation) host.fail_new_sys_obj_at(1);
            EXPECT_TRUE(is_empty_result(host.call(fn, c.args)));
            EXPECT_EQ(reported(), (Reports{{fn, c.code}}));
        }
    }
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

TEST_F(ConstructorTest, ZerosOnesEyeFillInPlace) {
    for (const auto ext : {std::optional<int32_t>{}, std::optional<int32_t>{kTypeRealArray}}) {
        const HostValue a = host.array({2, 2}, {5, 5, 5, 5}, ext);
        expect_argument_returned(host.call("math::ones", {a}), a);
        EXPECT_EQ(host.read(a).values, (Values{1, 1, 1, 1}));
        expect_argument_returned(host.call("math::eye", {a}), a);
        EXPECT_EQ(host.read(a).values, (Values{1, 0, 0, 1}));
        expect_argument_returned(host.call("math::zeros", {a}), a);
        EXPECT_EQ(host.read(a).values, (Values{0, 0, 0, 0}));
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(ConstructorTest, EyeInPlaceWritesOnlyInsideTheArray) {
    // More than two dimensions: only the first rows x columns elements.
    const HostValue cube = host.array({2, 2, 2}, {9, 9, 9, 9, 9, 9, 9, 9});
    host.call("math::eye", {cube});
    EXPECT_EQ(host.read(cube).values, (Values{1, 0, 0, 1, 9, 9, 9, 9}));
    // One dimension: read as a single row.
    const HostValue vector = host.array({4}, {9, 9, 9, 9});
    host.call("math::eye", {vector});
    EXPECT_EQ(host.read(vector).values, (Values{1, 0, 0, 0}));
    // Sizes 2 x 3 but no element at all (a zero third size): nothing is written.
    const HostValue hollow = host.array({2, 3, 0});
    expect_argument_returned(host.call("math::eye", {hollow}), hollow);
    EXPECT_TRUE(host.read(hollow).values.empty());
    EXPECT_TRUE(host.errors().empty());
}

// ---- linspace, row, col ---------------------------------------------------------------

TEST_F(ConstructorTest, LinspaceRowColComputePointsFromTheirIndex) {
    struct Case {
        const char* fn;
        HostValue a, b, third;
        Shape shape;
        Values values;
    };
    const double tenth3 = 0.3;
    const std::vector<Case> cases = {
        {"math::linspace", R(0.0), R(1.0), I(5), {5}, {0, 0.25, 0.5, 0.75, 1}},
        {"math::linspace", R(2.0), R(5.0), I(1), {1}, {5}},
        {"math::linspace", R(1.0), R(0.0), I(3), {3}, {1, 0.5, 0}},
        {"math::row", R(0.0), R(1.0), R(0.3), {1, 4}, {0, tenth3, 2 * tenth3, 3 * tenth3}},
        {"math::col", R(0.0), R(1.0), R(0.3), {4, 1}, {0, tenth3, 2 * tenth3, 3 * tenth3}},
        {"math::row", R(0.0), R(1.0), I(2), {1, 2}, {0, 1}},
        {"math::linspace", R(0.0), R(1.0), R(0.25), {5}, {0, 0.25, 0.5, 0.75, 1}},
        // A last point greater than b becomes b, for falling steps too.
        {"math::linspace", R(0.0), R(-1.0), R(-0.3), {4}, {0, -tenth3, 2 * -tenth3, -1}},
        {"math::linspace", R(0.0), R(0.95), R(0.5), {2}, {0, 0.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fn);
        const HostValue r = host.call(c.fn, {c.a, c.b, c.third});
        ASSERT_EQ(r.ext_type, key());
        const auto contents = host.read(r);
        EXPECT_EQ(contents.shape, c.shape);
        EXPECT_EQ(contents.values, c.values);
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(ConstructorTest, LinspaceRowColGiveTheEmptyResultSilently) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<HostValue>> cases = {
        {I(0), I(1), I(5)},            // integer ends
        {R(0.0), I(1), I(5)},
        {R(0.0), R(1.0), host.string("5")},
        {R(0.0), R(1.0), make_logical(true)},
        {R(0.0), R(1.0), I(0)},        // n < 1
        {R(0.0), R(1.0), I(-3)},
        {R(0.0), R(1.0), R(0.0)},      // h = 0
        {R(0.0), R(1.0), R(-0.0)},
        {R(0.0), R(1.0), R(nan)},
        {R(nan), R(1.0), R(0.5)},
        {R(0.0), R(1.0), R(1e-320)},   // (b - a)/h infinite
        {R(0.0), R(1e19), R(1.0)},     // beyond int64
        {R(0.0), R(-1e19), R(1.0)},
        {R(0.0), R(0.5), R(1.0)},      // m = 0
        {R(0.0), R(1.0), R(-0.25)},    // the step points away from b
        {R(0.0), R(1e18), R(1.0)},     // m fits, the host refuses the array
        {R(0.0), R(1.0), I(std::numeric_limits<int64_t>::max())},
    };
    for (const char* fn : {"math::linspace", "math::row", "math::col"}) {
        for (auto args : cases) EXPECT_TRUE(is_empty_result(host.call(fn, args))) << fn;
    }
    host.fail_new_sys_obj_at(1);
    EXPECT_TRUE(is_empty_result(host.call("math::linspace", {R(0.0), R(1.0), I(5)})));
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

// ---- ra1 -------------------------------------------------------------------------

TEST_F(ConstructorTest, Ra1MakesAVectorOfItsArguments) {
    expect_new_array(host.call("math::ra1", {I(1), R(2.5), I(3), R(3.0)}), {4}, {1, 2.5, 3, 3});
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(ConstructorTest, Ra1ReportsABadArgumentAndStillReturnsTheVector) {
    expect_new_array(host.call("math::ra1", {I(1), host.string("2"), I(3)}), {3}, {1, 0, 3});
    EXPECT_EQ(reported(), (Reports{{"math::ra1", 1}}));
}

TEST_F(ConstructorTest, Ra1FailsSilently) {
    EXPECT_TRUE(is_empty_result(host.call("math::ra1", {})));
    host.fail_new_sys_obj_at(1);
    EXPECT_TRUE(is_empty_result(host.call("math::ra1", {I(1)})));
    EXPECT_TRUE(host.errors().empty());
}

// ---- SetArray ------------------------------------------------------------------------

TEST_F(ConstructorTest, SetArrayFromTextFillsFromTheFirstElement) {
    struct Case {
        const char* text;
        Shape shape;
        Values expected;
        Reports reports;
    };
    const std::vector<Case> cases = {
        {"1,2,3", {4}, {1, 2, 3, 9}, {}},
        {"1,2,3", {2}, {1, 2}, {}},
        {"1\r\n2\n\n3 4", {2, 2}, {1, 2, 3, 4}, {}},
        {" 1 ,", {2, 2}, {1, 9, 9, 9}, {}},
        {"", {3}, {9, 9, 9}, {}},
        {"1 x 2", {4}, {1, 9, 9, 9}, {{"math::SetArray", 3}}},
        // Once every element is written the rest of the text is not read.
        {"1 2 x", {2}, {1, 2}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        host.clear_errors();
        const HostValue a = host.array(c.shape, Values(c.expected.size(), 9.0));
        expect_argument_returned(host.call("math::SetArray", {a, host.string(c.text)}), a);
        EXPECT_EQ(host.read(a).values, c.expected);
        EXPECT_EQ(reported(), c.reports);
    }
}

TEST_F(ConstructorTest, SetArrayFromNumbers) {
    const HostValue a = host.array({4}, {9, 9, 9, 9});
    expect_argument_returned(host.call("math::SetArray", {a, I(1), R(2.5)}), a);
    EXPECT_EQ(host.read(a).values, (Values{1, 2.5, 9, 9}));

    const HostValue b = host.array({2}, {9, 9});
    host.call("math::SetArray", {b, I(1), I(2), I(3), host.string("unread")});
    EXPECT_EQ(host.read(b).values, (Values{1, 2}));
    EXPECT_TRUE(host.errors().empty());

    // A bad argument ends the call; what was written before it stays.
    EXPECT_TRUE(is_empty_result(host.call("math::SetArray", {a, R(5.0), make_logical(true), R(6.0)})));
    EXPECT_EQ(host.read(a).values, (Values{5, 2.5, 9, 9}));
    EXPECT_EQ(reported(), (Reports{{"math::SetArray", 2}}));
}

TEST_F(ConstructorTest, SetArrayAcceptsAnyHostRealArrayWhateverItsTypeWords) {
    HostValue plain = host.array({2}, {9, 9}, kTypeRealArray);
    expect_argument_returned(host.call("math::SetArray", {plain, I(1)}), plain);
    HostValue retyped = plain;
    retyped.base_type = kTypeReal;
    host.call("math::SetArray", {retyped, host.string("3 4")});
    EXPECT_EQ(host.read(plain).values, (Values{3, 4}));
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(ConstructorTest, SetArrayRefusals) {
    const HostValue a = host.array({2}, {9, 9});
    EXPECT_TRUE(is_empty_result(host.call("math::SetArray", {})));
    EXPECT_TRUE(is_empty_result(host.call("math::SetArray", {a})));
    EXPECT_TRUE(host.errors().empty());

    EXPECT_TRUE(is_empty_result(host.call("math::SetArray", {I(5), I(1)})));
    EXPECT_TRUE(is_empty_result(host.call("math::SetArray", {host.string("1"), I(1)})));
    EXPECT_TRUE(is_empty_result(host.call("math::SetArray", {a, host.string("1"), I(2)})));
    EXPECT_EQ(reported(), (Reports{{"math::SetArray", 1}, {"math::SetArray", 1}, {"math::SetArray", 2}}));
    EXPECT_EQ(host.read(a).values, (Values{9, 9}));
}

// ---- toreal --------------------------------------------------------------------------

TEST_F(ConstructorTest, TorealSplitsAPairOfReals) {
    std::vector<HostValue> args = {make_pair(1.5, -2.0), I(0), make_empty()};
    const HostValue r = host.call("math::toreal", args);
    EXPECT_EQ(r.base_type, kTypeLogical);
    EXPECT_EQ(r.ext_type, kTypeLogical);
    EXPECT_EQ(r.word1, 1u);
    EXPECT_EQ(args[1].base_type, kTypeReal);
    EXPECT_EQ(args[1].ext_type, kTypeReal);
    EXPECT_EQ(args[1].real(), 1.5);
    EXPECT_EQ(args[2].base_type, kTypeReal);
    EXPECT_EQ(args[2].real(), -2.0);
}

TEST_F(ConstructorTest, TorealWritesNothingWithoutAPairAndBothRecords) {
    const std::vector<std::vector<HostValue>> cases = {
        {R(1.5), I(7), I(8)},
        {I(1), I(7), I(8)},
        {make_pair(1.5, -2.0), I(7)},  // only one record to write into
        {make_pair(1.5, -2.0)},
        {},
    };
    for (auto args : cases) {
        const auto before = args;
        const HostValue r = host.call("math::toreal", args);
        EXPECT_EQ(r.base_type, kTypeLogical);
        EXPECT_EQ(r.word1, 0u);
        for (size_t k = 0; k < args.size(); ++k) EXPECT_EQ(args[k].word1, before[k].word1);
        for (size_t k = 1; k < args.size(); ++k) EXPECT_EQ(args[k].base_type, kTypeInteger);
    }
    EXPECT_TRUE(host.errors().empty());
}

}  // namespace
