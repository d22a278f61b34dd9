#include "actions/window_actions.h"

#include "seams/user_interface.h"
#include "input/keyboard.h"

namespace tavrin {

void TapKey(Keyboard& keyboard, uint16_t virtualKey) {
  SendKeyEvent(keyboard, virtualKey, false);
  SendKeyEvent(keyboard, virtualKey, true);
}

void NewBrowserTab(Keyboard& keyboard) {
  SendKeyEvent(keyboard, kVkControl, false);
  SendKeyEvent(keyboard, kVkT, false);
  SendKeyEvent(keyboard, kVkT, true);
  SendKeyEvent(keyboard, kVkControl, true);
}

namespace {

bool HasStyle(uint32_t style, uint32_t bits) { return (style & bits) == bits; }

// The foreground window the window commands may act on: none when it is one
// of this program's own. Opening the tray menu brings the hidden main window
// to the front; maximising it would show it, and closing it from the worker
// would stop the program from inside its own worker.
WindowRef ForeignForeground(DesktopWindows& windows) {
  const WindowRef window = windows.foregroundWindow();
  if (!window || windows.isOwnWindow(window)) return 0;
  return window;
}

}  // namespace

void CloseForeground(DesktopWindows& windows) {
  const WindowRef window = ForeignForeground(windows);
  if (!window) return;
  if (HasStyle(windows.windowStyle(window), kStyleVisible)) windows.sendSysCommand(window, kScClose);
}

void MinimizeForeground(DesktopWindows& windows) {
  const WindowRef window = ForeignForeground(windows);
  if (!window) return;
  if (HasStyle(windows.windowStyle(window), kStyleVisible | kStyleMinimizeBox))
    windows.sendSysCommand(window, kScMinimize);
}

void ToggleMaximizeForeground(DesktopWindows& windows) {
  const WindowRef window = ForeignForeground(windows);
  if (!window) return;
  const uint32_t style = windows.windowStyle(window);
  if (!HasStyle(style, kStyleVisible | kStyleMaximizeBox)) return;
  windows.sendSysCommand(window, HasStyle(style, kStyleMaximize) ? kScRestore : kScMaximize);
}

int32_t ZoomStep(uint32_t dpi) {
  if (dpi == 0) dpi = 96;
  return static_cast<int32_t>((static_cast<uint32_t>(kZoomStep) * dpi + 48) / 96);
}

void ZoomOutRect(Rect& rect, int32_t step) {
  const int32_t oldLeft = rect.left;
  rect.left += step;
  if (rect.left > rect.right - step) rect.left = oldLeft;
  const int32_t oldTop = rect.top;
  rect.top += step;
  if (rect.top > rect.bottom - step) rect.top = oldTop;
  rect.right -= step;
  if (rect.right - rect.left < kZoomMinWidth) rect.right = rect.left + kZoomMinWidth;
  rect.bottom -= step;
  if (rect.bottom - rect.top < kZoomMinHeight) rect.bottom = rect.top + kZoomMinHeight;
}

bool ZoomInRect(Rect& rect, const Rect& bounds, int32_t step) {
  const int32_t maxWidth = bounds.right - bounds.left;
  const int32_t maxHeight = bounds.bottom - bounds.top;
  rect.left -= step;
  if (rect.left < bounds.left) rect.left = bounds.left;
  rect.top -= step;
  if (rect.top < bounds.top) rect.top = bounds.top;
  rect.right += step;
  if (rect.right - rect.left > maxWidth) rect.right = rect.left + maxWidth;
  rect.bottom += step;
  if (rect.bottom - rect.top > maxHeight) rect.bottom = rect.top + maxHeight;
  return !(rect.bottom - rect.top == maxHeight && rect.right - rect.left == maxWidth);
}

namespace {

// A window as the zoom sizes it: its visible frame, and how far its window
// rectangle reaches past that frame on each side (the invisible resizing
// borders), which stay as they are when it moves.
struct ZoomedWindow {
  Rect frame;
  Rect borders;
};

bool Measure(DesktopWindows& windows, WindowRef window, ZoomedWindow& zoomed) {
  Rect rect;
  if (!windows.windowRect(window, rect)) return false;
  if (!windows.visibleFrame(window, zoomed.frame)) zoomed.frame = rect;
  zoomed.borders = {zoomed.frame.left - rect.left, zoomed.frame.top - rect.top, rect.right - zoomed.frame.right,
                    rect.bottom - zoomed.frame.bottom};
  return true;
}

void Place(DesktopWindows& windows, WindowRef window, const ZoomedWindow& zoomed) {
  const Rect& f = zoomed.frame;
  const Rect& b = zoomed.borders;
  windows.setWindowPos(window, f.left - b.left, f.top - b.top, f.right - f.left + b.left + b.right,
                       f.bottom - f.top + b.top + b.bottom, kSwpNoZOrderNoOwnerZOrder);
}

}  // namespace

void ZoomOutForeground(DesktopWindows& windows) {
  const WindowRef window = ForeignForeground(windows);
  if (!window) return;
  if (windows.isIconic(window) || !HasStyle(windows.windowStyle(window), kStyleThickFrame)) return;
  if (windows.isZoomed(window)) {
    windows.showWindow(window, kSwRestore);
    return;
  }
  ZoomedWindow zoomed;
  if (!Measure(windows, window, zoomed)) return;
  ZoomOutRect(zoomed.frame, ZoomStep(windows.windowDpi(window)));
  Place(windows, window, zoomed);
}

void ZoomInForeground(DesktopWindows& windows) {
  const WindowRef window = ForeignForeground(windows);
  if (!window) return;
  if (windows.isZoomed(window) || windows.isIconic(window) ||
      !HasStyle(windows.windowStyle(window), kStyleThickFrame))
    return;
  // The window's own monitor: on one left of or above the primary, bounds
  // at 0 would pull the window over to the primary.
  ZoomedWindow zoomed;
  Rect bounds;
  if (!Measure(windows, window, zoomed) || !windows.monitorWorkArea(window, bounds)) return;
  if (!ZoomInRect(zoomed.frame, bounds, ZoomStep(windows.windowDpi(window)))) {
    windows.showWindow(window, kSwMaximize);
    return;
  }
  Place(windows, window, zoomed);
}

void MaximizeOrRestoreForeground(DesktopWindows& windows) {
  const WindowRef window = ForeignForeground(windows);
  if (!window) return;
  if (windows.isIconic(window) || !HasStyle(windows.windowStyle(window), kStyleThickFrame)) return;
  windows.showWindow(window, windows.isZoomed(window) ? kSwRestore : kSwMaximize);
}

namespace {

void Tab(Keyboard& keyboard) { TapKey(keyboard, kVkTab); }

void ShiftTab(Keyboard& keyboard) {
  SendKeyEvent(keyboard, kVkShift, false);
  Tab(keyboard);
  SendKeyEvent(keyboard, kVkShift, true);
}

}  // namespace

void OpenSwitcher(Keyboard& keyboard, bool& switcherActive, bool backward, bool composition) {
  if (composition) {
    // With composition the left Windows key holds the switcher open.
    SendKeyEvent(keyboard, kVkLeftWindows, false);
    Tab(keyboard);
    if (backward) ShiftTab(keyboard);
  } else {
    SendKeyEvent(keyboard, kVkMenu, false);
    if (backward) ShiftTab(keyboard);
    else Tab(keyboard);
  }
  switcherActive = true;
}

void CloseSwitcher(Keyboard& keyboard, bool& switcherActive, bool composition) {
  SendKeyEvent(keyboard, SwitcherKey(composition), true);
  switcherActive = false;
}

void SlideLeft(Keyboard& keyboard, bool& switcherActive, bool composition) {
  if (!switcherActive) OpenSwitcher(keyboard, switcherActive, true, composition);
  else ShiftTab(keyboard);
}

void SlideRight(Keyboard& keyboard, bool& switcherActive, bool composition) {
  if (!switcherActive) OpenSwitcher(keyboard, switcherActive, false, composition);
  else Tab(keyboard);
}

void RequestShutdown(UserInterface& ui) { ui.requestShutdown(); }

}  // namespace tavrin
