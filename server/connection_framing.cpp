// A connection's bytes cut into messages: framed "key" and "mos" messages and
// newline-ended text lines, each handed to its handler in arrival order.
#include <cstring>

#include "server/remote_server.h"

namespace tavrin {

bool RemoteServer::receive(ClientConnection& connection, int& error) {
  connection.discardIfFull();
  const int received = recv(connection.socketHandle, connection.buffer + connection.fill, connection.room(), 0);
  if (received == 0) {
    error = 0;
    return false;
  }
  if (IsSocketError(received)) {
    if (LastErrorWouldBlock()) return true;
    error = LastSocketError();
    return false;
  }
  connection.added(received);
  QuickAcksAfterReceive(connection.socketHandle);
  afterReceive(connection);
  return true;
}

int32_t RemoteServer::feed(ClientConnection& connection, const char* bytes, int32_t count) {
  connection.discardIfFull();
  const int32_t taken = connection.append(bytes, count);
  if (taken > 0) afterReceive(connection);
  return taken;
}

void RemoteServer::afterReceive(ClientConnection& connection) {
  // Whatever the handlers press is recorded on this connection.
  injector.current = &connection;
  // Once per receive, not per message: the window in front is a query of the
  // system, and a batch of messages lands in one window all the same.
  if (inputHasEffect(connection)) noticeElevatedWindow();
  processBuffer(connection);
  flushWheel();
  injector.current = nullptr;
}

void RemoteServer::processBuffer(ClientConnection& connection) {
  while (!stopRequested_.load(std::memory_order_relaxed)) {
    const int32_t before = connection.fill;
    int32_t taken = 0;
    // Read per message: a pause, or a phone allowed meanwhile, counts from
    // the next message on. Dropped messages are framed as usual and
    // consumed; nothing waits for later.
    const bool effective = inputHasEffect(connection);
    switch (ClassifyMessageStart(connection)) {
      case MessageStart::Frame:
        taken = handleFrame(connection, effective);
        break;
      case MessageStart::TextLine:
        if (platform.observer) {
          const char* newline = std::strchr(connection.buffer, '\n');
          platform.observer->onMessage('t', connection.buffer, static_cast<int32_t>(newline - connection.buffer));
        }
        if (effective) {
          taken = handleTextLine(connection);
        } else {
          taken = dropTextLine(connection);
        }
        break;
      case MessageStart::Incomplete:
        return;
    }
    // A handler that took nothing would otherwise spin here for ever.
    if (taken == 0 || connection.fill >= before) return;
  }
}

int32_t RemoteServer::handleFrame(ClientConnection& connection, bool effective) {
  int32_t length = 0;
  if (!ReadFramePayloadLength(connection, length)) return 0;
  if (length < 0) {
    connection.consume(kFrameHeaderLength);
    return kFrameHeaderLength;
  }
  if (length > connection.fill - kFrameHeaderLength) return 0;
  const char* payload = connection.buffer + kFrameHeaderLength;
  if (platform.observer) platform.observer->onMessage(connection.buffer[0], payload, length);
  if (effective) {
    if (connection.buffer[0] == 'k')
      handleKeyMessage(payload, length);
    else
      handleMouseMessage(payload, length);
  }
  connection.consume(kFrameHeaderLength + length);
  return kFrameHeaderLength + length;
}

int32_t RemoteServer::dropTextLine(ClientConnection& connection) {
  // The same line the command table would have taken (see CopyFirstLine).
  const char* newline = std::strchr(connection.buffer, '\n');
  if (newline == nullptr) return 0;
  const int32_t consumed = static_cast<int32_t>(newline - connection.buffer) + 1;
  connection.consume(consumed);
  return consumed;
}

void RemoteServer::noticeElevatedWindow() {
  if (platform.desktop == nullptr || platform.ui == nullptr) return;
  // Elevation of this program does not change while it runs: asked once.
  if (selfElevated_ < 0) selfElevated_ = platform.desktop->thisProgramElevated() ? 1 : 0;
  if (selfElevated_ != 0) return;  // nothing is blocked
  const WindowRef window = platform.desktop->foregroundWindow();
  // Cheap for a window checked before: the token is queried once per window
  // that comes to the front.
  if (!elevationNotice_.needsCheck(window, false)) return;
  if (!elevationNotice_.shouldShow(window, platform.desktop->windowRunsElevated(window), false)) return;
  log(LogLevel::Warning, "the window in front runs as administrator: Windows drops the phone's input to it");
  platform.ui->warnElevatedWindow();
}

}  // namespace tavrin
