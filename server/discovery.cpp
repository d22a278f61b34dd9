#include "server/discovery.h"

#include <cstdio>

#include "seams/system.h"
#include "server/sockets.h"

#ifdef _WIN32
#include <mswsock.h>
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif
#endif

namespace tavrin {

int DisableConnReset(SocketHandle socket) {
#ifdef _WIN32
  BOOL report = FALSE;
  DWORD returned = 0;
  return WSAIoctl(socket, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
#else
  (void)socket;
  return 0;
#endif
}

unique_socket CreateDiscoverySocket(const sockaddr_in& address) {
  unique_socket owner(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  const SocketHandle s = owner.get();
  if (!owner) return owner;
  DisableConnReset(s);
  if (IsSocketError(SetNonBlocking(s)) || IsSocketError(SetIntOption(s, SOL_SOCKET, SO_BROADCAST, 1)) ||
      IsSocketError(SetIntOption(s, SOL_SOCKET, SO_REUSEADDR, 1)) ||
      IsSocketError(bind(s, reinterpret_cast<const sockaddr*>(&address), static_cast<int>(sizeof address))))
    return GiveUpSocket(std::move(owner));
  return owner;
}

void Discovery::open() {
  if (!enabled_ || socket_) return;
  socket_ = CreateDiscoverySocket(DiscoveryBindAddress());
  if (!socket_) error_ = LastSocketError();
}

void Discovery::send(NetworkInfo* network, bool phoneBytesWaited) {
  // The broadcast waits for a pass in which no phone's bytes were waiting, so
  // that it never holds up a message; a phone that never pauses delays it by
  // a second at most.
  if (!network || (phoneBytesWaited && TickCount() - lastTick_ < 2 * kDiscoveryPeriodMs)) return;
  lastTick_ = TickCount();
  SendDiscovery(socket_.get(), *network);
}

int32_t FormatDiscoveryDatagram(char (&datagram)[kDatagramCapacity], const char* name, int32_t nameLength) {
  int written = std::snprintf(datagram, sizeof datagram, "BC%3d%s", nameLength, name);
  if (written < 0) return -1;
  // A name too long for the buffer is cut; what was written is what is sent.
  if (written >= kDatagramCapacity) written = kDatagramCapacity - 1;
  return written;
}

bool InterfaceBroadcastAddress(const AddressRow& row, uint32_t& destination) {
  if (IsLoopbackAddress(row.address)) return false;
  destination = row.broadcast;
  if (destination == 0 || destination == 1 || destination == 0xFFFFFFFFu) destination = row.address | ~row.mask;
  return true;
}

namespace {

void SendTo(SocketHandle socket, uint32_t address, uint16_t port, const char* datagram, int32_t length) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  sendto(socket, datagram, length, kSendFlags, reinterpret_cast<const sockaddr*>(&to), static_cast<int>(sizeof to));
}

}  // namespace

void BroadcastToInterfaces(SocketHandle socket, uint16_t port, const char* datagram, int32_t length,
                           NetworkInfo& network) {
  AddressRow rows[kAddressRowCapacity];
  uint32_t count = 0;
  if (!network.readAddressTable(rows, kAddressRowCapacity, count)) return;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t destination = 0;
    if (InterfaceBroadcastAddress(rows[i], destination)) SendTo(socket, destination, port, datagram, length);
  }
}

void SendDiscovery(SocketHandle socket, NetworkInfo& network) {
  char name[kDatagramCapacity] = {};
  int32_t nameLength = network.computerName(name, sizeof name);
  if (nameLength < 0) return;
  name[sizeof name - 1] = 0;
  char datagram[kDatagramCapacity] = {};
  int32_t length = FormatDiscoveryDatagram(datagram, name, nameLength);
  if (length < 0) return;
  SendTo(socket, htonl(0xFFFFFFFFu), kDiscoveryPort, datagram, length);
  BroadcastToInterfaces(socket, kDiscoveryPort, datagram, length, network);
}

}  // namespace tavrin
