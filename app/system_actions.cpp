// The desktop-composition flag and the confirmed shutdown, both on the main
// thread.
#include <windows.h>

#include <cwchar>

#include "actions/window_actions.h"
#include "app/shell.h"

namespace tavrin {

void RefreshCompositionFlag() {
  // dwmapi is looked up at run time: systems without a window manager lack it.
  BOOL enabled = FALSE;
  HMODULE dwm = LoadLibraryW(L"dwmapi");
  if (dwm != nullptr) {
    using IsCompositionEnabled = HRESULT(WINAPI*)(BOOL*);
    auto query = reinterpret_cast<IsCompositionEnabled>(
        reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
    if (query == nullptr || query(&enabled) != S_OK) enabled = FALSE;
    FreeLibrary(dwm);
  }
  compositionEnabled.store(static_cast<int32_t>(enabled));
}

namespace {

const wchar_t kShutdownQuestion[] = L"Are you sure to shutdown Windows?";
const wchar_t kShutdownCaption[] = L"Tavrin";
// The question is open: further requests bring it to the front instead of
// opening another box inside this one's modal loop.
bool confirmationOpen = false;

BOOL CALLBACK BringConfirmationForward(HWND window, LPARAM) {
  wchar_t className[16] = {}, caption[16] = {};
  GetClassNameW(window, className, 16);
  GetWindowTextW(window, caption, 16);
  if (std::wcscmp(className, L"#32770") != 0 || std::wcscmp(caption, kShutdownCaption) != 0) return TRUE;
  SetForegroundWindow(window);
  return FALSE;
}

}  // namespace

void ConfirmAndShutDown() {
  if (confirmationOpen) {
    EnumThreadWindows(GetCurrentThreadId(), BringConfirmationForward, 0);
    return;
  }
  // Cancel is the default button: the box takes the focus, and someone typing
  // at that moment must not confirm with Enter or Space.
  // MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2 | MB_TOPMOST
  confirmationOpen = true;
  const int answer = MessageBoxW(nullptr, kShutdownQuestion, kShutdownCaption, 0x00040131);
  confirmationOpen = false;
  if (answer != IDOK) return;
  // The box also ends when its modal loop meets the quit message, for example
  // when the user exits from the tray menu while the question is open. Only
  // a real OK counts: the main window is gone by then and the quit message is
  // posted again.
  MSG quit;
  if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) || !IsWindow(mainWindowHandle)) return;

  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    CloseHandle(token);
    return;
  }
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  // Succeeds without enabling anything when the privilege is not held; only
  // the last error tells.
  const DWORD error = GetLastError();
  CloseHandle(token);
  if (error != ERROR_SUCCESS) return;
  // Programs may save or ask first; only those that do not answer are ended,
  // so confirming the shutdown never silently loses someone's unsaved work.
  // EWX_SHUTDOWN | EWX_FORCEIFHUNG; planned, operating system, upgrade.
  ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCEIFHUNG, 0x80020003);
}

}  // namespace tavrin
