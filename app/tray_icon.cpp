#include "app/tray_icon.h"

#include <commctrl.h>

#include <cwchar>

#include "app/messages.h"
#include "app/resource.h"

namespace tavrin {

TrayIcon::TrayIcon(HWND window, HINSTANCE instance, Log* log) : window_(window), log_(log) {
  // Loaded once and kept: the icon is added again after every taskbar
  // restart. At the size the taskbar asks for at this scale, picked from
  // the icon's own images rather than stretched.
  HICON icon = nullptr;
  if (FAILED(LoadIconMetric(instance, MAKEINTRESOURCEW(IDI_TAVRIN), LIM_SMALL, &icon)))
    icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TAVRIN), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  icon_.reset(icon);
}

NOTIFYICONDATAW TrayIcon::record(UINT flags) const {
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof record;
  record.hWnd = window_;
  record.uID = kTrayIconId;
  record.uFlags = flags;
  return record;
}

bool TrayIcon::notify(DWORD message, NOTIFYICONDATAW& record, const char* what) {
  if (Shell_NotifyIconW(message, &record)) return true;
  if (log_) log_->write(LogLevel::Warning, "the taskbar refused to %s the tray icon (error %lu)", what, GetLastError());
  return false;
}

bool TrayIcon::add(const wchar_t* tip) {
  // NIF_SHOWTIP: the fourth version shows the tip only when asked to.
  NOTIFYICONDATAW added = record(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
  added.uCallbackMessage = TrayCallbackMessage;
  added.hIcon = icon_.get();
  CopyText(added.szTip, sizeof added.szTip / sizeof(wchar_t), tip);
  added_ = Shell_NotifyIconW(NIM_ADD, &added) || Shell_NotifyIconW(NIM_MODIFY, &added);
  if (!added_) {
    if (!addFailureLogged_ && log_)
      log_->write(LogLevel::Warning, "the taskbar did not take the tray icon (error %lu): trying again every 2 s",
                  GetLastError());
    addFailureLogged_ = true;
    return false;
  }
  if (addFailureLogged_ && log_) log_->write(LogLevel::Info, "the taskbar took the tray icon");
  addFailureLogged_ = false;
  NOTIFYICONDATAW version = record(0);
  version.uVersion = NOTIFYICON_VERSION_4;
  version4_ = Shell_NotifyIconW(NIM_SETVERSION, &version) != FALSE;
  return true;
}

void TrayIcon::remove() {
  if (!added_) return;
  NOTIFYICONDATAW removed = record(0);
  Shell_NotifyIconW(NIM_DELETE, &removed);
  added_ = false;
}

void TrayIcon::setTip(const wchar_t* tip) {
  if (!added_) return;
  NOTIFYICONDATAW changed = record(NIF_TIP);
  CopyText(changed.szTip, sizeof changed.szTip / sizeof(wchar_t), tip);
  notify(NIM_MODIFY, changed, "change the tip of");
}

void TrayIcon::balloon(const wchar_t* title, const wchar_t* text, DWORD flags, UINT timeoutMs) {
  if (!added_) return;
  NOTIFYICONDATAW shown = record(NIF_INFO);
  CopyText(shown.szInfoTitle, sizeof shown.szInfoTitle / sizeof(wchar_t), title);
  CopyText(shown.szInfo, sizeof shown.szInfo / sizeof(wchar_t), text);
  shown.dwInfoFlags = flags;
  shown.uTimeout = timeoutMs;
  notify(NIM_MODIFY, shown, "show a balloon on");
}

}  // namespace tavrin
