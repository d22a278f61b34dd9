// "utf8 " text in any script to the foreground window.
#pragma once
#include <cstdint>

#include "actions/desktop.h"

namespace tavrin {

class Injector;

constexpr int32_t kTextUnitCapacity = 1024;

// Returns 0 with a zero unit stored after the text, or -1 when decoding
// stopped early (units stored so far stay, no zero unit is added).
int DecodeUtf8ToUtf16(const char* text, uint16_t* units, int32_t capacity);
void TypeUtf8Text(Injector& injector, Desktop& desktop, const char* text);
void PostCharWithLayoutSwitch(Desktop& desktop, WindowRef target, uint32_t thread, uint16_t unit);

}  // namespace tavrin
