// What each connection holds down, and what is let go when it ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/held_input.h"
#include "input/keyboard.h"
#include "actions/window_actions.h"
#include "server/remote_server.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using test::RecordingInjector;
using Events = std::vector<std::string>;

TEST(HeldInput, KeepsEachEntryOnceAndReleasesNewestFirst) {
  HeldInput held;
  held.press(0x10);
  held.press(HeldInput::Button(LeftButton));
  held.press(0x10);
  held.press(0x41);
  held.press(HeldInput::Button(MiddleButton));
  held.press(0x25);
  held.press(HeldInput::Button(RightButton));
  held.release(0x41);
  held.release(0x42);  // not held: nothing happens
  EXPECT_EQ(held.count, 5);
  EXPECT_TRUE(held.holds(0x10));
  EXPECT_FALSE(held.holds(0x41));

  // Keys are let go as a keyboard lets go of them: scan code, extended flag.
  RecordingInjector injector;
  test::FakeDesktop desktop;
  desktop.scanCodes = {{0x10, 0x2A}, {0x25, 0x4B}};
  Keyboard keyboard(injector, desktop);
  held.releaseAll(keyboard);
  EXPECT_EQ(injector.take(), (Events{"right up", "key 25 up sc 4b ext", "middle up", "left up", "key 10 up sc 2a"}));
  EXPECT_EQ(held.count, 0);
  held.releaseAll(keyboard);
  EXPECT_EQ(injector.take(), Events{});
}

TEST(HeldInput, HoldsEveryKeyAndButtonAtOnceButNothingElse) {
  HeldInput held;
  held.press(0x00);
  held.press(0x1FF);
  for (uint16_t vk = 0x01; vk <= 0xFF; ++vk) held.press(vk);
  held.press(HeldInput::Button(LeftButton));
  held.press(HeldInput::Button(RightButton));
  held.press(HeldInput::Button(MiddleButton));
  held.press(0x41);
  EXPECT_EQ(held.count, 258);
  RecordingInjector injector;
  NullDesktop desktop;
  Keyboard keyboard(injector, desktop);
  held.releaseAll(keyboard);
  Events events = injector.take();
  ASSERT_EQ(events.size(), 258u);
  EXPECT_EQ(events.front(), "middle up");
  EXPECT_EQ(events[3], "key ff up");
  EXPECT_EQ(events.back(), "key 01 up");
}

class Tracking : public ::testing::Test {
 protected:
  Tracking() {
    Platform platform;
    platform.injector = &recording;
    platform.desktop = &desktop;
    server = std::make_unique<RemoteServer>(platform);
  }
  // A connection registered like an accepted one, on a socket of its own.
  ClientConnection* add() { return &server->addConnection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }

  RecordingInjector recording;
  test::FakeDesktop desktop;
  std::unique_ptr<RemoteServer> server;
};

TEST_F(Tracking, ForwardsEveryRecordUnchanged) {
  ClientConnection& a = *add();
  server->injector.current = &a;
  server->injector.key(0x41, 0, 0);
  server->injector.key(0, 0xe9, kKeyEventUnicode);
  server->injector.key(0, 0xe9, kKeyEventUnicode | kKeyEventKeyUp);
  server->injector.mouse(5, -3, 0, kMouseMove);
  server->injector.mouse(0, 0, 120, kMouseWheel);
  server->injector.mouse(0, 0, 0, kMouseRightDown);
  server->injector.current = nullptr;
  server->injector.key(0x42, 0, 0);
  EXPECT_EQ(recording.take(),
            (Events{"key 41 down", "unicode 00e9", "unicode 00e9 up", "move 5 -3", "wheel 120", "right down",
                    "key 42 down"}));
  // Unicode units, moves and the wheel hold nothing; a press without a
  // current connection belongs to nobody.
  EXPECT_EQ(a.held.count, 2);
  EXPECT_TRUE(a.held.holds(0x41));
  EXPECT_TRUE(a.held.holds(HeldInput::Button(RightButton)));
}

