// SPDX-License-Identifier: GPL-3.0-or-later
// Work is bounded by what an array holds: arrays that a host may hand over
// with no elements but huge sizes, or with sizes that disagree with their
// element count, go through every registered function and every operator
// code and each call returns at once, reads nothing outside the array and
// hands back every array it makes exactly once. Functions registered later
// are covered as they appear in the key table.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using BoundedWorkTest = LibraryTest;

struct OddShape {
    int64_t count;
    std::vector<int64_t> sizes;
    int64_t ndims;
};

// The first three are consistent; the rest disagree with their count.
const OddShape kOddShapes[] = {
    {0, {4294967296, 0}, 2},
    {0, {2, 2147483648, 0}, 3},
    {0, {4611686018427387904, 0}, 2},
    {2, {2, 4611686018427387904}, 1},     // one dimension, garbage in the unused size
    {3, {2, 2}, 2},                       // sizes promise more than the count
    {4, {4611686018427387904, 4}, 2},     // a product beyond 64 bits
    {2, {-1, -2}, 2},
    {1, {1, 1}, 0},
    {-1, {1}, 1},  // a negative count would become a huge size_t
    {-4, {2, 2}, 2},
    {0, {0}, -1},
};

}  // namespace

TEST_F(BoundedWorkTest, OddShapesThroughEveryFunctionAndOperator) {
    const std::vector<std::string> keys = host.function_order();
    for (const OddShape& shape : kOddShapes) {
        for (bool plain : {false, true}) {
            const HostValue a = host.array_with_header(shape.count, shape.sizes, shape.ndims,
                                                       plain ? std::optional<int32_t>(kTypeRealArray) : std::nullopt);
            for (const std::string& k : keys) {
                const int32_t code = host.function_key(k)->param_code;
                for (size_t n = 1; n <= 3; ++n) {
                    if (code >= 0 && n != static_cast<size_t>(code) + 1) continue;
                    std::vector<HostValue> args(n, a);
                    host.call(k, args);
                }
            }
            for (int32_t op = 0; op <= 70; ++op) {
                std::vector<HostValue> one{a, a};
                host.apply(op, one);  // operand-form handlers read two records
                std::vector<HostValue> with_real{a, make_real(2.0)};
                host.apply(op, with_real);
            }
            host.clear_errors();
            host.clear_output();
        }
    }
    EXPECT_EQ(host.ownership_faults(), 0);
}

// An array whose element count is negative is no array: each function
// refuses it with its own code for an argument that is not an array.
TEST_F(BoundedWorkTest, NegativeCountsAreRefusedAsNoArray) {
    struct Case {
        const char* key;
        int64_t code;
    };
    const Case cases[] = {{"math::rand", 1}, {"math::randn", 1}, {"math::Sum", 2}, {"math::inv", 1}};
    for (int64_t count : {int64_t{-1}, INT64_MIN}) {
        const HostValue a = host.array_with_header(count, {1}, 1);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.key) + " count " + std::to_string(count));
            host.clear_errors();
            std::vector<HostValue> args{a};
            host.call(c.key, args);
            ASSERT_EQ(host.errors().size(), 1u);
            EXPECT_EQ(host.errors()[0].name, c.key);
            EXPECT_EQ(host.errors()[0].code, c.code);
        }
    }
}
