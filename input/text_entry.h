// "utf8 " text in any script to the foreground window.
#pragma once
#include <atomic>
#include <cstdint>

#include "seams/desktop.h"

namespace tavrin {

class Injector;

constexpr int32_t kTextUnitCapacity = 1024;
// Installed keyboard layouts considered when choosing one to switch to.
constexpr int32_t kLayoutCapacity = 256;

constexpr uint16_t kEnglishUnitedStates = 0x0409;
constexpr uint32_t kWmInputLangChangeRequest = 0x0050;  // WM_INPUTLANGCHANGEREQUEST
constexpr uint32_t kWmChar = 0x0102;                     // WM_CHAR
constexpr uintptr_t kInputLangChangeSysCharset = 1;      // INPUTLANGCHANGE_SYSCHARSET

// Returns 0 with a zero unit stored after the text, or -1 when decoding
// stopped early (units stored so far stay, no zero unit is added).
int DecodeUtf8ToUtf16(const char* text, uint16_t* units, int32_t capacity);
// Types the text into the foreground window. Posting to a window that is not
// a Unicode window takes 20 ms a character, so a long line takes seconds:
// `stop`, when given, is checked before every character and ends the typing
// once it is set (the program is stopping).
void TypeUtf8Text(Injector& injector, DesktopWindows& windows, KeyboardLayouts& layouts, const char* text,
                  const std::atomic<bool>* stop = nullptr);
void PostCharWithLayoutSwitch(DesktopWindows& windows, KeyboardLayouts& layouts, WindowRef target, uint32_t thread,
                              uint16_t unit);

}  // namespace tavrin
