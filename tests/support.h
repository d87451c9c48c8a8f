// SPDX-License-Identifier: GPL-3.0-or-later
// Shared test support: a fixture that gives every test a freshly loaded
// library in a reset stand-in host, and small helpers for reading results.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host/binding.h"
#include "hostsim/hostsim.h"
#include "hostsim/system.h"

// Each test starts from a reset host and a freshly opened and loaded library
// (so the library's statics, such as its random generators, are new too).
class LibraryTest : public ::testing::Test {
protected:
    hostsim::Host& host = hostsim::Host::get();

    void SetUp() override {
        host.close();
        host.reset();
        ASSERT_TRUE(host.open()) << hostsim::Host::default_library_path();
        ASSERT_EQ(host.load(), 1);
    }
    void TearDown() override {
        if (host.is_open()) {
            host.unload();
            host.close();
        }
        EXPECT_EQ(host.context_mismatches(), 0);
        EXPECT_EQ(host.foreign_thread_calls(), 0);
        EXPECT_EQ(host.ownership_faults(), 0) << (host.ownership_faults() ? host.ownership_fault_log()[0] : "");
    }

    int32_t key() const { return *host.locked_key(); }

    // The run errors reported since the last clear, as (name, code) pairs.
    std::vector<std::pair<std::string, int64_t>> reported() const {
        std::vector<std::pair<std::string, int64_t>> out;
        for (const auto& e : host.errors()) out.emplace_back(e.name, e.code);
        return out;
    }
};

// Unloads and closes the library and opens and loads it again with
// HOSTMATH_THREADS set to `threads` (std::nullopt: unset); false when it
// does not load.
inline bool reload_with_threads(hostsim::Host& host, const std::optional<std::string>& threads) {
    host.unload();
    host.close();
    hostsim::set_environment("HOSTMATH_THREADS", threads);
    return host.open() && host.load() == 1;
}

// Script arguments as the tests write them.
inline HostValue real(double d) { return make_real(d); }
inline HostValue integer(int64_t i) { return make_integer(i); }

inline bool is_empty_result(const HostValue& v) { return v.word1 == 0 && v.ext_type == 0 && v.base_type == 0; }

// A call that fails with one report of kind 1 and `code` under its own key,
// and the empty result.
inline void expect_refused(hostsim::Host& host, const std::string& key, std::vector<HostValue> args, int64_t code) {
    host.clear_errors();
    EXPECT_TRUE(is_empty_result(host.call(key, args)));
    ASSERT_EQ(host.errors().size(), 1u);
    EXPECT_EQ(host.errors()[0].name, key);
    EXPECT_EQ(host.errors()[0].code, code);
    EXPECT_EQ(host.errors()[0].kind, 1);
}

// A call and the code it is refused with, for tables of them.
struct Refusal {
    std::string key;
    std::vector<HostValue> args;
    int64_t code;
};
inline void expect_refusals(hostsim::Host& host, const std::vector<Refusal>& cases) {
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.key + " code " + std::to_string(c.code));
        expect_refused(host, c.key, c.args, c.code);
    }
}

// How deep a re-entrant function nests: a script function of `params`
// parameters whose value is `value(p)` calls `call_self(itself)` again on its
// first evaluation at each depth, until a call comes back empty (refused) or
// ten levels are passed. Returns the number of active calls at the refusal.
// The value is computed before the nested call, which writes its own
// arguments into the same parameter records.
inline int deepest_nesting(hostsim::Host& host, int32_t params, const std::function<HostValue(const HostValue&)>& call_self,
                           const std::function<HostValue(std::span<HostValue>)>& value) {
    int depth = 0;
    int deepest = 0;
    bool probing = true;
    HostValue self{};
    self = host.function(params, [&](std::span<HostValue> p) {
        const HostValue v = value(p);
        if (probing) {
            deepest = std::max(deepest, ++depth);
            if (is_empty_result(call_self(self)) || depth > 10) probing = false;
            --depth;
        }
        return v;
    });
    call_self(self);
    return deepest;
}

// Nests a re-entrant function six deep: a script function of one parameter
// whose value is `value(x)` calls `call_self(itself)` on its first evaluation
// at depths 1 to 5 and runs `at_sixth(itself)` on its first at depth 6.
// Returns the outermost call's result; *reached says whether depth 6 was.
inline HostValue nest_six_deep(hostsim::Host& host, const std::function<HostValue(const HostValue&)>& call_self,
                               const std::function<void(const HostValue&)>& at_sixth,
                               const std::function<double(double)>& value, bool* reached) {
    int depth = 0;
    HostValue self{};
    self = host.function(1, [&](std::span<HostValue> p) {
        const double x = p[0].real();
        if (depth < 6) {
            ++depth;
            if (depth < 6) {
                call_self(self);
            } else {
                at_sixth(self);
            }
        }
        return make_real(value(x));
    });
    const HostValue r = call_self(self);
    *reached = depth == 6;
    return r;
}

// `count` values uniform in [-1, 1), the same for every run with one seed.
inline std::vector<double> random_values(int64_t count, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(static_cast<size_t>(count));
    for (double& x : v) x = dist(rng);
    return v;
}

// Bit-exact comparison of doubles (distinguishes -0.0 and NaN payloads).
inline bool same_bits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

// The test binary also links the library's own object files, so pure helpers
// and internals can be called directly. Their copy of the host table is not
// the one the loaded library fills: this binds it to the stand-in host, as a
// load would, and gives it a private key.
inline void bind_linked_library(int32_t private_key) {
    void* self = hostsim::system::host_module();
    auto* slots = reinterpret_cast<void**>(&hostmath::g_host);
    for (int i = 0; i < kHostEntryPointCount; ++i) {
        slots[i] = hostsim::system::find_symbol(self, kHostEntryPointNames[i]);
    }
    hostmath::g_private_key = private_key;
}

inline void unbind_linked_library() { hostmath::g_host = HostApi{}; }
