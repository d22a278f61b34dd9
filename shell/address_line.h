// The list of local IPv4 addresses shown in the tray tooltip, the start-up
// balloon and the tray menu.
#pragma once
#include <cstddef>
#include <cstdint>

#include "seams/network_info.h"

namespace tavrin {

// Room for the texts the address line goes into, terminating zero included:
// the tooltip (after "Tavrin\n") and the balloon text.
constexpr size_t kTipCapacity = 128;
// What the address list follows in the tip, the start balloon and the menu.
inline constexpr wchar_t kAddressPrefix[] = L"IP Address : ";
constexpr size_t kBalloonTextCapacity = 256;

// Appends the addresses of `rows` to the zero-terminated `text`, which has
// room for `capacity` units: every row in table order except 127.0.0.1, each
// followed by one space unless it is the table's last row. An address that
// does not fit whole is left out together with everything after it, so the
// line never ends in a broken address. Returns the new length of `text`.
size_t AppendAddressList(wchar_t* text, size_t capacity, const AddressRow* rows, uint32_t count);

// AddressRow::reach of an address on an adapter: 0 up with a default
// gateway (the network a phone is on), 1 any other, 2 a virtual one (Hyper-V,
// WSL, a VPN), which no phone on the Wi-Fi can reach.
uint8_t AddressReach(bool up, bool hasGateway, bool isVirtual);
// Whether an adapter's name or description says it is virtual ("vEthernet
// (WSL)", "Hyper-V Virtual Ethernet Adapter", "TAP-Windows Adapter V9"...).
bool IsVirtualAdapterName(const wchar_t* name);
// Puts the addresses a phone can use first: by reach, table order among
// equals. Every row stays in the list.
void OrderByReach(AddressRow* rows, uint32_t count);

}  // namespace tavrin
