// One connected phone: its socket, the bytes it sent that have not formed a
// message yet, and what it holds down.
#pragma once
#include <cstdint>

#include "input/held_input.h"
#include "server/socket_compat.h"
#include "wire/receive_buffer.h"

namespace tavrin {

struct ClientConnection : ReceiveBuffer {
  SocketHandle socketHandle = kInvalidSocket;
  uint32_t peerAddress = 0;  // the phone's IPv4 address, network byte order
  // What this phone has pressed and not released, so that a connection that
  // ends does not leave keys or buttons down on the computer.
  HeldInput held;
};

}  // namespace tavrin
