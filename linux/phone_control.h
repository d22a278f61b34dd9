// The user's say over phones, on the main thread: the "Phones" submenu
// (each phone with Disconnect, Pause Phones, Ask Before a New Phone
// Connects, Forget Allowed Phones) and the prompt of "Ask": Allow, Always
// Allow and Deny, Deny the default; the allowing buttons wait a second after
// a phone is shown, so that a click or a key meant for something else never
// lets a phone in. The roster calls promptChanged() from either thread; the
// dialog follows it on the main thread.
#pragma once
#include <atomic>

#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "base/log.h"
#include "shell/phone_roster.h"

namespace tavrin {

class PhoneControl final : public PromptListener {
 public:
  explicit PhoneControl(Log& log);
  // The roster this prompt answers for (it is made with this listener, so
  // it comes second); reads the saved settings into it.
  void attach(PhoneRoster& roster);
  // The "Phones" submenu, filled afresh each time it opens.
  QMenu* menu() { return &menu_; }
  void promptChanged() noexcept override;

 private:
  void fillMenu();
  void syncPrompt();
  void arm();
  void answer(Answer answer);

  PhoneRoster* roster_ = nullptr;
  Log& log_;
  QMenu menu_{QStringLiteral("&Phones")};
  QDialog prompt_;
  QLabel* question_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* allow_ = nullptr;
  QPushButton* always_ = nullptr;
  QPushButton* deny_ = nullptr;
  QTimer armTimer_;
  PhoneId promptFor_ = 0;  // the phone the open prompt asks about, 0: none
  std::atomic<bool> syncQueued_{false};
};

}  // namespace tavrin
