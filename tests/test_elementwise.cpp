// SPDX-License-Identifier: GPL-3.0-or-later
// The mathematical functions applied element-wise: sixteen of one operand
// (codes 50 to 65) and atan2 and fmod (69, 70).
#include <cmath>
#include <limits>
#include <numbers>

#include "elementary/elementary.h"
#include "tests/support.h"

namespace {

constexpr int32_t kSqrt = 50, kLn = 52, kLg = 53, kAbs = 63, kFloor = 64, kCeil = 65, kAtan2 = 69, kFmod = 70;
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

using Errors = std::vector<std::pair<std::string, int64_t>>;

struct FunctionOfOne {
    int32_t code;
    const char* name;
    double (*f)(double);
};

// In operator-code order; each must agree bit for bit with the library's own
// function, or for the exact ones (sqrt, abs, floor, ceil) with the platform's.
namespace elementary = hostmath::elementary;
const FunctionOfOne kFunctions[] = {
    {50, "math sqrt", [](double v) { return std::sqrt(v); }},   {51, "math exp", elementary::exp},
    {52, "math ln", elementary::log},                           {53, "math lg", elementary::log10},
    {54, "math sin", elementary::sin},                          {55, "math cos", elementary::cos},
    {56, "math tan", elementary::tan},                          {57, "math asin", elementary::asin},
    {58, "math acos", elementary::acos},                        {59, "math atan", elementary::atan},
    {60, "math sinh", elementary::sinh},                        {61, "math cosh", elementary::cosh},
    {62, "math tanh", elementary::tanh},                        {63, "math abs", [](double v) { return std::fabs(v); }},
    {64, "math floor", [](double v) { return std::floor(v); }}, {65, "math ceil", [](double v) { return std::ceil(v); }},
};

TEST_F(LibraryTest, EachFunctionOfOneOperandAppliesItsFunction) {
    const std::vector<double> samples{-2.5, -1.0, -0.3, -0.0, 0.0, 0.7, 1.0, 3.25, 100.0, kInf, kNaN};
    for (const FunctionOfOne& fn : kFunctions) {
        SCOPED_TRACE(fn.name);
        HostValue a = host.array({static_cast<int64_t>(samples.size())}, samples);
        HostValue r = host.apply(fn.code, {a});
        EXPECT_TRUE(reported().empty());
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(r.base_type, kTypeRealArray);
        const std::vector<double> got = host.read(r).values;
        ASSERT_EQ(got.size(), samples.size());
        for (size_t i = 0; i < samples.size(); ++i)
            EXPECT_TRUE(same_bits(got[i], fn.f(samples[i]))) << "at " << samples[i] << ": " << got[i];
        EXPECT_TRUE(same_bits(host.read(a).values[3], -0.0));  // the operand is left alone
    }
}

struct Example {
    int32_t code;
    std::vector<double> in;
    std::vector<double> out;
};

TEST_F(LibraryTest, FunctionsOfOneOperandGiveTheDocumentedValues) {
    const double negative_nan = std::bit_cast<double>(uint64_t{0xfff8000000000000});
    const Example examples[] = {
        {kSqrt, {4, 9, -1, 0}, {2, 3, kNaN, 0}},
        {kLg, {100, 1000}, {2, 3}},
        {kLn, {0, 1}, {-kInf, 0}},
        {kAbs, {-0.0, -3, negative_nan}, {0.0, 3, std::bit_cast<double>(uint64_t{0x7ff8000000000000})}},
        {kFloor, {-0.5, 2.5}, {-1, 2}},
        {kCeil, {0.5, -2.5}, {1, -2}},
    };
    for (const Example& e : examples) {
        SCOPED_TRACE(testing::Message() << "code " << e.code);
        const std::vector<double> got = host.read(host.apply(e.code, {host.array({2, 2}, e.in)})).values;
        for (size_t i = 0; i < e.out.size(); ++i) {
            if (std::isnan(e.out[i]) && e.code != kAbs)
                EXPECT_TRUE(std::isnan(got[i]));
            else
                EXPECT_TRUE(same_bits(got[i], e.out[i])) << i << ": " << got[i];
        }
    }
    EXPECT_TRUE(reported().empty());
}

TEST_F(LibraryTest, FunctionsOfOneOperandKeepTheShape) {
    hostsim::ArrayContents got = host.read(host.apply(kSqrt, {host.array({2, 1, 3}, {0, 1, 4, 9, 16, 25})}));
    EXPECT_EQ(got.shape, (std::vector<int64_t>{2, 1, 3}));
    EXPECT_EQ(got.values, (std::vector<double>{0, 1, 2, 3, 4, 5}));
    // Type words are not looked at: a plain host array and a wrongly typed record both work.
    HostValue plain = host.array({2}, {4, 9}, kTypeRealArray);
    EXPECT_EQ(host.read(host.apply(kSqrt, {plain})).values, (std::vector<double>{2, 3}));
    HostValue retyped = plain;
    retyped.base_type = kTypeReal;
    EXPECT_EQ(host.read(host.apply(kSqrt, {retyped})).values, (std::vector<double>{2, 3}));
}

// The failure result of a function of one operand is a null math array.
void expect_null_array(const HostValue& r, int32_t key) {
    EXPECT_EQ(r.word1, 0u);
    EXPECT_EQ(r.ext_type, key);
    EXPECT_EQ(r.base_type, kTypeRealArray);
}

TEST_F(LibraryTest, FunctionsOfOneOperandReportWithANullArray) {
    RealArray stranger{};
    for (const FunctionOfOne& fn : kFunctions) {
        SCOPED_TRACE(fn.name);
        host.clear_errors();
        const int64_t created = host.new_sys_obj_calls();
        expect_null_array(host.apply(fn.code, {make_array_value(&stranger, key())}), key());
        expect_null_array(host.apply(fn.code, {make_real(4.0)}), key());
        EXPECT_EQ(host.new_sys_obj_calls(), created);
        host.fail_new_sys_obj_at(1);
        expect_null_array(host.apply(fn.code, {host.array({2}, {1, 2})}), key());
        EXPECT_EQ(reported(), (Errors{{fn.name, 1}, {fn.name, 1}, {fn.name, 2}}));
        EXPECT_EQ(host.fun_re_obj_calls(), 0);
    }
}

TEST_F(LibraryTest, Atan2AndFmodTakeTheLeftOperandFirst) {
    using std::numbers::pi;
    const HostValue zero_one = host.array({2}, {0, 1});
    EXPECT_EQ(host.read(host.apply(kAtan2, {make_real(1.0), zero_one})).values,
              (std::vector<double>{elementary::atan2(1.0, 0.0), elementary::atan2(1.0, 1.0)}));
    EXPECT_DOUBLE_EQ(host.read(host.apply(kAtan2, {make_real(1.0), zero_one})).values[0], pi / 2);
    EXPECT_DOUBLE_EQ(host.read(host.apply(kAtan2, {make_real(1.0), zero_one})).values[1], pi / 4);
    EXPECT_EQ(host.read(host.apply(kAtan2, {host.array({1}, {1}), make_real(0.0)})).values,
              (std::vector<double>{elementary::atan2(1.0, 0.0)}));
    EXPECT_EQ(host.read(host.apply(kAtan2, {host.array({2}, {1, -1}), host.array({2}, {-1, -1})})).values,
              (std::vector<double>{elementary::atan2(1.0, -1.0), elementary::atan2(-1.0, -1.0)}));

    EXPECT_EQ(host.read(host.apply(kFmod, {host.array({2}, {5.5, -5.5}), make_real(2.0)})).values,
              (std::vector<double>{1.5, -1.5}));
    EXPECT_EQ(host.read(host.apply(kFmod, {make_real(7.0), host.array({2}, {2, -4})})).values,
              (std::vector<double>{1, 3}));
    hostsim::ArrayContents r = host.read(host.apply(kFmod, {host.array({1, 3}, {7, 8, 1}), host.array({1, 3}, {3, 0, 4})}));
    EXPECT_EQ(r.shape, (std::vector<int64_t>{1, 3}));
    EXPECT_EQ(r.values[0], 1.0);
    EXPECT_TRUE(std::isnan(r.values[1]));
    EXPECT_EQ(r.values[2], 1.0);
    EXPECT_TRUE(reported().empty());
}

struct TwoOperandFailure {
    const char* what;
    std::vector<HostValue> (*operands)(hostsim::Host&);
    int64_t code;
};

HostValue unknown_array() {
    static RealArray stranger{};
    return make_array_value(&stranger, kTypeRealArray);
}

// Numbered differently from the arithmetic operators.
const TwoOperandFailure kTwoOperandFailures[] = {
    {"array, integer", [](hostsim::Host& h) { return std::vector{h.array({2}), make_integer(2)}; }, 1},
    {"real, real", [](hostsim::Host&) { return std::vector{make_real(1.0), make_real(2.0)}; }, 1},
    {"unknown, array", [](hostsim::Host& h) { return std::vector{unknown_array(), h.array({2})}; }, 1},
    {"array, unknown", [](hostsim::Host& h) { return std::vector{h.array({2}), unknown_array()}; }, 1},
    {"unknown, real", [](hostsim::Host&) { return std::vector{unknown_array(), make_real(1.0)}; }, 2},
    {"real, unknown", [](hostsim::Host&) { return std::vector{make_real(1.0), unknown_array()}; }, 2},
    {"2x3, 3", [](hostsim::Host& h) { return std::vector{h.array({2, 3}), h.array({3})}; }, 2},
    {"2x3, 3x2", [](hostsim::Host& h) { return std::vector{h.array({2, 3}), h.array({3, 2})}; }, 3},
};

TEST_F(LibraryTest, Atan2AndFmodReportTheirOwnCodes) {
    for (const auto& [code, name] : {std::pair{kAtan2, "math atan2"}, std::pair{kFmod, "math fmod"}}) {
        for (const TwoOperandFailure& c : kTwoOperandFailures) {
            SCOPED_TRACE(testing::Message() << name << " " << c.what);
            host.clear_errors();
            std::vector<HostValue> operands = c.operands(host);
            const int64_t created = host.new_sys_obj_calls();
            EXPECT_TRUE(is_empty_result(host.apply(code, operands)));
            EXPECT_EQ(host.new_sys_obj_calls(), created);
            EXPECT_EQ(reported(), (Errors{{name, c.code}}));
        }
        host.clear_errors();
        HostValue a = host.array({2}, {1, 2});
        host.fail_new_sys_obj_at(1);
        EXPECT_TRUE(is_empty_result(host.apply(code, {a, a})));
        host.fail_new_sys_obj_at(1);
        EXPECT_TRUE(is_empty_result(host.apply(code, {make_real(1.0), a})));
        EXPECT_EQ(reported(), (Errors{{name, 4}, {name, 4}}));
    }
}

}  // namespace
