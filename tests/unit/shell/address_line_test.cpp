#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "shell/address_line.h"
#include "shell/autorun_value.h"

namespace tavrin {
namespace {

AddressRow Row(const char* dotted) { return AddressRow{inet_addr(dotted), 0, 0}; }

std::wstring Append(const std::wstring& start, const std::vector<AddressRow>& rows, size_t capacity = 256) {
  std::vector<wchar_t> text(capacity + 1, L'#');  // one guard unit past the capacity
  for (size_t i = 0; i <= start.size(); ++i) text[i] = start.c_str()[i];
  const size_t length = AppendAddressList(text.data(), capacity, rows.data(), static_cast<uint32_t>(rows.size()));
  EXPECT_EQ(text[capacity], L'#');
  EXPECT_EQ(length, std::wstring(text.data()).size());
  return text.data();
}

TEST(AddressLine, ListsEveryAddressButLoopback) {
  EXPECT_EQ(Append(L"IP Address : ", {Row("10.0.0.2"), Row("192.168.1.5"), Row("127.0.0.1")}),
            L"IP Address : 10.0.0.2 192.168.1.5 ");
  EXPECT_EQ(Append(L"IP Address : ", {Row("127.0.0.1"), Row("10.0.0.2"), Row("192.168.1.5")}),
            L"IP Address : 10.0.0.2 192.168.1.5");
  EXPECT_EQ(Append(L"IP Address : ", {Row("127.0.0.1")}), L"IP Address : ");
  EXPECT_EQ(Append(L"IP Address : ", {}), L"IP Address : ");
  EXPECT_EQ(Append(L"", {Row("255.255.255.0"), Row("127.0.0.2")}), L"255.255.255.0 127.0.0.2");
}

TEST(AddressLine, KeepsOnlyWholeAddressesWhenTheLineIsFull) {
  std::vector<AddressRow> many(20, Row("192.168.100.200"));
  // The tip: "Tavrin\n" and the address line in 127 units.
  const std::wstring tip = Append(L"Tavrin\nIP Address : ", many, kTipCapacity);
  EXPECT_LE(tip.size(), kTipCapacity - 1);
  EXPECT_EQ(tip.substr(tip.size() - 16), L"192.168.100.200 ");
  const std::wstring balloon = Append(L"IP Address : ", many, kBalloonTextCapacity);
  EXPECT_LE(balloon.size(), kBalloonTextCapacity - 1);
  EXPECT_EQ((balloon.size() - 13) % 16, 0u);
  // Room for an address but not for its space: the address without it.
  EXPECT_EQ(Append(L"", {Row("10.0.0.2"), Row("10.0.0.3")}, 9), L"10.0.0.2");
  EXPECT_EQ(Append(L"", {Row("10.0.0.2")}, 8), L"");
}

TEST(AutorunValue, QuotesThePathAndCountsUtf16Bytes) {
  wchar_t value[kAutorunValueCapacity];
  EXPECT_EQ(BuildAutorunValue(L"C:\\Program Files\\Tavrin\\Tavrin.exe", value, kAutorunValueCapacity), 74u);
  EXPECT_EQ(std::wstring(value), L"\"C:\\Program Files\\Tavrin\\Tavrin.exe\"");
  const std::wstring longest(259, L'p');
  EXPECT_EQ(BuildAutorunValue(longest.c_str(), value, kAutorunValueCapacity), 262u * 2);
  EXPECT_EQ(BuildAutorunValue(L"", value, kAutorunValueCapacity), 0u);
  EXPECT_EQ(BuildAutorunValue(L"C:\\x.exe", value, 10), 0u);
  EXPECT_EQ(value[0], L'\0');
}

}  // namespace
}  // namespace tavrin
