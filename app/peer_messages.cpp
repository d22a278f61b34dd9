// Messages from phones: the balloon, what its click opens, and the "Recent
// Messages" submenu that keeps the last ones for when balloons were hidden
// (Focus Assist during a presentation) or came too fast to click.
#include <windows.h>
#include <shellapi.h>


#include "app/desktop_shell.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/resource.h"
#include "shell/address_line.h"

namespace tavrin {

namespace {

constexpr UINT kMaxMenuMessages = IDM_RECENT_LAST - IDM_RECENT_FIRST + 1;

}  // namespace

void MainWindow::showPeerBalloon(const char* title, const char* target) {
  // The balloon text holds 255 units, of which the click hint takes 21: a
  // longer title is cut, never in the middle of a surrogate pair.
  static const wchar_t kClickHint[] = L"\nClick for details...";
  constexpr size_t kTitleRoom = kBalloonTextCapacity - 1 - (sizeof kClickHint / sizeof(wchar_t) - 1);

  wchar_t converted[1024];
  if (title == nullptr || MultiByteToWideChar(CP_ACP, 0, title, -1, converted, 1024) == 0) converted[0] = L'\0';
  converted[1023] = L'\0';
  wchar_t text[kBalloonTextCapacity];
  CopyText(text, kTitleRoom + 1, converted);
  AppendText(text, kBalloonTextCapacity, kClickHint);

  // Stored before the balloon appears, so a click always finds its target.
  wchar_t wideTarget[RecentMessages::kTargetUnits];
  if (target == nullptr ||
      MultiByteToWideChar(CP_ACP, 0, target, -1, wideTarget, static_cast<int>(RecentMessages::kTargetUnits)) == 0)
    wideTarget[0] = L'\0';
  wideTarget[RecentMessages::kTargetUnits - 1] = L'\0';
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  recent_.add(converted, wideTarget, static_cast<uint8_t>(now.wHour), static_cast<uint8_t>(now.wMinute),
              GetTickCount64());
  trayIcon_->balloon(L"Message from Quillo", text, 0, kBalloonMs);
}

void MainWindow::onBalloonEvent(UINT event) {
  switch (event) {
    case NIN_BALLOONSHOW:
      recent_.balloonShown(GetTickCount64());
      break;
    case NIN_BALLOONHIDE:
    case NIN_BALLOONTIMEOUT:
      recent_.balloonGone(GetTickCount64());
      break;
    case NIN_BALLOONUSERCLICK: {
      const RecentMessages::Message* message = recent_.clicked();
      recent_.balloonGone(GetTickCount64());
      if (message != nullptr) openMessageTarget(message->target);
      break;
    }
    default:
      break;
  }
}

void MainWindow::openMessageTarget(const wchar_t* target) {
  if (OpenPeerTarget(target)) return;
  if (log_) log_->write(LogLevel::Warning, "a phone message's target was not opened: not a web or mail link or a safe document");
  showOwnBalloon(L"Tavrin did not open that message",
                 L"A message from a phone may open a web or mail link, or a document on this computer. "
                 L"It never starts a program or a script, and never opens another computer's files.",
                 NIIF_WARNING);
}

void MainWindow::fillRecentMenu(HMENU tray) {
  menuMessages_.clear();
  HMENU recent = SubMenuHolding(tray, IDM_NO_MESSAGE);
  if (recent == nullptr || recent_.size() == 0) return;
  DeleteMenu(recent, IDM_NO_MESSAGE, MF_BYCOMMAND);
  for (size_t i = 0; i < recent_.size() && i < kMaxMenuMessages; ++i) {
    const RecentMessages::Message& message = recent_.newest(i);
    wchar_t item[RecentMessages::kTitleUnits * 2 + 16];
    FormatRecentItem(item, sizeof item / sizeof item[0], message);
    AppendMenuW(recent, MF_STRING, IDM_RECENT_FIRST + i, item);
    menuMessages_.push_back(message.id);
  }
}

bool MainWindow::onRecentCommand(UINT command) {
  if (command < IDM_RECENT_FIRST || command > IDM_RECENT_LAST) return false;
  // The message the open menu listed there, if it is still remembered.
  const size_t index = command - IDM_RECENT_FIRST;
  if (index >= menuMessages_.size()) return true;
  for (size_t i = 0; i < recent_.size(); ++i) {
    const RecentMessages::Message& message = recent_.newest(i);
    if (message.id == menuMessages_[index]) {
      openMessageTarget(message.target);
      break;
    }
  }
  return true;
}

}  // namespace tavrin
