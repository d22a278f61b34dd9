// The phones the user chose to "Always Allow", remembered per user.
//
// A phone is remembered by its hardware (MAC) address when it is on the local
// link, because a DHCP server hands the same phone a different IPv4 address
// from one day to the next; otherwise (a phone behind a router, or one whose
// neighbour entry could not be read) by its IPv4 address.
//
// The list is stored by the application as one registry value: a list of
// zero-terminated entries ended by an empty one (the REG_MULTI_SZ layout),
// each "mac:aa-bb-cc-dd-ee-ff" or "ip:10.0.0.7". Another program can write
// anything into that value, so parsing trusts nothing: entries that are not
// exactly one of the two forms are skipped, and at most kCapacity entries
// are kept.
//
// Plain values, no lock: the roster guards the copy it uses.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrin {

using MacAddress = std::array<uint8_t, 6>;

struct PhoneIdentity {
  enum class Kind : uint8_t { Ip, Mac };
  Kind kind = Kind::Ip;
  uint32_t ipv4 = 0;  // network byte order, as in sockaddr_in; 0 for a MAC identity
  MacAddress mac{};   // zero for an IP identity

  friend bool operator==(const PhoneIdentity&, const PhoneIdentity&) = default;
};

// A neighbour entry that is not resolved yet carries an all-zero address, and
// group addresses never belong to one phone: neither can name a phone.
bool IsPhoneMac(const MacAddress& mac);

// The identity of a phone at `ipv4` (network byte order): its MAC when the
// neighbour table gave one that can name a phone (`mac` not null), else its
// address.
PhoneIdentity IdentityFor(uint32_t ipv4, const MacAddress* mac);

class AllowList {
 public:
  // More phones than anyone allows by hand; bounds what a corrupted value
  // can make us hold.
  static constexpr size_t kCapacity = 64;
  // Longest entry "mac:aa-bb-cc-dd-ee-ff" and its zero, for every entry,
  // and the closing empty entry: the text of a full list fits exactly.
  static constexpr size_t kEntryCapacity = 22;
  static constexpr size_t kTextCapacity = kCapacity * kEntryCapacity + 1;

  bool contains(const PhoneIdentity& identity) const;
  // Remembers `identity`; one already there is not added twice. A full list
  // forgets its oldest entry to make room: the user's latest choice counts.
  void add(const PhoneIdentity& identity);
  // "Forget Allowed Phones".
  void clear() { count_ = 0; }
  size_t size() const { return count_; }
  const PhoneIdentity& operator[](size_t index) const { return entries_[index]; }

  // Writes the registry form into `text` (room for `capacity` units): every
  // entry with its zero, then the closing zero. Returns the units written,
  // closing zero included (for the value's size in bytes, multiply by
  // sizeof(wchar_t)), or 0 when `capacity` is below what the list needs
  // (kTextCapacity is always enough); nothing is written past `capacity`.
  // An empty list is written as two zeros (an empty entry list).
  size_t format(wchar_t* text, size_t capacity) const;

  // Reads the registry form from the first `units` units of `text` (the
  // size the registry reported, zeros included). Reading stops at the empty
  // entry or at `units`, whichever comes first; a last entry without its
  // zero is taken all the same. Anything that is not a valid entry is
  // skipped; duplicates are kept once; entries past kCapacity are ignored.
  // Never reads past `units`; `text` may be null when `units` is 0.
  static AllowList parse(const wchar_t* text, size_t units);

 private:
  std::array<PhoneIdentity, kCapacity> entries_{};  // oldest first
  size_t count_ = 0;
};

// One entry in its text form, zero-terminated: "ip:10.0.0.7" or
// "mac:aa-bb-cc-dd-ee-ff". Returns its length (without the zero).
size_t FormatIdentity(const PhoneIdentity& identity, wchar_t (&text)[AllowList::kEntryCapacity]);
// Parses exactly one entry of `length` units (no zero needed); false when it
// is not one of the two forms (leading zeros in an address byte, a zero or
// group MAC, spaces or anything else around it included).
bool ParseIdentity(const wchar_t* text, size_t length, PhoneIdentity& identity);

}  // namespace tavrin
