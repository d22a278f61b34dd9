#include <gtest/gtest.h>
TEST(Smoke, actions) { SUCCEED(); }
