// The real server on a loopback port: bytes in, greeting and events out.
#include <dirent.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/greeting.h"
#include "server/sockets.h"
#include "tests/server/phone.h"

#include <atomic>
#include <new>

// Set by a test to make the allocation of connection records fail, as it
// would on a system out of memory.
static std::atomic<bool> failConnectionRecords{false};

void* operator new(std::size_t size) {
  if (size == sizeof(tavrin::ClientConnection) && failConnectionRecords) throw std::bad_alloc();
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

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

// The server's own socket of a phone's connection, found among this
// process's descriptors by its peer's port; -1 when there is none.
int ServerSideOf(const Phone& phone, uint16_t serverPort) {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  int found = -1;
  while (dirent* entry = readdir(folder)) {
    const int fd = std::atoi(entry->d_name);
    sockaddr_in own{}, peer{};
    socklen_t ownSize = sizeof own, peerSize = sizeof peer;
    if (fd <= 2 || getsockname(fd, reinterpret_cast<sockaddr*>(&own), &ownSize) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
      continue;
    if (ntohs(own.sin_port) == serverPort && ntohs(peer.sin_port) == phone.localPort()) found = fd;
  }
  closedir(folder);
  return found;
}

int IntOption(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  return getsockopt(fd, level, name, &value, &size) == 0 ? value : -1;
}

// A phone that vanishes sends nothing more, not even a close; the server
// never writes. Only keep-alive probes notice it, and they must give up
// within about half a minute, so that what it holds is released.
TEST_F(Server, EveryConnectionIsProbedSoThatAVanishedPhoneEndsWithinHalfAMinute) {
  auto first = greetedPhone();
  auto second = greetedPhone();
  for (Phone* phone : {first.get(), second.get()}) {
    const int fd = ServerSideOf(*phone, port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(IntOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    const int idle = IntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE);
    const int interval = IntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL);
    const int probes = IntOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
    EXPECT_GT(idle, 0);
    EXPECT_GT(interval, 0);
    EXPECT_GT(probes, 0);
    EXPECT_LE(idle + interval * probes, 30) << idle << " + " << interval << " x " << probes;
  }
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

TEST_F(Server, LeavingTheScreenOrStoppingReleasesWhatPhonesStillHold) {
  auto phone = greetedPhone();
  phone->send(Key("[R] WIN d"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{"key 5b down ext"});
  // Another session takes the screen: phones end, and the port is free for
  // the copy of the program there, until this session is back.
  server->setServing(false);
  EXPECT_EQ(phone->readMore(2000), "<end>");
  EXPECT_EQ(injector.take(), Strings{"key 5b up ext"});
  auto portFree = [&] {
    return static_cast<bool>(CreateListener(ListenAddress(L"127.0.0.1", port)));
  };
  ASSERT_TRUE(WaitUntil(portFree));
  {
    // Back on the screen while the other session's copy still holds the
    // port: the window hears that it is closed.
    const unique_socket held = CreateListener(ListenAddress(L"127.0.0.1", port));
    ASSERT_TRUE(held);
    server->setServing(true);
    ASSERT_TRUE(WaitUntil([&] { return ui.calls().size() == 2; }));
  }
  ASSERT_TRUE(WaitUntil([&] { return !portFree(); }));
  phone = greetedPhone();
  phone->send(Key("[R] WIN d"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{"key 5b down ext"});
  // The user interface never hears of ports given up on purpose.
  EXPECT_EQ(ui.calls(), (Strings{"ports listening", "ports", "ports listening"}));
  server.reset();
  EXPECT_EQ(injector.take(), Strings{"key 5b up ext"});
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

TEST_F(Server, AConnectionWithoutMemoryForItsRecordIsRefusedAndOthersServedOn) {
  auto phone = greetedPhone();
  failConnectionRecords = true;
  auto refused = connectPhone();
  EXPECT_EQ(refused->readMore(5000), "<end>");
  failConnectionRecords = false;
  phone->send(Mouse("m 1 1"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{"move 1 1"});
  auto later = greetedPhone();
  later->send(Mouse("m 2 2"));
  EXPECT_EQ(eventsUpTo(*later), Strings{"move 2 2"});
}

// With no descriptor left, accept fails on every pass while the phone waits;
// the server leaves the listener alone for a moment and tries again, and
// greets the phone once a descriptor is free. The pauses that follow the
// first are counted, not logged one by one.
TEST_F(Server, AcceptsThatFailForWantOfDescriptorsAreTriedAgainLater) {
  rlimit usual{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &usual), 0);
  const int lowestFree = dup(0);
  ASSERT_GE(lowestFree, 0);
  ::close(lowestFree);
  rlimit tight = usual;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree) + 1;  // the phone's socket, and nothing for the server
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  Phone phone(port);
  const std::string before = phone.readMore(300);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &usual), 0);
  ASSERT_TRUE(phone.connected());
  EXPECT_EQ(before, "");
  const std::string greeting = before + phone.readLines(2);
  EXPECT_EQ(std::count(greeting.begin(), greeting.end(), '\n'), 2) << greeting;
  phone.send(Mouse("m 1 1"));
  EXPECT_EQ(eventsUpTo(phone), Strings{"move 1 1"});
  EXPECT_EQ(logLines.count("accept failed"), 1u);
}

// A second server on a port that another holds says so at once, keeps trying,
// and serves once the port is free, saying so again.
TEST_F(Server, ServerOnATakenPortSaysSoAndServesOnceItIsFree) {
  RecordingUserInterface blockedUi;
  Platform platform;
  platform.injector = &injector;
  platform.desktop = &desktop;
  platform.ui = &blockedUi;
  platform.network = &network;
  platform.discoveryEnabled = false;
  auto blocked = std::make_unique<RemoteServer>(L"127.0.0.1", port, platform);
  EXPECT_EQ(blockedUi.calls(), Strings{"ports"});
  // The first server serves on undisturbed.
  auto phone = greetedPhone();
  phone->send(Mouse("m 1 1"));
  EXPECT_EQ(eventsUpTo(*phone), Strings{"move 1 1"});
  phone.reset();

  server.reset();
  ASSERT_TRUE(WaitUntil([&] { return blockedUi.calls().size() == 2; }));
  EXPECT_EQ(blockedUi.calls(), (Strings{"ports", "ports listening"}));
  auto late = greetedPhone();
  late->send(Mouse("m 2 2"));
  EXPECT_EQ(eventsUpTo(*late), Strings{"move 2 2"});
}

// With more connections than one select can watch (the listener and 63),
// they are watched in turns: every one is read, and closes above the 63
// lowest are noticed.
TEST_F(Server, SeventyPhonesAreAllReadAndTheirClosesNoticed) {
  std::vector<std::unique_ptr<Phone>> phones;
  for (int i = 0; i < 70; ++i) phones.push_back(greetedPhone());
  // Lines that are no command: seen by the framing, injecting nothing.
  for (int i : {69, 63, 62, 0}) phones[static_cast<size_t>(i)]->send("noop" + std::to_string(i) + "\n");
  EXPECT_TRUE(WaitUntil([&] {
    return recorder.saw("t:noop69") && recorder.saw("t:noop63") && recorder.saw("t:noop62") && recorder.saw("t:noop0");
  }));
  // Closing the highest ones: the server closes its side too.
  for (size_t i = 64; i < 70; ++i) EXPECT_TRUE(phones[i]->hangUpAndWaitForClose()) << i;
  // A phone that comes later is read while 63 others stay open and silent.
  auto late = greetedPhone();
  late->send(Mouse("m 3 3"));
  EXPECT_EQ(eventsUpTo(*late), Strings{"move 3 3"});
}

}  // namespace
}  // namespace tavrin::test
