// SPDX-License-Identifier: GPL-3.0-or-later
// outa: the printed text, the count it returns, its options and failures.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

constexpr int32_t kOutaOperator = 49;

using OutaTest = LibraryTest;
using Errors = std::vector<std::pair<std::string, int64_t>>;

std::string blanks(size_t n) { return std::string(n, ' '); }

// A right-aligned field of the default width 15.
std::string field(const std::string& text) { return blanks(15 - text.size()) + text; }

bool is_integer_result(const HostValue& r, int64_t value) {
    return r.ext_type == kTypeInteger && r.base_type == kTypeInteger && r.integer() == value;
}

TEST_F(OutaTest, TwoByThreeWithDefaults) {
    HostValue a = host.array({2, 3}, {1, 2, 3, 4, 5, 6});
    HostValue r = host.call("math::outa", {a});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_TRUE(is_integer_result(r, 98));
    EXPECT_EQ(host.output(), "\r\n\r\n" + field("1.") + field("2.") + field("3.") + "\r\n" + field("4.") + field("5.") +
                                 field("6.") + "\r\n");
    EXPECT_EQ(host.output_u16().size(), 98u);
    // The opening breaks, then per line three paddings, three texts and the break.
    EXPECT_EQ(host.output_pieces(), 1 + 2 * 7);
}

TEST_F(OutaTest, LabelsAndLeftAlignment) {
    HostValue a = host.array({2, 3}, {1, 2, 3, 4, 5, 6});
    HostValue r = host.call("math::outa", {a, make_integer(6), make_logical(true), make_logical(true)});
    EXPECT_TRUE(is_integer_result(r, 112));
    EXPECT_EQ(host.output(), "\r\n\r\n(0,*)  " + field("1.") + field("2.") + field("3.") + "\r\n(1,*)  " + field("4.") +
                                 field("5.") + field("6.") + "\r\n");
    // Per line also "(", the index's padding (empty here) and text, "," and "*)  ".
    EXPECT_EQ(host.output_pieces(), 1 + 2 * 12);

    host.clear_output();
    HostValue left = host.call("math::outa", {a, make_integer(2), make_logical(false)});
    EXPECT_TRUE(is_integer_result(left, 4 + 2 * (3 * 11 + 2)));
    EXPECT_EQ(host.output(), "\r\n\r\n1." + blanks(9) + "2." + blanks(9) + "3." + blanks(9) + "\r\n4." + blanks(9) +
                                 "5." + blanks(9) + "6." + blanks(9) + "\r\n");
}

