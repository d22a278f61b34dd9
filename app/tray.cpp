// The tray icon, its menu, the about box and the peer-message balloon.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <cwchar>

#include "shell/peer_target.h"
#include "shell/address_line.h"
#include "app/links.h"
#include "app/resource.h"
#include "app/shell.h"
#include "app/win32_platform.h"

namespace tavrin {

wchar_t peerMessageTarget[kPeerTargetUnits] = {};

namespace {

const wchar_t kAddressPrefix[] = L"IP Address : ";
const wchar_t kTipHeading[] = L"Tavrin\n";
constexpr size_t kMenuCaptionCapacity = 1024;
// Rows read from the address table; more than any caption can show.
constexpr uint32_t kAddressRowCapacity = 64;

// The link font of the about box. Only one about box is open at a time, so
// one font is enough; `aboutDialog` is that box while it exists.
HFONT linkFont = nullptr;
HWND aboutDialog = nullptr;

// Copies `source` into `target` (capacity units, zero included), cutting it
// short if needed, and returns the new length.
size_t CopyText(wchar_t* target, size_t capacity, const wchar_t* source) {
  size_t length = 0;
  while (length + 1 < capacity && source[length] != L'\0') {
    target[length] = source[length];
    ++length;
  }
  target[length] = L'\0';
  return length;
}

size_t AppendText(wchar_t* target, size_t capacity, const wchar_t* source) {
  size_t length = std::wcslen(target);
  return length + CopyText(target + length, capacity - length, source);
}

bool ReadAddressTable(AddressRow (&rows)[kAddressRowCapacity], uint32_t& count) {
  Win32NetworkInfo network;
  count = 0;
  if (!network.addressTable(rows, kAddressRowCapacity, count)) return false;
  if (count > kAddressRowCapacity) count = kAddressRowCapacity;
  return true;
}

NOTIFYICONDATAW EmptyIconRecord(HWND window) {
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof record;
  record.hWnd = window;
  record.uID = kTrayIconId;
  return record;
}

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

void ShowAboutBox(HWND window) {
  if (aboutDialog != nullptr) {
    SetForegroundWindow(aboutDialog);
    return;
  }
  DialogBoxParamW(instanceHandle, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutDialogProc, 0);
}

}  // namespace

void OpenTarget(const wchar_t* target) { ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOW); }

bool OpenPeerTarget(const wchar_t* target) {
  const PeerTarget judged = ClassifyPeerTarget(target);
  switch (judged.kind) {
    case PeerTargetKind::Nothing: return true;
    case PeerTargetKind::Link: OpenTarget(target); return true;
    case PeerTargetKind::Document: {
      // A mapped drive is another computer; and the shell knows more
      // dangerous types than any list kept here.
      const wchar_t root[] = {judged.drive, L':', L'\\', L'\0'};
      if (GetDriveTypeW(root) == DRIVE_REMOTE) return false;
      wchar_t extension[64] = L".";
      if (judged.extension.size() + 2 > sizeof extension / sizeof extension[0]) return false;
      judged.extension.copy(extension + 1, judged.extension.size());
      extension[judged.extension.size() + 1] = L'\0';
      if (AssocIsDangerous(extension)) return false;
      OpenTarget(target);
      return true;
    }
    case PeerTargetKind::Refused: break;
  }
  return false;
}

bool ListLocalAddresses(wchar_t* text, size_t capacity) {
  AddressRow rows[kAddressRowCapacity];
  uint32_t count = 0;
  if (!ReadAddressTable(rows, count)) return false;
  AppendAddressList(text, capacity, rows, count);
  return true;
}

bool AddTrayIcon(HWND window) {
  // The address line goes into the tip after "Tavrin\n" and into the balloon
  // text; each copy keeps only the whole addresses that fit its field.
  NOTIFYICONDATAW record = EmptyIconRecord(window);
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
  record.uCallbackMessage = TrayCallbackMessage;
  // Shared: the icon is added again after every taskbar restart, and a
  // shared icon is loaded once and never has to be destroyed.
  record.hIcon = static_cast<HICON>(LoadImageW(instanceHandle, MAKEINTRESOURCEW(IDI_TAVRIN), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_DEFAULTCOLOR | LR_SHARED));
  static_assert(sizeof record.szTip / sizeof(wchar_t) == kTipCapacity, "tip field");
  static_assert(sizeof record.szInfo / sizeof(wchar_t) == kBalloonTextCapacity, "balloon text field");

  AddressRow rows[kAddressRowCapacity];
  uint32_t count = 0;
  const bool haveTable = ReadAddressTable(rows, count);

  CopyText(record.szTip, kTipCapacity, kTipHeading);
  AppendText(record.szTip, kTipCapacity, kAddressPrefix);
  if (haveTable) AppendAddressList(record.szTip, kTipCapacity, rows, count);

  CopyText(record.szInfo, kBalloonTextCapacity, kAddressPrefix);
  if (haveTable) AppendAddressList(record.szInfo, kBalloonTextCapacity, rows, count);

  CopyText(record.szInfoTitle, sizeof record.szInfoTitle / sizeof(wchar_t), L"Tavrin is running in background.");
  record.dwInfoFlags = NIIF_INFO;
  record.uTimeout = 0;
  if (!Shell_NotifyIconW(NIM_ADD, &record)) return false;
  // The start balloon replaces any phone's message: a click on it opens nothing.
  peerMessageTarget[0] = L'\0';
  return true;
}

