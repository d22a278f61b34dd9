// Cutting a connection's byte stream into frames and text lines, driven
// through a server without sockets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "server/message_handler.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

using test::RecordingInjector;
using test::RecordingUserInterface;

struct Recorder : MessageObserver {
  std::vector<std::string> seen;
  void onMessage(char kind, const char* payload, int32_t length) override {
    seen.push_back(std::string(1, kind) + ":" + std::string(payload, static_cast<size_t>(length)));
  }
};

class Framing : public ::testing::Test {
 protected:
  Framing() {
    Platform platform;
    platform.injector = &injector;
    platform.ui = &ui;
    platform.observer = &recorder;
    server = std::make_unique<MessageHandler>(platform);
  }

  void reset() {
    recorder.seen.clear();
    connection.received = ReceiveBuffer{};
  }
  void feed(const std::string& bytes) { server->feed(connection, bytes.data(), static_cast<int32_t>(bytes.size())); }
  std::string buffered() const { return std::string(connection.received.buffer, static_cast<size_t>(connection.received.fill)); }
  std::vector<std::string> seen() const { return recorder.seen; }

  RecordingInjector injector;
  RecordingUserInterface ui;
  Recorder recorder;
  std::unique_ptr<MessageHandler> server;
  ClientConnection connection{&injector};
};

using Seen = std::vector<std::string>;

TEST_F(Framing, FewerThanThreeBytesWaitEvenForACompleteLine) {
  feed("\n");
  feed("\n");
  EXPECT_EQ(seen(), Seen{});
  feed("\n");  // three bytes: the first empty line is taken, the other two wait
  EXPECT_EQ(seen(), Seen{"t:"});
  EXPECT_EQ(buffered(), "\n\n");

  reset();
  feed("a\n");
  EXPECT_EQ(seen(), Seen{});
  feed("b");
  EXPECT_EQ(seen(), Seen{"t:a"});
  EXPECT_EQ(buffered(), "b");
}

TEST_F(Framing, FramesSplitOverReceivesWaitForHeaderAndPayload) {
  const std::string frame = "mos006m 5 -3";
  for (size_t i = 0; i + 1 < frame.size(); ++i) {
    feed(frame.substr(i, 1));
    ASSERT_EQ(seen(), Seen{}) << "after byte " << i;
  }
  feed(frame.substr(frame.size() - 1));
  EXPECT_EQ(seen(), Seen{"m:m 5 -3"});
  EXPECT_EQ(connection.received.fill, 0);
  EXPECT_EQ(connection.received.buffer[0], 0);
}

TEST_F(Framing, EmptyAndLargestPayloads) {
  feed("key000mos000");
  EXPECT_EQ(seen(), (Seen{"k:", "m:"}));
  EXPECT_EQ(connection.received.fill, 0);

  const std::string payload(999, 'p');
  feed("key999" + payload.substr(0, 998));
  EXPECT_EQ(seen().size(), 2u);
  feed("p");
  ASSERT_EQ(seen().size(), 3u);
  EXPECT_EQ(seen()[2], "k:" + payload);
  EXPECT_EQ(connection.received.fill, 0);
}

TEST_F(Framing, LineStartingWithATagIsTakenAsAFrame) {
  // "boa" reads as length 0; the rest of the line is then a line of its own.
  feed("keyboard\n");
  EXPECT_EQ(seen(), (Seen{"k:", "t:rd"}));
}

TEST_F(Framing, BytesWithoutNewlineBlockEverythingBehindThem) {
  feed("hello");
  feed("mos001c");
  feed("key001a");
  EXPECT_EQ(seen(), Seen{});
  feed("\nmos001c");
  EXPECT_EQ(seen(), (Seen{"t:hellomos001ckey001a", "m:c"}));
}

TEST_F(Framing, LineIsCutAtTheFirstNewlineEvenInsideALaterFrame) {
  feed("abcmos003\nxy");
  EXPECT_EQ(seen(), Seen{"t:abcmos003"});
  EXPECT_EQ(buffered(), "xy");
}

