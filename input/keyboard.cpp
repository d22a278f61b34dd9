#include "input/keyboard.h"

namespace tavrin {

void SendKeyEvent(Injector&, uint16_t, bool) {}
void TypeKeyToken(Injector&, const char*) {}
void PressKeyCombination(Injector&, const char*) {}
void HandleKeyMessage(Injector&, const char*, int32_t) {}

}  // namespace tavrin
