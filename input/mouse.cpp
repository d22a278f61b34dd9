#include "input/mouse.h"

#include <cstring>

#include "seams/injector.h"
#include "input/keyboard.h"

namespace tavrin {

int32_t ReadDecimal(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Gathered as a negative number, whose range reaches INT32_MIN.
  constexpr int64_t kLimit = -static_cast<int64_t>(INT32_MAX) - 1;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value > kLimit) value = value * 10 - (*p - '0');
    if (value < kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(value);
  return value < -static_cast<int64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(-value);
}

void SendMouseMove(Injector& injector, int32_t dx, int32_t dy) { injector.mouse(dx, dy, 0, kMouseMove); }

void SendMouseButton(Injector& injector, int32_t button, bool release) {
  switch (button) {
    case LeftButton: injector.mouse(0, 0, 0, release ? kMouseLeftUp : kMouseLeftDown); break;
    case RightButton: injector.mouse(0, 0, 0, release ? kMouseRightUp : kMouseRightDown); break;
    case MiddleButton: injector.mouse(0, 0, 0, release ? kMouseMiddleUp : kMouseMiddleDown); break;
    default: break;
  }
}

void SendLeftClick(Injector& injector) {
  SendMouseButton(injector, LeftButton, false);
  SendMouseButton(injector, LeftButton, true);
}

void StepWheel(int32_t& accumulator, int32_t value) {
  if (value != 0) {
    if (accumulator < 0) accumulator = 0;
    if (accumulator < INT32_MAX) ++accumulator;
  } else {
    if (accumulator > 0) accumulator = 0;
    if (accumulator > INT32_MIN) --accumulator;
  }
}

void FlushWheel(Injector& injector, WheelAccumulators wheel) {
  if (wheel.vertical <= -kWheelStepsPerNotch || wheel.vertical >= kWheelStepsPerNotch) {
    // 120 is one notch of the wheel, reached after ten steps. 64-bit so that
    // no count can overflow; the result always fits 32 bits.
    const int64_t amount = static_cast<int64_t>(wheel.vertical) * 120 / kWheelStepsPerNotch;
    injector.mouse(0, 0, static_cast<int32_t>(amount), kMouseWheel);
    wheel.vertical = 0;
  }
  // Horizontal steps are counted and cleared alike, but no horizontal wheel
  // event is ever sent.
  if (wheel.horizontal <= -kWheelStepsPerNotch || wheel.horizontal >= kWheelStepsPerNotch) wheel.horizontal = 0;
}

namespace {

struct MouseParser {
  Injector& injector;
  WheelAccumulators wheel;
  bool dxPending = false;
  bool dyPending = false;
  bool pressReleasePending = false;
  bool buttonPending = false;
  bool skipPending = false;
  bool wheelPending = false;
  bool horizontalWheelPending = false;
  int32_t dx = 0;
  int32_t button = LeftButton;

  void handle(const char* token) {
    if (dyPending) {
      dxPending = false;
      dyPending = false;
      SendMouseMove(injector, dx, ReadDecimal(token));
    } else if (dxPending) {
      dxPending = false;
      dyPending = true;
      dx = ReadDecimal(token);
    } else if (pressReleasePending) {
      pressReleasePending = false;
      buttonPending = false;
      if (token[0] == 'd') SendMouseButton(injector, button, false);
      else if (token[0] == 'u') SendMouseButton(injector, button, true);
    } else if (buttonPending) {
      buttonPending = false;
      switch (token[0]) {
        case 'l': button = LeftButton; pressReleasePending = true; break;
        case 'r': button = RightButton; pressReleasePending = true; break;
        case 'm': button = MiddleButton; pressReleasePending = true; break;
        default: break;
      }
    } else if (skipPending) {
      skipPending = false;
    } else if (wheelPending) {
      wheelPending = false;
      StepWheel(wheel.vertical, ReadDecimal(token));
    } else if (horizontalWheelPending) {
      horizontalWheelPending = false;
      StepWheel(wheel.horizontal, ReadDecimal(token));
    } else if (token[0] != '\0' && token[1] == '\0') {
      switch (token[0]) {
        case 'm': dxPending = true; dyPending = false; break;
        case 'R': buttonPending = true; break;
        case 'c': SendLeftClick(injector); break;
        case 'w': wheelPending = true; break;
        case 'h': horizontalWheelPending = true; break;
        case 'b': skipPending = true; break;
        default: break;
      }
    }
  }
};

}  // namespace

void HandleMouseMessage(Injector& injector, WheelAccumulators wheel, const char* payload, int32_t length) {
  MouseParser parser{injector, wheel};
  char token[kTokenCapacity] = {};
  int32_t tokenLength = 0;
  for (int32_t position = 0; position <= length; ++position) {
    if (position == length || payload[position] == ' ') {
      token[tokenLength] = '\0';
      parser.handle(token);
      tokenLength = 0;
    } else if (tokenLength < kTokenCapacity - 1) {
      // Bytes past the 127th of a token are dropped; the token still ends at
      // its space.
      token[tokenLength++] = payload[position];
    }
  }
}

void DragMove(Injector& injector, const char* text) {
  const char* space = std::strchr(text, ' ');
  if (!space) return;
  SendMouseMove(injector, ReadDecimal(text), ReadDecimal(space + 1));
}

}  // namespace tavrin
