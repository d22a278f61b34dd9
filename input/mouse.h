// "mos" messages, wheel batching and the drag commands.
#pragma once
#include <cstdint>

namespace tavrin {

class Injector;

enum MouseButton : int32_t { LeftButton = 0, RightButton = 1, MiddleButton = 2 };

struct WheelAccumulators {
  int32_t& vertical;
  int32_t& horizontal;
};

void SendMouseMove(Injector& injector, int32_t dx, int32_t dy);
void SendMouseButton(Injector& injector, int32_t button, bool release);
void SendLeftClick(Injector& injector);
// One step on an accumulator: value 0 backward, anything else forward.
void StepWheel(int32_t& accumulator, int32_t value);
void FlushWheel(Injector& injector, WheelAccumulators wheel);
// The payload is not zero-terminated; exactly `length` bytes are read.
void HandleMouseMessage(Injector& injector, WheelAccumulators wheel, const char* payload, int32_t length);
// The text after "drag ": two decimal integers separated by a space.
void DragMove(Injector& injector, const char* text);

}  // namespace tavrin
