// The local IPv4 addresses (getifaddrs) and the computer's name, for the
// address line and the discovery datagrams.
#pragma once
#include "seams/network_info.h"

namespace tavrin {

class LocalNetwork final : public NetworkInfo {
 public:
  // Every interface that is up and has an IPv4 address, in the order the
  // system lists them; an interface without a broadcast address (a
  // point-to-point link) gets its own address's network broadcast.
  bool addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) override;
  // The host name up to its first dot, upper case, at most 15 letters: the
  // form a Windows computer announces, which the phone shows.
  int32_t computerName(char* name, uint32_t capacity) override;
};

}  // namespace tavrin
