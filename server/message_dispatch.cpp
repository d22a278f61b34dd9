// Each message to its handler: key frames to the keyboard, mouse frames to
// the mouse and the wheel, text lines to the command table.
#include "actions/command_table.h"
#include "input/keyboard.h"
#include "input/mouse.h"
#include "server/remote_server.h"

namespace tavrin {

void RemoteServer::handleKeyMessage(const char* payload, int32_t length) {
  Keyboard keyboard(injector, desktop());
  HandleKeyMessage(keyboard, payload, length);
}

void RemoteServer::handleMouseMessage(const char* payload, int32_t length) {
  HandleMouseMessage(injector, WheelAccumulators{wheelAccumulator_, horizontalWheelAccumulator_}, payload, length);
}

void RemoteServer::flushWheel() {
  FlushWheel(injector, WheelAccumulators{wheelAccumulator_, horizontalWheelAccumulator_});
}

int32_t RemoteServer::handleTextLine(ClientConnection& connection) {
  const Message message = NextMessage(connection);
  if (message.kind != Message::Text) return 0;
  runTextLine(connection, message);
  return message.length;
}

void RemoteServer::runTextLine(ClientConnection& connection, const Message& message) {
  char line[kLineCapacity];
  CopyLine(connection.buffer + message.payloadOffset, message.payloadLength, line);
  // The line leaves the buffer before its action runs.
  connection.consume(message.length);
  // A server built without a desktop or an interface (tests, benchmarks)
  // still takes every line; the commands that need them do nothing.
  CommandContext context{injector, desktop(),
                         platform.ui ? *platform.ui : noInterface_, actions, &stopRequested_};
  DispatchTextLine(context, line);
}

}  // namespace tavrin
