// "mos" messages, wheel batching and the drag commands.
#pragma once
#include <cstdint>

#include "seams/input_codes.h"

namespace tavrin {

class Injector;

// Steps a wheel accumulator needs (in either direction) before a flush turns
// them into one wheel event of 12 per step.
constexpr int32_t kWheelStepsPerNotch = 10;

struct WheelAccumulators {
  int32_t& vertical;
  int32_t& horizontal;
};

void SendMouseMove(Injector& injector, int32_t dx, int32_t dy);
// Any button number other than the three MouseButton values sends nothing.
void SendMouseButton(Injector& injector, int32_t button, bool release);
void SendLeftClick(Injector& injector);
// One step on an accumulator: value 0 backward, anything else forward. A step
// against the gathered direction first discards the steps gathered so far.
void StepWheel(int32_t& accumulator, int32_t value);
void FlushWheel(Injector& injector, WheelAccumulators wheel);
// The payload is not zero-terminated; exactly `length` bytes are read.
void HandleMouseMessage(Injector& injector, WheelAccumulators wheel, const char* payload, int32_t length);
// The text after "drag ": two decimal integers separated by a space.
void DragMove(Injector& injector, const char* text);

// Reads a decimal integer the way the phone's numbers are meant: optional
// leading white space, an optional sign, then digits up to the first other
// byte; no digits reads as 0. Values beyond the 32-bit range are clamped to
// INT32_MIN / INT32_MAX instead of overflowing.
int32_t ReadDecimal(const char* text);

}  // namespace tavrin
