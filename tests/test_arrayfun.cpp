// SPDX-License-Identifier: GPL-3.0-or-later
// math::arrayfun through the stand-in host.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using Args = std::vector<HostValue>;

class ArrayfunTest : public LibraryTest {
protected:
    // f(x, y) = 10 x + y
    HostValue pairwise() {
        return host.function(2, [](std::span<HostValue> p) { return make_real(10 * p[0].real() + p[1].real()); });
    }
    // f(x) = x * x, which also assigns to its own parameter.
    HostValue square() {
        return host.function(
            1,
            [](std::span<HostValue> p) {
                const double x = p[0].real();
                p[0] = make_real(-1.0);
                return make_real(x * x);
            },
            true);
    }
};

// ---- mapping ---------------------------------------------------------------------------

TEST_F(ArrayfunTest, NewResultIsOneDimensionalInStorageOrder) {
    HostValue x = host.array({2, 3}, {1, 2, 3, 4, 5, 6});
    HostValue y = host.array({3, 2}, {6, 5, 4, 3, 2, 1}, kTypeRealArray);  // any shape, plain host arrays too
    const HostValue r = host.call("math::arrayfun", {pairwise(), x, y});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(r.ext_type, key());
    EXPECT_EQ(r.base_type, kTypeRealArray);
    EXPECT_EQ(host.fun_re_obj_calls(), 1);
    const auto got = host.read(r);
    EXPECT_EQ(got.shape, (std::vector<int64_t>{6}));
    EXPECT_EQ(got.values, (std::vector<double>{16, 25, 34, 43, 52, 61}));
    EXPECT_EQ(host.qecal_calls(), 6);
}

TEST_F(ArrayfunTest, OutputFormWritesIntoTheLastArgumentAndReturnsIt) {
    HostValue x = host.array({4}, {1, 2, 3, 4});
    HostValue out = host.array({2, 2}, {}, kTypeRealArray);
    const HostValue r = host.call("math::arrayfun", {square(), x, out});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(r.word1, out.word1);
    EXPECT_EQ(r.ext_type, kTypeRealArray);  // the argument's own record
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
    const auto got = host.read(out);
    EXPECT_EQ(got.shape, (std::vector<int64_t>{2, 2}));
    EXPECT_EQ(got.values, (std::vector<double>{1, 4, 9, 16}));  // each call sees its own element
}

TEST_F(ArrayfunTest, NoElementsNoCalls) {
    const HostValue r = host.call("math::arrayfun", {square(), host.array({0})});
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.read(r).values.size(), 0u);
    EXPECT_EQ(host.qecal_calls(), 0);
}

// ---- refusals ------------------------------------------------------------------------------

struct Refusal {
    const char* what;
    int64_t code;
    Args (*args)(hostsim::Host&, const HostValue& square, const HostValue& pairwise);
    bool fail_creation = false;
};

const Refusal kRefusals[] = {
    {"no argument", 1, [](hostsim::Host&, const HostValue&, const HostValue&) { return Args{}; }},
    {"f alone", 1, [](hostsim::Host&, const HostValue& f, const HostValue&) { return Args{f}; }},
    {"a real for f", 2,
     [](hostsim::Host& h, const HostValue&, const HostValue&) { return Args{make_real(1.0), h.array({2})}; }},
    {"one parameter, three arrays", 3,
     [](hostsim::Host& h, const HostValue& f, const HostValue&) {
         return Args{f, h.array({2}), h.array({2}), h.array({2})};
     }},
    {"two parameters, one array", 3,
     [](hostsim::Host& h, const HostValue&, const HostValue& g) { return Args{g, h.array({2})}; }},
    {"a real among the arrays", 4,
     [](hostsim::Host& h, const HostValue&, const HostValue& g) { return Args{g, h.array({2}), make_real(1.0)}; }},
    {"an output that is no array", 4,
     [](hostsim::Host& h, const HostValue& f, const HostValue&) { return Args{f, h.array({2}), make_integer(2)}; }},
    {"2 x 3 with 4 elements", 5,
     [](hostsim::Host& h, const HostValue&, const HostValue& g) { return Args{g, h.array({2, 3}), h.array({4})}; }},
    {"output of another count", 5,
     [](hostsim::Host& h, const HostValue& f, const HostValue&) { return Args{f, h.array({3}), h.array({4})}; }},
    {"the host cannot create the result", 6,
     [](hostsim::Host& h, const HostValue& f, const HostValue&) { return Args{f, h.array({3})}; }, true},
};

TEST_F(ArrayfunTest, RefusalsReportTheirCodeAndReturnEmpty) {
    const HostValue f = square();
    const HostValue g = pairwise();
    for (const Refusal& c : kRefusals) {
        SCOPED_TRACE(c.what);
        Args args = c.args(host, f, g);
        host.clear_errors();
        if (c.fail_creation) host.fail_new_sys_obj_at(1);
        const HostValue r = host.call("math::arrayfun", args);
        host.fail_new_sys_obj_at(0);
        EXPECT_EQ(reported(), (decltype(reported()){{"math::arrayfun", c.code}}));
        EXPECT_TRUE(is_empty_result(r));
    }
    EXPECT_EQ(host.qecal_calls(), 0);
}

