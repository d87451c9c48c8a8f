// SPDX-License-Identifier: GPL-3.0-or-later
// The operator dispatcher: routing, refusal, and the two codes handed to
// the host's own real-array operators.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using DispatchTest = LibraryTest;
using Errors = std::vector<std::pair<std::string, int64_t>>;

constexpr const char* kRefused = "math 无法识别的运算符！";

bool same_record(const HostValue& a, const HostValue& b) {
    return a.word1 == b.word1 && a.word2 == b.word2 && a.word3 == b.word3 && a.ext_type == b.ext_type &&
           a.base_type == b.base_type;
}

TEST_F(DispatchTest, UnknownCodesAreRefusedWithTheirCode) {
    const int32_t refused[] = {-1, 3, 7, 9, 24, 27, 29, 37, 40, 43, 66, 68, 71,
                               std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    for (int32_t code : refused) {
        host.clear_errors();
        std::vector<HostValue> operands = {a, a};
        HostValue r = host.apply(code, operands);
        EXPECT_EQ(reported(), (Errors{{kRefused, int64_t{code}}})) << code;
        EXPECT_TRUE(is_empty_result(r)) << code;
        EXPECT_TRUE(same_record(operands[0], a));
    }
    EXPECT_TRUE(host.operator_calls().empty());
    EXPECT_EQ(host.read(a).values, (std::vector<double>{1, 2, 3, 4}));
}

TEST_F(DispatchTest, EveryRoutedCodeReachesAnOperation) {
    const int32_t routed[] = {0,  1,  2,  8,  25, 26, 28, 38, 39, 44, 45, 46, 47, 48, 49, 50, 51,
                              52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 69, 70};
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    for (int32_t code : routed) {
        host.apply(code, {a, a});
        for (const auto& e : host.errors()) EXPECT_NE(e.name, kRefused) << code;
    }
    EXPECT_EQ(host.operator_calls().size(), 2u);
}

// Code 44: the host sees the first operand as a plain real array; afterwards
// it carries the private key, also when it had -252 before.
TEST_F(DispatchTest, Code44ShowsTheFirstOperandPlainDuringTheHostCall) {
    const HostValue from_host{11, 22, 33, 5, 6};
    int32_t seen_ext = 0;
    host.host_operator = [&](int32_t, int64_t, HostValue* operands) {
        seen_ext = operands[0].ext_type;
        return from_host;
    };
    for (int32_t before : {key(), int32_t{kTypeRealArray}}) {
        HostValue a = host.array({2, 2}, {1, 2, 3, 4}, before);
        std::vector<HostValue> operands = {a, make_real(2)};
        HostValue r = host.apply(44, operands);
        EXPECT_TRUE(same_record(r, from_host));
        EXPECT_EQ(seen_ext, kTypeRealArray);
        const hostsim::OperatorCall& call = host.operator_calls().back();
        EXPECT_EQ(call.code, 44);
        EXPECT_EQ(call.type, kTypeRealArray);
        EXPECT_EQ(call.ext_types, (std::vector<int32_t>{kTypeRealArray, kTypeReal}));
        EXPECT_EQ(operands[0].ext_type, key());
        EXPECT_EQ(operands[0].base_type, kTypeRealArray);
        EXPECT_EQ(operands[0].word1, a.word1);
        EXPECT_TRUE(same_record(operands[1], make_real(2)));
    }
    EXPECT_TRUE(host.errors().empty());
}

// Code 46: a host result tagged -252 becomes a math array; any other result
// comes back as the host gave it.
TEST_F(DispatchTest, Code46TagsPlainRealArrayResults) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    HostValue plain = host.array({3}, {1, 2, 3}, kTypeRealArray);
    const HostValue odd{7, 8, 9, kTypeRealArray, kTypeReal};
    struct {
        HostValue from_host;
        HostValue expected;
    } cases[] = {
        {plain, make_array_value(host.object(plain), key())},
        {odd, HostValue{7, 8, 9, key(), kTypeReal}},
        {make_real(2.5), make_real(2.5)},
        {make_integer(-3), make_integer(-3)},
        {make_empty(), make_empty()},
        {a, a},
    };
    for (auto& c : cases) {
        host.host_operator = [&](int32_t, int64_t, HostValue*) { return c.from_host; };
        std::vector<HostValue> operands = {a, plain};
        HostValue r = host.apply(46, operands);
        EXPECT_TRUE(same_record(r, c.expected));
        EXPECT_EQ(host.operator_calls().back().ext_types, (std::vector<int32_t>{key(), kTypeRealArray}));
        EXPECT_EQ(host.operator_calls().back().type, kTypeRealArray);
        EXPECT_TRUE(same_record(operands[0], a));
        EXPECT_TRUE(same_record(operands[1], plain));
    }
    EXPECT_TRUE(host.errors().empty());
}

// What the host reports from inside its own operator stands, and the
// dispatcher adds nothing.
TEST_F(DispatchTest, HostOperatorErrorsPassThrough) {
    host.host_operator = [&](int32_t code, int64_t, HostValue*) {
        host.raise("host op", code);
        return make_empty();
    };
    HostValue a = host.array({1}, {1});
    host.apply(44, {a});
    host.apply(46, {a});
    EXPECT_EQ(reported(), (Errors{{"host op", 44}, {"host op", 46}}));
}

}  // namespace
