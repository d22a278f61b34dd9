#include <gtest/gtest.h>
TEST(Smoke, Server) { SUCCEED(); }