// A value that is no real stops the loop with code 7; the elements before it
// stay written, the others as they were, and the array is still the result.
TEST_F(ArrayfunTest, ValueThatIsNoRealStopsTheLoop) {
    struct Case {
        const char* what;
        HostValue (*value)(hostsim::Host&, double x);
    };
    const Case cases[] = {
        {"an integer", [](hostsim::Host&, double) { return make_integer(1); }},
        {"empty, from a function that fails",
         [](hostsim::Host& h, double) {
             h.raise("script f", 9);
             return make_empty();
         }},
    };
    for (const Case& c : cases) {
        for (bool into_output : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (into_output ? ", output form" : ", new result"));
            host.clear_errors();
            host.set_pending(false);
            const int64_t calls_before = host.qecal_calls();
            auto value = c.value;
            HostValue f = host.function(1, [this, value](std::span<HostValue> p) {
                const double x = p[0].real();
                return x < 3 ? make_real(x * 100) : value(host, x);
            });
            HostValue out = host.array({2, 2}, {-1, -1, -1, -1});
            Args args = {f, host.array({4}, {1, 2, 3, 4})};
            if (into_output) args.push_back(out);
            const HostValue r = host.call("math::arrayfun", args);
            EXPECT_EQ(host.qecal_calls() - calls_before, 3);
            ASSERT_FALSE(host.errors().empty());
            EXPECT_EQ(host.errors().back(), (hostsim::RunError{1, "math::arrayfun", 7}));
            if (into_output) {
                EXPECT_EQ(r.word1, out.word1);
                EXPECT_EQ(host.read(out).values, (std::vector<double>{100, 200, -1, -1}));
            } else {
                EXPECT_EQ(r.ext_type, key());
                EXPECT_EQ(host.read(r).values, (std::vector<double>{100, 200, 0, 0}));
            }
        }
    }
}

// A pending run error makes the call return at once; one that the function
// leaves behind while returning reals does not stop the loop it happens in.
TEST_F(ArrayfunTest, PendingRunError) {
    HostValue f = host.function(1, [this](std::span<HostValue> p) {
        host.raise("script f", 9);
        return make_real(p[0].real() + 1);
    });
    HostValue x = host.array({3}, {1, 2, 3});
    const HostValue r = host.call("math::arrayfun", {f, x});
    EXPECT_EQ(host.read(r).values, (std::vector<double>{2, 3, 4}));
    EXPECT_EQ(host.qecal_calls(), 3);
    host.clear_errors();

    const HostValue again = host.call("math::arrayfun", {f, x});
    EXPECT_TRUE(is_empty_result(again));
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(host.qecal_calls(), 3);
    EXPECT_EQ(host.new_sys_obj_calls(), 1);  // the first result only
}

// ---- arrays the function lets go of or resizes -------------------------------------------

// At its second evaluation f releases an array of the call, or gives it
// storage of another size: the loop ends there with code 8 and nothing freed
// is read or written. The element before stays written; a y that is gone
// leaves the empty result, since its record names a freed object.
TEST_F(ArrayfunTest, AnArrayReleasedOrResizedByTheFunctionEndsTheLoopWithCode8) {
    constexpr int64_t kReleased = -1;
    struct Case {
        const char* what;
        size_t victim;  // argument index: 1 the input, 2 the output y
        bool output_form;
        int64_t new_count;            // kReleased, or the element count the victim is resized to
        std::vector<double> result;   // the result's elements; none: the empty result
    };
    const Case cases[] = {
        {"input released, new result", 1, false, kReleased, {10, 0, 0}},
        {"input released, output form", 1, true, kReleased, {10, 7, 7}},
        {"output released", 2, true, kReleased, {}},
        {"input grown, new result", 1, false, 4, {10, 0, 0}},
        {"output shrunk", 2, true, 2, {0, 0}},  // y's new elements, untouched
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        Args args{make_empty(), host.array({3}, {1, 2, 3})};
        if (c.output_form) args.push_back(host.array({3}, {7, 7, 7}));
        int calls = 0;
        const HostValue victim = args[c.victim];
        args[0] = host.function(1, [&](std::span<HostValue> p) {
            if (++calls == 2) c.new_count == kReleased ? host.release(victim) : host.resize(victim, c.new_count);
            return make_real(p[0].real() * 10);
        });
        const HostValue r = host.call("math::arrayfun", args);
        EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math::arrayfun", 8}}));
        EXPECT_EQ(calls, 2);
        if (c.result.empty()) {
            EXPECT_TRUE(is_empty_result(r));
        } else {
            EXPECT_EQ(host.read(r).values, c.result);
        }
    }
}

}  // namespace
