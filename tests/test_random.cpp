// SPDX-License-Identifier: GPL-3.0-or-later
// rand and randn: the two process-wide generators, driven through the
// stand-in host. Every test starts from a freshly loaded library, so both
// generators start from state 0.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using Values = std::vector<double>;
using Reports = std::vector<std::pair<std::string, int64_t>>;

HostValue I(int64_t v) { return make_integer(v); }

constexpr double kFirstUniforms[] = {0.2113189697265625, 0.049163818359375, 0.1446380615234375};
constexpr double kFirstNormals[] = {-1.092681884765625, -0.876617431640625, 0.749603271484375};

// The recurrence written out, as a reference for longer sequences.
Values uniforms(int n, uint32_t state = 0) {
    Values out;
    for (int k = 0; k < n; ++k) {
        state = (2053 * state + 13849) % 65536;
        out.push_back(state / 65536.0);
    }
    return out;
}

Values normals(int n) {
    const Values u = uniforms(12 * n);
    Values out;
    for (int k = 0; k < n; ++k) {
        double sum = 0;
        for (int j = 0; j < 12; ++j) sum += u[12 * k + j];
        out.push_back(sum - 6);
    }
    return out;
}

class RandomTest : public LibraryTest {
protected:
    Values draw(const char* fn, int64_t rows, int64_t cols) {
        return host.read(host.call(fn, {I(rows), I(cols)})).values;
    }
};

TEST_F(RandomTest, FirstNumbersAfterLoad) {
    const Values first_uniforms(std::begin(kFirstUniforms), std::end(kFirstUniforms));
    const Values first_normals(std::begin(kFirstNormals), std::end(kFirstNormals));
    EXPECT_EQ(draw("math::rand", 1, 3), first_uniforms);
    EXPECT_EQ(draw("math::randn", 1, 3), first_normals);
    // The reference sequences of the other tests agree with the known values.
    EXPECT_EQ(uniforms(3), first_uniforms);
    EXPECT_EQ(normals(3), first_normals);
}

TEST_F(RandomTest, NewArrayIsFilledRowByRowAndTheSequenceGoesOn) {
    const HostValue r = host.call("math::rand", {I(2), I(3)});
    ASSERT_EQ(r.ext_type, key());
    EXPECT_EQ(host.fun_re_obj_calls(), 1);
    const auto contents = host.read(r);
    EXPECT_EQ(contents.shape, (std::vector<int64_t>{2, 3}));
    const Values seven = uniforms(7);
    EXPECT_EQ(contents.values, Values(seven.begin(), seven.begin() + 6));
    EXPECT_EQ(draw("math::rand", 1, 1), Values{seven[6]});
}

TEST_F(RandomTest, GeneratorsDoNotDisturbEachOther) {
    const Values u = uniforms(4);
    const Values n = normals(4);
    EXPECT_EQ(draw("math::rand", 1, 2), (Values{u[0], u[1]}));
    EXPECT_EQ(draw("math::randn", 1, 1), (Values{n[0]}));
    EXPECT_EQ(draw("math::rand", 1, 1), (Values{u[2]}));
    EXPECT_EQ(draw("math::randn", 2, 1), (Values{n[1], n[2]}));
    EXPECT_EQ(draw("math::rand", 1, 1), (Values{u[3]}));
    EXPECT_EQ(draw("math::randn", 1, 1), (Values{n[3]}));
}

TEST_F(RandomTest, FillsAnyHostRealArrayInPlace) {
    const HostValue cube = host.array({2, 2, 2}, {}, kTypeRealArray);
    const HostValue r = host.call("math::rand", {cube});
    EXPECT_EQ(r.word1, cube.word1);
    EXPECT_EQ(r.ext_type, kTypeRealArray);  // the argument's own record
    EXPECT_EQ(r.base_type, kTypeRealArray);
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
    EXPECT_EQ(host.read(cube).values, uniforms(8));

    const HostValue vector = host.array({2});
    host.call("math::randn", {vector});
    EXPECT_EQ(host.read(vector).values, normals(2));
}

TEST_F(RandomTest, AnArrayWithoutElementsDrawsNothing) {
    const HostValue none = host.array({0});
    const HostValue r = host.call("math::rand", {none});
    EXPECT_EQ(r.word1, none.word1);
    host.call("math::randn", {none});
    EXPECT_EQ(draw("math::rand", 1, 1), Values{kFirstUniforms[0]});
    EXPECT_EQ(draw("math::randn", 1, 1), Values{kFirstNormals[0]});
}

TEST_F(RandomTest, RefusalsReportTheirCodeAndDrawNothing) {
    HostValue not_array_type = host.array({2});
    not_array_type.base_type = kTypeReal;
    const int64_t big = int64_t{1} << 40;
    struct Case {
        std::vector<HostValue> args;
        int64_t code;
        bool fail_creation = false;
    };
    const std::vector<Case> cases = {
        {{I(2)}, 1},
        {{host.string("2")}, 1},
        {{not_array_type}, 1},
        {{I(0), I(3)}, 2},
        {{I(2), make_real(2.5)}, 2},
        {{make_real(2.0), I(2)}, 2},
        {{I(2), I(2)}, 3, true},
        {{I(big), I(big)}, 3},
        {{}, 4},
        {{I(1), I(2), I(3)}, 4},
    };
    for (const char* fn : {"math::rand", "math::randn"}) {
        for (auto c : cases) {
            SCOPED_TRACE(std::string(fn) + " code " + std::to_string(c.code));
            host.clear_errors();
            if (c.fail_creation) host.fail_new_sys_obj_at(1);
            EXPECT_TRUE(is_empty_result(host.call(fn, c.args)));
            EXPECT_EQ(reported(), (Reports{{fn, c.code}}));
        }
    }
    EXPECT_EQ(draw("math::rand", 1, 1), Values{kFirstUniforms[0]});
    EXPECT_EQ(draw("math::randn", 1, 1), Values{kFirstNormals[0]});
}

TEST_F(RandomTest, UniformGeneratorHasTheFullPeriod) {
    Values all = draw("math::rand", 256, 256);
    EXPECT_EQ(all, uniforms(65536));
    std::sort(all.begin(), all.end());
    for (int k = 0; k < 65536; ++k) ASSERT_EQ(all[static_cast<size_t>(k)], k / 65536.0);
    EXPECT_EQ(draw("math::rand", 1, 1), Values{kFirstUniforms[0]});
}

TEST_F(RandomTest, NormalNumbersAreSixteenthBitSteps) {
    for (double x : draw("math::randn", 64, 64)) {
        ASSERT_GE(x, -6.0);
        ASSERT_LT(x, 6.0);
        ASSERT_EQ(x * 65536.0, std::trunc(x * 65536.0));
    }
}

// The states survive an unload and a load of the same module, and start
// again from 0 only when the module is really unloaded and loaded again.
TEST_F(RandomTest, StatesLastAsLongAsTheModuleStaysLoaded) {
    const Values u = uniforms(3);
    EXPECT_EQ(draw("math::rand", 1, 1), Values{u[0]});
    ASSERT_EQ(host.unload(), 1);
    ASSERT_EQ(host.load(), 1);
    EXPECT_EQ(draw("math::rand", 1, 1), Values{u[1]});

    host.unload();
    host.close();
    ASSERT_TRUE(host.open());
    ASSERT_EQ(host.load(), 1);
    EXPECT_EQ(draw("math::rand", 1, 1), Values{u[0]});
    EXPECT_EQ(draw("math::randn", 1, 1), Values{kFirstNormals[0]});
}

}  // namespace