TEST_F(Framing, ZeroByteHidesTheNewlineUntilTheFullBufferIsDiscarded) {
  feed(std::string("ab\0cd\nmos001c", 13));
  EXPECT_EQ(seen(), Seen{});
  feed(std::string(kReceiveCapacity, 'x'));  // only the room left is taken
  EXPECT_EQ(connection.received.fill, kReceiveCapacity);
  EXPECT_EQ(connection.received.buffer[kReceiveCapacity], 0);
  EXPECT_EQ(seen(), Seen{});
  feed("mos001c");
  EXPECT_EQ(seen(), Seen{"m:c"});
  EXPECT_EQ(connection.received.fill, 0);
}

TEST_F(Framing, FullBufferWithoutNewlineIsDiscardedAtTheNextReceive) {
  EXPECT_EQ(server->feed(connection, std::string(kReceiveCapacity + 10, 'x').data(), kReceiveCapacity + 10),
            kReceiveCapacity);
  EXPECT_EQ(connection.received.fill, kReceiveCapacity);
  // Parsing restarts in the middle of whatever arrives next.
  feed("001c\nkey001a");
  EXPECT_EQ(seen(), (Seen{"t:001c", "k:a"}));
}

TEST_F(Framing, NegativeLengthDropsOnlyTheHeader) {
  feed("key-01mos001c");
  EXPECT_EQ(seen(), Seen{"m:c"});
  feed("mos-5");  // five bytes: not a whole header yet
  EXPECT_EQ(buffered(), "mos-5");
  feed("9mos000");
  EXPECT_EQ(seen(), (Seen{"m:c", "m:"}));
}

