// The socket calls of one select pass and of opening the listener, the same
// on Winsock and BSD sockets.
#pragma once
#include <cstdint>

#include "server/read_set.h"
#include "server/socket_compat.h"

namespace tavrin {

// The listener's address: a dotted IPv4 address as UTF-16 text ("0.0.0.0"
// for every local address) and a port in host order.
sockaddr_in ListenAddress(const wchar_t* bindAddress, uint16_t port);
// Every local address, the discovery port.
sockaddr_in DiscoveryBindAddress();

// A non-blocking TCP listener on `address` that no other program can share,
// or an empty owner.
unique_socket CreateListener(const sockaddr_in& address);

// One select pass over the read set and, when armed, the discovery socket,
// waiting at most `timeoutUs` (on Windows, for the sockets' event or a window
// message sent to the thread, whichever comes first). Returns select's result; `readable[i]` tells
// whether reads.handles[i] is marked, `writable` whether the write handle is.
int SelectPass(const ReadSet& reads, SocketHandle write, long timeoutUs, bool (&readable)[ReadSet::kCapacity],
               bool& writable);

}  // namespace tavrin
