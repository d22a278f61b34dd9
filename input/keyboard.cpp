#include "input/keyboard.h"

#include <cstring>

#include "seams/desktop.h"
#include "seams/injector.h"
#include "input/key_tables.h"

namespace tavrin {

uintptr_t Keyboard::layout() {
  if (!layoutKnown_) {
    layout_ = layouts.foregroundLayout();
    layoutKnown_ = true;
  }
  return layout_;
}

void SendKeyEvent(Keyboard& keyboard, uint16_t virtualKey, bool release) {
  const uint32_t scanCode = keyboard.layouts.mapVirtualKey(virtualKey, kMapVirtualKeyToScanCode, keyboard.layout());
  uint32_t flags = release ? kKeyEventKeyUp : 0;
  if (IsExtendedKey(virtualKey)) flags |= kKeyEventExtendedKey;
  keyboard.injector.key(virtualKey, static_cast<uint16_t>(scanCode), flags);
}

namespace {

// One printable ASCII character other than a letter or the space: the
// characters that sit on different keys from layout to layout. A letter's
// virtual key is that letter on every layout that has it.
bool IsLayoutCharacter(const char* token) {
  const char c = token[0];
  return c > ' ' && c <= '~' && token[1] == '\0' && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z');
}

// Shift, and Ctrl+Alt, which is how Windows reports AltGr: pressed with a
// key they type a character. Ctrl or Alt alone would make a shortcut or
// open a menu instead, and the layout-specific states (Hankaku, the
// reserved bits) cannot be pressed as keys.
bool TypesWithModifiers(uint8_t state) {
  const uint8_t withoutShift = state & static_cast<uint8_t>(~kShiftStateShift);
  return withoutShift == 0 || withoutShift == (kShiftStateControl | kShiftStateAlt);
}

void TypeLayoutCharacter(Keyboard& keyboard, uintptr_t layout, char character) {
  const uint16_t unit = static_cast<unsigned char>(character);
  const int16_t found = keyboard.layouts.vkKeyScan(unit, layout);
  const uint16_t virtualKey = static_cast<uint16_t>(found & 0xFF);
  const uint8_t state = static_cast<uint8_t>((found >> 8) & 0xFF);
  // A dead key types nothing until the next key, and then perhaps an accented
  // letter: "^" on a German layout. MapVirtualKeyExW marks a key whose
  // unshifted character is dead; on the common layouts such a key's shifted
  // character is dead too.
  const bool typesByItself = found != -1 && virtualKey != 0 && virtualKey != 0xFF && TypesWithModifiers(state) &&
                             (keyboard.layouts.mapVirtualKey(virtualKey, kMapVirtualKeyToChar, layout) & kDeadKeyBit) == 0;
  if (!typesByItself) {
    keyboard.injector.key(0, unit, kKeyEventUnicode);
    keyboard.injector.key(0, unit, kKeyEventUnicode | kKeyEventKeyUp);
    return;
  }
  const bool shift = (state & kShiftStateShift) != 0;
  const bool altGr = (state & kShiftStateControl) != 0;
  if (shift) SendKeyEvent(keyboard, kVkShift, false);
  if (altGr) {
    SendKeyEvent(keyboard, kVkControl, false);
    SendKeyEvent(keyboard, kVkMenu, false);
  }
  SendKeyEvent(keyboard, virtualKey, false);
  SendKeyEvent(keyboard, virtualKey, true);
  if (altGr) {
    SendKeyEvent(keyboard, kVkMenu, true);
    SendKeyEvent(keyboard, kVkControl, true);
  }
  if (shift) SendKeyEvent(keyboard, kVkShift, true);
}

}  // namespace

void TypeKeyToken(Keyboard& keyboard, const char* token) {
  // Without a layout to ask (no desktop) the tables' US keys stand in.
  if (IsLayoutCharacter(token) && keyboard.layout() != 0) {
    TypeLayoutCharacter(keyboard, keyboard.layout(), token[0]);
    return;
  }
  bool needsShift = false;
  const uint16_t code = LookupKeyCode(token, &needsShift);
  if (code == NoKey) return;
  if (needsShift) SendKeyEvent(keyboard, kVkShift, false);
  SendKeyEvent(keyboard, code, false);
  SendKeyEvent(keyboard, code, true);
  if (needsShift) SendKeyEvent(keyboard, kVkShift, true);
}

void PressKeyCombination(Keyboard& keyboard, const char* token) {
  const char* separator = std::strstr(token, "[+]");
  if (!separator) return;
  // The first name is copied out so that it can be looked up zero-terminated;
  // a first name that does not fit is no key name anyway.
  const size_t firstLength = static_cast<size_t>(separator - token);
  char first[kTokenCapacity];
  if (firstLength >= sizeof first) return;
  std::memcpy(first, token, firstLength);
  first[firstLength] = '\0';
  const uint16_t firstCode = LookupKeyCode(first);
  const uint16_t secondCode = LookupKeyCode(separator + 3);
  if (firstCode == NoKey || secondCode == NoKey) return;
  SendKeyEvent(keyboard, firstCode, false);
  SendKeyEvent(keyboard, secondCode, false);
  SendKeyEvent(keyboard, secondCode, true);
  SendKeyEvent(keyboard, firstCode, true);
}

namespace {

struct KeyParser {
  Keyboard& keyboard;
  bool holdPending = false;
  bool codeArmed = false;
  uint16_t armedCode = NoKey;

  void handle(const char* token, bool endedBySpace) {
    if (codeArmed) {
      holdPending = false;
      codeArmed = false;
      if (token[0] == 'd') SendKeyEvent(keyboard, armedCode, false);
      else if (token[0] == 'u') SendKeyEvent(keyboard, armedCode, true);
      return;
    }
    if (holdPending) {
      holdPending = false;
      const uint16_t code = LookupKeyCode(token);
      if (code != NoKey) {
        armedCode = code;
        codeArmed = true;
      }
      return;
    }
    if (std::strcmp(token, "[R]") == 0) {
      holdPending = true;
      codeArmed = false;
      return;
    }
    if (std::strstr(token, "[+]")) {
      PressKeyCombination(keyboard, token);
      return;
    }
    if (token[0] == '\0' && endedBySpace) {
      TypeKeyToken(keyboard, " ");
      return;
    }
    TypeKeyToken(keyboard, token);
  }
};

}  // namespace

void HandleKeyMessage(Keyboard& keyboard, const char* payload, int32_t length) {
  KeyParser parser{keyboard};
  char token[kTokenCapacity] = {};
  int32_t tokenLength = 0;
  for (int32_t position = 0; position <= length; ++position) {
    const bool atEnd = position == length;
    if (atEnd || payload[position] == ' ') {
      token[tokenLength] = '\0';
      parser.handle(token, !atEnd);
      tokenLength = 0;
    } else if (tokenLength < kTokenCapacity - 1) {
      token[tokenLength++] = payload[position];
    }
    // Bytes past the 127th of a token are dropped; the token still ends at
    // its space, so the tokens after it are parsed as usual.
  }
}

}  // namespace tavrin
