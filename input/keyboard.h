// "key" messages: tokens to key events.
#pragma once
#include <cstdint>

#include "seams/input_codes.h"

namespace tavrin {

class Injector;

// Longest token kept from a "key" or "mos" payload, terminating zero included.
// Longer tokens are cut to 127 bytes: no key name, combination or number is
// that long, so a cut token means exactly what the whole one would.
constexpr int32_t kTokenCapacity = 128;

// One press (release false) or one release of a virtual key.
void SendKeyEvent(Injector& injector, uint16_t virtualKey, bool release);
// Presses and releases the key a token names, with Shift around it when the
// name is a shifted character. Unknown names send nothing.
void TypeKeyToken(Injector& injector, const char* token);
// "FIRST[+]SECOND": both keys down, then up in reverse order.
void PressKeyCombination(Injector& injector, const char* token);
// The payload is not zero-terminated; exactly `length` bytes are read.
void HandleKeyMessage(Injector& injector, const char* payload, int32_t length);

}  // namespace tavrin
