// Win32Desktop: the foreground window, the displays, the keyboard layouts
// and the shell, for the worker.
#include "app/win32_platform.h"

#include <dwmapi.h>
#include <ole2.h>
#include <psapi.h>
#include <shldisp.h>

#include <cstring>

#include "actions/presentation.h"
#include "base/win32_handles.h"
#include "extension/Extension.h"
#include "shell/elevation_notice.h"

namespace tavrin {

namespace {

HWND ToHandle(WindowRef window) { return reinterpret_cast<HWND>(window); }

// How long the worker waits for another program's window. Every phone waits
// while it does, so a window that does not answer in this time is given up on.
constexpr UINT kWindowAnswerMs = 1500;

// Moving or showing another thread's window waits for that thread without a
// time limit; ask first whether it answers at all.
bool Answers(HWND window) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWindowAnswerMs, &ignored) != 0;
}

// The shell's automation object and the interface that has ToggleDesktop.
constexpr CLSID kShellClass = {0x13709620, 0xC279, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr IID kShellDispatch4 = {0xEFD84B2D, 0x4BCF, 0x4298, {0xBE, 0x25, 0xEB, 0x54, 0x2A, 0x59, 0xFB, 0xDA}};
constexpr IID kDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr DWORD kShellClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;  // 0x15

// Shells whose object lacks IShellDispatch4 may still answer the method by
// name.
void ToggleDesktopByName(IDispatch* shell) {
  wchar_t name[] = L"ToggleDesktop";
  LPOLESTR names[] = {name};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(shell->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  shell->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
}

}  // namespace

WindowRef Win32Desktop::foregroundWindow() { return reinterpret_cast<WindowRef>(GetForegroundWindow()); }

uint32_t Win32Desktop::windowStyle(WindowRef window) {
  return static_cast<uint32_t>(GetWindowLongW(ToHandle(window), GWL_STYLE));
}

bool Win32Desktop::isIconic(WindowRef window) { return IsIconic(ToHandle(window)) != FALSE; }

bool Win32Desktop::isZoomed(WindowRef window) { return IsZoomed(ToHandle(window)) != FALSE; }

bool Win32Desktop::windowRect(WindowRef window, Rect& rect) {
  RECT r;
  if (!GetWindowRect(ToHandle(window), &r)) return false;
  rect.left = r.left;
  rect.top = r.top;
  rect.right = r.right;
  rect.bottom = r.bottom;
  return true;
}

namespace {

Rect ToRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

// A function of user32 or dwmapi that older systems lack, looked up by name.
template <typename Function>
Function SystemFunction(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Whether this thread sees other programs' windows in physical pixels (it
// is per-monitor DPI aware). Otherwise Windows scales their coordinates to
// 96 DPI for it, the zoom step with them, and the frame the window manager
// reports, always in physical pixels, would not fit them.
bool PerMonitorAware() {
  const HMODULE user32 = GetModuleHandleW(L"user32");
  const auto context = SystemFunction<HANDLE(WINAPI*)()>(user32, "GetThreadDpiAwarenessContext");
  const auto awareness = SystemFunction<int(WINAPI*)(HANDLE)>(user32, "GetAwarenessFromDpiAwarenessContext");
  constexpr int kPerMonitorAware = 2;  // DPI_AWARENESS_PER_MONITOR_AWARE
  return context && awareness && awareness(context()) == kPerMonitorAware;
}

}  // namespace

bool Win32Desktop::monitorWorkArea(WindowRef window, Rect& area) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromWindow(ToHandle(window), MONITOR_DEFAULTTONEAREST), &info)) return false;
  area = ToRect(info.rcWork);
  return true;
}

bool Win32Desktop::visibleFrame(WindowRef window, Rect& frame) {
  if (!PerMonitorAware()) return false;
  const unique_hmodule dwm(LoadLibraryW(L"dwmapi"));
  const auto attribute = SystemFunction<HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD)>(dwm.get(), "DwmGetWindowAttribute");
  RECT bounds;
  if (!attribute || attribute(ToHandle(window), DWMWA_EXTENDED_FRAME_BOUNDS, &bounds, sizeof bounds) != S_OK)
    return false;
  frame = ToRect(bounds);
  return true;
}

