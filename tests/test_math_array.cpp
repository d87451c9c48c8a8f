// SPDX-License-Identifier: GPL-3.0-or-later
// The array conventions as pure helpers, bound straight to the stand-in host.
#include <limits>

#include "kernels/scratch.h"
#include "script/math_array.h"
#include "tests/support.h"

namespace {

using hostsim::Host;

// Binds the helpers' copy of the host table to hostsim, as a load would.
class ArrayHelpers : public ::testing::Test {
protected:
    Host& host = Host::get();
    void SetUp() override {
        host.close();
        host.reset();
        bind_linked_library(-4321);
    }
    void TearDown() override { unbind_linked_library(); }
};

TEST(CheckedProduct, RefusesWhatWouldWrap) {
    struct Case {
        std::vector<int64_t> sizes;
        bool ok;
        int64_t product;
    };
    const int64_t big = int64_t{1} << 32;
    const Case cases[] = {
        {{}, true, 1},
        {{2, 3, 4}, true, 24},
        {{0, 5}, true, 0},
        {{big, big / 2 - 1}, true, big * (big / 2 - 1)},
        {{big, big}, false, 0},
        {{std::numeric_limits<int64_t>::max(), 2}, false, 0},
        {{3, -1}, false, 0},
        {{big, big, 0}, true, 0},  // a size of 0 empties the array whatever the others are
        {{0, -1}, false, 0},
    };
    for (const Case& c : cases) {
        int64_t p = -7;
        EXPECT_EQ(hostmath::checked_product(c.sizes, &p), c.ok);
        if (c.ok) {
            EXPECT_EQ(p, c.product);
        }
    }
}

TEST(ScratchBuffer, ReportsImpossibleSizesInsteadOfThrowing) {
    hostmath::Scratch<double> huge(std::numeric_limits<int64_t>::max());
    EXPECT_FALSE(huge.ok());
    hostmath::Scratch<double> negative(-1);
    EXPECT_FALSE(negative.ok());
    hostmath::Scratch<int64_t> small(3);
    ASSERT_TRUE(small.ok());
    EXPECT_EQ(small.size(), 3u);
}

TEST_F(ArrayHelpers, OverflowingShapeIsAFailedCreationWithoutAskingTheHost) {
    const int64_t sizes[] = {int64_t{1} << 40, int64_t{1} << 30};
    EXPECT_EQ(hostmath::new_array_shaped(sizes), nullptr);
    EXPECT_EQ(host.new_sys_obj_calls(), 0);
    EXPECT_EQ(hostmath::new_array(-1, 1), nullptr);
}

TEST_F(ArrayHelpers, NewArrayHasItsSizesWritten) {
    const int64_t sizes[] = {2, 3, 4};
    RealArray* a = hostmath::new_array_shaped(sizes);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->count, 24);
    EXPECT_EQ(a->ndims, 3);
    EXPECT_EQ(std::vector<int64_t>(a->dims, a->dims + 3), std::vector<int64_t>({2, 3, 4}));

    host.fail_new_sys_obj_at(1);
    EXPECT_EQ(hostmath::new_matrix(2, 2), nullptr);
}

TEST_F(ArrayHelpers, ReturningANewArrayTagsItAndHandsItOverOnce) {
    RealArray* a = hostmath::new_matrix(1, 2);
    HostValue result = make_empty();
    hostmath::return_new_array(&result, a, host.context());
    EXPECT_EQ(result.pointer(), a);
    EXPECT_EQ(result.ext_type, -4321);
    EXPECT_EQ(result.base_type, kTypeRealArray);
    EXPECT_EQ(host.fun_re_obj_calls(), 1);
}

TEST_F(ArrayHelpers, ArgumentArraysAreFoundByTheHostOnly) {
    HostValue plain = host.array({2}, {1, 2}, kTypeRealArray);
    EXPECT_EQ(hostmath::array_arg(plain), host.object(plain));  // extended type not looked at

    HostValue forged = plain;
    forged.word1 += 8;
    EXPECT_EQ(hostmath::lookup_array(forged), nullptr);
    EXPECT_EQ(host.unknown_array_lookups(), 1);

    HostValue wrong_type = plain;
    wrong_type.base_type = kTypeReal;
    EXPECT_NE(hostmath::lookup_array(wrong_type), nullptr);
    EXPECT_EQ(hostmath::array_arg(wrong_type), nullptr);
}

TEST_F(ArrayHelpers, ResultsAndReports) {
    HostValue r = make_real(1.0);
    r.word2 = 5;
    hostmath::write_empty(&r);
    EXPECT_TRUE(is_empty_result(r));

    hostmath::write_null_array(&r);
    EXPECT_EQ(r.word1, 0u);
    EXPECT_EQ(r.ext_type, -4321);
    EXPECT_EQ(r.base_type, kTypeRealArray);

    HostValue arg = host.array({1}, {3}, -99);
    hostmath::return_argument(&r, arg);
    EXPECT_EQ(r.ext_type, -99);
    EXPECT_EQ(r.word1, arg.word1);

    HostValue failed = make_real(2.0);
    hostmath::fail(&failed, u"math::zeros", 4, host.context());
    EXPECT_TRUE(is_empty_result(failed));
    hostmath::report_kind(-1, u"math::gsl_qag", 18, host.context());
    const std::vector<hostsim::RunError> expected = {{1, "math::zeros", 4}, {-1, "math::gsl_qag", 18}};
    EXPECT_EQ(host.errors(), expected);
}

TEST_F(ArrayHelpers, KeptArraysAreHandedOverWithAnOpeningCall) {
    HostValue args[2] = {make_empty(), make_empty()};
    hostmath::save_arrays_begin(host.context(), args);
    hostmath::tag_array(&args[1], hostmath::new_matrix(1, 1));
    hostmath::save_array(host.context(), &args[1], args);
    EXPECT_EQ(host.fun_save_obj_calls(), 2);
    ASSERT_EQ(host.saved_records().size(), 1u);
    EXPECT_EQ(host.saved_records()[0].word1, args[1].word1);
}

TEST_F(ArrayHelpers, ArgumentKinds) {
    HostValue text = host.string("1 2");
    EXPECT_NE(hostmath::string_arg(text, host.context()), nullptr);
    HostValue number = make_real(1.5);
    EXPECT_EQ(hostmath::string_arg(number, host.context()), nullptr);

    EXPECT_TRUE(hostmath::is_size(make_integer(1)));
    EXPECT_FALSE(hostmath::is_size(make_integer(0)));
    EXPECT_FALSE(hostmath::is_size(make_real(2.0)));
    EXPECT_TRUE(hostmath::is_all_marker(make_option(kOptionAll)));
    EXPECT_FALSE(hostmath::is_all_marker(make_option(kOptionStep)));
    EXPECT_EQ(hostmath::number_value(make_integer(3)), hostmath::number_value(make_real(3.0)));
}

}  // namespace
