// The message handler and the connection table, held together as the server
// holds them, for tests that drive them without sockets or a worker.
#pragma once
#include "server/connections.h"
#include "server/message_handler.h"

namespace tavrin::test {

struct ServerPieces {
  explicit ServerPieces(const Platform& platform) : handler(platform), connections(platform, handler) {}
  MessageHandler handler;
  ConnectionTable connections;
};

}  // namespace tavrin::test
