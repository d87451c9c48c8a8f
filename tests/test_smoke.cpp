#include "tests/support.h"

TEST_F(LibraryTest, LoadsWithTheFirstKey) { EXPECT_EQ(key(), -12345); }
