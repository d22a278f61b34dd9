// One connected phone: its socket and its receive buffer.
#pragma once
#include <cstdint>

#include "input/held_input.h"
#include "net/socket_compat.h"

namespace tavrin {

constexpr int32_t kReceiveCapacity = 8192;

struct ClientConnection {
  SocketHandle socketHandle = kInvalidSocket;
  // Unconsumed bytes are buffer[0] .. buffer[fill-1]; buffer[fill] is always 0.
  int32_t fill = 0;
  char buffer[kReceiveCapacity + 1] = {};
  // What this phone has pressed and not released, so that a connection that
  // ends does not leave keys or buttons down on the computer.
  HeldInput held;
};

}  // namespace tavrin
