// One connected phone: its socket, the bytes it sent that have not formed a
// message yet, what it holds down, and whether its input has effect.
#pragma once
#include <cstdint>

#include "input/held_input.h"
#include "server/socket_compat.h"
#include "shell/admission.h"
#include "wire/receive_buffer.h"

namespace tavrin {

struct ClientConnection : ReceiveBuffer {
  SocketHandle socketHandle = kInvalidSocket;
  uint32_t peerAddress = 0;  // the phone's IPv4 address, network byte order
  // Names the connection to the roster for the whole run (handles are reused).
  PhoneId id = 0;
  // Whether its input has effect; false while the user has not allowed it.
  // Messages that arrive meanwhile are framed and dropped, not queued.
  bool admitted = true;
  // Its lines are counted, not written: its address connects too often to
  // log each connection (see ConnectionLogGate).
  bool quietLog = false;
  // What this phone has pressed and not released, so that a connection that
  // ends does not leave keys or buttons down on the computer.
  HeldInput held;
};

}  // namespace tavrin
