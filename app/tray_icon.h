// The one tray icon: it owns its record, its icon and whether the taskbar has
// it, and every change goes through notify(), which logs what the taskbar
// refuses.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "base/log.h"
#include "base/wide_text.h"
#include "base/win32_handles.h"

namespace tavrin {

class TrayIcon {
 public:
  TrayIcon(HWND window, HINSTANCE instance, Log* log);
  ~TrayIcon() { remove(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adds the icon with its tip. False when the taskbar did not take it (at
  // logon it may not be there yet): the caller tries again, and only the
  // first failure is logged. Explorer announces the taskbar again after a
  // restart (the icon is gone) but also after display, scaling and remote
  // desktop changes (the icon is still there): an icon the taskbar already
  // has is brought up to date instead.
  bool add(const wchar_t* tip);
  void remove();
  bool added() const { return added_; }
  // Whether the taskbar speaks to the icon in the fourth version's form
  // (wParam the anchor point, lParam the event and the icon's id), which
  // also lets the icon and its menu be reached from the keyboard.
  bool version4() const { return version4_; }
  void setTip(const wchar_t* tip);
  // flags: NIIF_INFO, NIIF_WARNING or 0; the balloon stays about timeoutMs.
  void balloon(const wchar_t* title, const wchar_t* text, DWORD flags, UINT timeoutMs);
  // After a change of the display's scale (WM_DPICHANGED, or Explorer
  // announcing the taskbar anew): the icon at the size the taskbar now asks
  // for, given to the taskbar at once when it has the icon.
  void fitToScale();

 private:
  bool notify(DWORD message, NOTIFYICONDATAW& record, const char* what);
  NOTIFYICONDATAW record(UINT flags) const;
  unique_hicon load(int size) const;

  HWND window_;
  HINSTANCE instance_;
  unique_hicon icon_;
  int iconSize_ = 0;
  bool added_ = false;
  bool version4_ = false;
  bool addFailureLogged_ = false;
  Log* log_;
};


}  // namespace tavrin
