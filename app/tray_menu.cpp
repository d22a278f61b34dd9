// The tray menu.
#include <windows.h>

#include "app/autorun.h"
#include "app/desktop_shell.h"
#include "shell/links.h"
#include "app/main_window.h"
#include "app/resource.h"
#include "shell/address_line.h"

namespace tavrin {

namespace {

constexpr size_t kMenuCaptionCapacity = 1024;

}  // namespace

HMENU SubMenuHolding(HMENU menu, UINT command) {
  const int items = GetMenuItemCount(menu);
  for (int i = 0; i < items; ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (sub != nullptr && GetMenuState(sub, command, MF_BYCOMMAND) != static_cast<UINT>(-1)) return sub;
  }
  return nullptr;
}

void MainWindow::showTrayMenu(POINT anchor) {
  // The taskbar may ask for the menu again while it is open (a second
  // NIN_KEYSELECT, WM_CONTEXTMENU during its loop): a second menu would
  // fail and then empty the lists the open menu's commands need.
  if (menuOpen_) return;
  SetForegroundWindow(window_);
  unique_hmenu menu(LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
  if (!menu) return;
  HMENU popup = GetSubMenu(menu.get(), 0);
  if (popup == nullptr) return;
  menuOpen_ = true;
  // Read at every opening: Task Manager's Startup tab may have turned the
  // entry off or on since.
  CheckMenuItem(popup, IDM_AUTORUN, MF_BYCOMMAND | (QueryAutorun() ? MF_CHECKED : MF_UNCHECKED));

  wchar_t caption[kMenuCaptionCapacity];
  CopyText(caption, kMenuCaptionCapacity, kAddressPrefix);
  if (!ListLocalAddresses(caption, kMenuCaptionCapacity)) AppendText(caption, kMenuCaptionCapacity, L"N/A");
  // Only the text changes: the item stays grayed.
  MENUITEMINFOW item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STRING;
  item.dwTypeData = caption;
  SetMenuItemInfoW(popup, IDM_IP_ADDRESS, FALSE, &item);
  fillPhonesMenu(popup);
  fillRecentMenu(popup);
  fillFirewallItems(popup);

  // The choice is carried out here, while the phones the menu listed are
  // known; once it has closed, a Disconnect command names no phone.
  const UINT chosen = TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RIGHTALIGN | TPM_BOTTOMALIGN | TPM_RETURNCMD,
                                     anchor.x, anchor.y, 0, window_, nullptr);
  menuClosedTick_ = GetTickCount64();
  menuOpen_ = false;
  // Lets the menu close when the user clicks elsewhere next time.
  PostMessageW(window_, WM_NULL, 0, 0);
  // The lists answer only a choice of their own items: any other command may
  // show a box or wait for UAC, and a command that arrives meanwhile must
  // find no phone to disconnect.
  const bool listed = (chosen >= IDM_DISCONNECT_FIRST && chosen <= IDM_DISCONNECT_LAST) ||
                      (chosen >= IDM_RECENT_FIRST && chosen <= IDM_RECENT_LAST);
  if (!listed) forgetMenuLists();
  if (chosen != 0) onMenuCommand(chosen);
  forgetMenuLists();
}

void MainWindow::forgetMenuLists() {
  menuPhones_.clear();
  menuMessages_.clear();
}

bool MainWindow::onMenuCommand(UINT command) {
  switch (command) {
    case IDM_AUTORUN:
      // Goes by the entry as it is now, not as the menu showed it.
      if (QueryAutorun()) DisableAutorun();
      else EnableAutorun();
      return true;
    case IDM_DOWNLOAD_LATEST: OpenTarget(L"" TAVRIN_URL_DOWNLOAD_LATEST); return true;
    case IDM_WEBSITE: OpenTarget(L"" TAVRIN_URL_WEBSITE); return true;
    case IDM_FACEBOOK: OpenTarget(L"" TAVRIN_URL_FACEBOOK); return true;
    case IDM_MAIL_TO_US: OpenTarget(L"" TAVRIN_MAILTO_CONTACT); return true;
    case IDM_STORE_IPHONE_1: OpenTarget(L"" TAVRIN_STORE_IPHONE_1_URL); return true;
    case IDM_STORE_IPHONE_2: OpenTarget(L"" TAVRIN_STORE_IPHONE_2_URL); return true;
    case IDM_STORE_IPAD_1: OpenTarget(L"" TAVRIN_STORE_IPAD_1_URL); return true;
    case IDM_STORE_IPAD_2: OpenTarget(L"" TAVRIN_STORE_IPAD_2_URL); return true;
    case IDM_STORE_ANDROID_1: OpenTarget(L"" TAVRIN_STORE_ANDROID_1_URL); return true;
    case IDM_STORE_ANDROID_2: OpenTarget(L"" TAVRIN_STORE_ANDROID_2_URL); return true;
    case IDM_STORE_ANDROID_3: OpenTarget(L"" TAVRIN_STORE_ANDROID_3_URL); return true;
    case IDM_STORE_ANDROID_4: OpenTarget(L"" TAVRIN_STORE_ANDROID_4_URL); return true;
    case IDM_ABOUT: about_.show(window_); return true;
    case IDM_ALLOW_FIREWALL: allowPhonesThroughFirewall(); return true;
    case IDM_EXIT: ownWindow_.reset(); return true;
    default: return onPhoneCommand(command) || onRecentCommand(command);
  }
}

}  // namespace tavrin
