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
