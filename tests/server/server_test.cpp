// The real server on a loopback port: bytes in, greeting and events out.
#include <cstdio>
#include <cstring>

#include "tests/server/phone.h"

namespace tavrin::test {
namespace {

using Server = ServerTest;

TEST_F(Server, GreetsWithTwoLinesAndNothingElse) {
  auto phone = connectPhone();
  char os[64];
  FormatOsVersion(os);
  unsigned major = 0, minor = 0;
  ASSERT_EQ(std::sscanf(os, "%u.%u", &major, &minor), 2);
  EXPECT_EQ(phone->readLines(2), "system windows " + std::string(os) + "\nversion 1. 5. 0. 0\n");
  // Messages, understood or not, are never answered.
  phone->send("MUTE\nkey001amos001cnonsense\n");
  EXPECT_EQ(phone->readMore(300), "");
}

TEST_F(Server, MessagesOverLoopbackBecomeEvents) {
  auto phone = greetedPhone();
  phone->send(Mouse("m 5 -3"));
  phone->send(Key("A"));
  phone->send("drag 10 -5\n" + Mouse("c c"));
  EXPECT_EQ(eventsUpTo(*phone), (Strings{"move 5 -3", "key 10 down", "key 41 down", "key 41 up", "key 10 up",
                                         "move 10 -5", "left down", "left up", "left down", "left up"}));
  // Wheel steps are flushed once per receive: nine wait, the tenth (in a
  // later write) makes one notch.
  phone->send(Mouse("w 1 w 1 w 1 w 1 w 1 w 1 w 1 w 1 w 1"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{});
  phone->send(Mouse("w 1"));
  EXPECT_TRUE(WaitUntil([&] { return !injector.events().empty(); }));
  EXPECT_EQ(injector.take(), Strings{"wheel 120"});
}

TEST_F(Server, ClosedConnectionIsDroppedInThePassThatReadsItsEnd) {
  auto first = greetedPhone();
  auto second = greetedPhone();
  first->send(Mouse("m 1 1"));
  EXPECT_TRUE(first->hangUpAndWaitForClose());
  // The other phone is served as before.
  second->send(Mouse("m 2 2"));
  EXPECT_EQ(eventsUpTo(*second), (Strings{"move 1 1", "move 2 2"}));
  EXPECT_TRUE(second->hangUpAndWaitForClose());
}

TEST_F(Server, ResetConnectionReleasesWhatItHeldNewestFirst) {
  auto holder = greetedPhone();
  auto other = greetedPhone();
  holder->send(Key("[R] CTRL d [R] SHIFT d"));
  holder->send(Mouse("R l d"));
  holder->send(Key("x"));
  EXPECT_EQ(eventsUpTo(*holder), (Strings{"key 11 down", "key 10 down", "left down", "key 58 down", "key 58 up"}));
  holder->reset();
  ASSERT_TRUE(WaitUntil([&] { return injector.events().size() >= 3; }));
  EXPECT_EQ(eventsUpTo(*other), (Strings{"left up", "key 10 up", "key 11 up"}));
}

TEST_F(Server, PhoneThatReleasedEverythingLeavesNoEventsBehind) {
  auto phone = greetedPhone();
  phone->send(Key("[R] SHIFT d") + Mouse("R r d"));
  phone->send(Key("[R] SHIFT u") + Mouse("R r u"));
  EXPECT_EQ(eventsUpTo(*phone), (Strings{"key 10 down", "right down", "key 10 up", "right up"}));
  EXPECT_TRUE(phone->hangUpAndWaitForClose());
  // The connection's record is released before its socket is closed.
  EXPECT_EQ(injector.take(), Strings{});
}

TEST_F(Server, StoppingTheServerReleasesWhatPhonesStillHold) {
  auto phone = greetedPhone();
  phone->send(Key("[R] WIN d"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{"key 5b down"});
  server.reset();
  EXPECT_EQ(injector.take(), Strings{"key 5b up"});
  EXPECT_EQ(phone->readMore(2000), "<end>");
}

TEST_F(Server, GarbageAndEarlyHangUpsDoNotDisturbAnotherPhone) {
  auto phone = greetedPhone();
  Strings expected;
  std::string stream;
  for (int i = 1; i <= 60; ++i) {
    stream += Mouse("m " + std::to_string(i) + " -" + std::to_string(i));
    expected.push_back("move " + std::to_string(i) + " -" + std::to_string(i));
  }

  auto noisy = greetedPhone();
  auto silent = connectPhone();  // hangs up without reading its greeting
  silent->reset();
  std::string garbage(9000, 'Z');
  for (size_t i = 0; i < garbage.size(); i += 7) garbage[i] = '\0';
  for (size_t i = 0; i < stream.size(); i += 50) {
    phone->send(stream.substr(i, 50));
    noisy->send(garbage.substr(i * 10 % 8000, 1000));
  }
  noisy->send(Mouse("R l d") + "mos-1");
  auto halfFrame = connectPhone();
  halfFrame->send("key010[R] ");
  halfFrame->close();
  noisy->reset();
  EXPECT_EQ(eventsUpTo(*phone), expected);
}

// A second server on a port that is taken has no listener. Winsock fails a
// select on an invalid handle, and so does the server on every system: the
// worker pauses 10 s after each failed pass, and stopping waits for the pause.
TEST_F(Server, WithoutAListenerTheWorkerPausesAndStoppingWaitsForIt) {
  Platform platform;
  platform.injector = &injector;
  platform.discoveryEnabled = false;
  const auto started = std::chrono::steady_clock::now();
  auto inert = std::make_unique<RemoteServer>(nullptr, L"127.0.0.1", port, platform);
  EXPECT_EQ(inert->listenSocket, kInvalidSocket);
  EXPECT_EQ(inert->boundPort(), 0);
  auto phone = greetedPhone();
  phone->send(Mouse("m 1 1"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{"move 1 1"});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  inert.reset();
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(9500));
}

// With more than 63 phones, the listener and the 63 lowest connections are
// read; the others have been greeted and wait until a lower one goes away.
TEST_F(Server, SeventyPhonesAreGreetedButOnlyTheLowest63AreRead) {
  std::vector<std::unique_ptr<Phone>> phones;
  for (int i = 0; i < 70; ++i) phones.push_back(greetedPhone());
  auto message = [](int i) {
    char text[16];
    std::snprintf(text, sizeof text, "key004c%03d", i);
    return std::string(text);
  };
  for (int i : {69, 63, 62}) phones[static_cast<size_t>(i)]->send(message(i));
  ASSERT_TRUE(WaitUntil([&] { return recorder.saw("k:c062"); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(recorder.saw("k:c063"));
  EXPECT_FALSE(recorder.saw("k:c069"));

  EXPECT_TRUE(phones[0]->hangUpAndWaitForClose());
  EXPECT_TRUE(WaitUntil([&] { return recorder.saw("k:c063"); }));
  EXPECT_FALSE(recorder.saw("k:c069"));

  for (size_t i = 1; i <= 6; ++i) EXPECT_TRUE(phones[i]->hangUpAndWaitForClose());
  EXPECT_TRUE(WaitUntil([&] { return recorder.saw("k:c069"); }));
  // Accepting never stopped.
  auto late = greetedPhone();
  EXPECT_TRUE(late->connected());
}

}  // namespace
}  // namespace tavrin::test
