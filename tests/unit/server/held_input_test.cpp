// What each connection holds down, and what is let go when it ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/held_input.h"
#include "input/keyboard.h"
#include "actions/window_actions.h"
#include "support/server_pieces.h"
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
    server = std::make_unique<test::ServerPieces>(platform);
  }
  // A connection registered like an accepted one, on a socket of its own.
  ClientConnection* add() { return &server->connections.add(unique_socket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))); }

  RecordingInjector recording;
  test::FakeDesktop desktop;
  std::unique_ptr<test::ServerPieces> server;
};

TEST_F(Tracking, ForwardsEveryRecordUnchanged) {
  ClientConnection& a = *add();
  a.injector.key(0x41, 0, 0);
  a.injector.key(0, 0xe9, kKeyEventUnicode);
  a.injector.key(0, 0xe9, kKeyEventUnicode | kKeyEventKeyUp);
  a.injector.mouse(5, -3, 0, kMouseMove);
  a.injector.mouse(0, 0, 120, kMouseWheel);
  a.injector.mouse(0, 0, 0, kMouseRightDown);
  ClientConnection nobody{&recording};  // a connection on no board
  nobody.injector.key(0x42, 0, 0);
  EXPECT_EQ(recording.take(),
            (Events{"key 41 down", "unicode 00e9", "unicode 00e9 up", "move 5 -3", "wheel 120", "right down",
                    "key 42 down"}));
  // Unicode units, moves and the wheel hold nothing; a press through another
  // connection's injector is not a's.
  EXPECT_EQ(a.held.count, 2);
  EXPECT_TRUE(a.held.holds(0x41));
  EXPECT_TRUE(a.held.holds(HeldInput::Button(RightButton)));
}

TEST_F(Tracking, OnlyWhatTheSystemTookIsHeld) {
  ClientConnection* a = add();
  recording.accepting = false;  // say, a program running as administrator is in front
  EXPECT_FALSE(a->injector.key(0x11, 0, 0));
  EXPECT_FALSE(a->injector.mouse(0, 0, 0, kMouseLeftDown));
  EXPECT_EQ(a->held.count, 0);
  recording.accepting = true;
  a->injector.key(0x12, 0, 0);
  recording.accepting = false;
  a->injector.key(0x12, 0, kKeyEventKeyUp);  // refused: Alt is still down
  recording.accepting = true;
  recording.take();
  server->connections.drop(*a);
  EXPECT_EQ(recording.take(), Events{"key 12 up"});
}

TEST_F(Tracking, AReleaseByAnyoneClearsEveryRecord) {
  ClientConnection& a = *add();
  ClientConnection& b = *add();
  a.injector.key(0x10, 0, 0);
  a.injector.mouse(0, 0, 0, kMouseLeftDown);
  a.injector.mouse(0, 0, 0, kMouseMiddleDown);
  b.injector.key(0x10, 0, 0);
  b.injector.mouse(0, 0, 0, kMouseLeftDown);
  b.injector.key(0x10, 0, kKeyEventKeyUp);
  b.injector.mouse(0, 0, 0, kMouseLeftUp);
  EXPECT_FALSE(a.held.holds(0x10));
  EXPECT_FALSE(a.held.holds(HeldInput::Button(LeftButton)));
  EXPECT_TRUE(a.held.holds(HeldInput::Button(MiddleButton)));
  EXPECT_EQ(b.held.count, 0);
}

TEST_F(Tracking, DroppingAConnectionReleasesWhatItHoldsAndNothingTwice) {
  ClientConnection* a = add();
  ClientConnection* b = add();
  a->injector.key(0x11, 0, 0);
  a->injector.mouse(0, 0, 0, kMouseRightDown);
  b->injector.key(0x11, 0, 0);
  b->injector.key(0x41, 0, 0);
  recording.take();

  server->connections.drop(*a);
  EXPECT_EQ(recording.take(), (Events{"right up", "key 11 up"}));
  EXPECT_EQ(server->connections.size(), 1u);
  // The computer no longer has Ctrl down, so b's record no longer says so.
  EXPECT_FALSE(b->held.holds(0x11));
  server->connections.drop(*b);
  EXPECT_EQ(recording.take(), Events{"key 41 up"});
  EXPECT_EQ(server->connections.size(), 0u);
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
    a->injector.key(c.key, 0, 0);
    server->handler.actions().switcherActive = true;
    server->connections.drop(*a);
    EXPECT_EQ(server->handler.actions().switcherActive, c.stillActive);
  }
}

TEST_F(Tracking, DestroyingTheServerReleasesEveryConnection) {
  ClientConnection* a = add();
  ClientConnection* b = add();
  a->injector.key(0x10, 0, 0);
  b->injector.mouse(0, 0, 0, kMouseLeftDown);
  recording.take();
  server.reset();
  Events events = recording.take();
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (Events{"key 10 up", "left up"}));
}

}  // namespace
}  // namespace tavrin
