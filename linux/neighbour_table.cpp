#include "linux/neighbour_table.h"

#include <cstdio>
#include <string>

#include "base/ipv4_text.h"
#include "linux/posix_handles.h"

namespace tavrin {

namespace {

// The next field of a line (split on spaces and tabs), advancing `rest`.
std::string_view NextField(std::string_view& rest) {
  size_t begin = rest.find_first_not_of(" \t");
  if (begin == std::string_view::npos) {
    rest = {};
    return {};
  }
  size_t end = rest.find_first_of(" \t", begin);
  if (end == std::string_view::npos) end = rest.size();
  std::string_view field = rest.substr(begin, end - begin);
  rest.remove_prefix(end);
  return field;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "aa:bb:cc:dd:ee:ff", exactly.
bool ParseMac(std::string_view text, MacAddress& mac) {
  if (text.size() != 17) return false;
  for (size_t i = 0; i < 6; ++i) {
    const int high = HexDigit(text[i * 3]);
    const int low = HexDigit(text[i * 3 + 1]);
    if (high < 0 || low < 0 || (i < 5 && text[i * 3 + 2] != ':')) return false;
    mac[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

// "0x2" and the like.
bool ParseHexFlags(std::string_view text, unsigned& value) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
  value = 0;
  for (size_t i = 2; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || value > 0xFFFFFFu) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return true;
}

constexpr unsigned kCompleteEntry = 0x2;  // ATF_COM

}  // namespace

bool FindNeighbourAddress(std::string_view arpTable, uint32_t ipv4, MacAddress& mac) {
  char wanted[kIpv4TextCapacity];
  const std::string_view address(wanted, FormatIpv4(ipv4, wanted));
  bool header = true;
  while (!arpTable.empty()) {
    size_t end = arpTable.find('\n');
    std::string_view line = arpTable.substr(0, end);
    arpTable.remove_prefix(end == std::string_view::npos ? arpTable.size() : end + 1);
    if (header) {  // "IP address  HW type  Flags  HW address  Mask  Device"
      header = false;
      continue;
    }
    if (NextField(line) != address) continue;
    NextField(line);  // hardware type
    unsigned flags = 0;
    if (!ParseHexFlags(NextField(line), flags) || (flags & kCompleteEntry) == 0) continue;
    MacAddress found{};
    if (!ParseMac(NextField(line), found)) continue;
    mac = found;
    return true;
  }
  return false;
}

bool ProcNeighbourTable::hardwareAddress(uint32_t ipv4, MacAddress& mac) noexcept {
  try {
    const unique_file file(std::fopen("/proc/net/arp", "re"));
    if (!file) return false;
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
    return FindNeighbourAddress(text, ipv4, mac);
  } catch (...) {  // out of memory: no answer
    return false;
  }
}

}  // namespace tavrin
