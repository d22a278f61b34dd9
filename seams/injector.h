// The one place where synthetic input leaves the program. The product's
// implementation passes each event alone to SendInput; tests record them.
#pragma once
#include <cstdint>

#include "seams/input_codes.h"

namespace tavrin {

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
