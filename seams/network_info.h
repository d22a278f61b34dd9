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
  // How likely a phone is to reach the computer at this address (see
  // AddressReach): only the order of the list shown to the user follows it.
  uint8_t reach = 1;
};

// Rows read from the address table at a time: more than any tip or caption
// can show, and more networks than discovery announces to.
constexpr uint32_t kAddressRowCapacity = 64;

// 127.0.0.1, which no phone can reach: it is neither shown nor announced to.
inline bool IsLoopbackAddress(uint32_t networkOrderAddress) {
  const auto* octets = reinterpret_cast<const unsigned char*>(&networkOrderAddress);
  return octets[0] == 127 && octets[1] == 0 && octets[2] == 0 && octets[3] == 1;
}

class NetworkInfo {
 public:
  virtual ~NetworkInfo() = default;
  // The address table in table order; false when it cannot be read. Writes at
  // most `capacity` rows and stores the number of rows in `count`.
  virtual bool addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) = 0;

  // The table's first rows, as many as fit: `count` is at most `capacity`.
  bool readAddressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) {
    if (!addressTable(rows, capacity, count)) return false;
    if (count > capacity) count = capacity;
    return true;
  }
  // GetComputerNameA into `name` (capacity bytes); returns the length, or -1.
  virtual int32_t computerName(char* name, uint32_t capacity) = 0;
};

}  // namespace tavrin