uint32_t Win32Desktop::windowDpi(WindowRef window) {
  if (!PerMonitorAware()) return 96;
  const auto dpiForWindow = SystemFunction<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32"), "GetDpiForWindow");
  const UINT dpi = dpiForWindow ? dpiForWindow(ToHandle(window)) : 0;
  return dpi ? dpi : 96;
}

void Win32Desktop::setWindowPos(WindowRef window, int32_t x, int32_t y, int32_t width, int32_t height,
                                uint32_t flags) {
  if (!Answers(ToHandle(window))) return;
  // The window itself as the insert-after handle; SWP_NOZORDER makes it moot.
  SetWindowPos(ToHandle(window), ToHandle(window), x, y, width, height, flags);
}

void Win32Desktop::showWindow(WindowRef window, int32_t command) {
  if (Answers(ToHandle(window))) ShowWindow(ToHandle(window), command);
}

void Win32Desktop::sendSysCommand(WindowRef window, uint32_t command) {
  // A window that answers "close" with a save prompt answers only when the
  // user does; the command has reached it by the time the wait is given up.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(ToHandle(window), WM_SYSCOMMAND, command, 0, SMTO_ABORTIFHUNG, kWindowAnswerMs, &ignored);
}

namespace {

// The mandatory integrity level of a process (its label's RID: 0x2000
// medium, 0x3000 high, 0x4000 system). Windows blocks input from a process
// to any process above it, elevated or not (UIPI). A token this program may
// not even open belongs to a process above it.
uint32_t ProcessIntegrity(HANDLE process) {
  unique_handle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.put()))
    return GetLastError() == ERROR_ACCESS_DENIED ? kIntegrityUnknownAbove : 0;
  alignas(TOKEN_MANDATORY_LABEL) BYTE buffer[64] = {};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenIntegrityLevel, buffer, sizeof buffer, &size)) return 0;
  const SID* sid = static_cast<const SID*>(reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid);
  const UCHAR count = *GetSidSubAuthorityCount(const_cast<SID*>(sid));
  return count == 0 ? 0 : *GetSidSubAuthority(const_cast<SID*>(sid), count - 1u);
}

}  // namespace

bool Win32Desktop::windowRunsElevated(WindowRef window) {
  DWORD processId = 0;
  if (GetWindowThreadProcessId(ToHandle(window), &processId) == 0 || processId == 0) return false;
  const unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  const uint32_t target =
      process ? ProcessIntegrity(process.get()) : (GetLastError() == ERROR_ACCESS_DENIED ? kIntegrityUnknownAbove : 0);
  return IntegrityBlocksInput(ProcessIntegrity(GetCurrentProcess()), target);
}

bool Win32Desktop::thisProgramElevated() {
  return !IntegrityCanBeBlocked(ProcessIntegrity(GetCurrentProcess()));
}

bool Win32Desktop::isOwnWindow(WindowRef window) {
  DWORD process = 0;
  GetWindowThreadProcessId(ToHandle(window), &process);
  return process == GetCurrentProcessId();
}

bool Win32Desktop::isWindowUnicode(WindowRef window) { return IsWindowUnicode(ToHandle(window)) != FALSE; }

uint32_t Win32Desktop::windowThread(WindowRef window) {
  return GetWindowThreadProcessId(ToHandle(window), nullptr);
}

bool Win32Desktop::guiThreadInfo(uint32_t thread, GuiThreadWindows& info) {
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  if (!GetGUIThreadInfo(thread, &gui)) return false;
  info.caret = reinterpret_cast<WindowRef>(gui.hwndCaret);
  info.focus = reinterpret_cast<WindowRef>(gui.hwndFocus);
  info.active = reinterpret_cast<WindowRef>(gui.hwndActive);
  return true;
}

void Win32Desktop::attachThreadInput(uint32_t thread, bool attach) {
  AttachThreadInput(GetCurrentThreadId(), thread, attach ? TRUE : FALSE);
}

