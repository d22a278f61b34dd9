// The dotted-decimal form of an IPv4 address, the one way the program writes
// one: in the log, the tray menu, the tooltip, the prompt and the allow list.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tavrin {

// Room for the longest form, "255.255.255.255", and its terminating zero.
constexpr size_t kIpv4TextCapacity = 16;

// Writes the address given in network byte order (as in sockaddr_in and the
// address table: first byte first) with its terminating zero; returns its
// length, at most 15. Char is char or wchar_t.
template <typename Char>
size_t FormatIpv4(uint32_t networkOrder, Char (&text)[kIpv4TextCapacity]) {
  unsigned char bytes[4];
  std::memcpy(bytes, &networkOrder, sizeof bytes);
  size_t length = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text[length++] = static_cast<Char>('.');
    const unsigned value = bytes[i];
    if (value >= 100) text[length++] = static_cast<Char>('0' + value / 100);
    if (value >= 10) text[length++] = static_cast<Char>('0' + value / 10 % 10);
    text[length++] = static_cast<Char>('0' + value % 10);
  }
  text[length] = static_cast<Char>(0);
  return length;
}

// The narrow form as a value, for a log line's "%s".
struct Ipv4Text {
  char text[kIpv4TextCapacity];
  explicit Ipv4Text(uint32_t networkOrder) { FormatIpv4(networkOrder, text); }
};

}  // namespace tavrin
