#include "input/mouse.h"

namespace tavrin {

void SendMouseMove(Injector&, int32_t, int32_t) {}
void SendMouseButton(Injector&, int32_t, bool) {}
void SendLeftClick(Injector&) {}
void StepWheel(int32_t&, int32_t) {}
void FlushWheel(Injector&, WheelAccumulators) {}
void HandleMouseMessage(Injector&, WheelAccumulators, const char*, int32_t) {}
void DragMove(Injector&, const char*) {}

}  // namespace tavrin
