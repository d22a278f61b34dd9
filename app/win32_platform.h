// The Win32 side of the seams through which the portable core reaches the
// system: input injection, the foreground window and displays, the requests
// to the main window, and the local network's addresses.
#pragma once
#include <windows.h>

#include <atomic>

#include "base/log.h"
#include "seams/desktop.h"
#include "seams/user_interface.h"
#include "shell/phone_roster.h"
#include "seams/injector.h"
#include "seams/network_info.h"

namespace tavrin {

// Every event is one INPUT record in its own SendInput call. Refused events
// go to the log: the first of a run of them, then how many followed.
class Win32Injector final : public Injector {
 public:
  explicit Win32Injector(Log* log) : log_(log) {}
  bool key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) override;
  bool mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) override;

 private:
  bool sent(UINT result);
  Log* log_;
  uint32_t refusedInARow_ = 0;
};

class Win32Desktop final : public Desktop {
 public:
  WindowRef foregroundWindow() override;
  uint32_t windowStyle(WindowRef window) override;
  bool isIconic(WindowRef window) override;
  bool isZoomed(WindowRef window) override;
  bool windowRect(WindowRef window, Rect& rect) override;
  bool monitorWorkArea(WindowRef window, Rect& area) override;
  bool visibleFrame(WindowRef window, Rect& frame) override;
  uint32_t windowDpi(WindowRef window) override;
  void setWindowPos(WindowRef window, int32_t x, int32_t y, int32_t width, int32_t height,
                    uint32_t flags) override;
  void showWindow(WindowRef window, int32_t command) override;
  void sendSysCommand(WindowRef window, uint32_t command) override;
  bool isOwnWindow(WindowRef window) override;
  bool compositionEnabled() override { return composition_.load(std::memory_order_relaxed); }
  // Kept current by the main window, at start and when composition changes.
  void setComposition(bool enabled) { composition_.store(enabled, std::memory_order_relaxed); }
  bool windowRunsElevated(WindowRef window) override;
  bool thisProgramElevated() override;

  bool isWindowUnicode(WindowRef window) override;
  uint32_t windowThread(WindowRef window) override;
  bool guiThreadInfo(uint32_t thread, GuiThreadWindows& info) override;
  void attachThreadInput(uint32_t thread, bool attach) override;
  int32_t keyboardLayouts(uintptr_t* layouts, int32_t capacity) override;
  uintptr_t foregroundLayout() override;
  uintptr_t keyboardLayout(uint32_t thread) override;
  uint32_t mapVirtualKey(uint32_t code, uint32_t mapType, uintptr_t layout) override;
  int16_t vkKeyScan(uint16_t character, uintptr_t layout) override;
  void postMessage(WindowRef window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void sleepMilliseconds(uint32_t milliseconds) override;

  void foregroundProcessPath(wchar_t* path, uint32_t capacity) override;
  bool enumDisplayDevice(const wchar_t* adapter, uint32_t index, DisplayDevice& device) override;
  void changeDisplaySettings(const wchar_t* deviceName, uint32_t fields, int32_t x, int32_t y,
                             uint32_t width, uint32_t height, uint32_t flags) override;

  void toggleDesktop() override;
  bool presentationInFront() override;
  void startPresentationProgram() override;
  void stopPresentationProgram() override;

 private:
  std::atomic<bool> composition_{false};
};

// Crosses from the worker thread to the main window.
class Win32UserInterface final : public UserInterface {
 public:
  explicit Win32UserInterface(HWND mainWindow) : mainWindow_(mainWindow) {}
  void showPeerBalloon(const char* title, const char* target) override;
  void requestShutdown() override;
  void reportPorts(bool listening, bool announcing) override;
  void warnElevatedWindow() override;

 private:
  HWND mainWindow_;
};

// Tells the main window, by a posted message, that the prompt before a new
// phone should change.
class WindowPromptListener final : public PromptListener {
 public:
  void setWindow(HWND window) { window_ = window; }
  void promptChanged() noexcept override;
  // Called by the window before it looks at the roster: a change after this
  // posts a new notice.
  void taken() noexcept { posted_.store(false, std::memory_order_release); }

 private:
  HWND window_ = nullptr;
  // One notice in the queue at a time: a flood of connections changes the
  // prompt thousands of times a second, and the window only needs to look.
  std::atomic<bool> posted_{false};
};

// A phone's hardware address from the neighbour table as it stands; never
// asks the network.
class Win32NeighbourTable final : public NeighbourTable {
 public:
  bool hardwareAddress(uint32_t ipv4, MacAddress& mac) noexcept override;
};

// The worker asks for the address table and the computer's name every
// second, for discovery. Both are kept: the table is read again only after
// the addresses changed (invalidate(), from the main thread) or a minute
// went by (in case a change was not announced), and the name, which Windows
// changes only at a restart, once. So the once-a-second broadcast costs no
// system query that could hold up a phone's next message.
class Win32NetworkInfo final : public NetworkInfo {
 public:
  bool addressTable(AddressRow* rows, uint32_t capacity, uint32_t& count) override;
  int32_t computerName(char* name, uint32_t capacity) override;
  // Any thread: the next addressTable() reads the system's table again.
  void invalidate() { stale_.store(true, std::memory_order_release); }

 private:
  static constexpr uint32_t kKeptRows = 64;
  static constexpr uint64_t kLongestKeptMs = 60 * 1000;
  bool readTable();

  std::atomic<bool> stale_{true};
  uint64_t readAtMs_ = 0;
  bool haveTable_ = false;
  AddressRow kept_[kKeptRows] = {};
  uint32_t keptCount_ = 0;  // rows in the system's table (may exceed kKeptRows)
  char name_[64] = {};
  int32_t nameLength_ = -1;
};

}  // namespace tavrin
