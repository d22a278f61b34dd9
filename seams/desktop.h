// The desktop the worker acts on, in four interfaces by intent: the windows
// (the one in front, its commands, posting to it), the displays, the
// keyboard layouts and the shell with the presentation program. `Desktop`
// is all four, for the platform that implements them; a consumer takes only
// the one it uses. The product implements them with Win32; tests use a
// scripted fake. Window and thread references are opaque numbers (a HWND
// value, a thread id).
#pragma once
#include <cstdint>

#include "seams/input_codes.h"

namespace tavrin {

using WindowRef = uintptr_t;  // 0 means "no window"

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The fields of GUITHREADINFO the text entry needs.
struct GuiThreadWindows {
  WindowRef caret = 0, focus = 0, active = 0;
};

// The fields of DISPLAY_DEVICEW the display switch needs.
struct DisplayDevice {
  wchar_t deviceName[32] = {};
  uint32_t stateFlags = 0;
};

// Style bits, as the platform defines them.
constexpr uint32_t kStyleMaximizeBox = 0x00010000;  // WS_MAXIMIZEBOX
constexpr uint32_t kStyleMinimizeBox = 0x00020000;  // WS_MINIMIZEBOX
constexpr uint32_t kStyleThickFrame = 0x00040000;   // WS_THICKFRAME
constexpr uint32_t kStyleMaximize = 0x01000000;     // WS_MAXIMIZE
constexpr uint32_t kStyleVisible = 0x10000000;      // WS_VISIBLE

// The foreground window: its queries and commands, and the text entry's
// way into windows that are not Unicode windows.
class DesktopWindows {
 public:
  virtual ~DesktopWindows() = default;

  virtual WindowRef foregroundWindow() = 0;
  virtual uint32_t windowStyle(WindowRef window) = 0;
  virtual bool isIconic(WindowRef window) = 0;
  virtual bool isZoomed(WindowRef window) = 0;
  virtual bool windowRect(WindowRef window, Rect& rect) = 0;
  // These three answer in the coordinates of windowRect and setWindowPos.
  // The work area (the screen without the taskbar) of the monitor that holds
  // most of the window.
  virtual bool monitorWorkArea(WindowRef window, Rect& area) = 0;
  // The window's visible frame, without the invisible resizing borders that
  // windowRect includes; false where none can be told apart.
  virtual bool visibleFrame(WindowRef window, Rect& frame) = 0;
  // The DPI those coordinates have at the window (96 at 100 %).
  virtual uint32_t windowDpi(WindowRef window) = 0;
  virtual void setWindowPos(WindowRef window, int32_t x, int32_t y, int32_t width, int32_t height,
                            uint32_t flags) = 0;
  virtual void showWindow(WindowRef window, int32_t command) = 0;
  // WM_SYSCOMMAND, waiting a couple of seconds at most for the window to
  // answer: a program that hangs, or that answers "close" with a save prompt,
  // must not hold up every phone.
  virtual void sendSysCommand(WindowRef window, uint32_t command) = 0;
  // True for the windows of this program itself (the hidden main window while
  // the tray menu is open, a message box), which the window commands leave alone.
  virtual bool isOwnWindow(WindowRef window) = 0;
  // Whether `window`'s process runs above this program: its integrity level
  // is higher (elevated, or a system process; one that may not be opened
  // counts as higher). Windows drops injected input aimed at such a window.
  // False when that cannot be found out.
  virtual bool windowRunsElevated(WindowRef window) = 0;
  // Whether this program runs so high that no window can be above it (then
  // windowRunsElevated is never asked). Does not change while it runs.
  virtual bool thisProgramElevated() = 0;
  // Full path of the main executable of the foreground window's process, or
  // an empty text; writes at most `capacity` units including the zero.
  virtual void foregroundProcessPath(wchar_t* path, uint32_t capacity) = 0;

