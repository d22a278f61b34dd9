// What the server asks of the system about its own network.
#pragma once
#include <cstdint>

namespace tavrin {

// One row of the local IPv4 address table; all three values in network byte
// order, as GetIpAddrTable reports them.
struct AddressRow {
  uint32_t address = 0;
  uint32_t mask = 0;
  uint32_t broadcast = 0;
};

class NetworkInfo {
 public:
  virtual ~NetworkInfo() = default;
  // The address table in table order; false when it cannot be read. Writes at
  // most `capacity` rows and stores the number of rows in `count`.
  virtual bool addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) = 0;
  // GetComputerNameA into `name` (capacity bytes); returns the length, or -1.
  virtual int32_t computerName(char* name, uint32_t capacity) = 0;
};

}  // namespace tavrin
