// The user interface of the X edge before it has a tray: what the worker
// asks of the user goes to the log, and nothing that needs the user's
// answer (a shutdown) is carried out.
#pragma once
#include "base/log.h"
#include "seams/user_interface.h"

namespace tavrin {

class HeadlessInterface final : public UserInterface {
 public:
  explicit HeadlessInterface(Log& log) : log_(log) {}
  void showPeerBalloon(const char* title, const char*) override {
    log_.write(LogLevel::Info, "a phone sent a message titled \"%s\"; there is no tray to show it in", title);
  }
  void requestShutdown() override {
    log_.write(LogLevel::Warning, "a phone asked to shut the computer down; without a tray nobody can confirm, so it stays on");
  }
  void reportPorts(bool listening, bool announcing) override {
    log_.write(LogLevel::Info, "phones %s connect; the computer %s announced", listening ? "can" : "cannot",
               announcing ? "is" : "is not");
  }
  void warnElevatedWindow() override {}

 private:
  Log& log_;
};

}  // namespace tavrin
