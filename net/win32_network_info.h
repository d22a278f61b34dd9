// The system's answers about its own network: the IPv4 address table and the
// computer name (Windows only).
#pragma once
#include "net/network_info.h"

namespace tavrin {

class Win32NetworkInfo final : public NetworkInfo {
 public:
  bool addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) override;
  int32_t computerName(char* name, uint32_t capacity) override;
};

}  // namespace tavrin
