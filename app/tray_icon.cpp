#include "app/tray_icon.h"

#include <commctrl.h>

#include <cwchar>

#include "app/messages.h"
#include "app/resource.h"

namespace tavrin {

namespace {

// The small icon's size at the window's scale now. GetSystemMetrics keeps
// the scale the program started at; the functions for a given DPI
// (Windows 10 1607 and later) follow a change of scale.
int SmallIconSize(HWND window) {
  const HMODULE user32 = GetModuleHandleW(L"user32");
  const auto dpiForWindow = reinterpret_cast<UINT(WINAPI*)(HWND)>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
  const auto metricForDpi = reinterpret_cast<int(WINAPI*)(int, UINT)>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetSystemMetricsForDpi")));
  const UINT dpi = dpiForWindow ? dpiForWindow(window) : 0;
  return dpi != 0 && metricForDpi ? metricForDpi(SM_CXSMICON, dpi) : GetSystemMetrics(SM_CXSMICON);
}

}  // namespace

TrayIcon::TrayIcon(HWND window, HINSTANCE instance, Log* log) : window_(window), instance_(instance), log_(log) {
  // Kept, and loaded again only when the scale changes: the icon is added
  // again after every taskbar restart. At the size the taskbar asks for at this scale, picked from
  // the icon's own images rather than stretched.
  HICON icon = nullptr;
  if (FAILED(LoadIconMetric(instance, MAKEINTRESOURCEW(IDI_TAVRIN), LIM_SMALL, &icon)))
    icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TAVRIN), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  icon_.reset(icon);
  iconSize_ = GetSystemMetrics(SM_CXSMICON);
  // The scale may have changed since logon, which the metrics above keep.
  fitToScale();
}

unique_hicon TrayIcon::load(int size) const {
  // Picked from the icon's own images too. Some import libraries of comctl32
  // lack LoadIconWithScaleDown: it is looked up in the comctl32 6 that
  // LoadIconMetric's import has loaded.
  using ScaleDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  const auto scaleDown = reinterpret_cast<ScaleDown>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32"), "LoadIconWithScaleDown")));
  HICON icon = nullptr;
  if (!scaleDown || FAILED(scaleDown(instance_, MAKEINTRESOURCEW(IDI_TAVRIN), size, size, &icon)))
    icon = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TAVRIN), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  return unique_hicon(icon);
}

void TrayIcon::fitToScale() {
  const int size = SmallIconSize(window_);
  if (size == iconSize_) return;
  unique_hicon icon = load(size);
  if (!icon) return;
  if (added_) {
    NOTIFYICONDATAW changed = record(NIF_ICON);
    changed.hIcon = icon.get();
    notify(NIM_MODIFY, changed, "change the icon of");
  }
  // The taskbar keeps its own copy: the old icon may go now.
  icon_ = std::move(icon);
  iconSize_ = size;
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
