// The one place where synthetic input leaves the program. The product's
// implementation passes each event alone to SendInput; tests record them.
#pragma once
#include <cstdint>

namespace tavrin {

// Flag values as the platform defines them, so that the portable core builds
// the same records on every system.
constexpr uint32_t kKeyEventKeyUp = 0x0002;    // KEYEVENTF_KEYUP
constexpr uint32_t kKeyEventUnicode = 0x0004;  // KEYEVENTF_UNICODE

constexpr uint32_t kMouseMove = 0x0001;
constexpr uint32_t kMouseLeftDown = 0x0002;
constexpr uint32_t kMouseLeftUp = 0x0004;
constexpr uint32_t kMouseRightDown = 0x0008;
constexpr uint32_t kMouseRightUp = 0x0010;
constexpr uint32_t kMouseMiddleDown = 0x0020;
constexpr uint32_t kMouseMiddleUp = 0x0040;
constexpr uint32_t kMouseWheel = 0x0800;

class Injector {
 public:
  virtual ~Injector() = default;
  // One INPUT_KEYBOARD record: virtual-key code, scan code, flags; time and
  // extra information are always 0. True when the system took the event:
  // it refuses injected input, for example, while a program that runs as
  // administrator is in front or the secure desktop shows.
  virtual bool key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) = 0;
  // One INPUT_MOUSE record: relative dx/dy, mouseData, flags; true when taken.
  virtual bool mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) = 0;
};

}  // namespace tavrin
