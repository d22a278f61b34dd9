#include "app/system_actions.h"

#include <windows.h>

#include <cwchar>

#include "base/win32_handles.h"

namespace tavrin {

namespace {

const wchar_t kShutdownQuestion[] = L"Are you sure to shutdown Windows?";
const wchar_t kShutdownCaption[] = L"Tavrin";

BOOL CALLBACK BringQuestionForward(HWND window, LPARAM) {
  wchar_t className[16] = {}, caption[16] = {};
  GetClassNameW(window, className, 16);
  GetWindowTextW(window, caption, 16);
  if (std::wcscmp(className, L"#32770") != 0 || std::wcscmp(caption, kShutdownCaption) != 0) return TRUE;
  SetForegroundWindow(window);
  return FALSE;
}

}  // namespace

bool QueryCompositionEnabled() {
  // dwmapi is looked up at run time: systems without a window manager lack it.
  BOOL enabled = FALSE;
  const unique_hmodule dwm(LoadLibraryW(L"dwmapi"));
  if (dwm) {
    using IsCompositionEnabled = HRESULT(WINAPI*)(BOOL*);
    auto query = reinterpret_cast<IsCompositionEnabled>(
        reinterpret_cast<void*>(GetProcAddress(dwm.get(), "DwmIsCompositionEnabled")));
    if (query == nullptr || query(&enabled) != S_OK) enabled = FALSE;
  }
  return enabled != FALSE;
}

bool AskToShutDown() {
  // Cancel is the default button: the box takes the focus, and someone typing
  // at that moment must not confirm with Enter or Space.
  // MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2 | MB_TOPMOST
  return MessageBoxW(nullptr, kShutdownQuestion, kShutdownCaption, 0x00040131) == IDOK;
}

void BringShutdownQuestionForward() { EnumThreadWindows(GetCurrentThreadId(), BringQuestionForward, 0); }

bool ShutDownWindows() {
  unique_handle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return false;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  // Succeeds without enabling anything when the privilege is not held; only
  // the last error tells.
  if (GetLastError() != ERROR_SUCCESS) return false;
  // Programs may save or ask first; only those that do not answer are ended,
  // so confirming the shutdown never silently loses someone's unsaved work.
  // EWX_SHUTDOWN | EWX_FORCEIFHUNG; planned, operating system, upgrade.
  return ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCEIFHUNG, 0x80020003) != FALSE;
}

}  // namespace tavrin
