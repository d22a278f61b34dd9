#include "actions/window_actions.h"

namespace tavrin {

std::atomic<int32_t> compositionEnabled{0};

void TapKey(Injector&, uint16_t) {}
void NewBrowserTab(Injector&) {}
void CloseForeground(Desktop&) {}
void MinimizeForeground(Desktop&) {}
void ToggleMaximizeForeground(Desktop&) {}
void ZoomInForeground(Desktop&) {}
void ZoomOutForeground(Desktop&) {}
void MaximizeOrRestoreForeground(Desktop&) {}
bool ZoomInRect(Rect&, int32_t, int32_t) { return true; }
void ZoomOutRect(Rect&) {}
void OpenSwitcher(Injector&, bool&, bool) {}
void CloseSwitcher(Injector&, bool&) {}
void SlideLeft(Injector&, bool&) {}
void SlideRight(Injector&, bool&) {}
void RequestShutdown(UserInterface&) {}

}  // namespace tavrin
