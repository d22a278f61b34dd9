// A flood of connections from one address is summed up, not logged line by
// line, while other addresses are logged as usual.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
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
      gate.closedQuietly(flood, i % 2 ? "closed by the phone" : "refused: this address already waits");
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

  // The next minute logs ten again; an address pushed out of the table by
  // many others has its count written first.
  now = 1000 + 3 * ConnectionLogGate::kWindowMs;
  for (int i = 0; i < 11; ++i) EXPECT_EQ(gate.connected(flood, now), i < 10);
  for (uint32_t other = 1; other <= ConnectionLogGate::kAddresses; ++other) gate.connected(htonl(0x0A000000 + other), now + 1);
  EXPECT_EQ(lines.count(), 2);
  EXPECT_NE(lines.text.find("1 more connections"), std::string::npos) << lines.text;
}

}  // namespace
}  // namespace tavrin