TEST_F(Framing, LengthFieldReadsLikeAtoi) {
  struct Case {
    const char* field;
    int length;  // -1: header dropped
  } cases[] = {{"012", 12}, {" 12", 12}, {"12 ", 12}, {"+12", 12}, {"abc", 0}, {"1a2", 1}, {"-05", -1}, {"- 5", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    recorder.seen.clear();
    ClientConnection fresh{&injector};
    const std::string payload = "0123456789ab";
    std::string stream = std::string("mos") + c.field + payload + "mos001c";
    server->feed(fresh, stream.data(), static_cast<int32_t>(stream.size()));
    if (c.length < 0) {
      // "0123456789ab" has no tag and no newline: it now blocks the rest.
      EXPECT_EQ(recorder.seen, Seen{});
      EXPECT_EQ(std::string(fresh.received.buffer, fresh.received.fill), payload + "mos001c");
    } else {
      ASSERT_FALSE(recorder.seen.empty());
      EXPECT_EQ(recorder.seen[0], "m:" + payload.substr(0, static_cast<size_t>(c.length)));
    }
  }
}

// The same stream cut anywhere into two or three receives hands on the same
// messages in the same order.
TEST_F(Framing, EverySplitOfAStreamGivesTheSameMessages) {
  const std::string stream =
      "mos006m 5 -3key003a bhello\nkey-01mos001c\n\nkey000abc\r\nmos011m 1 1 m 2 2keyboard\nmos001";
  const Seen expected = {"m:m 5 -3", "k:a b", "t:hello", "m:c",  "t:",   "t:",
                         "k:",       "t:abc\r", "m:m 1 1 m 2 2", "k:", "t:rd"};
  feed(stream);
  ASSERT_EQ(seen(), expected);
  const std::string rest = buffered();
  EXPECT_EQ(rest, "mos001");

  for (size_t a = 0; a <= stream.size(); ++a) {
    for (size_t b = a; b <= stream.size(); b += 7) {
      Recorder local;
      server->observe(&local);
      ClientConnection c{&injector};
      server->feed(c, stream.data(), static_cast<int32_t>(a));
      server->feed(c, stream.data() + a, static_cast<int32_t>(b - a));
      server->feed(c, stream.data() + b, static_cast<int32_t>(stream.size() - b));
      ASSERT_EQ(local.seen, expected) << "split at " << a << " and " << b;
      ASSERT_EQ(std::string(c.received.buffer, c.received.fill), rest);
    }
  }
  server->observe(&recorder);
}

// A stream much longer than the buffer, read the way recv reads it (as much
// as the buffer has room for), with the 8192-byte boundaries falling at every
// position inside its messages: every message is handed on once, in order.
TEST_F(Framing, BufferBoundariesAnywhereInAMessageLoseNothing) {
  std::string body;
  Seen expected;
  for (int i = 0; body.size() < 3 * kReceiveCapacity; ++i) {
    const std::string move = "m " + std::to_string(i % 97) + " -" + std::to_string(i % 13);
    char header[8];
    std::snprintf(header, sizeof header, "mos%03zu", move.size());
    body += header + move;
    expected.push_back("m:" + move);
    if (i % 5 == 0) {
      body += "utf8 line " + std::to_string(i) + "\n";
      expected.push_back("t:utf8 line " + std::to_string(i));
    }
  }
  for (size_t lead = 0; lead < 40; ++lead) {
    const std::string stream = std::string(lead, 'x') + "\n" + body;
    Recorder local;
    server->observe(&local);
    ClientConnection c{&injector};
    for (size_t at = 0; at < stream.size();) {
      const int32_t taken =
          server->feed(c, stream.data() + at, static_cast<int32_t>(std::min<size_t>(stream.size() - at, 9000)));
      ASSERT_GT(taken, 0) << "stuck at " << at << " with lead " << lead;
      at += static_cast<size_t>(taken);
    }
    ASSERT_FALSE(local.seen.empty());
    ASSERT_EQ(local.seen.front(), "t:" + std::string(lead, 'x'));
    local.seen.erase(local.seen.begin());
    ASSERT_EQ(local.seen, expected) << "lead " << lead;
    ASSERT_EQ(c.received.fill, 0);
  }
  server->observe(&recorder);
}

TEST_F(Framing, ConsumeKeepsTheBufferZeroTerminated) {
  feed("xyz");
  connection.received.consume(1);
  EXPECT_EQ(buffered(), "yz");
  EXPECT_EQ(connection.received.buffer[2], 0);
  connection.received.consume(2);
  EXPECT_EQ(connection.received.fill, 0);
  EXPECT_EQ(connection.received.buffer[0], 0);
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// Before a phone's message has effect, the server asks about the window in
// front: one warning per elevated window, one token query per window that
// comes to the front, none for input that is dropped or while this program
// is elevated itself.
TEST(ElevatedWindow, WarnsOncePerWindowAndOnlyForInputThatHasEffect) {
  for (const bool selfElevated : {false, true}) {
    SCOPED_TRACE(selfElevated ? "Tavrin elevated" : "Tavrin not elevated");
    test::RecordingInjector injector;
    test::RecordingUserInterface ui;
    test::FakeDesktop desktop;
    desktop.elevatedWindows = {5, 6};
    desktop.selfElevated = selfElevated;
    Platform platform;
    platform.injector = &injector;
    platform.ui = &ui;
    platform.desktop = &desktop;
    MessageHandler server(platform);
    ClientConnection connection{&injector};
    auto feed = [&](const std::string& bytes) {
      server.feed(connection, bytes.data(), static_cast<int32_t>(bytes.size()));
    };

    // A phone that is not allowed yet: its messages are taken off the
    // buffer with no effect and no question asked.
    desktop.foreground = 5;
    connection.admitted = false;
    feed("mos005m 1 1MUTE\nkey001a");
    EXPECT_EQ(connection.received.fill, 0);
    EXPECT_EQ(injector.take(), std::vector<std::string>{});
    EXPECT_EQ(desktop.elevationQueries, std::vector<WindowRef>{});

    connection.admitted = true;
    feed("mos005m 1 1mos005m 2 2");
    desktop.foreground = 7;  // not elevated
    feed("mos005m 3 3key001a");
    desktop.foreground = 6;
    feed("mos005m 4 4");
    desktop.foreground = 5;  // told already
    feed("mos005m 5 5");
    EXPECT_EQ(injector.take().size(), 7u);  // warned or not, the input is sent
    if (selfElevated) {
      EXPECT_EQ(ui.calls(), std::vector<std::string>{});
      EXPECT_EQ(desktop.elevationQueries, std::vector<WindowRef>{});
    } else {
      EXPECT_EQ(ui.calls(), (std::vector<std::string>{"elevated window", "elevated window"}));
      EXPECT_EQ(desktop.elevationQueries, (std::vector<WindowRef>{5, 7, 6}));
    }
  }
}

}  // namespace
}  // namespace tavrin
