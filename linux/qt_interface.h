// What the worker asks of the user interface, carried to the main thread's
// Qt event loop: nothing here waits for it, so the worker never waits on a
// dialog or on the session bus. The phone's texts are copied before the
// call returns.
#pragma once
#include <functional>

#include "base/log.h"
#include "linux/desktop_notifications.h"
#include "seams/user_interface.h"

namespace tavrin {

class QtInterface final : public UserInterface {
 public:
  // `askShutdown` runs on the main thread for each shutdown a phone asks
  // for; `messages` shows phone messages there.
  QtInterface(Log& log, PhoneMessages& messages, std::function<void()> askShutdown)
      : log_(log), messages_(messages), askShutdown_(std::move(askShutdown)) {}
  void showPeerBalloon(const char* title, const char* target) override;
  void requestShutdown() override;
  void reportPorts(bool listening, bool announcing) override;
  void warnElevatedWindow() override {}

 private:
  Log& log_;
  PhoneMessages& messages_;
  std::function<void()> askShutdown_;
};

// The question before a phone's shutdown goes ahead: OK or Cancel, Cancel
// the default, one question at a time. True when the user chose OK.
bool ConfirmShutdown();

}  // namespace tavrin
