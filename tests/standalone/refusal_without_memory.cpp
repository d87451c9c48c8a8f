// SPDX-License-Identifier: GPL-3.0-or-later
// A refused registration is reported while the library loads, and no
// failure to allocate there may throw out of QeDll64. This program replaces
// the global operator new, which the loaded library's allocations reach as
// well, and makes every allocation throw from the first refusal until the
// load has returned. It is a program of its own so that no other test runs
// with the replaced allocator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "hostsim/hostsim.h"

namespace {
bool g_allocations_fail = false;
}  // namespace

void* operator new(std::size_t bytes) {
    if (g_allocations_fail) throw std::bad_alloc();
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(RefusedRegistrations, LoadWithoutAllocating) {
    hostsim::Host& host = hostsim::Host::get();
    host.reset();
    ASSERT_TRUE(host.open());
    ASSERT_EQ(host.load(), 1);
    const std::vector<std::string> functions = host.function_order();
    const std::vector<std::string> constants = host.constant_order();
    host.unload();
    host.close();

    // Every key refused, so the host allocates nothing once refusals begin.
    host.reset();
    for (const std::string& key : functions) host.refuse_function(key);
    for (const std::string& key : constants) host.refuse_constant(key);
    host.set_refusal_hook([] { g_allocations_fail = true; });
    ASSERT_TRUE(host.open());
    int32_t loaded = 0;
    EXPECT_NO_THROW(loaded = host.load());
    g_allocations_fail = false;
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(host.function_count(), 0u);
    host.unload();
    host.close();
}
