#include "linux/local_network.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "base/unique_any.h"

namespace tavrin {

namespace {
using unique_ifaddrs = unique_any<ifaddrs*, freeifaddrs>;
constexpr uint32_t kComputerNameLength = 15;
}  // namespace

bool LocalNetwork::addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) {
  count = 0;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  const unique_ifaddrs owner(list);
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_UP) == 0) continue;
    AddressRow row;
    row.address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
    if (entry->ifa_netmask) row.mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr;
    if ((entry->ifa_flags & IFF_BROADCAST) && entry->ifa_broadaddr)
      row.broadcast = reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr)->sin_addr.s_addr;
    else
      row.broadcast = row.address | ~row.mask;
    if (count < capacity) rows[count] = row;
    ++count;
  }
  return true;
}

int32_t LocalNetwork::computerName(char* name, uint32_t capacity) {
  char host[256] = {};
  if (capacity == 0 || gethostname(host, sizeof host - 1) != 0) return -1;
  uint32_t length = 0;
  while (host[length] && host[length] != '.' && length < kComputerNameLength && length + 1 < capacity) {
    name[length] = static_cast<char>(std::toupper(static_cast<unsigned char>(host[length])));
    ++length;
  }
  name[length] = 0;
  return static_cast<int32_t>(length);
}

}  // namespace tavrin
