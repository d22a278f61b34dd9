#include "shell/address_line.h"

#include "base/ipv4_text.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace tavrin {

size_t AppendAddressList(wchar_t* text, size_t capacity, const AddressRow* rows, uint32_t count) {
  if (capacity == 0) return 0;
  size_t length = 0;
  while (length < capacity - 1 && text[length]) ++length;
  text[length] = L'\0';
  for (uint32_t i = 0; i < count; ++i) {
    if (IsLoopbackAddress(rows[i].address)) continue;
    char dotted[kIpv4TextCapacity];
    const size_t addressLength = FormatIpv4(rows[i].address, dotted);
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

uint8_t AddressReach(bool up, bool hasGateway, bool isVirtual) {
  if (isVirtual) return 2;
  return up && hasGateway ? 0 : 1;
}

bool IsVirtualAdapterName(const wchar_t* name) {
  static const wchar_t* const kWords[] = {L"hyper-v", L"vethernet", L"wsl",       L"virtualbox", L"vmware",
                                          L"vpn",     L"tap-",      L"wireguard", L"tunnel",     L"virtual"};
  if (name == nullptr) return false;
  wchar_t lower[256];
  size_t length = 0;
  for (; name[length] != L'\0' && length + 1 < 256; ++length)
    lower[length] = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(name[length])));
  lower[length] = L'\0';
  for (const wchar_t* word : kWords)
    if (std::wcsstr(lower, word) != nullptr) return true;
  return false;
}

void OrderByReach(AddressRow* rows, uint32_t count) {
  std::stable_sort(rows, rows + count, [](const AddressRow& a, const AddressRow& b) { return a.reach < b.reach; });
}

}  // namespace tavrin
