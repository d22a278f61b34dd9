// The tray menu and the about box.
#include <windows.h>
#include <windowsx.h>

#include <string_view>

#include "app/autorun.h"
#include "app/desktop_shell.h"
#include "app/links.h"
#include "app/main_window.h"
#include "app/resource.h"
#include "shell/address_line.h"

namespace tavrin {

namespace {

static_assert(std::string_view(TAVRIN_MAILTO_CONTACT) == std::string_view("mailto:" TAVRIN_CONTACT_ADDRESS),
              "the contact link names the contact address");

constexpr size_t kMenuCaptionCapacity = 1024;

// Control 1000's rectangle in the dialog's client coordinates.
bool IsOverContactLink(HWND dialog, LPARAM position) {
  HWND link = GetDlgItem(dialog, IDC_CONTACT_LINK);
  if (link == nullptr) return false;
  RECT rect;
  GetWindowRect(link, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  const int x = GET_X_LPARAM(position);
  const int y = GET_Y_LPARAM(position);
  return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

void SetLinkCursor(bool overLink) { SetCursor(LoadCursorW(nullptr, overLink ? IDC_HAND : IDC_ARROW)); }

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
  SetForegroundWindow(window_);
  unique_hmenu menu(LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
  if (!menu) return;
  HMENU popup = GetSubMenu(menu.get(), 0);
  if (popup == nullptr) return;
  CheckMenuItem(popup, IDM_AUTORUN, MF_BYCOMMAND | (autorunEnabled_ ? MF_CHECKED : MF_UNCHECKED));

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
  // Lets the menu close when the user clicks elsewhere next time.
  PostMessageW(window_, WM_NULL, 0, 0);
  if (chosen != 0) onMenuCommand(chosen);
  menuPhones_.clear();
  menuMessages_.clear();
}

bool MainWindow::onMenuCommand(UINT command) {
  switch (command) {
    case IDM_AUTORUN:
      if (autorunEnabled_) {
        if (DisableAutorun()) autorunEnabled_ = false;
      } else if (EnableAutorun()) {
        autorunEnabled_ = true;
      }
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
    case IDM_ABOUT: showAboutBox(); return true;
    case IDM_ALLOW_FIREWALL: allowPhonesThroughFirewall(); return true;
    case IDM_EXIT: DestroyWindow(window_); return true;
    default: return onPhoneCommand(command) || onRecentCommand(command);
  }
}

void MainWindow::showAboutBox() {
  // One at a time, so that its one link font is enough.
  if (aboutDialog_ != nullptr) {
    SetForegroundWindow(aboutDialog_);
    return;
  }
  DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUTBOX), window_, &MainWindow::AboutProcedure,
                  reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainWindow::AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self != nullptr ? self->handleAbout(dialog, message, wParam, lParam) : FALSE;
}

INT_PTR MainWindow::handleAbout(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      aboutDialog_ = dialog;
      HWND link = GetDlgItem(dialog, IDC_CONTACT_LINK);
      HFONT font = link != nullptr ? reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)) : nullptr;
      if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
      LOGFONTW description = {};
      if (GetObjectW(font, sizeof description, &description) != 0) {
        description.lfUnderline = TRUE;
        linkFont_.reset(CreateFontIndirectW(&description));
        if (link != nullptr && linkFont_) SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), TRUE);
      }
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      const LRESULT brush = DefWindowProcW(dialog, message, wParam, lParam);
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_CONTACT_LINK)
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
      return static_cast<INT_PTR>(brush);
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      SetLinkCursor(IsOverContactLink(dialog, lParam));
      return FALSE;
    case WM_LBUTTONDOWN:
      if (IsOverContactLink(dialog, lParam)) {
        SetLinkCursor(true);
        OpenTarget(L"" TAVRIN_MAILTO_CONTACT);
      } else {
        SetLinkCursor(false);
      }
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      linkFont_.reset();
      aboutDialog_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace tavrin
