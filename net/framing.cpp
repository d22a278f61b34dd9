#include <cstdlib>
#include <cstring>

#include "input/keyboard.h"
#include "input/mouse.h"
#include "net/remote_server.h"

namespace tavrin {

namespace {

constexpr int32_t kHeaderLength = 6;

}  // namespace

int RemoteServer::receive(ClientConnection& connection) {
  // A buffer full of bytes that never formed a message is given up.
  if (connection.fill == kReceiveCapacity) {
    connection.fill = 0;
    connection.buffer[0] = 0;
  }
  int received = recv(connection.socketHandle, connection.buffer + connection.fill, kReceiveCapacity - connection.fill, 0);
  if (received == 0) return -1;
  if (IsSocketError(received)) return LastErrorWouldBlock() ? 0 : -1;
  connection.fill += received;
  connection.buffer[connection.fill] = 0;
  afterReceive(connection);
  return 0;
}

int32_t RemoteServer::feed(ClientConnection& connection, const char* bytes, int32_t count) {
  if (connection.fill == kReceiveCapacity) {
    connection.fill = 0;
    connection.buffer[0] = 0;
  }
  int32_t room = kReceiveCapacity - connection.fill;
  if (count > room) count = room;
  if (count <= 0) return 0;
  std::memcpy(connection.buffer + connection.fill, bytes, static_cast<size_t>(count));
  connection.fill += count;
  connection.buffer[connection.fill] = 0;
  afterReceive(connection);
  return count;
}

void RemoteServer::afterReceive(ClientConnection& connection) {
  // Whatever the handlers press is recorded on this connection.
  injector.current = &connection;
  processBuffer(connection);
  flushWheel();
  injector.current = nullptr;
}

int RemoteServer::processBuffer(ClientConnection& connection) {
  while (connection.fill >= 3 && !stopRequested.load(std::memory_order_relaxed)) {
    const int32_t before = connection.fill;
    int r = 0;
    if (std::memcmp(connection.buffer, "key", 3) == 0 || std::memcmp(connection.buffer, "mos", 3) == 0) {
      r = handleFrame(connection);
    } else if (const char* newline = std::strchr(connection.buffer, '\n')) {
      if (platform.observer) platform.observer->onMessage('t', connection.buffer, static_cast<int32_t>(newline - connection.buffer));
      r = handleTextLine(connection);
    } else {
      break;
    }
    // A handler that took nothing would otherwise spin here for ever.
    if (r == 0 || connection.fill >= before) break;
  }
  return 0;
}

int RemoteServer::handleFrame(ClientConnection& connection) {
  if (connection.fill < kHeaderLength) return 0;
  char digits[4] = {};
  std::memcpy(digits, connection.buffer + 3, 3);
  const int32_t length = std::atoi(digits);
  if (length < 0) {
    consume(connection, kHeaderLength);
    return kHeaderLength;
  }
  if (length > connection.fill - kHeaderLength) return 0;
  const char* payload = connection.buffer + kHeaderLength;
  if (platform.observer) platform.observer->onMessage(connection.buffer[0], payload, length);
  if (connection.buffer[0] == 'k')
    handleKeyMessage(connection, payload, length);
  else
    handleMouseMessage(connection, payload, length);
  consume(connection, kHeaderLength + length);
  return kHeaderLength + length;
}

void RemoteServer::consume(ClientConnection& connection, int32_t count) {
  if (count <= 0) return;
  if (count > connection.fill) count = connection.fill;
  if (count < connection.fill)
    std::memmove(connection.buffer, connection.buffer + count, static_cast<size_t>(connection.fill - count));
  connection.fill -= count;
  connection.buffer[connection.fill] = 0;
}

void RemoteServer::handleKeyMessage(ClientConnection&, const char* payload, int32_t length) {
  HandleKeyMessage(injector, payload, length);
}

int RemoteServer::handleMouseMessage(ClientConnection&, const char* payload, int32_t length) {
  HandleMouseMessage(injector, WheelAccumulators{wheelAccumulator, horizontalWheelAccumulator}, payload, length);
  return 0;
}

void RemoteServer::stepWheel(int32_t value) { StepWheel(wheelAccumulator, value); }

void RemoteServer::stepHorizontalWheel(int32_t value) { StepWheel(horizontalWheelAccumulator, value); }

void RemoteServer::flushWheel() { FlushWheel(injector, WheelAccumulators{wheelAccumulator, horizontalWheelAccumulator}); }

}  // namespace tavrin
