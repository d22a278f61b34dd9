#include "app/phone_prompt.h"

#include "app/messages.h"
#include "app/resource.h"
#include "app/settings.h"
#include "base/ipv4_text.h"
#include "shell/phone_menu_text.h"

namespace tavrin {

void PhonePrompt::sync() {
  const std::optional<PhoneRoster::Prompt> wanted = roster_.prompt();
  if (!wanted) {
    dialog_.reset();
    return;
  }
  if (dialog_ && askingAbout_ == wanted->id) return;
  const bool replaced = static_cast<bool>(dialog_);
  askingAbout_ = wanted->id;
  if (log_ && wanted->logged)
    log_->write(LogLevel::Info, "asking the user about the phone at %s", Ipv4Text(wanted->ipv4).text);
  if (!dialog_) {
    dialog_.reset(CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_PHONE_PROMPT), nullptr, &PhonePrompt::Procedure,
                                     reinterpret_cast<LPARAM>(this)));
    if (!dialog_) return;
  }
  wchar_t text[kPromptTextCapacity];
  FormatPromptText(text, kPromptTextCapacity, wanted->ipv4);
  SetDlgItemTextW(dialog_.get(), IDC_PROMPT_TEXT, text);
  // Another phone in the same window: said in words, and the allow buttons
  // wait again, so that a click aimed at the phone before never answers for
  // this one.
  SetDlgItemTextW(dialog_.get(), IDC_PROMPT_NOTE, replaced ? kPromptReplacedNote : L"");
  arm();
  if (!replaced) {
    // Shown without taking the keyboard from the window the user types in:
    // the user comes to the prompt, the prompt does not come to the keys.
    SetWindowPos(dialog_.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  FLASHWINFO flash = {};
  flash.cbSize = sizeof flash;
  flash.hwnd = dialog_.get();
  flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
  FlashWindowEx(&flash);
}

void PhonePrompt::arm() {
  HWND deny = GetDlgItem(dialog_.get(), IDC_PROMPT_DENY);
  // The focus never stays on a button that is being disabled.
  if (GetForegroundWindow() == dialog_.get()) SetFocus(deny);
  EnableWindow(GetDlgItem(dialog_.get(), IDC_PROMPT_ALLOW), FALSE);
  EnableWindow(GetDlgItem(dialog_.get(), IDC_PROMPT_ALWAYS), FALSE);
  SetTimer(dialog_.get(), kPromptArmTimer, kPromptArmMs, nullptr);
}

void PhonePrompt::answer(Answer answer) {
  if (roster_.answer(askingAbout_, answer)) WriteAllowList(roster_.allowList(), log_);
  // The next waiting phone comes in a new window that does not take the
  // keyboard, not in this one under a note that the phone before has gone:
  // the user has just answered for it.
  dialog_.reset();
  sync();
}

INT_PTR CALLBACK PhonePrompt::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  auto* self = reinterpret_cast<PhonePrompt*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self != nullptr ? self->handle(dialog, message, wParam, lParam) : FALSE;
}

INT_PTR PhonePrompt::handle(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SendMessageW(dialog, DM_SETDEFID, IDC_PROMPT_DENY, 0);
      return FALSE;  // no focus yet: setting it would activate the prompt
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) return FALSE;
      // Whoever comes to the prompt, by click or by Alt+Tab, starts on Deny.
      SetFocus(GetDlgItem(dialog, IDC_PROMPT_DENY));
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_TIMER:
      if (wParam != kPromptArmTimer) return FALSE;
      KillTimer(dialog, kPromptArmTimer);
      EnableWindow(GetDlgItem(dialog, IDC_PROMPT_ALLOW), TRUE);
      EnableWindow(GetDlgItem(dialog, IDC_PROMPT_ALWAYS), TRUE);
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      switch (id) {
        case IDC_PROMPT_ALLOW:
        case IDC_PROMPT_ALWAYS:
          // A disabled button cannot be clicked; a command that says it was
          // (posted by another program) is not an answer either.
          if (IsWindowEnabled(GetDlgItem(dialog, id)))
            answer(id == IDC_PROMPT_ALLOW ? Answer::Allow : Answer::AlwaysAllow);
          return TRUE;
        // Closing the prompt refuses too: nobody said yes.
        case IDC_PROMPT_DENY:
        case IDCANCEL: answer(Answer::Deny); return TRUE;
        default: return FALSE;
      }
    }
    case WM_DESTROY:
      KillTimer(dialog, kPromptArmTimer);
      // Destroyed by its owner, or by the system: either way it is gone.
      (void)dialog_.release();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace tavrin
