#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "shell/allow_list.h"

namespace tavrin {
namespace {

PhoneIdentity Ip(const char* dotted) { return IdentityFor(inet_addr(dotted), nullptr); }
PhoneIdentity Mac(MacAddress mac) { return IdentityFor(inet_addr("10.0.0.9"), &mac); }

// The registry form of a list of entries: each with its zero, then the closing zero.
std::wstring Multi(const std::vector<std::wstring>& entries) {
  std::wstring text;
  for (const auto& entry : entries) text += entry + L'\0';
  return text + L'\0';
}

std::wstring Format(const AllowList& list) {
  std::wstring text(AllowList::kTextCapacity, L'#');
  const size_t units = list.format(text.data(), text.size());
  return text.substr(0, units);
}

AllowList Parse(const std::wstring& text) { return AllowList::parse(text.data(), text.size()); }

TEST(AllowList, IdentityIsTheMacOnlyWhenItCanNameAPhone) {
  const MacAddress phone{0x3c, 0x22, 0xfb, 0x01, 0x02, 0x03};
  const PhoneIdentity byMac = IdentityFor(inet_addr("192.168.1.20"), &phone);
  EXPECT_EQ(byMac.kind, PhoneIdentity::Kind::Mac);
  EXPECT_EQ(byMac.mac, phone);
  // The same phone after DHCP gave it another address is the same identity.
  EXPECT_EQ(byMac, IdentityFor(inet_addr("192.168.1.77"), &phone));

  // Off the link, an unresolved entry (zeros), or a group address: the IP.
  for (const MacAddress& mac : {MacAddress{}, MacAddress{0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
                                MacAddress{0x01, 0x00, 0x5e, 0x00, 0x00, 0x01}}) {
    const PhoneIdentity identity = IdentityFor(inet_addr("192.168.1.20"), &mac);
    EXPECT_EQ(identity.kind, PhoneIdentity::Kind::Ip);
    EXPECT_EQ(identity.ipv4, inet_addr("192.168.1.20"));
  }
  EXPECT_EQ(Ip("10.8.0.3").kind, PhoneIdentity::Kind::Ip);
  EXPECT_NE(Ip("10.8.0.3"), Ip("10.8.0.4"));
}

TEST(AllowList, RoundTripsThroughTheRegistryForm) {
  AllowList list;
  list.add(Mac({0x3c, 0x22, 0xfb, 0xa0, 0x0b, 0xff}));
  list.add(Ip("10.0.0.7"));
  list.add(Ip("255.254.100.1"));
  list.add(Ip("10.0.0.7"));  // already there
  EXPECT_EQ(list.size(), 3u);
  const std::wstring text = Format(list);
  EXPECT_EQ(text, Multi({L"mac:3c-22-fb-a0-0b-ff", L"ip:10.0.0.7", L"ip:255.254.100.1"}));
  const AllowList back = Parse(text);
  ASSERT_EQ(back.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(back[i], list[i]);

  // An empty list is an empty entry list, and reads back empty.
  EXPECT_EQ(Format(AllowList{}), std::wstring(2, L'\0'));
  EXPECT_EQ(Parse(std::wstring(2, L'\0')).size(), 0u);
  EXPECT_EQ(AllowList::parse(nullptr, 0).size(), 0u);

  // A full list of the longest entries fits the stated capacity exactly; one
  // unit less is refused without writing past it.
  AllowList full;
  for (size_t i = 0; i < AllowList::kCapacity + 1; ++i) full.add(Mac({0x02, 0, 0, 0, 0, static_cast<uint8_t>(i)}));
  EXPECT_EQ(full.size(), AllowList::kCapacity);
  EXPECT_FALSE(full.contains(Mac({0x02, 0, 0, 0, 0, 0})));  // the oldest made room
  EXPECT_TRUE(full.contains(Mac({0x02, 0, 0, 0, 0, AllowList::kCapacity})));
  std::vector<wchar_t> text2(AllowList::kTextCapacity + 1, L'#');
  EXPECT_EQ(full.format(text2.data(), AllowList::kTextCapacity - 1), 0u);
  EXPECT_EQ(text2[0], L'#');
  EXPECT_EQ(full.format(text2.data(), AllowList::kTextCapacity), AllowList::kTextCapacity);
  EXPECT_EQ(text2[AllowList::kTextCapacity], L'#');
  EXPECT_EQ(AllowList::parse(text2.data(), AllowList::kTextCapacity).size(), AllowList::kCapacity);

  full.clear();
  EXPECT_FALSE(full.contains(Mac({0x02, 0, 0, 0, 0, 5})));
}

TEST(AllowList, SkipsWhatAnotherProgramCorrupted) {
  const AllowList list = Parse(Multi({
      L"ip:10.0.0.7",
      L"ip:010.0.0.8",             // a leading zero reads as octal elsewhere
      L"ip:10.0.0.256", L"ip:10.0.0", L"ip:10.0.0.1.2", L"ip:10..0.1", L"ip:0.0.0.0",
      L" ip:10.0.0.9", L"ip:10.0.0.9 ", L"IP:10.0.0.9", L"ip:",
      L"mac:00-00-00-00-00-00",    // an unresolved neighbour entry
      L"mac:ff-ff-ff-ff-ff-ff", L"mac:3c-22-fb-01-02", L"mac:3c:22:fb:01:02:03", L"mac:3c-22-fb-01-02-0g",
      L"mac:3C-22-FB-01-02-03",    // upper case hex is still that address
      std::wstring(5000, L'x'),    // oversized: skipped unread
      L"ip:10.0.0.7",              // a duplicate
      L"mac:3c-22-fb-01-02-03",
  }));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], Ip("10.0.0.7"));
  EXPECT_EQ(list[1], Mac({0x3c, 0x22, 0xfb, 0x01, 0x02, 0x03}));

  // Reading stops at the empty entry or at the stated size, whichever comes
  // first; a last entry without its zero still counts.
  EXPECT_EQ(Parse(Multi({L"ip:10.0.0.1"}) + Multi({L"ip:10.0.0.2"})).size(), 1u);
  const std::wstring cut = L"ip:10.0.0.1";
  EXPECT_EQ(AllowList::parse(cut.data(), cut.size()).size(), 1u);
  EXPECT_EQ(AllowList::parse(cut.data(), 5).size(), 0u);  // "ip:10" is no address

  // More entries than the cap: the first kCapacity are kept.
  std::vector<std::wstring> many;
  for (int i = 1; i <= 200; ++i) many.push_back(L"ip:10.0." + std::to_wstring(i / 100) + L"." + std::to_wstring(i % 100 + 1));
  const AllowList capped = Parse(Multi(many));
  EXPECT_EQ(capped.size(), AllowList::kCapacity);
  EXPECT_TRUE(capped.contains(Ip("10.0.0.2")));
  EXPECT_FALSE(capped.contains(Ip("10.0.2.1")));
}

}  // namespace
}  // namespace tavrin
