#include "server/message_handler.h"

#include "input/keyboard.h"
#include "input/mouse.h"
#include "server/socket_compat.h"

namespace tavrin {

bool MessageHandler::receive(ClientConnection& connection, int& error) {
  ReceiveBuffer& received = connection.received;
  received.discardIfFull();
  const int count = recv(connection.socket.get(), received.buffer + received.fill, received.room(), 0);
  if (count == 0) {
    error = 0;
    return false;
  }
  if (IsSocketError(count)) {
    if (LastErrorWouldBlock()) return true;
    error = LastSocketError();
    return false;
  }
  received.added(count);
  QuickAcksAfterReceive(connection.socket.get());
  afterReceive(connection);
  return true;
}

int32_t MessageHandler::feed(ClientConnection& connection, const char* bytes, int32_t count) {
  connection.received.discardIfFull();
  const int32_t taken = connection.received.append(bytes, count);
  if (taken > 0) afterReceive(connection);
  return taken;
}

void MessageHandler::afterReceive(ClientConnection& connection) {
  const bool inputCounts = inputHasEffect(connection);
  processBuffer(connection);
  flushWheel(connection);
  // Once per receive, not per message: the window in front is a query of the
  // system, and a batch of messages lands in one window all the same. Asked
  // after the batch, so that the query does not hold up the input.
  if (inputCounts) noticeElevatedWindow();
}

void MessageHandler::processBuffer(ClientConnection& connection) {
  ReceiveBuffer& received = connection.received;
  while (!stopRequested_.load(std::memory_order_relaxed)) {
    const Message message = NextMessage(received);
    if (message.kind == Message::NeedMore) return;
    const char* payload = received.buffer + message.payloadOffset;
    if (platform_.observer && message.kind != Message::BadHeader)
      platform_.observer->onMessage(message.kind, payload, message.payloadLength);
    // Read per message: a pause, or a phone allowed meanwhile, counts from
    // the next message on. Dropped messages are framed as usual and
    // consumed; nothing waits for later.
    if (!inputHasEffect(connection)) {
      received.consume(message.length);
      continue;
    }
    switch (message.kind) {
      case Message::Key: handleKeyMessage(connection, payload, message.payloadLength); break;
      case Message::Mouse: handleMouseMessage(connection, payload, message.payloadLength); break;
      case Message::Text: runTextLine(connection, message); continue;  // consumed before its action runs
      default: break;
    }
    received.consume(message.length);
  }
}

int32_t MessageHandler::handleTextLine(ClientConnection& connection) {
  const Message message = NextMessage(connection.received);
  if (message.kind != Message::Text) return 0;
  runTextLine(connection, message);
  return message.length;
}

void MessageHandler::runTextLine(ClientConnection& connection, const Message& message) {
  char line[kLineCapacity];
  CopyLine(connection.received.buffer + message.payloadOffset, message.payloadLength, line);
  // The line leaves the buffer before its action runs.
  connection.received.consume(message.length);
  // A handler built without a desktop or an interface (tests, benchmarks)
  // still takes every line; the commands that need them do nothing.
  CommandContext context{connection.injector, desktop(), platform_.ui ? *platform_.ui : noInterface_, actions_,
                         &stopRequested_};
  DispatchTextLine(context, line);
}

void MessageHandler::handleKeyMessage(ClientConnection& connection, const char* payload, int32_t length) {
  Keyboard keyboard(connection.injector, desktop());
  HandleKeyMessage(keyboard, payload, length);
}

void MessageHandler::handleMouseMessage(ClientConnection& connection, const char* payload, int32_t length) {
  HandleMouseMessage(connection.injector, WheelAccumulators{wheelAccumulator_, horizontalWheelAccumulator_}, payload,
                     length);
}

void MessageHandler::flushWheel(ClientConnection& connection) {
  FlushWheel(connection.injector, WheelAccumulators{wheelAccumulator_, horizontalWheelAccumulator_});
}

void MessageHandler::releaseHeld(ClientConnection& connection) {
  if (connection.held.count == 0) return;
  actions_.releasing(connection.held, desktop().compositionEnabled());
  Keyboard keyboard(connection.injector, desktop());
  connection.held.releaseAll(keyboard);
}

void MessageHandler::noticeElevatedWindow() {
  if (platform_.desktop == nullptr || platform_.ui == nullptr) return;
  // Elevation of this program does not change while it runs: asked once.
  if (selfElevated_ < 0) selfElevated_ = platform_.desktop->thisProgramElevated() ? 1 : 0;
  if (selfElevated_ != 0) return;  // nothing is blocked
  const WindowRef window = platform_.desktop->foregroundWindow();
  // Cheap for a window checked before: the token is queried once per window
  // that comes to the front.
  if (!elevationNotice_.needsCheck(window, false)) return;
  if (!elevationNotice_.shouldShow(window, platform_.desktop->windowRunsElevated(window), false)) return;
  platform_.write(LogLevel::Warning, "the window in front runs as administrator: Windows drops the phone's input to it");
  platform_.ui->warnElevatedWindow();
}

}  // namespace tavrin
