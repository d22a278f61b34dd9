// The local network as the worker and the roster see it: the address table,
// the computer's name and the neighbour table.
// Winsock's header comes first: the address table's header builds on it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "app/win32_platform.h"

#include <iphlpapi.h>
#include <netioapi.h>

#include <cstdlib>
#include <cstring>

#include "base/unique_any.h"

namespace tavrin {

namespace {

void FreeNeighbourTable(MIB_IPNET_TABLE2* table) noexcept { FreeMibTable(table); }

}  // namespace

bool Win32NeighbourTable::hardwareAddress(uint32_t ipv4, MacAddress& mac) noexcept {
  unique_any<MIB_IPNET_TABLE2*, FreeNeighbourTable> table;
  if (GetIpNetTable2(AF_INET, table.put()) != NO_ERROR || !table) return false;
  bool found = false;
  for (ULONG i = 0; i < table->NumEntries && !found; ++i) {
    const MIB_IPNET_ROW2& row = table->Table[i];
    if (row.Address.Ipv4.sin_addr.s_addr != ipv4 || row.PhysicalAddressLength != mac.size()) continue;
    if (row.State == NlnsUnreachable || row.State == NlnsIncomplete) continue;
    for (size_t b = 0; b < mac.size(); ++b) mac[b] = row.PhysicalAddress[b];
    found = true;
  }
  return found;
}

bool Win32NetworkInfo::readTable() {
  // Ask with a token buffer first; the call reports the size it needs.
  ULONG size = 0;
  unique_malloc<MIB_IPADDRTABLE> owned(static_cast<MIB_IPADDRTABLE*>(std::malloc(sizeof(MIB_IPADDRTABLE))));
  if (!owned) return false;
  DWORD result = GetIpAddrTable(owned.get(), &size, FALSE);
  if (result == ERROR_INSUFFICIENT_BUFFER) {
    owned.reset(static_cast<MIB_IPADDRTABLE*>(std::malloc(size)));
    if (!owned) return false;
    result = GetIpAddrTable(owned.get(), &size, FALSE);
  }
  if (result != NO_ERROR) return false;
  const MIB_IPADDRTABLE* table = owned.get();
  keptCount_ = table->dwNumEntries;
  for (uint32_t i = 0; i < keptCount_ && i < kKeptRows; ++i) {
    kept_[i] = AddressRow{};
    kept_[i].address = table->table[i].dwAddr;
    kept_[i].mask = table->table[i].dwMask;
    kept_[i].broadcast = table->table[i].dwBCastAddr;
  }
  return true;
}

bool Win32NetworkInfo::addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) {
  const uint64_t now = GetTickCount64();
  if (stale_.exchange(false, std::memory_order_acq_rel) || !haveTable_ || now - readAtMs_ >= kLongestKeptMs) {
    haveTable_ = readTable();
    readAtMs_ = now;
    if (!haveTable_) {
      stale_.store(true, std::memory_order_release);  // try again next time
      return false;
    }
  }
  count = keptCount_;
  for (uint32_t i = 0; i < count && i < capacity && i < kKeptRows; ++i) rows[i] = kept_[i];
  if (count > kKeptRows) count = kKeptRows;
  return true;
}

int32_t Win32NetworkInfo::computerName(char* name, uint32_t capacity) {
  if (name == nullptr || capacity == 0) return -1;
  if (nameLength_ < 0) {
    DWORD size = sizeof name_;
    if (!GetComputerNameA(name_, &size)) return -1;
    nameLength_ = static_cast<int32_t>(size);
  }
  if (static_cast<uint32_t>(nameLength_) >= capacity) return -1;
  std::memcpy(name, name_, static_cast<size_t>(nameLength_) + 1);
  return nameLength_;
}

}  // namespace tavrin
