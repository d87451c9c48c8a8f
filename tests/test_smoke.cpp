#include <gtest/gtest.h>

#include "hostsim/hostsim.h"

TEST(Smoke, LoadsAndUnloads) {
    hostsim::Host& host = hostsim::Host::get();
    host.reset();
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.load(), 1);
    EXPECT_EQ(host.unload(), 1);
    host.close();
}
