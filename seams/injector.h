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
  // Types `count` UTF-16 units, each as a Unicode key record (the unit as
  // scan code, kKeyEventUnicode) would; returns how many were taken. The
  // default passes them to key() one at a time. A system that must prepare
  // its keyboard for characters it lacks (X binds them to spare keys) takes
  // the whole run at once, so that it prepares once per run, not per unit.
  virtual int32_t text(const uint16_t* units, int32_t count) {
    int32_t taken = 0;
    for (int32_t i = 0; i < count; ++i)
      if (key(0, units[i], kKeyEventUnicode)) ++taken;
    return taken;
  }
};

}  // namespace tavrin
