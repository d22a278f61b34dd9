// A connection's bytes cut into messages: framed "key" and "mos" messages and
// newline-ended text lines, each handed to its handler in arrival order.
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
    const Message message = NextMessage(connection);
    if (message.kind == Message::NeedMore) return;
    const char* payload = connection.buffer + message.payloadOffset;
    if (platform.observer && message.kind != Message::BadHeader)
      platform.observer->onMessage(message.kind, payload, message.payloadLength);
    // Read per message: a pause, or a phone allowed meanwhile, counts from
    // the next message on. Dropped messages are framed as usual and
    // consumed; nothing waits for later.
    if (!inputHasEffect(connection)) {
      connection.consume(message.length);
      continue;
    }
    switch (message.kind) {
      case Message::Key: handleKeyMessage(payload, message.payloadLength); break;
      case Message::Mouse: handleMouseMessage(payload, message.payloadLength); break;
      case Message::Text: runTextLine(connection, message); continue;  // consumed before its action runs
      default: break;
    }
    connection.consume(message.length);
  }
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