void RemoveTrayIcon(HWND window) {
  NOTIFYICONDATAW record = EmptyIconRecord(window);
  Shell_NotifyIconW(NIM_DELETE, &record);
}

void OnTrayCallback(HWND window, WPARAM iconId, LPARAM event) {
  if (iconId != kTrayIconId) return;
  switch (event) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      ShowTrayMenu(window);
      break;
    case NIN_BALLOONUSERCLICK:
      if (!OpenPeerTarget(peerMessageTarget)) ShowTargetRefusedBalloon(window);
      break;
    default:
      break;
  }
}

void ShowTrayMenu(HWND window) {
  POINT pointer = {};
  GetCursorPos(&pointer);
  SetForegroundWindow(window);
  HMENU menu = LoadMenuW(instanceHandle, MAKEINTRESOURCEW(IDR_TRAY_MENU));
  if (menu == nullptr) return;
  HMENU popup = GetSubMenu(menu, 0);
  if (popup != nullptr) {
    CheckMenuItem(popup, IDM_AUTORUN, MF_BYCOMMAND | (autorunEnabled ? MF_CHECKED : MF_UNCHECKED));

    wchar_t caption[kMenuCaptionCapacity];
    CopyText(caption, kMenuCaptionCapacity, kAddressPrefix);
    if (!ListLocalAddresses(caption, kMenuCaptionCapacity)) AppendText(caption, kMenuCaptionCapacity, L"N/A");
    // Only the text changes: the item stays grayed.
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = caption;
    SetMenuItemInfoW(popup, IDM_IP_ADDRESS, FALSE, &item);

    TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RIGHTALIGN | TPM_BOTTOMALIGN, pointer.x, pointer.y, 0, window,
                   nullptr);
    // Lets the menu close when the user clicks elsewhere next time.
    PostMessageW(window, WM_NULL, 0, 0);
  }
  DestroyMenu(menu);
}

bool OnMenuCommand(HWND window, UINT command) {
  switch (command) {
    case IDM_AUTORUN:
      if (autorunEnabled)
        DisableAutorun();
      else
        EnableAutorun();
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
    case IDM_ABOUT: ShowAboutBox(window); return true;
    case IDM_EXIT: DestroyWindow(window); return true;
    default: return false;
  }
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      aboutDialog = dialog;
      HWND link = GetDlgItem(dialog, IDC_CONTACT_LINK);
      HFONT font = link != nullptr ? reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)) : nullptr;
      if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
      LOGFONTW description = {};
      if (GetObjectW(font, sizeof description, &description) != 0) {
        description.lfUnderline = TRUE;
        linkFont = CreateFontIndirectW(&description);
        if (link != nullptr && linkFont != nullptr)
          SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont), TRUE);
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
      if (linkFont != nullptr) DeleteObject(linkFont);
      linkFont = nullptr;
      aboutDialog = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void ShowTargetRefusedBalloon(HWND window) {
  NOTIFYICONDATAW record = EmptyIconRecord(window);
  record.uFlags = NIF_INFO;
  CopyText(record.szInfoTitle, sizeof record.szInfoTitle / sizeof(wchar_t), L"Tavrin did not open that message");
  CopyText(record.szInfo, kBalloonTextCapacity,
           L"A message from a phone may open a web or mail link, or a document on this computer. "
           L"It never starts a program or a script, and never opens another computer's files.");
  record.dwInfoFlags = NIIF_WARNING;
  record.uTimeout = 10000;
  // Clicking this balloon opens nothing.
  peerMessageTarget[0] = L'\0';
  Shell_NotifyIconW(NIM_MODIFY, &record);
}

LRESULT ShowPeerBalloon(HWND window, const char* title, const char* target) {
  // The balloon text holds 255 units, of which the click hint takes 21: a
  // longer title is cut, never in the middle of a surrogate pair.
  static const wchar_t kClickHint[] = L"\nClick for details...";
  constexpr size_t kTitleRoom = kBalloonTextCapacity - 1 - (sizeof kClickHint / sizeof(wchar_t) - 1);

  wchar_t converted[1024];
  if (title == nullptr || MultiByteToWideChar(CP_ACP, 0, title, -1, converted, 1024) == 0) converted[0] = L'\0';
  converted[1023] = L'\0';
  if (std::wcslen(converted) > kTitleRoom) {
    size_t cut = kTitleRoom;
    if (converted[cut - 1] >= 0xD800 && converted[cut - 1] <= 0xDBFF) --cut;
    converted[cut] = L'\0';
  }

  NOTIFYICONDATAW record = EmptyIconRecord(window);
  record.uFlags = NIF_INFO;
  CopyText(record.szInfo, kBalloonTextCapacity, converted);
  AppendText(record.szInfo, kBalloonTextCapacity, kClickHint);
  CopyText(record.szInfoTitle, sizeof record.szInfoTitle / sizeof(wchar_t), L"Message from Quillo");
  record.uTimeout = 10000;
  record.dwInfoFlags = 0;

  // Stored before the balloon appears, so a click always finds its target.
  if (target == nullptr ||
      MultiByteToWideChar(CP_ACP, 0, target, -1, peerMessageTarget, static_cast<int>(kPeerTargetUnits)) == 0)
    peerMessageTarget[0] = L'\0';
  peerMessageTarget[kPeerTargetUnits - 1] = L'\0';

  Shell_NotifyIconW(NIM_MODIFY, &record);
  return 0;
}

}  // namespace tavrin
