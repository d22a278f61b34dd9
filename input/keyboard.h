// "key" messages: tokens to key events.
#pragma once
#include <cstdint>

namespace tavrin {

class Injector;

void SendKeyEvent(Injector& injector, uint16_t virtualKey, bool release);
void TypeKeyToken(Injector& injector, const char* token);
void PressKeyCombination(Injector& injector, const char* token);
// The payload is not zero-terminated; exactly `length` bytes are read.
void HandleKeyMessage(Injector& injector, const char* payload, int32_t length);

}  // namespace tavrin
