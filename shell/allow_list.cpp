#include "shell/allow_list.h"

#include "base/ipv4_text.h"

#include <algorithm>

namespace tavrin {
namespace {

const wchar_t kHexDigits[] = L"0123456789abcdef";

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool StartsWith(const wchar_t* text, size_t length, const wchar_t* prefix, size_t prefixLength) {
  return length >= prefixLength && std::equal(prefix, prefix + prefixLength, text);
}

// "aa-bb-cc-dd-ee-ff", exactly.
bool ParseMac(const wchar_t* text, size_t length, MacAddress& mac) {
  if (length != 17) return false;
  for (size_t i = 0; i < 6; ++i) {
    const wchar_t* pair = text + i * 3;
    const int high = HexValue(pair[0]);
    const int low = HexValue(pair[1]);
    if (high < 0 || low < 0) return false;
    if (i < 5 && pair[2] != L'-') return false;
    mac[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return IsPhoneMac(mac);
}

// Four decimal bytes without leading zeros ("010" could be read as octal by
// another tool and so name another address), nothing else.
bool ParseDotted(const wchar_t* text, size_t length, uint32_t& networkOrder) {
  uint8_t bytes[4];
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= length || text[at] != L'.') return false;
      ++at;
    }
    const size_t start = at;
    unsigned value = 0;
    while (at < length && at - start < 3 && text[at] >= L'0' && text[at] <= L'9') {
      value = value * 10 + static_cast<unsigned>(text[at] - L'0');
      ++at;
    }
    const size_t digits = at - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == L'0')) return false;
    bytes[part] = static_cast<uint8_t>(value);
  }
  if (at != length) return false;
  networkOrder = 0;
  auto* out = reinterpret_cast<uint8_t*>(&networkOrder);
  std::copy(bytes, bytes + 4, out);
  return networkOrder != 0;
}

}  // namespace

bool IsPhoneMac(const MacAddress& mac) {
  const bool allZero = std::all_of(mac.begin(), mac.end(), [](uint8_t b) { return b == 0; });
  const bool group = (mac[0] & 0x01) != 0;
  return !allZero && !group;
}

PhoneIdentity IdentityFor(uint32_t ipv4, const MacAddress* mac) {
  PhoneIdentity identity;
  if (mac != nullptr && IsPhoneMac(*mac)) {
    identity.kind = PhoneIdentity::Kind::Mac;
    identity.mac = *mac;
  } else {
    identity.ipv4 = ipv4;
  }
  return identity;
}

bool AllowList::contains(const PhoneIdentity& identity) const {
  return std::find(entries_.begin(), entries_.begin() + count_, identity) != entries_.begin() + count_;
}

void AllowList::add(const PhoneIdentity& identity) {
  if (contains(identity)) return;
  if (count_ == kCapacity) {
    std::move(entries_.begin() + 1, entries_.end(), entries_.begin());
    --count_;
  }
  entries_[count_++] = identity;
}

size_t FormatIdentity(const PhoneIdentity& identity, wchar_t (&text)[AllowList::kEntryCapacity]) {
  size_t length = 0;
  auto put = [&](wchar_t c) { text[length++] = c; };
  if (identity.kind == PhoneIdentity::Kind::Mac) {
    for (const wchar_t c : {L'm', L'a', L'c', L':'}) put(c);
    for (size_t i = 0; i < 6; ++i) {
      if (i > 0) put(L'-');
      put(kHexDigits[identity.mac[i] >> 4]);
      put(kHexDigits[identity.mac[i] & 0x0F]);
    }
  } else {
    for (const wchar_t c : {L'i', L'p', L':'}) put(c);
    wchar_t dotted[kIpv4TextCapacity];
    const size_t dottedLength = FormatIpv4(identity.ipv4, dotted);
    for (size_t i = 0; i < dottedLength; ++i) put(dotted[i]);
  }
  text[length] = L'\0';
  return length;
}

bool ParseIdentity(const wchar_t* text, size_t length, PhoneIdentity& identity) {
  PhoneIdentity parsed;
  if (StartsWith(text, length, L"mac:", 4)) {
    parsed.kind = PhoneIdentity::Kind::Mac;
    if (!ParseMac(text + 4, length - 4, parsed.mac)) return false;
  } else if (StartsWith(text, length, L"ip:", 3)) {
    if (!ParseDotted(text + 3, length - 3, parsed.ipv4)) return false;
  } else {
    return false;
  }
  identity = parsed;
  return true;
}

size_t AllowList::format(wchar_t* text, size_t capacity) const {
  wchar_t entry[kEntryCapacity];
  size_t needed = count_ == 0 ? 2 : 1;
  for (size_t i = 0; i < count_; ++i) needed += FormatIdentity(entries_[i], entry) + 1;
  if (text == nullptr || capacity < needed) return 0;
  size_t at = 0;
  for (size_t i = 0; i < count_; ++i) {
    const size_t length = FormatIdentity(entries_[i], entry);
    std::copy(entry, entry + length + 1, text + at);
    at += length + 1;
  }
  if (count_ == 0) text[at++] = L'\0';
  text[at++] = L'\0';
  return at;
}

AllowList AllowList::parse(const wchar_t* text, size_t units) {
  AllowList list;
  size_t at = 0;
  while (at < units && list.count_ < kCapacity) {
    size_t end = at;
    while (end < units && text[end] != L'\0') ++end;
    if (end == at) break;  // the empty entry closes the list
    PhoneIdentity identity;
    // Longer than any valid entry: skipped without being looked at.
    if (end - at < kEntryCapacity && ParseIdentity(text + at, end - at, identity) && !list.contains(identity))
      list.entries_[list.count_++] = identity;
    at = end + 1;
  }
  return list;
}

}  // namespace tavrin
