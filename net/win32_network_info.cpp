#include "net/win32_network_info.h"

#include <windows.h>
#include <iphlpapi.h>

#include <cstdlib>

namespace tavrin {

bool Win32NetworkInfo::addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) {
  // A first guess that holds the table's header and one row; the call says
  // how much it really needs.
  ULONG size = 0;
  void* buffer = std::malloc(28);
  if (!buffer) return false;
  DWORD result = GetIpAddrTable(static_cast<PMIB_IPADDRTABLE>(buffer), &size, FALSE);
  if (result == ERROR_INSUFFICIENT_BUFFER) {
    std::free(buffer);
    buffer = std::malloc(size);
    if (!buffer) return false;
    result = GetIpAddrTable(static_cast<PMIB_IPADDRTABLE>(buffer), &size, FALSE);
  }
  if (result != NO_ERROR) {
    std::free(buffer);
    return false;
  }
  const MIB_IPADDRTABLE* table = static_cast<const MIB_IPADDRTABLE*>(buffer);
  count = table->dwNumEntries;
  for (uint32_t i = 0; i < count && i < capacity; ++i) {
    rows[i].address = table->table[i].dwAddr;
    rows[i].mask = table->table[i].dwMask;
    rows[i].broadcast = table->table[i].dwBCastAddr;
  }
  std::free(buffer);
  return true;
}

int32_t Win32NetworkInfo::computerName(char* name, uint32_t capacity) {
  DWORD size = capacity;
  if (!GetComputerNameA(name, &size)) return -1;
  return static_cast<int32_t>(size);
}

}  // namespace tavrin