int32_t Win32Desktop::keyboardLayouts(uintptr_t* layouts, int32_t capacity) {
  if (capacity <= 0 || layouts == nullptr) return GetKeyboardLayoutList(0, nullptr);
  // Far more layouts than any system installs; the caller's capacity is the
  // real limit.
  HKL list[64];
  const int32_t wanted = capacity < 64 ? capacity : 64;
  const int32_t count = GetKeyboardLayoutList(wanted, list);
  for (int32_t i = 0; i < count && i < wanted; ++i) layouts[i] = reinterpret_cast<uintptr_t>(list[i]);
  return count;
}

uintptr_t Win32Desktop::foregroundLayout() { return keyboardLayout(windowThread(foregroundWindow())); }

uintptr_t Win32Desktop::keyboardLayout(uint32_t thread) {
  return reinterpret_cast<uintptr_t>(GetKeyboardLayout(thread));
}

uint32_t Win32Desktop::mapVirtualKey(uint32_t code, uint32_t mapType, uintptr_t layout) {
  return MapVirtualKeyExW(code, mapType, reinterpret_cast<HKL>(layout));
}

int16_t Win32Desktop::vkKeyScan(uint16_t character, uintptr_t layout) {
  return VkKeyScanExW(static_cast<WCHAR>(character), reinterpret_cast<HKL>(layout));
}

void Win32Desktop::postMessage(WindowRef window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  PostMessageW(ToHandle(window), message, wParam, lParam);
}

void Win32Desktop::sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

void Win32Desktop::foregroundProcessPath(wchar_t* path, uint32_t capacity) {
  if (path == nullptr || capacity == 0) return;
  std::memset(path, 0, capacity * sizeof(wchar_t));
  HWND window = GetForegroundWindow();
  if (window == nullptr) return;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  const unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));  // 0x0410
  if (!process) return;
  GetModuleFileNameExW(process.get(), nullptr, path, capacity);
  // Older systems leave a path that fills the buffer unterminated.
  path[capacity - 1] = L'\0';
}

bool Win32Desktop::enumDisplayDevice(const wchar_t* adapter, uint32_t index, DisplayDevice& device) {
  DISPLAY_DEVICEW record = {};
  record.cb = sizeof record;
  if (!EnumDisplayDevicesW(adapter, index, &record, EDD_GET_DEVICE_INTERFACE_NAME)) return false;
  std::memcpy(device.deviceName, record.DeviceName, sizeof device.deviceName);
  device.deviceName[31] = L'\0';
  device.stateFlags = record.StateFlags;
  return true;
}

void Win32Desktop::changeDisplaySettings(const wchar_t* deviceName, uint32_t fields, int32_t x, int32_t y,
                                         uint32_t width, uint32_t height, uint32_t flags) {
  if (deviceName == nullptr && fields == 0) {
    ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, flags, nullptr);
    return;
  }
  DEVMODEW mode = {};
  mode.dmSize = sizeof mode;
  mode.dmFields = fields;
  mode.dmPosition.x = x;
  mode.dmPosition.y = y;
  mode.dmPelsWidth = width;
  mode.dmPelsHeight = height;
  ChangeDisplaySettingsExW(deviceName, &mode, nullptr, flags, nullptr);
}

void Win32Desktop::toggleDesktop() {
  unique_com<IDispatch> shell;
  if (FAILED(CoCreateInstance(kShellClass, nullptr, kShellClassContext, kDispatch,
                              reinterpret_cast<void**>(shell.put()))) ||
      !shell)
    return;
  unique_com<IShellDispatch4> shell4;
  if (SUCCEEDED(shell->QueryInterface(kShellDispatch4, reinterpret_cast<void**>(shell4.put()))) && shell4)
    shell4->ToggleDesktop();  // E_NOTIMPL on some shells: nothing to do about it
  else
    ToggleDesktopByName(shell.get());
}

bool Win32Desktop::presentationInFront() { return IsPresentationInFront(*this); }

void Win32Desktop::startPresentationProgram() { StartPowerPointProgram(); }

void Win32Desktop::stopPresentationProgram() { StopPowerPointProgram(); }

}  // namespace tavrin
