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

SocketHandle CreateDiscoverySocket(const sockaddr_in& address);
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
