// The discovery datagram, its destinations, the read-set rule and the
// greeting's version text.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "server/discovery.h"
#include "server/read_set.h"
#include "server/greeting.h"
#include "server/discovery.h"
#include "support/fakes.h"

namespace tavrin {
namespace {

uint32_t Ip(const char* dotted) { return inet_addr(dotted); }

TEST(DiscoveryDatagram, NameLengthRightAlignedInThreeColumns) {
  struct Case {
    const char* name;
    const char* datagram;
  } cases[] = {{"OFFICE7", "BC  7OFFICE7"},
               {"", "BC  0"},
               {"ABCDEFGHIJKLMNO", "BC 15ABCDEFGHIJKLMNO"}};
  for (const Case& c : cases) {
    char datagram[kDatagramCapacity];
    int32_t length = FormatDiscoveryDatagram(datagram, c.name, static_cast<int32_t>(std::strlen(c.name)));
    EXPECT_EQ(std::string(datagram, static_cast<size_t>(length)), c.datagram);
  }
  // A name as long as the whole buffer is cut, never written past it.
  std::string longName(200, 'N');
  char datagram[kDatagramCapacity];
  EXPECT_EQ(FormatDiscoveryDatagram(datagram, longName.c_str(), 200), kDatagramCapacity - 1);
  EXPECT_EQ(std::string(datagram, 5), "BC200");
}

TEST(DiscoveryDestination, BroadcastFieldOrSubnetBroadcastButNeverLoopback) {
  struct Case {
    const char* address;
    const char* mask;
    uint32_t broadcast;
    const char* expected;  // nullptr: no datagram
  } cases[] = {
      {"127.0.0.1", "255.0.0.0", 1, nullptr},
      {"192.168.1.20", "255.255.255.0", 1, "192.168.1.255"},
      {"192.168.1.20", "255.255.255.0", 0, "192.168.1.255"},
      {"10.1.2.3", "255.255.0.0", 0xFFFFFFFFu, "10.1.255.255"},
      {"10.1.2.3", "255.255.0.0", Ip("10.1.0.255"), "10.1.0.255"},
      {"127.0.0.2", "255.0.0.0", 1, "127.255.255.255"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    AddressRow row{Ip(c.address), Ip(c.mask), c.broadcast};
    uint32_t destination = 0;
    bool sends = InterfaceBroadcastAddress(row, destination);
    ASSERT_EQ(sends, c.expected != nullptr);
    if (sends) EXPECT_EQ(destination, Ip(c.expected));
  }
}

// Sends only to loopback: rows that stand for two "adapters" on 127.0.0.2 and
// 127.0.0.3 and the loopback row, to a receiver on an ephemeral port.
TEST(DiscoveryDestination, BroadcastToInterfacesSendsOneDatagramPerAdapter) {
  unique_socket receiverOwner(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  const SocketHandle receiver = receiverOwner.get();
  ASSERT_NE(receiver, kInvalidSocket);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  socklen_t size = sizeof any;
  getsockname(receiver, reinterpret_cast<sockaddr*>(&any), &size);
  const uint16_t port = ntohs(any.sin_port);
  unique_socket senderOwner(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  const SocketHandle sender = senderOwner.get();
  ASSERT_NE(sender, kInvalidSocket);

  test::FakeNetworkInfo network;
  network.rows = {{Ip("127.0.0.1"), Ip("255.0.0.0"), 1},
                  {Ip("127.0.0.2"), Ip("255.255.255.255"), 1},
                  {Ip("127.0.0.3"), Ip("255.255.255.255"), Ip("127.0.0.3")}};
  BroadcastToInterfaces(sender, port, "BC  1X", 6, network);
  network.readable = false;
  BroadcastToInterfaces(sender, port, "BC  1Y", 6, network);

  SetNonBlocking(receiver);
  std::string got;
  for (int waited = 0; waited < 200; ++waited) {
    char datagram[64];
    int n = static_cast<int>(recv(receiver, datagram, sizeof datagram, 0));
    if (n > 0) got += std::string(datagram, static_cast<size_t>(n)) + "|";
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(got, "BC  1X|BC  1X|");
}

TEST(DiscoveryTimer, OneSecondPeriodAcrossTheTickCounterWrap) {
  EXPECT_TRUE(DiscoveryDue(1000, 0));  // the first pass after start
  EXPECT_FALSE(DiscoveryDue(999, 0));
  EXPECT_FALSE(DiscoveryDue(500, 0xFFFFFF00u));
  EXPECT_TRUE(DiscoveryDue(800, 0xFFFFFF00u));
  EXPECT_TRUE(DiscoveryDue(0xFFFFFFFFu, 0));
}

TEST(ReadSet, FollowsTheFdSetRule) {
  ReadSet set;
  set.add(kInvalidSocket);  // an unopened listener still takes the first place
  set.add(7);
  set.add(7);
  for (SocketHandle h = 100; h < 200; ++h) set.add(h);
  set.add(3);
  EXPECT_EQ(set.count, ReadSet::kCapacity);
  EXPECT_EQ(set.handles[0], kInvalidSocket);
  EXPECT_EQ(set.handles[1], 7);
  EXPECT_EQ(set.handles[63], 161);
  EXPECT_EQ(set.find(161), 63);
  EXPECT_EQ(set.find(162), -1);
  EXPECT_EQ(set.find(3), -1);
}

TEST(VersionText, CommasBecomeDotsAndTheTextIsCutToFit) {
  char text[64] = "1.2.0.3";
  CopyVersionText(text, "1, 5, 0, 0", 10);
  EXPECT_STREQ(text, "1. 5. 0. 0");
  std::string longValue(100, ',');
  CopyVersionText(text, longValue.c_str(), 100);
  EXPECT_EQ(std::string(text), std::string(63, '.'));

  // Without a version block, the text comes from the project's version.
  char server[64] = {};
  ReadServerVersion(server);
  EXPECT_STREQ(server, "1. 5. 0. 0");
  char os[64] = {};
  FormatOsVersion(os);
  unsigned major = 0, minor = 0;
  char rest = 0;
  EXPECT_EQ(std::sscanf(os, "%u.%u%c", &major, &minor, &rest), 2) << os;
}

}  // namespace
}  // namespace tavrin
