// The prompt of "Ask": a dialog of its own, without an owner, before a new
// phone takes control. It shows the phone the roster asks about, waits
// kPromptArmMs before its allow buttons take a click, and hands the answer
// to the roster. The rules live in shell/phone_roster.h.
#pragma once
#include <windows.h>

#include "base/log.h"
#include "base/win32_handles.h"
#include "shell/phone_roster.h"

namespace tavrin {

class PhonePrompt {
 public:
  PhonePrompt(HINSTANCE instance, PhoneRoster& roster, Log* log) : instance_(instance), roster_(roster), log_(log) {}
  PhonePrompt(const PhonePrompt&) = delete;
  PhonePrompt& operator=(const PhonePrompt&) = delete;

  // Opens, switches or closes the dialog as the roster's prompt now wants.
  void sync();
  void close() { dialog_.reset(); }
  // Lets the dialog have its keys (Tab, Enter, Esc); true when the message
  // was its and is handled.
  bool preTranslate(MSG& message) { return dialog_ && IsDialogMessageW(dialog_.get(), &message); }

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  // Disables the allow buttons for kPromptArmMs (a new phone is shown).
  void arm();
  void answer(Answer answer);

  HINSTANCE instance_;
  PhoneRoster& roster_;
  Log* log_;
  // The dialog while it is open, and the phone it asks about.
  unique_hwnd dialog_;
  PhoneId askingAbout_ = 0;
};

}  // namespace tavrin
