#include <gtest/gtest.h>
TEST(Smoke, net) { SUCCEED(); }
