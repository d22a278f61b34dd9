// Media, browser and window commands, the window switcher and shutdown.
#pragma once
#include <atomic>
#include <cstdint>

#include "actions/desktop.h"

namespace tavrin {

class Injector;
class UserInterface;

// Written by the main thread when composition changes, read by the worker.
extern std::atomic<int32_t> compositionEnabled;

// Virtual keys the commands press.
constexpr uint16_t kVkTab = 0x09;
constexpr uint16_t kVkShiftKey = 0x10;
constexpr uint16_t kVkControl = 0x11;
constexpr uint16_t kVkMenu = 0x12;  // Alt
constexpr uint16_t kVkLeftWindows = 0x5B;
constexpr uint16_t kVkT = 0x54;
constexpr uint16_t kVkBrowserBack = 0xA6;
constexpr uint16_t kVkBrowserForward = 0xA7;
constexpr uint16_t kVkBrowserRefresh = 0xA8;
constexpr uint16_t kVkBrowserStop = 0xA9;
constexpr uint16_t kVkBrowserSearch = 0xAA;
constexpr uint16_t kVkBrowserFavorites = 0xAB;
constexpr uint16_t kVkBrowserHome = 0xAC;
constexpr uint16_t kVkVolumeMute = 0xAD;
constexpr uint16_t kVkVolumeDown = 0xAE;
constexpr uint16_t kVkVolumeUp = 0xAF;
constexpr uint16_t kVkMediaNextTrack = 0xB0;
constexpr uint16_t kVkMediaPrevTrack = 0xB1;
constexpr uint16_t kVkMediaPlayPause = 0xB3;

// Window commands and metrics, as the platform numbers them.
constexpr uint32_t kScClose = 0xF060;
constexpr uint32_t kScMinimize = 0xF020;
constexpr uint32_t kScRestore = 0xF120;
constexpr uint32_t kScMaximize = 0xF030;
constexpr int32_t kSwRestore = 9;
constexpr int32_t kSwMaximize = 3;
constexpr int32_t kSmCxMaxTrack = 59;
constexpr int32_t kSmCyMaxTrack = 60;
constexpr uint32_t kSwpNoZOrderNoOwnerZOrder = 0x0204;  // SWP_NOZORDER | SWP_NOOWNERZORDER

// Zoom: pixels per side per command, and the smallest size zooming out leaves.
constexpr int32_t kZoomStep = 30;
constexpr int32_t kZoomMinWidth = 100;
constexpr int32_t kZoomMinHeight = 80;

void TapKey(Injector& injector, uint16_t virtualKey);
void NewBrowserTab(Injector& injector);

void CloseForeground(Desktop& desktop);
void MinimizeForeground(Desktop& desktop);
void ToggleMaximizeForeground(Desktop& desktop);
void ZoomInForeground(Desktop& desktop);
void ZoomOutForeground(Desktop& desktop);
// "slideup" after the switcher is closed: maximise or restore.
void MaximizeOrRestoreForeground(Desktop& desktop);

// The zoom arithmetic on a window rectangle. Returns false when the window is
// to be maximised instead of moved (zoom in only).
bool ZoomInRect(Rect& rect, int32_t maxWidth, int32_t maxHeight);
void ZoomOutRect(Rect& rect);

void OpenSwitcher(Injector& injector, bool& switcherActive, bool backward);
void CloseSwitcher(Injector& injector, bool& switcherActive);
void SlideLeft(Injector& injector, bool& switcherActive);
void SlideRight(Injector& injector, bool& switcherActive);

void RequestShutdown(UserInterface& ui);

}  // namespace tavrin
