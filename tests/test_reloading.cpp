// SPDX-License-Identifier: GPL-3.0-or-later
// Loading, using and unloading the library 100 times in one process: each
// unload deletes every key the load registered, the module really leaves the
// process (so no static state survives into the next load), and memory does
// not grow from one round to the next. Linux only, as the other hardening
// checks: it asks the dynamic loader and the C library's allocator.
#ifndef _WIN32

#include <dlfcn.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support.h"

namespace {

using hostsim::Host;

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

// Bytes the allocator has handed out and not taken back (under
// AddressSanitizer its own count, which leaves out the quarantine).
size_t heap_in_use() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// What a round does with the library: an array, a random draw (generator
// state), an integral (nesting state), printing and an operator.
double use_library(Host& host) {
    HostValue a = host.call("math::zeros", {make_integer(3), make_integer(4)});
    host.apply(8, {a});
    host.call("math::outa", {a});
    HostValue f = host.function(1, [](std::span<HostValue> p) { return make_real(p[0].real()); });
    EXPECT_EQ(host.call("math::gsl_qags", {f, make_real(0), make_real(1)}).real(), 0.5);
    return host.read(host.call("math::rand", {make_integer(1), make_integer(1)})).values.at(0);
}

}  // namespace

TEST(ReloadTest, HundredRoundsLeaveNothingBehind) {
    Host& host = Host::get();
    host.close();
    host.reset();
    const std::string path = Host::default_library_path();
    double first_draw = 0;
    size_t heap_after_warmup = 0;
    constexpr int kRounds = 100;
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_TRUE(host.open()) << round;
        ASSERT_EQ(host.load(), 1) << round;
        const size_t functions = host.function_count();
        const size_t constants = host.constant_count();
        ASSERT_GT(functions, 0u);
        // A fresh module starts from the initial key and the initial generator state.
        EXPECT_EQ(host.locked_key(), -12345) << round;
        const double draw = use_library(host);
        if (round == 0) first_draw = draw;
        EXPECT_EQ(draw, first_draw) << round;

        const size_t deletes_before = host.delete_calls().size();
        ASSERT_EQ(host.unload(), 1);
        EXPECT_EQ(host.function_count(), 0u) << round;
        EXPECT_EQ(host.constant_count(), 0u) << round;
        EXPECT_EQ(host.delete_calls().size() - deletes_before, functions + constants) << round;
        EXPECT_FALSE(host.locked_key().has_value()) << round;
        host.close();
        EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still mapped after round " << round;
        EXPECT_EQ(host.ownership_faults(), 0);
        host.reset();  // the host's own logs would grow otherwise
        if (round == 19) heap_after_warmup = heap_in_use();
    }
    // A leak of anything a load, a call or an unload allocates, once per
    // round, would show over 80 rounds; allow a little noise.
    const auto growth = static_cast<long long>(heap_in_use()) - static_cast<long long>(heap_after_warmup);
    std::printf("heap growth over %d rounds after warm-up: %lld bytes\n", kRounds - 20, growth);
    EXPECT_LT(growth, 16 * 1024);
}

#endif  // _WIN32
