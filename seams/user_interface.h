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
  // Posted: tells the main window which of the server's two ports it holds
  // (the TCP listener that phones connect to, the UDP socket that announces
  // the computer), once at start and again whenever that changes, so that
  // the user learns when another program holds a port and when serving
  // starts. Returns at once; never waits for the main window.
  virtual void reportPorts(bool listening, bool announcing) = 0;
  // Posted: the window in front runs as administrator and this program does
  // not, so Windows drops the phone's input to it. The main window shows the
  // balloon (kElevationBalloonTitle/Text); the worker asks once per window.
  // Returns at once; never waits for the main window.
  virtual void warnElevatedWindow() = 0;
};

// For a server that has no user interface (tests, benchmarks, fuzzing).
class NullUserInterface final : public UserInterface {
 public:
  void showPeerBalloon(const char*, const char*) override {}
  void requestShutdown() override {}
  void reportPorts(bool, bool) override {}
  void warnElevatedWindow() override {}
};

}  // namespace tavrin
