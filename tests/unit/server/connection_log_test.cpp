// A flood of connections from one address is summed up, not logged line by
// line, while other addresses are logged as usual.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <regex>
#include <string>

#include "server/connection_log.h"

namespace tavrin {
namespace {

struct Lines final : LogOutput {
  void write(const char* line, size_t length) noexcept override { text.append(line, length); }
  int count() const { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }
  std::string text;
};

TEST(ConnectionLogGate, AFloodFromOneAddressIsOneLineAMinute) {
  Lines lines;
  Log log({&lines});
  ConnectionLogGate gate(&log);
  const uint32_t flood = inet_addr("10.77.0.58");
  const uint32_t phone = inet_addr("10.77.0.9");
  uint64_t now = 1000;
  int logged = 0;
  for (int i = 0; i < 20000; ++i, now += 1) {
    if (gate.connected(flood, now)) {
      ++logged;
    } else {
      gate.closedQuietly(flood, i % 2 ? "closed by the phone" : "refused: this address already waits", now);
    }
    gate.flush(now);
  }
  EXPECT_EQ(logged, 10);
  // Within its first minute: nothing summed up yet. Another phone is logged.
  EXPECT_EQ(lines.count(), 0);
  EXPECT_TRUE(gate.connected(phone, now));

  // The minute ends: one line with how many more came and how they ended.
  gate.flush(1000 + ConnectionLogGate::kWindowMs);
  ASSERT_EQ(lines.count(), 1);
  EXPECT_NE(lines.text.find("phone 10.77.0.58: 19990 more connections in the past minute"), std::string::npos)
      << lines.text;
  EXPECT_NE(lines.text.find("9995 closed by the phone"), std::string::npos) << lines.text;
  EXPECT_NE(lines.text.find("9995 refused: this address already waits"), std::string::npos) << lines.text;
  gate.flush(1000 + 2 * ConnectionLogGate::kWindowMs);
  EXPECT_EQ(lines.count(), 1);  // nothing more came: nothing more said

  // The next minute logs ten again. A flood from many addresses, each one
  // new, is held to the cap in all; the counts of the addresses it pushes
  // out of the table (the first flood's among them) come in one line.
  now = 1000 + 3 * ConnectionLogGate::kWindowMs;
  for (int i = 0; i < 11; ++i) EXPECT_EQ(gate.connected(flood, now), i < 10);
  uint32_t loggedInAll = 10;
  for (uint32_t other = 1; other <= 20000; ++other) {
    const uint32_t address = htonl(0x0A000000 + other);
    if (gate.connected(address, now + 1)) ++loggedInAll;
    else gate.closedQuietly(address, "closed by the phone", now + 1);
    gate.flush(now + 1);
  }
  EXPECT_EQ(loggedInAll, ConnectionLogGate::kConnectionsPerWindowInAll);
  EXPECT_EQ(lines.count(), 1);
  gate.flush(now + 1 + ConnectionLogGate::kWindowMs);
  // At most a line for each address still followed and one for all the
  // others, and no connection lost from the counts.
  EXPECT_LE(lines.count(), 2 + static_cast<int>(ConnectionLogGate::kAddresses)) << lines.text;
  EXPECT_NE(lines.text.find("phones at other addresses: "), std::string::npos) << lines.text;
  uint32_t counted = 0;
  const std::regex more(R"(: (\d+) more connections)");
  for (auto it = std::sregex_iterator(lines.text.begin(), lines.text.end(), more); it != std::sregex_iterator(); ++it)
    counted += std::stoul((*it)[1]);
  EXPECT_EQ(counted, 19990u + 1 + 20000 - 20);
}

}  // namespace
}  // namespace tavrin
