// What the worker does with one connection's bytes: cuts them into messages
// (NextMessage) and hands each, in arrival order, to its handler: key frames
// to the keyboard, mouse frames to the mouse and the wheel, text lines to the
// command table. Everything a handler injects goes through the connection's
// own injector, which records what the phone holds down.
#pragma once
#include <atomic>
#include <cstdint>

#include "actions/command_table.h"
#include "server/client_connection.h"
#include "server/platform.h"
#include "shell/elevation_notice.h"

namespace tavrin {

class MessageHandler {
 public:
  explicit MessageHandler(const Platform& platform) : platform_(platform) {}

  // Reads what has arrived on the connection's socket and handles it; false
  // when the connection has ended, with the socket error (0 when the phone
  // closed it).
  bool receive(ClientConnection& connection, int& error);
  // What receive does once bytes have arrived, with the bytes given instead of
  // read from the socket (at most what the buffer has room for after the
  // full-buffer discard). Returns the number of bytes taken.
  int32_t feed(ClientConnection& connection, const char* bytes, int32_t count);
  // Takes the first text line off the connection's buffer and runs its
  // command; returns the bytes taken (0: no complete line yet).
  int32_t handleTextLine(ClientConnection& connection);
  // Releases what the connection still holds down, newest first.
  void releaseHeld(ClientConnection& connection);

  // Any thread, when the program stops: a long action (typing a long line
  // into a window that is not a Unicode window) and the framing loop end
  // early instead of holding up the stop.
  void requestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
  void observe(MessageObserver* observer) { platform_.observer = observer; }
  ActionState& actions() { return actions_; }

 private:
  void afterReceive(ClientConnection& connection);
  void processBuffer(ClientConnection& connection);
  void runTextLine(ClientConnection& connection, const Message& message);
  void handleKeyMessage(ClientConnection& connection, const char* payload, int32_t length);
  void handleMouseMessage(ClientConnection& connection, const char* payload, int32_t length);
  void flushWheel(ClientConnection& connection);
  // Whether the connection's next message has effect: the phone is allowed
  // and input is not paused.
  bool inputHasEffect(const ClientConnection& connection) const {
    return connection.admitted && (platform_.roster == nullptr || !platform_.roster->paused());
  }
  // Before a phone's message has effect: tells the user once per foreground
  // window that Windows will drop the input (the window runs elevated and
  // this program does not).
  void noticeElevatedWindow();
  // The platform's desktop, or one where nothing is there (tests, benchmarks).
  Desktop& desktop() { return platform_.desktop ? *platform_.desktop : noDesktop_; }

  Platform platform_;
  std::atomic<bool> stopRequested_{false};
  ActionState actions_;
  int32_t wheelAccumulator_ = 0;
  int32_t horizontalWheelAccumulator_ = 0;
  ElevationNotice elevationNotice_;
  int8_t selfElevated_ = -1;  // asked once: -1 not yet, else 0 or 1
  // Stand in for a missing desktop or user interface.
  NullDesktop noDesktop_;
  NullUserInterface noInterface_;
};

}  // namespace tavrin
