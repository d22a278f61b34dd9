// Who controls the computer: the "Phones" submenu (each phone with its
// Disconnect, Pause Phones, Ask Before a New Phone Connects, Forget Allowed
// Phones) and the tip's count of phones; the prompt before a new phone takes
// control is app/phone_prompt.*. The rules live in shell/phone_roster.h; the
// worker carries out what the user asks, and nothing here waits for it.
#include <windows.h>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/resource.h"
#include "app/settings.h"
#include "shell/phone_menu_text.h"

namespace tavrin {

namespace {

constexpr UINT kMaxMenuPhones = IDM_DISCONNECT_LAST - IDM_DISCONNECT_FIRST + 1;

}  // namespace

void MainWindow::loadPhoneSettings() {
  roster_.setAnswerTimeout(ReadAnswerTimeoutMs(Admission::kDefaultAnswerTimeoutMs));
  roster_.setAllowList(ReadAllowList(log_));
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
  if (tip_.note(roster_.count(), roster_.paused()) || always) showTip();
}

}  // namespace tavrin
