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
  // Its counts join those of the addresses no longer followed: writing them
  // out now would give a flood from many addresses a line per address.
  if (oldest->used) fold(*oldest, nowMs);
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
  if (nowMs - allWindowStartMs_ >= kWindowMs) {
    allWindowStartMs_ = nowMs;
    allLogged_ = 0;
  }
  if (++address.connections <= kConnectionsPerWindow && allLogged_ < kConnectionsPerWindowInAll) {
    ++allLogged_;
    return true;
  }
  ++address.quiet;
  scheduleFlush(address);
  return false;
}

void ConnectionLogGate::fold(Address& address, uint64_t nowMs) {
  if (!pending(address)) return;
  if (!pending(others_)) others_.windowStartMs = nowMs;
  others_.quiet += address.quiet;
  others_.otherCloses += address.otherCloses;
  for (const Reason& reason : address.reasons)
    if (reason.count > 0) addClose(others_, reason.why, reason.count);
  scheduleFlush(others_);
}

void ConnectionLogGate::addClose(Address& address, const char* why, uint32_t count) {
  for (Reason& reason : address.reasons) {
    if (reason.why == nullptr) reason.why = why;
    if (std::strcmp(reason.why, why) == 0) {
      reason.count += count;
      return;
    }
  }
  address.otherCloses += count;
}

void ConnectionLogGate::closedQuietly(uint32_t ipv4, const char* why, uint64_t nowMs) {
  Address* counted = &others_;  // its address is followed no longer
  for (Address& address : addresses_)
    if (address.used && address.ipv4 == ipv4) counted = &address;
  if (counted == &others_ && !pending(others_)) others_.windowStartMs = nowMs;
  addClose(*counted, why, 1);
  scheduleFlush(*counted);
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
    char phone[40];
    if (&address == &others_)
      std::snprintf(phone, sizeof phone, "phones at other addresses");
    else
      std::snprintf(phone, sizeof phone, "phone %s", Ipv4Text(address.ipv4).text);
    log_->write(LogLevel::Info, "%s: %u more connections in the past minute, not logged one by one; closed: %s", phone,
                address.quiet, at > 0 ? closes : "none");
  }
  address.quiet = 0;
  address.otherCloses = 0;
  address.reasons = {};
}

void ConnectionLogGate::flush(uint64_t nowMs) {
  if (nowMs < nextFlushMs_) return;
  nextFlushMs_ = UINT64_MAX;
  auto due = [&](Address& address) {
    if (!pending(address)) return;
    if (nowMs - address.windowStartMs >= kWindowMs) {
      summarize(address);
      // The counts of the next minute are due a minute from now.
      address.windowStartMs = nowMs;
      address.connections = 0;
    } else {
      scheduleFlush(address);
    }
  };
  for (Address& address : addresses_) due(address);
  due(others_);
}

void ConnectionLogGate::flushAll() {
  for (Address& address : addresses_) summarize(address);
  summarize(others_);
  nextFlushMs_ = UINT64_MAX;
}

}  // namespace tavrin
