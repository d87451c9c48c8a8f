// SPDX-License-Identifier: GPL-3.0-or-later
// Loading, registration and unloading, seen from the host.
#include <cmath>

#include "entry/registry.h"
#include "tests/support.h"

namespace {

using hostsim::DeleteCall;
using hostsim::Host;

// A host that has not loaded the library yet: each test decides how it loads.
class LoadTest : public ::testing::Test {
protected:
    Host& host = Host::get();
    void SetUp() override {
        host.close();
        host.reset();
        ASSERT_TRUE(host.open());
    }
    void TearDown() override { host.close(); }
};

std::string key_of(const HostChar* name) { return "math::" + hostsim::to_utf8(name); }

// Functions of this build, in table order.
std::vector<std::string> built_function_keys() {
    std::vector<std::string> keys;
    for (const auto& e : hostmath::kFunctionTable) {
        if (e.fn != nullptr) keys.push_back(key_of(e.name));
    }
    return keys;
}

TEST_F(LoadTest, FirstKeyAcceptedTagsEverythingWithIt) {
    ASSERT_EQ(host.load(), 1);
    ASSERT_EQ(host.lock_call_count(), 1);
    const hostsim::LockCall& lock = host.lock_calls()[0];
    EXPECT_EQ(lock.key, -12345);
    EXPECT_NE(lock.callback, nullptr);
    EXPECT_NE(lock.dispatcher, nullptr);
    EXPECT_EQ(host.constant("math::real_s")->integer(), -12345);
    EXPECT_EQ(host.call("math::zeros", {make_integer(1), make_integer(2)}).ext_type, -12345);
    EXPECT_EQ(host.ex_msg_calls(), 0);
    host.unload();
}

TEST_F(LoadTest, RefusedKeyMovesToTheNextLowerOne) {
    host.refuse_locks(1);
    ASSERT_EQ(host.load(), 1);
    EXPECT_EQ(host.lock_call_count(), 2);
    EXPECT_EQ(host.lock_calls()[1].key, -12346);
    EXPECT_EQ(host.locked_key(), -12346);
    HostValue real_s = *host.constant("math::real_s");
    EXPECT_EQ(real_s.integer(), -12346);
    EXPECT_EQ(real_s.word1, static_cast<uint64_t>(int64_t{-12346}));  // sign-extended
    EXPECT_EQ(host.call("math::ra1", {make_real(1.0)}).ext_type, -12346);
    host.unload();
}

TEST_F(LoadTest, NoFreeKeyRegistersNothingAndTheNextLoadSearchesAfresh) {
    host.refuse_all_locks();
    EXPECT_EQ(host.load(), 0);
    EXPECT_EQ(host.lock_call_count(), 9'987'656);  // -12345 down to -10000000
    EXPECT_EQ(host.function_count(), 0u);
    EXPECT_EQ(host.constant_count(), 0u);

    // The next load in the same process searches the whole range again,
    // never below its lowest key.
    host.refuse_all_locks(false);
    const int64_t before = host.lock_call_count();
    ASSERT_EQ(host.load(), 1);
    EXPECT_EQ(host.lock_call_count(), before + 1);
    EXPECT_EQ(host.locked_key(), -12345);
    host.unload();
}

TEST_F(LoadTest, UnloadAfterAFailedLoadTouchesNothing) {
    host.refuse_all_locks();
    ASSERT_EQ(host.load(), 0);
    const int64_t locks = host.lock_call_count();
    EXPECT_EQ(host.unload(), 1);
    EXPECT_TRUE(host.delete_calls().empty());
    EXPECT_EQ(host.lock_call_count(), locks);
}

TEST_F(LoadTest, ReloadFirstTriesTheKeyTheLastLoadLocked) {
    host.refuse_locks(3);
    ASSERT_EQ(host.load(), 1);
    ASSERT_EQ(host.locked_key(), -12348);
    ASSERT_EQ(host.unload(), 1);
    EXPECT_FALSE(host.locked_key().has_value());  // released

    const int64_t before = host.lock_call_count();
    ASSERT_EQ(host.load(), 1);
    EXPECT_EQ(host.lock_calls()[static_cast<size_t>(before)].key, -12348);
    EXPECT_EQ(host.locked_key(), -12348);
    EXPECT_EQ(host.constant("math::real_s")->integer(), -12348);
    host.unload();
}

TEST_F(LoadTest, FunctionsRegisterInTableOrderWithTheirCodes) {
    ASSERT_EQ(host.load(), 1);
    EXPECT_EQ(host.function_order(), built_function_keys());
    for (const auto& e : hostmath::kFunctionTable) {
        auto f = host.function_key(key_of(e.name));
        ASSERT_EQ(f.has_value(), e.fn != nullptr) << key_of(e.name);
        if (f) {
            EXPECT_EQ(f->param_code, e.param_code) << key_of(e.name);
        }
    }
    host.unload();
}

TEST_F(LoadTest, ConstantsHaveTheirExactTypesAndValues) {
    ASSERT_EQ(host.load(), 1);
    struct Expected {
        const char* key;
        int64_t value;
    };
    const Expected table[] = {
        {"math::real_s", -12345},     {"math::zeros", 0},        {"math::ones", 1},
        {"math::eye", 2},             {"math::rand", 3},         {"math::randn", 4},
        {"math::gsl_gauss15", 1},     {"math::gsl_gauss21", 2},  {"math::gsl_gauss31", 3},
        {"math::gsl_gauss41", 4},     {"math::gsl_gauss51", 5},  {"math::gsl_gauss61", 6},
        {"math::gsl_rk2", 0},         {"math::gsl_rk4", 1},      {"math::gsl_rkf45", 2},
        {"math::gsl_rkck", 3},        {"math::gsl_rk8pd", 4},    {"math::gsl_rk2imp", 5},
        {"math::gsl_rk2simp", 6},     {"math::gsl_rk4imp", 7},   {"math::gsl_bsimp", 8},
        {"math::gsl_gear1", 9},       {"math::gsl_gear2", 10},
        {"math::interp_linear", 0},   {"math::interp_cspline", 1}, {"math::interp_akima", 2},
        {"math::interp_steffen", 3},
        {"math::dist_normal", 0},     {"math::dist_lognormal", 1}, {"math::dist_exponential", 2},
        {"math::dist_gamma", 3},      {"math::dist_beta", 4},    {"math::dist_chi2", 5},
        {"math::dist_t", 6},          {"math::dist_f", 7},       {"math::dist_uniform", 8},
        {"math::dist_weibull", 9},    {"math::dist_binomial", 10}, {"math::dist_poisson", 11},
    };
    std::vector<std::string> order = {"math::pi"};
    for (const Expected& e : table) {
        SCOPED_TRACE(e.key);
        order.push_back(e.key);
        auto v = host.constant(e.key);
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(v->base_type, kTypeInteger);
        EXPECT_EQ(v->ext_type, kTypeInteger);
        EXPECT_EQ(v->integer(), e.value);
    }
    auto pi = host.constant("math::pi");
    ASSERT_TRUE(pi.has_value());
    EXPECT_EQ(pi->base_type, kTypeReal);
    EXPECT_EQ(pi->ext_type, kTypeReal);
    EXPECT_TRUE(same_bits(pi->real(), M_PI));
    EXPECT_EQ(host.constant_order(), order);
    host.unload();
}

TEST_F(LoadTest, RefusedKeysAreReportedAndNotDeleted) {
    host.refuse_function("math::matrix");
    host.refuse_constant("math::gsl_rk4");
    host.refuse_constant("math::pi");
    std::string messages;
    {
        hostsim::system::ShownMessages shown;
        ASSERT_EQ(host.load(), 1);
        messages = shown.lines();
    }
    EXPECT_NE(messages.find("math 注册函数失败！: math::matrix"), std::string::npos) << messages;
    EXPECT_NE(messages.find("math 注册常量失败！: math::gsl_rk4"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("math::pi"), std::string::npos) << "pi is refused silently";
    EXPECT_TRUE(host.has_function("math::ra1"));

    ASSERT_EQ(host.unload(), 1);
    std::vector<DeleteCall> expected;
    for (const std::string& key : built_function_keys()) {
        if (key != "math::matrix") expected.push_back({key, static_cast<int64_t>(2 * key.size()), 3});
    }
    for (const auto& e : hostmath::kConstantTable) {
        const std::string key = key_of(e.name);
        if (key != "math::gsl_rk4") expected.push_back({key, static_cast<int64_t>(2 * key.size()), 4});
    }
    expected.push_back({"math::real_s", 24, 4});
    expected.push_back({"math::pi", 16, 4});  // deleted although refused
    EXPECT_EQ(host.delete_calls(), expected);

    const hostsim::LockCall& release = host.lock_calls().back();
    EXPECT_EQ(release.key, -12345);
    EXPECT_EQ(release.callback, nullptr);
    EXPECT_NE(release.dispatcher, nullptr);
    EXPECT_EQ(host.function_count(), 0u);
    EXPECT_EQ(host.constant_count(), 0u);
}

TEST_F(LoadTest, HostModuleMissingAnEntryPointLoadsNothing) {
    void* incomplete = hostsim::system::open_library(INCOMPLETE_HOST_PATH);
    ASSERT_NE(incomplete, nullptr) << hostsim::system::last_error();
    EXPECT_EQ(host.load_with_module(incomplete), 0);
    EXPECT_EQ(host.lock_call_count(), 0);
    EXPECT_EQ(host.function_count(), 0u);
    EXPECT_EQ(*static_cast<int*>(hostsim::system::find_symbol(incomplete, "incomplete_host_calls")), 0);
    EXPECT_EQ(host.unload(), 1);
    hostsim::system::close_library(incomplete);
}

}  // namespace
