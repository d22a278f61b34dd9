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

// The worker will wait on this new socket (the listener, or a connection it
// accepted): on Windows it gets an event of its own, in place of the one it
// inherited or any tie left by a closed socket with the same number. Ties
// are kept per thread: a socket made on another thread (the first listener,
// opened before the worker starts) is tied when the worker first waits on it.
void WaitOnSocket(SocketHandle s);

// One select pass over the read set and, when armed, the discovery socket,
// waiting at most `timeoutUs` (on Windows, for the sockets' events or a window
// message sent to the thread, whichever comes first; a wake on an event marks
// that one socket). Returns select's result; `readable[i]` tells
// whether reads.handles[i] is marked, `writable` whether the write handle is.
int SelectPass(const ReadSet& reads, SocketHandle write, long timeoutUs, bool (&readable)[ReadSet::kCapacity],
               bool& writable);

}  // namespace tavrin
