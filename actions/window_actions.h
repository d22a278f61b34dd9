// Media, browser and window commands, the window switcher and shutdown.
#pragma once
#include <atomic>
#include <cstdint>

#include "seams/desktop.h"
#include "seams/input_codes.h"

namespace tavrin {

class Keyboard;
class UserInterface;


// Window commands and metrics, as the platform numbers them.
constexpr uint32_t kScClose = 0xF060;
constexpr uint32_t kScMinimize = 0xF020;
constexpr uint32_t kScRestore = 0xF120;
constexpr uint32_t kScMaximize = 0xF030;
constexpr int32_t kSwRestore = 9;
constexpr int32_t kSwMaximize = 3;
constexpr uint32_t kSwpNoZOrderNoOwnerZOrder = 0x0204;  // SWP_NOZORDER | SWP_NOOWNERZORDER

// Zoom: pixels per side per command at 100 % (96 DPI), and the smallest size
// zooming out leaves.
constexpr int32_t kZoomStep = 30;
constexpr int32_t kZoomMinWidth = 100;
constexpr int32_t kZoomMinHeight = 80;

void TapKey(Keyboard& keyboard, uint16_t virtualKey);
void NewBrowserTab(Keyboard& keyboard);

void CloseForeground(DesktopWindows& windows);
void MinimizeForeground(DesktopWindows& windows);
void ToggleMaximizeForeground(DesktopWindows& windows);
void ZoomInForeground(DesktopWindows& windows);
void ZoomOutForeground(DesktopWindows& windows);
// "slideup" after the switcher is closed: maximise or restore.
void MaximizeOrRestoreForeground(DesktopWindows& windows);

// The zoom step at a window's DPI: 30 pixels at 100 %, 45 at 150 %.
int32_t ZoomStep(uint32_t dpi);
// The zoom arithmetic on a window's visible frame, `step` pixels a side.
// Zooming in keeps the left and top edges inside `bounds`, the work area of
// the window's own monitor, and the size within its size; it returns false
// when the window is to be maximised instead.
bool ZoomInRect(Rect& rect, const Rect& bounds, int32_t step);
void ZoomOutRect(Rect& rect, int32_t step);

// The switcher is held open by Alt, or with desktop composition
// (`composition`, Desktop::compositionEnabled) by the left Windows key.
void OpenSwitcher(Keyboard& keyboard, bool& switcherActive, bool backward, bool composition);
void CloseSwitcher(Keyboard& keyboard, bool& switcherActive, bool composition);
void SlideLeft(Keyboard& keyboard, bool& switcherActive, bool composition);
void SlideRight(Keyboard& keyboard, bool& switcherActive, bool composition);
// The key that holds the switcher open.
inline uint16_t SwitcherKey(bool composition) { return composition ? kVkLeftWindows : kVkMenu; }

void RequestShutdown(UserInterface& ui);

}  // namespace tavrin
