#include "server/connection_log.h"

#include "base/ipv4_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tavrin {

ConnectionLogGate::Address& ConnectionLogGate::slotFor(uint32_t ipv4, uint64_t nowMs) {
  Address* oldest = &addresses_[0];
  for (Address& address : addresses_) {
    if (address.used && address.ipv4 == ipv4) return address;
    if (!address.used) {
      oldest = &address;
      break;
    }
    if (address.lastSeenMs < oldest->lastSeenMs) oldest = &address;
  }
  if (oldest->used) summarize(*oldest);
  *oldest = Address{};
  oldest->used = true;
  oldest->ipv4 = ipv4;
  oldest->windowStartMs = nowMs;
  return *oldest;
}

bool ConnectionLogGate::connected(uint32_t ipv4, uint64_t nowMs) {
  Address& address = slotFor(ipv4, nowMs);
  address.lastSeenMs = nowMs;
  if (nowMs - address.windowStartMs >= kWindowMs) {
    summarize(address);
    address.windowStartMs = nowMs;
    address.connections = 0;
  }
  if (++address.connections <= kConnectionsPerWindow) return true;
  ++address.quiet;
  scheduleFlush(address);
  return false;
}

void ConnectionLogGate::closedQuietly(uint32_t ipv4, const char* why) {
  for (Address& address : addresses_) {
    if (!address.used || address.ipv4 != ipv4) continue;
    for (Reason& reason : address.reasons) {
      if (reason.why == nullptr) reason.why = why;
      if (std::strcmp(reason.why, why) == 0) {
        ++reason.count;
        scheduleFlush(address);
        return;
      }
    }
    ++address.otherCloses;
    scheduleFlush(address);
    return;
  }
  // Its address was followed no longer (a flood from many addresses): the
  // close is lost from the counts, as its connection was.
}

bool ConnectionLogGate::pending(const Address& address) const {
  return address.used && (address.quiet > 0 || address.otherCloses > 0 || address.reasons[0].count > 0);
}

void ConnectionLogGate::scheduleFlush(const Address& address) {
  nextFlushMs_ = std::min(nextFlushMs_, address.windowStartMs + kWindowMs);
}

void ConnectionLogGate::summarize(Address& address) {
  if (!pending(address)) return;
  if (log_ != nullptr) {
    char closes[320] = {};
    size_t at = 0;
    auto add = [&](const char* format, uint32_t count, const char* why) {
      if (at >= sizeof closes) return;
      const int n = std::snprintf(closes + at, sizeof closes - at, format, at == 0 ? "" : ", ", count, why);
      if (n > 0) at = std::min(sizeof closes, at + static_cast<size_t>(n));
    };
    for (const Reason& reason : address.reasons)
      if (reason.count > 0) add("%s%u %s", reason.count, reason.why);
    if (address.otherCloses > 0) add("%s%u %s", address.otherCloses, "for other reasons");
    log_->write(LogLevel::Info, "phone %s: %u more connections in the past minute, not logged one by one; closed: %s",
                Ipv4Text(address.ipv4).text, address.quiet, at > 0 ? closes : "none");
  }
  address.quiet = 0;
  address.otherCloses = 0;
  address.reasons = {};
}

void ConnectionLogGate::flush(uint64_t nowMs) {
  if (nowMs < nextFlushMs_) return;
  nextFlushMs_ = UINT64_MAX;
  for (Address& address : addresses_) {
    if (!pending(address)) continue;
    if (nowMs - address.windowStartMs >= kWindowMs) {
      summarize(address);
      // The counts of the next minute are due a minute from now.
      address.windowStartMs = nowMs;
      address.connections = 0;
    } else {
      scheduleFlush(address);
    }
  }
}

void ConnectionLogGate::flushAll() {
  for (Address& address : addresses_) summarize(address);
  nextFlushMs_ = UINT64_MAX;
}

}  // namespace tavrin
