#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "input/mouse.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using Events = std::vector<std::string>;

// Stands in for the server: two accumulators and a flush after each receive.
struct Wheel {
  int32_t vertical = 0;
  int32_t horizontal = 0;
  test::RecordingInjector injector;

  void message(const std::string& payload) {
    HandleMouseMessage(injector, WheelAccumulators{vertical, horizontal}, payload.data(),
                       static_cast<int32_t>(payload.size()));
  }
  // One receive: its messages, then the flush.
  Events receive(std::initializer_list<std::string> payloads) {
    for (const std::string& payload : payloads) message(payload);
    FlushWheel(injector, WheelAccumulators{vertical, horizontal});
    return injector.take();
  }
};

Events Mouse(const std::string& payload) {
  Wheel wheel;
  wheel.message(payload);
  return wheel.injector.take();
}

std::string Repeat(const std::string& step, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += (i ? " " : "") + step;
  return out;
}

TEST(MouseMessage, TokensToEvents) {
  struct Case {
    const char* payload;
    Events events;
  };
  const Case cases[] = {
      {"c", {"left down", "left up"}},
      {"c c", {"left down", "left up", "left down", "left up"}},
      {"m 5 -3", {"move 5 -3"}},
      {"m 5", {}},
      {"m 5 ", {"move 5 0"}},
      {"m  5 3", {"move 0 5"}},
      {"m 4 -2 m 3 0 c", {"move 4 -2", "move 3 0", "left down", "left up"}},
      {"m +7 x", {"move 7 0"}},
      {"R r d", {"right down"}},
      {"R m u", {"middle up"}},
      {"R l down", {"left down"}},
      {"R x d", {}},
      {"R l x c", {"left down", "left up"}},
      {"R l", {}},
      {"b c c", {"left down", "left up"}},
      {"C", {}},
      {"cc", {}},
      {" ", {}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Mouse(c.payload), c.events) << '"' << c.payload << '"';
}

TEST(MouseMessage, NumbersOutsideTheRangeAreClamped) {
  EXPECT_EQ(Mouse("m 99999999999999999999 -99999999999999999999"),
            (Events{"move 2147483647 -2147483648"}));
  EXPECT_EQ(ReadDecimal("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadDecimal("2147483648"), INT32_MAX);
  EXPECT_EQ(ReadDecimal("  \t-12abc"), -12);
  EXPECT_EQ(ReadDecimal("+-3"), 0);
  EXPECT_EQ(ReadDecimal(""), 0);
}

TEST(MouseMessage, OverlongTokensAreCutAndParsingGoesOn) {
  EXPECT_EQ(Mouse(std::string(500, 'z') + " c"), (Events{"left down", "left up"}));
  EXPECT_EQ(Mouse("m " + std::string(200, '1') + " 2"), (Events{"move 2147483647 2"}));
}

TEST(Wheel, StepsAreBatchedUntilTenGather) {
  Wheel wheel;
  EXPECT_EQ(wheel.receive({Repeat("w 1", 9)}), Events{});
  EXPECT_EQ(wheel.vertical, 9);
  EXPECT_EQ(wheel.receive({"w 1"}), (Events{"wheel 120"}));
  EXPECT_EQ(wheel.vertical, 0);
  EXPECT_EQ(wheel.receive({Repeat("w 1", 6), Repeat("w 1", 6)}), (Events{"wheel 144"}));
  EXPECT_EQ(wheel.receive({Repeat("w 0", 13)}), (Events{"wheel -156"}));
  EXPECT_EQ(wheel.receive({Repeat("w 1", 25)}), (Events{"wheel 300"}));
}

TEST(Wheel, ReversalDiscardsTheOldDirection) {
  Wheel wheel;
  wheel.receive({"w 1 w 1 w 0"});
  EXPECT_EQ(wheel.vertical, -1);
  wheel.receive({Repeat("w 0", 8)});
  EXPECT_EQ(wheel.vertical, -9);
  wheel.receive({"w -5"});  // any value but 0 is forward
  EXPECT_EQ(wheel.vertical, 1);
}

TEST(Wheel, HorizontalStepsAreClearedWithoutAnEvent) {
  Wheel wheel;
  EXPECT_EQ(wheel.receive({Repeat("h 1", 9)}), Events{});
  EXPECT_EQ(wheel.horizontal, 9);
  EXPECT_EQ(wheel.receive({"h 1"}), Events{});
  EXPECT_EQ(wheel.horizontal, 0);
  EXPECT_EQ(wheel.receive({Repeat("h 0", 10)}), Events{});
  EXPECT_EQ(wheel.horizontal, 0);
  EXPECT_EQ(wheel.vertical, 0);
}

TEST(Drag, MovesByTheTwoNumbers) {
  struct Case {
    const char* text;
    Events events;
  };
  const Case cases[] = {
      {"10 -5", {"move 10 -5"}},
      {"-4 7", {"move -4 7"}},
      {"12", {}},
      {"", {}},
      {"3 ", {"move 3 0"}},
  };
  for (const Case& c : cases) {
    test::RecordingInjector injector;
    DragMove(injector, c.text);
    EXPECT_EQ(injector.events(), c.events) << c.text;
  }
}

TEST(MouseButtons, OnlyTheThreeButtonsExist) {
  test::RecordingInjector injector;
  SendMouseButton(injector, 3, false);
  SendMouseButton(injector, -1, true);
  EXPECT_TRUE(injector.events().empty());
}

}  // namespace
}  // namespace tavrin
