// A scripted Desktop, all four of its interfaces: tests set what the queries answer and read back the
// commands it was given, as strings such as "sysCommand f060",
// "setWindowPos 230 230 100 80 flags 204", "showWindow 3", "attach 7 on",
// "sleep 20", "post 5 0102 00ff 1", "display DISPLAY2 fields 20 0 0 0x0 flags 10000011".
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "actions/presentation.h"
#include "input/key_tables.h"
#include "seams/desktop.h"

namespace tavrin::test {

class FakeDesktop : public Desktop {
 public:
  // Foreground window and its state.
  WindowRef foreground = 0;
  WindowRef ownWindow = 0;  // a window of the program itself
  uint32_t style = 0;
  bool iconic = false;
  bool zoomed = false;
  Rect rect;
  // Its monitor's work area, its visible frame (none unless a test gives
  // one) and its DPI.
  Rect workArea{0, 0, 1936, 1096};
  Rect frame;
  bool hasFrame = false;
  uint32_t dpi = 96;
  // Elevation: the windows whose process runs as administrator, and this
  // program's own; the windows whose token was queried, in order (kept out
  // of `calls`, which lists commands).
  std::vector<WindowRef> elevatedWindows;
  bool selfElevated = false;
  std::vector<WindowRef> elevationQueries;

  // Text entry.
  bool unicode = true;
  uint32_t thread = 7;
  bool guiInfoAvailable = false;
  GuiThreadWindows gui;
  std::vector<uintptr_t> layouts{0x04090409};
  uintptr_t currentLayout = 0x04090409;

  // The keys of currentLayout: scan codes (none unless a test gives some),
  // VkKeyScanExW's answers (without any given, the key tables' US keys) and
  // dead keys. Another layout has no keys at all.
  std::map<uint16_t, uint16_t> scanCodes;
  std::map<uint16_t, int16_t> characterKeys;
  std::vector<uint16_t> deadKeys;

  // Presentation.
  std::wstring processPath;
  std::vector<DisplayDevice> displays;
  // Adapters in `displays` have one monitor each, except these.
  std::vector<std::wstring> withoutMonitor;

  std::vector<std::string> calls;

  static DisplayDevice Display(const wchar_t* name, uint32_t flags) {
    DisplayDevice device;
    for (int i = 0; name[i] && i < 31; ++i) device.deviceName[i] = name[i];
    device.stateFlags = flags;
    return device;
  }

  WindowRef foregroundWindow() override { return foreground; }
  uint32_t windowStyle(WindowRef) override { return style; }
  bool isIconic(WindowRef) override { return iconic; }
  bool isZoomed(WindowRef) override { return zoomed; }
  bool windowRect(WindowRef, Rect& out) override {
    out = rect;
    return true;
  }
  bool monitorWorkArea(WindowRef, Rect& out) override {
    out = workArea;
    return true;
  }
  bool visibleFrame(WindowRef, Rect& out) override {
    if (hasFrame) out = frame;
    return hasFrame;
  }
  uint32_t windowDpi(WindowRef) override { return dpi; }
  void setWindowPos(WindowRef, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags) override {
    record("setWindowPos %d %d %d %d flags %x", x, y, width, height, flags);
  }
  void showWindow(WindowRef, int32_t command) override { record("showWindow %d", command); }
  void sendSysCommand(WindowRef, uint32_t command) override { record("sysCommand %x", command); }
  bool isOwnWindow(WindowRef window) override { return window != 0 && window == ownWindow; }
  bool composition = false;
  bool compositionEnabled() override { return composition; }

  bool windowRunsElevated(WindowRef window) override {
    elevationQueries.push_back(window);
    return std::find(elevatedWindows.begin(), elevatedWindows.end(), window) != elevatedWindows.end();
  }
  bool thisProgramElevated() override { return selfElevated; }

  bool isWindowUnicode(WindowRef) override { return unicode; }
  uint32_t windowThread(WindowRef) override { return thread; }
  bool guiThreadInfo(uint32_t, GuiThreadWindows& info) override {
    if (guiInfoAvailable) info = gui;
    return guiInfoAvailable;
  }
  void attachThreadInput(uint32_t t, bool attach) override { record("attach %u %s", t, attach ? "on" : "off"); }
  int32_t keyboardLayouts(uintptr_t* out, int32_t capacity) override {
    for (int32_t i = 0; out && i < capacity && i < static_cast<int32_t>(layouts.size()); ++i) out[i] = layouts[i];
    return static_cast<int32_t>(layouts.size());
  }
  uintptr_t foregroundLayout() override { return currentLayout; }
  uintptr_t keyboardLayout(uint32_t) override { return currentLayout; }
  uint32_t mapVirtualKey(uint32_t code, uint32_t mapType, uintptr_t layout) override {
    if (layout != currentLayout) return 0;
    if (mapType == kMapVirtualKeyToChar)  // only whether it is dead matters here
      return std::find(deadKeys.begin(), deadKeys.end(), code) != deadKeys.end() ? kDeadKeyBit | '^' : 'x';
    const auto it = scanCodes.find(static_cast<uint16_t>(code));
    return mapType == kMapVirtualKeyToScanCode && it != scanCodes.end() ? it->second : 0;
  }
  int16_t vkKeyScan(uint16_t character, uintptr_t layout) override {
    if (layout != currentLayout) return -1;
    if (!characterKeys.empty()) return characterKeys.count(character) ? characterKeys[character] : -1;
    const char name[2] = {static_cast<char>(character), '\0'};
    bool shift = false;
    const uint16_t key = LookupKeyCode(name, &shift);
    return key == NoKey ? -1 : static_cast<int16_t>((shift ? 0x100 : 0) | key);
  }
  void postMessage(WindowRef window, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    record("post %u %04x %04llx %llx", static_cast<unsigned>(window), message,
           static_cast<unsigned long long>(wParam), static_cast<unsigned long long>(lParam));
  }
  void sleepMilliseconds(uint32_t ms) override { record("sleep %u", ms); }

  void foregroundProcessPath(wchar_t* path, uint32_t capacity) override {
    uint32_t i = 0;
    for (; i + 1 < capacity && i < processPath.size(); ++i) path[i] = processPath[i];
    if (capacity) path[i] = L'\0';
  }
  bool enumDisplayDevice(const wchar_t* adapter, uint32_t index, DisplayDevice& device) override {
    if (adapter)  // the adapter's one monitor, if it has one
      return index == 0 && std::find(withoutMonitor.begin(), withoutMonitor.end(), adapter) == withoutMonitor.end();
    if (index >= displays.size()) return false;
    device = displays[index];
    return true;
  }
  void changeDisplaySettings(const wchar_t* deviceName, uint32_t fields, int32_t x, int32_t y, uint32_t width,
                             uint32_t height, uint32_t flags) override {
    std::string name = "null";
    if (deviceName) {
      name.clear();
      for (const wchar_t* p = deviceName; *p; ++p) name += static_cast<char>(*p);
    }
    record("display %s fields %x %d %d %ux%u flags %x", name.c_str(), fields, x, y, width, height, flags);
  }

  void toggleDesktop() override { calls.push_back("toggleDesktop"); }
  bool presentationInFront() override { return IsPresentationInFront(*this); }
  void startPresentationProgram() override { calls.push_back("startPresentation"); }
  void stopPresentationProgram() override { calls.push_back("stopPresentation"); }

 private:
  template <typename... Args>
  void record(const char* format, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    calls.push_back(text);
  }
};

}  // namespace tavrin::test
