#include "shell/address_line.h"

#include <cstring>

namespace tavrin {

size_t FormatDottedAddress(uint32_t networkOrderAddress, char (&text)[16]) {
  unsigned char octets[4];
  std::memcpy(octets, &networkOrderAddress, sizeof octets);
  size_t length = 0;
  for (int i = 0; i < 4; ++i) {
    if (i) text[length++] = '.';
    const unsigned value = octets[i];
    if (value >= 100) text[length++] = static_cast<char>('0' + value / 100);
    if (value >= 10) text[length++] = static_cast<char>('0' + value / 10 % 10);
    text[length++] = static_cast<char>('0' + value % 10);
  }
  text[length] = '\0';
  return length;
}

size_t AppendAddressList(wchar_t* text, size_t capacity, const AddressRow* rows, uint32_t count) {
  if (capacity == 0) return 0;
  size_t length = 0;
  while (length < capacity - 1 && text[length]) ++length;
  text[length] = L'\0';
  for (uint32_t i = 0; i < count; ++i) {
    if (IsLoopbackAddress(rows[i].address)) continue;
    char dotted[16];
    const size_t addressLength = FormatDottedAddress(rows[i].address, dotted);
    if (length + addressLength > capacity - 1) break;
    for (size_t k = 0; k < addressLength; ++k) text[length++] = static_cast<wchar_t>(dotted[k]);
    if (i + 1 < count) {
      if (length + 1 > capacity - 1) break;
      text[length++] = L' ';
    }
  }
  text[length] = L'\0';
  return length;
}

}  // namespace tavrin
