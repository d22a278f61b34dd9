// Keeps a flood of connections from one address from washing the log out.
//
// A peer that connects and closes thousands of times a second would push
// everything else (the start of the run, the ports, the phone the user cares
// about) out of both log files within seconds. So the first
// kConnectionsPerWindow connections from an address in a minute are logged
// line by line; the rest are counted, and one line a minute says how many
// more came and how they ended. A flood from many addresses is held to
// kConnectionsPerWindowInAll logged connections a minute in all.
//
// Worker thread only. Fixed memory: kAddresses addresses are followed at a
// time; a new one takes the place of the one seen longest ago, whose counts
// join those of the other addresses no longer followed (one line a minute
// for all of them).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "base/log.h"

namespace tavrin {

class ConnectionLogGate {
 public:
  static constexpr uint32_t kConnectionsPerWindow = 10;
  static constexpr uint32_t kConnectionsPerWindowInAll = 30;
  static constexpr uint64_t kWindowMs = 60 * 1000;
  static constexpr size_t kAddresses = 32;
  static constexpr size_t kReasons = 6;  // distinct ways to end, per address

  explicit ConnectionLogGate(Log* log) : log_(log) {}

  // A connection from `ipv4` (network byte order) at `nowMs`. True: log its
  // lines as usual; false: it is counted, and its lines are not written.
  bool connected(uint32_t ipv4, uint64_t nowMs);
  // A connection that connected() counted ended; `why` is the text its line
  // would have said, and must live as long as the gate (a literal, or a
  // buffer of the server's).
  void closedQuietly(uint32_t ipv4, const char* why, uint64_t nowMs);
  // Writes the count of every address whose minute is over. Cheap to call
  // every pass: one comparison until a count is due.
  void flush(uint64_t nowMs);
  // Writes every count now (the program stops).
  void flushAll();

 private:
  struct Reason {
    const char* why = nullptr;
    uint32_t count = 0;
  };
  struct Address {
    uint32_t ipv4 = 0;
    bool used = false;
    uint64_t windowStartMs = 0;
    uint64_t lastSeenMs = 0;
    uint32_t connections = 0;  // in this window, logged or not
    uint32_t quiet = 0;        // counted, not logged, since the last summary
    std::array<Reason, kReasons> reasons{};
    uint32_t otherCloses = 0;  // closes beyond kReasons distinct texts
  };
  Address& slotFor(uint32_t ipv4, uint64_t nowMs);
  // Moves an address's counts into others_.
  void fold(Address& address, uint64_t nowMs);
  static void addClose(Address& address, const char* why, uint32_t count);
  void summarize(Address& address);
  bool pending(const Address& address) const;
  void scheduleFlush(const Address& address);

  Log* log_;
  std::array<Address, kAddresses> addresses_{};
  Address others_{.used = true};  // addresses no longer followed (never in the table)
  uint64_t allWindowStartMs_ = 0;
  uint32_t allLogged_ = 0;  // connections logged one by one in that minute
  uint64_t nextFlushMs_ = UINT64_MAX;
};

}  // namespace tavrin
