// Who controls the computer: the "Phones" submenu (each phone with its
// Disconnect, Pause Phones, Ask Before a New Phone Connects, Forget Allowed
// Phones), the tip's count of phones, and the prompt before a new phone
// takes control. The rules live in shell/phone_roster.h; the worker carries
// out what the user asks, and nothing here waits for it.
#include <windows.h>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/resource.h"
#include "app/settings.h"
#include "base/ipv4_text.h"
#include "shell/address_line.h"
#include "shell/phone_menu_text.h"

namespace tavrin {

namespace {

constexpr UINT kMaxMenuPhones = IDM_DISCONNECT_LAST - IDM_DISCONNECT_FIRST + 1;

}  // namespace

void MainWindow::loadPhoneSettings() {
  roster_.setAnswerTimeout(ReadAnswerTimeoutMs(Admission::kDefaultAnswerTimeoutMs));
  roster_.setAllowList(ReadAllowList());
  roster_.setAskFirst(ReadAskFirst());
}

void MainWindow::fillPhonesMenu(HMENU tray) {
  HMENU phones = SubMenuHolding(tray, IDM_PAUSE_PHONES);
  if (phones == nullptr) return;
  CheckMenuItem(phones, IDM_PAUSE_PHONES, MF_BYCOMMAND | (roster_.paused() ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(phones, IDM_ASK_FIRST, MF_BYCOMMAND | (roster_.askFirst() ? MF_CHECKED : MF_UNCHECKED));
  const std::vector<PhoneInfo> list = roster_.snapshot();
  menuPhones_.clear();
  if (list.empty()) return;
  DeleteMenu(phones, IDM_NO_PHONE, MF_BYCOMMAND);
  const uint64_t now = GetTickCount64();
  UINT position = 0;
  for (const PhoneInfo& phone : list) {
    if (menuPhones_.size() == kMaxMenuPhones) break;
    // The submenu is destroyed with the tray menu that holds it.
    HMENU actions = CreatePopupMenu();
    if (actions == nullptr) break;
    AppendMenuW(actions, MF_STRING, IDM_DISCONNECT_FIRST + menuPhones_.size(), L"&Disconnect");
    wchar_t item[kPhoneItemCapacity];
    FormatPhoneItem(item, kPhoneItemCapacity, phone, now);
    InsertMenuW(phones, position++, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(actions), item);
    menuPhones_.push_back(phone.id);
  }
}

bool MainWindow::onPhoneCommand(UINT command) {
  switch (command) {
    case IDM_PAUSE_PHONES: {
      const bool pause = !roster_.paused();
      roster_.setPaused(pause);
      if (log_) log_->write(LogLevel::Info, pause ? "phones paused by the user" : "phones resumed by the user");
      refreshTip(true);
      return true;
    }
    case IDM_ASK_FIRST: {
      const bool ask = !roster_.askFirst();
      roster_.setAskFirst(ask);
      WriteAskFirst(ask, log_);
      return true;
    }
    case IDM_FORGET_ALLOWED:
      roster_.forgetAllowed();
      WriteAllowList(roster_.allowList(), log_);
      return true;
    default:
      break;
  }
  if (command < IDM_DISCONNECT_FIRST || command > IDM_DISCONNECT_LAST) return false;
  const size_t index = command - IDM_DISCONNECT_FIRST;
  // Only a phone the open menu listed: the same place in a later list may
  // be another phone.
  if (index < menuPhones_.size()) roster_.requestDisconnect(menuPhones_[index]);
  return true;
}

void MainWindow::refreshTip(bool always) {
  const size_t phones = roster_.count();
  const bool paused = roster_.paused();
  if (!always && phones == tipPhones_ && paused == tipPaused_) return;
  tipPhones_ = phones;
  tipPaused_ = paused;
  wchar_t tip[kTipCapacity];
  composeTip(tip, kTipCapacity);
  trayIcon_->setTip(tip);
}

bool MainWindow::preTranslate(MSG& message) {
  return promptDialog_ != nullptr && IsDialogMessageW(promptDialog_, &message);
}

void MainWindow::syncPrompt() {
  const std::optional<PhoneRoster::Prompt> wanted = roster_.prompt();
  if (!wanted) {
    if (promptDialog_ != nullptr) DestroyWindow(promptDialog_);
    return;
  }
  if (promptDialog_ != nullptr && promptFor_ == wanted->id) return;
  const bool replaced = promptDialog_ != nullptr;
  promptFor_ = wanted->id;
  if (log_) log_->write(LogLevel::Info, "asking the user about the phone at %s", Ipv4Text(wanted->ipv4).text);
  if (promptDialog_ == nullptr) {
    promptDialog_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_PHONE_PROMPT), nullptr,
                                       &MainWindow::PromptProcedure, reinterpret_cast<LPARAM>(this));
    if (promptDialog_ == nullptr) return;
  }
  wchar_t text[kPromptTextCapacity];
  FormatPromptText(text, kPromptTextCapacity, wanted->ipv4);
  SetDlgItemTextW(promptDialog_, IDC_PROMPT_TEXT, text);
  // Another phone in the same window: said in words, and the allow buttons
  // wait again, so that a click aimed at the phone before never answers for
  // this one.
  SetDlgItemTextW(promptDialog_, IDC_PROMPT_NOTE, replaced ? kPromptReplacedNote : L"");
  armPrompt();
  if (!replaced) {
    // Shown without taking the keyboard from the window the user types in:
    // the user comes to the prompt, the prompt does not come to the keys.
    SetWindowPos(promptDialog_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  FLASHWINFO flash = {};
  flash.cbSize = sizeof flash;
  flash.hwnd = promptDialog_;
  flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
  FlashWindowEx(&flash);
}

void MainWindow::armPrompt() {
  HWND deny = GetDlgItem(promptDialog_, IDC_PROMPT_DENY);
  // The focus never stays on a button that is being disabled.
  if (GetForegroundWindow() == promptDialog_) SetFocus(deny);
  EnableWindow(GetDlgItem(promptDialog_, IDC_PROMPT_ALLOW), FALSE);
  EnableWindow(GetDlgItem(promptDialog_, IDC_PROMPT_ALWAYS), FALSE);
  SetTimer(promptDialog_, kPromptArmTimer, kPromptArmMs, nullptr);
}

void MainWindow::answerPrompt(Answer answer) {
  if (roster_.answer(promptFor_, answer)) WriteAllowList(roster_.allowList(), log_);
  syncPrompt();
}

INT_PTR CALLBACK MainWindow::PromptProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self != nullptr ? self->handlePrompt(dialog, message, wParam, lParam) : FALSE;
}

INT_PTR MainWindow::handlePrompt(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
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
            answerPrompt(id == IDC_PROMPT_ALLOW ? Answer::Allow : Answer::AlwaysAllow);
          return TRUE;
        // Closing the prompt refuses too: nobody said yes.
        case IDC_PROMPT_DENY:
        case IDCANCEL: answerPrompt(Answer::Deny); return TRUE;
        default: return FALSE;
      }
    }
    case WM_DESTROY:
      KillTimer(dialog, kPromptArmTimer);
      promptDialog_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace tavrin