  // Text entry into windows that are not Unicode windows.
  virtual bool isWindowUnicode(WindowRef window) = 0;
  virtual uint32_t windowThread(WindowRef window) = 0;
  virtual bool guiThreadInfo(uint32_t thread, GuiThreadWindows& info) = 0;
  virtual void attachThreadInput(uint32_t thread, bool attach) = 0;
  virtual void postMessage(WindowRef window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  virtual void sleepMilliseconds(uint32_t milliseconds) = 0;
};

// The displays and their arrangement.
class DesktopDisplays {
 public:
  virtual ~DesktopDisplays() = default;
  // EnumDisplayDevicesW: with `adapter` null the display adapters, else the
  // monitors attached to the adapter of that device name.
  virtual bool enumDisplayDevice(const wchar_t* adapter, uint32_t index, DisplayDevice& device) = 0;
  // ChangeDisplaySettingsExW; `deviceName` null and `fields` 0 mean "no
  // device, no mode" (the final apply).
  virtual void changeDisplaySettings(const wchar_t* deviceName, uint32_t fields, int32_t x, int32_t y,
                                     uint32_t width, uint32_t height, uint32_t flags) = 0;
};

// The installed keyboard layouts and their keys. A layout is an opaque
// handle (an HKL value), 0 when there is none to ask.
class KeyboardLayouts {
 public:
  virtual ~KeyboardLayouts() = default;
  // The layout of the window in front (of its thread).
  virtual uintptr_t foregroundLayout() = 0;
  virtual uintptr_t keyboardLayout(uint32_t thread) = 0;
  // Fills at most `capacity` layout handles and returns how many are installed
  // (GetKeyboardLayoutList semantics; capacity 0 only counts).
  virtual int32_t keyboardLayouts(uintptr_t* layouts, int32_t capacity) = 0;
  // MapVirtualKeyExW: `code` translated as `mapType` (kMapVirtualKeyTo*)
  // says, in `layout`; 0 when the layout has no translation.
  virtual uint32_t mapVirtualKey(uint32_t code, uint32_t mapType, uintptr_t layout) = 0;
  // VkKeyScanExW: the key that types `character` in `layout`, its virtual
  // key in the low byte and its shift state (kShiftState*) in the high
  // byte; -1 when no key of the layout types it.
  virtual int16_t vkKeyScan(uint16_t character, uintptr_t layout) = 0;
};

// The shell and the presentation program.
class DesktopShell {
 public:
  virtual ~DesktopShell() = default;
  // Whether desktop composition is on (the main thread keeps it current):
  // the left Windows key then holds the window switcher open, not Alt.
  virtual bool compositionEnabled() = 0;
  // The shell's ToggleDesktop, and the Extension library.
  virtual void toggleDesktop() = 0;
  // Whether the window in front is the presentation program's, the one the
  // presenter keys are meant for (every other window gets none of them).
  virtual bool presentationInFront() = 0;
  virtual void startPresentationProgram() = 0;
  virtual void stopPresentationProgram() = 0;
};

class Desktop : public DesktopWindows, public DesktopDisplays, public KeyboardLayouts, public DesktopShell {};

// For a server that has no desktop (tests, benchmarks, fuzzing): every query
// answers "nothing there" and every command does nothing.
class NullDesktop : public Desktop {
 public:
  WindowRef foregroundWindow() override { return 0; }
  uint32_t windowStyle(WindowRef) override { return 0; }
  bool isIconic(WindowRef) override { return false; }
  bool isZoomed(WindowRef) override { return false; }
  bool windowRect(WindowRef, Rect&) override { return false; }
  bool monitorWorkArea(WindowRef, Rect&) override { return false; }
  bool visibleFrame(WindowRef, Rect&) override { return false; }
  uint32_t windowDpi(WindowRef) override { return 96; }
  void setWindowPos(WindowRef, int32_t, int32_t, int32_t, int32_t, uint32_t) override {}
  void showWindow(WindowRef, int32_t) override {}
  void sendSysCommand(WindowRef, uint32_t) override {}
  bool isOwnWindow(WindowRef) override { return false; }
  bool windowRunsElevated(WindowRef) override { return false; }
  bool thisProgramElevated() override { return false; }
  void foregroundProcessPath(wchar_t* path, uint32_t capacity) override {
    if (capacity) path[0] = L'\0';
  }
  bool isWindowUnicode(WindowRef) override { return true; }
  uint32_t windowThread(WindowRef) override { return 0; }
  bool guiThreadInfo(uint32_t, GuiThreadWindows&) override { return false; }
  void attachThreadInput(uint32_t, bool) override {}
  void postMessage(WindowRef, uint32_t, uintptr_t, intptr_t) override {}
  void sleepMilliseconds(uint32_t) override {}

  bool enumDisplayDevice(const wchar_t*, uint32_t, DisplayDevice&) override { return false; }
  void changeDisplaySettings(const wchar_t*, uint32_t, int32_t, int32_t, uint32_t, uint32_t, uint32_t) override {}

  uintptr_t foregroundLayout() override { return 0; }
  uintptr_t keyboardLayout(uint32_t) override { return 0; }
  int32_t keyboardLayouts(uintptr_t*, int32_t) override { return 0; }
  uint32_t mapVirtualKey(uint32_t, uint32_t, uintptr_t) override { return 0; }
  int16_t vkKeyScan(uint16_t, uintptr_t) override { return -1; }

  bool compositionEnabled() override { return false; }
  void toggleDesktop() override {}
  bool presentationInFront() override { return false; }
  void startPresentationProgram() override {}
  void stopPresentationProgram() override {}
};

}  // namespace tavrin
