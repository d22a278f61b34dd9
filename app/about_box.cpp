#include "app/about_box.h"

#include <windowsx.h>

#include <string_view>

#include "app/desktop_shell.h"
#include "shell/links.h"
#include "app/resource.h"

namespace tavrin {

namespace {

static_assert(std::string_view(TAVRIN_MAILTO_CONTACT) == std::string_view("mailto:" TAVRIN_CONTACT_ADDRESS),
              "the contact link names the contact address");

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

void AboutBox::show(HWND owner) {
  // One at a time, so that its one link font is enough.
  if (dialog_ != nullptr) {
    SetForegroundWindow(dialog_);
    return;
  }
  DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, &AboutBox::Procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK AboutBox::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  auto* self = reinterpret_cast<AboutBox*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self != nullptr ? self->handle(dialog, message, wParam, lParam) : FALSE;
}

INT_PTR AboutBox::handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      dialog_ = dialog;
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
      dialog_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace tavrin
