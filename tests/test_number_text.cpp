// SPDX-License-Identifier: GPL-3.0-or-later
// The number-text scanner shared by matrix and SetArray, tested directly.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "array/number_text.h"
#include "tests/support.h"

namespace {

double value_of(const std::u16string& token) { return hostmath::token_value(token.data(), token.data() + token.size()); }

TEST(TokenValue, LongestDecimalPrefixAsStrtodReadsIt) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char16_t* token;
        double value;
    } cases[] = {
        {u"1", 1},          {u"-2.5", -2.5},  {u"+7", 7},        {u".5", 0.5},        {u"5.", 5},
        {u"1e3", 1000},     {u"1E-2", 0.01},  {u"1e+2", 100},    {u"1e", 1},          {u"1e+", 1},
        {u"1e-", 1},        {u"1-2", 1},      {u"1.2.3", 1.2},   {u"1e2e3", 100},     {u"e5", 0},
        {u".", 0},          {u"-", 0},        {u"+-1", 0},       {u"--1", 0},         {u"-0", -0.0},
        {u"0.1", 0.1},      {u"-.e", 0},      {u"0e99999", 0},   {u"00012.50", 12.5}, {u"1e400", inf},
        {u"-1e400", -inf},  {u"1e-400", 0},   {u"-1e-400", -0.0}, {u"4e-324", 4.9406564584124654e-324},
        {u"2e-324", 0},     {u"1.7976931348623157e308", 1.7976931348623157e308},
        {u"1e99999999999999999999999", inf},  {u"1e-99999999999999999999999", 0},
    };
    for (const auto& c : cases) {
        const std::u16string token = c.token;
        EXPECT_TRUE(same_bits(value_of(token), c.value)) << hostsim::to_utf8(token) << " -> " << value_of(token);
    }
}

TEST(TokenValue, VeryLongTokensRoundCorrectly) {
    // 1 + 2^-53 lies exactly halfway between 1 and the next double: it rounds
    // to even (1), and anything above it, however far down, rounds up.
    const std::u16string halfway = u"1.00000000000000011102230246251565404236316680908203125";
    const std::u16string zeros(900, u'0');
    EXPECT_EQ(value_of(halfway), 1.0);
    EXPECT_EQ(value_of(halfway + zeros), 1.0);
    EXPECT_EQ(value_of(halfway + zeros + u"1"), std::nextafter(1.0, 2.0));
    // Leading zeros count for nothing; a long digit run shifts the exponent.
    EXPECT_EQ(value_of(zeros + u"3.25"), 3.25);
    EXPECT_EQ(value_of(u"0." + zeros + u"1e901"), 1.0);
    EXPECT_EQ(value_of(u"1" + zeros + u"e-900"), 1.0);
    EXPECT_EQ(value_of(u"1" + zeros), std::numeric_limits<double>::infinity());
}

TEST(MeasureRows, CountsTokensAndColumns) {
    const auto rows = hostmath::measure_rows(u"1 2\r\n3 4\r\n\r\n5 6");
    EXPECT_EQ(rows.fault, hostmath::TextRows::Fault::None);
    EXPECT_EQ(rows.tokens, 6);
    EXPECT_EQ(rows.columns, 2);
}

}  // namespace