TEST_F(Tracking, OnlyWhatTheSystemTookIsHeld) {
  ClientConnection* a = add();
  server->injector.current = a;
  recording.accepting = false;  // say, a program running as administrator is in front
  EXPECT_FALSE(server->injector.key(0x11, 0, 0));
  EXPECT_FALSE(server->injector.mouse(0, 0, 0, kMouseLeftDown));
  EXPECT_EQ(a->held.count, 0);
  recording.accepting = true;
  server->injector.key(0x12, 0, 0);
  recording.accepting = false;
  server->injector.key(0x12, 0, kKeyEventKeyUp);  // refused: Alt is still down
  server->injector.current = nullptr;
  recording.accepting = true;
  recording.take();
  server->dropClient(*a);
  EXPECT_EQ(recording.take(), Events{"key 12 up"});
}

TEST_F(Tracking, AReleaseByAnyoneClearsEveryRecord) {
  ClientConnection& a = *add();
  ClientConnection& b = *add();
  server->injector.current = &a;
  server->injector.key(0x10, 0, 0);
  server->injector.mouse(0, 0, 0, kMouseLeftDown);
  server->injector.mouse(0, 0, 0, kMouseMiddleDown);
  server->injector.current = &b;
  server->injector.key(0x10, 0, 0);
  server->injector.mouse(0, 0, 0, kMouseLeftDown);
  server->injector.key(0x10, 0, kKeyEventKeyUp);
  server->injector.mouse(0, 0, 0, kMouseLeftUp);
  server->injector.current = nullptr;
  EXPECT_FALSE(a.held.holds(0x10));
  EXPECT_FALSE(a.held.holds(HeldInput::Button(LeftButton)));
  EXPECT_TRUE(a.held.holds(HeldInput::Button(MiddleButton)));
  EXPECT_EQ(b.held.count, 0);
}

TEST_F(Tracking, DroppingAConnectionReleasesWhatItHoldsAndNothingTwice) {
  ClientConnection* a = add();
  ClientConnection* b = add();
  server->injector.current = a;
  server->injector.key(0x11, 0, 0);
  server->injector.mouse(0, 0, 0, kMouseRightDown);
  server->injector.current = b;
  server->injector.key(0x11, 0, 0);
  server->injector.key(0x41, 0, 0);
  server->injector.current = nullptr;
  recording.take();

  server->dropClient(*a);
  EXPECT_EQ(recording.take(), (Events{"right up", "key 11 up"}));
  EXPECT_EQ(server->connectionCount(), 1u);
  // The computer no longer has Ctrl down, so b's record no longer says so.
  EXPECT_FALSE(b->held.holds(0x11));
  server->dropClient(*b);
  EXPECT_EQ(recording.take(), Events{"key 41 up"});
  EXPECT_EQ(server->connectionCount(), 0u);
}

TEST_F(Tracking, LettingGoOfTheSwitchersKeyClosesIt) {
  // Alt holds the switcher open without composition, the left Win key with it;
  // another phone letting go of the other key leaves the switcher open.
  struct Case {
    bool composition;
    uint16_t key;
    bool stillActive;
  } cases[] = {{false, 0x12, false}, {false, 0x5B, true}, {true, 0x5B, false}, {true, 0x12, true},
               {false, 0x5C, true},  {true, 0x10, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.composition << " " << c.key);
    desktop.composition = c.composition;
    ClientConnection* a = add();
    server->injector.current = a;
    server->injector.key(c.key, 0, 0);
    server->injector.current = nullptr;
    server->actions.switcherActive = true;
    server->dropClient(*a);
    EXPECT_EQ(server->actions.switcherActive, c.stillActive);
  }
}

TEST_F(Tracking, DestroyingTheServerReleasesEveryConnection) {
  ClientConnection* a = add();
  ClientConnection* b = add();
  server->injector.current = a;
  server->injector.key(0x10, 0, 0);
  server->injector.current = b;
  server->injector.mouse(0, 0, 0, kMouseLeftDown);
  server->injector.current = nullptr;
  recording.take();
  server.reset();
  Events events = recording.take();
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (Events{"key 10 up", "left up"}));
}

}  // namespace
}  // namespace tavrin
