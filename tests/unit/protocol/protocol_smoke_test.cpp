#include <gtest/gtest.h>
TEST(Smoke, protocol) { SUCCEED(); }
