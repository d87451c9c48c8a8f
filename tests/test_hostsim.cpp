// SPDX-License-Identifier: GPL-3.0-or-later
// The stand-in host itself: what tests rely on it to do and record.
#include "tests/support.h"

namespace {

using hostsim::Host;

class HostsimTest : public ::testing::Test {
protected:
    Host& host = Host::get();
    void SetUp() override {
        host.close();
        host.reset();
    }
};

TEST_F(HostsimTest, StringsAreFoundThroughGetStrOnly) {
    HostValue s = host.string("näive ∑");
    int64_t length = 0;
    HostChar* text = host.GetStr(&s, host.context(), &length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), u"näive ∑");
    EXPECT_EQ(length, 7);
    HostValue number = make_integer(5);
    EXPECT_EQ(host.GetStr(&number, host.context(), &length), nullptr);
}

TEST_F(HostsimTest, ScriptFunctionsResolveAndAssignTheirParameters) {
    HostValue f = host.function(
        2, [](std::span<HostValue> p) {
            p[1] = make_real(p[0].real() * 2);
            return make_integer(7);
        },
        true);
    void *word = nullptr, *handle = nullptr;
    HostValue* params = nullptr;
    int32_t last = -5;
    ASSERT_NE(host.GetFor(static_cast<int64_t>(f.word1), &word, &handle, &params, &last), 0);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(host.ParaModify(handle), 1);
    params[0] = make_real(1.5);
    HostValue buffer{};
    EXPECT_EQ(host.QeCal(&buffer, handle, params)->integer(), 7);
    EXPECT_EQ(params[1].real(), 3.0);
    EXPECT_EQ(host.GetFor(12345, &word, &handle, &params, &last), 0);
}

TEST_F(HostsimTest, NewSysObjCountsAndFailsOnRequest) {
    host.fail_new_sys_obj_at(2);
    EXPECT_NE(host.NewSysObj(kTypeRealArray, 4, 2), nullptr);
    EXPECT_EQ(host.NewSysObj(kTypeRealArray, 4, 2), nullptr);
    RealArray* a = host.NewSysObj(kTypeRealArray, 0, 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(host.NewSysObj(kTypeRealArray, -1, 1), nullptr);
    EXPECT_EQ(host.new_sys_obj_calls(), 4);
    HostValue v = make_array_value(a, -252);
    EXPECT_EQ(host.object(v), a);
}

TEST_F(HostsimTest, OutputFunctionCapturesOrIsAbsent) {
    const uint64_t zero = 0;
    auto out = reinterpret_cast<HostOutputFn>(host.SearchKey(&zero, 8, kKeyOutputFunction));
    ASSERT_NE(out, nullptr);
    out(u"ab");
    out(u"");
    EXPECT_EQ(host.output(), "ab");
    EXPECT_EQ(host.output_pieces(), 2);
    host.set_output_enabled(false);
    EXPECT_EQ(host.SearchKey(&zero, 8, kKeyOutputFunction), nullptr);
}

TEST_F(HostsimTest, HostOperatorsSeeTheOperandTypesOfTheMoment) {
    host.host_operator = [](int32_t code, int64_t, HostValue*) { return make_integer(code); };
    HostValue operands[2] = {host.array({1}, {1}, -252), make_real(1)};
    HostValue buffer{};
    EXPECT_EQ(host.ExeOperator(&buffer, 1, operands, host.context(), 46, -252)->integer(), 46);
    ASSERT_EQ(host.operator_calls().size(), 1u);
    EXPECT_EQ(host.operator_calls()[0].ext_types, std::vector<int32_t>({-252, kTypeReal}));
    EXPECT_EQ(host.operator_calls()[0].type, -252);
    EXPECT_EQ(host.context_mismatches(), 0);
    host.FunReObj(nullptr);
    EXPECT_EQ(host.context_mismatches(), 1);
}

// GetArray gives any real array's elements and count, math array or plain,
// and nothing for other values or arrays the host has dropped; FunSaveObj
// counts every call and keeps the records handed over.
TEST_F(HostsimTest, GetArrayAndFunSaveObj) {
    for (int32_t ext : {-12345, int32_t{kTypeRealArray}}) {
        HostValue a = host.array({2, 2}, {1, 2, 3, 4}, ext);
        int64_t words[2] = {-1, -1};
        const double* data = host.GetArray(&a, host.context(), words);
        ASSERT_EQ(data, host.object(a)->data);
        EXPECT_EQ(words[0], 4);
        host.release(a);
        EXPECT_EQ(host.GetArray(&a, host.context(), words), nullptr);
    }
    HostValue real = make_real(1);
    int64_t words[2] = {};
    EXPECT_EQ(host.GetArray(&real, host.context(), words), nullptr);

    HostValue args[2] = {make_integer(1), host.array({1})};
    host.FunSaveObj(host.context(), nullptr, args);
    host.FunSaveObj(host.context(), &args[1], args);
    EXPECT_EQ(host.fun_save_obj_calls(), 2);
    ASSERT_EQ(host.saved_records().size(), 1u);
    EXPECT_EQ(host.saved_records()[0].word1, args[1].word1);
}

// resize keeps the record and its key but not the elements: a vector of the
// new count, zeros; an array the host has dropped cannot be resized.
TEST_F(HostsimTest, ResizeGivesNewStorageUnderTheSameKey) {
    HostValue a = host.array({2, 2}, {1, 2, 3, 4});
    ASSERT_TRUE(host.resize(a, 3));
    EXPECT_EQ(host.SearchKey(&a.word1, 8, kKeyRealArray), host.object(a));
    const auto got = host.read(a);
    EXPECT_EQ(got.shape, (std::vector<int64_t>{3}));
    EXPECT_EQ(got.values, (std::vector<double>{0, 0, 0}));
    host.release(a);
    EXPECT_FALSE(host.resize(a, 3));
}

}  // namespace

namespace {

// Stand-ins for library functions that hand new arrays back well or badly.
HostValue* hand_back(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    Host& h = Host::get();
    RealArray* a = h.NewSysObj(kTypeRealArray, 1, 1);
    RealArray* b = h.NewSysObj(kTypeRealArray, 1, 1);
    *result = make_array_value(a, kTypeRealArray);
    const int64_t how = args[0].integer();
    if (how == 0 || how == 2) h.FunReObj(ctx);  // 0: a returned, b saved (right)
    if (how == 2) h.FunReObj(ctx);              // a handed back twice
    if (how != 3) h.FunSaveObj(ctx, nullptr, args);
    HostValue kept = make_array_value(b, kTypeRealArray);
    if (how != 3) h.FunSaveObj(ctx, &kept, args);  // 3: b left with nobody
    (void)last_index;
    return result;
}

}  // namespace

TEST_F(HostsimTest, CallsAreAuditedForArraysHandedBackExactlyOnce) {
    ASSERT_EQ(host.SetFunction(u"test::hand_back", hand_back, -2), 0);
    const struct {
        int64_t how;
        int64_t faults;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}};
    for (const auto& c : cases) {
        host.clear_values();
        host.call("test::hand_back", {make_integer(c.how)});
        EXPECT_EQ(host.ownership_faults(), c.faults) << c.how;
    }
}
