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
WindowRef ForeignForeground(Desktop& desktop) {
  const WindowRef window = desktop.foregroundWindow();
  if (!window || desktop.isOwnWindow(window)) return 0;
  return window;
}

}  // namespace

void CloseForeground(Desktop& desktop) {
  const WindowRef window = ForeignForeground(desktop);
  if (!window) return;
  if (HasStyle(desktop.windowStyle(window), kStyleVisible)) desktop.sendSysCommand(window, kScClose);
}

void MinimizeForeground(Desktop& desktop) {
  const WindowRef window = ForeignForeground(desktop);
  if (!window) return;
  if (HasStyle(desktop.windowStyle(window), kStyleVisible | kStyleMinimizeBox))
    desktop.sendSysCommand(window, kScMinimize);
}

void ToggleMaximizeForeground(Desktop& desktop) {
  const WindowRef window = ForeignForeground(desktop);
  if (!window) return;
  const uint32_t style = desktop.windowStyle(window);
  if (!HasStyle(style, kStyleVisible | kStyleMaximizeBox)) return;
  desktop.sendSysCommand(window, HasStyle(style, kStyleMaximize) ? kScRestore : kScMaximize);
}

void ZoomOutRect(Rect& rect) {
  const int32_t oldLeft = rect.left;
  rect.left += kZoomStep;
  if (rect.left > rect.right - kZoomStep) rect.left = oldLeft;
  const int32_t oldTop = rect.top;
  rect.top += kZoomStep;
  if (rect.top > rect.bottom - kZoomStep) rect.top = oldTop;
  rect.right -= kZoomStep;
  if (rect.right - rect.left < kZoomMinWidth) rect.right = rect.left + kZoomMinWidth;
  rect.bottom -= kZoomStep;
  if (rect.bottom - rect.top < kZoomMinHeight) rect.bottom = rect.top + kZoomMinHeight;
}

bool ZoomInRect(Rect& rect, int32_t maxWidth, int32_t maxHeight) {
  rect.left -= kZoomStep;
  if (rect.left < 0) rect.left = 0;
  rect.top -= kZoomStep;
  if (rect.top < 0) rect.top = 0;
  rect.right += kZoomStep;
  if (rect.right - rect.left > maxWidth) rect.right = rect.left + maxWidth;
  rect.bottom += kZoomStep;
  if (rect.bottom - rect.top > maxHeight) rect.bottom = rect.top + maxHeight;
  return !(rect.bottom - rect.top == maxHeight && rect.right - rect.left == maxWidth);
}

void ZoomOutForeground(Desktop& desktop) {
  const WindowRef window = ForeignForeground(desktop);
  if (!window) return;
  if (desktop.isIconic(window) || !HasStyle(desktop.windowStyle(window), kStyleThickFrame)) return;
  if (desktop.isZoomed(window)) {
    desktop.showWindow(window, kSwRestore);
    return;
  }
  Rect rect;
  if (!desktop.windowRect(window, rect)) return;
  ZoomOutRect(rect);
  desktop.setWindowPos(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                       kSwpNoZOrderNoOwnerZOrder);
}

void ZoomInForeground(Desktop& desktop) {
  const WindowRef window = ForeignForeground(desktop);
  if (!window) return;
  if (desktop.isZoomed(window) || desktop.isIconic(window) ||
      !HasStyle(desktop.windowStyle(window), kStyleThickFrame))
    return;
  const int32_t maxWidth = desktop.systemMetric(kSmCxMaxTrack);
  const int32_t maxHeight = desktop.systemMetric(kSmCyMaxTrack);
  Rect rect;
  if (!desktop.windowRect(window, rect)) return;
  if (!ZoomInRect(rect, maxWidth, maxHeight)) {
    desktop.showWindow(window, kSwMaximize);
    return;
  }
  desktop.setWindowPos(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                       kSwpNoZOrderNoOwnerZOrder);
}

void MaximizeOrRestoreForeground(Desktop& desktop) {
  const WindowRef window = ForeignForeground(desktop);
  if (!window) return;
  if (desktop.isIconic(window) || !HasStyle(desktop.windowStyle(window), kStyleThickFrame)) return;
  desktop.showWindow(window, desktop.isZoomed(window) ? kSwRestore : kSwMaximize);
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
