#include <gtest/gtest.h>
TEST(Smoke, input) { SUCCEED(); }
