#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "shell/address_line.h"
#include "shell/autorun_value.h"

namespace tavrin {
namespace {

AddressRow Row(const char* dotted) { return AddressRow{inet_addr(dotted), 0, 0, 1}; }

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

TEST(AddressLine, AddressesAPhoneCanUseComeFirstAndNoneIsDropped) {
  AddressRow wsl = Row("172.29.0.1"), vpn = Row("10.8.0.2"), wifi = Row("192.168.1.5"), cable = Row("10.0.0.2");
  wsl.reach = AddressReach(true, false, IsVirtualAdapterName(L"vEthernet (WSL)"));
  vpn.reach = AddressReach(true, true, IsVirtualAdapterName(L"TAP-Windows Adapter V9"));
  wifi.reach = AddressReach(true, true, IsVirtualAdapterName(L"Intel(R) Wi-Fi 6 AX201 160MHz"));
  cable.reach = AddressReach(false, false, IsVirtualAdapterName(L"Realtek PCIe GbE Family Controller"));
  std::vector<AddressRow> rows{wsl, vpn, Row("127.0.0.1"), cable, wifi};
  OrderByReach(rows.data(), static_cast<uint32_t>(rows.size()));
  EXPECT_EQ(Append(L"", rows), L"192.168.1.5 10.0.0.2 172.29.0.1 10.8.0.2");
  EXPECT_FALSE(IsVirtualAdapterName(nullptr));
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

  // Task Manager's Startup tab: odd first byte disabled, even enabled.
  const uint8_t disabled[12] = {3, 0, 0, 0, 0x5e, 0x1f, 0x3a, 0x6b, 0x9c, 0x2d, 0xda, 0x01};
  EXPECT_TRUE(StartupApprovedDisables(disabled, sizeof disabled));
  EXPECT_FALSE(StartupApprovedDisables(kStartupApprovedEnabled, sizeof kStartupApprovedEnabled));
  EXPECT_FALSE(StartupApprovedDisables(disabled, 0));
}

}  // namespace
}  // namespace tavrin
