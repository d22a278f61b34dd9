// "key" messages: tokens to key events.
#pragma once
#include <cstdint>

#include "seams/input_codes.h"

namespace tavrin {

class Injector;
class KeyboardLayouts;

// Longest token kept from a "key" or "mos" payload, terminating zero included.
// Longer tokens are cut to 127 bytes: no key name, combination or number is
// that long, so a cut token means exactly what the whole one would.
constexpr int32_t kTokenCapacity = 128;

// Key events as a real keyboard under the foreground window's layout sends
// them. Programs that read scan codes (games using raw input, virtual
// machines, remote-desktop clients) ignore or misread a key event without
// one, so every event that names a virtual key carries the layout's scan
// code for it, and the extended-key flag where IsExtendedKey says so.
class Keyboard {
 public:
  Keyboard(Injector& injector, KeyboardLayouts& layouts) : injector(injector), layouts(layouts) {}
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

  // The foreground window's keyboard layout, 0 when there is none to ask.
  // Asked at the first need and kept: one Keyboard serves one message, and
  // all of its keys use the layout of the window in front at the first.
  uintptr_t layout();

  Injector& injector;
  KeyboardLayouts& layouts;

 private:
  uintptr_t layout_ = 0;
  bool layoutKnown_ = false;
};

// One press (release false) or one release of a virtual key.
void SendKeyEvent(Keyboard& keyboard, uint16_t virtualKey, bool release);
// Presses and releases the key a token names, with Shift around it when the
// name is a shifted character. Unknown names send nothing.
//
// A token of one digit or punctuation character is typed the way the
// foreground window's layout types that character: its key with the Shift,
// Ctrl and Alt (AltGr) that VkKeyScanExW names, or, where no key of the
// layout types it by itself, the character as a Unicode event. The key-name
// tables are the US layout: a German one types "@" as AltGr+Q, not Shift+2.
// Letters, named keys, combinations and the hold form stay the tables' keys,
// so that shortcuts mean the same on every layout.
void TypeKeyToken(Keyboard& keyboard, const char* token);
// "FIRST[+]SECOND": both keys down, then up in reverse order.
void PressKeyCombination(Keyboard& keyboard, const char* token);
// The payload is not zero-terminated; exactly `length` bytes are read.
void HandleKeyMessage(Keyboard& keyboard, const char* payload, int32_t length);

}  // namespace tavrin
