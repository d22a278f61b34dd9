// The desktop-composition flag and the confirmed shutdown, both on the main
// thread.
#include <windows.h>

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

void ConfirmAndShutDown() {
  // MB_OKCANCEL | MB_ICONWARNING | MB_TOPMOST
  if (MessageBoxW(nullptr, L"Are you sure to shutdown Windows?", L"Tavrin", 0x00040031) != IDOK) return;
  // The box also ends when its modal loop meets the quit message, for example
  // when the user exits from the tray menu while the question is open; it then
  // reports its default button, OK, though nobody confirmed anything. The
  // main window is gone by then and the quit message is posted again.
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
  // EWX_SHUTDOWN | EWX_FORCE; planned, operating system, upgrade.
  ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCE, 0x80020003);
}

}  // namespace tavrin