TEST_F(OutaTest, RowLabelsArePaddedToTheWidestSize) {
    std::vector<double> values(24);
    for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<double>(k);
    HostValue a = host.array({12, 2}, values);
    const std::string row5 = field("10.") + field("11.") + "\r\n";

    host.call("math::outa", {a, make_integer(6), make_logical(true), make_logical(true)});
    EXPECT_NE(host.output().find("\r\n( 5,*)  " + row5), std::string::npos);
    EXPECT_NE(host.output().find("\r\n(11,*)  "), std::string::npos);

    host.clear_output();
    host.call("math::outa", {a, make_integer(6), make_logical(false), make_logical(true)});
    EXPECT_NE(host.output().find("\r\n(5 ,*)  10." + blanks(12) + "11." + blanks(12) + "\r\n"), std::string::npos);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(OutaTest, OneDimensionalArrayIsOneLine) {
    HostValue v = host.array({3}, {0.5, -2.5, 1234567});
    HostValue r = host.call("math::outa", {v, make_integer(6), make_logical(true), make_logical(true)});
    const std::string line = "(*)  " + field("0.5") + field("-2.5") + field("1.23457e+006") + "\r\n";
    EXPECT_EQ(host.output(), "\r\n\r\n" + line);
    EXPECT_TRUE(is_integer_result(r, static_cast<int64_t>(4 + line.size())));
}

// Lines run over every dimension but the last, the next-to-last fastest.
TEST_F(OutaTest, ThreeDimensionsInRowMajorOrder) {
    HostValue a = host.array({2, 2, 1}, {1, 2, 3, 4}, kTypeRealArray);
    host.call("math::outa", {a, make_integer(6), make_logical(true), make_logical(true)});
    EXPECT_EQ(host.output(), "\r\n\r\n(0,0,*)  " + field("1.") + "\r\n(0,1,*)  " + field("2.") + "\r\n(1,0,*)  " +
                                 field("3.") + "\r\n(1,1,*)  " + field("4.") + "\r\n");
}

TEST_F(OutaTest, ExtremePrecisionsAndNonFiniteElements) {
    const double inf = std::numeric_limits<double>::infinity();
    HostValue a = host.array({1, 4}, {-std::numeric_limits<double>::max(), inf, -inf, std::nan("")});
    HostValue r = host.call("math::outa", {a, make_integer(18)});
    const std::string longest = "-1.79769313486231571e+308";
    EXPECT_EQ(host.output(), "\r\n\r\n" + blanks(2) + longest + blanks(24) + "inf" + blanks(23) + "-inf" + blanks(24) +
                                 "nan" + "\r\n");
    EXPECT_TRUE(is_integer_result(r, 4 + 4 * 27 + 2));
    EXPECT_TRUE(host.errors().empty());
}

// An array without elements prints only the opening line breaks, whatever
// its sizes: lines are bounded by the elements, so 4294967296 x 0 returns at
// once instead of printing billions of empty lines. Labels, alignment and the
// operator form change nothing.
TEST_F(OutaTest, ArraysWithoutElementsPrintOnlyTheOpeningLineBreaks) {
    const std::vector<std::vector<int64_t>> shapes = {
        {0, 3}, {2, 0, 3}, {3, 0}, {0}, {4294967296, 0}, {2, 2147483648, 0}, {4611686018427387904, 0},
    };
    for (const auto& shape : shapes) {
        HostValue a = host.array_with_header(0, shape, static_cast<int64_t>(shape.size()));
        for (bool labels : {false, true}) {
            host.clear_output();
            HostValue r = host.call("math::outa", {a, make_integer(6), make_logical(!labels), make_logical(labels)});
            EXPECT_EQ(host.output(), "\r\n\r\n") << shape[0];
            EXPECT_TRUE(is_integer_result(r, 4));
        }
        host.clear_output();
        EXPECT_TRUE(is_integer_result(host.apply(kOutaOperator, {a}), 4));
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(OutaTest, FailuresReportAndWriteNothing) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    HostValue a_as_real = a;
    a_as_real.base_type = kTypeReal;
    HostValue t = make_logical(true);
    struct {
        std::vector<HostValue> args;
        int64_t code;
    } cases[] = {
        {{}, 1},
        {{a, make_integer(6), t, t, t}, 1},
        {{a, make_integer(1)}, 2},
        {{a, make_integer(19)}, 2},
        {{a, make_integer(-1)}, 2},
        {{a, make_real(6.0)}, 2},
        {{a, make_integer(6), a}, 2},
        {{a, make_integer(6), make_integer(1)}, 2},
        {{a, make_integer(6), t, make_integer(0)}, 2},
        {{make_real(1)}, 3},
        {{a_as_real}, 3},
        {{make_array_value(nullptr, kTypeRealArray)}, 3},
        // Options are checked before the array.
        {{make_real(1), make_integer(40)}, 2},
    };
    for (auto& c : cases) {
        host.clear_errors();
        HostValue r = host.call("math::outa", c.args);
        EXPECT_EQ(reported(), (Errors{{"math::outa", c.code}})) << c.args.size();
        EXPECT_TRUE(is_integer_result(r, 0));
    }
    EXPECT_EQ(host.output_pieces(), 0);
}

// One size per dimension is the index buffer; a number of dimensions whose
// buffer size overflows is code 4.
TEST_F(OutaTest, IndexBufferThatCannotBeAllocatedIsCodeFour) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    RealArray* object = host.object(a);
    object->ndims = std::numeric_limits<int64_t>::max();
    HostValue r = host.call("math::outa", {a});
    object->ndims = 2;
    EXPECT_EQ(reported(), (Errors{{"math::outa", 4}}));
    EXPECT_TRUE(is_integer_result(r, 0));
    EXPECT_EQ(host.output_pieces(), 0);
}

// Sizes that do not account for the element count would make outa read
// outside the array; such an array, like one without dimensions, is refused
// like a missing one.
TEST_F(OutaTest, SizesDisagreeingWithTheCountAreRefused) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    host.object(a)->dims[0] = 3;
    HostValue r = host.call("math::outa", {a});
    EXPECT_EQ(reported(), (Errors{{"math::outa", 3}}));
    EXPECT_TRUE(is_integer_result(r, 0));

    host.clear_errors();
    host.object(a)->dims[0] = 2;
    host.object(a)->ndims = 0;
    r = host.call("math::outa", {a});
    EXPECT_EQ(reported(), (Errors{{"math::outa", 3}}));
    EXPECT_TRUE(is_integer_result(r, 0));
    EXPECT_EQ(host.output_pieces(), 0);
}

TEST_F(OutaTest, WithoutAnOutputFunctionNothingIsCheckedOrWritten) {
    host.set_output_enabled(false);
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    for (const auto& args : {std::vector<HostValue>{a}, std::vector<HostValue>{}, std::vector<HostValue>{a, make_real(1)}}) {
        std::vector<HostValue> copy = args;
        EXPECT_TRUE(is_integer_result(host.call("math::outa", copy), 0));
    }
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.output_pieces(), 0);

    // The function is asked for at every call.
    host.set_output_enabled(true);
    EXPECT_TRUE(is_integer_result(host.call("math::outa", {a}), 4 + 2 * 32));
}

TEST_F(OutaTest, OperatorCodeBehavesLikeTheScriptCall) {
    HostValue a = host.array({3, 2}, {1.5, -2, 1e-7, 1e7, 0, 123.456});
    const std::vector<HostValue> args = {a, make_integer(4), make_logical(false), make_logical(true)};

    std::vector<HostValue> script_args = args;
    HostValue by_call = host.call("math::outa", script_args);
    const std::u16string call_text = host.output_u16();
    const int64_t call_pieces = host.output_pieces();

    host.clear_output();
    std::vector<HostValue> operands = args;
    HostValue by_operator = host.apply(kOutaOperator, operands);
    EXPECT_EQ(host.output_u16(), call_text);
    EXPECT_EQ(host.output_pieces(), call_pieces);
    EXPECT_EQ(by_operator.word1, by_call.word1);
    EXPECT_EQ(by_operator.ext_type, by_call.ext_type);
    EXPECT_EQ(by_operator.base_type, by_call.base_type);
    EXPECT_TRUE(is_integer_result(by_operator, static_cast<int64_t>(call_text.size())));

    host.clear_errors();
    host.apply(kOutaOperator, {a, make_integer(19)});
    EXPECT_EQ(reported(), (Errors{{"math::outa", 2}}));
}

}  // namespace
