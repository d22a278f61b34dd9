#include <gtest/gtest.h>
TEST(Smoke, app) { SUCCEED(); }
