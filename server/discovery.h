// The discovery broadcast: a small UDP datagram with the computer's name that
// lets phones on every local network find this computer.
#pragma once
#include <cstdint>

#include "seams/network_info.h"
#include "server/socket_compat.h"

namespace tavrin {

constexpr uint16_t kDiscoveryPort = 2008;
constexpr int32_t kDatagramCapacity = 128;
constexpr uint32_t kDiscoveryPeriodMs = 1000;

// Whether a second has passed since the last send was armed. The difference
// is taken unsigned, so the period holds when the tick count wraps.
inline bool DiscoveryDue(uint32_t now, uint32_t lastArmed) { return now - lastArmed >= kDiscoveryPeriodMs; }

unique_socket CreateDiscoverySocket(const sockaddr_in& address);

// The discovery socket and when it last sent.
class Discovery {
 public:
  explicit Discovery(bool enabled) : enabled_(enabled) {}
  bool enabled() const { return enabled_; }
  bool isOpen() const { return static_cast<bool>(socket_); }
  // Switched on, but its port could not be opened.
  bool missing() const { return enabled_ && !socket_; }
  int error() const { return error_; }  // why it last failed to open
  void open();
  void close() { socket_.reset(); }
  // The socket for a pass to watch for writing: once a second, when open.
  SocketHandle due(uint32_t now) const {
    return socket_ && DiscoveryDue(now, lastTick_) ? socket_.get() : kInvalidSocket;
  }
  // Once the socket was writable in a pass; `phoneBytesWaited` in that pass.
  void send(NetworkInfo* network, bool phoneBytesWaited);

 private:
  bool enabled_;
  unique_socket socket_;
  uint32_t lastTick_ = 0;
  int error_ = 0;
};
// Stops an ICMP port-unreachable answer to an earlier datagram from being
// reported as a connection reset on the socket. Only Windows reports those.
int DisableConnReset(SocketHandle socket);
void SendDiscovery(SocketHandle socket, NetworkInfo& network);
void BroadcastToInterfaces(SocketHandle socket, uint16_t port, const char* datagram, int32_t length,
                           NetworkInfo& network);

// "BC%3d%s": the name's length right-aligned in 3 characters, then the name.
// Returns the datagram's length (no terminating zero is part of it), or -1.
int32_t FormatDiscoveryDatagram(char (&datagram)[kDatagramCapacity], const char* name, int32_t nameLength);

// Where one address-table row's datagram goes (network byte order); false for
// the loopback row, which gets none. A broadcast field of 0, 1 or
// 255.255.255.255 is no usable address: the subnet's broadcast address
// (address OR NOT mask) is used instead.
bool InterfaceBroadcastAddress(const AddressRow& row, uint32_t& destination);

}  // namespace tavrin
