// A phone's hardware address from the kernel's neighbour table as
// /proc/net/arp shows it: read as it stands, never waiting on the network.
#pragma once
#include <cstdint>
#include <string_view>

#include "shell/allow_list.h"
#include "shell/phone_roster.h"

namespace tavrin {

// Finds the row of `ipv4` (network byte order) in the text of /proc/net/arp
// and reads its hardware address. Only a complete entry counts (flag 0x2):
// an entry still being resolved, or one that failed, carries zeros or a
// stale address. False when there is no such row or it does not parse.
bool FindNeighbourAddress(std::string_view arpTable, uint32_t ipv4, MacAddress& mac);

// The table of this computer, read afresh for every question.
class ProcNeighbourTable final : public NeighbourTable {
 public:
  bool hardwareAddress(uint32_t ipv4, MacAddress& mac) noexcept override;
};

}  // namespace tavrin
