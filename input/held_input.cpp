#include "input/held_input.h"

namespace tavrin {

void HeldInput::press(uint16_t) {}
void HeldInput::release(uint16_t) {}
bool HeldInput::holds(uint16_t) const { return false; }
void HeldInput::releaseAll(Injector&) {}

}  // namespace tavrin
