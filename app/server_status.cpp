// What the tray icon says about the server's ports. Another program may hold
// TCP port 1978 (phones cannot connect) or UDP port 2008 (phones cannot find
// the computer); the worker keeps trying to open them and posts what it holds
// whenever that changes. While a port is missing, the tip and a balloon say
// so; when serving starts after that, a balloon says so too.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "app/shell.h"

namespace tavrin {

namespace {

constexpr WPARAM kListening = 1;
constexpr WPARAM kAnnouncing = 2;
constexpr WPARAM kAllOpen = kListening | kAnnouncing;
constexpr UINT kBalloonMs = 10000;
constexpr size_t kTipUnits = 128;
constexpr size_t kBalloonTextUnits = 256;
constexpr size_t kBalloonTitleUnits = 64;

// What the worker reported last; until its first report nothing is missing
// and the start-up balloon stands.
WPARAM currentPorts = kAllOpen;

void Append(wchar_t* text, size_t capacity, const wchar_t* more) {
  size_t length = std::wcslen(text);
  while (length + 1 < capacity && *more != L'\0') text[length++] = *more++;
  text[length] = L'\0';
}

struct Notice {
  const wchar_t* tip;    // after "Tavrin\n"; null: the addresses, as at start
  const wchar_t* title;  // of the balloon
  const wchar_t* text;   // of the balloon
  bool addresses;        // the balloon text ends with the address line
  DWORD icon;
};

Notice NoticeFor(WPARAM ports) {
  if ((ports & kListening) == 0 && (ports & kAnnouncing) == 0)
    return {L"Ports 1978 and 2008 are in use by another program. Tavrin will start serving when they are free.",
            L"Tavrin cannot serve phones yet",
            L"Ports 1978 (TCP) and 2008 (UDP) are in use by another program. Tavrin will start serving phones as "
            L"soon as they are free.",
            false, NIIF_WARNING};
  if ((ports & kListening) == 0)
    return {L"Port 1978 is in use by another program. Tavrin will start serving when it is free.",
            L"Tavrin cannot serve phones yet",
            L"Port 1978 (TCP) is in use by another program. Tavrin will start serving phones as soon as it is free.",
            false, NIIF_WARNING};
  if ((ports & kAnnouncing) == 0)
    return {L"Port 2008 is in use by another program: phones cannot find this computer until it is free.",
            L"Phones cannot find this computer",
            L"Port 2008 (UDP) is in use by another program. Until it is free, enter this computer's address in "
            L"the phone.\nIP Address : ",
            true, NIIF_WARNING};
  return {nullptr, L"Tavrin is serving phones now", L"The port is free again.\nIP Address : ", true, NIIF_INFO};
}

void ShowNotice(HWND window, const Notice& notice) {
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof record;
  record.hWnd = window;
  record.uID = kTrayIconId;
  record.uFlags = NIF_TIP | NIF_INFO;
  static_assert(sizeof record.szTip / sizeof(wchar_t) == kTipUnits, "tip field");
  static_assert(sizeof record.szInfo / sizeof(wchar_t) == kBalloonTextUnits, "balloon text field");
  static_assert(sizeof record.szInfoTitle / sizeof(wchar_t) == kBalloonTitleUnits, "balloon title field");
  Append(record.szTip, kTipUnits, L"Tavrin\n");
  if (notice.tip != nullptr) {
    Append(record.szTip, kTipUnits, notice.tip);
  } else {
    Append(record.szTip, kTipUnits, L"IP Address : ");
    ListLocalAddresses(record.szTip, kTipUnits);
  }
  Append(record.szInfoTitle, kBalloonTitleUnits, notice.title);
  Append(record.szInfo, kBalloonTextUnits, notice.text);
  if (notice.addresses) ListLocalAddresses(record.szInfo, kBalloonTextUnits);
  record.dwInfoFlags = notice.icon;
  record.uTimeout = kBalloonMs;
  // A click on this balloon must not open the last phone message's target.
  peerMessageTarget[0] = L'\0';
  Shell_NotifyIconW(NIM_MODIFY, &record);
}

}  // namespace

void OnServerPorts(HWND window, WPARAM ports) {
  ports &= kAllOpen;
  const WPARAM previous = currentPorts;
  currentPorts = ports;
  if (ports == previous) return;
  ShowNotice(window, NoticeFor(ports));
}

void ReapplyServerPorts(HWND window) {
  // A re-added icon starts with the start-up tip and balloon, which say
  // nothing of a missing port.
  if (currentPorts != kAllOpen) ShowNotice(window, NoticeFor(currentPorts));
}

}  // namespace tavrin
