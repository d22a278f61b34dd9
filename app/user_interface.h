// Requests the worker thread makes of the main window's thread.
#pragma once

namespace tavrin {

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Synchronous: returns when the main window has shown the balloon (or the
  // program is stopping). Both texts are zero-terminated 8-bit text.
  virtual void showPeerBalloon(const char* title, const char* target) = 0;
  // Posted: asks the main window to confirm a shutdown; returns at once.
  virtual void requestShutdown() = 0;
};

}  // namespace tavrin
